#include "installer/win/InstallApp.h"

#include "installer/win/InstallDlg.h"
#include "installer/win/InstallLog.h"
#include "installer/win/SilentInstall.h"
#include "installer/core/Switches.h"
#include "app/core/codepage.h"
#include "ui/controls/Drawing.h"

#include <commctrl.h>
#include <gdiplus.h>

CKelvoInstallApp theApp;

namespace {

// The same on the wizard's path and the silent ones: the log's first lines.
void LogStart(const kelvo::install::InstallSwitches& switches)
{
    using namespace kelvo::install;
    if (switches.log.empty())
        return;
    OpenInstallLog(switches.log);
    Log(L"KelvoInstall " + kelvo::ToWide(CP_UTF8, KELVO_VERSION_TEXT) + L", command line: " + ::GetCommandLineW());
}

} // namespace

BOOL CKelvoInstallApp::InitInstance()
{
    using namespace kelvo::install;
    InstallSwitches switches;
    if (!ParseInstallSwitches(CommandTail(::GetCommandLineW()), &switches)) {
        if (!switches.Silent() && !switches.suppressMessageBoxes)
            ::MessageBoxW(nullptr, (L"Unknown switch: " + switches.error + L"\n\n" + InstallUsage()).c_str(),
                          L"KelvoInstall", MB_OK | MB_ICONERROR);
        m_exitCode = kExitBadSwitch;
        return FALSE;
    }
    if (switches.help) {
        ::MessageBoxW(nullptr, InstallUsage().c_str(), L"KelvoInstall", MB_OK | MB_ICONINFORMATION);
        m_exitCode = kExitOk;
        return FALSE;
    }
    LogStart(switches);
    m_installMutex = TakeInstallerMutex();
    if (!m_installMutex) {
        Log(L"Another installation of Kelvo is running. Exit code 1618");
        if (!switches.Silent() && !switches.suppressMessageBoxes)
            ::MessageBoxW(nullptr, L"Another installation of Kelvo is running.", L"KelvoInstall", MB_OK | MB_ICONEXCLAMATION);
        m_exitCode = kExitKelvoRunning;
        return FALSE;
    }
    if (switches.ui == UiLevel::VerySilent) {
        // No window of any kind: no fonts, no GDI+, no common controls.
        ::CoInitialize(nullptr);
        m_exitCode = RunUnattendedInstall(switches, nullptr);
        return FALSE;
    }
    if (switches.ui == UiLevel::Silent) {
        INITCOMMONCONTROLSEX progressOnly = {sizeof progressOnly, ICC_PROGRESS_CLASS};
        ::InitCommonControlsEx(&progressOnly);
        ::CoInitialize(nullptr);
        m_exitCode = RunWithProgressWindow(switches);
        return FALSE;
    }

    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    ::InitCommonControlsEx(&icc);
    CWinApp::InitInstance();
    AfxEnableControlContainer();
    ::CoInitialize(nullptr);

    Gdiplus::GdiplusStartupInput input;
    Gdiplus::GdiplusStartup(&m_gdiplusToken, &input, nullptr);
    // The controls shared with Kelvo draw with these.
    CreateSharedFonts();

    {
        CKelvoInstallDlg dlg;
        dlg.m_switches = switches;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        m_exitCode = dlg.m_exitCode;
        Log(L"Exit code " + std::to_wstring(m_exitCode));
    }
    return FALSE;
}

int CKelvoInstallApp::ExitInstance()
{
    if (m_gdiplusToken) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusToken = 0;
    }
    DeleteSharedFonts();
    ::CoUninitialize();
    kelvo::install::CloseInstallLog();
    if (m_installMutex)
        ::CloseHandle(m_installMutex);
    m_installMutex = nullptr;
    return m_exitCode;
}
