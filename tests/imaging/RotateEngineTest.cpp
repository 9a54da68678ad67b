// The two shear engines on their own: sizes, quarter turns, blends and the source left alone.
#include "imaging/RotateBits32.h"
#include "imaging/ShearRotation.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

// 24-bit rows of a width x height picture with every pixel set to value (0x00RRGGBB).
std::vector<unsigned char> Rows24(uint32_t width, uint32_t height, uint32_t value)
{
    size_t stride = NImageRotateByShearBYTE::StrideFor(width, 24);
    std::vector<unsigned char> rows(stride * height, 0);
    for (uint32_t y = 0; y < height; ++y)
        for (uint32_t x = 0; x < width; ++x) {
            unsigned char* p = &rows[y * stride + 3 * x];
            p[0] = static_cast<unsigned char>(value);
            p[1] = static_cast<unsigned char>(value >> 8);
            p[2] = static_cast<unsigned char>(value >> 16);
        }
    return rows;
}

uint32_t Pixel24(const unsigned char* rows, uint32_t width, uint32_t x, uint32_t y)
{
    const unsigned char* p = rows + y * NImageRotateByShearBYTE::StrideFor(width, 24) + 3 * x;
    return p[0] | (p[1] << 8) | (p[2] << 16);
}

struct Block32 {
    std::vector<uint32_t> pixels;
    RotateImage32 image;
    Block32(uint32_t width, uint32_t height) : pixels(static_cast<size_t>(width) * height)
    {
        for (size_t i = 0; i < pixels.size(); ++i)
            pixels[i] = static_cast<uint32_t>(i * 0x01030507u + 0x80000000u);
        image = RotateImage32{pixels.data(), width, height, width * 4};
    }
};

}  // namespace

TEST(RotateEngine, SizesAtFortyFiveDegrees)
{
    NImageRotateByShearBYTE engine;
    std::vector<unsigned char> rows = Rows24(100, 100, 0x808080);
    NRotateSize size{};
    unsigned char* turned = engine.Rotate(rows.data(), NRotateSize{100, 100}, 24, 45, &size, 0);
    ASSERT_NE(nullptr, turned);
    EXPECT_EQ(142u, size.width);
    EXPECT_EQ(142u, size.height);
    engine.FreeBuffer(turned, size);

    Block32 block(100, 100);
    RotateImage32 result{};
    RotateBits32(&result, &block.image, 0, 45);
    ASSERT_NE(nullptr, result.bits);
    EXPECT_EQ(142u, result.width);
    EXPECT_EQ(142u, result.height);
    EXPECT_EQ(142u * 4, result.stride);
    free(result.bits);
}

TEST(RotateEngine, QuarterTurnsOf32BitPixelsAreExact)
{
    // No shears after an exact quarter turn: no border, no pixel changed.
    const uint32_t w = 5, h = 3;
    Block32 block(w, h);
    for (double angle : {0.0, 90.0, 180.0, 270.0, -90.0, 360.0}) {
        SCOPED_TRACE(angle);
        RotateImage32 result{};
        RotateBits32(&result, &block.image, 0x11223344, angle);
        ASSERT_NE(nullptr, result.bits);
        int quarters = static_cast<int>((static_cast<int>(angle) % 360 + 360) % 360 / 90);
        ASSERT_EQ(quarters % 2 ? h : w, result.width);
        ASSERT_EQ(quarters % 2 ? w : h, result.height);
        EXPECT_NE(block.pixels.data(), result.bits);
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w; ++x) {
                // Memory rows are bottom-up: clockwise on screen is (x, y) -> (y, W - 1 - x).
                uint32_t tx = x, ty = y;
                switch (quarters) {
                case 1: tx = y, ty = w - 1 - x; break;
                case 2: tx = w - 1 - x, ty = h - 1 - y; break;
                case 3: tx = h - 1 - y, ty = x; break;
                }
                ASSERT_EQ(block.pixels[y * w + x], result.bits[ty * result.width + tx]);
            }
        free(result.bits);
    }
}

