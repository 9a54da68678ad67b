// Bit-depth conversion, row access in a fixed depth, and the palette-mapping dither.
#include "imaging/NImageBuffer.h"

#include "imaging/NImageQuantize.h"

#include <cstdlib>
#include <cstring>

namespace {

BITMAPINFOHEADER PlainHeader(int width, int height, int bitsPerPixel)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(BITMAPINFOHEADER);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = static_cast<WORD>(bitsPerPixel);
    header.biCompression = BI_RGB;
    return header;
}

uint8_t* AllocateRows(int width, int height, int bitsPerPixel)
{
    int stride = NImageBuffer::StrideFor(width, bitsPerPixel);
    if (stride <= 0 || height <= 0)
        return nullptr;
    return static_cast<uint8_t*>(malloc(static_cast<size_t>(stride) * height));
}

// The record's blue-first palette as 256 red, green, blue triplets.
void PaletteAsRgb(const NImageBuffer& image, uint8_t* rgb)
{
    for (int i = 0; i < 256; ++i) {
        rgb[i * 3 + 0] = image.palette[i][2];
        rgb[i * 3 + 1] = image.palette[i][1];
        rgb[i * 3 + 2] = image.palette[i][0];
    }
}

// Index of pixel x of a 1-, 4- or 8-bpp row.
int PaletteIndexAt(const uint8_t* row, int x, int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1:
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    case 4:
        return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
    default:
        return row[x];
    }
}

float Clamp255(float value)
{
    return value < 0.0f ? 0.0f : (value > 255.0f ? 255.0f : value);
}

}  // namespace

uint8_t* NImageBuffer::GetBitsAs(int bitsPerPixel) const
{
    if (!valid || (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32))
        return nullptr;

    if (bitsPerPixel == 24 && bpp == 32) {
        NImageBuffer premultiplied;
        NImageBuffer white;
        if (!premultiplied.Copy(*this) || !white.Create(width, height, 24, 0x00FFFFFF))
            return nullptr;
        premultiplied.PremultiplyAlpha();
        AlphaBlendImage(white.dc, 0, 0, premultiplied, 255, AC_SRC_ALPHA);
        GdiFlush();
        size_t size = static_cast<size_t>(white.stride) * height;
        uint8_t* rows = static_cast<uint8_t*>(malloc(size));
        if (rows)
            memcpy(rows, white.bits, size);
        return rows;
    }

    uint8_t* rows = AllocateRows(width, height, bitsPerPixel);
    if (!rows)
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader = PlainHeader(width, height, bitsPerPixel);
    GdiFlush();
    if (GetDIBits(dc, bitmap, 0, static_cast<UINT>(height), rows, &info, DIB_RGB_COLORS) == 0) {
        free(rows);
        return nullptr;
    }
    return rows;
}

uint8_t* NImageBuffer::GetRowAs(int bitsPerPixel, int scanLine) const
{
    if (!valid || (bitsPerPixel != 16 && bitsPerPixel != 24 && bitsPerPixel != 32))
        return nullptr;
    if (scanLine < 0 || scanLine >= height)
        return nullptr;

    if (bitsPerPixel == 24 && bpp == 32) {
        NImageBuffer row32;
        NImageBuffer white;
        if (!row32.Create(width, 1, 32, 0) || !white.Create(width, 1, 24, 0x00FFFFFF))
            return nullptr;
        StretchBlt(row32.dc, 0, 0, width, 1, dc, 0, height - 1 - scanLine, width, 1, SRCCOPY);
        GdiFlush();
        AlphaStretchBlendImage(white.dc, 0, 0, width, 1, row32, 0, 0, width, 1, 255, AC_SRC_ALPHA);
        GdiFlush();
        uint8_t* row = static_cast<uint8_t*>(malloc(white.stride));
        if (row)
            memcpy(row, white.bits, white.stride);
        return row;
    }

    uint8_t* row = AllocateRows(width, 1, bitsPerPixel);
    if (!row)
        return nullptr;
    BITMAPINFO info{};
    info.bmiHeader = PlainHeader(width, height, bitsPerPixel);
    GdiFlush();
    if (GetDIBits(dc, bitmap, static_cast<UINT>(scanLine), 1, row, &info, DIB_RGB_COLORS) == 0) {
        free(row);
        return nullptr;
    }
    return row;
}

