// The simulated QB345's own checks (it must refuse what a real tool would),
// frames that arrive in pieces, the recorded images, and the portable rules
// of discovery.
#include "app/core/platform.h"
#include "device/core/Discovery.h"
#include "device/core/IntPort.h"
#include "native/support/temp_dir.h"
#include "tools/qbsim/qbsim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <termios.h>
#include <thread>
#include <unistd.h>

namespace {

const int kPort = 61;
typedef std::vector<uint8_t> Bytes;

// A raw end of the pty, to send bytes in whatever pieces a test wants.
class RawPort {
public:
    explicit RawPort(const std::string& path)
    {
        m_fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios tio{};
        if (m_fd >= 0 && ::tcgetattr(m_fd, &tio) == 0) {
            ::cfmakeraw(&tio);
            ::tcsetattr(m_fd, TCSANOW, &tio);
        }
    }
    ~RawPort()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    bool Ok() const { return m_fd >= 0; }
    void Send(const Bytes& b, size_t piece, int pauseMs)
    {
        for (size_t at = 0; at < b.size(); at += piece) {
            const size_t n = std::min(piece, b.size() - at);
            ASSERT_EQ(::write(m_fd, b.data() + at, n), static_cast<ssize_t>(n));
            std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        }
    }
    // The bytes that arrive within the time given.
    Bytes Receive(int ms)
    {
        Bytes out;
        const uint32_t start = kelvo::TickCount();
        while (kelvo::TickCount() - start < static_cast<uint32_t>(ms)) {
            uint8_t buf[256];
            const ssize_t n = ::read(m_fd, buf, sizeof buf);
            if (n > 0)
                out.insert(out.end(), buf, buf + n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return out;
    }

private:
    int m_fd = -1;
};

Bytes Header(uint32_t address, int dataLength)
{
    const int f = dataLength + 6;
    return {0x46, 0x58, 0xC1, uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16), uint8_t(address >> 24),
            uint8_t(f), uint8_t(f >> 8), 0xFF};
}

Bytes Data(const Bytes& block, int index, int sumDelta = 0)
{
    uint32_t sum = static_cast<uint32_t>(sumDelta);
    for (uint8_t b : block)
        sum += b;
    Bytes f = block;
    for (int i = 0; i < 4; ++i)
        f.push_back(uint8_t(sum >> (8 * i)));
    f.push_back(uint8_t(index >> 8));
    f.push_back(uint8_t(index));
    return f;
}

const Bytes kStartMain = {0x46, 0x58, 0xC0, 1, 2, 3, 4, 5, 0xFF};
const Bytes kStartSecond = {0x46, 0x58, 0xC0, 5, 4, 3, 2, 1, 0xFF};
const Bytes kEraseMain = {0x46, 0x58, 0xC2, 0x00, 0x40, 0x00, 0x08, 0xF2, 0xFF};
const Bytes kEraseSecond = {0x46, 0x58, 0xC2, 0, 0, 0, 0, 0x00, 0xFF};
const Bytes kEnd = {0x46, 0x58, 0xC3, 0xFF};
const uint32_t kMain = 0x08004000;

// A tool on a pty, reached through the channel.
struct Bench {
    explicit Bench(qbsim::Options o = {}) : sim(std::move(o))
    {
        path = sim.Start();
        CIntPort::MapPort(kPort, path);
        opened = port.Open(kPort) == 1;
    }
    ~Bench()
    {
        port.Close();
        CIntPort::UnmapPort(kPort);
        sim.Stop();
    }
    // Status byte of the reply, -1 refused, 0 none.
    int Ask(const Bytes& frame, uint32_t timeoutMs = 100)
    {
        uint8_t reply[2048];
        const int n = port.Transact(frame.data(), static_cast<int>(frame.size()), timeoutMs, reply);
        return n > 2 ? reply[2] : n < 0 ? -1 : 0;
    }
    void ToErased(const Bytes& start = kStartMain, const Bytes& erase = kEraseMain)
    {
        ASSERT_EQ(Ask(start), 0x81);
        ASSERT_EQ(Ask(erase), 0x83);
    }
    qbsim::Simulator sim;
    std::string path;
    CIntPort port;
    bool opened = false;
};

Bytes Pattern(size_t n, int seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i)
        b[i] = uint8_t(i * 7 + seed);
    return b;
}

} // namespace

