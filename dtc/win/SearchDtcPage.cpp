#include "dtc/win/SearchDtcPage.h"

#include "app/core/TextNumbers.h"
#include "framework/Dpi.h"
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
    m_codeList.SetAccessibleName(GetText(kelvo::kTextNameCodeList));
    m_codeBox.SetAccessibleName(GetText(kelvo::kTextNameCodeBox));
    // The box's text field is what takes the focus: it carries the name too.
    if (HWND field = ::FindWindowExW(m_codeBox.m_hWnd, nullptr, L"Edit", nullptr)) {
        m_codeField.SubclassWindow(field);
        m_codeField.SetAccessibleName(GetText(kelvo::kTextNameCodeBox));
    }

    for (const std::wstring& code : m_history.Load())
        m_codeBox.AddString(code);

    if (g_pFont24)
        m_codeBox.SetFont(g_pFont24);
    if (g_pFont16)
        m_codeList.SetFont(g_pFont16);
    m_codeList.SetExtendedStyle(LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT);

    const std::wstring code = GetText(kelvo::kTextColumnCode), description = GetText(kelvo::kTextColumnDescription);
    const kelvo::Dpi s(m_hWnd);
    m_codeList.InsertColumn(0, code, LVCFMT_LEFT, std::max(CaptionWidth(m_codeList, code) + s(20), s(100)));
    m_codeList.InsertColumn(1, description, LVCFMT_LEFT, std::max(CaptionWidth(m_codeList, description) + s(20), s(700)));
    return TRUE;
}

void CSearchDtcPage::LoadDtcFile(int languageIndex)
{
    // The list is virtual: loading sets its row count, the rows' texts come
    // from the table when shown.
    m_shownEntries.clear();
    m_wordSearch = false;
    LoadFile(languageIndex);
    ResetRows();
    m_words = kelvo::DtcWordIndex();
    m_words.LoadAbbreviationFile(kelvo::InstalledPath(kelvo::DtcWordIndex::AbbreviationFile()));
    m_words.Build(*this);
}

void CSearchDtcPage::ResetRows()
{
    m_codeList.SetItemState(-1, 0, LVIS_SELECTED | LVIS_FOCUSED);
    m_codeList.SendMessage(LVM_SETSELECTIONMARK, 0, -1);
    m_lastRow = -1;
    const size_t n = m_wordSearch ? m_shownEntries.size() : m_codes.size();
    m_codeList.SendMessage(LVM_SETITEMCOUNT, static_cast<WPARAM>(n), 0);
    m_codeList.SendMessage(LVM_ENSUREVISIBLE, 0, FALSE);
    m_codeList.Invalidate();
}

int32_t CSearchDtcPage::EntryOfRow(int row) const
{
    if (row < 0)
        return -1;
    const size_t r = static_cast<size_t>(row);
    if (m_wordSearch)
        return r < m_shownEntries.size() ? m_shownEntries[r] : -1;
    return r < m_codes.size() ? static_cast<int32_t>(r) : -1;
}

void CSearchDtcPage::OnGetDispInfo(NMLVDISPINFOW* info) const
{
    LVITEMW& item = info->item;
    if (!(item.mask & LVIF_TEXT) || !item.pszText || item.cchTextMax <= 0)
        return;
    item.pszText[0] = 0;
    const int32_t entry = EntryOfRow(item.iItem);
    if (entry < 0 || static_cast<size_t>(entry) >= m_codes.size())
        return;
    const std::wstring& code = m_codes[static_cast<size_t>(entry)];
    const std::wstring* text = &code;
    if (item.iSubItem == 1) {
        // A code stored twice shows the later description on both rows, as a look-up gives it.
        auto d = m_descByCode.find(code);
        if (d == m_descByCode.end())
            return;
        text = &d->second;
    } else if (item.iSubItem != 0) {
        return;
    }
    const size_t n = std::min(text->size(), static_cast<size_t>(item.cchTextMax - 1));
    std::copy(text->begin(), text->begin() + static_cast<std::ptrdiff_t>(n), item.pszText);
    item.pszText[n] = 0;
}

void CSearchDtcPage::ShowWordMatches(const std::vector<int32_t>& entries)
{
    // A key that changes no match (a space, say) leaves the list and its selection alone.
    if (m_wordSearch && entries == m_shownEntries)
        return;
    m_shownEntries = entries;
    m_wordSearch = true;
    ResetRows();
    if (!entries.empty())
        SelectRow(0);
}

void CSearchDtcPage::ShowAllEntries()
{
    if (!m_wordSearch)
        return;
    m_wordSearch = false;
    m_shownEntries.clear();
    ResetRows();
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
    const kelvo::Dpi s(m_hWnd);
    m_codeBox.MoveWindow(s(20), s(5), cx - s(40), s(30));
    m_codeList.MoveWindow(s(20), s(45), cx - s(40), cy - s(50));
}

LRESULT CSearchDtcPage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE:
        OnSize(static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam)));
        return 0;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr && hdr->hwndFrom == m_codeList.m_hWnd && m_codeList.m_hWnd && hdr->code == LVN_GETDISPINFOW) {
            OnGetDispInfo(reinterpret_cast<NMLVDISPINFOW*>(lParam));
            return 0;
        }
        break;
    }
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
