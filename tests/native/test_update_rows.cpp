// Package rows: size and speed texts, version rule, names formed from rows,
// local file names, and the values a catalogue may put into them.
#include "app/core/globals.h"
#include "app/core/platform.h"
#include "app/core/profile.h"
#include "update/core/Catalogue.h"
#include "update/core/PackageRows.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

using namespace kelvo;

TEST(UpdateRows, SizeTexts)
{
    EXPECT_EQ(SizeText(3u * 1048576), L"3.0 MB");
    EXPECT_EQ(SizeText(1000), L"1000.0 B");
    EXPECT_EQ(SizeText(2048), L"2.0 KB");
    EXPECT_EQ(SizeText(1048575), L"1024.0 KB");
    EXPECT_EQ(SizeText(1023), L"1023.0 B");
    EXPECT_EQ(SizeText(1024), L"1.0 KB");
    EXPECT_EQ(SizeText(0), L"0.0 B");
    EXPECT_EQ(SizeText(0xFFFFFFFFu), L"4096.0 MB");
}

TEST(UpdateRows, DownloadStatusText)
{
    EXPECT_EQ(DownloadStatusText(1048576, 2097152, 2000), L"50% / 512.0KB/s");
    // The first report uses 10 ms.
    EXPECT_EQ(DownloadStatusText(16384, 1048576, 10), L"1% / 1600.0KB/s");
    EXPECT_EQ(DownloadStatusText(2097152, 2097152, 4000), L"100% / 512.0KB/s");
    // No 32-bit overflow of total x 100 for big downloads.
    EXPECT_EQ(DownloadPercent(100u << 20, 200u << 20), 50);
    EXPECT_EQ(DownloadPercent(5, 0), 0);
    EXPECT_EQ(DownloadPercent(300, 200), 100);
}

TEST(UpdateRows, VersionNumbers)
{
    EXPECT_DOUBLE_EQ(VersionNumber(L"V1.04"), 1.04);
    EXPECT_DOUBLE_EQ(VersionNumber(L"VV2.4"), 2.4);
    EXPECT_DOUBLE_EQ(VersionNumber(L"2.34"), 2.34);
    EXPECT_DOUBLE_EQ(VersionNumber(L""), 0.0);
    EXPECT_DOUBLE_EQ(VersionNumber(L"beta"), 0.0);
    EXPECT_DOUBLE_EQ(VersionNumber(L"V"), 0.0);
    EXPECT_DOUBLE_EQ(VersionNumber(L"3.1x"), 3.1);
    EXPECT_DOUBLE_EQ(VersionNumber(L"v2.34"), 2.34);  // as a file name may spell it
}

namespace {
CatalogueEntry Entry(const std::wstring& sets, const std::wstring& version = L"2.34")
{
    return CatalogueEntry{version, L"2019/10/23", sets};
}
const std::wstring kBase = L"http://127.0.0.1:8080/Update/";
} // namespace

TEST(UpdateRows, NewerPackagesAreListedPerMatchingSet)
{
    std::vector<std::wstring> asked;
    auto sizeOf = [&](const std::wstring& address) {
        asked.push_back(address);
        return uint32_t(3 * 1048576);
    };
    auto sets = Entry(L"EN-FR-ES-DE-IT/EN-PT-SE-NL-HU/EN-RU");

    auto fr = NewerPackageRows(sets, L"QB345", L"V1.04", L"FR", kBase, 0, sizeOf);
    ASSERT_EQ(fr.size(), 1u);
    EXPECT_EQ(fr[0].number, L"001");
    EXPECT_EQ(fr[0].model, L"QB345");
    EXPECT_EQ(fr[0].version, L"V2.34");
    EXPECT_EQ(fr[0].languages, L"EN/FR/ES/DE/IT");
    EXPECT_EQ(fr[0].release, L"2019/10/23");
    EXPECT_EQ(fr[0].size, L"3.0 MB");
    EXPECT_FALSE(fr[0].local);
    ASSERT_EQ(asked.size(), 1u);
    EXPECT_EQ(asked[0], kBase + L"QB345/QB345_V2.34_EN-FR-ES-DE-IT.bin");

    auto en = NewerPackageRows(sets, L"QB345", L"V1.04", L"EN", kBase, 4, sizeOf);
    ASSERT_EQ(en.size(), 3u);
    EXPECT_EQ(en[0].number, L"005");
    EXPECT_EQ(en[2].number, L"007");
    EXPECT_EQ(en[1].languages, L"EN/PT/SE/NL/HU");
    EXPECT_EQ(en[2].languages, L"EN/RU");
}

