#pragma once
// Window geometry that does not need the system: a rectangle laid out as a
// Win32 RECT, and where a top-level window goes on its monitor.
#include <cstdint>

namespace kelvo {

struct Rect {
    int32_t left, top, right, bottom;  // the layout of a Win32 RECT
};

// Where a top-level window of w x h goes: centred in the work area `work`
// (the monitor's, less its taskbar), then moved inside it. One larger than
// the area keeps its top-right corner on it, where its close and minimise
// buttons are. Returns the window's new top-left corner in *x, *y.
void PlaceInWorkArea(const Rect& work, int w, int h, int* x, int* y);

} // namespace kelvo
