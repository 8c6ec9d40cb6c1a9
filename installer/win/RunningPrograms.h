#pragma once
// The installation's running programs, found and closed before the unpacking
// replaces their files: Kelvo by its single-copy mutex (whatever folder it
// runs from, it holds the name the new one needs), Dozaz and AidletStart by
// their full path in the target folder.
#include "app/core/SingleCopy.h"

#include <windows.h>

#include <string>

namespace kelvo::install {


bool KelvoIsRunning();

// Asks every running Kelvo to close as its own close button would (it may ask
// its user first, during a firmware update) and waits up to `waitMs` while
// the caller's windows keep painting; true when no Kelvo runs any more.
// Kelvo is never terminated: it may be writing the scan tool's firmware.
bool CloseKelvo(DWORD waitMs);

// Ends every process whose program file is `exe`: WM_CLOSE to its windows
// first (a tray program then removes its icon), `graceMs` to end on its own,
// then TerminateProcess. Returns how many processes were found.
int StopProgramAt(const std::wstring& exe, DWORD graceMs);

} // namespace kelvo::install
