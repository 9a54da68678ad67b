// Spin, zoom and motion blur.
#include <gtest/gtest.h>

#include <functional>
#include <limits>

#include "effects/PathBlurs.h"
#include "effects/ScanLinePixels.h"

using namespace effecttest;

namespace {

using Effect = std::function<bool(NImageBuffer&)>;

// Blue and green of a pixel of the 8 x 8 gradient (blue 10 x, green 10 line, red 77) after the
// effect: the mean of the positions it averaged.
struct GradientCase {
    const char* name;
    Effect effect;
    int x, line;
    int blue, green;
};

void ExpectGradientCases(const GradientCase* cases, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const GradientCase& c = cases[i];
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(testing::Message() << c.name << " at (" << c.x << ", " << c.line << ") " << bpp << " bpp");
            NImageBuffer picture;
            ASSERT_TRUE(MakeGradient(picture, 8, 8, bpp));
            ASSERT_TRUE(c.effect(picture));
            const uint32_t value = ValueOnLine(picture, c.x, c.line);
            EXPECT_EQ(c.blue, static_cast<int>(value & 255));
            EXPECT_EQ(c.green, static_cast<int>((value >> 8) & 255));
            EXPECT_EQ(77u, (value >> 16) & 255);
            if (bpp == 32) {
                EXPECT_EQ(255u, value >> 24);
            }
        }
    }
}

void SetPixel(NImageBuffer& picture, int x, int line, uint32_t value)
{
    uint8_t* p = PixelOnLine(picture, x, line);
    for (int c = 0; c < picture.bpp / 8; ++c)
        p[c] = static_cast<uint8_t>(value >> (8 * c));
}

}  // namespace

TEST(PathBlurs, RefuseLowDepthsEmptyPicturesAndNonFiniteValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        Effect effect;
    } effects[] = {
        {"SpinBlur", [](NImageBuffer& p) { return SpinBlur(p, 20); }},
        {"ZoomBlur", [](NImageBuffer& p) { return ZoomBlur(p, 40, 0, 0); }},
        {"MotionBlur", [](NImageBuffer& p) { return MotionBlur(p, 5, 30); }},
    };
    for (const auto& e : effects) {
        SCOPED_TRACE(e.name);
        NImageBuffer grey, empty;
        ASSERT_TRUE(MakeGrey8(grey, 6, 5));
        const auto before = Snapshot(grey);
        EXPECT_FALSE(e.effect(grey));
        EXPECT_EQ(before, Snapshot(grey));
        EXPECT_FALSE(e.effect(empty));
    }

    const struct {
        const char* name;
        Effect effect;
    } nonFinite[] = {
        {"SpinBlur NaN", [&](NImageBuffer& p) { return SpinBlur(p, nan); }},
        {"SpinBlur inf", [&](NImageBuffer& p) { return SpinBlur(p, -inf); }},
        {"ZoomBlur cx NaN", [&](NImageBuffer& p) { return ZoomBlur(p, 40, nan, 0); }},
        {"ZoomBlur cy inf", [&](NImageBuffer& p) { return ZoomBlur(p, 40, 0, inf); }},
    };
    for (const auto& e : nonFinite) {
        SCOPED_TRACE(e.name);
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 9, 7, 32, 2));
        const auto before = Snapshot(picture);
        EXPECT_FALSE(e.effect(picture));
        EXPECT_EQ(before, Snapshot(picture));
    }
}

