// The colour guided filter of the dehaze effect.
//
// In every window the input p is fitted as a . I + b over the guide's channels I = (B, G, R):
// a = (cov(I) + eps U)^-1 cov(I, p), b = mean(p) - a . mean(I), the normal equations of the
// regularised least-squares fit with b eliminated through their last row. The window sums are of
// integers and kept exactly (running column sums down the rows, a running window along the row);
// N^2 cov = N S_xy - S_x S_y is formed in integers too, so a flat or black window has exactly zero
// covariance and gets a = 0, b = mean(p). The 3 x 3 system is positive definite (its smallest
// eigenvalue is at least eps) and is solved by a Cholesky (L D L^T) decomposition, which stays
// accurate where the guide varies along fewer than three directions (grey pictures).
//
// The coefficients (32 bytes a pixel) are kept only for the rows the averaging of the current band
// of output rows needs, in a ring of rows: every coefficient row is computed once, and memory stays
// bounded whatever the picture's size.
#include <omp.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <memory>
#include <new>

#include "effects/DehazeSteps.h"
#include "effects/EffectPixels.h"

namespace {

struct Coefficients {
    double aBlue;
    double aGreen;
    double aRed;
    double b;
};

// Sums over a column or a window: guide channels, their products, the input and its products.
struct WindowSums {
    int64_t b, g, r, bb, gg, rr, bg, br, gr, p, bp, gp, rp;

    void Add(const WindowSums& o)
    {
        b += o.b, g += o.g, r += o.r, bb += o.bb, gg += o.gg, rr += o.rr, bg += o.bg, br += o.br, gr += o.gr;
        p += o.p, bp += o.bp, gp += o.gp, rp += o.rp;
    }
    void Subtract(const WindowSums& o)
    {
        b -= o.b, g -= o.g, r -= o.r, bb -= o.bb, gg -= o.gg, rr -= o.rr, bg -= o.bg, br -= o.br, gr -= o.gr;
        p -= o.p, bp -= o.bp, gp -= o.gp, rp -= o.rp;
    }
};

// Windows up to this many pixels have N S_xy - S_x S_y within int64 (N^2 * 255^2 < 2^63).
constexpr int64_t kInt64Window = 11000000;

template <typename Wide>
double ScaledCovariance(int64_t n, int64_t sxy, int64_t sx, int64_t sy)
{
    return static_cast<double>(static_cast<Wide>(n) * sxy - static_cast<Wide>(sx) * sy);
}

template <typename Wide>
Coefficients Solve(const WindowSums& s, int64_t n, double epsilon)
{
    const double scale = 1.0 / (static_cast<double>(n) * static_cast<double>(n));
    auto cov = [&](int64_t sxy, int64_t sx, int64_t sy) { return ScaledCovariance<Wide>(n, sxy, sx, sy) * scale; };
    const double a11 = cov(s.bb, s.b, s.b) + epsilon, a21 = cov(s.bg, s.b, s.g), a31 = cov(s.br, s.b, s.r);
    const double a22 = cov(s.gg, s.g, s.g) + epsilon, a32 = cov(s.gr, s.g, s.r);
    const double a33 = cov(s.rr, s.r, s.r) + epsilon;
    const double y1 = cov(s.bp, s.b, s.p), y2 = cov(s.gp, s.g, s.p), y3 = cov(s.rp, s.r, s.p);

    // A = L D L^T. Every pivot of a matrix whose eigenvalues are all at least epsilon is at least
    // epsilon; the bound only guards against rounding.
    const double d1 = std::max(a11, epsilon);
    const double l21 = a21 / d1, l31 = a31 / d1;
    const double d2 = std::max(a22 - l21 * a21, epsilon);
    const double l32 = (a32 - l31 * a21) / d2;
    const double d3 = std::max(a33 - l31 * a31 - l32 * l32 * d2, epsilon);
    const double z1 = y1;
    const double z2 = y2 - l21 * z1;
    const double z3 = y3 - l31 * z1 - l32 * z2;
    Coefficients c;
    c.aRed = z3 / d3;
    c.aGreen = z2 / d2 - l32 * c.aRed;
    c.aBlue = z1 / d1 - l21 * c.aGreen - l31 * c.aRed;
    c.b = (static_cast<double>(s.p) - c.aBlue * static_cast<double>(s.b) - c.aGreen * static_cast<double>(s.g) -
           c.aRed * static_cast<double>(s.r)) /
          static_cast<double>(n);
    return c;
}

// a * b, false when it does not fit in size_t.
bool CheckedProduct(size_t a, size_t b, size_t& product)
{
    if (a != 0 && b > SIZE_MAX / a)
        return false;
    product = a * b;
    return true;
}

// op(slot, first, end) for contiguous shares of the rows first..end - 1, one per thread (the
// static schedule's split), so that each thread can keep running sums down its rows.
template <typename Op>
void ForEachRowShare(int first, int end, int slots, Op op)
{
#pragma omp parallel num_threads(slots)
    {
        const int64_t threads = omp_get_num_threads(), slot = omp_get_thread_num();
        const int64_t count = end - first;
        const int from = first + static_cast<int>(count * slot / threads);
        const int to = first + static_cast<int>(count * (slot + 1) / threads);
        if (from < to)
            op(static_cast<int>(slot), from, to);
    }
}

class GuidedFilter {
public:
    GuidedFilter(const NImageBuffer& guide, const NImageBuffer& input, double epsilon, int radius,
                 NProgressSink* progress)
        : guide_(guide), input_(input), epsilon_(epsilon), w_(guide.width), h_(guide.height),
          radius_(std::clamp(radius, 0, std::max(guide.width, guide.height))), step_(guide.bpp / 8),
          progress_(progress)
    {
    }

