// Benchmark (not a test): the portable search over the shipped code file. A
// full miss ("P9FFF") walks the whole P group; a hit stops early. The word
// search is typed key by key ("o", "ox", ... "oxygen heater bank 2"), each
// keystroke a search over the whole list: median and worst. Natively and,
// built with MinGW, under Wine.
//   bench_dtc_search [CODEFILE [ROUNDS [ABBREVIATIONS]]]
#include "dtc/core/DtcTable.h"
#include "dtc/core/DtcWords.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <vector>

namespace {

double MedianUs(const CDtcTable& t, const std::wstring& typed, int rounds)
{
    std::vector<double> us;
    us.reserve(static_cast<size_t>(rounds));
    size_t sink = 0;
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = std::chrono::steady_clock::now();
        const kelvo::DtcSearch s = kelvo::SearchDtc(t, typed);
        const auto t1 = std::chrono::steady_clock::now();
        sink += s.code.size();
        us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }
    std::sort(us.begin(), us.end());
    if (sink == 0)
        std::printf(" ");
    return us[us.size() / 2];
}

// Every prefix of `typed` searched in turn, `rounds` times: each keystroke's time.
void Keystrokes(const kelvo::DtcWordIndex& index, const std::wstring& typed, int rounds)
{
    std::vector<double> us;
    size_t hits = 0;
    for (int r = 0; r < rounds; ++r) {
        for (size_t n = 1; n <= typed.size(); ++n) {
            const auto t0 = std::chrono::steady_clock::now();
            const std::vector<int32_t> rows = index.Search(typed.substr(0, n));
            const auto t1 = std::chrono::steady_clock::now();
            hits = rows.size();
            us.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
        }
    }
    std::sort(us.begin(), us.end());
    std::printf("words \"%ls\" key by key: median %.1f us, worst %.1f us over %u keystrokes (target < 10000 us); "
                "%u rows at the end\n",
                typed.c_str(), us[us.size() / 2], us.back(), unsigned(us.size()), unsigned(hits));
}

} // namespace

int main(int argc, char** argv)
{
    std::string path = argc > 1 ? argv[1] : KELVO_DEFAULT_CODE_FILE;
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20000;
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        std::fprintf(stderr, "%s: cannot be read\n", path.c_str());
        return 1;
    }
    std::ostringstream bytes;
    bytes << f.rdbuf();
    CDtcTable t;
    t.LoadBytes(bytes.str());
    std::printf("%s: %d entries (P group %d..%d)\n", path.c_str(), t.m_entryCount, t.m_groupStartP, t.m_groupStartC);

    const double miss = MedianUs(t, L"P9FFF", rounds);
    std::printf("full miss \"P9FFF\": median %.2f us (target < 50 us)\n", miss);
    std::printf("prefix \"P01\":      median %.2f us\n", MedianUs(t, L"P01", rounds));
    std::printf("full code \"U0100\": median %.2f us\n", MedianUs(t, L"U0100", rounds));

    const std::string abbreviations = argc > 3 ? argv[3] : KELVO_DEFAULT_ABBREVIATIONS;
    std::ifstream a(abbreviations, std::ios::binary);
    std::ostringstream table;
    table << a.rdbuf();
    kelvo::DtcWordIndex index;
    std::printf("%s: %d abbreviations\n", abbreviations.c_str(), index.LoadAbbreviations(table.str()));
    const auto b0 = std::chrono::steady_clock::now();
    index.Build(t);
    const auto b1 = std::chrono::steady_clock::now();
    std::printf("word index of the whole list built in %.1f ms\n",
                std::chrono::duration<double, std::milli>(b1 - b0).count());
    const int keyRounds = std::max(1, rounds / 200);
    Keystrokes(index, L"oxygen heater bank 2", keyRounds);
    Keystrokes(index, L"circuit", keyRounds);
    Keystrokes(index, L"mass air flow", keyRounds);
    return 0;
}
