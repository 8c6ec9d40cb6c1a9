#pragma once
// Thin holders of the common controls the pages use. Each wraps one HWND
// (usually a dialog's control, taken over with SubclassDlgItem or bound with
// Attach) and turns a handful of control messages into calls; nothing more.
#include "framework/Wnd.h"

#include <commctrl.h>

#include <string>

class CButton : public CWnd {
public:
    BOOL Create(const wchar_t* text, DWORD style, const RECT& rect, CWnd* parent, UINT id)
    {
        return CreateEx(0, L"BUTTON", text, style, rect, parent, id);
    }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) const { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
};

class CEdit : public CWnd {
public:
    void SetSel(int start, int end, BOOL noScroll = FALSE) const;
    void ReplaceSel(const std::wstring& text, BOOL canUndo = FALSE) const
    {
        SendMessage(EM_REPLACESEL, canUndo, reinterpret_cast<LPARAM>(text.c_str()));
    }
    void SetLimitText(UINT max) const { SendMessage(EM_SETLIMITTEXT, max); }
    int GetLineCount() const { return static_cast<int>(SendMessage(EM_GETLINECOUNT)); }
    void SetReadOnly(BOOL readOnly = TRUE) const { SendMessage(EM_SETREADONLY, readOnly); }
};

class CComboBox : public CWnd {
public:
    int AddString(const std::wstring& text) const
    {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index))); }
    void ResetContent() const { SendMessage(CB_RESETCONTENT); }
    // Empty for an index out of range.
    std::wstring GetLBText(int index) const;
};

class CProgressCtrl : public CWnd {
public:
    void SetRange32(int lower, int upper) const { SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(lower), upper); }
    int SetPos(int pos) const { return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos))); }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
};

// SysLink control.
class CLinkCtrl : public CWnd {
public:
    // URL of link item `index` (empty when there is none).
    std::wstring GetItemUrl(int index) const;
};

class CListBox : public CWnd {
public:
    int AddString(const std::wstring& text) const
    {
        return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str())));
    }
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) const { return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index))); }
    int GetTopIndex() const { return static_cast<int>(SendMessage(LB_GETTOPINDEX)); }
    int SetTopIndex(int index) const { return static_cast<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(index))); }
    int GetItemHeight(int index) const { return static_cast<int>(SendMessage(LB_GETITEMHEIGHT, static_cast<WPARAM>(index))); }
    int SetItemHeight(int index, UINT height) const
    {
        return static_cast<int>(SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(index), MAKELPARAM(height, 0)));
    }
    DWORD_PTR GetItemData(int index) const { return static_cast<DWORD_PTR>(SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(index))); }
    int SetItemData(int index, DWORD_PTR data) const
    {
        return static_cast<int>(SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
    int GetItemRect(int index, RECT* rect) const
    {
        return static_cast<int>(SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(rect)));
    }
    void SetHorizontalExtent(int extent) const { SendMessage(LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(extent)); }
    void ResetContent() const { SendMessage(LB_RESETCONTENT); }
    // Empty for an index out of range.
    std::wstring GetText(int index) const;
};

class CListCtrl : public CWnd {
public:
    DWORD SetExtendedStyle(DWORD exStyle) const
    {
        return static_cast<DWORD>(SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(exStyle)));
    }
    DWORD GetExtendedStyle() const { return static_cast<DWORD>(SendMessage(LVM_GETEXTENDEDLISTVIEWSTYLE)); }
    int InsertColumn(int column, const std::wstring& heading, int format = LVCFMT_LEFT, int width = -1) const;
    BOOL SetColumnWidth(int column, int width) const
    {
        return static_cast<BOOL>(SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)));
    }
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    // Inserts an item with `text` in column 0 (and an image, or -1 for none).
    // Returns the index it got, or -1.
    int InsertItem(int item, const std::wstring& text, int image = -1) const;
    BOOL SetItemText(int item, int subItem, const std::wstring& text) const;
    std::wstring GetItemText(int item, int subItem) const;
    BOOL DeleteItem(int item) const { return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(item))); }
    // Virtual so that controls with per-item state can drop it with the items.
    virtual BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    UINT GetItemState(int item, UINT mask) const
    {
        return static_cast<UINT>(SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(item), static_cast<LPARAM>(mask)));
    }
    BOOL SetItemState(int item, UINT state, UINT mask) const;
    // The check box of LVS_EX_CHECKBOXES: state image 2 is checked, 1 unchecked.
    BOOL GetCheck(int item) const { return ((GetItemState(item, LVIS_STATEIMAGEMASK) >> 12) - 1) == 1; }
    BOOL SetCheck(int item, BOOL check = TRUE) const
    {
        return SetItemState(item, INDEXTOSTATEIMAGEMASK(check ? 2 : 1), LVIS_STATEIMAGEMASK);
    }
    BOOL GetSubItemRect(int item, int subItem, int area, RECT* rect) const;
    HIMAGELIST SetImageList(HIMAGELIST list, int which) const
    {
        return reinterpret_cast<HIMAGELIST>(SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(which), reinterpret_cast<LPARAM>(list)));
    }
    void SetIconSpacing(int cx, int cy) const { SendMessage(LVM_SETICONSPACING, 0, MAKELPARAM(cx, cy)); }
    // The item at a client point, or -1.
    int HitTest(POINT pt) const;
};
