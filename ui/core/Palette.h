#pragma once
// The colours Kelvo paints with itself (the main window, the tab captions,
// the gallery, the radio lists, the progress bars), chosen in one place: the
// attached skin's, or, while the system's high-contrast mode is on, the
// system's own colours, with no skin attached at all.
#include <cstdint>

namespace kelvo {

using Colour = uint32_t;  // 0x00BBGGRR, the layout of a COLORREF
constexpr Colour kNoColour = 0xFFFFFFFFu;

// The system colours a high-contrast palette is made of (GetSysColor).
struct SystemColours {
    Colour window = 0xFFFFFF;         // COLOR_WINDOW
    Colour windowText = 0;            // COLOR_WINDOWTEXT
    Colour highlight = 0xD77800;      // COLOR_HIGHLIGHT
    Colour highlightText = 0xFFFFFF;  // COLOR_HIGHLIGHTTEXT
    Colour buttonFace = 0xF0F0F0;     // COLOR_BTNFACE
    Colour buttonText = 0;            // COLOR_BTNTEXT
    Colour grayText = 0x6D6D6D;       // COLOR_GRAYTEXT
};

struct Palette {
    bool system = false;   // high contrast: every colour below is the system's
    bool skinned = false;  // the colours are an attached skin's
    Colour background = 0xFFFFFF;  // the main window, behind the pages and the gallery
    Colour text = 0;               // tab captions, status row, the gallery's model name
    Colour currentTabText = 0xE5A33A;  // caption of the page shown
    Colour currentTabBack = 0xFFFFFF;
    Colour titleText = 0xFFFFFF;   // program name and version on the banner
    Colour listStripe[2] = {0xFFFFFF, 0xF0F0F0};  // radio lists: even and odd rows
    Colour listText = 0;
    Colour listGrayText = 0x808080;  // an entry that cannot be chosen
    // Progress bars of the update list: [0] downloading, [1] writing into the tool.
    Colour barBack[2] = {0x36AEF4, 0x0000FF};
    Colour barFill[2] = {0x0000FF, 0x38D535};
    Colour barFrame = kNoColour;  // drawn around a bar when not kNoColour
};

// Window background colour of a skin index (without the skin library).
uint32_t SkinBackgroundColour(int skinIndex);

// The palette of a skin: an attached skin's dialog and text colours, or
// without one (no library, no skin file) the window colour of the skin index
// with black words.
Palette SkinPalette(bool skinAttached, Colour skinBack, Colour skinText, int skinIndex);
// The palette while high contrast is on.
Palette SystemPalette(const SystemColours& sys);

// Whether a skin may be attached: never while high contrast is on.
inline bool SkinAllowed(bool highContrast) { return !highContrast; }

// What the main window does when the system reports the high-contrast state
// (at start, and at each settings or colour change).
enum class ContrastStep {
    kNothing,     // unchanged
    kRecolour,    // still on: the system colours may have changed (another theme)
    kDetachSkin,  // turned on: take the skin off, paint with the system's colours
    kAttachSkin,  // turned off: the user's skin comes back
};
class ContrastWatch {
public:
    bool On() const { return m_on; }
    ContrastStep Report(bool on);

private:
    bool m_on = false;
};

// The palette the controls paint with now (the user-interface thread's).
const Palette& ActivePalette();
void SetActivePalette(const Palette& palette);

} // namespace kelvo
