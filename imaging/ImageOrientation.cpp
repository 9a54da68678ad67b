// Exact geometry changes: flips, mirrors, half and quarter turns, EXIF orientation.
#include "imaging/NImageBuffer.h"

#include <cstdlib>
#include <cstring>

namespace {

inline int ReadIndex(const uint8_t* row, int x, int bitsPerPixel)
{
    if (bitsPerPixel == 1)
        return (row[x >> 3] >> (7 - (x & 7))) & 1;
    return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
}

// Sets pixel x of a zeroed 1- or 4-bpp row.
inline void WriteIndex(uint8_t* row, int x, int bitsPerPixel, int index)
{
    if (bitsPerPixel == 1) {
        if (index)
            row[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    } else {
        row[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
    }
}

}  // namespace

bool NImageBuffer::FlipVertical()
{
    if (!valid || !bits)
        return false;
    uint8_t* scratch = static_cast<uint8_t*>(malloc(stride));
    if (!scratch)
        return false;
    GdiFlush();
    for (int k = 0; k < (height + 1) / 2; ++k) {
        uint8_t* low = bits + static_cast<size_t>(k) * stride;
        uint8_t* high = bits + static_cast<size_t>(height - 1 - k) * stride;
        memcpy(scratch, low, stride);
        memmove(low, high, stride);
        memcpy(high, scratch, stride);
    }
    free(scratch);
    return true;
}

bool NImageBuffer::MirrorHorizontal()
{
    if (!valid)
        return false;
    GdiFlush();
    if (bpp == 1 || bpp == 4) {
        uint8_t* scratch = static_cast<uint8_t*>(malloc(stride));
        if (!scratch)
            return false;
        for (int line = 0; line < height; ++line) {
            uint8_t* row = bits + static_cast<size_t>(line) * stride;
            memset(scratch, 0, stride);
            for (int x = 0; x < width; ++x)
                WriteIndex(scratch, x, bpp, ReadIndex(row, width - 1 - x, bpp));
            memcpy(row, scratch, stride);
        }
        free(scratch);
        return true;
    }

    const int step = bpp / 8;
#pragma omp parallel for schedule(static)
    for (int line = 0; line < height; ++line) {
        uint8_t* row = bits + static_cast<size_t>(line) * stride;
        for (int j = 0; j < (width + 1) / 2; ++j) {
            uint8_t* a = row + static_cast<size_t>(j) * step;
            uint8_t* b = row + static_cast<size_t>(width - 1 - j) * step;
            for (int i = 0; i < step; ++i) {
                uint8_t t = a[i];
                a[i] = b[i];
                b[i] = t;
            }
        }
    }
    return true;
}

bool NImageBuffer::Rotate180()
{
    if (!valid)
        return false;
    return FlipVertical() && MirrorHorizontal();
}

// Quarter turn: the new picture is H wide and W high. Clockwise, new scan line n takes old
// column W - 1 - n read from the bottom scan line up; counter-clockwise, old column n read from
// the top scan line down.
bool NImageBuffer::QuarterTurn(bool clockwise)
{
    if (!valid)
        return false;
    const int oldWidth = width;
    const int oldHeight = height;
    const int depth = bpp;
    const int newWidth = oldHeight;
    const int newHeight = oldWidth;
    const int newStride = NImageBuffer::StrideFor(newWidth, depth);
    if (newStride <= 0)
        return false;
    uint8_t* rows = static_cast<uint8_t*>(calloc(static_cast<size_t>(newStride), newHeight));
    if (!rows)
        return false;

    GdiFlush();
    const uint8_t* source = bits;
    const int oldStride = stride;
    const int step = depth / 8;
#pragma omp parallel for schedule(static)
    for (int n = 0; n < newHeight; ++n) {
        uint8_t* out = rows + static_cast<size_t>(n) * newStride;
        const int column = clockwise ? oldWidth - 1 - n : n;
        for (int x = 0; x < newWidth; ++x) {
            const int line = clockwise ? x : oldHeight - 1 - x;
            const uint8_t* row = source + static_cast<size_t>(line) * oldStride;
            if (depth < 8) {
                WriteIndex(out, x, depth, ReadIndex(row, column, depth));
            } else {
                memcpy(out + static_cast<size_t>(x) * step, row + static_cast<size_t>(column) * step, step);
            }
        }
    }

    uint8_t paletteRgb[256 * 3];
    for (int i = 0; i < 256; ++i) {
        paletteRgb[i * 3 + 0] = palette[i][2];
        paletteRgb[i * 3 + 1] = palette[i][1];
        paletteRgb[i * 3 + 2] = palette[i][0];
    }
    // The physical size turns with the picture: the two resolutions change places.
    const int oldDpiX = dpiX;
    const int oldDpiY = dpiY;
    const bool created = ReplaceFromBits(newWidth, newHeight, depth, rows, paletteRgb);
    free(rows);
    if (!created)
        return false;
    dpiX = oldDpiY;
    dpiY = oldDpiX;
    return true;
}

bool NImageBuffer::Rotate90Clockwise()
{
    return QuarterTurn(true);
}

bool NImageBuffer::Rotate90CounterClockwise()
{
    return QuarterTurn(false);
}

void NImageBuffer::ApplyOrientation(int orientation)
{
    switch (orientation) {
    case 2:
        MirrorHorizontal();
        break;
    case 3:
        MirrorHorizontal();
        FlipVertical();
        break;
    case 4:
        FlipVertical();
        break;
    case 5:
        Rotate90Clockwise();
        MirrorHorizontal();
        break;
    case 6:
        Rotate90Clockwise();
        break;
    case 7:
        Rotate90Clockwise();
        FlipVertical();
        break;
    case 8:
        Rotate90CounterClockwise();
        break;
    default:
        break;
    }
}
