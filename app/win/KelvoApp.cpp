#include "app/win/KelvoApp.h"

#include "app/core/globals.h"
#include "app/core/profile.h"
#include "app/win/SkinLibrary.h"
#include "ui/win/KelvoDlg.h"

#include <commctrl.h>

CKelvoApp theApp;

BOOL CKelvoApp::InitInstance()
{
    // One running copy per session; a second start ends silently.
    m_hMutex = ::CreateMutexW(nullptr, FALSE, L"Vizedarorir Kelvo");
    if (::GetLastError() == ERROR_ALREADY_EXISTS)
        return FALSE;

    INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF};
    ::InitCommonControlsEx(&icc);
    // The web link is a SysLink control.
    icc.dwICC = ICC_LINK_CLASS;
    ::InitCommonControlsEx(&icc);

    CWinApp::InitInstance();
    AfxEnableControlContainer();

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
    return FALSE;
}

int CKelvoApp::ExitInstance()
{
    if (m_gdiplusToken) {
        Gdiplus::GdiplusShutdown(m_gdiplusToken);
        m_gdiplusToken = 0;
    }
    DeleteSharedFonts();
    if (m_hMutex) {
        ::CloseHandle(m_hMutex);
        m_hMutex = nullptr;
    }
    return 1;
}
