#include "ui/win/PlaceholderPages.h"

#include "app/core/profile.h"

std::atomic<int> g_reportPort{-1};
std::atomic<int> g_reportStop{0};

void CPrintPage::ClearReportBox()
{
    if (m_hWnd)
        SetDlgItemText(1034, L"");
}

void CSettingPage::LoadSettings()
{
    m_nLanguage = CProfile::GetInt(kelvo::kSettingsFile, L"Setting", L"Language", 0);
    m_nSkin = CProfile::GetInt(kelvo::kSettingsFile, L"Setting", L"Skin", 0);
}
