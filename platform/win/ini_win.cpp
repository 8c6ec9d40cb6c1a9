// The standard INI reader of Windows, for the one key whose value holds "//".
#include "app/core/profile.h"

#include <windows.h>

#include <vector>

namespace kelvo {

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                           const std::wstring& def, size_t maxChars)
{
    // The Win32 reader looks for a bare name in the Windows folder; the
    // settings file is meant from the working directory, as CProfile opens it.
    std::wstring path = file;
    if (file.find_first_of(L"\\/:") == std::wstring::npos) {
        DWORD n = GetFullPathNameW(file.c_str(), 0, nullptr, nullptr);
        if (n > 0) {
            std::vector<wchar_t> full(n + 1);
            DWORD m = GetFullPathNameW(file.c_str(), n + 1, full.data(), nullptr);
            if (m > 0 && m <= n)
                path.assign(full.data(), m);
        }
    }
    if (maxChars > 0x7FFFFFF0u)
        maxChars = 0x7FFFFFF0u;
    std::vector<wchar_t> buffer(maxChars + 1, L'\0');
    DWORD got = GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buffer.data(),
                                         static_cast<DWORD>(buffer.size()), path.c_str());
    return std::wstring(buffer.data(), got < buffer.size() ? got : buffer.size() - 1);
}

} // namespace kelvo
