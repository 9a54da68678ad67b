// Scale engine: the filter kernels, the per-axis contribution lists and the two passes. Each pass
// splits its destination rows over an OpenMP team; the list and the source are shared read-only
// and every iteration writes only its own row.
#include "imaging/NImageScaleEngine.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <numbers>

namespace {

constexpr double kPi = std::numbers::pi;
// Weights per destination sample beyond which a list is refused (a shrink of billions of pixels).
constexpr double kMaxWindow = 1 << 28;
// A weight sum at or below this is rounding noise, not a weight.
constexpr double kNoWeight = 1e-9;

int BytesPerPixel(const NImageBuffer& picture)
{
    return picture.bpp / 8;
}

bool IsEngineDepth(const NImageBuffer& picture)
{
    return picture.valid && (picture.bpp == 24 || picture.bpp == 32) && picture.bits;
}

uint8_t StoreByte(double value)
{
    const double rounded = std::trunc(value + 0.5);
    if (!(rounded > 0.0))
        return 0;
    return rounded >= 255.0 ? 255 : static_cast<uint8_t>(rounded);
}

// Accumulator rows for the vertical pass, one per thread of the team.
class ThreadRows {
public:
    explicit ThreadRows(size_t length) : length_(length), threads_(std::max(1, omp_get_max_threads()))
    {
        rows_ = new (std::nothrow) double[length_ * threads_];
    }
    ~ThreadRows() { delete[] rows_; }
    ThreadRows(const ThreadRows&) = delete;
    ThreadRows& operator=(const ThreadRows&) = delete;

    bool Ok() const { return rows_ != nullptr; }
    int Threads() const { return threads_; }
    double* Row(int thread) const { return rows_ + length_ * thread; }

private:
    size_t length_;
    int threads_;
    double* rows_ = nullptr;
};

// Both passes: the pictures must share the engine's depth, and the axis not being resampled must
// have the same size in both.
bool PassArguments(const NImageBuffer& src, const NImageBuffer& dst)
{
    return IsEngineDepth(src) && IsEngineDepth(dst) && src.bpp == dst.bpp;
}

}  // namespace

// ---- Kernels ----

double NImageScaleFilterBox::Filter(double x) const
{
    return std::fabs(x) <= support ? 1.0 : 0.0;
}

double NImageScaleFilterBilinear::Filter(double x) const
{
    const double a = std::fabs(x);
    return a < support ? support - a : 0.0;
}

NImageScaleFilterBicubic::NImageScaleFilterBicubic(double b, double c)
    : NImageScaleFilterGeneric(2.0),
      p0((6.0 - 2.0 * b) / 6.0),
      p2((-18.0 + 12.0 * b + 6.0 * c) / 6.0),
      p3((12.0 - 9.0 * b - 6.0 * c) / 6.0),
      q0((8.0 * b + 24.0 * c) / 6.0),
      q1((-12.0 * b - 48.0 * c) / 6.0),
      q2((6.0 * b + 30.0 * c) / 6.0),
      q3((-b - 6.0 * c) / 6.0)
{
}

double NImageScaleFilterBicubic::Filter(double x) const
{
    const double a = std::fabs(x);
    if (a < 1.0)
        return ((p3 * a + p2) * (a * a)) + p0;
    if (a < 2.0)
        return ((q3 * a + q2) * a + q1) * a + q0;
    return 0.0;
}

double NImageScaleFilterCatmullRom::Filter(double x) const
{
    if (x < -2.0)
        return 0.0;
    if (x < -1.0)
        return 0.5 * (((x + 5.0) * x + 8.0) * x + 4.0);
    if (x < 0.0)
        return 0.5 * ((-5.0 - 3.0 * x) * x * x + 2.0);
    if (x < 1.0)
        return 0.5 * ((3.0 * x - 5.0) * x * x + 2.0);
    if (x < 2.0)
        return 0.5 * (((5.0 - x) * x - 8.0) * x + 4.0);
    return 0.0;
}

