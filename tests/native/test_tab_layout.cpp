#include "ui/core/TabLayout.h"

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
        if (i)
            EXPECT_EQ(r[i].left - r[i - 1].right, 15);
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
