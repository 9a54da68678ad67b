// Resizing entry points of the picture: size rules, every mode on every depth, alpha, resolution,
// the method-less routes and the scaled drawing.
#include "imaging/NImageBuffer.h"
#include "imaging/SmoothScaler.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

const uint8_t* Pixel(const NImageBuffer& picture, int x, int scanLine)
{
    return picture.bits + static_cast<size_t>(scanLine) * picture.stride + x * (picture.bpp / 8);
}

std::vector<uint8_t> Palette()
{
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i) {
        rgb[i * 3] = static_cast<uint8_t>(i * 7);
        rgb[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        rgb[i * 3 + 2] = static_cast<uint8_t>(i * 3 + 40);
    }
    return rgb;
}

// A picture of one colour at any depth; `expected` receives that colour as blue, green, red.
void Uniform(NImageBuffer& picture, int width, int height, int bpp, uint8_t expected[3])
{
    const std::vector<uint8_t> palette = Palette();
    ASSERT_TRUE(picture.Create(width, height, bpp, 0, bpp <= 8 ? palette.data() : nullptr));
    ASSERT_EQ(bpp, picture.bpp);
    GdiFlush();
    const uint8_t index = bpp == 1 ? 0xFF : bpp == 4 ? 0x33 : 3;  // palette entry 1, 3 or 3
    for (int y = 0; y < height; ++y) {
        uint8_t* row = picture.bits + y * picture.stride;
        if (bpp <= 8)
            memset(row, index, picture.stride);
        for (int x = 0; x < width; ++x) {
            switch (bpp) {
            case 16: row[x * 2] = 0x4A, row[x * 2 + 1] = 0x2D; break;  // 5-5-5 (11, 10, 10)
            case 24: row[x * 3] = 30, row[x * 3 + 1] = 140, row[x * 3 + 2] = 220; break;
            case 32: row[x * 4] = 30, row[x * 4 + 1] = 140, row[x * 4 + 2] = 220, row[x * 4 + 3] = 255; break;
            default: break;
            }
        }
    }
    ASSERT_TRUE(ReadRowAs24(expected, picture.bits, 1, picture.bpp, palette.data()));
}

// A 24- or 32-bit picture whose bytes follow a fixed pattern.
void Pattern(NImageBuffer& picture, int width, int height, int bpp)
{
    ASSERT_TRUE(picture.Create(width, height, bpp, 0));
    GdiFlush();
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < width * bpp / 8; ++i)
            picture.bits[y * picture.stride + i] = static_cast<uint8_t>(y * 29 + i * 13 + (i * y) % 7);
}

bool SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    GdiFlush();
    if (!a.valid || !b.valid || a.width != b.width || a.height != b.height || a.bpp != b.bpp)
        return false;
    for (int y = 0; y < a.height; ++y)
        if (memcmp(a.bits + y * a.stride, b.bits + y * b.stride, static_cast<size_t>(a.width) * a.bpp / 8) != 0)
            return false;
    return true;
}

// 32-bit picture: left half opaque red, right half transparent white.
void RedBesideTransparentWhite(NImageBuffer& picture, int width, int height)
{
    ASSERT_TRUE(picture.Create(width, height, 32, 0));
    GdiFlush();
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t* p = picture.bits + y * picture.stride + x * 4;
            const bool red = x < width / 2;
            p[0] = red ? 0 : 255;
            p[1] = red ? 0 : 255;
            p[2] = 255;
            p[3] = red ? 255 : 0;
        }
}

}  // namespace

