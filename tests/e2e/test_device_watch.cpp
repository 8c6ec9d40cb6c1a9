// The main window's device watch with the simulated QB345 plugged into the
// Wine prefix: status text and icon follow the tool in and out.
#include "e2e/support/driver.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <memory>
#include <cstdlib>
#include <cstring>

using namespace kelvo::e2e;

namespace {

const DWORD kStartMs = 60000;  // generous: a loaded machine starts Wine programs slowly
const wchar_t kGuid[] = L"{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

std::string Narrow(const std::wstring& w) { return std::string(w.begin(), w.end()); }

std::wstring InterfaceKey()
{
    return std::wstring(L"System\\CurrentControlSet\\Control\\DeviceClasses\\") + kGuid +
           L"\\##?#USB#VID_0483&PID_5740#0001#" + kGuid;
}

void SetString(const std::wstring& key, const wchar_t* name, const std::wstring& value)
{
    HKEY h;
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(h, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    ::RegCloseKey(h);
}

void SetLinked(DWORD linked)
{
    HKEY h;
    std::wstring key = InterfaceKey() + L"\\#\\Control";
    ASSERT_EQ(::RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr),
              ERROR_SUCCESS);
    ::RegSetValueExW(h, L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked), sizeof linked);
    ::RegCloseKey(h);
}

// The simulated tool on a pty linked as COM<port> of this prefix.
class PluggedTool {
public:
    explicit PluggedTool(int com, const std::string& extra = "") : m_com(com)
    {
        const std::string bin = Narrow(Env(L"KELVO_BIN"));
        const std::string prefix = Narrow(Env(L"WINEPREFIX"));
        // A folder per plug-in: a simulator still ending removes its own files.
        static int count = 0;
        m_dir = "/tmp/kelvo-e2e-tool-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(++count);
        RunUnix("mkdir -p " + m_dir + " && rm -f " + m_dir + "/pty");
        const std::string link = prefix + "/dosdevices/com" + std::to_string(com);
        RunUnix("(" + bin + "/bin/kelvo-qbsim --model QB345 --link " + link + " --path-file " + m_dir +
                    "/pty --log " + m_dir + "/frames.log " + extra + " >/dev/null 2>&1 & echo $! > " + m_dir + "/pid)",
                10000);
        // Unix exit codes do not cross into Wine: wait for the file the simulator writes.
        const std::wstring ptyFile = WindowsPathOf(m_dir + "/pty");
        m_ok = WaitFor([&] { return ::GetFileAttributesW(ptyFile.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000);
        SetString(L"HARDWARE\\DEVICEMAP\\SERIALCOMM", L"\\Device\\USBSER000", L"COM" + std::to_wstring(com));
        SetString(L"System\\CurrentControlSet\\Enum\\USB\\VID_0483&PID_5740\\0001", L"ClassGUID",
                  L"{36fc9e60-c465-11cf-8056-444553540000}");
        SetString(InterfaceKey(), L"DeviceInstance", L"USB\\VID_0483&PID_5740\\0001");
        SetString(InterfaceKey() + L"\\#", L"SymbolicLink",
                  std::wstring(L"\\\\?\\USB#VID_0483&PID_5740#0001#") + kGuid);
        SetLinked(1);
    }
    ~PluggedTool()
    {
        Unplug();
        RunUnix("kill $(cat " + m_dir + "/pid) 2>/dev/null; rm -rf " + m_dir);
    }
    void Unplug()
    {
        SetLinked(0);
        HKEY h;
        if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_ALL_ACCESS, &h) ==
            ERROR_SUCCESS) {
            ::RegDeleteValueW(h, L"\\Device\\USBSER000");
            ::RegCloseKey(h);
        }
    }
    bool Ok() const { return m_ok; }
    const std::string& Dir() const { return m_dir; }

private:
    int m_com;
    std::string m_dir;
    bool m_ok = false;
};

std::wstring StatusText(HWND main) { return WindowText(::GetDlgItem(main, 1029)); }

} // namespace

