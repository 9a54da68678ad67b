// Scale engine: kernel values, contribution lists, pass order, and every filter against
// ImageMagick's filter of the same name (fixtures in tests/data/resize, made by make_fixtures.sh).
#include "imaging/NImageScaleEngine.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

struct Row {
    int first;
    std::vector<double> weights;  // first..last
};

std::vector<Row> Contributions(const NImageScaleFilterGeneric& kernel, unsigned destination, unsigned source,
                               int* window = nullptr)
{
    ScaleContributionList list;
    EXPECT_TRUE(BuildContributions(list, kernel, destination, source));
    std::vector<Row> rows;
    for (unsigned i = 0; i < list.count; ++i) {
        const ScaleContribution& c = list.entries[i];
        rows.push_back({c.first, std::vector<double>(c.weights, c.weights + (c.last - c.first + 1))});
    }
    if (window)
        *window = list.window;
    FreeContributions(list);
    return rows;
}

void ExpectRow(const Row& row, int first, const std::vector<double>& weights)
{
    EXPECT_EQ(first, row.first);
    ASSERT_EQ(weights.size(), row.weights.size());
    for (size_t i = 0; i < weights.size(); ++i)
        EXPECT_NEAR(weights[i], row.weights[i], 1e-12) << "weight " << i;
}

// A picture of the given depth whose bytes follow a fixed pattern.
void MakePattern(NImageBuffer& picture, int width, int height, int bpp)
{
    ASSERT_TRUE(picture.Create(width, height, bpp, 0));
    for (int y = 0; y < height; ++y)
        for (int i = 0; i < picture.stride; ++i)
            picture.bits[y * picture.stride + i] = static_cast<uint8_t>((y * 37 + i * 11 + (i * i) % 13) * 5);
}

bool SamePixels(const NImageBuffer& a, const NImageBuffer& b)
{
    if (a.width != b.width || a.height != b.height || a.bpp != b.bpp)
        return false;
    return memcmp(a.bits, b.bits, static_cast<size_t>(a.stride) * a.height) == 0;
}

// Top-down red, green, blue file of ImageMagick into a bottom-up blue-first picture.
bool LoadRgb(NImageBuffer& picture, const std::wstring& name, int width, int height)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(TestDataPath(L"resize\\" + name), bytes) || bytes.size() != size_t(width) * height * 3)
        return false;
    if (!picture.Create(width, height, 24, 0))
        return false;
    for (int y = 0; y < height; ++y) {
        const unsigned char* in = bytes.data() + size_t(height - 1 - y) * width * 3;
        uint8_t* out = picture.bits + y * picture.stride;
        for (int x = 0; x < width; ++x) {
            out[x * 3] = in[x * 3 + 2];
            out[x * 3 + 1] = in[x * 3 + 1];
            out[x * 3 + 2] = in[x * 3];
        }
    }
    return true;
}

}  // namespace

TEST(ScaleEngine, KernelValues)
{
    NImageScaleFilterBox box;
    NImageScaleFilterBilinear bilinear;
    NImageScaleFilterBicubic bicubic(1.0 / 3, 1.0 / 3);
    NImageScaleFilterCatmullRom catmullRom;
    NImageScaleFilterLanczos3 lanczos;
    NImageScaleFilterBSpline bspline;
    NImageScaleFilterBlackman blackman;

    EXPECT_EQ(1.0, box.Filter(0.5));
    EXPECT_EQ(1.0, box.Filter(-0.5));
    EXPECT_EQ(0.0, box.Filter(0.5000001));
    EXPECT_EQ(0.0, bilinear.Filter(1.0));
    EXPECT_DOUBLE_EQ(0.75, bilinear.Filter(-0.25));
    EXPECT_EQ(1.0, lanczos.Filter(0.0));
    EXPECT_EQ(0.0, lanczos.Filter(3.0));
    EXPECT_NEAR(-0.135095, lanczos.Filter(1.5), 1e-6);  // sinc(1.5) sinc(0.5)
    EXPECT_EQ(2.0, bicubic.support);
    EXPECT_NEAR(8.0 / 9, bicubic.Filter(0.0), 1e-15);             // (6 - 2B)/6
    EXPECT_NEAR(1.0 / 18, bicubic.Filter(1.0), 1e-15);            // B/6
    EXPECT_NEAR(0.0, bicubic.Filter(2.0), 1e-15);
    EXPECT_DOUBLE_EQ(-0.0625, catmullRom.Filter(-1.5));
    EXPECT_DOUBLE_EQ(-0.0625, catmullRom.Filter(1.5));
    EXPECT_DOUBLE_EQ(0.5625, catmullRom.Filter(-0.5));
    EXPECT_DOUBLE_EQ(1.0, catmullRom.Filter(0.0));
    EXPECT_DOUBLE_EQ(4.0 / 6, bspline.Filter(0.0));
    EXPECT_DOUBLE_EQ(1.0 / 6, bspline.Filter(-1.0));
    EXPECT_EQ(0.0, bspline.Filter(2.0));
    EXPECT_DOUBLE_EQ(1.0, blackman.Filter(0.0));
    EXPECT_NEAR(0.0, blackman.Filter(0.5), 1e-15);
    EXPECT_EQ(0.0, blackman.Filter(0.51));
}