TEST(UpdateRows, OnlyNewerVersionsAreListed)
{
    auto e = Entry(L"EN-RU");
    EXPECT_EQ(NewerPackageRows(e, L"QB345", L"V1.04", L"EN", kBase, 0, {}).size(), 1u);
    EXPECT_EQ(NewerPackageRows(e, L"QB345", L"V2.34", L"EN", kBase, 0, {}).size(), 0u);
    EXPECT_EQ(NewerPackageRows(e, L"QB345", L"V3.00", L"EN", kBase, 0, {}).size(), 0u);
    EXPECT_EQ(NewerPackageRows(e, L"QB345", L"", L"EN", kBase, 0, {}).size(), 1u);
    EXPECT_EQ(NewerPackageRows(Entry(L"EN-RU", L"2.5"), L"QB345", L"VV2.4", L"EN", kBase, 0, {}).size(), 1u);
    EXPECT_EQ(NewerPackageRows(Entry(L"EN-RU", L"2.4"), L"QB345", L"VV2.4", L"EN", kBase, 0, {}).size(), 0u);
    // Empty set parts never match.
    EXPECT_EQ(NewerPackageRows(Entry(L"//"), L"QB345", L"", L"EN", kBase, 0, {}).size(), 0u);
    // Without a size the row shows 0.0 B.
    EXPECT_EQ(NewerPackageRows(e, L"QB345", L"", L"EN", kBase, 0, [](const std::wstring&) { return 0u; })[0].size,
              L"0.0 B");
}

TEST(UpdateRows, CatalogueValuesThatCouldLeaveTheFolderGiveNoRow)
{
    const wchar_t* badModels[] = {L"QB\\345", L"QB/345", L"..", L"QB 345", L"QB?345", L"QB#345",
                                  L"QB%2f", L"C:QB", L"QB\"345", L"QB'3", L"QB\x01", L"QB_345", L""};
    for (const wchar_t* m : badModels)
        EXPECT_TRUE(NewerPackageRows(Entry(L"EN"), m, L"", L"EN", kBase, 0, {}).empty()) << WideToUtf8(m);

    const wchar_t* badVersions[] = {L"2.34/..", L"..\\2", L"2..3", L"2.3 4", L"2.3?x", L"2.3#", L"2:3", L"2\t3"};
    for (const wchar_t* v : badVersions)
        EXPECT_TRUE(NewerPackageRows(Entry(L"EN", v), L"QB345", L"", L"EN", kBase, 0, {}).empty()) << WideToUtf8(v);

    // A bad set is skipped, the good ones stay.
    auto rows = NewerPackageRows(Entry(L"EN-FR/EN\\..\\..\\x/EN%20RU/EN-RU"), L"QB345", L"", L"EN", kBase, 0, {});
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].languages, L"EN/FR");
    EXPECT_EQ(rows[1].languages, L"EN/RU");

    // The release date may hold "/" and spaces (a date written "2020 11 01"),
    // nothing worse; its file name is the digits alone.
    CatalogueEntry release = Entry(L"EN");
    release.release = L"2019/10/23";
    EXPECT_EQ(NewerPackageRows(release, L"QB345", L"", L"EN", kBase, 0, {}).size(), 1u);
    release.release = L"2020 11 01";
    rows = NewerPackageRows(release, L"QB345", L"", L"EN", kBase, 0, {});
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].release, L"2020 11 01");
    EXPECT_EQ(PackageFileName(rows[0]), L"QB345_V2.34_EN_20201101.bin");
    for (const wchar_t* r : {L"2019\\10\\23", L"../../x", L"2019:10", L"", L"   ", L"2019\t10", L"2019?10"}) {
        release.release = r;
        EXPECT_TRUE(NewerPackageRows(release, L"QB345", L"", L"EN", kBase, 0, {}).empty()) << WideToUtf8(r);
    }
}

