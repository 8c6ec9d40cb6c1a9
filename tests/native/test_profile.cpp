// Reading and rewriting the settings format, byte for byte.
#include "app/core/platform.h"
#include "app/core/profile.h"
#include "native/support/temp_dir.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include "support/installed_settings.h"

#include <algorithm>
#include <filesystem>
#include <vector>

using kelvo::test::ReadFileBytes;
using kelvo::test::TempDir;
using kelvo::test::WriteFileBytes;

namespace {

const std::string kInstalled = kelvo::test::InstalledSettings(0, "http://www.example.com/Update/");

std::wstring W(const std::string& s) { return kelvo::Utf8ToWide(s); }

// Captures the message boxes of one test.
class ProfileTest : public testing::Test {
protected:
    void SetUp() override
    {
        kelvo::SetMessageSink([this](const std::wstring& text, unsigned flags) {
            messages.push_back(text);
            EXPECT_EQ(flags, kelvo::kMbOk);
            return kelvo::kIdOk;
        });
    }
    void TearDown() override
    {
        kelvo::SetMessageSink({});
        kelvo::SetProfileFaultHook({});
    }
    std::wstring File(const std::string& bytes, const std::string& name = "Kelvo.cfg")
    {
        path = dir.file(name);
        WriteFileBytes(path, bytes);
        return W(path);
    }
    std::wstring Get(const std::wstring& section, const std::wstring& key, const std::wstring& def = L"<def>")
    {
        return CProfile::GetString(W(path), section, key, def);
    }
    bool Set(const std::wstring& section, const std::wstring& key, const std::wstring& value)
    {
        return CProfile::SetString(W(path), section, key, value);
    }
    std::string Bytes() const { return ReadFileBytes(path); }
    std::vector<std::string> FolderEntries() const
    {
        std::vector<std::string> names;
        for (auto& e : std::filesystem::directory_iterator(dir.path()))
            names.push_back(e.path().filename().string());
        return names;
    }

