// The Win32 back ends of the device link under Wine: the serial channel on a
// pty COM port, the USB presence test and the serial port map (in a private
// registry), and the identification over the ports the map lists.
#include "device/core/Discovery.h"
#include "device/core/Identify.h"
#include "support/fake_device_host.h"
#include "device/core/IntPort.h"
#include "tools/plug/plug.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

void ConfigureChannelDcb(DCB& dcb);  // platform/win/IntPort_win.cpp

using kelvo::plug::CPrivateMachineKey;
using kelvo::plug::CSimulatedTool;

namespace {

const uint8_t kIdentify[3] = {0x46, 0x58, 0xC9};
const std::wstring kTool = L"VID_0483&PID_5740";

DWORD Since(DWORD start) { return ::GetTickCount() - start; }

using Host = kelvo::test::FakeDeviceHost;

// COM numbers of this program: far from the ones the end-to-end tests use.
enum { kCom = 41, kComSilent = 43, kComTool = 44 };

} // namespace

TEST(WinSerialChannel, OpenCloseAndExclusionOnAComPort)
{
    CSimulatedTool tool;
    ASSERT_TRUE(tool.Plug("QB345", kCom, -1, {}, false, false));
    CIntPort a;
    EXPECT_EQ(a.Close(), 1) << "closing a closed channel does nothing";
    ASSERT_EQ(a.Open(kCom), 1);
    EXPECT_EQ(a.Open(kCom), 1) << "an open channel stays as it is";
    CIntPort b;
    EXPECT_EQ(b.Open(kCom), 0) << "Wine would share the port: the channel itself refuses";
    uint8_t reply[2048];
    EXPECT_EQ(a.Transact(kIdentify, 3, 100, reply), 14);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply)), "zendrix-QB345");
    EXPECT_EQ(a.Close(), 1);
    EXPECT_EQ(b.Open(kCom), 1) << "free again once closed";
    b.Close();
    CIntPort c;
    EXPECT_EQ(c.Open(kCom + 50), 0) << "no such port";
    EXPECT_EQ(c.Read(reply), -1);
    EXPECT_EQ(c.Write(kIdentify, 3), -1);
}

TEST(WinSerialChannel, TransactTimingAndReturnValues)
{
    uint8_t reply[2048];
    {
        CSimulatedTool silent;
        ASSERT_TRUE(silent.Plug("QB345", kCom, -1, {"--silent", "C9"}, false, false));
        CIntPort p;
        ASSERT_EQ(p.Open(kCom), 1);
        DWORD start = ::GetTickCount();
        EXPECT_EQ(p.Transact(kIdentify, 3, 100, reply), 0);
        const DWORD t = Since(start);
        EXPECT_GE(t, 290u) << "three attempts of the time-out each";
        EXPECT_LT(t, 2000u);
        start = ::GetTickCount();
        EXPECT_EQ(p.Transact(kIdentify, 3, 0, reply), 0) << "a time-out of 0 still polls";
        EXPECT_LT(Since(start), 500u);
        EXPECT_NE(silent.ReadLog().find("< 46 58 C9"), std::string::npos) << "the command reached the tool";
    }
    {
        CSimulatedTool refusing;
        ASSERT_TRUE(refusing.Plug("QB345", kCom, -1, {"--refuse", "C9:E3"}, false, false));
        CIntPort p;
        ASSERT_EQ(p.Open(kCom), 1);
        const DWORD start = ::GetTickCount();
        EXPECT_EQ(p.Transact(kIdentify, 3, 1000, reply), -1);
        EXPECT_LT(Since(start), 800u) << "a refusal ends the transaction at once";
    }
    {
        CSimulatedTool twoBytes;
        ASSERT_TRUE(twoBytes.Plug("QB345", kCom, -1, {"--reply", "C9:46E3"}, false, false));
        CIntPort p;
        ASSERT_EQ(p.Open(kCom), 1);
        EXPECT_EQ(p.Transact(kIdentify, 3, 300, reply), 2) << "two bytes carry no status to refuse with";
    }
}

