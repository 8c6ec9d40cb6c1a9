// The serial channel and the identification against the simulated QB345 on a pty.
#include "app/core/platform.h"
#include "device/core/Identify.h"
#include "support/fake_device_host.h"
#include "device/core/IntPort.h"
#include "tools/qbsim/qbsim.h"

#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

namespace {

const int kPort = 41;

struct Sim {
    explicit Sim(qbsim::Options o = {}, int port = kPort) : sim(std::move(o)), port(port)
    {
        path = sim.Start();
        CIntPort::MapPort(port, path);
    }
    ~Sim()
    {
        CIntPort::UnmapPort(port);
        sim.Stop();
    }
    qbsim::Simulator sim;
    int port;
    std::string path;
};

uint32_t Elapsed(uint32_t start) { return kelvo::TickCount() - start; }

using Host = kelvo::test::FakeDeviceHost;

const uint8_t kIdentify[3] = {0x46, 0x58, 0xC9};

} // namespace

TEST(SerialChannel, OpenCloseBookKeepingAndExclusion)
{
    Sim s;
    ASSERT_FALSE(s.path.empty());
    CIntPort a;
    EXPECT_EQ(a.Close(), 1) << "closing a closed channel does nothing";
    ASSERT_EQ(a.Open(kPort), 1);
    EXPECT_EQ(a.Open(kPort), 1) << "an open channel stays as it is";
    CIntPort b;
    EXPECT_EQ(b.Open(kPort), 0) << "a held port is unavailable to another channel";
    a.Close();
    EXPECT_EQ(b.Open(kPort), 1) << "free again once released";
    CIntPort c;
    EXPECT_EQ(c.Open(99), 0) << "a port that does not exist";
    uint8_t buf[2048];
    EXPECT_EQ(c.Read(buf), -1);
    EXPECT_EQ(c.Write(kIdentify, 3), -1);
}

TEST(SerialChannel, ReadNeverWaitsAndTakesAtMost2048Bytes)
{
    Sim s;
    CIntPort p;
    ASSERT_EQ(p.Open(kPort), 1);
    uint8_t buf[2048];
    uint32_t start = kelvo::TickCount();
    EXPECT_EQ(p.Read(buf), 0);
    EXPECT_LT(Elapsed(start), 50u);
    // The pty holds about 4 KiB at a time: the rest follows as it is read.
    std::thread sender([&] { s.sim.Send(std::vector<uint8_t>(5000, 0x41)); });
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    int first = p.Read(buf);
    EXPECT_EQ(first, 2048) << "at most 2048 bytes per read, the rest stays queued";
    int total = first > 0 ? first : 0;
    for (int i = 0; i < 200 && total < 5000; ++i) {
        int n = p.Read(buf);
        EXPECT_LE(n, 2048);
        if (n > 0)
            total += n;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    sender.join();
    EXPECT_EQ(total, 5000);
}

TEST(SerialChannel, TransactReturnsTheReplyOrRefusal)
{
    Sim s;
    CIntPort p;
    ASSERT_EQ(p.Open(kPort), 1);
    uint8_t reply[2048];
    int n = p.Transact(kIdentify, 3, 100, reply);
    EXPECT_EQ(n, 14);  // "zendrix-QB345" and its zero byte
    EXPECT_EQ(std::string(reinterpret_cast<char*>(reply)), "zendrix-QB345");

    // An erase before a start is refused by the tool: -1 at once.
    const uint8_t erase[9] = {0x46, 0x58, 0xC2, 0x00, 0x40, 0x00, 0x08, 0xF2, 0xFF};
    uint32_t start = kelvo::TickCount();
    EXPECT_EQ(p.Transact(erase, 9, 1000, reply), -1);
    EXPECT_LT(Elapsed(start), 500u);
}

TEST(SerialChannel, SilentToolTakesThreeTimeOutsAndGivesZero)
{
    qbsim::Options o;
    o.silent[0xC9] = 1;
    Sim s(o);
    CIntPort p;
    ASSERT_EQ(p.Open(kPort), 1);
    uint8_t reply[2048];
    uint32_t start = kelvo::TickCount();
    EXPECT_EQ(p.Transact(kIdentify, 3, 100, reply), 0);
    uint32_t t = Elapsed(start);
    EXPECT_GE(t, 300u);
    EXPECT_LT(t, 1500u);
    // A time-out of 0 still polls once per attempt and ends quickly.
    start = kelvo::TickCount();
    EXPECT_EQ(p.Transact(kIdentify, 3, 0, reply), 0);
    EXPECT_LT(Elapsed(start), 300u);
}

namespace {
double ThreadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}
} // namespace

TEST(SerialChannel, WaitingForAReplySleepsAndTakesItTheMomentItComes)
{
    // A slow erase: the tool answers after 1.5 s. Waiting for it is spent
    // asleep in the system, not asking the port over and over.
    qbsim::Options o;
    o.delayMs[0xC9] = 1500;
    Sim s(o);
    CIntPort p;
    ASSERT_EQ(p.Open(kPort), 1);
    uint8_t reply[2048];
    const double cpu0 = ThreadCpuSeconds();
    const uint32_t start = kelvo::TickCount();
    EXPECT_EQ(p.Transact(kIdentify, 3, 5000, reply), 14);
    const uint32_t wall = Elapsed(start);
    const double cpu = ThreadCpuSeconds() - cpu0;
    EXPECT_GE(wall, 1400u);
    EXPECT_LT(wall, 2500u) << "the reply is taken when it arrives, not at the end of the time-out";
    EXPECT_LT(cpu, 0.3 * wall / 1000.0) << "the wait spun: " << cpu << " s of processor time in " << wall << " ms";
}

