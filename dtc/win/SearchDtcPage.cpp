#include "dtc/win/SearchDtcPage.h"

#include "app/core/globals.h"
#include "app/core/texts.h"
#include "ui/controls/Drawing.h"

#include <algorithm>

namespace {

int CaptionWidth(HWND wnd, const std::wstring& caption)
{
    HDC dc = ::GetDC(wnd);
    HGDIOBJ old = g_pFont16 ? ::SelectObject(dc, g_pFont16->m_hObject) : nullptr;
    SIZE sz{};
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &sz);
    if (old)
        ::SelectObject(dc, old);
    ::ReleaseDC(wnd, dc);
    return sz.cx;
}

} // namespace

BOOL CSearchDtcPage::OnInitDialog()
{
    m_codeList.SubclassDlgItem(IDC_CODE_LIST, this);
    m_codeBox.SubclassDlgItem(IDC_CODE_BOX, this);

    for (const std::wstring& code : m_history.Load())
        m_codeBox.AddString(code);

    if (g_pFont24)
        m_codeBox.SetFont(g_pFont24);
    if (g_pFont16)
        m_codeList.SetFont(g_pFont16);
    m_codeList.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    const std::wstring code = GetText(14), description = GetText(15);
    m_codeList.InsertColumn(0, code, LVCFMT_LEFT, std::max(CaptionWidth(m_codeList, code) + 20, 100));
    m_codeList.InsertColumn(1, description, LVCFMT_LEFT, std::max(CaptionWidth(m_codeList, description) + 20, 700));
    return TRUE;
}

