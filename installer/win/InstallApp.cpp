#include "installer/win/InstallApp.h"

#include "installer/win/InstallDlg.h"
#include "ui/controls/Drawing.h"

#include <commctrl.h>
#include <gdiplus.h>

CKelvoInstallApp theApp;

BOOL CKelvoInstallApp::InitInstance()
{
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
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
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
    return 0;
}
