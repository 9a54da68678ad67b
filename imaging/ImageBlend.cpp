// Blits of a picture into device contexts, alpha blending, premultiplied alpha and mask blends.
#include "imaging/NImageBuffer.h"

#include <cmath>
#include <cstring>

namespace {

BLENDFUNCTION BlendDescription(int constantAlpha, int alphaFormat)
{
    BLENDFUNCTION blend;
    blend.BlendOp = AC_SRC_OVER;
    blend.BlendFlags = 0;
    blend.SourceConstantAlpha = static_cast<BYTE>(constantAlpha);
    blend.AlphaFormat = static_cast<BYTE>(alphaFormat);
    return blend;
}

void PremultiplyPixels(uint8_t* pixel, int count)
{
    for (int i = 0; i < count; ++i, pixel += 4) {
        unsigned a = pixel[3];
        pixel[0] = static_cast<uint8_t>(pixel[0] * a / 255);
        pixel[1] = static_cast<uint8_t>(pixel[1] * a / 255);
        pixel[2] = static_cast<uint8_t>(pixel[2] * a / 255);
    }
}

}  // namespace

bool NImageBuffer::BlitTo(HDC target, int x, int y, DWORD rop) const
{
    return BitBlt(target, x, y, width, height, dc, 0, 0, rop) != 0;
}

bool NImageBuffer::StretchBlitTo(HDC target, int x, int y, int targetWidth, int targetHeight, DWORD rop) const
{
    return StretchBlt(target, x, y, targetWidth, targetHeight, dc, 0, 0, width, height, rop) != 0;
}

bool NImageBuffer::StretchBlitRectTo(HDC target, int x, int y, int targetWidth, int targetHeight, int sourceX,
                                     int sourceY, int sourceWidth, int sourceHeight, DWORD rop) const
{
    return StretchBlt(target, x, y, targetWidth, targetHeight, dc, sourceX, sourceY, sourceWidth, sourceHeight,
                      rop) != 0;
}

bool NImageBuffer::BlitRotated(HDC target, int x, int y, double angleDegrees) const
{
    float a = static_cast<float>(angleDegrees * 6.2832 / 360.0);
    float c = cosf(a);
    float s = sinf(a);
    float w = static_cast<float>(width);
    float h = static_cast<float>(height);

    float xExtents[3] = {w * c, w * c - h * s, -h * s};
    float yExtents[3] = {h * c, w * s, w * s + h * c};
    float minX = 0, maxX = xExtents[0], minY = 0, maxY = yExtents[0];
    for (int i = 0; i < 3; ++i) {
        minX = fminf(minX, xExtents[i]);
        maxX = fmaxf(maxX, xExtents[i]);
        minY = fminf(minY, yExtents[i]);
        maxY = fmaxf(maxY, yExtents[i]);
    }

    int saved = SaveDC(target);
    SetGraphicsMode(target, GM_ADVANCED);
    XFORM transform;
    transform.eM11 = c;
    transform.eM12 = -s;
    transform.eM21 = s;
    transform.eM22 = c;
    transform.eDx = -minX;
    transform.eDy = -minY;
    SetWorldTransform(target, &transform);
    int blitWidth = static_cast<int>(ceilf(fabsf(maxX) - minX));
    int blitHeight = static_cast<int>(ceilf(fabsf(maxY) - minY));
    BOOL drawn = BitBlt(target, x, y, blitWidth, blitHeight, dc, 0, 0, SRCCOPY);
    if (saved)
        RestoreDC(target, saved);
    return drawn != 0;
}

BOOL AlphaBlendDC(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                  int sourceWidth, int sourceHeight, int constantAlpha, int alphaFormat)
{
    return AlphaBlend(target, x, y, width, height, source, sourceX, sourceY, sourceWidth, sourceHeight,
                      BlendDescription(constantAlpha, alphaFormat));
}

BOOL AlphaBlendImageStretched(HDC target, int x, int y, int width, int height, const NImageBuffer& source,
                              int constantAlpha, int alphaFormat)
{
    return AlphaBlendDC(target, x, y, width, height, source.dc, 0, 0, source.width, source.height, constantAlpha,
                        alphaFormat);
}

BOOL AlphaBlendImage(HDC target, int x, int y, const NImageBuffer& source, int constantAlpha, int alphaFormat)
{
    return AlphaBlendImageStretched(target, x, y, source.width, source.height, source, constantAlpha, alphaFormat);
}

