// SkinHu.dll in a real dialog: the controls of dialogs that exist and of those
// created later answer with the skin file's colours; a wrong password, a
// damaged or a missing file changes nothing; colours a window chose itself stay.
#include "skinhu/SkinHu.h"
#include "skinhu/core/SkinFile.h"
#include "win/support/pump.h"
#include "win/support/dist.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using kelvo::wintest::Dist;
using kelvo::wintest::Narrow;

namespace {

// The installed skins are sealed with the build's password.
const wchar_t kPassword[] = L"" KELVO_SKIN_PASSWORD;

HBRUSH g_ownBrush = ::CreateSolidBrush(RGB(10, 200, 30));

INT_PTR CALLBACK DialogProc(HWND, UINT msg, WPARAM, LPARAM lp)
{
    if (msg == WM_INITDIALOG)
        return TRUE;
    if (msg == WM_CTLCOLORSTATIC && ::GetDlgCtrlID(reinterpret_cast<HWND>(lp)) == 106)
        return reinterpret_cast<INT_PTR>(g_ownBrush);
    return FALSE;
}

std::vector<uint8_t> ReadBytes(const std::wstring& path)
{
    std::ifstream in(Narrow(path), std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

COLORREF Ref(skinhu::Rgb c) { return RGB((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF); }

using kelvo::test::Pump;

struct Answer {
    COLORREF back;
    COLORREF text;
};

// What the dialog answers a child's colour request with.
Answer Ask(HWND dialog, UINT msg, int childId)
{
    HWND child = ::GetDlgItem(dialog, childId);
    HDC dc = ::GetDC(child);
    ::SetTextColor(dc, RGB(1, 1, 1));
    auto brush = reinterpret_cast<HBRUSH>(::SendMessageW(dialog, msg, reinterpret_cast<WPARAM>(dc),
                                                         reinterpret_cast<LPARAM>(msg == WM_CTLCOLORDLG ? dialog : child)));
    LOGBRUSH lb{};
    ::GetObjectW(brush, sizeof lb, &lb);
    Answer a{lb.lbColor, ::GetTextColor(dc)};
    ::ReleaseDC(child, dc);
    return a;
}

COLORREF PixelOf(HWND hwnd, int x, int y)
{
    ::RedrawWindow(hwnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    HDC dc = ::GetDC(hwnd);
    COLORREF c = ::GetPixel(dc, x, y);
    ::ReleaseDC(hwnd, dc);
    return c;
}

// Live GDI objects of this process: the system's count or, where it keeps
// none (Wine), the handle table walked by index.
size_t GdiObjects()
{
    if (const DWORD n = ::GetGuiResources(::GetCurrentProcess(), GR_GDIOBJECTS))
        return n;
    size_t n = 0;
    for (UINT_PTR i = 1; i <= 0xFFFF; ++i)
        if (::GetObjectType(reinterpret_cast<HGDIOBJ>(i)) != 0)
            ++n;
    return n;
}

class SkinHuTest : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
        ::InitCommonControlsEx(&icc);
        s_dll = ::LoadLibraryW((Dist() + L"SkinHu.dll").c_str());
        if (s_dll) {
            s_attach = reinterpret_cast<SkinH_AttachExFn>(reinterpret_cast<void (*)()>(::GetProcAddress(s_dll, "SkinH_AttachEx")));
            s_aero = reinterpret_cast<SkinH_SetAeroFn>(reinterpret_cast<void (*)()>(::GetProcAddress(s_dll, "SkinH_SetAero")));
            s_detach = reinterpret_cast<SkinH_DetachFn>(reinterpret_cast<void (*)()>(::GetProcAddress(s_dll, "SkinH_Detach")));
        }
    }
    void SetUp() override
    {
        ASSERT_NE(s_attach, nullptr) << "SkinHu.dll with SkinH_AttachEx in " << Narrow(Dist());
        ASSERT_NE(s_aero, nullptr);
    }
    void TearDown() override
    {
        for (HWND h : m_dialogs)
            ::DestroyWindow(h);
    }
    HWND Open(int x)
    {
        HWND h = ::CreateDialogParamW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(9201), nullptr, DialogProc, 0);
        ::SetWindowPos(h, HWND_TOPMOST, x, 100, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
        m_dialogs.push_back(h);
        Pump(100);
        return h;
    }
    static skinhu::Skin SkinOf(const std::wstring& name)
    {
        skinhu::Skin skin;
        const std::vector<uint8_t> bytes = ReadBytes(Dist() + L"skin\\" + name + L".she");
        EXPECT_EQ(skinhu::DecodeSkin(bytes.data(), bytes.size(), KELVO_SKIN_PASSWORD, &skin), skinhu::SkinError::kNone);
        return skin;
    }
    static void ExpectSkinned(HWND dialog, const skinhu::Skin& skin)
    {
        using skinhu::Role;
        const Answer dlg = Ask(dialog, WM_CTLCOLORDLG, 100);
        EXPECT_EQ(dlg.back, Ref(skin.Colour(Role::kDialog)));
        const Answer label = Ask(dialog, WM_CTLCOLORSTATIC, 100);
        EXPECT_EQ(label.back, Ref(skin.Colour(Role::kDialog)));
        EXPECT_EQ(label.text, Ref(skin.Colour(Role::kText)));
        const Answer box = Ask(dialog, WM_CTLCOLORSTATIC, 105);
        EXPECT_EQ(box.text, Ref(skin.Colour(Role::kText))) << "the check box";
        const Answer edit = Ask(dialog, WM_CTLCOLOREDIT, 101);
        EXPECT_EQ(edit.back, Ref(skin.Colour(Role::kEdit)));
        EXPECT_EQ(edit.text, Ref(skin.Colour(Role::kEditText)));
        const Answer list = Ask(dialog, WM_CTLCOLORLISTBOX, 102);
        EXPECT_EQ(list.back, Ref(skin.Colour(Role::kList)));
        EXPECT_EQ(list.text, Ref(skin.Colour(Role::kListText)));
        HWND view = ::GetDlgItem(dialog, 103);
        EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(view, LVM_GETBKCOLOR, 0, 0)), Ref(skin.Colour(Role::kListView)));
        EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(view, LVM_GETTEXTCOLOR, 0, 0)),
                  Ref(skin.Colour(Role::kListViewText)));
        HWND button = ::GetDlgItem(dialog, 104);
        RECT r;
        ::GetClientRect(button, &r);
        EXPECT_EQ(PixelOf(button, 5, r.bottom - 4), Ref(skin.Colour(Role::kButton))) << "the push button's face";
        EXPECT_EQ(PixelOf(button, 0, r.bottom / 2), Ref(skin.Colour(Role::kButtonBorder)));
    }

    std::vector<HWND> m_dialogs;
    static inline HMODULE s_dll = nullptr;
    static inline SkinH_AttachExFn s_attach = nullptr;
    static inline SkinH_SetAeroFn s_aero = nullptr;
    static inline SkinH_DetachFn s_detach = nullptr;
    static inline WNDPROC s_oldProc = nullptr;
    static inline int s_counted = 0;
    static LRESULT CALLBACK CountingProc(HWND h, UINT msg, WPARAM wp, LPARAM lp)
    {
        if (msg == WM_APP + 7)
            ++s_counted;
        return ::CallWindowProcW(s_oldProc, h, msg, wp, lp);
    }
};

} // namespace

