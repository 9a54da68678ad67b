// 64-bit picture fingerprints.
#include <gtest/gtest.h>

#include "effects/EffectTestPictures.h"
#include "effects/Fingerprints.h"

using namespace effecttest;

namespace {

// A horizontal grey gradient, dark on the left (or on the right when reversed).
void MakeGradient(NImageBuffer& picture, int width, int height, bool reversed)
{
    ASSERT_TRUE(picture.Create(width, height, 24, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const int v = (reversed ? width - 1 - x : x) * 255 / (width - 1);
            SetRaw(picture, x, y, static_cast<uint32_t>(v * 0x010101));
        }
}

}  // namespace

TEST(Fingerprints, SetBitsAndSimilarity)
{
    EXPECT_EQ(0, CountSetBits(0));
    EXPECT_EQ(64, CountSetBits(~uint64_t{0}));
    EXPECT_EQ(1, CountSetBits(uint64_t{1} << 63));
    EXPECT_EQ(32, CountSetBits(0xAAAAAAAAAAAAAAAAull));
    EXPECT_EQ(8, CountSetBits(0x0102040810204080ull));

    int out = -1;
    EXPECT_EQ(100, HashSimilarity(0x123456789ABCDEF0ull, 0x123456789ABCDEF0ull, &out));
    EXPECT_EQ(100, out);
    EXPECT_EQ(98, HashSimilarity(0x123456789ABCDEF0ull, 0x123456789ABCDEF1ull, nullptr)) << "63 of 64";
    EXPECT_EQ(50, HashSimilarity(0, 0xFFFFFFFFull, nullptr));
    EXPECT_EQ(0, HashSimilarity(0, ~uint64_t{0}, &out));
    EXPECT_EQ(0, out);
}

TEST(Fingerprints, AverageAndDifferenceHashesOfKnownPictures)
{
    // Top half white, bottom half black: cells run from the bottom row, so the white cells are
    // the last 32, bits 31..0.
    NImageBuffer halves;
    ASSERT_TRUE(halves.Create(64, 64, 24, RGB(0, 0, 0)));
    const NImageRect top{0, 0, 64, 32};
    ASSERT_TRUE(halves.FillRect(&top, RGB(255, 255, 255)));
    uint64_t hash = 0;
    ASSERT_TRUE(ComputeAverageHash(halves, &hash));
    EXPECT_EQ(0x00000000FFFFFFFFull, hash);

    NImageBuffer gradient;
    MakeGradient(gradient, 90, 40, false);
    ASSERT_TRUE(ComputeDifferenceHash(gradient, &hash));
    EXPECT_EQ(0u, hash) << "every cell is darker than its right neighbour";
    ASSERT_TRUE(ComputeAverageHash(gradient, &hash));
    EXPECT_EQ(0x0F0F0F0F0F0F0F0Full, hash) << "the right half is at or above the mean";
    MakeGradient(gradient, 90, 40, true);
    ASSERT_TRUE(ComputeDifferenceHash(gradient, &hash));
    EXPECT_EQ(~uint64_t{0}, hash);

    // One grey: every cell equals the mean.
    NImageBuffer flat;
    ASSERT_TRUE(MakeSolid(flat, 30, 30, 32, RGB(90, 90, 90)));
    ASSERT_TRUE(ComputeAverageHash(flat, &hash));
    EXPECT_EQ(~uint64_t{0}, hash);

    NImageBuffer empty;
    hash = 7;
    EXPECT_FALSE(ComputeAverageHash(empty, &hash));
    EXPECT_FALSE(ComputeDifferenceHash(empty, &hash));
    EXPECT_FALSE(ComputeDctHash(empty, &hash));
    EXPECT_EQ(7u, hash);
    EXPECT_FALSE(ComputeAverageHash(flat, nullptr));
}

TEST(Fingerprints, HistogramHashFollowsTheShapeNotTheCount)
{
    int histogram[256] = {};
    histogram[0] = 1000;
    uint64_t hash = 0;
    HistogramToHash(histogram, &hash);
    EXPECT_EQ(uint64_t{1} << 63, hash) << "cell 0 becomes 255, the mean 3";

    // Dark half three times as frequent as the light half: the dark cells are at or above the
    // mean, whatever the picture's size.
    for (int scale : {1, 3, 256, 1000, 100000}) {
        SCOPED_TRACE(scale);
        for (int i = 0; i < 256; ++i)
            histogram[i] = (i < 128 ? 3 : 1) * scale;
        HistogramToHash(histogram, &hash);
        EXPECT_EQ(0xFFFFFFFF00000000ull, hash);
    }

    NImageBuffer picture;
    ASSERT_TRUE(MakeSolid(picture, 50, 40, 24, RGB(255, 0, 0)));
    uint64_t red = 0, green = 0, blue = 0, luma = 0;
    ASSERT_TRUE(ComputeChannelHistogramHashes(picture, &red, &green, &blue, &luma));
    EXPECT_EQ(uint64_t{1}, red) << "every count in bin 255, the last cell";
    EXPECT_EQ(uint64_t{1} << 63, green);
    EXPECT_EQ(uint64_t{1} << 63, blue);
    EXPECT_EQ(uint64_t{1} << (63 - 76 / 4), luma);

    // Palette pictures are measured through a 24-bpp copy; 100 pixels fill one cell.
    NImageBuffer grey;
    ASSERT_TRUE(MakeGrey8(grey, 10, 10));
    ASSERT_TRUE(ComputeChannelHistogramHashes(grey, &red, &green, &blue, &luma));
    EXPECT_EQ(uint64_t{1} << (63 - 32), luma);
    NImageBuffer empty;
    EXPECT_FALSE(ComputeChannelHistogramHashes(empty, &red, &green, &blue, &luma));

    // The chart hash comes with the luma histogram's; only a valid picture has them.
    uint64_t chart = 5, chartToo = 6;
    luma = 7;
    ASSERT_TRUE(ComputeHistogramHashes(grey, &chart, &luma));
    EXPECT_EQ(uint64_t{1} << (63 - 32), luma);
    ASSERT_TRUE(ComputeHistogramChartHash(grey, &chartToo));
    EXPECT_EQ(chart, chartToo);
    chart = 5;
    EXPECT_FALSE(ComputeHistogramChartHash(empty, &chart));
    EXPECT_FALSE(ComputeHistogramHashes(empty, &chart, &luma));
    EXPECT_EQ(5u, chart);
}

TEST(Fingerprints, ResizedAndRecompressedPictureStaysSimilarADifferentOneDoesNot)
{
    NImageBuffer photo, small, other;
    ASSERT_TRUE(LoadRaw(L"photo-a-160x120", 160, 120, 24, photo));
    ASSERT_TRUE(LoadRaw(L"photo-a-small-80x60", 80, 60, 24, small));
    ASSERT_TRUE(LoadRaw(L"photo-b-160x120", 160, 120, 24, other));

    using Hash = bool (*)(const NImageBuffer&, uint64_t*);
    const struct {
        const char* name;
        Hash hash;
        int similarAtLeast;
        int differentAtMost;
    } hashes[] = {
        {"average", [](const NImageBuffer& p, uint64_t* h) { return ComputeAverageHash(p, h); }, 90, 65},
        {"difference", [](const NImageBuffer& p, uint64_t* h) { return ComputeDifferenceHash(p, h); }, 85, 70},
        // Its mean includes the large constant term, so most bits are 0 for any picture: it
        // tells pictures apart less sharply.
        {"dct", [](const NImageBuffer& p, uint64_t* h) { return ComputeDctHash(p, h); }, 95, 88},
        {"histogram chart", [](const NImageBuffer& p, uint64_t* h) { return ComputeHistogramChartHash(p, h); }, 90,
         70},
        {"luma histogram",
         [](const NImageBuffer& p, uint64_t* h) { return ComputeChannelHistogramHashes(p, nullptr, nullptr, nullptr, h); },
         90, 70},
    };
    for (const auto& h : hashes) {
        SCOPED_TRACE(h.name);
        uint64_t a = 0, b = 0, c = 0;
        ASSERT_TRUE(h.hash(photo, &a));
        ASSERT_TRUE(h.hash(small, &b));
        ASSERT_TRUE(h.hash(other, &c));
        const int similar = HashSimilarity(a, b, nullptr), different = HashSimilarity(a, c, nullptr);
        EXPECT_GE(similar, h.similarAtLeast);
        EXPECT_LE(different, h.differentAtMost);
    }
}
