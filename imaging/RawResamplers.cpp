// Raw resamplers: nearest pixel, integer area coverage (two orders), cubic B-spline and Gaussian
// sampling of bare DIB rows. Rows are taken in memory order, so every mapping is anchored at the
// first row in memory and the first pixel of a row.
#include "imaging/RawResamplers.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <stdexcept>
#include <type_traits>
#include <vector>

namespace {

size_t RowBytes(unsigned width, unsigned bpp)
{
    return static_cast<size_t>((static_cast<uint64_t>(width) * bpp + 31) / 32 * 4);
}

// How a resampler walks a pixel: `channels` bytes filtered at a step of `pixelBytes`.
struct PixelLayout {
    int channels;
    int pixelBytes;
};

// The layout modes 1 to 3 use for a depth: the first three bytes of each pixel, never more bytes
// than a pixel holds.
PixelLayout ColourLayout(uint8_t bpp)
{
    int bytes = bpp / 8;
    return {std::min(3, bytes), bytes};
}

// Sums truncate to a byte; the tolerance keeps single-precision error in the weights from turning
// an exact level (a uniform area) into the level below.
constexpr float kTruncationTolerance = 1.0f / 1024;

uint8_t TruncateToByte(float value)
{
    value += kTruncationTolerance;
    if (!(value > 0.0f))
        return 0;
    if (value >= 255.0f)
        return 255;
    return static_cast<uint8_t>(value);
}

// ---- Integer area stepping ----
// S source samples map onto D destination samples: every source sample carries D units of coverage
// and every destination sample takes S units. The table lists, per destination sample, the source
// samples it takes and how many units of each; the output is the weighted sum divided by S.
struct AreaTable {
    std::vector<uint32_t> start;   // D + 1 offsets into taps
    std::vector<uint32_t> index;   // source sample
    std::vector<uint32_t> weight;  // units taken from it
    uint32_t divisor = 1;          // S
};

// One walk along the axis: the coverage left in the current source sample starts at D.
void BuildAreaTable(AreaTable& table, unsigned destinationSize, unsigned sourceSize)
{
    const uint64_t S = sourceSize;
    const uint64_t D = destinationSize;
    table.divisor = sourceSize;
    table.start.assign(destinationSize + 1, 0);
    table.index.clear();
    table.weight.clear();
    table.index.reserve(destinationSize + sourceSize);
    table.weight.reserve(destinationSize + sourceSize);
    uint64_t coverage = D;
    uint32_t s = 0;
    for (unsigned d = 0; d < destinationSize; ++d) {
        table.start[d] = static_cast<uint32_t>(table.index.size());
        uint64_t taken = 0;
        while (S >= coverage + taken) {
            table.index.push_back(s);
            table.weight.push_back(static_cast<uint32_t>(coverage));
            taken += coverage;
            ++s;
            coverage = D;
        }
        if (taken < S) {
            uint64_t part = S - taken;
            table.index.push_back(s);
            table.weight.push_back(static_cast<uint32_t>(part));
            coverage -= part;
        }
    }
    table.start[destinationSize] = static_cast<uint32_t>(table.index.size());
}

// The truncating division of a coverage sum by the table's divisor S, through a reciprocal: the
// estimate is off by at most one and is corrected.
class Divider {
public:
    explicit Divider(uint32_t divisor) : divisor_(divisor), inverse_(1.0 / divisor) {}
    uint8_t operator()(uint64_t sum) const
    {
        uint64_t q = static_cast<uint64_t>(static_cast<double>(sum) * inverse_);
        if (q * divisor_ > sum)
            --q;
        else if ((q + 1) * divisor_ <= sum)
            ++q;
        return static_cast<uint8_t>(q);
    }

private:
    uint64_t divisor_;
    double inverse_;
};

// Area pass along one line of samples (a row, or a column when the steps are row strides).
template <typename Sum, int Channels>
void AreaLineOf(uint8_t* destination, size_t destinationStep, const uint8_t* source, size_t sourceStep,
                const AreaTable& table, unsigned destinationSize)
{
    const Divider divide(table.divisor);
    for (unsigned d = 0; d < destinationSize; ++d) {
        Sum sum[Channels] = {};
        for (uint32_t t = table.start[d]; t < table.start[d + 1]; ++t) {
            const uint8_t* p = source + table.index[t] * sourceStep;
            const Sum w = table.weight[t];
            for (int c = 0; c < Channels; ++c)
                sum[c] += w * p[c];
        }
        uint8_t* out = destination + d * destinationStep;
        for (int c = 0; c < Channels; ++c)
            out[c] = divide(sum[c]);
    }
}

// Destination row d of an area pass across whole rows: the weighted sum of the source rows of its
// taps. Every column follows the same table, so this equals walking each column on its own.
// `sums` holds width x channels values.
template <typename Sum, int Channels>
void AreaRowOf(uint8_t* out, const uint8_t* source, size_t sourceStride, const AreaTable& table, unsigned d,
               unsigned width, int pixelBytes, Sum* sums)
{
    std::fill(sums, sums + static_cast<size_t>(width) * Channels, 0);
    for (uint32_t t = table.start[d]; t < table.start[d + 1]; ++t) {
        const uint8_t* row = source + table.index[t] * sourceStride;
        const Sum w = table.weight[t];
        Sum* sum = sums;
        for (unsigned x = 0; x < width; ++x, row += pixelBytes, sum += Channels)
            for (int c = 0; c < Channels; ++c)
                sum[c] += w * row[c];
    }
    const Divider divide(table.divisor);
    const Sum* sum = sums;
    for (unsigned x = 0; x < width; ++x, out += pixelBytes, sum += Channels)
        for (int c = 0; c < Channels; ++c)
            out[c] = divide(sum[c]);
}

// Sums of one destination sample stay below 256 S: 32 bits suffice unless S is above 2^24.
bool NarrowSums(const AreaTable& table)
{
    return table.divisor < (1u << 24);
}

template <typename F>
void WithChannels(int channels, F&& run)
{
    switch (channels) {
    case 1: run(std::integral_constant<int, 1>{}); break;
    case 2: run(std::integral_constant<int, 2>{}); break;
    case 3: run(std::integral_constant<int, 3>{}); break;
    case 4: run(std::integral_constant<int, 4>{}); break;
    default: break;
    }
}

void AreaLine(uint8_t* destination, size_t destinationStep, const uint8_t* source, size_t sourceStep,
              const AreaTable& table, unsigned destinationSize, int channels)
{
    WithChannels(channels, [&](auto c) {
        if (NarrowSums(table))
            AreaLineOf<uint32_t, c>(destination, destinationStep, source, sourceStep, table, destinationSize);
        else
            AreaLineOf<uint64_t, c>(destination, destinationStep, source, sourceStep, table, destinationSize);
    });
}

// Accumulators for AreaRow: width x channels sums of the width that suits the table.
struct RowSums {
    std::vector<uint32_t> narrow;
    std::vector<uint64_t> wide;
    RowSums(const AreaTable& table, size_t count)
    {
        if (NarrowSums(table))
            narrow.resize(count);
        else
            wide.resize(count);
    }
};

void AreaRow(uint8_t* out, const uint8_t* source, size_t sourceStride, const AreaTable& table, unsigned d,
             unsigned width, PixelLayout layout, RowSums& sums)
{
    WithChannels(layout.channels, [&](auto c) {
        if (NarrowSums(table))
            AreaRowOf<uint32_t, c>(out, source, sourceStride, table, d, width, layout.pixelBytes, sums.narrow.data());
        else
            AreaRowOf<uint64_t, c>(out, source, sourceStride, table, d, width, layout.pixelBytes, sums.wide.data());
    });
}

void AreaHorizontal(uint8_t* destination, unsigned destinationWidth, const uint8_t* source, unsigned sourceWidth,
                    unsigned height, uint8_t bpp, PixelLayout layout)
{
    AreaTable table;
    BuildAreaTable(table, destinationWidth, sourceWidth);
    const size_t destinationStride = RowBytes(destinationWidth, bpp);
    const size_t sourceStride = RowBytes(sourceWidth, bpp);
    for (unsigned y = 0; y < height; ++y)
        AreaLine(destination + y * destinationStride, layout.pixelBytes, source + y * sourceStride, layout.pixelBytes,
                 table, destinationWidth, layout.channels);
}

void AreaVertical(uint8_t* destination, unsigned destinationHeight, const uint8_t* source, unsigned sourceHeight,
                  unsigned width, uint8_t bpp, PixelLayout layout)
{
    AreaTable table;
    BuildAreaTable(table, destinationHeight, sourceHeight);
    const size_t stride = RowBytes(width, bpp);
    RowSums sums(table, static_cast<size_t>(width) * layout.channels);
    for (unsigned d = 0; d < destinationHeight; ++d)
        AreaRow(destination + d * stride, source, stride, table, d, width, layout, sums);
}

// Mode 1: along the rows into a block of destination width x source height, then along the columns.
void AreaCoverage(uint8_t* destination, unsigned dw, unsigned dh, const uint8_t* source, unsigned sw, unsigned sh,
                  uint8_t bpp, PixelLayout layout)
{
    std::vector<uint8_t> block(RowBytes(dw, bpp) * sh);
    AreaHorizontal(block.data(), dw, source, sw, sh, bpp, layout);
    AreaVertical(destination, dh, block.data(), sh, dw, bpp, layout);
}

// Mode 4: one destination row at a time, first the source rows into one intermediate row of the
// source width, then that row across to the destination width.
void AreaAverage(uint8_t* destination, unsigned dw, unsigned dh, const uint8_t* source, unsigned sw, unsigned sh,
                 uint8_t bpp, PixelLayout layout)
{
    AreaTable rows;
    AreaTable columns;
    BuildAreaTable(rows, dh, sh);
    BuildAreaTable(columns, dw, sw);
    const size_t destinationStride = RowBytes(dw, bpp);
    const size_t sourceStride = RowBytes(sw, bpp);
    std::vector<uint8_t> intermediate(static_cast<size_t>(sw) * layout.pixelBytes);
    RowSums sums(rows, static_cast<size_t>(sw) * layout.channels);
    for (unsigned y = 0; y < dh; ++y) {
        AreaRow(intermediate.data(), source, sourceStride, rows, y, sw, layout, sums);
        AreaLine(destination + y * destinationStride, layout.pixelBytes, intermediate.data(), layout.pixelBytes,
                 columns, dw, layout.channels);
    }
}

// ---- Nearest pixel ----
// Integer stepping: the counter gains the source size per destination sample and steps the source
// while it exceeds the destination size, so destination j takes source max(0, ceil(j S / D) - 1).
std::vector<uint32_t> NearestIndices(unsigned destinationSize, unsigned sourceSize)
{
    std::vector<uint32_t> indices(destinationSize);
    uint64_t counter = 0;
    uint32_t s = 0;
    for (unsigned d = 0; d < destinationSize; ++d) {
        indices[d] = s;
        counter += sourceSize;
        while (counter > destinationSize) {
            counter -= destinationSize;
            ++s;
        }
    }
    return indices;
}

void Nearest(uint8_t* destination, unsigned dw, unsigned dh, const uint8_t* source, unsigned sw, unsigned sh,
             uint8_t bpp)
{
    const int pixelBytes = bpp / 8;
    if (pixelBytes == 0)
        return;
    const std::vector<uint32_t> columns = NearestIndices(dw, sw);
    const std::vector<uint32_t> rows = NearestIndices(dh, sh);
    const size_t destinationStride = RowBytes(dw, bpp);
    const size_t sourceStride = RowBytes(sw, bpp);
    for (unsigned y = 0; y < dh; ++y) {
        const uint8_t* sourceRow = source + rows[y] * sourceStride;
        uint8_t* out = destination + y * destinationStride;
        for (unsigned x = 0; x < dw; ++x, out += pixelBytes)
            memcpy(out, sourceRow + static_cast<size_t>(columns[x]) * pixelBytes, pixelBytes);
    }
}

// ---- Cubic B-spline ----
float Positive(float u)
{
    return u > 0.0f ? u : 0.0f;
}

float BSplineWeight(float t)
{
    const float a = Positive(t + 2.0f);
    const float b = Positive(t + 1.0f);
    const float c = Positive(t);
    const float d = Positive(t - 1.0f);
    return (a * a * a - 4.0f * b * b * b + 6.0f * c * c * c - 4.0f * d * d * d) / 6.0f;
}

// Per destination sample along one axis: the four clamped source indices and their weights.
struct BSplineTaps {
    uint32_t index[4];
    float weight[4];
};

std::vector<BSplineTaps> BuildBSplineTaps(unsigned destinationSize, unsigned sourceSize)
{
    std::vector<BSplineTaps> taps(destinationSize);
    for (unsigned i = 0; i < destinationSize; ++i) {
        const uint64_t product = static_cast<uint64_t>(i) * sourceSize;
        const int64_t g = static_cast<int64_t>(product / destinationSize);
        const float f = static_cast<float>(product) / static_cast<float>(destinationSize) - static_cast<float>(g);
        for (int k = -1; k <= 2; ++k) {
            taps[i].index[k + 1] = static_cast<uint32_t>(std::clamp<int64_t>(g + k, 0, int64_t{sourceSize} - 1));
            taps[i].weight[k + 1] = BSplineWeight(static_cast<float>(k) - f);
        }
    }
    return taps;
}

void BSpline(uint8_t* destination, unsigned dw, unsigned dh, const uint8_t* source, unsigned sw, unsigned sh,
             uint8_t bpp, PixelLayout layout)
{
    const std::vector<BSplineTaps> columns = BuildBSplineTaps(dw, sw);
    const std::vector<BSplineTaps> rows = BuildBSplineTaps(dh, sh);
    const size_t destinationStride = RowBytes(dw, bpp);
    const size_t sourceStride = RowBytes(sw, bpp);
    for (unsigned j = 0; j < dh; ++j) {
        const BSplineTaps& row = rows[j];
        const uint8_t* sourceRows[4];
        for (int l = 0; l < 4; ++l)
            sourceRows[l] = source + row.index[l] * sourceStride;
        uint8_t* out = destination + j * destinationStride;
        for (unsigned i = 0; i < dw; ++i, out += layout.pixelBytes) {
            const BSplineTaps& column = columns[i];
            float sum[4] = {0, 0, 0, 0};
            for (int k = 0; k < 4; ++k) {
                const size_t offset = static_cast<size_t>(column.index[k]) * layout.pixelBytes;
                for (int l = 0; l < 4; ++l) {
                    const float w = row.weight[l] * column.weight[k];
                    const uint8_t* p = sourceRows[l] + offset;
                    for (int c = 0; c < layout.channels; ++c)
                        sum[c] += w * p[c];
                }
            }
            for (int c = 0; c < layout.channels; ++c)
                out[c] = TruncateToByte(sum[c]);
        }
    }
}

// ---- Gaussian ----
// Along one axis the mapped point is p = float(i S) / float(D); the taps run from p - 4 to p + 4 in
// steps of 1.0 (single precision), each taking the source sample at its truncated position and the
// squared distance (p - t)^2. The distances are nearly always whole numbers, so the weights of a
// pixel come from a small table over the distinct squared distances of the two axes; only when an
// axis has too many distinct distances are the weights computed tap by tap.
struct GaussianTaps {
    std::vector<uint32_t> start;     // per destination sample, into index and square
    std::vector<uint32_t> index;     // clamped source sample
    std::vector<float> square;       // squared distance
    std::vector<uint16_t> distinct;  // into squares, when the table is usable
    std::vector<float> squares;      // the distinct squared distances
    bool tabled = true;
};

constexpr size_t kMaxDistinctDistances = 256;

void BuildGaussianTaps(GaussianTaps& taps, unsigned destinationSize, unsigned sourceSize)
{
    taps.start.assign(destinationSize + 1, 0);
    for (unsigned i = 0; i < destinationSize; ++i) {
        taps.start[i] = static_cast<uint32_t>(taps.index.size());
        const float p = static_cast<float>(static_cast<uint64_t>(i) * sourceSize) / static_cast<float>(destinationSize);
        for (float t = p - 4.0f; t <= p + 4.0f; t += 1.0f) {
            const float truncated = std::trunc(t);
            const int64_t position = truncated < 0.0f ? 0 : static_cast<int64_t>(truncated);
            taps.index.push_back(static_cast<uint32_t>(std::min<int64_t>(position, int64_t{sourceSize} - 1)));
            const float square = (p - t) * (p - t);
            taps.square.push_back(square);
            if (!taps.tabled)
                continue;
            auto found = std::find(taps.squares.begin(), taps.squares.end(), square);
            if (found == taps.squares.end()) {
                if (taps.squares.size() >= kMaxDistinctDistances) {
                    taps.tabled = false;
                    continue;
                }
                taps.squares.push_back(square);
                found = taps.squares.end() - 1;
            }
            taps.distinct.push_back(static_cast<uint16_t>(found - taps.squares.begin()));
        }
    }
    taps.start[destinationSize] = static_cast<uint32_t>(taps.index.size());
}

float GaussianWeight(float dy2, float dx2)
{
    return static_cast<float>(std::exp(-0.5 * static_cast<double>(dy2 + dx2))) / 6.2831855f;
}

// The weights are divided by their sum, so a uniform area keeps its level.
template <bool Tabled>
void GaussianRows(uint8_t* destination, unsigned dw, unsigned dh, const uint8_t* source, unsigned sw, uint8_t bpp,
                  PixelLayout layout, const GaussianTaps& columns, const GaussianTaps& rows,
                  const std::vector<float>& weights)
{
    const size_t nx = columns.squares.size();
    const size_t destinationStride = RowBytes(dw, bpp);
    const size_t sourceStride = RowBytes(sw, bpp);
    for (unsigned j = 0; j < dh; ++j) {
        uint8_t* out = destination + j * destinationStride;
        for (unsigned i = 0; i < dw; ++i, out += layout.pixelBytes) {
            float sum[4] = {0, 0, 0, 0};
            float total = 0.0f;
            for (uint32_t tx = columns.start[i]; tx < columns.start[i + 1]; ++tx) {
                const size_t offset = static_cast<size_t>(columns.index[tx]) * layout.pixelBytes;
                for (uint32_t ty = rows.start[j]; ty < rows.start[j + 1]; ++ty) {
                    float w;
                    if constexpr (Tabled)
                        w = weights[rows.distinct[ty] * nx + columns.distinct[tx]];
                    else
                        w = GaussianWeight(rows.square[ty], columns.square[tx]);
                    const uint8_t* p = source + rows.index[ty] * sourceStride + offset;
                    for (int c = 0; c < layout.channels; ++c)
                        sum[c] += w * p[c];
                    total += w;
                }
            }
            for (int c = 0; c < layout.channels; ++c)
                out[c] = TruncateToByte(total > 0.0f ? sum[c] / total : 0.0f);
        }
    }
}

void Gaussian(uint8_t* destination, unsigned dw, unsigned dh, const uint8_t* source, unsigned sw, unsigned sh,
              uint8_t bpp, PixelLayout layout)
{
    GaussianTaps columns;
    GaussianTaps rows;
    BuildGaussianTaps(columns, dw, sw);
    BuildGaussianTaps(rows, dh, sh);
    if (!columns.tabled || !rows.tabled) {
        GaussianRows<false>(destination, dw, dh, source, sw, bpp, layout, columns, rows, {});
        return;
    }
    const size_t nx = columns.squares.size();
    std::vector<float> weights(rows.squares.size() * nx);
    for (size_t a = 0; a < rows.squares.size(); ++a)
        for (size_t b = 0; b < nx; ++b)
            weights[a * nx + b] = GaussianWeight(rows.squares[a], columns.squares[b]);
    GaussianRows<true>(destination, dw, dh, source, sw, bpp, layout, columns, rows, weights);
}

bool AnyZero(unsigned a, unsigned b, unsigned c, unsigned d)
{
    return a == 0 || b == 0 || c == 0 || d == 0;
}

// Runs a mode with allocation failures turned into "nothing written" (every allocation happens
// before the first write).
template <typename F>
void Guarded(F&& run)
{
    try {
        run();
    } catch (const std::bad_alloc&) {
    } catch (const std::length_error&) {
    }
}

}  // namespace