bool NImageBuffer::SetBitsFromDIB(int bitsPerPixel, const void* rows)
{
    if (!valid || bitsPerPixel < 9 || !rows)
        return false;
    BITMAPINFO info{};
    info.bmiHeader = PlainHeader(width, height, bitsPerPixel);
    int lines = StretchDIBits(dc, 0, 0, width, height, 0, 0, width, height, rows, &info, DIB_RGB_COLORS, SRCCOPY);
    GdiFlush();
    return lines > 0;
}

bool NImageBuffer::SetRowBits(int bitsPerPixel, int scanLine, const void* row)
{
    if (!valid || bitsPerPixel < 9 || !row || scanLine < 0 || scanLine >= height)
        return false;
    BITMAPINFO info{};
    info.bmiHeader = PlainHeader(width, height, bitsPerPixel);
    GdiFlush();
    int lines = SetDIBits(dc, bitmap, static_cast<UINT>(scanLine), 1, row, &info, DIB_RGB_COLORS);
    return lines > 0;
}

bool NImageBuffer::ConvertToBpp(int bitsPerPixel, bool flattenAlpha)
{
    if (!valid)
        return false;
    uint8_t target = static_cast<uint8_t>(bitsPerPixel);
    if (target == bpp)
        return true;
    if (target > bpp)
        return ConvertUp(target);
    return ConvertDown(target, flattenAlpha);
}

