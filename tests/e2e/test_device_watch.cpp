// The main window's device watch with the simulated QB345 plugged into the
// Wine prefix: status text and icon follow the tool in and out.
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <cstdlib>
#include <set>

using namespace kelvo::e2e;
using kelvo::plug::CSimulatedTool;

TEST(DeviceWatch, PluggingInShowsTheModelUnpluggingShowsNoTool)
{
    Installation inst;
    KelvoProcess kelvo(inst);
    HWND main = kelvo.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !StatusText(main).empty(); }, 5000));
    const std::wstring noTool = StatusText(main);

    {
        CSimulatedTool tool;
        ASSERT_TRUE(PlugTool(tool, 7)) << "the simulator did not start; KELVO_BIN=" << Narrow(Env(L"KELVO_BIN"))
                                       << " WINEPREFIX=" << Narrow(Env(L"WINEPREFIX"));
        ::SendMessageTimeoutW(main, WM_DEVICECHANGE, 0x0007, 0, SMTO_NORMAL, 10000, nullptr);
        ASSERT_TRUE(WaitFor([&] { return StatusText(main).find(L" --- QB345") != std::wstring::npos; }, 10000))
            << "status: " << Narrow(StatusText(main));
        ::Sleep(300);
        Screenshot(main, L"device-plugged-in");

        tool.Unplug(false);
        // Two device changes: the second comes within a second of the first.
        ::Sleep(1200);
        ::SendMessageTimeoutW(main, WM_DEVICECHANGE, 0x0007, 0, SMTO_NORMAL, 10000, nullptr);
        EXPECT_TRUE(WaitFor([&] { return StatusText(main) == noTool; }, 10000))
            << "status: " << Narrow(StatusText(main));
        Screenshot(main, L"device-unplugged");
    }
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}

TEST(MainWindow, EscapeAndEnterDoNotCloseItTheCloseButtonDoes)
{
    Installation inst;
    KelvoProcess kelvo(inst);
    HWND main = kelvo.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr);
    ::Sleep(500);
    KeyPress(main, VK_ESCAPE);
    KeyPress(main, VK_RETURN);
    EXPECT_EQ(kelvo.WaitExit(1000), static_cast<DWORD>(STILL_ACTIVE));
    // The close button sits in the top-right corner of the client area.
    RECT r;
    ::GetClientRect(main, &r);
    ClickClient(main, r.right - 20, 12);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u) << "no update runs: closing never asks";
}


namespace {

// Puts a 5000-byte QB345 package into update\, starts Kelvo with the tool
// plugged in, lists the local packages, ticks row 0 and answers the confirmation.
struct LocalUpdateRun {
    void Start(Installation& inst, CSimulatedTool& tool, bool answerYes = true)
    {
        image = tool.UnixFolder() + "/main.img";
        ASSERT_FALSE(MakeLocalPackage(inst, image, 5000).empty());
        std::string why;
        ASSERT_TRUE(kelvo.Start(inst, &why)) << why;

        ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "one local package row";
        EXPECT_FALSE(::IsWindowEnabled(kelvo.LocalButton())) << "the button of the shown list stays disabled";
        EXPECT_EQ(kelvo.ItemText(0, 1), L"QB345");
        EXPECT_EQ(kelvo.ItemText(0, 2), L"V2.34");
        EXPECT_EQ(kelvo.ItemText(0, 3), L"EN/FR/ES/DE/IT");
        EXPECT_EQ(kelvo.ItemText(0, 4), L"2019/10/23");

        kelvo.ClickFirstCheckBox();
        HWND confirm = kelvo.WaitMessage(10000);
        ASSERT_NE(confirm, nullptr) << "the confirmation";
        Screenshot(confirm, L"update-confirmation");
        PressButton(confirm, answerYes ? IDYES : IDNO);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(confirm); }, 5000));
        started = true;
    }
    KelvoWithTool kelvo;
    std::string image;
    bool started = false;
};

} // namespace