void ResampleNearest(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                     uint8_t bpp)
{
    if (AnyZero(dw, dh, sw, sh))
        return;
    Guarded([&] { Nearest(static_cast<uint8_t*>(destination), dw, dh, static_cast<const uint8_t*>(source), sw, sh, bpp); });
}

void ResampleAreaCoverage(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                          uint8_t bpp)
{
    const PixelLayout layout = ColourLayout(bpp);
    if (AnyZero(dw, dh, sw, sh) || layout.channels == 0)
        return;
    Guarded([&] {
        AreaCoverage(static_cast<uint8_t*>(destination), dw, dh, static_cast<const uint8_t*>(source), sw, sh, bpp,
                     layout);
    });
}

void ResampleBSpline(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                     uint8_t bpp)
{
    const PixelLayout layout = ColourLayout(bpp);
    if (AnyZero(dw, dh, sw, sh) || layout.channels == 0)
        return;
    Guarded([&] {
        BSpline(static_cast<uint8_t*>(destination), dw, dh, static_cast<const uint8_t*>(source), sw, sh, bpp, layout);
    });
}

void ResampleGaussian(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                      uint8_t bpp)
{
    const PixelLayout layout = ColourLayout(bpp);
    if (AnyZero(dw, dh, sw, sh) || layout.channels == 0)
        return;
    Guarded([&] {
        Gaussian(static_cast<uint8_t*>(destination), dw, dh, static_cast<const uint8_t*>(source), sw, sh, bpp, layout);
    });
}

