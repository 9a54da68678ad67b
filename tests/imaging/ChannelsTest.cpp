// Channel operations and colour adjustments of NImageBuffer.
#include <gtest/gtest.h>
#include <omp.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

#include "imaging/ImageChannels.h"
#include "imaging/NImageBuffer.h"
#include "imaging/PixelReference.h"

namespace {

// Pixel at column x of picture row y (0 = top).
uint8_t* PixelAt(NImageBuffer& image, int x, int y)
{
    GdiFlush();
    return image.bits + (image.height - 1 - y) * image.stride + x * (image.bpp / 8);
}

std::vector<uint8_t> GreyPalette()
{
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i)
        rgb[3 * i] = rgb[3 * i + 1] = rgb[3 * i + 2] = static_cast<uint8_t>(i);
    return rgb;
}

// A 32-bpp picture of one colour with its alpha set.
void MakeOpaque32(NImageBuffer& image, int w, int h, COLORREF colour, uint8_t alpha)
{
    ASSERT_TRUE(image.Create(w, h, 32, colour));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            PixelAt(image, x, y)[3] = alpha;
}

std::vector<uint8_t> Snapshot(const NImageBuffer& image)
{
    GdiFlush();
    return std::vector<uint8_t>(image.bits, image.bits + image.stride * image.height);
}

uint16_t WordAt(NImageBuffer& image, int x, int y)
{
    const uint8_t* p = PixelAt(image, x, y);
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

}  // namespace

TEST(ImageChannels, OperationsRefuseEmptyRecordsAndOtherDepths)
{
    NImageBuffer empty, grey;
    NImageBuffer words, mono;
    const std::vector<uint8_t> palette = GreyPalette();
    ASSERT_TRUE(grey.Create(4, 4, 8, 0, palette.data()));
    ASSERT_TRUE(words.Create(4, 4, 16, 0));
    ASSERT_TRUE(mono.Create(4, 4, 1, 0, palette.data()));
    NImageBuffer out;
    const int table[256] = {};

    std::vector<std::pair<const char*, std::function<bool(NImageBuffer&)>>> directOnly = {
        {"ExtractChannel", [&](NImageBuffer& i) { return i.ExtractChannel(1, out); }},
        {"SetChannel", [](NImageBuffer& i) { return i.SetChannel(1, 0); }},
        {"ReplaceColour", [](NImageBuffer& i) { return i.ReplaceColour(0, 1); }},
        {"ReplaceOtherColours", [](NImageBuffer& i) { return i.ReplaceOtherColours(0, 1); }},
        {"AdjustBrightness", [](NImageBuffer& i) { return i.AdjustBrightness(10); }},
        {"AdjustContrast", [](NImageBuffer& i) { return i.AdjustContrast(10); }},
        {"AdjustGamma", [](NImageBuffer& i) { return i.AdjustGamma(2.0); }},
        {"AddChannelOffsets", [](NImageBuffer& i) { return i.AddChannelOffsets(1, 2, 3); }},
        {"AdjustSaturation", [](NImageBuffer& i) { return i.AdjustSaturation(10); }},
        {"AdjustHue", [](NImageBuffer& i) { return i.AdjustHue(10); }},
        {"IsMostlyDark", [](NImageBuffer& i) { return i.IsMostlyDark(300); }},
        {"ApplyLumaShift", [&](NImageBuffer& i) { return i.ApplyLumaShift(table); }},
        {"ApplyChannelTables", [&](NImageBuffer& i) { return i.ApplyChannelTables(table, table, table, nullptr); }},
    };
    for (auto& [name, op] : directOnly) {
        SCOPED_TRACE(name);
        EXPECT_FALSE(op(empty));
        const auto before = Snapshot(grey);
        EXPECT_FALSE(op(grey));
        EXPECT_EQ(before, Snapshot(grey));
        EXPECT_FALSE(op(words));
    }
    EXPECT_FALSE(empty.Invert());
    EXPECT_FALSE(empty.SwapRedBlue());
    EXPECT_FALSE(mono.SwapRedBlue());
    EXPECT_FALSE(mono.SwapRedGreen());
    EXPECT_FALSE(mono.SwapGreenBlue());
    EXPECT_FALSE(empty.Threshold(1));
    EXPECT_FALSE(words.Threshold(1));
    EXPECT_FALSE(empty.InsertChannel(1, grey));
}

