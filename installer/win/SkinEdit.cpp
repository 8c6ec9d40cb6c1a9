#include "installer/win/SkinEdit.h"

LRESULT CSkinEdit::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_NCPAINT: {
        const LRESULT r = Default();
        DrawFrames();
        return r;
    }
    case WM_MOUSEMOVE:
        if (!m_bTracking) {
            TRACKMOUSEEVENT tme{};
            tme.cbSize = sizeof tme;
            tme.dwFlags = TME_HOVER | TME_LEAVE;
            tme.hwndTrack = m_hWnd;
            tme.dwHoverTime = 50;
            m_bTracking = ::TrackMouseEvent(&tme);
        }
        break;
    case WM_MOUSEHOVER:
        m_bHover = TRUE;
        DrawFrames();
        return 0;
    case WM_MOUSELEAVE:
        m_bTracking = FALSE;
        m_bHover = FALSE;
        DrawFrames();
        return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS: {
        m_bFocus = msg == WM_SETFOCUS;
        const LRESULT r = Default();
        DrawFrames();
        return r;
    }
    default:
        break;
    }
    return CEdit::WindowProc(msg, wParam, lParam);
}

void CSkinEdit::DrawFrames()
{
    HDC dc = ::GetWindowDC(m_hWnd);
    if (!dc)
        return;
    RECT r;
    GetWindowRect(&r);
    ::OffsetRect(&r, -r.left, -r.top);
    HBRUSH outer = m_bHover ? m_outerHover : m_outerNormal;
    HBRUSH inner = (m_bHover || m_bFocus) ? m_innerActive : m_innerNormal;
    if (outer)
        ::FrameRect(dc, &r, outer);
    ::InflateRect(&r, -1, -1);
    if (inner)
        ::FrameRect(dc, &r, inner);
    ::ReleaseDC(m_hWnd, dc);
}
