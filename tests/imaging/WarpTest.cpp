// The four-point warp: coverage areas, the warp of a picture onto quadrilaterals, refusals and
// warps on several threads at once.
#include "imaging/FourPointWarp.h"
#include "imaging/NImageBuffer.h"

#include "ImageTestPixels.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>
#include <vector>

using namespace imagetest;

namespace {

float Area(std::initializer_list<WarpPoint> points)
{
    WarpPoint p[4];
    std::copy(points.begin(), points.end(), p);
    return QuadUnitSquareArea(p);
}

// A 32-bpp picture with a different colour per pixel and the given alpha.
void MakeColourful(NImageBuffer& image, int width, int height, uint8_t alpha = 255)
{
    ASSERT_TRUE(image.Create(width, height, 32, 0));
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            SetRaw(image, x, y, (static_cast<uint32_t>(alpha) << 24) | ((x * 40 + 5) << 16) | ((y * 30 + 9) << 8) |
                                    ((x * 7 + y * 11) & 0xFF));
}

bool SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    if (a.width != b.width || a.height != b.height || a.bpp != b.bpp)
        return false;
    GdiFlush();
    return memcmp(a.bits, b.bits, static_cast<size_t>(a.stride) * a.height) == 0;
}

bool Warp(const NImageBuffer& source, NImageBuffer& output, std::vector<float> xs, std::vector<float> ys)
{
    return source.WarpIntoQuad(output, xs.data(), static_cast<int>(xs.size()), ys.data(), static_cast<int>(ys.size()));
}

}  // namespace

TEST(Warp, QuadUnitSquareArea)
{
    struct Case {
        const char* what;
        std::initializer_list<WarpPoint> quad;
        float area;
    };
    const Case cases[] = {
        {"the square itself", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 1},
        {"the square, other orientation", {{0, 0}, {0, 1}, {1, 1}, {1, 0}}, 1},
        {"a larger quad around it", {{-3, -2}, {4, -1}, {5, 6}, {-2, 5}}, 1},
        {"the left half", {{0, 0}, {0.5f, 0}, {0.5f, 1}, {0, 1}}, 0.5f},
        {"a quad reaching in from the left", {{-1, 0.25f}, {0.5f, 0.25f}, {0.5f, 0.75f}, {-1, 0.75f}}, 0.25f},
        {"a diamond through the edge midpoints", {{0.5f, 0}, {1, 0.5f}, {0.5f, 1}, {0, 0.5f}}, 0.5f},
        {"a diamond around the square", {{0.5f, -0.5f}, {1.5f, 0.5f}, {0.5f, 1.5f}, {-0.5f, 0.5f}}, 1},
        {"a neighbour sharing an edge", {{1, 0}, {2, 0}, {2, 1}, {1, 1}}, 0},
        {"a neighbour touching a corner", {{1, 1}, {2, 1}, {2, 2}, {1, 2}}, 0},
        {"far away", {{5, 5}, {6, 5}, {6, 6}, {5, 6}}, 0},
        {"a triangle (two equal corners)", {{0.5f, -1}, {2, 0.5f}, {2, 0.5f}, {0.5f, 0.5f}}, 0.25f},
        {"edges along the diagonal through two corners", {{0, 0}, {1, 1}, {0, 2}, {-1, 1}}, 0.5f},
    };
    for (const Case& c : cases)
        EXPECT_NEAR(c.area, Area(c.quad), 1e-6) << c.what;
}

TEST(Warp, TolerantFloorAndCeiling)
{
    EXPECT_EQ(3, FloorTolerant(3.0));
    EXPECT_EQ(3, FloorTolerant(3.0 - 1e-12));
    EXPECT_EQ(2, FloorTolerant(3.0 - 1e-6));
    EXPECT_EQ(-3, FloorTolerant(-2.5));
    EXPECT_EQ(-2, FloorTolerant(-2.0 - 1e-12));
    EXPECT_EQ(3, CeilTolerant(3.0 + 1e-12));
    EXPECT_EQ(4, CeilTolerant(3.0 + 1e-6));
    EXPECT_EQ(11, CeilTolerant(10.25));
}

