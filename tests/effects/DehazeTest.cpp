// Dehaze and its steps.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "effects/Dehaze.h"
#include "effects/DehazeSteps.h"
#include "effects/EffectTestPictures.h"

using namespace effecttest;

namespace {

// A grey picture from rows of values (top row first).
bool MakeGreyRows(NImageBuffer& grey, const std::vector<std::vector<int>>& rows)
{
    if (!MakeGreyPicture(grey, static_cast<int>(rows[0].size()), static_cast<int>(rows.size())))
        return false;
    for (size_t y = 0; y < rows.size(); ++y)
        for (size_t x = 0; x < rows[y].size(); ++x)
            SetRaw(grey, static_cast<int>(x), static_cast<int>(y), static_cast<uint32_t>(rows[y][x]));
    return true;
}

std::vector<std::vector<int>> GreyRows(const NImageBuffer& grey)
{
    std::vector<std::vector<int>> rows(grey.height, std::vector<int>(grey.width));
    for (int y = 0; y < grey.height; ++y)
        for (int x = 0; x < grey.width; ++x)
            rows[y][x] = static_cast<int>(RawAt(grey, x, y));
    return rows;
}

// Pixel (x, y) of a 24-bpp picture as blue, green, red bytes.
void SetBgr(NImageBuffer& picture, int x, int y, int blue, int green, int red)
{
    SetRaw(picture, x, y, static_cast<uint32_t>(blue | (green << 8) | (red << 16)));
}

// The window minimum of the smallest channel, written out.
std::vector<std::vector<int>> BruteDarkChannel(const NImageBuffer& picture, int r)
{
    const int w = picture.width, h = picture.height;
    std::vector<std::vector<int>> out(h, std::vector<int>(w, 255));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int v = std::max(y - r, 0); v <= std::min(y + r, h - 1); ++v)
                for (int u = std::max(x - r, 0); u <= std::min(x + r, w - 1); ++u) {
                    const uint32_t raw = RawAt(picture, u, v);
                    out[y][x] = std::min({out[y][x], static_cast<int>(raw & 255), static_cast<int>((raw >> 8) & 255),
                                          static_cast<int>((raw >> 16) & 255)});
                }
    return out;
}

// The guided filter written out: the four normal equations of every window solved by Gaussian
// elimination in long double, then the coefficients averaged over the window.
std::vector<std::vector<int>> BruteGuidedFilter(const NImageBuffer& guide, const NImageBuffer& input, double eps, int r)
{
    const int w = guide.width, h = guide.height;
    std::vector<std::array<long double, 4>> coefficients(static_cast<size_t>(w) * h);
    auto window = [&](int x, int y, auto visit) {
        for (int v = std::max(y - r, 0); v <= std::min(y + r, h - 1); ++v)
            for (int u = std::max(x - r, 0); u <= std::min(x + r, w - 1); ++u)
                visit(u, v);
    };
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            long double m[4][5] = {};
            long double n = 0;
            window(x, y, [&](int u, int v) {
                const uint32_t raw = RawAt(guide, u, v);
                const long double f[4] = {static_cast<long double>(raw & 255),
                                          static_cast<long double>((raw >> 8) & 255),
                                          static_cast<long double>((raw >> 16) & 255), 1};
                const long double p = RawAt(input, u, v);
                for (int i = 0; i < 4; ++i) {
                    for (int j = 0; j < 4; ++j)
                        m[i][j] += f[i] * f[j];
                    m[i][4] += f[i] * p;
                }
                n += 1;
            });
            for (int i = 0; i < 3; ++i)
                m[i][i] += n * eps;
            for (int col = 0; col < 4; ++col) {
                int pivot = col;
                for (int i = col + 1; i < 4; ++i)
                    if (std::fabs(m[i][col]) > std::fabs(m[pivot][col]))
                        pivot = i;
                std::swap(m[col], m[pivot]);
                for (int i = 0; i < 4; ++i)
                    if (i != col) {
                        const long double factor = m[i][col] / m[col][col];
                        for (int j = col; j < 5; ++j)
                            m[i][j] -= factor * m[col][j];
                    }
            }
            for (int i = 0; i < 4; ++i)
                coefficients[static_cast<size_t>(y) * w + x][i] = m[i][4] / m[i][i];
        }
    std::vector<std::vector<int>> out(h, std::vector<int>(w));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::array<long double, 4> mean{};
            long double n = 0;
            window(x, y, [&](int u, int v) {
                for (int i = 0; i < 4; ++i)
                    mean[i] += coefficients[static_cast<size_t>(v) * w + u][i];
                n += 1;
            });
            const uint32_t raw = RawAt(guide, x, y);
            const long double q = (mean[0] * (raw & 255) + mean[1] * ((raw >> 8) & 255) +
                                   mean[2] * ((raw >> 16) & 255) + mean[3]) / n;
            out[y][x] = static_cast<int>(std::lround(static_cast<double>(std::clamp<long double>(q, 0, 255))));
        }
    return out;
}