TEST(SimulatedTool, AcceptsAWholeImageAndRecordsIt)
{
    kelvo::test::TempDir dir;
    const Bytes image = Pattern(2049, 3);
    kelvo::test::WriteFileBytes(dir.file("want.bin"), std::string(image.begin(), image.end()));
    qbsim::Options o;
    o.imagePrefix = dir.file("image-");
    o.logFile = dir.file("frames.log");
    o.expect = {dir.file("want.bin")};
    Bench b(o);
    ASSERT_TRUE(b.opened);
    b.ToErased();
    EXPECT_EQ(b.Ask(Header(kMain, 2048)), 0x82);
    EXPECT_EQ(b.Ask(Data(Bytes(image.begin(), image.begin() + 2048), 0)), 0x84);
    EXPECT_EQ(b.Ask(Header(kMain + 2048, 1)), 0x82) << "a 1-byte block is announced with 7";
    EXPECT_EQ(b.Ask(Data(Bytes(image.begin() + 2048, image.end()), 1)), 0x84);
    EXPECT_EQ(b.Ask(kEnd), 0x85);
    ASSERT_EQ(b.sim.Images().size(), 1u);
    EXPECT_EQ(b.sim.Images()[0], image);
    EXPECT_EQ(kelvo::test::ReadFileBytes(dir.file("image-0.bin")), std::string(image.begin(), image.end()));
    EXPECT_TRUE(b.sim.ExpectationsMet());
    EXPECT_EQ(b.sim.Refusals(), 0);
    const std::string log = kelvo::test::ReadFileBytes(dir.file("frames.log"));
    EXPECT_NE(log.find("< 46 58 C1 00 48 00 08 07 00 FF"), std::string::npos) << log.substr(0, 300);
    EXPECT_NE(log.find("> 46 58 85"), std::string::npos);
    EXPECT_NE(log.find("= image 0 matches"), std::string::npos);

    // The second image: its own selector, address 0 and size code 00.
    b.ToErased(kStartSecond, kEraseSecond);
    EXPECT_EQ(b.Ask(Header(0, 3)), 0x82);
    EXPECT_EQ(b.Ask(Data({1, 2, 3}, 0)), 0x84);
    EXPECT_EQ(b.Ask(kEnd), 0x85);
    ASSERT_EQ(b.sim.Images().size(), 2u);
    EXPECT_EQ(b.sim.Images()[1], (Bytes{1, 2, 3}));
}

TEST(SimulatedTool, RefusesFramesThatAreNotExactlyRight)
{
    Bench b;
    ASSERT_TRUE(b.opened);
    const Bytes block = Pattern(2048, 1);
    struct Case {
        const char* what;
        Bytes frame;
        bool afterHeader;  // sent as the data frame of a correct header
    } cases[] = {
        {"erase before start", kEraseMain, false},
        {"start without trailing FF", {0x46, 0x58, 0xC0, 1, 2, 3, 4, 5, 0x00}, false},
        {"unknown selector", {0x46, 0x58, 0xC0, 1, 2, 3, 4, 6, 0xFF}, false},
        {"unknown command", {0x46, 0x58, 0xC7, 0xFF}, false},
        {"not a command", {0x12, 0x34, 0x56}, false},
        {"wrong checksum", Data(block, 0, 1), true},
        {"wrong index", Data(block, 1), true},
        {"index in the wrong byte order", Data(block, 0x100), true},
    };
    for (const auto& c : cases) {
        const int before = b.sim.Refusals();
        if (c.afterHeader) {
            b.ToErased();
            ASSERT_EQ(b.Ask(Header(kMain, 2048)), 0x82);
        }
        EXPECT_EQ(b.Ask(c.frame), -1) << c.what;
        EXPECT_EQ(b.sim.Refusals(), before + 1) << c.what;
    }
    // Frames that are wrong only once the image is under way.
    struct Late {
        const char* what;
        Bytes frame;
    } late[] = {
        {"erase of the main image at the second image's address", kEraseSecond},
        {"block header at the wrong address", Header(kMain + 2048, 2048)},
        {"block header announcing more than a block", Header(kMain, 2049)},
        {"block header announcing nothing", Header(kMain, 0)},
    };
    for (const auto& c : late) {
        ASSERT_EQ(b.Ask(kStartMain), 0x81);
        if (c.frame != kEraseSecond) {
            ASSERT_EQ(b.Ask(kEraseMain), 0x83);
        }
        EXPECT_EQ(b.Ask(c.frame), -1) << c.what;
    }
    // After a short block only End may follow.
    b.ToErased();
    ASSERT_EQ(b.Ask(Header(kMain, 10)), 0x82);
    ASSERT_EQ(b.Ask(Data(Pattern(10, 2), 0)), 0x84);
    EXPECT_EQ(b.Ask(Header(kMain + 2048, 10)), -1) << "a block after a short one";
    EXPECT_TRUE(b.sim.Images().empty()) << "no refused image is recorded";
}

