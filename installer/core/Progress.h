#pragma once
// The copy page's progress, range 0..220 in two phases: the unpacking moves it
// one step per entry (90 / n, so at most 90), then it is set to 90; after the
// unpacking every 100 ms tick adds 1 until 220, so the closing animation lasts
// 13 s whatever the package. The members mirror the native progress bar's.
#include <cstdint>
#include <string>
#include <vector>

namespace kelvo::install {

// The worker's reports (WPARAM of the progress message).
enum ProgressReport : int {
    kReportStep = 1,     // LPARAM: the step of each entry
    kReportEntry = 2,    // one entry done
    kReportPosition = 3, // LPARAM: the position
    kReportUnpacked = 4, // unpacking over
};

constexpr int kUnpackShare = 90;
constexpr int kProgressEnd = 220;

// The step of one entry among n (0 for an empty or unreadable archive).
int EntryStep(long long entries);

struct InstallProgress {
    int lower = 0;
    int upper = 100;
    int step = 10;
    int position = 0;
    bool stepByTimer = false;
    int ticks = 0;
    int frame = 0;  // background picture 0..12

    void Start();
    // One report of the worker.
    void Apply(int report, long long value);
    // One 100 ms tick. Returns true when the background picture changes.
    bool Tick();
    bool Finished() const { return position >= kProgressEnd; }
};

// "41%": the position as a percentage of the upper bound.
std::wstring PercentText(int position, int upper);

// One band of the progress bar's gradient, or the white rest of the bar.
struct Band {
    int left;
    int right;
    uint32_t colour;  // 0x00BBGGRR
};

// The bands of a bar `width` pixels wide at `position` within lower..upper:
// the gradient from `start` to `end` spans the whole width and is revealed
// from the left; the last band is the white rest. An empty bar is one white
// band. A gradient of one colour is that colour up to the filled width.
std::vector<Band> ProgressBands(int width, int position, int lower, int upper, uint32_t start, uint32_t end);

} // namespace kelvo::install
