// The picture record: creation, copy, release, palette and painting.
#include "imaging/NImageBuffer.h"

#include "base/GdiOwners.h"
#include "base/Log.h"
#include "imaging/DecodeBudget.h"

#include <cstdlib>
#include <cstring>

const uint8_t kFiveBitExpansion[32] = {
    0,   8,   16,  25,  33,  41,  49,  58,  66,  74,  82,  90,  99,  107, 115, 123,
    132, 140, 148, 156, 165, 173, 181, 189, 197, 206, 214, 222, 230, 239, 247, 255,
};

namespace {

// A BITMAPINFO with room for a full colour table.
struct BitmapInfo256 {
    BITMAPINFOHEADER header;
    RGBQUAD colours[256];
};

constexpr int kDefaultDpi = 96;
constexpr int kDefaultPixelsPerMetre = 3779;  // 96 dpi

int PixelsPerMetre(int dpi)
{
    return static_cast<int>(dpi * 0.393700787402 * 100);
}

int RoundDepth(int requested, bool palettePossible)
{
    if (requested <= 8 && !palettePossible)
        return 24;
    if (requested <= 1)
        return 1;
    if (requested <= 4)
        return 4;
    if (requested <= 8)
        return 8;
    if (requested <= 16)
        return 16;
    if (requested <= 24)
        return 24;
    return 32;
}

// Picture sizes whose pixel memory cannot be addressed with int32 arithmetic are refused.
bool SizeFits(int width, int height, int bitsPerPixel)
{
    int stride = NImageBuffer::StrideFor(width, bitsPerPixel);
    return stride > 0 && height > 0 && static_cast<int64_t>(stride) * height <= INT32_MAX;
}

}  // namespace

int NImageBuffer::StrideFor(int width, int bitsPerPixel)
{
    if (width <= 0 || bitsPerPixel <= 0)
        return 0;
    int64_t stride = ((static_cast<int64_t>(width) * bitsPerPixel + 31) >> 3) & ~int64_t{3};
    return stride > INT32_MAX ? 0 : static_cast<int>(stride);
}

bool NImageBuffer::CreatableSize(int64_t width, int64_t height, int bitsPerPixel, bool withPalette)
{
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
        return false;
    return SizeFits(static_cast<int>(width), static_cast<int>(height), RoundDepth(bitsPerPixel, withPalette));
}

NImageBuffer::NImageBuffer()
    : width(0), height(0), bpp(0), stride(0), dpiX(kDefaultDpi), dpiY(kDefaultDpi), bits(nullptr),
      palette{}, bitmap(nullptr), previousObject(nullptr), dc(nullptr), hasTransparency(0),
      transparentIndex(0), transparentColour(0), valid(0), distanceRed(nullptr), distanceGreen(nullptr),
      distanceBlue(nullptr)
{
}

NImageBuffer::~NImageBuffer()
{
    Destroy();
    FreeColourDistanceTables();
}

void NImageBuffer::ReleaseSurface()
{
    if (bitmap || dc) {
        if (bitmap && dc)
            DeselectBitmap();
        if (bitmap)
            DeleteObject(bitmap);
        if (dc)
            DeleteDC(dc);
    }
    bitmap = nullptr;
    previousObject = nullptr;
    dc = nullptr;
    DecodeBudget::Give(budgetBytes_);
    budgetBytes_ = 0;
    width = 0;
    height = 0;
    bpp = 0;
    stride = 0;
    dpiX = 0;
    dpiY = 0;
    bits = nullptr;
    hasTransparency = 0;
    transparentIndex = 0;
    transparentColour = 0;
    memset(palette, 0, sizeof(palette));
    valid = 0;
}

bool NImageBuffer::Destroy()
{
    if (!valid)
        return false;
    ReleaseSurface();
    return true;
}

