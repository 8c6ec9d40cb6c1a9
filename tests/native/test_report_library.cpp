// The report library's core: the VIN in a report, file names made and read
// back, the folder's listing, saving and loading, and when a report is saved.
#include "app/core/filebytes.h"
#include "app/core/platform.h"
#include "native/support/temp_dir.h"
#include "report/core/ReportLibrary.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace kelvo::report;
using kelvo::test::ReadFileBytes;
using kelvo::test::TempDir;
using kelvo::test::WriteFileBytes;

namespace {

std::wstring W(const std::string& s) { return kelvo::Utf8ToWide(s); }

Stamp At(int y, int mo, int d, int h, int mi, int s) { return Stamp{y, mo, d, h, mi, s}; }

} // namespace

TEST(ReportVin, TrueVinsOfSeveralRegionsAreFound)
{
    // North America (check digit required and right), Mexico, Japan.
    EXPECT_EQ(FindVin(L"QB345 REPORT\r\nVIN: 1HGCM82633A004352\r\nDTC P0135\r\n"), L"1HGCM82633A004352");
    EXPECT_EQ(FindVin(L"VIN 1M8GDM9AXKP042788"), L"1M8GDM9AXKP042788") << "check digit X";
    EXPECT_EQ(FindVin(L"Vehicle: 1G1ZT53826F109149 (no label needed with its check digit)"), L"1G1ZT53826F109149");
    EXPECT_EQ(FindVin(L"vin=3VWFE21C04M000001;"), L"3VWFE21C04M000001");
    EXPECT_EQ(FindVin(L"JH4KA7561PC008269"), L"JH4KA7561PC008269") << "Japan, with a right check digit";
    // China requires the check digit as North America does.
    EXPECT_EQ(FindVin(L"VIN: LSVAU033612345678"), L"LSVAU033612345678");
    // Europe: no check digit, so a label is needed.
    EXPECT_EQ(FindVin(L"VIN: W0L000051T2123456\r\n"), L"W0L000051T2123456");
    EXPECT_EQ(FindVin(L"VIN No. WVWZZZ1JZXW000001"), L"WVWZZZ1JZXW000001");
    EXPECT_EQ(FindVin(L"VIN#WVWZZZ1JZXW000001"), L"WVWZZZ1JZXW000001");
    EXPECT_EQ(FindVin(L"Vehicle Identification Number: WVWZZZ1JZXW000001"), L"WVWZZZ1JZXW000001");
    // The first of two.
    EXPECT_EQ(FindVin(L"ECU 1: 1HGCM82633A004352\r\nECU 2: JH4KA7561PC008269\r\n"), L"1HGCM82633A004352");
    EXPECT_EQ(VinCheckDigit(L"1M8GDM9AXKP042788"), L'X');
    EXPECT_EQ(VinCheckDigit(L"1HGCM82633A00435"), 0) << "too short";
}

TEST(ReportVin, NearMissesAndRandomRunsAreNeverAVin)
{
    const wchar_t* const misses[] = {
        L"VIN: 1HGCM82633A004353",         // North American, one digit wrong: the check digit fails
        L"VIN: LSVAU033512345678",         // Chinese with a wrong check digit
        L"WVWZZZ1JZXW000001",              // European without a label
        L"SERIAL: WVWZZZ1JZXW000001",      // labelled as something else
        L"VIN\r\nW0L000051T2123456",       // the label on another line
        L"VIN: 1HGCM82633A0O4352",         // an O
        L"VIN: 1HGCM82633A0I4352",         // an I
        L"VIN: 1HGCM82633A0Q4352",         // a Q
        L"VIN: 1hgcm82633a004352",         // lower case
        L"VIN: 1HGCM82633A0043521",        // 18 characters
        L"VIN: 1HGCM82633A00435",          // 16 characters
        L"x1HGCM82633A004352",             // part of a longer word
        L"11111111111111111",              // a check digit that holds, but no maker code
        L"VIN: 11111111111111111",
        L"VIN: W0L000051T212345A",         // the last four not digits
        L"CALID 3A7F0C1B9E2D40815 CVN 8F3A2B1C",  // a calibration id
        L"00 1A 2B 3C 4D 5E 6F 70 81 92 A3",       // a hex dump
        L"",
    };
    for (const wchar_t* m : misses)
        EXPECT_EQ(FindVin(m), L"") << kelvo::WideToUtf8(m);
    // Hex runs of 17 characters, even those whose check digit holds, are no VIN unlabelled.
    int taken = 0, checked = 0;
    for (unsigned seed = 1; seed < 2000; ++seed) {
        std::wstring run;
        unsigned x = seed * 2654435761u;
        for (int i = 0; i < 17; ++i) {
            x = x * 1103515245u + 12345u;
            run.push_back(L"0123456789ABCDEF"[(x >> 16) & 15]);
        }
        for (int i = 13; i < 17; ++i)
            run[static_cast<size_t>(i)] = static_cast<wchar_t>(L'0' + (run[static_cast<size_t>(i)] % 10));
        run[1] = L'A' + static_cast<wchar_t>(seed % 6);
        checked += VinCheckDigit(run) == run[8];
        taken += !FindVin(L"DATA " + run).empty();
    }
    EXPECT_GT(checked, 100) << "the runs do include ones whose check digit holds";
    EXPECT_EQ(taken, 0) << "of 2000 random hex runs";
}