TEST(UpdateRows, LocalFileNamesOfTheToolInTheLanguage)
{
    PackageRow row;
    ASSERT_TRUE(LocalPackageRow(L"QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin", 2048, L"QB345", L"EN", 0, &row));
    EXPECT_EQ(row.number, L"001");
    EXPECT_EQ(row.model, L"QB345");
    EXPECT_EQ(row.version, L"V2.34");
    EXPECT_EQ(row.languages, L"EN/FR/ES/DE/IT");
    EXPECT_EQ(row.release, L"2019/10/23");
    EXPECT_EQ(row.size, L"2.0 KB");
    EXPECT_TRUE(row.local);

    EXPECT_TRUE(LocalPackageRow(L"QB345_V2.34_EN-RU_20191023.bin", 1, L"QB345", L"EN", 1, &row));
    EXPECT_EQ(row.number, L"002");
    ASSERT_TRUE(LocalPackageRow(L"qb345_v2.34_en-ru_20191023.bin", 1, L"qb345", L"en", 2, &row));
    EXPECT_EQ(row.model, L"QB345");
    EXPECT_EQ(row.version, L"v2.34") << "shown and recorded as the name spells it";
    EXPECT_DOUBLE_EQ(VersionNumber(row.version), 2.34) << "and read back as its number, not 0";
    EXPECT_EQ(row.languages, L"EN/RU");
    EXPECT_FALSE(LocalPackageRow(L"QB460_V1.00_EN_20200101.bin", 1, L"QB345", L"EN", 0, &row));

    EXPECT_TRUE(LocalPackageRow(L"QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin", 1, L"QB345", L"FR", 0, &row));
    EXPECT_FALSE(LocalPackageRow(L"QB345_V2.34_EN-RU_20191023.bin", 1, L"QB345", L"FR", 0, &row));
    EXPECT_FALSE(LocalPackageRow(L"QB345_V2.34_EN-RU_20191023.bin", 1, L"", L"EN", 0, &row));
    EXPECT_FALSE(LocalPackageRow(L"", 1, L"QB345", L"EN", 0, &row));
}

TEST(UpdateRows, MalformedLocalFileNamesGiveNoRow)
{
    PackageRow row;
    for (const wchar_t* name : {
             L"QB345_V2.34.bin",                  // fewer than four parts
             L"QB345_V2.34_EN",                   //
             L"QB345_V2.34_EN_2019.bin",          // fourth part shorter than eight characters
             L"QB345_V2.34_EN_2019102",           //
             L"QB345_V2.34_EN_",                  //
             L"QB345_V2.34_EN_2019x023.bin",      // non-digit date
             L"QB345_V2.34_EN_-2019102.bin",      //
             L"QB345_V2.34_EN_20191023 (1).bin",  // another file would be written in its place
             L"QB345_V2.34_EN_20191023_old.bin",  //
             L"QB345_V2.34_EN_20191023.bak",      //
         })
        EXPECT_FALSE(LocalPackageRow(name, 1, L"QB345", L"EN", 0, &row)) << WideToUtf8(name);
    // The extension is matched without regard to case, as the file system does.
    EXPECT_TRUE(LocalPackageRow(L"QB345_V2.34_EN_20191023.BIN", 1, L"QB345", L"EN", 0, &row));
}

TEST(UpdateRows, RowNamesItsFileAndAddress)
{
    PackageRow row;
    row.model = L"QB345";
    row.version = L"V2.34";
    row.languages = L"EN/FR/ES/DE/IT";
    row.release = L"2019/10/23";
    // The package's place is the installation's, whatever the working directory.
    kelvo::SetModuleFolder(L"C:\\Program Files\\Kelvo\\");
    EXPECT_EQ(PackageFileName(row), L"QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin");
    EXPECT_EQ(PackagePath(row), L"C:\\Program Files\\Kelvo\\update\\QB345_V2.34_EN-FR-ES-DE-IT_20191023.bin");
    EXPECT_EQ(PackageDownloadAddress(kBase, row), kBase + L"QB345/QB345_V2.34_EN-FR-ES-DE-IT.bin");

    // A listed local file names itself again, and a server row names the
    // address the catalogue check asked the size of.
    PackageRow local;
    ASSERT_TRUE(LocalPackageRow(L"QB345_V2.34_EN-RU_20191023.bin", 1, L"QB345", L"EN", 0, &local));
    EXPECT_EQ(PackageFileName(local), L"QB345_V2.34_EN-RU_20191023.bin");
    std::wstring asked;
    auto rows = NewerPackageRows(Entry(L"EN-RU"), L"QB345", L"", L"EN", kBase, 0, [&](const std::wstring& a) {
        asked = a;
        return 1u;
    });
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(PackageDownloadAddress(kBase, rows[0]), asked);
    EXPECT_EQ(PackagePath(rows[0]), L"C:\\Program Files\\Kelvo\\update\\QB345_V2.34_EN-RU_20191023.bin");
    kelvo::SetModuleFolder(std::wstring());
}

