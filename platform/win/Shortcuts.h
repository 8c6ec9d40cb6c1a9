#pragma once
// Kelvo's Start-menu and desktop shortcuts, removed by the uninstaller and by
// an installer that replaces an older per-user set with the all-users one.
#include <string>

namespace kelvo::uninstall {

// A shell folder's path (CSIDL_*), or empty when the system has none.
std::wstring SpecialFolder(int csidl);

// Deletes Kelvo's shortcuts in the given programs and desktop folders, and
// the maker's Start-menu folders when that leaves them empty.
void RemoveShortcutsIn(int programsId, int desktopId);

} // namespace kelvo::uninstall
