#pragma once
// CSkinEdit: an edit box with two one-pixel frames of its own in the
// non-client area, brighter while the mouse is over it or it has the focus.
#include "framework/Controls.h"

class CSkinEdit : public CEdit {
public:
    HBRUSH m_outerNormal = nullptr;
    HBRUSH m_innerNormal = nullptr;
    HBRUSH m_outerHover = nullptr;
    HBRUSH m_innerActive = nullptr;
    BOOL m_bHover = FALSE;
    BOOL m_bFocus = FALSE;
    BOOL m_bTracking = FALSE;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void DrawFrames();
};