void CSearchDtcPage::LoadDtcFile(int languageIndex)
{
    // A list that redraws after every insertion takes tens of seconds for the
    // whole file; filled without redrawing it takes a blink.
    m_codeList.SendMessage(WM_SETREDRAW, FALSE);
    m_codeList.DeleteAllItems();
    m_lastRow = -1;
    m_shownEntries.clear();
    m_wordSearch = false;
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    LoadFile(languageIndex, [&](int32_t row, const std::wstring& code, const std::wstring& description) {
        item.iItem = row;
        item.iSubItem = 0;
        item.pszText = const_cast<wchar_t*>(code.c_str());
        const int at = static_cast<int>(m_codeList.SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        if (at >= 0)
            m_codeList.SetItemText(at, 1, description);
    });
    m_codeList.SendMessage(WM_SETREDRAW, TRUE);
    m_codeList.Invalidate();
    m_words = kelvo::DtcWordIndex();
    m_words.LoadAbbreviationFile(kelvo::InstalledPath(kelvo::DtcWordIndex::AbbreviationFile()));
    m_words.Build(*this);
}

void CSearchDtcPage::InsertRows(const std::vector<int32_t>* entries)
{
    m_codeList.SendMessage(WM_SETREDRAW, FALSE);
    m_codeList.DeleteAllItems();
    m_lastRow = -1;
    const size_t n = entries ? entries->size() : m_codes.size();
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    for (size_t i = 0; i < n; ++i) {
        const size_t entry = entries ? static_cast<size_t>((*entries)[i]) : i;
        if (entry >= m_codes.size())
            continue;
        const std::wstring& code = m_codes[entry];
        item.iItem = static_cast<int>(i);
        item.iSubItem = 0;
        item.pszText = const_cast<wchar_t*>(code.c_str());
        const int at = static_cast<int>(m_codeList.SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
        auto d = m_descByCode.find(code);
        if (at >= 0 && d != m_descByCode.end())
            m_codeList.SetItemText(at, 1, d->second);
    }
    m_codeList.SendMessage(WM_SETREDRAW, TRUE);
    m_codeList.Invalidate();
}

void CSearchDtcPage::ShowWordMatches(const std::vector<int32_t>& entries)
{
    m_shownEntries = entries;
    m_wordSearch = true;
    InsertRows(&m_shownEntries);
    if (!entries.empty())
        SelectRow(0);
}

void CSearchDtcPage::ShowAllEntries()
{
    if (!m_wordSearch)
        return;
    m_wordSearch = false;
    m_shownEntries.clear();
    InsertRows(nullptr);
}

void CSearchDtcPage::OnEditChangeCode()
{
    if (m_writingBack)
        return;
    const std::wstring typed = m_codeBox.GetWindowText();
    // Words search the descriptions, as typed (not upper-cased); a code, or
    // nothing, is today's code search over the whole list.
    if (!kelvo::IsCodeShaped(typed) && !kelvo::DescriptionWords(typed).empty()) {
        ShowWordMatches(m_words.Search(typed));
        return;
    }
    if (m_wordSearch) {
        ShowAllEntries();
        if (kelvo::DescriptionWords(typed).empty())
            return;  // emptied: the whole list back, nothing selected
    }
    const kelvo::DtcSearch s = kelvo::SearchDtc(*this, typed);
    if (s.text != typed) {
        m_writingBack = true;
        m_codeBox.SetWindowText(s.text);
        m_writingBack = false;
    }
    const int length = static_cast<int>(s.text.size());
    m_codeBox.SendMessage(CB_SETEDITSEL, 0, MAKELPARAM(length, length));
    if (!s.found) {
        // A highlighted row would claim to be the code typed; an emptied box
        // names no code and leaves the list as it is.
        if (!s.text.empty())
            ClearSelection();
        return;
    }
    SelectRow(s.row);
    if (s.remember && m_history.Add(s.code))
        m_codeBox.AddString(s.code);
}

void CSearchDtcPage::OnSelChangeHistory()
{
    const int sel = m_codeBox.GetCurSel();
    if (sel < 0)
        return;
    const std::wstring text = m_codeBox.GetLBText(sel);
    if (text.size() < 5)
        return;
    int32_t row = -1;
    if (!FindDtc(text, nullptr, &row))
        return;
    ShowAllEntries();
    ::SetFocus(m_codeList.m_hWnd);
    SelectRow(row);
}

void CSearchDtcPage::SelectRow(int32_t r)
{
    m_codeList.SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(r), FALSE);
    if (m_lastRow >= 0) {
        m_codeList.SetItemState(m_lastRow, 0, LVIS_SELECTED);
        m_codeList.SendMessage(LVM_SETSELECTIONMARK, 0, -1);
    }
    m_codeList.SetItemState(r, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
    m_codeList.SendMessage(LVM_SETSELECTIONMARK, 0, r);
    // Making the row a page further down visible brings r to the top; near
    // the end the last row stands in for it.
    const int perPage = static_cast<int>(m_codeList.SendMessage(LVM_GETCOUNTPERPAGE));
    const int last = std::min(r + std::max(perPage, 1) - 1, m_codeList.GetItemCount() - 1);
    m_codeList.SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(last), FALSE);
    m_lastRow = r;
}

void CSearchDtcPage::ClearSelection()
{
    m_codeList.SetItemState(-1, 0, LVIS_SELECTED);  // every row
    m_codeList.SendMessage(LVM_SETSELECTIONMARK, 0, -1);
    m_lastRow = -1;
}

bool CSearchDtcPage::DropDownKey(const MSG& msg) const
{
    if (msg.message != WM_KEYDOWN || (msg.wParam != VK_ESCAPE && msg.wParam != VK_RETURN) || !m_codeBox.m_hWnd)
        return false;
    if (msg.hwnd != m_codeBox.m_hWnd && !::IsChild(m_codeBox.m_hWnd, msg.hwnd))
        return false;
    return m_codeBox.SendMessage(CB_GETDROPPEDSTATE) != 0;
}

bool CSearchDtcPage::WantsKey(const MSG& msg) const { return DropDownKey(msg); }

BOOL CSearchDtcPage::PreTranslateMessage(MSG* msg)
{
    // An open drop-down list closes with Escape (nothing chosen) and Enter
    // (the highlighted code kept), as in any drop-down box; the box itself
    // gets the key. With the list closed the page swallows both.
    const bool open = DropDownKey(*msg);
    const BOOL handled = CPage::PreTranslateMessage(msg);
    if (open && m_codeBox.SendMessage(CB_GETDROPPEDSTATE))
        m_codeBox.SendMessage(CB_SHOWDROPDOWN, FALSE);
    return handled;
}

void CSearchDtcPage::OnSize(int cx, int cy)
{
    if (!m_codeList.m_hWnd)
        return;
    m_codeBox.MoveWindow(20, 5, cx - 40, 30);
    m_codeList.MoveWindow(20, 45, cx - 40, cy - 50);
}

LRESULT CSearchDtcPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        OnSize(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDC_CODE_BOX && HIWORD(wParam) == CBN_EDITCHANGE) {
            OnEditChangeCode();
            return 0;
        }
        if (LOWORD(wParam) == IDC_CODE_BOX && HIWORD(wParam) == CBN_SELCHANGE) {
            OnSelChangeHistory();
            return 0;
        }
        break;
    default:
        break;
    }
    return CPage::WindowProc(msg, wParam, lParam);
}
