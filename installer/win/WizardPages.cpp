#include "installer/win/WizardPages.h"

#include "framework/Dpi.h"
#include "installer/core/FinishText.h"
#include "installer/core/Folders.h"
#include "installer/resource.h"
#include "installer/win/Folder.h"
#include "installer/win/InstallDlg.h"
#include "installer/win/Jpeg.h"
#include "installer/win/SilentInstall.h"
#include "ui/controls/Drawing.h"

#include "framework/Dc.h"

namespace {

constexpr UINT_PTR kQuickTimer = 3;
constexpr UINT_PTR kCustomTimer = 1;
constexpr UINT kStartDelayMs = 800;  // lets the copy page paint before the unpacking starts

} // namespace

// ---------------------------------------------------------------- common

CWizardPage::~CWizardPage() { delete[] m_pSysButtons; }

void CWizardPage::CreateSysButtons()
{
    const kelvo::Dpi s(m_hWnd);
    const int w = m_pWizard->m_nClientWidth;
    if (m_pSysButtons) {
        // The window's DPI changed: the same corner, the new size.
        ::MoveWindow(m_pSysButtons[0].m_hWnd, w - s(45), 0, s(45), s(26), TRUE);
        ::MoveWindow(m_pSysButtons[1].m_hWnd, w - s(76), 0, s(31), s(26), TRUE);
        return;
    }
    m_pSysButtons = new ClrButton[2];
    m_pSysButtons[0].Create(WS_CHILD | WS_VISIBLE, RECT{w - s(45), 0, w, s(26)}, this, IDC_SYS_CLOSE);
    m_pSysButtons[0].SetStripId(IDB_BTN_CLOSE);
    m_pSysButtons[1].Create(WS_CHILD | WS_VISIBLE, RECT{w - s(76), 0, w - s(45), s(26)}, this, IDC_SYS_MINIMIZE);
    m_pSysButtons[1].SetStripId(IDB_BTN_MINIMIZE);
    if (!CloseEnabled())
        m_pSysButtons[0].EnableWindow(FALSE);
    for (int i = 0; i < 2; ++i)
        m_pSysButtons[i].Invalidate();
}

void CWizardPage::DrawBackground(HDC dc, const RECT& rc) { kelvo::install::DrawJpegResource(dc, BackgroundId(), rc); }

LRESULT CWizardPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        if (HasControls()) {
            Layout(LOWORD(lParam), HIWORD(lParam));
            CreateSysButtons();
        }
        return 0;
    case WM_PAINT: {
        // Nothing to paint over the background (BeginPaint has it erased).
        CPaintDC dc(m_hWnd);
        return 0;
    }
    case WM_ERASEBKGND: {
        RECT rc;
        GetClientRect(&rc);
        DrawBackground(reinterpret_cast<HDC>(wParam), rc);
        return TRUE;
    }
    case WM_CLRBUTTON_CLICK:
        if (wParam == IDC_SYS_CLOSE)
            m_pWizard->ConfirmQuit();
        else if (wParam == IDC_SYS_MINIMIZE)
            ::ShowWindow(m_pWizard->m_hWnd, SW_MINIMIZE);
        return 0;
    default:
        return CPage::WindowProc(msg, wParam, lParam);
    }
}

// ---------------------------------------------------------------- way page

BOOL CInstallWayDlg::OnInitDialog()
{
    m_btnQuick.Attach(IDC_QUICK_INSTALL, this);
    m_btnCustom.Attach(IDC_CUSTOM_INSTALL, this);
    return TRUE;
}

void CInstallWayDlg::Layout(int cx, int cy)
{
    const kelvo::Dpi s(m_hWnd);
    const int t = (cx - s(400)) / 2;
    m_btnQuick.MoveWindow(t, cy - s(80), s(160), s(60));
    m_btnCustom.MoveWindow(t + s(240), cy - s(80), s(160), s(60));
}