TEST(Warp, IdentityReproducesThePicture)
{
    for (int depth : {8, 24, 32}) {
        SCOPED_TRACE(testing::Message() << depth << " bpp");
        NImageBuffer original;
        if (depth == 32) {
            MakeColourful(original, 9, 6);
        } else {
            std::vector<uint8_t> rgb(768);
            for (int i = 0; i < 768; ++i)
                rgb[i] = static_cast<uint8_t>(i * 13);
            ASSERT_TRUE(original.Create(9, 6, depth, 0, rgb.data()));
            for (int y = 0; y < 6; ++y)
                for (int x = 0; x < 9; ++x)
                    SetRaw(original, x, y, depth == 8 ? (x * 9 + y) & 0xFF : (x * 0x1F0000 + y * 0x2A00 + x + y));
        }
        NImageBuffer image;
        ASSERT_TRUE(image.Copy(original));
        ASSERT_TRUE(image.WarpToQuad(0, 0, 9, 0, 9, 6, 0, 6));
        ASSERT_EQ(32, image.bpp);
        ASSERT_EQ(9, image.width);
        ASSERT_EQ(6, image.height);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 9; ++x) {
                ASSERT_EQ(ColourAt(original, x, y), ColourAt(image, x, y)) << x << "," << y;
                ASSERT_EQ(255, AlphaAt(image, x, y));
            }
    }
}

TEST(Warp, PlacementMirrorAndQuarterTurn)
{
    NImageBuffer source;
    MakeColourful(source, 5, 3);
    // Corners given 10 pixels further right and down: the output is the bounding box, so the
    // same picture.
    NImageBuffer moved;
    ASSERT_TRUE(Warp(source, moved, {10, 15, 15, 10}, {10, 10, 13, 13}));
    EXPECT_TRUE(SamePixels(source, moved));

    // Top-left landing on the right mirrors the picture.
    NImageBuffer mirrored;
    ASSERT_TRUE(Warp(source, mirrored, {5, 0, 0, 5}, {0, 0, 3, 3}));
    ASSERT_EQ(5, mirrored.width);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            ASSERT_EQ(RawAt(source, 4 - x, y), RawAt(mirrored, x, y));

    // Top-left landing top-right, and so on: a quarter turn clockwise on screen.
    NImageBuffer turned;
    ASSERT_TRUE(Warp(source, turned, {3, 3, 0, 0}, {0, 5, 5, 0}));
    ASSERT_EQ(3, turned.width);
    ASSERT_EQ(5, turned.height);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 3; ++x)
            ASSERT_EQ(RawAt(source, y, 2 - x), RawAt(turned, x, y)) << x << "," << y;
}

TEST(Warp, CoverageSetsAlphaAndColoursStayStraight)
{
    // A translucent pixel covering the output pixel: its colour, alpha 128.
    NImageBuffer translucent;
    ASSERT_TRUE(translucent.Create(1, 1, 32, 0));
    SetRaw(translucent, 0, 0, 0x80C86432);
    NImageBuffer out;
    ASSERT_TRUE(Warp(translucent, out, {0, 1, 1, 0}, {0, 0, 1, 1}));
    EXPECT_EQ(0x80C86432u, RawAt(out, 0, 0));

    // An opaque pixel covering half an output pixel: alpha 128 with its own (straight) colour.
    NImageBuffer opaque;
    ASSERT_TRUE(opaque.Create(1, 1, 32, 0));
    SetRaw(opaque, 0, 0, 0xFFC86432);
    ASSERT_TRUE(Warp(opaque, out, {0, 0.5f, 0.5f, 0}, {0, 0, 1, 1}));
    ASSERT_EQ(1, out.width);
    EXPECT_EQ(0x80C86432u, RawAt(out, 0, 0));

    // A fractional extent of 10.25 gives 11 columns; the last one is a quarter covered.
    NImageBuffer wide;
    ASSERT_TRUE(wide.Create(41, 1, 32, 0));
    for (int x = 0; x < 41; ++x)
        SetRaw(wide, x, 0, 0xFF102030);
    ASSERT_TRUE(Warp(wide, out, {0, 10.25f, 10.25f, 0}, {0, 0, 1, 1}));
    ASSERT_EQ(11, out.width);
    ASSERT_EQ(1, out.height);
    EXPECT_EQ(0xFF102030u, RawAt(out, 9, 0));
    EXPECT_EQ(0x40102030u, RawAt(out, 10, 0));
}