namespace {
double ThreadCpuSeconds()
{
    FILETIME created, exited, kernel, user;
    ::GetThreadTimes(::GetCurrentThread(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& f) {
        return double((uint64_t(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}
} // namespace

TEST(WinSerialChannel, WaitingForAReplySleepsAndTakesItWhole)
{
    // The tool answers after 1.5 s, as a slow erase does: the wait is spent
    // asleep, and the reply arrives whole the moment it comes.
    CSimulatedTool slow;
    ASSERT_TRUE(slow.Plug("QB345", kCom, -1, {"--delay", "C9:1500"}, false, false));
    CIntPort p;
    ASSERT_EQ(p.Open(kCom), 1);
    uint8_t reply[2048];
    const double cpu0 = ThreadCpuSeconds();
    const DWORD start = ::GetTickCount();
    EXPECT_EQ(p.Transact(kIdentify, 3, 5000, reply), 14);
    const DWORD wall = Since(start);
    const double cpu = ThreadCpuSeconds() - cpu0;
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply)), "zendrix-QB345");
    EXPECT_GE(wall, 1400u);
    EXPECT_LT(wall, 3000u) << "taken when it arrives, not at the end of the time-out";
    EXPECT_LT(cpu, 0.3 * wall / 1000.0) << "the wait spun: " << cpu << " s of processor time in " << wall << " ms";
}

TEST(WinSerialChannel, ReadTakesAtMost2048AndLeavesTheRest)
{
    // A 5000-byte report, sent in one go right after the identification.
    const std::wstring report = L"Z:\\tmp\\kelvo-device-report-" + std::to_wstring(::GetCurrentProcessId()) + L".txt";
    {
        std::string bytes(5000, 'R');
        HANDLE h = ::CreateFileW(report.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        DWORD w = 0;
        ::WriteFile(h, bytes.data(), 5000, &w, nullptr);
        ::CloseHandle(h);
    }
    std::string unixReport = "/tmp/kelvo-device-report-" + std::to_string(::GetCurrentProcessId()) + ".txt";
    CSimulatedTool tool;
    ASSERT_TRUE(tool.Plug("QB345", kCom, -1,
                          {"--report", unixReport, "--chunk", "5000", "--report-delay", "50"}, false, false));
    CIntPort p;
    ASSERT_EQ(p.Open(kCom), 1);
    uint8_t buf[2048];
    DWORD start = ::GetTickCount();
    EXPECT_EQ(p.Read(buf), 0) << "nothing queued: no wait";
    EXPECT_LT(Since(start), 100u);
    ASSERT_EQ(p.Transact(kIdentify, 3, 100, buf), 14);
    ::Sleep(600);
    const int first = p.Read(buf);
    EXPECT_EQ(first, 2048);
    int total = first > 0 ? first : 0;
    for (int i = 0; i < 300 && total < 5000; ++i) {
        const int n = p.Read(buf);
        EXPECT_LE(n, 2048);
        if (n > 0)
            total += n;
        else
            ::Sleep(5);
    }
    EXPECT_EQ(total, 5000) << "nothing lost between reads";
    ::DeleteFileW(report.c_str());
}

TEST(WinDiscovery, ScanToolPresenceFromTheUsbDeviceList)
{
    CPrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    EXPECT_EQ(DetectScanTool(), ToolPresence::kAbsent) << "no device at all";
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(L"VID_0483&PID_5741", L"A1"));
    EXPECT_EQ(DetectScanTool(), ToolPresence::kAbsent) << "same vendor, another product";
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(kTool, L"B2", false));
    EXPECT_EQ(DetectScanTool(), ToolPresence::kAbsent) << "an interface that is not linked is not present";
    kelvo::plug::RemoveUsbDevice(kTool, L"B2");
    // Published in upper case as Windows has it (Wine hands the path back in
    // lower case; the case rule itself is tested natively).
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(kTool, L"C3"));
    EXPECT_EQ(DetectScanTool(), ToolPresence::kPresent);
    kelvo::plug::RemoveUsbDevice(kTool, L"C3");
    EXPECT_EQ(DetectScanTool(), ToolPresence::kAbsent) << "unplugged again";
}

