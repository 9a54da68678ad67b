// Smooth scaler: area coverage in 12-bit fixed point on both axes. A line is measured in n x m
// units: each of the n samples of one side spans m units and each sample of the other side spans n,
// and a sample that crosses a boundary is split between its two neighbours. The horizontal and
// vertical weights multiply, so an output byte is the sum of x y P over its source pixels shifted
// right by 24 bits.
#include "imaging/SmoothScaler.h"

#include "base/Log.h"
#include "imaging/NImageBuffer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr int32_t kOne = 4096;

size_t RowBytes(unsigned width, unsigned bpp)
{
    return static_cast<size_t>((static_cast<uint64_t>(width) * bpp + 31) / 32 * 4);
}

// Palette as three byte tables in output order (blue, green, red).
struct PaletteTables {
    uint8_t entry[256][3];
};

void FillPaletteTables(PaletteTables& tables, const uint8_t* paletteRgb)
{
    for (int i = 0; i < 256; ++i) {
        tables.entry[i][0] = paletteRgb[i * 3 + 2];
        tables.entry[i][1] = paletteRgb[i * 3 + 1];
        tables.entry[i][2] = paletteRgb[i * 3];
    }
}

void ExpandRow(uint8_t* out, const uint8_t* row, unsigned width, uint8_t bpp, const PaletteTables* tables)
{
    switch (bpp) {
    case 1:
        for (unsigned x = 0; x < width; ++x, out += 3)
            memcpy(out, tables->entry[(row[x >> 3] >> (7 - (x & 7))) & 1], 3);
        break;
    case 4:
        for (unsigned x = 0; x < width; ++x, out += 3)
            memcpy(out, tables->entry[(x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4)], 3);
        break;
    case 8:
        for (unsigned x = 0; x < width; ++x, out += 3)
            memcpy(out, tables->entry[row[x]], 3);
        break;
    case 16:
        for (unsigned x = 0; x < width; ++x, out += 3) {
            const unsigned word = row[x * 2] | (row[x * 2 + 1] << 8);
            out[0] = kFiveBitExpansion[word & 31];
            out[1] = kFiveBitExpansion[(word >> 5) & 31];
            out[2] = kFiveBitExpansion[(word >> 10) & 31];
        }
        break;
    case 24:
        memcpy(out, row, static_cast<size_t>(width) * 3);
        break;
    case 32:
        for (unsigned x = 0; x < width; ++x, out += 3, row += 4)
            memcpy(out, row, 3);
        break;
    default:
        break;
    }
}

bool IsPaletteDepth(uint8_t bpp)
{
    return bpp == 1 || bpp == 4 || bpp == 8;
}

bool IsScalerDepth(uint8_t bpp)
{
    return IsPaletteDepth(bpp) || bpp == 16 || bpp == 24 || bpp == 32;
}

// Source rows as pixels of `step` bytes whose first three bytes are blue, green and red: the rows
// themselves for 24 and 32 bpp, otherwise rows expanded into one of two buffers (the enlarge
// kernel asks for two neighbouring rows at a time).
class RowReader {
public:
    RowReader(const uint8_t* source, unsigned width, unsigned height, uint8_t bpp, const uint8_t* paletteRgb)
        : source_(source), width_(width), height_(height), bpp_(bpp), stride_(RowBytes(width, bpp))
    {
        if (bpp == 24 || bpp == 32)
            return;
        if (IsPaletteDepth(bpp))
            FillPaletteTables(tables_, paletteRgb);
        for (auto& buffer : buffers_)
            buffer.resize(static_cast<size_t>(width) * 3);
    }

    int Step() const { return bpp_ == 32 ? 4 : 3; }

    const uint8_t* Row(unsigned y)
    {
        y = std::min(y, height_ - 1);
        const uint8_t* row = source_ + y * stride_;
        if (bpp_ == 24 || bpp_ == 32)
            return row;
        for (int i = 0; i < 2; ++i)
            if (cached_[i] == y)
                return buffers_[i].data();
        const int slot = next_;
        next_ ^= 1;
        ExpandRow(buffers_[slot].data(), row, width_, bpp_, &tables_);
        cached_[slot] = y;
        return buffers_[slot].data();
    }

private:
    const uint8_t* source_;
    unsigned width_;
    unsigned height_;
    uint8_t bpp_;
    size_t stride_;
    PaletteTables tables_{};
    std::vector<uint8_t> buffers_[2];
    unsigned cached_[2] = {~0u, ~0u};
    int next_ = 0;
};

// Per destination sample of an enlargement: the source sample, its neighbour (the same sample at
// the end of the line) and the two weights.
struct EnlargeTap {
    uint32_t index;
    uint32_t next;
    uint32_t w0;
    uint32_t w1;  // 0 unless the sample blends with the next source sample
};

