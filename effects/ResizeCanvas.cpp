// Canvas resize with a placement.
#include "effects/ResizeCanvas.h"

#include <algorithm>
#include <cstring>

#include "effects/EffectPixels.h"

bool ResizeCanvas(NImageBuffer& picture, int width, int height, int placement, COLORREF fill)
{
    if (!picture.valid || width < 1 || height < 1 || (width == picture.width && height == picture.height))
        return false;
    const int w = picture.width, h = picture.height;
    int x = 0, y = 0;
    switch (placement) {
    case 1: x = width / 2 - w / 2; break;
    case 2: x = width - w; break;
    case 3: y = height / 2 - h / 2; break;
    case 4: x = width / 2 - w / 2; y = height / 2 - h / 2; break;
    case 5: x = width - w; y = height / 2 - h / 2; break;
    case 6: y = height - h; break;
    case 7: x = width / 2 - w / 2; y = height - h; break;
    case 8: x = width - w; y = height - h; break;
    default: break;
    }

    uint8_t paletteRgb[256 * 3];
    for (int i = 0; i < 256; ++i) {
        paletteRgb[i * 3 + 0] = picture.palette[i][2];
        paletteRgb[i * 3 + 1] = picture.palette[i][1];
        paletteRgb[i * 3 + 2] = picture.palette[i][0];
    }
    NImageBuffer canvas;
    if (!canvas.Create(width, height, picture.bpp, fill, picture.bpp <= 8 ? paletteRgb : nullptr))
        return false;
    if (picture.bpp >= 24) {
        // Whole pixels: the rows of the overlap are copied as they are, alpha included.
        const int step = picture.bpp / 8;
        const int left = std::max(x, 0), right = std::min(x + w, width);
        const int top = std::max(y, 0), bottom = std::min(y + h, height);
        GdiFlush();
        for (int row = top; row < bottom; ++row) {
            if (left >= right)
                break;
            const uint8_t* from = effects::ScanLine(picture, h - 1 - (row - y)) + static_cast<size_t>(left - x) * step;
            uint8_t* into = effects::ScanLine(canvas, height - 1 - row) + static_cast<size_t>(left) * step;
            memcpy(into, from, static_cast<size_t>(right - left) * step);
        }
    } else if (!picture.BlitTo(canvas.dc, x, y, SRCCOPY)) {
        return false;
    }
    canvas.dpiX = picture.dpiX;
    canvas.dpiY = picture.dpiY;
    canvas.hasTransparency = picture.hasTransparency;
    canvas.transparentIndex = picture.transparentIndex;
    canvas.transparentColour = picture.transparentColour;
    picture.Adopt(canvas);
    return true;
}
