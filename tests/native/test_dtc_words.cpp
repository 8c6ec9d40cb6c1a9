// Trouble codes by the words of their descriptions: what is a code, matching
// word beginnings in any order, the ranking, the abbreviations both ways.
#include "app/core/platform.h"
#include "dtc/core/DtcWords.h"
#include "native/support/temp_dir.h"

#include <gtest/gtest.h>

using kelvo::DtcWordIndex;

namespace {

const char kCodes[] =
    "P0100 Mass or Volume Air Flow Circuit Malfunction\r\n"
    "P0101 Mass Air Flow Circuit Range/Performance Problem\r\n"
    "P0120 Throttle Position Sensor/Switch A Circuit Malfunction\r\n"
    "P0135 O2 Sensor Heater Circuit Malfunction (Bank 1 Sensor 1)\r\n"
    "P0141 O2 Sensor Heater Circuit Malfunction (Bank 1 Sensor 2)\r\n"
    "P0155 O2 Sensor Heater Circuit Malfunction (Bank 2 Sensor 1)\r\n"
    "P0161 O2 Sensor Heater Circuit Malfunction (Bank 2 Sensor 2)\r\n"
    "P0400 Exhaust Gas Recirculation Flow Malfunction\r\n"
    "P0401 EGR Flow Insufficient Detected\r\n"
    "P0500 Vehicle Speed Sensor Malfunction\r\n"
    "P0501 VSS Range/Performance\r\n"
    "P0600 Heaters Caf\xE9 \xC9tat\r\n"
    "P0601 \r\n"
    "C0035 Left Front Wheel Speed Sensor Circuit\r\n";

const char kAbbreviations[] =
    "# comment line\r\n"
    "O2 = oxygen\r\n"
    "MAF = mass air flow   # trailing comment\r\n"
    "EGR = exhaust gas recirculation\r\n"
    "VSS = vehicle speed sensor\r\n"
    "TPS = throttle position sensor\r\n"
    "no equals sign here\r\n"
    "TWO WORDS = not an entry\r\n"
    " = nothing\r\n"
    "X =\r\n";

class DtcWordsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_table.LoadBytes(kCodes);
        EXPECT_EQ(m_index.LoadAbbreviations(kAbbreviations), 5);
        m_index.Build(m_table);
    }
    std::vector<std::wstring> Codes(const std::wstring& typed) const
    {
        std::vector<std::wstring> out;
        for (int32_t row : m_index.Search(typed))
            out.push_back(m_table.m_codes[static_cast<size_t>(row)]);
        return out;
    }
    CDtcTable m_table;
    DtcWordIndex m_index;
};

using V = std::vector<std::wstring>;

} // namespace

TEST(DtcCodeShape, CodesAndWordsAreToldApart)
{
    for (const wchar_t* code : {L"P", L"p01", L"P0135", L"c0035", L"B0", L"U3011", L"PFFFF", L"P00011"})
        EXPECT_TRUE(kelvo::IsCodeShaped(code)) << kelvo::WideToUtf8(code);
    for (const wchar_t* words : {L"", L"oxygen", L"o2", L"P01 x", L"P0G", L" P01", L"cam", L"EGR", L"ckp", L"U 1"})
        EXPECT_FALSE(kelvo::IsCodeShaped(words)) << kelvo::WideToUtf8(words);
}

TEST_F(DtcWordsTest, EveryWordMustBeginAWordInAnyOrderAnyCase)
{
    EXPECT_EQ(Codes(L"heater bank 2"), (V{L"P0155", L"P0161", L"P0141"}));
    // Any order and case; side by side counts only in the order typed.
    EXPECT_EQ(Codes(L"2 BANK Heater"), (V{L"P0141", L"P0155", L"P0161"}));
    EXPECT_EQ(Codes(L"circ malf"), (V{L"P0100", L"P0120", L"P0135", L"P0141", L"P0155", L"P0161"}));
    EXPECT_TRUE(Codes(L"heater flux").empty()) << "every word must match";
    EXPECT_TRUE(Codes(L"eater").empty()) << "the start of a word, not its middle";
    EXPECT_TRUE(Codes(L"  ,/ ").empty()) << "no word, no search";
    EXPECT_EQ(Codes(L"caf\u00C9 \u00E9tat"), (V{L"P0600"})) << "ISO 8859-1 letters fold too";
    EXPECT_TRUE(Codes(L"P0601").empty()) << "an entry without description is never found";
}

TEST_F(DtcWordsTest, WholeWordsFirstThenWordsSideBySideThenCodeOrder)
{
    // "heater" whole in the O2 rows, only a beginning in P0600's "Heaters".
    EXPECT_EQ(Codes(L"heater"), (V{L"P0135", L"P0141", L"P0155", L"P0161", L"P0600"}));
    // "bank 2" side by side before "Bank 1 Sensor 2".
    EXPECT_EQ(Codes(L"oxygen heater bank 2").front(), L"P0155");
    EXPECT_EQ(Codes(L"o2 heater bank 2"), Codes(L"oxygen heater bank 2"));
    EXPECT_EQ(Codes(L"o2 heater"), Codes(L"oxygen heater"));
    EXPECT_EQ(Codes(L"o2 heater").size(), 4u);
}

TEST_F(DtcWordsTest, AbbreviationsMatchTheirWordsBothWays)
{
    EXPECT_EQ(Codes(L"maf"), (V{L"P0101"})) << "the words side by side give the abbreviation";
    EXPECT_EQ(Codes(L"egr"), (V{L"P0400", L"P0401"}));
    EXPECT_EQ(Codes(L"exhaust gas recirculation"), (V{L"P0400", L"P0401"}));
    EXPECT_EQ(Codes(L"vehicle speed"), (V{L"P0500", L"P0501"}));
    EXPECT_EQ(Codes(L"vss"), (V{L"P0500", L"P0501"}));
    EXPECT_EQ(Codes(L"tps"), (V{L"P0120"}));
    EXPECT_EQ(Codes(L"oxygen").size(), 4u);

    // Without the table only the words themselves count.
    DtcWordIndex plain;
    EXPECT_FALSE(plain.LoadAbbreviationFile(L"/nonexistent/abbreviations.txt"));
    plain.Build(m_table);
    EXPECT_TRUE(plain.Search(L"oxygen").empty());
    EXPECT_EQ(plain.Search(L"o2").size(), 4u);
}

TEST(DtcWordsTable, AGarbledTableOrCodeFileGivesNoCrash)
{
    std::string junk;
    for (int i = 0; i < 4096; ++i)
        junk.push_back(static_cast<char>((i * 7919) & 0xFF));
    DtcWordIndex index;
    index.LoadAbbreviations(junk + "\nA = " + std::string(10000, 'b'));
    CDtcTable table;
    table.LoadBytes(junk);
    index.Build(table);
    index.Search(L"a b c \u00FF");
    index.Search(std::wstring(5000, L'x'));
    SUCCEED();
}
