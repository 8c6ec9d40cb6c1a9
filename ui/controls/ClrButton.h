#pragma once
// ClrButton: an image button drawn from a strip of four equal frames side by
// side (normal, mouse over, pressed, spare). A click posts WM_CLRBUTTON_CLICK
// to the parent with the button's id; it sends no WM_COMMAND.
#include "framework/Wnd.h"

// Posted to the parent: wParam = control id, lParam = 0.
constexpr UINT WM_CLRBUTTON_CLICK = WM_USER + 532;
// Sent to the button: press it as a click does (Enter, Space, a screen reader).
constexpr UINT WM_CLRBUTTON_PRESS = WM_USER + 533;

class ClrButton : public CWnd {
public:
    ClrButton() = default;

    // Creates the button (own window class, no title).
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);
    // Strip picture ("PNG" resource); 0 draws nothing.
    void SetStripId(int id)
    {
        m_stripId = id;
        if (m_hWnd)
            Invalidate(FALSE);
    }

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

    int m_state = 0;     // 0 normal, 1 mouse over, 2 pressed
    BOOL m_outside = 1;  // mouse not over the button (leave tracking is requested on entering)
    BOOL m_focused = 0;
    BOOL m_pressed = 0;  // a press on the button waits for its release
    int m_stripId = 0;

    static const wchar_t kClassName[];

private:
    void OnMouseMove(bool leftButtonDown);
    void OnMouseLeave();
    void OnLButtonDown();
    void OnLButtonUp();
    void OnPaint();
    void Repaint() { ::InvalidateRect(m_hWnd, nullptr, FALSE); }
};