TEST(WinDiscovery, AnEntryThatCannotBeReadNeitherHidesTheToolNorRemovesIt)
{
    CPrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    ASSERT_TRUE(kelvo::plug::PublishUnreadableUsbDevice());
    EXPECT_EQ(DetectScanTool(), ToolPresence::kUnavailable) << "cannot tell: not \"absent\"";
    // Listed before the tool (vendor 0001 sorts first): the tool is still found.
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(kTool, L"D4"));
    EXPECT_EQ(DetectScanTool(), ToolPresence::kPresent);
    kelvo::plug::RemoveUsbDevice(kTool, L"D4");
    EXPECT_EQ(DetectScanTool(), ToolPresence::kUnavailable);
    kelvo::plug::RemoveUnreadableUsbDevice();
    EXPECT_EQ(DetectScanTool(), ToolPresence::kAbsent) << "every entry read, no tool";
}

TEST(WinDiscovery, SerialPortMapInUsbSerialOrder)
{
    CPrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    std::vector<int> ports = {99};
    EXPECT_EQ(ListToolPorts(ports), 0) << "no serial port map";
    EXPECT_TRUE(ports.empty());

    ASSERT_TRUE(kelvo::plug::PublishSerialPort(2, L"COM12"));
    ASSERT_TRUE(kelvo::plug::PublishSerialPort(0, L"COM3"));
    EXPECT_EQ(ListToolPorts(ports), 2);
    EXPECT_EQ(ports, (std::vector<int>{3, 12})) << "by USBSER index, not by COM number";

    ASSERT_TRUE(kelvo::plug::PublishSerialPort(5, L"COMX"));
    ASSERT_TRUE(kelvo::plug::PublishSerialPort(199, L"COM7"));
    ASSERT_TRUE(kelvo::plug::PublishSerialPort(200, L"COM8"));  // beyond the names tried
    EXPECT_EQ(ListToolPorts(ports), 4);
    EXPECT_EQ(ports, (std::vector<int>{3, 12, 0, 7})) << "no digits: port 0, still listed";

    // Data that fills the 80 bytes without a terminating zero.
    wchar_t full[40];
    full[0] = L'C', full[1] = L'O', full[2] = L'M', full[3] = L'9';
    for (int i = 4; i < 40; ++i)
        full[i] = L'x';
    ASSERT_TRUE(kelvo::plug::PublishSerialPortRaw(5, full, sizeof full));
    for (int i = 3; i < 40; ++i)
        full[i] = L'9';
    ASSERT_TRUE(kelvo::plug::PublishSerialPortRaw(6, full, sizeof full));
    // Longer than the buffer offered: unreadable, skipped.
    wchar_t longer[60] = L"COM55";
    ASSERT_TRUE(kelvo::plug::PublishSerialPortRaw(7, longer, sizeof longer));
    EXPECT_EQ(ListToolPorts(ports), 5);
    EXPECT_EQ(ports, (std::vector<int>{3, 12, 9, 0, 7})) << "37 digits name no port";
}

TEST(WinIdentification, SkipsASilentPortAndIdentifiesTheTool)
{
    CPrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    CSimulatedTool silent, tool;
    ASSERT_TRUE(silent.Plug("QB345", kComSilent, 0, {"--silent", "C9", "--silent", "CA"}, false, false));
    ASSERT_TRUE(tool.Plug("qb345", kComTool, 1, {}, false, false));
    Host host;
    g_nDevicePort = -1;
    const DWORD start = ::GetTickCount();
    IdentifyDevice(host, 0, 0);
    const DWORD t = Since(start);
    EXPECT_GE(t, 290u) << "the silent first port is given three attempts";
    EXPECT_LT(t, 2500u);
    EXPECT_EQ(g_nDevicePort, kComTool);
    EXPECT_EQ(host.name, L"QB345") << "upper case";
    EXPECT_EQ(host.ended, 1);
    EXPECT_EQ(host.endedPort, kComTool);

    // The update variant is sent when asked for.
    IdentifyDevice(host, 0, 1);
    EXPECT_NE(tool.ReadLog().find("< 46 58 CA"), std::string::npos);
    EXPECT_EQ(g_nDevicePort, kComTool);

    // The tool's port held by a channel of ours (a transfer, the report
    // reader): the tool we hold is still the tool, with or without keep.
    CIntPort held;
    ASSERT_EQ(held.Open(kComTool), 1);
    const size_t framesBefore = tool.ReadLog().size();
    IdentifyDevice(host, 1, 0);
    EXPECT_EQ(host.name, L"QB345");
    EXPECT_EQ(g_nDevicePort, kComTool);
    IdentifyDevice(host, 0, 0);
    EXPECT_EQ(host.name, L"QB345");
    EXPECT_EQ(g_nDevicePort, kComTool);
    EXPECT_EQ(host.endedPort, kComTool);
    EXPECT_EQ(tool.ReadLog().size(), framesBefore) << "nothing was sent into the held port";
    held.Close();

    // Another port held, not the tool's: no answer anywhere clears the name.
    g_nDevicePort = kComSilent;
    ASSERT_EQ(held.Open(kComTool), 1);
    IdentifyDevice(host, 0, 0);
    EXPECT_EQ(host.name, L"");
    EXPECT_EQ(g_nDevicePort, -1);
}

