// Smooth scaler: weight tables, the shrink and enlarge kernels of every depth, and its refusals.
#include "imaging/SmoothScaler.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

constexpr uint8_t kSentinel = 0xA5;

size_t Stride(unsigned width, unsigned bpp)
{
    return (width * bpp + 31) / 32 * 4;
}

std::vector<std::pair<int, int>> Weights(unsigned n, unsigned m, int shrink)
{
    std::unique_ptr<AreaWeight[]> table(BuildAreaWeights(n, m, shrink));
    std::vector<std::pair<int, int>> out;
    for (unsigned i = 0; i < n; ++i)
        out.emplace_back(table[i].w0, table[i].w1);
    return out;
}

// A 24-bit picture whose pixel (x, scan line y) is (v, v, v) for values[y][x].
std::vector<uint8_t> Grey24(const std::vector<std::vector<int>>& values)
{
    const unsigned width = static_cast<unsigned>(values[0].size());
    std::vector<uint8_t> rows(Stride(width, 24) * values.size(), 0);
    for (size_t y = 0; y < values.size(); ++y)
        for (unsigned x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                rows[y * Stride(width, 24) + x * 3 + c] = static_cast<uint8_t>(values[y][x]);
    return rows;
}

std::vector<std::vector<int>> FirstBytes(const std::vector<uint8_t>& rows, unsigned width, unsigned height)
{
    std::vector<std::vector<int>> out(height);
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x)
            out[y].push_back(rows[y * Stride(width, 24) + x * 3]);
    return out;
}

std::string LogText()
{
    std::vector<unsigned char> bytes;
    ReadWholeFile(ProgramFolder() + L"\\_NLogMsg.txt", bytes);
    return std::string(bytes.begin(), bytes.end());
}

}  // namespace

TEST(SmoothScaler, AreaWeightTables)
{
    // Enlarging 2 to 3: whole, split in halves, whole ending the unit.
    EXPECT_EQ(Weights(3, 2, 0), (std::vector<std::pair<int, int>>{{4096, 0}, {2048, 2048}, {4096, -1}}));
    // Shrinking 4 to 2: half a destination pixel each, every second one ending it.
    EXPECT_EQ(Weights(4, 2, 1), (std::vector<std::pair<int, int>>{{2048, 0}, {2048, -1}, {2048, 0}, {2048, -1}}));
    // Shrinking 3 to 2: 2/3 each, the middle sample split 1/3 + 1/3 (MulDiv rounds to nearest).
    EXPECT_EQ(Weights(3, 2, 1), (std::vector<std::pair<int, int>>{{2731, 0}, {1365, 1365}, {2731, -1}}));
    // Shrinking 6000 to 200: each source sample weighs 137, so 30 of them add up to 4110.
    auto big = Weights(6000, 200, 1);
    EXPECT_EQ(big[0], std::make_pair(137, 0));
    EXPECT_EQ(big[29], std::make_pair(137, -1));
}

TEST(SmoothScaler, EnlargeTwoByTwoToThreeByThree)
{
    std::vector<uint8_t> source = Grey24({{10, 21}, {40, 90}});
    std::vector<uint8_t> out(Stride(3, 24) * 3, kSentinel);
    ScaleBufferVarnok(out.data(), 3, 3, source.data(), 2, 2, 24, nullptr);
    EXPECT_EQ(FirstBytes(out, 3, 3), (std::vector<std::vector<int>>{
                                         {10, 15, 21},   // (10 + 21)/2 truncated
                                         {25, 40, 55},   // centre (10 + 21 + 40 + 90)/4 = 40.25
                                         {40, 65, 90}}));
    EXPECT_EQ(kSentinel, out[9]) << "padding untouched";
}

TEST(SmoothScaler, ShrinkFourByFourToTwoByTwo)
{
    std::vector<uint8_t> source = Grey24({{0, 1, 100, 100}, {2, 2, 100, 101}, {7, 7, 255, 255}, {7, 8, 255, 255}});
    std::vector<uint8_t> out(Stride(2, 24) * 2, kSentinel);
    ScaleBufferVarnok(out.data(), 2, 2, source.data(), 4, 4, 24, nullptr);
    EXPECT_EQ(FirstBytes(out, 2, 2), (std::vector<std::vector<int>>{{1, 100}, {7, 255}}));
}

TEST(SmoothScaler, ShrinkOfWhiteStaysWhiteDespiteWeightsAbove4096)
{
    const unsigned sw = 6000, sh = 3000, dw = 200, dh = 100;
    std::vector<uint8_t> source(Stride(sw, 24) * sh, 255);
    std::vector<uint8_t> out(Stride(dw, 24) * dh, 0);
    ScaleBufferVarnok(out.data(), dw, dh, source.data(), sw, sh, 24, nullptr);
    for (unsigned y = 0; y < dh; ++y)
        for (unsigned i = 0; i < dw * 3; ++i)
            ASSERT_EQ(255, out[y * Stride(dw, 24) + i]) << "row " << y << " byte " << i;
}