int WorstDifference(const std::vector<std::vector<int>>& a, const std::vector<std::vector<int>>& b)
{
    int worst = 0;
    for (size_t y = 0; y < a.size(); ++y)
        for (size_t x = 0; x < a[y].size(); ++x)
            worst = std::max(worst, std::abs(a[y][x] - b[y][x]));
    return worst;
}

class RecordingSink : public NProgressSink {
public:
    struct Call {
        std::wstring text;  // empty for SetProgress
        int total;
        int value;
    };
    void SetText(const wchar_t* text) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        calls.push_back({text ? text : L"(null)", 0, 0});
    }
    void SetProgress(double base, int total, int value) override
    {
        std::lock_guard<std::mutex> lock(mutex_);
        EXPECT_EQ(0.0, base);
        calls.push_back({L"", total, value});
    }
    std::vector<Call> calls;

private:
    std::mutex mutex_;
};

std::string LibraryLog()
{
    std::vector<unsigned char> bytes;
    ReadWholeFile(ProgramFolder() + L"\\_NLogMsg.txt", bytes);
    return std::string(bytes.begin(), bytes.end());
}

// A scene of 8 x 8 blocks of strong colours (each block has one dark channel) seen through haze:
// I = J t + A (1 - t) with t = 0.6 and A = 230 grey.
void MakeHazyScene(NImageBuffer& scene, NImageBuffer& hazy, int width, int height)
{
    ASSERT_TRUE(scene.Create(width, height, 24, 0));
    ASSERT_TRUE(hazy.Create(width, height, 24, 0));
    uint32_t state = 12345;
    std::vector<uint32_t> blocks(static_cast<size_t>((width + 7) / 8) * ((height + 7) / 8));
    for (uint32_t& colour : blocks) {
        state = state * 1664525u + 1013904223u;
        const int dark = state >> 30;  // the channel that is dark
        for (int c = 0; c < 3; ++c) {
            state = state * 1664525u + 1013904223u;
            const uint32_t value = c == dark ? (state >> 28) : 60 + (state >> 25) % 190;
            colour |= value << (8 * c);
        }
    }
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const uint32_t colour = blocks[static_cast<size_t>(y / 8) * ((width + 7) / 8) + x / 8];
            SetRaw(scene, x, y, colour);
            uint32_t hazed = 0;
            for (int c = 0; c < 3; ++c)
                hazed |= static_cast<uint32_t>(std::lround(((colour >> (8 * c)) & 255) * 0.6 + 230 * 0.4)) << (8 * c);
            SetRaw(hazy, x, y, hazed);
        }
}

double MeanDifference(const NImageBuffer& a, const NImageBuffer& b)
{
    double sum = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            const uint32_t p = RawAt(a, x, y), q = RawAt(b, x, y);
            for (int c = 0; c < 3; ++c)
                sum += std::abs(static_cast<int>((p >> (8 * c)) & 255) - static_cast<int>((q >> (8 * c)) & 255));
        }
    return sum / (3.0 * a.width * a.height);
}

}  // namespace

TEST(DehazeSteps, DarkChannelOfATinyPicture)
{
    // 4 x 3, radius 1: every output is the smallest channel of its 3 x 3 neighbourhood, clipped.
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(4, 3, 24, RGB(200, 200, 200)));
    SetBgr(picture, 0, 0, 90, 120, 100);  // smallest 90
    SetBgr(picture, 3, 0, 150, 40, 180);  // 40
    SetBgr(picture, 2, 2, 70, 250, 250);  // 70
    NImageBuffer dark;
    ASSERT_TRUE(CalcDarkChannel(dark, picture, 1));
    EXPECT_EQ(8, dark.bpp);
    EXPECT_EQ(GreyRows(dark), (std::vector<std::vector<int>>{{90, 90, 40, 40}, {90, 70, 40, 40}, {200, 70, 70, 70}}));
    // Radius 0 is the smallest channel itself; a negative radius counts as 0.
    ASSERT_TRUE(CalcDarkChannel(dark, picture, -3));
    EXPECT_EQ(GreyRows(dark),
              (std::vector<std::vector<int>>{{90, 200, 200, 40}, {200, 200, 200, 200}, {200, 200, 70, 200}}));
}

