#include "app/core/texts.h"

#include "app/core/codepage.h"
#include "app/core/datasheet.h"
#include "app/core/globals.h"

#include <mutex>
#include <utility>
#include <vector>

namespace {

struct CachedText {
    CBinary id;
    std::string text;
};

// Oldest first. Process-wide: the update worker formats its status texts
// while the user-interface thread paints, so every use holds CacheLock().
std::vector<CachedText>& Cache()
{
    static std::vector<CachedText> cache;
    return cache;
}

std::mutex& CacheLock()
{
    static std::mutex lock;
    return lock;
}

constexpr size_t kCacheLimit = 21;

std::string UpToNul(const std::string& s)
{
    const size_t nul = s.find('\0');
    return nul == std::string::npos ? s : s.substr(0, nul);
}

std::string Bytes(const CBinary& b)
{
    return b.IsEmpty() ? std::string() : std::string(reinterpret_cast<const char*>(b.GetData()), static_cast<size_t>(b.GetLength()));
}

} // namespace

CBinary TextId(int number)
{
    const uint8_t id[6] = {0xFF, 0, 0, 0, static_cast<uint8_t>((number >> 8) & 0xFF), static_cast<uint8_t>(number & 0xFF)};
    return CBinary(id, 6);
}

std::string GetTextBytes(const CBinary& id)
{
    // Held across the miss too: the table is read with CBinary values, whose
    // last-error word is process-wide. Texts are small; a miss is short.
    std::lock_guard<std::mutex> lock(CacheLock());
    for (const CachedText& entry : Cache())
        if (entry.id == id)
            return entry.text;

    std::string text;
    {
        CDataSheet sheet;
        if (!sheet.Open(g_strLanguageCode + L"_TEXT.cbf"))
            return std::string(); // not cached: the next request tries the file again
        const CBinaryGroup fields = sheet.Find(id);
        if (fields.GetCount() == 2)
            text = Bytes(fields.GetAt(0)) + Bytes(fields.GetAt(1));
        else if (fields.GetCount() > 0)
            text = Bytes(fields.GetAt(0));
    }
    text = UpToNul(text);

    std::vector<CachedText>& cache = Cache();
    if (cache.size() >= kCacheLimit)
        cache.erase(cache.begin());
    // A copy of its own: the caller's id shares its buffer (and the buffer's
    // unguarded count) with copies on the caller's thread.
    cache.push_back(CachedText{CBinary(id.GetData(), id.GetLength()), text});
    return text;
}

std::wstring GetText(const CBinary& id)
{
    return kelvo::ToWide(static_cast<unsigned>(g_nTextCodePage), GetTextBytes(id));
}

void ClearTextCache()
{
    std::lock_guard<std::mutex> lock(CacheLock());
    Cache().clear();
}

std::wstring GetTextOr(int number, const std::wstring& fallback)
{
    const std::wstring text = GetText(number);
    return text.empty() ? fallback : text;
}

std::wstring FillIn(std::wstring text, std::initializer_list<std::wstring> args)
{
    size_t pos = 0;
    for (const std::wstring& arg : args) {
        pos = text.find(L"%s", pos);
        if (pos == std::wstring::npos)
            break;
        text.replace(pos, 2, arg);
        pos += arg.size();
    }
    return text;
}
