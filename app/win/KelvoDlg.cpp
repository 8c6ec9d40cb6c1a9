#include "app/win/KelvoDlg.h"

#include "app/core/TextNumbers.h"
#include "device/core/Discovery.h"
#include "framework/Dpi.h"
#include "platform/win/ShellStart.h"

#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/core/texts.h"
#include "ui/controls/Drawing.h"
#include "device/core/IntPort.h"
#include "framework/core/DpiScale.h"
#include "ui/core/PageKeys.h"
#include "ui/core/TabLayout.h"
#include "ui/core/VersionFile.h"
#include "ui/win/Contrast.h"
#include "resources/resource.h"

#include <windowsx.h>
#include <gdiplus.h>
#include <commctrl.h>
#include <oleacc.h>
#include <shellapi.h>

#include <cstdio>

namespace {

const int kTabImages[5] = {IDP_TAB_UPDATE, IDP_TAB_REPORT, IDP_TAB_DTC, IDP_TAB_MANUAL, IDP_TAB_SETTINGS};
const int kTabCaptions[5] = {kelvo::kTextUpdate, kelvo::kTextPrint, kelvo::kTextCodes, kelvo::kTextManual, kelvo::kTextSettings};
const int kCloseButtonId = 10087;
const int kMinimizeButtonId = 10088;
const int kTabStripId = 10089;
// The banner's size at 96 DPI (banner.bmp).
const int kBannerWidth = 1020;
const int kBannerHeight = 60;
// Names a screen reader gives the tab list and the two caption buttons.

BOOL CALLBACK TellSysColourChange(HWND child, LPARAM)
{
    ::SendMessageW(child, WM_SYSCOLORCHANGE, 0, 0);
    return TRUE;
}

} // namespace

CKelvoDlg::CKelvoDlg() : CDialog(IDD_KELVO_DIALOG)
{
    m_hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_KELVO));
}

CKelvoDlg::~CKelvoDlg()
{
    kelvo::SetMessageOwner(nullptr);
    delete[] m_pSysButtons;
}

void CKelvoDlg::SetSkinColour(int skinIndex)
{
    // The pages are dialogs that an attached skin paints in its own dialog
    // colour; the frame around them takes the same, so the window is one
    // surface. Without a skin (no library, no skin file) the table's colour.
    // Its text colour writes the captions and the status row, which stay
    // readable on a dark skin. Under high contrast every colour is the
    // system's.
    if (m_contrast.On()) {
        m_palette = kelvo::SystemPalette(kelvo::CurrentSystemColours());
    } else {
        COLORREF back = 0, text = 0;
        const bool skinned = AttachedSkinColours(&back, &text);
        m_palette = kelvo::SkinPalette(skinned, back, text, skinIndex);
    }
    kelvo::SetActivePalette(m_palette);
    m_bSkinned = m_palette.skinned;
    m_crBackground = m_palette.background;
    m_crText = m_palette.text;
}

void CKelvoDlg::FollowHighContrast()
{
    switch (m_contrast.Report(kelvo::HighContrastOn())) {
    case kelvo::ContrastStep::kNothing:
        return;
    case kelvo::ContrastStep::kDetachSkin:
        m_settingPage.DetachSkin();
        break;
    case kelvo::ContrastStep::kAttachSkin:
        m_settingPage.AttachCurrentSkin();
        break;
    case kelvo::ContrastStep::kRecolour:
        break;
    }
    SetSkinColour(m_settingPage.SkinIndex());
    m_settingPage.ListColoursFromSkin();
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

bool CKelvoDlg::AttachedSkinColours(COLORREF* back, COLORREF* text) const
{
    // Asked the way a dialog asks for its background: a skin answers with a
    // brush of its own, the system's default answer is one of its brushes.
    HDC dc = ::CreateCompatibleDC(nullptr);
    if (!dc)
        return false;
    ::SetTextColor(dc, RGB(0, 0, 0));
    auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(m_hWnd, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc),
                                                         reinterpret_cast<LPARAM>(m_hWnd)));
    const COLORREF ink = ::GetTextColor(dc);
    ::DeleteDC(dc);
    if (!brush)
        return false;
    for (int i = 0; i <= COLOR_MENUBAR; ++i)
        if (brush == ::GetSysColorBrush(i))
            return false;
    LOGBRUSH lb{};
    if (::GetObjectW(brush, sizeof lb, &lb) != sizeof lb || lb.lbStyle != BS_SOLID)
        return false;
    *back = lb.lbColor;
    *text = ink;
    return true;
}