    bool Run(NImageBuffer& out, size_t budget)
    {
        const size_t rowBytes = static_cast<size_t>(w_) * sizeof(Coefficients);
        const int64_t windowRows = 2 * static_cast<int64_t>(radius_) + 1;
        ringRows_ = static_cast<int>(std::min<int64_t>(h_, std::max<int64_t>(budget / rowBytes, windowRows)));
        const int band = ringRows_ == h_ ? h_ : ringRows_ - 2 * radius_;

        slots_ = std::max(1, omp_get_max_threads());
        size_t ringBytes = 0, sumsCount = 0;
        if (!CheckedProduct(rowBytes, static_cast<size_t>(ringRows_), ringBytes) ||
            !CheckedProduct(static_cast<size_t>(w_), static_cast<size_t>(slots_), sumsCount))
            return false;
        ring_.reset(new (std::nothrow) Coefficients[ringBytes / sizeof(Coefficients)]);
        columnSums_.reset(new (std::nothrow) WindowSums[sumsCount]);
        columnMeans_.reset(new (std::nothrow) Coefficients[sumsCount]);
        NImageBuffer result;
        if (!ring_ || !columnSums_ || !columnMeans_ || !MakeGreyPicture(result, w_, h_))
            return false;

        GdiFlush();
        int computed = 0;  // coefficient rows 0 .. computed - 1 are done; the last ringRows_ are kept
        for (int first = 0; first < h_; first += band) {
            const int end = std::min(h_, first + band);
            const int needed = static_cast<int>(std::min<int64_t>(h_, static_cast<int64_t>(end) + radius_));
            if (needed > computed) {
                ForEachRowShare(computed, needed, slots_,
                                [&](int slot, int from, int to) { CoefficientRows(slot, from, to); });
                computed = needed;
            }
            ForEachRowShare(first, end, slots_,
                            [&](int slot, int from, int to) { FilteredRows(result, slot, from, to); });
        }
        out.Adopt(result);
        return true;
    }

private:
    Coefficients* RingRow(int row) const { return ring_.get() + static_cast<size_t>(row % ringRows_) * w_; }

    // Adds (sign 1) or takes away (sign -1) one row of the picture from the column sums.
    void AccumulateRow(WindowSums* columns, int line, int64_t sign) const
    {
        const uint8_t* q = effects::ScanLine(guide_, line);
        const uint8_t* in = effects::ScanLine(input_, line);
        for (int x = 0; x < w_; ++x, q += step_) {
            const int64_t b = q[0], g = q[1], r = q[2], p = in[x];
            WindowSums& s = columns[x];
            s.b += sign * b, s.g += sign * g, s.r += sign * r;
            s.bb += sign * b * b, s.gg += sign * g * g, s.rr += sign * r * r;
            s.bg += sign * b * g, s.br += sign * b * r, s.gr += sign * g * r;
            s.p += sign * p, s.bp += sign * b * p, s.gp += sign * g * p, s.rp += sign * r * p;
        }
    }

