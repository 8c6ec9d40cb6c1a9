#include "app/win/SettingPage.h"

#include "app/core/TextNumbers.h"
#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/core/profile.h"
#include "app/core/texts.h"
#include "platform/win/Companions.h"
#include "app/win/SkinLibrary.h"
#include "framework/Dpi.h"
#include "ui/controls/Drawing.h"
#include "ui/core/Palette.h"

namespace {

// The build's password, the one the installed skins are sealed with.
const wchar_t kSkinPassword[] = L"" KELVO_SKIN_PASSWORD;
constexpr int kItemHeight = 35;
constexpr int kIndent = 20;

} // namespace

BOOL CSettingPage::OnInitDialog()
{
    m_languageList.SubclassDlgItem(IDC_LANGUAGE_LIST, this);
    m_skinList.SubclassDlgItem(IDC_SKIN_LIST, this);
    m_languageList.SetAccessibleName(GetText(kelvo::kTextNameLanguageList));
    m_skinList.SetAccessibleName(GetText(kelvo::kTextNameSkinList));
    m_btnApply.SubclassDlgItem(IDC_APPLY, this);

    FillLanguages();
    ScanSkins();

    for (HWND h : {m_btnApply.m_hWnd, m_languageList.m_hWnd, GetDlgItem(IDC_DOZAZ), m_skinList.m_hWnd})
        ::SendMessageW(h, WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont24 ? g_pFont24->m_hObject : nullptr), TRUE);
    m_btnApply.SetWindowText(GetText(kelvo::kTextApply));
    SetDlgItemText(IDC_DOZAZ, GetText(kelvo::kTextDozazAtLogon));

    LoadSettings();
    ListColoursFromSkin();

    // The first WM_SIZE came before the controls were bound.
    RECT c;
    GetClientRect(&c);
    OnSize(c.right - c.left, c.bottom - c.top);
    return TRUE;
}

void CSettingPage::FillLanguages()
{
    m_languageList.SetItemHeight(0, kelvo::Scale(kItemHeight, kelvo::DpiOfWindow(m_hWnd)));
    const std::wstring folder = kelvo::ModuleFolder() + L"language\\";
    for (int i = 0; i < kelvo::kLanguageChoiceCount; ++i) {
        const kelvo::LanguageChoice& lang = kelvo::LanguageChoiceAt(i);
        const int entry = m_languageList.AddItem(lang.shownAs, 0, kIndent);
        if (::GetFileAttributesW((folder + lang.file).c_str()) == INVALID_FILE_ATTRIBUTES)
            m_languageList.EnableItem(entry, FALSE);
    }
    m_languageList.SetCurSel(0);
    m_languageList.SetTopIndex(0);
}

void CSettingPage::ScanSkins()
{
    // Before the page has its window only the paths are collected.
    if (m_skinList.m_hWnd)
        m_skinList.SetItemHeight(0, kelvo::Scale(kItemHeight, kelvo::DpiOfWindow(m_hWnd)));
    const std::wstring folder = kelvo::ModuleFolder() + L"skin\\";
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW fd{};
    HANDLE find = ::FindFirstFileW((folder + L"*.she").c_str(), &fd);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                names.push_back(fd.cFileName);
        } while (::FindNextFileW(find, &fd));
        ::FindClose(find);
    }
    // Not every file system lists a folder in name order; the list is.
    const std::vector<std::wstring> files = kelvo::SkinFilesInListOrder(names);
    for (const std::wstring& name : files) {
        if (m_skinList.m_hWnd)
            m_skinList.AddItem(GetText(kelvo::SkinNameText(name)), 0, kIndent);
        m_skinPaths.push_back(folder + name);
    }
    m_nSkinEntries = static_cast<int>(files.size());
}

void CSettingPage::StartDozaz()
{
    // The tray program runs with the user's own rights (Explorer talks to it).
    kelvo::StartCompanion(L"Dozaz.exe", L"", SW_HIDE, true);
    kelvo::RegisterDozazAtLogon();
}

void CSettingPage::LoadSettings()
{
    m_saved.language = CProfile::GetInt(kelvo::SettingsPath(), L"Setting", L"Language", 0);
    if (m_languageList.m_hWnd) {
        // An index without an entry selects nothing (list boxes differ in
        // what they keep then).
        const bool listed = m_saved.language >= 0 && m_saved.language < m_languageList.GetCount();
        m_languageList.SetCurSel(listed ? m_saved.language : -1);
        m_languageList.SetTopIndex(0);
        if (m_saved.language > 4)
            m_languageList.SetTopIndex(m_languageList.GetCount() - 1);
    }

    m_saved.skin = CProfile::GetInt(kelvo::SettingsPath(), L"Setting", L"Skin", 0);
    // A saved skin whose file is gone has no path: nothing is applied or selected.
    if (m_saved.skin >= 0 && m_saved.skin < m_nSkinEntries &&
        static_cast<size_t>(m_saved.skin) < m_skinPaths.size()) {
        m_nCurSkin = m_saved.skin;
        AttachCurrentSkin();
        if (m_skinList.m_hWnd)
            m_skinList.SetCurSel(m_saved.skin);
    } else {
        m_nCurSkin = -1;
        if (m_skinList.m_hWnd)
            m_skinList.SetCurSel(-1);
    }
    if (m_skinList.m_hWnd)
        m_skinList.SetTopIndex(0);

    m_saved.autoUpdate = CProfile::GetInt(kelvo::SettingsPath(), L"Setting", L"AutoUpdate", 1);
    if (m_hWnd)
        ::CheckDlgButton(m_hWnd, IDC_DOZAZ, m_saved.autoUpdate ? BST_CHECKED : BST_UNCHECKED);
    if (m_saved.autoUpdate != 0)
        StartDozaz();
}

