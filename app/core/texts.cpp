#include "app/core/texts.h"

#include "app/core/codepage.h"
#include "app/core/datasheet.h"
#include "app/core/globals.h"

#include <utility>
#include <vector>

namespace {

struct CachedText {
    CBinary id;
    std::string text;
};

// Oldest first. Process-wide and unguarded: texts are fetched from the
// user-interface thread only.
std::vector<CachedText>& Cache()
{
    static std::vector<CachedText> cache;
    return cache;
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
    cache.push_back(CachedText{id, text});
    return text;
}

std::wstring GetText(const CBinary& id)
{
    return kelvo::ToWide(static_cast<unsigned>(g_nTextCodePage), GetTextBytes(id));
}

void ClearTextCache() { Cache().clear(); }
