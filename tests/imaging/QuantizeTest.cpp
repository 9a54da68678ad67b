// Colour quantisation: the octree palette builder, the histogram quantiser and the 5-6-5 pre-dither.
#include "imaging/NImageQuantize.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <memory>
#include <set>
#include <tuple>
#include <vector>

namespace {

// Packed DIB rows (bottom-up, 4-byte padded) of a given depth.
struct Rows {
    Rows(int w, int h, int depth) : width(w), height(h), bpp(depth), stride(((w * depth + 31) >> 5) * 4),
                                    data(static_cast<size_t>(stride) * h, 0) {}
    uint8_t* Line(int line) { return data.data() + static_cast<size_t>(line) * stride; }
    // Sets a pixel by scan line (0 = bottom) from red, green, blue.
    void Set(int x, int line, int r, int g, int b)
    {
        uint8_t* row = Line(line);
        if (bpp == 16) {
            const int word = ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3);
            row[2 * x] = static_cast<uint8_t>(word);
            row[2 * x + 1] = static_cast<uint8_t>(word >> 8);
            return;
        }
        uint8_t* p = row + x * (bpp / 8);
        p[0] = static_cast<uint8_t>(b);
        p[1] = static_cast<uint8_t>(g);
        p[2] = static_cast<uint8_t>(r);
        if (bpp == 32)
            p[3] = 255;
    }
    void FillAll(int r, int g, int b)
    {
        for (int line = 0; line < height; ++line)
            for (int x = 0; x < width; ++x)
                Set(x, line, r, g, b);
    }
    int width, height, bpp, stride;
    std::vector<uint8_t> data;
};

using Colour = std::tuple<int, int, int>;  // red, green, blue

std::vector<Colour> PaletteOf(const NImageQuantize& quantizer, int* count = nullptr)
{
    RGBQUAD entries[256] = {};
    const int n = quantizer.GetPalette(entries);
    if (count)
        *count = n;
    std::vector<Colour> colours;
    for (int i = 0; i < n; ++i)
        colours.emplace_back(entries[i].rgbRed, entries[i].rgbGreen, entries[i].rgbBlue);
    return colours;
}

struct Quantized {
    std::unique_ptr<uint8_t, decltype(&free)> indices{nullptr, &free};
    std::array<uint8_t, 768> palette{};
    Colour Entry(int i) const { return {palette[3 * i], palette[3 * i + 1], palette[3 * i + 2]}; }
};

Quantized Quantize(Rows& rows)
{
    Quantized result;
    result.indices.reset(QuantizeTo256(rows.data.data(), rows.width, rows.height, rows.bpp, result.palette.data()));
    return result;
}

}  // namespace

TEST(NImageQuantize, FewColoursComeBackExactly)
{
    const Colour colours[5] = {{10, 20, 30}, {200, 0, 0}, {0, 255, 0}, {77, 77, 77}, {255, 255, 255}};
    Rows rows(7, 3, 24);
    for (int line = 0; line < 3; ++line)
        for (int x = 0; x < 7; ++x) {
            const auto [r, g, b] = colours[(x + line) % 5];
            rows.Set(x, line, r, g, b);
        }
    NImageQuantize quantizer(16, 8);
    ASSERT_TRUE(quantizer.AddPixels(rows.data.data(), 7, 3, 24, nullptr));
    int count = 0;
    const auto palette = PaletteOf(quantizer, &count);
    EXPECT_EQ(5, count);
    EXPECT_EQ(std::set<Colour>(std::begin(colours), std::end(colours)), std::set<Colour>(palette.begin(), palette.end()));
}

