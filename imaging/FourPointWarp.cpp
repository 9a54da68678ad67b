// The four-point warp.
#include "imaging/FourPointWarp.h"

#include "imaging/NImageBuffer.h"

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr double kTolerance = 1e-9;

// Output sums of one pixel: colours weighted by covered area, the area, and the area weighted
// by the source alpha (0..1).
struct Accumulator {
    float red;
    float green;
    float blue;
    float area;
    float alpha;
};

struct WarpBounds {
    int64_t minX;
    int64_t minY;
    int64_t width;
    int64_t height;
};

// The state of one warp: the corner grid of the source and the bounds of the output.
struct WarpJob {
    const NImageBuffer& source;
    std::unique_ptr<WarpPoint[]> grid;  // (W + 1) x (H + 1), point (i, j) at i + j * (W + 1)
    WarpBounds bounds{};

    const WarpPoint& GridAt(int64_t i, int64_t j) const { return grid[i + j * (source.width + 1)]; }
};

bool WarpBuildGrid(WarpJob& job, const float* xs, const float* ys)
{
    const int64_t w = job.source.width;
    const int64_t h = job.source.height;
    double cx[4];
    double cy[4];
    double length[4];
    double dirX[4];
    double dirY[4];
    for (int k = 0; k < 4; ++k) {
        cx[k] = xs[k];
        cy[k] = ys[k];
    }
    for (int k = 0; k < 4; ++k) {
        int next = (k + 1) % 4;
        double dx = cx[next] - cx[k];
        double dy = cy[next] - cy[k];
        length[k] = std::sqrt(dx * dx + dy * dy);
        // An edge of no length (two equal corners) has no direction.
        if (!std::isfinite(length[k]) || length[k] < kTolerance)
            return false;
        dirX[k] = dx / length[k];
        dirY[k] = dy / length[k];
    }
    // The corners must turn one way only (a convex quadrilateral, either orientation); otherwise
    // grid lines meet far outside and cells overlap.
    bool turnsLeft = false;
    bool turnsRight = false;
    for (int k = 0; k < 4; ++k) {
        int next = (k + 1) % 4;
        double cross = dirX[k] * dirY[next] - dirY[k] * dirX[next];
        turnsLeft = turnsLeft || cross > kTolerance;
        turnsRight = turnsRight || cross < -kTolerance;
    }
    if (turnsLeft && turnsRight)
        return false;

    bool parallel = false;
#pragma omp parallel for schedule(static) reduction(|| : parallel)
    for (int64_t j = 0; j <= h; ++j) {
        const double b = static_cast<double>(j) / h;
        // The points at fraction b down the left (C) and right (D) edges.
        const double pointCx = cx[3] + (1 - b) * length[3] * dirX[3];
        const double pointCy = cy[3] + (1 - b) * length[3] * dirY[3];
        const double pointDx = cx[1] + b * length[1] * dirX[1];
        const double pointDy = cy[1] + b * length[1] * dirY[1];
        const double a2 = pointDy - pointCy;
        const double b2 = pointCx - pointDx;
        const double r2 = a2 * pointCx + b2 * pointCy;
        for (int64_t i = 0; i <= w && !parallel; ++i) {
            const double a = static_cast<double>(i) / w;
            // The points at fraction a along the top (A) and bottom (B) edges.
            const double pointAx = cx[0] + a * length[0] * dirX[0];
            const double pointAy = cy[0] + a * length[0] * dirY[0];
            const double pointBx = cx[2] + (1 - a) * length[2] * dirX[2];
            const double pointBy = cy[2] + (1 - a) * length[2] * dirY[2];
            const double a1 = pointBy - pointAy;
            const double b1 = pointAx - pointBx;
            const double r1 = a1 * pointAx + b1 * pointAy;
            const double determinant = a1 * b2 - a2 * b1;
            if (!(std::fabs(determinant) >= kTolerance)) {
                parallel = true;
                break;
            }
            const double x = (r1 * b2 - r2 * b1) / determinant;
            const double y = (a1 * r2 - a2 * r1) / determinant;
            if (!std::isfinite(x) || !std::isfinite(y)) {
                parallel = true;
                break;
            }
            job.grid[i + j * (w + 1)] = WarpPoint{static_cast<float>(x), static_cast<float>(y)};
        }
    }
    return !parallel;
}

