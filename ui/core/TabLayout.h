#pragma once
// Geometry and colours of the main window that do not need the system.
#include <cstdint>
#include <string>

namespace kelvo {

struct Rect {
    int32_t left, top, right, bottom;  // the layout of a Win32 RECT
};

// The five tab rectangles for a client width of cx.
void TabRects(int cx, Rect out[5]);
template <class R>
void TabRects(int cx, R out[5])
{
    static_assert(sizeof(R) == sizeof(Rect), "RECT layout");
    TabRects(cx, reinterpret_cast<Rect*>(out));
}

// A caption of text width `textWidth` too wide for a tab of width `tabWidth`
// becomes ceil(textWidth / tabWidth) lines of equal character count joined by
// CR LF, the last line taking the rest. Fits: returned unchanged.
std::wstring SplitCaption(const std::wstring& caption, int textWidth, int tabWidth);

// Window background colour (COLORREF, 0x00BBGGRR) of a skin index.
uint32_t SkinBackgroundColour(int skinIndex);

// Keys that move between the pages, as in any tabbed program: Ctrl+Tab the
// next page, Ctrl+Shift+Tab the previous one (both wrap round), Ctrl+1 ...
// Ctrl+5 that page. `key` is the virtual-key code; `current` -1 stands for
// page 0, which shows at start. Returns the page to show, or -1 when the key
// is not one of them (Alt held: Ctrl+Alt is AltGr, which types characters).
int PageForKey(unsigned key, bool ctrl, bool shift, bool alt, int current);

// Where a top-level window of w x h goes: centred in the work area `work`
// (the monitor's, less its taskbar), then moved inside it. One larger than
// the area keeps its top-right corner on it, where its close and minimise
// buttons are. Returns the window's new top-left corner in *x, *y.
void PlaceInWorkArea(const Rect& work, int w, int h, int* x, int* y);

} // namespace kelvo
