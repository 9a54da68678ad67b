// Flips, mirrors, quarter turns and EXIF orientation, for every depth.
#include "imaging/NImageBuffer.h"

#include "ImageTestPixels.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <vector>

using namespace imagetest;

namespace {

const int kDepths[] = {1, 4, 8, 16, 24, 32};

// A distinct-as-possible stored value for (x, y) at that depth.
uint32_t ValueFor(int depth, int x, int y)
{
    uint32_t v = static_cast<uint32_t>(x * 7 + y * 13 + 1);
    switch (depth) {
    case 1:
        return (x * 3 + y * 5 + (x * y)) % 2;
    case 4:
        return v % 16;
    case 8:
        return v % 256;
    case 16:
        return (v * 977) & 0x7FFF;
    case 24:
        return (v * 0x010305) & 0xFFFFFF;
    default:
        return v * 0x01020304u;
    }
}

void MakePicture(NImageBuffer& image, int depth, int width, int height)
{
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 768; ++i)
        rgb[i] = static_cast<uint8_t>(i * 7);
    ASSERT_TRUE(image.Create(width, height, depth, 0, rgb.data()));
    ASSERT_EQ(depth, image.bpp);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetRaw(image, x, y, ValueFor(depth, x, y));
}

// Where new pixel (x, y) comes from in the old W x H picture.
using SourceOf = std::function<void(int x, int y, int w, int h, int& sx, int& sy)>;

void ExpectMapping(const NImageBuffer& image, int depth, int oldWidth, int oldHeight, const SourceOf& source)
{
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            int sx = 0, sy = 0;
            source(x, y, oldWidth, oldHeight, sx, sy);
            ASSERT_EQ(ValueFor(depth, sx, sy), RawAt(image, x, y)) << "new " << x << "," << y;
        }
}

}  // namespace

TEST(ImageOrientation, QuarterTurnsOfEveryDepth)
{
    for (int depth : kDepths) {
        for (bool clockwise : {true, false}) {
            SCOPED_TRACE(testing::Message() << depth << " bpp, " << (clockwise ? "clockwise" : "counter-clockwise"));
            NImageBuffer image;
            MakePicture(image, depth, 11, 5);
            uint8_t paletteBefore[256][3];
            memcpy(paletteBefore, image.palette, sizeof(paletteBefore));
            image.dpiX = 72;
            image.dpiY = 300;
            image.hasTransparency = 1;
            ASSERT_TRUE(clockwise ? image.Rotate90Clockwise() : image.Rotate90CounterClockwise());
            ASSERT_EQ(5, image.width);
            ASSERT_EQ(11, image.height);
            ASSERT_EQ(depth, image.bpp);
            EXPECT_EQ(300, image.dpiX);  // the resolutions turn with the picture
            EXPECT_EQ(72, image.dpiY);
            EXPECT_EQ(0, image.hasTransparency);
            if (depth <= 8) {
                EXPECT_EQ(0, memcmp(paletteBefore, image.palette, 3 << depth));
            }
            if (clockwise)
                ExpectMapping(image, depth, 11, 5, [](int x, int y, int, int h, int& sx, int& sy) {
                    sx = y;
                    sy = h - 1 - x;
                });
            else
                ExpectMapping(image, depth, 11, 5, [](int x, int y, int w, int, int& sx, int& sy) {
                    sx = w - 1 - y;
                    sy = x;
                });
        }
    }
}

TEST(ImageOrientation, QuarterTurnOfThreeByTwo)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(3, 2, 24, 0));
    SetRaw(image, 0, 1, 0x0000AA);  // bottom-left
    SetRaw(image, 2, 0, 0x0000BB);  // top-right
    NImageBuffer turned;
    ASSERT_TRUE(turned.Copy(image));
    ASSERT_TRUE(turned.Rotate90Clockwise());
    EXPECT_EQ(2, turned.width);
    EXPECT_EQ(3, turned.height);
    EXPECT_EQ(0x0000AAu, RawAt(turned, 0, 0));
    ASSERT_TRUE(image.Rotate90CounterClockwise());
    EXPECT_EQ(0x0000BBu, RawAt(image, 0, 0));
}

