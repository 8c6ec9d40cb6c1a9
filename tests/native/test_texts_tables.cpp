// The shipped language sources through kelvo-textc and back through GetText,
// and the compiler's own rules (errors, determinism, plain form, sorted index).
#include "app/core/codepage.h"
#include "app/core/datasheet.h"
#include "installer/core/InstallTexts.h"
#include "test_texts_support.h"
#include "tools/textc/text_source.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <sys/wait.h>

namespace kelvo::test {
namespace {

std::string Compiler() { return KELVO_TEXTC_PATH; }
std::string LanguageSource(const std::string& code) { return std::string(KELVO_LANGUAGE_SOURCES) + "/" + code + ".txt"; }

struct ToolRun {
    int exitCode = -1;
    std::string output;
};

ToolRun RunCompiler(const std::string& args)
{
    ToolRun r;
    const std::string cmd = "'" + Compiler() + "' " + args + " 2>&1";
    FILE* p = ::popen(cmd.c_str(), "r");
    if (!p)
        return r;
    char buf[512];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
        r.output.append(buf, n);
    const int status = ::pclose(p);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return r;
}

struct Language {
    int index;
    const char* code;
    unsigned codePage;
};
const Language kLanguages[] = {
    {0, "en", 1252},  {1, "fr", 1252}, {2, "es", 1252}, {3, "de", 28591}, {4, "pt", 28591},
    {5, "se", 1252},  {6, "it", 1252}, {7, "nl", 1252}, {8, "hu", 1250},  {9, "ru", 1251},
};

using LanguageTables = TextTableTest;

TEST_F(LanguageTables, EveryListedTextOfEveryLanguageReadsBack)
{
    for (const Language& lang : kLanguages) {
        SCOPED_TRACE(lang.code);
        const std::string src = LanguageSource(lang.code);
        const std::string out = LanguageFile(std::string(lang.code) + "_TEXT.cbf");
        const ToolRun run = RunCompiler("'" + src + "' '" + out + "'");
        ASSERT_EQ(run.exitCode, 0) << run.output;

        textc::Source parsed;
        std::string error;
        ASSERT_TRUE(textc::ParseSource(src, ReadFileBytes(src), parsed, error)) << error;
        EXPECT_EQ(parsed.codePage, lang.codePage);
        std::map<int, std::wstring> expected;
        for (const textc::SourceText& t : parsed.texts)
            expected[t.number] = t.text;

        g_strLanguageCode = L"EN";
        g_nTextCodePage = 28591;
        kelvo::ApplyLanguageIndex(lang.index);
        ClearTextCache();
        CDataSheet sheet;
        ASSERT_TRUE(sheet.Open(g_strLanguageCode + L"_TEXT.cbf"));
        EXPECT_TRUE(sheet.IsScrambled());
        for (int n : ListedTextNumbers()) {
            ASSERT_EQ(expected.count(n), 1u) << "source lacks text " << n;
            EXPECT_FALSE(expected[n].empty()) << n;
            EXPECT_EQ(sheet.Find(TextId(n)).GetCount(), 1) << "table lacks text " << n;
            EXPECT_EQ(GetText(n), expected[n]) << "text " << n;
        }
        EXPECT_EQ(GetText(60), L"http://www.zendrix-tools.com");
        EXPECT_EQ(GetText(0).compare(0, 5, L"Kelvo"), 0);
    }
}

// The installer and the uninstaller speak before any table is there (and from
// one without a text): their English must be the table's.
TEST_F(LanguageTables, InstallerTextsFallBackToTheEnglishTablesWordsAndComeTranslatedFromATable)
{
    std::map<std::string, std::map<int, std::wstring>> sources;
    for (const char* code : {"en", "de"}) {
        textc::Source parsed;
        std::string error;
        const std::string src = LanguageSource(code);
        ASSERT_TRUE(textc::ParseSource(src, ReadFileBytes(src), parsed, error)) << error;
        for (const textc::SourceText& t : parsed.texts)
            sources[code][t.number] = t.text;
    }
    g_strLanguageCode = L"XX";  // no such table
    ClearTextCache();
    for (int n = 100; n <= 113; ++n)
        EXPECT_EQ(kelvo::install::Text(static_cast<kelvo::install::InstallText>(n)), sources["en"][n]) << n;

    const ToolRun run = RunCompiler("'" + LanguageSource("de") + "' '" + LanguageFile("de_TEXT.cbf") + "'");
    ASSERT_EQ(run.exitCode, 0) << run.output;
    kelvo::ApplyLanguageIndex(3);
    ClearTextCache();
    for (int n = 100; n <= 113; ++n)
        EXPECT_EQ(kelvo::install::Text(static_cast<kelvo::install::InstallText>(n)), sources["de"][n]) << n;
    EXPECT_EQ(FillIn(kelvo::install::Text(kelvo::install::kTextDriverFailed), {L"1", L"x64.bat"}),
              L"Der Treiber des Diagnoseger\u00E4ts konnte nicht installiert werden (Code 1). F\u00FCr einen neuen "
              L"Versuch f\u00FChren Sie x64.bat im Kelvo-Ordner als Administrator aus.");
}

TEST_F(LanguageTables, LettersOfEachLanguageSurviveItsCodePage)
{
    // A few texts checked against literals, so that a fault shared by the
    // parser and the reader cannot hide.
    struct Probe {
        int index;
        const char* code;
        int number;
        std::wstring text;
    };
    const Probe probes[] = {
        {1, "fr", 1, L"Mise \u00E0 jour"},
        {3, "de", 10, L"Gr\u00F6\u00DFe"},
        {4, "pt", 7, L"Vers\u00E3o"},
        {5, "se", 30, L"Bl\u00E5"},
        {8, "hu", 35, L"Ez\u00FCst"},
        // o and u with double acute: code page 1250 has them, 1252 has not.
        {8, "hu", 64, L"A friss\u00EDt\u00E9s befejez\u0151d\u00F6tt"},
        {9, "ru", 2, L"\u041A\u043E\u0434\u044B"},
        {9, "ru", 27, L"\u0427\u0451\u0440\u043D\u044B\u0439"},
        {0, "en", 62, L"Scan tool"},
    };
    for (const Probe& p : probes) {
        const std::string src = LanguageSource(p.code);
        ASSERT_EQ(RunCompiler("'" + src + "' '" + LanguageFile(std::string(p.code) + "_TEXT.cbf") + "'").exitCode, 0);
        kelvo::ApplyLanguageIndex(p.index);
        ClearTextCache();
        EXPECT_EQ(GetText(p.number), p.text) << p.code << " " << p.number;
    }
}

TEST(CodePages, HungarianLettersRoundTripThrough1250AndNotThrough1252)
{
    std::wstring wide;
    ASSERT_TRUE(kelvo::TableToWide(1250, "\xF5\xFB\xD5\xDB\xE1\xE9\x8A\x80", wide));
    EXPECT_EQ(wide, L"\u0151\u0171\u0150\u0170\u00E1\u00E9\u0160\u20AC");
    std::string bytes;
    bool lossless = false;
    ASSERT_TRUE(kelvo::TableFromWide(1250, L"\u0151\u0171\u0150\u0170\u00F6\u00FC", bytes, &lossless));
    EXPECT_EQ(bytes, "\xF5\xFB\xD5\xDB\xF6\xFC");
    EXPECT_TRUE(lossless);
    ASSERT_TRUE(kelvo::TableFromWide(1252, L"\u0151", bytes, &lossless));
    EXPECT_FALSE(lossless) << "1252 has no o with double acute";
    // Every byte of the upper half reads back as itself.
    std::string all;
    for (int b = 0x80; b <= 0xFF; ++b)
        all.push_back(static_cast<char>(b));
    ASSERT_TRUE(kelvo::TableToWide(1250, all, wide));
    ASSERT_TRUE(kelvo::TableFromWide(1250, wide, bytes, &lossless));
    EXPECT_EQ(bytes, all);
    EXPECT_TRUE(lossless);
}

TEST_F(LanguageTables, CompilerNamesFileAndLineOfAnUnencodableCharacter)
{
    struct Case {
        const char* content;
        const char* where;
    };
    const Case cases[] = {
        {"# Hungarian\n@codepage 1252\n0\tKelvo\n1\tFriss\xC5\x91\n", "bad.txt:4:"},         // U+0151
        {"@codepage 28591\n\n0\tPreis 5 \xE2\x82\xAC\n", "bad.txt:3:"},                      // euro sign
        {"@codepage 1251\n0\tok\n1\tok\n2\t\xE2\x80\x9C" "quoted\xE2\x80\x9D\n", nullptr}, // 1251 has them
        {"@codepage 1252\n0\t\xD0\x96\n", "bad.txt:2:"},                                     // Cyrillic in 1252
    };
    for (const Case& c : cases) {
        const std::string src = dir.file("bad.txt");
        const std::string out = dir.file("bad.cbf");
        WriteFileBytes(src, c.content);
        std::remove(out.c_str());
        const ToolRun run = RunCompiler("'" + src + "' '" + out + "'");
        if (!c.where) {
            EXPECT_EQ(run.exitCode, 0) << run.output;
            continue;
        }
        EXPECT_NE(run.exitCode, 0);
        EXPECT_NE(run.output.find(c.where), std::string::npos) << run.output;
        EXPECT_NE(run.output.find("code page"), std::string::npos) << run.output;
        EXPECT_FALSE(FileExists(out)) << "no table from a failed compile";
    }
}

TEST_F(LanguageTables, CompilerOutputIsDeterministicAndTheIndexSorted)
{
    const std::string src = dir.file("t.txt");
    // Numbers out of order, and 256 sorts after 255 by its key bytes.
    WriteFileBytes(src, "@codepage 1252\n300\tc\n2\ta\n256\tb2\n255\tb1\n0\tz\n");
    ASSERT_EQ(RunCompiler(src + " " + dir.file("a.cbf")).exitCode, 0);
    ASSERT_EQ(RunCompiler(src + " " + dir.file("b.cbf")).exitCode, 0);
    const std::string a = ReadFileBytes(dir.file("a.cbf"));
    EXPECT_EQ(a, ReadFileBytes(dir.file("b.cbf")));
    ASSERT_GT(a.size(), 26u);
    EXPECT_GT(static_cast<uint8_t>(a[8]) | static_cast<uint8_t>(a[9]) << 8, 256);
    const int t = static_cast<uint8_t>(a[a.size() - 2]) | static_cast<uint8_t>(a[a.size() - 1]) << 8;
    EXPECT_GE(t, 255);
    EXPECT_LE(t, 400);

    ASSERT_EQ(RunCompiler("--plain " + src + " " + dir.file("p.cbf")).exitCode, 0);
    const std::string p = ReadFileBytes(dir.file("p.cbf"));
    ASSERT_GE(p.size(), 24u + 5 * 10);
    EXPECT_EQ(p.compare(0, 8, std::string("ZENDRIX\0", 8)), 0);
    EXPECT_EQ(static_cast<uint8_t>(p[8]) | static_cast<uint8_t>(p[9]) << 8, 256);
    EXPECT_EQ(p[12], 6);
    EXPECT_EQ(p.substr(20, 4), std::string("\0\0\0\x05", 4));
    std::vector<int> order;
    for (int i = 0; i < 5; ++i) {
        const std::string key = p.substr(24 + static_cast<size_t>(i) * 10, 6);
        EXPECT_EQ(key.substr(0, 4), std::string("\xFF\0\0\0", 4));
        order.push_back(static_cast<uint8_t>(key[4]) << 8 | static_cast<uint8_t>(key[5]));
    }
    EXPECT_EQ(order, (std::vector<int>{0, 2, 255, 256, 300}));

    // A different source gives different scrambling, and both read back.
    WriteFileBytes(src, "@codepage 1252\n300\tC\n");
    ASSERT_EQ(RunCompiler(src + " " + LanguageFile("en_TEXT.cbf")).exitCode, 0);
    EXPECT_NE(ReadFileBytes(LanguageFile("en_TEXT.cbf")), a);
    EXPECT_EQ(GetText(300), L"C");
}

TEST(TextSource, RejectsMalformedLinesWithTheirLineNumber)
{
    struct Case {
        const char* content;
        const char* error;
    };
    const Case cases[] = {
        {"0\tbefore\n", "s.txt:1: text before the @codepage line"},
        {"@codepage 1252\n# c\n5 no tab\n", "s.txt:3: expected NUMBER<TAB>text"},
        {"@codepage 1252\n5\ta\n5\tb\n", "s.txt:3: text 5 is defined twice"},
        {"@codepage 1252\n70000\ta\n", "s.txt:2: expected NUMBER<TAB>text"},
        {"@codepage 1252\n1\tbad \\q escape\n", "s.txt:2: unknown escape \\q"},
        {"@codepage 1252\n1\tends in \\\n", "s.txt:2: backslash at the end of the line"},
        {"@codepage 1252\n1\tbad \xC3 utf8\n", "s.txt:2: not valid UTF-8"},
        {"@codepage 1252\n1\toverlong \xC0\xAF\n", "s.txt:2: not valid UTF-8"},
        {"@codepage 1252\n1\ta\x01z\n", "s.txt:2: control character"},
        {"@codepage 437\n", "s.txt:1: code page 437 is not supported"},
        {"@codepage 1252\n@codepage 1251\n", "s.txt:2: @codepage must come once"},
        {"@language EN\n", "s.txt:1: unknown directive"},
        {"# nothing\n", "s.txt: no @codepage line"},
    };
    for (const Case& c : cases) {
        textc::Source s;
        std::string error;
        EXPECT_FALSE(textc::ParseSource("s.txt", c.content, s, error)) << c.content;
        EXPECT_EQ(error.compare(0, std::strlen(c.error), c.error), 0) << error;
    }
}

TEST(TextSource, KeepsSpacesAndTurnsEscapesIntoCharacters)
{
    textc::Source s;
    std::string error;
    ASSERT_TRUE(textc::ParseSource("s.txt", "\xEF\xBB\xBF# bom\r\n@codepage 1252\r\n\r\n22\t --- lead \r\n7\ta\\nb\\r\\tc\\\\d\n", s, error))
        << error;
    ASSERT_EQ(s.texts.size(), 2u);
    EXPECT_EQ(s.texts[0].number, 22);
    EXPECT_EQ(s.texts[0].line, 4);
    EXPECT_EQ(s.texts[0].text, L" --- lead ");
    EXPECT_EQ(s.texts[1].text, L"a\nb\r\tc\\d");

    std::vector<textc::EncodedText> enc;
    ASSERT_TRUE(textc::EncodeSource("s.txt", s, enc, error)) << error;
    EXPECT_EQ(enc[1].bytes, std::string("a\nb\r\tc\\d\0", 9));
}

} // namespace
} // namespace kelvo::test
