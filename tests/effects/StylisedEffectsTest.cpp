// Bevel, seamless tile, oil paint, subpixel pattern and pop-art grid; and every effect of this
// family and of the mosaics on pictures of one pixel, one row, one column and a very wide one.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <functional>

#include "effects/EffectPixels.h"
#include "effects/EffectTestPictures.h"
#include "effects/Mosaic.h"
#include "effects/StylisedEffects.h"

using namespace effecttest;

namespace {

// A picture of rows (from the top) of grey values; alpha 0x33 at 32 bpp.
template <int W, int H>
void MakeGreyRows(NImageBuffer& picture, int bpp, const int (&rows)[H][W])
{
    ASSERT_TRUE(picture.Create(W, H, bpp, 0));
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x)
            SetRaw(picture, x, y, 0x33000000u | 0x010101u * static_cast<uint32_t>(rows[y][x]));
}

template <int W, int H>
void ExpectGreyRows(const NImageBuffer& picture, const int (&rows)[H][W])
{
    for (int y = 0; y < H; ++y)
        for (int x = 0; x < W; ++x) {
            const uint32_t expected = 0x010101u * static_cast<uint32_t>(rows[y][x]);
            EXPECT_EQ(picture.bpp == 32 ? 0x33000000u | expected : expected, RawAt(picture, x, y)) << x << "," << y;
        }
}

// The bytes of the pixel at column x of scan line `line` (memory order).
const uint8_t* At(const NImageBuffer& picture, int x, int line)
{
    GdiFlush();
    return effects::ScanLine(picture, line) + static_cast<size_t>(x) * (picture.bpp / 8);
}

}  // namespace

TEST(StylisedEffects, BevelLightensTopLeftAndDarkensBottomRight)
{
    // Grey 100, width 2, strength 0.5 falling by 0.05 per top row and left column and rising by
    // 0.05 per bottom row and right column: light 0.5 -> 177, 0.45 -> 169; dark 0.4 -> 60,
    // 0.45 -> 55.
    const int flat[6][6] = {{100, 100, 100, 100, 100, 100}, {100, 100, 100, 100, 100, 100},
                            {100, 100, 100, 100, 100, 100}, {100, 100, 100, 100, 100, 100},
                            {100, 100, 100, 100, 100, 100}, {100, 100, 100, 100, 100, 100}};
    const int bevelled[6][6] = {{177, 177, 177, 177, 177, 100}, {177, 169, 169, 169, 100, 55},
                                {177, 169, 100, 100, 60, 55},   {177, 169, 100, 100, 60, 55},
                                {177, 169, 60, 60, 60, 55},     {177, 55, 55, 55, 55, 55}};
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer picture;
        MakeGreyRows(picture, bpp, flat);
        ASSERT_TRUE(BevelEdges(picture, 2, 0.5f));
        ExpectGreyRows(picture, bevelled);

        MakeGreyRows(picture, bpp, flat);
        ASSERT_TRUE(BevelEdges(picture, 0, 0.5f));
        ExpectGreyRows(picture, flat);
    }
}

