// White point, colour keep and colour replace from a picked point.
#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <vector>

#include "effects/ColourPicking.h"
#include "effects/EffectTestPictures.h"

using namespace effecttest;

namespace {

// A one-row picture of the colours (alpha 0x40 + x at 32 bpp).
bool MakeRow(NImageBuffer& picture, const std::vector<COLORREF>& colours, int bpp)
{
    if (!picture.Create(static_cast<int>(colours.size()), 1, bpp, 0))
        return false;
    for (size_t x = 0; x < colours.size(); ++x) {
        const COLORREF c = colours[x];
        SetRaw(picture, static_cast<int>(x), 0,
               GetBValue(c) | (GetGValue(c) << 8) | (GetRValue(c) << 16) | ((0x40u + static_cast<uint32_t>(x)) << 24));
    }
    return true;
}

using PickEffect = std::function<bool(NImageBuffer&, int x, int y)>;

const struct {
    const char* name;
    PickEffect effect;
} kPickEffects[] = {
    {"WhitePointFromPixel", [](NImageBuffer& p, int x, int y) { return WhitePointFromPixel(p, x, y); }},
    {"KeepPickedColour", [](NImageBuffer& p, int x, int y) { return KeepPickedColour(p, x, y, 30); }},
    {"ReplacePickedColour",
     [](NImageBuffer& p, int x, int y) { return ReplacePickedColour(p, x, y, 30, RGB(0, 0, 255)); }},
};

}  // namespace

TEST(ColourPicking, WhitePointFromThePickedPixel)
{
    const struct {
        const char* name;
        COLORREF picked, other, pickedAfter, otherAfter;
    } cases[] = {
        {"white point changes nothing", RGB(255, 255, 255), RGB(100, 200, 30), RGB(255, 255, 255), RGB(100, 200, 30)},
        {"black point doubles, capped", RGB(0, 0, 0), RGB(100, 200, 30), RGB(0, 0, 0), RGB(200, 255, 60)},
        // Red picked at 51: 100 -> 200 - 100 * 51 / 255 = 180, 51 -> 102 - 10 = 92. Green picked at
        // 255 stays; blue picked at 0 doubles.
        {"per channel", RGB(51, 255, 0), RGB(100, 100, 100), RGB(92, 255, 0), RGB(180, 100, 200)},
        // Red picked at 128: 255 -> 510 - 128 = 382, capped; 1 -> 2 - 0 = 2.
        {"cap and small values", RGB(128, 128, 128), RGB(255, 1, 128), RGB(192, 192, 192), RGB(255, 2, 192)},
    };
    for (const auto& c : cases)
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(bpp);
            NImageBuffer picture;
            ASSERT_TRUE(MakeRow(picture, {c.picked, c.other}, bpp));
            ASSERT_TRUE(WhitePointFromPixel(picture, 0, 0));
            EXPECT_EQ(c.pickedAfter, ColourAt(picture, 0, 0));
            EXPECT_EQ(c.otherAfter, ColourAt(picture, 1, 0));
            if (bpp == 32) {
                EXPECT_EQ(0x41, AlphaAt(picture, 1, 0)) << "alpha stays";
            }
        }

    // Every channel picked at 255 leaves any picture as it was.
    NImageBuffer noise;
    ASSERT_TRUE(MakeNoise(noise, 37, 11, 24, 3));
    SetRaw(noise, 5, 6, 0xFFFFFF);
    const auto before = Snapshot(noise);
    ASSERT_TRUE(WhitePointFromPixel(noise, 5, 6));
    EXPECT_EQ(before, Snapshot(noise));
}

TEST(ColourPicking, PointIsReadFromTheTop)
{
    // White above, a colour below: picking (0, 0) takes the white point and changes nothing.
    // A colour above, black below: picking (0, 1) takes the black point and doubles the colour.
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(1, 2, bpp, 0));
        SetRaw(picture, 0, 0, 0xFFFFFF);
        SetRaw(picture, 0, 1, 0x102030);
        ASSERT_TRUE(WhitePointFromPixel(picture, 0, 0));
        EXPECT_EQ(RGB(0x10, 0x20, 0x30), ColourAt(picture, 0, 1));

        SetRaw(picture, 0, 0, 0x102030);
        SetRaw(picture, 0, 1, 0x000000);
        ASSERT_TRUE(WhitePointFromPixel(picture, 0, 1));
        EXPECT_EQ(RGB(0x20, 0x40, 0x60), ColourAt(picture, 0, 0));
    }
}