LRESULT CInstallWayDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED) {
        if (LOWORD(wParam) == IDC_QUICK_INSTALL) {
            if (!m_pWizard->MayReplaceKelvo(m_strQuickBase))
                return 0;
            m_pWizard->SwitchTo(2);
            SetTimer(kQuickTimer, kStartDelayMs);
            return 0;
        }
        if (LOWORD(wParam) == IDC_CUSTOM_INSTALL) {
            m_pWizard->SwitchTo(1);
            return 0;
        }
    }
    if (msg == WM_TIMER && wParam == kQuickTimer) {
        KillTimer(kQuickTimer);
        m_pWizard->m_copyPage.StartInstall(m_strQuickBase);
        return 0;
    }
    return CWizardPage::WindowProc(msg, wParam, lParam);
}

// ---------------------------------------------------------------- custom page

CInstallSetDlg::CInstallSetDlg(CKelvoInstallDlg* wizard) : CWizardPage(130, 136, wizard)
{
    m_strDefaultBase = kelvo::install::DefaultBase();
}

CInstallSetDlg::~CInstallSetDlg()
{
    for (HBRUSH& b : m_brushes) {
        if (b)
            ::DeleteObject(b);
        b = nullptr;
    }
}

BOOL CInstallSetDlg::OnInitDialog()
{
    m_brushes[0] = ::CreateSolidBrush(0xE9A854);
    m_brushes[1] = ::CreateSolidBrush(0xE9A854);
    m_brushes[2] = ::CreateSolidBrush(0xFDC860);
    m_brushes[3] = ::CreateSolidBrush(0xE7AC49);
    m_edit.SubclassDlgItem(IDC_PATH_EDIT, this);
    m_edit.m_outerNormal = m_brushes[0];
    m_edit.m_innerNormal = m_brushes[1];
    m_edit.m_outerHover = m_brushes[2];
    m_edit.m_innerActive = m_brushes[3];
    m_btnBrowse.Attach(IDC_BROWSE, this);
    m_btnInstall.Attach(IDC_INSTALL, this);
    m_btnBack.Attach(IDC_BACK, this);
    ::SendDlgItemMessageW(m_hWnd, IDC_PATH_LABEL, WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont16->m_hObject), TRUE);
    m_edit.SetFont(g_pFont16);
    // An upgrade goes where the installation the system knows of is.
    const std::wstring earlier = kelvo::install::EarlierInstallationBase();
    // A base given on the command line (/D=, /DIR=) comes first.
    const std::wstring& given = m_pWizard->m_switches.base;
    const std::wstring proposed = !given.empty() ? given : earlier.empty() ? m_strDefaultBase : earlier;
    m_edit.SetWindowText(proposed);
    m_pWizard->m_wayPage.m_strQuickBase = proposed;
    return TRUE;
}

void CInstallSetDlg::Layout(int cx, int cy)
{
    // 88 wide, not 80: the label in the bold 16-pixel font needs it.
    const kelvo::Dpi s(m_hWnd);
    ::MoveWindow(GetDlgItem(IDC_PATH_LABEL), s(10), cy - s(105), s(88), s(24), TRUE);
    m_edit.MoveWindow(s(100), cy - s(109), cx - s(170), s(24));
    m_btnBrowse.MoveWindow(cx - s(60), cy - s(109), s(50), s(24));
    const int u = (cx - s(240)) / 3;
    m_btnInstall.MoveWindow(u, cy - s(65), s(120), s(45));
    m_btnBack.MoveWindow(2 * u + s(120), cy - s(65), s(120), s(45));
}

LRESULT CInstallSetDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wParam) != BN_CLICKED)
            break;
        switch (LOWORD(wParam)) {
        case IDC_BROWSE: {
            std::wstring folder;
            // Cancel, or an item with no file-system folder, leaves the edit as it was.
            if (kelvo::install::BrowseForBase(m_hWnd, &folder))
                m_edit.SetWindowText(folder);
            return 0;
        }
        case IDC_INSTALL:
            if (!m_pWizard->MayReplaceKelvo(kelvo::install::ChosenBase(m_edit.GetWindowText(), m_strDefaultBase)))
                return 0;
            m_pWizard->SwitchTo(2);
            SetTimer(kCustomTimer, kStartDelayMs);
            return 0;
        case IDC_BACK:
            m_pWizard->SwitchTo(0);
            return 0;
        default:
            break;
        }
        break;
    case WM_TIMER:
        if (wParam == kCustomTimer) {
            KillTimer(kCustomTimer);
            m_pWizard->m_copyPage.StartInstall(kelvo::install::ChosenBase(m_edit.GetWindowText(), m_strDefaultBase));
            return 0;
        }
        break;
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lParam) != m_edit.m_hWnd) {
            ::SetBkMode(reinterpret_cast<HDC>(wParam), TRANSPARENT);
            ::SetTextColor(reinterpret_cast<HDC>(wParam), RGB(255, 255, 255));  // on the dark background
            return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
        }
        break;
    default:
        break;
    }
    return CWizardPage::WindowProc(msg, wParam, lParam);
}

