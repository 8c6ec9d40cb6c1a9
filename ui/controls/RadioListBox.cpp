#include "ui/controls/RadioListBox.h"

#include "ui/controls/Drawing.h"
#include "framework/Dc.h"
#include "ui/core/Palette.h"

int CRadioListBox::AddItem(const std::wstring& text, UINT bitmapId, int indent)
{
    // The flag vectors cover kMaxItems items; a larger box would have items
    // without flags.
    if (GetCount() >= kMaxItems)
        return -1;
    if (indent != 0)
        m_indent = indent;
    int index = AddString(text);
    if (index < 0)
        return -1;
    SetItemData(index, bitmapId);
    return index;
}

void CRadioListBox::EnableItem(int index, BOOL enable)
{
    if (index >= 0 && index < kMaxItems)
        m_enabled[static_cast<size_t>(index)] = enable ? 1 : 0;
}

BOOL CRadioListBox::IsItemEnabled(int index) const
{
    return index < 0 || index >= kMaxItems || m_enabled[static_cast<size_t>(index)];
}

void CRadioListBox::SetItemRadio(int index, BOOL hasRadio)
{
    if (index >= 0 && index < kMaxItems)
        m_hasRadio[static_cast<size_t>(index)] = hasRadio ? 1 : 0;
}

BOOL CRadioListBox::HasItemRadio(int index) const
{
    return index < 0 || index >= kMaxItems || m_hasRadio[static_cast<size_t>(index)];
}

int CRadioListBox::ItemFromPoint(POINT pt) const
{
    int height = GetItemHeight(0);
    if (height <= 0 || pt.y < 0)
        return -1;
    int index = pt.y / height + GetTopIndex();
    return index < GetCount() ? index : -1;
}

int CRadioListBox::FindEnabled(int start, int step) const
{
    int count = GetCount();
    for (int i = start; i >= 0 && i < count; i += step)
        if (IsItemEnabled(i))
            return i;
    return -1;
}

LRESULT CRadioListBox::OnKeyDown(WPARAM key)
{
    const int count = GetCount();
    const int cur = GetCurSel();
    int target = -1;
    switch (key) {
    case VK_PRIOR:
    case VK_NEXT:
        return 0;
    case VK_HOME:
        if (count == 0 || IsItemEnabled(0))
            return Default();
        if (count >= 2)
            target = FindEnabled(1, 1);
        break;
    case VK_END:
        if (count == 0 || IsItemEnabled(count - 1))
            return Default();
        target = FindEnabled(count - 2, -1);
        break;
    case VK_UP:
    case VK_LEFT:
        if (cur - 1 < 0 || cur - 1 >= count || IsItemEnabled(cur - 1))
            return Default();
        target = FindEnabled(cur - 2, -1);
        break;
    case VK_DOWN:
    case VK_RIGHT:
        if (cur + 1 >= count || IsItemEnabled(cur + 1))
            return Default();
        target = FindEnabled(cur + 2, 1);
        break;
    default:
        return Default();
    }
    // Not announced to the parent, unlike the list box's own moves.
    if (target >= 0)
        SetCurSel(target);
    return 0;
}

LRESULT CRadioListBox::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_LBUTTONDOWN:
    case WM_LBUTTONDBLCLK: {
        // A double click selects like a press does, so it obeys the same rule.
        POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
        int index = ItemFromPoint(pt);
        if (index < 0 || !IsItemEnabled(index))
            return 0;
        return Default();
    }
    case WM_MOUSEMOVE:
        // Dragging with the button held moves the selection along: not onto a
        // disabled item.
        if (wParam & MK_LBUTTON) {
            POINT pt{static_cast<short>(LOWORD(lParam)), static_cast<short>(HIWORD(lParam))};
            int index = ItemFromPoint(pt);
            if (index >= 0 && !IsItemEnabled(index))
                return 0;
        }
        return Default();
    case WM_CHAR: {
        // Type-ahead may land on a disabled item: keep the old selection then.
        int before = GetCurSel();
        LRESULT r = Default();
        int after = GetCurSel();
        if (after != before && !IsItemEnabled(after))
            SetCurSel(before);
        return r;
    }
    case WM_KEYDOWN:
        return OnKeyDown(wParam);
    default:
        return CListBox::WindowProc(msg, wParam, lParam);
    }
}

bool CRadioListBox::OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result)
{
    switch (msg) {
    case WM_DRAWITEM:
        DrawItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        *result = TRUE;
        return true;
    case WM_CTLCOLORLISTBOX:
        if ((GetExStyle() & WS_EX_TRANSPARENT) && reinterpret_cast<HWND>(lParam) == m_hWnd) {
            *result = reinterpret_cast<LRESULT>(::GetSysColorBrush(COLOR_BTNFACE));
            return true;
        }
        return false;
    default:
        return false;
    }
}

void CRadioListBox::SetSkinColours(bool skinned, COLORREF back, COLORREF text)
{
    const kelvo::Palette p = kelvo::SkinPalette(skinned, back, text, -1);
    SetColours(p.listStripe[0], p.listStripe[1], p.listText, p.listGrayText);
}