TEST(DeviceWatch, PluggingInShowsTheModelUnpluggingShowsNoTool)
{
    Installation inst;
    KelvoProcess kelvo(inst);
    HWND main = kelvo.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr);
    ASSERT_TRUE(WaitFor([&] { return !StatusText(main).empty(); }, 5000));
    const std::wstring noTool = StatusText(main);

    {
        PluggedTool tool(7);
        ASSERT_TRUE(tool.Ok()) << "the simulator did not start; KELVO_BIN=" << Narrow(Env(L"KELVO_BIN")) << " WINEPREFIX=" << Narrow(Env(L"WINEPREFIX"));
        ::SendMessageTimeoutW(main, WM_DEVICECHANGE, 0x0007, 0, SMTO_NORMAL, 10000, nullptr);
        ASSERT_TRUE(WaitFor([&] { return StatusText(main).find(L" --- QB345") != std::wstring::npos; }, 10000))
            << "status: " << Narrow(StatusText(main));
        ::Sleep(300);
        Screenshot(main, L"device-plugged-in");

        tool.Unplug();
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

HWND FindDescendant(HWND root, int id)
{
    struct Ctx {
        int id;
        HWND found;
    } ctx{id, nullptr};
    struct Cb {
        static BOOL CALLBACK Each(HWND h, LPARAM lp)
        {
            auto* c = reinterpret_cast<Ctx*>(lp);
            if (::GetDlgCtrlID(h) == c->id) {
                c->found = h;
                return FALSE;
            }
            return TRUE;
        }
    };
    ::EnumChildWindows(root, &Cb::Each, reinterpret_cast<LPARAM>(&ctx));
    return ctx.found;
}

} // namespace

namespace {

// Images the simulated tool received, per test.
std::string ImagePrefix()
{
    return "/tmp/kelvo-e2e-image-" + std::to_string(::GetCurrentProcessId()) + "-" +
           ::testing::UnitTest::GetInstance()->current_test_info()->name() + "-";
}

// Puts a 5000-byte QB345 package into update\, starts Kelvo with the tool
// plugged in, lists the local packages, ticks row 0 and answers Yes.
struct LocalUpdateRun {
    void Start(Installation& inst, PluggedTool& tool, bool answerYes = true)
    {
        const std::string bin = Narrow(Env(L"KELVO_BIN"));
        image = tool.Dir() + "/main.img";
        const std::string unixUpdate = UnixPathOf(inst.Path(L"update"));
        ASSERT_FALSE(unixUpdate.empty());
        RunUnix("head -c 5000 /dev/urandom > " + image + " && " + bin +
                "/bin/kelvo-pkgbuild --type 1 --model QB345 --version 2.34 --set EN-FR-ES-DE-IT --date 20191023 "
                "--out '" + unixUpdate + "' " + image);
        const std::wstring package = inst.Path(L"update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin");
        ASSERT_TRUE(WaitFor([&] { return ::GetFileAttributesW(package.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));

        kelvo = std::make_unique<KelvoProcess>(inst);
        main = kelvo->WaitMainWindow(kStartMs);
        ASSERT_NE(main, nullptr);
        ::SendMessageTimeoutW(main, WM_DEVICECHANGE, 0x0007, 0, SMTO_NORMAL, 10000, nullptr);
        ASSERT_TRUE(WaitFor([&] { return StatusText(main).find(L" --- QB345") != std::wstring::npos; }, 10000));

        local = FindDescendant(main, 1010);
        HWND list = FindDescendant(main, 1003);
        ASSERT_TRUE(local && list);
        ::PostMessageW(::GetParent(local), WM_COMMAND, MAKEWPARAM(1010, BN_CLICKED), reinterpret_cast<LPARAM>(local));
        ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 1; }, 15000))
            << "one local package row";
        EXPECT_FALSE(::IsWindowEnabled(local)) << "the button of the shown list stays disabled";

        // Tick row 0's check box with a real click.
        HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
        RECT hr{};
        ::GetWindowRect(header, &hr);
        ClickClient(list, 9, (hr.bottom - hr.top) + 9);
        HWND confirm = WaitWindow(kelvo->Pid(), L"Kelvo", 10000);
        ASSERT_NE(confirm, nullptr) << "the confirmation";
        Screenshot(confirm, L"update-confirmation");
        PressButton(confirm, answerYes ? IDYES : IDNO);
        ASSERT_TRUE(WaitFor([&] { return !::IsWindow(confirm); }, 5000));
        this->list = list;
        started = true;
    }
    std::unique_ptr<KelvoProcess> kelvo;
    HWND main = nullptr;
    HWND local = nullptr;
    HWND list = nullptr;
    std::string image;
    bool started = false;
};

} // namespace

