#pragma once
// The system integration when Finish is pressed: Dozaz started and registered
// to run at logon when the settings have it on (its Run value removed when
// off), the all-users Start-menu and desktop shortcuts, the uninstall entry,
// the driver batch of the system's architecture (none on ARM64). What the
// unpacking could not place is skipped.
#include <windows.h>
#include <shlobj.h>

#include <string>

namespace kelvo::install {

// A shell link to `path` with its folder as working directory; null when
// the shell link object cannot be created.
IShellLinkW* CreateProgramLink(const std::wstring& path, const std::wstring& description);

// Saves `link` as a shortcut in a special folder (below "ZENDRIX\Kelvo" when
// `inSubFolder`); 1 when the shortcut was saved, 0 otherwise (no link, no
// IPersistFile, or Save failed).
int SaveShortcut(int csidl, const std::wstring& name, bool inSubFolder, IShellLinkW* link);

// The two links prepared when the unpacking ends.
struct ShellLinks {
    IShellLinkW* program = nullptr;      // T + "Kelvo\Kelvo.exe"
    IShellLinkW* uninstaller = nullptr;  // T + "Kelvo\Uninstall.exe"
};
void PrepareShellLinks(const std::wstring& target, ShellLinks* links);
void ReleaseShellLinks(ShellLinks* links);

// The driver batch this system needs ("x64.bat", "x86.bat"), or null when
// it needs none (ARM64).
const wchar_t* DriverBatchForThisSystem();

// Removes the shortcuts an older installer saved for its own account only.
void RemovePerUserShortcuts();

// Steps 1 to 5 of Finish, below the target folder T; the links stay with the caller.
void IntegrateInstallation(const std::wstring& target, const ShellLinks& links);

} // namespace kelvo::install