BOOL CKelvoDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_link = GetDlgItem(IDC_WEB_LINK);
    // Message boxes of every thread (the update worker's too) are modal to
    // this window.
    kelvo::SetMessageOwner(m_hWnd);

    SendMessage(WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_hIcon));
    SendMessage(WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(m_hIcon));
    // Laid out for the DPI of the monitor it opens on: its size, the shared
    // fonts, every pixel of the layout below.
    m_dpi = kelvo::DpiOfWindow(m_hWnd);
    kelvo::OwnDpiChanges(m_hWnd);
    RescaleSharedFonts(m_hWnd, m_dpi);
    kelvo::SizeDialogForDpi(m_hWnd, m_dpi);
    CenterWindow();

    m_picturePage.SetBackgroundSource(this);
    m_picturePage.Create(CPicturePage::IDD, this);
    m_updatePage.SetHost(this);
    m_updatePage.Create(CUpdatePage::IDD, this);
    // The pages are laid out by this window and their own WM_SIZE.
    kelvo::OwnDpiChanges(m_picturePage.m_hWnd);
    kelvo::OwnDpiChanges(m_updatePage.m_hWnd);

    m_settingPage.SetHost(this);
    // Before the saved skin is attached: none is under high contrast (and
    // one the thread may carry from before goes).
    if (m_contrast.Report(kelvo::HighContrastOn()) == kelvo::ContrastStep::kDetachSkin)
        m_settingPage.DetachSkin();
    m_settingPage.ScanSkins();
    m_settingPage.LoadSettings();
    SetSkinColour(m_settingPage.SkinIndex());

    GetClientRect(&m_rcClient);
    const RECT& c = m_rcClient;
    PlaceUpdatePages();

    SetWindowText(GetText(kelvo::kTextTitle));
    SetDlgItemText(IDC_LABEL_BOTTOM, GetText(kelvo::kTextWebsiteLabel));
    ShowDeviceStatus();

    ::SendMessageW(GetDlgItem(IDC_DEVICE_STATUS), WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont24->m_hObject), TRUE);
    ::SendMessageW(GetDlgItem(IDC_LABEL_BOTTOM), WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont16->m_hObject), TRUE);
    ::SendMessageW(m_link, WM_SETFONT, reinterpret_cast<WPARAM>(g_pFont16->m_hObject), TRUE);

    m_updatePage.ShowWindow(SW_SHOW);
    m_picturePage.ShowWindow(SW_SHOW);

    const std::wstring url = GetText(kelvo::kTextWebsiteAddress);
    std::wstring linkText = L"<a href=\"" + url + L"\">" + url + L"</a>";
    ::SetWindowTextW(m_link, linkText.c_str());
    // Some link controls (Wine's, with some fonts) do not take attributes in
    // the markup and would show it raw: then the address alone is the link,
    // and a click opens the address of text 60.
    LITEM item{};
    item.mask = LIF_ITEMINDEX | LIF_URL;
    if (!::SendMessageW(m_link, LM_GETITEM, 0, reinterpret_cast<LPARAM>(&item))) {
        linkText = L"<a>" + url + L"</a>";
        ::SetWindowTextW(m_link, linkText.c_str());
    }

    if (!m_pSysButtons) {
        m_pSysButtons = new ClrButton[2];
        const kelvo::Dpi s(m_dpi);
        RECT r0{c.right - s(45), 0, c.right, s(26)};
        m_pSysButtons[0].Create(WS_CHILD | WS_VISIBLE, r0, this, kCloseButtonId);
        m_pSysButtons[0].m_stripId = IDP_BUTTON_CLOSE;
        RECT r1{c.right - s(76), 0, c.right - s(45), s(26)};
        m_pSysButtons[1].Create(WS_CHILD | WS_VISIBLE, r1, this, kMinimizeButtonId);
        m_pSysButtons[1].m_stripId = IDP_BUTTON_MINIMIZE;
        m_pSysButtons[0].SetAccessibleName(GetText(kelvo::kTextClose), ROLE_SYSTEM_PUSHBUTTON, WM_CLRBUTTON_PRESS);
        m_pSysButtons[1].SetAccessibleName(GetText(kelvo::kTextMinimize), ROLE_SYSTEM_PUSHBUTTON, WM_CLRBUTTON_PRESS);
        for (int i = 0; i < 2; ++i) {
            m_pSysButtons[i].ShowWindow(SW_SHOW);
            m_pSysButtons[i].UpdateWindow();
            m_pSysButtons[i].Invalidate();
        }
    }

    // First non-empty line of the installation's version.txt.
    m_strVersion = kelvo::ReadVersionFile(kelvo::InstalledPath(L"version.txt"));

    // First in the Tab order: the tabs, then the page, then the status row.
    m_tabStrip.SetListName(GetText(kelvo::kTextPages));
    m_tabStrip.Create(this, RECT{0, 0, 1, 1}, kTabStripId, this);
    ::SetWindowPos(m_tabStrip.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

    // The layout runs from WM_SIZE once the controls exist; the first WM_SIZE
    // came before them.
    OnSize(c.right - c.left, c.bottom - c.top);

    // Dozaz's notification, clicked, asks for the update page; Dozaz runs
    // without our administrator rights, so its message must be let in.
    m_showUpdateMessage = ::RegisterWindowMessageW(L"Kelvo show update page");
    if (m_showUpdateMessage)
        ::ChangeWindowMessageFilterEx(m_hWnd, m_showUpdateMessage, MSGFLT_ALLOW, nullptr);

    SetTimer(1, 100);
    return TRUE;
}