// Renders the grid into output. The output rows are split into bands, one per thread; every band
// visits the cells in the same order and adds only into its own rows, so no addition is lost and
// the result does not depend on the number of threads.
bool WarpRender(const WarpJob& job, NImageBuffer& output)
{
    const NImageBuffer& source = job.source;
    const int64_t w = source.width;
    const int64_t h = source.height;
    const int64_t outW = output.width;
    const int64_t outH = output.height;
    const size_t pixels = static_cast<size_t>(outW) * static_cast<size_t>(outH);
    std::unique_ptr<Accumulator[]> sums(new (std::nothrow) Accumulator[pixels]);
    std::unique_ptr<float[]> rowTop(new (std::nothrow) float[h + 1]);
    std::unique_ptr<float[]> rowBottom(new (std::nothrow) float[h + 1]);
    if (!sums || !rowTop || !rowBottom)
        return false;
    memset(sums.get(), 0, pixels * sizeof(Accumulator));

    // The vertical extent of each grid row, to skip whole cell rows outside a band.
    for (int64_t j = 0; j <= h; ++j) {
        float top = job.GridAt(0, j).y;
        float bottom = top;
        for (int64_t i = 1; i <= w; ++i) {
            top = std::min(top, job.GridAt(i, j).y);
            bottom = std::max(bottom, job.GridAt(i, j).y);
        }
        rowTop[j] = top;
        rowBottom[j] = bottom;
    }

    GdiFlush();
    const int64_t bands = std::max<int64_t>(1, std::min<int64_t>(omp_get_max_threads(), outH));
#pragma omp parallel for schedule(static)
    for (int64_t band = 0; band < bands; ++band) {
        const int64_t bandTop = outH * band / bands;
        const int64_t bandBottom = outH * (band + 1) / bands - 1;
        for (int64_t b = 0; b < h; ++b) {
            const double cellsTop = std::min(rowTop[b], rowTop[b + 1]);
            const double cellsBottom = std::max(rowBottom[b], rowBottom[b + 1]);
            if (CeilTolerant(cellsBottom) < bandTop || FloorTolerant(cellsTop) - 1 > bandBottom)
                continue;
            const uint8_t* sourceRow = source.bits + static_cast<size_t>(h - 1 - b) * source.stride;
            for (int64_t d = 0; d < w; ++d) {
                const WarpPoint corners[4] = {job.GridAt(d, b), job.GridAt(d + 1, b), job.GridAt(d + 1, b + 1),
                                              job.GridAt(d, b + 1)};
                double left = corners[0].x, right = corners[0].x;
                double top = corners[0].y, bottom = corners[0].y;
                for (int k = 1; k < 4; ++k) {
                    left = std::min<double>(left, corners[k].x);
                    right = std::max<double>(right, corners[k].x);
                    top = std::min<double>(top, corners[k].y);
                    bottom = std::max<double>(bottom, corners[k].y);
                }
                const int64_t yFirst = std::max(FloorTolerant(top) - 1, bandTop);
                const int64_t yLast = std::min(CeilTolerant(bottom), bandBottom);
                const int64_t xFirst = std::max<int64_t>(FloorTolerant(left) - 1, 0);
                const int64_t xLast = std::min(CeilTolerant(right), outW - 1);
                if (yFirst > yLast || xFirst > xLast)
                    continue;
                const uint8_t* pixel = sourceRow + d * 4;
                const float alpha = pixel[3] / 255.0f;
                for (int64_t y = yFirst; y <= yLast; ++y) {
                    for (int64_t x = xFirst; x <= xLast; ++x) {
                        WarpPoint relative[4];
                        for (int k = 0; k < 4; ++k)
                            relative[k] = WarpPoint{corners[k].x - static_cast<float>(x),
                                                    corners[k].y - static_cast<float>(y)};
                        const float area = QuadUnitSquareArea(relative);
                        if (area > 0) {
                            Accumulator& sum = sums[static_cast<size_t>(y * outW + x)];
                            sum.red += pixel[2] * area;
                            sum.green += pixel[1] * area;
                            sum.blue += pixel[0] * area;
                            sum.area += area;
                            sum.alpha += alpha * area;
                        }
                    }
                }
            }
        }
    }

    auto toByte = [](float value) {
        float rounded = value + 0.5f;
        return static_cast<uint8_t>(rounded <= 0 ? 0 : (rounded >= 255 ? 255 : static_cast<int>(rounded)));
    };
    for (int64_t y = 0; y < outH; ++y) {
        uint8_t* out = output.bits + static_cast<size_t>(outH - 1 - y) * output.stride;
        for (int64_t x = 0; x < outW; ++x, out += 4) {
            const Accumulator& sum = sums[static_cast<size_t>(y * outW + x)];
            if (!(sum.area > 0)) {
                out[0] = out[1] = out[2] = out[3] = 0;
                continue;
            }
            // Colours are averages over the covered part (straight alpha); the coverage goes to alpha.
            out[0] = toByte(sum.blue / sum.area);
            out[1] = toByte(sum.green / sum.area);
            out[2] = toByte(sum.red / sum.area);
            out[3] = toByte(sum.alpha * 255.0f);
        }
    }
    return true;
}

