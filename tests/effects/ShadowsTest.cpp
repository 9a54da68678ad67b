// Drop shadows and glowing edges.
#include <gtest/gtest.h>

#include <algorithm>

#include "effects/EffectTestPictures.h"
#include "effects/Shadows.h"

using namespace effecttest;

namespace {

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

int Grey(const NImageBuffer& picture, int x, int y)
{
    return GetRValue(ColourAt(picture, x, y));
}

// The picture lies unchanged at (x, y).
void ExpectPictureAt(const NImageBuffer& result, const NImageBuffer& original, int x, int y)
{
    for (int py = 0; py < original.height; ++py)
        for (int px = 0; px < original.width; ++px)
            ASSERT_EQ(ColourAt(original, px, py), ColourAt(result, x + px, y + py)) << px << "," << py;
}

}  // namespace

TEST(Shadows, SimpleShadowFallsToTheRightAndBelow)
{
    NImageBuffer original, picture;
    ASSERT_TRUE(MakeNoise(original, 20, 10, 32, 1));
    ASSERT_TRUE(picture.Copy(original));
    ASSERT_TRUE(SimpleShadow(picture, kBlack, kWhite, 8, 4));
    EXPECT_EQ(24, picture.bpp);
    EXPECT_EQ(36, picture.width);
    EXPECT_EQ(26, picture.height);
    ExpectPictureAt(picture, original, 8, 8);
    // Two pixels right of the picture is darker than two pixels left of it; below than above.
    EXPECT_LT(Grey(picture, 30, 13), Grey(picture, 5, 13) - 40);
    EXPECT_LT(Grey(picture, 18, 20), Grey(picture, 18, 5) - 40);
    EXPECT_GT(Grey(picture, 0, 0), 240);

    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 4, 4));
    EXPECT_FALSE(SimpleShadow(grey, kBlack, kWhite, 8, 4));
    EXPECT_EQ(4, grey.width);
}

TEST(Shadows, DropShadowDirectionFollowsTheAngle)
{
    // 40 x 30 red, blur 0 (sharp shadow), distance 5: a 10-pixel border; the picture at (10, 10).
    const struct {
        int angle;
        int dx, dy;
    } cases[] = {{0, -5, 5}, {45, -5, 5}, {90, -5, -5}, {135, -5, -5}, {180, 5, -5}, {269, 5, -5},
                 {270, 5, 5}, {315, 5, 5}, {359, 5, 5}, {360, 0, 0}, {-1, 0, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.angle);
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(40, 30, 24, kRed));
        ASSERT_TRUE(DropShadow(picture, kBlack, kWhite, c.angle, 0, 100, 5, false, kMagenta));
        ASSERT_EQ(60, picture.width);
        ASSERT_EQ(50, picture.height);
        EXPECT_EQ(kRed, ColourAt(picture, 10, 10));
        EXPECT_EQ(kRed, ColourAt(picture, 49, 39));
        // The shadow's far corner, and the same place mirrored to the other side of the picture.
        const int x = c.dx > 0 ? 49 + c.dx : 10 + c.dx, y = c.dy > 0 ? 39 + c.dy : 10 + c.dy;
        const int mirrorX = c.dx > 0 ? 10 - c.dx : 49 - c.dx, mirrorY = c.dy > 0 ? 10 - c.dy : 39 - c.dy;
        if (c.dx != 0) {
            EXPECT_EQ(kBlack, ColourAt(picture, x, y));
            EXPECT_EQ(kWhite, ColourAt(picture, mirrorX, mirrorY));
        } else {
            EXPECT_EQ(kWhite, ColourAt(picture, 9, 9));
            EXPECT_EQ(kWhite, ColourAt(picture, 50, 40));
        }
    }
}

TEST(Shadows, DropShadowOpacityMixesShadowAndBackground)
{
    const struct {
        int opacity;
        COLORREF expected;
    } cases[] = {{100, RGB(0, 0, 0)}, {0, RGB(255, 255, 255)}, {50, RGB(128, 128, 128)}, {150, RGB(0, 0, 0)},
                 {-50, RGB(255, 255, 255)}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.opacity);
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(20, 20, 24, kRed));
        ASSERT_TRUE(DropShadow(picture, kBlack, kWhite, 315, 0, c.opacity, 3, false, kMagenta));
        EXPECT_EQ(c.expected, ColourAt(picture, 27, 27));
    }
}

