#pragma once
// Which driver batch file the installer starts: "x64.bat" when the system
// reports a 32-bit process on 64-bit Windows, "x86.bat" otherwise, including
// a system without IsWow64Process and a 64-bit installer (which is no WoW64
// process).
namespace kelvo::install {

enum class Wow64Answer { NoFunction, Failed, No, Yes };

const wchar_t* DriverBatchFile(Wow64Answer answer);

} // namespace kelvo::install
