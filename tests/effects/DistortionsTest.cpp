// Pinch, twirl, ripple, tangent waves and jitter.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <numbers>

#include "effects/Distortions.h"
#include "effects/ScanLinePixels.h"

using namespace effecttest;

namespace {

using Effect = std::function<bool(NImageBuffer&)>;

// Blue and green of a pixel of the 8 x 8 gradient after the effect: ten times the source
// position it was sampled at (see MakeGradient).
struct GradientCase {
    const char* name;
    Effect effect;
    int x, line;
    int blue, green;
};

void ExpectGradientCases(const GradientCase* cases, size_t count, int width = 8, int height = 8)
{
    for (size_t i = 0; i < count; ++i) {
        const GradientCase& c = cases[i];
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(testing::Message() << c.name << " at (" << c.x << ", " << c.line << ") " << bpp << " bpp");
            NImageBuffer picture;
            ASSERT_TRUE(MakeGradient(picture, width, height, bpp));
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

}  // namespace

TEST(Distortions, RefuseLowDepthsEmptyPicturesAndNonFiniteValues)
{
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const struct {
        const char* name;
        Effect effect;
    } effects[] = {
        {"Pinch", [](NImageBuffer& p) { return Pinch(p, 50, 0, 0); }},
        {"Twirl", [](NImageBuffer& p) { return Twirl(p, 5, 100, 0, 0); }},
        {"Ripple", [](NImageBuffer& p) { return Ripple(p, 4, 2, 0); }},
        {"TangentWaves", [](NImageBuffer& p) { return TangentWaves(p, 10, 5, 10); }},
        {"Jitter", [](NImageBuffer& p) { return Jitter(p, 5); }},
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
        {"Pinch cx NaN", [&](NImageBuffer& p) { return Pinch(p, 50, nan, 0); }},
        {"Pinch cy inf", [&](NImageBuffer& p) { return Pinch(p, 50, 0, inf); }},
        {"Twirl cx -inf", [&](NImageBuffer& p) { return Twirl(p, 5, 100, -inf, 0); }},
        {"Twirl cy NaN", [&](NImageBuffer& p) { return Twirl(p, 5, 100, 0, nan); }},
        {"Ripple phase NaN", [&](NImageBuffer& p) { return Ripple(p, 4, 2, nan); }},
        {"Ripple phase inf", [&](NImageBuffer& p) { return Ripple(p, 4, 2, inf); }},
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

TEST(Distortions, PinchScalesTheOffsetByTheSquaredFalloff)
{
    // 8 x 8: centre (4, 4), reach 4. (5, 4): w = 3/4, scale 1 - a 9/16. (5, 5): w = 1 - sqrt(2)/4.
    // (7, 4) with -200: scale 1 + 2/16, source 7.375 is clamped to the last column.
    const GradientCase cases[] = {
        {"bulge 100", [](NImageBuffer& p) { return Pinch(p, 100, 0, 0); }, 5, 4, 44, 40},  // 4.4375
        {"bulge 100 diagonal", [](NImageBuffer& p) { return Pinch(p, 100, 0, 0); }, 5, 5, 45, 45},  // 4.5821
        {"pinch -100", [](NImageBuffer& p) { return Pinch(p, -100, 0, 0); }, 5, 4, 55, 40},  // 5.5625
        {"pinch -200", [](NImageBuffer& p) { return Pinch(p, -200, 0, 0); }, 5, 4, 61, 40},  // 6.125
        {"pinch -200 diagonal", [](NImageBuffer& p) { return Pinch(p, -200, 0, 0); }, 5, 5, 58, 58},  // 5.8358
        {"pinch -200 at the edge", [](NImageBuffer& p) { return Pinch(p, -200, 0, 0); }, 7, 4, 70, 40},
        {"outside the reach", [](NImageBuffer& p) { return Pinch(p, 100, 0, 0); }, 1, 1, 10, 10},
        // Centre moved to (2, 2): (3, 2) maps to 2.4375.
        {"centre moved", [](NImageBuffer& p) { return Pinch(p, 100, -0.5, -0.5); }, 3, 2, 24, 20},
    };
    ExpectGradientCases(cases, std::size(cases));

    // Amount 0 samples every pixel exactly at itself.
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 31, 20, bpp, 4));
        if (bpp == 32)  // a transparent sample comes back white; keep every pixel visible
            for (int line = 0; line < 20; ++line)
                for (int x = 0; x < 31; ++x)
                    PixelOnLine(picture, x, line)[3] |= 1;
        const auto before = Snapshot(picture);
        ASSERT_TRUE(Pinch(picture, 0, 0, 0));
        EXPECT_EQ(before, Snapshot(picture)) << bpp;
    }
}

TEST(Distortions, TwirlTurnsByTheCubedFalloff)
{
    // 8 x 8, centre (4, 4), radius 4 (8 at 200 %). (5, 4): w = 3/4, the offset (1, 0) turns by
    // -w^3 = -0.421875 rad for twist 10 (to (0.9123, -0.4095)) and by +0.421875 for twist -10.
    const GradientCase cases[] = {
        {"twist 10", [](NImageBuffer& p) { return Twirl(p, 10, 100, 0, 0); }, 5, 4, 49, 35},
        {"twist -10", [](NImageBuffer& p) { return Twirl(p, -10, 100, 0, 0); }, 5, 4, 49, 44},
        {"twist 10 diagonal", [](NImageBuffer& p) { return Twirl(p, 10, 100, 0, 0); }, 5, 5, 52, 46},
        {"twist 10 below left", [](NImageBuffer& p) { return Twirl(p, 10, 100, 0, 0); }, 3, 3, 27, 33},
        // w = 7/8: turn -0.6699 rad.
        {"radius 200 %", [](NImageBuffer& p) { return Twirl(p, 10, 200, 0, 0); }, 5, 4, 47, 33},
        // twist 3: -0.09 w^3 = -0.03797 rad.
        {"twist 3", [](NImageBuffer& p) { return Twirl(p, 3, 100, 0, 0); }, 5, 5, 50, 49},
        {"outside the radius", [](NImageBuffer& p) { return Twirl(p, 10, 100, 0, 0); }, 0, 7, 0, 70},
    };
    ExpectGradientCases(cases, std::size(cases));

    // Next to the centre of a large picture the turn comes close to -1 radian for twist 10: at
    // (1001, 1000), offset (0.5, -0.5) from the centre (1000.5, 1000.5), w^3 = 0.99788, and the
    // offset turns to (-0.1491, -0.6912): the source (1000.351, 999.809).
    NImageBuffer big;
    ASSERT_TRUE(big.Create(2001, 2001, 24, 0));
    for (int line = 990; line <= 1010; ++line)
        for (int x = 990; x <= 1010; ++x) {
            uint8_t* p = PixelOnLine(big, x, line);
            p[0] = static_cast<uint8_t>(10 * (x - 990));
            p[1] = static_cast<uint8_t>(10 * (line - 990));
        }
    ASSERT_TRUE(Twirl(big, 10, 100, 0, 0));
    const uint32_t turned = ValueOnLine(big, 1001, 1000);
    EXPECT_EQ(103u, turned & 255);
    EXPECT_EQ(98u, (turned >> 8) & 255);

    // Pixels outside the radius keep every byte, transparent ones too.
    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 20, 20, 32, 9));
    const auto before = Snapshot(picture);
    ASSERT_TRUE(Twirl(picture, 40, 50, 0, 0));  // radius 5 around (10, 10)
    const auto after = Snapshot(picture);
    for (int line = 0; line < 20; ++line)
        for (int x = 0; x < 20; ++x)
            if (std::hypot(x - 10, line - 10) >= 5)
                for (int c = 0; c < 4; ++c) {
                    const size_t at = static_cast<size_t>(line) * picture.stride + x * 4 + c;
                    ASSERT_EQ(before[at], after[at]) << x << "," << line;
                }
}