TEST_F(SkinHuTest, ASkinRecoloursTheDialogsThatExistAndThoseCreatedLaterButNotColoursOfTheirOwn)
{
    HWND before = Open(50);
    HWND ownView = ::GetDlgItem(before, 107);
    ::SendMessageW(ownView, LVM_SETBKCOLOR, 0, RGB(1, 2, 3));
    const skinhu::Skin blue = SkinOf(L"Blue");
    ASSERT_EQ(s_attach((Dist() + L"skin\\Blue.she").c_str(), kPassword), SKINH_OK);
    s_aero(0);
    ExpectSkinned(before, blue);
    HWND after = Open(700);
    ExpectSkinned(after, blue);

    EXPECT_EQ(Ask(after, WM_CTLCOLORSTATIC, 106).back, RGB(10, 200, 30)) << "a brush of the dialog's own stays";
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(ownView, LVM_GETBKCOLOR, 0, 0)), RGB(1, 2, 3))
        << "a list view colour the program chose stays";

    // Another skin replaces the colours, also in views SkinHu coloured before.
    ASSERT_EQ(s_attach((Dist() + L"skin\\Black.she").c_str(), kPassword), SKINH_OK);
    ExpectSkinned(before, SkinOf(L"Black"));
    ExpectSkinned(after, SkinOf(L"Black"));
}

