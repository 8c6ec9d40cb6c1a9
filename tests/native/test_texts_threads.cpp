// The text cache between threads: the update worker formats its status texts
// while the user-interface thread paints, so both fetch, fill and evict the
// cache at once. Built a second time with ThreadSanitizer (test_texts_tsan).
#include "test_texts_support.h"

#include <atomic>
#include <thread>

namespace kelvo::test {
namespace {

class TextCacheThreads : public TextTableTest {};

TEST_F(TextCacheThreads, TwoThreadsFetchingMoreTextsThanTheCacheHoldsEachGetTheirOwn)
{
    // Twice as many texts as the cache keeps: every round evicts.
    constexpr int kTexts = 42;
    std::vector<std::pair<int, std::string>> texts;
    for (int n = 0; n < kTexts; ++n)
        texts.push_back({200 + n, "text number " + std::to_string(200 + n)});
    WriteTexts("EN_TEXT.cbf", texts);

    std::atomic<int> wrong{0};
    auto fetchAll = [&](int first) {
        for (int round = 0; round < 40; ++round)
            for (int i = 0; i < kTexts; ++i) {
                const int n = 200 + (first + i) % kTexts;
                if (GetText(n) != L"text number " + std::to_wstring(n))
                    ++wrong;
            }
    };
    std::thread worker(fetchAll, kTexts / 2);
    fetchAll(0);
    worker.join();
    EXPECT_EQ(wrong.load(), 0);
}

} // namespace
} // namespace kelvo::test
