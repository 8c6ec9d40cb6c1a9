// KelvoReader's texts: the installation it belongs to (the folder above the
// manual folder), the language of that installation's Kelvo.cfg, and English
// whenever the settings or the table cannot say.
#include "reader/core/ReaderTexts.h"
#include "app/core/platform.h"
#include "test_texts_support.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace kelvo::test {
namespace {

using kreader::ReaderText;

class ReaderTexts : public TextTableTest {
protected:
    void SetUp() override
    {
        TextTableTest::SetUp();
        std::filesystem::create_directory(dir.file("manual"));
    }
    std::wstring Install() const { return kelvo::Utf8ToWide(dir.path()); }
    std::wstring Manual() const { return kelvo::Utf8ToWide(dir.file("manual")); }
    void Settings(const std::string& bytes) { WriteFileBytes(dir.file("Kelvo.cfg"), bytes); }
    // A German table with two of the reader's texts (Latin-1, as de.txt is stored).
    void GermanTable()
    {
        WriteTexts("de_TEXT.cbf", {{205, "Das Dokument wurde nicht gefunden."}, {208, "Schlie\xdf" "en"}});
    }
    // English throughout: the built-in words.
    void ExpectEnglish()
    {
        EXPECT_EQ(kreader::Text(ReaderText::kNotFound).compare(0, 30, L"The document could not be foun"), 0);
        EXPECT_EQ(kreader::Text(ReaderText::kClose), L"Close");
        EXPECT_EQ(kreader::Text(ReaderText::kOpenFolder), L"&Open folder");
    }
};

TEST_F(ReaderTexts, TheInstallationIsTheFolderAboveTheManualsUnlessTheReaderSitsInIt)
{
    Settings("[Setting]\r\nLanguage = 0\r\n");
    EXPECT_EQ(kreader::InstallationFolder(Manual()), Install());
    EXPECT_EQ(kreader::InstallationFolder(Manual() + L"/"), Install()) << "a trailing separator";
    // A reader placed beside Kelvo.exe belongs to that folder.
    WriteFileBytes(dir.file("manual/Kelvo.exe"), "MZ");
    EXPECT_EQ(kreader::InstallationFolder(Manual()), Manual());
    // Nothing of Kelvo anywhere: the folder above all the same (English follows).
    std::filesystem::create_directories(dir.file("loose/manual"));
    EXPECT_EQ(kreader::InstallationFolder(kelvo::Utf8ToWide(dir.file("loose/manual"))), kelvo::Utf8ToWide(dir.file("loose")));
}

TEST_F(ReaderTexts, TheLanguageOfKelvoCfgWithEnglishForTextsTheTableLacks)
{
    GermanTable();
    Settings("[Setting]\r\nLanguage = 3\r\nSkin = 0\r\n");
    kreader::FollowKelvoLanguage(kreader::InstallationFolder(Manual()));
    EXPECT_EQ(g_strLanguageCode, L"DE");
    EXPECT_EQ(kreader::Text(ReaderText::kNotFound), L"Das Dokument wurde nicht gefunden.");
    EXPECT_EQ(kreader::Text(ReaderText::kClose), L"Schlie\u00dfen");
    EXPECT_EQ(kreader::Text(ReaderText::kOpenFolder), L"&Open folder") << "not in this table";

    // Kelvo.cfg changed back to English between two starts.
    Settings("[Setting]\r\nLanguage = 0\r\n");
    kreader::FollowKelvoLanguage(Install());
    ExpectEnglish();
}

TEST_F(ReaderTexts, AMissingOrDamagedSettingsFileOrTableGivesEnglish)
{
    GermanTable();
    // No Kelvo.cfg.
    kreader::FollowKelvoLanguage(Install());
    EXPECT_EQ(g_strLanguageCode, L"EN");
    ExpectEnglish();

    // German first, then a settings file of garbage: English, not German left over.
    Settings("[Setting]\r\nLanguage = 3\r\n");
    kreader::FollowKelvoLanguage(Install());
    ASSERT_EQ(g_strLanguageCode, L"DE");
    Settings(std::string("\x00\xff\xfe[Setting\x00Language=\xff\x01", 18));
    kreader::FollowKelvoLanguage(Install());
    EXPECT_EQ(g_strLanguageCode, L"EN");
    ExpectEnglish();

    // A language the program does not have.
    Settings("[Setting]\r\nLanguage = 42\r\n");
    kreader::FollowKelvoLanguage(Install());
    EXPECT_EQ(g_strLanguageCode, L"EN");
    ExpectEnglish();

    // German asked for, its table damaged (cut short, then garbage), then gone.
    Settings("[Setting]\r\nLanguage = 3\r\n");
    const std::string table = ReadFileBytes(LanguageFile("de_TEXT.cbf"));
    WriteFileBytes(LanguageFile("de_TEXT.cbf"), table.substr(0, table.size() / 2));
    kreader::FollowKelvoLanguage(Install());
    EXPECT_EQ(kreader::Text(ReaderText::kOpenFolder), L"&Open folder");
    EXPECT_FALSE(kreader::Text(ReaderText::kNotFound).empty());
    WriteFileBytes(LanguageFile("de_TEXT.cbf"), std::string(4096, '\xA5'));
    kreader::FollowKelvoLanguage(Install());
    ExpectEnglish();
    std::filesystem::remove(LanguageFile("de_TEXT.cbf"));
    kreader::FollowKelvoLanguage(Install());
    ExpectEnglish();
}

TEST_F(ReaderTexts, TheBuiltInEnglishIsTheEnglishTablesAndEveryLanguageHasItsOwn)
{
    const std::string sources = KELVO_LANGUAGE_SOURCES;
    for (const char* code : {"en", "de", "ru"}) {
        const std::string cmd = std::string("'") + KELVO_TEXTC_PATH + "' '" + sources + "/" + code + ".txt' '" +
                                LanguageFile(std::string(code) + "_TEXT.cbf") + "' >/dev/null 2>&1";
        ASSERT_EQ(std::system(cmd.c_str()), 0) << code;
    }
    const ReaderText all[] = {ReaderText::kNoDocument, ReaderText::kNotFound, ReaderText::kNoViewer,
                              ReaderText::kOpenFolder, ReaderText::kClose};
    std::vector<std::wstring> english, builtIn;
    Settings("[Setting]\r\nLanguage = 0\r\n");
    kreader::FollowKelvoLanguage(Install());
    for (ReaderText id : all)
        english.push_back(kreader::Text(id));
    std::filesystem::remove(LanguageFile("en_TEXT.cbf"));
    kreader::FollowKelvoLanguage(Install());
    for (ReaderText id : all)
        builtIn.push_back(kreader::Text(id));
    EXPECT_EQ(builtIn, english) << "the words without a table are the English table's";

    for (int language : {3, 9}) {
        Settings("[Setting]\r\nLanguage = " + std::to_string(language) + "\r\n");
        kreader::FollowKelvoLanguage(Install());
        for (size_t i = 0; i < std::size(all); ++i)
            EXPECT_NE(kreader::Text(all[i]), english[i]) << language << " text " << static_cast<int>(all[i]);
    }
    EXPECT_EQ(kreader::Text(ReaderText::kClose), L"\u0417\u0430\u043a\u0440\u044b\u0442\u044c") << "Russian through 1251";
}

} // namespace
} // namespace kelvo::test
