// Report printing's portable core: the hand-off of chunks between the reader
// and the page, the report bytes as text, line breaking and page layout with
// made-up font metrics, and the page loop against a failing printer.
#include "report/core/PageLayout.h"
#include "report/core/ReportHandoff.h"
#include "report/core/TextWrap.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

using namespace kelvo::report;

TEST(ReportHandoff, AMillionChunksFromAnotherThreadArriveEachOnceInOrder)
{
    ChunkQueue queue;
    const uint32_t id = queue.Begin();
    const int kChunks = 1000000;
    std::mutex m;
    std::condition_variable cv;
    int wakes = 0;
    bool done = false;
    std::thread producer([&] {
        for (int i = 0; i < kChunks; ++i) {
            bool wake = false;
            // EXPECT, not ASSERT: a failure here must still let the consumer finish.
            EXPECT_TRUE(queue.Push(id, std::to_wstring(i) + L";", &wake));
            if (wake) {
                std::lock_guard<std::mutex> lock(m);
                ++wakes;
                cv.notify_one();
            }
        }
        std::lock_guard<std::mutex> lock(m);
        done = true;
        cv.notify_one();
    });
    // The page takes only when woken, as it does on its message.
    int next = 0;
    int messages = 0;
    for (;;) {
        bool finished;
        {
            std::unique_lock<std::mutex> lock(m);
            cv.wait(lock, [&] { return wakes > messages || done; });
            finished = done && wakes == messages;
            if (wakes > messages)
                ++messages;
        }
        const std::wstring text = queue.TakeAll();
        size_t at = 0;
        while (at < text.size()) {
            const size_t semi = text.find(L';', at);
            ASSERT_NE(semi, std::wstring::npos);
            ASSERT_EQ(std::stoi(text.substr(at, semi - at)), next) << "each chunk once, in order";
            ++next;
            at = semi + 1;
        }
        if (finished)
            break;
    }
    producer.join();
    EXPECT_EQ(next, kChunks);
    EXPECT_LT(messages, kChunks) << "one wake-up carries every chunk that waits";
}

TEST(ReportHandoff, ChunksOfAnEndedCaptureAreDropped)
{
    ChunkQueue queue;
    bool wake = false;
    const uint32_t first = queue.Begin();
    EXPECT_TRUE(queue.Push(first, L"read just before the stop", &wake));
    queue.End();
    EXPECT_FALSE(queue.Push(first, L"read after it", &wake));
    EXPECT_EQ(queue.TakeAll(), L"");
    const uint32_t second = queue.Begin();
    EXPECT_FALSE(queue.Push(first, L"late chunk of the old reader", &wake));
    EXPECT_TRUE(queue.Push(second, L"new", &wake));
    EXPECT_TRUE(wake);
    EXPECT_EQ(queue.TakeAll(), L"new");
}

TEST(ReportHandoff, AWakeUpThatWasLostIsTriedAgain)
{
    ChunkQueue queue;
    const uint32_t id = queue.Begin();
    bool wake = false;
    queue.Push(id, L"a", &wake);
    EXPECT_TRUE(wake);
    queue.Push(id, L"b", &wake);
    EXPECT_FALSE(wake) << "one wake-up at a time";
    queue.WakeLost();
    EXPECT_TRUE(queue.NeedsWake()) << "the reader tries again while the tool is quiet";
    EXPECT_FALSE(queue.NeedsWake());
    queue.WakeLost();
    queue.Push(id, L"c", &wake);
    EXPECT_TRUE(wake);
    EXPECT_EQ(queue.TakeAll(), L"abc");
    EXPECT_FALSE(queue.NeedsWake()) << "nothing waits";
}

TEST(ReportText, OnlyZeroBytesAreLeftOutHowEverTheReadsSplitTheStream)
{
    std::vector<uint8_t> stream;
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 256; ++b)
            stream.push_back(static_cast<uint8_t>(b));
    std::wstring want;
    for (int i = 0; i < 3; ++i)
        for (int b = 1; b < 256; ++b)
            want.push_back(static_cast<wchar_t>(b));
    for (size_t piece : {size_t{1}, size_t{7}, size_t{256}, size_t{2048}}) {
        std::wstring got;
        for (size_t at = 0; at < stream.size(); at += piece)
            got += BytesToText(stream.data() + at, std::min(piece, stream.size() - at));
        EXPECT_EQ(got, want) << "pieces of " << piece;
    }
}