double NImageScaleFilterLanczos3::Filter(double x) const
{
    if (std::fabs(x) >= support)
        return 0.0;
    if (x == 0.0)
        return 1.0;
    const double a = kPi * x;
    const double b = a / support;
    return (std::sin(a) / a) * (std::sin(b) / b);
}

double NImageScaleFilterBSpline::Filter(double x) const
{
    const double a = std::fabs(x);
    if (a < 1.0)
        return (a * a * (3.0 * a - 6.0) + 4.0) / 6.0;
    if (a < 2.0) {
        const double t = 2.0 - a;
        return t * t * t / 6.0;
    }
    return 0.0;
}

double NImageScaleFilterBlackman::Filter(double x) const
{
    if (std::fabs(x) > support)
        return 0.0;
    const double t = x / ((2.0 * support + 1.0) - 1.0);
    return 0.42 + 0.5 * std::cos(2.0 * kPi * t) + 0.08 * std::cos(4.0 * kPi * t);
}

// ---- Contribution lists ----

void FreeContributions(ScaleContributionList& list)
{
    if (list.entries) {
        for (unsigned i = 0; i < list.count; ++i)
            delete[] list.entries[i].weights;
        delete[] list.entries;
    }
    list.entries = nullptr;
    list.count = 0;
    list.window = 0;
}

bool BuildContributions(ScaleContributionList& out, const NImageScaleFilterGeneric& kernel, unsigned destinationSize,
                        unsigned sourceSize)
{
    out.entries = nullptr;
    out.count = 0;
    out.window = 0;
    if (destinationSize == 0 || sourceSize == 0)
        return false;

    const double scale = static_cast<double>(destinationSize) / static_cast<double>(sourceSize);
    double width = kernel.support;
    double factor = 1.0;
    if (scale < 1.0) {
        width = kernel.support / scale;
        factor = scale;
    }
    const double windowSize = 2.0 * std::ceil(width) + 1.0;
    if (!(windowSize >= 1.0) || windowSize > kMaxWindow)
        return false;
    const int window = static_cast<int>(windowSize);

    out.entries = new (std::nothrow) ScaleContribution[destinationSize];
    if (!out.entries)
        return false;
    out.count = destinationSize;
    out.window = window;
    for (unsigned i = 0; i < destinationSize; ++i)
        out.entries[i] = ScaleContribution{nullptr, 0, -1};
    for (unsigned i = 0; i < destinationSize; ++i) {
        out.entries[i].weights = new (std::nothrow) double[window];
        if (!out.entries[i].weights) {
            FreeContributions(out);
            return false;
        }
    }

    const double lastIndex = static_cast<double>(sourceSize) - 1.0;
    for (unsigned i = 0; i < destinationSize; ++i) {
        ScaleContribution& entry = out.entries[i];
        const double centre = i / scale + (0.5 / scale - 0.5);
        const double left = std::max(std::floor(centre - width), 0.0);
        const double right = std::min(std::ceil(centre + width), lastIndex);
        int first = static_cast<int>(left);
        int last = static_cast<int>(std::max(right, left));
        if (last - first + 1 > window)
            ++first;

        double sum = 0.0;
        for (int s = first; s <= last; ++s) {
            const double w = kernel.Filter((centre - s) * factor) * factor;
            entry.weights[s - first] = w;
            sum += w;
        }
        if (!(sum > kNoWeight)) {
            // The kernel gives this position no usable weight (a narrow kernel between two
            // samples): the nearest source sample stands in rather than a black pixel.
            const int nearest = std::clamp(static_cast<int>(std::lround(centre)), first, last);
            for (int s = first; s <= last; ++s)
                entry.weights[s - first] = s == nearest ? 1.0 : 0.0;
            sum = 1.0;
            last = nearest;
        }
        if (sum != 1.0) {
            for (int s = first; s <= last; ++s)
                entry.weights[s - first] /= sum;
            while (last > first && entry.weights[last - first] == 0.0)
                --last;
        }
        entry.first = first;
        entry.last = last;
    }
    return true;
}

// ---- Passes ----

