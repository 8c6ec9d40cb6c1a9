#include "ui/win/PicturePage.h"

#include "ui/controls/Drawing.h"
#include "framework/Dc.h"

#include <memory>

namespace {

struct Product {
    const wchar_t* name;
    int pictureId;
};

const Product kProducts[] = {
    {L"QB120", 156}, {L"QB230", 157},  {L"QB230E", 158}, {L"QB345", 159},  {L"QB460", 160},
    {L"QB475", 161}, {L"QB580", 162},  {L"QB625", 163},  {L"QB640", 164},  {L"QB655", 165},
    {L"MZR710", 166}, {L"LTV720", 167}, {L"QB890", 168},  {L"QB1010", 169},
};

} // namespace

CPicturePage::CPicturePage(CWnd* parent, const IPageBackground* background)
    : CPage(IDD, parent), m_pBackground(background)
{
    for (const Product& p : kProducts) {
        m_modelNames.emplace_back(p.name);
        m_pictureIds.push_back(p.pictureId);
    }
}

BOOL CPicturePage::OnInitDialog()
{
    HINSTANCE module = ::GetModuleHandleW(nullptr);
    // Without the arrow cursors the ordinary arrow is better than none at all.
    m_cursorLeft = ::LoadCursorW(module, MAKEINTRESOURCEW(kCursorLeft));
    m_cursorRight = ::LoadCursorW(module, MAKEINTRESOURCEW(kCursorRight));
    if (!m_cursorLeft)
        m_cursorLeft = ::LoadCursorW(nullptr, IDC_ARROW);
    if (!m_cursorRight)
        m_cursorRight = ::LoadCursorW(nullptr, IDC_ARROW);
    SetTimer(kTimerId, kPeriodMs);
    return TRUE;
}

COLORREF CPicturePage::Background() const
{
    return m_pBackground ? m_pBackground->BackgroundColour() : RGB(255, 255, 255);
}

LRESULT CPicturePage::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_TIMER:
        if (wParam == kTimerId) {
            OnTimer();
            return 0;
        }
        break;
    case WM_MOUSEMOVE:
        OnMouseMove(static_cast<short>(LOWORD(lParam)));
        return 0;
    case WM_SETCURSOR:
        // Keep our arrow between moves instead of the class cursor flashing in.
        if (LOWORD(lParam) == HTCLIENT && m_side != 0 && m_hovering) {
            ApplyCursor();
            return TRUE;
        }
        break;
    case WM_LBUTTONDOWN:
        OnLButtonDown();
        return 0;
    case WM_MOUSELEAVE:
        m_hovering = 0;
        m_tracking = 0;  // tracking ends with the leave notification
        return 0;
    case WM_MOUSEHOVER:
        return 0;
    case WM_ERASEBKGND:
        return TRUE;
    case WM_PAINT:
        OnPaint();
        return 0;
    default:
        break;
    }
    return CPage::WindowProc(msg, wParam, lParam);
}

void CPicturePage::OnTimer()
{
    if (m_hovering || m_pictureIds.empty())
        return;
    m_current = (m_current + 1) % PictureCount();
    Invalidate();
}

void CPicturePage::OnMouseMove(int x)
{
    TRACKMOUSEEVENT tme{};
    tme.cbSize = sizeof(tme);
    tme.dwFlags = TME_HOVER | TME_LEAVE;
    tme.hwndTrack = m_hWnd;
    tme.dwHoverTime = HOVER_DEFAULT;
    ::TrackMouseEvent(&tme);
    m_tracking = 1;
    m_hovering = 1;
    m_side = x > m_clientWidth / 2 ? 2 : 1;
    ApplyCursor();
}

void CPicturePage::ApplyCursor() const
{
    HCURSOR cursor = m_side == 2 ? m_cursorRight : m_cursorLeft;
    if (cursor)
        ::SetCursor(cursor);
}

void CPicturePage::OnLButtonDown()
{
    const int count = PictureCount();
    if (count > 0) {
        if (m_side == 1)
            m_current = (m_current + count - 1) % count;
        else if (m_side == 2)
            m_current = (m_current + 1) % count;
    }
    Invalidate();
}

void CPicturePage::OnPaint()
{
    CPaintDC dc(m_hWnd);
    RECT rc;
    GetClientRect(&rc);
    m_clientWidth = rc.right - rc.left;
    const int cx = rc.right - rc.left, cy = rc.bottom - rc.top;
    if (cx <= 0 || cy <= 0)
        return;

    CMemoryDC mem(dc, cx, cy);
    if (!mem.Ok())
        return;
    HBRUSH back = ::CreateSolidBrush(Background());
    ::FillRect(mem, &rc, back);
    ::DeleteObject(back);

    if (m_current >= 0 && m_current < PictureCount()) {
        std::unique_ptr<Gdiplus::Image> picture(LoadPngResource(static_cast<UINT>(m_pictureIds[m_current])));
        if (picture) {
            Gdiplus::Graphics g(mem.m_hDC);
            g.DrawImage(picture.get(), 0, 0, kPictureWidth, kPictureHeight);
        }

        const std::wstring& name = m_modelNames[m_current];
        CSelectObject select(mem, g_pFont24 ? static_cast<HGDIOBJ>(g_pFont24->m_hObject) : nullptr);
        ::SetBkMode(mem, TRANSPARENT);
        // The skin's text colour: black would vanish on a dark skin.
        ::SetTextColor(mem, m_pBackground ? m_pBackground->TextColour() : RGB(0, 0, 0));
        RECT text{rc.left, kPictureHeight, rc.right, rc.bottom};
        ::DrawTextW(mem, name.c_str(), static_cast<int>(name.size()), &text, DT_CENTER | DT_VCENTER);
    }

    ::BitBlt(dc, 0, 0, cx, cy, mem, 0, 0, SRCCOPY);
}
