// A transfer and its port, against the simulated QB345 on a pty: a two-image
// package keeps the port from other threads across its pause, and a transfer
// whose tool is reported pulled out gives the port up at once, before its
// message is shown.
#include "app/core/platform.h"
#include "device/core/DeviceState.h"
#include "device/core/IntPort.h"
#include "native/support/temp_dir.h"
#include "tools/qbsim/qbsim.h"
#include "update/core/Package.h"
#include "update/core/Transfer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace kelvo;

namespace {

const int kPort = 43;

struct Sim {
    explicit Sim(qbsim::Options o = {}) : sim(std::move(o))
    {
        path = sim.Start();
        CIntPort::MapPort(kPort, path);
    }
    ~Sim()
    {
        CIntPort::UnmapPort(kPort);
        sim.Stop();
    }
    qbsim::Simulator sim;
    std::string path;
};

struct Row : IUpdateSink {
    std::atomic<bool> erasing{false};
    void Progress(int, int) override {}
    void Status(int, const std::wstring& text) override
    {
        if (text.find(L"#68") != std::wstring::npos)
            erasing = true;
    }
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
};

// Whether another thread (the identification's, say) can open the port now.
int OpenFromAnotherThread()
{
    int opened = -1;
    std::thread([&] {
        CIntPort other;
        opened = other.Open(kPort);
    }).join();
    return opened;
}

std::vector<uint8_t> Image(size_t n)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(i * 13 + 1);
    return v;
}

class TransferPort : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_nDevicePort = kPort;
        SetUpdateTextSource([](int n) { return L"#" + std::to_wstring(n); });
        SetMessageSink([this](const std::wstring& text, unsigned) {
            messages.push_back(text);
            openDuringMessage = OpenFromAnotherThread();
            return kIdOk;
        });
    }
    void TearDown() override
    {
        SetMessageSink({});
        SetUpdateTextSource({});
        g_nDevicePort = -1;
    }
    std::wstring Package(const std::vector<uint8_t>& bytes)
    {
        const std::string path = dir.file("QB345_V2.34_EN_20191023.bin");
        test::WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
        return Utf8ToWide(path);
    }
    test::TempDir dir;
    Row row;
    std::vector<std::wstring> messages;
    int openDuringMessage = -1;
};

} // namespace

TEST_F(TransferPort, TwoImagePackageKeepsItsPortAcrossThePause)
{
    Sim s;
    ASSERT_FALSE(s.path.empty());
    int channelsMade = 0, openBetweenImages = -1;
    auto channels = [&] {
        // The second channel is made after the pause, before the second image.
        if (++channelsMade == 2)
            openBetweenImages = OpenFromAnotherThread();
        return NewIntPortChannel();
    };
    EXPECT_EQ(FlashPackageFile(row, Package(BuildPackage(kPackageBoth, Image(3000), Image(100))), L"QB345", 0, channels), 0);
    EXPECT_EQ(openBetweenImages, 0) << "the port stayed the transfer's between its images";
    EXPECT_EQ(s.sim.Images().size(), 2u);
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(OpenFromAnotherThread(), 1) << "given back at the end";
}

TEST_F(TransferPort, ToolReportedAbsentDuringTheEraseFreesThePortBeforeTheMessage)
{
    qbsim::Options o;
    o.delayMs[0xC2] = 30000;  // a long erase: the transfer would otherwise wait it out and succeed
    Sim s(o);
    ASSERT_FALSE(s.path.empty());
    const std::wstring path = Package(BuildPackage(kPackageMain, Image(5000)));
    int result = 0;
    std::thread worker([&] { result = FlashPackageFile(row, path, L"QB345", 0); });
    const uint32_t start = TickCount();
    while (!row.erasing && TickCount() - start < 20000)
        SleepMs(10);
    EXPECT_TRUE(row.erasing);
    NoteToolRemoved();  // the main window's scan found the tool absent
    worker.join();
    EXPECT_EQ(result, -1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#67"});
    EXPECT_EQ(openDuringMessage, 1) << "the port was closed and free while the message was shown";
    EXPECT_TRUE(s.sim.Images().empty());
}