// ---------------------------------------------------------------- finish page

CInstallFinishDlg::~CInstallFinishDlg() { kelvo::install::ReleaseShellLinks(&m_links); }

BOOL CInstallFinishDlg::OnInitDialog()
{
    m_btnFinish.Attach(IDC_FINISH, this);
    ::SendDlgItemMessageW(m_hWnd, IDC_OUTCOME, WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont16->m_hObject), TRUE);
    return TRUE;
}

void CInstallFinishDlg::SetOutcome(const kelvo::install::UnpackResult& result, bool noPackage,
                                   const kelvo::install::DriverOutcome& driver)
{
    using namespace kelvo::install;
    const DWORD attributes = ::GetFileAttributesW(ProgramFile(m_strTarget, L"Kelvo.exe").c_str());
    FinishFacts facts;
    facts.programFolder = ProgramFolder(m_strTarget);
    facts.noPackage = noPackage;
    facts.files = result.files;
    facts.haveKelvo = attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
    facts.skipped = result.skipped;
    facts.failed = result.failed;
    facts.scheduled = result.scheduled;
    facts.skippedNames = result.skippedNames;
    facts.failedNames = result.failedNames;
    facts.scheduledNames = result.scheduledNames;
    facts.noDriverStep = driver.kind == DriverStepKind::NoBatch;
    facts.driverText = DriverOutcomeText(driver);
    facts.linkedFolders = result.linkedFolders;
    SetDlgItemText(IDC_OUTCOME, FinishText(facts));
}

void CInstallFinishDlg::Layout(int cx, int cy)
{
    const kelvo::Dpi s(m_hWnd);
    m_btnFinish.MoveWindow((cx - s(160)) / 2, cy - s(60), s(160), s(50));
    // The text column of the artwork (900 x 515, stretched to the page):
    // left of the device picture (x 625 to 775, down to y 350), below the
    // page's own two lines (down to y 268), above the Finish button. The text wraps
    // inside it, a long folder name too (SS_EDITCONTROL breaks it like an
    // edit control would), whatever the folder and the lists of names.
    const int left = cx * 50 / 900, right = cx * 600 / 900;
    const int top = cy * 272 / 515, bottom = cy - s(68);
    ::MoveWindow(GetDlgItem(IDC_OUTCOME), left, top, right - left, bottom > top ? bottom - top : 0, TRUE);
}

void CInstallFinishDlg::OnFinish()
{
    const DWORD program = ::GetFileAttributesW(kelvo::install::ProgramFile(m_strTarget, L"Kelvo.exe").c_str());
    const bool haveKelvo = program != INVALID_FILE_ATTRIBUTES && !(program & FILE_ATTRIBUTE_DIRECTORY);
    m_pWizard->m_exitCode = kelvo::install::InstallExitCode(
        kelvo::install::InstallOutcome{m_pWizard->m_copyPage.m_result, m_pWizard->m_copyPage.m_driver}, haveKelvo);
    kelvo::install::IntegrateInstallation(m_strTarget, m_links, m_pWizard->m_switches.noAutostart);
    kelvo::install::ReleaseShellLinks(&m_links);
    m_pWizard->EndDialog(IDCANCEL);
}

LRESULT CInstallFinishDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_COMMAND && HIWORD(wParam) == BN_CLICKED && LOWORD(wParam) == IDC_FINISH) {
        OnFinish();
        return 0;
    }
    if (msg == WM_CTLCOLORSTATIC) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, RGB(255, 255, 255));
        return reinterpret_cast<LRESULT>(::GetStockObject(NULL_BRUSH));
    }
    return CWizardPage::WindowProc(msg, wParam, lParam);
}