TEST(DehazeSteps, DarkChannelEqualsTheWindowMinimum)
{
    const struct {
        int width, height, radius, bpp;
    } cases[] = {{37, 23, 0, 24}, {37, 23, 1, 32}, {37, 23, 3, 24}, {37, 23, 7, 24}, {16, 9, 40, 24},
                 {1, 30, 2, 24},  {30, 1, 5, 24},  {1, 1, 3, 32},  {64, 64, 10, 24}};
    for (const auto& c : cases) {
        NImageBuffer picture, dark;
        ASSERT_TRUE(MakeNoise(picture, c.width, c.height, c.bpp, c.width * 31 + c.radius));
        ASSERT_TRUE(CalcDarkChannel(dark, picture, c.radius));
        EXPECT_EQ(GreyRows(dark), BruteDarkChannel(picture, c.radius))
            << c.width << "x" << c.height << " r " << c.radius << " " << c.bpp << " bpp";
    }
}

TEST(DehazeSteps, AirlightIsTheMeanOfTheBrightestMarkedValues)
{
    // 100 x 100: the 10 pixels of the highest dark values are marked; ceil(10 / 100) = 1 value per
    // channel is summed, and the light is that value itself (not 10 times it).
    NImageBuffer picture, dark;
    ASSERT_TRUE(MakeGreyPicture(dark, 100, 100));
    ASSERT_TRUE(picture.Create(100, 100, 24, RGB(255, 255, 255)));
    for (int i = 0; i < 10; ++i) {
        SetRaw(dark, 40 + i, 50, 250);
        SetBgr(picture, 40 + i, 50, 10 + 10 * i, 20 + i, 100 - i);  // blue up to 100, green 29, red 100
    }
    AtmosphericLight light{};
    ASSERT_TRUE(CalcAirlight(dark, picture, light));
    EXPECT_DOUBLE_EQ(100.0, light[0]);
    EXPECT_DOUBLE_EQ(29.0, light[1]);
    EXPECT_DOUBLE_EQ(100.0, light[2]);

    // 500 x 300: 150 marked, ceil(1.5) = 2 values summed and divided by 2.
    ASSERT_TRUE(MakeGreyPicture(dark, 500, 300));
    ASSERT_TRUE(picture.Create(500, 300, 24, RGB(255, 255, 255)));
    for (int i = 0; i < 150; ++i) {
        SetRaw(dark, i, 10, 200);
        SetBgr(picture, i, 10, i == 3 ? 200 : i == 7 ? 100 : 30, 60, 80);
    }
    ASSERT_TRUE(CalcAirlight(dark, picture, light));
    EXPECT_DOUBLE_EQ(150.0, light[0]);
    EXPECT_DOUBLE_EQ(60.0, light[1]);
    EXPECT_DOUBLE_EQ(80.0, light[2]);

    // Equal dark values everywhere: the first 10 pixels in memory order (the bottom row) are marked.
    ASSERT_TRUE(MakeGreyPicture(dark, 100, 100));
    ASSERT_TRUE(picture.Create(100, 100, 24, RGB(255, 255, 255)));
    for (int x = 0; x < 10; ++x)
        SetBgr(picture, x, 99, 10 * (x + 1), 5, 5);
    ASSERT_TRUE(CalcAirlight(dark, picture, light));
    EXPECT_DOUBLE_EQ(100.0, light[0]);
    EXPECT_DOUBLE_EQ(5.0, light[2]);

    // A dark channel of another size is refused.
    ASSERT_TRUE(MakeGreyPicture(dark, 99, 100));
    EXPECT_FALSE(CalcAirlight(dark, picture, light));
}

