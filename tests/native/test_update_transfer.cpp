// Transfer sequencing: the frames a package becomes, against a tool that
// checks every frame it receives and keeps what was written.
#include "app/core/platform.h"
#include "native/support/temp_dir.h"
#include "update/core/Package.h"
#include "update/core/Transfer.h"
#include "update/core/Workers.h"

#include <gtest/gtest.h>

#include <cstring>
#include <map>


// COM port of the identified tool, owned by the device layer.
#include "device/core/DeviceState.h"

using namespace kelvo;

namespace {

// A scan tool behind the channel interface. It answers each command by the
// protocol, refuses frames out of order, and records images by start address.
struct FakeTool {
    std::string ident = "zendrix-QB345";
    bool portHeld = false;
    int silentAtBlock = -1;  // no reply to the header of this block
    std::vector<std::vector<uint8_t>> frames;
    std::map<uint32_t, std::vector<uint8_t>> written;
    std::vector<uint8_t> eraseSizes;
    int started = 0, ended = 0, opens = 0;
    std::string error;

    // State of the exchange.
    uint32_t base = 0, expectAddress = 0, expectLength = 0;
    int blocks = 0;
    bool inImage = false, headerSeen = false;

    int Answer(const uint8_t* f, int n, uint8_t* reply)
    {
        frames.emplace_back(f, f + n);
        auto ok = [&](uint8_t status) {
            reply[0] = 0x46;
            reply[1] = 0x58;
            reply[2] = status;
            return 3;
        };
        if (headerSeen) {  // a data frame
            headerSeen = false;
            if (uint32_t(n) != expectLength)
                return Fail("data length"), 0;
            uint32_t l = uint32_t(n) - 6, sum = 0;
            for (uint32_t i = 0; i < l; ++i)
                sum += f[i];
            uint32_t got = f[l] | f[l + 1] << 8 | f[l + 2] << 16 | uint32_t(f[l + 3]) << 24;
            if (got != sum || ((f[l + 4] << 8) | f[l + 5]) != blocks)
                return Fail("checksum or index"), 0;
            auto& image = written[base];
            if (expectAddress - base != image.size())
                return Fail("address"), 0;
            image.insert(image.end(), f, f + l);
            ++blocks;
            return ok(0x84);
        }
        if (n < 3 || f[0] != 0x46 || f[1] != 0x58)
            return Fail("frame"), 0;
        switch (f[2]) {
        case 0xC9:
            std::memcpy(reply, ident.data(), ident.size());
            return int(ident.size());
        case 0xC0:
            if (n != 9 || f[8] != 0xFF || !(ident.rfind("zendrix-", 0) == 0))
                return Fail("start"), 0;
            base = f[3] == 1 ? kMainImageAddress : kSecondImageAddress;
            inImage = true;
            ++started;
            return ok(0x81);
        case 0xC2: {
            uint32_t a = f[3] | f[4] << 8 | f[5] << 16 | uint32_t(f[6]) << 24;
            if (n != 9 || !inImage || a != base)
                return Fail("erase"), 0;
            eraseSizes.push_back(f[7]);
            written[base].clear();
            blocks = 0;
            return ok(0x83);
        }
        case 0xC1:
            if (n != 10 || f[9] != 0xFF || !inImage)
                return Fail("header"), 0;
            if (blocks == silentAtBlock)
                return 0;
            expectAddress = f[3] | f[4] << 8 | f[5] << 16 | uint32_t(f[6]) << 24;
            expectLength = f[7] | f[8] << 8;
            if (expectAddress != base + uint32_t(blocks) * 2048)
                return Fail("block address"), 0;
            headerSeen = true;
            return ok(0x82);
        case 0xC3:
            if (n != 4 || !inImage)
                return Fail("end"), 0;
            inImage = false;
            ++ended;
            return ok(0x85);
        }
        return Fail("command"), 0;
    }
    void Fail(const char* what)
    {
        if (error.empty())
            error = what;
    }
};

class FakeChannel : public IToolChannel {
public:
    explicit FakeChannel(FakeTool& t) : m_tool(t) {}
    int Open(int port) override
    {
        ++m_tool.opens;
        return port == 5 && !m_tool.portHeld ? 1 : 0;
    }
    int Transact(const uint8_t* command, int length, uint32_t, uint8_t* reply) override
    {
        std::memset(reply, 0, kReplySize);
        for (int attempt = 0; attempt < 3; ++attempt) {
            int n = m_tool.Answer(command, length, reply);
            if (n > 0)
                return n;
        }
        return 0;
    }
    void Close() override {}

private:
    FakeTool& m_tool;
};

struct Recorder : IWorkerHost {
    std::vector<int> percents;
    std::vector<std::wstring> statuses;
    std::vector<uint32_t> times;
    std::vector<std::string> events;
    void Progress(int row, int percent) override
    {
        percents.push_back(percent);
        times.push_back(TickCount());
    }
    void Status(int row, const std::wstring& text) override { statuses.push_back(text); }
    void Flashing(int row) override { events.push_back("flashing"); }
    void Failed() override { events.push_back("failed"); }
    void Done() override { events.push_back("done"); }
    void End(int row) override { events.push_back("end"); }
};

class UpdateTransfer : public ::testing::Test {
protected:
    void SetUp() override
    {
        g_nDevicePort = 5;
        SetUpdateTextSource([](int n) { return L"#" + std::to_wstring(n); });
        SetMessageSink([this](const std::wstring& text, unsigned) {
            messages.push_back(text);
            return kIdOk;
        });
    }
    void TearDown() override
    {
        SetMessageSink({});
        SetUpdateTextSource({});
    }
    std::wstring Write(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        std::string path = dir.file(name);
        test::WriteFileBytes(path, std::string(bytes.begin(), bytes.end()));
        return Utf8ToWide(path);
    }
    int Flash(const std::wstring& path)
    {
        return FlashPackageFile(rec, path, 0, [this] { return std::make_unique<FakeChannel>(tool); });
    }
    static std::vector<uint8_t> Image(size_t n)
    {
        std::vector<uint8_t> v(n);
        for (size_t i = 0; i < n; ++i)
            v[i] = uint8_t(i * 31 + 7);
        return v;
    }
    test::TempDir dir;
    FakeTool tool;
    Recorder rec;
    std::vector<std::wstring> messages;
};

} // namespace

