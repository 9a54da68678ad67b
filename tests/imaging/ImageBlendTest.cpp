// Blits, alpha blending, premultiplied alpha and blending through a mask.
#include "imaging/NImageBuffer.h"

#include "ImageTestPixels.h"

#include <gtest/gtest.h>

#include <vector>

using namespace imagetest;

namespace {

uint32_t Bgra(int b, int g, int r, int a)
{
    return static_cast<uint32_t>(b | (g << 8) | (r << 16) | (a << 24));
}

void ExpectColourNear(COLORREF expected, COLORREF actual, int tolerance, const char* where)
{
    EXPECT_NEAR(GetRValue(expected), GetRValue(actual), tolerance) << where;
    EXPECT_NEAR(GetGValue(expected), GetGValue(actual), tolerance) << where;
    EXPECT_NEAR(GetBValue(expected), GetBValue(actual), tolerance) << where;
}

}  // namespace

TEST(ImageBlend, PremultiplyAndUnpremultiply)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(5, 1, 32, 0));
    SetRaw(image, 0, 0, Bgra(200, 100, 50, 128));
    SetRaw(image, 1, 0, Bgra(10, 20, 30, 0));
    SetRaw(image, 2, 0, Bgra(10, 20, 30, 255));
    ASSERT_TRUE(image.PremultiplyAlpha());
    EXPECT_EQ(Bgra(100, 50, 25, 128), RawAt(image, 0, 0));
    EXPECT_EQ(Bgra(0, 0, 0, 0), RawAt(image, 1, 0));
    EXPECT_EQ(Bgra(10, 20, 30, 255), RawAt(image, 2, 0));

    SetRaw(image, 1, 0, Bgra(10, 20, 30, 0));
    // Not premultiplied: colour bytes above their alpha saturate instead of wrapping.
    SetRaw(image, 3, 0, Bgra(200, 100, 50, 100));
    SetRaw(image, 4, 0, Bgra(255, 1, 2, 1));
    ASSERT_TRUE(image.UnpremultiplyAlpha());
    EXPECT_EQ(Bgra(199, 99, 49, 128), RawAt(image, 0, 0));
    EXPECT_EQ(Bgra(10, 20, 30, 0), RawAt(image, 1, 0));
    EXPECT_EQ(Bgra(10, 20, 30, 255), RawAt(image, 2, 0));
    EXPECT_EQ(Bgra(255, 255, 127, 100), RawAt(image, 3, 0));
    EXPECT_EQ(Bgra(255, 255, 255, 1), RawAt(image, 4, 0));

    NImageBuffer rgb;
    ASSERT_TRUE(rgb.Create(2, 2, 24, RGB(1, 2, 3)));
    EXPECT_FALSE(rgb.PremultiplyAlpha());
    EXPECT_FALSE(rgb.UnpremultiplyAlpha());
    EXPECT_EQ(RGB(1, 2, 3), ColourAt(rgb, 0, 0));
}

TEST(ImageBlend, HasAlpha)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(4, 3, 24, RGB(255, 255, 255)));
    EXPECT_FALSE(image.HasAlpha());
    ASSERT_TRUE(image.Create(4, 3, 32, RGB(255, 255, 255)));
    EXPECT_FALSE(image.HasAlpha());
    SetRaw(image, 3, 2, Bgra(0, 0, 0, 1));
    EXPECT_TRUE(image.HasAlpha());
    NImageBuffer empty;
    EXPECT_FALSE(empty.HasAlpha());
}

TEST(ImageBlend, BlendThroughMaskWeightsAndClips)
{
    NImageBuffer target;
    ASSERT_TRUE(target.Create(30, 4, 32, 0));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 30; ++x)
            SetRaw(target, x, y, Bgra(0, 255, 10, 77));
    NImageBuffer source;
    ASSERT_TRUE(source.Create(20, 3, 24, 0));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 20; ++x)
            SetRaw(source, x, y, Bgra(255, 0, x, 0));  // red byte = source column
    NImageBuffer mask;
    ASSERT_TRUE(mask.Create(20, 3, 8, RGB(128, 128, 128), GreyPaletteRgb().data()));
    SetRaw(mask, 5, 0, 0);
    SetRaw(mask, 6, 0, 255);

    ASSERT_TRUE(target.BlendThroughMask(source, mask, -5, 1));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 30; ++x) {
            uint32_t raw = RawAt(target, x, y);
            SCOPED_TRACE(testing::Message() << x << "," << y);
            ASSERT_EQ(77u, raw >> 24);  // destination alpha untouched
            if (y == 0 || x >= 15) {
                ASSERT_EQ(Bgra(0, 255, 10, 77), raw);
                continue;
            }
            int column = x + 5;
            if (y == 1 && column == 5) {
                ASSERT_EQ(Bgra(0, 255, 10, 77), raw);
            } else if (y == 1 && column == 6) {
                ASSERT_EQ(Bgra(255, 0, 6, 77), raw);
            } else {
                // 0 + 255 * 128 / 255 = 128; 255 - 255 * 128 / 255 = 127; 10 + (c - 10) * 128 / 255.
                ASSERT_EQ(Bgra(128, 127, 10 + (column - 10) * 128 / 255, 77), raw);
            }
        }
}

