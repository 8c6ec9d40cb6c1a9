// Reading text tables: both file forms, key matching, record fields, the derived
// file name, the text cache and the code page of each language.
#include "app/core/codepage.h"
#include "app/core/datasheet.h"
#include "test_texts_support.h"

#include <cstring>

namespace kelvo::test {
namespace {

std::string S(const CBinary& b)
{
    return b.IsEmpty() ? std::string() : std::string(reinterpret_cast<const char*>(b.GetData()), static_cast<size_t>(b.GetLength()));
}

CBinary Key(const std::string& k) { return CBinary(k.data(), static_cast<int>(k.size())); }

using TextSheet = TextTableTest;

TEST_F(TextSheet, ScrambledAndPlainTablesReadTheSame)
{
    const std::vector<std::pair<int, std::string>> texts = {{0, "Kelvo"}, {62, "Scan tool"}, {300, "Three hundred"}, {7, "Version"}};
    WriteTexts("en_TEXT.cbf", texts, true);
    WriteTexts("fr_TEXT.cbf", texts, false);

    const std::string scrambled = ReadFileBytes(LanguageFile("en_TEXT.cbf"));
    const std::string plain = ReadFileBytes(LanguageFile("fr_TEXT.cbf"));
    EXPECT_EQ(scrambled.find("Scan tool"), std::string::npos) << "text stored in the clear";
    EXPECT_NE(plain.find("Scan tool"), std::string::npos);
    EXPECT_EQ(static_cast<uint8_t>(plain[8]) | static_cast<uint8_t>(plain[9]) << 8, 256);
    EXPECT_EQ(plain.size(), 24u + 4 * 10 + 4 * (1 + 2) + 6 + 10 + 14 + 8) << "plain form has no table at its end";

    for (const char* name : {"EN_TEXT.cbf", "FR_TEXT.cbf"}) {
        CDataSheet sheet;
        ASSERT_TRUE(sheet.Open(Utf8ToWideSimple(name))) << name;
        for (const auto& t : texts) {
            CBinaryGroup g = sheet.Find(TextId(t.first));
            ASSERT_EQ(g.GetCount(), 1) << name << " " << t.first;
            EXPECT_EQ(S(g.GetAt(0)), t.second + std::string(1, '\0'));
        }
        EXPECT_TRUE(sheet.Find(TextId(1)).IsEmpty());
        EXPECT_TRUE(sheet.Find(TextId(301)).IsEmpty());
        EXPECT_TRUE(sheet.Find(TextId(65535)).IsEmpty());
    }
}

TEST_F(TextSheet, KeysOfAnotherLengthNeverMatch)
{
    WriteTexts("en_TEXT.cbf", {{0x3E, "Scan tool"}});
    CDataSheet sheet;
    ASSERT_TRUE(sheet.Open(L"EN_TEXT.cbf"));
    const std::string id = textc::TextKey(0x3E);
    EXPECT_EQ(sheet.Find(Key(id)).GetCount(), 1);
    EXPECT_TRUE(sheet.Find(Key(id.substr(0, 5))).IsEmpty());
    EXPECT_TRUE(sheet.Find(Key(id + std::string(1, '\0'))).IsEmpty());
    EXPECT_TRUE(sheet.Find(Key(id.substr(1, 5))).IsEmpty());
    EXPECT_TRUE(sheet.Find(CBinary()).IsEmpty());
    EXPECT_EQ(GetTextBytes(Key(id.substr(0, 5))), "");
    EXPECT_EQ(GetTextBytes(Key(id)), "Scan tool");
}

TEST_F(TextSheet, FieldsOfARecordMakeTheText)
{
    const std::string nul(1, '\0');
    WriteRecords("en_TEXT.cbf",
                 {
                     {textc::TextKey(1), {"one field" + nul}},
                     {textc::TextKey(2), {"first, ", "second" + nul}},
                     {textc::TextKey(3), {"only this" + nul, "not this", "nor this"}},
                     {textc::TextKey(4), {"before" + nul + "after NUL"}},
                     {textc::TextKey(5), {"ends", "", "ignored after an empty field"}},
                     {textc::TextKey(6), {}},
                 });
    EXPECT_EQ(GetTextBytes(TextId(1)), "one field");
    EXPECT_EQ(GetTextBytes(TextId(2)), "first, second");
    EXPECT_EQ(GetTextBytes(TextId(3)), "only this");
    EXPECT_EQ(GetTextBytes(TextId(4)), "before");
    EXPECT_EQ(GetTextBytes(TextId(5)), "ends");
    EXPECT_EQ(GetTextBytes(TextId(6)), "");

    CDataSheet sheet;
    ASSERT_TRUE(sheet.Open(L"EN_TEXT.cbf"));
    EXPECT_EQ(sheet.Find(TextId(3)).GetCount(), 3);
    EXPECT_EQ(sheet.Find(TextId(5)).GetCount(), 1) << "a zero length ends the record";
}

TEST_F(TextSheet, LongFieldArrivesSplitAndIsJoined)
{
    std::string longText;
    for (int i = 0; longText.size() < 40000; ++i)
        longText += "line " + std::to_string(i) + "; ";
    longText.resize(40000);
    std::string justBelow(CDataSheet::kSplitAt - 1, 'b');
    WriteRecords("en_TEXT.cbf", {{textc::TextKey(10), {longText + std::string(1, '\0')}},
                                 {textc::TextKey(11), {justBelow + std::string(1, '\0')}}});

    CDataSheet sheet;
    ASSERT_TRUE(sheet.Open(L"EN_TEXT.cbf"));
    CBinaryGroup g = sheet.Find(TextId(10));
    ASSERT_EQ(g.GetCount(), 2);
    EXPECT_EQ(g.GetAt(0).GetLength(), CDataSheet::kSplitAt);
    EXPECT_EQ(g.GetAt(1).GetLength(), 40001 - CDataSheet::kSplitAt);
    EXPECT_EQ(sheet.Find(TextId(11)).GetCount(), 1) << "32700 bytes stay one value";
    sheet.Close();

    EXPECT_EQ(GetTextBytes(TextId(10)), longText);
    EXPECT_EQ(GetTextBytes(TextId(11)), justBelow);
}

TEST_F(TextSheet, FieldTooLongForTwoValuesIsRefused)
{
    // 65535 bytes would leave a rest of 32835, more than one value holds.
    WriteRecords("en_TEXT.cbf", {{textc::TextKey(1), {std::string(65535, 'x')}}, {textc::TextKey(2), {"fine"}}});
    CDataSheet sheet;
    ASSERT_TRUE(sheet.Open(L"EN_TEXT.cbf"));
    EXPECT_TRUE(sheet.Find(TextId(1)).IsEmpty());
    EXPECT_EQ(sheet.Find(TextId(2)).GetCount(), 1);
}

TEST_F(TextSheet, OpenChecksMagicAndHeader)
{
    WriteTexts("en_TEXT.cbf", {{0, "Kelvo"}});
    const std::string good = ReadFileBytes(LanguageFile("en_TEXT.cbf"));
    CDataSheet sheet;
    EXPECT_TRUE(sheet.Open(L"EN_TEXT.cbf"));
    EXPECT_TRUE(sheet.IsScrambled());
    EXPECT_FALSE(sheet.Open(L"DE_TEXT.cbf")) << "no such table";
    EXPECT_FALSE(sheet.IsLoaded());

    std::string bad = good;
    bad[6] = 'Y';
    WriteFileBytes(LanguageFile("en_TEXT.cbf"), bad);
    EXPECT_FALSE(sheet.Open(L"EN_TEXT.cbf"));

    bad = good;
    bad[7] = 'x'; // only the seven letters are tested
    WriteFileBytes(LanguageFile("en_TEXT.cbf"), bad);
    EXPECT_TRUE(sheet.Open(L"EN_TEXT.cbf"));

    WriteFileBytes(LanguageFile("en_TEXT.cbf"), good.substr(0, 12));
    EXPECT_FALSE(sheet.Open(L"EN_TEXT.cbf"));

    // Descrambling tables outside 255..400 bytes are not accepted.
    for (int t : {0, 254, 401, 0xFFFF}) {
        bad = good;
        bad[bad.size() - 2] = static_cast<char>(t & 0xFF);
        bad[bad.size() - 1] = static_cast<char>(t >> 8);
        WriteFileBytes(LanguageFile("en_TEXT.cbf"), bad);
        EXPECT_FALSE(sheet.Open(L"EN_TEXT.cbf")) << t;
    }
    // A record count the file cannot hold.
    bad = good;
    bad[20] = '\x7f';
    WriteFileBytes(LanguageFile("en_TEXT.cbf"), bad);
    EXPECT_FALSE(sheet.Open(L"EN_TEXT.cbf"));
}

TEST_F(TextSheet, DerivedNameIsTheSecondTry)
{
    const std::wstring derived = CDataSheet::DerivedName(L"EN_TEXT.cbf");
    ASSERT_FALSE(derived.empty());
    EXPECT_EQ(derived, CDataSheet::DerivedName(L"en_text.CBF")) << "case does not matter";
    EXPECT_NE(derived, CDataSheet::DerivedName(L"FR_TEXT.cbf"));
    EXPECT_TRUE(CDataSheet::DerivedName(L"EN_TEXT.dat").empty());
    EXPECT_TRUE(CDataSheet::DerivedName(L"CBF").empty());
    for (wchar_t c : derived)
        EXPECT_TRUE((c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'F')) << "hex digits only";
    // 12 key bytes and 8 name bytes, one or two digits each.
    EXPECT_GE(derived.size(), 20u);
    EXPECT_LE(derived.size(), 40u);
    EXPECT_EQ(derived.find(L'.'), std::wstring::npos) << "no extension";

    WriteTexts(std::string(derived.begin(), derived.end()), {{0, "from the derived name"}});
    CDataSheet sheet;
    ASSERT_TRUE(sheet.Open(L"EN_TEXT.cbf"));
    EXPECT_EQ(GetTextBytes(TextId(0)), "from the derived name");

    // The plain name wins when both exist.
    WriteTexts("en_TEXT.cbf", {{0, "plain name"}});
    ClearTextCache();
    EXPECT_EQ(GetTextBytes(TextId(0)), "plain name");
}

TEST_F(TextSheet, TwentySecondTextEvictsTheFirst)
{
    std::vector<std::pair<int, std::string>> texts;
    for (int n = 100; n <= 121; ++n)
        texts.push_back({n, "old " + std::to_string(n)});
    WriteTexts("en_TEXT.cbf", texts);
    for (int n = 100; n <= 120; ++n)
        ASSERT_EQ(GetTextBytes(TextId(n)), "old " + std::to_string(n));
    EXPECT_EQ(GetTextBytes(TextId(100)), "old 100"); // a hit does not make it newer

    for (auto& t : texts)
        t.second = "new " + std::to_string(t.first);
    WriteTexts("en_TEXT.cbf", texts);
    // 21 cached texts: all still answered from the cache.
    EXPECT_EQ(GetTextBytes(TextId(100)), "old 100");
    EXPECT_EQ(GetTextBytes(TextId(121)), "new 121"); // the 22nd
    EXPECT_EQ(GetTextBytes(TextId(101)), "old 101") << "only the oldest goes";
    EXPECT_EQ(GetTextBytes(TextId(120)), "old 120");
    EXPECT_EQ(GetTextBytes(TextId(100)), "new 100") << "the first was evicted";
}

TEST_F(TextSheet, MissingTableCachesNothingAbsentTextIsCached)
{
    EXPECT_EQ(GetText(0), L"");
    WriteTexts("en_TEXT.cbf", {{0, "Kelvo"}});
    EXPECT_EQ(GetText(0), L"Kelvo") << "the failed open left nothing in the cache";

    EXPECT_EQ(GetText(5), L"");
    WriteTexts("en_TEXT.cbf", {{0, "Kelvo"}, {5, "No."}});
    EXPECT_EQ(GetText(5), L"") << "an absent text is cached as empty";
}

TEST_F(TextSheet, EachLanguageConvertsWithItsCodePage)
{
    const std::string bytes = "\x80\xC0\xE9";
    for (const char* name : {"en_TEXT.cbf", "fr_TEXT.cbf", "de_TEXT.cbf", "ru_TEXT.cbf"})
        WriteTexts(name, {{1, bytes}});

    struct Case {
        int language;
        std::wstring expected;
    };
    const Case cases[] = {
        {1, L"\u20AC\u00C0\u00E9"}, // FR: 1252
        {3, L"\u0080\u00C0\u00E9"}, // DE: 28591
        {9, L"\u0402\u0410\u0439"}, // RU: 1251
        {0, kelvo::ToWide(kelvo::SystemAnsiCodePage(), bytes)},
        {12, L"\u0080\u00C0\u00E9"}, // unknown index: EN with 28591
    };
    for (const Case& c : cases) {
        g_strLanguageCode = L"EN";
        g_nTextCodePage = 28591;
        kelvo::ApplyLanguageIndex(c.language);
        ClearTextCache();
        EXPECT_EQ(GetText(1), c.expected) << "Language " << c.language;
    }
    kelvo::ApplyLanguageIndex(0);
    EXPECT_EQ(g_nTextCodePage, 0);
    EXPECT_EQ(g_strLanguageCode, L"EN");
}

} // namespace
} // namespace kelvo::test