BOOL CKelvoDlg::PreTranslateMessage(MSG* msg)
{
    // No dialog of ours ends by keyboard; Enter goes to the focused control.
    if (msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN && EnterKey(msg))
        return TRUE;
    if (msg->message == WM_KEYDOWN && (msg->wParam == VK_ESCAPE || msg->wParam == VK_RETURN))
        return TRUE;
    if (msg->message == WM_KEYDOWN && PageKey(static_cast<UINT>(msg->wParam)))
        return TRUE;
    return CDialog::PreTranslateMessage(msg);
}

bool CKelvoDlg::PageKey(UINT key)
{
    const int page = kelvo::PageForKey(key, ::GetKeyState(VK_CONTROL) < 0, ::GetKeyState(VK_SHIFT) < 0,
                                       ::GetKeyState(VK_MENU) < 0, m_nCurPage);
    if (page < 0)
        return false;
    OpenPage(page);
    FocusPage(page);
    return true;
}

void CKelvoDlg::FocusPage(int index)
{
    // The new page's first control takes the focus, so the keyboard goes on
    // working there (and never stays in a page that is now hidden).
    CDialog* pages[5] = {&m_updatePage, &m_printPage, &m_dtcPage, &m_manualPage, &m_settingPage};
    if (index < 0 || index > 4)
        return;
    HWND shown = pages[index]->m_hWnd;
    HWND first = shown ? ::GetNextDlgTabItem(shown, nullptr, FALSE) : nullptr;
    if (first && ::IsWindowVisible(first) && ::IsChild(shown, first))
        ::SendMessageW(m_hWnd, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(first), TRUE);
    else
        ::SetFocus(m_tabStrip.m_hWnd ? m_tabStrip.m_hWnd : m_hWnd);
}

bool CKelvoDlg::EnterKey(MSG* msg)
{
    HWND focus = ::GetFocus();
    if (!focus || !::IsChild(m_hWnd, focus))
        return false;
    CPage::EnterOnFocus(msg);
    return true;
}

std::wstring CKelvoDlg::TabName(int index) const
{
    return index >= 0 && index < 5 ? GetText(kTabCaptions[index]) : std::wstring();
}

void CKelvoDlg::TabFocusChanged()
{
    RECT r{};
    if (m_tabStrip.m_hWnd) {
        ::GetWindowRect(m_tabStrip.m_hWnd, &r);
        ::MapWindowPoints(nullptr, m_hWnd, reinterpret_cast<POINT*>(&r), 2);
        ::InvalidateRect(m_hWnd, &r, TRUE);
    }
}

