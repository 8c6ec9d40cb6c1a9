#pragma once
// Installing without the wizard (/S, /VERYSILENT, /SILENT): every question
// answered as a careful administrator would (a running Kelvo is asked to
// close, never ended; the user's settings are kept; an earlier installation
// is upgraded where it is), no message box, no waiting animation, and an exit
// code from the table in installer/core/Switches.h.
#include "installer/core/Switches.h"
#include "installer/win/Extractor.h"

#include <windows.h>

#include <string>

namespace kelvo::install {

// The installation; `progress` (may be null) receives PBM_SETPOS 0..100.
int RunUnattendedInstall(const InstallSwitches& switches, HWND progress);

// /SILENT: the same behind a small progress window.
int RunWithProgressWindow(const InstallSwitches& switches);

// The exit code of a finished installation (the wizard's too).
int InstallExitCode(const InstallOutcome& outcome, bool haveKelvo);

// Another KelvoInstall runs (a second installation at the same time would
// write the same files): held by the caller for the whole run. Null when one
// already runs.
HANDLE TakeInstallerMutex();

} // namespace kelvo::install