TEST(NImageQuantize, FewerThanSixteenMergesRunsOfLeaves)
{
    // Sixteen greys 0, 16, ..., 240 with k + 1 pixels of grey 16k: the tree keeps all sixteen
    // (in grey order) and four entries are the weighted means of four leaves each.
    Rows rows(136, 1, 32);
    int x = 0;
    for (int k = 0; k < 16; ++k)
        for (int n = 0; n <= k; ++n, ++x)
            rows.Set(x, 0, 16 * k, 16 * k, 16 * k);
    NImageQuantize quantizer(4, 8);
    ASSERT_TRUE(quantizer.AddPixels(rows.data.data(), 136, 1, 32, nullptr));
    EXPECT_EQ(16u, quantizer.GetLeafCount());
    int count = 0;
    const auto palette = PaletteOf(quantizer, &count);
    ASSERT_EQ(4, count);
    const std::vector<Colour> expected = {{32, 32, 32}, {91, 91, 91}, {153, 153, 153}, {217, 217, 217}};
    EXPECT_EQ(expected, palette);
}

TEST(NImageQuantize, TreeStaysWithinItsLimitForManyColours)
{
    Rows rows(128, 64, 24);
    unsigned seed = 12345;
    for (int line = 0; line < rows.height; ++line)
        for (int x = 0; x < rows.width; ++x) {
            seed = seed * 1103515245u + 12345u;
            rows.Set(x, line, (seed >> 8) & 255, (seed >> 16) & 255, (seed >> 24) & 255);
        }
    NImageQuantize quantizer(16, 8);
    ASSERT_TRUE(quantizer.AddPixels(rows.data.data(), rows.width, rows.height, 24, nullptr));
    EXPECT_LE(quantizer.GetLeafCount(), 16u);
    EXPECT_GE(quantizer.GetLeafCount(), 2u);
    int count = 0;
    PaletteOf(quantizer, &count);
    EXPECT_EQ(static_cast<int>(quantizer.GetLeafCount()), count);
}

TEST(NImageQuantize, PalettePicturesAreReadTopRowFirstRightToLeft)
{
    // 8-bpp two rows of 12 pixels with 24 distinct colours: the tree must merge, so the order of
    // insertion shows in the palette. The same colours in a 24-bpp picture, laid out in the order
    // the palette picture is read (top row first, each row from the right), must give the same palette.
    std::vector<uint8_t> paletteRgb(768, 0);
    for (int i = 0; i < 24; ++i) {
        paletteRgb[3 * i] = static_cast<uint8_t>(i * 11);
        paletteRgb[3 * i + 1] = static_cast<uint8_t>(255 - i * 7);
        paletteRgb[3 * i + 2] = static_cast<uint8_t>((i * 53) & 255);
    }
    Rows indexed(12, 2, 8);
    for (int line = 0; line < 2; ++line)
        for (int x = 0; x < 12; ++x)
            indexed.Line(line)[x] = static_cast<uint8_t>(line * 12 + x);

    Rows inOrder(24, 1, 24), forward(24, 1, 24);
    int n = 0;
    for (int line = 1; line >= 0; --line)
        for (int x = 11; x >= 0; --x, ++n) {
            const uint8_t* c = &paletteRgb[3 * (line * 12 + x)];
            inOrder.Set(n, 0, c[0], c[1], c[2]);
        }
    for (int i = 0; i < 24; ++i)
        forward.Set(i, 0, paletteRgb[3 * i], paletteRgb[3 * i + 1], paletteRgb[3 * i + 2]);

    NImageQuantize fromIndexed(16, 8), fromInOrder(16, 8), fromForward(16, 8);
    ASSERT_TRUE(fromIndexed.AddPixels(indexed.data.data(), 12, 2, 8, paletteRgb.data()));
    ASSERT_TRUE(fromInOrder.AddPixels(inOrder.data.data(), 24, 1, 24, nullptr));
    ASSERT_TRUE(fromForward.AddPixels(forward.data.data(), 24, 1, 24, nullptr));
    ASSERT_NE(PaletteOf(fromInOrder), PaletteOf(fromForward)) << "fixture must depend on the order";
    EXPECT_EQ(PaletteOf(fromInOrder), PaletteOf(fromIndexed));

    // 4 bpp reads the same way (high nibble first).
    Rows nibbles(12, 2, 4);
    for (int line = 0; line < 2; ++line)
        for (int x = 0; x < 12; x += 2)
            nibbles.Line(line)[x / 2] = static_cast<uint8_t>(((line * 6 + x / 2) & 15) << 4 | ((line * 6 + x / 2 + 1) & 15));
    NImageQuantize fromNibbles(16, 8);
    EXPECT_TRUE(fromNibbles.AddPixels(nibbles.data.data(), 12, 2, 4, paletteRgb.data()));
}

