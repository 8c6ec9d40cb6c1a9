#pragma once
// The copy page: starts the unpacking worker, shows its progress and the
// animated background, hands the target to the finish page when the
// unpacking ends, and moves on when the bar reaches 220.
#include "installer/core/Progress.h"
#include "installer/core/Batch.h"
#include "installer/package/Package.h"
#include "installer/win/WizardPages.h"

class CInstallCopyDlg : public CWizardPage {
public:
    explicit CInstallCopyDlg(CKelvoInstallDlg* wizard) : CWizardPage(131, 137, wizard) {}
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    void StartInstall(const std::wstring& base);

    std::wstring m_strTarget;
    // The bar's arithmetic and the background picture; the bar shows it.
    kelvo::install::InstallProgress m_state;
    CGradientProgressCtrl m_progress;

    int m_nFiles = 0;
    int m_nSkipped = 0;
    int m_nFailed = 0;
    bool m_bNoPackage = false;
    kelvo::install::UnpackResult m_result;  // names included, from the worker's last report
    kelvo::install::DriverOutcome m_driver;

protected:
    void Layout(int cx, int cy) override;
    bool HasControls() const override { return m_progress.m_hWnd != nullptr; }
    void DrawBackground(HDC dc, const RECT& rc) override;
    bool CloseEnabled() const override { return false; }

private:
    void OnProgress(WPARAM what, LPARAM value);
    void OnTimer();
    void ShowProgress();
};
