// Levels, equalisation and automatic levels.
#include <gtest/gtest.h>

#include "effects/EffectTestPictures.h"
#include "effects/Levels.h"

using namespace effecttest;

TEST(Levels, EqualizationMatchesImageMagickOnGrey)
{
    // Every grey of 40..200 about equally often: equalised it spans about 0..255.
    NImageBuffer picture;
    ASSERT_TRUE(LoadRaw(L"grey-ramp", 64, 40, 24, picture));
    ASSERT_TRUE(EqualizeLuma(picture, 255));
    EXPECT_LE(effecttest::WorstDifference(picture, RawBytes(L"grey-ramp-equalize"), 0), 1);

    // A larger maximum acts as 255; a smaller one compresses towards black.
    NImageBuffer capped, half;
    ASSERT_TRUE(LoadRaw(L"grey-ramp", 64, 40, 24, capped));
    ASSERT_TRUE(half.Copy(capped));
    ASSERT_TRUE(EqualizeLuma(capped, 300));
    EXPECT_EQ(Snapshot(picture), Snapshot(capped));
    ASSERT_TRUE(EqualizeLuma(half, 128));
    int brightest = 0;
    for (int y = 0; y < 40; ++y)
        for (int x = 0; x < 64; ++x)
            brightest = std::max<int>(brightest, GetRValue(ColourAt(half, x, y)));
    EXPECT_EQ(128, brightest);
}

TEST(Levels, EqualizationMovesColoursByTheirLumaChange)
{
    // Half the pixels of luma 82 (100, 50, 200), half of luma 0: 82 maps to 255, so each
    // channel of the colour gains 173.
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(4, 4, 24, RGB(100, 50, 200)));
    const NImageRect half{0, 0, 4, 2};
    ASSERT_TRUE(picture.FillRect(&half, RGB(0, 0, 0)));
    ASSERT_TRUE(EqualizeLuma(picture, 255));
    EXPECT_EQ(RGB(255, 223, 255), ColourAt(picture, 0, 3));
    EXPECT_EQ(RGB(127, 127, 127), ColourAt(picture, 0, 0)) << "luma 0 maps to half the pixels";
}

TEST(Levels, HistogramToneMapMakesFrequentLumasLight)
{
    // 12 pixels of grey 50, 4 of grey 200, no others: least 0, most 12.
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(4, 4, 24, RGB(50, 50, 50)));
    const NImageRect row{0, 0, 4, 1};
    ASSERT_TRUE(picture.FillRect(&row, RGB(200, 200, 200)));
    ASSERT_TRUE(MapLumaByHistogram(picture, 1));
    EXPECT_EQ(RGB(255, 255, 255), ColourAt(picture, 0, 3));
    EXPECT_EQ(RGB(85, 85, 85), ColourAt(picture, 0, 0));

    // Every luma equally often: nothing to map.
    NImageBuffer flat;
    ASSERT_TRUE(flat.Create(16, 16, 24, 0));
    for (int i = 0; i < 256; ++i)
        SetRaw(flat, i % 16, i / 16, static_cast<uint32_t>(i * 0x010101));
    const auto before = Snapshot(flat);
    ASSERT_TRUE(MapLumaByHistogram(flat, 7));
    EXPECT_EQ(before, Snapshot(flat));
}

TEST(Levels, AutomaticLevelsStretchBetweenTheClipPoints)
{
    // The grey ramp's clip points are 41 and 199: the same as ImageMagick's -level 41,199.
    NImageBuffer picture;
    ASSERT_TRUE(LoadRaw(L"grey-ramp", 64, 40, 32, picture));
    ASSERT_TRUE(AutoLevelsLuma(picture));
    EXPECT_LE(effecttest::WorstDifference(picture, RawBytes(L"grey-ramp-level"), 0), 1);
    EXPECT_EQ(0x80 + 7, AlphaAt(picture, 7, 3));

    // On grey, stretching each channel is the same, but for the saturation step (none on grey).
    NImageBuffer channels;
    ASSERT_TRUE(LoadRaw(L"grey-ramp", 64, 40, 24, channels));
    ASSERT_TRUE(AutoLevelsChannels(channels));
    EXPECT_LE(effecttest::WorstDifference(channels, RawBytes(L"grey-ramp-level"), 0), 1);

    // One colour: black and white points coincide, each channel becomes c - k = 0.
    NImageBuffer solid;
    ASSERT_TRUE(MakeSolid(solid, 5, 5, 32, RGB(100, 150, 200), 33));
    ASSERT_TRUE(AutoLevelsChannels(solid));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(solid, 4, 4));
    EXPECT_EQ(33, AlphaAt(solid, 4, 4));
    ASSERT_TRUE(MakeSolid(solid, 5, 5, 32, RGB(100, 150, 200), 33));
    ASSERT_TRUE(AutoLevels(solid));
    EXPECT_EQ(RGB(0, 0, 0), ColourAt(solid, 4, 4));
    // The luma alone: luma 140 - 140 = 0, every channel moves down by 140.
    ASSERT_TRUE(MakeSolid(solid, 5, 5, 24, RGB(100, 150, 200)));
    ASSERT_TRUE(AutoLevelsLuma(solid));
    EXPECT_EQ(RGB(0, 10, 60), ColourAt(solid, 4, 4));
}

TEST(Levels, DepthAndArgumentChecks)
{
    NImageBuffer deep, grey, empty, rgb;
    ASSERT_TRUE(MakeSolid(deep, 4, 4, 32, RGB(1, 2, 3)));
    ASSERT_TRUE(MakeGrey8(grey, 4, 4));
    ASSERT_TRUE(MakeSolid(rgb, 4, 4, 24, RGB(1, 2, 3)));
    EXPECT_FALSE(EqualizeLuma(deep, 255));
    EXPECT_FALSE(MapLumaByHistogram(deep, 1));
    EXPECT_FALSE(EqualizeLuma(rgb, 0));
    EXPECT_FALSE(MapLumaByHistogram(rgb, 0));
    for (NImageBuffer* picture : {&grey, &empty}) {
        EXPECT_FALSE(EqualizeLuma(*picture, 255));
        EXPECT_FALSE(MapLumaByHistogram(*picture, 1));
        EXPECT_FALSE(AutoLevelsLuma(*picture));
        EXPECT_FALSE(AutoLevelsChannels(*picture));
        EXPECT_FALSE(AutoLevels(*picture));
    }
    EXPECT_EQ(RGB(128, 128, 128), ColourAt(grey, 0, 0));
}
