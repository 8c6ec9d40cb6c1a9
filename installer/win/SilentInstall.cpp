#include "installer/win/SilentInstall.h"

#include "app/core/SingleCopy.h"
#include "installer/core/Folders.h"
#include "installer/core/Progress.h"
#include "installer/win/Extractor.h"
#include "installer/win/Folder.h"
#include "installer/win/InstallLog.h"
#include "installer/win/Integration.h"
#include "installer/win/RunningPrograms.h"

#include <commctrl.h>

#include <atomic>
#include <thread>

namespace kelvo::install {

namespace {

bool IsFile(const std::wstring& path)
{
    const DWORD a = ::GetFileAttributesW(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

HANDLE TakeInstallerMutex()
{
    HANDLE m = ::CreateMutexW(nullptr, FALSE, L"Global\\Kelvo Installation");
    const DWORD error = ::GetLastError();
    if (!m || error == ERROR_ALREADY_EXISTS) {
        if (m)
            ::CloseHandle(m);
        return nullptr;
    }
    return m;
}

int InstallExitCode(const InstallOutcome& outcome, bool haveKelvo)
{
    const UnpackResult& r = outcome.unpack;
    if (!r.opened || !haveKelvo || r.failed > 0 || !r.linkedFolders.empty())
        return kExitFailed;
    if (r.scheduled > 0 || DriverNeedsRestart(outcome.driver))
        return kExitRestartNeeded;
    return kExitOk;
}

int RunUnattendedInstall(const InstallSwitches& switches, HWND progress)
{
    auto setProgress = [progress](int percent) {
        if (progress)
            ::PostMessageW(progress, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
    };
    // Where an earlier installation is, unless told otherwise: an upgrade in place.
    std::wstring base = switches.base;
    if (base.empty())
        base = EarlierInstallationBase();
    if (base.empty())
        base = DefaultBase();
    const std::wstring target = TargetBelow(base);
    Log(L"Installing into " + ProgramFolder(target));

    if (KelvoIsRunning()) {
        Log(L"Kelvo is running: asking it to close");
        StopProgramAt(ProgramFile(target, L"AidletStart.exe"), 2000);
        // As the wizard does: Kelvo closes as its own close button would, and
        // never while it writes the scan tool's firmware.
        if (!CloseKelvo(20000)) {
            Log(L"Kelvo did not close: nothing was installed. Exit code 1618");
            return kExitKelvoRunning;
        }
        Log(L"Kelvo closed");
    }
    setProgress(5);

    ExtractJob job{nullptr, target, ::GetModuleHandleW(nullptr), switches.noDriver};
    long long entries = 0, done = 0;
    UnpackEvents events;
    events.started = [&](long long n) { entries = n; };
    events.entryDone = [&] {
        ++done;
        if (entries > 0)
            setProgress(5 + static_cast<int>(done * 85 / entries));
    };
    const InstallOutcome outcome = UnpackAndPrepare(job, events);
    setProgress(92);
    const bool haveKelvo = IsFile(ProgramFile(target, L"Kelvo.exe"));
    if (!outcome.unpack.opened) {
        Log(L"The package inside the installer could not be read: nothing was installed. Exit code 1603");
        return kExitFailed;
    }
    ShellLinks links;
    PrepareShellLinks(target, &links);
    IntegrateInstallation(target, links, switches.noAutostart);
    ReleaseShellLinks(&links);
    setProgress(100);

    const UnpackResult& r = outcome.unpack;
    Log(L"Files written: " + std::to_wstring(r.files) + L", kept: " + std::to_wstring(r.kept) + L", skipped: " +
        std::to_wstring(r.skipped) + L", failed: " + std::to_wstring(r.failed) + L", replaced at restart: " +
        std::to_wstring(r.scheduled));
    const int code = InstallExitCode(outcome, haveKelvo);
    if (!haveKelvo)
        Log(L"Kelvo.exe is missing from " + ProgramFolder(target));
    if (code == kExitRestartNeeded && switches.noRestart)
        Log(L"A restart completes the installation (not started: /NORESTART; Kelvo never restarts Windows itself)");
    Log(L"Exit code " + std::to_wstring(code));
    return code;
}

namespace {

const wchar_t kProgressClass[] = L"KelvoInstallProgress";
const UINT WM_INSTALL_DONE = WM_APP + 20;

struct ProgressWindow {
    HWND window = nullptr;
    HWND bar = nullptr;
};

LRESULT CALLBACK ProgressProc(HWND h, UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_CLOSE:
        return 0;  // nothing to cancel: the installation finishes
    case WM_INSTALL_DONE:
        ::DestroyWindow(h);
        return 0;
    case WM_DESTROY:
        ::PostQuitMessage(0);
        return 0;
    default:
        return ::DefWindowProcW(h, msg, wParam, lParam);
    }
}

} // namespace

int RunWithProgressWindow(const InstallSwitches& switches)
{
    HINSTANCE instance = ::GetModuleHandleW(nullptr);
    WNDCLASSEXW wc{};
    wc.cbSize = sizeof wc;
    wc.lpfnWndProc = ProgressProc;
    wc.hInstance = instance;
    wc.hIcon = ::LoadIconW(instance, MAKEINTRESOURCEW(128));
    wc.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kProgressClass;
    ::RegisterClassExW(&wc);
    const int w = 420, h = 90;
    const int x = (::GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (::GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    HWND window = ::CreateWindowExW(WS_EX_APPWINDOW, kProgressClass, L"Installing Kelvo",
                                    WS_POPUP | WS_CAPTION | WS_VISIBLE, x, y, w, h, nullptr, nullptr, instance, nullptr);
    HWND bar = nullptr;
    if (window) {
        RECT rc;
        ::GetClientRect(window, &rc);
        bar = ::CreateWindowExW(0, PROGRESS_CLASSW, L"", WS_CHILD | WS_VISIBLE, 12, (rc.bottom - 22) / 2,
                                rc.right - 24, 22, window, nullptr, instance, nullptr);
        ::SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    }
    std::atomic<int> code{kExitFailed};
    std::thread worker([&] {
        // COM for the shell links on this thread of its own.
        ::CoInitialize(nullptr);
        code = RunUnattendedInstall(switches, bar);
        ::CoUninitialize();
        if (window)
            ::PostMessageW(window, WM_INSTALL_DONE, 0, 0);
    });
    if (window) {
        MSG msg;
        while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
            ::TranslateMessage(&msg);
            ::DispatchMessageW(&msg);
        }
    }
    worker.join();
    return code;
}

} // namespace kelvo::install
