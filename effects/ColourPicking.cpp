// Colour picking effects: white point, colour keep and colour replace.
#include "effects/ColourPicking.h"

#include <algorithm>
#include <cstdint>

#include "effects/EffectPixels.h"
#include "imaging/HslColour.h"

using effects::ForEachPixelParallel;
using effects::IntegerLuma;
using effects::IsEffectPicture;
using effects::PixelHsl;

namespace {

// The colour under (x, y) (y from the top) as its drawing surface shows it; false for a picture the
// effects do not take or a point outside it.
bool PickColour(const NImageBuffer& picture, int x, int y, HslColour& picked)
{
    if (!IsEffectPicture(picture) || x < 0 || y < 0 || x >= picture.width || y >= picture.height)
        return false;
    GdiFlush();
    const COLORREF colour = GetPixel(picture.dc, x, y);
    if (colour == CLR_INVALID)
        return false;
    picked.red = GetRValue(colour);
    picked.green = GetGValue(colour);
    picked.blue = GetBValue(colour);
    picked.SetFromRgb();
    return true;
}

// Whether hue lies within tolerance degrees of centre, the window wrapping past 0 and 360.
bool InHueWindow(double hue, double centre, double tolerance)
{
    const double low = centre - tolerance;
    const double high = centre + tolerance;
    if (std::max(low, 0.0) <= hue && hue <= centre)
        return true;
    if (centre <= hue && hue <= std::min(high, 360.0))
        return true;
    if (low < 0 && hue >= low + 360.0)
        return true;
    return high > 360.0 && hue < high - 360.0;
}

}  // namespace

bool WhitePointFromPixel(NImageBuffer& picture, int x, int y)
{
    HslColour picked;
    if (!PickColour(picture, x, y, picked))
        return false;

    // One table per channel (blue, green, red): c + (c - trunc(c * p / 255)), at most 255. The
    // product is exact in integers, so a channel picked at 255 stays as it is.
    uint8_t tables[3][256];
    const int points[3] = {picked.blue, picked.green, picked.red};
    for (int channel = 0; channel < 3; ++channel)
        for (int c = 0; c < 256; ++c) {
            const int k = c * points[channel] / 255;
            tables[channel][c] = static_cast<uint8_t>(std::min(255, 2 * c - k));
        }
    ForEachPixelParallel(picture, [&](uint8_t* p) {
        p[0] = tables[0][p[0]];
        p[1] = tables[1][p[1]];
        p[2] = tables[2][p[2]];
    });
    return true;
}

bool KeepPickedColour(NImageBuffer& picture, int x, int y, double tolerance)
{
    HslColour picked;
    if (!PickColour(picture, x, y, picked))
        return false;
    const double centre = picked.hue;
    ForEachPixelParallel(picture, [&](uint8_t* p) {
        if (InHueWindow(PixelHsl(p).hue, centre, tolerance))
            return;
        const uint8_t grey = static_cast<uint8_t>(IntegerLuma(p[2], p[1], p[0]));
        p[0] = p[1] = p[2] = grey;
    });
    return true;
}

bool ReplacePickedColour(NImageBuffer& picture, int x, int y, double tolerance, COLORREF target)
{
    HslColour picked;
    if (!PickColour(picture, x, y, picked))
        return false;
    HslColour wanted;
    wanted.red = GetRValue(target);
    wanted.green = GetGValue(target);
    wanted.blue = GetBValue(target);
    wanted.SetFromRgb();

    const double shift = wanted.hue - picked.hue;
    const double lightLow = std::clamp(picked.lightness - 2 * tolerance / 100, 0.0, 1.0);
    const double lightHigh = std::clamp(picked.lightness + 2 * tolerance / 100, 0.0, 1.0);
    const double saturationLow = std::clamp(picked.saturation - 3 * tolerance / 100, 0.0, 1.0);
    const double saturationHigh = std::clamp(picked.saturation + 3 * tolerance / 100, 0.0, 1.0);
    const double centre = picked.hue;
    ForEachPixelParallel(picture, [&](uint8_t* p) {
        HslColour colour = PixelHsl(p);
        if (!InHueWindow(colour.hue, centre, tolerance) || colour.lightness < lightLow ||
            colour.lightness > lightHigh || colour.saturation < saturationLow || colour.saturation > saturationHigh)
            return;
        colour.hue += shift;
        colour.ToRgb();
        p[0] = colour.blue;
        p[1] = colour.green;
        p[2] = colour.red;
    });
    return true;
}
