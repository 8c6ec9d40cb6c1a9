// The installer's portable decisions: entry names, progress, the progress
// bar's bands, the driver batch, folders, the INF check, the uninstaller's
// folder rule, and what an upgrade keeps, finds and tells (the settings
// merged, the earlier folder, the finish page's names).
#include "app/core/platform.h"
#include "app/core/profile.h"
#include "installer/core/Batch.h"
#include "installer/core/EntryNames.h"
#include "installer/core/FinishText.h"
#include "installer/core/Folders.h"
#include "installer/core/Upgrade.h"
#include "native/support/temp_dir.h"
#include "installer/core/InfCheck.h"
#include "installer/core/MemoryArchive.h"
#include "installer/core/Progress.h"
#include "installer/core/Switches.h"
#include "app/core/texts.h"
#include "app/core/globals.h"

#include <cwchar>
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

TEST(DriverBatch, TheSystemsOwnMachineDecidesAndArm64HasNoDriverStep)
{
    EXPECT_STREQ(DriverBatchForMachine(kMachineAmd64), L"x64.bat");
    EXPECT_STREQ(DriverBatchForMachine(kMachineI386), L"x86.bat");
    // IsWow64Process alone would have said "32-bit process on 64-bit Windows": x64.bat, for which the INF has no section.
    EXPECT_EQ(DriverBatchForMachine(kMachineArm64), nullptr);
    EXPECT_EQ(DriverBatchForMachine(0), nullptr);
}

TEST(Upgrade, TheEarlierBaseComesFromTheLocationOrTheUninstallersFolder)
{
    EXPECT_EQ(EarlierBase(L"D:\\Tools\\ZENDRIX\\Kelvo", L""), L"D:\\Tools\\");
    EXPECT_EQ(EarlierBase(L"D:\\Tools\\ZENDRIX\\Kelvo\\", L"\"C:\\x\\ZENDRIX\\Kelvo\\Uninstall.exe\""), L"D:\\Tools\\")
        << "InstallLocation first";
    EXPECT_EQ(EarlierBase(L"", L"\"D:\\Program Files (x86)\\ZENDRIX\\Kelvo\\Uninstall.exe\""),
              L"D:\\Program Files (x86)\\");
    EXPECT_EQ(EarlierBase(L"", L"D:\\Apps\\zendrix\\kelvo\\Uninstall.exe"), L"D:\\Apps\\");
    // Only a folder of the kind this installer makes.
    for (const wchar_t* other : {L"D:\\Tools\\Kelvo", L"\\ZENDRIX\\Kelvo", L"D:\\x\\..\\ZENDRIX\\Kelvo", L"D:\\ZENDRIX\\Kelvo2"})
        EXPECT_EQ(EarlierBase(other, L""), L"") << std::wstring(other).size();
    EXPECT_EQ(EarlierBase(L"", L"\"D:\\Tools\\Uninstall.exe\""), L"");
    EXPECT_EQ(EarlierBase(L"", L"\"unterminated"), L"");
    EXPECT_EQ(EarlierBase(L"", L""), L"");
}

TEST(Upgrade, NamesAreListedAFewThenCounted)
{
    const std::vector<std::wstring> names{L"a", L"b", L"c", L"d", L"e"};
    EXPECT_EQ(ListNames({L"a"}, 1), L"a");
    EXPECT_EQ(ListNames({L"a", L"b"}, 2), L"a and b");
    EXPECT_EQ(ListNames({L"a", L"b", L"c"}, 3), L"a, b and c");
    EXPECT_EQ(ListNames(names, 5), L"a, b, c and 2 more");
    EXPECT_EQ(ListNames({L"a"}, 4), L"a and 3 more") << "more failed than have names";
    EXPECT_EQ(ListNames({}, 2), L"2 more");
    EXPECT_EQ(ListNames(names, 2), L"a and b") << "the count rules";
    EXPECT_EQ(SizeInKb(0), 0u);
    EXPECT_EQ(SizeInKb(1), 1u);
    EXPECT_EQ(SizeInKb(2048), 2u);
    EXPECT_EQ(SizeInKb(2049), 3u);
    EXPECT_EQ(SizeInKb(UINT64_MAX), 0xFFFFFFFFu);
}