bool NImageBuffer::ConvertUp(int target)
{
    if (!valid || target <= bpp)
        return false;

    uint8_t paletteRgb[256 * 3];
    if (target == 4 || target == 8) {
        // The old 2 or 16 entries, the rest black.
        PaletteAsRgb(*this, paletteRgb);
        memset(paletteRgb + (1 << bpp) * 3, 0, sizeof(paletteRgb) - (1 << bpp) * 3);
        uint8_t* rows = AllocateRows(width, height, target);
        if (!rows)
            return false;
        int newStride = StrideFor(width, target);
        memset(rows, 0, static_cast<size_t>(newStride) * height);
        GdiFlush();
        for (int line = 0; line < height; ++line) {
            const uint8_t* source = bits + static_cast<size_t>(line) * stride;
            uint8_t* out = rows + static_cast<size_t>(line) * newStride;
            for (int x = 0; x < width; ++x) {
                int index = PaletteIndexAt(source, x, bpp);
                if (target == 8)
                    out[x] = static_cast<uint8_t>(index);
                else
                    out[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
            }
        }
        bool created = ReplaceFromBits(width, height, target, rows, paletteRgb);
        free(rows);
        return created;
    }

    if (target == 16 || target == 24) {
        uint8_t* rows = GetBitsAs(target);
        if (!rows)
            return false;
        PaletteAsRgb(*this, paletteRgb);
        bool created = ReplaceFromBits(width, height, target, rows, paletteRgb);
        free(rows);
        return created;
    }

    if (target == 32) {
        uint8_t* rows = GetBitsAs(32);
        if (!rows)
            return false;
        bool keyed = hasTransparency && bpp <= 8;
        int key = transparentIndex;
        int rowStride = StrideFor(width, 32);
        GdiFlush();
        for (int line = 0; line < height; ++line) {
            uint8_t* pixel = rows + static_cast<size_t>(line) * rowStride;
            const uint8_t* indices = bits + static_cast<size_t>(line) * stride;
            for (int x = 0; x < width; ++x, pixel += 4)
                pixel[3] = (keyed && PaletteIndexAt(indices, x, bpp) == key) ? 0 : 255;
        }
        bool created = ReplaceFromBits(width, height, 32, rows, nullptr);
        free(rows);
        return created;
    }

    return true;  // no such depth: the picture stays as it is
}

bool NImageBuffer::ConvertDown(int target, bool flattenAlpha)
{
    (void)flattenAlpha;  // a 32-bpp picture is always composited over white on the way down
    if (!valid || target >= bpp)
        return false;

    uint8_t paletteRgb[256 * 3] = {};
    uint8_t* rows = nullptr;
    switch (target) {
    case 1:
        paletteRgb[3] = paletteRgb[4] = paletteRgb[5] = 255;
        rows = DitherToMonochrome(paletteRgb);
        break;
    case 4: {
        NImageQuantize quantizer(16, 8);
        uint8_t sourcePalette[256 * 3];
        PaletteAsRgb(*this, sourcePalette);
        GdiFlush();
        if (!quantizer.AddPixels(bits, width, height, bpp, bpp <= 8 ? sourcePalette : nullptr))
            return false;
        RGBQUAD entries[16] = {};
        quantizer.GetPalette(entries);
        for (int i = 0; i < 16; ++i) {
            paletteRgb[i * 3 + 0] = entries[i].rgbRed;
            paletteRgb[i * 3 + 1] = entries[i].rgbGreen;
            paletteRgb[i * 3 + 2] = entries[i].rgbBlue;
        }
        rows = MapToPalette16(paletteRgb);
        break;
    }
    case 8:
        GdiFlush();
        rows = QuantizeTo256(bits, width, height, bpp, paletteRgb);
        break;
    case 16:
    case 24:
        rows = GetBitsAs(target);
        break;
    default:
        return true;  // no such depth: the picture stays as it is
    }
    if (!rows)
        return false;
    bool created = ReplaceFromBits(width, height, target, rows, paletteRgb);
    free(rows);
    return created;
}

// Serpentine Floyd-Steinberg error diffusion of the picture onto a palette of `entries` RGB
// triplets, written as 1-bpp (entries = 2) or 4-bpp (entries = 16) rows.
static uint8_t* MapToPalette(NImageBuffer& image, const uint8_t* paletteRgb, int entries)
{
    const int outDepth = entries == 2 ? 1 : 4;
    const int width = image.width;
    const int height = image.height;
    const int outStride = NImageBuffer::StrideFor(width, outDepth);
    uint8_t* out = AllocateRows(width, height, outDepth);
    if (!out)
        return nullptr;
    memset(out, 0, static_cast<size_t>(outStride) * height);

    const size_t slots = 3 * (static_cast<size_t>(width) + 2);
    float* errorA = static_cast<float*>(calloc(slots, sizeof(float)));
    float* errorB = static_cast<float*>(calloc(slots, sizeof(float)));
    if (!errorA || !errorB) {
        free(errorA);
        free(errorB);
        free(out);
        return nullptr;
    }
    image.BuildColourDistanceTables();
    const int32_t* dr = image.distanceRed;
    const int32_t* dg = image.distanceGreen;
    const int32_t* db = image.distanceBlue;

    float* current = errorA;
    float* next = errorB;
    GdiFlush();
    for (int line = 0; line < height; ++line) {
        float* swap = current;
        current = next;
        next = swap;
        memset(next, 0, slots * sizeof(float));

        const uint8_t* row = image.bits + static_cast<size_t>(line) * image.stride;
        uint8_t* outRow = out + static_cast<size_t>(line) * outStride;
        const bool forward = (line & 1) == 0;
        const int dir = forward ? 1 : -1;
        for (int i = 0; i < width; ++i) {
            const int x = forward ? i : width - 1 - i;
            int r, g, b;
            switch (image.bpp) {
            case 24:
            case 32: {
                const uint8_t* p = row + static_cast<size_t>(x) * (image.bpp / 8);
                b = p[0];
                g = p[1];
                r = p[2];
                break;
            }
            case 16: {
                unsigned word = row[x * 2] | (row[x * 2 + 1] << 8);
                r = kFiveBitExpansion[(word >> 10) & 31];
                g = kFiveBitExpansion[(word >> 5) & 31];
                b = kFiveBitExpansion[word & 31];
                break;
            }
            default: {
                int index = PaletteIndexAt(row, x, image.bpp);
                b = image.palette[index][0];
                g = image.palette[index][1];
                r = image.palette[index][2];
                break;
            }
            }
            const int slot = (x + 1) * 3;
            float vr = Clamp255(r + current[slot + 0]);
            float vg = Clamp255(g + current[slot + 1]);
            float vb = Clamp255(b + current[slot + 2]);
            int ir = static_cast<int>(vr), ig = static_cast<int>(vg), ib = static_cast<int>(vb);

            int best = 0;
            int32_t bestDistance = INT32_MAX;
            for (int k = 0; k < entries; ++k) {
                const uint8_t* e = paletteRgb + k * 3;
                int32_t d = dg[abs(e[1] - ig)];
                if (d >= bestDistance)
                    continue;
                d += dr[abs(e[0] - ir)];
                if (d >= bestDistance)
                    continue;
                d += db[abs(e[2] - ib)];
                if (d >= bestDistance)
                    continue;
                best = k;
                bestDistance = d;
                if (d == 0)
                    break;
            }

            if (outDepth == 1) {
                if (best & 1)
                    outRow[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
            } else {
                outRow[x >> 1] |= static_cast<uint8_t>((x & 1) ? best : best << 4);
            }

            const uint8_t* chosen = paletteRgb + best * 3;
            const float errors[3] = {(vr - chosen[0]) / 16.0f, (vg - chosen[1]) / 16.0f, (vb - chosen[2]) / 16.0f};
            const int ahead = slot + dir * 3;
            const int behind = slot - dir * 3;
            for (int c = 0; c < 3; ++c) {
                current[ahead + c] += 7.0f * errors[c];
                next[slot + c] += 5.0f * errors[c];
                next[behind + c] += 3.0f * errors[c];
                next[ahead + c] += errors[c];
            }
        }
    }

    free(errorA);
    free(errorB);
    image.FreeColourDistanceTables();
    return out;
}

uint8_t* NImageBuffer::DitherToMonochrome(const uint8_t* paletteRgb)
{
    if (!valid || !paletteRgb || (bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32))
        return nullptr;
    return MapToPalette(*this, paletteRgb, 2);
}

uint8_t* NImageBuffer::MapToPalette16(const uint8_t* paletteRgb)
{
    if (!valid || !paletteRgb || (bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32))
        return nullptr;
    return MapToPalette(*this, paletteRgb, 16);
}

bool NImageBuffer::ConvertToGray8()
{
    if (!valid)
        return false;
    uint8_t greyPalette[256 * 3];
    for (int i = 0; i < 256; ++i)
        greyPalette[i * 3] = greyPalette[i * 3 + 1] = greyPalette[i * 3 + 2] = static_cast<uint8_t>(i);
    NImageBuffer grey;
    if (!grey.Create(width, height, 8, 0, greyPalette))
        return false;

    // Lower depths are read through 24-bpp rows; a row that cannot be read fails the conversion.
    const bool direct = bpp == 24 || bpp == 32;
    uint8_t* wide = direct ? nullptr : GetBitsAs(24);
    if (!direct && !wide)
        return false;
    const int step = direct ? bpp / 8 : 3;
    const int sourceStride = direct ? stride : StrideFor(width, 24);
    const uint8_t* source = direct ? bits : wide;
    GdiFlush();
#pragma omp parallel for schedule(static)
    for (int line = 0; line < height; ++line) {
        const uint8_t* p = source + static_cast<size_t>(line) * sourceStride;
        uint8_t* out = grey.bits + static_cast<size_t>(line) * grey.stride;
        for (int x = 0; x < width; ++x, p += step)
            out[x] = static_cast<uint8_t>((29 * p[0] + 150 * p[1] + 77 * p[2] + 128) >> 8);
    }
    free(wide);

    int oldDpiX = dpiX;
    int oldDpiY = dpiY;
    Adopt(grey);
    dpiX = oldDpiX;
    dpiY = oldDpiY;
    return true;
}
