#pragma once
// CGradientProgressCtrl: a progress bar painted as a gradient revealed from
// the left, with the percentage in the middle. It keeps its own copy of the
// range, step and position; the page moves both together.
#include "framework/Controls.h"

#include <cstdint>

class CGradientProgressCtrl : public CProgressCtrl {
public:
    int m_nLower = 0;
    int m_nUpper = 100;
    int m_nStep = 10;
    int m_nPos = 0;
    COLORREF m_clrStart = 0x00FF00;
    COLORREF m_clrEnd = 0x0000FF;
    COLORREF m_clrBkgnd = 0;        // kept, not drawn: the empty bar is white
    COLORREF m_clrText = 0xFFFFFF;  // kept, not drawn: the text is black
    BOOL m_bShowPercent = 1;

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    void OnPaint();
};