TEST(LocalUpdate, TickedAndConfirmedPackageIsWrittenIntoTheToolAndRecorded)
{
    Installation inst;
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 8));
    LocalUpdateRun run;
    run.Start(inst, tool);
    ASSERT_TRUE(run.started);

    const std::string expected = ReadWholeFile(WindowsPathOf(run.image));
    EXPECT_TRUE(WaitFor([&] { return !expected.empty() && ReadWholeFile(tool.ImagePath(0)) == expected; }, 30000))
        << "the tool received exactly the image";
    EXPECT_TRUE(WaitFor(
        [&] { return inst.ReadFile(L"Kelvo.cfg").find("QB345= V2.34\r\n") != std::string::npos; }, 10000))
        << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(run.kelvo.LocalButton()) != FALSE; }, 5000))
        << "buttons enabled after success";
    const std::wstring status = run.kelvo.ItemText(0, 6);
    EXPECT_NE(status.find(L"Update complete"), std::wstring::npos) << Narrow(status);
    EXPECT_FALSE(run.kelvo.Checked(0)) << "the finished row's check box is cleared";
    ::Sleep(500);
    Screenshot(run.kelvo.Main(), L"update-local-done");
    EXPECT_EQ(run.kelvo.Close(), 1u);
}

TEST(LocalUpdate, DecliningTheConfirmationUnchecksTheRowAndStartsNothing)
{
    Installation inst;
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 11));
    LocalUpdateRun run;
    run.Start(inst, tool, false);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(WaitFor(
        [&] { return (::SendMessageW(run.kelvo.List(), LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK) >> 12) == 1; }, 3000))
        << "the row's check box is cleared";
    ::Sleep(1000);
    const std::string frames = tool.ReadLog();
    EXPECT_NE(frames.find("46 58 C9"), std::string::npos) << "the tool was identified";
    EXPECT_EQ(frames.find("46 58 C0"), std::string::npos) << "no transfer started: " << frames;
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg").find("V2.34"), std::string::npos);
    EXPECT_EQ(run.kelvo.Close(), 1u) << "no update runs: closing does not ask";
}

TEST(LocalUpdate, ClosingDuringATransferAsksAndNoKeepsItRunning)
{
    Installation inst;
    // A slow erase keeps the transfer running while the user tries to close.
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 9, {"--delay", "C2:4000"}));
    LocalUpdateRun run;
    run.Start(inst, tool);
    ASSERT_TRUE(run.started);
    ::Sleep(500);
    ::PostMessageW(run.kelvo.Main(), WM_CLOSE, 0, 0);
    HWND ask = run.kelvo.WaitMessage(5000);
    ASSERT_NE(ask, nullptr) << "closing during an update asks";
    EXPECT_NE(ChildTexts(ask).find(L"Close anyway?"), std::wstring::npos) << Narrow(ChildTexts(ask));
    Screenshot(ask, L"update-close-question");
    PressButton(ask, IDNO);
    EXPECT_EQ(run.kelvo.Process().WaitExit(1000), static_cast<DWORD>(STILL_ACTIVE)) << "No keeps the program running";
    EXPECT_TRUE(WaitFor(
        [&] { return inst.ReadFile(L"Kelvo.cfg").find("QB345= V2.34\r\n") != std::string::npos; }, 30000))
        << "the transfer went on to its end";
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(run.kelvo.LocalButton()) != FALSE; }, 5000));
    EXPECT_EQ(run.kelvo.Close(), 1u) << "with the update over, closing no longer asks";
}

