// Channel operations and colour adjustments of NImageBuffer.
#include "imaging/ImageChannels.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "imaging/NImageBuffer.h"

namespace {

inline int Luma(int red, int green, int blue)
{
    return (19595 * red + 38470 * green + 7471 * blue) >> 16;
}

inline uint8_t ClampByte(int value)
{
    return static_cast<uint8_t>(std::clamp(value, 0, 255));
}

// Byte of a channel inside a pixel: 1 red, 2 green, 3 blue, 4 alpha.
int ChannelByte(int channel)
{
    static const int kBytes[5] = {-1, 2, 1, 0, 3};
    return kBytes[channel];
}

bool IsDirect(const NImageBuffer& image)
{
    return image.valid && (image.bpp == 24 || image.bpp == 32);
}

// Calls op(pixel) for every pixel of a 24- or 32-bpp picture, the scan lines split over the
// OpenMP team.
template <typename Op>
void ForEachPixelParallel(NImageBuffer& image, Op op)
{
    GdiFlush();
    const int step = image.bpp / 8;
    const int lines = image.height;
    const int width = image.width;
    const size_t stride = static_cast<size_t>(image.stride);
    uint8_t* const bits = image.bits;
#pragma omp parallel for schedule(static)
    for (int line = 0; line < lines; ++line) {
        uint8_t* pixel = bits + line * stride;
        for (int x = 0; x < width; ++x, pixel += step)
            op(pixel);
    }
}

template <typename Op>
void ForEachPixel(const NImageBuffer& image, Op op)
{
    GdiFlush();
    const int step = image.bpp / 8;
    for (int line = 0; line < image.height; ++line) {
        const uint8_t* pixel = image.bits + line * static_cast<size_t>(image.stride);
        for (int x = 0; x < image.width; ++x, pixel += step)
            op(pixel);
    }
}

// Applies a 256-entry table to blue, green and red of every pixel.
void ApplyTable(NImageBuffer& image, const uint8_t* table)
{
    ForEachPixelParallel(image, [table](uint8_t* p) {
        p[0] = table[p[0]];
        p[1] = table[p[1]];
        p[2] = table[p[2]];
    });
}

}  // namespace

bool SwapRedBlueInBits(uint8_t* rows, int width, int height, int bpp)
{
    if (!rows || (bpp != 24 && bpp != 32) || width <= 0 || height <= 0)
        return false;
    const int step = bpp / 8;
    const size_t stride = ((static_cast<size_t>(width) * bpp + 31) >> 5) * 4;
    for (int line = 0; line < height; ++line) {
        uint8_t* pixel = rows + line * stride;
        for (int x = 0; x < width; ++x, pixel += step)
            std::swap(pixel[0], pixel[2]);
    }
    return true;
}

bool NImageBuffer::Invert()
{
    if (!valid)
        return false;
    switch (bpp) {
    case 1:
    case 4:
    case 8: {
        const int count = 1 << bpp;
        RGBQUAD entries[256];
        for (int i = 0; i < count; ++i) {
            entries[i].rgbBlue = static_cast<BYTE>(255 - palette[i][0]);
            entries[i].rgbGreen = static_cast<BYTE>(255 - palette[i][1]);
            entries[i].rgbRed = static_cast<BYTE>(255 - palette[i][2]);
            entries[i].rgbReserved = 0;
        }
        return SetPaletteRGBQuad(entries, count);
    }
    case 16:
    case 24: {
        GdiFlush();
        const size_t size = static_cast<size_t>(stride) * height;
        for (size_t i = 0; i < size; ++i)
            bits[i] = static_cast<uint8_t>(~bits[i]);
        return true;
    }
    case 32:
        // The alpha byte is kept: inverting the colours must not change what is opaque.
        GdiFlush();
        for (int line = 0; line < height; ++line) {
            uint8_t* p = bits + line * static_cast<size_t>(stride);
            for (int x = 0; x < width; ++x, p += 4) {
                p[0] = static_cast<uint8_t>(~p[0]);
                p[1] = static_cast<uint8_t>(~p[1]);
                p[2] = static_cast<uint8_t>(~p[2]);
            }
        }
        return true;
    default:
        return false;
    }
}

