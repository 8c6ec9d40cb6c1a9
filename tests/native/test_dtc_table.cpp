// The code file loader, the prefix search over letter groups and what one
// change of the code box's text leads to.
#include "app/core/globals.h"
#include "app/core/platform.h"
#include "dtc/core/DtcTable.h"
#include "native/support/temp_dir.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

namespace {

// Groups P, C, B, U in order, as a code file lists them.
const char kOrdered[] =
    "P0001 Fuel Volume Regulator Control Circuit/Open\r\n"
    "P0100 Mass or Volume Air Flow Circuit Malfunction\r\n"
    "P0135 O2 Sensor Heater Circuit Malfunction (Bank 1 Sensor 1)\r\n"
    "C0001 TCS Control Channel A Valve 1\r\n"
    "B0001 Driver Frontal Stage 1 Deployment Control\r\n"
    "B0100 Electronic Frontal Sensor 1\r\n"
    "U0001 High Speed CAN Communication Bus\r\n"
    "U0100 Lost Communication With ECM/PCM A\r\n";

CDtcTable Load(const std::string& bytes)
{
    CDtcTable t;
    t.LoadBytes(bytes);
    return t;
}

} // namespace

TEST(DtcLoad, LinesBecomeEntriesNumberedAsTheirListRows)
{
    std::vector<std::pair<int, std::wstring>> rows;
    CDtcTable t;
    t.LoadBytes("P0100 first  text \r\n"
                "\r\n"
                "no-space-here\r\n"
                " begins with a space\r\n"
                "p0101 lower case\r\n"
                "C0001 Caf\xE9\n"
                "P0100 later text\r\n"
                "P0102 ends with a lone CR\r",
                [&](int32_t row, const std::wstring& code, const std::wstring&) { rows.emplace_back(row, code); });

    ASSERT_EQ(t.m_entryCount, 6);
    EXPECT_EQ(t.m_codes, (std::vector<std::wstring>{L"P0100", L"", L"p0101", L"C0001", L"P0100", L"P0102"}));
    ASSERT_EQ(rows.size(), 6u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].first, static_cast<int>(i)) << "skipped lines take no number";
        EXPECT_EQ(rows[i].second, t.m_codes[i]);
    }
    std::wstring d;
    int32_t row = -1;
    ASSERT_TRUE(t.FindDtc(L"P0100", &d, &row));
    EXPECT_EQ(d, L"later text") << "the later line of a code wins";
    EXPECT_EQ(row, 4);
    ASSERT_TRUE(t.FindDtc(L"C0001", &d));
    EXPECT_EQ(d, L"Caf\u00E9") << "LF-only line, byte 0xE9 is e acute";
    ASSERT_TRUE(t.FindDtc(L"P0102", &d));
    EXPECT_EQ(d, L"ends with a lone CR\r") << "only CR LF and LF end a line";
    EXPECT_EQ(t.m_descByCode.at(L""), L"begins with a space");
    EXPECT_FALSE(t.FindDtc(L"P0101")) << "lower case is stored but never typed";
    EXPECT_EQ(t.m_groupStartP, 0);
    EXPECT_EQ(t.m_groupStartC, 3);
    EXPECT_EQ(t.m_groupStartB, -1);
    EXPECT_EQ(t.m_groupStartU, -1);

    CDtcTable bom = Load("\xEF\xBB\xBFP0001 marked\r\nP0002 next\r\n");
    EXPECT_EQ(bom.m_codes[0], L"\u00EF\u00BB\u00BFP0001") << "a byte-order mark is part of the first code";
    EXPECT_EQ(bom.m_groupStartP, 1);

    CDtcTable empty = Load("P0001 \r\n");
    EXPECT_FALSE(empty.FindDtc(L"P0001")) << "an empty description is not known";
}

