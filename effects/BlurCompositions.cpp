// Sharpening and blur compositions.
#include "effects/BlurCompositions.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "effects/EffectPixels.h"
#include "effects/ResizeCanvas.h"
#include "effects/StackBlur.h"
#include "imaging/ImageDraw.h"

using effects::IsEffectPicture;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// Hard light of blend value a over base v.
inline int HardLight(int a, int v)
{
    if (a < 0)
        return 0;
    if (a >= 256)
        return 255;
    if (a <= 127) {
        const int t = 2 * a * v + 128;
        return (t + (t >> 8)) >> 8;
    }
    const int t = 2 * (255 - a) * (255 - v) + 128;
    return 255 - ((t + (t >> 8)) >> 8);
}

// Tilt-shift mask in `mask` (the size of the picture): white, a gradient from white to black over
// the rows fadeTop - fade .. fadeTop, black from fadeTop to blackBottom, a gradient from black to
// white over blackBottom .. blackBottom + fade; grey, and turned by the angle when it is not 0.
bool MakeBandMask(NImageBuffer& mask, int fadeTop, int blackBottom, int fade, double angle)
{
    const int width = mask.width, height = mask.height;
    if (!mask.ConvertToBpp(24, false) || !mask.Fill(kWhite))
        return false;
    DrawGradient(mask.dc, 0, fadeTop - fade, width, fade, kWhite, kBlack, 1);
    FillRectSolid(mask.dc, 0, fadeTop, width, blackBottom, kBlack);
    DrawGradient(mask.dc, 0, blackBottom, width, fade, kBlack, kWhite, 1);
    if (!mask.ConvertToGray8())
        return false;
    if (angle != 0) {
        // Stretched first so that the turned band still spans the picture; the corners that the
        // turn leaves empty are filled with a colour whose first byte weighs as white.
        const double stretched = 1.5 * width;
        if (stretched > INT32_MAX || !mask.ResizeImage(static_cast<int>(stretched), height) ||
            !mask.RotateNearest(angle, kWhite))
            return false;
        if ((mask.width != width || mask.height != height) &&
            !ResizeCanvas(mask, width, height, 4, RGB(255, 0, 255)))
            return false;
    }
    return true;
}

}  // namespace

bool UnsharpMask(NImageBuffer& picture, int passes, float amount, int threshold)
{
    if (!IsEffectPicture(picture) || passes < 1 || !(amount >= 0.0f && amount <= 1.0f) || threshold < 0 ||
        threshold > 255)
        return false;
    NImageBuffer blurred;
    if (!blurred.Copy(picture))
        return false;
    for (int i = 0; i < passes; ++i)
        blurred.ApplyFilter(2);
    const int bytes = picture.bpp / 8;
    const int rowBytes = picture.width * bytes;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        const uint8_t* soft = effects::ScanLine(blurred, line);
        for (int i = 0; i < rowBytes; ++i) {
            const int own = row[i];
            const int d = own - soft[i];
            if (std::abs(d) >= threshold)
                row[i] = effects::ClampByte(static_cast<double>(static_cast<float>(d) * amount + static_cast<float>(own)));
        }
    });
    return true;
}

bool SmoothSharpen(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture))
        return false;
    picture.ApplyFilter(1);
    UnsharpMask(picture, 1, 0.5f, 3);
    UnsharpMask(picture, 1, 0.5f, 3);
    return true;
}

bool FocusRectangle(NImageBuffer& picture, int x, int y, int width, int height, int radius)
{
    if (!IsEffectPicture(picture))
        return false;
    const int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(int64_t{x} + width, picture.width);
    const int64_t bottom = std::min<int64_t>(int64_t{y} + height, picture.height);
    if (left >= right || top >= bottom)
        return false;
    const int w = static_cast<int>(right - left), h = static_cast<int>(bottom - top);
    NImageBuffer sharp, mask;
    if (!sharp.Create(w, h, 24, kBlack) || !mask.Create(w, h, 24, kBlack))
        return false;
    if (!picture.StretchBlitRectTo(sharp.dc, 0, 0, w, h, static_cast<int>(left), static_cast<int>(top), w, h, SRCCOPY))
        return false;
    DrawGradient(mask.dc, 0, 0, w, h, kWhite, kBlack, 3);
    UnsharpMask(sharp, 1, 0.5f, 3);
    StackBlur(picture, radius);
    picture.BlendThroughMask(sharp, mask, static_cast<int>(left), static_cast<int>(top));
    return true;
}

bool TiltShift(NImageBuffer& picture, int nearBlur, int farBlur, int /*unused*/, int top, int bottom, int contrast,
               int saturation, double angle)
{
    if (!IsEffectPicture(picture))
        return false;
    picture.AdjustContrast(contrast);
    picture.AdjustSaturation(saturation);
    const int height = picture.height;
    const int fade = height / 6;
    if (top == 0 && bottom == 0) {
        top = height / 2 + fade;
        bottom = height / 2 + 2 * fade;
    }
    // Each blur splits its own rows over the thread team, so the two run one after the other.
    NImageBuffer nearCopy, farCopy, mask;
    if (!nearCopy.Copy(picture) || !farCopy.Copy(picture) || !mask.Copy(picture))
        return false;
    StackBlur(nearCopy, nearBlur);
    StackBlur(farCopy, farBlur);

    // Outside the band: the near blur, going over into the far blur further out.
    if (!MakeBandMask(mask, top / 2, fade + bottom, fade, angle))
        return false;
    nearCopy.BlendThroughMask(farCopy, mask, 0, 0);
    farCopy.Destroy();

    if (!MakeBandMask(mask, top, bottom, fade, angle))
        return false;
    picture.BlendThroughMask(nearCopy, mask, 0, 0);
    return true;
}

bool SoftFocusScreen(NImageBuffer& picture, int radius, int brightness, int contrast)
{
    if (!IsEffectPicture(picture))
        return false;
    NImageBuffer sharp;
    if (!sharp.Copy(picture))
        return false;
    StackBlur(picture, radius);
    picture.AdjustBrightness(brightness);
    picture.AdjustContrast(contrast);
    effects::ForEachPixelPairParallel(picture, sharp, [](uint8_t* p, const uint8_t* s) {
        for (int c = 0; c < 3; ++c)
            p[c] = static_cast<uint8_t>(255 - (255 - s[c]) * (255 - p[c]) / 255);
    });
    return true;
}

bool HardLightBlend(NImageBuffer& picture, int radius, int brightness, int spread)
{
    if (!IsEffectPicture(picture))
        return false;
    spread = std::clamp(spread, 0, 100);
    NImageBuffer sharp;
    if (!sharp.Copy(picture))
        return false;
    StackBlur(picture, radius);
    picture.AdjustBrightness(brightness);
    effects::ForEachPixelPairParallel(picture, sharp, [spread](uint8_t* p, const uint8_t* s) {
        const int g = effects::IntegerLuma(s[2], s[1], s[0]);
        p[0] = static_cast<uint8_t>(HardLight((100 - spread) * g / 100, p[0]));
        p[1] = static_cast<uint8_t>(HardLight(g, p[1]));
        p[2] = static_cast<uint8_t>(HardLight(g * (spread + 100) / 100, p[2]));
    });
    return true;
}
