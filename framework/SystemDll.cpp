#include "framework/SystemDll.h"

#include <delayimp.h>

namespace kelvo {

namespace {

bool g_restricted = false;

#ifndef LOAD_LIBRARY_SEARCH_SYSTEM32
#define LOAD_LIBRARY_SEARCH_SYSTEM32 0x00000800
#endif

// A bare file name: no folder, no drive, no stream.
bool IsBareName(const wchar_t* name)
{
    if (!name || !*name)
        return false;
    for (const wchar_t* p = name; *p; ++p)
        if (*p == L'\\' || *p == L'/' || *p == L':')
            return false;
    return true;
}

// The delay-load helper asks here before it loads a DLL itself: the answer
// is the system folder's copy, whatever the search order of the process.
FARPROC WINAPI DelayLoadHook(unsigned notify, PDelayLoadInfo info)
{
    if (notify != dliNotePreLoadLibrary || !info || !info->szDll)
        return nullptr;
    wchar_t name[MAX_PATH] = {};
    if (!::MultiByteToWideChar(CP_ACP, 0, info->szDll, -1, name, MAX_PATH))
        return nullptr;
    return reinterpret_cast<FARPROC>(LoadSystemDll(name));
}

} // namespace

bool RestrictDllSearch()
{
    typedef BOOL(WINAPI * SetDefaultFn)(DWORD);
    HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    auto setDefault = kernel ? reinterpret_cast<SetDefaultFn>(reinterpret_cast<void (*)()>(
                                   ::GetProcAddress(kernel, "SetDefaultDllDirectories")))
                             : nullptr;
    if (setDefault && setDefault(LOAD_LIBRARY_SEARCH_SYSTEM32))
        g_restricted = true;
    else
        ::SetDllDirectoryW(L"");
    return g_restricted;
}

bool DllSearchRestricted() { return g_restricted; }

HMODULE LoadSystemDll(const wchar_t* name)
{
    if (!IsBareName(name))
        return nullptr;
    if (g_restricted)
        return ::LoadLibraryExW(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    // No search flags on this system: the full path of the system folder's copy.
    wchar_t system[MAX_PATH] = {};
    const UINT n = ::GetSystemDirectoryW(system, MAX_PATH);
    if (n == 0 || n >= MAX_PATH)
        return nullptr;
    const std::wstring path = std::wstring(system) + L"\\" + name;
    return ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

HMODULE LoadDllByPath(const std::wstring& path)
{
    if (path.empty())
        return nullptr;
    // With the search restricted, a full path alone loads just that file and
    // its imports come from the system folder; without, the DLL's own folder
    // (ours, protected) is searched for its imports instead of the program's.
    return ::LoadLibraryExW(path.c_str(), nullptr, g_restricted ? 0 : LOAD_WITH_ALTERED_SEARCH_PATH);
}

} // namespace kelvo

// Read by MinGW's delay-load helper (libmingwex) before every DLL it loads.
extern "C" {
PfnDliHook __pfnDliNotifyHook2 = kelvo::DelayLoadHook;
}
