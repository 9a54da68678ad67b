// Sharpening and blur compositions.
#include <gtest/gtest.h>

#include "effects/BlurCompositions.h"
#include "effects/EffectTestPictures.h"
#include "effects/StackBlur.h"
#include "imaging/PixelReference.h"

using namespace effecttest;

TEST(BlurCompositions, UnsharpMaskMatchesImageMagick)
{
    // ImageMagick: own + d * 0.5 where |own - mean5| >= 3, against its exact 5 x 5 mean (ours
    // truncates the mean, so d may be one higher).
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer picture;
        ASSERT_TRUE(LoadReferencePicture(picture, bpp));
        ASSERT_TRUE(UnsharpMask(picture, 1, 0.5f, 3));
        EXPECT_LE(effecttest::WorstDifference(picture, RawBytes(L"unsharp-a05-t3"), 2), 2);
        if (bpp == 32) {
            for (int x = 0; x < kReferenceWidth; ++x)
                EXPECT_EQ(0x80 + x, AlphaAt(picture, x, 5)) << "the 5 x 5 mean keeps alpha, so d is 0";
        }
    }
}

TEST(BlurCompositions, UnsharpMaskRangesAndThreshold)
{
    NImageBuffer picture;
    ASSERT_TRUE(LoadReferencePicture(picture, 24));
    const auto before = Snapshot(picture);
    const struct {
        int passes;
        float amount;
        int threshold;
    } refused[] = {{0, 0.5f, 3}, {1, 1.5f, 3}, {1, -0.1f, 3}, {1, 0.5f, 300}, {1, 0.5f, -1}};
    for (const auto& r : refused)
        EXPECT_FALSE(UnsharpMask(picture, r.passes, r.amount, r.threshold));
    // No byte differs from its blurred value by 255, and amount 0 changes nothing.
    EXPECT_TRUE(UnsharpMask(picture, 2, 1.0f, 255));
    EXPECT_TRUE(UnsharpMask(picture, 1, 0.0f, 0));
    EXPECT_EQ(before, Snapshot(picture));

    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 8, 8));
    EXPECT_FALSE(UnsharpMask(grey, 1, 0.5f, 3));
    EXPECT_FALSE(SmoothSharpen(grey));

    // More passes blur more, so they sharpen more.
    NImageBuffer once, thrice;
    ASSERT_TRUE(LoadReferencePicture(once, 24));
    ASSERT_TRUE(thrice.Copy(once));
    ASSERT_TRUE(UnsharpMask(once, 1, 1.0f, 0));
    ASSERT_TRUE(UnsharpMask(thrice, 3, 1.0f, 0));
    EXPECT_NE(Snapshot(once), Snapshot(thrice));
    EXPECT_TRUE(SmoothSharpen(once));
}

TEST(BlurCompositions, HardLightOfTheOwnLuma)
{
    // (200, 100, 50): luma 124; with spread 1 blue blends 122, green 124 and red 125 over the
    // unblurred picture: hard light gives 48, 97 and 196.
    const struct {
        COLORREF in;
        int spread;
        COLORREF out;
    } cases[] = {
        {RGB(200, 100, 50), 1, RGB(196, 97, 48)},
        {RGB(200, 100, 50), 0, RGB(195, 97, 49)},
        // Spread 100: blue blends 0, red twice the luma (248); 250 counts as 100.
        {RGB(200, 100, 50), 100, RGB(252, 97, 0)},
        {RGB(200, 100, 50), 250, RGB(252, 97, 0)},
        {RGB(0, 0, 0), 1, RGB(0, 0, 0)},
        // Red blends 257: 256 and more give 255.
        {RGB(255, 255, 255), 1, RGB(255, 255, 255)},
        // Luma 195 is above 127: 255 - hard light of the complements.
        {RGB(180, 200, 210), 0, RGB(220, 229, 234)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.spread);
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, 3, 3, 32, c.in, 66));
        ASSERT_TRUE(HardLightBlend(picture, 0, 0, c.spread));
        EXPECT_EQ(c.out, ColourAt(picture, 1, 1));
        EXPECT_EQ(66, AlphaAt(picture, 1, 1));
    }
}