void NImageBuffer::Adopt(NImageBuffer& other)
{
    if (&other == this)
        return;
    ReleaseSurface();
    width = other.width;
    height = other.height;
    bpp = other.bpp;
    stride = other.stride;
    dpiX = other.dpiX;
    dpiY = other.dpiY;
    bits = other.bits;
    memcpy(palette, other.palette, sizeof(palette));
    bitmap = other.bitmap;
    previousObject = other.previousObject;
    dc = other.dc;
    hasTransparency = other.hasTransparency;
    transparentIndex = other.transparentIndex;
    transparentColour = other.transparentColour;
    valid = other.valid;
    budgetBytes_ = other.budgetBytes_;
    other.budgetBytes_ = 0;
    other.bitmap = nullptr;
    other.previousObject = nullptr;
    other.dc = nullptr;
    other.ReleaseSurface();
    other.dpiX = 96;
    other.dpiY = 96;
}

bool NImageBuffer::ReplaceFromBits(int newWidth, int newHeight, int bitsPerPixel, const void* rows,
                                   const uint8_t* paletteRgb)
{
    NImageBuffer replacement;
    if (!replacement.CreateFromBits(newWidth, newHeight, bitsPerPixel, rows, paletteRgb))
        return false;
    Adopt(replacement);
    return true;
}

bool NImageBuffer::MakeSurface(int pixelsPerMetreX, int pixelsPerMetreY, const uint8_t* paletteRgb)
{
    BitmapInfo256 info{};
    info.header.biSize = sizeof(BITMAPINFOHEADER);
    info.header.biWidth = width;
    info.header.biHeight = height;
    info.header.biPlanes = 1;
    info.header.biBitCount = bpp;
    info.header.biCompression = BI_RGB;
    info.header.biXPelsPerMeter = pixelsPerMetreX;
    info.header.biYPelsPerMeter = pixelsPerMetreY;
    if (bpp <= 8 && paletteRgb) {
        for (int i = 0; i < 256; ++i) {
            palette[i][0] = paletteRgb[i * 3 + 2];
            palette[i][1] = paletteRgb[i * 3 + 1];
            palette[i][2] = paletteRgb[i * 3 + 0];
            info.colours[i].rgbBlue = palette[i][0];
            info.colours[i].rgbGreen = palette[i][1];
            info.colours[i].rgbRed = palette[i][2];
            info.colours[i].rgbReserved = 0;
        }
    }

    // Inside a load the pixel memory comes from the decode budget first.
    const uint64_t bytes = static_cast<uint64_t>(stride) * static_cast<uint64_t>(height);
    if (!DecodeBudget::Take(bytes)) {
        ReleaseSurface();
        return false;
    }
    budgetBytes_ = DecodeBudget::Counting() ? bytes : 0;

    dc = CreateCompatibleDC(nullptr);
    void* memory = nullptr;
    bitmap = CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &memory, nullptr, 0);
    bits = static_cast<uint8_t*>(memory);
    if (!dc || !bitmap || !bits) {
        ReleaseSurface();
        return false;
    }
    SelectBitmap();
    valid = 1;
    return true;
}

bool NImageBuffer::MakeNewSurface(int newWidth, int newHeight, int depth, const uint8_t* paletteRgb)
{
    Destroy();
    width = newWidth;
    height = newHeight;
    bpp = static_cast<uint8_t>(depth);
    dpiX = kDefaultDpi;
    dpiY = kDefaultDpi;
    stride = StrideFor(width, bpp);
    return MakeSurface(kDefaultPixelsPerMetre, kDefaultPixelsPerMetre, paletteRgb);
}

bool NImageBuffer::Create(int newWidth, int newHeight, int bitsPerPixel, COLORREF fill, const uint8_t* paletteRgb)
{
    int depth = RoundDepth(bitsPerPixel, paletteRgb != nullptr);
    if (newWidth <= 0 || newHeight <= 0 || !SizeFits(newWidth, newHeight, depth))
        return false;
    if (!MakeNewSurface(newWidth, newHeight, depth, paletteRgb))
        return false;
    // A new DIB section is all zeros: black needs no fill at 16 bpp and more, and pages of a large
    // picture stay untouched until its rows are decoded.
    if (fill != 0 || bpp < 16)
        Fill(fill);
    return true;
}

