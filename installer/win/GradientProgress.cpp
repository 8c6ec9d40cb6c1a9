#include "installer/win/GradientProgress.h"

#include "framework/Dc.h"
#include "installer/core/Progress.h"
#include "ui/controls/Drawing.h"

LRESULT CGradientProgressCtrl::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT:
        OnPaint();
        return 0;
    default:
        return CProgressCtrl::WindowProc(msg, wParam, lParam);
    }
}

void CGradientProgressCtrl::OnPaint()
{
    CPaintDC dc(m_hWnd);
    RECT rc;
    GetClientRect(&rc);
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0)
        return;
    CMemoryDC mem(dc, cx, cy);
    if (!mem.Ok())
        return;
    for (const auto& band : kelvo::install::ProgressBands(cx, m_nPos, m_nLower, m_nUpper, m_clrStart, m_clrEnd)) {
        RECT r{band.left, 0, band.right, cy};
        HBRUSH brush = ::CreateSolidBrush(band.colour);
        ::FillRect(mem, &r, brush);
        ::DeleteObject(brush);
    }
    if (m_bShowPercent) {
        const std::wstring text = kelvo::install::PercentText(m_nPos, m_nUpper);
        CSelectObject font(mem, g_pFont32 ? static_cast<HGDIOBJ>(g_pFont32->m_hObject) : nullptr);
        ::SetBkMode(mem, TRANSPARENT);
        ::SetTextColor(mem, RGB(0, 0, 0));
        RECT r{0, 0, cx, cy};
        ::DrawTextW(mem, text.c_str(), -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    }
    ::BitBlt(dc, 0, 0, cx, cy, mem, 0, 0, SRCCOPY);
}