TEST(BlurCompositions, SoftFocusScreensTheSharpPictureOverTheBlurredOne)
{
    // One grey of 100: blurring changes nothing, the screen gives 255 - 155 * 155 / 255 = 161.
    NImageBuffer picture;
    ASSERT_TRUE(MakeSolid(picture, 6, 6, 24, RGB(100, 100, 100)));
    ASSERT_TRUE(SoftFocusScreen(picture, 3, 0, 0));
    EXPECT_EQ(RGB(161, 161, 161), ColourAt(picture, 2, 2));
    // Brightness 56 on the blurred one: 255 - 155 * 99 / 255 = 195.
    ASSERT_TRUE(MakeSolid(picture, 6, 6, 24, RGB(100, 100, 100)));
    ASSERT_TRUE(SoftFocusScreen(picture, 3, 56, 0));
    EXPECT_EQ(RGB(195, 195, 195), ColourAt(picture, 2, 2));
}

TEST(BlurCompositions, TiltShiftKeepsItsBandSharp)
{
    // 600 rows with top and bottom 0: the band is rows 400..499; above row 300 and below row 600
    // everything is blurred.
    NImageBuffer picture, sharp;
    ASSERT_TRUE(MakeNoise(picture, 48, 600, 24, 12));
    ASSERT_TRUE(sharp.Copy(picture));
    ASSERT_TRUE(sharp.AdjustContrast(0));
    ASSERT_TRUE(sharp.AdjustSaturation(0));
    NImageBuffer turned;
    ASSERT_TRUE(turned.Copy(picture));

    ASSERT_TRUE(TiltShift(picture, 4, 12, 0, 0, 0, 0, 0, 0.0));
    for (int y : {400, 450, 499})
        for (int x = 0; x < 48; ++x)
            ASSERT_EQ(RawAt(sharp, x, y), RawAt(picture, x, y)) << x << "," << y;
    int changed = 0;
    for (int x = 0; x < 48; ++x)
        changed += RawAt(sharp, x, 100) != RawAt(picture, x, 100);
    EXPECT_GT(changed, 40);

    // A band around the middle row, turned by 30 degrees about the middle: the middle stays
    // sharp, row 100 is far outside the band.
    ASSERT_TRUE(TiltShift(turned, 4, 12, 0, 250, 350, 0, 0, 30.0));
    EXPECT_EQ(RawAt(sharp, 24, 300), RawAt(turned, 24, 300));
    EXPECT_EQ(RawAt(sharp, 20, 302), RawAt(turned, 20, 302));
    int blurred = 0;
    for (int x = 0; x < 48; ++x)
        blurred += RawAt(sharp, x, 100) != RawAt(turned, x, 100);
    EXPECT_GT(blurred, 40);
}

TEST(BlurCompositions, FocusRectangleIsSharpInsideAndBlurredOutside)
{
    NImageBuffer picture, blurred;
    ASSERT_TRUE(MakeNoise(picture, 80, 60, 24, 13));
    ASSERT_TRUE(blurred.Copy(picture));
    ASSERT_TRUE(StackBlur(blurred, 5));
    NImageBuffer original;
    ASSERT_TRUE(original.Copy(picture));

    ASSERT_TRUE(FocusRectangle(picture, 20, 10, 40, 30, 5));
    EXPECT_EQ(RawAt(blurred, 5, 5), RawAt(picture, 5, 5));
    EXPECT_EQ(RawAt(blurred, 70, 50), RawAt(picture, 70, 50));
    // At the centre the mask is white: the sharpened cut-out, far from the blurred value.
    int sharper = 0;
    for (int x = 37; x < 43; ++x) {
        const int sharpness = std::abs(static_cast<int>(RawAt(picture, x, 25) & 255) - static_cast<int>(RawAt(blurred, x, 25) & 255));
        sharper += sharpness > 10;
    }
    EXPECT_GE(sharper, 4);

    // A rectangle outside the picture is refused and changes nothing.
    ASSERT_TRUE(picture.Copy(original));
    EXPECT_FALSE(FocusRectangle(picture, 80, 0, 10, 10, 5));
    EXPECT_FALSE(FocusRectangle(picture, 10, 10, 0, 10, 5));
    EXPECT_EQ(Snapshot(original), Snapshot(picture));
    // One partly outside is cut to the picture.
    EXPECT_TRUE(FocusRectangle(picture, -20, -20, 60, 50, 5));
}