LRESULT CKelvoDlg::WindowProc(UINT msg, WPARAM wParam, LPARAM lParam)
{
    switch (msg) {
    case WM_PAINT:
        OnPaint();
        return 0;
    case WM_ERASEBKGND:
        return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_SIZE:
        OnSize(LOWORD(lParam), HIWORD(lParam));
        return Default();
    case WM_LBUTTONDOWN:
        OnLButtonDown(static_cast<UINT>(wParam), POINT{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
        return 0;
    case WM_QUERYDRAGICON:
        return reinterpret_cast<LRESULT>(m_hIcon);
    case WM_DPICHANGED:
        OnDpiChanged(HIWORD(wParam), lParam);
        return 0;
    case WM_TIMER:
        OnTimer(wParam);
        return 0;
    case WM_DEVICECHANGE:
        ScanForDevice();
        return TRUE;
    case WM_CLOSE:
        ConfirmClose();
        return 0;
    case WM_QUERYENDSESSION:
        // A shutdown or logoff now would cut the write off: refused while one
        // runs, with the reason Windows shows the user (set when it started).
        return m_bUpdateBusy ? FALSE : TRUE;
    case WM_ENDSESSION:
        // The session ends without the windows being destroyed: the report
        // on the page goes to the library now.
        if (wParam && m_printPage.m_hWnd)
            m_printPage.KeepReportNow();
        return 0;
    case WM_NOTIFY: {
        auto* hdr = reinterpret_cast<NMHDR*>(lParam);
        if (hdr->idFrom == IDC_WEB_LINK && (hdr->code == NM_CLICK || hdr->code == NM_RETURN)) {
            auto* link = reinterpret_cast<NMLINK*>(lParam);
            const std::wstring url = link->item.szUrl[0] ? std::wstring(link->item.szUrl) : GetText(kelvo::kTextWebsiteAddress);
            // The browser with the user's own rights, not Kelvo's.
            kelvo::StartAsDesktopUser(url, {}, L"", SW_SHOWNORMAL);
            return 0;
        }
        break;
    }
    case WM_CLRBUTTON_CLICK:
        if (wParam == kCloseButtonId)
            ConfirmClose();
        else if (wParam == kMinimizeButtonId)
            ShowWindow(SW_MINIMIZE);
        return 0;
    case WM_CTLCOLORSTATIC:
        return reinterpret_cast<LRESULT>(LabelColours(reinterpret_cast<HDC>(wParam)));
    case WM_SYSCOLORCHANGE:
        // Only top-level windows hear of it; the common controls need it too.
        ::EnumChildWindows(m_hWnd, TellSysColourChange, 0);
        FollowHighContrast();
        break;
    case WM_SETTINGCHANGE:
        FollowHighContrast();
        break;
    case WM_SETCURSOR:
        // The window works on while a list is made, and says so: the pointer
        // that means "working in the background" over all of it.
        if (m_updatePage.Listing() && LOWORD(lParam) == HTCLIENT) {
            ::SetCursor(::LoadCursorW(nullptr, IDC_APPSTARTING));
            return TRUE;
        }
        break;
    }
    if (msg == m_showUpdateMessage && m_showUpdateMessage) {
        if (::IsIconic(m_hWnd))
            ShowWindow(SW_RESTORE);
        ::SetForegroundWindow(m_hWnd);
        OpenPage(0);
        FocusPage(0);
        return 0;
    }
    return CDialog::WindowProc(msg, wParam, lParam);
}

HBRUSH CKelvoDlg::LabelColours(HDC dc)
{
    // The status row and the labels sit on the painted background: its
    // colour behind them, the skin's text colour for their words.
    ::SetBkMode(dc, TRANSPARENT);
    ::SetBkColor(dc, m_crBackground);
    ::SetTextColor(dc, m_crText);
    ::SetDCBrushColor(dc, m_crBackground);
    return static_cast<HBRUSH>(::GetStockObject(DC_BRUSH));
}

void CKelvoDlg::OnSize(int cx, int cy)
{
    if (!m_link)
        return;
    const kelvo::Dpi s(m_dpi);
    kelvo::TabRects(cx, m_dpi, m_rcTab);

    HDC dc = ::GetDC(m_hWnd);
    HGDIOBJ old = ::SelectObject(dc, g_pFont16->m_hObject);
    auto width = [&](const std::wstring& s) {
        SIZE sz{};
        ::GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &sz);
        return static_cast<int>(sz.cx);
    };
    const int w1 = width(GetText(kelvo::kTextWebsiteLabel) + L" : " + GetText(kelvo::kTextWebsiteAddress));
    const int w2 = width(GetText(kelvo::kTextWebsiteLabel));
    ::SelectObject(dc, old);
    ::ReleaseDC(m_hWnd, dc);

    ::MoveWindow(GetDlgItem(IDC_DEVICE_STATUS), s(45), cy - s(74), cx - s(45), s(41), TRUE);
    ::MoveWindow(GetDlgItem(IDC_LABEL_BOTTOM), s(20), cy - s(20), w2, s(20), TRUE);
    ::MoveWindow(m_link, w2 + s(40), cy - s(20), w1, s(18), TRUE);
    m_ptDeviceIcon = POINT{s(20), cy - s(76)};
    if (m_tabStrip.m_hWnd)
        ::MoveWindow(m_tabStrip.m_hWnd, m_rcTab[0].left - s(10), m_rcTab[0].top - s(10),
                     m_rcTab[4].right - m_rcTab[0].left + s(20), m_rcTab[0].bottom - m_rcTab[0].top + s(10), FALSE);
    if (m_pSysButtons) {
        ::MoveWindow(m_pSysButtons[0].m_hWnd, cx - s(45), 0, s(45), s(26), TRUE);
        ::MoveWindow(m_pSysButtons[1].m_hWnd, cx - s(76), 0, s(31), s(26), TRUE);
    }
}

void CKelvoDlg::PlaceUpdatePages()
{
    const kelvo::Dpi s(m_dpi);
    RECT c;
    GetClientRect(&c);
    if (m_updatePage.m_hWnd)
        m_updatePage.MoveWindow(c.left + s(250), c.top + s(220), (c.right - s(10)) - (c.left + s(250)),
                                (c.bottom - s(80)) - (c.top + s(220)));
    if (m_picturePage.m_hWnd)
        m_picturePage.MoveWindow((c.left + s(50)) / 2, c.top + s(225), s(200), (c.bottom - s(80)) - (c.top + s(225)));
}

void CKelvoDlg::OnDpiChanged(int dpi, LPARAM suggested)
{
    // Moved to a monitor of another DPI (or its scaling changed): the size
    // Windows suggests, fonts and images for the new DPI, the layout again.
    if (dpi <= 0 || dpi == m_dpi)
        return;
    kelvo::ScaleListColumns(m_hWnd, m_dpi, dpi);
    m_dpi = dpi;
    RescaleSharedFonts(m_hWnd, m_dpi);
    kelvo::MoveToSuggestedRect(m_hWnd, suggested);
    RECT c;
    GetClientRect(&c);
    m_rcClient = c;
    OnSize(c.right - c.left, c.bottom - c.top);
    PlaceUpdatePages();
    const int margins[5] = {0, 80, 80, 80, 0};
    CDialog* pages[5] = {&m_updatePage, &m_printPage, &m_dtcPage, &m_manualPage, &m_settingPage};
    for (int i = 1; i < 5; ++i)
        if (pages[i]->m_hWnd)
            PlacePage(*pages[i], margins[i]);
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_FRAME);
}

