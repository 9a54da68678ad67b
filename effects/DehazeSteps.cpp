// The dark channel, the haze colour, the transmission map and the recovery of the dehaze effect
// (the guided filter is in GuidedFilter.cpp).
//
// The dark channel is a minimum filter, and a window minimum is separable: the minimum along each
// row's window, then the minimum of those over the window's rows. Both use van Herk / Gil-Werman:
// prefix and suffix minima over blocks of 2r + 1 values give every window minimum in three
// comparisons, whatever r (down the columns on whole rows at once, which the compiler
// vectorises). Values beyond the picture count as 255, which is what clipping the window means
// for a minimum.
#include "effects/DehazeSteps.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

#include "effects/EffectPixels.h"

namespace {

// Per channel (blue, green, red): the value a channel's byte stands for in the dark channel.
using ChannelTables = std::array<std::array<uint8_t, 256>, 3>;

bool IsGreyOfSize(const NImageBuffer& grey, const NImageBuffer& like)
{
    return grey.valid && grey.bpp == 8 && grey.width == like.width && grey.height == like.height;
}

// a * b, false when it does not fit in size_t.
bool CheckedProduct(size_t a, size_t b, size_t& product)
{
    if (a != 0 && b > SIZE_MAX / a)
        return false;
    product = a * b;
    return true;
}

// Bytes of a line of count values with radius values of 255 on either side, rounded up to whole
// blocks of 2 radius + 1.
size_t PaddedLength(int count, int radius)
{
    const size_t window = 2 * static_cast<size_t>(radius) + 1;
    const size_t length = static_cast<size_t>(count) + 2 * static_cast<size_t>(radius);
    return (length + window - 1) / window * window;
}

// Window minima along one line of count values for windows of radius r (0 <= r < count):
// out[x] = min(values[x - r .. x + r]), values outside the line not counted. padded holds
// 3 * PaddedLength(count, r) bytes, the values from padded[r] on; the rest is filled here.
void LineMinimum(uint8_t* padded, int count, int radius, uint8_t* out)
{
    const size_t length = PaddedLength(count, radius);
    const size_t window = 2 * static_cast<size_t>(radius) + 1;
    memset(padded, 255, static_cast<size_t>(radius));
    memset(padded + radius + count, 255, length - radius - count);
    uint8_t* prefix = padded + length;
    uint8_t* suffix = prefix + length;
    for (size_t block = 0; block < length; block += window) {
        prefix[block] = padded[block];
        for (size_t j = block + 1; j < block + window; ++j)
            prefix[j] = std::min(prefix[j - 1], padded[j]);
        const size_t last = block + window - 1;
        suffix[last] = padded[last];
        for (size_t j = last; j > block; --j)
            suffix[j - 1] = std::min(suffix[j], padded[j - 1]);
    }
    // The window of x covers padded[x .. x + 2r]: the end of one block and the start of the next.
    for (int x = 0; x < count; ++x)
        out[x] = std::min(suffix[x], prefix[x + window - 1]);
}

// The running minimum of whole rows, element by element: run = min(run, row).
void MinimumInto(uint8_t* run, const uint8_t* row, int count)
{
    for (int x = 0; x < count; ++x)
        run[x] = std::min(run[x], row[x]);
}

// The dark channel of the picture's channels mapped through tables.
//
// Down the columns the same block method runs on whole rows: with the rows padded by `down` rows
// of 255 above and below and cut into blocks of 2 down + 1, the window of output row i covers
// padded rows i .. i + 2 down, so it is min(suffix[i], prefix[i + 2 down]). The suffix minima
// go straight into the output, the prefix minima into a buffer of the picture's size.
bool DarkChannelOf(NImageBuffer& out, const NImageBuffer& picture, int radius, const ChannelTables& tables)
{
    if (!effects::IsEffectPicture(picture))
        return false;
    const int w = picture.width, h = picture.height, step = picture.bpp / 8;
    const int across = std::clamp(radius, 0, w - 1);
    const int down = std::clamp(radius, 0, h - 1);

    // Row minima and prefix minima, w x h bytes each; three blocks of a padded line per thread
    // (also the running row of the pass down the columns).
    const int slots = std::max(1, omp_get_max_threads());
    const size_t lineBytes = std::max(3 * PaddedLength(w, across), static_cast<size_t>(w));
    size_t pictureBytes = 0, scratchBytes = 0;
    if (!CheckedProduct(static_cast<size_t>(w), static_cast<size_t>(h), pictureBytes) ||
        !CheckedProduct(lineBytes, static_cast<size_t>(slots), scratchBytes))
        return false;
    std::unique_ptr<uint8_t[]> rowMinima(new (std::nothrow) uint8_t[pictureBytes]);
    std::unique_ptr<uint8_t[]> prefixes(new (std::nothrow) uint8_t[pictureBytes]);
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[scratchBytes]);
    NImageBuffer dark;
    if (!rowMinima || !prefixes || !scratch || !MakeGreyPicture(dark, w, h))
        return false;
    auto rowOf = [w](const std::unique_ptr<uint8_t[]>& rows, int line) {
        return rows.get() + static_cast<size_t>(line) * w;
    };

