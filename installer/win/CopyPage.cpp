#include "installer/win/CopyPage.h"

#include "framework/Dpi.h"
#include "framework/Thread.h"
#include "installer/core/Folders.h"
#include "installer/resource.h"
#include "installer/win/Extractor.h"
#include "installer/win/InstallDlg.h"
#include "installer/win/Jpeg.h"

#include "framework/Dc.h"

namespace {
constexpr UINT_PTR kTickTimer = 1;
}

BOOL CInstallCopyDlg::OnInitDialog()
{
    m_progress.SubclassDlgItem(IDC_PROGRESS, this);
    return TRUE;
}

void CInstallCopyDlg::Layout(int cx, int cy)
{
    const kelvo::Dpi s(m_hWnd);
    m_progress.MoveWindow(s(10), cy - s(30), cx - s(20), s(25));
}

void CInstallCopyDlg::DrawBackground(HDC dc, const RECT& rc)
{
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    CMemoryDC mem(dc, cx, cy);
    if (!mem.Ok() || !kelvo::install::DrawJpegResource(mem, IDB_BACK_COPY_FIRST + m_state.frame, rc))
        return;
    ::BitBlt(dc, 0, 0, cx, cy, mem, 0, 0, SRCCOPY);
}

// The bar keeps its own copy of the range, step and position for painting.
void CInstallCopyDlg::ShowProgress()
{
    m_progress.m_nLower = m_state.lower;
    m_progress.m_nUpper = m_state.upper;
    m_progress.m_nStep = m_state.step;
    m_progress.m_nPos = m_state.position;
    m_progress.SendMessage(PBM_SETPOS, static_cast<WPARAM>(m_state.position));
}

void CInstallCopyDlg::StartInstall(const std::wstring& base)
{
    m_strTarget = kelvo::install::TargetBelow(base);
    SetTimer(kTickTimer, 100);
    ::EnableMenuItem(::GetSystemMenu(m_pWizard->m_hWnd, FALSE), SC_CLOSE, MF_BYCOMMAND | MF_GRAYED);
    m_state.Start();
    m_progress.SendMessage(PBM_SETRANGE, 0, MAKELPARAM(m_state.lower, m_state.upper));
    ShowProgress();
    auto* job = new kelvo::install::ExtractJob{m_hWnd, m_strTarget, ::GetModuleHandleW(nullptr), m_pWizard->m_switches.noDriver};
    if (!AfxBeginThread(&kelvo::install::ExtractPackage, job)) {
        // No worker: the page goes on as after an unreadable package.
        delete job;
        OnProgress(kelvo::install::kReportNoPackage, 0);
        OnProgress(kelvo::install::kReportPosition, kelvo::install::kUnpackShare);
        OnProgress(kelvo::install::kReportUnpacked, 0);
    }
}

void CInstallCopyDlg::OnProgress(WPARAM what, LPARAM value)
{
    using namespace kelvo::install;
    switch (what) {
    case kReportStep:
    case kReportEntry:
    case kReportPosition:
        m_state.Apply(static_cast<int>(what), value);
        ShowProgress();
        break;
    case kReportUnpacked: {
        m_state.Apply(kReportUnpacked, 0);
        CInstallFinishDlg& finish = m_pWizard->m_finishPage;
        finish.m_strTarget = m_strTarget;
        m_result.files = m_nFiles;
        m_result.skipped = m_nSkipped;
        m_result.failed = m_nFailed;
        finish.SetOutcome(m_result, m_bNoPackage, m_driver);
        PrepareShellLinks(m_strTarget, &finish.m_links);
        ShowProgress();
        break;
    }
    case kReportFiles:
        m_nFiles = static_cast<int>(value);
        break;
    case kReportSkipped:
        m_nSkipped = static_cast<int>(value);
        break;
    case kReportFailed:
        m_nFailed = static_cast<int>(value);
        break;
    case kReportResult: {
        std::unique_ptr<InstallOutcome> outcome(reinterpret_cast<InstallOutcome*>(value));
        if (outcome) {
            m_result = std::move(outcome->unpack);
            m_driver = outcome->driver;
        }
        break;
    }
    case kReportNoPackage:
        m_bNoPackage = true;
        break;
    default:
        break;
    }
}

void CInstallCopyDlg::OnTimer()
{
    const bool stepping = m_state.stepByTimer;
    if (m_state.Tick())
        Invalidate();
    if (stepping)
        ShowProgress();
    if (m_state.Finished()) {
        KillTimer(kTickTimer);
        m_pWizard->SwitchTo(3);
    }
}

LRESULT CInstallCopyDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case kelvo::install::WM_INSTALL_PROGRESS:
        OnProgress(wParam, lParam);
        return 0;
    case WM_TIMER:
        if (wParam == kTickTimer) {
            OnTimer();
            return Default();
        }
        break;
    default:
        break;
    }
    return CWizardPage::WindowProc(msg, wParam, lParam);
}