TEST(ColourPicking, RefusesPointsOutsideAndPicturesItDoesNotTake)
{
    for (const auto& e : kPickEffects)
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(e.name);
            SCOPED_TRACE(bpp);
            NImageBuffer picture;
            ASSERT_TRUE(MakeNoise(picture, 6, 4, bpp, 9));
            const auto before = Snapshot(picture);
            for (const POINT& p : {POINT{-1, 0}, POINT{0, -1}, POINT{6, 0}, POINT{0, 4}, POINT{-100000, 100000}}) {
                EXPECT_FALSE(e.effect(picture, p.x, p.y)) << p.x << "," << p.y;
            }
            EXPECT_EQ(before, Snapshot(picture));
            EXPECT_TRUE(e.effect(picture, 5, 3)) << "the last pixel is inside";

            NImageBuffer grey, empty;
            ASSERT_TRUE(MakeGrey8(grey, 3, 2));
            const auto greyBefore = Snapshot(grey);
            EXPECT_FALSE(e.effect(grey, 0, 0));
            EXPECT_EQ(greyBefore, Snapshot(grey));
            EXPECT_FALSE(e.effect(empty, 0, 0));
        }
}

TEST(ColourPicking, KeepPickedColourHueWindow)
{
    // With red 200 and the smallest channel 140 the hue is (G - B) mod 360 degrees exactly.
    const auto hue = [](int degrees) {
        return degrees <= 60 ? RGB(200, 140 + degrees, 140) : RGB(200, 140, 140 + (360 - degrees));
    };
    const COLORREF grey = RGB(90, 90, 90);
    const struct {
        const char* name;
        COLORREF picked;
        double tolerance;
        std::vector<COLORREF> row;
        std::vector<bool> kept;
    } cases[] = {
        // Hue 350 with 20: 330..360 and 0 up to, not including, 10; grey (hue 0) stays.
        {"wraps past 360", hue(350), 20,
         {hue(329), hue(330), hue(345), hue(359), hue(0), hue(9), hue(10), hue(40), grey, RGB(0, 0, 255)},
         {false, true, true, true, true, true, false, false, true, false}},
        // Hue 10 with 20: 0..30 and from 350 on.
        {"wraps below 0", hue(10), 20,
         {hue(349), hue(350), hue(0), hue(30), hue(31), grey},
         {false, true, true, true, false, true}},
        // Grey picks hue 0: 0..30 and 330..360.
        {"grey picks hue 0", RGB(128, 128, 128), 30,
         {hue(329), hue(330), hue(30), hue(31), grey},
         {false, true, true, false, true}},
        // Hue 180 (cyan) with 10: greys and reds turn grey.
        {"narrow window", RGB(140, 200, 200), 10,
         {RGB(140, 200, 200), RGB(140, 200, 190), RGB(140, 200, 189), grey, hue(0)},
         {true, true, false, true, false}},
    };
    for (const auto& c : cases)
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(bpp);
            std::vector<COLORREF> row = c.row;
            row.insert(row.begin(), c.picked);
            NImageBuffer picture;
            ASSERT_TRUE(MakeRow(picture, row, bpp));
            ASSERT_TRUE(KeepPickedColour(picture, 0, 0, c.tolerance));
            for (size_t i = 0; i < c.row.size(); ++i) {
                const COLORREF in = c.row[i];
                const int luma = (19595 * GetRValue(in) + 38470 * GetGValue(in) + 7471 * GetBValue(in)) >> 16;
                const COLORREF expected = c.kept[i] ? in : RGB(luma, luma, luma);
                EXPECT_EQ(expected, ColourAt(picture, static_cast<int>(i) + 1, 0)) << "pixel " << i;
            }
            if (bpp == 32) {
                EXPECT_EQ(0x41, AlphaAt(picture, 1, 0)) << "alpha stays";
            }
        }
    // Hand-computed greys: (200, 140, 171) has luma 161, (200, 150, 140) luma 163.
    NImageBuffer picture;
    ASSERT_TRUE(MakeRow(picture, {hue(350), hue(329), hue(10)}, 24));
    ASSERT_TRUE(KeepPickedColour(picture, 0, 0, 20));
    EXPECT_EQ(RGB(161, 161, 161), ColourAt(picture, 1, 0));
    EXPECT_EQ(RGB(163, 163, 163), ColourAt(picture, 2, 0));
}

