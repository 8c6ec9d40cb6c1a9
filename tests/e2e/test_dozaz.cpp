// Dozaz.exe under Wine against the local update server: a newer package is
// notified naming model and version, nothing newer and no server are silence;
// one copy per session; its menu's commands open Kelvo from Dozaz's own folder
// and end Dozaz. Wine's tray draws the balloon (see the screenshot), but its
// text lives in the shell's process: the notification is read back from the
// window that owns the tray icon, which keeps the last one shown.
#include "e2e/support/companions.h"
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <shellapi.h>

using namespace kelvo::e2e;

namespace {

const UINT kIdOpenKelvo = 1;
const UINT kIdExit = 2;
const int kIdLastNotice = 100;

HWND DozazWindow(DWORD pid, DWORD ms)
{
    HWND found = nullptr;
    WaitFor([&] {
        for (HWND h : TopWindows(pid, false))
            if (ClassOf(h) == L"KelvoDozaz") {
                found = h;
                return true;
            }
        return false;
    }, ms);
    return found;
}

std::wstring LastNotice(HWND dozaz) { return WindowText(::GetDlgItem(dozaz, kIdLastNotice)); }

struct NoDozaz {
    NoDozaz() { KillAll(L"Dozaz.exe"); }
    ~NoDozaz() { KillAll(L"Dozaz.exe"); }
};

void ScreenshotDesktop(const wchar_t* name) { Screenshot(::GetDesktopWindow(), name); }

} // namespace