TEST(SmoothScaler, ReadsEveryDepth)
{
    // Palette: entry 0 red (255, 0, 0), entry 1 (0, 128, 255), others grey; stored red, green, blue.
    std::vector<uint8_t> palette(768, 60);
    palette[0] = 255, palette[1] = 0, palette[2] = 0;
    palette[3] = 0, palette[4] = 128, palette[5] = 255;
    struct Case {
        uint8_t bpp;
        std::vector<uint8_t> row;  // one 4-byte-padded row of two pixels
        std::vector<int> expected; // blue, green, red of the two pixels
    };
    const Case cases[] = {
        {1, {0x40, 0, 0, 0}, {0, 0, 255, 255, 128, 0}},               // pixels 0 then 1, MSB first
        {4, {0x01, 0, 0, 0}, {0, 0, 255, 255, 128, 0}},               // high nibble first
        {8, {1, 0, 0, 0}, {255, 128, 0, 0, 0, 255}},
        {16, {0xFF, 0x7F, 0x00, 0x80}, {255, 255, 255, 0, 0, 0}},    // 0x7FFF white, 0x8000 black
        {24, {1, 2, 3, 4, 5, 6, 0, 0}, {1, 2, 3, 4, 5, 6}},
        {32, {1, 2, 3, 99, 4, 5, 6, 99}, {1, 2, 3, 4, 5, 6}},        // fourth byte ignored
    };
    for (const Case& c : cases) {
        // Two identical rows, enlarged 2 x 2 -> 4 x 4: every output pixel is one of the two sources.
        std::vector<uint8_t> source = c.row;
        source.insert(source.end(), c.row.begin(), c.row.end());
        std::vector<uint8_t> out(Stride(4, 24) * 4, kSentinel);
        ScaleBufferVarnok(out.data(), 4, 4, source.data(), 2, 2, c.bpp, palette.data());
        std::vector<int> left(out.begin(), out.begin() + 3);
        std::vector<int> right(out.begin() + 9, out.begin() + 12);
        EXPECT_EQ(left, std::vector<int>(c.expected.begin(), c.expected.begin() + 3)) << int(c.bpp) << " bpp";
        EXPECT_EQ(right, std::vector<int>(c.expected.begin() + 3, c.expected.end())) << int(c.bpp) << " bpp";
    }
}

TEST(SmoothScaler, RefusalsWriteNothingAndLogTheirLine)
{
    std::vector<uint8_t> source(Stride(100, 8) * 100, 0);
    std::vector<uint8_t> palette(768, 0);
    std::vector<uint8_t> out(Stride(100, 24) * 120, kSentinel);
    const std::vector<uint8_t> untouched = out;
    const size_t logged = LogText().size();

    ScaleBufferVarnok(out.data(), 50, 120, source.data(), 100, 100, 8, palette.data());
    ScaleBufferVarnok(out.data(), 100, 50, source.data(), 100, 100, 8, palette.data());
    ScaleBufferVarnok(out.data(), 100, 100, source.data(), 100, 100, 8, palette.data());
    ScaleBufferVarnok(out.data(), 50, 50, source.data(), 100, 100, 8, nullptr);  // no palette
    ScaleBufferVarnok(out.data(), 50, 50, source.data(), 100, 100, 2, palette.data());
    ScaleBufferVarnok(out.data(), 0, 50, source.data(), 100, 100, 8, palette.data());
    EXPECT_EQ(out, untouched);

    const std::string added = LogText().substr(logged);
    EXPECT_NE(added.find("ScaleBufferVarnok: fail: no complete shrink nor enlarge! dst 50x120 src 100x100 8bpp"),
              std::string::npos)
        << added;
    EXPECT_NE(added.find("ScaleBufferVarnok: fail: no complete shrink nor enlarge! dst 100x50 src 100x100 8bpp"),
              std::string::npos);
    EXPECT_NE(added.find("ScaleBufferVarnok: fail: sizes same, but not 24bpp! dst 100x100 src 100x100 8bpp"),
              std::string::npos);

    // Equal sizes at 24 bpp copy the rows.
    std::vector<uint8_t> rgb = Grey24({{1, 2, 3}, {4, 5, 6}});
    std::vector<uint8_t> copy(rgb.size(), kSentinel);
    ScaleBufferVarnok(copy.data(), 3, 2, rgb.data(), 3, 2, 24, nullptr);
    EXPECT_EQ(copy, rgb);
}