namespace {
// Pixels of the current-tab caption colour (RGB 3A A3 E5) in a client rectangle.
int HighlightPixels(HWND main, const RECT& r)
{
    HDC dc = ::GetDC(main);
    int n = 0;
    for (int y = r.top; y < r.bottom; y += 2)
        for (int x = r.left; x < r.right; x += 2) {
            COLORREF c = ::GetPixel(dc, x, y);
            if (std::abs(GetRValue(c) - 0x3A) < 24 && std::abs(GetGValue(c) - 0xA3) < 24 && std::abs(GetBValue(c) - 0xE5) < 24)
                ++n;
        }
    ::ReleaseDC(main, dc);
    return n;
}

// The count once two readings a moment apart agree: a repaint in progress
// (the tabs are erased before they are drawn) is not the window's state.
int SettledHighlightPixels(HWND main, const RECT& r)
{
    int last = HighlightPixels(main, r);
    for (int i = 0; i < 20; ++i) {
        ::Sleep(250);
        const int now = HighlightPixels(main, r);
        if (now == last)
            return now;
        last = now;
    }
    return last;
}
} // namespace

TEST(MainWindow, FirstClickOnTabZeroSwitchesASecondChangesNothing)
{
    Installation inst;
    KelvoProcess kelvo(inst);
    HWND main = kelvo.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr);
    ::Sleep(800);
    RECT client;
    ::GetClientRect(main, &client);
    const int d = (client.right - 100) / 5;
    const RECT caption{20, 170, 20 + d, 217};  // below the tab picture
    EXPECT_EQ(HighlightPixels(main, caption), 0) << "no page chosen yet: every caption is black";
    ClickClient(main, 20 + d / 2, 190);
    EXPECT_TRUE(WaitFor([&] { return HighlightPixels(main, caption) > 10; }, 5000)) << "tab 0 caption highlighted";
    const RECT other{20 + (d + 15), 170, 20 + (d + 15) + d, 217};
    EXPECT_EQ(HighlightPixels(main, other), 0);
    const int before = SettledHighlightPixels(main, caption);
    ClickClient(main, 20 + d / 2, 190);
    ::Sleep(500);
    EXPECT_EQ(SettledHighlightPixels(main, caption), before) << "a second click on the current tab changes nothing";
    Screenshot(main, L"tab-zero-selected");
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}

TEST(ServerUpdate, NewerPackageIsDownloadedWrittenRecordedAndThenNothingNewerIsOffered)
{
    Installation inst;
    UpdateServer server;
    ASSERT_TRUE(server.Start()) << "the update server did not start";
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));

    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 10));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;

    // English is in all three language sets of the catalogue.
    ASSERT_TRUE(kelvo.ListShows(kIdOnline, 3)) << "rows: " << kelvo.Rows();
    EXPECT_EQ(kelvo.ItemText(0, 2), L"V2.34");
    EXPECT_EQ(kelvo.ItemText(0, 3), L"EN/FR/ES/DE/IT");
    EXPECT_EQ(kelvo.ItemText(0, 4), L"2019/10/23");
    EXPECT_NE(kelvo.ItemText(0, 5), L"") << "the size the server announced";
    ::Sleep(1500);  // the size column asks the server once per row
    Screenshot(kelvo.Main(), L"update-server-list");

    kelvo.ClickFirstCheckBox();
    HWND confirm = kelvo.WaitMessage(10000);
    ASSERT_NE(confirm, nullptr);
    PressButton(confirm, IDYES);

    const std::wstring downloaded = inst.Path(L"update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin");
    EXPECT_TRUE(WaitFor([&] { return ::GetFileAttributesW(downloaded.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000))
        << "the package is downloaded into update\\";
    EXPECT_TRUE(WaitFor(
        [&] { return inst.ReadFile(L"Kelvo.cfg").find("QB345= V2.34\r\n") != std::string::npos; }, 30000))
        << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_TRUE(WaitFor([&] { return !ReadWholeFile(tool.ImagePath(0)).empty(); }, 5000))
        << "the tool received the image";
    EXPECT_EQ(::GetFileAttributesW((downloaded + L".part").c_str()), INVALID_FILE_ATTRIBUTES);
    ::Sleep(300);
    Screenshot(kelvo.Main(), L"update-server-done");

    // The recorded version is current now: nothing newer is offered.
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 5000));
    kelvo.Click(kIdOnline);
    HWND nothing = kelvo.WaitMessage(20000);
    ASSERT_NE(nothing, nullptr) << "the 'nothing newer' message";
    EXPECT_NE(ChildTexts(nothing).find(L"No newer firmware"), std::wstring::npos) << Narrow(ChildTexts(nothing));
    EXPECT_EQ(kelvo.Rows(), 0);
    Screenshot(nothing, L"update-server-nothing-newer");
    PressButton(nothing, IDOK);
    EXPECT_EQ(kelvo.Close(), 1u);
}