TEST_F(UpdateTransfer, FrameLayouts)
{
    uint8_t h[10];
    MakeBlockHeader(0x08004800u, 3, h);
    const uint8_t header[10] = {0x46, 0x58, 0xC1, 0x00, 0x48, 0x00, 0x08, 0x09, 0x00, 0xFF};
    EXPECT_EQ(0, std::memcmp(h, header, 10));
    const uint8_t block[3] = {1, 2, 3};
    uint8_t d[9];
    MakeBlockData(block, 3, 5, d);
    const uint8_t data[9] = {1, 2, 3, 6, 0, 0, 0, 0, 5};
    EXPECT_EQ(0, std::memcmp(d, data, 9));
    MakeBlockData(block, 3, 0x1234, d);
    EXPECT_EQ(d[7], 0x12);
    EXPECT_EQ(d[8], 0x34);
}

TEST_F(UpdateTransfer, TwoFullBlocksWithZeroAndFiftyPercent)
{
    auto image = Image(4096);
    ASSERT_EQ(Flash(Write("QB345_V2.34_EN_20191023.bin", BuildPackage(kPackageMain, image))), 0);
    EXPECT_EQ(tool.error, "");
    EXPECT_EQ(tool.written[kMainImageAddress], image);
    EXPECT_EQ(tool.ended, 1);
    EXPECT_EQ(rec.percents, (std::vector<int>{0, 0, 50, 100}));
    ASSERT_EQ(rec.statuses.size(), 4u);
    EXPECT_EQ(rec.statuses[0], L"0% / #68");
    EXPECT_EQ(rec.statuses[1], L"0% / #69");
    EXPECT_EQ(rec.statuses[2], L"50% / #69");
    EXPECT_EQ(rec.statuses[3], L"#64");
    EXPECT_EQ(tool.eraseSizes, (std::vector<uint8_t>{0xF2}));
    EXPECT_TRUE(messages.empty());
}

