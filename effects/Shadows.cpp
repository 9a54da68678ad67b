// Drop shadows and glowing edges.
#include "effects/Shadows.h"

#include <climits>
#include <cstdint>

#include "effects/EffectPixels.h"
#include "effects/ResizeCanvas.h"

using effects::IsEffectPicture;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kMagenta = RGB(255, 0, 255);

// A 24-bpp canvas of width x height filled with the colour; false when a size is out of range.
bool MakeCanvas(NImageBuffer& canvas, int64_t width, int64_t height, COLORREF fill)
{
    if (width < 1 || height < 1 || width > INT_MAX || height > INT_MAX)
        return false;
    return canvas.Create(static_cast<int>(width), static_cast<int>(height), 24, fill);
}

// shadow + (background - shadow) * t / 255 per channel with t = 255 - opacity * 255 / 100.
COLORREF MixShadowColour(COLORREF shadow, COLORREF background, int opacity)
{
    const int64_t t = 255 - static_cast<int64_t>(opacity) * 255 / 100;
    auto mix = [t](int s, int b) { return effects::ClampByte(static_cast<int64_t>(s) + (b - s) * t / 255); };
    return RGB(mix(GetRValue(shadow), GetRValue(background)), mix(GetGValue(shadow), GetGValue(background)),
               mix(GetBValue(shadow), GetBValue(background)));
}

// Shadow offset on screen (y grows downward) for the angle.
void ShadowOffset(int angle, int distance, int& dx, int& dy)
{
    dx = dy = 0;
    if (angle < 0 || angle >= 360)
        return;
    if (angle < 90) {
        dx = -distance;
        dy = distance;
    } else if (angle < 180) {
        dx = -distance;
        dy = -distance;
    } else if (angle < 270) {
        dx = distance;
        dy = -distance;
    } else {
        dx = distance;
        dy = distance;
    }
}

// Rectangular shadow: a 200 x 200 square blurred on a small canvas, its edges stretched along
// the sides of the result and its corners copied as they are.
bool BoxShadow(NImageBuffer& picture, COLORREF shadow, COLORREF background, int blurRadius, int e, int dx, int dy)
{
    NImageBuffer result, small;
    if (!MakeCanvas(result, int64_t{picture.width} + 2 * int64_t{e}, int64_t{picture.height} + 2 * int64_t{e},
                    background) ||
        !MakeCanvas(small, 2 * int64_t{e} + 200, 2 * int64_t{e} + 200, background))
        return false;
    const NImageRect square{e + dx, e + dy, 200, 200};
    small.FillRect(&square, shadow);
    small.BoxBlur(blurRadius, 3);

    const int sw = small.width, sh = small.height, rw = result.width, rh = result.height;
    HDC into = result.dc;
    small.StretchBlitRectTo(into, 0, 0, rw, e, sw / 2, 0, e, e, SRCCOPY);
    small.StretchBlitRectTo(into, 0, rh - e, rw, e, sw / 2, sh - e, e, e, SRCCOPY);
    small.StretchBlitRectTo(into, 0, 0, e, rh, 0, sh / 2, e, e, SRCCOPY);
    small.StretchBlitRectTo(into, rw - e, 0, e, rh, sw - e, sh / 2, e, e, SRCCOPY);
    const int corner = 2 * e;
    small.StretchBlitRectTo(into, 0, 0, corner, corner, 0, 0, corner, corner, SRCCOPY);
    small.StretchBlitRectTo(into, rw - corner, 0, corner, corner, sw - corner, 0, corner, corner, SRCCOPY);
    small.StretchBlitRectTo(into, rw - corner, rh - corner, corner, corner, sw - corner, sh - corner, corner, corner,
                            SRCCOPY);
    small.StretchBlitRectTo(into, 0, rh - corner, corner, corner, 0, sh - corner, corner, corner, SRCCOPY);

    if (!picture.BlitTo(into, e, e, SRCCOPY))
        return false;
    picture.Adopt(result);
    return true;
}

// Shadow in the shape of the picture (pixels of the key colour cast none), blended under it
// through a mask of the picture's place.
bool SilhouetteShadow(NImageBuffer& picture, COLORREF shadow, COLORREF background, int blurRadius, int e, int dx,
                      int dy, COLORREF key)
{
    const int64_t width = int64_t{picture.width} + 2 * int64_t{e};
    const int64_t height = int64_t{picture.height} + 2 * int64_t{e};
    NImageBuffer shadowCanvas, pictureCanvas, mask;
    if (!MakeCanvas(shadowCanvas, width, height, key) || !MakeCanvas(pictureCanvas, width, height, background) ||
        !MakeCanvas(mask, width, height, key))
        return false;

    if (!picture.BlitTo(shadowCanvas.dc, e + dx, e + dy, SRCCOPY) || !picture.BlitTo(pictureCanvas.dc, e, e, SRCCOPY) ||
        !picture.BlitTo(mask.dc, e, e, SRCCOPY))
        return false;
    shadowCanvas.ReplaceOtherColours(key, shadow);
    shadowCanvas.ReplaceColour(key, background);
    shadowCanvas.BoxBlur(blurRadius, 3);

    pictureCanvas.ReplaceColour(key, background);

    if (GetRValue(background) < 50 && GetGValue(background) < 50 && GetBValue(background) < 50) {
        mask.ReplaceOtherColours(key, kWhite);
        mask.ReplaceColour(key, background);
    } else {
        mask.ReplaceOtherColours(key, kBlack);
        mask.ReplaceColour(key, background);
        mask.Invert();
    }
    if (!shadowCanvas.BlendThroughMask(pictureCanvas, mask, 0, 0))
        return false;
    picture.Adopt(shadowCanvas);
    return true;
}

}  // namespace