    // The coefficients of rows from..to - 1 into the ring.
    void CoefficientRows(int slot, int from, int to)
    {
        WindowSums* columns = columnSums_.get() + static_cast<size_t>(slot) * w_;
        std::fill(columns, columns + w_, WindowSums{});
        for (int line = std::max(from - radius_, 0); line <= std::min(from + radius_, h_ - 1); ++line)
            AccumulateRow(columns, line, 1);
        for (int line = from; line < to; ++line) {
            const int64_t rows = std::min(line + radius_, h_ - 1) - std::max(line - radius_, 0) + 1;
            Coefficients* out = RingRow(line);
            WindowSums window{};
            for (int x = 0; x <= std::min(radius_, w_ - 1); ++x)
                window.Add(columns[x]);
            for (int x = 0; x < w_; ++x) {
                const int64_t n = rows * (std::min(x + radius_, w_ - 1) - std::max(x - radius_, 0) + 1);
                out[x] = n <= kInt64Window ? Solve<int64_t>(window, n, epsilon_) : Solve<__int128>(window, n, epsilon_);
                if (x + radius_ + 1 < w_)
                    window.Add(columns[x + radius_ + 1]);
                if (x - radius_ >= 0)
                    window.Subtract(columns[x - radius_]);
            }
            if (line + 1 < to) {
                if (line - radius_ >= 0)
                    AccumulateRow(columns, line - radius_, -1);
                if (line + radius_ + 1 < h_)
                    AccumulateRow(columns, line + radius_ + 1, 1);
            }
            ReportRowDone();
        }
    }

    static void AddCoefficients(Coefficients& sum, const Coefficients& c, double sign)
    {
        sum.aBlue += sign * c.aBlue, sum.aGreen += sign * c.aGreen, sum.aRed += sign * c.aRed, sum.b += sign * c.b;
    }

    // The output rows from..to - 1 from the coefficients averaged over each pixel's window.
    void FilteredRows(NImageBuffer& result, int slot, int from, int to) const
    {
        Coefficients* columns = columnMeans_.get() + static_cast<size_t>(slot) * w_;
        std::fill(columns, columns + w_, Coefficients{});
        auto accumulate = [&](int line, double sign) {
            const Coefficients* row = RingRow(line);
            for (int x = 0; x < w_; ++x)
                AddCoefficients(columns[x], row[x], sign);
        };
        for (int line = std::max(from - radius_, 0); line <= std::min(from + radius_, h_ - 1); ++line)
            accumulate(line, 1);
        for (int line = from; line < to; ++line) {
            const double rows = std::min(line + radius_, h_ - 1) - std::max(line - radius_, 0) + 1;
            const uint8_t* q = effects::ScanLine(guide_, line);
            uint8_t* out = effects::ScanLine(result, line);
            Coefficients window{};
            for (int x = 0; x <= std::min(radius_, w_ - 1); ++x)
                AddCoefficients(window, columns[x], 1);
            for (int x = 0; x < w_; ++x, q += step_) {
                const double n = rows * (std::min(x + radius_, w_ - 1) - std::max(x - radius_, 0) + 1);
                const double value =
                    (window.aGreen * q[1] + window.aBlue * q[0] + window.aRed * q[2] + window.b) / n;
                out[x] = value == value ? static_cast<uint8_t>(std::lround(std::clamp(value, 0.0, 255.0))) : 0;
                if (x + radius_ + 1 < w_)
                    AddCoefficients(window, columns[x + radius_ + 1], 1);
                if (x - radius_ >= 0)
                    AddCoefficients(window, columns[x - radius_], -1);
            }
            if (line + 1 < to) {
                if (line - radius_ >= 0)
                    accumulate(line - radius_, -1);
                if (line + radius_ + 1 < h_)
                    accumulate(line + radius_ + 1, 1);
            }
        }
    }

    // Progress in percent of the coefficient rows, reported whenever it grows.
    void ReportRowDone()
    {
        if (!progress_)
            return;
        const int done = rowsDone_.fetch_add(1) + 1;
        const int percent = static_cast<int>(static_cast<int64_t>(done) * 100 / h_);
        int shown = percentShown_.load();
        while (percent > shown) {
            if (percentShown_.compare_exchange_weak(shown, percent)) {
                progress_->SetProgress(0, 100, percent);
                break;
            }
        }
    }

    const NImageBuffer& guide_;
    const NImageBuffer& input_;
    const double epsilon_;
    const int w_, h_, radius_, step_;
    NProgressSink* const progress_;
    int ringRows_ = 0;
    int slots_ = 1;
    std::unique_ptr<Coefficients[]> ring_;
    std::unique_ptr<WindowSums[]> columnSums_;
    std::unique_ptr<Coefficients[]> columnMeans_;
    std::atomic<int> rowsDone_{0};
    std::atomic<int> percentShown_{-1};
};

}  // namespace

bool GuidedFilterColor(NImageBuffer& out, const NImageBuffer& guide, const NImageBuffer& input, double epsilon,
                       int radius, NProgressSink* progress, size_t coefficientBudget)
{
    if (!effects::IsEffectPicture(guide) || !input.valid || input.bpp != 8 || input.width != guide.width ||
        input.height != guide.height || !(epsilon > 0) || !std::isfinite(epsilon))
        return false;
    GuidedFilter filter(guide, input, epsilon, radius, progress);
    return filter.Run(out, coefficientBudget);
}
