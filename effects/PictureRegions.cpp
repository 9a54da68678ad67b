// Regions of a picture.
#include "effects/PictureRegions.h"

#include <cstdint>
#include <memory>
#include <new>
#include <vector>

#include "effects/EffectPixels.h"
#include "imaging/HslColour.h"

using effects::PixelHsl;
using effects::ScanLine;

namespace {

bool HueWithin(double hue, double seed, double tolerance)
{
    if (hue >= seed && hue <= std::min(seed + tolerance, 360.0))
        return true;
    if (hue >= std::max(seed - tolerance, 0.0) && hue <= seed)
        return true;
    if (seed + tolerance > 360.0 && hue < seed + tolerance - 360.0)
        return true;
    if (seed - tolerance < 0.0 && hue >= seed - tolerance + 360.0)
        return true;
    return false;
}

}  // namespace

bool FindColourBounds(const NImageBuffer& picture, COLORREF colour, RECT* box, bool sizeFlag)
{
    if (!picture.valid || picture.bpp != 24 || !box)
        return false;
    const uint8_t red = GetRValue(colour), green = GetGValue(colour), blue = GetBValue(colour);
    LONG left = picture.width, top = picture.height, right = 0, bottom = 0;
    GdiFlush();
    for (int y = 0; y < picture.height; ++y) {
        const uint8_t* p = ScanLine(picture, picture.height - 1 - y);
        for (int x = 0; x < picture.width; ++x, p += 3) {
            if (p[0] != blue || p[1] != green || p[2] != red)
                continue;
            left = std::min<LONG>(left, x);
            right = std::max<LONG>(right, x);
            top = std::min<LONG>(top, y);
            bottom = std::max<LONG>(bottom, y);
        }
    }
    if (sizeFlag) {
        right = right - left + 1;
        bottom = bottom - top + 1;
    }
    *box = RECT{left, top, right, bottom};
    return true;
}

bool FloodReplaceColour(NImageBuffer& picture, int x, int y, COLORREF newColour, double hueTolerance,
                        double lightnessTolerance, double saturationTolerance, bool eightNeighbours)
{
    if (!effects::IsEffectPicture(picture))
        return false;
    const int width = picture.width, height = picture.height;
    if (x < 0 || y < 0 || x >= width || y >= height)
        return false;
    const size_t count = static_cast<size_t>(width) * height;
    std::unique_ptr<uint8_t[]> marked(new (std::nothrow) uint8_t[count]());
    std::unique_ptr<uint32_t[]> queue(new (std::nothrow) uint32_t[count]);
    if (!marked || !queue)
        return false;

    GdiFlush();
    const int step = picture.bpp / 8;
    auto pixel = [&](int px, int py) { return ScanLine(picture, height - 1 - py) + static_cast<size_t>(px) * step; };
    auto paint = [&](uint8_t* p) {
        p[0] = GetBValue(newColour);
        p[1] = GetGValue(newColour);
        p[2] = GetRValue(newColour);
    };
    const HslColour seed = PixelHsl(pixel(x, y));
    auto passes = [&](const uint8_t* p) {
        const HslColour c = PixelHsl(p);
        return c.lightness >= seed.lightness - lightnessTolerance && c.lightness <= seed.lightness + lightnessTolerance &&
               c.saturation >= seed.saturation - saturationTolerance &&
               c.saturation <= seed.saturation + saturationTolerance && HueWithin(c.hue, seed.hue, hueTolerance);
    };

    static const int kOffsets[8][2] = {{-1, 0}, {0, -1}, {1, 0}, {0, 1}, {-1, -1}, {1, -1}, {-1, 1}, {1, 1}};
    const int neighbours = eightNeighbours ? 8 : 4;
    size_t head = 0, tail = 0;
    queue[tail++] = static_cast<uint32_t>(static_cast<size_t>(y) * width + x);
    while (head < tail) {
        const uint32_t at = queue[head++];
        const int px = static_cast<int>(at % width), py = static_cast<int>(at / width);
        for (int i = 0; i < neighbours; ++i) {
            const int nx = px + kOffsets[i][0], ny = py + kOffsets[i][1];
            if (nx < 0 || ny < 0 || nx >= width || ny >= height)
                continue;
            const size_t index = static_cast<size_t>(ny) * width + nx;
            if (marked[index])
                continue;
            uint8_t* p = pixel(nx, ny);
            if (!passes(p))
                continue;
            paint(p);
            marked[index] = 1;
            queue[tail++] = static_cast<uint32_t>(index);
        }
    }
    paint(pixel(x, y));
    return true;
}

bool FindLargestNonBlackRect(const NImageBuffer& picture, RECT* rect)
{
    if (!picture.valid || picture.bpp != 24 || !rect)
        return false;
    const int width = picture.width, height = picture.height;
    std::vector<int> heights(static_cast<size_t>(width) + 1, 0);
    struct Bar {
        int start;
        int height;
    };
    std::vector<Bar> stack;
    stack.reserve(static_cast<size_t>(width) + 1);
    int64_t bestArea = 0;
    RECT best{0, 0, 0, 0};
    GdiFlush();
    for (int line = 0; line < height; ++line) {
        const uint8_t* p = ScanLine(picture, line);
        for (int x = 0; x < width; ++x, p += 3)
            heights[x] = (p[0] | p[1] | p[2]) ? heights[x] + 1 : 0;
        stack.clear();
        for (int x = 0; x <= width; ++x) {
            int start = x;
            while (!stack.empty() && stack.back().height > heights[x]) {
                const Bar bar = stack.back();
                stack.pop_back();
                const int64_t area = static_cast<int64_t>(bar.height) * (x - bar.start);
                if (area > bestArea) {
                    bestArea = area;
                    // Scan lines line - height + 1 .. line, counted from the top.
                    best = RECT{bar.start, height - 1 - line, x, height - 1 - line + bar.height};
                }
                start = bar.start;
            }
            if (stack.empty() || stack.back().height < heights[x])
                stack.push_back(Bar{start, heights[x]});
        }
    }
    *rect = best;
    return true;
}