BOOL CKelvoDlg::OnEraseBkgnd(HDC screen)
{
    RECT r;
    GetClientRect(&r);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, r.right, r.bottom);
    HGDIOBJ oldBmp = ::SelectObject(mem, bmp);

    HBRUSH bg = ::CreateSolidBrush(m_crBackground);
    ::FillRect(mem, &r, bg);
    ::DeleteObject(bg);

    const kelvo::Dpi s(m_dpi);
    // Under high contrast no picture behind the title: it stands on the
    // system's colour in the system's text colour. Above 96 DPI the banner
    // drawn for the DPI (a picture beside the bitmap).
    const bool scaledBanner = !m_palette.system && kelvo::ArtScaleIndex(m_dpi) > 0 &&
                              DrawPng(mem, IDB_BANNER, 0, 0, s(kBannerWidth), s(kBannerHeight));
    HBITMAP banner = scaledBanner || m_palette.system
                         ? nullptr
                         : static_cast<HBITMAP>(::LoadImageW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDB_BANNER),
                                                             IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (banner) {
        BITMAP info{};
        ::GetObjectW(banner, sizeof info, &info);
        HDC src = ::CreateCompatibleDC(mem);
        HGDIOBJ o = ::SelectObject(src, banner);
        if (s(info.bmWidth) == info.bmWidth)
            ::BitBlt(mem, 0, 0, info.bmWidth, info.bmHeight, src, 0, 0, SRCCOPY);
        else
            ::StretchBlt(mem, 0, 0, s(info.bmWidth), s(info.bmHeight), src, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
        ::SelectObject(src, o);
        ::DeleteDC(src);
        ::DeleteObject(banner);
    }

    const std::wstring title = GetText(kelvo::kTextTitle) + L" " + m_strVersion;
    HFONT font = ::CreateFontW(s(16), 0, 0, 0, FW_BOLD, TRUE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                               CLIP_DEFAULT_PRECIS, PROOF_QUALITY, DEFAULT_PITCH, L"Arial");
    HGDIOBJ oldFont = ::SelectObject(mem, font);
    SIZE sz{};
    ::GetTextExtentPoint32W(mem, title.c_str(), static_cast<int>(title.size()), &sz);
    ::SetTextColor(mem, m_palette.titleText);
    ::SetBkMode(mem, TRANSPARENT);
    RECT tr{r.right - sz.cx - s(80), 0, r.right, s(20)};
    ::DrawTextW(mem, title.c_str(), static_cast<int>(title.size()), &tr, DT_LEFT | DT_TOP);
    ::SelectObject(mem, oldFont);
    ::DeleteObject(font);

    ::BitBlt(screen, 0, 0, r.right, r.bottom, mem, 0, 0, SRCCOPY);
    ::SelectObject(mem, oldBmp);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    return TRUE;
}

