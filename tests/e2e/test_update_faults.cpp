// Firmware updates that go wrong, end to end: each fault gives its message,
// nothing broken is written or recorded, and the page stays usable, so that
// the user can try again and succeed.
#include "e2e/support/scenario.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace kelvo::e2e;
using kelvo::plug::CSimulatedTool;

namespace {

const wchar_t kLocalName[] = L"update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin";

bool Recorded(const Installation& inst) { return inst.ReadFile(L"Kelvo.cfg").find("V2.34") != std::string::npos; }

bool Exists(const std::wstring& path) { return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Ticks row 0 and answers the confirmation with Yes.
void TickAndConfirm(KelvoWithTool& kelvo)
{
    kelvo.ClickFirstCheckBox();
    HWND confirm = kelvo.WaitMessage(10000);
    ASSERT_NE(confirm, nullptr) << "the confirmation";
    ASSERT_NE(ChildTexts(confirm).find(L"Write the selected firmware"), std::wstring::npos)
        << Narrow(ChildTexts(confirm));
    PressButton(confirm, IDYES);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(confirm); }, 5000));
}

// Waits for a message box holding `text`, screenshots it and presses OK.
void ExpectMessage(KelvoWithTool& kelvo, const std::wstring& text, const wchar_t* shot, DWORD ms = 20000)
{
    HWND box = kelvo.WaitMessage(ms);
    ASSERT_NE(box, nullptr) << "no message box; expected: " << Narrow(text);
    EXPECT_NE(ChildTexts(box).find(text), std::wstring::npos) << Narrow(ChildTexts(box));
    Screenshot(box, shot);
    PressButton(box, IDOK);
    ASSERT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 5000));
}

const wchar_t kTransferFailed[] = L"The update failed. Keep the scan tool connected and try again.";

// Waits for the failure message of a transfer and checks that it is modal to
// the program: owned by the main window, which it disables. Left open.
HWND WaitFailure(KelvoWithTool& kelvo, const wchar_t* shot)
{
    HWND box = kelvo.WaitMessage(30000);
    if (!box) {
        ADD_FAILURE() << "no message box; expected: " << Narrow(kTransferFailed);
        return nullptr;
    }
    EXPECT_NE(ChildTexts(box).find(kTransferFailed), std::wstring::npos) << Narrow(ChildTexts(box));
    EXPECT_EQ(::GetWindow(box, GW_OWNER), kelvo.Main()) << "owned by the main window";
    EXPECT_FALSE(::IsWindowEnabled(kelvo.Main())) << "the main window waits for the answer";
    Screenshot(box, shot);
    return box;
}

void Answer(HWND box)
{
    if (!box)
        return;
    PressButton(box, IDOK);
    EXPECT_TRUE(WaitFor([&] { return !::IsWindow(box); }, 5000));
}

// Pulls `old` out (Kelvo sees it go), then plugs `next` in on the same port
// and waits for its identification.
bool Replug(KelvoWithTool& kelvo, CSimulatedTool& old, CSimulatedTool& next, int com,
            const std::vector<std::string>& options = {})
{
    old.Unplug(false);
    kelvo.TellDeviceChange();
    if (!WaitFor([&] { return StatusText(kelvo.Main()).find(L" --- QB345") == std::wstring::npos; }, 10000))
        return false;
    ::Sleep(1200);  // device changes within a second of each other count once
    if (!PlugTool(next, com, options))
        return false;
    kelvo.TellDeviceChange();
    return WaitFor([&] { return StatusText(kelvo.Main()).find(L" --- QB345") != std::wstring::npos; }, 10000);
}

} // namespace