TEST(Resize, SizeRules)
{
    struct Case {
        int width, height;      // picture
        int w, h, mode;         // request; mode -1: the method-less resize
        bool keepAspect;
        int expectedWidth, expectedHeight;
    };
    const Case cases[] = {
        {100, 50, 0, 0, 0, false, 1, 1},
        {100, 50, 0, 0, -1, false, 10, 10},
        {100, 50, 200, 200, 9, true, 200, 100},
        {100, 50, 10, 200, 9, true, 10, 5},
        {1000, 10, 1, 1000, 0, true, 1, 1},
        {1000, 10, 1, 1000, 5, true, 1, 1},
        {64, 48, 64, 48, 3, true, 64, 48},
    };
    for (const Case& c : cases) {
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(c.width, c.height, 24, RGB(1, 2, 3)));
        const bool done = c.mode < 0 ? picture.ResizeImage(c.w, c.h) : picture.ResizeImage(c.w, c.h, c.mode, c.keepAspect);
        EXPECT_TRUE(done);
        EXPECT_EQ(c.expectedWidth, picture.width) << c.w << "x" << c.h << " mode " << c.mode;
        EXPECT_EQ(c.expectedHeight, picture.height) << c.w << "x" << c.h << " mode " << c.mode;
    }

    NImageBuffer picture, destination;
    ASSERT_TRUE(picture.Create(20, 10, 24, RGB(1, 2, 3)));
    for (int mode : {-1, 12, 100}) {
        EXPECT_FALSE(picture.ResizeImage(5, 5, mode, false));
        EXPECT_FALSE(picture.ResizeImageInto(destination, 5, 5, mode, false));
    }
    EXPECT_EQ(20, picture.width);
    EXPECT_FALSE(destination.valid);
    NImageBuffer empty;
    EXPECT_FALSE(empty.ResizeImage(5, 5, 0, false));
    EXPECT_FALSE(empty.ResizeImage(5, 5));
    EXPECT_FALSE(empty.ResizeImageReturnNew(destination, 5, 5));
}

TEST(Resize, EveryModeOnEveryDepthKeepsColourAndResolution)
{
    // Mode -1: the method-less resize, stretching for the first two sizes and smooth for the third.
    for (int bpp : {1, 4, 8, 16, 24, 32})
        for (int mode = -1; mode < 12; ++mode)
            for (auto [w, h] : {std::pair{17, 41}, std::pair{61, 9}, std::pair{12, 8}}) {
                NImageBuffer picture;
                uint8_t colour[3];
                Uniform(picture, 30, 20, bpp, colour);
                picture.dpiX = 300;
                picture.dpiY = 150;
                const bool done = mode < 0 ? picture.ResizeImage(w, h) : picture.ResizeImage(w, h, mode, false);
                ASSERT_TRUE(done) << bpp << " bpp, mode " << mode;
                ASSERT_EQ(w, picture.width);
                ASSERT_EQ(h, picture.height);
                EXPECT_EQ(bpp == 32 ? 32 : 24, picture.bpp);
                EXPECT_EQ(300, picture.dpiX);
                EXPECT_EQ(150, picture.dpiY);
                // The method-less route may lose one level: the smooth scaler's 12-bit weights of a
                // shrink by 2.5 add up to 4095 and its sums truncate; GDI's stretch under Wine
                // rounds a 1-bpp palette colour down by one.
                const int tolerance = mode < 0 ? 1 : 0;
                for (int y = 0; y < h; ++y)
                    for (int x = 0; x < w; ++x) {
                        const uint8_t* p = Pixel(picture, x, y);
                        for (int c = 0; c < 3; ++c)
                            ASSERT_NEAR(colour[c], p[c], tolerance)
                                << bpp << " bpp, mode " << mode << " at " << x << "," << y << " channel " << c;
                        if (bpp == 32) {
                            ASSERT_NEAR(255, p[3], tolerance) << "mode " << mode;
                        }
                    }
            }
}

TEST(Resize, TransparentEdgesLendNoColour)
{
    for (int mode = -1; mode < 12; ++mode)
        for (auto [w, h] : {std::pair{23, 10}, std::pair{71, 33}}) {
            NImageBuffer picture;
            RedBesideTransparentWhite(picture, 40, 20);
            ASSERT_TRUE(mode < 0 ? picture.ResizeImage(w, h) : picture.ResizeImage(w, h, mode, false));
            ASSERT_EQ(32, picture.bpp) << "mode " << mode;
            bool partial = false;
            for (int y = 0; y < h; ++y)
                for (int x = 0; x < w; ++x) {
                    const uint8_t* p = Pixel(picture, x, y);
                    if (p[3] == 0)
                        continue;
                    partial |= p[3] < 255;
                    ASSERT_LE(p[0], 2) << "mode " << mode << " at " << x << "," << y;
                    ASSERT_LE(p[1], 2) << "mode " << mode << " at " << x << "," << y;
                    ASSERT_GE(p[2], 253) << "mode " << mode << " at " << x << "," << y;
                }
            if (mode != 0 && mode != 5 && mode != 11) {
                EXPECT_TRUE(partial) << "the alpha edge was resampled too, mode " << mode;
            }
            // Far inside the transparent half the colour of the source stays.
            const uint8_t* corner = Pixel(picture, w - 1, 0);
            EXPECT_EQ(0, corner[3]);
            EXPECT_EQ(255, corner[0]);
            EXPECT_EQ(255, corner[1]);
            const uint8_t* left = Pixel(picture, 0, h - 1);
            EXPECT_EQ(255, left[3]);
        }
}