TEST(DtcLoad, FallsBackToTheEnglishFileAndStaysEmptyWithoutIt)
{
    // The files are the installation's: the working directory is elsewhere.
    kelvo::test::TempDir dir, elsewhere;
    const auto old = std::filesystem::current_path();
    std::filesystem::current_path(elsewhere.path());
    kelvo::SetModuleFolder(kelvo::Utf8ToWide(dir.path() + "/"));
    std::filesystem::create_directory(dir.file("dtc"));
    kelvo::test::WriteFileBytes(dir.file("dtc/en_OBDII.txt"), "P0001 english\r\n");
    kelvo::test::WriteFileBytes(dir.file("dtc/pl_OBDII.txt"), "P0001 polish\r\n");

    CDtcTable t;
    std::wstring d;
    EXPECT_TRUE(t.LoadFile(4));
    EXPECT_TRUE(t.FindDtc(L"P0001", &d) && d == L"polish") << "index 4 is the loader's Polish file";
    EXPECT_TRUE(t.LoadFile(5));
    EXPECT_TRUE(t.FindDtc(L"P0001", &d) && d == L"english") << "no Portuguese file: English";
    EXPECT_TRUE(t.LoadFile(9));
    EXPECT_TRUE(t.FindDtc(L"P0001", &d) && d == L"english");

    std::filesystem::remove(dir.file("dtc/en_OBDII.txt"));
    EXPECT_FALSE(t.LoadFile(0));
    EXPECT_EQ(t.m_entryCount, 0);
    EXPECT_EQ(t.m_groupStartP, -1);
    EXPECT_EQ(t.ResolveDtcText(L"P"), L"P");
    kelvo::SetModuleFolder(std::wstring());
    std::filesystem::current_path(old);
}

TEST(DtcPrefix, FirstCodeOfTheLetterGroupThatBeginsWithTheText)
{
    CDtcTable t = Load(kOrdered);
    EXPECT_EQ(t.ResolveDtcText(L"P01"), L"P0100");
    EXPECT_EQ(t.ResolveDtcText(L"P0001"), L"P0001");
    EXPECT_EQ(t.ResolveDtcText(L"U"), L"U0001");
    EXPECT_EQ(t.ResolveDtcText(L"B01"), L"B0100");
    EXPECT_EQ(t.ResolveDtcText(L"X12"), L"X12");
    EXPECT_EQ(t.ResolveDtcText(L"P00011"), L"P00011") << "longer than any code";
    EXPECT_FALSE(t.FindDtc(L"P00011"));
    EXPECT_EQ(t.ResolveDtcText(L""), L"");

    CDtcTable dup = Load("P0100 first\r\nP0100 second\r\nP0101 x\r\n");
    EXPECT_EQ(dup.ResolveDtcText(L"P010"), L"P0100");
    int32_t row = -1;
    EXPECT_TRUE(dup.FindDtc(L"P0100", nullptr, &row));
    EXPECT_EQ(row, 1) << "the prefix stops at the earlier row and reports the later";
}

TEST(DtcPrefix, AGroupEndsAtTheNextPresentGroupWhateverItsLetter)
{
    // No C codes: the P group must not end at C's start (-1).
    CDtcTable noC = Load("P0001 a\r\nP0100 b\r\nB0001 c\r\nU0001 d\r\n");
    EXPECT_EQ(noC.ResolveDtcText(L"P01"), L"P0100");
    EXPECT_EQ(noC.ResolveDtcText(L"C0"), L"C0") << "an absent group is empty";
    EXPECT_EQ(noC.ResolveDtcText(L"B"), L"B0001");

    // Groups out of order (U, P, C): each still runs to the next start after it.
    CDtcTable mixed = Load("U0001 a\r\nU0100 b\r\nP0001 c\r\nP0100 d\r\nC0001 e\r\n");
    EXPECT_EQ(mixed.ResolveDtcText(L"U01"), L"U0100");
    EXPECT_EQ(mixed.ResolveDtcText(L"P01"), L"P0100");
    EXPECT_EQ(mixed.ResolveDtcText(L"C"), L"C0001");
}

TEST(DtcSearch, UpperCasesCompletesAndRemembersOnlyFullCodes)
{
    CDtcTable t = Load(std::string(kOrdered) + " a line whose code is empty\r\n");
    kelvo::DtcSearch s = kelvo::SearchDtc(t, L"p01");
    EXPECT_EQ(s.text, L"P01");
    EXPECT_TRUE(s.found);
    EXPECT_EQ(s.code, L"P0100");
    EXPECT_EQ(s.row, 1);
    EXPECT_FALSE(s.remember);

    s = kelvo::SearchDtc(t, L"p0135");
    EXPECT_TRUE(s.found && s.remember);
    EXPECT_EQ(s.row, 2);

    s = kelvo::SearchDtc(t, L"P9");
    EXPECT_FALSE(s.found);

    s = kelvo::SearchDtc(t, L"");
    EXPECT_FALSE(s.found) << "an emptied box selects nothing, not the line whose code is empty";
}