TEST(ColourPicking, KeepPickedColourWith180KeepsEverything)
{
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 40, 9, bpp, 21));
        const auto before = Snapshot(picture);
        for (const POINT& p : {POINT{0, 0}, POINT{13, 4}, POINT{39, 8}}) {
            ASSERT_TRUE(KeepPickedColour(picture, p.x, p.y, 180));
            EXPECT_EQ(before, Snapshot(picture));
        }
    }
}

TEST(ColourPicking, ReplacePickedColourTurnsTheMatchingHues)
{
    // Picked (200, 140, 140): hue 0, lightness 2/3, saturation 6/17; target green: shift +120.
    // With tolerance 10 lightness 0.467..0.867 and saturation 0.053..0.653 match.
    const struct {
        const char* name;
        COLORREF in, out;
    } cases[] = {
        {"the picked colour", RGB(200, 140, 140), RGB(140, 200, 140)},
        // Hue 0, lightness 0.627, saturation 0.316: turned.
        {"a darker red", RGB(190, 130, 130), RGB(130, 190, 130)},
        // Hue 10 (window edge), lightness 2/3: turned to hue 130.
        {"hue at the edge", RGB(200, 150, 140), RGB(140, 200, 150)},
        {"hue just outside", RGB(200, 151, 140), RGB(200, 151, 140)},
        {"too light", RGB(250, 245, 245), RGB(250, 245, 245)},
        {"too grey", RGB(150, 149, 149), RGB(150, 149, 149)},
        {"cyan", RGB(140, 200, 200), RGB(140, 200, 200)},
        {"grey", RGB(170, 170, 170), RGB(170, 170, 170)},
    };
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        std::vector<COLORREF> row{RGB(200, 140, 140)};
        for (const auto& c : cases)
            row.push_back(c.in);
        NImageBuffer picture;
        ASSERT_TRUE(MakeRow(picture, row, bpp));
        ASSERT_TRUE(ReplacePickedColour(picture, 0, 0, 10, RGB(0, 255, 0)));
        for (size_t i = 0; i < std::size(cases); ++i) {
            SCOPED_TRACE(cases[i].name);
            const COLORREF got = ColourAt(picture, static_cast<int>(i) + 1, 0);
            // The way back to RGB truncates, which may take one off a channel.
            EXPECT_NEAR(GetRValue(cases[i].out), GetRValue(got), 1);
            EXPECT_NEAR(GetGValue(cases[i].out), GetGValue(got), 1);
            EXPECT_NEAR(GetBValue(cases[i].out), GetBValue(got), 1);
            if (cases[i].in == cases[i].out) {
                EXPECT_EQ(cases[i].in, got) << "left alone";
            }
        }
        if (bpp == 32) {
            EXPECT_EQ(0x42, AlphaAt(picture, 2, 0)) << "alpha stays";
        }
    }
}

TEST(ColourPicking, ReplaceWithThePickedColourOnlyTruncates)
{
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 50, 20, bpp, 77));
        const auto before = Snapshot(picture);
        const COLORREF picked = ColourAt(picture, 17, 9);
        ASSERT_TRUE(ReplacePickedColour(picture, 17, 9, 180, picked));
        const auto after = Snapshot(picture);
        ASSERT_EQ(before.size(), after.size());
        for (size_t i = 0; i < before.size(); ++i) {
            const bool alpha = bpp == 32 && i % 4 == 3;
            ASSERT_LE(std::abs(before[i] - after[i]), alpha ? 0 : 1) << i;
        }
    }
}

TEST(ColourPicking, EveryEffectCopesWithOnePixelRowsColumnsAndWidePictures)
{
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {1, 300}, {300, 1}, {20000, 2}};
    for (const auto& e : kPickEffects)
        for (const auto& s : sizes)
            for (int bpp : {24, 32}) {
                SCOPED_TRACE(testing::Message() << e.name << " " << s.width << "x" << s.height << " " << bpp);
                NImageBuffer picture;
                ASSERT_TRUE(MakeNoise(picture, s.width, s.height, bpp, 5));
                EXPECT_TRUE(e.effect(picture, 0, 0));
                EXPECT_TRUE(e.effect(picture, s.width - 1, s.height - 1));
                EXPECT_FALSE(e.effect(picture, s.width, s.height - 1));
                EXPECT_TRUE(picture.valid);
                EXPECT_EQ(bpp, picture.bpp);
            }
}
