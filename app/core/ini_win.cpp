// The standard INI reader of the system, for the one key that needs its rules.
#include "app/core/profile.h"

#include <windows.h>

#include <vector>

namespace kelvo {

std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                           const std::wstring& def, size_t maxChars)
{
    std::vector<wchar_t> buf(maxChars + 1, L'\0');
    ::GetPrivateProfileStringW(section.c_str(), key.c_str(), def.c_str(), buf.data(), static_cast<DWORD>(maxChars + 1),
                               file.c_str());
    return std::wstring(buf.data());
}

} // namespace kelvo
