// The code file of the installation folder: its form, and that it is what
// the converter makes of the installed datafile.
#include "dtc/core/DtcTable.h"
#include "native/support/temp_dir.h"
#include "tools/dtcconv/codes.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

std::string Dist(const std::string& relative)
{
    const char* d = std::getenv("KELVO_DIST");
    return std::string(d ? d : "") + "/" + relative;
}

} // namespace

TEST(DtcFile, GroupsPCBUSortedCrLfNoMark)
{
    const std::string bytes = kelvo::test::ReadFileBytes(Dist("dtc/en_OBDII.txt"));
    ASSERT_FALSE(bytes.empty()) << Dist("dtc/en_OBDII.txt");
    ASSERT_EQ(bytes.compare(0, 1, "P"), 0) << "no byte-order mark";
    const std::string letters = "PCBU";
    std::string previous;
    int count[4] = {0, 0, 0, 0};
    size_t pos = 0, lines = 0;
    while (pos < bytes.size()) {
        const size_t lf = bytes.find('\n', pos);
        ASSERT_NE(lf, std::string::npos) << "the last line ends too";
        ASSERT_GT(lf, pos);
        ASSERT_EQ(bytes[lf - 1], '\r') << "CR LF at offset " << lf;
        const std::string line = bytes.substr(pos, lf - 1 - pos);
        ASSERT_EQ(line.find('\r'), std::string::npos) << line;
        ASSERT_GT(line.size(), 6u) << line;
        ASSERT_EQ(line[5], ' ') << line;
        const std::string code = line.substr(0, 5);
        const size_t g = letters.find(code[0]);
        ASSERT_NE(g, std::string::npos) << line;
        if (!previous.empty()) {
            const size_t pg = letters.find(previous[0]);
            ASSERT_TRUE(g > pg || (g == pg && code > previous)) << previous << " then " << code;
        }
        ++count[g];
        previous = code;
        pos = lf + 1;
        ++lines;
    }

    // Counts as the installed datafile gives them.
    const std::string source = kelvo::test::ReadFileBytes(KELVO_DTC_SOURCE);
    dtcconv::CodeSet set;
    std::string error;
    ASSERT_TRUE(dtcconv::ConvertDatafile(KELVO_DTC_SOURCE, source, &set, &error)) << error;
    for (int i = 0; i < 4; ++i) {
        EXPECT_GT(count[i], 0) << letters[i];
        EXPECT_EQ(count[i], set.count[i]) << letters[i];
    }
    EXPECT_EQ(bytes, dtcconv::FormatCodeFile(set)) << "made from the datafile, the same every time";
    std::printf("%zu codes: P %d, C %d, B %d, U %d\n", lines, count[0], count[1], count[2], count[3]);
}

TEST(DtcFile, LooksUpAsThePageUsesItWithItsAttribution)
{
    CDtcTable t;
    t.LoadBytes(kelvo::test::ReadFileBytes(Dist("dtc/en_OBDII.txt")));
    EXPECT_EQ(t.ResolveDtcText(L"P01"), L"P0100");
    EXPECT_EQ(t.ResolveDtcText(L"P"), L"P0001");
    EXPECT_TRUE(t.FindDtc(L"P0135"));
    EXPECT_TRUE(t.FindDtc(L"U0001")) << "the entry the source ran into P3497";
    EXPECT_EQ(t.m_groupStartP, 0);
    EXPECT_LT(t.m_groupStartC, t.m_groupStartB);
    EXPECT_LT(t.m_groupStartB, t.m_groupStartU);
    EXPECT_TRUE(kelvo::test::FileExists(Dist("dtc/ATTRIBUTION.txt")));
    EXPECT_NE(kelvo::test::ReadFileBytes(Dist("dtc/GPL-2.txt")).find("GNU GENERAL PUBLIC LICENSE"), std::string::npos);
}
