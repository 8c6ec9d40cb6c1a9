#include "framework/core/Geometry.h"
#include "ui/core/PageKeys.h"
#include "ui/core/Palette.h"
#include "ui/core/TabLayout.h"
#include "framework/core/DpiScale.h"

#include <gtest/gtest.h>

using kelvo::Rect;

TEST(TabLayout, FiveTabsFifteenPixelsApartAcrossTheWindow)
{
    Rect r[5];
    kelvo::TabRects(1011, r);  // d = 182
    EXPECT_EQ(r[0].left, 20);
    EXPECT_EQ(r[0].right, 202);
    EXPECT_EQ(r[4].left, 4 * 182 + 80);
    EXPECT_EQ(r[4].right, 5 * 182 + 80);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(r[i].top, 65);
        EXPECT_EQ(r[i].bottom, 217);
        if (i) {
            EXPECT_EQ(r[i].left - r[i - 1].right, 15);
        }
    }
}

TEST(TabLayout, WidthDivisionTruncatesTowardZero)
{
    Rect r[5];
    kelvo::TabRects(104, r);  // (104 - 100) / 5 = 0
    EXPECT_EQ(r[1].left, 35);
    EXPECT_EQ(r[1].right, 35);
    kelvo::TabRects(96, r);  // -4 / 5 = 0, not -1
    EXPECT_EQ(r[0].right, 20);
}

TEST(TabLayout, CaptionThatFitsStaysOnOneLine)
{
    EXPECT_EQ(kelvo::SplitCaption(L"Update", 80, 80), L"Update");
}

TEST(TabLayout, WideCaptionSplitsIntoEqualCharacterCountsLastTakesTheRest)
{
    // 2.5 tab widths -> 3 lines; 11 characters / 3 = 3 per line, the last gets 5.
    EXPECT_EQ(kelvo::SplitCaption(L"Diagnostics", 250, 100), L"Dia\r\ngno\r\nstics");
    // Just over one width -> two lines, split at the character count, not at a word.
    EXPECT_EQ(kelvo::SplitCaption(L"Trouble codes", 101, 100), L"Troubl\r\ne codes");
}

TEST(TabLayout, SkinColours)
{
    EXPECT_EQ(kelvo::SkinBackgroundColour(0), 0xF4F4F4u);
    EXPECT_EQ(kelvo::SkinBackgroundColour(1), 0xE3DFDBu);
    EXPECT_EQ(kelvo::SkinBackgroundColour(3), 0xFEFDFBu);
    EXPECT_EQ(kelvo::SkinBackgroundColour(4), 0xEFEFEFu);
    EXPECT_EQ(kelvo::SkinBackgroundColour(5), 0xBBBBBBu);
    EXPECT_EQ(kelvo::SkinBackgroundColour(6), 0xCBDEE8u);
    EXPECT_EQ(kelvo::SkinBackgroundColour(7), 0x62A8DEu);
    // Skin 2 and anything outside 0..7 share one colour.
    EXPECT_EQ(kelvo::SkinBackgroundColour(2), 0xB6B6B6u);
    EXPECT_EQ(kelvo::SkinBackgroundColour(8), 0xB6B6B6u);
    EXPECT_EQ(kelvo::SkinBackgroundColour(-1), 0xB6B6B6u);
}

TEST(PageKeys, CtrlTabWalksThePagesRoundAndCtrlDigitPicksOne)
{
    const unsigned tab = 0x09;
    // Forward from every page, wrapping after the settings page.
    EXPECT_EQ(kelvo::PageForKey(tab, true, false, false, 0), 1);
    EXPECT_EQ(kelvo::PageForKey(tab, true, false, false, 3), 4);
    EXPECT_EQ(kelvo::PageForKey(tab, true, false, false, 4), 0);
    // Backward, wrapping before the update page.
    EXPECT_EQ(kelvo::PageForKey(tab, true, true, false, 0), 4);
    EXPECT_EQ(kelvo::PageForKey(tab, true, true, false, 2), 1);
    // No page chosen yet: page 0 is the one shown.
    EXPECT_EQ(kelvo::PageForKey(tab, true, false, false, -1), 1);
    EXPECT_EQ(kelvo::PageForKey(tab, true, true, false, -1), 4);
    for (unsigned digit = '1'; digit <= '5'; ++digit)
        EXPECT_EQ(kelvo::PageForKey(digit, true, false, false, 2), static_cast<int>(digit - '1'));
}

