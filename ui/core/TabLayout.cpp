#include "ui/core/TabLayout.h"

namespace kelvo {

void TabRects(int cx, Rect out[5])
{
    const int d = (cx - 100) / 5;
    for (int i = 0; i < 5; ++i) {
        out[i].left = 20 + i * (d + 15);
        out[i].right = out[i].left + d;
        out[i].top = 65;
        out[i].bottom = 217;
    }
}

std::wstring SplitCaption(const std::wstring& caption, int textWidth, int tabWidth)
{
    if (textWidth <= tabWidth || tabWidth <= 0)
        return caption;
    const int lines = (textWidth + tabWidth - 1) / tabWidth;
    const size_t per = caption.size() / static_cast<size_t>(lines);
    std::wstring out;
    for (int k = 0; k < lines - 1; ++k) {
        out += caption.substr(static_cast<size_t>(k) * per, per);
        out += L"\r\n";
    }
    out += caption.substr(static_cast<size_t>(lines - 1) * per);
    return out;
}

uint32_t SkinBackgroundColour(int skinIndex)
{
    switch (skinIndex) {
    case 0: return 0xF4F4F4;
    case 1: return 0xE3DFDB;
    case 3: return 0xFEFDFB;
    case 4: return 0xEFEFEF;
    case 5: return 0xBBBBBB;
    case 6: return 0xCBDEE8;
    case 7: return 0x62A8DE;
    default: return 0xB6B6B6;  // skin 2 and anything unknown
    }
}

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