TEST(ImageOrientation, MirrorAndFlipOfEveryDepth)
{
    for (int depth : kDepths) {
        for (int height : {1, 4, 5}) {
            SCOPED_TRACE(testing::Message() << depth << " bpp, height " << height);
            NImageBuffer image;
            MakePicture(image, depth, 9, height);
            ASSERT_TRUE(image.MirrorHorizontal());
            ExpectMapping(image, depth, 9, height, [](int x, int y, int w, int, int& sx, int& sy) {
                sx = w - 1 - x;
                sy = y;
            });
            MakePicture(image, depth, 9, height);
            ASSERT_TRUE(image.FlipVertical());
            ExpectMapping(image, depth, 9, height, [](int x, int y, int, int h, int& sx, int& sy) {
                sx = x;
                sy = h - 1 - y;
            });
        }
    }
}

TEST(ImageOrientation, NarrowMirrorsKeepTheRowPadding)
{
    // 1 bpp, 9 pixels: pixel 0 and pixel 8 change places; the padding bits stay clear.
    std::vector<uint8_t> rgb(768, 0);
    NImageBuffer mono;
    ASSERT_TRUE(mono.Create(9, 1, 1, 0, rgb.data()));
    mono.bits[0] = 0x80;  // pixel 0 set
    ASSERT_TRUE(mono.MirrorHorizontal());
    EXPECT_EQ(0x00, mono.bits[0]);
    EXPECT_EQ(0x80, mono.bits[1]);
    EXPECT_EQ(0x00, mono.bits[2]);

    // 4 bpp, 3 pixels: the first and third nibbles change places, the middle stays.
    NImageBuffer nibbles;
    ASSERT_TRUE(nibbles.Create(3, 1, 4, 0, rgb.data()));
    nibbles.bits[0] = 0x12;
    nibbles.bits[1] = 0x30;
    ASSERT_TRUE(nibbles.MirrorHorizontal());
    EXPECT_EQ(0x32, nibbles.bits[0]);
    EXPECT_EQ(0x10, nibbles.bits[1]);
}

TEST(ImageOrientation, ExifOrientationCodes)
{
    const SourceOf mappings[9] = {
        nullptr,
        [](int x, int y, int, int, int& sx, int& sy) { sx = x, sy = y; },
        [](int x, int y, int w, int, int& sx, int& sy) { sx = w - 1 - x, sy = y; },
        [](int x, int y, int w, int h, int& sx, int& sy) { sx = w - 1 - x, sy = h - 1 - y; },
        [](int x, int y, int, int h, int& sx, int& sy) { sx = x, sy = h - 1 - y; },
        [](int x, int y, int, int, int& sx, int& sy) { sx = y, sy = x; },                          // transpose
        [](int x, int y, int, int h, int& sx, int& sy) { sx = y, sy = h - 1 - x; },                // clockwise
        [](int x, int y, int w, int h, int& sx, int& sy) { sx = w - 1 - y, sy = h - 1 - x; },      // transverse
        [](int x, int y, int w, int, int& sx, int& sy) { sx = w - 1 - y, sy = x; },                // counter-clockwise
    };
    for (int depth : {1, 24}) {
        for (int code = -1; code <= 9; ++code) {
            SCOPED_TRACE(testing::Message() << depth << " bpp, code " << code);
            NImageBuffer image;
            MakePicture(image, depth, 6, 4);
            image.ApplyOrientation(code);
            bool turned = code >= 5 && code <= 8;
            ASSERT_EQ(turned ? 4 : 6, image.width);
            ASSERT_EQ(turned ? 6 : 4, image.height);
            const SourceOf& mapping = (code >= 1 && code <= 8) ? mappings[code] : mappings[1];
            ExpectMapping(image, depth, 6, 4, mapping);
        }
    }

    NImageBuffer half;
    NImageBuffer exif;
    MakePicture(half, 32, 5, 3);
    MakePicture(exif, 32, 5, 3);
    ASSERT_TRUE(half.Rotate180());
    exif.ApplyOrientation(3);
    EXPECT_EQ(0, memcmp(half.bits, exif.bits, static_cast<size_t>(half.stride) * half.height));
}

TEST(ImageOrientation, EmptyRecordIsLeftAlone)
{
    NImageBuffer empty;
    EXPECT_FALSE(empty.FlipVertical());
    EXPECT_FALSE(empty.MirrorHorizontal());
    EXPECT_FALSE(empty.Rotate180());
    EXPECT_FALSE(empty.Rotate90Clockwise());
    EXPECT_FALSE(empty.Rotate90CounterClockwise());
    empty.ApplyOrientation(6);
    EXPECT_FALSE(empty.valid);
}
