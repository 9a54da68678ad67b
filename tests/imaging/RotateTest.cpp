// Free rotation of pictures: Rotate (three shears) and RotateNearest, on every depth.
#include "imaging/NImageBuffer.h"

#include "ImageTestPixels.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

using namespace imagetest;

namespace {

const int kDepths[] = {1, 4, 8, 16, 24, 32};
constexpr double kPi = 3.14159265358979323846;

enum class Turn { Shears, Nearest };

bool Turned(NImageBuffer& image, Turn how, double angle, COLORREF background)
{
    return how == Turn::Shears ? image.Rotate(angle, background) : image.RotateNearest(angle, background);
}

const char* Name(Turn how)
{
    return how == Turn::Shears ? "Rotate" : "RotateNearest";
}

// A picture whose pixels differ as much as the depth allows; palette entries are distinct colours.
void MakeDistinctPicture(NImageBuffer& image, int depth, int width, int height)
{
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i) {
        rgb[i * 3 + 0] = static_cast<uint8_t>(i * 37 + 11);
        rgb[i * 3 + 1] = static_cast<uint8_t>(i * 91 + 5);
        rgb[i * 3 + 2] = static_cast<uint8_t>(255 - i);
    }
    ASSERT_TRUE(image.Create(width, height, depth, 0, rgb.data()));
    ASSERT_EQ(depth, image.bpp);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint32_t v = static_cast<uint32_t>(x * 7 + y * 13 + 1);
            uint32_t raw;
            switch (depth) {
            case 1: raw = (x + y * 3 + x * y) % 2; break;
            case 4: raw = v % 16; break;
            case 8: raw = v % 256; break;
            case 16: raw = (v * 977) & 0x7FFF; break;
            case 24: raw = (v * 0x010305) & 0xFFFFFF; break;
            default: raw = (v * 0x00010305) & 0xFFFFFF; raw |= (0x40u + x * 9 + y) << 24; break;
            }
            SetRaw(image, x, y, raw);
        }
}

// Black picture (every depth) with a white block at [x0, x0 + 4) x [y0, y0 + 3).
void MakeMarkerPicture(NImageBuffer& image, int depth, int width, int height, int x0, int y0)
{
    std::vector<uint8_t> rgb = PaletteRgb({RGB(0, 0, 0), RGB(255, 255, 255)});
    ASSERT_TRUE(image.Create(width, height, depth, 0, rgb.data()));
    const uint32_t white = depth <= 8 ? 1 : depth == 16 ? 0x7FFF : depth == 24 ? 0xFFFFFF : 0xFFFFFFFF;
    const uint32_t black = depth == 32 ? 0xFF000000 : 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetRaw(image, x, y, (x >= x0 && x < x0 + 4 && y >= y0 && y < y0 + 3) ? white : black);
}

// Brightness-weighted centre of the picture, relative to the picture's centre (y down).
void BrightCentre(const NImageBuffer& image, double& cx, double& cy)
{
    double sx = 0, sy = 0, total = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            COLORREF c = ColourAt(image, x, y);
            double weight = GetRValue(c) + GetGValue(c) + GetBValue(c);
            sx += (x + 0.5) * weight;
            sy += (y + 0.5) * weight;
            total += weight;
        }
    cx = sx / total - image.width / 2.0;
    cy = sy / total - image.height / 2.0;
}

// Copy of the picture at 24 bpp, the colours RotateNearest reads.
void As24(const NImageBuffer& image, NImageBuffer& copy)
{
    ASSERT_TRUE(copy.Copy(image));
    if (copy.bpp < 24) {
        ASSERT_TRUE(copy.ConvertToBpp(24, false));
    }
}

}  // namespace

