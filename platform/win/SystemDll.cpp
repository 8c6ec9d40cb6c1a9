#include "platform/win/SystemDll.h"


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

// Called by the import stubs (scripts/lib/make-importstubs) at the first call
// of a function of a DLL that is not a KnownDLL: the function from the system
// folder's copy of the DLL, stored in the stub's import pointer. A system
// without it cannot run the program: said once, and the program ends, rather
// than calling nowhere.
extern "C" void* kelvo_resolve_import(const wchar_t* dll, const char* name, void** slot)
{
    HMODULE module = kelvo::LoadSystemDll(dll);
    void* function = module ? reinterpret_cast<void*>(::GetProcAddress(module, name)) : nullptr;
    if (!function) {
        wchar_t text[300];
        ::wsprintfW(text, L"%s is missing from the system folder (%S).", dll, name);
        ::FatalAppExitW(0, text);
        ::ExitProcess(ERROR_PROC_NOT_FOUND);
    }
    // Aligned pointer-sized store: a second thread sees the old stub or the function.
    *reinterpret_cast<void* volatile*>(slot) = function;
    return function;
}