TEST(WinDiscovery, WhereWindowsNamesTheToolsPortNoOtherPortIsOpened)
{
    CPrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    // A board that resets when its port is opened, listed before the tool.
    CSimulatedTool board, tool;
    ASSERT_TRUE(board.Plug("QB345", kComSilent, 0, {"--silent", "C9", "--silent", "CA"}, false, false));
    ASSERT_TRUE(tool.Plug("QB345", kComTool, 1, {}, false, false));
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(kTool, L"T1", true, L"COM" + std::to_wstring(kComTool)));
    // An instance of an earlier plug-in whose port is not present now.
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(kTool, L"T0", false, L"COM" + std::to_wstring(kComTool + 1)));
    // Another device's instance naming the board's port counts for nothing.
    ASSERT_TRUE(kelvo::plug::PublishUsbDevice(L"VID_0483&PID_5741", L"B1", true, L"COM" + std::to_wstring(kComSilent)));

    std::vector<int> ports;
    EXPECT_EQ(ListToolPorts(ports), 1);
    EXPECT_EQ(ports, (std::vector<int>{kComTool}));
    Host host;
    g_nDevicePort = -1;
    const DWORD start = ::GetTickCount();
    IdentifyDevice(host, 0, 0);
    EXPECT_LT(Since(start), 290u) << "no silent port waited for";
    EXPECT_EQ(g_nDevicePort, kComTool);
    EXPECT_EQ(host.name, L"QB345");
    EXPECT_EQ(board.ReadLog().find("46 58"), std::string::npos) << "nothing was sent to the board's port";

    // With no port name to read, every USB serial port is tried as before.
    kelvo::plug::RemoveUsbDevice(kTool, L"T1");
    kelvo::plug::RemoveUsbDevice(kTool, L"T0");
    EXPECT_EQ(ListToolPorts(ports), 2);
    EXPECT_EQ(ports, (std::vector<int>{kComSilent, kComTool}));
    IdentifyDevice(host, 0, 0);
    EXPECT_EQ(g_nDevicePort, kComTool);
    EXPECT_NE(board.ReadLog().find("< 46 58 C9"), std::string::npos) << "the fallback reaches the board too";
}

TEST(WinIdentification, RepliesThatAreNoIdentification)
{
    CPrivateMachineKey machine;
    ASSERT_TRUE(machine.Ok());
    struct Case {
        const char* reply;
        int port;             // expected g_nDevicePort
        const wchar_t* name;  // expected name
    } cases[] = {
        {"C9:7A656E647269782D", -1, L""},                 // "zendrix-" alone: 8 bytes
        {"C9:4658E57A656E647269782D5142333435", -1, L""}, // status E5: a refusal, whatever follows
        {"C9:7A656E00726978215142333435", kComTool, L""}, // zero byte before the ninth: port, no name
    };
    for (const auto& c : cases) {
        CSimulatedTool tool;
        ASSERT_TRUE(tool.Plug("QB345", kComTool, 0, {"--reply", c.reply}, false, false));
        Host host;
        g_nDevicePort = -1;
        IdentifyDevice(host, 0, 0);
        EXPECT_EQ(g_nDevicePort, c.port) << c.reply;
        EXPECT_EQ(host.name, c.name) << c.reply;
        EXPECT_EQ(host.endedPort, c.port) << c.reply;
    }
}

