#include "installer/win/BmpButton.h"

#include "framework/Dpi.h"
#include "ui/controls/Drawing.h"

#include <vector>

BOOL CBmpButton::Attach(UINT id, CWnd* parent)
{
    if (!SubclassDlgItem(id, parent))
        return FALSE;
    const LONG_PTR style = ::GetWindowLongPtrW(m_hWnd, GWL_STYLE);
    ::SetWindowLongPtrW(m_hWnd, GWL_STYLE, (style & ~static_cast<LONG_PTR>(BS_TYPEMASK)) | BS_OWNERDRAW);
    // The font it draws its caption in is its font: what asks for it (a
    // screen reader, a new DPI's font swap) gets the right one.
    if (g_pFont24)
        SendMessage(WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont24->m_hObject), FALSE);
    SetCutRegion();
    return TRUE;
}

void CBmpButton::SetCutRegion()
{
    RECT rc;
    GetClientRect(&rc);
    const int r = rc.right, b = rc.bottom, c = kelvo::Scale(5, kelvo::DpiOfWindow(m_hWnd));
    const POINT pts[8] = {{c, 0}, {r - c, 0}, {r, c}, {r, b - c}, {r - c, b}, {c, b}, {0, b - c}, {0, c}};
    HRGN region = ::CreatePolygonRgn(pts, 8, WINDING);
    // The window owns the region from here on.
    if (region && !::SetWindowRgn(m_hWnd, region, TRUE))
        ::DeleteObject(region);
}

LRESULT CBmpButton::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_SIZE: {
        const LRESULT r = Default();
        SetCutRegion();
        return r;
    }
    case WM_MOUSEMOVE:
        if (!m_bTracking) {
            TRACKMOUSEEVENT tme{};
            tme.cbSize = sizeof tme;
            tme.dwFlags = TME_HOVER | TME_LEAVE;
            tme.hwndTrack = m_hWnd;
            tme.dwHoverTime = 1;
            m_bTracking = ::TrackMouseEvent(&tme);
        }
        break;
    case WM_MOUSEHOVER:
        m_bHover = TRUE;
        Invalidate(FALSE);
        return 0;
    case WM_MOUSELEAVE:
        m_bTracking = FALSE;
        m_bHover = FALSE;
        Invalidate(FALSE);
        return 0;
    case WM_SETCURSOR:
        ::SetCursor(::LoadCursorW(nullptr, IDC_HAND));
        return TRUE;
    default:
        break;
    }
    return CButton::WindowProc(msg, wParam, lParam);
}

bool CBmpButton::OnChildNotify(UINT msg, WPARAM, LPARAM lParam, LRESULT* result)
{
    if (msg != WM_DRAWITEM)
        return false;
    DrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
    *result = TRUE;
    return true;
}

void CBmpButton::DrawItem(const DRAWITEMSTRUCT& di)
{
    HDC dc = di.hDC;
    RECT rc = di.rcItem;
    const bool disabled = (di.itemState & ODS_DISABLED) != 0;
    const bool pressed = (di.itemState & ODS_SELECTED) != 0;
    COLORREF text = RGB(0, 0, 0);
    if (disabled) {
        HBRUSH b = ::CreateSolidBrush(0x31C661);
        ::FillRect(dc, &rc, b);
        ::DeleteObject(b);
        text = 0x808080;
    } else {
        const COLORREF fill = m_bHover ? 0xFF8F20 : 0xFF8000;
        HPEN pen = ::CreatePen(PS_SOLID, 1, fill);
        HBRUSH brush = ::CreateSolidBrush(fill);
        HGDIOBJ oldPen = ::SelectObject(dc, pen);
        HGDIOBJ oldBrush = ::SelectObject(dc, brush);
        const int round = kelvo::Scale(10, kelvo::DpiOfWindow(m_hWnd));
        ::RoundRect(dc, rc.left, rc.top, rc.right, rc.bottom, round, round);
        ::SelectObject(dc, oldPen);
        ::SelectObject(dc, oldBrush);
        ::DeleteObject(pen);
        ::DeleteObject(brush);
        if (m_bHover && pressed)
            text = 0x0000FF;
    }
    const std::wstring caption = GetWindowText();
    HGDIOBJ oldFont = g_pFont24 ? ::SelectObject(dc, g_pFont24->m_hObject) : nullptr;
    ::SetBkMode(dc, TRANSPARENT);
    ::SetTextColor(dc, text);
    SIZE extent{};
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
    RECT tr = rc;
    const int width = rc.right - rc.left;
    if (extent.cx < width) {
        tr.left = rc.left + (width - extent.cx) / 2;
        tr.right = tr.left + extent.cx;
    }
    ::DrawTextW(dc, caption.c_str(), -1, &tr, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (oldFont)
        ::SelectObject(dc, oldFont);
}