    TempDir dir;
    std::string path;
    std::vector<std::wstring> messages;
};

// --- the line grammar ---------------------------------------------------

TEST_F(ProfileTest, SectionNamesAreTakenExactly)
{
    File("[ Setting ]\r\nA = 1\r\n[setting]\r\nA = 2\r\n[Setting]\r\nA = 3\r\n");
    EXPECT_EQ(Get(L"Setting", L"A"), L"3");
    EXPECT_EQ(Get(L" Setting ", L"A"), L"1");
    EXPECT_EQ(Get(L"setting", L"A"), L"2");
    EXPECT_EQ(Get(L"SETTING", L"A"), L"<def>");
}

TEST_F(ProfileTest, HeaderTextAroundTheBracketsIsIgnored)
{
    File("junk [Setting] more\r\nA = 1\r\n");
    EXPECT_EQ(Get(L"Setting", L"A"), L"1");
}

TEST_F(ProfileTest, CommentsAreCutAtTheFirstDoubleSlash)
{
    File("[Setting]\r\n"
         "// Skin = 2\r\n"
         "Language = 3 // chosen by user\r\n"
         "Skin = 5\r\n"
         "// [DTC]\r\n"
         "Path = a/b // c // d\r\n"
         "[a//b]\r\n"
         "AutoUpdate = 1\r\n");
    EXPECT_EQ(Get(L"Setting", L"Language"), L"3");
    EXPECT_EQ(Get(L"Setting", L"Skin"), L"5");            // the commented line is no key line
    EXPECT_EQ(Get(L"Setting", L"AutoUpdate"), L"1");      // neither "// [DTC]" nor "[a//b]" is a header
    EXPECT_EQ(Get(L"Setting", L"Path"), L"a/b");
    EXPECT_EQ(Get(L"DTC", L"AutoUpdate"), L"<def>");
}

TEST_F(ProfileTest, KeysMatchAsSubstringsOfTheTextBeforeEquals)
{
    File("[DTC]\r\nHistoryNum01 = P0135\r\nHistoryNum= 1\r\n");
    EXPECT_EQ(Get(L"DTC", L"HistoryNum"), L"P0135");
    EXPECT_EQ(Get(L"DTC", L"Num01"), L"P0135");
    EXPECT_EQ(Get(L"DTC", L"historynum"), L"<def>");  // case-sensitive
    EXPECT_EQ(Get(L"DTC", L"P0135"), L"<def>");       // the value is not searched
}

TEST_F(ProfileTest, ValuesAreTrimmedOfAllWhiteSpace)
{
    File("[S]\r\nA =\t \v\f x y \t\r\nB=z\n");
    EXPECT_EQ(Get(L"S", L"A"), L"x y");
    EXPECT_EQ(Get(L"S", L"B"), L"z");
}

TEST_F(ProfileTest, EmptyValueReadsEmptyAndGetIntGivesZeroWhateverTheDefault)
{
    File("[Setting]\r\nSkin =\r\nLanguage = // none\r\n");
    EXPECT_EQ(Get(L"Setting", L"Skin"), L"");
    EXPECT_EQ(CProfile::GetInt(W(path), L"Setting", L"Skin", 7), 0);
    EXPECT_EQ(CProfile::GetInt(W(path), L"Setting", L"Language", -3), 0);
    EXPECT_EQ(CProfile::GetInt(W(path), L"Setting", L"Absent", 7), 7);
    EXPECT_EQ(CProfile::GetInt(W(path), L"Setting", L"Absent", -2147483647 - 1), -2147483647 - 1);
}

TEST_F(ProfileTest, GetIntTakesSignAndLeadingDigitsOnly)
{
    File("[S]\r\nA = -12x\r\nB = +7\r\nC = 3.9\r\nD = x5\r\nE = - 4\r\nF = 99999999999\r\nG = -99999999999\r\n");
    const std::wstring f = W(path);
    EXPECT_EQ(CProfile::GetInt(f, L"S", L"A", 1), -12);
    EXPECT_EQ(CProfile::GetInt(f, L"S", L"B", 1), 7);
    EXPECT_EQ(CProfile::GetInt(f, L"S", L"C", 1), 3);
    EXPECT_EQ(CProfile::GetInt(f, L"S", L"D", 1), 0);
    EXPECT_EQ(CProfile::GetInt(f, L"S", L"E", 1), 0);
    EXPECT_EQ(CProfile::GetInt(f, L"S", L"F", 1), 2147483647);
    EXPECT_EQ(CProfile::GetInt(f, L"S", L"G", 1), -2147483647 - 1);
}

TEST_F(ProfileTest, OnlyTheFirstSectionOfANameIsSearched)
{
    File("A = 0\r\n[Setting]\r\nLanguage = 1\r\n[DTC]\r\n[Setting]\r\nLanguage = 2\r\nSkin = 3\r\n");
    EXPECT_EQ(Get(L"Setting", L"Language"), L"1");
    EXPECT_EQ(Get(L"Setting", L"Skin"), L"<def>");
    EXPECT_EQ(Get(L"", L"A"), L"<def>");  // lines before the first header belong to no section
}

TEST_F(ProfileTest, LineEndsAreAtMostTwoBytes)
{
    // LF CR is one line end; the third byte of "\r\n\r" starts an empty line,
    // which is neither header nor key line.
    File("[S]\n\rA = 1\r\n\rB = 2\n\nC = 3\rD = 4\r\r\r[T]\r\nE = 5");
    EXPECT_EQ(Get(L"S", L"A"), L"1");
    EXPECT_EQ(Get(L"S", L"B"), L"2");
    EXPECT_EQ(Get(L"S", L"C"), L"3");
    EXPECT_EQ(Get(L"S", L"D"), L"4");
    EXPECT_EQ(Get(L"S", L"E"), L"<def>");
    EXPECT_EQ(Get(L"T", L"E"), L"5");
}

TEST_F(ProfileTest, ReadLineKeepsLineEndsAndStopsAtTheFirstNul)
{
    File(std::string("a\r\n\r\nb\n\n\nc\0[S]\r\n", 16));
    CProfile::CTextFile text;
    ASSERT_TRUE(text.Load(W(path)));
    EXPECT_EQ(text.Length(), 10u);
    EXPECT_EQ(text.ReadLine(), "a\r\n");
    EXPECT_EQ(text.ReadLine(), "\r\n");
    EXPECT_EQ(text.ReadLine(), "b\n\n");
    EXPECT_EQ(text.ReadLine(), "\n");
    EXPECT_EQ(text.ReadLine(), "c");
    EXPECT_EQ(text.ReadLine(), "");
    EXPECT_EQ(text.Position(), 10u);
    EXPECT_EQ(text.Tail(), std::string("\0[S]\r\n", 6));
    EXPECT_EQ(Get(L"S", L"A"), L"<def>");
}

TEST_F(ProfileTest, MissingFileGivesTheDefaultSilently)
{
    path = dir.file("nothing.cfg");
    EXPECT_EQ(Get(L"Setting", L"Language", L"x"), L"x");
    EXPECT_EQ(CProfile::GetInt(W(path), L"Setting", L"Language", 4), 4);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ProfileTest, FileIsReadThroughTheAnsiCodePage)
{
    File("[S]\r\nName = Caf\xE9 \x80\r\n");
    EXPECT_EQ(Get(L"S", L"Name"), L"Caf\u00E9 \u20AC");
    ASSERT_TRUE(Set(L"S", L"Other", L"\u00FC\u20AC"));
    EXPECT_EQ(Bytes(), "[S]\r\nName = Caf\xE9 \x80\r\nOther = \xFC\x80\r\n");
}

TEST_F(ProfileTest, NameOfTheFileMatchesWithoutRegardToCase)
{
    File("[S]\r\nA = 1\r\n", "kelvo.cfg");
    const std::wstring other = W(dir.file("KELVO.CFG"));
    EXPECT_EQ(CProfile::GetString(other, L"S", L"A", L""), L"1");
    ASSERT_TRUE(CProfile::SetString(other, L"S", L"A", L"2"));
    EXPECT_EQ(Bytes(), "[S]\r\nA = 2\r\n");
    EXPECT_FALSE(kelvo::test::FileExists(dir.file("KELVO.CFG")));
}

// --- rewrites -----------------------------------------------------------

TEST_F(ProfileTest, ReplacedLineKeepsTheBytesBeforeEquals)
{
    File(kInstalled);
    ASSERT_TRUE(Set(L"Update", L"QB345", L"V1.05"));
    ASSERT_TRUE(CProfile::SetInt(W(path), L"Setting", L"Language", 3));
    std::string expect = kInstalled;
    expect.replace(expect.find("Language = 0"), 12, "Language = 3");
    expect.replace(expect.find("QB345= V1.04"), 12, "QB345= V1.05");
    EXPECT_EQ(Bytes(), expect);
    EXPECT_EQ(CProfile::GetInt(W(path), L"Setting", L"Language", 0), 3);
    EXPECT_TRUE(messages.empty());
}

TEST_F(ProfileTest, InstallerVersionLineGainsASpace)
{
    File("[Update]\r\nQB345=V1.03\r\n");
    ASSERT_TRUE(Set(L"Update", L"QB345", L"V1.04"));
    EXPECT_EQ(Bytes(), "[Update]\r\nQB345= V1.04\r\n");
}

TEST_F(ProfileTest, ReplacedLineDropsItsCommentAndLineEnd)
{
    File("[S]\nA  =  1 // note\n\nB = 2\n");
    ASSERT_TRUE(Set(L"S", L"A", L"9"));
    EXPECT_EQ(Bytes(), "[S]\nA  = 9\r\nB = 2\n");
}

TEST_F(ProfileTest, NewKeyGoesInFrontOfTheNextHeader)
{
    File(kInstalled);
    ASSERT_TRUE(Set(L"DTC", L"HistoryNum02", L"P0300"));
    std::string expect = kInstalled;
    expect.insert(expect.find("[Setting]"), "HistoryNum02 = P0300\r\n");
    EXPECT_EQ(Bytes(), expect);
}

TEST_F(ProfileTest, NewKeyInTheLastSectionGoesAfterTheLastByte)
{
    File(kInstalled);
    ASSERT_TRUE(Set(L"Setting", L"Extra", L"x"));
    EXPECT_EQ(Bytes(), std::string(kInstalled) + "Extra = x\r\n");
}

TEST_F(ProfileTest, NewSectionGoesAtTheEndAfterAnEmptyLine)
{
    File(kInstalled);
    ASSERT_TRUE(CProfile::SetInt(W(path), L"New", L"K", -5));
    EXPECT_EQ(Bytes(), std::string(kInstalled) + "\r\n[New]\r\nK = -5\r\n");
}

TEST_F(ProfileTest, EmptyFileGetsTheSection)
{
    File("");
    ASSERT_TRUE(Set(L"S", L"K", L"v"));
    EXPECT_EQ(Bytes(), "\r\n[S]\r\nK = v\r\n");
    EXPECT_EQ(Get(L"S", L"K"), L"v");
}

TEST_F(ProfileTest, UnterminatedLastLineIsEndedBeforeAnAppendedLine)
{
    File("[S]\r\nAutoUpdate = 0");
    ASSERT_TRUE(Set(L"S", L"Skin", L"1"));
    EXPECT_EQ(Bytes(), "[S]\r\nAutoUpdate = 0\r\nSkin = 1\r\n");
    EXPECT_EQ(Get(L"S", L"AutoUpdate"), L"0");

    File("[S]\r\nA = 0");
    ASSERT_TRUE(Set(L"T", L"B", L"1"));
    EXPECT_EQ(Bytes(), "[S]\r\nA = 0\r\n\r\n[T]\r\nB = 1\r\n");

    File("[S]");
    ASSERT_TRUE(Set(L"S", L"B", L"1"));
    EXPECT_EQ(Bytes(), "[S]\r\nB = 1\r\n");
}

TEST_F(ProfileTest, ShorterValueLeavesNoStaleBytes)
{
    File("[S]\r\nA = 1234567890\r\n");
    ASSERT_TRUE(Set(L"S", L"A", L"1"));
    EXPECT_EQ(Bytes(), "[S]\r\nA = 1\r\n");
    ASSERT_TRUE(Set(L"S", L"A", L""));
    EXPECT_EQ(Bytes(), "[S]\r\nA = \r\n");
}

TEST_F(ProfileTest, LfOnlyFileKeepsItsLinesOnlyTheWrittenOnesGetCrLf)
{
    File("[DTC]\nHistoryNum= 1\nHistoryNum01 = P0135\n[Setting]\nLanguage = 0\nSkin = 2\n");
    EXPECT_EQ(Get(L"Setting", L"Skin"), L"2");
    ASSERT_TRUE(Set(L"Setting", L"Language", L"4"));
    ASSERT_TRUE(Set(L"DTC", L"HistoryNum02", L"B1234"));
    ASSERT_TRUE(Set(L"Setting", L"AutoUpdate", L"1"));
    EXPECT_EQ(Bytes(),
              "[DTC]\nHistoryNum= 1\nHistoryNum01 = P0135\nHistoryNum02 = B1234\r\n"
              "[Setting]\nLanguage = 4\r\nSkin = 2\nAutoUpdate = 1\r\n");
}

TEST_F(ProfileTest, PrefixKeyWriteHitsTheFirstMatchingLine)
{
    // Why a prefix key must stand before its longer relatives.
    File("[DTC]\r\nHistoryNum01 = P0135\r\nHistoryNum= 1\r\n");
    ASSERT_TRUE(CProfile::SetInt(W(path), L"DTC", L"HistoryNum", 2));
    EXPECT_EQ(Bytes(), "[DTC]\r\nHistoryNum01 = 2\r\nHistoryNum= 1\r\n");
}

TEST_F(ProfileTest, WriteGoesToTheFirstOfTwoSameNamedSections)
{
    File("[Setting]\r\nLanguage = 1\r\n[DTC]\r\n[Setting]\r\nSkin = 3\r\n");
    ASSERT_TRUE(CProfile::SetInt(W(path), L"Setting", L"Skin", 4));
    EXPECT_EQ(Bytes(), "[Setting]\r\nLanguage = 1\r\nSkin = 4\r\n[DTC]\r\n[Setting]\r\nSkin = 3\r\n");
    EXPECT_EQ(Get(L"Setting", L"Skin"), L"4");
}

TEST_F(ProfileTest, HeaderThatAlsoHoldsEqualsEndsTheSectionForTheWriterToo)
{
    // The reader stops at "[Other] A=9"; the writer must not change it.
    File("[S]\r\nB = 1\r\n[Other] A=9\r\nA = 8\r\n");
    EXPECT_EQ(Get(L"S", L"A"), L"<def>");
    ASSERT_TRUE(Set(L"S", L"A", L"2"));
    EXPECT_EQ(Bytes(), "[S]\r\nB = 1\r\nA = 2\r\n[Other] A=9\r\nA = 8\r\n");
    EXPECT_EQ(Get(L"S", L"A"), L"2");
}

TEST_F(ProfileTest, BytesAfterANulSurviveARewrite)
{
    File(std::string("[S]\r\nA = 1\r\n\0junk", 16));
    ASSERT_TRUE(Set(L"S", L"B", L"2"));
    EXPECT_EQ(Bytes(), std::string("[S]\r\nA = 1\r\nB = 2\r\n\0junk", 23));
}

TEST_F(ProfileTest, LineBreaksInNamesOrValuesAreRefused)
{
    File(kInstalled);
    EXPECT_FALSE(Set(L"Setting", L"Skin", L"1\r\n[Update]\r\nQB345 = V9"));
    EXPECT_FALSE(Set(L"Setting", L"Sk\nin", L"1"));
    EXPECT_FALSE(Set(L"Set\rting", L"Skin", L"1"));
    EXPECT_EQ(Bytes(), kInstalled);
    EXPECT_EQ(messages, std::vector<std::wstring>(3, L"Write Error"));
}

// --- long lines ---------------------------------------------------------

TEST_F(ProfileTest, OverlongLineIsNeitherHeaderNorKeyAndIsCopiedBack)
{
    const std::string longKey = "Skin" + std::string(5000, 'x') + " = 7\r\n";
    const std::string longHeader = "[DTC]" + std::string(5000, ' ') + "\r\n";
    File("[Setting]\r\n" + longKey + "Language = 1\r\n" + longHeader + "AutoUpdate = 1\r\n");
    EXPECT_EQ(Get(L"Setting", L"Skin"), L"<def>");
    EXPECT_EQ(Get(L"Setting", L"AutoUpdate"), L"1");  // the long "header" did not end the section
    EXPECT_EQ(Get(L"DTC", L"AutoUpdate"), L"<def>");

    ASSERT_TRUE(Set(L"Setting", L"Skin", L"2"));
    EXPECT_EQ(Bytes(), "[Setting]\r\n" + longKey + "Language = 1\r\n" + longHeader + "AutoUpdate = 1\r\nSkin = 2\r\n");
    ASSERT_TRUE(Set(L"Setting", L"Language", L"5"));
    EXPECT_EQ(Bytes(), "[Setting]\r\n" + longKey + "Language = 5\r\n" + longHeader + "AutoUpdate = 1\r\nSkin = 2\r\n");
}

TEST_F(ProfileTest, LineOfExactlyTheBufferSizeStillCounts)
{
    // 4096 characters with the line end: still a key line.
    std::string line = "K = " + std::string(4096 - 6, 'v') + "\r\n";
    ASSERT_EQ(line.size(), 4096u);
    File("[S]\r\n" + line);
    EXPECT_EQ(Get(L"S", L"K"), std::wstring(4090, L'v'));
}

// --- failures -----------------------------------------------------------

TEST_F(ProfileTest, WriteToAMissingFileFailsAndCreatesNothing)
{
    path = dir.file("Kelvo.cfg");
    EXPECT_FALSE(Set(L"Setting", L"Language", L"1"));
    EXPECT_FALSE(CProfile::SetInt(W(dir.file("sub/Kelvo.cfg")), L"Setting", L"Language", 1));
    EXPECT_EQ(messages, std::vector<std::wstring>(2, L"Write error"));
    EXPECT_TRUE(FolderEntries().empty());
}

TEST_F(ProfileTest, WriteToAFileThatTakesNoWritesFails)
{
    // A folder by the file's name opens for neither reading nor writing.
    std::filesystem::create_directory(dir.file("Kelvo.cfg"));
    path = dir.file("Kelvo.cfg");
    EXPECT_FALSE(Set(L"Setting", L"Language", L"1"));
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Write error"});
    EXPECT_TRUE(std::filesystem::is_directory(path));
}

TEST_F(ProfileTest, WriteToAReadOnlyFileFails)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root opens read-only files for writing (the Wine test covers the attribute)";
    File(kInstalled);
    ::chmod(path.c_str(), 0444);
    EXPECT_FALSE(Set(L"Setting", L"Language", L"1"));
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Write error"});
    EXPECT_EQ(Bytes(), kInstalled);
}