TEST(UpdateFaults, RefusalWrongStatusAndUnplugEachEndInTheFailureAndTheNextTrySucceeds)
{
    const int com = 17;
    Installation inst;
    ScratchFolder scratch("faults");
    const std::string image = scratch.Unix() + "/main.img";
    ASSERT_FALSE(MakeLocalPackage(inst, image, 3 * 2048).empty());

    // The tool refuses the erase.
    CSimulatedTool refusing;
    ASSERT_TRUE(PlugTool(refusing, com, {"--refuse", "C2"}));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    Answer(WaitFailure(kelvo, L"fault-refused-erase"));
    EXPECT_TRUE(WaitFor([&] { return !kelvo.Checked(0); }, 5000)) << "the row is unchecked";
    EXPECT_FALSE(Recorded(inst));

    // The tool answers Start with a wrong status.
    CSimulatedTool wrong;
    ASSERT_TRUE(Replug(kelvo, refusing, wrong, com, {"--wrong-status", "C0"}));
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    Answer(WaitFailure(kelvo, L"fault-wrong-status-start"));
    EXPECT_TRUE(WaitFor([&] { return !kelvo.Checked(0); }, 5000));
    EXPECT_FALSE(Recorded(inst));

    // The tool is pulled out at block 1, and Windows reports it gone.
    CSimulatedTool pulled;
    ASSERT_TRUE(Replug(kelvo, wrong, pulled, com, {"--unplug-at-block", "1"}));
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    ASSERT_TRUE(WaitFor([&] { return pulled.ReadLog().find("unplugged at block 1") != std::string::npos; }, 20000));
    pulled.Unplug(false);
    kelvo.TellDeviceChange();
    HWND box = WaitFailure(kelvo, L"fault-unplugged");
    EXPECT_EQ(kelvo.Rows(), 1) << "the row stays while its worker ends";
    // Plugged back in before the message is answered: the failed transfer has
    // given its port up, so the tool is identified at once.
    ::Sleep(1200);
    CSimulatedTool back;
    ASSERT_TRUE(PlugTool(back, com));
    // Windows announces an arrival more than once; so does the test, since on a
    // loaded machine the first scan can come before the new device is listed.
    bool identified = false;
    for (int i = 0; i < 10 && !identified; ++i) {
        kelvo.TellDeviceChange();
        identified = WaitFor([&] { return StatusText(kelvo.Main()).find(L" --- QB345") != std::wstring::npos; }, 2000);
    }
    EXPECT_TRUE(identified) << Narrow(StatusText(kelvo.Main()));
    Answer(box);
    // The last worker has ended: the page takes the state the unplug asked for.
    EXPECT_TRUE(WaitFor([&] { return kelvo.Rows() == 0; }, 5000));
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.LocalButton()) && ::IsWindowEnabled(kelvo.OnlineButton()); },
                        5000));
    EXPECT_FALSE(Recorded(inst));

    // The next try succeeds.
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    EXPECT_FALSE(kelvo.Checked(0));
    TickAndConfirm(kelvo);
    const std::string expected = ReadWholeFile(WindowsPathOf(image));
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(back.ImagePath(0)) == expected; }, 30000));
    EXPECT_TRUE(WaitFor([&] { return Recorded(inst); }, 10000)) << inst.ReadFile(L"Kelvo.cfg");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.LocalButton()) != FALSE; }, 5000));
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(UpdateFaults, ToolSilentAtABlockShowsTheFailureAndAFreshTryAfterReplugSucceeds)
{
    Installation inst;
    CSimulatedTool hung;
    ASSERT_TRUE(PlugTool(hung, 12, {"--silent-from-block", "2"}));
    const std::string image = hung.UnixFolder() + "/main.img";
    ASSERT_FALSE(MakeLocalPackage(inst, image, 5 * 2048).empty());
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);

    ExpectMessage(kelvo, L"The update failed. Keep the scan tool connected and try again.", L"fault-tool-silent");
    // The failure leaves the local list shown: its own button stays disabled, the other is usable.
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 5000));
    EXPECT_FALSE(::IsWindowEnabled(kelvo.LocalButton()));
    // The worker's end follows its failure: wait for it rather than race it.
    EXPECT_TRUE(WaitFor([&] { return !kelvo.Checked(0); }, 5000)) << "the worker's end clears the row's check box";
    EXPECT_FALSE(Recorded(inst)) << "a failed transfer records no version";
    EXPECT_NE(hung.ReadLog().find("46 58 C1 00 50 00 08"), std::string::npos) << "block 2 was announced";
    Screenshot(kelvo.Main(), L"fault-tool-silent-page");

    // The user unplugs the hung tool, plugs it in again and retries.
    hung.Unplug(false);
    kelvo.TellDeviceChange();
    ASSERT_TRUE(WaitFor([&] { return StatusText(kelvo.Main()).find(L" --- QB345") == std::wstring::npos; }, 10000));
    ::Sleep(1200);  // device changes within a second of each other count once
    CSimulatedTool healthy;
    ASSERT_TRUE(PlugTool(healthy, 12));
    kelvo.TellDeviceChange();
    ASSERT_TRUE(WaitFor([&] { return StatusText(kelvo.Main()).find(L" --- QB345") != std::wstring::npos; }, 10000));
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.LocalButton()) != FALSE; }, 5000))
        << "the tool's return makes the local list available again";
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    const std::string expected = ReadWholeFile(WindowsPathOf(image));
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(healthy.ImagePath(0)) == expected; }, 30000));
    EXPECT_TRUE(WaitFor([&] { return Recorded(inst); }, 10000)) << inst.ReadFile(L"Kelvo.cfg");
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.LocalButton()) != FALSE; }, 5000));
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(UpdateFaults, CorruptPackageIsRefusedBeforeAnythingIsSentToTheTool)
{
    Installation inst;
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 13));
    ASSERT_FALSE(MakeLocalPackage(inst, tool.UnixFolder() + "/main.img", 3000).empty());
    // One flipped bit in the image: the checksum no longer matches.
    std::string bytes = inst.ReadFile(kLocalName);
    ASSERT_GT(bytes.size(), 3000u);
    bytes[bytes.size() - 10] ^= 0x01;
    inst.WriteFile(kLocalName, bytes);

    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    ExpectMessage(kelvo, L"This file is not a valid firmware package.", L"fault-corrupt-package");
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 5000));
    EXPECT_EQ(tool.ReadLog().find("46 58 C0"), std::string::npos) << "no transfer was started";
    EXPECT_FALSE(Recorded(inst));
    EXPECT_EQ(inst.ReadFile(kLocalName), bytes) << "the package file is left as it was";
    EXPECT_EQ(kelvo.Close(), 1u) << "nothing runs: closing does not ask";
}

