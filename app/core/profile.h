#pragma once
// CProfile: reader and writer of the program's own settings format
// ("Kelvo.cfg", and the update catalogue "update\version.sv").
#include <string>

class CProfile {
public:
    static std::wstring GetString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                                  const std::wstring& def);
    static int GetInt(const std::wstring& file, const std::wstring& section, const std::wstring& key, int def);
    static bool SetString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                          const std::wstring& value);
    static bool SetInt(const std::wstring& file, const std::wstring& section, const std::wstring& key, int value);
};

namespace kelvo {
// The platform's standard INI reading rules (GetPrivateProfileStringW on
// Windows): names compared without regard to case, key and value trimmed, no
// "//" comments, at most maxChars characters of value. Used for DownloadLink,
// whose value holds "//".
std::wstring ReadIniString(const std::wstring& file, const std::wstring& section, const std::wstring& key,
                           const std::wstring& def, size_t maxChars = 255);
} // namespace kelvo