TEST_F(ProfileTest, FileThatCannotBeLoadedIsNotWritten)
{
    File(kInstalled);
    kelvo::SetProfileFaultHook([](kelvo::ProfileStep s) { return s != kelvo::ProfileStep::Load; });
    EXPECT_FALSE(Set(L"Setting", L"Language", L"1"));
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Write error"});
    EXPECT_EQ(Bytes(), kInstalled);
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Kelvo.cfg"});
}

TEST_F(ProfileTest, FailureAtAnyStepOfTheRewriteKeepsTheOldContentWhole)
{
    for (kelvo::ProfileStep failing :
         {kelvo::ProfileStep::CreateTemp, kelvo::ProfileStep::WriteTemp, kelvo::ProfileStep::Replace}) {
        SCOPED_TRACE(static_cast<int>(failing));
        messages.clear();
        File(kInstalled);
        kelvo::SetProfileFaultHook([failing](kelvo::ProfileStep s) { return s != failing; });
        EXPECT_FALSE(Set(L"DTC", L"HistoryNum02", L"P0300"));
        EXPECT_EQ(messages, std::vector<std::wstring>{L"Write Error"});
        EXPECT_EQ(Bytes(), kInstalled);
        EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Kelvo.cfg"});  // no temporary file left
    }
    kelvo::SetProfileFaultHook({});
    messages.clear();
    ASSERT_TRUE(Set(L"DTC", L"HistoryNum02", L"P0300"));
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(FolderEntries(), std::vector<std::string>{"Kelvo.cfg"});
}