void AlphaStretchBlendImage(HDC target, int x, int y, int width, int height, const NImageBuffer& source,
                            int sourceX, int sourceY, int sourceWidth, int sourceHeight, int constantAlpha,
                            int alphaFormat)
{
    if (source.bpp != 32) {
        source.StretchBlitRectTo(target, x, y, width, height, sourceX, sourceY, sourceWidth, sourceHeight, SRCCOPY);
        return;
    }
    NImageBuffer part;
    if (!part.Create(sourceWidth, sourceHeight, 32, 0))
        return;
    StretchBlt(part.dc, 0, 0, sourceWidth, sourceHeight, source.dc, sourceX, sourceY, sourceWidth, sourceHeight,
               SRCCOPY);
    GdiFlush();
    part.PremultiplyAlpha();
    AlphaBlendDC(target, x, y, width, height, part.dc, 0, 0, sourceWidth, sourceHeight, constantAlpha, alphaFormat);
    GdiFlush();
}

void AlphaBlendImageInto(NImageBuffer& destination, const NImageBuffer& source, int x, int y, int constantAlpha)
{
    if (!source.valid || source.bpp != 32)
        return;
    if (constantAlpha < 0)
        constantAlpha = 0;
    if (constantAlpha > 255)
        constantAlpha = 255;
    NImageBuffer premultiplied;
    if (!premultiplied.Copy(source))
        return;
    premultiplied.PremultiplyAlpha();
    AlphaBlendDC(destination.dc, x, y, source.width, source.height, premultiplied.dc, 0, 0, source.width,
                 source.height, constantAlpha, AC_SRC_ALPHA);
    GdiFlush();
}

bool NImageBuffer::PremultiplyAlpha()
{
    if (!valid || bpp != 32)
        return false;
    GdiFlush();
    for (int line = 0; line < height; ++line)
        PremultiplyPixels(bits + static_cast<size_t>(line) * stride, width);
    return true;
}

bool NImageBuffer::UnpremultiplyAlpha()
{
    if (!valid || bpp != 32)
        return false;
    GdiFlush();
    for (int line = 0; line < height; ++line) {
        uint8_t* pixel = bits + static_cast<size_t>(line) * stride;
        for (int x = 0; x < width; ++x, pixel += 4) {
            unsigned a = pixel[3];
            if (a == 0 || a == 255)
                continue;
            for (int channel = 0; channel < 3; ++channel) {
                // A colour byte above its alpha was never premultiplied: it saturates.
                unsigned value = pixel[channel] * 255u / a;
                pixel[channel] = static_cast<uint8_t>(value > 255 ? 255 : value);
            }
        }
    }
    return true;
}

bool NImageBuffer::HasAlpha() const
{
    if (bpp != 32 || !bits)
        return false;
    GdiFlush();
    for (int line = 0; line < height; ++line) {
        const uint8_t* pixel = bits + static_cast<size_t>(line) * stride;
        for (int x = 0; x < width; ++x, pixel += 4)
            if (pixel[3] != 0)
                return true;
    }
    return false;
}

bool NImageBuffer::BlendThroughMask(const NImageBuffer& source, const NImageBuffer& mask, int x, int y)
{
    if (!valid || !source.valid || !mask.valid)
        return false;
    if (bpp < 24 || source.bpp < 24)
        return false;
    // The mask is read one whole byte per pixel: 8-bpp grey, or the blue byte of 16-, 24- or 32-bpp pixels.
    if (mask.bpp < 8)
        return false;
    if (mask.width != source.width || mask.height != source.height)
        return false;
    if (source.width > width || source.height > height)
        return false;

    int skipX = x < 0 ? -x : 0;
    int skipY = y < 0 ? -y : 0;
    int startX = x < 0 ? 0 : x;
    int startY = y < 0 ? 0 : y;
    if (skipX >= source.width || skipY >= source.height || startX >= width || startY >= height)
        return false;
    int columns = source.width - skipX;
    if (columns > width - startX)
        columns = width - startX;
    int rows = source.height - skipY;
    if (rows > height - startY)
        rows = height - startY;

    GdiFlush();
    int step = bpp / 8;
    int sourceStep = source.bpp / 8;
    int maskStep = mask.bpp / 8;
#pragma omp parallel for schedule(static)
    for (int r = 0; r < rows; ++r) {
        int sourceRow = skipY + r;
        int targetRow = startY + r;
        uint8_t* d = bits + static_cast<size_t>(height - 1 - targetRow) * stride + static_cast<size_t>(startX) * step;
        const uint8_t* s = source.bits + static_cast<size_t>(source.height - 1 - sourceRow) * source.stride +
                           static_cast<size_t>(skipX) * sourceStep;
        const uint8_t* m = mask.bits + static_cast<size_t>(mask.height - 1 - sourceRow) * mask.stride +
                           static_cast<size_t>(skipX) * maskStep;
        for (int c = 0; c < columns; ++c, d += step, s += sourceStep, m += maskStep) {
            int weight = m[0];
            if (weight == 0)
                continue;
            if (weight == 255) {
                d[0] = s[0];
                d[1] = s[1];
                d[2] = s[2];
                continue;
            }
            for (int channel = 0; channel < 3; ++channel)
                d[channel] = static_cast<uint8_t>(d[channel] + (s[channel] - d[channel]) * weight / 255);
        }
    }
    return true;
}