TEST(Dozaz, ANewerPackageOnTheServerIsNotifiedWithModelAndVersionAndNothingIsWritten)
{
    NoDozaz none;
    Installation inst;
    UpdateServer server;
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    const std::string cfg = inst.ReadFile(L"Kelvo.cfg");
    StartedProgram dozaz(inst.Path(L"Dozaz.exe"), inst.Folder());
    HWND window = DozazWindow(dozaz.Pid(), kStartMs);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(WaitFor([&] { return !LastNotice(window).empty(); }, 30000)) << "no notification";
    EXPECT_EQ(LastNotice(window), L"Update\nQB345 V2.34") << Narrow(LastNotice(window));
    // Wine's tray shows a balloon a moment after it is asked for.
    ::Sleep(3000);
    ScreenshotDesktop(L"dozaz-notified");
    EXPECT_NE(server.Log().find("/Update/QB345/Zendrix.bin"), std::string::npos) << server.Log();
    EXPECT_EQ(server.Log().find("_V2.34_"), std::string::npos) << "no package is asked for: " << server.Log();
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg"), cfg);
    EXPECT_EQ(::GetFileAttributesW(inst.Path(L"update\\version.sv").c_str()), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(TopWindows(dozaz.Pid()).empty()) << "no window shows, no message box";
}

TEST(Dozaz, NothingNewerAndNoServerAreSilence)
{
    NoDozaz none;
    Installation inst;
    UpdateServer server;
    ASSERT_TRUE(server.Start());
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    std::string cfg = inst.ReadFile(L"Kelvo.cfg");
    cfg.replace(cfg.find("QB345= V1.04"), 12, "QB345= V2.34");
    inst.WriteFile(L"Kelvo.cfg", cfg);
    {
        StartedProgram dozaz(inst.Path(L"Dozaz.exe"), inst.Folder());
        HWND window = DozazWindow(dozaz.Pid(), kStartMs);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(WaitFor([&] { return server.Log().find("QB345/Zendrix.bin") != std::string::npos; }, 30000));
        ::Sleep(3000);
        EXPECT_EQ(LastNotice(window), L"") << "version 2.34 is installed";
        ScreenshotDesktop(L"dozaz-nothing-newer");
    }
    KillAll(L"Dozaz.exe");
    server.Stop();
    {
        StartedProgram dozaz(inst.Path(L"Dozaz.exe"), inst.Folder());
        HWND window = DozazWindow(dozaz.Pid(), kStartMs);
        ASSERT_NE(window, nullptr);
        ::Sleep(5000);
        EXPECT_EQ(LastNotice(window), L"");
        EXPECT_TRUE(TopWindows(dozaz.Pid()).empty()) << "a server out of reach shows no message";
        EXPECT_EQ(dozaz.WaitExit(0), static_cast<DWORD>(STILL_ACTIVE)) << "and Dozaz keeps running";
    }
}

TEST(Dozaz, OneCopyPerSessionWhoseMenuOpensKelvoFromItsOwnFolderAndExits)
{
    NoDozaz none;
    Installation inst;
    // Dozaz in a folder of its own with a stand-in Kelvo.exe, started from elsewhere.
    ScratchFolder folder("dozaz");
    const std::wstring dozazPath = folder.Windows("Dozaz.exe");
    ASSERT_TRUE(::CopyFileW(inst.Path(L"Dozaz.exe").c_str(), dozazPath.c_str(), FALSE));
    ASSERT_TRUE(PlaceProbe(folder.Windows("Kelvo.exe")));
    StartedProgram dozaz(dozazPath, inst.Folder());
    HWND window = DozazWindow(dozaz.Pid(), kStartMs);
    ASSERT_NE(window, nullptr);

    StartedProgram second(dozazPath, inst.Folder());
    EXPECT_EQ(second.WaitExit(kStartMs), 0u) << "a second copy ends at once";
    EXPECT_EQ(ProcessesOf(L"Dozaz.exe").size(), 1u);

    // The tray icon's menu, shown as a right click on the icon shows it.
    ::PostMessageW(window, WM_APP + 1, 1, WM_RBUTTONUP);
    HWND menu = nullptr;
    EXPECT_TRUE(WaitFor([&] {
        for (HWND h : TopWindows(dozaz.Pid()))
            if (ClassOf(h) == L"#32768")
                menu = h;
        return menu != nullptr;
    }, 10000)) << "the menu";
    if (menu) {
        ::Sleep(300);
        Screenshot(menu, L"dozaz-menu");
        KeyPress(menu, VK_ESCAPE);
        WaitFor([&] { return !::IsWindowVisible(menu); }, 5000);
    }

    ::PostMessageW(window, WM_COMMAND, kIdOpenKelvo, 0);
    std::wstring record;
    EXPECT_TRUE(WaitFor([&] { return !(record = ProbeRecord(folder.Windows("Kelvo.exe"))).empty(); }, 20000));
    const std::wstring own = folder.Windows("");
    EXPECT_EQ(record.substr(0, record.find(L'\n')) + L"\\", own) << "working directory: " << Narrow(record);
    EXPECT_NE(record.find(folder.Windows("Kelvo.exe")), std::wstring::npos) << "by its full path: " << Narrow(record);

    ::PostMessageW(window, WM_COMMAND, kIdExit, 0);
    EXPECT_EQ(dozaz.WaitExit(10000), 0u) << "Exit ends Dozaz";
    StartedProgram again(dozazPath, inst.Folder());
    EXPECT_NE(DozazWindow(again.Pid(), kStartMs), nullptr) << "its mutex went with it";
}

TEST(Dozaz, ClickingItsNotificationShowsKelvosUpdatePageOrStartsKelvo)
{
    NoDozaz none;
    Installation inst;
    inst.WriteFile(L"Kelvo.cfg", "[Setting]\r\nLanguage = 0\r\nSkin = 1\r\nAutoUpdate = 0\r\n"
                                 "DownloadLink = http://127.0.0.1:9/Update/\r\n");
    StartedProgram dozaz(inst.Path(L"Dozaz.exe"), inst.Folder());
    HWND window = DozazWindow(dozaz.Pid(), kStartMs);
    ASSERT_NE(window, nullptr);
    const LPARAM kBalloonClick = NIN_BALLOONUSERCLICK;

    // Kelvo runs, showing its settings page.
    {
        KelvoProcess kelvo(inst);
        HWND main = kelvo.WaitMainWindow(kStartMs);
        ASSERT_NE(main, nullptr);
        ::Sleep(1000);
        ::SetForegroundWindow(main);
        INPUT in[4] = {};
        for (auto& i : in)
            i.type = INPUT_KEYBOARD;
        in[0].ki.wVk = VK_CONTROL;
        in[1].ki.wVk = '5';
        in[2].ki.wVk = '5';
        in[2].ki.dwFlags = KEYEVENTF_KEYUP;
        in[3].ki.wVk = VK_CONTROL;
        in[3].ki.dwFlags = KEYEVENTF_KEYUP;
        ::SendInput(4, in, sizeof(INPUT));
        HWND list = FindDescendant(main, kIdList);
        ASSERT_NE(list, nullptr);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindowVisible(list); }, 5000)) << "the settings page is shown";
        ::PostMessageW(window, WM_APP + 1, 1, kBalloonClick);
        EXPECT_TRUE(WaitFor([&] { return ::IsWindowVisible(list) != FALSE; }, 10000)) << "the update page again";
        Screenshot(main, L"dozaz-click-update-page");
        EXPECT_EQ(TopWindows(kelvo.Pid()).size(), 1u);
        ::PostMessageW(main, WM_CLOSE, 0, 0);
        EXPECT_EQ(kelvo.WaitExit(10000), 1u);
    }

    // Kelvo does not run: the click starts it.
    ::PostMessageW(window, WM_APP + 1, 1, kBalloonClick);
    std::vector<DWORD> started;
    EXPECT_TRUE(WaitFor([&] { return !(started = ProcessesOf(L"Kelvo.exe")).empty(); }, 30000)) << "Kelvo started";
    for (DWORD pid : started) {
        HWND main = nullptr;
        WaitFor([&] {
            for (HWND h : TopWindows(pid))
                main = h;
            return main != nullptr;
        }, kStartMs);
        if (main)
            ::PostMessageW(main, WM_CLOSE, 0, 0);
    }
    WaitFor([&] { return ProcessesOf(L"Kelvo.exe").empty(); }, 10000);
}