TEST(FinishText, EveryFileTheUserMustKnowAboutIsNamed)
{
    FinishFacts f;
    f.programFolder = L"C:\\P\\ZENDRIX\\Kelvo";
    f.files = 40;
    f.haveKelvo = true;
    EXPECT_EQ(FinishText(f), L"Kelvo is installed in C:\\P\\ZENDRIX\\Kelvo.");

    f.scheduled = 1;
    f.scheduledNames = {L"Kelvo/SkinHu.dll"};
    EXPECT_EQ(FinishText(f), L"Kelvo is installed in C:\\P\\ZENDRIX\\Kelvo; a restart completes it.\n"
                             L"1 file was in use and is replaced when Windows restarts: SkinHu.dll. "
                             L"Restart Windows to complete the installation.");

    f.scheduled = 0;
    f.scheduledNames.clear();
    f.failed = 5;
    f.failedNames = {L"Kelvo/language/en_TEXT.cbf", L"Kelvo/a", L"Kelvo/b", L"Kelvo/c", L"Kelvo/d"};
    f.skipped = 1;
    f.skippedNames = {L"../escaped.txt"};
    const std::wstring text = FinishText(f);
    EXPECT_NE(text.find(L"1 entry of the package was skipped (its name leads outside the installation folder or cannot "
                        L"be a Windows file name): ../escaped.txt."),
              std::wstring::npos);
    EXPECT_NE(text.find(L"5 files could not be written (damaged, no room or no access), any old versions unchanged: "
                        L"language\\en_TEXT.cbf, a, b and 2 more."),
              std::wstring::npos);
    EXPECT_EQ(text.find(L"restart"), std::wstring::npos);

    // Kelvo.exe in use (the old one there until the restart) is an installation; none written and none pending, none.
    FinishFacts pending;
    pending.programFolder = L"C:\\K";
    pending.haveKelvo = true;
    pending.scheduled = 1;
    pending.scheduledNames = {L"Kelvo/Kelvo.exe"};
    EXPECT_EQ(FinishText(pending).find(L"Kelvo is installed in C:\\K; a restart completes it."), 0u);
    pending.haveKelvo = false;
    pending.scheduledNames = {L"Kelvo/Uninstall.exe"};
    EXPECT_EQ(FinishText(pending).find(L"Kelvo is not installed: Kelvo.exe is missing from C:\\K.\n1 file was in use"), 0u);
    pending.scheduled = 0;
    EXPECT_EQ(FinishText(pending), L"Nothing was installed in C:\\K.");
    pending.files = 1;
    EXPECT_EQ(FinishText(pending), L"Kelvo is not installed: Kelvo.exe is missing from C:\\K.");

    FinishFacts arm;
    arm.files = 1;
    arm.haveKelvo = true;
    arm.noDriverStep = true;
    EXPECT_NE(FinishText(arm).find(L"No driver was installed: this Windows on ARM64 connects the scan tool with its own driver."),
              std::wstring::npos);
    arm.noPackage = true;
    EXPECT_EQ(FinishText(arm), L"The package inside the installer could not be read: nothing was installed.");
}

// The user's settings kept over a reinstall, with the maker's DownloadLink of the package.
class MergeSettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        kelvo::SetMessageSink([this](const std::wstring& text, unsigned) {
            messages.push_back(text);
            return kelvo::kIdOk;
        });
    }
    void TearDown() override { kelvo::SetMessageSink({}); }
    std::wstring File(const std::string& name) const
    {
        const std::string p = dir.file(name);
        return std::wstring(p.begin(), p.end());
    }
    kelvo::test::TempDir dir;
    std::vector<std::wstring> messages;
};