TEST(Resize, HalfTransparentAlphaIsResampledWithTheColour)
{
    for (int mode : {1, 4, 9}) {
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(30, 30, 32, 0));
        GdiFlush();
        for (int i = 0; i < 30 * 30; ++i) {
            uint8_t* p = picture.bits + i * 4;
            p[0] = 200, p[1] = 100, p[2] = 50, p[3] = 128;
        }
        ASSERT_TRUE(picture.ResizeImage(13, 11, mode, false));
        const uint8_t* p = Pixel(picture, 6, 5);
        EXPECT_EQ(128, p[3]) << "mode " << mode;
        EXPECT_NEAR(200, p[0], 1) << "mode " << mode;
        EXPECT_NEAR(100, p[1], 1) << "mode " << mode;
        EXPECT_NEAR(50, p[2], 1) << "mode " << mode;
    }
}

TEST(Resize, ThirtyTwoBitPictureWithoutAlphaKeepsItsColours)
{
    // GDI paints alpha 0: such a picture is plain colour, not transparent black.
    for (int mode : {-1, 0, 2, 4, 9}) {
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(40, 30, 32, RGB(10, 20, 30)));
        ASSERT_TRUE(mode < 0 ? picture.ResizeImage(20, 15) : picture.ResizeImage(20, 15, mode, false)) << mode;
        const uint8_t* p = Pixel(picture, 10, 7);
        EXPECT_EQ((std::vector<int>{p[0], p[1], p[2], p[3]}), (std::vector<int>{30, 20, 10, 0})) << "mode " << mode;
    }
}

TEST(Resize, IntoAnotherPictureLeavesTheSource)
{
    NImageBuffer source;
    uint8_t colour[3];
    Uniform(source, 40, 30, 8, colour);
    source.dpiX = 200;
    source.dpiY = 72;
    NImageBuffer before;
    ASSERT_TRUE(before.Copy(source));
    for (int mode : {0, 4, 9}) {
        NImageBuffer destination;
        ASSERT_TRUE(source.ResizeImageInto(destination, 15, 9, mode, false));
        EXPECT_EQ(8, source.bpp);
        EXPECT_TRUE(SamePixels(source, before));
        EXPECT_EQ(0, memcmp(source.palette, before.palette, sizeof(source.palette)));
        EXPECT_EQ(15, destination.width);
        EXPECT_EQ(9, destination.height);
        EXPECT_EQ(24, destination.bpp);
        EXPECT_EQ(200, destination.dpiX);
        EXPECT_EQ(72, destination.dpiY);
        EXPECT_EQ(0, memcmp(Pixel(destination, 7, 4), colour, 3));
    }
    NImageBuffer copy;
    ASSERT_TRUE(source.ResizeImageInto(copy, 40, 30, 9, true));
    EXPECT_TRUE(SamePixels(copy, source));

    // The same result as resizing in place.
    NImageBuffer pattern, into;
    Pattern(pattern, 33, 21, 24);
    ASSERT_TRUE(pattern.ResizeImageInto(into, 12, 40, 9, false));
    ASSERT_TRUE(pattern.ResizeImage(12, 40, 9, false));
    EXPECT_TRUE(SamePixels(into, pattern));
}

