#include "uninstall/core/UninstallRules.h"

#include "app/core/textutil.h"

namespace kelvo::uninstall {

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
    if (!EndsWithAsciiNoCase(f, kTail) || f.size() == kTail.size())
        return false;
    if (f.find(L"..") != std::wstring::npos || f.find(L'/') != std::wstring::npos)
        return false;
    const wchar_t before = f[f.size() - kTail.size() - 1];
    return before != L'\\';
}

std::wstring SelfRemovalBatch()
{
    const std::wstring self = L"\"%" + std::wstring(kBatchSelfVariable) + L"%\"";
    const std::wstring folder = L"\"%" + std::wstring(kBatchFolderVariable) + L"%\"";
    const std::wstring parent = L"\"%" + std::wstring(kBatchParentVariable) + L"%\"";
    // ping waits a second between its two echoes; timeout would want console
    // input, which the hidden batch has not.
    return L"@echo off\r\n"
           L"set n=0\r\n"
           L":wait\r\n"
           L"del /f /q " + self + L" >nul 2>nul\r\n"
           L"if not exist " + self + L" goto gone\r\n"
           L"set /a n+=1\r\n"
           L"if %n% geq " + std::to_wstring(kBatchRounds) + L" goto gone\r\n"
           L"ping -n 2 127.0.0.1 >nul\r\n"
           L"goto wait\r\n"
           L":gone\r\n"
           L"rmdir " + folder + L" >nul 2>nul\r\n"
           L"rmdir " + parent + L" >nul 2>nul\r\n"
           L"del /f /q \"%~f0\"\r\n";
}

} // namespace kelvo::uninstall
