// 64-bit picture fingerprints.
#include "effects/Fingerprints.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

#include "effects/EffectPixels.h"
#include "effects/Histograms.h"

using effects::ScanLine;

namespace {

constexpr uint8_t kBitsInByte[256] = {
#define VST_B2(n) n, n + 1, n + 1, n + 2
#define VST_B4(n) VST_B2(n), VST_B2(n + 1), VST_B2(n + 1), VST_B2(n + 2)
#define VST_B6(n) VST_B4(n), VST_B4(n + 1), VST_B4(n + 1), VST_B4(n + 2)
    VST_B6(0), VST_B6(1), VST_B6(1), VST_B6(2)
#undef VST_B6
#undef VST_B4
#undef VST_B2
};

constexpr double kPi = 3.14159265358979323846;

inline int Grey(const uint8_t* p)
{
    return (29 * p[0] + 150 * p[1] + 77 * p[2] + 128) >> 8;
}

// The picture drawn smoothly into a width x height 24-bpp picture; its greys in buffer order.
bool ScaledGreys(const NImageBuffer& picture, int width, int height, int* greys)
{
    if (!picture.valid)
        return false;
    NImageBuffer small;
    if (!small.Create(width, height, 24, RGB(0, 0, 0)) || !picture.BltImageFiltered(small.dc, 0, 0, width, height, 0))
        return false;
    GdiFlush();
    for (int line = 0; line < height; ++line) {
        const uint8_t* p = ScanLine(small, line);
        for (int x = 0; x < width; ++x, p += 3)
            greys[line * width + x] = Grey(p);
    }
    return true;
}

// The red, green, blue and luma histograms of the picture (measured on a 24-bpp copy below 24 bpp)
// and their chart scale.
bool MeasureHistograms(const NImageBuffer& picture, int (&histograms)[4][256], int* scale)
{
    if (!picture.valid)
        return false;
    NImageBuffer converted;
    const NImageBuffer* source = &picture;
    if (picture.bpp < 24) {
        if (!converted.Copy(picture) || !converted.ConvertToBpp(24, true))
            return false;
        source = &converted;
    }
    const int chartScale = ComputeHistograms(*source, histograms[0], histograms[1], histograms[2], histograms[3]);
    if (scale)
        *scale = chartScale;
    return true;
}

}  // namespace

int CountSetBits(uint64_t value)
{
    int count = 0;
    for (int i = 0; i < 8; ++i, value >>= 8)
        count += kBitsInByte[value & 0xFF];
    return count;
}

int HashSimilarity(uint64_t a, uint64_t b, int* out)
{
    const int similarity = (64 - CountSetBits(a ^ b)) * 100 / 64;
    if (out)
        *out = similarity;
    return similarity;
}

bool ComputeAverageHash(const NImageBuffer& picture, uint64_t* out)
{
    int greys[64];
    if (!out || !ScaledGreys(picture, 8, 8, greys))
        return false;
    int sum = 0;
    for (int grey : greys)
        sum += grey;
    const int mean = sum / 64;
    uint64_t hash = 0;
    for (int i = 0; i < 64; ++i)
        if (greys[i] >= mean)
            hash |= uint64_t{1} << (63 - i);
    *out = hash;
    return true;
}

bool ComputeDifferenceHash(const NImageBuffer& picture, uint64_t* out)
{
    int greys[72];
    if (!out || !ScaledGreys(picture, 9, 8, greys))
        return false;
    uint64_t hash = 0;
    for (int j = 0; j < 8; ++j)
        for (int k = 0; k < 8; ++k)
            if (greys[j * 9 + k] >= greys[j * 9 + k + 1])
                hash |= uint64_t{1} << (63 - (8 * j + k));
    *out = hash;
    return true;
}

bool ComputeDctHash(const NImageBuffer& picture, uint64_t* out)
{
    int grey[32 * 32];
    if (!out || !ScaledGreys(picture, 32, 32, grey))
        return false;
    double cosines[8][32];
    for (int u = 0; u < 8; ++u)
        for (int x = 0; x < 32; ++x)
            cosines[u][x] = std::cos(static_cast<double>(static_cast<float>(2 * x + 1) / 64.0f * u) * kPi);
    double coefficients[64];
    double sum = 0;
    for (int u = 0; u < 8; ++u)
        for (int v = 0; v < 8; ++v) {
            double c = 0;
            for (int l = 0; l < 32; ++l) {
                double across = 0;
                for (int x = 0; x < 32; ++x)
                    across += grey[l * 32 + x] * cosines[v][x];
                c += across * cosines[u][l];
            }
            coefficients[u * 8 + v] = 0.25 * c;
            sum += coefficients[u * 8 + v];
        }
    const double mean = sum / 64;
    uint64_t hash = 0;
    for (int i = 0; i < 64; ++i)
        if (coefficients[i] >= mean)
            hash |= uint64_t{1} << (63 - i);
    *out = hash;
    return true;
}

void HistogramToHash(const int* histogram, uint64_t* out)
{
    if (!histogram || !out)
        return;
    int64_t cells[64];
    int64_t largest = 0;
    for (int i = 0; i < 64; ++i) {
        cells[i] = (static_cast<int64_t>(histogram[4 * i]) + histogram[4 * i + 1] + histogram[4 * i + 2] +
                    histogram[4 * i + 3]) / 4;
        largest = std::max(largest, cells[i]);
    }
    // Counts grow with the picture: cells are brought to 0..255 by the largest one, so that the
    // fingerprint follows the shape of the histogram and not the picture's size.
    if (largest > 0)
        for (int64_t& cell : cells)
            cell = cell * 255 / largest;
    int64_t sum = 0;
    for (int64_t cell : cells)
        sum += std::max<int64_t>(cell, 0);
    const int64_t mean = sum >> 6;
    uint64_t hash = 0;
    for (int i = 0; i < 64; ++i)
        if (cells[i] >= mean)
            hash |= uint64_t{1} << (63 - i);
    *out = hash;
}

bool ComputeHistogramChartHash(const NImageBuffer& picture, uint64_t* out)
{
    return ComputeHistogramHashes(picture, out, nullptr);
}

bool ComputeHistogramHashes(const NImageBuffer& picture, uint64_t* chartHash, uint64_t* lumaHash)
{
    int histograms[4][256];
    int scale = 0;
    NImageBuffer chart;
    uint64_t hash = 0;
    if (!MeasureHistograms(picture, histograms, &scale) || !chart.Create(256, 256, 24, RGB(0, 0, 0)) ||
        !DrawHistogram(chart.dc, 0, 0, 0, 256, histograms[0], histograms[1], histograms[2], histograms[3], scale) ||
        !ComputeAverageHash(chart, &hash))
        return false;
    if (chartHash)
        *chartHash = hash;
    HistogramToHash(histograms[3], lumaHash);
    return true;
}

bool ComputeChannelHistogramHashes(const NImageBuffer& picture, uint64_t* red, uint64_t* green, uint64_t* blue,
                                   uint64_t* luma)
{
    int histograms[4][256];
    if (!MeasureHistograms(picture, histograms, nullptr))
        return false;
    HistogramToHash(histograms[0], red);
    HistogramToHash(histograms[1], green);
    HistogramToHash(histograms[2], blue);
    HistogramToHash(histograms[3], luma);
    return true;
}