TEST(DehazeSteps, TransmissionByHand)
{
    const struct {
        COLORREF pixel;  // RGB(red, green, blue)
        AtmosphericLight light;
        int expected;
    } cases[] = {
        // Blue 100 / 200 -> 128 (127.5 rounded away), green and red above the light -> 255:
        // T = lround((1 - 128 / 255 * 0.95) * 255) = lround(133.4) = 133.
        {RGB(100, 100, 100), {200, 100, 50}, 133},
        // A channel without light takes no part: blue 0 / 0 counts as 255, green and red 128.
        {RGB(50, 50, 0), {0, 100, 100}, 133},
        // A black picture under black light: every quotient counts as 255 -> T = 13.
        {RGB(0, 0, 0), {0, 0, 0}, 13},
        // Pixel as bright as the light: dark 255 -> 13; pixel 0 under a light: dark 0 -> 255.
        {RGB(90, 80, 70), {70, 80, 90}, 13},
        {RGB(0, 120, 200), {200, 100, 50}, 255},
    };
    for (const auto& c : cases) {
        NImageBuffer picture, transmission;
        ASSERT_TRUE(picture.Create(3, 2, 24, c.pixel));
        ASSERT_TRUE(CalcTransmission(transmission, picture, c.light, 1));
        EXPECT_EQ(GreyRows(transmission), (std::vector<std::vector<int>>(2, std::vector<int>(3, c.expected))))
            << std::hex << c.pixel;
    }
}

TEST(DehazeSteps, RecoverDividesByTheTransmissionAtLeastATenth)
{
    const struct {
        int transmission, value;
        double light;
        int expected;
    } cases[] = {
        {0, 150, 140, 240},    // t = 0 -> 0.1: (10 / 255) / 0.1 * 255 + 140
        {25, 150, 140, 240},   // 25 / 255 < 0.1 as well
        {255, 77, 200, 77},    // t = 1: unchanged
        {128, 100, 50, 150},   // 50 / (128 / 255) + 50 = 149.6
        {0, 100, 200, 0},      // clamped below
        {0, 255, 100, 255},    // and above
    };
    for (const auto& c : cases) {
        NImageBuffer picture, transmission, out;
        ASSERT_TRUE(picture.Create(2, 2, 32, RGB(c.value, c.value, c.value)));
        ASSERT_TRUE(MakeGreyPicture(transmission, 2, 2));
        for (int y = 0; y < 2; ++y)
            for (int x = 0; x < 2; ++x)
                SetRaw(transmission, x, y, static_cast<uint32_t>(c.transmission));
        ASSERT_TRUE(CalcRecover(out, picture, transmission, {c.light, c.light, c.light}));
        EXPECT_EQ(24, out.bpp);
        EXPECT_EQ(RGB(c.expected, c.expected, c.expected), ColourAt(out, 1, 0)) << c.transmission << " " << c.value;
    }
    // A light channel of its own per channel: blue 100 under 50 with t = 0.5 -> 150, red stays.
    NImageBuffer picture, transmission, out;
    ASSERT_TRUE(picture.Create(1, 1, 24, RGB(30, 0, 100)));
    ASSERT_TRUE(MakeGreyRows(transmission, {{255}}));
    ASSERT_TRUE(CalcRecover(out, picture, transmission, {50, 0, 250}));
    EXPECT_EQ(RGB(30, 0, 100), ColourAt(out, 0, 0));
    // The transmission must have the picture's size.
    ASSERT_TRUE(MakeGreyPicture(transmission, 2, 1));
    EXPECT_FALSE(CalcRecover(out, picture, transmission, {50, 0, 250}));
}

TEST(DehazeSteps, GuidedFilterOfAConstantIsTheConstant)
{
    NImageBuffer noise, grey, black, input, out;
    ASSERT_TRUE(MakeNoise(noise, 41, 29, 24, 7));
    ASSERT_TRUE(grey.Create(41, 29, 24, 0));
    for (int y = 0; y < 29; ++y)
        for (int x = 0; x < 41; ++x)
            SetBgr(grey, x, y, (x * 37 + y * 11) % 256, (x * 37 + y * 11) % 256, (x * 37 + y * 11) % 256);
    ASSERT_TRUE(black.Create(41, 29, 24, 0));
    ASSERT_TRUE(MakeGreyPicture(input, 41, 29));
    for (const NImageBuffer* guide : {&noise, &grey, &black})
        for (int value : {0, 137, 255})
            for (int radius : {0, 3, 60}) {
                for (int y = 0; y < 29; ++y)
                    for (int x = 0; x < 41; ++x)
                        SetRaw(input, x, y, static_cast<uint32_t>(value));
                ASSERT_TRUE(GuidedFilterColor(out, *guide, input, 1e-6, radius, nullptr));
                EXPECT_EQ(GreyRows(out), GreyRows(input)) << value << " r " << radius;
            }
}