namespace {

// Exchanges bytes a and b (0 blue, 1 green, 2 red) of every colour of the picture.
bool SwapChannelBytes(NImageBuffer& image, int a, int b)
{
    if (!image.valid)
        return false;
    switch (image.bpp) {
    case 4:
    case 8: {
        const int count = 1 << image.bpp;
        RGBQUAD entries[256];
        for (int i = 0; i < count; ++i) {
            uint8_t colour[3] = {image.palette[i][0], image.palette[i][1], image.palette[i][2]};
            std::swap(colour[a], colour[b]);
            entries[i] = {colour[0], colour[1], colour[2], 0};
        }
        return image.SetPaletteRGBQuad(entries, count);
    }
    case 16:
        for (int line = 0; line < image.height; ++line) {
            uint8_t* row = image.GetRowAs(32, line);
            if (!row)
                return false;
            for (int x = 0; x < image.width; ++x)
                std::swap(row[x * 4 + a], row[x * 4 + b]);
            const bool stored = image.SetRowBits(32, line, row);
            free(row);
            if (!stored)
                return false;
        }
        return true;
    case 24:
    case 32:
        ForEachPixelParallel(image, [a, b](uint8_t* p) { std::swap(p[a], p[b]); });
        return true;
    default:
        return false;
    }
}

}  // namespace

bool NImageBuffer::SwapRedBlue()
{
    return SwapChannelBytes(*this, 0, 2);
}

bool NImageBuffer::SwapRedGreen()
{
    return SwapChannelBytes(*this, 1, 2);
}

bool NImageBuffer::SwapGreenBlue()
{
    return SwapChannelBytes(*this, 0, 1);
}

bool NImageBuffer::ExtractChannel(int channel, NImageBuffer& destination) const
{
    if (!IsDirect(*this) || channel < 1 || channel > 4 || channel > bpp / 8 || &destination == this)
        return false;
    uint8_t grey[768];
    for (int i = 0; i < 256; ++i)
        grey[3 * i] = grey[3 * i + 1] = grey[3 * i + 2] = static_cast<uint8_t>(i);
    if (!destination.Create(width, height, 8, 0, grey))
        return false;
    GdiFlush();
    const int step = bpp / 8;
    const int offset = ChannelByte(channel);
    for (int line = 0; line < height; ++line) {
        const uint8_t* in = bits + line * static_cast<size_t>(stride) + offset;
        uint8_t* out = destination.bits + line * static_cast<size_t>(destination.stride);
        for (int x = 0; x < width; ++x, in += step)
            out[x] = *in;
    }
    return true;
}

bool NImageBuffer::InsertChannel(int channel, const NImageBuffer& grey)
{
    if (!IsDirect(*this) || channel > bpp / 8)
        return false;
    if (!grey.valid || grey.bpp != 8 || grey.width != width || grey.height != height)
        return false;
    if (channel <= 0)
        return true;
    GdiFlush();
    const int step = bpp / 8;
    const int offset = ChannelByte(channel);
    for (int line = 0; line < height; ++line) {
        uint8_t* out = bits + line * static_cast<size_t>(stride) + offset;
        const uint8_t* in = grey.bits + line * static_cast<size_t>(grey.stride);
        for (int x = 0; x < width; ++x, out += step)
            *out = in[x];
    }
    return true;
}

bool NImageBuffer::SetChannel(int channel, uint8_t value)
{
    if (!IsDirect(*this) || channel > bpp / 8)
        return false;
    if (channel <= 0)
        return true;
    const int offset = ChannelByte(channel);
    GdiFlush();
    const int step = bpp / 8;
    for (int line = 0; line < height; ++line) {
        uint8_t* out = bits + line * static_cast<size_t>(stride) + offset;
        for (int x = 0; x < width; ++x, out += step)
            *out = value;
    }
    return true;
}

bool NImageBuffer::ReplaceColour(COLORREF oldColour, COLORREF newColour)
{
    if (!IsDirect(*this))
        return false;
    const uint8_t oldBlue = GetBValue(oldColour), oldGreen = GetGValue(oldColour), oldRed = GetRValue(oldColour);
    const uint8_t newBlue = GetBValue(newColour), newGreen = GetGValue(newColour), newRed = GetRValue(newColour);
    GdiFlush();
    const int step = bpp / 8;
    for (int line = 0; line < height; ++line) {
        uint8_t* p = bits + line * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x, p += step)
            if (p[0] == oldBlue && p[1] == oldGreen && p[2] == oldRed) {
                p[0] = newBlue;
                p[1] = newGreen;
                p[2] = newRed;
            }
    }
    return true;
}