TEST(Warp, TotalCoverageIsTheQuadArea)
{
    // Every part of every cell lands in exactly one output pixel, so the alpha adds up to the
    // area of the quadrilateral. A lost addition lowers it.
    NImageBuffer source;
    MakeColourful(source, 37, 23);
    const std::vector<float> xs = {3, 61.5f, 50, 0}, ys = {0, 9, 44.25f, 30};
    double quadArea = 0;
    for (int k = 0; k < 4; ++k)
        quadArea += xs[k] * ys[(k + 1) % 4] - xs[(k + 1) % 4] * ys[k];
    quadArea = std::fabs(quadArea) / 2;
    NImageBuffer out;
    ASSERT_TRUE(Warp(source, out, xs, ys));
    double covered = 0;
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            covered += AlphaAt(out, x, y) / 255.0;
    EXPECT_NEAR(quadArea, covered, quadArea * 0.005);
}

TEST(Warp, SameResultOnAnyNumberOfThreads)
{
    NImageBuffer source;
    MakeColourful(source, 40, 30);
    const std::vector<float> xs = {2, 70, 60, 0}, ys = {5, 0, 50, 41};
    const int saved = omp_get_max_threads();
    omp_set_num_threads(1);
    NImageBuffer single;
    ASSERT_TRUE(Warp(source, single, xs, ys));
    omp_set_num_threads(8);
    NImageBuffer many;
    ASSERT_TRUE(Warp(source, many, xs, ys));
    omp_set_num_threads(saved);
    EXPECT_TRUE(SamePixels(single, many));

    // Warps on several threads at once keep their own state.
    const std::vector<float> otherXs = {0, 30, 33, 1}, otherYs = {0, 2, 20, 25};
    NImageBuffer other;
    ASSERT_TRUE(Warp(source, other, otherXs, otherYs));
    std::vector<NImageBuffer> results(8);
    std::vector<char> ok(8, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < 8; ++i)
        threads.emplace_back([&, i] {
            ok[i] = Warp(source, results[i], i % 2 ? otherXs : xs, i % 2 ? otherYs : ys);
        });
    for (std::thread& t : threads)
        t.join();
    for (int i = 0; i < 8; ++i) {
        ASSERT_TRUE(ok[i]) << i;
        EXPECT_TRUE(SamePixels(i % 2 ? other : single, results[i])) << i;
    }
}

