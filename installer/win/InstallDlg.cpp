#include "installer/win/InstallDlg.h"

#include "framework/Dpi.h"
#include "installer/core/Folders.h"
#include "installer/resource.h"
#include "installer/win/InstallTexts.h"
#include "installer/win/RunningPrograms.h"
#include "ui/controls/Drawing.h"

CKelvoInstallDlg::CKelvoInstallDlg()
    : CDialog(IDD_KELVOINSTALL_DIALOG), m_setPage(this), m_wayPage(this), m_copyPage(this), m_finishPage(this)
{
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAINFRAME));
}

CWizardPage* CKelvoInstallDlg::Page(int index)
{
    switch (index) {
    case 0: return &m_wayPage;
    case 1: return &m_setPage;
    case 2: return &m_copyPage;
    case 3: return &m_finishPage;
    default: return nullptr;
    }
}

BOOL CKelvoInstallDlg::OnInitDialog()
{
    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    SetWindowText(L"Kelvo");
    // Laid out for the DPI of the monitor it opens on.
    m_dpi = kelvo::DpiOfWindow(m_hWnd);
    kelvo::OwnDpiChanges(m_hWnd);
    RescaleSharedFonts(m_hWnd, m_dpi);
    kelvo::SizeDialogForDpi(m_hWnd, m_dpi);

    m_wayPage.Create(IDD_INSTALL_WAY, this);
    m_setPage.Create(IDD_INSTALL_SET, this);
    m_copyPage.Create(IDD_INSTALL_COPY, this);
    m_finishPage.Create(IDD_INSTALL_FINISH, this);
    for (int i = 0; i < 4; ++i)
        kelvo::OwnDpiChanges(Page(i)->m_hWnd);

    RECT rc;
    GetClientRect(&rc);
    m_nClientWidth = rc.right - rc.left;
    for (int i = 0; i < 4; ++i)
        Page(i)->MoveWindow(rc);
    CenterWindow();

    m_wayPage.ShowWindow(SW_SHOW);
    for (int i = 1; i < 4; ++i)
        Page(i)->ShowWindow(SW_HIDE);
    m_nCurPage = 0;
    return TRUE;
}

void CKelvoInstallDlg::OnDpiChanged(int dpi, LPARAM suggested)
{
    // Moved to a monitor of another DPI: the suggested size, the fonts for
    // it, and every page laid out again (their WM_SIZE).
    if (dpi <= 0 || dpi == m_dpi)
        return;
    m_dpi = dpi;
    RescaleSharedFonts(m_hWnd, m_dpi);
    kelvo::MoveToSuggestedRect(m_hWnd, suggested);
    RECT rc;
    GetClientRect(&rc);
    m_nClientWidth = rc.right - rc.left;
    for (int i = 0; i < 4; ++i)
        if (CWizardPage* page = Page(i))
            page->MoveWindow(rc);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void CKelvoInstallDlg::SwitchTo(int index)
{
    if (index == m_nCurPage || !Page(index))
        return;
    if (CWizardPage* current = Page(m_nCurPage))
        current->ShowWindow(SW_HIDE);
    Page(index)->ShowWindow(SW_SHOW);
    m_nCurPage = index;
}

void CKelvoInstallDlg::ConfirmQuit()
{
    // From the copy page on, the worker may be mid-file: only Finish ends the wizard.
    if (m_nCurPage >= 2)
        return;
    if (::MessageBoxW(m_hWnd, L"Are you sure to quit the install of Kelvo ?", L"Confirm", MB_ICONQUESTION | MB_YESNO) ==
        IDNO)
        return;
    CDialog::OnCancel();
}

bool CKelvoInstallDlg::MayReplaceKelvo(const std::wstring& base)
{
    using namespace kelvo::install;
    if (!KelvoIsRunning())
        return true;
    if (::MessageBoxW(m_hWnd, kTextCloseKelvo, L"Kelvo", MB_ICONQUESTION | MB_YESNO) == IDYES) {
        // AidletStart would start the closed Kelvo again.
        StopProgramAt(ProgramFile(TargetBelow(base), L"AidletStart.exe"), 2000);
        // Kelvo may ask its own user first (a firmware update running): time to answer.
        if (CloseKelvo(20000))
            return true;
        ::MessageBoxW(m_hWnd, kTextKelvoStillRuns, L"Kelvo", MB_ICONEXCLAMATION | MB_OK);
    }
    SwitchTo(0);
    return false;
}

BOOL CKelvoInstallDlg::PreTranslateMessage(MSG* msg)
{
    // No page ends the wizard by keyboard.
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

LRESULT CKelvoInstallDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        if (::IsIconic(m_hWnd)) {
            PAINTSTRUCT ps;
            HDC dc = ::BeginPaint(m_hWnd, &ps);
            RECT rc;
            GetClientRect(&rc);
            const int x = (rc.right - rc.left - ::GetSystemMetrics(SM_CXICON) + 1) / 2;
            const int y = (rc.bottom - rc.top - ::GetSystemMetrics(SM_CYICON) + 1) / 2;
            ::DrawIcon(dc, x, y, m_hIcon);
            ::EndPaint(m_hWnd, &ps);
            return 0;
        }
        break;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_hIcon);
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), lParam);
        return 0;
    case WM_CLOSE:
        ConfirmQuit();
        return 0;
    case WM_LBUTTONDOWN:
        SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, lParam);
        return 0;
    default:
        break;
    }
    return CDialog::WindowProc(msg, wParam, lParam);
}