bool CKelvoDlg::DrawPng(HDC dc, UINT id, int x, int y, int w, int h)
{
    Gdiplus::Image* image = LoadPngResource(id, m_dpi);
    if (!image)
        return false;
    {
        Gdiplus::Graphics g(dc);
        g.SetInterpolationMode(Gdiplus::InterpolationModeHighQualityBicubic);
        g.DrawImage(image, x, y, w, h);
    }
    delete image;
    return true;
}

void CKelvoDlg::DrawTab(HDC dc, int index, UINT imageId, const std::wstring& caption, const RECT& r)
{
    const kelvo::Dpi s(m_dpi);
    const int w = r.right - r.left;
    const int side = s(100);
    if (w > side)
        DrawPng(dc, imageId, r.left + (w - side) / 2, r.top + s(5), side, side);
    else
        DrawPng(dc, imageId, r.left, r.top + s(5), w, side);

    HGDIOBJ oldFont = ::SelectObject(dc, g_pFont24->m_hObject);
    ::SetBkMode(dc, OPAQUE);
    // The page shown has its own caption colours; the others the skin's text colour.
    const bool current = index == m_nCurPage;
    ::SetBkColor(dc, current ? m_palette.currentTabBack : m_crBackground);
    ::SetTextColor(dc, current ? m_palette.currentTabText : m_crText);
    SIZE sz{};
    ::GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &sz);
    const int tw = sz.cx;
    if (tw <= w) {
        RECT tr{r.left + (w - tw) / 2, r.top + s(105), r.left + (w - tw) / 2 + tw, r.bottom};
        ::DrawTextW(dc, caption.c_str(), static_cast<int>(caption.size()), &tr, DT_LEFT | DT_TOP);
    } else {
        const std::wstring text = kelvo::SplitCaption(caption, tw, w);
        RECT tr{r.left, r.top + s(105), r.right, r.bottom};
        ::DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &tr, DT_CENTER | DT_VCENTER);
    }
    ::SelectObject(dc, oldFont);
}

void CKelvoDlg::OnPaint()
{
    if (::IsIconic(m_hWnd)) {
        PAINTSTRUCT ps;
        HDC dc = ::BeginPaint(m_hWnd, &ps);
        SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT r;
        GetClientRect(&r);
        int cx = ::GetSystemMetrics(SM_CXICON), cy = ::GetSystemMetrics(SM_CYICON);
        ::DrawIcon(dc, (r.right - cx + 1) / 2, (r.bottom - cy + 1) / 2, m_hIcon);
        ::EndPaint(m_hWnd, &ps);
        return;
    }
    Default();
    const kelvo::Dpi s(m_dpi);
    HDC dc = ::GetDC(m_hWnd);
    for (int i = 0; i < 5; ++i)
        DrawTab(dc, i, kTabImages[i], GetText(kTabCaptions[i]), m_rcTab[i]);
    const RECT& r = (m_nCurPage >= 1 && m_nCurPage <= 4) ? m_rcTab[m_nCurPage] : m_rcTab[0];
    DrawPng(dc, IDP_TAB_FRAME, r.left - s(10), r.top - s(10), (r.right - r.left) + s(20), (r.bottom - r.top) + s(18));
    if (m_tabStrip.m_hWnd && m_tabStrip.HasFocus()) {
        // The keyboard is on the tabs: the usual dotted mark on the current one.
        RECT focus = r;
        ::InflateRect(&focus, -s(3), -s(3));
        // The mark inverts what is under it; these colours make it the usual dots.
        ::SetTextColor(dc, RGB(0, 0, 0));
        ::SetBkColor(dc, RGB(255, 255, 255));
        ::DrawFocusRect(dc, &focus);
    }
    if (m_bShowStatus)
        DrawPng(dc, m_bDevicePresent ? IDP_DEVICE_PRESENT : IDP_DEVICE_ABSENT, m_ptDeviceIcon.x, m_ptDeviceIcon.y, s(24),
                s(24));
    ::ReleaseDC(m_hWnd, dc);
}

