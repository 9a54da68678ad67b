// Stack Blur.
//
// For a line v[0..n-1] (edge values repeated), the triangular sum T[i] = sum over k = -r..r of
// (r + 1 - |k|) v[i + k] moves along the line with two running sums: the left half L (k = -r..0)
// and the right half R (k = 1..r):
//   T[i + 1] = T[i] - L[i] + R[i] + v[i + r + 1]
//   L[i + 1] = L[i] - v[i - r] + v[i + 1]
//   R[i + 1] = R[i] + v[i + r + 1] - v[i + 1]
// so each output costs a few additions whatever the radius. The published algorithm keeps the
// last 2r + 1 values on a "stack"; here each line (or band of columns) is first copied aside, so
// the values are read from that copy and the results written straight into the picture.
#include "effects/StackBlur.h"

#include <omp.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "effects/EffectPixels.h"

namespace {

constexpr int kMaxRadius = 254;

// (r + 1)^2 <= 2^(shift - 9) * 2: the multiplier ceil(2^shift / (r + 1)^2) lies in 257..512.
constexpr int ShiftFor(int radius)
{
    uint32_t divisor = static_cast<uint32_t>((radius + 1) * (radius + 1));
    int log2 = 0;
    while (divisor >>= 1)
        ++log2;
    return log2 + 9;
}

constexpr uint32_t MultiplierFor(int radius)
{
    const uint32_t divisor = static_cast<uint32_t>((radius + 1) * (radius + 1));
    return ((uint32_t{1} << ShiftFor(radius)) + divisor - 1) / divisor;
}

static_assert(MultiplierFor(0) == 512 && MultiplierFor(2) == 456 && MultiplierFor(4) == 328 &&
              MultiplierFor(254) == 259 && ShiftFor(254) == 24);

// Blurs `count` values of `channels` interleaved bytes each, read from `line` (contiguous) and
// written to `out` with `outStep` bytes from one value to the next. sums holds 3 * channels.
void BlurLine(const uint8_t* line, int count, int channels, uint8_t* out, size_t outStep, int radius,
              uint32_t* sums)
{
    const uint32_t multiplier = MultiplierFor(radius);
    const int shift = ShiftFor(radius);
    uint32_t* total = sums;
    uint32_t* left = sums + channels;
    uint32_t* right = sums + 2 * channels;
    const int last = count - 1;
    auto at = [&](int i) { return line + static_cast<size_t>(std::clamp(i, 0, last)) * channels; };

    for (int c = 0; c < channels; ++c) {
        const uint32_t first = line[c];
        total[c] = first * static_cast<uint32_t>((radius + 1) * (radius + 2) / 2);
        left[c] = first * static_cast<uint32_t>(radius + 1);
        right[c] = 0;
    }
    for (int k = 1; k <= radius; ++k) {
        const uint8_t* v = at(k);
        const uint32_t weight = static_cast<uint32_t>(radius + 1 - k);
        for (int c = 0; c < channels; ++c) {
            total[c] += weight * v[c];
            right[c] += v[c];
        }
    }
    for (int i = 0; i < count; ++i, out += outStep) {
        for (int c = 0; c < channels; ++c)
            out[c] = static_cast<uint8_t>((total[c] * multiplier) >> shift);
        if (i == last)
            break;
        const uint8_t* leaving = at(i - radius);
        const uint8_t* next = at(i + 1);
        const uint8_t* entering = at(i + radius + 1);
        for (int c = 0; c < channels; ++c) {
            total[c] += right[c] + entering[c] - left[c];
            left[c] += next[c] - leaving[c];
            right[c] += entering[c] - next[c];
        }
    }
}

// Columns handled together by the vertical pass: a band whose copy stays small.
constexpr int kBandBytes = 256;

}  // namespace

uint32_t StackBlurMultiplier(int radius)
{
    return MultiplierFor(std::clamp(radius, 0, kMaxRadius));
}

int StackBlurShift(int radius)
{
    return ShiftFor(std::clamp(radius, 0, kMaxRadius));
}

bool StackBlur(NImageBuffer& picture, int radius)
{
    if (!effects::IsEffectPicture(picture))
        return false;
    if (radius < 1)
        return true;
    radius = std::min(radius, kMaxRadius);
    const int step = picture.bpp / 8;
    const int width = picture.width, height = picture.height;
    const size_t stride = static_cast<size_t>(picture.stride);
    const int rowBytes = width * step;
    const int bands = (rowBytes + kBandBytes - 1) / kBandBytes;
    uint8_t* const bits = picture.bits;
    bool ok = true;
    GdiFlush();
#pragma omp parallel
    {
        const size_t lineBytes = std::max<size_t>(static_cast<size_t>(rowBytes), static_cast<size_t>(height) * kBandBytes);
        std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[lineBytes]);
        std::unique_ptr<uint32_t[]> sums(new (std::nothrow) uint32_t[3 * kBandBytes]);
        const bool ready = copy && sums;
        if (!ready) {
#pragma omp atomic write
            ok = false;
        }
#pragma omp barrier
        if (ok) {
#pragma omp for schedule(static)
            for (int line = 0; line < height; ++line) {
                uint8_t* row = bits + static_cast<size_t>(line) * stride;
                memcpy(copy.get(), row, static_cast<size_t>(rowBytes));
                BlurLine(copy.get(), width, step, row, static_cast<size_t>(step), radius, sums.get());
            }
#pragma omp for schedule(static)
            for (int band = 0; band < bands; ++band) {
                const int offset = band * kBandBytes;
                const int bytes = std::min(kBandBytes, rowBytes - offset);
                for (int line = 0; line < height; ++line)
                    memcpy(copy.get() + static_cast<size_t>(line) * bytes, bits + line * stride + offset,
                           static_cast<size_t>(bytes));
                BlurLine(copy.get(), height, bytes, bits + offset, stride, radius, sums.get());
            }
        }
    }
    return ok;
}
