#pragma once
// Which driver batch file the installer starts. Where the system tells its
// own processor (IsWow64Process2): x64.bat on x64, x86.bat on x86, none on
// ARM64, whose Windows (10 and later) binds the scan tool's CDC ACM port to
// its own driver, and for which the INF has no section. Older systems answer
// only whether the installer is a 32-bit process on 64-bit Windows
// (IsWow64Process): "x64.bat" then, "x86.bat" otherwise, including a system
// without that function too.
namespace kelvo::install {

enum class Wow64Answer { NoFunction, Failed, No, Yes };

const wchar_t* DriverBatchFile(Wow64Answer answer);

// The machine of the system as IsWow64Process2 reports it (its
// IMAGE_FILE_MACHINE_* value); null: no driver step.
const wchar_t* DriverBatchForMachine(unsigned short nativeMachine);

constexpr unsigned short kMachineI386 = 0x014C;
constexpr unsigned short kMachineAmd64 = 0x8664;
constexpr unsigned short kMachineArm64 = 0xAA64;

} // namespace kelvo::install
