#pragma once
// The system integration when Finish is pressed: Dozaz started and registered
// to run at logon when the settings have it on (its Run value removed when
// off), the all-users Start-menu and desktop shortcuts, the uninstall entry,
// the driver batch of the system's architecture (none on ARM64). What the
// unpacking could not place is skipped.
#include <windows.h>
#include <shlobj.h>

#include <string>

#include "installer/core/Batch.h"

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

// Finish below the target folder T: Dozaz and its Run value (off with
// `noAutostart`), shortcuts, the uninstall entry; the links stay with the caller.
void IntegrateInstallation(const std::wstring& target, const ShellLinks& links, bool noAutostart = false);

// The major version of the running Windows as the system itself reports it
// (RtlGetVersion); 0 when it cannot be told.
unsigned long WindowsMajorVersion();

// Runs the driver batch `batch` of `folder` with no window and no console
// and waits up to `waitMs` for its exit code.
DriverOutcome RunDriverBatch(const std::wstring& folder, const std::wstring& batch, DWORD waitMs);

// The driver step after the unpacking: left alone with /NODRIVER, none where
// Windows binds the tool itself (10 and later, ARM64), else the batch of
// this system's architecture, hidden, waited for.
DriverOutcome DriverStep(const std::wstring& target, bool noDriver);

} // namespace kelvo::install