TEST(Distortions, RippleShiftsAlongTheDiagonal)
{
    // Square 8 x 8: u = x - 4, v = line - 4; half wavelength 2 gives s = sin(rho pi / 2) b.
    const GradientCase square[] = {
        {"rho 1", [](NImageBuffer& p) { return Ripple(p, 2, 1, 0); }, 5, 4, 60, 50},   // s = 1
        {"rho 0", [](NImageBuffer& p) { return Ripple(p, 2, 1, 0); }, 4, 4, 40, 40},   // s = 0
        {"rho 2", [](NImageBuffer& p) { return Ripple(p, 2, 1, 0); }, 6, 4, 60, 40},   // s = sin pi
        {"rho 3", [](NImageBuffer& p) { return Ripple(p, 2, 1, 0); }, 7, 4, 60, 30},   // s = -1
        {"phase", [](NImageBuffer& p) { return Ripple(p, 2, 1, std::numbers::pi / 2); }, 4, 4, 50, 50},
        {"amplitude 2", [](NImageBuffer& p) { return Ripple(p, 2, 2, 0); }, 5, 4, 70, 60},
    };
    ExpectGradientCases(square, std::size(square));

    // Wide 8 x 4: sx = 1, sy = 2. (4, 1): v = -2, half wavelength 4, s = sin(pi / 2) = 1; source
    // ((1 + 0) + 4, (1 - 2) / 2 + 2) = (5, 1.5). (4, 3) reads from (5, 3.5), clamped to line 3.
    const GradientCase wide[] = {
        {"wide", [](NImageBuffer& p) { return Ripple(p, 4, 1, 0); }, 4, 1, 50, 15},
        {"wide clamped", [](NImageBuffer& p) { return Ripple(p, 4, 1, 0); }, 4, 3, 50, 30},
        {"wide centre", [](NImageBuffer& p) { return Ripple(p, 4, 1, 0); }, 4, 2, 40, 20},
    };
    ExpectGradientCases(wide, std::size(wide), 8, 4);
    // Tall 4 x 8 is the same turned: sx = 2, sy = 1. (1, 4): u = -2, source (1.5, 5).
    const GradientCase tall[] = {
        {"tall", [](NImageBuffer& p) { return Ripple(p, 4, 1, 0); }, 1, 4, 15, 50},
    };
    ExpectGradientCases(tall, std::size(tall), 4, 8);

    // A source beyond the picture gives white, transparent at 32 bpp: (5, 4) with b = 20 reads
    // from (24, 24).
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeGradient(picture, 8, 8, bpp));
        ASSERT_TRUE(Ripple(picture, 2, 20, 0));
        EXPECT_EQ(bpp == 32 ? 0x00FFFFFFu : 0xFFFFFFu, ValueOnLine(picture, 5, 4)) << bpp;
    }
}