TEST(StylisedEffects, BevelKeepsChannelsAndStrengthInRange)
{
    const int flat[4][4] = {{100, 100, 100, 100}, {100, 100, 100, 100}, {100, 100, 100, 100}, {100, 100, 100, 100}};
    const struct {
        float strength;
        int rows[4][4];
    } cases[] = {
        // Beyond 1 the light blend passes 255 and the dark one 0: both stop there.
        {3.0f, {{255, 255, 255, 100}, {255, 100, 100, 0}, {255, 100, 100, 0}, {255, 0, 0, 0}}},
        // Below 0 the roles turn round, still within 0..255.
        {-1.0f, {{0, 0, 0, 100}, {0, 100, 100, 195}, {0, 100, 100, 195}, {0, 200, 200, 200}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.strength);
        NImageBuffer picture;
        MakeGreyRows(picture, 24, flat);
        ASSERT_TRUE(BevelEdges(picture, 1, c.strength));
        ExpectGreyRows(picture, c.rows);
    }

    // From 0.5, ten steps of 0.05 in single precision would end a little below 0 and turn the
    // 11th and 12th top rows one darker; the strength stops at 0, so they stay as they were.
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(30, 30, 24, RGB(90, 90, 90)));
    const int values[] = {1, 2, 50, 100, 128, 200, 254, 255};
    for (int i = 0; i < 8; ++i)
        for (int row : {10, 11})
            SetRaw(picture, 11 + i, row, 0x010101u * values[i]);
    ASSERT_TRUE(BevelEdges(picture, 12, 0.5f));
    for (int i = 0; i < 8; ++i)
        EXPECT_EQ(0x010101u * values[i], RawAt(picture, 11 + i, 10)) << values[i];
    EXPECT_EQ(0x010101u * values[2], RawAt(picture, 13, 11));
    EXPECT_NE(0x5A5A5Au, RawAt(picture, 15, 9));  // the 10th row still moved

    // A width beyond a side becomes the shorter side less one.
    NImageBuffer wide, three;
    ASSERT_TRUE(MakeNoise(wide, 5, 4, 32, 2));
    ASSERT_TRUE(three.Copy(wide));
    ASSERT_TRUE(BevelEdges(wide, 100, 0.3f));
    ASSERT_TRUE(BevelEdges(three, 3, 0.3f));
    EXPECT_EQ(Snapshot(three), Snapshot(wide));

    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 8, 8));
    EXPECT_FALSE(BevelEdges(grey, 2, 0.5f));
}

TEST(StylisedEffects, TileableEdgesContinueIntoEachOther)
{
    // Column 0 of the result is the source column right of the centre and the last column the one
    // left of it, each from the row half the height away: so the left and right edges meet as
    // neighbours. The top and bottom rows likewise, except in the two columns beside the centre,
    // which keep their own pixels. Centre lines of an odd size stay as they were.
    const struct {
        int width, height;
    } sizes[] = {{40, 36}, {37, 35}, {36, 41}};
    for (const auto& s : sizes)
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(testing::Message() << s.width << "x" << s.height << " " << bpp);
            NImageBuffer source, picture;
            ASSERT_TRUE(MakeNoise(source, s.width, s.height, bpp, 11));
            ASSERT_TRUE(picture.Copy(source));
            ASSERT_TRUE(MakeTileable(picture));
            const int step = bpp / 8;
            const int hw = s.width / 2, hh = s.height / 2, ow = s.width % 2, oh = s.height % 2;
            auto opposite = [](int v, int half, int odd) { return v >= half + odd ? v - half - odd : v + half + odd; };
            auto same = [&](int x, int line, int sx, int sline) {
                return memcmp(At(picture, x, line), At(source, sx, sline), step) == 0;
            };
            for (int line = 0; line < s.height; ++line) {
                if (oh && line == hh) {
                    for (int x = 0; x < s.width; ++x)
                        ASSERT_TRUE(same(x, line, x, line)) << x;
                    continue;
                }
                ASSERT_TRUE(same(0, line, hw + ow, opposite(line, hh, oh))) << line;
                ASSERT_TRUE(same(s.width - 1, line, hw - 1, opposite(line, hh, oh))) << line;
            }
            for (int x = 0; x < s.width; ++x) {
                if (ow && x == hw) {
                    ASSERT_TRUE(same(x, 0, x, 0));
                    continue;
                }
                const bool besideCentre = x == hw - 1 || x == hw + ow;
                for (int line : {0, s.height - 1}) {
                    if (besideCentre)
                        ASSERT_TRUE(same(x, line, x, line)) << x;
                    else
                        ASSERT_TRUE(same(x, line, opposite(x, hw, ow), opposite(line, hh, oh))) << x;
                }
            }
        }
}

