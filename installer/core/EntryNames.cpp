#include "installer/core/EntryNames.h"

#include "app/core/textutil.h"

namespace kelvo::install {

namespace {

// Code page 437, bytes 0x80..0xFF.
const char16_t kCp437High[128] = {
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7, 0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC,
    0x00C4, 0x00C5, 0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9, 0x00FF, 0x00D6, 0x00DC, 0x00A2,
    0x00A3, 0x00A5, 0x20A7, 0x0192, 0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA, 0x00BF, 0x2310,
    0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB, 0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510, 0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C,
    0x255E, 0x255F, 0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567, 0x2568, 0x2564, 0x2565, 0x2559,
    0x2558, 0x2552, 0x2553, 0x256B, 0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580, 0x03B1, 0x00DF,
    0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4, 0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248, 0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2,
    0x25A0, 0x00A0};

void AppendCodePoint(std::wstring& out, uint32_t cp)
{
    if (sizeof(wchar_t) == 2 && cp > 0xFFFF) {
        cp -= 0x10000;
        out += static_cast<wchar_t>(0xD800 + (cp >> 10));
        out += static_cast<wchar_t>(0xDC00 + (cp & 0x3FF));
    } else {
        out += static_cast<wchar_t>(cp);
    }
}

std::wstring DecodeUtf8(const std::string& raw)
{
    std::wstring out;
    const size_t n = raw.size();
    size_t i = 0;
    while (i < n) {
        const auto b = static_cast<unsigned char>(raw[i]);
        int extra;
        uint32_t cp;
        uint32_t min;
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            extra = 1, cp = b & 0x1F, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            extra = 2, cp = b & 0x0F, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            extra = 3, cp = b & 0x07, min = 0x10000;
        } else {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        size_t j = i + 1;
        bool ok = true;
        for (int k = 0; k < extra; ++k, ++j) {
            if (j >= n || (static_cast<unsigned char>(raw[j]) & 0xC0) != 0x80) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (static_cast<unsigned char>(raw[j]) & 0x3F);
        }
        // Overlong forms and surrogates could smuggle a "/" or "." past the checks.
        if (!ok || cp < min || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            out += L'\xFFFD';
            ++i;
            continue;
        }
        AppendCodePoint(out, cp);
        i = j;
    }
    return out;
}

bool IsSeparator(wchar_t c) { return c == L'/' || c == L'\\'; }

// Windows opens a device for these, whatever the extension or case: an entry
// "Kelvo/COM1" could write into the scan tool's port.
bool IsDeviceName(const std::wstring& component)
{
    std::wstring stem = component.substr(0, component.find(L'.'));
    while (!stem.empty() && stem.back() == L' ')
        stem.pop_back();  // "CON .txt" is CON too
    stem = AsciiUpper(stem);
    if (stem == L"CON" || stem == L"PRN" || stem == L"AUX" || stem == L"NUL")
        return true;
    return stem.size() == 4 && (stem.compare(0, 3, L"COM") == 0 || stem.compare(0, 3, L"LPT") == 0) && stem[3] >= L'1' &&
           stem[3] <= L'9';
}

} // namespace

std::wstring DecodeEntryName(const std::string& raw, uint32_t flags)
{
    if (flags & kZipFlagUtf8)
        return DecodeUtf8(raw);
    std::wstring out;
    out.reserve(raw.size());
    for (char ch : raw) {
        const auto b = static_cast<unsigned char>(ch);
        out += b < 0x80 ? static_cast<wchar_t>(b) : static_cast<wchar_t>(kCp437High[b - 0x80]);
    }
    return out;
}

bool StaysInside(const std::wstring& name)
{
    if (name.empty() || IsSeparator(name[0]))
        return false;
    if (name.find(L':') != std::wstring::npos || name.find(L'\0') != std::wstring::npos)
        return false;
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (name.compare(start, end - start, L"..") == 0)
            return false;
        start = end + 1;
    }
    return true;
}

bool IsPlainName(const std::wstring& name)
{
    size_t start = 0;
    while (start < name.size()) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end]))
            ++end;
        if (end == start)
            return false;  // "//" or a leading separator
        const wchar_t last = name[end - 1];
        // Also refuses "." and "..".
        if (last == L'.' || last == L' ')
            return false;
        if (IsDeviceName(name.substr(start, end - start)))
            return false;
        start = end + 1;
    }
    return !name.empty();
}

std::wstring ToBackslashes(std::wstring name)
{
    for (auto& c : name)
        if (c == L'/')
            c = L'\\';
    return name;
}

bool IsFolderEntry(const std::wstring& name, uint32_t externalAttributes)
{
    return (!name.empty() && IsSeparator(name.back())) || (externalAttributes & 0x10u);
}

uint32_t DosFileAttributes(uint32_t externalAttributes)
{
    // read-only 0x01, hidden 0x02, system 0x04, archive 0x20
    return externalAttributes & 0x27u;
}

bool IsUserSettingsEntry(const std::wstring& name)
{
    return EqualsAsciiNoCase(ToBackslashes(name), L"Kelvo\\Kelvo.cfg");
}

} // namespace kelvo::install