TEST_F(MergeSettingsTest, TheUsersKeysAndHistoryStayAndThePackagesLinkIsTaken)
{
    const std::string user =
        "[Update]\r\nQB345= V2.34\r\n\r\n[DTC]\r\nHistoryNum= 2\r\n\r\nHistoryNum01 = P0135\r\nHistoryNum02 = "
        "U0100\r\n[Setting]\r\nLanguage = 9 // mine\r\nSkin = 3\r\nAutoUpdate = 1\r\nDownloadLink = "
        "http://old.example/Update/\r\n";
    kelvo::test::WriteFileBytes(dir.file("Kelvo.cfg"), user);
    const std::string package = "[Update]\r\nQB345= V1.04\r\n[Setting]\r\nLanguage = 0\r\nSkin = 2\r\nAutoUpdate = "
                                "0\r\ndownloadlink =   http://new.example/Update/  \r\n";
    ASSERT_TRUE(MergeSettings(File("Kelvo.cfg"), package));
    std::string expected = user;
    expected.replace(expected.find("http://old.example/Update/"), 26, "http://new.example/Update/");
    EXPECT_EQ(kelvo::test::ReadFileBytes(dir.file("Kelvo.cfg")), expected);
    EXPECT_FALSE(kelvo::test::FileExists(dir.file("Kelvo.cfg.kelvo-package"))) << "the package's copy stays";
    EXPECT_TRUE(messages.empty());

    // Merged again: nothing to change, the file stays byte for byte.
    ASSERT_TRUE(MergeSettings(File("Kelvo.cfg"), package));
    EXPECT_EQ(kelvo::test::ReadFileBytes(dir.file("Kelvo.cfg")), expected);
}

TEST_F(MergeSettingsTest, AMissingLinkIsAddedAndAPackageWithoutOneChangesNothing)
{
    const std::string user = "[Setting]\r\nLanguage = 4\r\n[DTC]\r\nHistoryNum= 0\r\n";
    kelvo::test::WriteFileBytes(dir.file("Kelvo.cfg"), user);
    ASSERT_TRUE(MergeSettings(File("Kelvo.cfg"), "[Setting]\r\nLanguage = 0\r\n"));
    EXPECT_EQ(kelvo::test::ReadFileBytes(dir.file("Kelvo.cfg")), user);
    ASSERT_TRUE(MergeSettings(File("Kelvo.cfg"), ""));
    EXPECT_EQ(kelvo::test::ReadFileBytes(dir.file("Kelvo.cfg")), user);

    ASSERT_TRUE(MergeSettings(File("Kelvo.cfg"), "[Setting]\r\nDownloadLink = http://new.example/U/\r\n"));
    EXPECT_EQ(kelvo::test::ReadFileBytes(dir.file("Kelvo.cfg")),
              "[Setting]\r\nLanguage = 4\r\nDownloadLink = http://new.example/U/\r\n[DTC]\r\nHistoryNum= 0\r\n");
    EXPECT_EQ(kelvo::ReadIniString(File("Kelvo.cfg"), L"Setting", L"DownloadLink", L""), L"http://new.example/U/");
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

namespace {

kelvo::install::InstallSwitches Parse(const std::wstring& tail, bool* ok = nullptr)
{
    kelvo::install::InstallSwitches s;
    const bool r = kelvo::install::ParseInstallSwitches(tail, &s);
    if (ok)
        *ok = r;
    return s;
}

} // namespace

TEST(Switches, EitherLeadCharacterAnyCaseAndTheUiLevels)
{
    using kelvo::install::UiLevel;
    bool ok = false;
    EXPECT_EQ(Parse(L"", &ok).ui, UiLevel::Full);
    EXPECT_TRUE(ok);
    EXPECT_EQ(Parse(L"/S", &ok).ui, UiLevel::VerySilent);
    EXPECT_EQ(Parse(L"-verysilent").ui, UiLevel::VerySilent);
    EXPECT_EQ(Parse(L"/Silent").ui, UiLevel::Silent);
    // The quieter one wins, in either order.
    EXPECT_EQ(Parse(L"/SILENT /VERYSILENT").ui, UiLevel::VerySilent);
    EXPECT_EQ(Parse(L"/VERYSILENT /SILENT").ui, UiLevel::VerySilent);
    const auto all = Parse(L"/s -NoRestart /NODRIVER /noautostart /SUPPRESSMSGBOXES /LOG=C:\\x.log", &ok);
    EXPECT_TRUE(ok);
    EXPECT_TRUE(all.noRestart && all.noDriver && all.noAutostart && all.suppressMessageBoxes);
    EXPECT_EQ(all.log, L"C:\\x.log");
    EXPECT_TRUE(Parse(L"/?").help);
    EXPECT_TRUE(Parse(L"-?").help);
}

TEST(Switches, BaseFolderFromDirOrFromTheRestOfTheLine)
{
    bool ok = false;
    // /D= is the rest of the line, spaces and all.
    EXPECT_EQ(Parse(L"/S /D=C:\\Shop Tools\\", &ok).base, L"C:\\Shop Tools\\");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Parse(L"/S /LOG=\"C:\\my logs\\i.log\" /D=C:\\Shop Tools").base, L"C:\\Shop Tools\\");
    EXPECT_EQ(Parse(L"/S /LOG=\"C:\\my logs\\i.log\" /D=C:\\Shop Tools").log, L"C:\\my logs\\i.log");
    EXPECT_EQ(Parse(L"/DIR=\"D:\\Werkstatt Programme\" /SILENT", &ok).base, L"D:\\Werkstatt Programme\\");
    EXPECT_TRUE(ok);
    EXPECT_EQ(Parse(L"/dir=\\\\server\\share\\apps").base, L"\\\\server\\share\\apps\\");
    // A folder that depends on the current directory or drive is refused.
    for (const wchar_t* bad : {L"/D=Tools", L"/DIR=\\Tools", L"/D=C:Tools", L"/D=", L"/DIR=\"\""}) {
        const auto s = Parse(bad, &ok);
        EXPECT_FALSE(ok) << std::string(bad, bad + std::wcslen(bad));
        EXPECT_FALSE(s.error.empty());
    }
}