TEST(ImageChannels, InvertMatchesImageMagickAndKeepsAlpha)
{
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        NImageBuffer image;
        ASSERT_TRUE(LoadReferencePicture(image, bpp));
        const auto before = Snapshot(image);
        ASSERT_TRUE(image.Invert());
        // At 32 bpp this also checks that every alpha byte is as it was.
        EXPECT_EQ(0, WorstDifference(image, LoadReference(L"negate"), 0));
        ASSERT_TRUE(image.Invert());
        EXPECT_EQ(before, Snapshot(image));
    }

    // An opaque picture stays opaque.
    NImageBuffer opaque;
    MakeOpaque32(opaque, 3, 2, RGB(10, 20, 30), 255);
    ASSERT_TRUE(opaque.Invert());
    const uint8_t* p = PixelAt(opaque, 2, 1);
    EXPECT_EQ(255 - 30, p[0]);
    EXPECT_EQ(255 - 20, p[1]);
    EXPECT_EQ(255 - 10, p[2]);
    EXPECT_EQ(255, p[3]);
}

TEST(ImageChannels, InvertPalettesAndWords)
{
    std::vector<uint8_t> palette = GreyPalette();
    palette[3 * 5] = 200;  // entry 5: red 200, green 5, blue 5
    NImageBuffer indexed;
    ASSERT_TRUE(indexed.Create(5, 3, 8, 0, palette.data()));
    for (int x = 0; x < 5; ++x)
        PixelAt(indexed, x, 1)[0] = 5;
    const auto pixels = Snapshot(indexed);
    ASSERT_TRUE(indexed.Invert());
    EXPECT_EQ(pixels, Snapshot(indexed)) << "only the palette changes";
    EXPECT_EQ(250, indexed.palette[5][0]);  // blue
    EXPECT_EQ(55, indexed.palette[5][2]);   // red
    EXPECT_EQ(255, indexed.palette[0][1]);
    RGBQUAD table[256];
    ASSERT_EQ(256u, GetDIBColorTable(indexed.dc, 0, 256, table));
    EXPECT_EQ(55, table[5].rgbRed) << "the DIB colour table follows";

    NImageBuffer mono;
    ASSERT_TRUE(mono.Create(9, 2, 1, 0, GreyPalette().data()));
    ASSERT_TRUE(mono.Invert());
    EXPECT_EQ(255, mono.palette[0][0]);
    EXPECT_EQ(254, mono.palette[1][0]);

    NImageBuffer words;
    ASSERT_TRUE(words.Create(3, 2, 16, RGB(255, 0, 0)));
    ASSERT_EQ(0x7C00, WordAt(words, 1, 1));
    ASSERT_TRUE(words.Invert());
    EXPECT_EQ(0x03FF, WordAt(words, 1, 1) & 0x7FFF) << "red becomes cyan";
}

