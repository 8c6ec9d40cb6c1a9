// Kelvo as a Windows user meets it: started from any working directory it
// finds everything in its own folder and makes nothing where it was started;
// under each skin the frame and the pages are one surface with no label
// painting a band of its own; the keyboard moves between the pages.
#include "e2e/support/companions.h"
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <commctrl.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace kelvo::e2e;

namespace {

constexpr int kIdCodeList = 1001;  // a list view; the code box's edit field has this id too
constexpr int kIdManualList = 1027;
constexpr int kIdLanguageList = 1021;
constexpr int kIdSkinList = 1012;
constexpr int kIdStatus = 1029;
constexpr int kIdLabel = 1019;

std::string Config(int language, int skin)
{
    return "[Update]\r\nQB345= V1.04\r\n\r\n[DTC]\r\nHistoryNum= 1\r\n\r\nHistoryNum01 = P0135\r\n[Setting]\r\n"
           "Language = " + std::to_string(language) + "\r\nSkin = " + std::to_string(skin) +
           "\r\nAutoUpdate = 0\r\nDownloadLink = http://127.0.0.1:9/Update/\r\n";
}

// A visible descendant with this id and window class.
struct ControlSearch {
    int id;
    const wchar_t* cls;
    HWND found;
};

BOOL CALLBACK LookAtControl(HWND h, LPARAM lp)
{
    auto* c = reinterpret_cast<ControlSearch*>(lp);
    if (::GetDlgCtrlID(h) == c->id && ClassOf(h) == c->cls && ::IsWindowVisible(h)) {
        c->found = h;
        return FALSE;
    }
    return TRUE;
}

HWND FindControl(HWND root, int id, const wchar_t* cls)
{
    ControlSearch search{id, cls, nullptr};
    ::EnumChildWindows(root, LookAtControl, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

// Ctrl (and Shift) with a key, as the keyboard sends them to the focused window.
void ChordPress(HWND main, WORD vk, bool shift = false)
{
    ::SetForegroundWindow(main);
    ::Sleep(50);
    std::vector<INPUT> in;
    auto key = [&](WORD k, bool up) {
        INPUT i{};
        i.type = INPUT_KEYBOARD;
        i.ki.wVk = k;
        i.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
        in.push_back(i);
    };
    key(VK_CONTROL, false);
    if (shift)
        key(VK_SHIFT, false);
    key(vk, false);
    key(vk, true);
    if (shift)
        key(VK_SHIFT, true);
    key(VK_CONTROL, true);
    ::SendInput(static_cast<UINT>(in.size()), in.data(), sizeof(INPUT));
    ::Sleep(300);
}

std::vector<std::wstring> Entries(const std::string& unixFolder)
{
    std::vector<std::wstring> out;
    WIN32_FIND_DATAW fd;
    HANDLE h = ::FindFirstFileW((WindowsPathOf(unixFolder) + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return out;
    do {
        const std::wstring n = fd.cFileName;
        if (n != L"." && n != L"..")
            out.push_back(n);
    } while (::FindNextFileW(h, &fd));
    ::FindClose(h);
    return out;
}

// The main window's own background: left of the first tab, out of reach of
// the current tab's frame.
COLORREF FramePixel(HWND main) { return Pixel(main, 5, 140); }

// Light pixels of the painted title (white italic text on the banner, right
// of the middle, ending left of the two buttons): more with a version shown.
int TitleInk(HWND main)
{
    RECT c;
    ::GetClientRect(main, &c);
    POINT origin{c.right / 2, 0};
    ::ClientToScreen(main, &origin);
    const int w = c.right / 2 - 70, h = 20;
    HDC screen = ::GetDC(nullptr);
    HDC mem = ::CreateCompatibleDC(screen);
    HBITMAP bmp = ::CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = ::SelectObject(mem, bmp);
    ::BitBlt(mem, 0, 0, w, h, screen, origin.x, origin.y, SRCCOPY);
    ::SelectObject(mem, old);
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof bi.bmiHeader;
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = -h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 32;
    std::vector<uint32_t> px(static_cast<size_t>(w) * h);
    ::GetDIBits(mem, bmp, 0, h, px.data(), &bi, DIB_RGB_COLORS);
    ::DeleteObject(bmp);
    ::DeleteDC(mem);
    ::ReleaseDC(nullptr, screen);
    int n = 0;
    for (uint32_t p : px)
        n += (p & 0xFF) > 200 && ((p >> 8) & 0xFF) > 200 && ((p >> 16) & 0xFF) > 200;
    return n;
}

HWND MainWindowOf(DWORD pid)
{
    HWND main = nullptr;
    WaitFor([&] {
        for (HWND h : TopWindows(pid))
            if (ClassOf(h) == L"#32770" && (::GetWindowLongW(h, GWL_STYLE) & WS_CAPTION) != WS_CAPTION)
                main = h;
        return main != nullptr;
    }, kStartMs);
    return main;
}

} // namespace

TEST(Desktop, StartedFromAnEmptyFolderItUsesItsOwnFilesMakesNothingThereAndTheKeyboardMovesThePages)
{
    KillAll(L"Dozaz.exe");
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", Config(7, 0));  // Nederlands, Black
    inst.Remove(L"update");
    ScratchFolder empty("empty-cwd");

    int inkWithVersion = 0;
    {
        StartedProgram kelvo(inst.Path(L"Kelvo.exe"), empty.Windows(""));
        HWND main = MainWindowOf(kelvo.Pid());
        ASSERT_NE(main, nullptr);
        ::Sleep(1000);
        inkWithVersion = TitleInk(main);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
    // The same start without version.txt in the installation: the title is
    // shorter by the version.
    const std::string versionFile = inst.ReadFile(L"version.txt");
    inst.Remove(L"version.txt");
    {
        StartedProgram kelvo(inst.Path(L"Kelvo.exe"), empty.Windows(""));
        HWND main = MainWindowOf(kelvo.Pid());
        ASSERT_NE(main, nullptr);
        ::Sleep(1000);
        EXPECT_GT(inkWithVersion, TitleInk(main) + 20) << "the title shows the installation's version";
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
    inst.WriteFile(L"version.txt", versionFile);
    inst.Remove(L"update");

    StartedProgram kelvo(inst.Path(L"Kelvo.exe"), empty.Windows(""));
    ASSERT_TRUE(kelvo.Started());
    HWND main = MainWindowOf(kelvo.Pid());
    ASSERT_NE(main, nullptr);
    ::Sleep(1500);  // the first scan, and the update folder made

    // The installation's update folder.
    EXPECT_NE(::GetFileAttributesW(inst.Path(L"update").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the update folder is made in the installation";

    // Ctrl+3: the codes, all of them.
    ChordPress(main, '3');
    HWND codes = nullptr;
    ASSERT_TRUE(WaitFor([&] { return (codes = FindControl(main, kIdCodeList, L"SysListView32")) != nullptr; }, 10000));
    EXPECT_GT(::SendMessageW(codes, LVM_GETITEMCOUNT, 0, 0), 1000) << "the installation's code file";

    // The status row and the label sit on the frame without a band.
    const COLORREF frame = FramePixel(main);
    for (int id : {kIdStatus, kIdLabel}) {
        HWND label = FindDescendant(main, id);
        ASSERT_NE(label, nullptr);
        RECT r;
        ::GetClientRect(label, &r);
        const COLORREF corner = Pixel(label, r.right - 2, 1);
        EXPECT_TRUE(Near(corner, frame)) << "control " << id << ": " << Hex(corner) << " on " << Hex(frame);
    }
    Screenshot(main, L"desktop-codes-black");

    // Ctrl+Tab the next page, Ctrl+Shift+Tab back.
    ChordPress(main, VK_TAB);
    EXPECT_TRUE(WaitFor([&] { return FindControl(main, kIdManualList, L"SysListView32") != nullptr; }, 10000))
        << "Ctrl+Tab: the manual page";
    ChordPress(main, VK_TAB, true);
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(codes) != FALSE; }, 10000)) << "Ctrl+Shift+Tab: the codes again";

    // Ctrl+5: the saved language and skin.
    ChordPress(main, '5');
    HWND languages = nullptr;
    ASSERT_TRUE(WaitFor([&] {
        languages = FindDescendant(main, kIdLanguageList);
        return languages && ::IsWindowVisible(languages);
    }, 10000));
    ::Sleep(500);
    EXPECT_EQ(::SendMessageW(languages, LB_GETCURSEL, 0, 0), 7) << "Nederlands";
    EXPECT_EQ(::SendMessageW(FindDescendant(main, kIdSkinList), LB_GETCURSEL, 0, 0), 0) << "Black";

    // Under Black the frame and the page are one colour.
    RECT lr;
    ::GetWindowRect(languages, &lr);
    HWND page = ::GetParent(languages);
    POINT p{lr.right + 17, lr.top + 15};
    ::ScreenToClient(page, &p);
    const COLORREF pageColour = Pixel(page, p.x, p.y);
    EXPECT_TRUE(Near(FramePixel(main), pageColour)) << Hex(FramePixel(main)) << " against " << Hex(pageColour);
    EXPECT_TRUE(Near(pageColour, RGB(0x1E, 0x1F, 0x22))) << "the skin's dialog colour: " << Hex(pageColour);
    Screenshot(main, L"desktop-settings-black");

    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    EXPECT_TRUE(Entries(empty.Unix()).empty()) << "nothing was made in the working directory";
}

// Each installed skin on the settings page and on the codes page, saved for
// looking at side by side; frame and page agree under every one.
TEST(Desktop, EverySkinIsOneSurface)
{
    KillAll(L"Dozaz.exe");
    Installation inst;
    const wchar_t* names[] = {L"Black", L"Blue", L"iTune", L"Msn", L"Pink", L"Silver"};
    for (int skin = 0; skin < 6; ++skin) {
        SCOPED_TRACE(Narrow(names[skin]));
        inst.WriteFile(L"Kelvo.cfg", Config(0, skin));
        KelvoProcess kelvo(inst);
        HWND main = kelvo.WaitMainWindow(kStartMs);
        ASSERT_NE(main, nullptr);
        ::Sleep(800);
        const COLORREF frame = FramePixel(main);
        // The update page and the gallery on page 0.
        HWND list = FindDescendant(main, kIdList);
        ASSERT_NE(list, nullptr);
        HWND updatePage = ::GetParent(list);
        RECT ur;
        ::GetClientRect(updatePage, &ur);
        const COLORREF pageColour = Pixel(updatePage, 3, ur.bottom - 3);
        EXPECT_TRUE(Near(frame, pageColour)) << Hex(frame) << " against " << Hex(pageColour);
        HWND status = FindDescendant(main, kIdStatus);
        RECT sr;
        ::GetClientRect(status, &sr);
        EXPECT_TRUE(Near(Pixel(status, sr.right - 2, 1), frame)) << "the status row paints no band";
        Screenshot(main, std::wstring(L"desktop-skin-") + names[skin]);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }
}