    GdiFlush();
#pragma omp parallel num_threads(slots)
    {
        uint8_t* padded = scratch.get() + lineBytes * static_cast<size_t>(omp_get_thread_num());
#pragma omp for schedule(static)
        for (int line = 0; line < h; ++line) {
            const uint8_t* p = effects::ScanLine(picture, line);
            uint8_t* values = padded + across;
            for (int x = 0; x < w; ++x, p += step)
                values[x] = std::min({tables[0][p[0]], tables[1][p[1]], tables[2][p[2]]});
            LineMinimum(padded, w, across, rowOf(rowMinima, line));
        }

        // Padded row j is row j - down of the row minima, or 255 beyond the picture.
        const int window = 2 * down + 1;
        const int blocks = static_cast<int>((static_cast<int64_t>(h) + 2 * down + window - 1) / window);
        uint8_t* run = padded;
#pragma omp for schedule(static)
        for (int block = 0; block < blocks; ++block) {
            const int first = block * window, last = first + window - 1;
            memset(run, 255, static_cast<size_t>(w));
            for (int j = first; j <= last; ++j) {
                if (j - down >= 0 && j - down < h)
                    MinimumInto(run, rowOf(rowMinima, j - down), w);
                if (j >= 2 * down && j - 2 * down < h)
                    memcpy(rowOf(prefixes, j - 2 * down), run, static_cast<size_t>(w));
            }
            memset(run, 255, static_cast<size_t>(w));
            for (int j = last; j >= first; --j) {
                if (j - down >= 0 && j - down < h)
                    MinimumInto(run, rowOf(rowMinima, j - down), w);
                if (j < h)
                    memcpy(effects::ScanLine(dark, j), run, static_cast<size_t>(w));
            }
        }
#pragma omp for schedule(static)
        for (int line = 0; line < h; ++line)
            MinimumInto(effects::ScanLine(dark, line), rowOf(prefixes, line), w);
    }
    out.Adopt(dark);
    return true;
}

}  // namespace

bool MakeGreyPicture(NImageBuffer& grey, int width, int height)
{
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; ++i)
        palette[i * 3] = palette[i * 3 + 1] = palette[i * 3 + 2] = static_cast<uint8_t>(i);
    return grey.Create(width, height, 8, 0, palette);
}

bool CalcDarkChannel(NImageBuffer& out, const NImageBuffer& picture, int radius)
{
    ChannelTables identity;
    for (auto& table : identity)
        for (int v = 0; v < 256; ++v)
            table[v] = static_cast<uint8_t>(v);
    return DarkChannelOf(out, picture, radius, identity);
}