TEST_F(ProfileTest, UnwritableFolderFailsTheRewriteWithoutHarm)
{
    if (geteuid() == 0)
        GTEST_SKIP() << "root writes into read-only folders";
    File(kInstalled);
    ::chmod(dir.path().c_str(), 0555);
    EXPECT_FALSE(Set(L"Setting", L"Language", L"1"));
    ::chmod(dir.path().c_str(), 0755);
    EXPECT_EQ(messages, std::vector<std::wstring>{L"Write Error"});
    EXPECT_EQ(Bytes(), kInstalled);
}

TEST_F(ProfileTest, GarbageFileNeitherCrashesNorLosesBytes)
{
    std::string junk;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; ++i) {
        x = x * 1103515245u + 12345u;
        const char pick[] = "[]=/\r\n \tA\x80\xFF";
        junk.push_back(pick[(x >> 16) % (sizeof pick - 1)]);
    }
    junk.erase(std::remove(junk.begin(), junk.end(), '\0'), junk.end());
    File(junk);
    (void)Get(L"A", L"A");
    ASSERT_TRUE(Set(L"A", L"A", L"1"));
    const std::string after = Bytes();
    EXPECT_GE(after.size(), junk.size() - 100);
    EXPECT_EQ(Get(L"A", L"A"), L"1");
}

