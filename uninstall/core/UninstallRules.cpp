#include "uninstall/core/UninstallRules.h"

namespace kelvo::uninstall {

namespace {

bool EndsWithNoCase(const std::wstring& s, const std::wstring& suffix)
{
    if (s.size() < suffix.size())
        return false;
    for (size_t i = 0; i < suffix.size(); ++i) {
        wchar_t a = s[s.size() - suffix.size() + i], b = suffix[i];
        if (a >= L'a' && a <= L'z')
            a = static_cast<wchar_t>(a - L'a' + L'A');
        if (b >= L'a' && b <= L'z')
            b = static_cast<wchar_t>(b - L'a' + L'A');
        if (a != b)
            return false;
    }
    return true;
}

} // namespace

std::wstring WithoutTrailingSlash(std::wstring folder)
{
    while (!folder.empty() && (folder.back() == L'\\' || folder.back() == L'/'))
        folder.pop_back();
    return folder;
}

bool IsInstallationFolderName(const std::wstring& folder)
{
    const std::wstring f = WithoutTrailingSlash(folder);
    static const std::wstring kTail = L"\\ZENDRIX\\Kelvo";
    // Something must stand before "\ZENDRIX", and it must be a folder of its own.
    if (!EndsWithNoCase(f, kTail) || f.size() == kTail.size())
        return false;
    if (f.find(L"..") != std::wstring::npos || f.find(L'/') != std::wstring::npos)
        return false;
    const wchar_t before = f[f.size() - kTail.size() - 1];
    return before != L'\\';
}

} // namespace kelvo::uninstall
