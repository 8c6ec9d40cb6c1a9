#include "app/core/platform.h"
#include "app/core/texts.h"
#include "update/core/UpdateTexts.h"

#include <mutex>

namespace kelvo {

namespace {
std::mutex& SourceLock()
{
    static std::mutex m;
    return m;
}
std::function<std::wstring(int)>& Source()
{
    static std::function<std::wstring(int)> source;
    return source;
}
} // namespace

std::wstring UpdateText(int number)
{
    std::function<std::wstring(int)> source;
    {
        std::lock_guard<std::mutex> lock(SourceLock());
        source = Source();
    }
    return source ? source(number) : GetText(number);
}

void SetUpdateTextSource(std::function<std::wstring(int)> source)
{
    std::lock_guard<std::mutex> lock(SourceLock());
    Source() = std::move(source);
}

int ShowUpdateMessage(int number, unsigned flags) { return ShowMessage(UpdateText(number), flags); }

} // namespace kelvo
