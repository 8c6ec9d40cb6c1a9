// Benchmark, not a test: line breaking and page layout of 1 MB of report
// text, with made-up font metrics.
//   bench_report_wrap [megabytes]
#include "report/core/PageLayout.h"
#include "report/core/TextWrap.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {
class Measure : public kelvo::report::ITextMeasure {
public:
    int CharWidth(const char* bytes, size_t) override { return 20 + (static_cast<uint8_t>(bytes[0]) % 17); }
    bool IsLeadByte(uint8_t) override { return false; }
};
} // namespace

int main(int argc, char** argv)
{
    const size_t bytes = (argc > 1 ? static_cast<size_t>(std::atoi(argv[1])) : 1) * 1048576;
    std::string text;
    for (int i = 0; text.size() < bytes; ++i) {
        text += "Freeze frame " + std::to_string(i) + ": engine load 41 %, coolant 90 \xB0" "C, fuel trim bank 1 -3.1 %, ";
        if (i % 3 == 0)
            text += "\r\n";
    }
    const auto layout = kelvo::report::PageLayout::Compute(2479, 3508, 300, {64, 2, 30}, {56, 2, 25}, {48, 0, 22});
    const auto start = std::chrono::steady_clock::now();
    Measure measure;
    const auto lines = kelvo::report::WrapBytes(text, layout.BodyWidth(), measure);
    int pages = 0;
    for (int32_t first = 0, n = static_cast<int32_t>(lines.size()); first < n || pages == 0; ++pages)
        first += std::max(1, layout.LinesOnPage(first, n));
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%zu bytes: %zu lines, %d pages in %.1f ms\n", text.size(), lines.size(), pages, ms);
    return 0;
}
