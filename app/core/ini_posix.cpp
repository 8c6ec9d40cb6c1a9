// The standard INI reading rules, for the native build: names compared
// without regard to case, key and value trimmed, no comments inside values.
#include "app/core/codepage.h"
#include "app/core/platform.h"
#include "app/core/profile.h"

#include <cstdio>
#include <cwctype>

namespace kelvo {

namespace {
std::wstring Trim(const std::wstring& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == L' ' || s[b] == L'\t'))
        ++b;
    while (e > b && (s[e - 1] == L' ' || s[e - 1] == L'\t' || s[e - 1] == L'\r' || s[e - 1] == L'\n'))
        --e;
    return s.substr(b, e - b);
}
bool SameNoCase(const std::wstring& a, const std::wstring& b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i)
        if (std::towlower(a[i]) != std::towlower(b[i]))
            return false;
    return true;
}
} // namespace

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                           const std::wstring& def, size_t maxChars)
{
    FILE* f = OpenFile(file, "rb");
    if (!f)
        return def.substr(0, maxChars);
    std::string bytes;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
        bytes.append(buf, n);
    std::fclose(f);
    const std::wstring text = ToWide(0, bytes);
    bool inSection = false;
    size_t pos = 0;
    while (pos <= text.size()) {
        size_t end = text.find_first_of(L"\r\n", pos);
        if (end == std::wstring::npos)
            end = text.size();
        const std::wstring line = Trim(text.substr(pos, end - pos));
        pos = end + 1;
        if (!line.empty() && line[0] == L'[') {
            size_t close = line.find(L']');
            inSection = close != std::wstring::npos && SameNoCase(Trim(line.substr(1, close - 1)), section);
            continue;
        }
        if (!inSection)
            continue;
        size_t eq = line.find(L'=');
        if (eq == std::wstring::npos || !SameNoCase(Trim(line.substr(0, eq)), key))
            continue;
        std::wstring value = Trim(line.substr(eq + 1));
        if (value.size() >= 2 && (value.front() == L'"' || value.front() == L'\'') && value.back() == value.front())
            value = value.substr(1, value.size() - 2);
        return value.substr(0, maxChars);
    }
    return def.substr(0, maxChars);
}

} // namespace kelvo