TEST(RotateEngine, BothEnginesBlendTheEdgesAndFillTheCorners)
{
    // A uniform picture turned by 30 degrees: corners are exactly the background, the inside the
    // colour, and the edges lie in between.
    const uint32_t colour = 0xC86432, background = 0x102030;
    NImageRotateByShearBYTE engine;
    std::vector<unsigned char> rows = Rows24(30, 20, colour);
    NRotateSize size{};
    unsigned char* turned = engine.Rotate(rows.data(), NRotateSize{30, 20}, 24, 30, &size, background);
    ASSERT_NE(nullptr, turned);
    EXPECT_EQ(background, Pixel24(turned, size.width, 0, 0));
    EXPECT_EQ(background, Pixel24(turned, size.width, size.width - 1, size.height - 1));
    EXPECT_EQ(colour, Pixel24(turned, size.width, size.width / 2, size.height / 2));
    int blends = 0;
    for (uint32_t x = 0; x < size.width; ++x) {
        uint32_t p = Pixel24(turned, size.width, x, size.height / 2);
        blends += p != colour && p != background;
    }
    EXPECT_GE(blends, 1);
    EXPECT_LE(blends, 6);
    engine.FreeBuffer(turned, size);

    std::vector<uint32_t> pixels(30 * 20, 0xFF000000u | colour);
    RotateImage32 source{pixels.data(), 30, 20, 120};
    RotateImage32 result{};
    RotateBits32(&result, &source, 0, 30);
    ASSERT_NE(nullptr, result.bits);
    EXPECT_EQ(0u, result.bits[0]);
    EXPECT_EQ(0u, result.bits[static_cast<size_t>(result.width) * result.height - 1]);
    EXPECT_EQ(0xFF000000u | colour, result.bits[(result.height / 2) * result.width + result.width / 2]);
    free(result.bits);
}

TEST(RotateEngine, PaletteAndSixteenBitSources)
{
    NImageRotateByShearBYTE engine;
    engine.palette[0][0] = 0x10, engine.palette[0][1] = 0x20, engine.palette[0][2] = 0x30;  // blue, green, red
    engine.palette[1][0] = 0xAA, engine.palette[1][1] = 0xBB, engine.palette[1][2] = 0xCC;
    // 1 bpp, 2 x 1: pixel 0 index 1, pixel 1 index 0.
    const unsigned char mono[4] = {0x80, 0, 0, 0};
    // 16 bpp, 2 x 1: 0x7FFF (white) and 0x001F (blue).
    const unsigned char words[4] = {0xFF, 0x7F, 0x1F, 0x00};
    struct Case {
        const unsigned char* rows;
        int bpp;
        uint32_t first, second;
    };
    const Case cases[] = {{mono, 1, 0xCCBBAA, 0x302010}, {words, 16, 0xFFFFFF, 0x0000FF}};
    for (const Case& c : cases) {
        for (double angle : {0.0, 180.0}) {
            SCOPED_TRACE(testing::Message() << c.bpp << " bpp, " << angle);
            NRotateSize size{};
            unsigned char* turned = engine.Rotate(c.rows, NRotateSize{2, 1}, c.bpp, angle, &size, 0);
            ASSERT_NE(nullptr, turned);
            ASSERT_EQ(2u, size.width);
            ASSERT_EQ(1u, size.height);
            EXPECT_EQ(angle == 0 ? c.first : c.second, Pixel24(turned, 2, 0, 0));
            EXPECT_EQ(angle == 0 ? c.second : c.first, Pixel24(turned, 2, 1, 0));
            engine.FreeBuffer(turned, size);
        }
    }
}

TEST(RotateEngine, SourceIsOnlyRead)
{
    Block32 block(9, 7);
    const std::vector<uint32_t> before = block.pixels;
    RotateImage32 result{};
    RotateBits32(&result, &block.image, 0, 137);
    ASSERT_NE(nullptr, result.bits);
    free(result.bits);
    EXPECT_EQ(before, block.pixels);

    std::vector<unsigned char> rows = Rows24(9, 7, 0x123456);
    const std::vector<unsigned char> rowsBefore = rows;
    NImageRotateByShearBYTE engine;
    NRotateSize size{};
    unsigned char* turned = engine.Rotate(rows.data(), NRotateSize{9, 7}, 24, 137, &size, 0);
    ASSERT_NE(nullptr, turned);
    engine.FreeBuffer(turned, size);
    EXPECT_EQ(rowsBefore, rows);
}

TEST(RotateEngine, Refusals)
{
    NImageRotateByShearBYTE engine;
    NRotateSize size{};
    EXPECT_EQ(nullptr, engine.Rotate(nullptr, NRotateSize{4, 4}, 24, 30, &size, 0));
    std::vector<unsigned char> rows = Rows24(4, 4, 0);
    EXPECT_EQ(nullptr, engine.Rotate(rows.data(), NRotateSize{4, 4}, 24, NAN, &size, 0));
    EXPECT_EQ(nullptr, engine.Rotate(rows.data(), NRotateSize{0, 4}, 24, 30, &size, 0));

    // A source without bits gives its sizes and no bits.
    RotateImage32 empty{nullptr, 6, 4, 24};
    RotateImage32 result{reinterpret_cast<uint32_t*>(1), 0, 0, 0};
    RotateBits32(&result, &empty, 0, 30);
    EXPECT_EQ(nullptr, result.bits);
    EXPECT_EQ(6u, result.width);
    EXPECT_EQ(4u, result.height);

    // A turned canvas larger than a picture can address is refused, not wrapped.
    Block32 block(1, 1);
    RotateImage32 huge{block.pixels.data(), 0x7FFFFFF0u, 1, 4};
    RotateBits32ByShears(&result, &huge, 0, 30);
    EXPECT_EQ(nullptr, result.bits);
}
