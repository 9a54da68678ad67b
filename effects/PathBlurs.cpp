// Spin, zoom and motion blur.
//
// Positions of the spin and zoom blurs are 16.16 fixed point in 64 bits: a picture side of more
// than 32767 pixels already takes its centre past 2^31.
#include "effects/PathBlurs.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

#include "effects/EffectPixels.h"

using effects::IsEffectPicture;
using effects::ScanLine;

namespace {

inline const uint8_t* PixelAt(const NImageBuffer& picture, int x, int line)
{
    return ScanLine(picture, line) + static_cast<size_t>(x) * (picture.bpp / 8);
}

// Sums of colours weighted by alpha (alpha 255 at 24 bpp) over a pixel's samples.
struct WeightedSum {
    int colour[3] = {};
    int alpha = 0;
    int count = 0;

    void Add(const uint8_t* pixel, bool withAlpha)
    {
        const int a = withAlpha ? pixel[3] : 255;
        for (int c = 0; c < 3; ++c)
            colour[c] += pixel[c] * a;
        alpha += a;
        ++count;
    }

    // The mean into `out`: colours divided by the alpha sum, alpha (32 bpp) the mean alpha. When
    // every sample is transparent the pixel keeps its colour and becomes transparent.
    void Store(uint8_t* out, bool withAlpha) const
    {
        if (alpha == 0) {
            out[3] = 0;  // only at 32 bpp: at 24 bpp every sample weighs 255
            return;
        }
        for (int c = 0; c < 3; ++c)
            out[c] = effects::ClampByte(colour[c] / alpha);
        if (withAlpha)
            out[3] = effects::ClampByte(alpha / count);
    }
};

// One step of the spin blur's second-order rotation by s (16.16 radians) of the point (x, y);
// sSquared is s^2 >> 11. Both new coordinates come from the old ones.
inline void Turn(int64_t& x, int64_t& y, int64_t s, int64_t sSquared)
{
    const int64_t nx = x - (((y >> 8) * s) >> 8) - (((x >> 14) * sSquared) >> 8);
    const int64_t ny = y + (((x >> 8) * s) >> 8) - (((y >> 14) * sSquared) >> 8);
    x = nx;
    y = ny;
}

}  // namespace

bool SpinBlur(NImageBuffer& picture, double angle)
{
    if (!IsEffectPicture(picture) || !std::isfinite(angle))
        return false;
    angle = std::clamp(angle, -360.0, 360.0);
    const int64_t s = static_cast<int64_t>(std::trunc(angle * std::numbers::pi * 65536 / 181)) / 64;
    if (s == 0)
        return true;  // every sample falls on the pixel itself
    const int64_t sSquared = (s * s) >> 11;
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    const int width = picture.width, height = picture.height;
    const int64_t centreX = width * int64_t{32768}, centreY = height * int64_t{32768};
    const int step = picture.bpp / 8;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        const int64_t startY = line * int64_t{65536} - centreY;
        for (int x = 0; x < width; ++x, row += step) {
            int sums[3] = {row[0] * 64, row[1] * 64, row[2] * 64};
            int weight = 64;
            auto add = [&](int64_t px, int64_t py) {
                const int64_t column = (px + centreX + 32768) >> 16, sampleLine = (py + centreY + 32768) >> 16;
                if (column < 0 || column >= width || sampleLine < 0 || sampleLine >= height)
                    return;
                const uint8_t* p = PixelAt(source, static_cast<int>(column), static_cast<int>(sampleLine));
                for (int c = 0; c < 3; ++c)
                    sums[c] += p[c] * 64;
                weight += 64;
            };
            int64_t ax = x * int64_t{65536} - centreX, ay = startY;
            int64_t bx = ax, by = ay;
            for (int i = 0; i < 32; ++i) {
                for (int k = 0; k < 2; ++k) {
                    Turn(ax, ay, s, sSquared);
                    add(ax, ay);
                }
                for (int k = 0; k < 2; ++k) {
                    Turn(bx, by, -s, sSquared);
                    add(bx, by);
                }
            }
            for (int c = 0; c < 3; ++c)
                row[c] = effects::ClampByte(sums[c] / weight);
        }
    });
    return true;
}

bool ZoomBlur(NImageBuffer& picture, int strength, double cx, double cy)
{
    if (!IsEffectPicture(picture) || !std::isfinite(cx) || !std::isfinite(cy))
        return false;
    const int64_t a = std::clamp(strength, 1, 150);
    const int width = picture.width, height = picture.height;
    const int64_t centreX = width * int64_t{32768} + static_cast<int64_t>(std::trunc(width * std::clamp(cx, -2.0, 2.0) * 32768));
    const int64_t centreY = height * int64_t{32768} + static_cast<int64_t>(std::trunc(height * std::clamp(cy, -2.0, 2.0) * 32768));
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    const int step = picture.bpp / 8;
    const bool withAlpha = picture.bpp == 32;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        for (int x = 0; x < width; ++x, row += step) {
            WeightedSum sum;
            sum.Add(PixelAt(source, x, line), withAlpha);
            int64_t dx = x * int64_t{65536} - centreX, dy = line * int64_t{65536} - centreY;
            for (int i = 0; i < 64; ++i) {
                dx += dx / -16 * a / 1024;
                dy += dy / -16 * a / 1024;
                const int64_t column = (centreX + 32768 + dx) / 65536, sampleLine = (centreY + 32768 + dy) / 65536;
                if (column >= 0 && column < width && sampleLine >= 0 && sampleLine < height)
                    sum.Add(PixelAt(source, static_cast<int>(column), static_cast<int>(sampleLine)), withAlpha);
            }
            sum.Store(row, withAlpha);
        }
    });
    return true;
}

bool MotionBlur(NImageBuffer& picture, int length, int angle)
{
    if (!IsEffectPicture(picture))
        return false;
    length = std::clamp(length, 1, 150);
    const double theta = angle * std::numbers::pi / 180;
    int gx = static_cast<int>(std::cos(theta) * length), gy = static_cast<int>(std::sin(theta) * length);
    const int signX = (gx > 0) - (gx < 0), signY = (gy > 0) - (gy < 0);
    gx = std::abs(gx);
    gy = std::abs(gy);
    // Bresenham along the steeper axis.
    const bool yMajor = gy > gx;
    const int major = yMajor ? gy : gx, minor = yMajor ? gx : gy;
    const int majorX = yMajor ? 0 : signX, majorY = yMajor ? signY : 0;
    const int minorX = yMajor ? signX : 0, minorY = yMajor ? 0 : signY;
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    const int width = picture.width, height = picture.height;
    const int step = picture.bpp / 8;
    const bool withAlpha = picture.bpp == 32;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        for (int x = 0; x < width; ++x, row += step) {
            WeightedSum sum;
            int px = x, py = line;
            int error = 2 * minor - major;
            for (int i = 0; i < length; ++i) {
                sum.Add(PixelAt(source, px, py), withAlpha);
                if (error >= 0) {
                    px += minorX;
                    py += minorY;
                    error -= 2 * major;
                }
                px += majorX;
                py += majorY;
                if (px < 0 || px >= width || py < 0 || py >= height)
                    break;
                error += 2 * minor;
            }
            sum.Store(row, withAlpha);
        }
    });
    return true;
}
