// Pixel access for the picture tests, in picture coordinates (y = 0 at the top).
#pragma once
#include "imaging/NImageBuffer.h"

#include <cstdint>
#include <vector>

namespace imagetest {

inline uint8_t* RowFromTop(const NImageBuffer& image, int y)
{
    return image.bits + static_cast<size_t>(image.height - 1 - y) * image.stride;
}

// The stored value of a pixel: palette index, 16-bit word, or the B,G,R(,A) bytes as 0xAARRGGBB.
inline uint32_t RawAt(const NImageBuffer& image, int x, int y)
{
    GdiFlush();
    const uint8_t* row = RowFromTop(image, y);
    switch (image.bpp) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 15) : (row[x >> 1] >> 4);
    case 8:
        return row[x];
    case 16:
        return row[x * 2] | (row[x * 2 + 1] << 8);
    case 24:
        return row[x * 3] | (row[x * 3 + 1] << 8) | (row[x * 3 + 2] << 16);
    default:
        return row[x * 4] | (row[x * 4 + 1] << 8) | (row[x * 4 + 2] << 16) |
               (static_cast<uint32_t>(row[x * 4 + 3]) << 24);
    }
}

inline void SetRaw(NImageBuffer& image, int x, int y, uint32_t value)
{
    GdiFlush();
    uint8_t* row = RowFromTop(image, y);
    switch (image.bpp) {
    case 1:
        row[x >> 3] = static_cast<uint8_t>((row[x >> 3] & ~(0x80 >> (x & 7))) | ((value & 1) << (7 - (x & 7))));
        break;
    case 4:
        if (x & 1)
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0xF0) | (value & 15));
        else
            row[x >> 1] = static_cast<uint8_t>((row[x >> 1] & 0x0F) | ((value & 15) << 4));
        break;
    case 8:
        row[x] = static_cast<uint8_t>(value);
        break;
    case 16:
        row[x * 2] = static_cast<uint8_t>(value);
        row[x * 2 + 1] = static_cast<uint8_t>(value >> 8);
        break;
    default:
        for (int i = 0; i < image.bpp / 8; ++i)
            row[x * (image.bpp / 8) + i] = static_cast<uint8_t>(value >> (8 * i));
        break;
    }
}

// The colour of a pixel as COLORREF 0x00BBGGRR (16 bpp widened by 5-bit expansion).
inline COLORREF ColourAt(const NImageBuffer& image, int x, int y)
{
    uint32_t raw = RawAt(image, x, y);
    if (image.bpp <= 8)
        return RGB(image.palette[raw][2], image.palette[raw][1], image.palette[raw][0]);
    if (image.bpp == 16)
        return RGB(kFiveBitExpansion[(raw >> 10) & 31], kFiveBitExpansion[(raw >> 5) & 31],
                   kFiveBitExpansion[raw & 31]);
    return RGB((raw >> 16) & 255, (raw >> 8) & 255, raw & 255);
}

inline uint8_t AlphaAt(const NImageBuffer& image, int x, int y)
{
    return static_cast<uint8_t>(RawAt(image, x, y) >> 24);
}

// 256 red, green, blue triplets: the given colours first, the rest black.
inline std::vector<uint8_t> PaletteRgb(const std::vector<COLORREF>& colours)
{
    std::vector<uint8_t> rgb(768, 0);
    for (size_t i = 0; i < colours.size() && i < 256; ++i) {
        rgb[i * 3 + 0] = GetRValue(colours[i]);
        rgb[i * 3 + 1] = GetGValue(colours[i]);
        rgb[i * 3 + 2] = GetBValue(colours[i]);
    }
    return rgb;
}

inline std::vector<uint8_t> GreyPaletteRgb()
{
    std::vector<uint8_t> rgb(768);
    for (int i = 0; i < 256; ++i)
        rgb[i * 3] = rgb[i * 3 + 1] = rgb[i * 3 + 2] = static_cast<uint8_t>(i);
    return rgb;
}

}  // namespace imagetest