TEST(LocalUpdate, TickedAndConfirmedPackageIsWrittenIntoTheToolAndRecorded)
{
    Installation inst;
    PluggedTool tool(8, "--images " + ImagePrefix());
    ASSERT_TRUE(tool.Ok());
    LocalUpdateRun run;
    run.Start(inst, tool);
    ASSERT_TRUE(run.started);

    const std::string expected = ReadWholeFile(WindowsPathOf(run.image));
    const std::wstring received = WindowsPathOf(ImagePrefix() + "0.bin");
    EXPECT_TRUE(WaitFor([&] { return !expected.empty() && ReadWholeFile(received) == expected; }, 30000))
        << "the tool received exactly the image";
    EXPECT_TRUE(WaitFor(
        [&] { return inst.ReadFile(L"Kelvo.cfg").find("QB345= V2.34\r\n") != std::string::npos; }, 10000))
        << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_TRUE(WaitFor([&] { return ::IsWindowEnabled(run.local) != FALSE; }, 5000)) << "buttons enabled after success";
    ::Sleep(500);
    Screenshot(run.main, L"update-local-done");
    ::DeleteFileW(received.c_str());
    ::PostMessageW(run.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(run.kelvo->WaitExit(10000), 1u);
}

TEST(LocalUpdate, DecliningTheConfirmationUnchecksTheRowAndStartsNothing)
{
    Installation inst;
    PluggedTool tool(11, "--images " + ImagePrefix());
    ASSERT_TRUE(tool.Ok());
    LocalUpdateRun run;
    run.Start(inst, tool, false);
    ASSERT_TRUE(run.started);
    EXPECT_TRUE(WaitFor(
        [&] { return (::SendMessageW(run.list, LVM_GETITEMSTATE, 0, LVIS_STATEIMAGEMASK) >> 12) == 1; }, 3000))
        << "the row's check box is cleared";
    ::Sleep(1000);
    const std::string frames = ReadWholeFile(WindowsPathOf(tool.Dir() + "/frames.log"));
    EXPECT_NE(frames.find("46 58 C9"), std::string::npos) << "the tool was identified";
    EXPECT_EQ(frames.find("46 58 C0"), std::string::npos) << "no transfer started: " << frames;
    EXPECT_EQ(inst.ReadFile(L"Kelvo.cfg").find("V2.34"), std::string::npos);
    // No update runs: closing does not ask.
    ::PostMessageW(run.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(run.kelvo->WaitExit(10000), 1u);
}

TEST(LocalUpdate, ClosingDuringATransferAsksAndNoKeepsItRunning)
{
    Installation inst;
    // A slow erase keeps the transfer running while the user tries to close.
    PluggedTool tool(9, "--delay C2:4000 --images " + ImagePrefix());
    ASSERT_TRUE(tool.Ok());
    LocalUpdateRun run;
    run.Start(inst, tool);
    ASSERT_TRUE(run.started);
    ::Sleep(500);
    ::PostMessageW(run.main, WM_CLOSE, 0, 0);
    HWND ask = WaitWindow(run.kelvo->Pid(), L"Kelvo", 5000);
    ASSERT_NE(ask, nullptr) << "closing during an update asks";
    Screenshot(ask, L"update-close-question");
    PressButton(ask, IDNO);
    EXPECT_EQ(run.kelvo->WaitExit(1000), static_cast<DWORD>(STILL_ACTIVE)) << "No keeps the program running";
    EXPECT_TRUE(WaitFor(
        [&] { return inst.ReadFile(L"Kelvo.cfg").find("QB345= V2.34\r\n") != std::string::npos; }, 30000))
        << "the transfer went on to its end";
    ::DeleteFileW(WindowsPathOf(ImagePrefix() + "0.bin").c_str());
    // With the update over, closing no longer asks.
    ::PostMessageW(run.main, WM_CLOSE, 0, 0);
    EXPECT_EQ(run.kelvo->WaitExit(10000), 1u);
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
    const int before = HighlightPixels(main, caption);
    ClickClient(main, 20 + d / 2, 190);
    ::Sleep(500);
    EXPECT_EQ(HighlightPixels(main, caption), before) << "a second click on the current tab changes nothing";
    Screenshot(main, L"tab-zero-selected");
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}

TEST(ServerUpdate, NewerPackageIsDownloadedWrittenRecordedAndThenNothingNewerIsOffered)
{
    Installation inst;
    const std::string bin = Narrow(Env(L"KELVO_BIN"));
    const std::string src = Narrow(Env(L"KELVO_SOURCE"));
    const std::string dir = "/tmp/kelvo-e2e-server-" + std::to_string(::GetCurrentProcessId());
    RunUnix("rm -rf " + dir + " && mkdir -p " + dir + " && " + src + "/tools/updserver/make-demo-content " + dir +
            "/root " + bin + "/bin/kelvo-pkgbuild >/dev/null 2>&1 && (python3 " + src +
            "/tools/updserver/kelvo-updserver --port 0 --port-file " + dir + "/port --log " + dir + "/log " + dir +
            "/root >/dev/null 2>&1 & echo $! > " + dir + "/pid)");
    const std::wstring portFile = WindowsPathOf(dir + "/port");
    ASSERT_TRUE(WaitFor([&] { return !ReadWholeFile(portFile).empty(); }, 20000)) << "the update server did not start";
    const int port = std::atoi(ReadWholeFile(portFile).c_str());
    std::string cfg = inst.ReadFile(L"Kelvo.cfg");
    const size_t at = cfg.find("DownloadLink = ");
    ASSERT_NE(at, std::string::npos);
    cfg = cfg.substr(0, at) + "DownloadLink = http://127.0.0.1:" + std::to_string(port) + "/Update/\r\n";
    inst.WriteFile(L"Kelvo.cfg", cfg);

    PluggedTool tool(10, "--images " + ImagePrefix());
    ASSERT_TRUE(tool.Ok());
    KelvoProcess kelvo(inst);
    HWND main = kelvo.WaitMainWindow(kStartMs);
    ASSERT_NE(main, nullptr);
    ::SendMessageTimeoutW(main, WM_DEVICECHANGE, 0x0007, 0, SMTO_NORMAL, 10000, nullptr);
    ASSERT_TRUE(WaitFor([&] { return StatusText(main).find(L" --- QB345") != std::wstring::npos; }, 10000));

    HWND online = FindDescendant(main, 1002);
    HWND list = FindDescendant(main, 1003);
    ASSERT_TRUE(online && list);
    ::PostMessageW(::GetParent(online), WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), reinterpret_cast<LPARAM>(online));
    // English is in all three language sets of the catalogue.
    ASSERT_TRUE(WaitFor([&] { return ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0) == 3; }, 20000))
        << "rows: " << ::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    ::Sleep(1500);  // the size column asks the server once per row
    Screenshot(main, L"update-server-list");

    HWND header = reinterpret_cast<HWND>(::SendMessageW(list, LVM_GETHEADER, 0, 0));
    RECT hr{};
    ::GetWindowRect(header, &hr);
    ClickClient(list, 9, (hr.bottom - hr.top) + 9);
    HWND confirm = WaitWindow(kelvo.Pid(), L"Kelvo", 10000);
    ASSERT_NE(confirm, nullptr);
    PressButton(confirm, IDYES);

    const std::wstring downloaded = inst.Path(L"update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin");
    EXPECT_TRUE(WaitFor([&] { return ::GetFileAttributesW(downloaded.c_str()) != INVALID_FILE_ATTRIBUTES; }, 30000))
        << "the package is downloaded into update\\";
    EXPECT_TRUE(WaitFor(
        [&] { return inst.ReadFile(L"Kelvo.cfg").find("QB345= V2.34\r\n") != std::string::npos; }, 30000))
        << inst.ReadFile(L"Kelvo.cfg");
    EXPECT_TRUE(WaitFor([&] { return ::GetFileAttributesW(WindowsPathOf(ImagePrefix() + "0.bin").c_str()) !=
                                         INVALID_FILE_ATTRIBUTES; },
                        5000))
        << "the tool received the image";
    ::Sleep(300);
    Screenshot(main, L"update-server-done");

    // The recorded version is current now: nothing newer is offered.
    ASSERT_TRUE(WaitFor([&] { return ::IsWindowEnabled(online) != FALSE; }, 5000));
    ::PostMessageW(::GetParent(online), WM_COMMAND, MAKEWPARAM(1002, BN_CLICKED), reinterpret_cast<LPARAM>(online));
    HWND nothing = WaitWindow(kelvo.Pid(), L"Kelvo", 20000);
    ASSERT_NE(nothing, nullptr) << "the 'nothing newer' message";
    EXPECT_EQ(::SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 0);
    Screenshot(nothing, L"update-server-nothing-newer");
    PressButton(nothing, IDOK);

    ::DeleteFileW(WindowsPathOf(ImagePrefix() + "0.bin").c_str());
    RunUnix("kill $(cat " + dir + "/pid) 2>/dev/null; rm -rf " + dir);
    ::PostMessageW(main, WM_CLOSE, 0, 0);
    EXPECT_EQ(kelvo.WaitExit(10000), 1u);
}