void ResampleAreaAverage24(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                           uint8_t bpp)
{
    if (AnyZero(dw, dh, sw, sh) || bpp != 24)
        return;
    Guarded([&] {
        AreaAverage(static_cast<uint8_t*>(destination), dw, dh, static_cast<const uint8_t*>(source), sw, sh, 24,
                    {3, 3});
    });
}

void ResampleAreaHorizontal(void* destination, unsigned dw, const void* source, unsigned sw, unsigned height,
                            uint8_t bpp)
{
    const PixelLayout layout = ColourLayout(bpp);
    if (AnyZero(dw, sw, height, 1) || layout.channels == 0)
        return;
    Guarded([&] {
        AreaHorizontal(static_cast<uint8_t*>(destination), dw, static_cast<const uint8_t*>(source), sw, height, bpp,
                       layout);
    });
}

void ResampleAreaVertical(void* destination, unsigned dh, const void* source, unsigned sh, unsigned width,
                          uint8_t bpp)
{
    const PixelLayout layout = ColourLayout(bpp);
    if (AnyZero(dh, sh, width, 1) || layout.channels == 0)
        return;
    Guarded([&] {
        AreaVertical(static_cast<uint8_t*>(destination), dh, static_cast<const uint8_t*>(source), sh, width, bpp,
                     layout);
    });
}