TEST(SimulatedTool, AssemblesFramesThatArriveInPieces)
{
    qbsim::Simulator sim{qbsim::Options{}};
    const std::string path = sim.Start();
    RawPort raw(path);
    ASSERT_TRUE(raw.Ok());
    const Bytes block = Pattern(2048, 9);
    Bytes all = kStartMain;
    raw.Send(kStartMain, 1, 5);  // one byte at a time
    EXPECT_EQ(raw.Receive(150), (Bytes{0x46, 0x58, 0x81}));
    raw.Send(kEraseMain, 4, 10);
    EXPECT_EQ(raw.Receive(150), (Bytes{0x46, 0x58, 0x83}));
    raw.Send(Header(kMain, 2048), 3, 5);
    EXPECT_EQ(raw.Receive(150), (Bytes{0x46, 0x58, 0x82}));
    // The data frame is as long as the header said, whatever its content.
    raw.Send(Data(block, 0), 700, 20);
    EXPECT_EQ(raw.Receive(200), (Bytes{0x46, 0x58, 0x84}));
    // Two frames in one piece get two replies.
    Bytes two = Header(kMain + 2048, 1);
    const Bytes d = Data({0x46}, 1);
    two.insert(two.end(), d.begin(), d.end());
    raw.Send(two, two.size(), 0);
    EXPECT_EQ(raw.Receive(200), (Bytes{0x46, 0x58, 0x82, 0x46, 0x58, 0x84}));
    // Half a frame and then nothing: dropped and refused.
    raw.Send({0x46, 0x58, 0xC1, 0x00}, 4, 0);
    EXPECT_EQ(raw.Receive(600), (Bytes{0x46, 0x58, qbsim::kRefusal}));
    sim.Stop();
}