bool CSettingPage::AttachCurrentSkin()
{
    // Under high contrast the choice is only remembered: it comes on when
    // high contrast goes.
    if (m_nCurSkin < 0 || static_cast<size_t>(m_nCurSkin) >= m_skinPaths.size() || (m_host && !m_host->SkinAllowed()))
        return false;
    kelvo::AttachSkin(m_skinPaths[static_cast<size_t>(m_nCurSkin)], kSkinPassword);
    if (!m_aeroSet) {
        kelvo::SetSkinAero(1);
        m_aeroSet = true;
    }
    return true;
}

void CSettingPage::DetachSkin() { kelvo::DetachSkin(); }

void CSettingPage::ListColoursFromSkin()
{
    // The main window's palette: the skin's colours, or the system's under
    // high contrast.
    const kelvo::Palette& p = kelvo::ActivePalette();
    for (CRadioListBox* list : {&m_languageList, &m_skinList})
        if (list->m_hWnd)
            list->SetColours(p.listStripe[0], p.listStripe[1], p.listText, p.listGrayText);
}

void CSettingPage::OnSkinSelected()
{
    const int sel = m_skinList.GetCurSel();
    if (sel == m_nCurSkin || sel < 0 || sel >= m_nSkinEntries || static_cast<size_t>(sel) >= m_skinPaths.size())
        return;
    m_nCurSkin = sel;
    AttachCurrentSkin();
    if (m_host) {
        m_host->SetSkinColour(sel);
        ListColoursFromSkin();
        // The main window paints its own background: show its new colour now.
        if (HWND main = ::GetAncestor(m_hWnd, GA_ROOT))
            ::RedrawWindow(main, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    }
}

void CSettingPage::OnApply()
{
    kelvo::PageChoices choices;
    choices.language = m_languageList.GetCurSel();
    choices.skin = m_skinList.GetCurSel();
    choices.dozaz = ::IsDlgButtonChecked(m_hWnd, IDC_DOZAZ) == BST_CHECKED;

    if (choices.dozaz) {
        StartDozaz();
    } else {
        kelvo::StopInstallationDozaz();
        kelvo::UnregisterDozazAtLogon();
    }

    const std::wstring file = kelvo::SettingsPath();
    const kelvo::ApplyWrites writes = kelvo::PlanApply(m_saved, choices);
    // Each saved value follows the file once it is written, so the next apply
    // compares with what the file holds.
    bool languageWritten = false;
    if (writes.language && CProfile::SetInt(file, L"Setting", L"Language", writes.languageValue)) {
        m_saved.language = writes.languageValue;
        languageWritten = true;
    }
    if (writes.skin && CProfile::SetInt(file, L"Setting", L"Skin", writes.skinValue))
        m_saved.skin = writes.skinValue;
    if (writes.autoUpdate && CProfile::SetInt(file, L"Setting", L"AutoUpdate", writes.autoUpdateValue))
        m_saved.autoUpdate = writes.autoUpdateValue;

    switch (kelvo::DecideAfterApply(languageWritten, m_host && m_host->IsUpdateBusy())) {
    case kelvo::AfterApply::kStay:
        break;
    case kelvo::AfterApply::kTellBusy:
        kelvo::ShowMessage(GetText(kelvo::kTextNoRestartDuringUpdate), kelvo::kMbIconInformation);
        break;
    case kelvo::AfterApply::kRestart:
        // Without the restarter nothing would bring Kelvo back: it stays, and
        // the saved language takes effect at the next start.
        if (kelvo::StartCompanion(L"AidletStart.exe", L"zendrix reboot", SW_SHOWNORMAL))
            ::SendMessageW(::GetAncestor(m_hWnd, GA_ROOT), WM_CLOSE, 0, 0);
        break;
    }
}

void CSettingPage::OnSize(int cx, int cy)
{
    if (!m_btnApply.m_hWnd || !m_skinList.m_hWnd)
        return;
    const kelvo::Dpi s(m_hWnd);
    // Rows as high as the DPI needs (it may have changed since they were made).
    for (CRadioListBox* list : {&m_languageList, &m_skinList})
        if (list->GetItemHeight(0) != s(kItemHeight))
            list->SetItemHeight(0, s(kItemHeight));
    const int lw = (cx - s(105)) / 2;
    const int lh = cy - s(105);
    m_languageList.MoveWindow(s(35), s(15), lw, lh);
    m_skinList.MoveWindow(lw + s(70), s(15), lw, lh);

    const std::wstring caption = GetText(kelvo::kTextDozazAtLogon);
    SIZE text{};
    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, g_pFont24 ? g_pFont24->m_hObject : ::GetStockObject(DEFAULT_GUI_FONT));
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &text);
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);
    const int margin = (cx - text.cx - s(210)) / 3;
    ::MoveWindow(GetDlgItem(IDC_DOZAZ), margin, cy - text.cy - s(30), text.cx + s(30), s(30), TRUE);
    m_btnApply.MoveWindow(cx - margin - s(180), cy - s(75), s(180), s(60));
}

LRESULT CSettingPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        OnSize(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_SKIN_LIST && HIWORD(wParam) == LBN_SELCHANGE) {
            OnSkinSelected();
            return 0;
        }
        if (LOWORD(wParam) == IDC_APPLY && HIWORD(wParam) == BN_CLICKED) {
            OnApply();
            return 0;
        }
        break;
    }
    return CPage::WindowProc(msg, wParam, lParam);
}