TEST(ScaleEngine, BilinearContributions)
{
    NImageScaleFilterBilinear bilinear;
    int window = 0;
    // Shrinking 4 to 2: the trailing zero is trimmed, the leading zero kept.
    auto shrink = Contributions(bilinear, 2, 4, &window);
    EXPECT_EQ(5, window);
    ASSERT_EQ(2u, shrink.size());
    ExpectRow(shrink[0], 0, {3.0 / 7, 3.0 / 7, 1.0 / 7});
    ExpectRow(shrink[1], 0, {0.0, 1.0 / 7, 3.0 / 7, 3.0 / 7});
    // Enlarging 2 to 4.
    auto enlarge = Contributions(bilinear, 4, 2, &window);
    EXPECT_EQ(3, window);
    ASSERT_EQ(4u, enlarge.size());
    ExpectRow(enlarge[0], 0, {1.0});
    ExpectRow(enlarge[1], 0, {0.75, 0.25});
    ExpectRow(enlarge[2], 0, {0.25, 0.75});
    ExpectRow(enlarge[3], 0, {0.0, 1.0});
}

TEST(ScaleEngine, NarrowKernelBetweenTwoSamplesFallsBackToTheNearest)
{
    // Blackman of support 0.5 weighs both neighbours of a point halfway between them about -1e-17.
    NImageScaleFilterBlackman blackman;
    auto rows = Contributions(blackman, 3, 2);
    ASSERT_EQ(3u, rows.size());
    double sum = 0;
    for (double w : rows[1].weights)
        sum += w;
    EXPECT_NEAR(1.0, sum, 1e-12);

    NImageBuffer source, result;
    ASSERT_TRUE(source.Create(2, 2, 24, RGB(200, 100, 50)));
    ASSERT_TRUE(result.Create(3, 3, 24, 0));
    NImageScaleEngine engine(&blackman);
    ASSERT_TRUE(engine.Scale(source, result));
    for (int i = 0; i < 3 * 3; ++i)
        EXPECT_EQ(50, result.bits[(i / 3) * result.stride + (i % 3) * 3]) << "pixel " << i;
}

TEST(ScaleEngine, SmallerRatioAxisGoesFirstAndHorizontalOnATie)
{
    NImageScaleFilterLanczos3 lanczos;
    NImageScaleEngine engine(&lanczos);
    NImageBuffer source;
    MakePattern(source, 9, 7, 24);

    struct Case {
        int width, height;
        bool verticalFirst;
        bool ordersDiffer;  // the two orders give different bytes, so the check means something
    };
    const Case cases[] = {
        {9, 3, true, false},    // height only, shrinking: vertical first (the horizontal pass copies)
        {9, 12, false, false},  // height only, enlarging: vertical second
        {6, 4, true, true},     // 4/7 < 6/9: vertical first
        {5, 5, false, true},    // 5/9 < 5/7: horizontal first
        {18, 14, false, true},  // equal ratios: horizontal first
    };
    for (const Case& c : cases) {
        NImageBuffer result, viaHorizontal, viaVertical, step;
        ASSERT_TRUE(result.Create(c.width, c.height, 24, 0));
        ASSERT_TRUE(engine.Scale(source, result));
        ASSERT_TRUE(step.Create(c.width, source.height, 24, 0));
        ASSERT_TRUE(engine.ScaleHorizontal(source, step));
        ASSERT_TRUE(viaHorizontal.Create(c.width, c.height, 24, 0));
        ASSERT_TRUE(engine.ScaleVertical(step, viaHorizontal));
        ASSERT_TRUE(step.Create(source.width, c.height, 24, 0));
        ASSERT_TRUE(engine.ScaleVertical(source, step));
        ASSERT_TRUE(viaVertical.Create(c.width, c.height, 24, 0));
        ASSERT_TRUE(engine.ScaleHorizontal(step, viaVertical));
        EXPECT_TRUE(SamePixels(result, c.verticalFirst ? viaVertical : viaHorizontal)) << c.width << "x" << c.height;
        if (c.ordersDiffer) {
            EXPECT_FALSE(SamePixels(viaHorizontal, viaVertical)) << c.width << "x" << c.height;
        }
    }
}

TEST(ScaleEngine, SameBytesWithOneThreadOrMany)
{
    NImageScaleFilterCatmullRom catmullRom;
    NImageScaleEngine engine(&catmullRom);
    NImageBuffer source, single, many;
    MakePattern(source, 301, 97, 32);
    ASSERT_TRUE(single.Create(97, 203, 32, 0));
    ASSERT_TRUE(many.Create(97, 203, 32, 0));
    const int threads = omp_get_max_threads();
    omp_set_num_threads(1);
    ASSERT_TRUE(engine.Scale(source, single));
    omp_set_num_threads(std::max(threads, 4));
    ASSERT_TRUE(engine.Scale(source, many));
    omp_set_num_threads(threads);
    EXPECT_TRUE(SamePixels(single, many));
}

