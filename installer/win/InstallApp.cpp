#include "installer/win/InstallApp.h"

#include "installer/win/InstallDlg.h"
#include "ui/controls/Drawing.h"

#include <commctrl.h>
#include <gdiplus.h>

namespace {

CFont* MakeFont(int height)
{
    auto* font = new CFont;
    font->CreateFont(height, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_RASTER_PRECIS,
                     CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH, L"Arial");
    return font;
}

} // namespace

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
    g_pFont16 = MakeFont(16);
    g_pFont24 = MakeFont(24);
    g_pFont32 = MakeFont(32);

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
    for (CFont** font : {&g_pFont16, &g_pFont24, &g_pFont32}) {
        delete *font;
        *font = nullptr;
    }
    ::CoUninitialize();
    return 0;
}