// Follows the kernel's walk: the source sample advances after every destination sample whose w1
// is not 0. Samples the walk does not reach (it stops at the end of the source) are marked by
// index = UINT32_MAX.
std::vector<EnlargeTap> EnlargeTaps(const AreaWeight* weights, unsigned destinationSize, unsigned sourceSize)
{
    std::vector<EnlargeTap> taps(destinationSize, EnlargeTap{UINT32_MAX, 0, 0, 0});
    unsigned s = 0;
    for (unsigned d = 0; d < destinationSize && s < sourceSize; ++d) {
        const AreaWeight w = weights[d];
        taps[d].index = s;
        taps[d].next = std::min(s + 1, sourceSize - 1);
        taps[d].w0 = static_cast<uint32_t>(std::max(w.w0, 0));
        taps[d].w1 = w.w1 > 0 ? static_cast<uint32_t>(w.w1) : 0;
        if (w.w1 != 0)
            ++s;
    }
    return taps;
}

uint8_t TopByte(uint64_t sum)
{
    const uint64_t value = sum >> 24;
    return static_cast<uint8_t>(value > 255 ? 255 : value);
}

void Enlarge(uint8_t* destination, unsigned dw, unsigned dh, RowReader& reader, unsigned sw, unsigned sh,
             const AreaWeight* weightsX, const AreaWeight* weightsY)
{
    const std::vector<EnlargeTap> columns = EnlargeTaps(weightsX, dw, sw);
    const std::vector<EnlargeTap> rows = EnlargeTaps(weightsY, dh, sh);
    const size_t destinationStride = RowBytes(dw, 24);
    const int step = reader.Step();
    for (unsigned dy = 0; dy < dh; ++dy) {
        const EnlargeTap& ry = rows[dy];
        if (ry.index == UINT32_MAX)
            break;
        const uint8_t* row0 = reader.Row(ry.index);
        const uint8_t* row1 = ry.w1 ? reader.Row(ry.next) : row0;
        uint8_t* out = destination + dy * destinationStride;
        for (unsigned dx = 0; dx < dw; ++dx, out += 3) {
            const EnlargeTap& rx = columns[dx];
            if (rx.index == UINT32_MAX)
                break;
            const uint8_t* p00 = row0 + static_cast<size_t>(rx.index) * step;
            const uint8_t* p01 = row0 + static_cast<size_t>(rx.next) * step;
            const uint8_t* p10 = row1 + static_cast<size_t>(rx.index) * step;
            const uint8_t* p11 = row1 + static_cast<size_t>(rx.next) * step;
            for (int c = 0; c < 3; ++c) {
                const uint64_t top = uint64_t{rx.w0} * p00[c] + uint64_t{rx.w1} * p01[c];
                const uint64_t bottom = uint64_t{rx.w0} * p10[c] + uint64_t{rx.w1} * p11[c];
                out[c] = TopByte(ry.w0 * top + ry.w1 * bottom);
            }
        }
    }
}

// Per source sample of a shrink: the destination sample it falls in and its two weights.
struct ShrinkTap {
    uint32_t target;  // UINT32_MAX when the walk has left the destination
    uint32_t w0;
    uint32_t w1;      // weight in target + 1, 0 when the sample does not straddle
    bool ends;        // target advances after this sample
};

std::vector<ShrinkTap> ShrinkTaps(const AreaWeight* weights, unsigned sourceSize, unsigned destinationSize)
{
    std::vector<ShrinkTap> taps(sourceSize, ShrinkTap{UINT32_MAX, 0, 0, false});
    unsigned d = 0;
    for (unsigned s = 0; s < sourceSize && d < destinationSize; ++s) {
        const AreaWeight w = weights[s];
        taps[s].target = d;
        taps[s].w0 = static_cast<uint32_t>(std::max(w.w0, 0));
        // A straddle into a sample past the end cannot happen with these tables; drop it if it did.
        taps[s].w1 = (w.w1 > 0 && d + 1 < destinationSize) ? static_cast<uint32_t>(w.w1) : 0;
        taps[s].ends = w.w1 != 0;
        if (taps[s].ends)
            ++d;
    }
    return taps;
}

