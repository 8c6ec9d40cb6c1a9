#pragma once
// CKelvoInstallDlg: the borderless wizard window hosting the four pages.
#include "installer/core/Switches.h"
#include "installer/win/CopyPage.h"
#include "installer/win/WizardPages.h"

class CKelvoInstallDlg : public CDialog {
public:
    CKelvoInstallDlg();

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    void SwitchTo(int index);
    // WM_DPICHANGED: the suggested rectangle, the fonts and the pages for the new DPI.
    void OnDpiChanged(int dpi, LPARAM suggested);
    // The quit question of the first two pages; unpacking and finishing cannot be left.
    void ConfirmQuit();
    // Before an installation starts: a running Kelvo holds files the
    // installation replaces. The user is asked once whether the installer may
    // close it; No, or a Kelvo that stays open, leads back to the way page.
    // `base`: where the installation goes.
    bool MayReplaceKelvo(const std::wstring& base);
    CWizardPage* Page(int index);

    int m_nClientWidth = 0;
    int m_dpi = 96;  // of the monitor the window is on
    int m_nCurPage = -1;
    CInstallSetDlg m_setPage;
    CInstallWayDlg m_wayPage;
    CInstallCopyDlg m_copyPage;
    CInstallFinishDlg m_finishPage;
    HICON m_hIcon = nullptr;
    kelvo::install::InstallSwitches m_switches;  // from the command line
    int m_exitCode = kelvo::install::kExitCancelled;
};