TEST(PathBlurs, MotionBlurWalksTheBresenhamLine)
{
    // Length 3 from (2, 2): angle 0 walks right, 90 up (to higher lines), 180 left, 270 down;
    // 45 gives (trunc 2.12, trunc 2.12) = (2, 2), the diagonal. The walk stops at the border.
    const GradientCase cases[] = {
        {"right", [](NImageBuffer& p) { return MotionBlur(p, 3, 0); }, 2, 2, 30, 20},
        {"up", [](NImageBuffer& p) { return MotionBlur(p, 3, 90); }, 2, 2, 20, 30},
        {"left", [](NImageBuffer& p) { return MotionBlur(p, 3, 180); }, 2, 2, 10, 20},
        {"down", [](NImageBuffer& p) { return MotionBlur(p, 3, 270); }, 2, 2, 20, 10},
        {"diagonal", [](NImageBuffer& p) { return MotionBlur(p, 3, 45); }, 2, 2, 30, 30},
        {"full turn", [](NImageBuffer& p) { return MotionBlur(p, 3, 360 + 180); }, 2, 2, 10, 20},
        {"to the border", [](NImageBuffer& p) { return MotionBlur(p, 3, 0); }, 6, 2, 65, 20},
        {"at the border", [](NImageBuffer& p) { return MotionBlur(p, 3, 0); }, 7, 2, 70, 20},
        // Length 10 at 30 degrees: (trunc 8.66, trunc 4.99999) = (8, 4); x major, error from 0,
        // +8, -16: the walk from (0, 0) is (0,0) (1,1) (2,1) (3,2) (4,2) (5,3) (6,3) (7,4), then
        // it leaves the picture.
        {"shallow", [](NImageBuffer& p) { return MotionBlur(p, 10, 30); }, 0, 0, 35, 20},
    };
    ExpectGradientCases(cases, std::size(cases));

    // Colours weigh by alpha; alpha is the mean. Length 2 to the right on one row.
    const struct {
        uint32_t first, second, expected;
    } weights[] = {
        {0xFF0000C8, 0xFF640000, 0xFF320064},  // opaque: plain mean
        {0xFF0000C8, 0x00640000, 0x7F0000C8},  // the transparent one adds no colour
        {0x40102030, 0xC0000000, 0x8004080C},  // 1/4 and 3/4
        {0x00123456, 0x00ABCDEF, 0x00123456},  // all transparent: colour kept, still transparent
    };
    for (const auto& w : weights) {
        SCOPED_TRACE(testing::Message() << std::hex << w.first << " " << w.second);
        NImageBuffer row;
        ASSERT_TRUE(row.Create(2, 1, 32, 0));
        SetPixel(row, 0, 0, w.first);
        SetPixel(row, 1, 0, w.second);
        ASSERT_TRUE(MotionBlur(row, 2, 0));
        EXPECT_EQ(w.expected, ValueOnLine(row, 0, 0));
        EXPECT_EQ(w.second, ValueOnLine(row, 1, 0));
    }

    // Length 1 takes only the pixel itself; so does a length of 0 (counted as 1).
    for (int bpp : {24, 32})
        for (int length : {1, 0, -20}) {
            NImageBuffer picture;
            ASSERT_TRUE(MakeNoise(picture, 23, 17, bpp, 8));
            const auto before = Snapshot(picture);
            ASSERT_TRUE(MotionBlur(picture, length, 33));
            EXPECT_EQ(before, Snapshot(picture)) << bpp << " " << length;
        }
}