TEST(Distortions, TangentWavesAverageSeventeenNearestSamples)
{
    // Period 200 and strength 1 hardly bend: at (4, 4) the 17 sub-pixel offsets stay in column 4,
    // and all but the first fall into line 3: green (16 * 30 + 40) / 17 = 30.
    // Period 8, strength 10 (A = 10) at (5, 4): p = 1 + v bends past the right edge (column 7),
    // q = -u to -u - 10 tan(pi u / 8), lines 4 down to 0; worked out offset by offset.
    const GradientCase cases[] = {
        {"gentle", [](NImageBuffer& p) { return TangentWaves(p, 200, 1, 0); }, 4, 4, 40, 30},
        {"strong", [](NImageBuffer& p) { return TangentWaves(p, 8, 10, 0); }, 5, 4, 70, 13},
        {"strong turned", [](NImageBuffer& p) { return TangentWaves(p, 8, 10, 30); }, 5, 4, 70, 27},
        {"negative", [](NImageBuffer& p) { return TangentWaves(p, 8, -10, -30); }, 2, 6, 70, 0},
    };
    ExpectGradientCases(cases, std::size(cases));

    // Strength 0 bends as strength 1.
    const auto zero = NoiseAfter([](NImageBuffer& p) { return TangentWaves(p, 12, 0, 20); }, 40, 30, 32, 4);
    EXPECT_EQ(NoiseAfter([](NImageBuffer& p) { return TangentWaves(p, 12, 1, 20); }, 40, 30, 32, 4), zero);
    EXPECT_NE(NoiseAfter([](NImageBuffer& p) { return TangentWaves(p, 12, 2, 20); }, 40, 30, 32, 4), zero);

    // Period 2 puts tan's pole on odd offsets from the centre: the huge positions are clamped.
    NImageBuffer picture;
    ASSERT_TRUE(MakeGradient(picture, 8, 8, 24));
    ASSERT_TRUE(TangentWaves(picture, 2, 20, 0));
    EXPECT_TRUE(picture.valid);

    // A picture of one colour keeps it, alpha included.
    NImageBuffer solid;
    ASSERT_TRUE(MakeSolid(solid, 9, 6, 32, RGB(10, 200, 30), 77));
    const auto before = Snapshot(solid);
    ASSERT_TRUE(TangentWaves(solid, 3, -17, 33));
    EXPECT_EQ(before, Snapshot(solid));
}