TEST(DehazeSteps, GuidedFilterMatchesTheNormalEquations)
{
    // A noisy guide with a black block and a grey (B = G = R) block, a noisy input; the filter
    // solved window by window must agree, also when the coefficient rows are kept in narrow bands.
    NImageBuffer guide, input, out, banded;
    ASSERT_TRUE(MakeNoise(guide, 23, 31, 32, 3));
    ASSERT_TRUE(MakeNoise(input, 23, 31, 24, 4));
    ASSERT_TRUE(input.ConvertToGray8());
    for (int y = 2; y < 12; ++y)
        for (int x = 3; x < 15; ++x) {
            SetRaw(guide, x, y, 0);
            SetRaw(guide, x, y + 15, 0x010101u * static_cast<uint32_t>((x * 19 + y * 7) % 256));
        }
    for (int radius : {1, 2, 5}) {
        for (double eps : {1e-6, 50.0}) {
            const auto expected = BruteGuidedFilter(guide, input, eps, radius);
            ASSERT_TRUE(GuidedFilterColor(out, guide, input, eps, radius, nullptr));
            EXPECT_LE(WorstDifference(GreyRows(out), expected), 1) << radius << " " << eps;
            // Rounding of the averaged coefficients may differ with the bands' and threads' seams.
            ASSERT_TRUE(GuidedFilterColor(banded, guide, input, eps, radius, nullptr, 1));
            EXPECT_LE(WorstDifference(GreyRows(banded), expected), 1) << radius << " " << eps;
        }
    }
    // A black guide fits every window by its mean: the result is the mean of the window means.
    NImageBuffer black;
    ASSERT_TRUE(black.Create(23, 31, 24, 0));
    ASSERT_TRUE(GuidedFilterColor(out, black, input, 1e-6, 2, nullptr));
    EXPECT_LE(WorstDifference(GreyRows(out), BruteGuidedFilter(black, input, 1e-6, 2)), 1);

    // Refusals: input of another size or depth, epsilon 0.
    NImageBuffer small;
    ASSERT_TRUE(MakeGreyPicture(small, 22, 31));
    EXPECT_FALSE(GuidedFilterColor(out, guide, small, 1e-6, 2, nullptr));
    EXPECT_FALSE(GuidedFilterColor(out, guide, guide, 1e-6, 2, nullptr));
    EXPECT_FALSE(GuidedFilterColor(out, guide, input, 0, 2, nullptr));
}

TEST(Dehaze, ClearsHazeFromAScene)
{
    NImageBuffer scene, hazy;
    MakeHazyScene(scene, hazy, 200, 150);
    const double before = MeanDifference(scene, hazy);
    ASSERT_TRUE(Dehaze(hazy, false, 8, nullptr));
    const double after = MeanDifference(scene, hazy);
    EXPECT_GT(before, 40.0);
    EXPECT_LT(after, before / 3) << before << " -> " << after;
}

TEST(Dehaze, DepthSizeAndResolution)
{
    // A 32-bpp picture comes back as 24 bpp with alpha flattened: the same as its flattened copy.
    NImageBuffer scene, hazy, withAlpha, flattened;
    MakeHazyScene(scene, hazy, 64, 48);
    ASSERT_TRUE(withAlpha.Copy(hazy));
    ASSERT_TRUE(withAlpha.ConvertToBpp(32, false));
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            RowFromTop(withAlpha, y)[x * 4 + 3] = static_cast<uint8_t>(x * 4);
    ASSERT_TRUE(flattened.Copy(withAlpha));
    ASSERT_TRUE(flattened.ConvertToBpp(24, true));
    withAlpha.dpiX = 300;
    withAlpha.dpiY = 150;
    ASSERT_TRUE(Dehaze(withAlpha, false, 4, nullptr));
    ASSERT_TRUE(Dehaze(flattened, false, 4, nullptr));
    EXPECT_EQ(24, withAlpha.bpp);
    EXPECT_EQ(64, withAlpha.width);
    EXPECT_EQ(48, withAlpha.height);
    EXPECT_EQ(300, withAlpha.dpiX);
    EXPECT_EQ(150, withAlpha.dpiY);
    EXPECT_EQ(Snapshot(flattened), Snapshot(withAlpha));

    // Any valid depth is taken; an invalid picture is refused.
    NImageBuffer grey8, empty;
    ASSERT_TRUE(MakeGrey8(grey8, 20, 10));
    EXPECT_TRUE(Dehaze(grey8, true, 3, nullptr));
    EXPECT_EQ(24, grey8.bpp);
    EXPECT_FALSE(Dehaze(empty, true, 3, nullptr));
}

