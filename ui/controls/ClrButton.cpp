#include "ui/controls/ClrButton.h"

#include "ui/controls/Drawing.h"
#include "framework/Dc.h"

#include <uxtheme.h>

#include <memory>

const wchar_t ClrButton::kClassName[] = L"KelvoClrButton";

namespace {

// Registered once per process. No cursor, brush or icon: the button paints
// every pixel itself and leaves the cursor to whatever is current.
bool RegisterButtonClass()
{
    static bool registered = [] {
        WNDCLASSEXW wc{};
        wc.cbSize = sizeof(wc);
        wc.lpfnWndProc = &CWnd::StaticWndProc;
        wc.hInstance = ::GetModuleHandleW(nullptr);
        wc.lpszClassName = ClrButton::kClassName;
        return ::RegisterClassExW(&wc) != 0 || ::GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
    }();
    return registered;
}

} // namespace

BOOL ClrButton::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id)
{
    if (!RegisterButtonClass())
        return FALSE;
    return CreateEx(0, kClassName, L"", style, rect, parent, id);
}

LRESULT ClrButton::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_MOUSEMOVE:
        OnMouseMove((wParam & MK_LBUTTON) != 0);
        return 0;
    case WM_MOUSELEAVE:
        OnMouseLeave();
        return 0;
    case WM_LBUTTONDOWN:
        OnLButtonDown();
        return 0;
    case WM_LBUTTONUP:
        OnLButtonUp();
        return 0;
    case WM_SETFOCUS:
        m_focused = 1;
        Repaint();
        return 0;
    case WM_KILLFOCUS:
        m_focused = 0;
        Repaint();
        return 0;
    case WM_CLRBUTTON_PRESS:
        ::PostMessageW(GetParent(), WM_CLRBUTTON_CLICK, static_cast<WPARAM>(GetDlgCtrlID()), 0);
        return 0;
    case WM_KEYUP:
        if (wParam == VK_SPACE && (GetStyle() & WS_TABSTOP))
            ::PostMessageW(GetParent(), WM_CLRBUTTON_CLICK, static_cast<WPARAM>(GetDlgCtrlID()), 0);
        return 0;
    case WM_ERASEBKGND:
        return 1;  // the paint covers everything
    case WM_PAINT:
        OnPaint();
        return 0;
    default:
        return CWnd::WindowProc(msg, wParam, lParam);
    }
}

void ClrButton::OnMouseMove(bool leftButtonDown)
{
    if (!m_outside)
        return;
    // A press kept while the mouse was away ends if the button was released
    // meanwhile (that release went to another window).
    if (!leftButtonDown)
        m_pressed = 0;
    TRACKMOUSEEVENT tme{};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_LEAVE;
    tme.hwndTrack = m_hWnd;
    ::TrackMouseEvent(&tme);
    m_outside = 0;
    m_state = 1;
    Repaint();
}

void ClrButton::OnMouseLeave()
{
    m_outside = 1;
    m_state = 0;
    // The press is kept: coming back and releasing over the button is a click.
    Repaint();
}

void ClrButton::OnLButtonDown()
{
    m_pressed = 1;
    m_state = 2;
    if (GetStyle() & WS_TABSTOP)
        ::SetFocus(m_hWnd);
    Repaint();
}

void ClrButton::OnLButtonUp()
{
    if (!m_pressed)
        return;
    m_state = 1;
    Repaint();
    ::PostMessageW(GetParent(), WM_CLRBUTTON_CLICK, static_cast<WPARAM>(GetDlgCtrlID()), 0);
    m_pressed = 0;
}

void ClrButton::OnPaint()
{
    CPaintDC dc(m_hWnd);
    if (m_stripId == 0)
        return;
    RECT rc;
    GetClientRect(&rc);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0)
        return;

    {
        CMemoryDC mem(dc, cx, cy, true);
        if (!mem.Ok())
            return;
        // Whatever the parent shows behind us shines through the picture's
        // transparent pixels.
        ::DrawThemeParentBackground(m_hWnd, mem, &rc);

        std::unique_ptr<Gdiplus::Image> strip(LoadPngResource(static_cast<UINT>(m_stripId)));
        if (strip) {
            const int w = static_cast<int>(strip->GetWidth()) / 4;
            const int h = static_cast<int>(strip->GetHeight());
            const int state = m_state < 0 || m_state > 3 ? 0 : m_state;
            if (w > 0 && h > 0) {
                Gdiplus::Graphics g(mem.m_hDC);
                // Smoothing would mix in the neighbouring frame at the edges.
                g.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
                g.SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
                g.DrawImage(strip.get(), Gdiplus::Rect(0, 0, cx, cy), state * w, 0, w, h, Gdiplus::UnitPixel);
            }
        }
        ::BitBlt(dc, 0, 0, cx, cy, mem, 0, 0, SRCCOPY);
    }

    if (m_focused && (GetStyle() & WS_TABSTOP)) {
        RECT focus = rc;
        ::InflateRect(&focus, -3, -3);
        ::DrawFocusRect(dc, &focus);
    }
}
