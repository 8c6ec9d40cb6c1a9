#include "ui/win/Contrast.h"

#include <windows.h>

namespace kelvo {

namespace {
HighContrastQuery g_query = nullptr;
} // namespace

bool HighContrastOn()
{
    if (g_query)
        return g_query();
    HIGHCONTRASTW hc{};
    hc.cbSize = sizeof hc;
    return ::SystemParametersInfoW(SPI_GETHIGHCONTRAST, sizeof hc, &hc, 0) && (hc.dwFlags & HCF_HIGHCONTRASTON);
}

void SetHighContrastQuery(HighContrastQuery query) { g_query = query; }

SystemColours CurrentSystemColours()
{
    SystemColours s;
    s.window = ::GetSysColor(COLOR_WINDOW);
    s.windowText = ::GetSysColor(COLOR_WINDOWTEXT);
    s.highlight = ::GetSysColor(COLOR_HIGHLIGHT);
    s.highlightText = ::GetSysColor(COLOR_HIGHLIGHTTEXT);
    s.buttonFace = ::GetSysColor(COLOR_BTNFACE);
    s.buttonText = ::GetSysColor(COLOR_BTNTEXT);
    s.grayText = ::GetSysColor(COLOR_GRAYTEXT);
    return s;
}

} // namespace kelvo
