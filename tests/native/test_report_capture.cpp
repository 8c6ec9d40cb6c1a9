// The report capture against the simulated QB345 on a pty: connect identifies
// the tool and starts one reader, the reader hands the stream to the page, and
// stopping leaves nothing behind.
#include "app/core/platform.h"
#include "device/core/Identify.h"
#include "device/core/IntPort.h"
#include "native/support/temp_dir.h"
#include "report/core/ReportCapture.h"
#include "tools/qbsim/qbsim.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cwchar>
#include <thread>

using kelvo::report::ReportCapture;

namespace {

const int kPort = 71;

struct Host : IDeviceHost {
    std::wstring GetDeviceName() const override { return name; }
    void SetDeviceName(const std::wstring& n) override
    {
        name = n;
        ++names;
    }
    void OnIdentificationEnded() override {}
    std::wstring name;
    int names = 0;
};

// A capture whose readers run on std::threads, counted.
struct Rig {
    explicit Rig(qbsim::Options o, const std::string& report)
    {
        o.reportFile = dir.file("report.bin");
        kelvo::test::WriteFileBytes(o.reportFile, report);
        sim = std::make_unique<qbsim::Simulator>(o);
        CIntPort::MapPort(kPort, sim->Start());
        capture.SetWake([this] {
            ++wakes;
            return true;
        });
    }
    ~Rig()
    {
        capture.Stop();
        for (auto& t : threads)
            t.join();
        CIntPort::UnmapPort(kPort);
        sim->Stop();
    }
    bool Connect()
    {
        return capture.Connect({kPort}, -1, &host, [this](ReportCapture* c, uint32_t id) {
            threads.emplace_back([this, c, id] {
                const int now = ++running;
                int seen = most.load();
                while (now > seen && !most.compare_exchange_weak(seen, now)) {
                }
                c->RunReader(id);
                --running;
            });
            return true;
        });
    }
    // What the page shows once `bytes` characters have arrived.
    std::wstring Receive(size_t chars, uint32_t ms = 20000)
    {
        const uint32_t start = kelvo::TickCount();
        while (text.size() < chars && kelvo::TickCount() - start < ms) {
            text += capture.Queue().TakeAll();
            kelvo::SleepMs(5);
        }
        return text;
    }

    kelvo::test::TempDir dir;
    std::unique_ptr<qbsim::Simulator> sim;
    std::atomic<int> port{-1}, stop{0};
    ReportCapture capture{port, stop};
    Host host;
    std::vector<std::thread> threads;
    std::atomic<int> running{0}, most{0}, wakes{0};
    std::wstring text;
};

std::string Report(int lines)
{
    std::string r;
    for (int i = 0; i < lines; ++i) {
        char line[64];
        std::snprintf(line, sizeof line, "line %05d \xB0\xE9 P0420\r\n", i);
        r += line;
    }
    return r;
}

std::wstring Wide(const std::string& bytes)
{
    std::wstring w;
    for (unsigned char c : bytes)
        if (c)
            w.push_back(static_cast<wchar_t>(c));
    return w;
}

} // namespace

TEST(ReportCapture, ConnectNamesTheToolAndTheStreamArrivesWithoutItsZeroBytes)
{
    qbsim::Options o;
    o.reportDelayMs = 100;
    o.reportChunk = 7;
    o.reportPaceMs = 1;
    std::string report = Report(40);
    report.insert(10, std::string("\0\0", 2));
    report.insert(300, std::string(1, '\0'));
    Rig rig(o, report);
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.host.name, L"QB345");
    EXPECT_EQ(rig.port.load(), kPort);
    EXPECT_EQ(rig.Receive(Wide(report).size()), Wide(report));
}

TEST(ReportCapture, ConnectWhileTheToolSendsTakesNoReportTextForTheName)
{
    qbsim::Options o;
    o.reportAtOnce = true;
    o.reportDelayMs = 0;
    o.reportChunk = 64;
    o.reportPaceMs = 1;
    const std::string report = Report(3000);
    Rig rig(o, report);
    kelvo::SleepMs(200);  // the tool is well into its report
    ASSERT_TRUE(rig.Connect());
    EXPECT_TRUE(rig.host.names == 0 || rig.host.name == L"QB345") << kelvo::WideToUtf8(rig.host.name);
    // The report's end arrives, and no line of it twice.
    const std::wstring last = Wide(report.substr(report.size() - 26));
    const uint32_t start = kelvo::TickCount();
    while (rig.text.find(last) == std::wstring::npos && kelvo::TickCount() - start < 30000)
        rig.Receive(rig.text.size() + 1, 100);
    ASSERT_NE(rig.text.find(last), std::wstring::npos);
    int lines = 0;
    for (int i = 0; i < 3000; ++i) {
        wchar_t tag[16];
        std::swprintf(tag, 16, L"line %05d ", i);
        const size_t at = rig.text.find(tag);
        if (at == std::wstring::npos)
            continue;
        ++lines;
        EXPECT_EQ(at, rig.text.rfind(tag)) << "line " << i << " came twice";
    }
    EXPECT_GT(lines, 1000) << "most of the report arrived";
}