bool NImageBuffer::ReplaceOtherColours(COLORREF keptColour, COLORREF newColour)
{
    if (!valid || bpp != 24)
        return false;
    const uint8_t keptBlue = GetBValue(keptColour), keptGreen = GetGValue(keptColour), keptRed = GetRValue(keptColour);
    const uint8_t newBlue = GetBValue(newColour), newGreen = GetGValue(newColour), newRed = GetRValue(newColour);
    GdiFlush();
    for (int line = 0; line < height; ++line) {
        uint8_t* p = bits + line * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x, p += 3)
            if (p[0] != keptBlue || p[1] != keptGreen || p[2] != keptRed) {
                p[0] = newBlue;
                p[1] = newGreen;
                p[2] = newRed;
            }
    }
    return true;
}

bool NImageBuffer::Threshold(int threshold)
{
    if (!valid || bpp != 8)
        return false;
    GdiFlush();
    for (int line = 0; line < height; ++line) {
        uint8_t* p = bits + line * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x)
            p[x] = p[x] > threshold ? 255 : 0;
    }
    return true;
}

bool NImageBuffer::AdjustBrightness(int delta)
{
    if (!IsDirect(*this))
        return false;
    if (delta == 0)
        return true;
    const int d = std::clamp(delta, -255, 255);
    ForEachPixelParallel(*this, [d](uint8_t* p) {
        p[0] = ClampByte(p[0] + d);
        p[1] = ClampByte(p[1] + d);
        p[2] = ClampByte(p[2] + d);
    });
    return true;
}

bool NImageBuffer::AdjustContrast(int value)
{
    if (!IsDirect(*this))
        return false;
    const double v = std::clamp(value, -100, 100);
    const double f = ((v + 100.0) / 100.0) * ((v + 100.0) / 100.0);
    uint8_t table[256];
    for (int c = 0; c < 256; ++c) {
        // A factor of 1 is the identity; computed, rounding would lower some values by 1.
        const double result = v == 0 ? c : ((c / 255.0 - 0.5) * f + 0.5) * 255.0;
        table[c] = static_cast<uint8_t>(std::clamp(result, 0.0, 255.0));
    }
    ApplyTable(*this, table);
    return true;
}

bool NImageBuffer::AdjustGamma(double gamma)
{
    if (!IsDirect(*this))
        return false;
    // NaN counts as 0 (every entry black), like a gamma of 0.
    const double g = gamma > 0.0 ? std::min(gamma, 5.0) : 0.0;
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) {
        double result = 0.0;
        if (g > 0.0) {
            const double exponent = 1.0 / g;
            const double scale = std::pow(255.0, exponent) / 255.0;
            result = std::pow(static_cast<double>(i), exponent) / scale;
            // A tiny gamma overflows both powers; the same curve then comes from the ratio.
            if (!std::isfinite(result))
                result = 255.0 * std::pow(i / 255.0, exponent);
            if (std::isnan(result))
                result = 0.0;
        }
        table[i] = static_cast<uint8_t>(std::clamp(result, 0.0, 255.0));
    }
    GdiFlush();
    const int step = bpp / 8;
    for (int line = 0; line < height; ++line) {
        uint8_t* p = bits + line * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x, p += step) {
            p[0] = table[p[0]];
            p[1] = table[p[1]];
            p[2] = table[p[2]];
        }
    }
    return true;
}

bool NImageBuffer::AddChannelOffsets(int red, int green, int blue)
{
    if (!IsDirect(*this))
        return false;
    // Offsets beyond one byte's range give the same results; limiting them keeps the sums in range.
    const int r = std::clamp(red, -256, 256), g = std::clamp(green, -256, 256), b = std::clamp(blue, -256, 256);
    ForEachPixelParallel(*this, [r, g, b](uint8_t* p) {
        p[0] = ClampByte(p[0] + b);
        p[1] = ClampByte(p[1] + g);
        p[2] = ClampByte(p[2] + r);
    });
    return true;
}

