#include "framework/core/DpiScale.h"

namespace kelvo {

const int kArtScales[kArtScaleCount] = {100, 125, 150, 200, 250};

namespace {
int MulDivRound(int value, int num, int den)
{
    const long long p = static_cast<long long>(value) * num;
    const long long q = p >= 0 ? (p + den / 2) / den : -((-p + den / 2) / den);
    return static_cast<int>(q);
}
} // namespace

int ScaleForDpi(int px, int dpi)
{
    if (dpi <= 0 || dpi == kBaseDpi)
        return px;
    return MulDivRound(px, dpi, kBaseDpi);
}

int UnscaleForDpi(int px, int dpi)
{
    if (dpi <= 0 || dpi == kBaseDpi)
        return px;
    return MulDivRound(px, kBaseDpi, dpi);
}

int ArtScaleIndex(int dpi)
{
    if (dpi <= 0)
        return 0;
    for (int i = 0; i < kArtScaleCount; ++i)
        if (kArtScales[i] * kBaseDpi >= dpi * 100)
            return i;
    return kArtScaleCount - 1;
}

} // namespace kelvo
