// Geometric distortions.
#include "effects/Distortions.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <numbers>

#include "effects/EffectPixels.h"
#include "effects/Histograms.h"

using effects::IsEffectPicture;
using effects::ScanLine;

namespace {

// A neighbour outside the picture: white with alpha 0.
constexpr uint8_t kOutside[4] = {255, 255, 255, 0};
constexpr uint32_t kTransparentWhite = 0x00FFFFFF;

inline const uint8_t* PixelAt(const NImageBuffer& picture, int x, int line)
{
    return ScanLine(picture, line) + static_cast<size_t>(x) * (picture.bpp / 8);
}

// The bilinear sample of `source` at (x, y): the position clamped into the picture, and
// transparent white for one outside (-1, W) x (-1, H) (NaN included).
uint32_t SampleAt(const NImageBuffer& source, double x, double y)
{
    const int width = source.width, height = source.height;
    if (!(x > -1.0 && x < width && y > -1.0 && y < height))
        return kTransparentWhite;
    x = std::clamp(x, 0.0, width - 1.0);
    y = std::clamp(y, 0.0, height - 1.0);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);  // floor: both are >= 0
    const bool right = x0 + 1 < width, up = y0 + 1 < height;
    const uint8_t* p00 = PixelAt(source, x0, y0);
    const uint8_t* p10 = right ? PixelAt(source, x0 + 1, y0) : kOutside;
    const uint8_t* p01 = up ? PixelAt(source, x0, y0 + 1) : kOutside;
    const uint8_t* p11 = right && up ? PixelAt(source, x0 + 1, y0 + 1) : kOutside;
    return SampleBilinear(x - x0, y - y0, source.bpp, p00, p10, p01, p11);
}

// Writes every pixel of the picture from `source` (an unchanged copy of it): where
// map(x, line, sourceX, sourceY) answers true, the bilinear sample at the position it gives;
// elsewhere the pixel keeps its bytes. Rows split over the OpenMP team.
template <typename Map>
void MapPixels(NImageBuffer& picture, const NImageBuffer& source, Map map)
{
    const int step = picture.bpp / 8;
    const int width = picture.width;
    const bool withAlpha = picture.bpp == 32;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        for (int x = 0; x < width; ++x, row += step) {
            double sourceX, sourceY;
            if (!map(x, line, sourceX, sourceY))
                continue;
            const uint32_t value = SampleAt(source, sourceX, sourceY);
            row[0] = static_cast<uint8_t>(value);
            row[1] = static_cast<uint8_t>(value >> 8);
            row[2] = static_cast<uint8_t>(value >> 16);
            if (withAlpha)
                row[3] = static_cast<uint8_t>(value >> 24);
        }
    });
}

// trunc(value) clamped to 0..last, with NaN counted as 0.
inline int ClampedIndex(double value, int last)
{
    if (!(value > 0.0))
        return 0;
    return value >= last ? last : static_cast<int>(value);
}

// Generator of Jitter: splitmix64, seeded by the scan line; draws 15 bits as rand() does.
class LineRandom {
public:
    explicit LineRandom(int line) : state_(0x5DEECE66Dull * (static_cast<uint64_t>(line) + 1)) {}
    int Next()
    {
        state_ += 0x9E3779B97F4A7C15ull;
        uint64_t z = state_;
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        return static_cast<int>(z >> 49);
    }

private:
    uint64_t state_;
};

}  // namespace

bool Pinch(NImageBuffer& picture, int amount, double cx, double cy)
{
    if (!IsEffectPicture(picture) || !std::isfinite(cx) || !std::isfinite(cy))
        return false;
    const double a = std::clamp(amount, -200, 100) / 100.0;
    const double centreX = picture.width / 2.0 * (1 + std::clamp(cx, -1.0, 1.0));
    const double centreY = picture.height / 2.0 * (1 + std::clamp(cy, -1.0, 1.0));
    const double reach = std::min(picture.width, picture.height) / 2.0;
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    MapPixels(picture, source, [&](int x, int y, double& sx, double& sy) {
        const double dx = x - centreX, dy = y - centreY;
        const double w = 1 - std::sqrt(dx * dx + dy * dy) / reach;
        if (!(w > 0))
            return false;
        const double scale = 1 - a * w * w;
        sx = centreX + scale * dx;
        sy = centreY + scale * dy;
        return true;
    });
    return true;
}