TEST(ReportNames, AreMadeAndReadBack)
{
    const Stamp when = At(2026, 3, 7, 9, 5, 0);
    EXPECT_EQ(ReportFileName(when, L"QB345", L""), L"2026-03-07 09-05-00 QB345.txt");
    EXPECT_EQ(ReportFileName(when, L"QB345", L"1HGCM82633A004352"), L"2026-03-07 09-05-00 QB345 1HGCM82633A004352.txt");
    EXPECT_EQ(ReportFileName(when, L"QB345", L"", 2), L"2026-03-07 09-05-00 QB345 (2).txt");
    EXPECT_EQ(ReportFileName(when, L"", L""), L"2026-03-07 09-05-00 Report.txt") << "no model known";
    EXPECT_EQ(ReportFileName(when, L"QB 3/4:5*", L""), L"2026-03-07 09-05-00 QB-3-4-5.txt");

    SavedReport r;
    ASSERT_TRUE(ParseReportFileName(L"2026-03-07 09-05-00 QB345 1HGCM82633A004352 (3).txt", &r));
    EXPECT_EQ(r.when, when);
    EXPECT_EQ(r.model, L"QB345");
    EXPECT_EQ(r.vin, L"1HGCM82633A004352");
    ASSERT_TRUE(ParseReportFileName(L"2026-03-07 09-05-00 QB-3-4-5.txt", &r));
    EXPECT_EQ(r.model, L"QB-3-4-5");
    EXPECT_EQ(r.vin, L"");
    const wchar_t* const others[] = {
        L"notes.txt", L"2026-03-07 09-05-00 .txt", L"2026-03-07 09-05-00 QB345.doc", L"2026-13-07 09-05-00 QB345.txt",
        L"2026-03-07 25-05-00 QB345.txt", L"2026-03-07_09-05-00 QB345.txt", L"2026-03-07 09-05-00 QB345 NOTAVIN.txt",
        L"2026-3-07 09-05-00 QB345.txt",
    };
    for (const wchar_t* o : others)
        EXPECT_FALSE(ParseReportFileName(o, &r)) << kelvo::WideToUtf8(o);
}

TEST(ReportLibraryFolder, SavesEachReportUnderItsOwnNameAndListsThemNewestFirst)
{
    TempDir dir;
    const std::wstring folder = W(dir.file("Kelvo Reports"));
    const std::wstring text = L"QB345 REPORT\r\nVIN: 1HGCM82633A004352\r\nCoolant 90\u00B0\r\n";
    std::wstring path;
    ASSERT_EQ(SaveReport(folder, At(2026, 12, 10, 4, 40, 13), L"QB345", text, &path), SaveOutcome::kSaved)
        << "the folder is made on first use";
    EXPECT_EQ(path, W(dir.file("Kelvo Reports/2026-12-10 04-40-13 QB345 1HGCM82633A004352.txt")));
    EXPECT_EQ(ReadFileBytes(dir.file("Kelvo Reports/2026-12-10 04-40-13 QB345 1HGCM82633A004352.txt")),
              "QB345 REPORT\r\nVIN: 1HGCM82633A004352\r\nCoolant 90\xC2\xB0\r\n")
        << "UTF-8, line ends as they came";
    std::wstring back;
    ASSERT_TRUE(LoadReport(path, &back));
    EXPECT_EQ(back, text);

    // The same second again: a name of its own, the first file untouched.
    ASSERT_EQ(SaveReport(folder, At(2026, 12, 10, 4, 40, 13), L"QB345", L"second\r\n1HGCM82633A004352", &path),
              SaveOutcome::kSaved);
    EXPECT_EQ(path, W(dir.file("Kelvo Reports/2026-12-10 04-40-13 QB345 1HGCM82633A004352 (2).txt")));
    ASSERT_TRUE(LoadReport(W(dir.file("Kelvo Reports/2026-12-10 04-40-13 QB345 1HGCM82633A004352.txt")), &back));
    EXPECT_EQ(back, text);
    ASSERT_EQ(SaveReport(folder, At(2025, 1, 2, 3, 4, 5), L"QB345", L"older", nullptr), SaveOutcome::kSaved);
    ASSERT_EQ(SaveReport(folder, At(2026, 12, 11, 0, 0, 0), L"QB400", L"newest", nullptr), SaveOutcome::kSaved);
    EXPECT_EQ(SaveReport(folder, At(2026, 12, 11, 0, 0, 1), L"QB400", L"", nullptr), SaveOutcome::kNothingToSave);
    WriteFileBytes(dir.file("Kelvo Reports/notes.txt"), "not a report");
    ::mkdir(dir.file("Kelvo Reports/2026-12-12 00-00-00 QB345.txt").c_str(), 0755);

    const std::vector<SavedReport> list = ListReports(folder);
    ASSERT_EQ(list.size(), 4u) << "other files and folders are not reports";
    EXPECT_EQ(list[0].model, L"QB400");
    EXPECT_EQ(list[0].size, 6u);
    EXPECT_EQ(list[1].fileName, L"2026-12-10 04-40-13 QB345 1HGCM82633A004352 (2).txt");
    EXPECT_EQ(list[2].vin, L"1HGCM82633A004352");
    EXPECT_EQ(list[3].when, At(2025, 1, 2, 3, 4, 5));
    EXPECT_TRUE(ListReports(W(dir.file("missing"))).empty());
}