namespace {

// Every character 10 wide, 'W' 30; lead bytes as the caller says.
class FixedMeasure : public ITextMeasure {
public:
    explicit FixedMeasure(bool dbcs = false) : m_dbcs(dbcs) {}
    int CharWidth(const char* bytes, size_t n) override
    {
        ++calls;
        return n == 2 ? 20 : (bytes[0] == 'W' ? 30 : 10);
    }
    bool IsLeadByte(uint8_t b) override { return m_dbcs && b >= 0x81; }
    int calls = 0;

private:
    bool m_dbcs;
};

std::vector<std::string> Wrap(const std::string& text, int width, bool dbcs = false)
{
    FixedMeasure m(dbcs);
    std::vector<std::string> out;
    for (const LineSpan& l : WrapBytes(text, width, m))
        out.push_back(text.substr(l.start, l.length));
    return out;
}

typedef std::vector<std::string> Lines;

} // namespace

TEST(ReportWrap, WordsBreakAfterTheLastSpaceOrCommaThatFits)
{
    // 100 wide: nine characters of 10 fit (90 + 10 is not less than 100).
    EXPECT_EQ(Wrap("one two three four", 100), (Lines{"one two ", "three ", "four"}));
    EXPECT_EQ(Wrap("alpha,beta,gamma", 100), (Lines{"alpha,", "beta,", "gamma"}));
    EXPECT_EQ(Wrap("abcdefghijklmnop", 100), (Lines{"abcdefghi", "jklmnop"}));
    EXPECT_EQ(Wrap("W", 20), (Lines{"W"})) << "a character wider than the line stands alone";
    EXPECT_EQ(Wrap("WWW", 20), (Lines{"W", "W", "W"}));
    EXPECT_EQ(Wrap(" abcdefghijk", 100), (Lines{" abcdefgh", "ijk"})) << "a space at the line start is no break";
}

TEST(ReportWrap, LineEndsOfEveryKindAndEmptyLines)
{
    EXPECT_EQ(Wrap("\r\nab\r\n\r\ncd\r\n", 100), (Lines{"ab", "", "cd"}));
    EXPECT_EQ(Wrap("\nab\ncd\ref", 100), (Lines{"ab", "cd", "ef"}));
    EXPECT_EQ(Wrap("\r\n", 100), Lines{}) << "one line break only: no body line";
    EXPECT_EQ(Wrap("", 100), Lines{});
    EXPECT_EQ(Wrap("abc", 100), (Lines{"abc"}));
}

TEST(ReportWrap, BytesAbove0x80AreTwoByteLeadsOnlyWhereTheCodePageSaysSo)
{
    // 0xB0 is the degree sign of a single-byte code page: it must not take the CR with it.
    EXPECT_EQ(Wrap("90\xB0\r\nnext", 100), (Lines{"90\xB0", "next"}));
    EXPECT_EQ(Wrap("\xE9t\xE9\nsuite", 100), (Lines{"\xE9t\xE9", "suite"}));
    // In a double-byte code page the pair is one character (20 wide), and a
    // lead byte at the very end counts alone.
    EXPECT_EQ(Wrap("\x82\xA0\x82\xA0\x82\xA0\x82\xA0\x82\xA0", 100, true),
              (Lines{"\x82\xA0\x82\xA0\x82\xA0\x82\xA0", "\x82\xA0"}));
    EXPECT_EQ(Wrap("ab\x82", 100, true), (Lines{"ab\x82"}));
}

namespace {

FontMetrics Metrics(int height, int leading, int ave) { return FontMetrics{height, leading, ave}; }

// Records the calls of one print job; fails the call named in `failAt`.
class RecordingSink : public IPageSink {
public:
    RecordingSink(const PageLayout& layout, int lineCount) : m_layout(layout), m_lineCount(lineCount) {}
    bool StartDoc() override { return Call("StartDoc"); }
    bool StartPage() override { return Call("StartPage"); }
    bool EndPage() override { return Call("EndPage"); }
    bool EndDoc() override { return Call("EndDoc"); }
    void AbortDoc() override { Call("AbortDoc"); }
    void DrawTitle() override { log += "title "; }
    int DrawBody(int first) override
    {
        const int n = m_layout.LinesOnPage(first, m_lineCount);
        log += "body" + std::to_string(n) + " ";
        return n;
    }
    void DrawFooter(int page) override { log += "footer" + std::to_string(page) + " "; }

