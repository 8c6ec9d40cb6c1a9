#include "installer/core/InfCheck.h"

#include "app/core/textutil.h"

namespace kelvo::install {

namespace {

std::wstring TrimBlanksAndQuotes(const std::wstring& s)
{
    size_t b = 0, e = s.size();
    while (b < e && (s[b] == L' ' || s[b] == L'\t' || s[b] == L'"'))
        ++b;
    while (e > b && (s[e - 1] == L' ' || s[e - 1] == L'\t' || s[e - 1] == L'\r' || s[e - 1] == L'"'))
        --e;
    return s.substr(b, e - b);
}

} // namespace

std::wstring InfText(const std::string& bytes)
{
    std::wstring out;
    if (bytes.size() >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF && static_cast<unsigned char>(bytes[1]) == 0xFE) {
        for (size_t i = 2; i + 1 < bytes.size(); i += 2)
            out += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]) | (static_cast<unsigned char>(bytes[i + 1]) << 8));
        return out;
    }
    size_t i = 0;
    if (bytes.size() >= 3 && bytes.compare(0, 3, "\xEF\xBB\xBF") == 0)
        i = 3;
    // The ids and section names are ASCII; other bytes cannot match them.
    for (; i < bytes.size(); ++i)
        out += static_cast<wchar_t>(static_cast<unsigned char>(bytes[i]));
    return out;
}

bool InfNamesHardwareId(const std::wstring& infText, const std::wstring& hardwareId)
{
    if (TrimBlanksAndQuotes(hardwareId).empty())
        return false;
    size_t start = 0;
    while (start < infText.size()) {
        size_t end = infText.find(L'\n', start);
        if (end == std::wstring::npos)
            end = infText.size();
        std::wstring line = infText.substr(start, end - start);
        start = end + 1;
        const size_t comment = line.find(L';');
        if (comment != std::wstring::npos)
            line.resize(comment);
        const size_t eq = line.find(L'=');
        if (eq == std::wstring::npos)
            continue;
        // "Description = install-section, id[, compatible id...]"
        size_t p = eq + 1;
        while (p <= line.size()) {
            size_t q = line.find(L',', p);
            if (q == std::wstring::npos)
                q = line.size();
            if (EqualsAsciiNoCase(TrimBlanksAndQuotes(line.substr(p, q - p)), hardwareId))
                return true;
            p = q + 1;
        }
    }
    return false;
}

} // namespace kelvo::install
