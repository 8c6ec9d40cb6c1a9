#include "ui/core/PageKeys.h"

namespace kelvo {

int PageForKey(unsigned key, bool ctrl, bool shift, bool alt, int current)
{
    const unsigned kTab = 0x09;
    if (!ctrl || alt)
        return -1;
    const int from = current >= 0 && current < kPageCount ? current : 0;
    if (key == kTab)
        return shift ? (from + kPageCount - 1) % kPageCount : (from + 1) % kPageCount;
    if (!shift && key >= '1' && key < '1' + static_cast<unsigned>(kPageCount))
        return static_cast<int>(key - '1');
    return -1;
}

} // namespace kelvo
