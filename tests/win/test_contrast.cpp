// The main window under high contrast, in this process: no skin while it is on
// (the pages answer their colour requests with the system's brushes, the
// buttons draw themselves), the window, the tab captions and the radio lists
// in the system's colours, and the user's skin back when it goes. Wine reports
// high contrast always off and cannot switch it on, so the window's query is
// answered by the test; the system colours are a real high-contrast theme set
// through SetSysColors.
#include "app/core/globals.h"
#include "app/win/SkinLibrary.h"
#include "resources/resource.h"
#include "ui/controls/Drawing.h"
#include "ui/core/Palette.h"
#include "ui/win/Contrast.h"
#include "app/win/KelvoDlg.h"
#include "win/support/pump.h"
#include "win/support/dist.h"

#include <gtest/gtest.h>

#include <gdiplus.h>

#include <fstream>
#include <string>

using kelvo::wintest::Dist;
using kelvo::wintest::Narrow;

namespace {

bool g_highContrast = false;
bool AnswerHighContrast() { return g_highContrast; }

const COLORREF kBlackDialog = RGB(0x1E, 0x1F, 0x22);  // the Black skin (skinhu/skins)

// "High Contrast Black": every colour the palette uses differs from Wine's defaults.
const int kThemed[] = {COLOR_WINDOW,        COLOR_WINDOWTEXT, COLOR_HIGHLIGHT, COLOR_HIGHLIGHTTEXT,
                       COLOR_BTNFACE,       COLOR_BTNTEXT,    COLOR_GRAYTEXT,  COLOR_3DFACE};
const COLORREF kTheme[] = {RGB(0, 0, 0),     RGB(255, 255, 255), RGB(0x1A, 0xEB, 0xFF), RGB(0, 0, 0),
                           RGB(0, 0, 0),     RGB(255, 255, 255), RGB(0x3F, 0xF2, 0x3F), RGB(0, 0, 0)};

using kelvo::test::Pump;

COLORREF PixelAt(HWND hwnd, int x, int y)
{
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
    Pump(50);
    HDC dc = ::GetDC(hwnd);
    const COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(hwnd, dc);
    return c;
}

// Pixels of colour `c` in a rectangle of the window's client area.
int CountColour(HWND hwnd, const RECT& r, COLORREF c)
{
    HDC dc = ::GetDC(hwnd);
    int n = 0;
    for (int y = r.top; y < r.bottom; y += 2)
        for (int x = r.left; x < r.right; x += 2)
            n += ::GetPixel(dc, x, y) == c;
    ::ReleaseDC(hwnd, dc);
    return n;
}

// The colour a dialog answers its own background request with.
COLORREF DialogColour(HWND dialog, bool* systemBrush)
{
    HDC dc = ::CreateCompatibleDC(nullptr);
    auto brush = reinterpret_cast<HBRUSH>(
        ::SendMessageW(dialog, WM_CTLCOLORDLG, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(dialog)));
    ::DeleteDC(dc);
    *systemBrush = brush == ::GetSysColorBrush(COLOR_BTNFACE) || brush == ::GetSysColorBrush(COLOR_WINDOW);
    LOGBRUSH lb{};
    ::GetObjectW(brush, sizeof lb, &lb);
    return lb.lbColor;
}

void Copy(const std::wstring& from, const std::wstring& to) { ASSERT_TRUE(::CopyFileW(from.c_str(), to.c_str(), FALSE)) << Narrow(from); }

void SaveShot(HWND hwnd, const wchar_t* name)
{
    wchar_t bin[1024] = {};
    if (!::GetEnvironmentVariableW(L"KELVO_BIN", bin, 1024))
        return;
    std::wstring path = std::wstring(L"Z:") + bin + L"/" + name + L".png";
    for (auto& ch : path)
        if (ch == L'/')
            ch = L'\\';
    RECT r;
    ::GetWindowRect(hwnd, &r);
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, r.right - r.left, r.bottom - r.top);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, r.right - r.left, r.bottom - r.top, screen, r.left, r.top, SRCCOPY);
    ::SelectObject(mem, old);
    {
        Gdiplus::Bitmap image(bmp, nullptr);
        const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
        image.Save(path.c_str(), &png, nullptr);
    }
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    std::printf("screenshot: %s\n", Narrow(path).c_str());
}

class ContrastTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX icc = {sizeof icc, 0xFF | ICC_LINK_CLASS};
        ::InitCommonControlsEx(&icc);
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&s_gdiplus, &input, nullptr);
        CreateSharedFonts();

        // An installation of its own: the skins and their library, the text
        // tables, and settings with the Black skin and no Dozaz.
        wchar_t tmp[MAX_PATH];
        ::GetTempPathW(MAX_PATH, tmp);
        s_folder = std::wstring(tmp) + L"kelvo-contrast-" + std::to_wstring(::GetCurrentProcessId()) + L"\\";
        for (const wchar_t* sub : {L"", L"skin", L"language", L"update"})
            ::CreateDirectoryW((s_folder + sub).c_str(), nullptr);
        Copy(Dist() + L"SkinHu.dll", s_folder + L"SkinHu.dll");
        for (const wchar_t* skin : {L"Black", L"Blue", L"iTune", L"Msn", L"Pink", L"Silver"})
            Copy(Dist() + L"skin\\" + skin + L".she", s_folder + L"skin\\" + skin + L".she");
        Copy(Dist() + L"language\\en_TEXT.cbf", s_folder + L"language\\en_TEXT.cbf");
        std::ofstream(Narrow(s_folder + L"Kelvo.cfg"), std::ios::binary)
            << "[Setting]\r\nLanguage = 0\r\nSkin = 0\r\nAutoUpdate = 0\r\n";
        kelvo::SetModuleFolder(s_folder);
        kelvo::LoadSkinLibrary();
        kelvo::SetHighContrastQuery(AnswerHighContrast);

        for (size_t i = 0; i < std::size(kThemed); ++i)
            s_saved[i] = ::GetSysColor(kThemed[i]);
    }
    static void TearDownTestSuite()
    {
        kelvo::SetHighContrastQuery(nullptr);
        DeleteSharedFonts();
        Gdiplus::GdiplusShutdown(s_gdiplus);
    }
    void TearDown() override
    {
        if (m_dlg.m_hWnd)
            ::DestroyWindow(m_dlg.m_hWnd);
        Pump(50);
        ThemeOff();
        g_highContrast = false;
    }

    static void ThemeOn() { ::SetSysColors(static_cast<int>(std::size(kThemed)), kThemed, kTheme); }
    static void ThemeOff() { ::SetSysColors(static_cast<int>(std::size(kThemed)), kThemed, s_saved); }

    HWND Open()
    {
        EXPECT_TRUE(m_dlg.Create(IDD_KELVO_DIALOG));
        ::SetWindowPos(m_dlg.m_hWnd, HWND_TOP, 0, 0, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        Pump(300);
        return m_dlg.m_hWnd;
    }
    // What the system says to every window when high contrast comes or goes.
    void Switch(bool on)
    {
        if (on)
            ThemeOn();
        g_highContrast = on;
        ::SendMessageW(m_dlg.m_hWnd, WM_SETTINGCHANGE, SPI_SETHIGHCONTRAST, 0);
        if (!on)
            ThemeOff();
        Pump(200);
    }
    // Left of the first tab: the window's own background.
    COLORREF Background() { return PixelAt(m_dlg.m_hWnd, 8, 150); }
    HWND SettingsList(int id) { return m_dlg.m_settingPage.m_hWnd ? ::GetDlgItem(m_dlg.m_settingPage.m_hWnd, id) : nullptr; }
    // Below the last entry of a radio list: an empty stripe of its own colour.
    COLORREF ListBottom(HWND list)
    {
        RECT r;
        ::GetClientRect(list, &r);
        return PixelAt(list, r.right - 4, r.bottom - 4);
    }

    CKelvoDlg m_dlg;
    static inline ULONG_PTR s_gdiplus = 0;
    static inline std::wstring s_folder;
    static inline COLORREF s_saved[std::size(kThemed)] = {};
};

} // namespace

