// Colour and tone effects and the fixed looks.
#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <set>

#include "effects/ColourTone.h"
#include "effects/EffectTestPictures.h"
#include "effects/FixedLooks.h"
#include "imaging/PixelReference.h"

using namespace effecttest;

TEST(ColourTone, PerPixelRules)
{
    using Effect = std::function<bool(NImageBuffer&)>;
    const struct {
        const char* name;
        Effect effect;
        COLORREF in, out;
    } cases[] = {
        // Float luma 140: 189, 126, 84, then contrast -10 and brightness +5.
        {"strong sepia", [](NImageBuffer& p) { return SepiaTone(p, true); }, RGB(100, 150, 200), RGB(182, 131, 97)},
        {"strong sepia, light", [](NImageBuffer& p) { return SepiaTone(p, true); }, RGB(250, 240, 10), RGB(235, 192, 158)},
        // 166, 128, 102, then hard light with its own luma.
        {"weak sepia", [](NImageBuffer& p) { return SepiaTone(p, false); }, RGB(100, 150, 200), RGB(173, 136, 110)},
        {"weak sepia, light", [](NImageBuffer& p) { return SepiaTone(p, false); }, RGB(250, 240, 10), RGB(251, 238, 227)},
        {"channel threshold 0", [](NImageBuffer& p) { return ChannelThreshold(p, 0); }, RGB(0, 77, 255), RGB(255, 255, 255)},
        // 0 stays 0 (inverted 255), (100 - 40) / 40 = 1 gives 255 (0), (100 - 51) / 51 = 0 (255).
        {"channel threshold 100", [](NImageBuffer& p) { return ChannelThreshold(p, 100); }, RGB(40, 51, 0), RGB(0, 255, 255)},
        {"channel threshold 300", [](NImageBuffer& p) { return ChannelThreshold(p, 300); }, RGB(100, 101, 200), RGB(0, 0, 255)},
        {"warmth 10 on grey", [](NImageBuffer& p) { return Warmth(p, 10); }, RGB(100, 100, 100), RGB(110, 100, 90)},
        {"warmth -20 on grey", [](NImageBuffer& p) { return Warmth(p, -20); }, RGB(100, 100, 100), RGB(80, 100, 120)},
        {"tone compress keeps mid grey", ToneCompress, RGB(128, 128, 128), RGB(128, 128, 128)},
        // Luma 20: towards the picture brightened by 30, weight 1 - 20 / 255.
        {"tone compress lifts the dark", ToneCompress, RGB(20, 20, 20), RGB(47, 47, 47)},
        // Luma 240: 0.6 * 220 + 0.4 * 240.
        {"tone compress holds the light", ToneCompress, RGB(240, 240, 240), RGB(228, 228, 228)},
        // Pure dark blue has luma 27 and is lifted (with the red weight on blue it would be 71).
        {"tone compress lifts dark blue", ToneCompress, RGB(0, 0, 240), RGB(26, 26, 253)},
        {"quadratic 128", [](NImageBuffer& p) { return QuadraticTone(p, false); }, RGB(128, 0, 64), RGB(0, 255, 63)},
        {"quadratic 128 inverted", [](NImageBuffer& p) { return QuadraticTone(p, true); }, RGB(128, 0, 64), RGB(255, 0, 191)},
        {"quadratic 255", [](NImageBuffer& p) { return QuadraticTone(p, false); }, RGB(255, 255, 255), RGB(251, 251, 251)},
        // Float luma 90.
        {"threshold 89", [](NImageBuffer& p) { return Threshold(p, 89); }, RGB(200, 50, 10), RGB(255, 255, 255)},
        {"threshold 90", [](NImageBuffer& p) { return Threshold(p, 90); }, RGB(200, 50, 10), RGB(0, 0, 0)},
        {"threshold 255", [](NImageBuffer& p) { return Threshold(p, 255); }, RGB(255, 255, 255), RGB(0, 0, 0)},
        {"negative grey", NegativeGrey, RGB(255, 0, 0), RGB(178, 178, 178)},
    };
    for (const auto& c : cases)
        for (int bpp : {24, 32}) {
            SCOPED_TRACE(c.name);
            SCOPED_TRACE(bpp);
            NImageBuffer picture;
            ASSERT_TRUE(MakeSolid(picture, 3, 2, bpp, c.in, 99));
            ASSERT_TRUE(c.effect(picture));
            EXPECT_EQ(c.out, ColourAt(picture, 2, 1));
            if (bpp == 32) {
                EXPECT_EQ(99, AlphaAt(picture, 2, 1)) << "alpha stays";
            }

            NImageBuffer grey, empty;
            ASSERT_TRUE(MakeGrey8(grey, 3, 2));
            const auto before = Snapshot(grey);
            EXPECT_FALSE(c.effect(grey));
            EXPECT_EQ(before, Snapshot(grey));
            EXPECT_FALSE(c.effect(empty));
        }
}

