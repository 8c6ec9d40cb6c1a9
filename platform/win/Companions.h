#pragma once
// The companion programs of the installation as the settings page drives
// them: started by full path from the program's folder, this installation's
// Dozaz stopped, and the logon value "Kelvo Dozaz" under the machine's Run key.
#include <windows.h>

#include <string>

namespace kelvo {

// ShellExecuteW "open" of `name` in the program's folder, with that folder as
// working directory (so that a program asking for administrator rights gets
// the system's prompt). With `asDesktopUser`, unelevated through the desktop's
// shell where it can (platform/win/ShellStart.h). False when it did not start.
bool StartCompanion(const std::wstring& name, const std::wstring& parameters, int show, bool asDesktopUser = false);

// Ends every running Dozaz.exe of this installation and returns how many
// ended. Each is asked first (WM_CLOSE to its windows, so that it takes its
// tray icon away) and terminated (exit code 0) only when it has not ended
// within `closeWaitMs`; *closed counts those that ended on request. A
// Dozaz.exe whose full path cannot be read is left running.
int StopInstallationDozaz(DWORD closeWaitMs = 3000, int* closed = nullptr);

// Asks a process to end (WM_CLOSE to all its top-level windows, hidden ones
// too: a tray program's window is never shown) and terminates it (exit code
// 0) when it has not ended within `closeWaitMs`. True when it ended on
// request. `process` needs PROCESS_TERMINATE and SYNCHRONIZE.
bool CloseOrEndProcess(HANDLE process, DWORD pid, DWORD closeWaitMs);

// The Run value: present (a non-empty REG_SZ), written with the quoted path
// of Dozaz.exe in the program's folder when absent or empty, and deleted. The
// Run key is opened, never created; failures are silent.
bool DozazRunValuePresent();
void RegisterDozazAtLogon();
void UnregisterDozazAtLogon();

} // namespace kelvo