namespace {
// The rows of the local list as "model version set date size", in any order.
std::multiset<std::wstring> LocalRows(Installation& inst, int language)
{
    std::string cfg = inst.ReadFile(L"Kelvo.cfg");
    const size_t at = cfg.find("Language = ");
    if (at != std::string::npos)
        cfg.replace(at, cfg.find("\r\n", at) - at, "Language = " + std::to_string(language));
    inst.WriteFile(L"Kelvo.cfg", cfg);
    CSimulatedTool tool;
    std::multiset<std::wstring> rows;
    if (!PlugTool(tool, 17))
        return {L"the simulator did not start"};
    KelvoWithTool kelvo;
    std::string why;
    if (!kelvo.Start(inst, &why))
        return {std::wstring(why.begin(), why.end())};
    kelvo.Click(kIdLocal);
    // The list is filled in one go on the user-interface thread.
    WaitFor([&] { return kelvo.Rows() > 0; }, 15000);
    ::Sleep(300);
    for (int r = 0; r < kelvo.Rows(); ++r)
        rows.insert(kelvo.ItemText(r, 1) + L" " + kelvo.ItemText(r, 2) + L" " + kelvo.ItemText(r, 3) + L" " +
                    kelvo.ItemText(r, 4) + L" " + kelvo.ItemText(r, 5));
    Screenshot(kelvo.Main(), language == 0 ? L"update-local-names-en" : L"update-local-names-fr");
    kelvo.Close();
    return rows;
}
} // namespace

TEST(LocalUpdate, RowsFollowTheFileNamesTheModelAndTheLanguage)
{
    Installation inst;
    // Only the names count for the list; the sizes show in the size column.
    inst.WriteFile(L"update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin", std::string(2048, 'a'));
    inst.WriteFile(L"update\\QB345_V2.34_EN-RU_20191023.bin", std::string(1536, 'b'));
    inst.WriteFile(L"update\\qb345_v2.34_en-ru_20191101.bin", std::string(100, 'c'));  // compared in upper case
    inst.WriteFile(L"update\\QB460_V1.00_EN_20200101.bin", "another tool");
    inst.WriteFile(L"update\\QB345_V2.34.bin", "fewer than four parts");
    inst.WriteFile(L"update\\QB345_V2.34_EN_2019.bin", "a date too short");
    inst.WriteFile(L"update\\QB345_V2.34_EN-FR_20191023.txt", "not a package name");

    const std::multiset<std::wstring> english = LocalRows(inst, 0);
    const std::multiset<std::wstring> expected = {
        L"QB345 V2.34 EN/FR/ES/DE/IT 2019/10/23 2.0 KB",
        L"QB345 V2.34 EN/RU 2019/10/23 1.5 KB",
        L"QB345 v2.34 EN/RU 2019/11/01 100.0 B",
    };
    EXPECT_EQ(english, expected);
    const std::multiset<std::wstring> french = LocalRows(inst, 1);
    EXPECT_EQ(french, (std::multiset<std::wstring>{L"QB345 V2.34 EN/FR/ES/DE/IT 2019/10/23 2.0 KB"}));
}
