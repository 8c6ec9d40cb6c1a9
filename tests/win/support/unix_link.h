#pragma once
// A symbolic link as Wine shows one: Wine 8 keeps no Windows symbolic links
// or junctions (CreateSymbolicLinkW succeeds and makes nothing), but it
// reports a Unix symbolic link inside a drive as a reparse point. Under Wine
// the link is made with the system's ln; on Windows with CreateSymbolicLinkW.
#include <windows.h>

#include <string>

namespace kelvo::test {

inline std::string UnixPath(const std::wstring& windowsPath)
{
    typedef char*(CDECL * UnixNameFn)(LPCWSTR);
    auto fn = reinterpret_cast<UnixNameFn>(
        reinterpret_cast<void (*)()>(::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
    if (!fn)
        return {};
    char* p = fn(windowsPath.c_str());
    if (!p)
        return {};
    std::string out = p;
    ::HeapFree(::GetProcessHeap(), 0, p);
    return out;
}

// True when `link` (absent before) is now a reparse point leading to the folder `target`.
inline bool MakeFolderLink(const std::wstring& link, const std::wstring& target)
{
    const std::string unixLink = UnixPath(link), unixTarget = UnixPath(target);
    if (!unixLink.empty() && !unixTarget.empty()) {
        // Wine hands the Unix program its arguments as Windows splits them.
        std::wstring cmd = L"/bin/ln -s \"" + std::wstring(unixTarget.begin(), unixTarget.end()) + L"\" \"" +
                           std::wstring(unixLink.begin(), unixLink.end()) + L"\"";
        STARTUPINFOW si{};
        si.cb = sizeof si;
        PROCESS_INFORMATION pi{};
        if (::CreateProcessW(L"Z:\\bin\\ln", &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) {
            ::WaitForSingleObject(pi.hProcess, 10000);
            ::CloseHandle(pi.hProcess);
            ::CloseHandle(pi.hThread);
        }
    } else {
        ::CreateSymbolicLinkW(link.c_str(), target.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY);
    }
    // The Unix program may end before its link is seen from here (Wine
    // starts it through a loader of its own): look again for a while.
    for (int i = 0; i < 40; ++i) {
        const DWORD a = ::GetFileAttributesW(link.c_str());
        if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_REPARSE_POINT))
            return true;
        ::Sleep(50);
    }
    return false;
}

} // namespace kelvo::test