bool NImageBuffer::CreateFromBits(int newWidth, int newHeight, int bitsPerPixel, const void* rows,
                                  const uint8_t* paletteRgb)
{
    int depth = RoundDepth(bitsPerPixel, true);
    if (newWidth <= 0 || newHeight <= 0 || !rows || !SizeFits(newWidth, newHeight, depth))
        return false;
    if (depth <= 8 && !paletteRgb)
        return false;
    if (!MakeNewSurface(newWidth, newHeight, depth, paletteRgb))
        return false;
    memcpy(bits, rows, static_cast<size_t>(stride) * height);
    return true;
}

bool NImageBuffer::Copy(const NImageBuffer& source)
{
    if (!source.valid || &source == this)
        return source.valid != 0;
    Destroy();
    width = source.width;
    height = source.height;
    bpp = source.bpp;
    stride = source.stride;
    dpiX = source.dpiX;
    dpiY = source.dpiY;
    if (source.hasTransparency) {
        hasTransparency = source.hasTransparency;
        transparentIndex = source.transparentIndex;
        transparentColour = source.transparentColour;
    }
    uint8_t paletteRgb[256 * 3];
    for (int i = 0; i < 256; ++i) {
        paletteRgb[i * 3 + 0] = source.palette[i][2];
        paletteRgb[i * 3 + 1] = source.palette[i][1];
        paletteRgb[i * 3 + 2] = source.palette[i][0];
    }
    if (!MakeSurface(PixelsPerMetre(dpiX), PixelsPerMetre(dpiY), paletteRgb))
        return false;
    GdiFlush();
    memcpy(bits, source.bits, static_cast<size_t>(stride) * height);
    return true;
}

bool NImageBuffer::CreateFromHBitmap(HBITMAP source)
{
    if (!source)
        return false;
    Destroy();

    uint8_t* rows = nullptr;
    int sourceWidth = 0;
    int sourceHeight = 0;
    int depth = 0;
    uint8_t paletteRgb[256 * 3] = {};
    {
        const MemoryDcOwner memoryDc(CreateCompatibleDC(nullptr));
        if (!memoryDc)
            return false;
        // A bitmap already selected elsewhere (another record's DIB section) stays where it is.
        const ObjectSelection selection(memoryDc.Get(), source);

        BitmapInfo256 info{};
        info.header.biSize = sizeof(BITMAPINFOHEADER);
        if (!GetDIBits(memoryDc.Get(), source, 0, 0, nullptr, reinterpret_cast<BITMAPINFO*>(&info),
                       DIB_RGB_COLORS)) {
            LogMessage(L"CreateFromHBitmap: No GetImageInfo");
            return false;
        }
        sourceWidth = abs(info.header.biWidth);
        sourceHeight = abs(info.header.biHeight);
        // Rows are asked for as plain packed pixels of a standard depth, bottom-up: a bitmap that
        // reports bit-field masks (5-6-5, device bitmaps) is converted by GDI.
        depth = RoundDepth(info.header.biBitCount, true);
        info.header.biWidth = sourceWidth;
        info.header.biHeight = sourceHeight;
        info.header.biBitCount = static_cast<WORD>(depth);
        info.header.biCompression = BI_RGB;
        info.header.biSizeImage = 0;
        info.header.biClrUsed = 0;
        info.header.biClrImportant = 0;
        if (sourceWidth <= 0 || sourceHeight <= 0 || !SizeFits(sourceWidth, sourceHeight, depth)) {
            LogMessage(L"CreateFromHBitmap: No SrcBuffer");
            return false;
        }
        size_t size = static_cast<size_t>(StrideFor(sourceWidth, depth)) * sourceHeight;
        rows = static_cast<uint8_t*>(malloc(size));
        if (!rows) {
            LogMessage(L"CreateFromHBitmap: No SrcBuffer");
            return false;
        }
        if (GetDIBits(memoryDc.Get(), source, 0, sourceHeight, rows, reinterpret_cast<BITMAPINFO*>(&info),
                      DIB_RGB_COLORS) == 0) {
            free(rows);
            LogMessage(L"CreateFromHBitmap: No GetImageData");
            return false;
        }
        if (depth <= 8) {
            for (int i = 0; i < (1 << depth); ++i) {
                paletteRgb[i * 3 + 0] = info.colours[i].rgbRed;
                paletteRgb[i * 3 + 1] = info.colours[i].rgbGreen;
                paletteRgb[i * 3 + 2] = info.colours[i].rgbBlue;
            }
        }
    }
    bool created = CreateFromBits(sourceWidth, sourceHeight, depth, rows, paletteRgb);
    free(rows);
    return created;
}

