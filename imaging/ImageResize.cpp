// Resizing entry points of the picture record. They pick the resampler (the raw resamplers for
// modes 0 to 4, the scale engine for modes 5 to 11, the smooth scaler for the method-less
// resizes, GDI stretching for the rest), keep the resolution and log their failures.
//
// 32-bit pictures keep their alpha: it is resampled by the same method as the colours, and the
// colours are resampled premultiplied by it (then divided again), so fully transparent pixels lend
// no colour to their neighbours and nothing is blended with a background. Where the result is fully
// transparent, the colour of the source pixel under it is kept. A 32-bit picture whose alpha is 0
// everywhere (drawn by GDI, or stored without alpha) is resampled as plain colour.
#include "imaging/NImageBuffer.h"

#include "base/Log.h"
#include "imaging/NImageScaleEngine.h"
#include "imaging/RawResamplers.h"
#include "imaging/SmoothScaler.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace {

constexpr int kModeCount = 12;
constexpr int kFirstEngineMode = 5;

struct FreeDeleter {
    void operator()(uint8_t* p) const { free(p); }
};
using RowBlock = std::unique_ptr<uint8_t, FreeDeleter>;

size_t RowBytes(int width, int bpp)
{
    return static_cast<size_t>((static_cast<uint64_t>(width) * bpp + 31) / 32 * 4);
}

// A zeroed block of rows for a picture of that size and depth; null when it cannot be had.
RowBlock AllocateRows(int width, int height, int bpp)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    const uint64_t bytes = static_cast<uint64_t>(RowBytes(width, bpp)) * static_cast<uint64_t>(height);
    if (bytes > INT32_MAX)
        return nullptr;
    return RowBlock(static_cast<uint8_t*>(calloc(static_cast<size_t>(bytes), 1)));
}

void LogAllocationFailure(const wchar_t* operation)
{
    LogMessage(L"%s::Failed to allocate memory for storing filtered image!", operation);
}

bool IsComplete(int from, int to, int otherFrom, int otherTo)
{
    return (to < from && otherTo < otherFrom) || (to > from && otherTo > otherFrom);
}

// A smooth change: a complete shrink or enlargement that moves each side by at least 10 pixels.
bool IsSmoothChange(int width, int height, int newWidth, int newHeight)
{
    return IsComplete(width, newWidth, height, newHeight) && std::abs(newWidth - width) >= 10 &&
           std::abs(newHeight - height) >= 10;
}

// The record's palette as red, green, blue triplets.
void PaletteRgb(const NImageBuffer& picture, uint8_t out[768])
{
    for (int i = 0; i < 256; ++i) {
        out[i * 3] = picture.palette[i][2];
        out[i * 3 + 1] = picture.palette[i][1];
        out[i * 3 + 2] = picture.palette[i][0];
    }
}

// All rows of a picture below 24 bpp as 24-bit rows.
RowBlock RowsAs24(const NImageBuffer& picture)
{
    RowBlock rows = AllocateRows(picture.width, picture.height, 24);
    if (!rows)
        return nullptr;
    uint8_t paletteRgb[768];
    PaletteRgb(picture, paletteRgb);
    const size_t outStride = RowBytes(picture.width, 24);
    for (int y = 0; y < picture.height; ++y)
        if (!ReadRowAs24(rows.get() + y * outStride, picture.bits + static_cast<size_t>(y) * picture.stride,
                         picture.width, picture.bpp, paletteRgb))
            return nullptr;
    return rows;
}

// ---- Premultiplied alpha on 32-bit rows (stride = width x 4) ----

void Premultiply(uint8_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i, pixels += 4) {
        const unsigned a = pixels[3];
        if (a == 255)
            continue;
        for (int c = 0; c < 3; ++c)
            pixels[c] = static_cast<uint8_t>((pixels[c] * a + 127) / 255);
    }
}

uint8_t Unpremultiplied(unsigned colour, unsigned alpha)
{
    if (alpha == 0)
        return 0;
    const unsigned value = (colour * 255 + alpha / 2) / alpha;
    return static_cast<uint8_t>(value > 255 ? 255 : value);
}

