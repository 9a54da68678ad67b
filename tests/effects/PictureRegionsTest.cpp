// Colour bounds, flood replacement, largest non-black rectangle and canvas resize.
#include <gtest/gtest.h>

#include <vector>

#include "effects/EffectTestPictures.h"
#include "effects/PictureRegions.h"
#include "effects/ResizeCanvas.h"

using namespace effecttest;

namespace {

bool SameRect(const RECT& a, const RECT& b)
{
    return a.left == b.left && a.top == b.top && a.right == b.right && a.bottom == b.bottom;
}

}  // namespace

TEST(PictureRegions, ColourBoundsFromTheTopLeft)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(10, 8, 24, RGB(0, 0, 0)));
    SetRaw(picture, 3, 5, 0x123456);
    RECT box{};
    ASSERT_TRUE(FindColourBounds(picture, RGB(0x12, 0x34, 0x56), &box, false));
    EXPECT_TRUE(SameRect(RECT{3, 5, 3, 5}, box));
    ASSERT_TRUE(FindColourBounds(picture, RGB(0x12, 0x34, 0x56), &box, true));
    EXPECT_TRUE(SameRect(RECT{3, 5, 1, 1}, box));
    SetRaw(picture, 7, 1, 0x123456);
    ASSERT_TRUE(FindColourBounds(picture, RGB(0x12, 0x34, 0x56), &box, true));
    EXPECT_TRUE(SameRect(RECT{3, 1, 5, 5}, box));

    ASSERT_TRUE(FindColourBounds(picture, RGB(1, 2, 3), &box, false));
    EXPECT_TRUE(SameRect(RECT{10, 8, 0, 0}, box)) << "absent: left > right";

    NImageBuffer deep;
    ASSERT_TRUE(MakeSolid(deep, 4, 4, 32, RGB(1, 2, 3)));
    EXPECT_FALSE(FindColourBounds(deep, RGB(1, 2, 3), &box, false));
    EXPECT_FALSE(FindColourBounds(picture, RGB(1, 2, 3), nullptr, false));
}

TEST(PictureRegions, FloodReplacesTheConnectedSimilarColours)
{
    // 12 x 10, red (200, 0, 0). A green staircase wall splits it: column 5 for rows 0..4, column
    // 6 for rows 5..9, so (5, 5) and (6, 4) touch only diagonally. On the left a lighter, less
    // saturated red at (1, 1) and a red of hue 350 at (2, 2).
    auto make = [](NImageBuffer& picture, int bpp) {
        ASSERT_TRUE(MakeSolid(picture, 12, 10, bpp, RGB(200, 0, 0), 77));
        const NImageRect upper{5, 0, 1, 5}, lower{6, 5, 1, 5};
        ASSERT_TRUE(picture.FillRect(&upper, RGB(0, 200, 0)));
        ASSERT_TRUE(picture.FillRect(&lower, RGB(0, 200, 0)));
        if (bpp == 32)
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 12; ++x)
                    RowFromTop(picture, y)[x * 4 + 3] = 77;
        SetRaw(picture, 1, 1, (bpp == 32 ? 0x4D000000u : 0) | 0xD20A0Au);
        SetRaw(picture, 2, 2, (bpp == 32 ? 0x4D000000u : 0) | 0xC80021u);
    };
    auto isLeft = [](int x, int y) { return x < 5 || (x == 5 && y >= 5); };
    const struct {
        const char* name;
        double hue, lightness, saturation;
        bool eight;
        int left, right;
    } cases[] = {
        {"exact, four neighbours", 0, 0, 0, false, 53, 0},
        {"exact, eight neighbours", 0, 0, 0, true, 53, 55},
        {"hue 20 wraps to 350", 20, 0, 0, false, 54, 0},
        {"lightness and saturation", 0, 0.05, 0.1, false, 54, 0},
    };
    for (int bpp : {24, 32})
        for (const auto& c : cases) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(bpp);
            NImageBuffer picture;
            make(picture, bpp);
            ASSERT_TRUE(FloodReplaceColour(picture, 0, 0, RGB(255, 255, 255), c.hue, c.lightness, c.saturation, c.eight));
            int left = 0, right = 0;
            for (int y = 0; y < 10; ++y)
                for (int x = 0; x < 12; ++x) {
                    if (ColourAt(picture, x, y) != RGB(255, 255, 255))
                        continue;
                    ++(isLeft(x, y) ? left : right);
                    if (bpp == 32) {
                        EXPECT_EQ(77, AlphaAt(picture, x, y));
                    }
                }
            EXPECT_EQ(c.left, left);
            EXPECT_EQ(c.right, right);
            EXPECT_EQ(RGB(0, 200, 0), ColourAt(picture, 5, 0)) << "the wall stays";
        }

    NImageBuffer picture;
    make(picture, 24);
    const auto before = Snapshot(picture);
    EXPECT_FALSE(FloodReplaceColour(picture, 12, 0, RGB(255, 255, 255), 0, 0, 0, false));
    EXPECT_FALSE(FloodReplaceColour(picture, 0, -1, RGB(255, 255, 255), 0, 0, 0, false));
    EXPECT_EQ(before, Snapshot(picture));
    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 4, 4));
    EXPECT_FALSE(FloodReplaceColour(grey, 0, 0, RGB(255, 255, 255), 0, 0, 0, false));

    // A one-colour picture is replaced whole, the seed included.
    NImageBuffer solid;
    ASSERT_TRUE(MakeSolid(solid, 7, 3, 24, RGB(9, 9, 9)));
    ASSERT_TRUE(FloodReplaceColour(solid, 6, 2, RGB(1, 2, 3), 0, 0, 0, false));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 7; ++x)
            EXPECT_EQ(RGB(1, 2, 3), ColourAt(solid, x, y));
}