TEST(UpdateFaults, ASecondWorkerFindsThePortHeldWhileTheFirstWritesOnToItsEnd)
{
    Installation inst;
    CSimulatedTool tool;
    // A slow erase: the first transfer holds the port while the user ticks the
    // row again, answers two messages and tries to close, even on a loaded machine.
    ASSERT_TRUE(PlugTool(tool, 14, {"--delay", "C2:15000"}));
    const std::string image = tool.UnixFolder() + "/main.img";
    ASSERT_FALSE(MakeLocalPackage(inst, image, 3 * 2048).empty());
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;
    ASSERT_TRUE(kelvo.ListShows(kIdLocal, 1)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    ASSERT_TRUE(WaitFor([&] { return tool.ReadLog().find("< 46 58 C2") != std::string::npos; }, 10000))
        << "the first transfer is erasing";

    // Unchecking a running row does nothing; checking it again starts a second worker.
    kelvo.ClickFirstCheckBox();
    ASSERT_TRUE(WaitFor([&] { return !kelvo.Checked(0); }, 3000));
    TickAndConfirm(kelvo);
    ExpectMessage(kelvo, L"Cannot open the scan tool's port.", L"fault-port-held");

    // The first transfer still runs: closing asks, and No keeps it going.
    ::PostMessageW(kelvo.Main(), WM_CLOSE, 0, 0);
    HWND ask = kelvo.WaitMessage(5000);
    ASSERT_NE(ask, nullptr) << "the second worker's failure must not end the update in progress";
    EXPECT_NE(ChildTexts(ask).find(L"Close anyway?"), std::wstring::npos) << Narrow(ChildTexts(ask));
    PressButton(ask, IDNO);

    const std::string expected = ReadWholeFile(WindowsPathOf(image));
    EXPECT_TRUE(WaitFor([&] { return ReadWholeFile(tool.ImagePath(0)) == expected; }, 30000))
        << "the first transfer completed";
    EXPECT_TRUE(WaitFor([&] { return Recorded(inst); }, 10000)) << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_EQ(ReadWholeFile(tool.ImagePath(1)), "") << "one image only";
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.LocalButton()) != FALSE; }, 5000));
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(ServerFaults, ServerDownGivesTheNetworkMessageAndThePageStaysUsable)
{
    Installation inst;
    UpdateServer server;
    // A port that was just served and is now closed: nothing answers there.
    ASSERT_TRUE(server.Start());
    server.Stop();
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 15));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;

    kelvo.Click(kIdOnline);
    ExpectMessage(kelvo, L"Cannot connect to the update server.", L"fault-server-down", 40000);
    EXPECT_EQ(kelvo.Rows(), 0);
    EXPECT_EQ(::GetFileAttributesW(inst.Path(L"update\\version.sv").c_str()), INVALID_FILE_ATTRIBUTES)
        << "no catalogue is left behind";
    // The local list is still there to use; with no local package it says so
    // and makes the server list available again.
    ASSERT_TRUE(::IsWindowEnabled(kelvo.LocalButton()));
    kelvo.Click(kIdLocal);
    ExpectMessage(kelvo, L"No firmware package for this scan tool", L"fault-server-down-local");
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 5000));
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(ServerFaults, DownloadCutShortLeavesNoPackageAndASecondTryDownloadsAgain)
{
    Installation inst;
    UpdateServer server;
    // Only the package is cut short; the catalogue arrives whole.
    ASSERT_TRUE(server.Start("--close-after 5000 --only _V2.34_"));
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 16));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;

    ASSERT_TRUE(kelvo.ListShows(kIdOnline, 3)) << "rows: " << kelvo.Rows();
    TickAndConfirm(kelvo);
    const std::wstring package = inst.Path(kLocalName);
    EXPECT_TRUE(WaitFor([&] { return kelvo.ItemText(0, 6).find(L"Download incomplete") != std::wstring::npos; },
                        30000))
        << Narrow(kelvo.ItemText(0, 6));
    EXPECT_FALSE(Exists(package)) << "nothing under the package's own name";
    EXPECT_FALSE(Exists(package + L".part")) << "no partial file left";
    EXPECT_TRUE(WaitFor([&] { return !kelvo.Checked(0); }, 5000)) << "a failed download unticks its row";
    EXPECT_EQ(tool.ReadLog().find("46 58 C0"), std::string::npos) << "nothing was written into the tool";
    EXPECT_FALSE(Recorded(inst));
    Screenshot(kelvo.Main(), L"fault-download-cut-short");

    // The server is healthy again on the same address; one tick tries anew.
    const int port = server.Port();
    ASSERT_TRUE(server.Start("", port));
    TickAndConfirm(kelvo);
    EXPECT_TRUE(WaitFor([&] { return Recorded(inst); }, 40000)) << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_TRUE(Exists(package)) << "downloaded again, whole";
    EXPECT_FALSE(ReadWholeFile(tool.ImagePath(0)).empty()) << "and written into the tool";
    // The server's log: the cut request, then one that sent the whole package.
    const std::string log = server.Log();
    const std::string get = "GET /Update/QB345/QB345_V2.34_EN-FR-ES-DE-IT.bin 200 ";
    const size_t cut = log.find(get + "5000\n");
    EXPECT_NE(cut, std::string::npos) << log;
    EXPECT_NE(log.find(get + std::to_string(inst.ReadFile(kLocalName).size()) + "\n", cut), std::string::npos) << log;
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(kelvo.OnlineButton()) != FALSE; }, 5000));
    EXPECT_EQ(kelvo.Close(), 1u);
}