TEST(Distortions, JitterTakesEachPixelFromWithinHalfTheSize)
{
    const struct {
        int size, reach;
    } cases[] = {{3, 1}, {1, 1}, {8, 4}, {9, 4}, {500, 50}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.size);
        // Pixel (x, line) of the source holds x in blue and line in green.
        const int width = 130, height = 120;
        NImageBuffer picture;
        ASSERT_TRUE(picture.Create(width, height, 32, 0));
        for (int line = 0; line < height; ++line)
            for (int x = 0; x < width; ++x) {
                uint8_t* p = PixelOnLine(picture, x, line);
                p[0] = static_cast<uint8_t>(x);
                p[1] = static_cast<uint8_t>(line);
                p[2] = static_cast<uint8_t>(x ^ line);
                p[3] = static_cast<uint8_t>(x + line);
            }
        ASSERT_TRUE(Jitter(picture, c.size));
        int farthest = 0, moved = 0;
        for (int line = 0; line < height; ++line)
            for (int x = 0; x < width; ++x) {
                const uint8_t* p = PixelOnLine(picture, x, line);
                ASSERT_EQ(p[0] ^ p[1], p[2]);  // whole pixels copied
                ASSERT_EQ(static_cast<uint8_t>(p[0] + p[1]), p[3]);
                const int dx = std::abs(p[0] - x), dy = std::abs(p[1] - line);
                farthest = std::max({farthest, dx, dy});
                moved += dx != 0 || dy != 0;
            }
        EXPECT_EQ(c.reach, farthest);
        EXPECT_GT(moved, width * height / 2);
    }

    // One colour stays; the same picture jitters the same way on every run.
    NImageBuffer solid;
    ASSERT_TRUE(MakeSolid(solid, 17, 9, 24, RGB(1, 2, 3)));
    const auto before = Snapshot(solid);
    ASSERT_TRUE(Jitter(solid, 40));
    EXPECT_EQ(before, Snapshot(solid));
    const Effect jitter = [](NImageBuffer& p) { return Jitter(p, 7); };
    EXPECT_EQ(NoiseAfter(jitter, 50, 40, 24, 3), NoiseAfter(jitter, 50, 40, 24, 3));
}