TEST(StylisedEffects, TileableSharesAddUpWithoutWrapping)
{
    // White stays (nearly) white: where the shares meet on the diagonal they can round to 256,
    // which must not wrap to 0.
    for (int side : {35, 38, 36}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, side, side, 32, RGB(255, 255, 255), 255));
        ASSERT_TRUE(MakeTileable(picture));
        const std::vector<uint8_t> bytes = Snapshot(picture);
        EXPECT_GE(*std::min_element(bytes.begin(), bytes.end()), 254) << side;
    }
    // Shares of pictures far larger than 32-bit products hold (l * k * 255 above 2^31).
    const struct {
        int64_t l, k;
    } halves[] = {{100000, 100000}, {3000000, 16}, {16, 3000000}, {40000, 60000}};
    for (const auto& h : halves)
        for (int64_t o : {int64_t{1}, h.l / 3, h.l / 2, h.l - 1})
            for (int64_t t : {int64_t{0}, int64_t{1}, h.k / 2, h.k - 1, o * h.k / h.l}) {
                const int64_t sum = effects::SeamlessTileShare(255, o, t, h.l, h.k) +
                                    effects::SeamlessTileShare(255, h.l - o, h.k - t, h.l, h.k);
                EXPECT_GE(sum, 254) << h.l << " " << h.k << " " << o << " " << t;
                EXPECT_LE(sum, 256) << h.l << " " << h.k << " " << o << " " << t;
            }

    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 34, 40, 24, 1));
    const std::vector<uint8_t> before = Snapshot(picture);
    EXPECT_FALSE(MakeTileable(picture));
    ASSERT_TRUE(MakeNoise(picture, 40, 34, 24, 1));
    EXPECT_FALSE(MakeTileable(picture));
    ASSERT_TRUE(MakeNoise(picture, 34, 40, 24, 1));
    EXPECT_EQ(before, Snapshot(picture));
}

TEST(StylisedEffects, OilPaintTakesTheFirstPixelOfTheMostFrequentGrey)
{
    // Three colours of grey 100: A (100, 100, 100), B (0, 171, 0) and C (140, 60, 200) as RGB.
    // The window of the bottom row's middle pixel (radius 1) is read scan line by scan line from
    // the bottom: three white border pixels, then the bottom row (A, B, A), then the row above
    // (C, black, red). Grey 100 counts four at C and beats white; with one A replaced it only ties
    // with white, which got there first.
    const uint32_t a = 0x646464, b = 0x00AB00, c = 0x8C3CC8, red = 0xFF0000, dark = 0x0A0A0A;
    const struct {
        uint32_t bottomRight;
        COLORREF expected;
    } cases[] = {{a, RGB(140, 60, 200)}, {dark, RGB(255, 255, 255)}};
    for (const auto& k : cases) {
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(5, 3, 24, 0));
        SetRaw(picture, 1, 2, a);
        SetRaw(picture, 2, 2, b);
        SetRaw(picture, 3, 2, k.bottomRight);
        SetRaw(picture, 1, 1, c);
        SetRaw(picture, 3, 1, red);
        ASSERT_TRUE(OilPaint(picture, 1));
        EXPECT_EQ(k.expected, ColourAt(picture, 2, 2));
    }
}

TEST(StylisedEffects, OilPaintEdgesSeeOpaqueWhite)
{
    // One colour, radius 2: within two pixels of a corner the white border outnumbers the
    // picture's colour, so the bottom and top rows (which the final mean filter leaves as they
    // are) turn white at both ends. The border is opaque, so those pixels do not turn transparent.
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, 8, 6, bpp, RGB(30, 20, 10), 0x40));
        ASSERT_TRUE(OilPaint(picture, 2));
        for (int y : {0, 5})
            for (int x = 0; x < 8; ++x) {
                const bool white = x < 2 || x > 5;
                EXPECT_EQ(white ? RGB(255, 255, 255) : RGB(30, 20, 10), ColourAt(picture, x, y)) << x << "," << y;
                if (bpp == 32) {
                    EXPECT_EQ(white ? 255 : 0x40, AlphaAt(picture, x, y)) << x << "," << y;
                }
            }
    }
    // A window far larger than the picture holds more border than picture, so every pixel turns
    // white; the border costs no memory, whatever the radius.
    for (int radius : {40, 100000, INT_MAX}) {
        NImageBuffer small;
        ASSERT_TRUE(MakeNoise(small, 20, 10, 32, 4));
        ASSERT_TRUE(OilPaint(small, radius)) << radius;
        const std::vector<uint8_t> bytes = Snapshot(small);
        EXPECT_EQ(bytes.size(), static_cast<size_t>(std::count(bytes.begin(), bytes.end(), 255))) << radius;
    }

    NImageBuffer picture, grey;
    ASSERT_TRUE(MakeNoise(picture, 6, 6, 24, 4));
    const std::vector<uint8_t> before = Snapshot(picture);
    EXPECT_FALSE(OilPaint(picture, 0));
    EXPECT_FALSE(OilPaint(picture, -3));
    EXPECT_EQ(before, Snapshot(picture));
    ASSERT_TRUE(MakeGrey8(grey, 6, 6));
    EXPECT_FALSE(OilPaint(grey, 1));
}