TEST(Dehaze, WorkCopyAndPatchRadius)
{
    EXPECT_TRUE(DehazeReduces(2000, 1000, true));
    EXPECT_FALSE(DehazeReduces(2000, 1000, false));
    EXPECT_FALSE(DehazeReduces(1000, 1000, true));  // exactly 1,000,000 pixels
    EXPECT_FALSE(DehazeReduces(1, 1000000, true));
    EXPECT_TRUE(DehazeReduces(1001, 1000, true));
    EXPECT_TRUE(DehazeReduces(65536, 65536, true));  // 2^32 pixels: no wrap to 0
    EXPECT_EQ(20, DehazePatchRadius(2000, 1000));
    EXPECT_EQ(10, DehazePatchRadius(1000, 500));
    EXPECT_EQ(0, DehazePatchRadius(4000, 2));
    EXPECT_EQ(2, DehazePatchRadius(75, 75));  // 1.5 rounds away from zero
    NImageBuffer picture, work;
    ASSERT_TRUE(MakeNoise(picture, 2000, 1000, 24, 9));
    ASSERT_TRUE(MakeDehazeWorkCopy(picture, work));
    EXPECT_EQ(1000, work.width);
    EXPECT_EQ(500, work.height);
    EXPECT_EQ(24, work.bpp);
    EXPECT_EQ(10, DehazePatchRadius(work.width, work.height));
}

TEST(Dehaze, ProgressTextsInOrderAndLogLines)
{
    NImageBuffer scene, hazy;
    MakeHazyScene(scene, hazy, 80, 60);
    RecordingSink sink;
    ASSERT_TRUE(Dehaze(hazy, false, 5, &sink));
    std::vector<std::wstring> texts;
    bool fullRows = false;
    for (const auto& call : sink.calls) {
        if (!call.text.empty())
            texts.push_back(call.text);
        else if (call.total == 100)
            fullRows = fullRows || call.value == 100;
        else
            EXPECT_EQ(1, call.total);
    }
    EXPECT_EQ(texts, (std::vector<std::wstring>{L"Calculating dark areas", L"Calculating light areas",
                                                L"Calculating colors", L"Finalizing", L"Finished"}));
    EXPECT_TRUE(fullRows);
    ASSERT_GE(sink.calls.size(), 2u);
    EXPECT_EQ(L"Finished", sink.calls[sink.calls.size() - 2].text);
    EXPECT_EQ(1, sink.calls.back().total);
    EXPECT_EQ(1, sink.calls.back().value);

    // Without a sink nothing is reported, but every step's time is logged.
    const size_t logged = LibraryLog().size();
    ASSERT_TRUE(Dehaze(hazy, false, 5, nullptr));
    const std::string log = LibraryLog().substr(logged);
    for (const char* step : {"CalcDarkChannel", "CalcAirlight", "CalcTransmission", "GuidedFilterColor", "CalcRecover"})
        EXPECT_NE(std::string::npos, log.find(std::string(step) + ": took ")) << step;
    EXPECT_NE(std::string::npos, log.find(" msec (")) << log;
}

TEST(Dehaze, DegenerateAndExtremeSizes)
{
    // 1 x 1,100,000 is analysed at 1 x 550,000: the map is scaled back although the width is the same.
    const struct {
        int width, height;
        bool reduce;
    } cases[] = {{1, 1, true},    {1, 37, false},    {37, 1, true},      {4000, 2, true}, {2, 4000, false},
                 {2, 4000, true},  {1, 1100000, true}, {1100000, 1, true}};
    for (const auto& c : cases) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, c.width, c.height, 24, 5));
        EXPECT_TRUE(Dehaze(picture, c.reduce, 30, nullptr)) << c.width << "x" << c.height;
        EXPECT_EQ(c.width, picture.width);
        EXPECT_EQ(c.height, picture.height);
        EXPECT_EQ(24, picture.bpp);
    }
}
