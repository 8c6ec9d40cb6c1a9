// Damaged text tables: thousands of deterministic mutations (truncation, byte
// flips, forged counts, offsets, field lengths and table lengths). Every read
// must stay inside the file and its buffers (the native build runs with
// AddressSanitizer and UBSan) and give either the true text or nothing.
#include "app/core/datasheet.h"
#include "test_texts_support.h"

#include <random>

namespace kelvo::test {
namespace {

class TextFuzz : public TextTableTest {
protected:
    void SetUp() override
    {
        TextTableTest::SetUp();
        for (int n = 0; n < 40; ++n) {
            std::string text = "text number " + std::to_string(n);
            text.append(static_cast<size_t>(n * 7 % 50), static_cast<char>('a' + n % 26));
            texts.push_back({n * 3, text});
        }
        // A record of two fields and one of three, as the format allows.
        extra.push_back({textc::TextKey(1000), {"joined ", std::string("pair\0", 5)}});
        extra.push_back({textc::TextKey(1001), {std::string("first\0", 6), "second", "third"}});
    }

    std::string Build(bool scrambled)
    {
        std::vector<textc::Record> records = extra;
        for (const auto& t : texts)
            records.push_back({textc::TextKey(t.first), {t.second + std::string(1, '\0')}});
        textc::TableOptions options;
        options.scrambled = scrambled;
        std::string bytes, error;
        EXPECT_TRUE(textc::BuildTable(records, options, bytes, error)) << error;
        return bytes;
    }

    // Reads every known text (and some unknown ones) from `bytes` as the
    // English table; returns how many of the 42 records came back intact.
    int ReadAll(const std::string& bytes, bool expectTrueOrEmpty)
    {
        WriteFileBytes(LanguageFile("EN_TEXT.cbf"), bytes); // exact name: no case resolution per open
        ClearTextCache();
        int intact = 0;
        for (const auto& t : texts) {
            const std::string got = GetTextBytes(TextId(t.first));
            EXPECT_LE(got.size(), bytes.size());
            if (got == t.second) {
                ++intact;
            } else if (expectTrueOrEmpty) {
                EXPECT_EQ(got, "") << "text " << t.first;
            }
        }
        const std::string pair = GetTextBytes(TextId(1000));
        const std::string first = GetTextBytes(TextId(1001));
        intact += pair == "joined pair";
        intact += first == "first";
        if (expectTrueOrEmpty) {
            EXPECT_TRUE(pair.empty() || pair == "joined pair") << pair;
            EXPECT_TRUE(first.empty() || first == "first") << first;
        }
        for (int absent : {1, 2, 4, 999, 65535}) {
            const std::string got = GetTextBytes(TextId(absent));
            if (expectTrueOrEmpty) {
                EXPECT_EQ(got, "") << "text " << absent;
            }
        }
        // A sheet kept open, asked repeatedly, as the cache never does.
        CDataSheet sheet;
        if (sheet.Open(L"EN_TEXT.cbf"))
            for (int k = 0; k < 8; ++k)
                sheet.Find(TextId(k * 3));
        return intact;
    }

    std::vector<std::pair<int, std::string>> texts;
    std::vector<textc::Record> extra;
};

TEST_F(TextFuzz, IntactTablesReadCompletely)
{
    EXPECT_EQ(ReadAll(Build(true), true), 42);
    EXPECT_EQ(ReadAll(Build(false), true), 42);
}

TEST_F(TextFuzz, TruncationAtEveryLengthOfAPlainTable)
{
    // In the plain form a cut leaves the texts before it and loses the rest.
    const std::string good = Build(false);
    int previous = -1;
    for (size_t len = 0; len < good.size(); len += 3) {
        const int intact = ReadAll(good.substr(0, len), true);
        EXPECT_LT(intact, 42) << len;
        previous = intact;
    }
    EXPECT_GE(previous, 40) << "a cut near the end keeps the early records";
}

TEST_F(TextFuzz, TruncatedScrambledTablesGiveNothingWrong)
{
    const std::string good = Build(true);
    for (size_t len = 0; len < good.size(); len += 5)
        ReadAll(good.substr(0, len), false);
}

TEST_F(TextFuzz, RandomMutations)
{
    std::mt19937 rng(20240611);
    for (bool scrambled : {true, false}) {
        const std::string good = Build(scrambled);
        auto pick = [&rng](size_t n) { return static_cast<size_t>(rng() % n); };
        for (int round = 0; round < 2500; ++round) {
            std::string bad = good;
            switch (rng() % 7) {
            case 0: // byte flips anywhere
                for (int k = 1 + static_cast<int>(rng() % 8); k > 0; --k)
                    bad[pick(bad.size())] ^= static_cast<char>(1 + rng() % 255);
                break;
            case 1: // forged record count
                for (int k = 20; k < 24; ++k)
                    bad[static_cast<size_t>(k)] = static_cast<char>(rng());
                break;
            case 2: { // forged index offset of one entry
                const size_t e = 24 + pick(42) * 10 + 6;
                for (int k = 0; k < 4; ++k)
                    bad[e + static_cast<size_t>(k)] = static_cast<char>(rng() % 3 == 0 ? 0xFF : rng());
                break;
            }
            case 3: { // forged field count or length bytes inside the records
                const size_t from = 24 + 42 * 10;
                const size_t at = from + pick(bad.size() - from - 2);
                bad[at] = static_cast<char>(0xFF);
                bad[at + 1] = static_cast<char>(rng());
                break;
            }
            case 4: // forged descrambling table length
                bad[bad.size() - 2] = static_cast<char>(rng());
                bad[bad.size() - 1] = static_cast<char>(rng() % 3);
                break;
            case 5: // key length and version
                bad[12] = static_cast<char>(rng());
                if (rng() % 2)
                    bad[9] ^= 1;
                break;
            default: // truncation plus a flip
                bad.resize(pick(bad.size()));
                if (!bad.empty())
                    bad[pick(bad.size())] ^= static_cast<char>(rng());
                break;
            }
            ReadAll(bad, false);
            if (HasFatalFailure())
                return;
        }
    }
}

TEST_F(TextFuzz, PlainTableWithForgedLengthsNeverReadsPastTheEnd)
{
    // Every record's field length set to the largest value, one at a time: the
    // record lies past the end and reads as nothing, the others stay intact.
    const std::string good = Build(false);
    for (int entry = 0; entry < 42; ++entry) {
        std::string bad = good;
        const size_t e = 24 + static_cast<size_t>(entry) * 10 + 6;
        const size_t off = static_cast<uint8_t>(bad[e]) << 24 | static_cast<uint8_t>(bad[e + 1]) << 16 |
                           static_cast<uint8_t>(bad[e + 2]) << 8 | static_cast<uint8_t>(bad[e + 3]);
        ASSERT_LT(off + 3, bad.size());
        bad[off + 1] = static_cast<char>(0xFF);
        bad[off + 2] = static_cast<char>(0xF0);
        EXPECT_EQ(ReadAll(bad, true), 41) << entry;
    }
}

} // namespace
} // namespace kelvo::test