TEST(StylisedEffects, SubpixelPatternDoublesOneChannelPerPixel)
{
    // Cells of the pattern by scan line (from the bottom) and column: 0 blue, 1 green, 2 red.
    const struct {
        int x, line, channel;
    } cells[] = {{0, 0, 0}, {1, 0, 1}, {2, 0, 2}, {3, 0, 0}, {4, 0, 0}, {3, 1, 2}, {4, 4, 2},
                 {0, 5, 2}, {4, 7, 1}, {2, 11, 2}, {0, 14, 1}, {4, 14, 0}, {5, 15, 0}, {7, 16, 1},
                 {9, 29, 0}, {8, 29, 2}};
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, 10, 30, bpp, RGB(100, 100, 100), 7));
        ASSERT_TRUE(SubpixelPattern(picture));
        for (const auto& cell : cells) {
            const uint8_t* p = At(picture, cell.x, cell.line);
            for (int ch = 0; ch < 3; ++ch)
                EXPECT_EQ(ch == cell.channel ? 200 : 100, p[ch]) << cell.x << "," << cell.line << " " << ch;
            if (bpp == 32) {
                EXPECT_EQ(7, p[3]);
            }
        }
    }
    // Doubling: 255 from 128 up; white stays white.
    const struct {
        int in, out;
    } doubling[] = {{0, 0}, {1, 2}, {127, 254}, {128, 255}, {200, 255}, {255, 255}};
    for (const auto& d : doubling) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, 1, 1, 24, RGB(d.in, d.in, d.in)));
        ASSERT_TRUE(SubpixelPattern(picture));
        EXPECT_EQ(d.out, At(picture, 0, 0)[0]) << d.in;
    }
    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 6, 6));
    EXPECT_FALSE(SubpixelPattern(grey));
}

TEST(StylisedEffects, PopArtTilesTakeTheirPlacesAndColours)
{
    // A light grey picture of 41 x 31 (or 61 x 46, 81 x 61): tiles of 20 x 15 that all turn
    // white before their colours; the last column and row are outside the grid.
    const struct {
        int tiles, tile, column, row;
        COLORREF colour;
    } cases[] = {
        {4, 0, 0, 0, 0x0BCFFF},  {4, 1, 1, 0, 0xFFFF01},  {4, 2, 0, 1, 0xB7FF0B},  {4, 3, 1, 1, 0x0AFF69},
        {9, 1, 1, 0, 0x8290DC},  {9, 4, 2, 0, 0xFFFF01},  {9, 5, 2, 1, 0x40B78D},  {9, 6, 0, 2, 0xB7FF0B},
        {9, 8, 2, 2, 0x7D9D79},  {16, 1, 1, 0, 0xB7FF0B}, {16, 6, 0, 2, 0xFFFF01}, {16, 9, 3, 0, 0x40B765},
        {16, 11, 3, 2, 0x3791E7}, {16, 12, 0, 3, 0x8C9ADC}, {16, 15, 3, 3, 0x8D56BE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.tiles << " tile " << c.tile);
        const int side = c.tiles == 4 ? 2 : c.tiles == 9 ? 3 : 4;
        const COLORREF grey = RGB(200, 200, 200);
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(20 * side + 1, 15 * side + 1, 24, grey));
        ASSERT_TRUE(PopArtGrid(picture, 11, c.tiles));
        const int left = c.column * 20, top = c.row * 15;
        EXPECT_EQ(c.colour, ColourAt(picture, left, top));
        EXPECT_EQ(c.colour, ColourAt(picture, left + 19, top + 14));
        EXPECT_EQ(grey, ColourAt(picture, 20 * side, top));
        EXPECT_EQ(grey, ColourAt(picture, left, 15 * side));
    }
}