void Unpremultiply(uint8_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i, pixels += 4) {
        const unsigned a = pixels[3];
        if (a == 255)
            continue;
        for (int c = 0; c < 3; ++c)
            pixels[c] = Unpremultiplied(pixels[c], a);
    }
}

RowBlock PremultipliedRows(const NImageBuffer& picture)
{
    RowBlock rows = AllocateRows(picture.width, picture.height, 32);
    if (!rows)
        return nullptr;
    const size_t count = static_cast<size_t>(picture.width) * picture.height;
    memcpy(rows.get(), picture.bits, count * 4);
    Premultiply(rows.get(), count);
    return rows;
}

// Whether the picture's alpha weighs its colours: 32 bpp with some alpha above 0.
bool WeighsByAlpha(const NImageBuffer& picture)
{
    return picture.bpp == 32 && picture.HasAlpha();
}

// Divides the resampled colours by their alpha again; fully transparent pixels take the colour of
// the source pixel nearest to their centre.
void FinishWeighted(uint8_t* pixels, int width, int height, const NImageBuffer& source)
{
    Unpremultiply(pixels, static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const int sy = static_cast<int>(std::min<int64_t>((2 * int64_t{y} + 1) * source.height / (2 * int64_t{height}),
                                                          source.height - 1));
        const uint8_t* sourceRow = source.bits + static_cast<size_t>(sy) * source.stride;
        uint8_t* out = pixels + static_cast<size_t>(y) * width * 4;
        for (int x = 0; x < width; ++x, out += 4) {
            if (out[3] != 0)
                continue;
            const int64_t sx = std::min<int64_t>((2 * int64_t{x} + 1) * source.width / (2 * int64_t{width}),
                                                 source.width - 1);
            memcpy(out, sourceRow + sx * 4, 3);
        }
    }
}

NImageScaleFilterGeneric* NewFilter(int mode)
{
    switch (mode) {
    case 5: return new (std::nothrow) NImageScaleFilterBox(0.5);
    case 6: return new (std::nothrow) NImageScaleFilterBilinear(1.0);
    case 7: return new (std::nothrow) NImageScaleFilterBicubic(1.0 / 3.0, 1.0 / 3.0);
    case 8: return new (std::nothrow) NImageScaleFilterCatmullRom(2.0);
    case 9: return new (std::nothrow) NImageScaleFilterLanczos3(3.0);
    case 10: return new (std::nothrow) NImageScaleFilterBSpline(2.0);
    case 11: return new (std::nothrow) NImageScaleFilterBlackman(0.5);
    default: return nullptr;
    }
}

// keepAspect: the largest size of the picture's proportions inside the box (single precision).
void FitInside(int width, int height, int& newWidth, int& newHeight)
{
    const float f = std::min(static_cast<float>(newWidth) / static_cast<float>(width),
                             static_cast<float>(newHeight) / static_cast<float>(height));
    auto side = [f](int size) {
        const float value = static_cast<float>(size) * f;
        if (!(value >= 1.0f))
            return 1;
        return value >= static_cast<float>(INT_MAX) ? INT_MAX : static_cast<int>(value);
    };
    newWidth = side(width);
    newHeight = side(height);
}

// Picture made from rows by the raw resampler of the mode (0 to 4).
bool ResampleRaw(const NImageBuffer& source, NImageBuffer& result, int newWidth, int newHeight, int mode,
                 const wchar_t* operation)
{
    // The resampler writes straight into the new picture's pixel memory.
    const int depth = source.bpp == 32 ? 32 : 24;
    if (!result.Create(newWidth, newHeight, depth, 0, nullptr)) {
        LogAllocationFailure(operation);
        return false;
    }
    GdiFlush();
    uint8_t* out = result.bits;
    if (depth == 32) {
        // Nearest pixel copies whole pixels, alpha with them; every other mode blends.
        if (mode == 0) {
            ResampleBits(out, newWidth, newHeight, source.bits, source.width, source.height, 32, 0);
        } else if (WeighsByAlpha(source)) {
            RowBlock premultiplied = PremultipliedRows(source);
            if (!premultiplied) {
                LogAllocationFailure(operation);
                return false;
            }
            ResampleBits32(out, newWidth, newHeight, premultiplied.get(), source.width, source.height,
                           static_cast<uint8_t>(mode));
            premultiplied.reset();
            FinishWeighted(out, newWidth, newHeight, source);
        } else {
            ResampleBits32(out, newWidth, newHeight, source.bits, source.width, source.height,
                           static_cast<uint8_t>(mode));
        }
        return true;
    }
    RowBlock converted;
    const uint8_t* in = source.bits;
    if (source.bpp != 24) {
        converted = RowsAs24(source);
        if (!converted) {
            LogAllocationFailure(operation);
            return false;
        }
        in = converted.get();
    }
    ResampleBits(out, newWidth, newHeight, in, source.width, source.height, 24, static_cast<uint8_t>(mode));
    return true;
}