TEST(Switches, AnUnknownSwitchIsAnErrorAndTheRestStillTellsWhetherTheRunIsSilent)
{
    bool ok = true;
    auto s = Parse(L"/Q /S", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(s.error, L"/Q");
    EXPECT_TRUE(s.Silent());
    s = Parse(L"stray", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(s.error, L"stray");
    EXPECT_FALSE(s.Silent());
    s = Parse(L"/SILENTLY", &ok);
    EXPECT_FALSE(ok);
    s = Parse(L"/LOG=", &ok);
    EXPECT_FALSE(ok);
    s = Parse(L"/X /D=C:\\Ok", &ok);
    EXPECT_FALSE(ok);
    EXPECT_EQ(s.error, L"/X");
}

TEST(Switches, TheProgramsNameIsNotPartOfTheSwitches)
{
    using kelvo::install::CommandTail;
    EXPECT_EQ(CommandTail(L"\"C:\\Down loads\\KelvoInstall.exe\" /S /D=C:\\A B"), L"/S /D=C:\\A B");
    EXPECT_EQ(CommandTail(L"KelvoInstall.exe   /S"), L"/S");
    EXPECT_EQ(CommandTail(L"\"C:\\x\\KelvoInstall.exe\""), L"");
    EXPECT_EQ(CommandTail(L""), L"");
}

TEST(Switches, UninstallKnowsSilentAndPurgeOnly)
{
    kelvo::install::UninstallSwitches u;
    EXPECT_TRUE(kelvo::install::ParseUninstallSwitches(L"/S /PURGE", &u));
    EXPECT_TRUE(u.silent && u.purge);
    EXPECT_TRUE(kelvo::install::ParseUninstallSwitches(L"-s", &u));
    EXPECT_TRUE(u.silent && !u.purge);
    EXPECT_TRUE(kelvo::install::ParseUninstallSwitches(L"", &u));
    EXPECT_FALSE(u.silent);
    EXPECT_FALSE(kelvo::install::ParseUninstallSwitches(L"/S /KEEP", &u));
    EXPECT_EQ(u.error, L"/KEEP");
}

TEST(DriverStep, WindowsTenAndLaterServeTheToolThemselves)
{
    using namespace kelvo::install;
    EXPECT_FALSE(InboxDriverServes(6));  // 7, 8, 8.1
    EXPECT_FALSE(InboxDriverServes(0));  // not known: the batch, as before
    EXPECT_TRUE(InboxDriverServes(10));
    EXPECT_TRUE(InboxDriverServes(11));
}

TEST(DriverStep, EachOutcomeIsToldAndOnlyFailuresCountAsFailed)
{
    using namespace kelvo::install;
    g_strLanguageCode = L"XX";  // no table: the English texts
    ClearTextCache();
    DriverOutcome o;
    o.batch = L"x64.bat";
    o.kind = DriverStepKind::Ran;
    o.exitCode = 0;
    EXPECT_EQ(DriverOutcomeText(o), L"The scan tool's driver is installed.");
    EXPECT_FALSE(DriverFailed(o));
    EXPECT_FALSE(DriverNeedsRestart(o));
    o.exitCode = 4;
    EXPECT_EQ(DriverOutcomeText(o), L"The scan tool's driver is installed. Restart Windows to complete it.");
    EXPECT_TRUE(DriverNeedsRestart(o));
    EXPECT_FALSE(DriverFailed(o));
    o.exitCode = 3;
    EXPECT_NE(DriverOutcomeText(o).find(L"Windows refused the scan tool's driver"), std::wstring::npos);
    EXPECT_NE(DriverOutcomeText(o).find(L"run x64.bat in the Kelvo folder"), std::wstring::npos);
    EXPECT_TRUE(DriverFailed(o));
    o.exitCode = 1;
    EXPECT_NE(DriverOutcomeText(o).find(L"(code 1)"), std::wstring::npos);
    EXPECT_TRUE(DriverFailed(o));
    o.kind = DriverStepKind::StillRunning;
    EXPECT_TRUE(DriverFailed(o));
    o.kind = DriverStepKind::Inbox;
    EXPECT_NE(DriverOutcomeText(o).find(L"usbser.sys"), std::wstring::npos);
    EXPECT_FALSE(DriverFailed(o));
    o.kind = DriverStepKind::LeftAlone;
    EXPECT_EQ(DriverOutcomeText(o), L"The scan tool's driver was left alone, as asked.");
    o.kind = DriverStepKind::NoBatch;
    EXPECT_EQ(DriverOutcomeText(o), L"");
}

TEST(FinishText, TheDriverLineAndTheRefusedLinksFollowTheFiles)
{
    using namespace kelvo::install;
    g_strLanguageCode = L"XX";
    ClearTextCache();
    FinishFacts f;
    f.programFolder = L"C:\\P\\ZENDRIX\\Kelvo";
    f.files = 3;
    f.haveKelvo = true;
    f.driverText = L"The scan tool's driver is installed.";
    f.linkedFolders = {L"C:\\P\\ZENDRIX\\Kelvo\\update"};
    EXPECT_EQ(FinishText(f), L"Kelvo is installed in C:\\P\\ZENDRIX\\Kelvo.\n"
                             L"Not written, because these folders of the installation are links to other places: "
                             L"C:\\P\\ZENDRIX\\Kelvo\\update.\n"
                             L"The scan tool's driver is installed.");
}

TEST(Texts, FillInReplacesInOrderAndLeavesTheRest)
{
    EXPECT_EQ(FillIn(L"a %s b %s c", {L"1", L"%s"}), L"a 1 b %s c");
    EXPECT_EQ(FillIn(L"%s%s%s", {L"x"}), L"x%s%s");
    EXPECT_EQ(FillIn(L"none", {L"x"}), L"none");
}
