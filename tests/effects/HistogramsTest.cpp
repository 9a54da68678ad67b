// Histograms, black and white points, bilinear sampling and row addressing.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <numeric>

#include "effects/EffectTestPictures.h"
#include "effects/Histograms.h"

using namespace effecttest;

TEST(Histograms, CountsChannelsAndLumaAndAnswersTheChartScale)
{
    int red[256], green[256], blue[256], luma[256];
    NImageBuffer picture;
    ASSERT_TRUE(MakeSolid(picture, 2, 2, 32, RGB(255, 0, 0), 9));
    // 2 % of 4 pixels truncates to 0.
    EXPECT_EQ(0, ComputeHistograms(picture, red, green, blue, luma));
    EXPECT_EQ(4, red[255]);
    EXPECT_EQ(4, green[0]);
    EXPECT_EQ(4, blue[0]);
    EXPECT_EQ(4, luma[76]);
    EXPECT_EQ(4, std::accumulate(luma, luma + 256, 0)) << "alpha is not counted";

    ASSERT_TRUE(MakeSolid(picture, 100, 100, 24, RGB(10, 20, 30)));
    EXPECT_EQ(200, ComputeHistograms(picture, nullptr, nullptr, blue, nullptr));
    EXPECT_EQ(10000, blue[30]);

    // A picture of varied colours: the largest count is below 2 %.
    ASSERT_TRUE(MakeNoise(picture, 100, 100, 24, 3));
    const int scale = ComputeHistograms(picture, red, green, blue, luma);
    int largest = 0;
    for (int i = 0; i < 256; ++i)
        largest = std::max({largest, red[i], green[i], blue[i], luma[i]});
    EXPECT_EQ(largest, scale);
    EXPECT_LT(scale, 200);

    // Nothing is written for pictures below 24 bpp.
    std::fill(red, red + 256, -1);
    ASSERT_TRUE(MakeGrey8(picture, 4, 4));
    EXPECT_EQ(0, ComputeHistograms(picture, red, nullptr, nullptr, nullptr));
    EXPECT_EQ(-1, red[0]);
    NImageBuffer empty;
    EXPECT_EQ(0, ComputeHistograms(empty, red, nullptr, nullptr, nullptr));
}

TEST(Histograms, ChartFillsEachCurveUpToItsCount)
{
    // A luma curve at the full scale over the left half, at half of it over the right half,
    // drawn 100 high at x = 20 on black: light grey 0xFB at alpha 220 gives 216.
    int luma[256], red[256];
    for (int i = 0; i < 256; ++i) {
        luma[i] = i < 128 ? 40 : 20;
        red[i] = 40;
    }
    NImageBuffer chart;
    ASSERT_TRUE(chart.Create(300, 100, 24, RGB(0, 0, 0)));
    ASSERT_TRUE(DrawHistogram(chart.dc, 20, 0, 0, 100, nullptr, nullptr, nullptr, luma, 40));
    auto grey = [&](int x, int y) { return static_cast<int>(GetRValue(ColourAt(chart, x, y))); };
    EXPECT_NEAR(216, grey(60, 5), 2);
    EXPECT_NEAR(216, grey(60, 95), 2);
    EXPECT_EQ(0, grey(200, 40)) << "the right half rises to half the height";
    EXPECT_NEAR(216, grey(200, 60), 2);
    EXPECT_EQ(0, grey(10, 50)) << "left of x";
    EXPECT_EQ(0, grey(290, 50)) << "right of x + 256";
    EXPECT_EQ(ColourAt(chart, 60, 50), RGB(grey(60, 50), grey(60, 50), grey(60, 50))) << "one light grey";

    // Red first, the luma curve over it; counts above the scale reach the top.
    ASSERT_TRUE(chart.Create(300, 100, 24, RGB(0, 0, 0)));
    ASSERT_TRUE(DrawHistogram(chart.dc, 0, 0, 0, 100, red, nullptr, nullptr, luma, 10));
    const COLORREF top = ColourAt(chart, 200, 1);
    EXPECT_GT(GetRValue(top), 200);
    EXPECT_GT(GetGValue(top), 190);
    EXPECT_NEAR(GetRValue(top), (227 * 220 / 255) * 35 / 255 + 251 * 220 / 255, 3) << "red under luma";

    // A scale of 0 (pictures under 50 pixels) counts as 1.
    ASSERT_TRUE(chart.Create(300, 100, 24, RGB(0, 0, 0)));
    ASSERT_TRUE(DrawHistogram(chart.dc, 0, 0, 0, 100, nullptr, nullptr, nullptr, luma, 0));
    EXPECT_NEAR(216, grey(100, 1), 2);
    int huge[256];
    std::fill(huge, huge + 256, INT_MAX);
    ASSERT_TRUE(DrawHistogram(chart.dc, 0, 0, 0, 100, huge, huge, huge, huge, 1));

    EXPECT_FALSE(DrawHistogram(chart.dc, 0, 0, 0, 100, nullptr, nullptr, nullptr, nullptr, 10));
}