// Picture made by the scale engine with the filter of the mode (5 to 11).
bool ResampleEngine(const NImageBuffer& source, NImageBuffer& result, int newWidth, int newHeight, int mode)
{
    std::unique_ptr<NImageScaleFilterGeneric> filter(NewFilter(mode));
    if (!filter)
        return false;
    NImageScaleEngine engine(filter.get());

    const int depth = source.bpp == 32 ? 32 : 24;
    const bool weighted = WeighsByAlpha(source);
    NImageBuffer prepared;
    const NImageBuffer* input = &source;
    if (weighted) {
        if (!prepared.Copy(source))
            return false;
        Premultiply(prepared.bits, static_cast<size_t>(prepared.width) * prepared.height);
        input = &prepared;
    } else if (source.bpp < 24) {
        RowBlock rows = RowsAs24(source);
        if (!rows || !prepared.CreateFromBits(source.width, source.height, 24, rows.get(), nullptr))
            return false;
        input = &prepared;
    }
    if (!result.Create(newWidth, newHeight, depth, 0, nullptr) || !engine.Scale(*input, result))
        return false;
    if (weighted)
        FinishWeighted(result.bits, newWidth, newHeight, source);
    return true;
}

bool Resample(const NImageBuffer& source, NImageBuffer& result, int newWidth, int newHeight, int mode,
              const wchar_t* operation)
{
    GdiFlush();
    if (mode < kFirstEngineMode)
        return ResampleRaw(source, result, newWidth, newHeight, mode, operation);
    return ResampleEngine(source, result, newWidth, newHeight, mode);
}

// The smooth scaler's picture: 24 bpp, or 32 bpp with the alpha scaled alike for a 32-bit source.
bool ScaleSmooth(const NImageBuffer& source, NImageBuffer& result, int newWidth, int newHeight,
                 const wchar_t* operation)
{
    uint8_t paletteRgb[768];
    PaletteRgb(source, paletteRgb);
    if (!source.bits) {
        LogMessage(L"%s::bufferSrc == NULL!", operation);
        return false;
    }
    // The scaler writes straight into the new picture's pixel memory, or for a 32-bit picture into
    // rows that are joined with the scaled alpha.
    if (!result.Create(newWidth, newHeight, source.bpp == 32 ? 32 : 24, 0, nullptr)) {
        LogAllocationFailure(operation);
        return false;
    }
    GdiFlush();
    if (source.bpp != 32) {
        ScaleBufferVarnok(result.bits, newWidth, newHeight, source.bits, source.width, source.height, source.bpp,
                          paletteRgb);
        return true;
    }
    RowBlock colour = AllocateRows(newWidth, newHeight, 24);
    if (!colour) {
        LogAllocationFailure(operation);
        return false;
    }
    uint8_t* out = result.bits;
    const bool weighted = WeighsByAlpha(source);
    RowBlock scaledAlpha;
    if (weighted) {
        // The alpha plane goes through the scaler as an 8-bit grey picture.
        RowBlock premultiplied = PremultipliedRows(source);
        RowBlock alpha = AllocateRows(source.width, source.height, 8);
        scaledAlpha = AllocateRows(newWidth, newHeight, 24);
        if (!premultiplied || !alpha || !scaledAlpha) {
            LogAllocationFailure(operation);
            return false;
        }
        const size_t alphaStride = RowBytes(source.width, 8);
        for (int y = 0; y < source.height; ++y) {
            const uint8_t* pixel = source.bits + static_cast<size_t>(y) * source.stride;
            uint8_t* a = alpha.get() + y * alphaStride;
            for (int x = 0; x < source.width; ++x)
                a[x] = pixel[x * 4 + 3];
        }
        uint8_t greyRgb[768];
        for (int i = 0; i < 768; ++i)
            greyRgb[i] = static_cast<uint8_t>(i / 3);
        ScaleBufferVarnok(colour.get(), newWidth, newHeight, premultiplied.get(), source.width, source.height, 32,
                          nullptr);
        ScaleBufferVarnok(scaledAlpha.get(), newWidth, newHeight, alpha.get(), source.width, source.height, 8,
                          greyRgb);
    } else {
        // No alpha in use: the colours alone, and alpha 0 as it was.
        ScaleBufferVarnok(colour.get(), newWidth, newHeight, source.bits, source.width, source.height, 32, nullptr);
    }

    const size_t stride24 = RowBytes(newWidth, 24);
    for (int y = 0; y < newHeight; ++y) {
        const uint8_t* c = colour.get() + y * stride24;
        const uint8_t* a = weighted ? scaledAlpha.get() + y * stride24 : nullptr;
        uint8_t* o = out + static_cast<size_t>(y) * newWidth * 4;
        for (int x = 0; x < newWidth; ++x, c += 3, o += 4) {
            memcpy(o, c, 3);
            o[3] = a ? a[x * 3] : 0;
        }
    }
    if (weighted)
        FinishWeighted(out, newWidth, newHeight, source);
    return true;
}