bool NImageScaleEngine::ScaleHorizontal(const NImageBuffer& src, NImageBuffer& dst)
{
    if (!PassArguments(src, dst) || src.height != dst.height)
        return false;
    if (src.width == dst.width)
        return dst.Copy(src);

    ScaleContributionList list;
    if (!filter || !BuildContributions(list, *filter, dst.width, src.width))
        return false;
    GdiFlush();
    const int n = BytesPerPixel(src);
    const int rows = dst.height;
    const int outWidth = dst.width;
#pragma omp parallel for schedule(static)
    for (int y = 0; y < rows; ++y) {
        const uint8_t* in = src.bits + static_cast<size_t>(y) * src.stride;
        uint8_t* out = dst.bits + static_cast<size_t>(y) * dst.stride;
        for (int x = 0; x < outWidth; ++x, out += n) {
            const ScaleContribution& entry = list.entries[x];
            double sum[4] = {0.0, 0.0, 0.0, 0.0};
            const uint8_t* p = in + static_cast<size_t>(entry.first) * n;
            for (int s = entry.first; s <= entry.last; ++s, p += n) {
                const double w = entry.weights[s - entry.first];
                for (int c = 0; c < n; ++c)
                    sum[c] += w * p[c];
            }
            for (int c = 0; c < n; ++c)
                out[c] = StoreByte(sum[c]);
        }
    }
    FreeContributions(list);
    return true;
}

// Each destination row is the weighted sum of its source rows; every column of it follows the
// same contribution entry, so this is the column-by-column pass with the same sums per pixel. The
// row is summed in chunks that stay in the first-level cache while all the entry's source rows are
// added (the order of the additions per byte does not change).
bool NImageScaleEngine::ScaleVertical(const NImageBuffer& src, NImageBuffer& dst)
{
    if (!PassArguments(src, dst) || src.width != dst.width)
        return false;
    if (src.height == dst.height)
        return dst.Copy(src);

    constexpr size_t kChunk = 512;
    const size_t samples = static_cast<size_t>(src.width) * BytesPerPixel(src);
    ThreadRows sums(kChunk);
    ScaleContributionList list;
    if (!filter || !sums.Ok() || !BuildContributions(list, *filter, dst.height, src.height))
        return false;
    GdiFlush();
    const int rows = dst.height;
#pragma omp parallel for schedule(static) num_threads(sums.Threads())
    for (int y = 0; y < rows; ++y) {
        const ScaleContribution& entry = list.entries[y];
        double* sum = sums.Row(omp_get_thread_num());
        uint8_t* out = dst.bits + static_cast<size_t>(y) * dst.stride;
        for (size_t start = 0; start < samples; start += kChunk) {
            const size_t count = std::min(kChunk, samples - start);
            std::fill(sum, sum + count, 0.0);
            for (int s = entry.first; s <= entry.last; ++s) {
                const double w = entry.weights[s - entry.first];
                const uint8_t* in = src.bits + static_cast<size_t>(s) * src.stride + start;
#pragma omp simd
                for (size_t i = 0; i < count; ++i)
                    sum[i] += w * in[i];
            }
            for (size_t i = 0; i < count; ++i)
                out[start + i] = StoreByte(sum[i]);
        }
    }
    FreeContributions(list);
    return true;
}

bool NImageScaleEngine::Scale(const NImageBuffer& src, NImageBuffer& dst)
{
    if (!filter || !PassArguments(src, dst))
        return false;
    // The axis with the smaller ratio of destination to source size goes first, which makes the
    // intermediate picture the smaller of the two possible ones; on a tie, the rows go first.
    const uint64_t widthFirst = static_cast<uint64_t>(dst.height) * static_cast<uint64_t>(src.width);
    const uint64_t heightFirst = static_cast<uint64_t>(dst.width) * static_cast<uint64_t>(src.height);
    NImageBuffer temporary;
    if (heightFirst > widthFirst) {
        if (!temporary.Create(src.width, dst.height, src.bpp, 0, nullptr))
            return false;
        return ScaleVertical(src, temporary) && ScaleHorizontal(temporary, dst);
    }
    if (!temporary.Create(dst.width, src.height, src.bpp, 0, nullptr))
        return false;
    return ScaleHorizontal(src, temporary) && ScaleVertical(temporary, dst);
}