TEST(Resize, MethodLessRoutes)
{
    NImageBuffer source;
    Pattern(source, 100, 100, 24);
    source.dpiX = 300;
    source.dpiY = 300;

    // A smooth shrink goes through the smooth scaler and keeps the resolution.
    NImageBuffer smooth;
    ASSERT_TRUE(smooth.Copy(source));
    ASSERT_TRUE(smooth.ResizeImage(80, 80));
    std::vector<uint8_t> rows(NImageBuffer::StrideFor(80, 24) * 80);
    ScaleBufferVarnok(rows.data(), 80, 80, source.bits, 100, 100, 24, nullptr);
    EXPECT_EQ(0, memcmp(rows.data(), smooth.bits, rows.size()));
    EXPECT_EQ(300, smooth.dpiX);

    // Changes of less than 10 pixels, or shrinking one side and enlarging the other, stretch.
    for (auto [w, h] : {std::pair{95, 50}, std::pair{50, 150}}) {
        NImageBuffer stretched;
        ASSERT_TRUE(stretched.Copy(source));
        ASSERT_TRUE(stretched.ResizeImage(w, h));
        EXPECT_EQ(w, stretched.width);
        EXPECT_EQ(24, stretched.bpp);
        EXPECT_EQ(300, stretched.dpiX) << "the resolution is kept on every route";
    }

    // A 32-bit picture keeps its alpha on the stretching route too.
    NImageBuffer alpha;
    RedBesideTransparentWhite(alpha, 100, 100);
    ASSERT_TRUE(alpha.ResizeImage(95, 50));
    EXPECT_EQ(32, alpha.bpp);
    EXPECT_EQ(255, Pixel(alpha, 0, 0)[3]);
    EXPECT_EQ(0, Pixel(alpha, 94, 0)[3]);

    // Into another picture: only a smooth change counts as done.
    NImageBuffer destination;
    EXPECT_FALSE(source.ResizeImageReturnNew(destination, 95, 95));
    EXPECT_TRUE(SamePixels(destination, source));
    EXPECT_TRUE(source.ResizeImageReturnNew(destination, 80, 80));
    EXPECT_TRUE(SamePixels(destination, smooth));
    EXPECT_EQ(300, destination.dpiY);
    EXPECT_EQ(100, source.width);
    EXPECT_TRUE(source.ResizeImageReturnNew(destination, 100, 100));
    EXPECT_TRUE(SamePixels(destination, source));
}

TEST(Resize, BltImageFiltered)
{
    NImageBuffer picture, canvas, expected;
    Pattern(picture, 60, 40, 24);
    ASSERT_TRUE(expected.Copy(picture));
    ASSERT_TRUE(expected.ResizeImage(30, 20));  // the smooth scaler's rows

    ASSERT_TRUE(canvas.Create(40, 30, 24, RGB(7, 7, 7)));
    ASSERT_TRUE(picture.BltImageFiltered(canvas.dc, 5, 6, 30, 20, 0));
    GdiFlush();
    // Scan line y of the drawing is canvas scan line (30 - 6 - 20) + y.
    for (int y = 0; y < 20; ++y)
        ASSERT_EQ(0, memcmp(Pixel(canvas, 5, 4 + y), Pixel(expected, 0, y), 30 * 3)) << "row " << y;
    EXPECT_EQ(7, Pixel(canvas, 4, 10)[0]) << "nothing outside the rectangle";

    // Red channel as grey.
    ASSERT_TRUE(picture.BltImageFiltered(canvas.dc, 5, 6, 30, 20, 1));
    GdiFlush();
    for (int x = 0; x < 30; ++x) {
        const uint8_t* p = Pixel(canvas, 5 + x, 4);
        EXPECT_EQ(Pixel(expected, x, 0)[2], p[0]);
        EXPECT_EQ(p[0], p[1]);
        EXPECT_EQ(p[0], p[2]);
    }

    // At its own size the picture is copied; an unknown view draws nothing.
    ASSERT_TRUE(canvas.Create(60, 40, 24, RGB(7, 7, 7)));
    EXPECT_FALSE(picture.BltImageFiltered(canvas.dc, 0, 0, 60, 40, 9));
    EXPECT_EQ(7, canvas.bits[0]);
    ASSERT_TRUE(picture.BltImageFiltered(canvas.dc, 0, 0, 60, 40, 0));
    GdiFlush();
    EXPECT_TRUE(SamePixels(canvas, picture));
}
