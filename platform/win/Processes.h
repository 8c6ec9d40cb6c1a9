#pragma once
// Other programs' processes, found by their program file and ended, for
// Kelvo's settings page, the installer and the uninstaller alike. Each caller
// says how politely: ask the windows first or not, how long to wait, whether
// to terminate at the end.
#include <windows.h>

#include <functional>
#include <string>

namespace kelvo {

// Two paths spelled alike, letter case aside (as the file system compares
// names); no normalisation of short names or relative parts.
bool SamePath(const std::wstring& a, const std::wstring& b);

// The full path of an opened process's program file ("" when it cannot be
// read). `process` needs PROCESS_QUERY_LIMITED_INFORMATION.
std::wstring ProcessImage(HANDLE process);

// Calls `visit` for every process but this one that `named` accepts by its
// program's file name (nullptr: every process), with a handle opened with
// PROCESS_QUERY_LIMITED_INFORMATION | `access` and the program file's full
// path read from that handle: the handle is the process a caller would end,
// even if the listing's id has since been given to another. Processes that
// cannot be opened so are left out. The handle is closed after `visit`.
void ForEachProcess(DWORD access, const std::function<bool(const wchar_t* fileName)>& named,
                    const std::function<void(DWORD pid, HANDLE process, const std::wstring& image)>& visit);

// How a process is asked to end.
enum class AskWindows {
    None,            // terminated at once
    All,             // WM_CLOSE to every top-level window, hidden ones too (a tray program's)
    VisibleUnowned,  // WM_CLOSE only to its visible main windows (a dialog program's hidden helpers are left alone)
};

struct StopPolicy {
    AskWindows ask = AskWindows::All;
    DWORD askWaitMs = 3000;  // how long it may take to end on request
    bool terminate = true;   // TerminateProcess (exit code 0) when it has not ended
};

enum class Stopped { OnRequest, Terminated, StillRunning };

// WM_CLOSE to the windows of process `pid` as `ask` says; how many were asked.
int AskProcessToClose(DWORD pid, AskWindows ask);

// Ends an opened process as `policy` says. `process` needs SYNCHRONIZE and,
// to be terminated, PROCESS_TERMINATE. After a termination it waits up to
// 5 s for the end, so that a new copy does not find the old one's mutex.
Stopped StopProcess(HANDLE process, DWORD pid, const StopPolicy& policy);

} // namespace kelvo