TEST_F(SkinHuTest, DetachingGivesTheSystemsColoursAndDrawingBackUntilTheNextSkin)
{
    ASSERT_NE(s_detach, nullptr) << "SkinH_Detach";
    HWND dialog = Open(50);
    HWND ownView = ::GetDlgItem(dialog, 107);
    ::SendMessageW(ownView, LVM_SETBKCOLOR, 0, RGB(1, 2, 3));
    ASSERT_EQ(s_attach((Dist() + L"skin\\Black.she").c_str(), kPassword), SKINH_OK);
    s_aero(0);
    ExpectSkinned(dialog, SkinOf(L"Black"));
    // A window made under the skin and then subclassed by the program (as a
    // dialog framework does) keeps the program's procedure through the detach.
    HWND framed = Open(400);
    s_oldProc = reinterpret_cast<WNDPROC>(::SetWindowLongPtrW(framed, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(CountingProc)));
    HWND button = ::GetDlgItem(dialog, 104);
    ASSERT_EQ(::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_OWNERDRAW) << "the skin draws the button";

    EXPECT_EQ(s_detach(), SKINH_OK);
    EXPECT_EQ(Ask(dialog, WM_CTLCOLORDLG, 100).back, ::GetSysColor(COLOR_BTNFACE));
    const Answer label = Ask(dialog, WM_CTLCOLORSTATIC, 100);
    EXPECT_EQ(label.back, ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(label.text, ::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(Ask(dialog, WM_CTLCOLOREDIT, 101).back, ::GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(Ask(dialog, WM_CTLCOLORLISTBOX, 102).back, ::GetSysColor(COLOR_WINDOW));
    HWND view = ::GetDlgItem(dialog, 103);
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(view, LVM_GETBKCOLOR, 0, 0)), ::GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(view, LVM_GETTEXTCOLOR, 0, 0)), ::GetSysColor(COLOR_WINDOWTEXT));
    EXPECT_EQ(static_cast<COLORREF>(::SendMessageW(ownView, LVM_GETBKCOLOR, 0, 0)), RGB(1, 2, 3))
        << "a list view colour the program chose stays";
    EXPECT_EQ(::GetWindowLongPtrW(button, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON) << "the button draws itself again";
    RECT r;
    ::GetClientRect(button, &r);
    EXPECT_NE(PixelOf(button, 5, r.bottom - 4), Ref(SkinOf(L"Black").Colour(skinhu::Role::kButton)));
    EXPECT_EQ(s_detach(), SKINH_OK) << "twice is harmless";
    s_counted = 0;
    ::SendMessageW(framed, WM_APP + 7, 0, 0);
    EXPECT_EQ(s_counted, 1) << "the program's subclass still gets the messages";

    // Windows made now stay the system's; the next skin takes them all again.
    HWND later = Open(700);
    EXPECT_EQ(Ask(later, WM_CTLCOLORDLG, 100).back, ::GetSysColor(COLOR_BTNFACE));
    EXPECT_EQ(::GetWindowLongPtrW(::GetDlgItem(later, 104), GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
    ASSERT_EQ(s_attach((Dist() + L"skin\\Blue.she").c_str(), kPassword), SKINH_OK);
    ExpectSkinned(dialog, SkinOf(L"Blue"));
    ExpectSkinned(later, SkinOf(L"Blue"));
}

TEST_F(SkinHuTest, AWrongPasswordOrADamagedOrMissingFileChangesNothing)
{
    HWND dialog = Open(50);
    const std::wstring pink = Dist() + L"skin\\Pink.she";
    ASSERT_EQ(s_attach(pink.c_str(), kPassword), SKINH_OK);
    s_aero(0);
    const skinhu::Skin expected = SkinOf(L"Pink");
    const std::wstring black = Dist() + L"skin\\Black.she";
    std::wstring otherCase = kPassword;
    otherCase[0] = static_cast<wchar_t>(otherCase[0] ^ 0x20);  // a letter in the other case
    EXPECT_EQ(s_attach(black.c_str(), otherCase.c_str()), SKINH_ERR_PASSWORD);
    EXPECT_EQ(s_attach(black.c_str(), nullptr), SKINH_ERR_PASSWORD);

    wchar_t tmp[MAX_PATH];
    ::GetTempPathW(MAX_PATH, tmp);
    const std::wstring damaged = std::wstring(tmp) + L"skinhu-damaged.she";
    std::vector<uint8_t> bytes = ReadBytes(black);
    ASSERT_GT(bytes.size(), 20u);
    bytes[14] ^= 0x40;
    {
        std::ofstream out(Narrow(damaged), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    }
    EXPECT_EQ(s_attach(damaged.c_str(), kPassword), SKINH_ERR_DAMAGED);
    {
        std::ofstream out(Narrow(damaged), std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()), 10);
    }
    EXPECT_EQ(s_attach(damaged.c_str(), kPassword), SKINH_ERR_DAMAGED) << "cut short";
    ::DeleteFileW(damaged.c_str());
    EXPECT_EQ(s_attach(damaged.c_str(), kPassword), SKINH_ERR_FILE);
    EXPECT_EQ(s_attach(nullptr, kPassword), SKINH_ERR_FILE);
    ExpectSkinned(dialog, expected);

    // The glass face: lighter at the top than at the bottom.
    EXPECT_EQ(s_aero(1), SKINH_OK);
    HWND button = ::GetDlgItem(dialog, 104);
    RECT r;
    ::GetClientRect(button, &r);
    const COLORREF top = PixelOf(button, 5, 2), bottom = PixelOf(button, 5, r.bottom - 3);
    EXPECT_GT(GetRValue(top) + GetGValue(top) + GetBValue(top), GetRValue(bottom) + GetGValue(bottom) + GetBValue(bottom));
    s_aero(0);
}

TEST_F(SkinHuTest, TheGlassFaceCreatesNoBrushPerLineColour)
{
    HWND dialog = Open(50);
    ASSERT_EQ(s_attach((Dist() + L"skin\\iTune.she").c_str(), kPassword), SKINH_OK);
    ASSERT_EQ(s_aero(1), SKINH_OK);
    HWND button = ::GetDlgItem(dialog, 104);
    RECT r;
    ::GetClientRect(button, &r);
    // Painted once: the brushes the colour requests are answered with exist.
    PixelOf(dialog, 1, 1);
    PixelOf(button, 5, 2);
    Pump(100);
    const size_t before = GdiObjects();
    ASSERT_GT(before, 0u);

    // Pressed: a darker face, a gradient of colours not painted before.
    ::SendMessageW(button, BM_SETSTATE, TRUE, 0);
    const COLORREF top = PixelOf(button, 5, 2), bottom = PixelOf(button, 5, r.bottom - 3);
    ::SendMessageW(button, BM_SETSTATE, FALSE, 0);
    PixelOf(button, 5, 2);
    Pump(100);
    EXPECT_GT(GetRValue(top) + GetGValue(top) + GetBValue(top), GetRValue(bottom) + GetGValue(bottom) + GetBValue(bottom))
        << "still a glass face";
    EXPECT_LE(GdiObjects(), before + 2) << "no brush kept per line colour";
    s_aero(0);
}
