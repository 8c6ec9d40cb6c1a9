#pragma once
// CKelvoDlg: the main window (template 102). A borderless dialog with five
// picture tabs, one page shown at a time below them, the device watch and the
// status row at the bottom.
#include "app/win/SettingPage.h"
#include "framework/afx.h"
#include "ui/controls/ClrButton.h"
#include "ui/win/MannualPage.h"
#include "ui/win/PageHosts.h"
#include "ui/win/PicturePage.h"
#include "ui/win/TabStrip.h"
#include "ui/core/Palette.h"
#include "device/core/Identify.h"
#include "dtc/win/SearchDtcPage.h"
#include "report/win/PrintPage.h"
#include "update/win/UpdatePage.h"

#include <string>

class CKelvoDlg : public CDialog, public IMainWindow, public IDeviceHost, public ITabStripHost {
public:
    CKelvoDlg();
    ~CKelvoDlg() override;

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* msg) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // IMainWindow
    COLORREF BackgroundColour() const override { return m_crBackground; }
    COLORREF TextColour() const override { return m_crText; }
    bool SkinColours(COLORREF* back, COLORREF* text) const override
    {
        if (!m_bSkinned)
            return false;
        *back = m_crBackground;
        *text = m_crText;
        return true;
    }
    void SetSkinColour(int skinIndex) override;
    bool SkinAllowed() const override { return kelvo::SkinAllowed(m_contrast.On()); }
    BOOL IsDevicePresent() const override { return m_bDevicePresent; }
    void SetUpdateBusy(BOOL busy) override;
    BOOL IsUpdateBusy() const override { return m_bUpdateBusy; }
    void Identify(int keep, int variant) override { IdentifyDevice(*this, keep, variant); }
    std::wstring DeviceName() const override { return m_strDeviceName; }
    void ShowStatusNote(const std::wstring& text) override;

    // IDeviceHost
    std::wstring GetDeviceName() const override { return m_strDeviceName; }
    void SetDeviceName(const std::wstring& name) override { m_strDeviceName = name; }
    void OnIdentificationEnded() override;

    // ITabStripHost
    int CurrentTab() const override { return m_nCurPage < 0 ? 0 : m_nCurPage; }
    void ActivateTab(int index) override { OpenPage(index); }
    std::wstring TabName(int index) const override;
    RECT TabRect(int index) const override { return m_rcTab[index]; }
    void TabFocusChanged() override;

    void SelectPage(int index);
    void ScanForDevice();
    void ConfirmClose();

    std::wstring m_strVersion;
    BOOL m_bUpdateBusy = FALSE;
    BOOL m_bShowStatus = TRUE;
    HWND m_link = nullptr;
    ClrButton* m_pSysButtons = nullptr;
    COLORREF m_crBackground = 0xFFFFFF;
    COLORREF m_crText = 0;  // captions and status row: the skin's text colour
    bool m_bSkinned = false;  // the colours are an attached skin's
    BOOL m_bDevicePresent = FALSE;
    std::wstring m_strDeviceName;
    int m_nCurPage = -1;
    RECT m_rcClient{};
    DWORD m_dwLastScanTick = static_cast<DWORD>(-1);
    POINT m_ptDeviceIcon{-1, -1};
    kelvo::ContrastWatch m_contrast;  // high contrast: no skin, the system's colours
    kelvo::Palette m_palette;
    RECT m_rcTab[5]{};
    CTabStrip m_tabStrip;  // the tabs for the keyboard and screen readers

    CPrintPage m_printPage;
    CUpdatePage m_updatePage;
    CSearchDtcPage m_dtcPage;
    CMannualPage m_manualPage;
    CSettingPage m_settingPage;
    CPicturePage m_picturePage;

    HICON m_hIcon = nullptr;

private:
    void OnPaint();
    BOOL OnEraseBkgnd(HDC dc);
    void OnSize(int cx, int cy);
    void OnLButtonDown(UINT flags, POINT p);
    // Shows page `index`, creating its window at first use (a tab's click or key).
    void OpenPage(int index);
    // The keyboard goes on in the page shown: focus on its first control.
    void FocusPage(int index);
    // Enter reaches the focused control; true when it was taken.
    bool EnterKey(MSG* msg);
    // Ctrl+Tab, Ctrl+Shift+Tab and Ctrl+1 ... Ctrl+5; true when the key moved the page.
    bool PageKey(UINT key);
    void OnTimer(UINT_PTR id);
    void DrawTab(HDC dc, int index, UINT imageId, const std::wstring& caption, const RECT& r);
    void ShowStatusRow(BOOL show);
    void PlacePage(CDialog& page, int bottomMargin);
    // The update page and the product gallery beside it, which show at start.
    void PlaceUpdatePages();
    void OnDpiChanged(int dpi, LPARAM suggested);
    int m_dpi = 96;  // of the monitor the window is on
    // Creates a page at the first click on its tab; true when it was created now.
    bool CreatePageOnce(CDialog& page, UINT templateId, int bottomMargin);
    // The status row's text from the device state: the one place that sets it.
    void ShowDeviceStatus();
    // The picture for the window's DPI into x, y, w, h; false when there is none.
    bool DrawPng(HDC dc, UINT id, int x, int y, int w, int h);
    // While a firmware write runs the machine neither sleeps nor shuts down
    // unasked: a write cut off halfway leaves the tool without firmware.
    void HoldOffSleepAndShutdown(bool hold);
    std::wstring ShutdownBlockReason() const;
    bool m_bHoldingOff = false;
    UINT m_showUpdateMessage = 0;  // Dozaz asks for the update page
    // The dialog and text colours of the skin attached to the program's
    // windows; false when none is.
    bool AttachedSkinColours(COLORREF* back, COLORREF* text) const;
    // WM_SETTINGCHANGE and WM_SYSCOLORCHANGE: high contrast may have come or
    // gone, or its colours changed.
    void FollowHighContrast();
    // WM_CTLCOLORSTATIC of the status row, the label and the link.
    HBRUSH LabelColours(HDC dc);
};
