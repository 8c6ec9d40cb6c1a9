#include "ui/core/PageKeys.h"

namespace kelvo {

int PageForKey(unsigned key, bool ctrl, bool shift, bool alt, int current)
{
    const int kPages = 5;
    const unsigned kTab = 0x09;
    if (!ctrl || alt)
        return -1;
    const int from = current >= 0 && current < kPages ? current : 0;
    if (key == kTab)
        return shift ? (from + kPages - 1) % kPages : (from + 1) % kPages;
    if (!shift && key >= '1' && key < '1' + static_cast<unsigned>(kPages))
        return static_cast<int>(key - '1');
    return -1;
}

} // namespace kelvo