TEST(PathBlurs, ZoomBlurAveragesTowardTheCentre)
{
    // 64 steps, each taking strength / 16384 of the offset off; worked out step by step in
    // 16.16 with the truncating divisions.
    const GradientCase cases[] = {
        {"corner", [](NImageBuffer& p) { return ZoomBlur(p, 150, 0, 0); }, 0, 0, 9, 9},
        {"far corner", [](NImageBuffer& p) { return ZoomBlur(p, 150, 0, 0); }, 7, 7, 63, 63},
        {"off axis", [](NImageBuffer& p) { return ZoomBlur(p, 150, 0, 0); }, 6, 2, 54, 25},
        {"moved centre", [](NImageBuffer& p) { return ZoomBlur(p, 100, 0.5, -0.5); }, 1, 6, 18, 53},
        {"centre far left", [](NImageBuffer& p) { return ZoomBlur(p, 150, -2, 0); }, 7, 4, 43, 40},
        {"the centre", [](NImageBuffer& p) { return ZoomBlur(p, 150, 0, 0); }, 4, 4, 40, 40},
    };
    ExpectGradientCases(cases, std::size(cases));

    // With even sides and the centre in the middle the centre pixel keeps every byte.
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 40, 26, bpp, 3));
        const uint32_t centre = ValueOnLine(picture, 20, 13);
        ASSERT_TRUE(ZoomBlur(picture, 150, 0, 0));
        EXPECT_EQ(centre, ValueOnLine(picture, 20, 13)) << bpp;
    }

    // Transparent areas stay transparent and keep their colour; alpha is the mean.
    NImageBuffer clear;
    ASSERT_TRUE(MakeSolid(clear, 12, 10, 32, RGB(9, 8, 7), 0));
    SetPixel(clear, 11, 9, 0xFF102030);  // opaque in the top right corner
    ASSERT_TRUE(ZoomBlur(clear, 150, 0, 0));
    EXPECT_EQ(0x00090807u, ValueOnLine(clear, 0, 0));
    const uint32_t corner = ValueOnLine(clear, 11, 9);
    EXPECT_EQ(0x102030u, corner & 0xFFFFFF);  // only it has weight
    EXPECT_GT(corner >> 24, 0u);
    EXPECT_LT(corner >> 24, 255u);
}

TEST(PathBlurs, SpinBlurSweepsTheArcBothWays)
{
    // The centre is pixel (4, 4); worked out turn by turn in 16.16.
    const GradientCase cases[] = {
        {"30 degrees", [](NImageBuffer& p) { return SpinBlur(p, 30); }, 6, 6, 59, 59},
        {"5 degrees", [](NImageBuffer& p) { return SpinBlur(p, 5); }, 6, 6, 60, 60},
        {"90 degrees", [](NImageBuffer& p) { return SpinBlur(p, 90); }, 7, 2, 55, 24},
        {"-90 degrees", [](NImageBuffer& p) { return SpinBlur(p, -90); }, 7, 2, 55, 24},
        {"inner", [](NImageBuffer& p) { return SpinBlur(p, 30); }, 1, 1, 11, 11},
        // The bottom line and the first column are sampled too: 13 of the 129 fall inside.
        {"corner", [](NImageBuffer& p) { return SpinBlur(p, 90); }, 0, 0, 6, 6},
        {"the centre", [](NImageBuffer& p) { return SpinBlur(p, 90); }, 4, 4, 40, 40},
    };
    ExpectGradientCases(cases, std::size(cases));

    // 2 x 2 turned half a turn each way about pixel (1, 1): the other three pixels pass over
    // the bottom line and the first column; pixel (1, 1) stays.
    const struct {
        int x, line;
        uint32_t expected;
    } small[] = {{0, 0, 0x0E0000}, {1, 0, 0x080000}, {0, 1, 0x080000}, {1, 1, 0x0064C8}};
    NImageBuffer quad;
    ASSERT_TRUE(quad.Create(2, 2, 24, 0));
    SetPixel(quad, 0, 0, 0x280000);
    SetPixel(quad, 1, 1, 0x0064C8);
    ASSERT_TRUE(SpinBlur(quad, 180));
    for (const auto& s : small)
        EXPECT_EQ(s.expected, ValueOnLine(quad, s.x, s.line)) << s.x << "," << s.line;

    // Alpha is not touched; angle 0 changes nothing; one colour stays.
    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 30, 20, 32, 6));
    const auto before = Snapshot(picture);
    ASSERT_TRUE(SpinBlur(picture, 0));
    EXPECT_EQ(before, Snapshot(picture));
    ASSERT_TRUE(SpinBlur(picture, 45));
    EXPECT_NE(before, Snapshot(picture));
    for (int line = 0; line < 20; ++line)
        for (int x = 0; x < 30; ++x)
            ASSERT_EQ(before[static_cast<size_t>(line) * picture.stride + x * 4 + 3], PixelOnLine(picture, x, line)[3]);
    NImageBuffer solid;
    ASSERT_TRUE(MakeSolid(solid, 15, 11, 24, RGB(200, 100, 50)));
    const auto solidBefore = Snapshot(solid);
    ASSERT_TRUE(SpinBlur(solid, 120));
    EXPECT_EQ(solidBefore, Snapshot(solid));
}

