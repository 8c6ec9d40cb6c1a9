#pragma once
// CBmpButton: the wizard's owner-drawn push button with cut corners, filled
// azure, lighter while the mouse is over it, green when disabled.
#include "framework/Controls.h"

class CBmpButton : public CButton {
public:
    // Takes over a dialog's button and makes it owner-drawn.
    BOOL Attach(UINT id, CWnd* parent);

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    bool OnChildNotify(UINT msg, WPARAM wParam, LPARAM lParam, LRESULT* result) override;

    BOOL m_bTracking = FALSE;
    BOOL m_bHover = FALSE;

private:
    void SetCutRegion();
    void DrawItem(const DRAWITEMSTRUCT& di);
};
