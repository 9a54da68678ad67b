// Histograms, black and white points, bilinear sampling and row addressing.
#include "effects/Histograms.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "effects/EffectPixels.h"
#include "imaging/NGraphics.h"

using effects::IntegerLuma;
using effects::IsEffectPicture;
using effects::ScanLine;

namespace {

struct FourHistograms {
    int red[256];
    int green[256];
    int blue[256];
    int luma[256];
};

}  // namespace

int ComputeHistograms(const NImageBuffer& picture, int* red, int* green, int* blue, int* luma)
{
    if (!IsEffectPicture(picture))
        return 0;
    GdiFlush();
    FourHistograms total{};
    const int step = picture.bpp / 8;
    const int width = picture.width;
    const int lines = picture.height;
#pragma omp parallel
    {
        FourHistograms local{};
#pragma omp for schedule(static) nowait
        for (int line = 0; line < lines; ++line) {
            const uint8_t* p = ScanLine(picture, line);
            for (int x = 0; x < width; ++x, p += step) {
                ++local.blue[p[0]];
                ++local.green[p[1]];
                ++local.red[p[2]];
                ++local.luma[IntegerLuma(p[2], p[1], p[0])];
            }
        }
#pragma omp critical
        for (int i = 0; i < 256; ++i) {
            total.red[i] += local.red[i];
            total.green[i] += local.green[i];
            total.blue[i] += local.blue[i];
            total.luma[i] += local.luma[i];
        }
    }
    if (red)
        memcpy(red, total.red, sizeof(total.red));
    if (green)
        memcpy(green, total.green, sizeof(total.green));
    if (blue)
        memcpy(blue, total.blue, sizeof(total.blue));
    if (luma)
        memcpy(luma, total.luma, sizeof(total.luma));

    int largest = 0;
    for (int i = 0; i < 256; ++i)
        largest = std::max({largest, total.red[i], total.green[i], total.blue[i], total.luma[i]});
    const int share = static_cast<int>(static_cast<double>(picture.width) * picture.height * 0.02);
    return std::min(largest, share);
}

bool DrawHistogram(HDC dc, int x, int /*unused1*/, int /*unused2*/, int height, const int* red, const int* green,
                   const int* blue, const int* luma, int scale)
{
    if (!red && !green && !blue && !luma)
        return false;
    NGdiPlusSession session;
    NGraphicsOnDC graphics(dc);
    if (!session.IsStarted() || !graphics.IsValid())
        return false;
    const float step = static_cast<float>(height) / static_cast<float>(std::max(scale, 1));
    const struct {
        const int* counts;
        COLORREF colour;
    } curves[] = {{red, 0x2532E3}, {green, 0x4FA44B}, {blue, 0xF69E06}, {luma, 0xFBFBFB}};
    for (const auto& curve : curves) {
        if (!curve.counts)
            continue;
        POINT points[259];
        for (int i = 0; i < 256; ++i) {
            // Far beyond the chart a point only steepens an edge that is clipped anyway; the
            // limit keeps the conversion to int defined for any count.
            const float y = std::clamp(static_cast<float>(height) - static_cast<float>(curve.counts[i]) * step,
                                       -65536.0f, static_cast<float>(height) + 65536.0f);
            points[i] = POINT{x + i, static_cast<LONG>(y)};
        }
        points[256] = POINT{x + 256, height};
        points[257] = POINT{x + 1, height};
        points[258] = points[0];
        graphics->FillPolygon(points, 259, curve.colour, 220);
    }
    return true;
}

void FindLevelsClipPoints(const int* histogram, int* black, int* white)
{
    constexpr double kTarget = 0.006;
    int low = 0, high = 255;
    double sum = 0;
    if (histogram)
        for (int i = 0; i < 256; ++i)
            sum += histogram[i];
    if (sum == 0) {
        low = high = 0;
    } else {
        double cumulative = 0;
        for (int i = 0; i < 255; ++i) {
            cumulative += histogram[i];
            if (std::fabs((cumulative + histogram[i + 1]) / sum - kTarget) > std::fabs(cumulative / sum - kTarget)) {
                low = i + 1;
                break;
            }
        }
        cumulative = 0;
        for (int i = 255; i > 0; --i) {
            cumulative += histogram[i];
            if (std::fabs((cumulative + histogram[i - 1]) / sum - kTarget) > std::fabs(cumulative / sum - kTarget)) {
                high = i - 1;
                break;
            }
        }
    }
    if (black)
        *black = low;
    if (white)
        *white = high;
}

uint32_t SampleBilinear(double fx, double fy, int bitsPerPixel, const uint8_t* p00, const uint8_t* p10,
                        const uint8_t* p01, const uint8_t* p11)
{
    auto lerp = [](double u, double v, double t) { return u + (v - u) * t; };
    auto channel = [](double value) { return static_cast<uint32_t>(std::clamp(value, 0.0, 255.0)); };
    if (bitsPerPixel == 32 && !(p00[3] == 255 && p10[3] == 255 && p01[3] == 255 && p11[3] == 255)) {
        const double alpha = lerp(lerp(p00[3], p10[3], fx), lerp(p01[3], p11[3], fx), fy);
        if (alpha < 0)
            return 0x00FFFFFF;
        const uint32_t alphaByte = static_cast<uint32_t>(std::min(alpha, 255.0));
        if (alphaByte == 0)
            return 0x00FFFFFF;
        uint32_t result = alphaByte << 24;
        for (int c = 0; c < 3; ++c) {
            const double top = lerp(p00[c] * double(p00[3]), p10[c] * double(p10[3]), fx);
            const double bottom = lerp(p01[c] * double(p01[3]), p11[c] * double(p11[3]), fx);
            result |= channel(lerp(top, bottom, fy) / alpha) << (8 * c);
        }
        return result;
    }
    uint32_t result = 0xFF000000u;
    for (int c = 0; c < 3; ++c)
        result |= channel(lerp(lerp(p00[c], p10[c], fx), lerp(p01[c], p11[c], fx), fy)) << (8 * c);
    return result;
}

uint8_t* GetRowPointer(const NImageBuffer& picture, int row)
{
    if (!picture.valid || !picture.bits || row < 0 || row >= picture.height)
        return nullptr;
    return ScanLine(picture, row);
}