TEST(ScaleEngine, ThirtyTwoBitPicturesFilterTheirFourthByteAndClampOvershoot)
{
    NImageScaleFilterLanczos3 lanczos;
    NImageScaleEngine engine(&lanczos);
    // A hard edge 0 | 255 in every byte: the lobes overshoot and are clamped, never wrapped.
    NImageBuffer source, result;
    ASSERT_TRUE(source.Create(8, 4, 32, 0));
    for (int y = 0; y < 4; ++y)
        memset(source.bits + y * source.stride + 16, 255, 16);
    ASSERT_TRUE(result.Create(13, 4, 32, 0));
    ASSERT_TRUE(engine.Scale(source, result));
    EXPECT_EQ(32, result.bpp);
    // The edge (source x = 4) lands at 6.5: pixels 0 to 4 stay dark, 8 to 12 bright, even where the
    // negative lobes push the sums below 0 or above 255.
    for (int y = 0; y < 4; ++y) {
        const uint8_t* row = result.bits + y * result.stride;
        for (int x = 0; x < 13; ++x) {
            if (x <= 4) {
                EXPECT_LT(row[x * 4 + 3], 64) << x;
            }
            if (x >= 8) {
                EXPECT_GT(row[x * 4 + 3], 191) << x;
            }
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(row[x * 4 + c], row[x * 4 + 3]) << "alpha filtered like the colours at " << x;
        }
        EXPECT_EQ(0, row[3]);
        EXPECT_EQ(255, row[12 * 4 + 3]);
    }
}

TEST(ScaleEngine, RefusesWhatItCannotScale)
{
    NImageScaleFilterBox box;
    NImageBuffer source, result;
    ASSERT_TRUE(source.Create(4, 4, 24, 0));
    ASSERT_TRUE(result.Create(2, 2, 32, 0));
    EXPECT_FALSE(NImageScaleEngine(&box).Scale(source, result)) << "depths differ";
    ASSERT_TRUE(result.Create(2, 2, 24, RGB(1, 2, 3)));
    EXPECT_FALSE(NImageScaleEngine(nullptr).Scale(source, result)) << "no kernel";
    EXPECT_EQ(3, result.bits[0]) << "destination untouched";
    NImageBuffer palette;
    std::vector<uint8_t> grey(768, 0);
    ASSERT_TRUE(palette.Create(4, 4, 8, 0, grey.data()));
    EXPECT_FALSE(NImageScaleEngine(&box).Scale(palette, result));
}

TEST(ScaleEngine, FiltersMatchImageMagick)
{
    NImageBuffer source;
    ASSERT_TRUE(LoadRgb(source, L"source.rgb", 24, 16));
    struct Case {
        const wchar_t* name;
        std::unique_ptr<NImageScaleFilterGeneric> kernel;
    };
    Case cases[] = {
        {L"box", std::make_unique<NImageScaleFilterBox>()},
        {L"triangle", std::make_unique<NImageScaleFilterBilinear>()},
        {L"mitchell", std::make_unique<NImageScaleFilterBicubic>(1.0 / 3, 1.0 / 3)},
        {L"catrom", std::make_unique<NImageScaleFilterCatmullRom>()},
        {L"lanczos", std::make_unique<NImageScaleFilterLanczos3>()},
        {L"spline", std::make_unique<NImageScaleFilterBSpline>()},
    };
    // The passes run in ImageMagick's order for these sizes (columns first): with a hard edge the
    // clamping between the passes depends on the order. ImageMagick keeps 16 bits between its
    // passes, so each channel may still differ by 2 levels (out of 255) from its result.
    constexpr int kTolerance = 2;
    for (Case& c : cases) {
        for (auto [w, h] : {std::pair{10, 7}, std::pair{32, 32}}) {
            const std::wstring file = std::wstring(c.name) + L"_" + std::to_wstring(w) + L"x" + std::to_wstring(h) + L".rgb";
            NImageBuffer reference, columns, result;
            ASSERT_TRUE(LoadRgb(reference, file, w, h));
            ASSERT_TRUE(columns.Create(source.width, h, 24, 0));
            ASSERT_TRUE(result.Create(w, h, 24, 0));
            NImageScaleEngine engine(c.kernel.get());
            ASSERT_TRUE(engine.ScaleVertical(source, columns));
            ASSERT_TRUE(engine.ScaleHorizontal(columns, result));
            int worst = 0;
            for (int y = 0; y < h; ++y)
                for (int i = 0; i < w * 3; ++i)
                    worst = std::max(worst, std::abs(result.bits[y * result.stride + i] -
                                                     reference.bits[y * reference.stride + i]));
            EXPECT_LE(worst, kTolerance) << std::string(file.begin(), file.end());
        }
    }
}