TEST(SimulatedTool, InjectedFaults)
{
    {
        qbsim::Options o;
        o.delayMs[0xC2] = 400;
        o.wrongStatus[0xC0] = 0x99;
        Bench b(o);
        EXPECT_EQ(b.Ask(kStartMain), 0x99) << "a wrong status";
        const uint32_t start = kelvo::TickCount();
        EXPECT_EQ(b.Ask(kEraseMain, 50000), 0x83) << "a slow erase still answers";
        EXPECT_GE(kelvo::TickCount() - start, 380u);
    }
    {
        qbsim::Options o;
        o.silentFromBlock = 1;
        Bench b(o);
        b.ToErased();
        EXPECT_EQ(b.Ask(Header(kMain, 2048)), 0x82);
        EXPECT_EQ(b.Ask(Data(Pattern(2048, 0), 0)), 0x84);
        EXPECT_EQ(b.Ask(Header(kMain + 2048, 5)), 0) << "hung at block 1";
        EXPECT_EQ(b.Ask(kEnd), 0) << "and nothing is answered any more";
    }
    {
        qbsim::Options o;
        o.silent[qbsim::kData] = 1;
        Bench b(o);
        b.ToErased();
        EXPECT_EQ(b.Ask(Header(kMain, 3)), 0x82);
        EXPECT_EQ(b.Ask(Data({1, 2, 3}, 0)), 0) << "every repetition of a lost data frame is lost too";
        EXPECT_EQ(b.sim.Refusals(), 0);
    }
    {
        kelvo::test::TempDir dir;
        qbsim::Options o;
        o.unplugAtBlock = 0;
        o.link = dir.file("com9");
        Bench b(o);
        EXPECT_TRUE(kelvo::test::FileExists(o.link));
        b.ToErased();
        EXPECT_EQ(b.Ask(Header(kMain, 3)), -1) << "unplugged: the last read failed";
        EXPECT_TRUE(b.sim.Unplugged());
        EXPECT_FALSE(kelvo::test::FileExists(o.link)) << "the link goes with it";
        b.port.Close();
        CIntPort again;
        EXPECT_EQ(again.Open(kPort), 0) << "the port is gone";
    }
    {
        qbsim::Options o;
        o.garbage[0xC9] = 1;
        Bench b(o);
        uint8_t reply[2048];
        const uint8_t identify[3] = {0x46, 0x58, 0xC9};
        EXPECT_EQ(b.port.Transact(identify, 3, 100, reply), 5) << "noise is still a reply";
        EXPECT_EQ(reply[2], 0x00);
    }
}

TEST(SimulatedTool, ReportStreamStartsAfterTheIdentification)
{
    kelvo::test::TempDir dir;
    std::string text;
    for (int i = 0; i < 100; ++i)
        text += "Line " + std::to_string(i) + " \xE9\r\n";
    kelvo::test::WriteFileBytes(dir.file("report.txt"), text);
    qbsim::Options o;
    o.reportFile = dir.file("report.txt");
    o.reportChunk = 100;
    o.reportPaceMs = 5;
    o.reportDelayMs = 50;
    Bench b(o);
    uint8_t buf[2048];
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(b.port.Read(buf), 0) << "nothing before the identification";
    const uint8_t identify[3] = {0x46, 0x58, 0xC9};
    ASSERT_EQ(b.port.Transact(identify, 3, 100, buf), 14);
    std::string got;
    for (int i = 0; i < 400 && got.size() < text.size(); ++i) {
        const int n = b.port.Read(buf);
        if (n > 0)
            got.append(reinterpret_cast<char*>(buf), static_cast<size_t>(n));
        else
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(got, text) << "in order, byte for byte";
}

TEST(Discovery, ScanToolPathInAnyCase)
{
    EXPECT_TRUE(IsScanToolPath(L"\\\\?\\USB#VID_0483&PID_5740#0001#{a5dcbf10-6530-11d2-901f-00c04fb951ed}"));
    EXPECT_TRUE(IsScanToolPath(L"\\\\?\\usb#vid_0483&pid_5740#x#{...}"));
    EXPECT_FALSE(IsScanToolPath(L"\\\\?\\USB#VID_0483&PID_5741#0001#{...}")) << "another product";
    EXPECT_FALSE(IsScanToolPath(L"\\\\?\\USB#VID_0483&PID_57401#0001")) << "the id must end at '#'";
    EXPECT_FALSE(IsScanToolPath(L""));
}

TEST(Discovery, PortNumbersFromSerialMapEntries)
{
    EXPECT_EQ(PortFromMapEntry(L"COM7", 40), 7);
    EXPECT_EQ(PortFromMapEntry(L"COM12x", 40), 12);
    EXPECT_EQ(PortFromMapEntry(L"COMX", 40), 0);
    EXPECT_EQ(PortFromMapEntry(L"CO", 40), 0);
    EXPECT_EQ(PortFromMapEntry(L"COM99999999999999999999", 40), 0) << "beyond any port";
    // Data without a terminating zero is read only as far as allowed.
    const wchar_t noZero[5] = {L'C', L'O', L'M', L'4', L'2'};
    EXPECT_EQ(PortFromMapEntry(noZero, 4), 4);
    EXPECT_EQ(PortFromMapEntry(noZero, 5), 42);
}