TEST(ImageBlend, BlendThroughMaskRefusals)
{
    NImageBuffer target, source, mask, small;
    ASSERT_TRUE(target.Create(10, 10, 24, 0));
    ASSERT_TRUE(source.Create(4, 4, 24, RGB(255, 255, 255)));
    ASSERT_TRUE(mask.Create(4, 4, 24, RGB(255, 255, 255)));
    ASSERT_TRUE(small.Create(3, 4, 24, 0));

    EXPECT_FALSE(small.BlendThroughMask(source, mask, 0, 0));         // source wider than the picture
    EXPECT_FALSE(target.BlendThroughMask(source, small, 0, 0));       // mask of another size
    EXPECT_FALSE(target.BlendThroughMask(source, mask, 10, 0));       // starts at the right edge
    EXPECT_FALSE(target.BlendThroughMask(source, mask, 0, 10));       // starts at the bottom edge
    EXPECT_FALSE(target.BlendThroughMask(source, mask, -4, 0));       // no source column left
    EXPECT_FALSE(target.BlendThroughMask(source, mask, 0, -4));
    NImageBuffer mono;
    ASSERT_TRUE(mono.Create(4, 4, 1, RGB(255, 255, 255), GreyPaletteRgb().data()));
    EXPECT_FALSE(target.BlendThroughMask(source, mono, 0, 0));        // masks are read a byte per pixel
    NImageBuffer paletteTarget;
    ASSERT_TRUE(paletteTarget.Create(10, 10, 8, 0, GreyPaletteRgb().data()));
    EXPECT_FALSE(paletteTarget.BlendThroughMask(source, mask, 0, 0));
    NImageBuffer empty;
    EXPECT_FALSE(target.BlendThroughMask(empty, mask, 0, 0));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(target, 0, 0));

    // Running past the right and bottom edges is cut off.
    ASSERT_TRUE(target.BlendThroughMask(source, mask, 8, 8));
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 9, 9));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(target, 7, 9));
}

TEST(ImageBlend, BlitsIntoAnotherPicture)
{
    NImageBuffer source;
    ASSERT_TRUE(source.Create(2, 2, 24, RGB(200, 0, 0)));
    SetRaw(source, 1, 1, 0x0000FF00);  // bottom-right green
    NImageBuffer target;
    ASSERT_TRUE(target.Create(6, 6, 24, 0));

    EXPECT_FALSE(source.BlitTo(nullptr, 0, 0, SRCCOPY));
    ASSERT_TRUE(source.BlitTo(target.dc, 1, 2, SRCCOPY));
    GdiFlush();
    EXPECT_EQ(RGB(200, 0, 0), ColourAt(target, 1, 2));
    EXPECT_EQ(RGB(0, 255, 0), ColourAt(target, 2, 3));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(target, 3, 3));

    ASSERT_TRUE(source.StretchBlitTo(target.dc, 0, 0, 4, 4, SRCCOPY));
    GdiFlush();
    EXPECT_EQ(RGB(0, 255, 0), ColourAt(target, 3, 3));
    EXPECT_EQ(RGB(0, 255, 0), ColourAt(target, 2, 2));
    EXPECT_EQ(RGB(200, 0, 0), ColourAt(target, 1, 3));

    ASSERT_TRUE(source.StretchBlitRectTo(target.dc, 0, 0, 6, 6, 1, 1, 1, 1, SRCCOPY));
    GdiFlush();
    EXPECT_EQ(RGB(0, 255, 0), ColourAt(target, 0, 0));

    NImageBuffer empty;
    EXPECT_FALSE(empty.BlitTo(target.dc, 0, 0, SRCCOPY));
    EXPECT_FALSE(empty.StretchBlitTo(target.dc, 0, 0, 2, 2, SRCCOPY));
}

TEST(ImageBlend, BlitRotatedDrawsAndAnswers)
{
    NImageBuffer source;
    ASSERT_TRUE(source.Create(4, 3, 24, RGB(255, 0, 0)));
    NImageBuffer target;
    ASSERT_TRUE(target.Create(20, 20, 24, 0));
    ASSERT_TRUE(source.BlitRotated(target.dc, 5, 5, 0.0));
    GdiFlush();
    EXPECT_EQ(RGB(255, 0, 0), ColourAt(target, 5, 5));
    EXPECT_EQ(RGB(255, 0, 0), ColourAt(target, 8, 7));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(target, 9, 5));
    EXPECT_TRUE(source.BlitRotated(target.dc, 5, 5, 30.0));
    EXPECT_EQ(GM_COMPATIBLE, GetGraphicsMode(target.dc));  // the DC is restored
    NImageBuffer empty;
    EXPECT_FALSE(empty.BlitRotated(target.dc, 0, 0, 30.0));
}

