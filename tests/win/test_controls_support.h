#pragma once
// Shared pieces of the controls' tests: a visible host dialog (template 9001)
// that records what its children tell it, message pumping, pixel reads.
#include "framework/afx.h"
#include "ui/win/PicturePage.h"
#include "ui/controls/ProListCtrl.h"

#include <utility>
#include <vector>

namespace kelvo::test {

constexpr UINT kHostTemplate = 9001;
constexpr UINT kStripPng = 9101;  // frames red, green, blue, yellow
constexpr UINT kBlueBitmap = 9102;  // 8 x 8, blue

class CHostDialog : public CDialog, public IUpdateListOwner, public IPageBackground {
public:
    CHostDialog() : CDialog(kHostTemplate) {}

    // Modeless, top-level, at a fixed place on the screen.
    bool Open();

    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
    void OnUpdateFailed(int worker) override { ++m_failed; m_lastWorker = worker; }
    void OnUpdateDone(int worker) override { ++m_done; m_lastWorker = worker; }
    COLORREF BackgroundColour() const override { return m_background; }
    COLORREF TextColour() const override { return m_text; }

    std::vector<std::pair<WPARAM, LPARAM>> m_clicks;  // WM_CLRBUTTON_CLICK received
    int m_selChanges = 0;                             // LBN_SELCHANGE of any list box
    int m_captionPresses = 0;                         // WM_NCLBUTTONDOWN on HTCAPTION (not acted on)
    int m_failed = 0;
    int m_done = 0;
    int m_lastWorker = -1;
    COLORREF m_background = RGB(0x62, 0xA8, 0xDE);
    COLORREF m_text = RGB(0, 0, 0);
};

// Dispatches the thread's messages for `ms` milliseconds.
void Pump(DWORD ms);
// Dispatches until `done` holds or `ms` pass; returns whether it holds.
template <class F>
bool PumpUntil(F done, DWORD ms)
{
    DWORD start = GetTickCount();
    while (!done()) {
        if (GetTickCount() - start > ms)
            return false;
        Pump(20);
    }
    return true;
}

// Colour of a client pixel as the window shows it (after a synchronous repaint).
COLORREF PixelAt(HWND hwnd, int x, int y);
void RepaintNow(HWND hwnd);

} // namespace kelvo::test
