#pragma once
// The base folder the wizard installs below: the default, the custom page's
// choice, and the folder dialog's answer.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace kelvo::install {

// The Program Files folder as the system reports it to this process, with "\".
std::wstring DefaultBase();

// The base of the installation the uninstall entry names (its
// InstallLocation, or the folder of its UninstallString), when that folder
// still holds our uninstaller; empty otherwise. An upgrade goes there.
std::wstring EarlierInstallationBase();

// The custom page's base: the edit's text normalised and made absolute
// (a relative path means the same folder to the shortcuts and the uninstall
// entry as to the unpacking), or the default when the edit is empty.
std::wstring ChosenBase(const std::wstring& editText, const std::wstring& defaultBase);

// The file-system folder of an item list, normalised; false (and `*folder`
// untouched) for an item with no file-system path.
bool FolderOfItem(PCIDLIST_ABSOLUTE item, std::wstring* folder);

// The folder dialog of the custom page; false when it was cancelled or gave
// no file-system folder.
bool BrowseForBase(HWND owner, std::wstring* folder);

} // namespace kelvo::install
