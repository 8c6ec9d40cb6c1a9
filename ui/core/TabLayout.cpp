#include "ui/core/TabLayout.h"

#include "framework/core/DpiScale.h"

namespace kelvo {

void TabRects(int cx, int dpi, Rect out[5])
{
    const auto s = [dpi](int px) { return ScaleForDpi(px, dpi); };
    const int d = (cx - s(100)) / 5;
    for (int i = 0; i < 5; ++i) {
        out[i].left = s(20) + i * (d + s(15));
        out[i].right = out[i].left + d;
        out[i].top = s(65);
        out[i].bottom = s(217);
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

} // namespace kelvo