// Sums along the row first (x P fits 32 bits per destination sample), then weighs the row sums by
// the row's weights into two 64-bit accumulator rows: sum(x y P) = sum(y sum(x P)) exactly.
void Shrink(uint8_t* destination, unsigned dw, unsigned dh, RowReader& reader, unsigned sw, unsigned sh,
            const AreaWeight* weightsX, const AreaWeight* weightsY)
{
    const std::vector<ShrinkTap> columns = ShrinkTaps(weightsX, sw, dw);
    const std::vector<ShrinkTap> rows = ShrinkTaps(weightsY, sh, dh);
    const size_t samples = static_cast<size_t>(dw) * 3;
    std::vector<uint32_t> rowSums(samples + 3);
    std::vector<uint64_t> current(samples);
    std::vector<uint64_t> next(samples);
    const size_t destinationStride = RowBytes(dw, 24);
    const int step = reader.Step();

    for (unsigned sy = 0; sy < sh; ++sy) {
        const ShrinkTap& ry = rows[sy];
        if (ry.target == UINT32_MAX)
            break;
        const uint8_t* p = reader.Row(sy);
        std::fill(rowSums.begin(), rowSums.end(), 0);
        for (unsigned sx = 0; sx < sw; ++sx, p += step) {
            const ShrinkTap& rx = columns[sx];
            if (rx.target == UINT32_MAX)
                break;
            uint32_t* sum = rowSums.data() + static_cast<size_t>(rx.target) * 3;
            sum[0] += rx.w0 * p[0];
            sum[1] += rx.w0 * p[1];
            sum[2] += rx.w0 * p[2];
            if (rx.w1) {
                sum[3] += rx.w1 * p[0];
                sum[4] += rx.w1 * p[1];
                sum[5] += rx.w1 * p[2];
            }
        }
        for (size_t i = 0; i < samples; ++i)
            current[i] += uint64_t{ry.w0} * rowSums[i];
        if (ry.w1)
            for (size_t i = 0; i < samples; ++i)
                next[i] += uint64_t{ry.w1} * rowSums[i];
        if (ry.ends) {
            uint8_t* out = destination + static_cast<size_t>(ry.target) * destinationStride;
            for (size_t i = 0; i < samples; ++i)
                out[i] = TopByte(current[i]);
            std::fill(current.begin(), current.end(), 0);
            current.swap(next);
        }
    }
}

}  // namespace

AreaWeight* BuildAreaWeights(unsigned n, unsigned m, int shrink)
{
    if (n == 0)
        return nullptr;
    AreaWeight* weights = new (std::nothrow) AreaWeight[n];
    if (!weights)
        return nullptr;
    const int nn = static_cast<int>(n);
    const int mm = static_cast<int>(m);
    const int full = shrink ? MulDiv(mm, kOne, nn) : kOne;
    const int divisor = shrink ? nn : mm;
    int64_t carry = 0;
    for (unsigned i = 0; i < n; ++i) {
        const int64_t t = carry + m;
        if (t > n) {
            weights[i].w0 = MulDiv(static_cast<int>(n - carry), kOne, divisor);
            weights[i].w1 = MulDiv(static_cast<int>(t - n), kOne, divisor);
            carry = t - n;
        } else {
            weights[i].w0 = full;
            weights[i].w1 = 0;
            if (t == n) {
                weights[i].w1 = -1;
                carry = 0;
            } else {
                carry = t;
            }
        }
    }
    return weights;
}

bool ReadRowAs24(uint8_t* out, const uint8_t* row, unsigned width, uint8_t bpp, const uint8_t* paletteRgb)
{
    if (!out || !row || !IsScalerDepth(bpp) || (IsPaletteDepth(bpp) && !paletteRgb))
        return false;
    PaletteTables tables{};
    if (IsPaletteDepth(bpp))
        FillPaletteTables(tables, paletteRgb);
    ExpandRow(out, row, width, bpp, &tables);
    return true;
}

void ScaleBufferVarnok(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                       uint8_t bpp, const uint8_t* paletteRgb)
{
    if (dw == 0 || dh == 0 || sw == 0 || sh == 0 || !destination || !source)
        return;
    const bool shrink = dw < sw && dh < sh;
    const bool enlarge = dw > sw && dh > sh;
    if (!shrink && !enlarge) {
        if (dw == sw && dh == sh && bpp == 24) {
            memcpy(destination, source, RowBytes(sw, 24) * sh);
        } else if (dw == sw && dh == sh) {
            LogMessage(L"ScaleBufferVarnok: fail: sizes same, but not 24bpp! dst %dx%d src %dx%d %dbpp", dw, dh, sw, sh,
                       bpp);
        } else {
            LogMessage(L"ScaleBufferVarnok: fail: no complete shrink nor enlarge! dst %dx%d src %dx%d %dbpp", dw, dh,
                       sw, sh, bpp);
        }
        return;
    }
    if (!IsScalerDepth(bpp))
        return;
    if (IsPaletteDepth(bpp) && !paletteRgb) {
        LogMessage(L"ScaleBufferVarnok: fail: no palette for %dbpp!", bpp);
        return;
    }

    AreaWeight* weightsX = shrink ? BuildAreaWeights(sw, dw, 1) : BuildAreaWeights(dw, sw, 0);
    AreaWeight* weightsY = shrink ? BuildAreaWeights(sh, dh, 1) : BuildAreaWeights(dh, sh, 0);
    bool done = false;
    if (weightsX && weightsY) {
        try {
            RowReader reader(static_cast<const uint8_t*>(source), sw, sh, bpp, paletteRgb);
            if (shrink)
                Shrink(static_cast<uint8_t*>(destination), dw, dh, reader, sw, sh, weightsX, weightsY);
            else
                Enlarge(static_cast<uint8_t*>(destination), dw, dh, reader, sw, sh, weightsX, weightsY);
            done = true;
        } catch (const std::bad_alloc&) {
        }
    }
    delete[] weightsX;
    delete[] weightsY;
    if (!done)
        LogMessage(L"ScaleBufferVarnok: fail: out of memory! dst %dx%d src %dx%d %dbpp", dw, dh, sw, sh, bpp);
}
