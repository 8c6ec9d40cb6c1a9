#include "test_controls_support.h"

#include "ui/controls/Drawing.h"
#include "ui/controls/ClrButton.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <gdiplus.h>

namespace kelvo::test {

namespace {

// Process-wide state the controls expect from the application: common
// controls, GDI+ and the three shared fonts.
class ControlsEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        INITCOMMONCONTROLSEX icc{sizeof(icc), ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES | ICC_LINK_CLASS};
        InitCommonControlsEx(&icc);
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&m_token, &input, nullptr);
        for (auto [font, height] : {std::pair{&g_pFont16, 16}, {&g_pFont24, 24}, {&g_pFont32, 32}}) {
            *font = new CFont;
            (*font)->CreateFont(height, 0, 0, 0, FW_BOLD, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                                CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, L"Arial");
        }
    }
    void TearDown() override
    {
        for (CFont** font : {&g_pFont16, &g_pFont24, &g_pFont32}) {
            delete *font;
            *font = nullptr;
        }
        Gdiplus::GdiplusShutdown(m_token);
    }

private:
    ULONG_PTR m_token = 0;
};

[[maybe_unused]] testing::Environment* const g_env = testing::AddGlobalTestEnvironment(new ControlsEnvironment);

} // namespace

bool CHostDialog::Open()
{
    if (!Create(kHostTemplate, nullptr))
        return false;
    ::SetWindowPos(m_hWnd, HWND_TOPMOST, 100, 100, 700, 520, SWP_SHOWWINDOW);
    ::SetForegroundWindow(m_hWnd);
    Pump(50);
    return true;
}

LRESULT CHostDialog::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    if (msg == WM_CLRBUTTON_CLICK) {
        m_clicks.emplace_back(wParam, lParam);
        return 0;
    }
    if (msg == WM_COMMAND && HIWORD(wParam) == LBN_SELCHANGE)
        ++m_selChanges;
    if (msg == WM_NCLBUTTONDOWN && wParam == HTCAPTION) {
        // Counted, not acted on: the move loop would wait for the mouse.
        ++m_captionPresses;
        return 0;
    }
    return CDialog::WindowProc(msg, wParam, lParam);
}

void Pump(DWORD ms)
{
    DWORD start = GetTickCount();
    do {
        MSG m;
        while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&m);
            DispatchMessageW(&m);
        }
        Sleep(5);
    } while (GetTickCount() - start < ms);
}

void RepaintNow(HWND hwnd)
{
    RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

COLORREF PixelAt(HWND hwnd, int x, int y)
{
    HDC dc = GetDC(hwnd);
    COLORREF c = GetPixel(dc, x, y);
    ReleaseDC(hwnd, dc);
    return c;
}

} // namespace kelvo::test