TEST(SerialChannel, TwoByteReplyIsReturnedAsIsNotTakenForARefusal)
{
    qbsim::Options o;
    o.silent[0xC9] = 1;
    Sim s(o);
    CIntPort p;
    ASSERT_EQ(p.Open(kPort), 1);
    std::thread t([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(40));
        s.sim.Send({0x46, 0xE3});
    });
    uint8_t reply[2048];
    int n = p.Transact(kIdentify, 3, 300, reply);
    t.join();
    EXPECT_EQ(n, 2) << "the refusal test needs byte 2";
}

TEST(Identification, ModelNameAndPortFromTheAnsweringPort)
{
    qbsim::Options silent;
    silent.silent[0xC9] = 1;
    Sim first(silent, 42);
    qbsim::Options lower;
    lower.model = "qb345";
    Sim second(lower, 43);
    Host host;
    g_nDevicePort = -1;
    uint32_t start = kelvo::TickCount();
    IdentifyDevice(host, 0, 0, {42, 43});
    EXPECT_GE(Elapsed(start), 300u) << "the silent first port is given three attempts";
    EXPECT_EQ(host.name, L"QB345") << "upper case";
    EXPECT_EQ(g_nDevicePort, 43);
    EXPECT_EQ(host.ended, 1) << "the host hears of the end once, with the port found";
    EXPECT_EQ(host.endedPort, 43);
}

TEST(Identification, RepliesThatAreNoIdentification)
{
    std::wstring name;
    const uint8_t eight[8] = {'z', 'e', 'n', 'd', 'r', 'i', 'x', '-'};
    EXPECT_FALSE(ParseIdentification(eight, 8, &name));
    const uint8_t early[12] = {'z', 'e', 'n', 0, 'r', 'i', 'x', '-', 'Q', 'B', '3', '4'};
    ASSERT_TRUE(ParseIdentification(early, 12, &name));
    EXPECT_EQ(name, L"") << "a zero byte before the ninth byte: empty name";

    // No answer and the keep flag: the known name stays.
    Host host;
    host.name = L"QB345";
    g_nDevicePort = 7;
    IdentifyDevice(host, 1, 0, {});
    EXPECT_EQ(host.name, L"QB345");
    IdentifyDevice(host, 0, 0, {});
    EXPECT_EQ(host.name, L"");
    EXPECT_EQ(g_nDevicePort, -1);
    EXPECT_EQ(host.ended, 1) << "kept without an answer: no end to report; cleared: reported";
    EXPECT_EQ(host.endedPort, -1);
}

TEST(Simulator, RefusesWrongFirmwareFrames)
{
    Sim s;
    CIntPort p;
    ASSERT_EQ(p.Open(kPort), 1);
    uint8_t reply[2048];
    const uint8_t start[9] = {0x46, 0x58, 0xC0, 1, 2, 3, 4, 5, 0xFF};
    const uint8_t erase[9] = {0x46, 0x58, 0xC2, 0x00, 0x40, 0x00, 0x08, 0xF2, 0xFF};
    ASSERT_EQ(p.Transact(start, 9, 100, reply), 3);
    EXPECT_EQ(reply[2], 0x81);
    ASSERT_EQ(p.Transact(erase, 9, 100, reply), 3);
    EXPECT_EQ(reply[2], 0x83);
    // A header for block 1 when block 0 is due.
    const uint8_t header[10] = {0x46, 0x58, 0xC1, 0x00, 0x48, 0x00, 0x08, 0x09, 0x00, 0xFF};
    EXPECT_EQ(p.Transact(header, 10, 100, reply), -1);
    EXPECT_GE(s.sim.Refusals(), 1);
}

TEST(SerialChannel, AWriteTheToolDoesNotTakeInFullFails)
{
    // A pty whose other end nobody reads takes a few KiB; a frame longer than
    // that can only go out in part, and a part of a frame is no frame.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    ASSERT_EQ(::grantpt(master), 0);
    ASSERT_EQ(::unlockpt(master), 0);
    const char* slave = ::ptsname(master);
    ASSERT_NE(slave, nullptr);
    CIntPort::MapPort(kPort, slave);
    {
        CIntPort p;
        ASSERT_EQ(p.Open(kPort), 1);
        const uint8_t small[4] = {1, 2, 3, 4};
        EXPECT_EQ(p.Write(small, 4), 4) << "a write that goes out in full counts its bytes";
        EXPECT_FALSE(p.Gone());
        // A raw pty here takes about 20 KiB; the write gives up after 1 ms a
        // byte, so the frame is no longer than it must be to overflow it.
        std::vector<uint8_t> big(48 * 1024, 0x55);
        EXPECT_EQ(p.Write(big.data(), static_cast<int>(big.size())), -1) << "only part of it went out";
        EXPECT_TRUE(p.Gone()) << "the channel counts as failed";
    }
    CIntPort::UnmapPort(kPort);
    ::close(master);
}