TEST(ImageBlend, AlphaBlendWithConstantAndPixelAlpha)
{
    NImageBuffer target;
    ASSERT_TRUE(target.Create(4, 1, 24, RGB(255, 255, 255)));
    NImageBuffer solid;
    ASSERT_TRUE(solid.Create(2, 1, 24, RGB(0, 0, 0)));
    ASSERT_NE(0, AlphaBlendImage(target.dc, 0, 0, solid, 128, 0));
    GdiFlush();
    ExpectColourNear(RGB(127, 127, 127), ColourAt(target, 1, 0), 1, "constant alpha");
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 2, 0));

    ASSERT_NE(0, AlphaBlendImageStretched(target.dc, 0, 0, 4, 1, solid, 255, 0));
    GdiFlush();
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(target, 3, 0));

    // Per-pixel alpha of an already premultiplied picture.
    NImageBuffer premultiplied;
    ASSERT_TRUE(premultiplied.Create(1, 1, 32, 0));
    SetRaw(premultiplied, 0, 0, Bgra(25, 50, 100, 128));
    ASSERT_TRUE(target.Fill(RGB(255, 255, 255)));
    ASSERT_NE(0, AlphaBlendDC(target.dc, 2, 0, 1, 1, premultiplied.dc, 0, 0, 1, 1, 255, AC_SRC_ALPHA));
    GdiFlush();
    ExpectColourNear(RGB(227, 177, 152), ColourAt(target, 2, 0), 1, "per-pixel alpha");
}

TEST(ImageBlend, AlphaStretchBlendImage)
{
    // A 24-bpp source is stretched as it is, whatever the alpha arguments.
    NImageBuffer source24;
    ASSERT_TRUE(source24.Create(2, 2, 24, RGB(0, 0, 200)));
    NImageBuffer target;
    ASSERT_TRUE(target.Create(6, 6, 24, RGB(255, 255, 255)));
    AlphaStretchBlendImage(target.dc, 1, 1, 4, 4, source24, 0, 0, 2, 2, 0, AC_SRC_ALPHA);
    GdiFlush();
    EXPECT_EQ(RGB(0, 0, 200), ColourAt(target, 1, 1));
    EXPECT_EQ(RGB(0, 0, 200), ColourAt(target, 4, 4));
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 5, 5));

    // A 32-bpp source is premultiplied on a copy; the source stays straight.
    NImageBuffer source32;
    ASSERT_TRUE(source32.Create(3, 1, 32, 0));
    SetRaw(source32, 0, 0, Bgra(0, 0, 200, 255));
    SetRaw(source32, 1, 0, Bgra(0, 0, 200, 128));
    SetRaw(source32, 2, 0, Bgra(0, 0, 200, 0));
    ASSERT_TRUE(target.Fill(RGB(255, 255, 255)));
    AlphaStretchBlendImage(target.dc, 0, 0, 3, 1, source32, 0, 0, 3, 1, 255, AC_SRC_ALPHA);
    GdiFlush();
    EXPECT_EQ(RGB(200, 0, 0), ColourAt(target, 0, 0));
    ExpectColourNear(RGB(227, 127, 127), ColourAt(target, 1, 0), 1, "half");
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 2, 0));
    EXPECT_EQ(Bgra(0, 0, 200, 128), RawAt(source32, 1, 0));
}

TEST(ImageBlend, AlphaBlendImageInto)
{
    NImageBuffer source;
    ASSERT_TRUE(source.Create(2, 2, 32, 0));
    SetRaw(source, 0, 0, Bgra(50, 100, 200, 128));
    SetRaw(source, 1, 0, Bgra(50, 100, 200, 255));
    SetRaw(source, 0, 1, Bgra(50, 100, 200, 0));
    SetRaw(source, 1, 1, Bgra(0, 0, 0, 255));
    NImageBuffer target;
    ASSERT_TRUE(target.Create(4, 4, 24, RGB(255, 255, 255)));
    AlphaBlendImageInto(target, source, 1, 2, 300);  // clamped to 255
    GdiFlush();
    ExpectColourNear(RGB(227, 177, 152), ColourAt(target, 1, 2), 1, "half");
    EXPECT_EQ(RGB(200, 100, 50), ColourAt(target, 2, 2));
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 1, 3));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(target, 2, 3));
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 0, 0));
    EXPECT_EQ(Bgra(50, 100, 200, 128), RawAt(source, 0, 0));

    // Constant alpha scales the whole blend; a 24-bpp source does nothing.
    ASSERT_TRUE(target.Fill(RGB(255, 255, 255)));
    AlphaBlendImageInto(target, source, 0, 0, 0);
    GdiFlush();
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 1, 0));
    NImageBuffer source24;
    ASSERT_TRUE(source24.Create(2, 2, 24, 0));
    AlphaBlendImageInto(target, source24, 0, 0, 255);
    GdiFlush();
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(target, 0, 0));
}
