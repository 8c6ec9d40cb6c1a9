#include "app/core/textutil.h"

namespace kelvo {

bool IsBlank(wchar_t c) { return c == L' ' || c == L'\t' || c == L'\r' || c == L'\n' || c == L'\v' || c == L'\f'; }

std::wstring TrimBlanks(const std::wstring& s)
{
    size_t b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

std::wstring AsciiUpper(std::wstring s)
{
    for (wchar_t& c : s)
        if (c >= L'a' && c <= L'z')
            c = static_cast<wchar_t>(c - L'a' + L'A');
    return s;
}

std::wstring AsciiLower(std::wstring s)
{
    for (wchar_t& c : s)
        if (c >= L'A' && c <= L'Z')
            c = static_cast<wchar_t>(c - L'A' + L'a');
    return s;
}

bool EqualsAsciiNoCase(const std::wstring& a, const std::wstring& b)
{
    return a.size() == b.size() && AsciiUpper(a) == AsciiUpper(b);
}

bool EndsWithAsciiNoCase(const std::wstring& s, const std::wstring& suffix)
{
    return s.size() >= suffix.size() && EqualsAsciiNoCase(s.substr(s.size() - suffix.size()), suffix);
}

} // namespace kelvo