void CKelvoDlg::PlacePage(CDialog& page, int bottomMargin)
{
    const kelvo::Dpi s(m_dpi);
    RECT c;
    GetClientRect(&c);
    page.MoveWindow(c.left, c.top + s(220), c.right - c.left, (c.bottom - s(bottomMargin)) - (c.top + s(220)));
}

void CKelvoDlg::OnLButtonDown(UINT, POINT p)
{
    // A press anywhere on the free area drags the window; returns on release.
    SendMessage(WM_NCLBUTTONDOWN, HTCAPTION, MAKELPARAM(p.x, p.y));

    int hit = -1;
    for (int i = 0; i < 5; ++i)
        if (::PtInRect(&m_rcTab[i], p))
            hit = i;
    OpenPage(hit);
    if (hit >= 0)
        FocusPage(hit);
}

void CKelvoDlg::OpenPage(int index)
{
    switch (index) {
    case 0:
        SelectPage(0);
        break;
    case 2:
        if (CreatePageOnce(m_dtcPage, CSearchDtcPage::IDD, 80))
            m_dtcPage.LoadDtcFile(m_settingPage.LanguageIndex());
        SelectPage(2);
        break;
    case 3:
        CreatePageOnce(m_manualPage, CMannualPage::IDD, 80);
        SelectPage(3);
        break;
    case 4:
        CreatePageOnce(m_settingPage, m_settingPage.m_templateId, 0);
        SelectPage(4);
        break;
    case 1:
        CreatePageOnce(m_printPage, m_printPage.m_templateId, 80);
        SelectPage(1);
        break;
    default:
        break;
    }
}

void CKelvoDlg::ShowStatusRow(BOOL show)
{
    m_bShowStatus = show;
    const int cmd = show ? SW_SHOW : SW_HIDE;
    ::ShowWindow(GetDlgItem(IDC_DEVICE_STATUS), cmd);
    ::ShowWindow(GetDlgItem(IDC_LABEL_BOTTOM), cmd);
    ::ShowWindow(m_link, cmd);
}