// A change that is not smooth: GDI's COLORONCOLOR stretch into a 24-bit picture; a 32-bit picture
// is stretched by nearest pixel in memory instead, so its alpha goes with its colours.
bool StretchPlain(const NImageBuffer& source, NImageBuffer& result, int newWidth, int newHeight,
                  const wchar_t* operation)
{
    if (source.bpp == 32) {
        if (!result.Create(newWidth, newHeight, 32, 0, nullptr)) {
            LogAllocationFailure(operation);
            return false;
        }
        GdiFlush();
        ResampleBits(result.bits, newWidth, newHeight, source.bits, source.width, source.height, 32, 0);
        return true;
    }
    if (!result.Create(newWidth, newHeight, 24, 0, nullptr))
        return false;
    SetStretchBltMode(result.dc, COLORONCOLOR);
    const bool drawn = source.StretchBlitTo(result.dc, 0, 0, newWidth, newHeight, SRCCOPY);
    GdiFlush();
    return drawn;
}

// 24-bit rows of grey: each pixel's byte `channel` (0 blue, 1 green, 2 red) in all three bytes.
void GreyFromChannel(uint8_t* rows, const uint8_t* source, int width, int height, size_t sourceStride,
                     int pixelBytes, int channel)
{
    const size_t stride = RowBytes(width, 24);
    for (int y = 0; y < height; ++y) {
        const uint8_t* in = source + y * sourceStride;
        uint8_t* out = rows + y * stride;
        for (int x = 0; x < width; ++x, in += pixelBytes, out += 3)
            out[0] = out[1] = out[2] = in[channel];
    }
}

BITMAPINFOHEADER Header24(int width, int height)
{
    BITMAPINFOHEADER header{};
    header.biSize = sizeof(header);
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    return header;
}

bool DrawRows24(HDC target, int x, int y, int width, int height, const uint8_t* rows, int rowsWidth, int rowsHeight)
{
    BITMAPINFOHEADER header = Header24(rowsWidth, rowsHeight);
    return StretchDIBits(target, x, y, width, height, 0, 0, rowsWidth, rowsHeight, rows,
                         reinterpret_cast<const BITMAPINFO*>(&header), DIB_RGB_COLORS, SRCCOPY) != 0;
}

}  // namespace

bool NImageBuffer::ResizeImage(int newWidth, int newHeight, ResizeMode mode, bool keepAspect)
{
    // Into itself: the same size keeps the picture, a new one replaces it only once it is made.
    return ResizeImageInto(*this, newWidth, newHeight, mode, keepAspect);
}