bool SimpleShadow(NImageBuffer& picture, COLORREF shadowColour, COLORREF backgroundColour, int margin, int offset)
{
    if (!IsEffectPicture(picture))
        return false;
    NImageBuffer canvas;
    if (!MakeCanvas(canvas, int64_t{picture.width} + 2 * int64_t{margin}, int64_t{picture.height} + 2 * int64_t{margin},
                    backgroundColour))
        return false;
    const int64_t shadowWidth = int64_t{picture.width} + offset, shadowHeight = int64_t{picture.height} + offset;
    if (shadowWidth > 0 && shadowHeight > 0) {
        const NImageRect shadow{margin, margin, static_cast<int>(std::min<int64_t>(shadowWidth, canvas.width)),
                                static_cast<int>(std::min<int64_t>(shadowHeight, canvas.height))};
        canvas.FillRect(&shadow, shadowColour);
    }
    for (int i = 0; i < 14; ++i)
        canvas.ApplyFilter(2);
    if (!picture.BlitTo(canvas.dc, margin, margin, SRCCOPY))
        return false;
    picture.Adopt(canvas);
    return true;
}

bool DropShadow(NImageBuffer& picture, COLORREF shadowColour, COLORREF backgroundColour, int angle, int blurRadius,
                int opacity, int distance, bool boxFlag, COLORREF keyColour)
{
    if (!IsEffectPicture(picture))
        return false;
    const int64_t border = 2 * int64_t{distance} + static_cast<int64_t>(2.5 * blurRadius);
    if (border < 0 || border > INT_MAX / 4)
        return false;
    const int e = static_cast<int>(border);
    int dx, dy;
    ShadowOffset(angle, distance, dx, dy);
    const COLORREF shadow = MixShadowColour(shadowColour, backgroundColour, opacity);
    if (boxFlag && picture.width > 200 && picture.height > 200)
        return BoxShadow(picture, shadow, backgroundColour, blurRadius, e, dx, dy);
    return SilhouetteShadow(picture, shadow, backgroundColour, blurRadius, e, dx, dy, keyColour);
}

bool DropShadowWithAlpha(NImageBuffer& picture, COLORREF shadowColour, COLORREF backgroundColour,
                         COLORREF canvasColour, int margin)
{
    if (!picture.valid || margin < 1)
        return false;
    const int64_t width = int64_t{picture.width} + 2 * int64_t{margin};
    const int64_t height = int64_t{picture.height} + 2 * int64_t{margin};
    // Every step works on copies, so that a failing one leaves the picture as it was. The mask and
    // the picture grow by the same shadow border, so their sizes match at the end.
    NImageBuffer mask, work;
    if (!MakeCanvas(mask, width, height, kBlack) ||
        !DropShadow(mask, kBlack, kWhite, 315, 10, 100, 4, true, kMagenta) || !mask.Invert() || !mask.ConvertToGray8())
        return false;
    if (!work.Copy(picture) || (work.bpp < 24 && !work.ConvertToBpp(24, true)) ||
        !ResizeCanvas(work, static_cast<int>(width), static_cast<int>(height), 4, canvasColour) ||
        !DropShadow(work, shadowColour, backgroundColour, 315, 10, 100, 4, true, kMagenta) ||
        !work.ConvertToBpp(32, false) || !work.InsertChannel(4, mask))
        return false;
    picture.Adopt(work);
    return true;
}

bool GlowingEdges(NImageBuffer& picture, int threshold, int factor)
{
    if (!IsEffectPicture(picture))
        return false;
    NImageBuffer outline;
    if (!outline.Copy(picture))
        return false;
    outline.BoxBlur(10, 2);
    outline.ApplyFilter(12);
    const int64_t once = factor, twice = int64_t{factor} * factor;
    effects::ForEachPixelPairParallel(picture, outline, [=](uint8_t* p, const uint8_t* o) {
        const int64_t f = (o[0] > threshold || o[1] > threshold || o[2] > threshold) ? twice : once;
        for (int c = 0; c < 3; ++c)
            p[c] = effects::ClampByte(o[c] * f);
    });
    picture.AdjustSaturation(15);
    picture.BoxBlur(10, 1);
    return true;
}
