#include "framework/Controls.h"

#include <vector>

void CEdit::SetSel(int start, int end, BOOL noScroll) const
{
    SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
    if (!noScroll)
        SendMessage(EM_SCROLLCARET);
}

std::wstring CComboBox::GetLBText(int index) const
{
    LRESULT n = SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index));
    if (n == CB_ERR || n < 0)
        return {};
    std::vector<wchar_t> buf(static_cast<size_t>(n) + 1);
    if (SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data())) == CB_ERR)
        return {};
    return std::wstring(buf.data());
}

std::wstring CListBox::GetText(int index) const
{
    LRESULT n = SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index));
    if (n == LB_ERR || n < 0)
        return {};
    std::vector<wchar_t> buf(static_cast<size_t>(n) + 1);
    if (SendMessage(LB_GETTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data())) == LB_ERR)
        return {};
    return std::wstring(buf.data());
}

std::wstring CLinkCtrl::GetItemUrl(int index) const
{
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    item.iLink = index;
    if (!SendMessage(LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item)))
        return {};
    item.szUrl[L_MAX_URL_LENGTH - 1] = L'\0';
    return item.szUrl;
}

int CListCtrl::InsertColumn(int column, const std::wstring& heading, int format, int width) const
{
    LVCOLUMNW col{};
    col.mask = LVCF_TEXT | LVCF_FMT | LVCF_SUBITEM;
    col.fmt = format;
    col.pszText = const_cast<wchar_t*>(heading.c_str());
    col.iSubItem = column;
    if (width >= 0) {
        col.mask |= LVCF_WIDTH;
        col.cx = width;
    }
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column), reinterpret_cast<LPARAM>(&col)));
}

int CListCtrl::InsertItem(int item, const std::wstring& text, int image) const
{
    LVITEMW it{};
    it.mask = LVIF_TEXT;
    it.iItem = item;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    if (image >= 0) {
        it.mask |= LVIF_IMAGE;
        it.iImage = image;
    }
    return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&it)));
}

BOOL CListCtrl::SetItemText(int item, int subItem, const std::wstring& text) const
{
    LVITEMW it{};
    it.iSubItem = subItem;
    it.pszText = const_cast<wchar_t*>(text.c_str());
    return static_cast<BOOL>(SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

std::wstring CListCtrl::GetItemText(int item, int subItem) const
{
    // The control reports only how much it copied: grow until it fits.
    for (size_t size = 256; size <= 65536; size *= 4) {
        std::vector<wchar_t> buf(size);
        LVITEMW it{};
        it.iSubItem = subItem;
        it.pszText = buf.data();
        it.cchTextMax = static_cast<int>(size);
        LRESULT n = SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it));
        if (n < 0)
            return {};
        if (static_cast<size_t>(n) < size - 1)
            return std::wstring(buf.data(), static_cast<size_t>(n));
    }
    return {};
}

BOOL CListCtrl::SetItemState(int item, UINT state, UINT mask) const
{
    LVITEMW it{};
    it.state = state;
    it.stateMask = mask;
    return static_cast<BOOL>(SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(&it)));
}

BOOL CListCtrl::GetSubItemRect(int item, int subItem, int area, RECT* rect) const
{
    rect->top = subItem;
    rect->left = area;
    return static_cast<BOOL>(SendMessage(LVM_GETSUBITEMRECT, static_cast<WPARAM>(item), reinterpret_cast<LPARAM>(rect)));
}

int CListCtrl::HitTest(POINT pt) const
{
    LVHITTESTINFO info{};
    info.pt = pt;
    return static_cast<int>(SendMessage(LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
}
