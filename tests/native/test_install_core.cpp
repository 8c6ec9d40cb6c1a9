// The installer's portable decisions: entry names, progress, the progress
// bar's bands, the driver batch, folders, the INF check, the uninstaller's
// folder rule.
#include "installer/core/Batch.h"
#include "installer/core/EntryNames.h"
#include "installer/core/Folders.h"
#include "installer/core/InfCheck.h"
#include "installer/core/MemoryArchive.h"
#include "installer/core/Progress.h"
#include "uninstall/core/UninstallRules.h"

#include <gtest/gtest.h>

namespace kelvo::install {
namespace {

TEST(EntryNames, NamesThatWouldLeaveTheTargetAreRefused)
{
    for (const wchar_t* bad : {L"../evil.exe", L"Kelvo/../../evil.exe", L"Kelvo\\..\\x", L"..", L"/etc/passwd",
                               L"\\Windows\\x.dll", L"C:\\x.dll", L"C:x.dll", L"Kelvo/a:stream", L"", L"Kelvo/.."})
        EXPECT_FALSE(StaysInside(bad)) << std::wstring(bad).size();
    EXPECT_FALSE(StaysInside(std::wstring(L"Kelvo/a\0b", 9)));
    for (const wchar_t* good : {L"Kelvo/", L"Kelvo/Kelvo.exe", L"Kelvo/..data", L"Kelvo/a..b/c", L"Kelvo/./x"})
        EXPECT_TRUE(StaysInside(good));
}

TEST(EntryNames, NamesWindowsWouldShortenAreNoPlainNames)
{
    // To Windows the first nine are Kelvo\Kelvo.cfg, though the settings-file check sees another name.
    for (const wchar_t* bad : {L"Kelvo/./Kelvo.cfg", L"Kelvo//Kelvo.cfg", L"Kelvo/Kelvo.cfg.", L"Kelvo/Kelvo.cfg ",
                               L"Kelvo./Kelvo.cfg", L"Kelvo /Kelvo.cfg", L"Kelvo\\.\\Kelvo.cfg", L"./Kelvo/Kelvo.cfg",
                               L"Kelvo/Kelvo.cfg. .", L"Kelvo/..", L"Kelvo//", L"/Kelvo.cfg", L""}) {
        EXPECT_FALSE(IsPlainName(bad)) << std::wstring(bad).size();
        EXPECT_FALSE(IsUserSettingsEntry(bad));
    }
    for (const wchar_t* good : {L"Kelvo/", L"Kelvo/Kelvo.cfg", L"Kelvo/..data", L"Kelvo/a..b/c", L"Kelvo/.hidden",
                                L"Kelvo/dtc/", L"Kelvo\\language\\en TEXT.cbf"})
        EXPECT_TRUE(IsPlainName(good));
}

TEST(EntryNames, DeviceNamesAreNoPlainNames)
{
    // Windows opens a device for these, whatever the folder or extension (COM1 may be the scan tool).
    for (const wchar_t* bad : {L"Kelvo/COM1", L"Kelvo/CON.txt", L"Kelvo/con", L"Kelvo/nul.tar.gz", L"Kelvo/Aux/x.txt",
                               L"PRN/Kelvo.exe", L"Kelvo/lpt9.log", L"Kelvo\\LPT1\\", L"Kelvo/cOm3.bin", L"Kelvo/CON .txt"})
        EXPECT_FALSE(IsPlainName(bad)) << std::wstring(bad).size();
    for (const wchar_t* good : {L"Kelvo/COM10", L"Kelvo/LPT", L"Kelvo/CONFIG.txt", L"Kelvo/console/",
                                L"Kelvo/nul_.txt", L"Kelvo/x.CON", L"Kelvo/AUXI", L"Kelvo/PRN1.txt"})
        EXPECT_TRUE(IsPlainName(good)) << std::wstring(good).size();
}

TEST(EntryNames, DecodedAsUtf8WhenFlaggedAndAsCodePage437Otherwise)
{
    EXPECT_EQ(DecodeEntryName("Kelvo/F\xC3\xBCr.txt", kZipFlagUtf8), L"Kelvo/F\u00FCr.txt");
    EXPECT_EQ(DecodeEntryName("Kelvo/F\x81r.txt", 0), L"Kelvo/F\u00FCr.txt");
    EXPECT_EQ(DecodeEntryName("\xE2\x82\xAC \xF0\x9F\x98\x80", kZipFlagUtf8), std::wstring(L"\u20AC ") + L"\U0001F600");
    // An overlong "/" or a cut sequence is no separator and no text.
    EXPECT_EQ(DecodeEntryName("a\xC0\xAF" "b\xE2\x82", kZipFlagUtf8), L"a\uFFFD\uFFFDb\uFFFD\uFFFD");
    EXPECT_EQ(ToBackslashes(L"Kelvo/dtc/"), L"Kelvo\\dtc\\");
}

TEST(EntryNames, FoldersAttributesAndTheUserSettingsFile)
{
    EXPECT_TRUE(IsFolderEntry(L"Kelvo/dtc/", 0));
    EXPECT_TRUE(IsFolderEntry(L"Kelvo/dtc", 0x10));
    EXPECT_FALSE(IsFolderEntry(L"Kelvo/Kelvo.exe", 0x20));
    // Unix: "-rw-r--r--" (0100644) and "-rwsr-xr-x" in the high word are no attributes.
    EXPECT_EQ(DosFileAttributes(0100644u << 16), 0u);
    EXPECT_EQ(DosFileAttributes((0104755u << 16) | 0x01), 0x01u);
    EXPECT_EQ(DosFileAttributes(0x27 | 0x18 | 0x4000), 0x27u);
    EXPECT_TRUE(IsUserSettingsEntry(L"Kelvo/KELVO.cfg"));
    EXPECT_FALSE(IsUserSettingsEntry(L"Kelvo/language/Kelvo.cfg"));
}

TEST(Progress, UnpackingMovesByEntriesThenTheTimerClimbsTo220)
{
    EXPECT_EQ(EntryStep(55), 1);
    EXPECT_EQ(EntryStep(30), 3);
    EXPECT_EQ(EntryStep(91), 0);
    EXPECT_EQ(EntryStep(0), 0);

    InstallProgress p;
    p.Start();
    EXPECT_EQ(p.upper, 220);
    p.Apply(kReportStep, EntryStep(30));
    for (int i = 0; i < 30; ++i)
        p.Apply(kReportEntry, 0);
    EXPECT_EQ(p.position, 90);
    p.Apply(kReportPosition, 90);
    EXPECT_EQ(PercentText(p.position, p.upper), L"41%");
    p.Apply(kReportUnpacked, 0);
    int ticks = 0, frameChanges = 0;
    while (!p.Finished()) {
        frameChanges += p.Tick();
        ++ticks;
    }
    EXPECT_EQ(ticks, 130);
    EXPECT_EQ(frameChanges, 13);
    EXPECT_EQ(p.frame, 0) << "frames 0..12, one a second, then round again";
    EXPECT_EQ(PercentText(p.position, p.upper), L"100%");
}

TEST(Progress, TheGradientIsRevealedFromTheLeftAndOneColourFillsWithIt)
{
    const uint32_t green = 0x00FF00, red = 0x0000FF, white = 0xFFFFFF;
    auto empty = ProgressBands(400, 0, 0, 220, green, red);
    ASSERT_EQ(empty.size(), 1u);
    EXPECT_EQ(empty[0].colour, white);

    auto half = ProgressBands(510, 110, 0, 220, green, red);
    EXPECT_EQ(half.front().colour, green);
    EXPECT_EQ(half.back().colour, white);
    EXPECT_EQ(half.back().right, 510);
    EXPECT_GT(half.back().left, 255 - 1);
    EXPECT_LE(half.back().left, 255 + 2);

    auto full = ProgressBands(510, 220, 0, 220, green, red);
    EXPECT_EQ(full.size(), 255u);
    EXPECT_EQ(full.back().right, 510);
    EXPECT_NE(full.back().colour, white);

    auto flat = ProgressBands(400, 110, 0, 220, green, green);
    ASSERT_EQ(flat.size(), 2u);
    EXPECT_EQ(flat[0].colour, green);
    EXPECT_EQ(flat[0].right, 200);
    EXPECT_EQ(flat[1].colour, white);
}

TEST(DriverBatch, X64OnlyForA32BitProcessOn64BitWindows)
{
    EXPECT_STREQ(DriverBatchFile(Wow64Answer::Yes), L"x64.bat");
    EXPECT_STREQ(DriverBatchFile(Wow64Answer::No), L"x86.bat");
    EXPECT_STREQ(DriverBatchFile(Wow64Answer::NoFunction), L"x86.bat");
    EXPECT_STREQ(DriverBatchFile(Wow64Answer::Failed), L"x86.bat");
}

TEST(Folders, OneTrailingBackslashAndTheTargetBelowTheBase)
{
    EXPECT_EQ(NormaliseFolder(L"D:\\Apps"), L"D:\\Apps\\");
    EXPECT_EQ(NormaliseFolder(L"D:\\Apps\\\\\\"), L"D:\\Apps\\");
    EXPECT_EQ(NormaliseFolder(L"D:\\"), L"D:\\");
    EXPECT_TRUE(IsFullyQualified(L"D:\\Apps"));
    EXPECT_TRUE(IsFullyQualified(L"\\\\server\\share"));
    for (const wchar_t* rel : {L"Apps", L"\\Apps", L"D:Apps", L".\\Apps", L"D:"})
        EXPECT_FALSE(IsFullyQualified(rel));
    const std::wstring t = TargetBelow(L"D:\\Apps\\");
    EXPECT_EQ(t, L"D:\\Apps\\ZENDRIX\\");
    EXPECT_EQ(ProgramFile(t, L"Kelvo.exe"), L"D:\\Apps\\ZENDRIX\\Kelvo\\Kelvo.exe");
    EXPECT_EQ(FolderOfPath(ProgramFile(t, L"Kelvo.exe")), ProgramFolder(t));
}

TEST(Folders, TheRunValueIsTheProgramsFullPathInQuotes)
{
    const std::wstring dozaz = L"C:\\Program Files (x86)\\ZENDRIX\\Kelvo\\Dozaz.exe";
    EXPECT_EQ(RunCommand(dozaz), L"\"" + dozaz + L"\"");
}

TEST(InfCheck, TheHardwareIdMustBeAModelValue)
{
    const std::wstring inf = InfText(
        "[Version]\r\nSignature=\"$Windows NT$\"\r\n; USB\\VID_1234&PID_0001 is not ours\r\n"
        "[Models.NTx86]\r\n%Name% = Install, usb\\vid_0483&pid_5740\r\n");
    EXPECT_TRUE(InfNamesHardwareId(inf, L"USB\\VID_0483&PID_5740"));
    EXPECT_FALSE(InfNamesHardwareId(inf, L"USB\\VID_1234&PID_0001"));
    EXPECT_FALSE(InfNamesHardwareId(inf, L"USB\\VID_0483"));
    EXPECT_FALSE(InfNamesHardwareId(inf, L""));
    const std::string utf16("\xFF\xFE" "a\0=\0x\0,\0i\0d\0", 14);
    EXPECT_TRUE(InfNamesHardwareId(InfText(utf16), L"ID"));
}

TEST(MemoryArchive, ReadsAndSeeksStayInsideTheBlock)
{
    const char data[] = "0123456789";
    MemoryArchive m(data, 10);
    char buf[16] = {};
    EXPECT_EQ(m.Seek(8, MemoryArchive::kSet), 0);
    EXPECT_EQ(m.Read(buf, 2), 2u);
    EXPECT_FALSE(m.CutShort()) << "a read that ends at the end is whole";
    EXPECT_EQ(m.Seek(8, MemoryArchive::kSet), 0);
    EXPECT_EQ(m.Read(buf, 16), 2u);
    EXPECT_TRUE(m.CutShort());
    EXPECT_EQ(m.Read(buf, 16), 0u);
    EXPECT_EQ(m.Seek(11, MemoryArchive::kSet), -1);
    EXPECT_EQ(m.Tell(), 10u);
    EXPECT_EQ(m.Seek(0, MemoryArchive::kEnd), 0);
    EXPECT_EQ(m.Seek(UINT64_MAX, MemoryArchive::kCurrent), -1);
    EXPECT_EQ(m.Seek(3, MemoryArchive::kEnd), 0);
    EXPECT_EQ(m.Tell(), 7u);
    EXPECT_EQ(m.Seek(4, MemoryArchive::kCurrent), -1);
    EXPECT_EQ(m.Seek(0, 7), -1);
}

TEST(UninstallRules, OnlyAZendrixKelvoFolderBelowSomeParent)
{
    using kelvo::uninstall::IsInstallationFolderName;
    EXPECT_TRUE(IsInstallationFolderName(L"C:\\Program Files (x86)\\ZENDRIX\\Kelvo\\"));
    EXPECT_TRUE(IsInstallationFolderName(L"d:\\apps\\zendrix\\kelvo"));
    EXPECT_FALSE(IsInstallationFolderName(L"C:\\Program Files (x86)\\Kelvo\\"));
    EXPECT_FALSE(IsInstallationFolderName(L"\\ZENDRIX\\Kelvo"));
    EXPECT_FALSE(IsInstallationFolderName(L"C:\\x\\..\\ZENDRIX\\Kelvo"));
    EXPECT_FALSE(IsInstallationFolderName(L"C:\\ZENDRIX\\Kelvo\\sub"));
}

TEST(UninstallRules, TheSelfRemovalBatchPausesEachRoundGivesUpInMinutesAndHoldsNoPath)
{
    using namespace kelvo::uninstall;
    const std::wstring batch = SelfRemovalBatch();
    EXPECT_NE(batch.find(L"ping -n 2 127.0.0.1 >nul\r\n"), std::wstring::npos) << "no pause: a spin";
    EXPECT_NE(batch.find(L"if %n% geq " + std::to_wstring(kBatchRounds) + L" goto gone"), std::wstring::npos);
    // A round is a second or so: about two minutes in all.
    EXPECT_GE(kBatchRounds, 90);
    EXPECT_LE(kBatchRounds, 180);
    for (const wchar_t* variable : {kBatchSelfVariable, kBatchFolderVariable, kBatchParentVariable})
        EXPECT_NE(batch.find(L"\"%" + std::wstring(variable) + L"%\""), std::wstring::npos);
    EXPECT_EQ(batch.find(L'\\'), std::wstring::npos) << "a path in the text";
    for (wchar_t c : batch)
        EXPECT_LT(static_cast<unsigned>(c), 0x80u);
    EXPECT_EQ(batch.substr(batch.size() - 2), L"\r\n");
}

} // namespace
} // namespace kelvo::install