bool CalcAirlight(const NImageBuffer& dark, const NImageBuffer& picture, AtmosphericLight& light)
{
    if (!effects::IsEffectPicture(picture) || !IsGreyOfSize(dark, picture))
        return false;
    const int w = picture.width, h = picture.height, step = picture.bpp / 8;
    GdiFlush();

    // Which dark values the brightest ceil(n / 1000) pixels have: all above `threshold`, and the
    // first `atThreshold` of those equal to it.
    uint64_t darkCounts[256] = {};
    for (int line = 0; line < h; ++line) {
        const uint8_t* d = effects::ScanLine(dark, line);
        for (int x = 0; x < w; ++x)
            ++darkCounts[d[x]];
    }
    const uint64_t pixels = static_cast<uint64_t>(w) * static_cast<uint64_t>(h);
    const uint64_t marked = (pixels + 999) / 1000;
    int threshold = 255;
    uint64_t above = 0;
    while (above + darkCounts[threshold] < marked)
        above += darkCounts[threshold--];
    uint64_t atThreshold = marked - above;

    // The marked pixels' channel values, counted.
    uint64_t channelCounts[3][256] = {};
    for (int line = 0; line < h; ++line) {
        const uint8_t* d = effects::ScanLine(dark, line);
        const uint8_t* p = effects::ScanLine(picture, line);
        for (int x = 0; x < w; ++x, p += step) {
            if (d[x] < threshold)
                continue;
            if (d[x] == threshold) {
                if (atThreshold == 0)
                    continue;
                --atThreshold;
            }
            for (int c = 0; c < 3; ++c)
                ++channelCounts[c][p[c]];
        }
    }

    // The mean of the ceil(f / 100) highest values per channel.
    const uint64_t summed = (marked + 99) / 100;
    for (int c = 0; c < 3; ++c) {
        uint64_t remaining = summed, sum = 0;
        for (int v = 255; v >= 0 && remaining > 0; --v) {
            const uint64_t take = std::min(remaining, channelCounts[c][v]);
            sum += take * static_cast<uint64_t>(v);
            remaining -= take;
        }
        light[c] = static_cast<double>(sum) / static_cast<double>(summed);
    }
    return true;
}

bool CalcTransmission(NImageBuffer& out, const NImageBuffer& picture, const AtmosphericLight& light, int radius)
{
    ChannelTables normalised;
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            normalised[c][v] = light[c] > 0 ? static_cast<uint8_t>(std::lround(std::min(255.0, v / light[c] * 255)))
                                             : uint8_t{255};
    NImageBuffer map;
    if (!DarkChannelOf(map, picture, radius, normalised))
        return false;
    uint8_t transmission[256];
    for (int v = 0; v < 256; ++v)
        transmission[v] = static_cast<uint8_t>(std::lround(std::clamp((1 - v / 255.0 * 0.95) * 255, 0.0, 255.0)));
    effects::ForEachLineParallel(map, [&](uint8_t* row, int) {
        for (int x = 0; x < map.width; ++x)
            row[x] = transmission[row[x]];
    });
    out.Adopt(map);
    return true;
}

bool CalcRecover(NImageBuffer& out, const NImageBuffer& picture, const NImageBuffer& transmission,
                 const AtmosphericLight& light)
{
    if (!effects::IsEffectPicture(picture) || !IsGreyOfSize(transmission, picture))
        return false;
    // J for every transmission byte and channel byte, per channel: 3 x 64 KiB.
    std::unique_ptr<uint8_t[]> tables(new (std::nothrow) uint8_t[3 * 256 * 256]);
    NImageBuffer result;
    if (!tables || !result.Create(picture.width, picture.height, 24, 0))
        return false;
    for (int c = 0; c < 3; ++c) {
        const double a = light[c] / 255;
        for (int t = 0; t < 256; ++t) {
            const double share = std::max(t / 255.0, 0.1);
            uint8_t* table = tables.get() + (c * 256 + t) * 256;
            for (int v = 0; v < 256; ++v) {
                const double j = ((v / 255.0 - a) / share + a) * 255;
                // A light that is not a number gives black rather than an undefined conversion.
                table[v] = j == j ? static_cast<uint8_t>(std::lround(std::clamp(j, 0.0, 255.0))) : uint8_t{0};
            }
        }
    }
    const int w = picture.width, step = picture.bpp / 8;
    GdiFlush();
    effects::ForEachLineParallel(result, [&](uint8_t* row, int line) {
        const uint8_t* p = effects::ScanLine(picture, line);
        const uint8_t* t = effects::ScanLine(transmission, line);
        for (int x = 0; x < w; ++x, p += step, row += 3) {
            const uint8_t* forT = tables.get() + static_cast<size_t>(t[x]) * 256;
            for (int c = 0; c < 3; ++c)
                row[c] = forT[c * 65536 + p[c]];
        }
    });
    out.Adopt(result);
    return true;
}