TEST(PathBlurs, FixedPointHoldsOnPicturesWiderThanTheInt32Range)
{
    // 70000 columns put the centre at 70000 * 32768 > 2^31 in 16.16: the centre pixel, whose
    // samples all fall on itself, stays as it was only when the positions do not overflow.
    for (const Effect& effect : {Effect([](NImageBuffer& p) { return ZoomBlur(p, 150, 0, 0); }),
                                 Effect([](NImageBuffer& p) { return SpinBlur(p, 90); })}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 70000, 2, 24, 12));
        const uint32_t centre = ValueOnLine(picture, 35000, 1);
        const uint32_t left = ValueOnLine(picture, 34990, 1);
        ASSERT_TRUE(effect(picture));
        EXPECT_EQ(centre, ValueOnLine(picture, 35000, 1));
        EXPECT_NE(left, ValueOnLine(picture, 34990, 1));
    }
}

TEST(PathBlurs, ParametersAreClampedToTheirRanges)
{
    const struct {
        const char* name;
        Effect outside, clamped;
    } cases[] = {
        {"SpinBlur", [](NImageBuffer& p) { return SpinBlur(p, 1e12); }, [](NImageBuffer& p) { return SpinBlur(p, 360); }},
        {"SpinBlur -", [](NImageBuffer& p) { return SpinBlur(p, -400); }, [](NImageBuffer& p) { return SpinBlur(p, -360); }},
        {"ZoomBlur low", [](NImageBuffer& p) { return ZoomBlur(p, -5, -3, 9); }, [](NImageBuffer& p) { return ZoomBlur(p, 1, -2, 2); }},
        {"ZoomBlur high", [](NImageBuffer& p) { return ZoomBlur(p, 151, 0, 0); }, [](NImageBuffer& p) { return ZoomBlur(p, 150, 0, 0); }},
        {"MotionBlur", [](NImageBuffer& p) { return MotionBlur(p, 1000, 20); }, [](NImageBuffer& p) { return MotionBlur(p, 150, 20); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(NoiseAfter(c.clamped, 33, 21, 32, 2), NoiseAfter(c.outside, 33, 21, 32, 2));
    }
}

namespace {

const struct {
    const char* name;
    Effect effect;
} kEveryPathBlur[] = {
    {"SpinBlur", [](NImageBuffer& p) { return SpinBlur(p, 60); }},
    {"SpinBlur full", [](NImageBuffer& p) { return SpinBlur(p, -360); }},
    {"ZoomBlur", [](NImageBuffer& p) { return ZoomBlur(p, 150, 0, 0); }},
    {"ZoomBlur moved", [](NImageBuffer& p) { return ZoomBlur(p, 30, 2, -2); }},
    {"MotionBlur", [](NImageBuffer& p) { return MotionBlur(p, 150, 0); }},
    {"MotionBlur steep", [](NImageBuffer& p) { return MotionBlur(p, 40, -100); }},
};

}  // namespace

TEST(PathBlurs, SameResultOnOneThreadAndOnMany)
{
    for (const auto& e : kEveryPathBlur)
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(testing::Message() << e.name << " " << bpp);
            EXPECT_EQ(NoiseAfter(e.effect, 61, 47, bpp, 1), NoiseAfter(e.effect, 61, 47, bpp, 4));
        }
}

TEST(PathBlurs, OnePixelRowsColumnsAndVeryWidePictures)
{
    ExpectEveryEffectKeepsTheSize(kEveryPathBlur, {{1, 1}, {1, 300}, {300, 1}, {4000, 2}, {2, 1}}, true);
}