bool Twirl(NImageBuffer& picture, int twist, int radiusPercent, double cx, double cy)
{
    if (!IsEffectPicture(picture) || !std::isfinite(cx) || !std::isfinite(cy))
        return false;
    // In double: twist * |twist| overflows int for a twist above 46340.
    const double turn = -static_cast<double>(twist) * std::abs(static_cast<double>(twist)) / 100.0;
    const double radius = std::min(picture.width, picture.height) / 2.0 * std::clamp(radiusPercent, 1, 300) / 100.0;
    const double centreX = picture.width / 2.0 * (1 + std::clamp(cx, -2.0, 2.0));
    const double centreY = picture.height / 2.0 * (1 + std::clamp(cy, -2.0, 2.0));
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    MapPixels(picture, source, [&](int x, int y, double& sx, double& sy) {
        const double dx = x - centreX, dy = y - centreY;
        const double w = 1 - std::sqrt(dx * dx + dy * dy) / radius;
        if (!(w > 0))
            return false;
        // Turning the offset by the angle is the same as adding it to atan2(dy, dx).
        const double angle = w * w * w * turn;
        const double c = std::cos(angle), s = std::sin(angle);
        sx = centreX + dx * c - dy * s;
        sy = centreY + dx * s + dy * c;
        return true;
    });
    return true;
}

bool Ripple(NImageBuffer& picture, int halfWavelength, int amplitude, double phase)
{
    if (!IsEffectPicture(picture) || !std::isfinite(phase))
        return false;
    const double width = picture.width, height = picture.height;
    double scaleX = 1, scaleY = 1;
    if (height > width)
        scaleX = height / width;
    else if (width > height)
        scaleY = width / height;
    const double frequency = 2 * std::numbers::pi / (2.0 * std::max(halfWavelength, 1));
    const double b = std::max(amplitude, 1);
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    MapPixels(picture, source, [&](int x, int y, double& sx, double& sy) {
        const double u = (x - width / 2) * scaleX, v = (y - height / 2) * scaleY;
        const double shift = std::sin(std::sqrt(u * u + v * v) * frequency + phase) * b;
        sx = (shift + u) / scaleX + width / 2;
        sy = (shift + v) / scaleY + height / 2;
        return true;
    });
    return true;
}

bool TangentWaves(NImageBuffer& picture, int period, int strength, int angle)
{
    if (!IsEffectPicture(picture))
        return false;
    period = std::clamp(period, 2, 200);
    strength = std::clamp(strength, -20, 20);
    if (strength == 0)
        strength = 1;
    const double theta = std::clamp(angle, -45, 45) * std::numbers::pi / 180;
    const double S = std::sin(theta), C = std::cos(theta);
    const double k = std::numbers::pi / period;
    const double A = (strength < 0 ? -1 : 1) * strength * strength / 10.0;
    constexpr int kSamples = 17;
    double offsetX[kSamples], offsetY[kSamples];
    for (int i = 0; i < kSamples; ++i) {
        const double u = static_cast<double>(i) / kSamples;
        const double v4 = 4.0 * i / kSamples;
        const double v = v4 - std::floor(v4);
        offsetX[i] = v * C + u * S;
        offsetY[i] = u * C - v * S;
    }
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    const int width = picture.width, height = picture.height;
    const double halfW = width / 2.0, halfH = height / 2.0;
    const int step = picture.bpp / 8;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        for (int x = 0; x < width; ++x, row += step) {
            int sums[4] = {};
            for (int i = 0; i < kSamples; ++i) {
                const double xr = (x - halfW) + offsetX[i], yr = (line - halfH) - offsetY[i];
                const double p = S * yr + C * xr, q = C * yr - S * xr;
                const double P = p + A * std::tan(k * p), Q = q + A * std::tan(k * q);
                // tan may come close to infinity: clamped in double before it becomes an index.
                const int sourceLine = ClampedIndex(C * Q + S * P + halfH, height - 1);
                const int sourceX = ClampedIndex(C * P - S * Q + halfW, width - 1);
                const uint8_t* s = PixelAt(source, sourceX, sourceLine);
                for (int c = 0; c < step; ++c)
                    sums[c] += s[c];
            }
            for (int c = 0; c < step; ++c)
                row[c] = effects::ClampByte(sums[c] / kSamples);
        }
    });
    return true;
}

bool Jitter(NImageBuffer& picture, int size)
{
    if (!IsEffectPicture(picture))
        return false;
    size = std::clamp(size, 3, 100);
    const int half = size / 2;
    NImageBuffer source;
    if (!source.Copy(picture))
        return false;
    const int width = picture.width, lastX = picture.width - 1, lastLine = picture.height - 1;
    const int step = picture.bpp / 8;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        LineRandom random(line);
        for (int x = 0; x < width; ++x, row += step) {
            const int sourceX = std::clamp(random.Next() % size + x - half, 0, lastX);
            const int sourceLine = std::clamp(random.Next() % size + line - half, 0, lastLine);
            const uint8_t* s = PixelAt(source, sourceX, sourceLine);
            for (int c = 0; c < step; ++c)
                row[c] = s[c];
        }
    });
    return true;
}