// The plug library's own shell step: what reaches /bin/sh is the command as
// written, quotes and backslashes included (in Windows command-line rules a
// backslash is doubled only before a quote).
TEST(WinPlugShell, TheCommandReachesTheShellAsWritten)
{
    const std::string folder = kelvo::plug::UnixPrefix() + "/drive_c";
    const std::string out = folder + "/plug-shell-" + std::to_string(::GetCurrentProcessId());
    const std::string text = "a\\b\"c\\\\ \\\"d\\";
    ASSERT_TRUE(kelvo::plug::RunUnix("printf '%s' '" + text + "' > '" + out + ".tmp' && mv '" + out + ".tmp' '" +
                                     out + "'"));
    const std::wstring path = kelvo::plug::WindowsPath(out);
    for (int i = 0; i < 250 && ::GetFileAttributesW(path.c_str()) == INVALID_FILE_ATTRIBUTES; ++i)
        ::Sleep(20);
    EXPECT_EQ(kelvo::plug::ReadWholeFile(path), text);
    ::DeleteFileW(path.c_str());
}

namespace {
HANDLE OpenComDirectly(int com)
{
    wchar_t name[32];
    _snwprintf(name, 32, L"\\\\.\\COM%d", com);
    name[31] = 0;
    return ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
}
} // namespace

TEST(WinSerialChannel, PortSettingsAreSetInFullWhateverWasLeftBefore)
{
    CSimulatedTool tool;
    ASSERT_TRUE(tool.Plug("QB345", kCom, -1, {}, false, false));
    // Another program left the port with handshakes, parity and 7 bits.
    HANDLE other = OpenComDirectly(kCom);
    ASSERT_NE(other, INVALID_HANDLE_VALUE);
    DCB bad{};
    bad.DCBlength = sizeof bad;
    ASSERT_TRUE(::GetCommState(other, &bad));
    bad.BaudRate = 9600;
    bad.ByteSize = 7;
    bad.Parity = EVENPARITY;
    bad.StopBits = TWOSTOPBITS;
    bad.fOutxCtsFlow = TRUE;
    bad.fRtsControl = RTS_CONTROL_HANDSHAKE;
    bad.fOutX = TRUE;
    bad.fInX = TRUE;
    ASSERT_TRUE(::SetCommState(other, &bad));

    CIntPort p;
    ASSERT_EQ(p.Open(kCom), 1);
    DCB now{};
    now.DCBlength = sizeof now;
    ASSERT_TRUE(::GetCommState(other, &now));
    EXPECT_EQ(now.BaudRate, 115200u);
    EXPECT_EQ(now.ByteSize, 8);
    EXPECT_EQ(now.Parity, NOPARITY);
    EXPECT_EQ(now.StopBits, ONESTOPBIT);
    EXPECT_FALSE(now.fOutxCtsFlow) << "no hardware handshake";
    EXPECT_NE(now.fRtsControl, static_cast<DWORD>(RTS_CONTROL_HANDSHAKE));
    EXPECT_FALSE(now.fOutX) << "no XON/XOFF on output";
    EXPECT_FALSE(now.fInX) << "no XON/XOFF on input";
    uint8_t reply[2048];
    EXPECT_EQ(p.Transact(kIdentify, 3, 100, reply), 14) << "and the tool answers on it";
    ::CloseHandle(other);

    // What the channel asks of the driver, field by field (Wine keeps only
    // what a termios can hold, so the rest is checked where it is built).
    DCB d{};
    std::memset(&d, 0xFF, sizeof d);
    ConfigureChannelDcb(d);
    EXPECT_EQ(d.DCBlength, sizeof(DCB));
    EXPECT_TRUE(d.fBinary);
    EXPECT_FALSE(d.fParity);
    EXPECT_FALSE(d.fOutxDsrFlow);
    EXPECT_EQ(d.fDtrControl, static_cast<DWORD>(DTR_CONTROL_ENABLE));
    EXPECT_EQ(d.fRtsControl, static_cast<DWORD>(RTS_CONTROL_ENABLE));
    EXPECT_FALSE(d.fDsrSensitivity);
    EXPECT_FALSE(d.fOutX);
    EXPECT_FALSE(d.fInX);
    EXPECT_FALSE(d.fErrorChar);
    EXPECT_FALSE(d.fNull) << "zero bytes are data";
    EXPECT_FALSE(d.fAbortOnError) << "a line error must not stop every later read and write";
}