TEST(Distortions, ParametersAreClampedToTheirRanges)
{
    const struct {
        const char* name;
        Effect outside, clamped;
    } cases[] = {
        {"Pinch amount", [](NImageBuffer& p) { return Pinch(p, 400, 0, 0); }, [](NImageBuffer& p) { return Pinch(p, 100, 0, 0); }},
        {"Pinch -amount", [](NImageBuffer& p) { return Pinch(p, -900, 0, 0); }, [](NImageBuffer& p) { return Pinch(p, -200, 0, 0); }},
        {"Pinch centre", [](NImageBuffer& p) { return Pinch(p, 60, 3, -7); }, [](NImageBuffer& p) { return Pinch(p, 60, 1, -1); }},
        {"Twirl radius", [](NImageBuffer& p) { return Twirl(p, 7, 0, 0, 0); }, [](NImageBuffer& p) { return Twirl(p, 7, 1, 0, 0); }},
        {"Twirl +radius", [](NImageBuffer& p) { return Twirl(p, 7, 1000, 0, 0); }, [](NImageBuffer& p) { return Twirl(p, 7, 300, 0, 0); }},
        {"Twirl centre", [](NImageBuffer& p) { return Twirl(p, 7, 300, -9, 2.5); }, [](NImageBuffer& p) { return Twirl(p, 7, 300, -2, 2); }},
        {"Ripple sizes", [](NImageBuffer& p) { return Ripple(p, -3, 0, 1); }, [](NImageBuffer& p) { return Ripple(p, 1, 1, 1); }},
        {"TangentWaves low", [](NImageBuffer& p) { return TangentWaves(p, 1, -50, -90); }, [](NImageBuffer& p) { return TangentWaves(p, 2, -20, -45); }},
        {"TangentWaves high", [](NImageBuffer& p) { return TangentWaves(p, 900, 21, 46); }, [](NImageBuffer& p) { return TangentWaves(p, 200, 20, 45); }},
        {"Jitter low", [](NImageBuffer& p) { return Jitter(p, -4); }, [](NImageBuffer& p) { return Jitter(p, 3); }},
        {"Jitter high", [](NImageBuffer& p) { return Jitter(p, 101); }, [](NImageBuffer& p) { return Jitter(p, 100); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto clamped = NoiseAfter(c.clamped, 33, 21, 32, 2);
        EXPECT_EQ(clamped, NoiseAfter(c.outside, 33, 21, 32, 2));
    }
    // A twist whose square passes the int range still turns the pixels.
    EXPECT_NE(NoiseAfter([](NImageBuffer& p) { return Twirl(p, 0, 100, 0, 0); }, 33, 21, 24, 2),
              NoiseAfter([](NImageBuffer& p) { return Twirl(p, 50000, 100, 0, 0); }, 33, 21, 24, 2));
}

namespace {

const struct {
    const char* name;
    Effect effect;
} kEveryDistortion[] = {
    {"Pinch", [](NImageBuffer& p) { return Pinch(p, 100, 0, 0); }},
    {"Pinch moved", [](NImageBuffer& p) { return Pinch(p, -200, 0.5, -0.5); }},
    {"Twirl", [](NImageBuffer& p) { return Twirl(p, 40, 300, 0, 0); }},
    {"Twirl moved", [](NImageBuffer& p) { return Twirl(p, -7, 1, 2, -2); }},
    {"Ripple", [](NImageBuffer& p) { return Ripple(p, 1, 30, 1.0); }},
    {"Ripple long", [](NImageBuffer& p) { return Ripple(p, 5, 1, 0); }},
    {"TangentWaves", [](NImageBuffer& p) { return TangentWaves(p, 2, 20, 45); }},
    {"TangentWaves turned", [](NImageBuffer& p) { return TangentWaves(p, 200, -20, -45); }},
    {"Jitter", [](NImageBuffer& p) { return Jitter(p, 100); }},
    {"Jitter small", [](NImageBuffer& p) { return Jitter(p, 3); }},
};

}  // namespace

TEST(Distortions, SameResultOnOneThreadAndOnMany)
{
    for (const auto& e : kEveryDistortion)
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(testing::Message() << e.name << " " << bpp);
            EXPECT_EQ(NoiseAfter(e.effect, 61, 47, bpp, 1), NoiseAfter(e.effect, 61, 47, bpp, 4));
        }
}

TEST(Distortions, OnePixelRowsColumnsAndVeryWidePictures)
{
    ExpectEveryEffectKeepsTheSize(kEveryDistortion, {{1, 1}, {1, 300}, {300, 1}, {4000, 2}, {2, 1}}, true);
}