void CKelvoDlg::SelectPage(int index)
{
    if (index == m_nCurPage)
        return;
    ShowStatusRow(index != 4);
    if (m_nCurPage == 1)
        m_printPage.LeaveReportPage();
    CDialog* pages[5] = {&m_updatePage, &m_printPage, &m_dtcPage, &m_manualPage, &m_settingPage};
    for (int i = 0; i < 5; ++i) {
        if (i == index)
            continue;
        if (pages[i]->m_hWnd)
            pages[i]->ShowWindow(SW_HIDE);
        if (i == 0 && m_picturePage.m_hWnd)
            m_picturePage.ShowWindow(SW_HIDE);
    }
    if (pages[index]->m_hWnd)
        pages[index]->ShowWindow(SW_SHOW);
    if (index == 0 && m_picturePage.m_hWnd)
        m_picturePage.ShowWindow(SW_SHOW);

    m_nCurPage = index;
    // The background is drawn across the whole client area, children's
    // places included: they paint again after it, or the status row and the
    // page shown vanish until something else redraws them.
    ::RedrawWindow(m_hWnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    m_tabStrip.NotifySelection();
    if (index == 1)
        m_printPage.ConnectReportReader();
}

void CKelvoDlg::OnTimer(UINT_PTR)
{
    KillTimer(1);
    ScanForDevice();
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW(kelvo::InstalledPath(L"update\\*.*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        ::CreateDirectoryW(kelvo::InstalledPath(L"update").c_str(), nullptr);
    else
        ::FindClose(h);
}

void CKelvoDlg::ScanForDevice()
{
    const DWORD now = ::GetTickCount();
    const DWORD elapsed = m_dwLastScanTick == static_cast<DWORD>(-1) ? 0 : now - m_dwLastScanTick;
    m_dwLastScanTick = now;
    const int keep = static_cast<int>(elapsed) <= 1000;

    const ToolPresence presence = DetectScanTool();
    if (presence == ToolPresence::kPresent) {
        m_bDevicePresent = TRUE;
        IdentifyDevice(*this, keep, 0);
        ShowDeviceStatus();
        if (m_nCurPage == 1)
            m_printPage.ConnectReportReader();
    } else if (presence == ToolPresence::kAbsent) {
        if (m_nCurPage == 1)
            m_printPage.ReportToolGone();
        // A transfer still writing gives up at once and frees the port; the
        // page keeps its rows until the last worker has reported its end.
        kelvo::NoteToolRemoved();
        m_updatePage.OnToolRemoved();
        m_bDevicePresent = FALSE;
        m_strDeviceName.clear();
        ShowDeviceStatus();
    }
    const int side = kelvo::Scale(24, m_dpi);
    RECT icon{m_ptDeviceIcon.x, m_ptDeviceIcon.y, m_ptDeviceIcon.x + side, m_ptDeviceIcon.y + side};
    ::InvalidateRect(m_hWnd, &icon, TRUE);
}

void CKelvoDlg::OnIdentificationEnded()
{
    // The outcome shows at once, found or not (the update page's own
    // identification before listing has no scan around it): a tool that no
    // longer answers is "not identified", not its old name.
    ShowDeviceStatus();
    m_updatePage.OnIdentificationEnded();
}

void CKelvoDlg::ShowStatusNote(const std::wstring& text) { SetDlgItemText(IDC_DEVICE_STATUS, text); }

void CKelvoDlg::ShowDeviceStatus()
{
    std::wstring text = GetText(kelvo::kTextNoScanTool);
    if (m_bDevicePresent)
        text = m_strDeviceName.empty() ? GetText(kelvo::kTextScanTool) + GetText(kelvo::kTextNotIdentified)
                                       : GetText(kelvo::kTextScanTool) + L" --- " + m_strDeviceName;
    SetDlgItemText(IDC_DEVICE_STATUS, text);
}

bool CKelvoDlg::CreatePageOnce(CDialog& page, UINT templateId, int bottomMargin)
{
    if (page.m_hWnd)
        return false;
    page.Create(templateId, this);
    kelvo::OwnDpiChanges(page.m_hWnd);
    PlacePage(page, bottomMargin);
    return true;
}

void CKelvoDlg::SetUpdateBusy(BOOL busy)
{
    m_bUpdateBusy = busy;
    HoldOffSleepAndShutdown(busy != FALSE);
}

std::wstring CKelvoDlg::ShutdownBlockReason() const
{
    // The package, then the first line of the closing question: that an
    // update is in progress and stopping it may leave the tool unusable.
    std::wstring warning = GetText(kelvo::kTextCloseDuringUpdate);
    const size_t lineEnd = warning.find(L'\n');
    if (lineEnd != std::wstring::npos)
        warning.erase(lineEnd);
    return m_updatePage.PackageBeingWritten() + L": " + warning;
}

void CKelvoDlg::HoldOffSleepAndShutdown(bool hold)
{
    if (hold == m_bHoldingOff)
        return;
    m_bHoldingOff = hold;
    // The user-interface thread lives as long as the program, so its
    // execution state lasts exactly until it is cleared here.
    if (hold) {
        ::SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED);
        ::ShutdownBlockReasonCreate(m_hWnd, ShutdownBlockReason().c_str());
    } else {
        ::SetThreadExecutionState(ES_CONTINUOUS);
        ::ShutdownBlockReasonDestroy(m_hWnd);
    }
}

void CKelvoDlg::ConfirmClose()
{
    // Closing during a write needs a real Yes, not a box that failed to show.
    if (m_bUpdateBusy && kelvo::ShowMessage(GetText(kelvo::kTextCloseDuringUpdate), MB_YESNO | MB_ICONQUESTION) != IDYES)
        return;
    EndDialog(IDOK);
}