TEST(PageKeys, KeysWithoutCtrlOrWithAltOrOtherDigitsMoveNowhere)
{
    const unsigned tab = 0x09;
    EXPECT_EQ(kelvo::PageForKey(tab, false, false, false, 1), -1) << "Tab alone moves the focus";
    EXPECT_EQ(kelvo::PageForKey(tab, false, true, false, 1), -1);
    EXPECT_EQ(kelvo::PageForKey('2', false, false, false, 1), -1) << "a digit typed into a box";
    EXPECT_EQ(kelvo::PageForKey('2', true, false, true, 1), -1) << "AltGr types characters";
    EXPECT_EQ(kelvo::PageForKey(tab, true, false, true, 1), -1);
    EXPECT_EQ(kelvo::PageForKey('0', true, false, false, 1), -1);
    EXPECT_EQ(kelvo::PageForKey('6', true, false, false, 1), -1);
    EXPECT_EQ(kelvo::PageForKey('1', true, true, false, 1), -1) << "Ctrl+Shift+1 is not a page key";
    EXPECT_EQ(kelvo::PageForKey('A', true, false, false, 1), -1);
}

TEST(WindowPlacement, CentredInTheWorkAreaAndNeverOutsideItsTopRight)
{
    int x = 0, y = 0;
    // The primary monitor's work area, a taskbar below.
    kelvo::PlaceInWorkArea(Rect{0, 0, 1920, 1040}, 1010, 610, &x, &y);
    EXPECT_EQ(x, 455);
    EXPECT_EQ(y, 215);
    // A second monitor left of the primary one, its taskbar on top.
    kelvo::PlaceInWorkArea(Rect{-1280, 40, 0, 1024}, 1010, 610, &x, &y);
    EXPECT_EQ(x, -1280 + 135);
    EXPECT_EQ(y, 40 + 187);
    // Taller than the area (175 % on 1080p): the top stays on the screen.
    kelvo::PlaceInWorkArea(Rect{0, 0, 1920, 1040}, 1768, 1068, &x, &y);
    EXPECT_EQ(y, 0);
    EXPECT_EQ(x, 76);
    // Wider too: the right edge, with close and minimise, stays on it.
    kelvo::PlaceInWorkArea(Rect{100, 50, 1380, 770}, 1515, 915, &x, &y);
    EXPECT_EQ(x + 1515, 1380);
    EXPECT_EQ(y, 50);
}

TEST(DpiScale, NinetySixDpiKeepsEveryPixelAndOthersRoundAsMulDiv)
{
    for (int px : {-7, 0, 1, 15, 217, 1010})
        EXPECT_EQ(kelvo::ScaleForDpi(px, 96), px);
    EXPECT_EQ(kelvo::ScaleForDpi(1010, 144), 1515);
    EXPECT_EQ(kelvo::ScaleForDpi(45, 120), 56);   // 56.25
    EXPECT_EQ(kelvo::ScaleForDpi(1, 144), 2);     // 1.5 rounds up, as MulDiv
    EXPECT_EQ(kelvo::ScaleForDpi(-1, 144), -2);   // and away from zero below it
    EXPECT_EQ(kelvo::ScaleForDpi(26, 240), 65);
    EXPECT_EQ(kelvo::ScaleForDpi(100, 0), 100) << "an unknown DPI is 96";
    EXPECT_EQ(kelvo::ScaleForDpi(400000000, 480), 2000000000) << "no overflow on the way";
    EXPECT_EQ(kelvo::UnscaleForDpi(1515, 144), 1010);
    EXPECT_EQ(kelvo::UnscaleForDpi(0, 0), 0);
}

TEST(DpiScale, ArtIsTheSmallestScaleThatIsLargeEnough)
{
    EXPECT_EQ(kelvo::ArtScaleIndex(96), 0);
    EXPECT_EQ(kelvo::ArtScaleIndex(72), 0);
    EXPECT_EQ(kelvo::ArtScaleIndex(97), 1);
    EXPECT_EQ(kelvo::ArtScaleIndex(120), 1);
    EXPECT_EQ(kelvo::ArtScaleIndex(144), 2);
    EXPECT_EQ(kelvo::ArtScaleIndex(168), 3);  // 175 %: the 200 % art, shrunk
    EXPECT_EQ(kelvo::ArtScaleIndex(192), 3);
    EXPECT_EQ(kelvo::ArtScaleIndex(240), 4);
    EXPECT_EQ(kelvo::ArtScaleIndex(288), 4) << "above 250 % the largest there is";
    EXPECT_EQ(kelvo::ArtScaleIndex(0), 0);
}

TEST(TabLayout, TabsGrowWithTheDpiAndStayTheSameAt96)
{
    Rect base[5], same[5], big[5];
    kelvo::TabRects(1011, base);
    kelvo::TabRects(1011, 96, same);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(base[i].left, same[i].left);
        EXPECT_EQ(base[i].right, same[i].right);
        EXPECT_EQ(base[i].bottom, same[i].bottom);
    }
    kelvo::TabRects(1516, 144, big);  // the client area 1.5 times as wide
    EXPECT_EQ(big[0].left, 30);
    EXPECT_EQ(big[0].top, 98);
    EXPECT_EQ(big[0].bottom, 326);
    EXPECT_EQ(big[0].right - big[0].left, (1516 - 150) / 5);
    EXPECT_EQ(big[1].left - big[0].right, 23);  // 22.5
    EXPECT_LE(big[4].right, 1516);
}
