// A running firmware write is guarded end to end: the lists stay as they are,
// a device change elsewhere keeps the tool, shutdown waits, closing asks, and
// a tool replaced while its package downloads gets nothing.
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

using namespace kelvo::e2e;
using kelvo::plug::CSimulatedTool;

namespace {

const wchar_t kTransferFailed[] = L"The update failed. Keep the scan tool connected and try again.";

bool Recorded(const Installation& inst) { return inst.ReadFile(L"Kelvo.cfg").find("V2.34") != std::string::npos; }

// Ticks row 0 and answers the confirmation with Yes.
void TickAndConfirm(KelvoWithTool& kelvo)
{
    kelvo.ClickFirstCheckBox();
    HWND confirm = kelvo.WaitMessage(10000);
    ASSERT_NE(confirm, nullptr) << "the confirmation";
    PressButton(confirm, IDYES);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(confirm); }, 5000));
}

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

bool Identified(KelvoWithTool& kelvo) { return StatusText(kelvo.Main()).find(L" --- QB345") != std::wstring::npos; }

// Starts Kelvo with the slow-erasing tool plugged in and a local package of
// three blocks, and starts writing it; returns when the tool is erasing.
void StartSlowWrite(Installation& inst, CSimulatedTool& tool, KelvoWithTool& kelvo, int com, int eraseMs,
                    std::string* image)
{
    ASSERT_TRUE(PlugTool(tool, com, {"--delay", "C2:" + std::to_string(eraseMs)}));
    *image = tool.UnixFolder() + "/main.img";
    ASSERT_FALSE(MakeLocalPackage(inst, *image, 3 * 2048).empty());
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    ASSERT_TRUE(WaitFor([&] { return tool.ReadLog().find("< 46 58 C2") != std::string::npos; }, 10000))
        << "the transfer is erasing";
}

LRESULT QueryEndSession(HWND main)
{
    DWORD_PTR result = 1;
    ::SendMessageTimeoutW(main, WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 10000, &result);
    return static_cast<LRESULT>(result);
}

} // namespace

TEST(WriteGuard, WhileAWriteRunsTheListsStayTheToolStaysAndShutdownWaits)
{
    Installation inst;
    CSimulatedTool tool;
    KelvoWithTool kelvo;
    std::string image;
    // Long enough for everything below, even on a loaded machine.
    StartSlowWrite(inst, tool, kelvo, 21, 12000, &image);
    if (HasFatalFailure())
        return;

    // Neither list button acts: disabled, and a click that reaches the page
    // anyway rebuilds nothing under the running worker.
    EXPECT_FALSE(::IsWindowEnabled(kelvo.LocalButton()));
    EXPECT_FALSE(::IsWindowEnabled(kelvo.OnlineButton()));
    const size_t identifications = tool.ReadLog().size();
    kelvo.Click(kIdOnline);
    kelvo.Click(kIdLocal);
    ::Sleep(2000);  // a listing would identify for 1.5 s first
    EXPECT_EQ(kelvo.Rows(), 1);
    EXPECT_EQ(kelvo.ItemText(0, 1), L"QB345");
    EXPECT_EQ(kelvo.WaitMessage(0), nullptr) << "no message of a listing";
    EXPECT_TRUE(Identified(kelvo)) << Narrow(StatusText(kelvo.Main()));

    // A USB stick plugged in more than a second after the last scan: the tool
    // whose port the transfer holds is still the tool.
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(L"VID_0781&PID_5567", L"STICK21"));
    kelvo.TellDeviceChange();
    EXPECT_TRUE(Identified(kelvo)) << Narrow(StatusText(kelvo.Main()));
    Screenshot(kelvo.Main(), L"guard-device-change-during-write");
    kelvo::plug::RemoveUsbDevice(L"VID_0781&PID_5567", L"STICK21");
    // A device whose entry cannot be read, listed before the tool: skipped,
    // and no reason to count the tool as pulled out.
    ASSERT_TRUE(kelvo::plug::PublishUnreadableUsbDevice());
    kelvo.TellDeviceChange();
    EXPECT_TRUE(Identified(kelvo)) << Narrow(StatusText(kelvo.Main()));
    const std::string since = tool.ReadLog().substr(identifications);
    EXPECT_EQ(since.find("46 58 C9"), std::string::npos) << "no identification reached the tool: " << since;
    EXPECT_EQ(since.find("46 58 CA"), std::string::npos) << since;

    // Windows asks before a shutdown or logoff: not now.
    EXPECT_EQ(QueryEndSession(kelvo.Main()), FALSE);

    // The write goes on into its own row.
    const std::string expected = ReadWholeFile(WindowsPathOf(image));
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(tool.ImagePath(0)) == expected; }, 40000));
    kelvo::plug::RemoveUnreadableUsbDevice();
    EXPECT_TRUE(WaitFor([&] { return Recorded(inst); }, 10000)) << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_NE(kelvo.ItemText(0, 6).find(L"Update complete"), std::wstring::npos) << Narrow(kelvo.ItemText(0, 6));
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 5000))
        << "usable again after the write";
    EXPECT_EQ(QueryEndSession(kelvo.Main()), TRUE) << "with the write over, shutdown may go on";
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(WriteGuard, ClosingDuringAWriteAndAnsweringYesEndsTheProgram)
{
    Installation inst;
    CSimulatedTool tool;
    KelvoWithTool kelvo;
    std::string image;
    StartSlowWrite(inst, tool, kelvo, 22, 6000, &image);
    if (HasFatalFailure())
        return;
    ::PostMessageW(kelvo.Main(), WM_CLOSE, 0, 0);
    HWND ask = kelvo.WaitMessage(5000);
    ASSERT_NE(ask, nullptr) << "closing during an update asks";
    EXPECT_NE(ChildTexts(ask).find(L"Close anyway?"), std::wstring::npos) << Narrow(ChildTexts(ask));
    PressButton(ask, IDYES);
    EXPECT_EQ(kelvo.Process().WaitExit(10000), 1u) << "Yes ends the program as a close does";
    EXPECT_FALSE(Recorded(inst)) << "an unfinished write records no version";
}

