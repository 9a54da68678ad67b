// How document coordinates become view coordinates in an editor view at a scroll offset and a
// zoom: v = offset + trunc(c x zoom). With a negative offset and a zoom of at least 1, v is then
// raised to the next multiple of trunc(zoom), so that scrolled pixels stay on the zoom's grid.
// The document's Paint works in double precision, the painters in single precision. Every view
// coordinate, mapped or (in render mode) taken as it stands, is kept inside +-2^29, so that
// differences of two, and margins added to them, stay inside 32 bits.
#pragma once

#include <windows.h>

#include <cmath>
#include <cstdint>

namespace DocView {

constexpr double kLimit = 536870912.0;   // 2^29

// A coordinate taken as it stands, kept inside the limit.
inline int Clamp(int64_t value)
{
    const int64_t limit = static_cast<int64_t>(kLimit);
    return static_cast<int>(value < -limit ? -limit : value > limit ? limit : value);
}

template <typename Real>
int Map(int32_t coordinate, int offset, Real zoom)
{
    const Real product = static_cast<Real>(coordinate) * zoom;
    double scaled = std::isfinite(static_cast<double>(product)) ? std::trunc(static_cast<double>(product)) : 0.0;
    double v = static_cast<double>(offset) + scaled;
    if (v > kLimit)
        v = kLimit;
    if (v < -kLimit)
        v = -kLimit;
    int64_t value = static_cast<int64_t>(v);
    const double step = std::isfinite(static_cast<double>(zoom)) ? std::trunc(static_cast<double>(zoom)) : 0.0;
    if (offset < 0 && step >= 1.0 && step <= kLimit) {
        const int64_t s = static_cast<int64_t>(step);
        const int64_t remainder = ((value % s) + s) % s;
        if (remainder != 0)
            value += s - remainder;
    }
    return static_cast<int>(value);
}

template <typename Real>
POINT MapPoint(int32_t x, int32_t y, int offsetX, int offsetY, Real zoom, bool render)
{
    if (render)
        return POINT{Clamp(x), Clamp(y)};
    return POINT{Map(x, offsetX, zoom), Map(y, offsetY, zoom)};
}

// The rectangle with left <= right and top <= bottom.
inline RECT Normalised(RECT r)
{
    if (r.left > r.right) {
        const LONG t = r.left;
        r.left = r.right;
        r.right = t;
    }
    if (r.top > r.bottom) {
        const LONG t = r.top;
        r.top = r.bottom;
        r.bottom = t;
    }
    return r;
}

}  // namespace DocView
