// Free rotation of a picture and the entry of the four-point warp.
#include "imaging/NImageBuffer.h"

#include "imaging/RotateBits32.h"
#include "imaging/ShearRotation.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;

// A canvas side from a floating-point extent; rounding noise of an exact quarter turn does not
// add a pixel.
int64_t CanvasSide(double extent)
{
    return static_cast<int64_t>(std::ceil(extent - 1e-6));
}

}  // namespace

bool NImageBuffer::Rotate(double angleDegrees, COLORREF background)
{
    if (!valid || !std::isfinite(angleDegrees))
        return false;
    GdiFlush();

    if (bpp == 32) {
        // Uncovered corners are transparent black whatever the background.
        RotateImage32 source{reinterpret_cast<uint32_t*>(bits), static_cast<uint32_t>(width),
                             static_cast<uint32_t>(height), static_cast<uint32_t>(stride)};
        RotateImage32 turned{};
        RotateBits32(&turned, &source, 0, angleDegrees);
        if (!turned.bits)
            return false;
        bool replaced = ReplaceFromBits(static_cast<int>(turned.width), static_cast<int>(turned.height), 32,
                                        turned.bits, nullptr);
        free(turned.bits);
        return replaced;
    }

    NImageRotateByShearBYTE engine;
    memcpy(engine.palette, palette, sizeof(engine.palette));
    const uint32_t backgroundRgb = (static_cast<uint32_t>(GetRValue(background)) << 16) |
                                   (static_cast<uint32_t>(GetGValue(background)) << 8) | GetBValue(background);
    NRotateSize resultSize{};
    unsigned char* rows = engine.Rotate(bits, NRotateSize{static_cast<uint32_t>(width), static_cast<uint32_t>(height)},
                                        bpp, angleDegrees, &resultSize, backgroundRgb);
    if (!rows)
        return false;
    bool replaced = ReplaceFromBits(static_cast<int>(resultSize.width), static_cast<int>(resultSize.height), 24, rows,
                                    nullptr);
    engine.FreeBuffer(rows, resultSize);
    return replaced;
}

bool NImageBuffer::RotateNearest(double angleDegrees, COLORREF background)
{
    if (!valid || !std::isfinite(angleDegrees))
        return false;

    // Pictures below 24 bpp are read from a 24-bpp copy; this one changes only on success.
    NImageBuffer converted;
    const NImageBuffer* source = this;
    if (bpp < 24) {
        if (!converted.Copy(*this) || !converted.ConvertToBpp(24, false) || converted.bpp != 24)
            return false;
        source = &converted;
    }
    const int step = source->bpp / 8;

    const double theta = std::fmod(360.0 - angleDegrees, 360.0) * kPi / 180.0;
    const double c = std::cos(theta);
    const double s = std::sin(theta);
    const double w = source->width;
    const double h = source->height;
    // Where the corners (W, 0), (W, H) and (0, H) land; (0, 0) stays.
    const double xs[4] = {0, w * c, w * c - h * s, -h * s};
    const double ys[4] = {0, w * s, w * s + h * c, h * c};
    const double x0 = *std::min_element(xs, xs + 4);
    const double y0 = *std::min_element(ys, ys + 4);
    const int64_t canvasWidth = CanvasSide(*std::max_element(xs, xs + 4) - x0);
    const int64_t canvasHeight = CanvasSide(*std::max_element(ys, ys + 4) - y0);
    if (canvasWidth < 1 || canvasHeight < 1 || canvasWidth > INT32_MAX || canvasHeight > INT32_MAX)
        return false;

    NImageBuffer canvas;
    if (!canvas.Create(static_cast<int>(canvasWidth), static_cast<int>(canvasHeight), step * 8,
                       step == 4 ? 0 : background))
        return false;
    GdiFlush();
    if (step == 4)
        memset(canvas.bits, 0, static_cast<size_t>(canvas.stride) * canvas.height);

    // Each canvas pixel takes the source pixel under its centre, turned back.
    const int64_t sourceWidth = source->width;
    const int64_t sourceHeight = source->height;
#pragma omp parallel for schedule(static)
    for (int64_t i = 0; i < canvasHeight; ++i) {
        uint8_t* out = canvas.bits + static_cast<size_t>(i) * canvas.stride;
        const double y = i + 0.5 + y0;
        for (int64_t j = 0; j < canvasWidth; ++j, out += step) {
            const double x = j + 0.5 + x0;
            const double u = std::floor(c * x + s * y);
            const double v = std::floor(c * y - s * x);
            if (u < 0 || u >= sourceWidth || v < 0 || v >= sourceHeight)
                continue;
            const uint8_t* in = source->bits + static_cast<size_t>(v) * source->stride + static_cast<size_t>(u) * step;
            memcpy(out, in, step);
        }
    }
    Adopt(canvas);
    return true;
}

bool NImageBuffer::WarpToQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4)
{
    if (!valid)
        return false;
    // Pictures below 32 bpp are warped from a 32-bpp copy; this one changes only on success.
    NImageBuffer converted;
    const NImageBuffer* source = this;
    if (bpp != 32) {
        if (!converted.Copy(*this) || !converted.ConvertToBpp(32, false) || converted.bpp != 32)
            return false;
        source = &converted;
    }
    const float xs[4] = {static_cast<float>(x1), static_cast<float>(x2), static_cast<float>(x3),
                         static_cast<float>(x4)};
    const float ys[4] = {static_cast<float>(y1), static_cast<float>(y2), static_cast<float>(y3),
                         static_cast<float>(y4)};
    NImageBuffer result;
    if (!source->WarpIntoQuad(result, xs, 4, ys, 4))
        return false;
    Adopt(result);
    return true;
}