TEST(Shadows, DropShadowPathsAndKeyColour)
{
    // Blur 10 and distance 4: a border of 8 + 25 on every side.
    NImageBuffer small, large;
    ASSERT_TRUE(small.Create(150, 150, 24, kRed));
    ASSERT_TRUE(large.Create(300, 250, 24, kRed));
    SetRaw(small, 3, 3, 0xFF00FF);
    SetRaw(large, 3, 3, 0xFF00FF);
    ASSERT_TRUE(DropShadow(small, kBlack, kWhite, 315, 10, 100, 4, true, kMagenta));
    ASSERT_TRUE(DropShadow(large, kBlack, kWhite, 315, 10, 100, 4, true, kMagenta));
    EXPECT_EQ(216, small.width);
    EXPECT_EQ(216, small.height);
    EXPECT_EQ(366, large.width);
    EXPECT_EQ(316, large.height);
    // Pictures of 200 pixels or less take the silhouette path, where the key colour is a hole
    // that shows the background (here with the soft edge of the shadow); the box path draws the
    // picture as it is.
    const COLORREF hole = ColourAt(small, 36, 36);
    EXPECT_EQ(GetRValue(hole), GetGValue(hole));
    EXPECT_EQ(GetRValue(hole), GetBValue(hole));
    EXPECT_GT(GetRValue(hole), 150);
    EXPECT_EQ(kMagenta, ColourAt(large, 36, 36));
    EXPECT_EQ(kRed, ColourAt(large, 33, 33));
    EXPECT_EQ(kRed, ColourAt(large, 332, 282));

    for (NImageBuffer* picture : {&small, &large}) {
        const int w = picture->width, h = picture->height;
        EXPECT_EQ(kWhite, ColourAt(*picture, 0, 0));
        // Right of and below the picture the shadow is darker than left of and above it.
        EXPECT_LT(Grey(*picture, w - 31, h / 2), Grey(*picture, 30, h / 2) - 40);
        EXPECT_LT(Grey(*picture, w / 2, h - 31), Grey(*picture, w / 2, 30) - 40);
        EXPECT_GT(Grey(*picture, w - 1, h / 2), Grey(*picture, w - 31, h / 2));
    }
}

TEST(Shadows, DropShadowWithAlphaHoldsPictureAndShadowInAlpha)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(40, 30, 24, kRed));
    EXPECT_FALSE(DropShadowWithAlpha(picture, kBlack, kWhite, RGB(0, 0, 255), 0));
    EXPECT_EQ(24, picture.bpp);
    EXPECT_EQ(40, picture.width);

    ASSERT_TRUE(DropShadowWithAlpha(picture, kBlack, kWhite, RGB(0, 0, 255), 5));
    EXPECT_EQ(32, picture.bpp);
    EXPECT_EQ(40 + 10 + 66, picture.width);
    EXPECT_EQ(30 + 10 + 66, picture.height);
    // The picture at 5 + 33, its canvas colour around it, all opaque.
    EXPECT_EQ(kRed, ColourAt(picture, 38, 38));
    EXPECT_EQ(255, AlphaAt(picture, 38, 38));
    EXPECT_EQ(RGB(0, 0, 255), ColourAt(picture, 34, 34));
    EXPECT_EQ(255, AlphaAt(picture, 34, 34));
    EXPECT_EQ(0, AlphaAt(picture, 0, 0));
    // The soft shadow below and to the right: partly transparent, fading outwards.
    const int a1 = AlphaAt(picture, 60, 33 + 40 + 3), a2 = AlphaAt(picture, 60, 33 + 40 + 12);
    EXPECT_GT(a1, 0);
    EXPECT_LT(a1, 255);
    EXPECT_LT(a2, a1);

    // Palette pictures work too.
    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 10, 10));
    ASSERT_TRUE(DropShadowWithAlpha(grey, kBlack, kWhite, kWhite, 1));
    EXPECT_EQ(32, grey.bpp);
    EXPECT_EQ(10 + 2 + 66, grey.width);
    EXPECT_EQ(RGB(128, 128, 128), ColourAt(grey, 34, 34));
}

TEST(Shadows, GlowingEdgesLightUpOnlyTheEdges)
{
    // A light square far from the borders of a black picture.
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(160, 160, 24, kBlack));
    const NImageRect square{40, 40, 80, 80};
    ASSERT_TRUE(picture.FillRect(&square, RGB(200, 200, 200)));
    NImageBuffer copy;
    ASSERT_TRUE(copy.Copy(picture));

    ASSERT_TRUE(GlowingEdges(picture, 10, 3));
    EXPECT_EQ(kBlack, ColourAt(picture, 2, 80)) << "flat areas have no outline";
    EXPECT_EQ(kBlack, ColourAt(picture, 80, 80));
    int brightest = 0;
    for (int x = 20; x < 60; ++x)
        brightest = std::max(brightest, Grey(picture, x, 80));
    EXPECT_GT(brightest, 10) << "the edge glows";

    ASSERT_TRUE(GlowingEdges(copy, 10, 0));
    for (int x = 0; x < 160; x += 3)
        EXPECT_EQ(kBlack, ColourAt(copy, x, 80)) << "factor 0 gives black";

    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 4, 4));
    EXPECT_FALSE(GlowingEdges(grey, 10, 3));
}
