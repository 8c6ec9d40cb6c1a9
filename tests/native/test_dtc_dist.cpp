// The code file of the installation folder: its form, and that it is what
// the converter makes of the installed datafile.
#include "app/core/platform.h"
#include "dtc/core/DtcTable.h"
#include "dtc/core/DtcWords.h"
#include "native/support/temp_dir.h"
#include "tools/dtcconv/codes.h"

#include <gtest/gtest.h>

#include <algorithm>

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

TEST(DtcFile, TheInstalledAbbreviationsFindTheShippedCodesBothWays)
{
    CDtcTable t;
    t.LoadBytes(kelvo::test::ReadFileBytes(Dist("dtc/en_OBDII.txt")));
    kelvo::DtcWordIndex index;
    ASSERT_GT(index.LoadAbbreviations(kelvo::test::ReadFileBytes(Dist("dtc/abbreviations.txt"))), 10);
    index.Build(t);
    auto codes = [&](const wchar_t* words) {
        std::vector<std::wstring> out;
        for (int32_t row : index.Search(words))
            out.push_back(t.m_codes[static_cast<size_t>(row)]);
        return out;
    };
    auto sorted = [&](const wchar_t* words) {
        std::vector<std::wstring> out = codes(words);
        std::sort(out.begin(), out.end());
        return out;
    };
    for (const wchar_t* a : {L"O2", L"MAF", L"EGR", L"TPS", L"EVAP", L"IAT", L"ECT", L"VSS", L"CKP", L"CMP"})
        EXPECT_FALSE(codes(a).empty()) << kelvo::WideToUtf8(a);
    EXPECT_EQ(codes(L"o2"), codes(L"oxygen"));
    EXPECT_EQ(sorted(L"maf"), sorted(L"mass air flow"));
    EXPECT_EQ(sorted(L"tps"), sorted(L"throttle pedal position sensor"));
    const std::vector<std::wstring> heater = codes(L"oxygen heater bank 2");
    ASSERT_FALSE(heater.empty());
    EXPECT_EQ(heater.front(), L"P0050") << "HO2S Heater Control Circuit (Bank 2 Sensor 1)";
    EXPECT_NE(std::find(heater.begin(), heater.end(), L"P0155"), heater.end());
    EXPECT_EQ(codes(L"o2 heater bank 2"), heater);
}
