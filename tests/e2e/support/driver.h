#pragma once
// Drives the real Kelvo.exe from a Windows-side test program: a private copy of
// the installation folder per test, start and stop, windows found by what they
// show, clicks and keys, screenshots.
#include "tools/plug/plug.h"

#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace kelvo::e2e {

std::wstring Env(const wchar_t* name);
// Folder for screenshots and logs of the run ($KELVO_BIN/e2e).
std::wstring ArtifactFolder();

// A copy of dist/Kelvo in a fresh temporary folder, removed at destruction.
class Installation {
public:
    Installation();
    ~Installation();
    Installation(const Installation&) = delete;
    Installation& operator=(const Installation&) = delete;

    const std::wstring& Folder() const { return m_folder; }  // with trailing backslash
    std::wstring Path(const std::wstring& relative) const { return m_folder + relative; }
    void WriteFile(const std::wstring& relative, const std::string& bytes) const;
    std::string ReadFile(const std::wstring& relative) const;
    void Remove(const std::wstring& relative) const;

private:
    std::wstring m_folder;
};

// One run of Kelvo.exe, started in the installation folder (as its shortcut does).
class KelvoProcess {
public:
    explicit KelvoProcess(const Installation& inst);
    ~KelvoProcess();  // kills the process if it still runs

    bool Started() const { return m_pi.hProcess != nullptr; }
    DWORD Pid() const { return m_pi.dwProcessId; }
    // Exit code, or STILL_ACTIVE when it has not ended within the time.
    DWORD WaitExit(DWORD ms);
    bool Running() const;
    void Kill();

    // The main window: the process's visible top-level dialog whose title is `title`
    // (empty: any title). Null after the time-out.
    HWND WaitMainWindow(DWORD ms, const std::wstring& title = L"");

private:
    PROCESS_INFORMATION m_pi{};
};

// Top-level windows of a process, visible ones only when asked.
std::vector<HWND> TopWindows(DWORD pid, bool visibleOnly = true);
// Waits for a visible top-level window of the process with that title and class
// (#32770 for message boxes and dialogs).
HWND WaitWindow(DWORD pid, const std::wstring& title, DWORD ms, const wchar_t* className = L"#32770");
// Text of a window / of all its child windows' texts joined by '\n'.
std::wstring WindowText(HWND hwnd);
std::wstring ChildTexts(HWND hwnd);
std::wstring ClassOf(HWND hwnd);
// Presses a button of a dialog or message box by its id (IDOK, IDYES, ...).
bool PressButton(HWND dialog, int id);

// Waits until `cond` holds, pumping this thread's messages; false on time-out.
bool WaitFor(const std::function<bool()>& cond, DWORD ms, DWORD stepMs = 50);

// Real input: a left click at client coordinates of a window (moves the cursor).
void ClickClient(HWND hwnd, int x, int y);
void KeyPress(HWND focusTarget, WORD vk);

// Saves a PNG of the window as it is on the screen; returns the file's path.
std::wstring Screenshot(HWND hwnd, const std::wstring& name);

// A pixel at client coordinates as the screen shows it (a child window of
// another process gives no pixels through its own device context here).
COLORREF Pixel(HWND hwnd, int x, int y);
// Colours within a few steps of each other in every channel.
bool Near(COLORREF a, COLORREF b);
// "#RRGGBB", for messages.
std::string Hex(COLORREF c);

// Whole content of a file ("" when it cannot be read).
using plug::ReadWholeFile;
// Windows path of a Unix one (drive Z:), and the Unix path of a Windows one.
std::wstring WindowsPathOf(const std::string& unixPath);
std::string UnixPathOf(const std::wstring& windowsPath);

// Starts a Unix command line through /bin/sh, not waited for (see
// RunUnixAndWait for one whose end matters).
using plug::RunUnix;

// The text of a list view cell of another process (by its process id). The
// request carries pointers, so it and its buffer are made in that process.
std::wstring ListItemText(DWORD pid, HWND list, int row, int column, size_t capacity = 512);

} // namespace kelvo::e2e