bool NImageBuffer::AdjustSaturation(int value)
{
    if (!IsDirect(*this))
        return false;
    int c;
    if (value < -100)
        c = 0;
    else if (value > 100)
        c = 400;
    else if (value > 0)
        c = 3 * value + 100;
    else
        c = value + 100;
    const int k = c * 1024 / 100;
    ForEachPixelParallel(*this, [k](uint8_t* p) {
        const int L = Luma(p[2], p[1], p[0]);
        for (int i = 0; i < 3; ++i)
            p[i] = ClampByte((k * (p[i] - L) + L * 1024) >> 10);
    });
    return true;
}

namespace {

double HueValue(double p, double q, double x)
{
    while (x < 0.0)
        x += 360.0;
    while (x >= 360.0)
        x -= 360.0;
    if (x < 60.0)
        return p + (q - p) * x / 60.0;
    if (x < 180.0)
        return q;
    if (x < 240.0)
        return p + (q - p) * (240.0 - x) / 60.0;
    return p;
}

void ShiftHue(uint8_t* pixel, double degrees)
{
    const int R = pixel[2], G = pixel[1], B = pixel[0];
    const int maxValue = std::max({R, G, B});
    const int minValue = std::min({R, G, B});
    const double l = (maxValue + minValue) / 510.0;
    double s = 0.0, h = 0.0;
    if (maxValue != minValue) {
        const double d = maxValue - minValue;
        s = l <= 0.5 ? d / (maxValue + minValue) : d / (510.0 - maxValue - minValue);
        if (R >= G && R >= B)
            h = (G - B) * 60.0 / d + 360.0;
        else if (G > R && G >= B)
            h = (B - R) * 60.0 / d + 120.0;
        else
            h = (R - G) * 60.0 / d + 240.0;
        if (h >= 360.0)
            h -= 360.0;
    }
    h += degrees;
    if (s == 0.0) {
        const uint8_t grey = static_cast<uint8_t>(l * 255.0);
        pixel[0] = pixel[1] = pixel[2] = grey;
        return;
    }
    const double q = l <= 0.5 ? l * (1.0 + s) : l + s - l * s;
    const double p = 2.0 * l - q;
    pixel[2] = static_cast<uint8_t>(std::clamp(255.0 * HueValue(p, q, h + 120.0), 0.0, 255.0));
    pixel[1] = static_cast<uint8_t>(std::clamp(255.0 * HueValue(p, q, h), 0.0, 255.0));
    pixel[0] = static_cast<uint8_t>(std::clamp(255.0 * HueValue(p, q, h - 120.0), 0.0, 255.0));
}

}  // namespace

bool NImageBuffer::AdjustHue(int degrees)
{
    if (!IsDirect(*this))
        return false;
    const double shift = std::clamp(degrees, -180, 180);
    ForEachPixelParallel(*this, [shift](uint8_t* p) { ShiftHue(p, shift); });
    return true;
}

bool NImageBuffer::IsMostlyDark(int threshold) const
{
    if (!IsDirect(*this))
        return false;
    size_t bright = 0, dark = 0;
    ForEachPixel(*this, [&](const uint8_t* p) {
        if (Luma(p[2], p[1], p[0]) >= threshold)
            ++bright;
        else
            ++dark;
    });
    return bright < dark;
}

bool NImageBuffer::ApplyLumaShift(const int* table)
{
    if (!IsDirect(*this) || !table)
        return false;
    ForEachPixelParallel(*this, [table](uint8_t* p) {
        const int L = Luma(p[2], p[1], p[0]);
        const int d = std::clamp(table[L], -512, 512) - L;
        p[0] = ClampByte(p[0] + d);
        p[1] = ClampByte(p[1] + d);
        p[2] = ClampByte(p[2] + d);
    });
    return true;
}

bool NImageBuffer::ApplyChannelTables(const int* red, const int* green, const int* blue, const int* luma)
{
    if (!IsDirect(*this))
        return false;
    if (luma)
        return ApplyLumaShift(luma);
    if (!red && !green && !blue)
        return true;
    GdiFlush();
    const int step = bpp / 8;
    for (int line = 0; line < height; ++line) {
        uint8_t* pixel = bits + line * static_cast<size_t>(stride);
        for (int x = 0; x < width; ++x, pixel += step) {
            if (blue)
                pixel[0] = static_cast<uint8_t>(blue[pixel[0]]);
            if (green)
                pixel[1] = static_cast<uint8_t>(green[pixel[1]]);
            if (red)
                pixel[2] = static_cast<uint8_t>(red[pixel[2]]);
        }
    }
    return true;
}