void ResampleAreaRow(void* destinationRow, unsigned dw, const void* sourceRow, unsigned sw, uint8_t bpp)
{
    const PixelLayout layout = ColourLayout(bpp);
    if (AnyZero(dw, sw, 1, 1) || layout.channels == 0)
        return;
    Guarded([&] {
        AreaTable table;
        BuildAreaTable(table, dw, sw);
        AreaLine(static_cast<uint8_t*>(destinationRow), layout.pixelBytes, static_cast<const uint8_t*>(sourceRow),
                 layout.pixelBytes, table, dw, layout.channels);
    });
}

void ResampleBits(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                  uint8_t bpp, uint8_t mode)
{
    if (AnyZero(dw, dh, sw, sh) || !destination || !source)
        return;
    if (dw == sw && dh == sh) {
        memcpy(destination, source, RowBytes(sw, bpp) * sh);
        return;
    }
    switch (mode) {
    case 0: ResampleNearest(destination, dw, dh, source, sw, sh, bpp); break;
    case 1: ResampleAreaCoverage(destination, dw, dh, source, sw, sh, bpp); break;
    case 2: ResampleBSpline(destination, dw, dh, source, sw, sh, bpp); break;
    case 3: ResampleGaussian(destination, dw, dh, source, sw, sh, bpp); break;
    case 4: ResampleAreaAverage24(destination, dw, dh, source, sw, sh, bpp); break;
    default: break;
    }
}

void ResampleBits32(void* destination, unsigned dw, unsigned dh, const void* source, unsigned sw, unsigned sh,
                    uint8_t mode)
{
    if (AnyZero(dw, dh, sw, sh) || !destination || !source)
        return;
    if (dw == sw && dh == sh) {
        memcpy(destination, source, RowBytes(sw, 32) * sh);
        return;
    }
    auto* out = static_cast<uint8_t*>(destination);
    const auto* in = static_cast<const uint8_t*>(source);
    const PixelLayout all{4, 4};
    Guarded([&] {
        switch (mode) {
        case 0: Nearest(out, dw, dh, in, sw, sh, 32); break;
        case 1: AreaCoverage(out, dw, dh, in, sw, sh, 32, all); break;
        case 2: BSpline(out, dw, dh, in, sw, sh, 32, all); break;
        case 3: Gaussian(out, dw, dh, in, sw, sh, 32, all); break;
        case 4: AreaAverage(out, dw, dh, in, sw, sh, 32, all); break;
        default: break;
        }
    });
}