TEST(Histograms, ClipPointsLieWhereTheShareStopsApproaching06Percent)
{
    struct Case {
        const char* name;
        void (*fill)(int*);
        int black, white;
    };
    const Case cases[] = {
        {"all in bin 128", [](int* h) { h[128] = 1000; }, 128, 128},
        {"empty", [](int*) {}, 0, 0},
        // Each of 40..200 holds 1/161 = 0.62 %: adding the second level moves away from 0.6 %.
        {"flat 40..200", [](int* h) { std::fill(h + 40, h + 201, 16); }, 41, 199},
        // 1 % in each of the two end bins: the first alone is nearest to 0.6 %.
        {"1 % steps", [](int* h) { h[0] = h[1] = h[254] = h[255] = 10; h[128] = 960; }, 1, 254},
        // Empty bins never move the share, so the search runs on to the next filled one.
        {"1 % at the ends, gap", [](int* h) { h[0] = h[255] = 10; h[128] = 980; }, 128, 128},
        // 0.3 % a bin: two bins reach 0.6 % exactly, a third moves away.
        {"0.3 % steps", [](int* h) { std::fill(h, h + 256, 3); h[128] = 235; }, 2, 253},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        int histogram[256] = {};
        c.fill(histogram);
        int black = -1, white = -1;
        FindLevelsClipPoints(histogram, &black, &white);
        EXPECT_EQ(c.black, black);
        EXPECT_EQ(c.white, white);
    }
    int black = -1, white = -1;
    FindLevelsClipPoints(nullptr, &black, &white);
    EXPECT_EQ(0, black);
    EXPECT_EQ(0, white);
}

TEST(Histograms, BilinearSampleWeighsColoursByAlpha)
{
    const uint8_t black[4] = {0, 0, 0, 255};
    const uint8_t white[4] = {255, 255, 255, 255};
    const uint8_t red[4] = {0, 0, 255, 255};
    const uint8_t clearBlue[4] = {255, 0, 0, 0};
    const uint8_t halfGreen[4] = {0, 200, 0, 128};

    EXPECT_EQ(0x8000C800u, SampleBilinear(0, 0, 32, halfGreen, black, black, black));
    EXPECT_EQ(0xFFFF0000u, SampleBilinear(0, 0, 24, red, black, black, black));
    EXPECT_EQ(0xFF7F7F7Fu, SampleBilinear(0.5, 0, 24, black, white, black, white)) << "127.5 truncates";
    EXPECT_EQ(0xFF7F7F7Fu, SampleBilinear(0, 0.5, 32, black, black, white, white));
    EXPECT_EQ(0x00FFFFFFu, SampleBilinear(0.3, 0.7, 32, clearBlue, clearBlue, clearBlue, clearBlue));
    // Half-way between opaque red and transparent blue: alpha 127, the colour stays red.
    EXPECT_EQ(0x7FFF0000u, SampleBilinear(0.5, 0.5, 32, red, clearBlue, red, clearBlue));
    // An opaque pixel beside a half-transparent one: alpha 191, green 200 * 128 / 2 / 191.5 = 66.8.
    EXPECT_EQ(0xBF004200u, SampleBilinear(0.5, 0, 32, black, halfGreen, black, halfGreen));
    // On 24 bpp the fourth byte is not read as alpha.
    EXPECT_EQ(0xFF7F007Fu, SampleBilinear(0.5, 0, 24, red, clearBlue, red, clearBlue));
}

TEST(Histograms, RowPointerAddressesScanLinesFromTheBottom)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(5, 3, 24, 0));
    EXPECT_EQ(picture.bits, GetRowPointer(picture, 0));
    EXPECT_EQ(picture.bits + 2 * picture.stride, GetRowPointer(picture, 2));
    EXPECT_EQ(RowFromTop(picture, 0), GetRowPointer(picture, 2));
    EXPECT_EQ(nullptr, GetRowPointer(picture, 3));
    EXPECT_EQ(nullptr, GetRowPointer(picture, -1));
    NImageBuffer empty;
    EXPECT_EQ(nullptr, GetRowPointer(empty, 0));
}
