#include "ui/win/PlaceholderPages.h"

#include "app/core/profile.h"

void CSettingPage::LoadSettings()
{
    m_nLanguage = CProfile::GetInt(L"Kelvo.cfg", L"Setting", L"Language", 0);
    m_nSkin = CProfile::GetInt(L"Kelvo.cfg", L"Setting", L"Skin", 0);
}