TEST(WriteGuard, AToolReplacedWhileItsPackageDownloadsGetsNothing)
{
    const int com = 23;
    Installation inst;
    UpdateServer server;
    // A slow download: the tool is swapped before it ends.
    ASSERT_TRUE(server.Start("--rate 12000 --only _V2.34_"));
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    CSimulatedTool first;
    ASSERT_TRUE(PlugTool(first, com));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdOnline, 3)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    ASSERT_TRUE(WaitFor([&] { return kelvo.ItemText(0, 6).find(L"KB/s") != std::wstring::npos; }, 20000))
        << "the download is under way: " << Narrow(kelvo.ItemText(0, 6));

    // Pulled out, and a tool plugged in on the same port and identified.
    first.Unplug(false);
    kelvo.TellDeviceChange();
    ASSERT_TRUE(WaitFor([&] { return !Identified(kelvo); }, 10000));
    ::Sleep(1200);  // device changes within a second of each other count once
    CSimulatedTool second;
    ASSERT_TRUE(PlugTool(second, com));
    kelvo.TellDeviceChange();
    EXPECT_TRUE(WaitFor([&] { return Identified(kelvo); }, 10000)) << Narrow(StatusText(kelvo.Main()));

    HWND box = kelvo.WaitMessage(40000);
    ASSERT_NE(box, nullptr) << "the failure once the download has ended";
    EXPECT_NE(ChildTexts(box).find(kTransferFailed), std::wstring::npos) << Narrow(ChildTexts(box));
    Screenshot(box, L"guard-tool-replaced");
    EXPECT_TRUE(Exists(inst.Path(L"update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin"))) << "downloaded first";
    PressButton(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 5000));
    EXPECT_EQ(second.ReadLog().find("46 58 C0"), std::string::npos) << "nothing was written: " << second.ReadLog();
    EXPECT_EQ(first.ReadLog().find("46 58 C0"), std::string::npos);
    EXPECT_FALSE(Recorded(inst));
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 5000));
    EXPECT_EQ(kelvo.Close(), 1u);
}