TEST_F(ContrastTest, TheSkinGivesWayToTheSystemsColoursAndComesBackWhenHighContrastEnds)
{
    HWND main = Open();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Background(), kBlackDialog) << "the saved Black skin";
    bool system = true;
    EXPECT_EQ(DialogColour(m_dlg.m_updatePage.m_hWnd, &system), kBlackDialog);
    EXPECT_FALSE(system);

    Switch(true);
    EXPECT_TRUE(kelvo::ActivePalette().system);
    EXPECT_EQ(Background(), ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(::GetSysColor(COLOR_BTNFACE), RGB(0, 0, 0)) << "the theme is in force";
    DialogColour(m_dlg.m_updatePage.m_hWnd, &system);
    EXPECT_TRUE(system) << "the pages answer with the system's brushes: no skin is attached";

    // The page shown: its caption in the system's selection colours.
    m_dlg.ActivateTab(4);
    Pump(200);
    PixelAt(main, 1, 1);
    RECT caption = m_dlg.m_rcTab[4];
    caption.top += 105;
    EXPECT_GT(CountColour(main, caption, ::GetSysColor(COLOR_HIGHLIGHT)), 10);
    RECT other = m_dlg.m_rcTab[1];
    other.top += 105;
    EXPECT_GT(CountColour(main, other, ::GetSysColor(COLOR_BTNTEXT)), 10) << "other captions in the text colour";
    EXPECT_EQ(CountColour(main, caption, RGB(0x3A, 0xA3, 0xE5)), 0) << "not the orange of the skins";

    HWND languages = SettingsList(CSettingPage::IDC_LANGUAGE_LIST), skins = SettingsList(CSettingPage::IDC_SKIN_LIST);
    ASSERT_NE(skins, nullptr);
    EXPECT_EQ(ListBottom(skins), ::GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(ListBottom(languages), ::GetSysColor(COLOR_WINDOW));
    HWND apply = ::GetDlgItem(m_dlg.m_settingPage.m_hWnd, CSettingPage::IDC_APPLY);
    EXPECT_EQ(::GetWindowLongPtrW(apply, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON) << "the button draws itself";
    SaveShot(main, L"contrast-high-settings");
    m_dlg.ActivateTab(0);
    Pump(200);
    SaveShot(main, L"contrast-high-update");

    // Another skin chosen meanwhile is remembered, not attached.
    ::SendMessageW(skins, LB_SETCURSEL, 1, 0);
    m_dlg.m_settingPage.OnSkinSelected();
    Pump(100);
    DialogColour(m_dlg.m_updatePage.m_hWnd, &system);
    EXPECT_TRUE(system);
    EXPECT_EQ(m_dlg.m_settingPage.SkinIndex(), 1);

    // High contrast ends: the skin chosen last comes back (Blue).
    Switch(false);
    EXPECT_FALSE(kelvo::ActivePalette().system);
    const COLORREF blue = DialogColour(m_dlg.m_updatePage.m_hWnd, &system);
    EXPECT_FALSE(system);
    EXPECT_NE(blue, kBlackDialog);
    EXPECT_EQ(Background(), blue);
    EXPECT_EQ(::GetWindowLongPtrW(apply, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << "the skin draws the button again";
    SaveShot(main, L"contrast-off-again");
}

TEST_F(ContrastTest, StartedUnderHighContrastNoSkinIsEverAttached)
{
    ThemeOn();
    g_highContrast = true;
    HWND main = Open();
    ASSERT_NE(main, nullptr);
    EXPECT_EQ(Background(), ::GetSysColor(COLOR_BTNFACE));
    bool system = false;
    DialogColour(m_dlg.m_updatePage.m_hWnd, &system);
    EXPECT_TRUE(system);
    // A change of colours while it stays on (another theme) repaints in them.
    const COLORREF navy = RGB(0, 0, 0x80);
    const int face = COLOR_BTNFACE;
    ::SetSysColors(1, &face, &navy);
    ::SendMessageW(main, WM_SYSCOLORCHANGE, 0, 0);
    Pump(200);
    EXPECT_EQ(::GetSysColor(COLOR_BTNFACE), navy);
    EXPECT_EQ(Background(), navy);
    EXPECT_EQ(kelvo::ActivePalette().background, navy);
}
