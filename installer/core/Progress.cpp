#include "installer/core/Progress.h"

#include <cstdio>
#include <cstdlib>

namespace kelvo::install {

int EntryStep(long long entries) { return entries > 0 ? static_cast<int>(kUnpackShare / entries) : 0; }

void InstallProgress::Start()
{
    lower = 0;
    upper = kProgressEnd;
    position = 0;
}

void InstallProgress::Apply(int report, long long value)
{
    switch (report) {
    case kReportStep:
        step = static_cast<int>(value);
        break;
    case kReportEntry:
        position += step;
        break;
    case kReportPosition:
        position = static_cast<int>(value);
        break;
    case kReportUnpacked:
        stepByTimer = true;
        step = 1;
        break;
    default:
        break;
    }
}

bool InstallProgress::Tick()
{
    if (stepByTimer)
        position += step;
    ++ticks;
    if (ticks % 10 != 0)
        return false;
    frame = frame == 12 ? 0 : frame + 1;
    return true;
}

std::wstring PercentText(int position, int upper)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%.0f%%", upper ? position * 100.0 / upper : 0.0);
    return std::wstring(buf, buf + std::char_traits<char>::length(buf));
}

namespace {

int Channel(uint32_t c, int shift) { return static_cast<int>((c >> shift) & 0xFF); }

} // namespace

std::vector<Band> ProgressBands(int width, int position, int lower, int upper, uint32_t start, uint32_t end)
{
    const uint32_t white = 0xFFFFFF;
    if (width <= 0)
        return {};
    if (position <= lower || position > upper || upper <= 0)
        return {{0, width, white}};
    const int filled = static_cast<int>(static_cast<float>(position) / static_cast<float>(upper) * width);
    const int dr = Channel(end, 0) - Channel(start, 0);
    const int dg = Channel(end, 8) - Channel(start, 8);
    const int db = Channel(end, 16) - Channel(start, 16);
    int n = std::abs(dr);
    if (std::abs(dg) > n)
        n = std::abs(dg);
    if (std::abs(db) > n)
        n = std::abs(db);
    std::vector<Band> bands;
    if (n == 0) {
        // Nothing to blend.
        bands.push_back({0, filled, start});
        if (filled < width)
            bands.push_back({filled, width, white});
        return bands;
    }
    const float w = static_cast<float>(width) / static_cast<float>(n);
    for (int k = 0; k < n; ++k) {
        const int left = static_cast<int>(k * w);
        const int right = static_cast<int>((k + 1) * w);
        const int r = static_cast<int>(Channel(start, 0) + k * dr / static_cast<float>(n));
        const int g = static_cast<int>(Channel(start, 8) + k * dg / static_cast<float>(n));
        const int b = static_cast<int>(Channel(start, 16) + k * db / static_cast<float>(n));
        bands.push_back({left, right, static_cast<uint32_t>(r | (g << 8) | (b << 16))});
        if (right > filled) {
            if (right < width)
                bands.push_back({right, width, white});
            break;
        }
    }
    return bands;
}

} // namespace kelvo::install