TEST(StylisedEffects, PopArtLevelAndTileCount)
{
    // Luma 199: step 11 (level 188) makes it white, the first colour, and 13 (level 208) black,
    // the second; 18 (78 + 180 = 258) stops at 255, so it stays black, as any larger step does.
    const struct {
        int step;
        COLORREF colour;
    } steps[] = {{11, 0x0BCFFF}, {13, 0xFF600C}, {18, 0xFF600C}, {INT_MAX, 0xFF600C}};
    for (const auto& s : steps) {
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(40, 30, 24, RGB(195, 200, 205)));
        ASSERT_TRUE(PopArtGrid(picture, s.step, 4));
        EXPECT_EQ(s.colour, ColourAt(picture, 5, 5)) << s.step;
    }

    // Any count but 9 and 16 draws the 2 x 2 grid.
    NImageBuffer four;
    ASSERT_TRUE(MakeNoise(four, 30, 20, 32, 6));
    ASSERT_TRUE(PopArtGrid(four, 2, 4));
    for (int tiles : {5, 0, -16, 15}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 30, 20, 32, 6));
        ASSERT_TRUE(PopArtGrid(picture, 2, tiles));
        EXPECT_EQ(Snapshot(four), Snapshot(picture)) << tiles;
    }

    // Refusals leave the picture as it was: a step below 1, a picture narrower or lower than the
    // grid, a palette picture.
    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 3, 20, 24, 8));
    const std::vector<uint8_t> before = Snapshot(picture);
    EXPECT_FALSE(PopArtGrid(picture, 0, 4));
    EXPECT_FALSE(PopArtGrid(picture, -5, 4));
    EXPECT_FALSE(PopArtGrid(picture, 2, 16));
    EXPECT_EQ(before, Snapshot(picture));
    EXPECT_TRUE(PopArtGrid(picture, 2, 9));
    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 20, 20));
    EXPECT_FALSE(PopArtGrid(grey, 2, 4));
}

TEST(StylisedEffects, EveryEffectCopesWithThinAndVeryWidePictures)
{
    using Effect = std::function<bool(NImageBuffer&)>;
    using Accepts = std::function<bool(int width, int height)>;
    const auto always = [](int, int) { return true; };
    const struct {
        const char* name;
        Effect effect;
        Accepts accepts;
    } effects[] = {
        {"Pixelate", [](NImageBuffer& p) { return Pixelate(p, std::min(p.width, 7)); }, always},
        {"Pixelate whole width", [](NImageBuffer& p) { return Pixelate(p, p.width); }, always},
        {"DotMosaic", [](NImageBuffer& p) { return DotMosaic(p, std::min(p.width, 5)); }, always},
        {"BevelEdges", [](NImageBuffer& p) { return BevelEdges(p, 4, 0.6f); }, always},
        {"BevelEdges wide", [](NImageBuffer& p) { return BevelEdges(p, UINT_MAX, 0.6f); }, always},
        {"MakeTileable", MakeTileable, [](int w, int h) { return w >= 35 && h >= 35; }},
        {"OilPaint", [](NImageBuffer& p) { return OilPaint(p, 2); }, always},
        {"SubpixelPattern", SubpixelPattern, always},
        {"PopArtGrid", [](NImageBuffer& p) { return PopArtGrid(p, 3, 9); },
         [](int w, int h) { return w >= 3 && h >= 3; }},
    };
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {1, 300}, {300, 1}, {4000, 2}, {2, 40}, {40, 36}};
    for (const auto& e : effects)
        for (const auto& s : sizes)
            for (int bpp : {24, 32}) {
                SCOPED_TRACE(testing::Message() << e.name << " " << s.width << "x" << s.height << " " << bpp);
                NImageBuffer picture;
                ASSERT_TRUE(MakeNoise(picture, s.width, s.height, bpp, 5));
                const std::vector<uint8_t> before = Snapshot(picture);
                const bool accepted = e.accepts(s.width, s.height);
                EXPECT_EQ(accepted, e.effect(picture));
                ASSERT_TRUE(picture.valid);
                EXPECT_EQ(s.width, picture.width);
                EXPECT_EQ(s.height, picture.height);
                EXPECT_EQ(bpp, picture.bpp);
                if (!accepted) {
                    EXPECT_EQ(before, Snapshot(picture));
                }
            }
}