TEST(Rotate, ExactQuarterTurnsOfEveryDepth)
{
    struct Case {
        double angle;
        int quarters;  // clockwise on screen
    };
    const Case cases[] = {{0, 0}, {90, 1}, {180, 2}, {270, 3}, {-90, 3}, {360, 0}, {450, 1}, {-540, 2}};
    for (Turn how : {Turn::Shears, Turn::Nearest}) {
        for (int depth : kDepths) {
            for (const Case& turn : cases) {
                SCOPED_TRACE(testing::Message() << Name(how) << ", " << depth << " bpp, " << turn.angle << " degrees");
                const int w = 7, h = 4;
                NImageBuffer original;
                MakeDistinctPicture(original, depth, w, h);
                original.dpiX = 300;
                original.hasTransparency = 1;
                NImageBuffer reference;
                if (how == Turn::Nearest)
                    As24(original, reference);
                else
                    ASSERT_TRUE(reference.Copy(original));

                NImageBuffer image;
                ASSERT_TRUE(image.Copy(original));
                ASSERT_TRUE(Turned(image, how, turn.angle, RGB(1, 2, 3)));
                const bool sideways = turn.quarters % 2 == 1;
                ASSERT_EQ(sideways ? h : w, image.width);
                ASSERT_EQ(sideways ? w : h, image.height);
                EXPECT_EQ(depth == 32 ? 32 : 24, image.bpp);
                EXPECT_EQ(96, image.dpiX);
                EXPECT_EQ(0, image.hasTransparency);
                for (int y = 0; y < image.height; ++y)
                    for (int x = 0; x < image.width; ++x) {
                        int sx = x, sy = y;
                        switch (turn.quarters) {
                        case 1: sx = y, sy = h - 1 - x; break;
                        case 2: sx = w - 1 - x, sy = h - 1 - y; break;
                        case 3: sx = w - 1 - y, sy = x; break;
                        }
                        ASSERT_EQ(ColourAt(reference, sx, sy), ColourAt(image, x, y)) << "at " << x << "," << y;
                        if (depth == 32) {
                            ASSERT_EQ(AlphaAt(reference, sx, sy), AlphaAt(image, x, y)) << "at " << x << "," << y;
                        }
                    }
            }
        }
    }
}

TEST(Rotate, OddAnglesTurnClockwiseAboutTheCentre)
{
    const double angles[] = {10, 30, 44, 46, 60, 100, 137, 200, 250, 300, 333, -10, -75};
    for (Turn how : {Turn::Shears, Turn::Nearest}) {
        for (int depth : kDepths) {
            for (double angle : angles) {
                SCOPED_TRACE(testing::Message() << Name(how) << ", " << depth << " bpp, " << angle << " degrees");
                const int w = 40, h = 30;
                NImageBuffer image;
                MakeMarkerPicture(image, depth, w, h, 30, 4);
                ASSERT_TRUE(Turned(image, how, angle, RGB(0, 0, 0)));
                EXPECT_EQ(depth == 32 ? 32 : 24, image.bpp);

                // The canvas holds the turned picture's bounding box (the shears add up to a pixel).
                const double r = angle * kPi / 180;
                const double boxWidth = w * std::fabs(std::cos(r)) + h * std::fabs(std::sin(r));
                const double boxHeight = w * std::fabs(std::sin(r)) + h * std::fabs(std::cos(r));
                EXPECT_GE(image.width, static_cast<int>(std::ceil(boxWidth - 1e-6)));
                EXPECT_LE(image.width, static_cast<int>(std::ceil(boxWidth)) + 1);
                EXPECT_GE(image.height, static_cast<int>(std::ceil(boxHeight - 1e-6)));
                EXPECT_LE(image.height, static_cast<int>(std::ceil(boxHeight)) + 1);

                // The marker (centre 32, 5.5 from the top-left) turned clockwise on screen.
                const double mx = 32 - w / 2.0, my = 5.5 - h / 2.0;
                const double ex = mx * std::cos(r) - my * std::sin(r);
                const double ey = mx * std::sin(r) + my * std::cos(r);
                double cx = 0, cy = 0;
                BrightCentre(image, cx, cy);
                // Within the rounding of the canvas sides (a wrong turn misses by far more).
                EXPECT_NEAR(ex, cx, 1.5);
                EXPECT_NEAR(ey, cy, 1.5);
            }
        }
    }
}

TEST(Rotate, ShearsKeepTheBrightnessOfThePicture)
{
    // Each shear moves a row by a fraction and splits every pixel between two neighbours, so the
    // total of every channel stays (within the truncation of each split).
    NImageBuffer image;
    MakeMarkerPicture(image, 24, 40, 30, 10, 10);
    ASSERT_TRUE(image.Rotate(33, RGB(0, 0, 0)));
    double total = 0;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x)
            total += GetRValue(ColourAt(image, x, y));
    EXPECT_NEAR(12 * 255.0, total, 12 * 255.0 * 0.01);
}

TEST(Rotate, UncoveredCornersTakeTheBackground)
{
    const COLORREF background = RGB(200, 30, 90);
    for (Turn how : {Turn::Shears, Turn::Nearest}) {
        for (int depth : kDepths) {
            for (double angle : {30.0, 45.0, 137.0, 225.0, 300.0}) {
                SCOPED_TRACE(testing::Message() << Name(how) << ", " << depth << " bpp, " << angle << " degrees");
                NImageBuffer image;
                MakeDistinctPicture(image, depth, 21, 16);
                ASSERT_TRUE(Turned(image, how, angle, background));
                const int corners[4][2] = {{0, 0}, {image.width - 1, 0}, {0, image.height - 1},
                                           {image.width - 1, image.height - 1}};
                for (const auto& corner : corners) {
                    if (depth == 32) {
                        // 32 bpp: transparent black whatever the background.
                        EXPECT_EQ(0u, RawAt(image, corner[0], corner[1]));
                    } else {
                        EXPECT_EQ(background, ColourAt(image, corner[0], corner[1]));
                    }
                }
            }
        }
    }
}

