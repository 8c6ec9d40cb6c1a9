// The platform's standard INI reading rules, for the native build: the same
// answers GetPrivateProfileStringW gives on Windows.
#include "app/core/codepage.h"
#include "app/core/textutil.h"
#include "app/core/platform.h"
#include "app/core/profile.h"

#include <cstdio>
#include <cwctype>

namespace kelvo {
namespace {


bool EqualNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}

bool ReadAll(const std::wstring& file, std::string& bytes)
{
    FILE* f = OpenFile(file, "rb");
    if (!f)
        return false;
    char chunk[16384];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0)
        bytes.append(chunk, n);
    bool ok = !std::ferror(f);
    std::fclose(f);
    return ok;
}

// A file is ANSI text unless it starts with a byte-order mark.
std::wstring Decode(const std::string& bytes)
{
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        return Utf8ToWide(bytes.substr(3));
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        std::wstring out;
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            out.push_back(static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) |
                                               (static_cast<unsigned char>(bytes[i + 1]) << 8)));
        return out;
    }
    return ToWide(0, bytes);
}

// A value in one pair of matching quotes is given without them.
std::wstring Unquote(const std::wstring& v)
{
    if (v.size() >= 2 && (v[0] == L'"' || v[0] == L'\'') && v.back() == v[0])
        return v.substr(1, v.size() - 2);
    return v;
}

} // namespace

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                           const std::wstring& def, size_t maxChars)
{
    // The default loses its trailing blanks, and any answer is cut to the
    // buffer, as the Win32 reader does.
    std::wstring fallback = def;
    while (!fallback.empty() && fallback.back() == L' ')
        fallback.pop_back();
    fallback = fallback.substr(0, maxChars);

    std::string bytes;
    if (!ReadAll(file, bytes))
        return fallback;
    const std::wstring text = Decode(bytes);
    const std::wstring wantSection = TrimBlanks(section);
    const std::wstring wantKey = TrimBlanks(key);

    bool inSection = wantSection.empty(); // lines before any header form the unnamed section
    bool seenSection = inSection;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = TrimBlanks(text.substr(pos, end - pos));
        pos = end + 1;
        if (line.empty())
            continue;
        if (line[0] == L'[') {
            const size_t close = line.rfind(L']');
            if (close != std::wstring::npos) {
                // Only the first section of the name is searched.
                if (inSection)
                    return fallback;
                inSection = !seenSection && EqualNoCase(TrimBlanks(line.substr(1, close - 1)), wantSection);
                seenSection = seenSection || inSection;
                continue;
            }
        }
        if (!inSection)
            continue;
        const size_t eq = line.find(L'=');
        const std::wstring name = TrimBlanks(line.substr(0, eq));
        if (!EqualNoCase(name, wantKey))
            continue;
        if (eq == std::wstring::npos)
            return fallback; // a key without "=" has no value
        return Unquote(TrimBlanks(line.substr(eq + 1))).substr(0, maxChars);
    }
    return fallback;
}

} // namespace kelvo