bool NImageBuffer::SelectBitmap()
{
    if (!bitmap || !dc)
        return false;
    previousObject = SelectObject(dc, bitmap);
    return previousObject != nullptr;
}

bool NImageBuffer::DeselectBitmap()
{
    if (!bitmap || !dc)
        return false;
    SelectObject(dc, previousObject);
    return true;
}

bool NImageBuffer::SetPalette(const uint8_t* rgbTriplets, int count)
{
    if (!valid || bpp > 8 || !rgbTriplets || count <= 0)
        return false;
    int entries = count < (1 << bpp) ? count : (1 << bpp);
    RGBQUAD quads[256];
    for (int i = 0; i < entries; ++i) {
        quads[i].rgbRed = rgbTriplets[i * 3 + 0];
        quads[i].rgbGreen = rgbTriplets[i * 3 + 1];
        quads[i].rgbBlue = rgbTriplets[i * 3 + 2];
        quads[i].rgbReserved = 0;
    }
    return SetPaletteRGBQuad(quads, entries);
}

bool NImageBuffer::SetPaletteRGBQuad(const RGBQUAD* entries, int count)
{
    if (!valid || bpp > 8 || !entries || count <= 0)
        return false;
    int used = count < (1 << bpp) ? count : (1 << bpp);
    for (int i = 0; i < used; ++i) {
        palette[i][0] = entries[i].rgbBlue;
        palette[i][1] = entries[i].rgbGreen;
        palette[i][2] = entries[i].rgbRed;
    }
    return SetDIBColorTable(dc, 0, static_cast<UINT>(used), entries) != 0;
}

bool NImageBuffer::FillRect(const NImageRect* rect, COLORREF colour)
{
    if (!valid || !rect)
        return false;
    RECT area = {rect->x, rect->y, rect->x + rect->width, rect->y + rect->height};
    const BrushOwner brush(CreateSolidBrush(colour));
    if (!brush)
        return false;
    ::FillRect(dc, &area, brush.Get());
    GdiFlush();
    return true;
}

bool NImageBuffer::Fill(COLORREF colour)
{
    NImageRect whole = {0, 0, width, height};
    return FillRect(&whole, colour);
}

void NImageBuffer::BuildColourDistanceTables()
{
    FreeColourDistanceTables();
    distanceRed = new int32_t[256];
    distanceGreen = new int32_t[256];
    distanceBlue = new int32_t[256];
    for (int i = 0; i < 256; ++i) {
        distanceRed[i] = i * i * 297;
        distanceGreen[i] = i * i * 590;
        distanceBlue[i] = i * i * 113;
    }
}

void NImageBuffer::FreeColourDistanceTables()
{
    delete[] distanceRed;
    delete[] distanceGreen;
    delete[] distanceBlue;
    distanceRed = nullptr;
    distanceGreen = nullptr;
    distanceBlue = nullptr;
}