TEST(Rotate, TurnedBy360ReadsSmallDepthsAtTheirOwnDepth)
{
    // A full turn hands the picture through unchanged; 1- to 16-bpp rows must be read as such,
    // not as 24-bit rows.
    for (int depth : {1, 4, 8, 16}) {
        SCOPED_TRACE(testing::Message() << depth << " bpp");
        NImageBuffer original;
        MakeDistinctPicture(original, depth, 13, 5);
        NImageBuffer image;
        ASSERT_TRUE(image.Copy(original));
        ASSERT_TRUE(image.Rotate(360, RGB(0, 0, 0)));
        ASSERT_EQ(24, image.bpp);
        ASSERT_EQ(13, image.width);
        ASSERT_EQ(5, image.height);
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(ColourAt(original, x, y), ColourAt(image, x, y)) << x << "," << y;
    }
}

TEST(Rotate, EquivalentAnglesGiveTheSamePicture)
{
    const double pairs[][2] = {{350, -10}, {-90, 270}, {720, 0}, {405, 45}, {-315, 45}};
    for (Turn how : {Turn::Shears, Turn::Nearest}) {
        for (int depth : {8, 32}) {
            for (const auto& pair : pairs) {
                SCOPED_TRACE(testing::Message() << Name(how) << ", " << depth << " bpp, " << pair[0] << " / " << pair[1]);
                NImageBuffer a, b;
                MakeDistinctPicture(a, depth, 17, 11);
                MakeDistinctPicture(b, depth, 17, 11);
                ASSERT_TRUE(Turned(a, how, pair[0], RGB(9, 8, 7)));
                ASSERT_TRUE(Turned(b, how, pair[1], RGB(9, 8, 7)));
                ASSERT_EQ(b.width, a.width);
                ASSERT_EQ(b.height, a.height);
                int differing = 0;
                for (int y = 0; y < a.height; ++y)
                    for (int x = 0; x < a.width; ++x)
                        differing += RawAt(a, x, y) != RawAt(b, x, y);
                // The same shears up to rounding of the angle's sine and tangent.
                EXPECT_LE(differing, a.width * a.height / 50);
            }
        }
    }
}

TEST(Rotate, NearestCanvasFitsTheTurnedPicture)
{
    // The canvas is the bounding box of the turned corners for every angle, also between 90 and
    // 270 degrees.
    for (double angle : {20.0, 120.0, 200.0, 250.0, 300.0}) {
        SCOPED_TRACE(testing::Message() << angle << " degrees");
        NImageBuffer image;
        ASSERT_TRUE(image.Create(40, 30, 24, RGB(255, 255, 255)));
        ASSERT_TRUE(image.RotateNearest(angle, RGB(0, 0, 255)));
        const double r = angle * kPi / 180;
        EXPECT_EQ(static_cast<int>(std::ceil(40 * std::fabs(std::cos(r)) + 30 * std::fabs(std::sin(r)))), image.width);
        EXPECT_EQ(static_cast<int>(std::ceil(40 * std::fabs(std::sin(r)) + 30 * std::fabs(std::cos(r)))), image.height);
        // No surplus: the turned picture reaches the last row and the last column.
        int lastRow = -1, lastColumn = -1;
        for (int y = 0; y < image.height; ++y)
            for (int x = 0; x < image.width; ++x)
                if (ColourAt(image, x, y) == RGB(255, 255, 255)) {
                    lastRow = std::max(lastRow, y);
                    lastColumn = std::max(lastColumn, x);
                }
        EXPECT_GE(lastRow, image.height - 2);
        EXPECT_GE(lastColumn, image.width - 2);
    }
}

TEST(Rotate, RefusalsLeaveThePicture)
{
    NImageBuffer empty;
    EXPECT_FALSE(empty.Rotate(30, 0));
    EXPECT_FALSE(empty.RotateNearest(30, 0));

    for (double angle : {NAN, INFINITY, -INFINITY}) {
        NImageBuffer image;
        MakeDistinctPicture(image, 8, 5, 3);
        EXPECT_FALSE(image.Rotate(angle, 0));
        EXPECT_FALSE(image.RotateNearest(angle, 0));
        EXPECT_EQ(8, image.bpp);
        EXPECT_EQ(5, image.width);
    }

    // A huge but finite angle is reduced, not counted down.
    NImageBuffer image;
    MakeDistinctPicture(image, 24, 5, 3);
    EXPECT_TRUE(image.Rotate(1e300, 0));
    EXPECT_TRUE(image.RotateNearest(-1e300, 0));
}