TEST(ReportCapture, ToolAlreadySendingRefusalLikeBytesKeepsEveryByteAndNoReplyInTheText)
{
    // Every chunk of the report has a byte of 0xE0..0xEF at its place 2,
    // where a reply's status (and a refusal) would stand.
    std::string report;
    for (int k = 0; k < 600; ++k) {
        char chunk[9];
        std::snprintf(chunk, sizeof chunk, "#%c%c%05d", k % 2 ? 'a' : 'b', 0xE0 + k % 16, k);
        report.append(chunk, 8);
    }
    qbsim::Options o;
    o.reportAtOnce = true;
    o.reportDelayMs = 0;
    o.reportChunk = 8;
    o.reportPaceMs = 1;
    Rig rig(o, report);
    kelvo::SleepMs(60);  // the tool is into its report when the page opens
    ASSERT_GT(rig.sim->ReportSent(), 0u);
    ASSERT_LT(rig.sim->ReportSent(), report.size());
    ASSERT_TRUE(rig.Connect());
    EXPECT_EQ(rig.host.name, L"QB345");
    const std::wstring text = rig.Receive(Wide(report).size());
    EXPECT_EQ(text.find(L"zendrix"), std::wstring::npos) << "the identification reply is not report text";
    EXPECT_EQ(text, Wide(report)) << "every report byte, once, in order";
}

TEST(ReportCapture, IdentityReplyIsFoundAmongReportBytes)
{
    const std::string reply("zendrix-qb345\0", 14);
    size_t b = 0, e = 0;
    std::wstring model;
    // Alone, between report bytes, at the end without its zero, cut in its prefix.
    const std::string mixed = "\xE1\xE2\xE3" + reply + "tail";
    ASSERT_EQ(FindIdentityReply(reinterpret_cast<const uint8_t*>(mixed.data()), mixed.size(), &b, &e, &model),
              IdentityScan::kFound);
    EXPECT_EQ(b, 3u);
    EXPECT_EQ(e, 3u + reply.size());
    EXPECT_EQ(model, L"QB345");
    const std::string open = "ab" + reply.substr(0, 12);
    EXPECT_EQ(FindIdentityReply(reinterpret_cast<const uint8_t*>(open.data()), open.size(), &b, &e, &model),
              IdentityScan::kPartial);
    const std::string cut = "ab" + reply.substr(0, 4);
    EXPECT_EQ(FindIdentityReply(reinterpret_cast<const uint8_t*>(cut.data()), cut.size(), &b, &e, &model),
              IdentityScan::kPartial);
    const std::string none = "zendri and more text\xE5";
    EXPECT_EQ(FindIdentityReply(reinterpret_cast<const uint8_t*>(none.data()), none.size(), &b, &e, &model),
              IdentityScan::kNone);
}

TEST(ReportCapture, LeavingAndComingBackQuicklyNeverRunsTwoReaders)
{
    qbsim::Options o;
    o.reportOnDemand = true;
    o.reportDelayMs = 0;
    const std::string report = Report(20);
    Rig rig(o, report);
    // Slow to notice a stop, as a reader between two polls is.
    kelvo::report::ReaderTiming t;
    t.idleSleepMs = 300;
    rig.capture.SetTiming(t);
    ASSERT_TRUE(rig.Connect());
    kelvo::SleepMs(100);
    for (int i = 0; i < 3; ++i) {
        // The host's stop, then the page is current again at once.
        rig.port = -1;
        rig.stop = 1;
        rig.capture.DropPending();
        ASSERT_TRUE(rig.Connect());
    }
    rig.sim->StartReport();
    EXPECT_EQ(rig.Receive(Wide(report).size()), Wide(report)) << "the one reader holds the port";
    EXPECT_EQ(rig.most.load(), 1);
}

TEST(ReportCapture, OneWakeUpWhileThePageIsBusyAndStopWaitsForTheReader)
{
    qbsim::Options o;
    o.reportDelayMs = 50;
    o.reportChunk = 16;
    o.reportPaceMs = 2;
    const std::string report = Report(30);
    Rig rig(o, report);
    ASSERT_TRUE(rig.Connect());
    // The page takes nothing for a while: one wake-up is on its way, not one per read.
    const uint32_t start = kelvo::TickCount();
    while (rig.sim->ReportSent() < report.size() && kelvo::TickCount() - start < 20000)
        kelvo::SleepMs(10);
    kelvo::SleepMs(100);
    EXPECT_EQ(rig.wakes.load(), 1);
    EXPECT_EQ(rig.Receive(Wide(report).size()), Wide(report));
    EXPECT_TRUE(rig.capture.Stop());
    EXPECT_FALSE(rig.capture.ReaderRunning());
    EXPECT_EQ(rig.running.load(), 0);
    EXPECT_EQ(rig.port.load(), -1);
}