TEST_F(UpdateTransfer, ShortLastBlockAndEmptyImage)
{
    auto image = Image(2049);
    ASSERT_EQ(Flash(Write("a.bin", BuildPackage(kPackageMain, image))), 0);
    EXPECT_EQ(tool.error, "");
    EXPECT_EQ(tool.written[kMainImageAddress], image);
    // Start, Erase, header, data, header (announcing 7), data, End after Identify.
    ASSERT_EQ(tool.frames.size(), 8u);
    EXPECT_EQ(tool.frames[5][7], 7);
    EXPECT_EQ(tool.frames[5][8], 0);
    EXPECT_EQ(tool.frames[6].size(), 7u);

    FakeTool empty;
    tool = empty;
    ASSERT_EQ(Flash(Write("b.bin", BuildPackage(kPackageMain, {}))), 0);
    ASSERT_EQ(tool.frames.size(), 4u);  // Identify, Start, Erase, End
    EXPECT_EQ(tool.frames[1][2], 0xC0);
    EXPECT_EQ(tool.frames[2][2], 0xC2);
    EXPECT_EQ(tool.frames[3][2], 0xC3);
}

TEST_F(UpdateTransfer, TypeThreeHalvesTheRangeAndPausesBetweenImages)
{
    auto main = Image(4096), second = Image(2048);
    ASSERT_EQ(Flash(Write("QB230E_V1.00_EN_20200101.bin", BuildPackage(kPackageBoth, main, second))), 0);
    EXPECT_EQ(tool.error, "");
    EXPECT_EQ(tool.written[kMainImageAddress], main);
    EXPECT_EQ(tool.written[kSecondImageAddress], second);
    EXPECT_EQ(rec.percents, (std::vector<int>{0, 0, 25, 50, 50, 100}));
    // The second image's first report comes at least a second after the first image ended.
    EXPECT_GE(rec.times[3] - rec.times[2], 1000u);
    // "QB230E" in the path: 0x32 for the main image, 0x00 for the second.
    EXPECT_EQ(tool.eraseSizes, (std::vector<uint8_t>{0x32, 0x00}));
    EXPECT_EQ(tool.frames[1][3], 0x01);  // main selector 01 02 03 04 05

    FakeTool fresh;
    tool = fresh;
    ASSERT_EQ(Flash(Write("second.bin", BuildPackage(kPackageSecond, second))), 0);
    EXPECT_EQ(tool.written[kSecondImageAddress], second);
    EXPECT_EQ(tool.eraseSizes, (std::vector<uint8_t>{0x00}));
    EXPECT_EQ(tool.frames[1][3], 0x05);  // second selector 05 04 03 02 01
}

TEST_F(UpdateTransfer, FailuresShowTheirTextAndStop)
{
    auto pkg = BuildPackage(kPackageMain, Image(8192));

    tool.ident = "acme-QB345";
    EXPECT_EQ(Flash(Write("p.bin", pkg)), -1);
    EXPECT_EQ(tool.frames.size(), 1u);  // identified, never written to
    EXPECT_EQ(messages.back(), L"#67");

    FakeTool silent;
    silent.silentAtBlock = 2;
    tool = silent;
    EXPECT_EQ(Flash(Write("p.bin", pkg)), -1);
    EXPECT_EQ(messages.back(), L"#67");
    EXPECT_EQ(tool.written[kMainImageAddress].size(), 4096u);
    EXPECT_EQ(tool.ended, 0);

    FakeTool held;
    held.portHeld = true;
    tool = held;
    EXPECT_EQ(Flash(Write("p.bin", pkg)), -1);
    EXPECT_EQ(messages.back(), L"#66");

    FakeTool fresh;
    tool = fresh;
    EXPECT_EQ(Flash(Utf8ToWide(dir.file("missing.bin"))), -1);
    EXPECT_EQ(messages.back(), L"#63");
    auto flipped = pkg;
    flipped[100] ^= 0x01;
    EXPECT_EQ(Flash(Write("f.bin", flipped)), -1);
    EXPECT_EQ(messages.back(), L"#83");
    EXPECT_EQ(tool.opens, 0);  // a bad package never reaches the port
    EXPECT_EQ(messages.size(), 5u);
}

TEST_F(UpdateTransfer, FlashWorkerReportsDoneOrFailedThenEnd)
{
    WorkerJob job{3, L"", Write("ok.bin", BuildPackage(kPackageMain, Image(10)))};
    RunFlashWorker(rec, job, [this] { return std::make_unique<FakeChannel>(tool); });
    EXPECT_EQ(rec.events, (std::vector<std::string>{"flashing", "done", "end"}));
    rec.events.clear();
    job.path = Utf8ToWide(dir.file("gone.bin"));
    RunFlashWorker(rec, job, [this] { return std::make_unique<FakeChannel>(tool); });
    EXPECT_EQ(rec.events, (std::vector<std::string>{"flashing", "failed", "end"}));
}
