// The look-up history in [DTC] of the settings file, byte for byte.
#include "app/core/platform.h"
#include "app/core/profile.h"
#include "dtc/core/DtcHistory.h"
#include "native/support/temp_dir.h"

#include <gtest/gtest.h>

using kelvo::test::ReadFileBytes;
using kelvo::test::WriteFileBytes;

namespace {

const std::string kHead = "[Update]\r\nQB345= V1.04\r\n\r\n[DTC]\r\n";
const std::string kTail = "[Setting]\r\nLanguage = 0\r\nSkin = 2\r\nAutoUpdate = 0\r\n";
const std::string kInstalled = kHead + "HistoryNum= 1\r\n\r\nHistoryNum01 = P0135\r\n" + kTail;

std::wstring Code(int i)
{
    wchar_t c[8];
    std::swprintf(c, 8, L"P%04d", 1000 + i);
    return c;
}

class DtcHistoryTest : public testing::Test {
protected:
    void SetUp() override
    {
        path = dir.file("Kelvo.cfg");
        kelvo::SetMessageSink([this](const std::wstring& text, unsigned) {
            messages.push_back(text);
            return kelvo::kIdOk;
        });
    }
    void TearDown() override { kelvo::SetMessageSink({}); }
    kelvo::DtcHistory History() { return kelvo::DtcHistory(kelvo::Utf8ToWide(path)); }

    kelvo::test::TempDir dir;
    std::string path;
    std::vector<std::wstring> messages;
};

} // namespace

TEST_F(DtcHistoryTest, InstalledFileGainsTheNextKeyBeforeTheNextSection)
{
    WriteFileBytes(path, kInstalled);
    kelvo::DtcHistory h = History();
    EXPECT_EQ(h.Load(), std::vector<std::wstring>{L"P0135"});

    EXPECT_TRUE(h.Add(L"P0100"));
    EXPECT_EQ(ReadFileBytes(path),
              kHead + "HistoryNum= 2\r\n\r\nHistoryNum01 = P0135\r\nHistoryNum02 = P0100\r\n" + kTail);

    const std::string before = ReadFileBytes(path);
    EXPECT_FALSE(h.Add(L"P0135")) << "already in the history";
    EXPECT_FALSE(h.Add(L"P0100")) << "added once only";
    EXPECT_EQ(ReadFileBytes(path), before);
    EXPECT_TRUE(messages.empty());
}

TEST_F(DtcHistoryTest, WithoutDtcSectionTheFirstCodeIsCountOneUnderKey01)
{
    WriteFileBytes(path, kTail);
    kelvo::DtcHistory h = History();
    EXPECT_TRUE(h.Load().empty());
    EXPECT_TRUE(h.Add(L"P0100"));
    EXPECT_EQ(ReadFileBytes(path), kTail + "\r\n[DTC]\r\nHistoryNum = 1\r\nHistoryNum01 = P0100\r\n");
}

TEST_F(DtcHistoryTest, ShortValuesAreNotOfferedButKeepTheirKeys)
{
    WriteFileBytes(path, kHead + "HistoryNum= 3\r\nHistoryNum01 = P0135\r\nHistoryNum02 = P01\r\nHistoryNum03 = U0100\r\n" + kTail);
    kelvo::DtcHistory h = History();
    EXPECT_EQ(h.Load(), (std::vector<std::wstring>{L"P0135", L"U0100"}));
    EXPECT_TRUE(h.Add(L"C0001"));
    EXPECT_EQ(ReadFileBytes(path), kHead + "HistoryNum= 4\r\nHistoryNum01 = P0135\r\nHistoryNum02 = P01\r\n"
                                           "HistoryNum03 = U0100\r\nHistoryNum04 = C0001\r\n" + kTail);
}

TEST_F(DtcHistoryTest, TwentyCodesAndNoMore)
{
    WriteFileBytes(path, kHead + kTail);
    kelvo::DtcHistory h = History();
    h.Load();
    for (int i = 1; i <= 20; ++i)
        ASSERT_TRUE(h.Add(Code(i))) << i;
    const std::string full = ReadFileBytes(path);
    EXPECT_NE(full.find("HistoryNum = 20\r\n"), std::string::npos);
    EXPECT_NE(full.find("HistoryNum20 = P1020\r\n"), std::string::npos);

    EXPECT_FALSE(h.Add(Code(21)));
    EXPECT_EQ(ReadFileBytes(path), full) << "the 21st code is not written";

    kelvo::DtcHistory again = History();
    std::vector<std::wstring> offered = again.Load();
    ASSERT_EQ(offered.size(), 20u);
    EXPECT_EQ(offered.back(), Code(20));
}

TEST_F(DtcHistoryTest, KeysFollowTheFileCountSoNoneIsWrittenPastTwenty)
{
    // Every key used up by short values: the next key would be HistoryNum21,
    // which no start reads.
    std::string used = kHead + "HistoryNum = 20\r\n";
    for (int i = 1; i <= 20; ++i)
        used += "HistoryNum" + std::string(i < 10 ? "0" : "") + std::to_string(i) + " = P01\r\n";
    WriteFileBytes(path, used + kTail);
    kelvo::DtcHistory h = History();
    EXPECT_TRUE(h.Load().empty());
    EXPECT_FALSE(h.Add(L"P0100"));
    EXPECT_EQ(ReadFileBytes(path), used + kTail);

    WriteFileBytes(path, kHead + "HistoryNum= 25\r\n" + kTail);
    kelvo::DtcHistory over = History();
    over.Load();
    EXPECT_FALSE(over.Add(L"P0100")) << "a count above 20";
    EXPECT_EQ(ReadFileBytes(path), kHead + "HistoryNum= 25\r\n" + kTail);

    WriteFileBytes(path, kHead + "HistoryNum= -4\r\n" + kTail);
    kelvo::DtcHistory negative = History();
    EXPECT_TRUE(negative.Load().empty());
    EXPECT_TRUE(negative.Add(L"P0100"));
    EXPECT_EQ(ReadFileBytes(path), kHead + "HistoryNum= 1\r\nHistoryNum01 = P0100\r\n" + kTail)
        << "a negative count counts as none";
}

TEST_F(DtcHistoryTest, AFileThatCannotBeWrittenShowsOneMessagePerCode)
{
    kelvo::DtcHistory h = History();  // no settings file at all
    EXPECT_TRUE(h.Load().empty());
    EXPECT_FALSE(h.Add(L"P0100"));
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Write error"});
    EXPECT_FALSE(kelvo::test::FileExists(path));
    EXPECT_FALSE(h.Add(L"P0100")) << "typed again: no second message";
    EXPECT_EQ(messages.size(), 1u);
}

TEST_F(DtcHistoryTest, ACodeAboveTheCountIsNeitherTakenForItNorOverwritten)
{
    // Edited by hand: the count comes after the codes.
    WriteFileBytes(path, kHead + "HistoryNum01 = P0135\r\nHistoryNum= 1\r\n" + kTail);
    kelvo::DtcHistory h = History();
    EXPECT_EQ(h.Load(), std::vector<std::wstring>{L"P0135"});
    EXPECT_TRUE(h.Add(L"P0100"));
    EXPECT_EQ(ReadFileBytes(path), kHead + "HistoryNum01 = P0135\r\nHistoryNum= 2\r\nHistoryNum02 = P0100\r\n" + kTail);
    EXPECT_EQ(History().Load(), (std::vector<std::wstring>{L"P0135", L"P0100"}));
}