TEST(ColourTone, NegativeGreyMatchesImageMagick)
{
    NImageBuffer picture;
    ASSERT_TRUE(LoadReferencePicture(picture, 32));
    ASSERT_TRUE(NegativeGrey(picture));
    // ImageMagick rounds the luma, the picture record truncates it.
    EXPECT_LE(effecttest::WorstDifference(picture, RawBytes(L"negate-grey"), 0), 1);
    EXPECT_EQ(0x80 + 5, AlphaAt(picture, 5, 3));
}

TEST(ColourTone, NoiseIsReproducibleAndShapedByItsAmount)
{
    auto noisy = [](int amount, bool colour, int threads) {
        const int old = omp_get_max_threads();
        omp_set_num_threads(threads);
        NImageBuffer picture;
        EXPECT_TRUE(MakeSolid(picture, 200, 150, 24, RGB(128, 128, 128)));
        srand(42);
        EXPECT_TRUE(AddNoise(picture, amount, colour));
        omp_set_num_threads(old);
        return Snapshot(picture);
    };
    EXPECT_EQ(noisy(30, true, 1), noisy(30, true, 4)) << "the same on any number of threads";
    EXPECT_EQ(noisy(0, false, 2), noisy(1, false, 2)) << "amount 0 counts as 1";
    EXPECT_EQ(noisy(250, false, 2), noisy(100, false, 2)) << "amount 250 counts as 100";
    EXPECT_NE(noisy(30, false, 2), noisy(31, false, 2));

    // The offsets are n * amount * 1.27 with n of mean 0 and deviation 1: at amount 40 a
    // deviation of about 50.8 levels around 128.
    for (bool colour : {false, true}) {
        SCOPED_TRACE(colour);
        const std::vector<uint8_t> bytes = noisy(40, colour, 3);
        const int rowBytes = 600;
        double sum = 0, squares = 0;
        int n = 0, grey = 0;
        for (int line = 0; line < 150; ++line)
            for (int x = 0; x < rowBytes; x += 3) {
                const uint8_t* p = &bytes[line * rowBytes + x];
                grey += p[0] == p[1] && p[1] == p[2];
                for (int c = 0; c < 3; ++c) {
                    sum += p[c];
                    squares += p[c] * p[c];
                    ++n;
                }
            }
        const double mean = sum / n, deviation = std::sqrt(squares / n - mean * mean);
        EXPECT_NEAR(128, mean, 1.5);
        EXPECT_NEAR(50.8, deviation, 2.5);
        if (colour) {
            EXPECT_LT(grey, 200 * 150 / 20);
        } else {
            EXPECT_EQ(200 * 150, grey) << "one offset for all three channels";
        }
    }
}

TEST(FixedLooks, EachLookRunsOnAnyDepthAndEndsAt24Bits)
{
    using Look = bool (*)(NImageBuffer&);
    const struct {
        const char* name;
        Look look;
        bool posterised;
    } looks[] = {
        {"pencil sketch", PencilSketch, false},
        {"ink drawing", InkDrawing, false},
        {"ink drawing inverted", InkDrawingInverted, false},
        {"blue tone", BlueTone, false},
        {"blue tone posterised", BlueTonePosterized, true},
        {"warm faded tone", WarmFadedTone, false},
        {"aged photo tone", AgedPhotoTone, true},
    };
    for (const auto& l : looks) {
        SCOPED_TRACE(l.name);
        NImageBuffer picture;
        ASSERT_TRUE(LoadReferencePicture(picture, 32));
        NImageBuffer original;
        ASSERT_TRUE(original.Copy(picture));
        ASSERT_TRUE(l.look(picture));
        EXPECT_EQ(24, picture.bpp);
        EXPECT_EQ(kReferenceWidth, picture.width);
        std::set<COLORREF> colours;
        int changed = 0;
        for (int y = 0; y < kReferenceHeight; ++y)
            for (int x = 0; x < kReferenceWidth; ++x) {
                colours.insert(ColourAt(picture, x, y));
                changed += ColourAt(picture, x, y) != ColourAt(original, x, y);
            }
        EXPECT_GT(changed, kReferenceWidth * kReferenceHeight / 2);
        if (l.posterised) {
            EXPECT_LE(colours.size(), 16u);
        } else {
            EXPECT_GT(colours.size(), 16u);
        }

        NImageBuffer grey, empty;
        ASSERT_TRUE(MakeGrey8(grey, 5, 5));
        EXPECT_TRUE(l.look(grey));
        EXPECT_EQ(24, grey.bpp);
        EXPECT_FALSE(l.look(empty));
    }

    NImageBuffer ink, inverted;
    ASSERT_TRUE(LoadReferencePicture(ink, 24));
    ASSERT_TRUE(inverted.Copy(ink));
    ASSERT_TRUE(InkDrawing(ink));
    ASSERT_TRUE(InkDrawingInverted(inverted));
    ASSERT_TRUE(ink.Invert());
    EXPECT_EQ(Snapshot(ink), Snapshot(inverted));
}
