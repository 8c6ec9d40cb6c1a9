#pragma once
// The wizard's four pages. Each is a modeless child dialog stacked in the
// wizard window: it paints its JPEG background, drags the wizard from any free
// spot, and carries the close and minimize buttons in its top-right corner.
#include "installer/win/BmpButton.h"
#include "installer/win/GradientProgress.h"
#include "installer/win/Integration.h"
#include "installer/win/SkinEdit.h"
#include "ui/controls/ClrButton.h"
#include "ui/controls/Page.h"

#include "installer/core/Batch.h"
#include "installer/core/Progress.h"
#include "installer/package/Package.h"

#include <string>

class CKelvoInstallDlg;
class CInstallCopyDlg;

class CWizardPage : public CPage {
public:
    CWizardPage(UINT templateId, UINT backgroundId, CKelvoInstallDlg* wizard)
        : CPage(templateId), m_backgroundId(backgroundId), m_pWizard(wizard)
    {
    }
    ~CWizardPage() override;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    ClrButton* m_pSysButtons = nullptr;

protected:
    // Places the page's own controls (client cx by cy).
    virtual void Layout(int cx, int cy) {}
    virtual bool HasControls() const = 0;
    virtual void DrawBackground(HDC dc, const RECT& rc);
    virtual bool CloseEnabled() const { return true; }
    virtual UINT BackgroundId() const { return m_backgroundId; }
    void CreateSysButtons();

    UINT m_backgroundId;
    CKelvoInstallDlg* m_pWizard;
};

class CInstallWayDlg : public CWizardPage {
public:
    explicit CInstallWayDlg(CKelvoInstallDlg* wizard) : CWizardPage(129, 134, wizard) {}
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    std::wstring m_strQuickBase;
    CBmpButton m_btnQuick;
    CBmpButton m_btnCustom;

protected:
    void Layout(int cx, int cy) override;
    bool HasControls() const override { return m_btnCustom.m_hWnd != nullptr; }
};

class CInstallSetDlg : public CWizardPage {
public:
    explicit CInstallSetDlg(CKelvoInstallDlg* wizard);
    ~CInstallSetDlg() override;
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    std::wstring m_strDefaultBase;
    CBmpButton m_btnBrowse;
    CBmpButton m_btnInstall;
    CBmpButton m_btnBack;
    CSkinEdit m_edit;
    HBRUSH m_brushes[4] = {};

protected:
    void Layout(int cx, int cy) override;
    bool HasControls() const override { return m_btnBack.m_hWnd != nullptr; }
};

class CInstallFinishDlg : public CWizardPage {
public:
    explicit CInstallFinishDlg(CKelvoInstallDlg* wizard) : CWizardPage(132, 135, wizard) {}
    ~CInstallFinishDlg() override;
    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // How the unpacking went: shown above the Finish button (m_strTarget set first).
    void SetOutcome(const kelvo::install::UnpackResult& result, bool noPackage,
                    const kelvo::install::DriverOutcome& driver);
    void OnFinish();

    std::wstring m_strTarget;
    kelvo::install::ShellLinks m_links;
    CBmpButton m_btnFinish;

protected:
    void Layout(int cx, int cy) override;
    bool HasControls() const override { return m_btnFinish.m_hWnd != nullptr; }
    bool CloseEnabled() const override { return false; }
};