TEST(ImageChannels, ChannelExchanges)
{
    struct Case {
        int bpp;
        COLORREF from;
        bool (NImageBuffer::*swap)();
        COLORREF to;
    };
    const Case cases[] = {
        {16, RGB(255, 0, 0), &NImageBuffer::SwapRedBlue, RGB(0, 0, 255)},
        {16, RGB(255, 0, 0), &NImageBuffer::SwapRedGreen, RGB(0, 255, 0)},
        {16, RGB(0, 255, 0), &NImageBuffer::SwapGreenBlue, RGB(0, 0, 255)},
        {24, RGB(10, 20, 30), &NImageBuffer::SwapRedBlue, RGB(30, 20, 10)},
        {24, RGB(10, 20, 30), &NImageBuffer::SwapRedGreen, RGB(20, 10, 30)},
        {32, RGB(10, 20, 30), &NImageBuffer::SwapGreenBlue, RGB(10, 30, 20)},
        {32, RGB(10, 20, 30), &NImageBuffer::SwapRedBlue, RGB(30, 20, 10)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.bpp << " bpp, colour " << std::hex << c.from);
        NImageBuffer image;
        ASSERT_TRUE(image.Create(5, 3, c.bpp, c.from));
        if (c.bpp == 32)
            PixelAt(image, 4, 2)[3] = 77;
        ASSERT_TRUE((image.*c.swap)());
        GdiFlush();
        EXPECT_EQ(c.to, GetPixel(image.dc, 4, 2) & 0xFFFFFF);
        EXPECT_EQ(c.to, GetPixel(image.dc, 0, 0) & 0xFFFFFF);
        if (c.bpp == 32) {
            EXPECT_EQ(77, PixelAt(image, 4, 2)[3]);
        }
    }

    std::vector<uint8_t> palette = GreyPalette();
    palette[3] = 200;  // entry 1: red 200, green 1, blue 1
    palette[5] = 9;    // blue 9
    NImageBuffer indexed;
    ASSERT_TRUE(indexed.Create(4, 4, 8, 0, palette.data()));
    ASSERT_TRUE(indexed.SwapRedBlue());
    EXPECT_EQ(200, indexed.palette[1][0]);
    EXPECT_EQ(9, indexed.palette[1][2]);
    NImageBuffer nibbles;
    ASSERT_TRUE(nibbles.Create(4, 4, 4, 0, palette.data()));
    ASSERT_TRUE(nibbles.SwapRedGreen());
    EXPECT_EQ(200, nibbles.palette[1][1]);
    EXPECT_EQ(1, nibbles.palette[1][2]);
}