namespace {
// The catalogue's search as each look-up reading the content anew would
// answer it: the reference for the search over a content parsed once.
bool ReferenceEntry(const std::string& content, const std::wstring& model, kelvo::CatalogueEntry* entry)
{
    auto key = [](const wchar_t* f, int n) {
        wchar_t b[32];
        std::swprintf(b, 32, f, n);
        return std::wstring(b);
    };
    const int n = std::min(kelvo::ProfileIntIn(content, L"Version", L"Num", 0), 99);
    for (int i = 1; i <= n; ++i) {
        const std::wstring section = kelvo::ProfileStringIn(content, L"Version", key(L"Version%.2d", i), L"");
        if (section.empty())
            continue;
        const int m = std::min(kelvo::ProfileIntIn(content, section, L"Num", 0), 99);
        for (int j = 1; j <= m; ++j) {
            if (kelvo::ProfileStringIn(content, section, key(L"VehicleName%.2d", j), L"") != model)
                continue;
            entry->version = kelvo::ProfileStringIn(content, section, key(L"VehicleVers%.2d", j), L"");
            entry->release = kelvo::ProfileStringIn(content, section, key(L"ReleaseTime%.2d", j), L"");
            entry->sets = kelvo::ProfileStringIn(content, section, L"LanguageBin", L"");
            return true;
        }
    }
    return false;
}
} // namespace

TEST(UpdateCatalogue, AFullCatalogueIsParsedOnceAndAnswersAsBefore)
{
    // 40 sections of 30 models, with the format's quirks: a repeated section
    // (the first counts), a comment, a key that holds another as its prefix,
    // a section named in the list that is not there, and a count beyond 99.
    std::string c = "[Version]\r\nNum = 42\r\n";
    for (int i = 1; i <= 42; ++i)
        c += "Version" + std::string(i < 10 ? "0" : "") + std::to_string(i) + " = Set" + std::to_string(i) + "\r\n";
    for (int i = 1; i <= 40; ++i) {
        c += "[Set" + std::to_string(i) + "]\r\nNum = " + (i == 7 ? "150" : "30") + "\r\nLanguageBin = EN-FR" +
             std::to_string(i) + " // sets\r\n";
        for (int j = 1; j <= 30; ++j) {
            const std::string jj = (j < 10 ? "0" : "") + std::to_string(j);
            c += "VehicleName" + jj + " = QB" + std::to_string(100 + j) + (i % 3 ? "" : "X") + "\r\n";
            c += "VehicleVers" + jj + " = V" + std::to_string(i) + "." + jj + "\r\n";
            c += "ReleaseTime" + jj + " = 2019/10/" + jj + "\r\n";
        }
    }
    c += "[Set2]\r\nNum = 1\r\nVehicleName01 = QB999\r\n";
    const std::vector<uint8_t> bytes(c.begin(), c.end());
    for (const std::wstring model : {L"QB101", L"QB130X", L"QB129", L"QB999", L"QB345", L""}) {
        kelvo::CatalogueEntry expected, got;
        const bool want = ReferenceEntry(c, model, &expected);
        const uint64_t before = kelvo::ProfileParses();
        EXPECT_EQ(kelvo::FindCatalogueEntryIn(bytes, model, &got), want) << std::string(model.begin(), model.end());
        EXPECT_EQ(kelvo::ProfileParses() - before, 1u) << "one parse for the whole search";
        EXPECT_EQ(got.version, expected.version);
        EXPECT_EQ(got.release, expected.release);
        EXPECT_EQ(got.sets, expected.sets);
    }
    kelvo::CatalogueEntry e;
    ASSERT_TRUE(kelvo::FindCatalogueEntryIn(bytes, L"QB130X", &e));
    EXPECT_EQ(e.version, L"V3.30");
    EXPECT_EQ(e.sets, L"EN-FR3");
    EXPECT_FALSE(kelvo::FindCatalogueEntryIn(bytes, L"QB999", &e)) << "only the first [Set2] counts";
}
