#pragma once
// Pages whose own windows come later (trouble codes, settings): each
// is an empty child page on its tab, behind the interface the main window uses.
#include "framework/afx.h"
#include "ui/win/PageHosts.h"

class CSearchDtcPage : public CDialog, public IDtcPage {
public:
    CSearchDtcPage() : CDialog(130) {}
    void LoadDtcFile(int) override {}
};

class CSettingPage : public CDialog, public ISettingsPage {
public:
    CSettingPage() : CDialog(132) {}
    void ScanSkins() override {}
    // Reads the saved language and skin, so the window shows the user's skin colour.
    void LoadSettings() override;
    int LanguageIndex() const override { return m_nLanguage; }
    int SkinIndex() const override { return m_nSkin; }

private:
    int m_nLanguage = 0;
    int m_nSkin = 0;
};