    std::map<std::string, int> failAt;  // call -> its n-th occurrence fails (1-based)
    std::string log;

private:
    bool Call(const std::string& what)
    {
        const int n = ++m_count[what];
        log += what + " ";
        auto f = failAt.find(what);
        return !(f != failAt.end() && f->second == n);
    }
    PageLayout m_layout;
    int m_lineCount;
    std::map<std::string, int> m_count;
};

// A 300 dpi A4 page; the font metrics are made up.
PageLayout A4()
{
    return PageLayout::Compute(2479, 3508, 300, Metrics(64, 0, 30), Metrics(56, 2, 25), Metrics(48, 0, 22));
}

} // namespace

TEST(ReportLayout, ThreeHundredDpiPage)
{
    const PageLayout l = A4();
    EXPECT_EQ(l.scale, 4);
    EXPECT_EQ(l.margin, 100);
    EXPECT_EQ(l.lineGap, 8);
    EXPECT_EQ(PageLayout::TitleFontHeight(l.scale), 64);
    EXPECT_EQ(PageLayout::BodyFontHeight(l.scale), 56);
    EXPECT_EQ(PageLayout::SmallFontHeight(l.scale), 48);
    EXPECT_EQ(l.header, (Rect{0, 0, 2479, 3 * 64 + 260}));
    EXPECT_EQ(l.body, (Rect{100, 3 * 64 + 260, 2379, 3508 - 3 * 48 - 58}));
    EXPECT_EQ(l.footer, (Rect{0, 3508 - 3 * 48, 2479, 3508}));
    EXPECT_EQ(l.BodyWidth(), 2279);
    EXPECT_EQ(l.TitleLeft(5), (2479 - 30 * 5) / 2);
    EXPECT_EQ(l.PageTextLeft(5), 2479 - 22 * 5 - 100);
    EXPECT_EQ(PageText(3), L"- 3 -");
    EXPECT_EQ(TimeText(2020, 3, 7, 9, 5, 0), L"2020-03-07 09:05:00");
    EXPECT_EQ(TimeText(2026, 12, 31, 23, 59, 59), L"2026-12-31 23:59:59");
}

TEST(ReportLayout, ATextThatFillsAPagePrintsOnePageOneLineMoreTwo)
{
    const PageLayout l = A4();
    const int full = l.LinesOnPage(0, 100000);
    ASSERT_GT(full, 1);
    // The last line of a full page still ends inside the body.
    EXPECT_LE(l.BodyLineTop(full - 1) + l.bodyLineHeight, l.body.bottom);
    EXPECT_GT(l.BodyLineTop(full) + l.bodyLineHeight, l.body.bottom);

    RecordingSink one(l, full);
    EXPECT_TRUE(PrintPages(one, full));
    EXPECT_EQ(one.log, "StartDoc StartPage title body" + std::to_string(full) + " footer1 EndPage EndDoc ");

    RecordingSink two(l, full + 1);
    EXPECT_TRUE(PrintPages(two, full + 1));
    EXPECT_EQ(two.log, "StartDoc StartPage title body" + std::to_string(full) +
                           " footer1 EndPage StartPage title body1 footer2 EndPage EndDoc ");

    RecordingSink none(l, 0);
    EXPECT_TRUE(PrintPages(none, 0));
    EXPECT_EQ(none.log, "StartDoc StartPage title body0 footer1 EndPage EndDoc ") << "title and footer, no body line";
}

TEST(ReportLayout, AJobThatCannotBeFinishedIsAbortedNeverLeftOpen)
{
    const PageLayout l = A4();
    const int lines = 3 * l.LinesOnPage(0, 100000);
    struct Case {
        const char* call;
        int nth;
        const char* ending;
    } cases[] = {
        {"EndPage", 1, "footer1 EndPage AbortDoc "},
        {"EndPage", 2, "footer2 EndPage AbortDoc "},
        {"StartPage", 2, "EndPage StartPage AbortDoc "},
        {"StartPage", 1, "StartDoc StartPage AbortDoc "},
        {"EndDoc", 1, "EndPage EndDoc AbortDoc "},
    };
    for (const Case& c : cases) {
        RecordingSink sink(l, lines);
        sink.failAt[c.call] = c.nth;
        EXPECT_FALSE(PrintPages(sink, lines)) << c.call << " " << c.nth;
        const std::string ending = c.ending;
        ASSERT_GE(sink.log.size(), ending.size());
        EXPECT_EQ(sink.log.substr(sink.log.size() - ending.size()), ending) << sink.log;
    }
    RecordingSink noDoc(l, lines);
    noDoc.failAt["StartDoc"] = 1;
    EXPECT_FALSE(PrintPages(noDoc, lines));
    EXPECT_EQ(noDoc.log, "StartDoc ") << "nothing started, nothing to abort";
}
