#include "app/core/SingleCopy.h"
#include "app/win/KelvoApp.h"

#include "app/core/globals.h"
#include "app/core/profile.h"
#include "app/win/SkinLibrary.h"
#include "device/core/IntPort.h"
#include "framework/Thread.h"
#include "app/win/KelvoDlg.h"
#include "ui/win/PageHosts.h"

#include <commctrl.h>

CKelvoApp theApp;

namespace {

// How long a closed window waits for its workers to stop.
const DWORD kWorkerStopMs = 3000;

// The main window of the copy that runs already: a borderless dialog of a
// process whose program file is named as ours. None while that copy is still
// starting (or it is gone).
struct RunningWindow {
    std::wstring exeName;
    HWND found = nullptr;
};

std::wstring FileNameOf(const std::wstring& path) { return path.substr(path.find_last_of(L"\\/") + 1); }

BOOL CALLBACK LookAtWindow(HWND h, LPARAM param)
{
    auto* r = reinterpret_cast<RunningWindow*>(param);
    wchar_t cls[16] = {};
    ::GetClassNameW(h, cls, 16);
    const LONG style = ::GetWindowLongW(h, GWL_STYLE);
    if (::lstrcmpW(cls, L"#32770") != 0 || ::GetWindow(h, GW_OWNER) || !(style & WS_VISIBLE) ||
        (style & WS_CAPTION) == WS_CAPTION)
        return TRUE;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(h, &pid);
    if (pid == ::GetCurrentProcessId())
        return TRUE;
    HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
    if (!process)
        return TRUE;
    wchar_t path[MAX_PATH * 2] = {};
    DWORD size = MAX_PATH * 2;
    const bool named = ::QueryFullProcessImageNameW(process, 0, path, &size) &&
                       ::lstrcmpiW(FileNameOf(std::wstring(path, size)).c_str(), r->exeName.c_str()) == 0;
    ::CloseHandle(process);
    if (!named)
        return TRUE;
    r->found = h;
    return FALSE;
}

// A second start shows the running copy instead of ending unseen: its window
// comes to the front, restored when it was minimised. This process was
// started by the user, so it may give the foreground away.
void BringRunningCopyForward()
{
    wchar_t self[MAX_PATH * 2] = {};
    const DWORD n = ::GetModuleFileNameW(nullptr, self, MAX_PATH * 2);
    RunningWindow r;
    r.exeName = FileNameOf(std::wstring(self, n));
    // The first copy may still be creating its window.
    for (int i = 0; i < 50 && !r.found; ++i) {
        ::EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&r));
        if (!r.found)
            ::Sleep(100);
    }
    if (!r.found)
        return;
    DWORD pid = 0;
    ::GetWindowThreadProcessId(r.found, &pid);
    ::AllowSetForegroundWindow(pid);
    if (::IsIconic(r.found))
        ::ShowWindow(r.found, SW_RESTORE);
    ::SetForegroundWindow(r.found);
}

} // namespace

BOOL CKelvoApp::InitInstance()
{
    // One running copy on the machine; a second start shows the first (when
    // it runs in this session) and ends. Access denied: another session's.
    m_hMutex = ::CreateMutexW(nullptr, FALSE, kKelvoMutex);
    const DWORD mutexError = ::GetLastError();
    if (mutexError == ERROR_ALREADY_EXISTS || (!m_hMutex && mutexError == ERROR_ACCESS_DENIED)) {
        BringRunningCopyForward();
        return FALSE;
    }

    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    ::InitCommonControlsEx(&icc);
    // The web link is a SysLink control.
    icc.dwICC = ICC_LINK_CLASS;
    ::InitCommonControlsEx(&icc);

    CWinApp::InitInstance();
    AfxEnableControlContainer();
    // The taskbar button's progress and the screen reader's objects are COM.
    m_comStarted = SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));

    const std::wstring folder = kelvo::ModuleFolder();
    kelvo::ApplyLanguageIndex(CProfile::GetInt(folder + kelvo::kSettingsFile, L"Setting", L"Language", 0));

    const std::wstring table = folder + L"language\\" + g_strLanguageCode + L"_TEXT.cbf";
    if (::GetFileAttributesW(table.c_str()) == INVALID_FILE_ATTRIBUTES) {
        ::MessageBoxW(nullptr, L"Language error", L"ERROR", MB_OK | MB_ICONERROR);
        return FALSE;
    }

    // Before the main window, which attaches the saved skin; without the
    // library the program runs unskinned.
    kelvo::LoadSkinLibrary();

    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr);

    CreateSharedFonts();

    {
        CKelvoDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
    }
    // Closed while a worker still runs (the user confirmed closing during a
    // write, or a report is being read): the workers are told to stop and are
    // waited for, and a worker that does not end in time (a download in the
    // middle of a read) is not left to meet static objects being destroyed --
    // the process ends here, before they are.
    if (AfxRunningThreads() > 0) {
        StopReportReader();
        kelvo::NoteToolRemoved();
        if (!AfxWaitForThreads(kWorkerStopMs))
            ::ExitProcess(static_cast<UINT>(ExitInstance()));
    }
    return FALSE;
}

int CKelvoApp::ExitInstance()
{
    if (m_gdiplusToken) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusToken = 0;
    }
    DeleteSharedFonts();
    if (m_comStarted) {
        ::CoUninitialize();
        m_comStarted = false;
    }
    if (m_hMutex) {
        ::CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    return 1;
}