TEST(ReportLibraryFolder, AFolderThatCannotBeMadeOrWrittenLosesNothingSilently)
{
    TempDir dir;
    // A file where the folder should be.
    WriteFileBytes(dir.file("Kelvo Reports"), "x");
    EXPECT_EQ(SaveReport(W(dir.file("Kelvo Reports")), At(2026, 1, 1, 0, 0, 0), L"QB345", L"text", nullptr),
              SaveOutcome::kNoFolder);
    EXPECT_EQ(ReadFileBytes(dir.file("Kelvo Reports")), "x");
    EXPECT_EQ(SaveReport(W(dir.file("no/such/parent")), At(2026, 1, 1, 0, 0, 0), L"QB345", L"text", nullptr),
              SaveOutcome::kNoFolder);
    if (::geteuid() != 0) {
        // Root writes anywhere: a folder without rights shows only for others.
        ::mkdir(dir.file("ro").c_str(), 0555);
        EXPECT_EQ(SaveReport(W(dir.file("ro")), At(2026, 1, 1, 0, 0, 0), L"QB345", L"text", nullptr),
                  SaveOutcome::kWriteFailed);
        ::chmod(dir.file("ro").c_str(), 0755);
    }
    std::wstring text;
    EXPECT_FALSE(LoadReport(W(dir.file("missing.txt")), &text));
}

TEST(ReportKeeperRules, SavedOnceAfterTenQuietSecondsOrAtTheEndAndNeverWhenEmpty)
{
    ReportKeeper k;
    const Stamp first = At(2026, 1, 1, 8, 0, 0), later = At(2026, 1, 1, 8, 0, 5);
    EXPECT_FALSE(k.Pending());
    EXPECT_FALSE(k.Due(100000)) << "an empty capture is never due";
    EXPECT_TRUE(k.Take().text.empty());

    // Ticks near the wrap: the quiet time is measured across it.
    const uint32_t t0 = 0xFFFFF000u;
    k.Add(L"part one ", t0, first, L"QB345");
    k.Add(L"", t0 + 9000, later, L"");  // nothing arrived: no silence broken
    k.Add(L"part two", t0 + 5000, later, L"");
    EXPECT_FALSE(k.Due(t0 + 5000 + 9999));
    EXPECT_TRUE(k.Due(t0 + 5000 + 10000));
    ReportKeeper::Report r = k.Take();
    EXPECT_EQ(r.text, L"part one part two");
    EXPECT_EQ(r.when, first) << "the time the report began";
    EXPECT_EQ(r.model, L"QB345");
    EXPECT_FALSE(k.Pending());
    EXPECT_FALSE(k.Due(t0 + 60000)) << "never twice";
    EXPECT_TRUE(k.Take().text.empty());

    // The next report is one of its own, with the model kept.
    k.Add(L"second", 500, later, L"");
    EXPECT_TRUE(k.Pending());
    r = k.Take();
    EXPECT_EQ(r.text, L"second");
    EXPECT_EQ(r.when, later);
    EXPECT_EQ(r.model, L"QB345");
}

TEST(ReportLibraryFolder, ASavedFileBeyondTheLimitIsNeverLoadedWhole)
{
    TempDir dir;
    WriteFileBytes(dir.file("big.txt"), std::string(40000, 'x'));
    std::string bytes;
    EXPECT_EQ(kelvo::ReadWholeFile(W(dir.file("big.txt")), 40000, &bytes), kelvo::FileRead::kRead);
    EXPECT_EQ(bytes.size(), 40000u);
    EXPECT_EQ(kelvo::ReadWholeFile(W(dir.file("big.txt")), 39999, &bytes), kelvo::FileRead::kTooLarge);
    EXPECT_EQ(bytes.size(), 39999u) << "no more than the limit is kept";
    EXPECT_EQ(kelvo::ReadWholeFile(W(dir.file("missing.txt")), 10, &bytes), kelvo::FileRead::kCannotOpen);
    EXPECT_TRUE(bytes.empty());
}