TEST(NImageQuantize, RejectsWhatItCannotRead)
{
    Rows rows(4, 4, 24);
    NImageQuantize quantizer(16, 8);
    EXPECT_FALSE(quantizer.AddPixels(nullptr, 4, 4, 24, nullptr));
    EXPECT_FALSE(quantizer.AddPixels(rows.data.data(), 4, 4, 1, nullptr));
    EXPECT_FALSE(quantizer.AddPixels(rows.data.data(), 4, 4, 12, nullptr));
    EXPECT_FALSE(quantizer.AddPixels(rows.data.data(), 4, 4, 8, nullptr)) << "palette pictures need their palette";
    EXPECT_FALSE(quantizer.AddPixels(rows.data.data(), 0, 4, 24, nullptr));
    EXPECT_EQ(0u, quantizer.GetLeafCount());
}

TEST(QuantizeTo256, SingleColourPalette)
{
    // The same colour from every depth lands in 5-bit cell (12, 18, 25).
    for (int bpp : {16, 24, 32}) {
        SCOPED_TRACE(bpp);
        Rows rows(9, 5, bpp);
        rows.FillAll(100, 150, 200);
        const Quantized q = Quantize(rows);
        ASSERT_TRUE(q.indices);
        const Colour corners[8] = {{0, 0, 0},     {255, 0, 0},   {0, 255, 0},   {0, 0, 255},
                                   {255, 255, 0}, {0, 255, 255}, {255, 0, 255}, {255, 255, 255}};
        for (int i = 0; i < 8; ++i)
            EXPECT_EQ(corners[i], q.Entry(i)) << i;
        for (int i = 8; i < 255; ++i)
            ASSERT_EQ(Colour(123, 123, 123), q.Entry(i)) << i;
        EXPECT_EQ(Colour(98, 148, 205), q.Entry(255));
        const int outStride = 12;
        for (int line = 0; line < 5; ++line)
            for (int x = 0; x < 9; ++x)
                ASSERT_EQ(255, q.indices.get()[line * outStride + x]) << x << "," << line;
    }
}

TEST(QuantizeTo256, BlackAndWhiteMapOntoCorners)
{
    Rows rows(10, 6, 24);
    for (int line = 0; line < 6; ++line)
        for (int x = 0; x < 10; ++x) {
            const int v = ((x + line) & 1) ? 255 : 0;
            rows.Set(x, line, v, v, v);
        }
    const Quantized q = Quantize(rows);
    ASSERT_TRUE(q.indices);
    for (int line = 0; line < 6; ++line)
        for (int x = 0; x < 10; ++x)
            ASSERT_EQ(((x + line) & 1) ? 7 : 0, q.indices.get()[line * 12 + x]);
}

TEST(QuantizeTo256, RejectsOtherDepthsAndNullRows)
{
    Rows rows(4, 4, 8);
    uint8_t palette[768];
    EXPECT_EQ(nullptr, QuantizeTo256(rows.data.data(), 4, 4, 8, palette));
    EXPECT_EQ(nullptr, QuantizeTo256(nullptr, 4, 4, 24, palette));
    EXPECT_EQ(nullptr, QuantizeTo256(rows.data.data(), 4, 0, 24, palette));
}

