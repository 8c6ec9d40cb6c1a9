#pragma once
// Where our programs take DLLs from. Windows looks for a DLL that is not a
// KnownDLL in the program's own folder first, so an elevated program started
// from a download folder would run whatever "UxTheme.dll" lies beside it.
// Every program therefore restricts the search to the system folder as the
// very first thing it does; the system DLLs it needs beyond the KnownDLLs
// (GDI+, UxTheme, WinINet, ...) are reached through import stubs that load
// them with LoadSystemDll at their first call (cmake/DelayImports.cmake), and
// our own DLLs are loaded by full path.
#include <windows.h>

#include <string>

namespace kelvo {

// SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32) where the system has
// it (Windows 8, and 7 with KB2533623); elsewhere at least the current folder
// leaves the search (SetDllDirectoryW("")). True when the search is restricted
// to the system folder.
bool RestrictDllSearch();

// True once RestrictDllSearch found SetDefaultDllDirectories.
bool DllSearchRestricted();

// A DLL of the system folder by its bare name ("bcrypt.dll"), never from
// the program's folder or the search path; null when it cannot be loaded.
HMODULE LoadSystemDll(const wchar_t* name);

// A DLL of our own by its full path; its imports come from the system folder.
HMODULE LoadDllByPath(const std::wstring& path);

} // namespace kelvo
