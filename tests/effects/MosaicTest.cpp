// Pixelation and the dot mosaic.
#include <gtest/gtest.h>

#include "effects/EffectTestPictures.h"
#include "effects/Mosaic.h"

using namespace effecttest;

namespace {

// Blue b, green 255 - b, red b / 2 and, at 32 bpp, alpha a.
uint32_t Pixel(int b, int a)
{
    return static_cast<uint32_t>(b) | static_cast<uint32_t>(255 - b) << 8 | static_cast<uint32_t>(b / 2) << 16 |
           static_cast<uint32_t>(a) << 24;
}

}  // namespace

TEST(Mosaic, PixelateAveragesBlocksFromTheBottomLeft)
{
    // 3 x 3 (rows from the top), blocks of 2: the grid starts at the bottom row, so the top row is
    // a cut block of its own. Blue / alpha given; green and red follow from blue.
    const int blue[3][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 91}};
    const int alpha[3][3] = {{0, 100, 200}, {0, 100, 200}, {1, 101, 201}};
    // Block means, truncated: bottom-left {40, 50, 70, 80} -> 60 (green 780 / 4 = 195, red
    // 120 / 4 = 30, alpha 202 / 4 = 50); bottom-right {60, 91} -> 75 (green 359 / 2 = 179, red
    // 75 / 2 = 37, alpha 401 / 2 = 200); top-left {10, 20} -> 15 (green 240, red 15 / 2 = 7, alpha
    // 50); top-right 30 alone.
    const uint32_t expected[3][3] = {
        {0x32'07'F0'0Fu, 0x32'07'F0'0Fu, Pixel(30, 200)},
        {0x32'1E'C3'3Cu, 0x32'1E'C3'3Cu, 0xC8'25'B3'4Bu},
        {0x32'1E'C3'3Cu, 0x32'1E'C3'3Cu, 0xC8'25'B3'4Bu},
    };
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(3, 3, bpp, 0));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                SetRaw(picture, x, y, Pixel(blue[y][x], alpha[y][x]));
        ASSERT_TRUE(Pixelate(picture, 2));
        const uint32_t mask = bpp == 32 ? 0xFFFFFFFFu : 0x00FFFFFFu;
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 3; ++x)
                EXPECT_EQ(expected[y][x] & mask, RawAt(picture, x, y)) << x << "," << y;
    }
}

TEST(Mosaic, PixelateBlockSizesAndRefusals)
{
    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 7, 5, 32, 3));
    const std::vector<uint8_t> before = Snapshot(picture);
    ASSERT_TRUE(Pixelate(picture, 1));
    EXPECT_EQ(before, Snapshot(picture));

    for (int size : {0, -1, 8, 1 << 30}) {
        EXPECT_FALSE(Pixelate(picture, size)) << size;
        EXPECT_FALSE(DotMosaic(picture, size)) << size;
        EXPECT_EQ(before, Snapshot(picture)) << size;
    }
    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 8, 8));
    EXPECT_FALSE(Pixelate(grey, 2));
    EXPECT_FALSE(DotMosaic(grey, 2));
    NImageBuffer empty;
    EXPECT_FALSE(Pixelate(empty, 1));
}

TEST(Mosaic, PixelateBlockAsWideAsAVeryWidePicture)
{
    // One block of 20000 x 3 (cut to the 3 rows): a tile of the full block size squared would
    // ask 1.2 GB of scratch memory; the bands need a few numbers per block.
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(20000, 3, 24, 0));
    for (int x = 0; x < 20000; ++x)
        SetRaw(picture, x, x % 3, x % 2 ? 0x00FF0000u : 0x000000FFu);
    ASSERT_TRUE(Pixelate(picture, 20000));
    // Per row of three, one pixel is set; half of them red (255), half blue: 255 * 10000 / 60000.
    for (int y = 0; y < 3; ++y)
        for (int x : {0, 9999, 19999})
            EXPECT_EQ(0x002A002Au, RawAt(picture, x, y)) << x << "," << y;
}

TEST(Mosaic, DotMosaicShowsBlockColoursInDotsOnBlack)
{
    // 40 x 35 with blocks of 10: the grid starts at the bottom, so full blocks span rows 5..34
    // from the top and the top row of blocks is cut to 5 rows.
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer picture, pixelated;
        ASSERT_TRUE(MakeNoise(picture, 40, 35, bpp, 9));
        ASSERT_TRUE(pixelated.Copy(picture));
        ASSERT_TRUE(Pixelate(pixelated, 10));
        ASSERT_TRUE(DotMosaic(picture, 10));
        EXPECT_EQ(40, picture.width);
        EXPECT_EQ(35, picture.height);
        for (int blockX = 0; blockX < 40; blockX += 10)
            for (int blockTop = 5; blockTop < 35; blockTop += 10) {
                SCOPED_TRACE(testing::Message() << blockX << "," << blockTop);
                // The middle of a dot keeps the block's colour, the corners of the block are black.
                EXPECT_EQ(ColourAt(pixelated, blockX + 4, blockTop + 4), ColourAt(picture, blockX + 4, blockTop + 4));
                EXPECT_EQ(ColourAt(pixelated, blockX + 5, blockTop + 5), ColourAt(picture, blockX + 5, blockTop + 5));
                EXPECT_EQ(RGB(0, 0, 0), ColourAt(picture, blockX, blockTop));
                EXPECT_EQ(RGB(0, 0, 0), ColourAt(picture, blockX + 9, blockTop + 9));
                EXPECT_EQ(RGB(0, 0, 0), ColourAt(picture, blockX + 9, blockTop));
                if (bpp == 32) {
                    EXPECT_EQ(AlphaAt(pixelated, blockX, blockTop), AlphaAt(picture, blockX, blockTop));
                }
            }
        // The cut top row of blocks (rows 0..4) shows the lower half of its dots: the block colour
        // at the top middle, black at the bottom corners.
        EXPECT_EQ(ColourAt(pixelated, 14, 0), ColourAt(picture, 14, 0));
        EXPECT_EQ(ColourAt(pixelated, 15, 1), ColourAt(picture, 15, 1));
        EXPECT_EQ(RGB(0, 0, 0), ColourAt(picture, 10, 4));
        EXPECT_EQ(RGB(0, 0, 0), ColourAt(picture, 19, 4));
    }
}
