// Transfer sequencing: the frames a package becomes, against a tool that
// checks every frame it receives and keeps what was written.
#include "app/core/platform.h"
#include "device/core/IntPort.h"
#include "native/support/temp_dir.h"
#include "update/core/Package.h"
#include "update/core/Transfer.h"
#include "update/core/Workers.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <functional>
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
    // A fault for the n-th frame (from 1) of a command byte (kData: block
    // data): answered with this status instead, without effect.
    struct Fault {
        int key;
        int occurrence;
        uint8_t status;
    };
    static constexpr int kData = 0x100;
    std::vector<Fault> faults;
    std::map<int, int> seen;
    std::function<void()> onEnd;  // after an End is acknowledged
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
        const int key = headerSeen ? kData : (n >= 3 ? f[2] : -1);
        const int occurrence = ++seen[key];
        for (const Fault& fault : faults)
            if (fault.key == key && fault.occurrence == occurrence) {
                headerSeen = false;
                return ok(fault.status);
            }
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
            if (onEnd)
                onEnd();
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
            if (n > 2 && (reply[2] & 0xF0) == 0xE0)
                return -1;  // a refusal, as CIntPort reports it
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
    int Tell(int number, unsigned flags) override { return ShowUpdateMessage(number, flags); }
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
    int Flash(const std::wstring& path, const std::wstring& confirmed = L"QB345")
    {
        return FlashPackageFile(rec, path, confirmed, 0, [this] { return std::make_unique<FakeChannel>(tool); });
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
    ASSERT_EQ(Flash(Write("QB345_a.bin", BuildPackage(kPackageMain, image))), 0);
    EXPECT_EQ(tool.error, "");
    EXPECT_EQ(tool.written[kMainImageAddress], image);
    // Start, Erase, header, data, header (announcing 7), data, End after Identify.
    ASSERT_EQ(tool.frames.size(), 8u);
    EXPECT_EQ(tool.frames[5][7], 7);
    EXPECT_EQ(tool.frames[5][8], 0);
    EXPECT_EQ(tool.frames[6].size(), 7u);

    // An empty image would erase the tool and write nothing: not a package.
    FakeTool empty;
    tool = empty;
    EXPECT_EQ(Flash(Write("QB345_b.bin", BuildPackage(kPackageMain, {}))), -1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#83"});
    EXPECT_EQ(tool.opens, 0);
    EXPECT_TRUE(tool.frames.empty());
}

TEST_F(UpdateTransfer, TypeThreeHalvesTheRangeAndPausesBetweenImages)
{
    auto main = Image(4096), second = Image(2048);
    tool.ident = "zendrix-QB230E";
    ASSERT_EQ(Flash(Write("QB230E_V1.00_EN_20200101.bin", BuildPackage(kPackageBoth, main, second)), L"QB230E"), 0);
    EXPECT_EQ(tool.error, "");
    EXPECT_EQ(tool.written[kMainImageAddress], main);
    EXPECT_EQ(tool.written[kSecondImageAddress], second);
    EXPECT_EQ(rec.percents, (std::vector<int>{0, 0, 25, 50, 50, 100}));
    // The second image's first report comes at least a second after the first image ended.
    EXPECT_GE(rec.times[3] - rec.times[2], 1000u);
    // A QB230E package: 0x32 for the main image, 0x00 for the second.
    EXPECT_EQ(tool.eraseSizes, (std::vector<uint8_t>{0x32, 0x00}));
    EXPECT_EQ(tool.frames[1][3], 0x01);  // main selector 01 02 03 04 05

    FakeTool fresh;
    tool = fresh;
    ASSERT_EQ(Flash(Write("QB345_second.bin", BuildPackage(kPackageSecond, second))), 0);
    EXPECT_EQ(tool.written[kSecondImageAddress], second);
    EXPECT_EQ(tool.eraseSizes, (std::vector<uint8_t>{0x00}));
    EXPECT_EQ(tool.frames[1][3], 0x05);  // second selector 05 04 03 02 01
}

TEST_F(UpdateTransfer, FailuresShowTheirTextAndStop)
{
    auto pkg = BuildPackage(kPackageMain, Image(8192));

    tool.ident = "acme-QB345";
    EXPECT_EQ(Flash(Write("QB345_p.bin", pkg)), -1);
    EXPECT_EQ(tool.frames.size(), 1u);  // identified, never written to
    EXPECT_EQ(messages.back(), L"#67");

    FakeTool silent;
    silent.silentAtBlock = 2;
    tool = silent;
    EXPECT_EQ(Flash(Write("QB345_p.bin", pkg)), -1);
    EXPECT_EQ(messages.back(), L"#67");
    EXPECT_EQ(tool.written[kMainImageAddress].size(), 4096u);
    EXPECT_EQ(tool.ended, 0);

    FakeTool held;
    held.portHeld = true;
    tool = held;
    EXPECT_EQ(Flash(Write("QB345_p.bin", pkg)), -1);
    EXPECT_EQ(messages.back(), L"#66");

    FakeTool fresh;
    tool = fresh;
    EXPECT_EQ(Flash(Utf8ToWide(dir.file("missing.bin"))), -1);
    EXPECT_EQ(messages.back(), L"#63");
    auto flipped = pkg;
    flipped[100] ^= 0x01;
    EXPECT_EQ(Flash(Write("QB345_f.bin", flipped)), -1);
    EXPECT_EQ(messages.back(), L"#83");
    EXPECT_EQ(tool.opens, 0);  // a bad package never reaches the port
    EXPECT_EQ(messages.size(), 5u);
}

TEST_F(UpdateTransfer, FlashWorkerReportsDoneOrFailedThenEnd)
{
    WorkerJob job{3, L"", Write("QB345_ok.bin", BuildPackage(kPackageMain, Image(10))), L"QB345"};
    RunFlashWorker(rec, job, [this] { return std::make_unique<FakeChannel>(tool); });
    EXPECT_EQ(rec.events, (std::vector<std::string>{"flashing", "done", "end"}));
    rec.events.clear();
    job.path = Utf8ToWide(dir.file("gone.bin"));
    RunFlashWorker(rec, job, [this] { return std::make_unique<FakeChannel>(tool); });
    EXPECT_EQ(rec.events, (std::vector<std::string>{"flashing", "failed", "end"}));
}

TEST_F(UpdateTransfer, APackageForAnotherModelOrNoneNeverReachesThePort)
{
    auto pkg = BuildPackage(kPackageMain, Image(4096));
    // Another model's name, a name without a model, a confirmed model that
    // is empty: refused before the port is opened, with their own text.
    EXPECT_EQ(Flash(Write("QB460_V2.34_EN_20191023.bin", pkg)), -1);
    EXPECT_EQ(Flash(Write("firmware.bin", pkg)), -1);
    EXPECT_EQ(Flash(Write("_V2.34_EN_20191023.bin", pkg)), -1);
    EXPECT_EQ(Flash(Write("QB345_V2.34_EN_20191023.bin", pkg), L""), -1);
    EXPECT_EQ(messages, (std::vector<std::wstring>{L"#84", L"#84", L"#84", L"#84"}));
    EXPECT_EQ(tool.opens, 0);
    EXPECT_TRUE(tool.frames.empty());

    // The model is the name's, compared in upper case; the folder plays no part.
    messages.clear();
    std::filesystem::create_directories(dir.file("QB230E-backup"));
    ASSERT_EQ(Flash(Write("QB230E-backup/qb345_V2.34_EN_20191023.bin", pkg)), 0);
    EXPECT_EQ(tool.eraseSizes, (std::vector<uint8_t>{0xF2})) << "no QB230E erase code from a folder name";
    EXPECT_TRUE(messages.empty());
}

TEST_F(UpdateTransfer, ToolThatNoLongerNamesTheConfirmedModelGetsNoStart)
{
    // Another tool was plugged in on the port since the user confirmed.
    tool.ident = std::string("zendrix-QB460\0", 14);
    EXPECT_EQ(Flash(Write("QB345_V2.34_EN_20191023.bin", BuildPackage(kPackageMain, Image(4096)))), -1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#67"});
    ASSERT_EQ(tool.frames.size(), 1u);  // the identification alone
    EXPECT_EQ(tool.started, 0);

    // The same model in lower case and with its zero byte is the same tool.
    FakeTool same;
    same.ident = std::string("zendrix-qb345\0", 14);
    tool = same;
    EXPECT_EQ(Flash(Write("QB345_V2.34_EN_20191023.bin", BuildPackage(kPackageMain, Image(10)))), 0);
    EXPECT_EQ(tool.ended, 1);
}

TEST_F(UpdateTransfer, RefusedOrWrongAcknowledgementsEndTheTransfer)
{
    const auto image = Image(4096);
    struct Case {
        const char* what;
        FakeTool::Fault fault;
        size_t frames;  // frames the tool saw: nothing is sent after the failing one
    };
    const Case cases[] = {
        {"End refused", {0xC3, 1, 0xE1}, 8},
        {"End acknowledged with another status", {0xC3, 1, 0x84}, 8},
        {"second block's data refused", {FakeTool::kData, 2, 0xE3}, 7},
        {"first block's data with a wrong status", {FakeTool::kData, 1, 0x82}, 5},
    };
    for (const Case& c : cases) {
        FakeTool faulty;
        faulty.faults.push_back(c.fault);
        tool = faulty;
        messages.clear();
        EXPECT_EQ(Flash(Write("QB345_V2.34_EN_20191023.bin", BuildPackage(kPackageMain, image))), -1) << c.what;
        EXPECT_EQ(messages, std::vector<std::wstring>{L"#67"}) << c.what;
        EXPECT_EQ(tool.frames.size(), c.frames) << c.what;
        EXPECT_EQ(tool.ended, 0) << c.what;
    }
}

TEST_F(UpdateTransfer, TypeThreeFailingInItsSecondImageIsNoSuccess)
{
    auto main = Image(4096), second = Image(2048);
    // The second Start (the second image's) is refused.
    tool.faults.push_back({0xC0, 2, 0xE1});
    EXPECT_EQ(Flash(Write("QB345_V1.00_EN_20200101.bin", BuildPackage(kPackageBoth, main, second))), -1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#67"});
    EXPECT_EQ(tool.written[kMainImageAddress], main);
    EXPECT_EQ(tool.ended, 1);
    EXPECT_EQ(std::count(rec.percents.begin(), rec.percents.end(), 100), 0);
    EXPECT_EQ(std::count(rec.statuses.begin(), rec.statuses.end(), L"#64"), 0);

    // Failing in the middle of the second image's blocks as well.
    FakeTool late;
    late.faults.push_back({0xC1, 3, 0xE2});  // the second image's first header
    tool = late;
    messages.clear();
    EXPECT_EQ(Flash(Write("QB345_V1.00_EN_20200101.bin", BuildPackage(kPackageBoth, main, second))), -1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#67"});
    EXPECT_EQ(tool.ended, 1);
    EXPECT_TRUE(tool.written[kSecondImageAddress].empty());
}

TEST_F(UpdateTransfer, ToolRemovedDuringThePauseGetsNoSecondImage)
{
    auto main = Image(2048), second = Image(2048);
    // The main window's scan finds the tool gone while the first image ends.
    tool.onEnd = [] { NoteToolRemoved(); };
    EXPECT_EQ(Flash(Write("QB345_V1.00_EN_20200101.bin", BuildPackage(kPackageBoth, main, second))), -1);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"#67"});
    EXPECT_EQ(tool.started, 1);
    EXPECT_EQ(tool.opens, 1) << "the port is not opened again for the second image";
    EXPECT_TRUE(tool.written[kSecondImageAddress].empty());
}
