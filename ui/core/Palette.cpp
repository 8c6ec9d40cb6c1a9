#include "ui/core/Palette.h"

namespace kelvo {

namespace {

Colour Rgb(int r, int g, int b) { return static_cast<Colour>(r) | (static_cast<Colour>(g) << 8) | (static_cast<Colour>(b) << 16); }
int Red(Colour c) { return static_cast<int>(c & 0xFF); }
int Green(Colour c) { return static_cast<int>((c >> 8) & 0xFF); }
int Blue(Colour c) { return static_cast<int>((c >> 16) & 0xFF); }

// `from` moved a sixteenth of the way toward `to`: a stripe that is seen but
// does not compete with the words.
Colour Toward(Colour from, Colour to)
{
    auto mix = [](int b, int t) { return b + (t - b) / 16; };
    return Rgb(mix(Red(from), Red(to)), mix(Green(from), Green(to)), mix(Blue(from), Blue(to)));
}

Palette& Active()
{
    static Palette palette = SkinPalette(false, 0, 0, -1);
    return palette;
}

} // namespace

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

Palette SkinPalette(bool skinAttached, Colour skinBack, Colour skinText, int skinIndex)
{
    Palette p;
    p.skinned = skinAttached;
    p.background = skinAttached ? skinBack : SkinBackgroundColour(skinIndex);
    p.text = skinAttached ? skinText : 0;
    p.currentTabBack = p.background;
    if (skinAttached) {
        p.listStripe[0] = skinBack;
        p.listStripe[1] = Toward(skinBack, skinText);
        p.listText = skinText;
    }
    return p;
}

Palette SystemPalette(const SystemColours& sys)
{
    Palette p;
    p.system = true;
    // The pages are dialogs, which the system paints in the button face
    // colour: the window around them is the same surface.
    p.background = sys.buttonFace;
    p.text = sys.buttonText;
    // The page shown is marked the way the system marks a selection.
    p.currentTabText = sys.highlightText;
    p.currentTabBack = sys.highlight;
    p.titleText = sys.buttonText;
    p.listStripe[0] = p.listStripe[1] = sys.window;  // no stripes: one plain surface
    p.listText = sys.windowText;
    p.listGrayText = sys.grayText;
    for (int i = 0; i < 2; ++i) {
        p.barBack[i] = sys.window;
        p.barFill[i] = sys.highlight;
    }
    p.barFrame = sys.windowText;
    return p;
}

ContrastStep ContrastWatch::Report(bool on)
{
    if (on == m_on)
        return on ? ContrastStep::kRecolour : ContrastStep::kNothing;
    m_on = on;
    return on ? ContrastStep::kDetachSkin : ContrastStep::kAttachSkin;
}

const Palette& ActivePalette() { return Active(); }

void SetActivePalette(const Palette& palette) { Active() = palette; }

} // namespace kelvo