TEST(QuantizeTo256, CellCountsSaturate)
{
    // Cells red 10 (90000 pixels), 13 (1 pixel) and 20 (30399 pixels), green and blue 10. With the
    // count of red 10 held at 65535 the first split falls at red mean 13 and the three cells end in
    // boxes 253 = red 13, 254 = red 10, 255 = red 20; unsaturated counts would split at 12 and
    // give 253 = red 20 and 255 = red 13.
    Rows rows(400, 301, 24);
    int n = 0;
    for (int line = 0; line < rows.height; ++line)
        for (int x = 0; x < rows.width; ++x, ++n)
            rows.Set(x, line, n < 90000 ? 80 : n == 90000 ? 104 : 160, 80, 80);
    const Quantized q = Quantize(rows);
    ASSERT_TRUE(q.indices);
    const int g = 10 * 255 / 31;
    EXPECT_EQ(Colour(13 * 255 / 31, g, g), q.Entry(253));
    EXPECT_EQ(Colour(10 * 255 / 31, g, g), q.Entry(254));
    EXPECT_EQ(Colour(20 * 255 / 31, g, g), q.Entry(255));
}

TEST(QuantizeTo256, DiffusionKeepsTheMeanColour)
{
    // A smooth two-axis gradient: each pixel stays near its colour and the mean of the mapped
    // picture stays near the mean of the source.
    Rows rows(96, 64, 24);
    for (int line = 0; line < 64; ++line)
        for (int x = 0; x < 96; ++x)
            rows.Set(x, line, x * 255 / 95, line * 255 / 63, (x + line) * 255 / 158);
    const Quantized q = Quantize(rows);
    ASSERT_TRUE(q.indices);
    double sourceSum[3] = {}, mappedSum[3] = {};
    int worst = 0;
    for (int line = 0; line < 64; ++line)
        for (int x = 0; x < 96; ++x) {
            const uint8_t* s = rows.Line(line) + 3 * x;
            const auto [r, g, b] = q.Entry(q.indices.get()[line * 96 + x]);
            const int source[3] = {s[2], s[1], s[0]}, mapped[3] = {r, g, b};
            for (int c = 0; c < 3; ++c) {
                sourceSum[c] += source[c];
                mappedSum[c] += mapped[c];
                worst = std::max(worst, std::abs(source[c] - mapped[c]));
            }
        }
    for (int c = 0; c < 3; ++c)
        EXPECT_NEAR(sourceSum[c] / (96 * 64), mappedSum[c] / (96 * 64), 2.0) << c;
    EXPECT_LE(worst, 48);
}

TEST(Dither565Rows, CarriesRoundingErrorAlongTheRow)
{
    Dither565Tables tables;
    BuildDither565Tables(tables);
    EXPECT_EQ(2, tables.red[10]);
    EXPECT_EQ(-2, tables.green[10]);
    EXPECT_EQ(-4, tables.blue[12]);

    // Hand-computed: pixel 1 gets +2 on blue and red ((12 * 2 + 8) >> 4) and -1 on green.
    uint8_t rows[2][8] = {{10, 10, 10, 10, 10, 10, 0, 0}, {255, 254, 251, 10, 10, 10, 0, 0}};
    ASSERT_TRUE(Dither565Rows(tables, &rows[0][0], 2, 2, 24, 8));
    const uint8_t first[6] = {14, 12, 14, 16, 11, 16};
    for (int i = 0; i < 6; ++i)
        EXPECT_EQ(first[i], rows[0][i]) << i;
    // Each row starts without error; values at the top are not raised past 255.
    EXPECT_EQ(255, rows[1][0]);
    EXPECT_EQ(254, rows[1][1]);
    EXPECT_EQ(255, rows[1][2]);
    EXPECT_EQ(0, rows[0][6]) << "padding untouched";

    EXPECT_FALSE(Dither565Rows(tables, &rows[0][0], 2, 2, 16, 8));
    EXPECT_FALSE(Dither565Rows(tables, nullptr, 2, 2, 24, 8));
    EXPECT_FALSE(Dither565Rows(tables, &rows[0][0], 3, 2, 24, 8)) << "stride too small for the width";
}
