// The colours Kelvo paints with: a skin's, or the system's under high contrast.
#include "ui/core/Palette.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>

using kelvo::ContrastStep;
using kelvo::Palette;

namespace {

// A high-contrast theme where every colour differs, so that a colour taken
// from the wrong system colour shows.
kelvo::SystemColours Theme()
{
    kelvo::SystemColours s;
    s.window = 0x000001;
    s.windowText = 0x00FF02;
    s.highlight = 0xFF0003;
    s.highlightText = 0x000004;
    s.buttonFace = 0x000005;
    s.buttonText = 0xFFFF06;
    s.grayText = 0x00FF07;
    return s;
}

} // namespace

TEST(Palette, AnAttachedSkinGivesItsColoursToTheWindowTheListsAndTheGallery)
{
    const kelvo::Colour back = 0x221F1E, text = 0xF0F0F0;  // the Black skin
    const Palette p = kelvo::SkinPalette(true, back, text, 0);
    EXPECT_FALSE(p.system);
    EXPECT_TRUE(p.skinned);
    EXPECT_EQ(p.background, back);
    EXPECT_EQ(p.text, text);
    EXPECT_EQ(p.listStripe[0], back);
    EXPECT_EQ(p.listText, text);
    // The odd stripe lies between the two, nearer the background.
    EXPECT_NE(p.listStripe[1], back);
    for (int shift : {0, 8, 16}) {
        const int b = (back >> shift) & 0xFF, t = (text >> shift) & 0xFF, s = (p.listStripe[1] >> shift) & 0xFF;
        EXPECT_GE(s, b);
        EXPECT_LT(s - b, (t - b) / 8);
    }
}

TEST(Palette, WithoutASkinTheTableColourAndTheListsOwnStripes)
{
    const Palette p = kelvo::SkinPalette(false, 0x123456, 0x654321, 6);
    EXPECT_FALSE(p.skinned);
    EXPECT_EQ(p.background, kelvo::SkinBackgroundColour(6));
    EXPECT_EQ(p.text, 0u);
    EXPECT_EQ(p.listStripe[0], 0xFFFFFFu);
    EXPECT_EQ(p.listStripe[1], 0xF0F0F0u);
    EXPECT_EQ(p.listText, 0u);
    EXPECT_EQ(p.currentTabText, 0xE5A33Au) << "the page shown keeps its orange caption";
    EXPECT_EQ(p.barFrame, kelvo::kNoColour);
}

TEST(Palette, HighContrastTakesEveryColourFromTheSystem)
{
    const kelvo::SystemColours s = Theme();
    const Palette p = kelvo::SystemPalette(s);
    EXPECT_TRUE(p.system);
    EXPECT_FALSE(p.skinned);
    EXPECT_EQ(p.background, s.buttonFace) << "one surface with the pages, which are dialogs";
    EXPECT_NE(p.currentTabText, p.currentTabBack) << "the page shown stands out";
    EXPECT_EQ(p.listStripe[0], p.listStripe[1]) << "no stripes of our own";
    EXPECT_EQ(p.barFrame, s.windowText) << "a bar on the window colour needs its outline";

    // Every colour painted is one of the theme's.
    const kelvo::Colour all[] = {p.background, p.text, p.currentTabText, p.currentTabBack, p.titleText,
                                 p.listStripe[0], p.listStripe[1], p.listText, p.listGrayText,
                                 p.barBack[0], p.barBack[1], p.barFill[0], p.barFill[1], p.barFrame};
    const kelvo::Colour theme[] = {s.window, s.windowText, s.highlight, s.highlightText, s.buttonFace,
                                   s.buttonText, s.grayText};
    for (kelvo::Colour c : all)
        EXPECT_NE(std::find(std::begin(theme), std::end(theme), c), std::end(theme)) << std::hex << c;
}

TEST(Palette, TheSkinGoesWhenHighContrastComesAndReturnsWhenItGoes)
{
    kelvo::ContrastWatch watch;
    EXPECT_FALSE(watch.On());
    EXPECT_TRUE(kelvo::SkinAllowed(watch.On()));
    EXPECT_EQ(watch.Report(false), ContrastStep::kNothing) << "a start without high contrast changes nothing";
    EXPECT_EQ(watch.Report(true), ContrastStep::kDetachSkin);
    EXPECT_TRUE(watch.On());
    EXPECT_FALSE(kelvo::SkinAllowed(watch.On()));
    EXPECT_EQ(watch.Report(true), ContrastStep::kRecolour) << "another high-contrast theme: new system colours";
    EXPECT_EQ(watch.Report(false), ContrastStep::kAttachSkin);
    EXPECT_EQ(watch.Report(false), ContrastStep::kNothing);
    EXPECT_TRUE(kelvo::SkinAllowed(watch.On()));
}
