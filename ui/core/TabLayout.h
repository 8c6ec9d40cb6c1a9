#pragma once
// The main window's tabs: their rectangles and their captions.
#include "framework/core/Geometry.h"

#include <string>

namespace kelvo {

// The five tab rectangles for a client width of cx, on a screen of `dpi`
// (margins, gaps and heights grow with it; 96 when not given).
void TabRects(int cx, int dpi, Rect out[5]);
inline void TabRects(int cx, Rect out[5]) { TabRects(cx, 96, out); }
template <class R>
void TabRects(int cx, int dpi, R out[5])
{
    static_assert(sizeof(R) == sizeof(Rect), "RECT layout");
    TabRects(cx, dpi, reinterpret_cast<Rect*>(out));
}
template <class R>
void TabRects(int cx, R out[5])
{
    TabRects(cx, 96, out);
}

// A caption of text width `textWidth` too wide for a tab of width `tabWidth`
// becomes ceil(textWidth / tabWidth) lines of equal character count joined by
// CR LF, the last line taking the rest. Fits: returned unchanged.
std::wstring SplitCaption(const std::wstring& caption, int textWidth, int tabWidth);

} // namespace kelvo
