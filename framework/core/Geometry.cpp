#include "framework/core/Geometry.h"

namespace kelvo {

void PlaceInWorkArea(const Rect& work, int w, int h, int* x, int* y)
{
    int left = work.left + (work.right - work.left - w) / 2;
    int top = work.top + (work.bottom - work.top - h) / 2;
    // Left and bottom edges give way first, right and top last.
    if (left < work.left)
        left = work.left;
    if (left + w > work.right)
        left = work.right - w;
    if (top + h > work.bottom)
        top = work.bottom - h;
    if (top < work.top)
        top = work.top;
    *x = left;
    *y = top;
}

} // namespace kelvo