TEST(Warp, RefusalsLeaveThePicture)
{
    NImageBuffer source;
    MakeColourful(source, 6, 4);
    NImageBuffer out;
    MakeColourful(out, 2, 2, 7);
    // Lists of three or five values.
    EXPECT_FALSE(Warp(source, out, {0, 6, 6}, {0, 0, 4}));
    EXPECT_FALSE(Warp(source, out, {0, 6, 6, 0, 3}, {0, 0, 4, 4, 2}));
    // Two equal corners, corners on one line, a crossed (non-convex) quadrilateral, no width.
    EXPECT_FALSE(Warp(source, out, {0, 6, 6, 6}, {0, 0, 4, 4}));
    EXPECT_FALSE(Warp(source, out, {0, 10, 20, 5}, {0, 10, 20, 5}));
    EXPECT_FALSE(Warp(source, out, {0, 6, 0, 6}, {0, 0, 4, 4}));
    EXPECT_FALSE(Warp(source, out, {3, 3, 3, 3}, {0, 1, 2, 3}));
    EXPECT_FALSE(Warp(source, out, {0, NAN, 6, 0}, {0, 0, 4, 4}));
    EXPECT_EQ(2, out.width);
    EXPECT_EQ(7, AlphaAt(out, 0, 0));
    // The source must be 32 bpp.
    NImageBuffer rgb;
    ASSERT_TRUE(rgb.Create(6, 4, 24, 0));
    EXPECT_FALSE(Warp(rgb, out, {0, 6, 6, 0}, {0, 0, 4, 4}));

    // WarpToQuad keeps the picture, depth included, when the warp is refused.
    NImageBuffer image;
    ASSERT_TRUE(image.Create(6, 4, 24, RGB(1, 2, 3)));
    EXPECT_FALSE(image.WarpToQuad(0, 0, 6, 0, 6, 0, 0, 4));
    EXPECT_EQ(24, image.bpp);
    EXPECT_EQ(RGB(1, 2, 3), ColourAt(image, 0, 0));
    NImageBuffer empty;
    EXPECT_FALSE(empty.WarpToQuad(0, 0, 6, 0, 6, 4, 0, 4));
}

TEST(Warp, OntoARectangleEqualsAnAreaResize)
{
    // Warping onto an upright rectangle spreads every pixel over the area it covers, which is
    // what the area-based resize modes (area coverage, area average) compute, and the box filter
    // for whole-number ratios. The resize truncates where the warp rounds, so shrinks may differ
    // by one level.
    const int w = 12, h = 6;
    const int sizes[][2] = {{24, 12}, {36, 18}, {6, 3}, {4, 2}, {8, 4}, {18, 9}, {30, 6}};
    for (int depth : {24, 32}) {
        NImageBuffer source;
        ASSERT_TRUE(source.Create(w, h, depth, 0));
        uint32_t seed = 7;
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                seed = seed * 1103515245 + 12345;
                SetRaw(source, x, y, 0xFF000000u | ((seed >> 8) & 0xFFFFFF));
            }
        for (const auto& size : sizes) {
            NImageBuffer warped;
            ASSERT_TRUE(warped.Copy(source));
            ASSERT_TRUE(warped.WarpToQuad(0, 0, size[0], 0, size[0], size[1], 0, size[1]));
            ASSERT_EQ(size[0], warped.width);
            ASSERT_EQ(size[1], warped.height);
            const bool enlarges = size[0] % w == 0 && size[1] % h == 0;
            const bool wholeRatio = enlarges || (w % size[0] == 0 && h % size[1] == 0);
            for (int mode : {1, 4, 5}) {
                if (mode == 5 && !wholeRatio)
                    continue;
                SCOPED_TRACE(testing::Message() << depth << " bpp to " << size[0] << "x" << size[1] << ", mode " << mode);
                NImageBuffer resized;
                ASSERT_TRUE(source.ResizeImageInto(resized, size[0], size[1], mode, false));
                ASSERT_EQ(size[0], resized.width);
                ASSERT_EQ(size[1], resized.height);
                int worst = 0;
                for (int y = 0; y < size[1]; ++y)
                    for (int x = 0; x < size[0]; ++x) {
                        COLORREF a = ColourAt(warped, x, y), b = ColourAt(resized, x, y);
                        worst = std::max({worst, abs(GetRValue(a) - GetRValue(b)), abs(GetGValue(a) - GetGValue(b)),
                                          abs(GetBValue(a) - GetBValue(b))});
                        ASSERT_EQ(255, AlphaAt(warped, x, y));
                    }
                EXPECT_LE(worst, enlarges ? 0 : 1);
            }
        }
    }
}
