#pragma once
// Which driver batch file the installer starts. Where the system tells its
// own processor (IsWow64Process2): x64.bat on x64, x86.bat on x86, none on
// ARM64, whose Windows (10 and later) binds the scan tool's CDC ACM port to
// its own driver, and for which the INF has no section. Older systems answer
// only whether the installer is a 32-bit process on 64-bit Windows
// (IsWow64Process): "x64.bat" then, "x86.bat" otherwise, including a system
// without that function too.
#include <string>

namespace kelvo::install {

enum class Wow64Answer { NoFunction, Failed, No, Yes };

const wchar_t* DriverBatchFile(Wow64Answer answer);

// The machine of the system as IsWow64Process2 reports it (its
// IMAGE_FILE_MACHINE_* value); null: no driver step.
const wchar_t* DriverBatchForMachine(unsigned short nativeMachine);

constexpr unsigned short kMachineI386 = 0x014C;
constexpr unsigned short kMachineAmd64 = 0x8664;
constexpr unsigned short kMachineArm64 = 0xAA64;

// Windows 10 and later bind the scan tool (a USB CDC ACM device) to their own
// usbser.sys: no driver package is needed there, and 64-bit ones refuse ours
// (it has no signed catalogue). `major` as RtlGetVersion reports it.
bool InboxDriverServes(unsigned long major);

enum class DriverStepKind {
    LeftAlone,     // /NODRIVER
    Inbox,         // Windows 10 and later
    NoBatch,       // ARM64: no batch for this machine
    Missing,       // the batch file is not in the folder
    NotStarted,    // cmd could not be started (exitCode: the system's error)
    StillRunning,  // no answer in time
    Ran,           // exitCode: the batch's (devcon's codes: 0 done, 4 restart, 3 refused, else failed)
};

struct DriverOutcome {
    DriverStepKind kind = DriverStepKind::NoBatch;
    unsigned long exitCode = 0;
    std::wstring batch;  // "x64.bat", "x86.bat"
};

// The finish page's line about the driver (empty for NoBatch, which the
// page tells otherwise).
std::wstring DriverOutcomeText(const DriverOutcome& outcome);

// The driver is in place but Windows must restart to use it.
inline bool DriverNeedsRestart(const DriverOutcome& o) { return o.kind == DriverStepKind::Ran && o.exitCode == 4; }
// The step failed (the installation itself stands).
bool DriverFailed(const DriverOutcome& o);

} // namespace kelvo::install