TEST(ServerFaults, AServerThatTakesFiveSecondsNeverFreezesTheWindow)
{
    Installation inst;
    UpdateServer server;
    ASSERT_TRUE(server.Start("--delay 5000 --only Zendrix"));
    ASSERT_TRUE(PointDownloadLinkAt(inst, server.Address()));
    CSimulatedTool tool;
    ASSERT_TRUE(PlugTool(tool, 16));
    KelvoWithTool kelvo;
    std::string why;
    ASSERT_TRUE(kelvo.Start(inst, &why)) << why;

    // From the click to the last row, the window answers every probe within
    // 100 ms: through the identification's waits and the server's silence.
    kelvo.Click(kIdOnline);
    const DWORD start = ::GetTickCount();
    int probes = 0, unanswered = 0;
    DWORD slowest = 0;
    bool shot = false;
    while (kelvo.Rows() < 3 && ::GetTickCount() - start < 40000) {
        DWORD_PTR result = 0;
        const DWORD before = ::GetTickCount();
        if (!::SendMessageTimeoutW(kelvo.Main(), WM_NULL, 0, 0, SMTO_ABORTIFHUNG, 100, &result))
            ++unanswered;
        slowest = std::max(slowest, ::GetTickCount() - before);
        ++probes;
        if (!shot && ::GetTickCount() - start > 3000) {
            Screenshot(kelvo.Main(), L"responsive-checking");
            shot = true;
        }
        ::Sleep(20);
    }
    const DWORD took = ::GetTickCount() - start;
    EXPECT_EQ(kelvo.Rows(), 3);
    EXPECT_GE(took, 5000u) << "the server did keep the catalogue back";
    EXPECT_EQ(unanswered, 0) << "of " << probes << " probes; the slowest took " << slowest << " ms";
    EXPECT_GT(probes, 100);
    // The list is complete and works as before.
    EXPECT_FALSE(::IsWindowEnabled(kelvo.OnlineButton()));
    EXPECT_TRUE(::IsWindowEnabled(kelvo.LocalButton()));
    Screenshot(kelvo.Main(), L"responsive-listed");
    EXPECT_EQ(kelvo.Close(), 1u);
}