TEST(PictureRegions, LargestNonBlackRectangle)
{
    const struct {
        const char* name;
        int width, height;
        std::vector<NImageRect> white;
        RECT expected;
    } cases[] = {
        {"one pixel at the top-left", 6, 4, {{0, 0, 1, 1}}, {0, 0, 1, 1}},
        {"block beats column", 20, 10, {{3, 2, 7, 4}, {15, 0, 1, 10}}, {3, 2, 10, 6}},
        {"all non-black", 5, 4, {{0, 0, 5, 4}}, {0, 0, 5, 4}},
        {"all black", 5, 4, {}, {0, 0, 0, 0}},
        {"of two equal blocks the lower one", 6, 5, {{0, 0, 2, 2}, {3, 3, 2, 2}}, {3, 3, 5, 5}},
        {"L shape", 8, 8, {{0, 0, 2, 8}, {0, 6, 8, 2}}, {0, 6, 8, 8}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(c.width, c.height, 24, RGB(0, 0, 0)));
        for (const NImageRect& r : c.white)
            ASSERT_TRUE(picture.FillRect(&r, RGB(0, 0, 1)));
        RECT found{-1, -1, -1, -1};
        ASSERT_TRUE(FindLargestNonBlackRect(picture, &found));
        EXPECT_TRUE(SameRect(c.expected, found))
            << found.left << "," << found.top << "," << found.right << "," << found.bottom;
    }
    NImageBuffer deep;
    ASSERT_TRUE(MakeSolid(deep, 4, 4, 32, RGB(1, 1, 1)));
    RECT found{};
    EXPECT_FALSE(FindLargestNonBlackRect(deep, &found));
}

TEST(ResizeCanvas, PlacesThePictureByItsPlacement)
{
    // A 10 x 10 red picture on a 20 x 20 blue canvas: where its top-left pixel lands.
    const POINT places[10] = {{0, 0}, {5, 0}, {10, 0}, {0, 5}, {5, 5}, {10, 5}, {0, 10}, {5, 10}, {10, 10}, {0, 0}};
    for (int placement = 0; placement < 10; ++placement) {
        SCOPED_TRACE(placement);
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(10, 10, 24, RGB(255, 0, 0)));
        ASSERT_TRUE(ResizeCanvas(picture, 20, 20, placement, RGB(0, 0, 255)));
        ASSERT_EQ(20, picture.width);
        ASSERT_EQ(20, picture.height);
        const POINT at = places[placement];
        EXPECT_EQ(RGB(255, 0, 0), ColourAt(picture, at.x, at.y));
        EXPECT_EQ(RGB(255, 0, 0), ColourAt(picture, at.x + 9, at.y + 9));
        if (at.x > 0) {
            EXPECT_EQ(RGB(0, 0, 255), ColourAt(picture, at.x - 1, at.y));
        }
        if (at.y + 10 < 20) {
            EXPECT_EQ(RGB(0, 0, 255), ColourAt(picture, at.x, at.y + 10));
        }
    }
}

TEST(ResizeCanvas, CutsKeepsDepthPaletteAlphaAndResolution)
{
    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 10, 10, 32, 9));
    picture.dpiX = 300;
    picture.dpiY = 150;
    NImageBuffer original;
    ASSERT_TRUE(original.Copy(picture));
    ASSERT_TRUE(ResizeCanvas(picture, 4, 4, 0, 0));
    EXPECT_EQ(32, picture.bpp);
    EXPECT_EQ(300, picture.dpiX);
    EXPECT_EQ(150, picture.dpiY);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            EXPECT_EQ(RawAt(original, x, y), RawAt(picture, x, y)) << "alpha is copied too";
    ASSERT_TRUE(picture.Copy(original));
    ASSERT_TRUE(ResizeCanvas(picture, 6, 12, 8, 0));
    EXPECT_EQ(RawAt(original, 9, 9), RawAt(picture, 5, 11));
    EXPECT_EQ(RawAt(original, 4, 0), RawAt(picture, 0, 2));

    // A palette picture keeps its palette and indices.
    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 8, 8));
    SetRaw(grey, 0, 0, 17);
    ASSERT_TRUE(ResizeCanvas(grey, 10, 10, 8, RGB(255, 255, 255)));
    EXPECT_EQ(8, grey.bpp);
    EXPECT_EQ(17u, RawAt(grey, 2, 2));
    EXPECT_EQ(255u, RawAt(grey, 0, 0));
    EXPECT_EQ(17, grey.palette[17][0]);

    const auto before = Snapshot(grey);
    EXPECT_FALSE(ResizeCanvas(grey, 10, 10, 4, 0)) << "same size";
    EXPECT_FALSE(ResizeCanvas(grey, 0, 10, 4, 0));
    EXPECT_FALSE(ResizeCanvas(grey, 10, -3, 4, 0));
    EXPECT_EQ(before, Snapshot(grey));
    NImageBuffer empty;
    EXPECT_FALSE(ResizeCanvas(empty, 10, 10, 4, 0));
}
