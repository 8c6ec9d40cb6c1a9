#pragma once
// CSettingPage (template 132): the user's language, skin and whether Dozaz
// runs and starts at logon. The main window runs ScanSkins and LoadSettings on
// it before the page has a window, so the saved skin is in force from the
// first display; a skin choice applies at once, the others on Apply.
#include "app/core/setting_choices.h"
#include "framework/Controls.h"
#include "ui/controls/Page.h"
#include "ui/controls/RadioListBox.h"
#include "ui/win/PageHosts.h"

#include <string>
#include <vector>

class CSettingPage : public CPage, public ISettingsPage {
public:
    enum : UINT {
        IDD = 132,
        IDC_SKIN_LIST = 1012,
        IDC_LANGUAGE_LIST = 1021,
        IDC_DOZAZ = 1023,
        IDC_APPLY = 1031,
    };

    CSettingPage() : CPage(IDD) {}
    void SetHost(IMainWindow* host) { m_host = host; }

    BOOL OnInitDialog() override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    // ISettingsPage
    void ScanSkins() override;
    void LoadSettings() override;
    int LanguageIndex() const override { return m_saved.language; }
    int SkinIndex() const override { return m_nCurSkin; }

    void OnSkinSelected();
    // The two radio lists in the main window's palette (the attached skin's
    // colours, their own without one, the system's under high contrast).
    void ListColoursFromSkin();
    // Attaches the current skin unless the host allows none now (high
    // contrast); true when it was attached.
    bool AttachCurrentSkin();
    // Takes the skin off the windows (high contrast); the current skin stays
    // chosen for when it may come back.
    void DetachSkin();
    void OnApply();

    std::vector<std::wstring> m_skinPaths;  // entry k uses path k
    int m_nCurSkin = -1;                    // skin applied last, -1 none
    kelvo::SavedSettings m_saved;
    CRadioListBox m_skinList;
    CRadioListBox m_languageList;
    CButton m_btnApply;

private:
    void FillLanguages();
    void OnSize(int cx, int cy);
    void StartDozaz();

    IMainWindow* m_host = nullptr;
    int m_nSkinEntries = 0;  // skins the last scan found (the entries of the list)
    bool m_aeroSet = false;  // SkinH_SetAero(1) is called once, after the first skin
};