TEST(ImageChannels, SwapRedBlueInBits)
{
    // 3 pixels of 24 bpp: stride 12, three padding bytes that must stay.
    uint8_t rows[2][12] = {{1, 2, 3, 4, 5, 6, 7, 8, 9, 0xAA, 0xBB, 0xCC}, {10, 11, 12, 13, 14, 15, 16, 17, 18, 0xDD, 0xEE, 0xFF}};
    ASSERT_TRUE(SwapRedBlueInBits(&rows[0][0], 3, 2, 24));
    const uint8_t first[12] = {3, 2, 1, 6, 5, 4, 9, 8, 7, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(0, std::memcmp(first, rows[0], 12));
    EXPECT_EQ(18, rows[1][6]);
    EXPECT_EQ(0xDD, rows[1][9]);

    uint8_t quad[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(SwapRedBlueInBits(quad, 2, 1, 32));
    const uint8_t swapped[8] = {3, 2, 1, 4, 7, 6, 5, 8};
    EXPECT_EQ(0, std::memcmp(swapped, quad, 8));
    EXPECT_FALSE(SwapRedBlueInBits(quad, 2, 1, 16));
    EXPECT_FALSE(SwapRedBlueInBits(nullptr, 2, 1, 24));
}

TEST(ImageChannels, ExtractInsertAndSetChannels)
{
    NImageBuffer image;
    ASSERT_TRUE(LoadReferencePicture(image, 32));
    NImageBuffer red;
    ASSERT_TRUE(image.ExtractChannel(1, red));
    EXPECT_EQ(8, red.bpp);
    EXPECT_EQ(image.width, red.width);
    EXPECT_EQ(0x80, red.palette[0x80][0]) << "grey palette";
    const std::vector<uint8_t> reference = LoadReference(L"red");
    ASSERT_EQ(static_cast<size_t>(kReferenceWidth * kReferenceHeight * 3), reference.size());
    for (int y = 0; y < kReferenceHeight; ++y)
        for (int x = 0; x < kReferenceWidth; ++x)
            ASSERT_EQ(reference[(y * kReferenceWidth + x) * 3], PixelAt(red, x, y)[0]) << x << "," << y;

    NImageBuffer alpha;
    ASSERT_TRUE(image.ExtractChannel(4, alpha));
    EXPECT_EQ(0x80 + 7, PixelAt(alpha, 7, 3)[0]);
    EXPECT_FALSE(image.ExtractChannel(5, alpha));
    EXPECT_FALSE(image.ExtractChannel(0, alpha));
    NImageBuffer plain;
    ASSERT_TRUE(LoadReferencePicture(plain, 24));
    EXPECT_FALSE(plain.ExtractChannel(4, alpha));

    // Red into blue: blue now equals the old red everywhere.
    ASSERT_TRUE(plain.InsertChannel(3, red));
    for (int y = 0; y < kReferenceHeight; ++y)
        for (int x = 0; x < kReferenceWidth; ++x)
            ASSERT_EQ(PixelAt(plain, x, y)[2], PixelAt(plain, x, y)[0]);
    EXPECT_FALSE(plain.InsertChannel(4, red)) << "no alpha at 24 bpp";

    NImageBuffer smaller;
    ASSERT_TRUE(smaller.Create(kReferenceWidth - 1, kReferenceHeight, 8, 0, GreyPalette().data()));
    const auto before = Snapshot(image);
    EXPECT_FALSE(image.InsertChannel(4, smaller));
    EXPECT_FALSE(image.InsertChannel(4, plain)) << "the grey picture must be 8 bpp";
    EXPECT_TRUE(image.InsertChannel(0, red));
    EXPECT_TRUE(image.SetChannel(-1, 9));
    EXPECT_EQ(before, Snapshot(image));

    ASSERT_TRUE(image.SetChannel(4, 255));
    ASSERT_TRUE(image.SetChannel(2, 7));
    EXPECT_EQ(255, PixelAt(image, 5, 5)[3]);
    EXPECT_EQ(7, PixelAt(image, 5, 5)[1]);
    EXPECT_EQ(before[5 * image.stride + 5 * 4], PixelAt(image, 5, kReferenceHeight - 1 - 5)[0]);
    EXPECT_FALSE(plain.SetChannel(4, 1));
}

TEST(ImageChannels, ReplaceColours)
{
    NImageBuffer image;
    MakeOpaque32(image, 4, 2, RGB(255, 0, 0), 200);
    PixelAt(image, 1, 1)[0] = 1;  // no longer pure red
    ASSERT_TRUE(image.ReplaceColour(0x000000FF, 0x0000FF00));
    EXPECT_EQ(0, PixelAt(image, 0, 0)[2]);
    EXPECT_EQ(255, PixelAt(image, 0, 0)[1]);
    EXPECT_EQ(200, PixelAt(image, 0, 0)[3]) << "alpha stays";
    EXPECT_EQ(255, PixelAt(image, 1, 1)[2]);
    EXPECT_FALSE(image.ReplaceOtherColours(0, 0)) << "24 bpp only";

    NImageBuffer plain;
    ASSERT_TRUE(plain.Create(4, 2, 24, RGB(1, 2, 3)));
    PixelAt(plain, 2, 0)[0] = 99;
    ASSERT_TRUE(plain.ReplaceOtherColours(RGB(1, 2, 3), RGB(7, 8, 9)));
    EXPECT_EQ(RGB(7, 8, 9), GetPixel(plain.dc, 2, 0));
    EXPECT_EQ(RGB(1, 2, 3), GetPixel(plain.dc, 3, 1));
}

TEST(ImageChannels, Threshold)
{
    NImageBuffer grey;
    ASSERT_TRUE(grey.Create(4, 1, 8, 0, GreyPalette().data()));
    const uint8_t values[4] = {0, 127, 128, 255};
    std::memcpy(PixelAt(grey, 0, 0), values, 4);
    ASSERT_TRUE(grey.Threshold(127));
    const uint8_t* p = PixelAt(grey, 0, 0);
    EXPECT_EQ(0, p[0]);
    EXPECT_EQ(0, p[1]);
    EXPECT_EQ(255, p[2]);
    EXPECT_EQ(255, p[3]);
    EXPECT_EQ(3, grey.palette[3][0]) << "palette unchanged";
}

TEST(ImageChannels, BrightnessAndOffsets)
{
    NImageBuffer a, b;
    MakeOpaque32(a, 3, 3, RGB(10, 100, 250), 33);
    MakeOpaque32(b, 3, 3, RGB(10, 100, 250), 33);
    ASSERT_TRUE(a.AdjustBrightness(300));
    ASSERT_TRUE(b.AdjustBrightness(255));
    EXPECT_EQ(Snapshot(a), Snapshot(b));
    EXPECT_EQ(255, PixelAt(a, 1, 1)[0]);
    EXPECT_EQ(33, PixelAt(a, 1, 1)[3]);

    NImageBuffer image;
    ASSERT_TRUE(image.Create(3, 3, 24, RGB(10, 100, 250)));
    ASSERT_TRUE(image.AdjustBrightness(-40));
    EXPECT_EQ(RGB(0, 60, 210), GetPixel(image.dc, 1, 1));
    ASSERT_TRUE(image.AdjustBrightness(0));
    ASSERT_TRUE(image.AddChannelOffsets(5, -70, 300));
    EXPECT_EQ(RGB(5, 0, 255), GetPixel(image.dc, 2, 2));
    ASSERT_TRUE(image.AddChannelOffsets(INT_MAX, INT_MIN, 1));
    EXPECT_EQ(RGB(255, 0, 255), GetPixel(image.dc, 0, 0));
}

TEST(ImageChannels, Contrast)
{
    NImageBuffer image;
    ASSERT_TRUE(LoadReferencePicture(image, 24));
    ASSERT_TRUE(image.AdjustContrast(50));  // factor 2.25
    EXPECT_LE(WorstDifference(image, LoadReference(L"contrast"), 0), 1);

    ASSERT_TRUE(image.AdjustContrast(-100));
    const uint8_t* p = PixelAt(image, 3, 3);
    EXPECT_EQ(127, p[0]);
    EXPECT_EQ(127, p[1]);
    EXPECT_EQ(127, p[2]);

    // A value of 0 (factor 1) leaves every byte as it was.
    NImageBuffer same;
    ASSERT_TRUE(LoadReferencePicture(same, 32));
    const auto before = Snapshot(same);
    ASSERT_TRUE(same.AdjustContrast(0));
    EXPECT_EQ(before, Snapshot(same));
    NImageBuffer ramp;
    ASSERT_TRUE(ramp.Create(256, 1, 24, 0));
    for (int x = 0; x < 256; ++x)
        PixelAt(ramp, x, 0)[0] = PixelAt(ramp, x, 0)[1] = PixelAt(ramp, x, 0)[2] = static_cast<uint8_t>(x);
    const auto rampBefore = Snapshot(ramp);
    ASSERT_TRUE(ramp.AdjustContrast(0));
    EXPECT_EQ(rampBefore, Snapshot(ramp));
    ASSERT_TRUE(ramp.AdjustContrast(80));  // factor 3.24
    EXPECT_EQ(6, PixelAt(ramp, 90, 0)[0]);
    EXPECT_EQ(0, PixelAt(ramp, 88, 0)[0]);
    EXPECT_EQ(255, PixelAt(ramp, 167, 0)[0]);
}

TEST(ImageChannels, Gamma)
{
    NImageBuffer image;
    ASSERT_TRUE(LoadReferencePicture(image, 32));
    const auto before = Snapshot(image);
    ASSERT_TRUE(image.AdjustGamma(1.0));
    EXPECT_EQ(before, Snapshot(image));
    ASSERT_TRUE(image.AdjustGamma(2.2));
    EXPECT_LE(WorstDifference(image, LoadReference(L"gamma"), 0), 1);

    // A tiny gamma overflows the powers of the table: the curve 255 * (i / 255)^1000 must still
    // come out (254 gives 5), not a conversion of NaN. A gamma of 0 or NaN blackens.
    NImageBuffer tiny;
    ASSERT_TRUE(tiny.Create(3, 1, 24, RGB(254, 255, 1)));
    ASSERT_TRUE(tiny.AdjustGamma(0.001));
    EXPECT_EQ(RGB(5, 255, 0), GetPixel(tiny.dc, 0, 0));
    ASSERT_TRUE(tiny.AdjustGamma(std::numeric_limits<double>::quiet_NaN()));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(tiny.dc, 0, 0));

    NImageBuffer clamped, five;
    ASSERT_TRUE(clamped.Create(2, 2, 24, RGB(30, 90, 200)));
    ASSERT_TRUE(five.Create(2, 2, 24, RGB(30, 90, 200)));
    ASSERT_TRUE(clamped.AdjustGamma(50.0));
    ASSERT_TRUE(five.AdjustGamma(5.0));
    EXPECT_EQ(Snapshot(five), Snapshot(clamped));
    ASSERT_TRUE(five.AdjustGamma(0.0));
    EXPECT_EQ(RGB(0, 0, 0), GetPixel(five.dc, 1, 1));
}

TEST(ImageChannels, Saturation)
{
    // (200, 100, 50): luma (19595 * 200 + 38470 * 100 + 7471 * 50) >> 16 = 124.
    struct Case {
        int value;
        COLORREF expected;
    };
    const Case cases[] = {
        {-100, RGB(124, 124, 124)}, {-500, RGB(124, 124, 124)}, {0, RGB(200, 100, 50)},
        {100, RGB(255, 28, 0)},      {900, RGB(255, 28, 0)},      {50, RGB(255, 64, 0)},
        {-50, RGB(162, 112, 87)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        NImageBuffer image;
        MakeOpaque32(image, 2, 2, RGB(200, 100, 50), 90);
        ASSERT_TRUE(image.AdjustSaturation(c.value));
        EXPECT_EQ(c.expected, GetPixel(image.dc, 1, 0) & 0xFFFFFF);
        EXPECT_EQ(90, PixelAt(image, 1, 0)[3]);
    }
}

TEST(ImageChannels, Hue)
{
    NImageBuffer red;
    ASSERT_TRUE(red.Create(2, 1, 24, RGB(255, 0, 0)));
    ASSERT_TRUE(red.AdjustHue(120));
    EXPECT_EQ(RGB(0, 255, 0), GetPixel(red.dc, 0, 0));
    ASSERT_TRUE(red.AdjustHue(-120));
    EXPECT_EQ(RGB(255, 0, 0), GetPixel(red.dc, 0, 0));
    ASSERT_TRUE(red.AdjustHue(500));  // limited to 180
    EXPECT_EQ(RGB(0, 255, 255), GetPixel(red.dc, 1, 0));

    for (COLORREF pure : {RGB(255, 0, 0), RGB(0, 255, 0), RGB(0, 0, 255), RGB(128, 128, 128), RGB(255, 255, 255)}) {
        NImageBuffer image;
        ASSERT_TRUE(image.Create(1, 1, 24, pure));
        ASSERT_TRUE(image.AdjustHue(0));
        EXPECT_EQ(pure, GetPixel(image.dc, 0, 0));
    }

    NImageBuffer image;
    ASSERT_TRUE(LoadReferencePicture(image, 32));
    ASSERT_TRUE(image.AdjustHue(90));
    EXPECT_LE(WorstDifference(image, LoadReference(L"hue"), 0), 1);
}

TEST(ImageChannels, MostlyDarkAndLumaShift)
{
    NImageBuffer image;
    ASSERT_TRUE(image.Create(4, 2, 24, RGB(0, 0, 0)));
    NImageRect top = {0, 0, 4, 1};
    ASSERT_TRUE(image.FillRect(&top, RGB(255, 255, 255)));
    EXPECT_FALSE(image.IsMostlyDark(128)) << "as many bright pixels as dark ones";
    NImageRect one = {0, 0, 1, 1};
    ASSERT_TRUE(image.FillRect(&one, RGB(0, 0, 0)));
    EXPECT_TRUE(image.IsMostlyDark(128));
    EXPECT_FALSE(image.IsMostlyDark(0)) << "every luma is at least 0";

    // Luma of (100, 50, 200) = 82; the table moves it to 102: every channel gains 20.
    NImageBuffer shifted;
    MakeOpaque32(shifted, 3, 3, RGB(100, 50, 200), 5);
    int table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = i;
    const auto before = Snapshot(shifted);
    ASSERT_TRUE(shifted.ApplyLumaShift(table));
    EXPECT_EQ(before, Snapshot(shifted));
    table[82] = 102;
    ASSERT_TRUE(shifted.ApplyLumaShift(table));
    EXPECT_EQ(RGB(120, 70, 220), GetPixel(shifted.dc, 2, 2) & 0xFFFFFF);
    EXPECT_EQ(5, PixelAt(shifted, 2, 2)[3]);
    EXPECT_FALSE(shifted.ApplyLumaShift(nullptr));
}

TEST(ImageChannels, ChannelTablesRemapEachChannelOrShiftTheLuma)
{
    int identity[256], zero[256], wrapped[256], luma[256];
    for (int i = 0; i < 256; ++i) {
        identity[i] = i;
        zero[i] = 0;
        wrapped[i] = 0x300 + (255 - i);  // only the low byte counts: 255 - i
        luma[i] = i;
    }
    NImageBuffer image;
    MakeOpaque32(image, 4, 3, RGB(100, 50, 200), 7);
    const auto before = Snapshot(image);
    ASSERT_TRUE(image.ApplyChannelTables(nullptr, nullptr, nullptr, identity));
    EXPECT_EQ(before, Snapshot(image)) << "an identity luma table changes nothing";
    ASSERT_TRUE(image.ApplyChannelTables(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(before, Snapshot(image));

    ASSERT_TRUE(image.ApplyChannelTables(zero, nullptr, wrapped, nullptr));
    EXPECT_EQ(RGB(0, 50, 55), GetPixel(image.dc, 3, 2) & 0xFFFFFF);
    EXPECT_EQ(7, PixelAt(image, 3, 2)[3]) << "alpha is kept";

    // With a luma table the channel tables are not used: luma of (0, 50, 55) is 35, moved to 45.
    luma[35] = 45;
    ASSERT_TRUE(image.ApplyChannelTables(zero, zero, zero, luma));
    EXPECT_EQ(RGB(10, 60, 65), GetPixel(image.dc, 0, 0) & 0xFFFFFF);

    NImageBuffer rgb;
    ASSERT_TRUE(rgb.Create(2, 2, 24, RGB(255, 128, 3)));
    ASSERT_TRUE(rgb.ApplyChannelTables(nullptr, wrapped, nullptr, nullptr));
    EXPECT_EQ(RGB(255, 127, 3), GetPixel(rgb.dc, 1, 1) & 0xFFFFFF);
}

TEST(ImageChannels, SameResultOnOneThreadAndOnMany)
{
    auto run = [](int threads) {
        const int old = omp_get_max_threads();
        omp_set_num_threads(threads);
        NImageBuffer image;
        EXPECT_TRUE(LoadReferencePicture(image, 32));
        EXPECT_TRUE(image.ApplyFilter(2));
        EXPECT_TRUE(image.AdjustHue(45));
        EXPECT_TRUE(image.AdjustSaturation(30));
        EXPECT_TRUE(image.AdjustBrightness(-20));
        omp_set_num_threads(old);
        return Snapshot(image);
    };
    EXPECT_EQ(run(1), run(8));
}