bool NImageBuffer::ResizeImageInto(NImageBuffer& destination, int newWidth, int newHeight, ResizeMode mode,
                                   bool keepAspect) const
{
    if (!valid || mode < 0 || mode >= kModeCount)
        return false;
    newWidth = std::max(newWidth, 1);
    newHeight = std::max(newHeight, 1);
    if (newWidth == width && newHeight == height)
        return destination.Copy(*this);
    if (keepAspect)
        FitInside(width, height, newWidth, newHeight);

    const int keptDpiX = dpiX;
    const int keptDpiY = dpiY;
    NImageBuffer result;
    if (!Resample(*this, result, newWidth, newHeight, mode, L"ResizeImage"))
        return false;
    destination.Adopt(result);
    destination.dpiX = keptDpiX;
    destination.dpiY = keptDpiY;
    return destination.valid != 0;
}

bool NImageBuffer::ResizeImage(int newWidth, int newHeight)
{
    if (!valid)
        return false;
    if (newWidth < 1)
        newWidth = 10;
    if (newHeight < 1)
        newHeight = 10;
    if (newWidth == width && newHeight == height)
        return true;

    const int keptDpiX = dpiX;
    const int keptDpiY = dpiY;
    NImageBuffer result;
    const bool done = IsSmoothChange(width, height, newWidth, newHeight)
                          ? ScaleSmooth(*this, result, newWidth, newHeight, L"ResizeImage")
                          : StretchPlain(*this, result, newWidth, newHeight, L"ResizeImage");
    if (!done)
        return false;
    Adopt(result);
    dpiX = keptDpiX;
    dpiY = keptDpiY;
    return true;
}

bool NImageBuffer::ResizeImageReturnNew(NImageBuffer& destination, int newWidth, int newHeight) const
{
    if (!valid)
        return false;
    if (newWidth < 1)
        newWidth = 10;
    if (newHeight < 1)
        newHeight = 10;
    if (newWidth == width && newHeight == height)
        return destination.Copy(*this);
    if (!IsSmoothChange(width, height, newWidth, newHeight)) {
        destination.Copy(*this);
        return false;
    }

    const int keptDpiX = dpiX;
    const int keptDpiY = dpiY;
    NImageBuffer result;
    if (!ScaleSmooth(*this, result, newWidth, newHeight, L"ResizeImageReturnNew"))
        return false;
    destination.Adopt(result);
    destination.dpiX = keptDpiX;
    destination.dpiY = keptDpiY;
    return true;
}

bool NImageBuffer::BltImageFiltered(HDC target, int x, int y, int drawWidth, int drawHeight,
                                    unsigned channelView) const
{
    if (!valid || channelView > 6)
        return false;
    drawWidth = std::max(drawWidth, 1);
    drawHeight = std::max(drawHeight, 1);
    // Views 1, 2 and 3 show red, green or blue: bytes 2, 1 and 0 of a pixel.
    const bool grey = channelView >= 1 && channelView <= 3;
    const int channel = 3 - static_cast<int>(channelView);

    if (static_cast<int64_t>(drawWidth) + drawHeight > 20000 || (drawWidth == width && drawHeight == height) ||
        !IsSmoothChange(width, height, drawWidth, drawHeight)) {
        SetStretchBltMode(target, COLORONCOLOR);
        if (!grey)
            return StretchBlitTo(target, x, y, drawWidth, drawHeight, SRCCOPY);
        if (bpp < 24)
            return false;
        RowBlock rows = AllocateRows(width, height, 24);
        if (!rows)
            return false;
        GdiFlush();
        GreyFromChannel(rows.get(), bits, width, height, stride, bpp / 8, channel);
        return DrawRows24(target, x, y, drawWidth, drawHeight, rows.get(), width, height);
    }

    uint8_t paletteRgb[768];
    PaletteRgb(*this, paletteRgb);
    if (!bits) {
        LogMessage(L"BltImageFiltered::bufferSrc == NULL!");
        return false;
    }
    RowBlock rows = AllocateRows(drawWidth, drawHeight, 24);
    if (!rows) {
        LogAllocationFailure(L"BltImageFiltered");
        return false;
    }
    GdiFlush();
    ScaleBufferVarnok(rows.get(), drawWidth, drawHeight, bits, width, height, bpp, paletteRgb);
    if (grey)
        GreyFromChannel(rows.get(), rows.get(), drawWidth, drawHeight, RowBytes(drawWidth, 24), 3, channel);
    return DrawRows24(target, x, y, drawWidth, drawHeight, rows.get(), drawWidth, drawHeight);
}
