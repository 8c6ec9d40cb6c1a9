#pragma once
// The companion programs as the scenarios see them: processes by program
// file, the logon value, the stand-in program that records how it was started.
#include "e2e/support/driver.h"

#include <string>
#include <vector>

namespace kelvo::e2e {

// Running processes whose program file is `path` (compared without regard to
// case), or, with an empty path, whose file name is `name`.
std::vector<DWORD> ProcessesOf(const std::wstring& name, const std::wstring& path = L"");
// Terminates every process named `name` and waits for each.
void KillAll(const std::wstring& name);

// The value "Kelvo Dozaz" under HKLM ...\CurrentVersion\Run.
bool RunValue(std::wstring* data, DWORD* type = nullptr);
void SetRunValue(DWORD type, const void* data, DWORD bytes);
void DeleteRunValue();

// tests/bin/kelvo_probe.exe copied to `path`; what it recorded when it ran
// ("" while it has not): its working directory, a line end, its command line.
bool PlaceProbe(const std::wstring& path);
std::wstring ProbeRecord(const std::wstring& path);

// A program started with a working directory of the test's choice; killed at
// destruction if it still runs.
class StartedProgram {
public:
    StartedProgram(const std::wstring& exe, const std::wstring& cwd, const std::wstring& arguments = L"");
    ~StartedProgram();
    StartedProgram(const StartedProgram&) = delete;
    StartedProgram& operator=(const StartedProgram&) = delete;
    bool Started() const { return m_pi.hProcess != nullptr; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    // Exit code, or STILL_ACTIVE when it has not ended within the time.
    DWORD WaitExit(DWORD ms);

private:
    PROCESS_INFORMATION m_pi{};
};

// A visible top-level dialog of any process with this exact title, or null.
HWND FindTopWindow(const std::wstring& title, const wchar_t* className = L"#32770");

} // namespace kelvo::e2e