bool WarpRun(const NImageBuffer& source, NImageBuffer& output, const float* xs, const float* ys)
{
    WarpJob job{source, nullptr};
    const size_t points = static_cast<size_t>(source.width + 1) * static_cast<size_t>(source.height + 1);
    job.grid.reset(new (std::nothrow) WarpPoint[points]);
    if (!job.grid)
        return false;
    int64_t minX = FloorTolerant(xs[0]);
    int64_t minY = FloorTolerant(ys[0]);
    int64_t maxX = CeilTolerant(xs[0]);
    int64_t maxY = CeilTolerant(ys[0]);
    for (int k = 1; k < 4; ++k) {
        minX = std::min(minX, FloorTolerant(xs[k]));
        minY = std::min(minY, FloorTolerant(ys[k]));
        maxX = std::max(maxX, CeilTolerant(xs[k]));
        maxY = std::max(maxY, CeilTolerant(ys[k]));
    }
    job.bounds = WarpBounds{minX, minY, maxX - minX, maxY - minY};
    return WarpBuildGrid(job, xs, ys) && WarpRender(job, output);
}

// Keeps the part of polygon in[0..count) on the inner side of one edge of the unit square.
// axis 0 clips on x, 1 on y; keepBelow keeps the side <= limit, else >= limit.
int ClipPolygon(const double (*in)[2], int count, double (*out)[2], int axis, double limit, bool keepBelow)
{
    auto inside = [&](const double* p) { return keepBelow ? p[axis] <= limit : p[axis] >= limit; };
    int produced = 0;
    for (int k = 0; k < count; ++k) {
        const double* current = in[k];
        const double* previous = in[(k + count - 1) % count];
        const bool currentIn = inside(current);
        const bool previousIn = inside(previous);
        if (currentIn != previousIn) {
            const double f = (limit - previous[axis]) / (current[axis] - previous[axis]);
            out[produced][axis] = limit;
            out[produced][1 - axis] = previous[1 - axis] + f * (current[1 - axis] - previous[1 - axis]);
            ++produced;
        }
        if (currentIn) {
            out[produced][0] = current[0];
            out[produced][1] = current[1];
            ++produced;
        }
    }
    return produced;
}

}  // namespace

int64_t FloorTolerant(double v)
{
    double nearest = std::floor(v + 0.5);
    if (std::fabs(v - nearest) < kTolerance)
        return static_cast<int64_t>(nearest);
    return static_cast<int64_t>(std::floor(v));
}

int64_t CeilTolerant(double v)
{
    double nearest = std::floor(v + 0.5);
    if (std::fabs(v - nearest) < kTolerance)
        return static_cast<int64_t>(nearest);
    return static_cast<int64_t>(std::ceil(v));
}

float QuadUnitSquareArea(const WarpPoint p[4])
{
    // Clipping against each of the four half-planes adds at most one point per edge of its input,
    // so 4 points grow to at most 64.
    double first[64][2];
    double second[64][2];
    for (int k = 0; k < 4; ++k) {
        first[k][0] = p[k].x;
        first[k][1] = p[k].y;
    }
    int count = ClipPolygon(first, 4, second, 0, 0.0, false);
    count = ClipPolygon(second, count, first, 0, 1.0, true);
    count = ClipPolygon(first, count, second, 1, 0.0, false);
    count = ClipPolygon(second, count, first, 1, 1.0, true);
    if (count < 3)
        return 0;
    double twiceArea = 0;
    for (int k = 0; k < count; ++k) {
        const double* a = first[k];
        const double* b = first[(k + 1) % count];
        twiceArea += a[0] * b[1] - a[1] * b[0];
    }
    return static_cast<float>(std::fabs(twiceArea) / 2);
}

bool NImageBuffer::WarpIntoQuad(NImageBuffer& output, const float* xs, int xCount, const float* ys,
                                int yCount) const
{
    if (!valid || bpp != 32 || &output == this || !xs || !ys || xCount != 4 || yCount != 4)
        return false;
    float x[4];
    float y[4];
    for (int k = 0; k < 4; ++k) {
        if (!std::isfinite(xs[k]) || !std::isfinite(ys[k]))
            return false;
        x[k] = xs[k];
        y[k] = ys[k];
    }
    const float minX = *std::min_element(x, x + 4);
    const float minY = *std::min_element(y, y + 4);
    int64_t outW = 0;
    int64_t outH = 0;
    for (int k = 0; k < 4; ++k) {
        x[k] -= minX;
        y[k] -= minY;
        outW = std::max(outW, CeilTolerant(x[k]));
        outH = std::max(outH, CeilTolerant(y[k]));
    }
    if (outW < 1 || outH < 1 || outW > INT32_MAX || outH > INT32_MAX)
        return false;
    NImageBuffer result;
    if (!result.Create(static_cast<int>(outW), static_cast<int>(outH), 32, 0))
        return false;
    GdiFlush();
    memset(result.bits, 0, static_cast<size_t>(result.stride) * result.height);
    if (!WarpRun(*this, result, x, y))
        return false;
    output.Adopt(result);
    return true;
}