void CRadioListBox::SetColours(COLORREF evenStripe, COLORREF oddStripe, COLORREF text, COLORREF grayText)
{
    m_stripe[0] = evenStripe;
    m_stripe[1] = oddStripe;
    m_text = text;
    m_grayText = grayText;
    if (m_hWnd)
        Invalidate();
}

COLORREF CRadioListBox::Stripe(int row) const { return m_stripe[row % 2 ? 1 : 0]; }

void CRadioListBox::PaintEmptyRows(HDC dc) const
{
    int height = GetItemHeight(0);
    if (height <= 0)
        return;
    RECT client;
    GetClientRect(&client);
    int row = GetCount() - GetTopIndex();
    if (row < 0)
        row = 0;
    HBRUSH odd = ::CreateSolidBrush(Stripe(1));
    HBRUSH even = ::CreateSolidBrush(Stripe(0));
    for (int top = client.top + row * height; top + height <= client.bottom; top += height, ++row) {
        RECT r{client.left, top, client.right, top + height};
        ::FillRect(dc, &r, (row % 2) ? odd : even);
    }
    ::DeleteObject(odd);
    ::DeleteObject(even);
}

void CRadioListBox::DrawItem(const DRAWITEMSTRUCT* dis)
{
    if (static_cast<int>(dis->itemID) < 0 || dis->itemID == static_cast<UINT>(-1))
        return;
    if (dis->itemAction == ODA_FOCUS) {
        // The keyboard's place: the usual dotted mark, drawn and taken away
        // by the same inverting call.
        RECT focus = dis->rcItem;
        ::DrawFocusRect(dis->hDC, &focus);
        return;
    }
    if (!(dis->itemAction & (ODA_DRAWENTIRE | ODA_SELECT)))
        return;
    const int index = static_cast<int>(dis->itemID);
    HDC dc = dis->hDC;
    RECT item = dis->rcItem;
    const int itemHeight = item.bottom - item.top;
    const bool enabled = IsItemEnabled(index);
    const bool selected = (dis->itemState & ODS_SELECTED) != 0;

    HBRUSH stripe = ::CreateSolidBrush(Stripe(index));
    ::FillRect(dc, &item, stripe);
    ::DeleteObject(stripe);

    const int x = item.left + m_indent;
    int next = x;  // where the next element starts
    if (HasItemRadio(index)) {
        RECT radio{x, item.top + (itemHeight - kRadioSize) / 2, x + kRadioSize, 0};
        radio.bottom = radio.top + kRadioSize;
        UINT state = DFCS_BUTTONRADIO;
        if (!enabled)
            state |= DFCS_INACTIVE;
        else if (selected)
            state |= DFCS_CHECKED;
        ::DrawFrameControl(dc, &radio, DFC_BUTTON, state);
        next = x + kRadioSize;
    }

    UINT bitmapId = static_cast<UINT>(dis->itemData);
    if (bitmapId != 0) {
        HBITMAP bitmap = ::LoadBitmapW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(bitmapId));
        if (bitmap) {
            BITMAP bm{};
            ::GetObjectW(bitmap, sizeof(bm), &bm);
            // After the radio's place, drawn or not: the bitmaps of a list line up.
            int bx = x + kRadioSize + 10;
            int h = bm.bmHeight < itemHeight ? bm.bmHeight : itemHeight;
            int by = item.top + (itemHeight - h) / 2;
            HDC mem = ::CreateCompatibleDC(dc);
            if (mem) {
                HGDIOBJ old = ::SelectObject(mem, bitmap);
                ::BitBlt(dc, bx, by, bm.bmWidth, h, mem, 0, 0, SRCCOPY);
                ::SelectObject(mem, old);
                ::DeleteDC(mem);
            }
            ::DeleteObject(bitmap);
            next = bx + bm.bmWidth;
        }
    }

    std::wstring text = GetText(index);
    if (!text.empty()) {
        HFONT font = g_pFont24 ? g_pFont24->m_hObject : nullptr;
        CSelectObject select(dc, font);
        RECT measure{0, 0, 0, 0};
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &measure, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_CALCRECT | DT_NOPREFIX);
        const int tw = measure.right - measure.left, th = measure.bottom - measure.top;
        const int left = next == x ? x : next + 10;
        RECT r{left, item.top + (itemHeight - th) / 2, left + tw, 0};
        r.bottom = r.top + th;
        ::SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, enabled ? m_text : m_grayText);
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &r, DT_LEFT | DT_TOP | DT_SINGLELINE | DT_NOPREFIX);
        if (r.right > item.right && r.right > m_maxExtent) {
            m_maxExtent = r.right;
            SetHorizontalExtent(m_maxExtent + 10);
        }
    }

    if (dis->itemState & ODS_FOCUS) {
        RECT focus = dis->rcItem;
        ::DrawFocusRect(dc, &focus);
    }
    PaintEmptyRows(dc);
}