// --- the standard INI reader ----------------------------------------------

TEST_F(ProfileTest, IniReaderFollowsTheStandardRules)
{
    File("[update]\r\n"
         "Name = wrong section\r\n"
         "[ Setting ]\r\n"
         "  downloadlink  =   http://host.example/Update/  \r\n"
         "Quoted = \"a b\"\r\n"
         "NoValue\r\n"
         "[Setting]\r\n"
         "Other = second\r\n");
    const std::wstring f = W(path);
    EXPECT_EQ(kelvo::ReadIniString(f, L"SETTING", L"DownloadLink", L"d"), L"http://host.example/Update/");
    EXPECT_EQ(kelvo::ReadIniString(f, L"Setting", L"Quoted", L"d"), L"a b");
    EXPECT_EQ(kelvo::ReadIniString(f, L"Setting", L"Other", L"d"), L"d");    // second section unseen
    EXPECT_EQ(kelvo::ReadIniString(f, L"Setting", L"Absent", L"dflt  "), L"dflt");
    EXPECT_EQ(kelvo::ReadIniString(f, L"Nope", L"Name", L"d"), L"d");
    EXPECT_EQ(kelvo::ReadIniString(f, L"Update", L"Name", L"d"), L"wrong section");
    EXPECT_EQ(kelvo::ReadIniString(W(dir.file("none.ini")), L"Setting", L"Other", L"x"), L"x");
}

TEST_F(ProfileTest, IniReaderCutsTheValueToTheBuffer)
{
    File("[Setting]\r\nDownloadLink = " + std::string(300, 'a') + "\r\n");
    EXPECT_EQ(kelvo::ReadIniString(W(path), L"Setting", L"DownloadLink", L""), std::wstring(255, L'a'));
    EXPECT_EQ(kelvo::ReadIniString(W(path), L"Setting", L"DownloadLink", L"", 10), std::wstring(10, L'a'));
}

TEST_F(ProfileTest, DownloadLinkNeedsTheIniReader)
{
    File(kInstalled);
    EXPECT_EQ(Get(L"Setting", L"DownloadLink"), L"http:");
    EXPECT_EQ(kelvo::ReadIniString(W(path), L"Setting", L"DownloadLink", L""), L"http://www.example.com/Update/");
}

} // namespace
