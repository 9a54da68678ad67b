#include "imagefile/formats/NImageFileTIF.h"

#include <windows.h>

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "base/ScopedFile.h"
#include "base/Utf8.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"

namespace {

constexpr size_t kHeaderBytes = 128;
constexpr int kMaxTextCharacters = 1024;
constexpr uint64_t kMinLibraryBlock = uint64_t{16} << 20;
// A fax row of any width can be one bit; 2048 bytes of a 1-bit page a byte covers rows of 16384
// pixels, wider than any fax.
constexpr uint64_t kFaxRatio = 2048;
constexpr uint64_t kJpegPixelsPerByte = 512;

// libtiff's messages for one handle go nowhere: every failure that matters is seen in the
// results of the calls.
int QuietTiffHandler(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

TIFF* OpenTiff(const wchar_t* path, const char* mode)
{
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (options) {
        TIFFOpenOptionsSetErrorHandlerExtR(options, QuietTiffHandler, nullptr);
        TIFFOpenOptionsSetWarningHandlerExtR(options, QuietTiffHandler, nullptr);
        // No block libtiff allocates for a strip, a tile or a tag may be larger than what the
        // file's data can give at deflate's best ratio.
        if (mode[0] == 'r') {
            const uint64_t most = DataBound::FileLength(path) * DataBound::kDeflate;
            TIFFOpenOptionsSetMaxSingleMemAlloc(
                options, static_cast<tmsize_t>(std::clamp<uint64_t>(most, kMinLibraryBlock, INT32_MAX)));
        }
    }
    TIFF* file = TIFFOpenWExt(path, mode, options);
    TIFFOpenOptionsFree(options);
    return file;
}

// An 8-bit text of the directory, converted from the ANSI code page (at most 1024 characters).
void ReadTextTag(TIFF* file, uint32_t tag, NString& text)
{
    const char* value = nullptr;
    if (TIFFGetField(file, tag, &value) != 1 || !value)
        return;
    text = NStringFromAnsi(value, strnlen(value, kMaxTextCharacters), kMaxTextCharacters);
}

// One CIELab pixel of 8-bit samples (a and b signed) to blue, green, red bytes.
void LabToBgr(uint8_t lightness, uint8_t aByte, uint8_t bByte, uint8_t* out)
{
    const double a = static_cast<int8_t>(aByte);
    const double b = static_cast<int8_t>(bByte);
    const double fy = (lightness / 2.55 + 16.0) / 116.0;
    const double y = fy * fy * fy;
    const double fx = a * 0.002 + fy;
    const double fz = fy - b * 0.005;
    const double x = fx * fx * fx * 0.95047;
    const double z = fz * fz * fz * 1.0883;
    const double rgb[3] = {
        3.240479 * x - 1.53715 * y - 0.498535 * z,
        -0.969256 * x + 1.875992 * y + 0.041556 * z,
        0.055648 * x - 0.204043 * y + 1.057311 * z,
    };
    for (int channel = 0; channel < 3; ++channel) {
        double v = rgb[channel];
        v = v > 0.00304 ? 1.055 * std::pow(v, 0.41667) - 0.055 : 12.92 * v;
        double scaled = std::trunc(v * 255.0);
        scaled = std::clamp(scaled, 0.0, 255.0);
        out[2 - channel] = static_cast<uint8_t>(scaled);
    }
}

// The 2 % / 98 % stretch of samples collected from 32-bit pixels: each value goes back to its
// pixel's byte (byteIndex 2 red, 1 green, 0 blue) as 0..255.
void StretchChannel(const std::vector<float>& values, NImageBuffer& bitmap, int byteIndex)
{
    if (values.empty())
        return;
    std::vector<float> sorted(values);
    std::sort(sorted.begin(), sorted.end());
    const size_t count = sorted.size();
    const size_t loIndex = std::min(static_cast<size_t>(static_cast<float>(count) * 0.02f), count - 1);
    const size_t hiIndex = std::min(static_cast<size_t>(static_cast<float>(count) * 0.98f), count - 1);
    const float lo = sorted[loIndex];
    const float hi = sorted[hiIndex];
    const int step = bitmap.bpp / 8;
    size_t k = 0;
    for (int line = bitmap.height - 1; line >= 0; --line) {
        uint8_t* pixel = bitmap.bits + static_cast<size_t>(line) * bitmap.stride + byteIndex;
        for (int x = 0; x < bitmap.width && k < count; ++x, pixel += step, ++k) {
            float t;
            if (hi > lo)
                t = std::clamp((values[k] - lo) / (hi - lo), 0.0f, 1.0f);
            else
                t = values[k] > lo ? 1.0f : 0.0f;
            *pixel = static_cast<uint8_t>(t * 255.0f);
        }
    }
}

bool IsFullColourPhotometric(uint16_t photometric)
{
    return photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_SEPARATED ||
           photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGL ||
           photometric == PHOTOMETRIC_LOGLUV;
}

// RGB, CMYK, YCbCr and LogLuv pages through libtiff's RGBA reader (stopping at the first error).
NRESULT ReadFullColour(TIFF* file, NImageBuffer& target, uint32_t width, uint32_t height, uint32_t bitsPerPixel)
{
    char message[1024] = {};
    if (!TIFFRGBAImageOK(file, message))
        return NR_DECODE_FAILED;
    if (width > INT32_MAX || height > INT32_MAX ||
        !target.Create(static_cast<int>(width), static_cast<int>(height), 32, 0, nullptr))
        return NR_PICTURE_CREATE_FAILED;
    if (!TIFFReadRGBAImage(file, width, height, reinterpret_cast<uint32_t*>(target.bits), 1))
        return NR_DECODE_FAILED;
    // libtiff hands out alpha premultiplied; the picture keeps it straight.
    target.UnpremultiplyAlpha();
    if (bitsPerPixel == 24)
        target.ConvertToBpp(24, false);
    else if (bitsPerPixel == 16)
        target.ConvertToBpp(16, false);
    target.SwapRedBlue();
    return NR_OK;
}

// The 256-entry palette (red, green, blue triplets) of a page read with a palette.
void BuildPalette(TIFF* file, uint16_t photometric, uint16_t bitsPerSample, int depth, uint8_t* palette)
{
    std::memset(palette, 0, 256 * 3);
    const int entries = 1 << depth;
    if (photometric == PHOTOMETRIC_MINISWHITE || photometric == PHOTOMETRIC_MINISBLACK) {
        if (bitsPerSample == 1) {
            const int white = photometric == PHOTOMETRIC_MINISWHITE ? 0 : 1;
            std::memset(palette + white * 3, 255, 3);
            return;
        }
        const int step = 255 / (entries - 1);
        for (int i = 0; i < entries; ++i) {
            const int level = photometric == PHOTOMETRIC_MINISBLACK ? i * step : 255 - i * step;
            std::memset(palette + i * 3, level, 3);
        }
        return;
    }
    if (photometric == PHOTOMETRIC_PALETTE && bitsPerSample <= 8) {
        uint16_t* red = nullptr;
        uint16_t* green = nullptr;
        uint16_t* blue = nullptr;
        if (TIFFGetField(file, TIFFTAG_COLORMAP, &red, &green, &blue) != 1 || !red || !green || !blue)
            return;
        const int count = 1 << bitsPerSample;
        const bool wide = TiffColorMapBits(count, red, green, blue) == 16;
        for (int i = 0; i < count && i < 256; ++i) {
            const uint16_t values[3] = {red[i], green[i], blue[i]};
            for (int c = 0; c < 3; ++c)
                palette[i * 3 + c] = wide ? static_cast<uint8_t>(values[c] * 255u / 65535u)
                                          : static_cast<uint8_t>(values[c] & 0xFF);
        }
    }
}

// Which sample layouts the row converter below handles.
// Verification of a page ReadFullColour reads: libtiff must accept it for its RGBA reader, and
// every strip or tile is decoded (decompressed and its predictor undone) into one scratch block,
// as that reader would decode them; the colours are not converted and the picture kept is a
// single pixel.
NRESULT VerifyFullColour(TIFF* file, NImageBuffer& target)
{
    char message[1024] = {};
    if (!TIFFRGBAImageOK(file, message))
        return NR_DECODE_FAILED;
    const bool tiled = TIFFIsTiled(file) != 0;
    const tmsize_t blockSize = tiled ? TIFFTileSize(file) : TIFFStripSize(file);
    const uint32_t blocks = tiled ? TIFFNumberOfTiles(file) : TIFFNumberOfStrips(file);
    if (blockSize <= 0 || blocks == 0)
        return NR_DECODE_FAILED;
    std::unique_ptr<uint8_t[]> scratch(new (std::nothrow) uint8_t[static_cast<size_t>(blockSize)]);
    if (!scratch)
        return NR_NOT_ENOUGH_MEMORY;
    for (uint32_t block = 0; block < blocks; ++block) {
        const tmsize_t got = tiled ? TIFFReadEncodedTile(file, block, scratch.get(), blockSize)
                                   : TIFFReadEncodedStrip(file, block, scratch.get(), blockSize);
        if (got < 0)
            return NR_DECODE_FAILED;
    }
    return target.Create(1, 1, 32, 0, nullptr) ? NR_OK : NR_PICTURE_CREATE_FAILED;
}

bool IsConvertibleLayout(uint16_t samples, uint16_t bits, uint16_t photometric)
{
    switch (samples) {
    case 1:
        return bits == 1 || bits == 4 || bits == 8 || bits == 16;
    case 2:
        return bits == 8 || bits == 16;
    case 3:
    case 4:
        if (photometric == PHOTOMETRIC_CIELAB)
            return bits == 8;
        return bits == 8 || bits == 16 || bits == 32;
    default:
        return false;
    }
}

struct RowLayout {
    uint16_t samples;
    uint16_t bits;
    uint16_t photometric;
    uint32_t width;
};

// One decoded row (samples in the machine's byte order) into one scan line of the bitmap.
// Samples of 16 bits give their high byte; 32-bit samples are also collected for the stretch.
void ConvertRow(const RowLayout& layout, const uint8_t* row, size_t rowBytes, uint8_t* line, const NImageBuffer& bitmap,
                std::vector<float>* collected)
{
    const uint32_t width = layout.width;
    const size_t sampleBytes = layout.bits / 8;
    const size_t high = sampleBytes ? sampleBytes - 1 : 0;
    if (layout.samples == 1) {
        if (layout.bits == 16) {
            for (uint32_t x = 0; x < width; ++x)
                line[x] = row[x * 2 + 1];
        } else {
            std::memcpy(line, row, std::min(static_cast<size_t>(bitmap.stride), rowBytes));
        }
        return;
    }
    if (layout.samples == 2) {
        for (uint32_t x = 0; x < width; ++x)
            line[x] = row[x * 2 * sampleBytes + high];
        return;
    }
    const int step = bitmap.bpp / 8;
    const size_t pixelBytes = layout.samples * sampleBytes;
    for (uint32_t x = 0; x < width; ++x) {
        const uint8_t* pixel = row + x * pixelBytes;
        uint8_t* out = line + static_cast<size_t>(x) * step;
        if (layout.photometric == PHOTOMETRIC_CIELAB) {
            LabToBgr(pixel[0], pixel[1], pixel[2], out);
            if (layout.samples == 4)
                out[3] = pixel[3];
            continue;
        }
        if (layout.bits == 32) {
            // Three bytes as colours until the stretch replaces them.
            out[2] = pixel[0];
            out[1] = pixel[1];
            out[0] = pixel[2];
            for (int c = 0; c < 3; ++c) {
                uint32_t value;
                std::memcpy(&value, pixel + c * 4, 4);
                collected[c].push_back(static_cast<float>(value));
            }
            if (layout.samples == 4)
                out[3] = 255;
            continue;
        }
        out[2] = pixel[high];
        out[1] = pixel[sampleBytes + high];
        out[0] = pixel[2 * sampleBytes + high];
        if (layout.samples == 4)
            out[3] = pixel[3 * sampleBytes + high];
    }
}

NRESULT ReadWithPalette(TIFF* file, NImageBuffer& target, uint32_t width, uint32_t height, uint32_t rowsPerStrip,
                        uint16_t samples, uint16_t bits, uint16_t photometric)
{
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetFieldDefaulted(file, TIFFTAG_PLANARCONFIG, &planar);
    if (planar != PLANARCONFIG_CONTIG || !IsConvertibleLayout(samples, bits, photometric))
        return NR_COMPRESSION_NOT_SUPPORTED;
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return NR_INVALID_DATA;

    const RowLayout layout = {samples, bits, photometric, width};
    int depth;
    if (samples >= 3)
        depth = samples == 3 ? 24 : 32;
    else
        depth = bits == 1 ? 1 : bits == 4 ? 4 : 8;
    bool created;
    if (depth <= 8) {
        uint8_t palette[256 * 3];
        BuildPalette(file, photometric, bits, depth, palette);
        created = target.Create(static_cast<int>(width), static_cast<int>(height), depth, 0, palette);
    } else {
        const COLORREF fill = photometric == PHOTOMETRIC_CIELAB ? 0 : 0x00FFFFFF;
        created = target.Create(static_cast<int>(width), static_cast<int>(height), depth, fill, nullptr);
    }
    if (!created)
        return NR_PICTURE_CREATE_FAILED;

    const uint64_t rowBytes = (static_cast<uint64_t>(samples) * bits * width + 7) / 8;
    const uint64_t scanline = static_cast<uint64_t>(TIFFScanlineSize64(file));
    if (scanline == 0 || rowBytes > scanline)
        return NR_INVALID_DATA;

    const bool tiled = TIFFIsTiled(file) != 0;
    uint32_t tileWidth = 0;
    uint32_t bandRows = rowsPerStrip;
    uint64_t tileRowBytes = 0;
    uint64_t tileBytes = 0;
    if (tiled) {
        uint32_t tileLength = 0;
        if (TIFFGetField(file, TIFFTAG_TILEWIDTH, &tileWidth) != 1 ||
            TIFFGetField(file, TIFFTAG_TILELENGTH, &tileLength) != 1 || tileWidth == 0 || tileLength == 0)
            return NR_INVALID_DATA;
        bandRows = tileLength;
        tileRowBytes = static_cast<uint64_t>(TIFFTileRowSize64(file));
        tileBytes = static_cast<uint64_t>(TIFFTileSize64(file));
        if (tileRowBytes == 0 || tileBytes < tileRowBytes * std::min(tileLength, height))
            return NR_INVALID_DATA;
    }
    if (bandRows == 0)
        return NR_INVALID_DATA;
    const uint64_t bandLines = std::min(bandRows, height);
    if (bandLines > SIZE_MAX / scanline)
        return NR_ALLOCATION_FAILED;

    std::vector<float> collected[3];
    try {
        std::vector<uint8_t> band(static_cast<size_t>(bandLines * scanline), 0);
        std::vector<uint8_t> tile;
        if (tiled)
            tile.assign(static_cast<size_t>(tileBytes), 0);
        if (bits == 32) {
            for (auto& values : collected)
                values.reserve(static_cast<size_t>(width) * height);
        }
        for (uint32_t first = 0; first < height; first += std::min(bandRows, height - first)) {
            const uint32_t rows = std::min(bandRows, height - first);
            if (tiled) {
                uint64_t column = 0;
                for (uint32_t x = 0; x < width && column < scanline; x += tileWidth, column += tileRowBytes) {
                    if (TIFFReadTile(file, tile.data(), x, first, 0, 0) < 0)
                        return NR_DECODE_FAILED;
                    const uint64_t bytes = std::min(tileRowBytes, scanline - column);
                    CopyTileRows(band.data() + column, tile.data(), rows, static_cast<size_t>(bytes),
                                 static_cast<size_t>(scanline - bytes), static_cast<size_t>(tileRowBytes - bytes));
                }
            } else {
                const tmsize_t wanted = static_cast<tmsize_t>(rows * scanline);
                if (TIFFReadEncodedStrip(file, TIFFComputeStrip(file, first, 0), band.data(), wanted) < 0)
                    return NR_DECODE_FAILED;
            }
            for (uint32_t r = 0; r < rows; ++r) {
                const int lineIndex = static_cast<int>(height - 1 - first - r);
                uint8_t* line = target.bits + static_cast<size_t>(lineIndex) * target.stride;
                ConvertRow(layout, band.data() + r * scanline, static_cast<size_t>(rowBytes), line, target, collected);
            }
        }
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }

    if (bits == 32 && samples >= 3) {
        try {
            StretchChannel(collected[0], target, 2);
            StretchChannel(collected[1], target, 1);
            StretchChannel(collected[2], target, 0);
        } catch (const std::bad_alloc&) {
            return NR_ALLOCATION_FAILED;
        }
    }
    return NR_OK;
}

// The compression tag for the option and the picture's depth.
uint16_t CompressionFor(int option, int depth)
{
    if (depth == 1 && option == 3)
        return COMPRESSION_CCITTFAX4;
    if (option == 0)
        return COMPRESSION_NONE;
    if (option == 1)
        return COMPRESSION_PACKBITS;
    if (option == 4 && (depth == 16 || depth == 24))
        return COMPRESSION_JPEG;
    return COMPRESSION_ADOBE_DEFLATE;
}

}  // namespace

int TiffColorMapBits(int count, const uint16_t* red, const uint16_t* green, const uint16_t* blue)
{
    for (int i = 0; i < count; ++i) {
        if (red[i] > 255 || green[i] > 255 || blue[i] > 255)
            return 16;
    }
    return 8;
}

void CopyTileRows(uint8_t* destination, const uint8_t* source, size_t rows, size_t bytesPerRow,
                  size_t destinationGap, size_t sourceGap)
{
    for (size_t r = 0; r < rows; ++r) {
        std::memcpy(destination, source, bytesPerRow);
        destination += bytesPerRow + destinationGap;
        source += bytesPerRow + sourceGap;
    }
}

// True when the page's data can fill its picture: the file's bytes at the best ratio of the
// page's compression (fax coding: at least one bit a row; JPEG: 512 pixels a byte).
bool PageFitsFile(TIFF* file, uint32_t width, uint32_t height, uint16_t samples, uint16_t bits,
                  uint16_t compression)
{
    const TIFFSizeProc sizeOf = TIFFGetSizeProc(file);
    const uint64_t length = sizeOf ? static_cast<uint64_t>(sizeOf(TIFFClientdata(file))) : 0;
    const uint64_t sampleBits = static_cast<uint64_t>(std::max<uint16_t>(samples, 1)) * std::max<uint16_t>(bits, 1);
    switch (compression) {
    case COMPRESSION_NONE:
        return DataBound::Fits(width, height, sampleBits, length, DataBound::kRawCutShort);
    case COMPRESSION_PACKBITS:
        return DataBound::Fits(width, height, sampleBits, length, DataBound::kPackBits);
    case COMPRESSION_LZW:
        return DataBound::Fits(width, height, sampleBits, length, DataBound::kLzw);
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        return height / 8 <= length && DataBound::Fits(width, height, 1, length, kFaxRatio);
    case COMPRESSION_JPEG:
    case COMPRESSION_OJPEG:
        return DataBound::Fits(width, height, 8, length, kJpegPixelsPerByte);
    default:
        return DataBound::Fits(width, height, sampleBits, length, DataBound::kDeflate);
    }
}

NRESULT ReadTiffPage(NImageFileTIF& object, TIFF* file, NImageBuffer& target, uint32_t page)
{
    if (!TIFFSetDirectory(file, static_cast<tdir_t>(page)))
        return NR_INVALID_DATA;

    uint32_t width = 0;
    uint32_t height = 0;
    TIFFGetField(file, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(file, TIFFTAG_IMAGELENGTH, &height);
    uint16_t samples = 1;
    uint16_t bits = 1;
    uint32_t rowsPerStrip = 0;
    uint16_t compression = COMPRESSION_NONE;
    uint16_t photometric = PHOTOMETRIC_MINISWHITE;
    uint16_t orientation = ORIENTATION_TOPLEFT;   // read, not applied
    TIFFGetFieldDefaulted(file, TIFFTAG_SAMPLESPERPIXEL, &samples);
    TIFFGetFieldDefaulted(file, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(file, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
    TIFFGetFieldDefaulted(file, TIFFTAG_COMPRESSION, &compression);
    TIFFGetFieldDefaulted(file, TIFFTAG_PHOTOMETRIC, &photometric);
    TIFFGetFieldDefaulted(file, TIFFTAG_ORIENTATION, &orientation);

    ReadTextTag(file, TIFFTAG_DATETIME, object.metadata.date);
    ReadTextTag(file, TIFFTAG_IMAGEDESCRIPTION, object.metadata.comment);
    ReadTextTag(file, TIFFTAG_ARTIST, object.metadata.artist);

    if (height > 0 && height < rowsPerStrip) {
        rowsPerStrip = height;
        TIFFSetField(file, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
    }

    if (!PageFitsFile(file, width, height, samples, bits, compression))
        return NR_INVALID_DATA;
    NRESULT result;
    const bool verifyRows = object.loadOptions.verifyOnly != 0 && width <= INT32_MAX && height <= INT32_MAX;
    if (bits >= 8 && bits <= 31 && IsFullColourPhotometric(photometric) && verifyRows) {
        result = VerifyFullColour(file, target);
        if (result == NR_OK) {
            object.verifiedSmaller = 1;
            object.fullWidth = static_cast<int32_t>(width);
            object.fullHeight = static_cast<int32_t>(height);
        }
    } else if (bits >= 8 && bits <= 31 && IsFullColourPhotometric(photometric))
        result = ReadFullColour(file, target, width, height, static_cast<uint32_t>(samples) * bits);
    else
        result = ReadWithPalette(file, target, width, height, rowsPerStrip, samples, bits, photometric);
    if (result != NR_OK)
        return result;

    float resolutionX = 0;
    float resolutionY = 0;
    if (TIFFGetField(file, TIFFTAG_XRESOLUTION, &resolutionX) == 1 && std::isfinite(resolutionX) &&
        resolutionX < 2147483647.0f && static_cast<int32_t>(resolutionX) > 1)
        target.dpiX = static_cast<int32_t>(resolutionX);
    if (TIFFGetField(file, TIFFTAG_YRESOLUTION, &resolutionY) == 1 && std::isfinite(resolutionY) &&
        resolutionY < 2147483647.0f && static_cast<int32_t>(resolutionY) > 1)
        target.dpiY = static_cast<int32_t>(resolutionY);

    const bool fax = compression == COMPRESSION_CCITTRLE || compression == COMPRESSION_CCITTFAX3 ||
                     compression == COMPRESSION_CCITTFAX4;
    const bool lowVertical = (target.dpiX == 204 && target.dpiY == 98) || (target.dpiX == 200 && target.dpiY == 100);
    if (fax && lowVertical && target.height <= INT32_MAX / 2)
        target.ResizeImage(target.width, target.height * 2, 0, false);
    return NR_OK;
}

NRESULT WriteTiffPage(NImageFileTIF& object, TIFF* file, const NImageBuffer& bitmap, uint32_t pageNumber,
                      uint32_t pageTotal, bool markAsPage)
{
    const int depth = bitmap.bpp;
    const uint16_t compression = CompressionFor(object.saveOptions.tiffCompression, depth);
    uint16_t photometric;
    uint16_t samples;
    uint16_t bits;
    if (depth == 1 || depth == 4 || depth == 8) {
        photometric = PHOTOMETRIC_PALETTE;
        samples = 1;
        bits = static_cast<uint16_t>(depth);
    } else if (depth == 16 || depth == 24) {
        photometric = PHOTOMETRIC_RGB;
        samples = 3;
        bits = 8;
    } else if (depth == 32) {
        photometric = PHOTOMETRIC_RGB;
        samples = 4;
        bits = 8;
    } else {
        return NR_WRONG_BPP;
    }
    const uint32_t width = static_cast<uint32_t>(bitmap.width);
    const uint32_t height = static_cast<uint32_t>(bitmap.height);

    bool ok = TIFFSetField(file, TIFFTAG_IMAGEWIDTH, width) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_IMAGELENGTH, height) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_SAMPLESPERPIXEL, samples) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_BITSPERSAMPLE, bits) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_PHOTOMETRIC, photometric) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_COMPRESSION, compression) == 1;
    ok = ok && TIFFSetField(file, TIFFTAG_ROWSPERSTRIP, TIFFDefaultStripSize(file, static_cast<uint32_t>(-1))) == 1;
    if (samples == 4) {
        // The picture's alpha is straight: unassociated alpha, so that readers keep it.
        const uint16_t extra[1] = {EXTRASAMPLE_UNASSALPHA};
        ok = ok && TIFFSetField(file, TIFFTAG_EXTRASAMPLES, 1, extra) == 1;
    }
    if (markAsPage) {
        char name[32];
        std::snprintf(name, sizeof(name), "Page %u", pageNumber);
        ok = ok && TIFFSetField(file, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE) == 1;
        ok = ok && TIFFSetField(file, TIFFTAG_PAGENUMBER, static_cast<uint16_t>(std::min<uint32_t>(pageNumber, 65535)),
                                static_cast<uint16_t>(std::min<uint32_t>(pageTotal, 65535))) == 1;
        ok = ok && TIFFSetField(file, TIFFTAG_PAGENAME, name) == 1;
    } else {
        ok = ok && TIFFSetField(file, TIFFTAG_SUBFILETYPE, 0) == 1;
    }
    if (compression == COMPRESSION_JPEG) {
        ok = ok && TIFFSetField(file, TIFFTAG_JPEGQUALITY, 85) == 1;
        ok = ok && TIFFSetField(file, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB) == 1;
    }
    if (photometric == PHOTOMETRIC_PALETTE) {
        // 16-bit colour-map values: each 8-bit palette value times 257.
        const int entries = 1 << depth;
        std::vector<uint16_t> red(entries), green(entries), blue(entries);
        for (int i = 0; i < entries; ++i) {
            red[i] = static_cast<uint16_t>(bitmap.palette[i][2] * 257);
            green[i] = static_cast<uint16_t>(bitmap.palette[i][1] * 257);
            blue[i] = static_cast<uint16_t>(bitmap.palette[i][0] * 257);
        }
        ok = ok && TIFFSetField(file, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data()) == 1;
    }
    if (bitmap.dpiX != 0 && bitmap.dpiY != 0) {
        ok = ok && TIFFSetField(file, TIFFTAG_XRESOLUTION, static_cast<float>(bitmap.dpiX)) == 1;
        ok = ok && TIFFSetField(file, TIFFTAG_YRESOLUTION, static_cast<float>(bitmap.dpiY)) == 1;
    }
    if (!ok)
        return NR_ENCODE_FAILED;

    // libtiff may change the row it is given (predictors, bit order): every row is a copy.
    std::vector<uint8_t> row;
    try {
        row.resize(static_cast<size_t>(bitmap.stride));
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    // A 32-bit picture whose alpha is 0 everywhere has no alpha (GDI drawing leaves it so): it is
    // written opaque.
    const bool opaque = depth == 32 && !bitmap.HasAlpha();
    for (uint32_t i = 0; i < height && ok; ++i) {
        const int line = static_cast<int>(height - 1 - i);
        if (depth <= 8) {
            std::memcpy(row.data(), bitmap.bits + static_cast<size_t>(line) * bitmap.stride, row.size());
            ok = TIFFWriteScanline(file, row.data(), i, 0) == 1;
            continue;
        }
        const int rowDepth = samples == 4 ? 32 : 24;
        uint8_t* pixels = bitmap.GetRowAs(rowDepth, line);
        if (!pixels)
            return NR_ALLOCATION_FAILED;
        const int step = rowDepth / 8;
        for (uint32_t x = 0; x < width; ++x) {
            std::swap(pixels[x * step], pixels[x * step + 2]);
            if (opaque)
                pixels[x * step + 3] = 255;
        }
        ok = TIFFWriteScanline(file, pixels, i, 0) == 1;
        std::free(pixels);
    }
    if (ok)
        ok = TIFFWriteDirectory(file) == 1;
    return ok ? NR_OK : NR_ENCODE_FAILED;
}

NImageFileTIF::~NImageFileTIF()
{
    if (pageFile)
        TIFFClose(pageFile);
}

bool NImageFileTIF::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 4))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "II\x2A\x00") || SignatureIs(p, "MM\x00\x2A");
}

NRESULT NImageFileTIF::Load(const wchar_t* path, uint8_t /*preview*/, uint8_t /*quick*/, NImageBuffer* target)
{
    SetFileName(path);
    if (!path)
        return NR_FILE_OPEN_READ;
    uint8_t header[kHeaderBytes] = {};
    {
        const ScopedFile stream(path, L"rb");
        if (!stream)
            return NR_FILE_OPEN_READ;
        std::fread(header, 1, sizeof(header), stream.Get());
        // The picture ends where its structure ends; a damaged structure counts the whole file.
        StdioByteSource bytes(stream.Get());
        consumedSize = bytes.Size();
        if (IsFormat(header, 0, sizeof(header))) {
            const PictureExtent extent = FindExtent(bytes);
            if (extent.IsComplete())
                consumedSize = extent.end;
        }
    }
    if (!IsFormat(header, 0, sizeof(header)))
        return NR_NOT_THIS_FORMAT;

    TIFF* file = OpenTiff(path, "rM");
    if (!file)
        return NR_FILE_OPEN_READ;
    if (pageCount == 0) {
        const tdir_t directories = TIFFNumberOfDirectories(file);
        currentPage = 0;
        multiImage = directories > 1 ? 1 : 0;
        pageCount = directories == 0 ? 1 : static_cast<int32_t>(std::min<tdir_t>(directories, INT32_MAX));
    }
    NImageBuffer& destination = target ? *target : picture;
    const NRESULT result = ReadTiffPage(*this, file, destination, static_cast<uint32_t>(currentPage));
    TIFFClose(file);
    if (!verifiedSmaller) {
        fullWidth = destination.valid ? destination.width : 0;
        fullHeight = destination.valid ? destination.height : 0;
    }
    return result;
}

NRESULT NImageFileTIF::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileTIF::Save(const wchar_t* path, NImageBuffer* givenPicture, ImageMetadata* /*metadata*/)
{
    const NImageBuffer& bitmap = givenPicture ? *givenPicture : picture;
    if (!bitmap.valid)
        return NR_PICTURE_NOT_VALID;
    if (!path)
        return NR_FILE_OPEN_WRITE;
    TIFF* file = OpenTiff(path, "w");
    if (!file)
        return NR_FILE_OPEN_WRITE;
    NRESULT result = WriteTiffPage(*this, file, bitmap, 0, 1, false);
    if (result == NR_OK && TIFFFlush(file) != 1)
        result = NR_ENCODE_FAILED;
    TIFFClose(file);
    if (result != NR_OK)
        DeleteFileW(path);
    return result;
}

FileType NImageFileTIF::GetFormatId() const
{
    return FT_TIF;
}

bool NImageFileTIF::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileTIF::GetPageCount() const
{
    return pageCount;
}

void NImageFileTIF::SetPage(int32_t index)
{
    SetPageLimitedToLast(index);
}

NRESULT NImageFileTIF::BeginPages(const wchar_t* path, NImageBuffer* /*reference*/)
{
    if (pageFile) {
        TIFFClose(pageFile);
        pageFile = nullptr;
    }
    pagesWritten = 0;
    if (!path)
        return NR_FILE_OPEN_WRITE;
    pageFile = OpenTiff(path, "w");
    return pageFile ? NR_OK : NR_FILE_OPEN_WRITE;
}

NRESULT NImageFileTIF::AddPage(NImageBuffer* page)
{
    if (!pageFile)
        return NR_FORMAT_INIT_FAILED;
    if (!page || !page->valid)
        return NR_PICTURE_NOT_VALID;
    saveOptions.tiffCompression = static_cast<int32_t>(pageOption);
    const NRESULT result = WriteTiffPage(*this, pageFile, *page, pagesWritten, pageTotal, true);
    if (result == NR_OK)
        ++pagesWritten;
    return result;
}

NRESULT NImageFileTIF::EndPages()
{
    if (!pageFile)
        return NR_OK;
    const bool flushed = TIFFFlush(pageFile) == 1;
    TIFFClose(pageFile);
    pageFile = nullptr;
    return flushed ? NR_OK : NR_ENCODE_FAILED;
}

namespace {

// The walk over a TIFF's directories for FindExtent.
class TiffExtentWalk {
public:
    TiffExtentWalk(ByteSource& source, bool bigEndian) : m_source(source), m_big(bigEndian) {}

    // Follows a chain of directories from the offset; false when the structure is damaged or
    // points outside the data. subDirectories: the chain's members are sub-directories (their
    // own next pointers are followed too).
    bool WalkChain(uint32_t offset, int depth)
    {
        if (depth > 4)
            return false;
        int links = 0;
        while (offset != 0) {
            if (++links > kMaxChain || ++m_directories > kMaxDirectories)
                return false;
            for (uint32_t seen : m_visited) {
                if (seen == offset)
                    return false;   // a loop
            }
            m_visited.push_back(offset);
            uint32_t next = 0;
            if (!WalkDirectory(offset, depth, next))
                return false;
            offset = next;
        }
        return true;
    }

    uint64_t End() const { return m_end; }
    bool FirstDirectoryEmpty() const { return m_firstEmpty; }

private:
    static constexpr int kMaxChain = 4096;
    static constexpr int kMaxDirectories = 8192;
    static constexpr uint32_t kMaxArray = 1u << 24;   // strips or tiles of one directory

    bool Reach(uint64_t start, uint64_t count)
    {
        if (!m_source.Holds(start, count))
            return false;
        m_end = std::max(m_end, start + count);
        return true;
    }

    uint16_t U16(const uint8_t* p) const { return m_big ? (p[0] << 8) | p[1] : p[0] | (p[1] << 8); }
    uint32_t U32(const uint8_t* p) const
    {
        return m_big ? (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3]
                     : uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
    }

    static uint32_t TypeSize(uint16_t type)
    {
        switch (type) {
        case 1: case 2: case 6: case 7: return 1;
        case 3: case 8: return 2;
        case 4: case 9: case 11: case 13: return 4;
        case 5: case 10: case 12: return 8;
        default: return 0;   // a type the reader skips
        }
    }

    // The values of an entry of SHORT or LONG type, one at a time.
    bool ReadValue(const uint8_t* entry, uint16_t type, uint32_t index, uint32_t count, uint32_t& value)
    {
        const uint32_t size = type == 3 ? 2 : 4;
        uint8_t b[4];
        if (uint64_t{count} * size <= 4) {
            std::memcpy(b, entry + 8 + index * size, size);
        } else if (!m_source.ReadAt(uint64_t{U32(entry + 8)} + uint64_t{index} * size, b, size)) {
            return false;
        }
        value = size == 2 ? U16(b) : U32(b);
        return true;
    }

    // Offsets and byte counts of strips or tiles: each piece must lie inside the data. The two
    // arrays are read a batch at a time.
    bool WalkPieces(const uint8_t* offsets, const uint8_t* counts)
    {
        const uint16_t offsetType = U16(offsets + 2);
        const uint16_t countType = U16(counts + 2);
        const uint32_t n = U32(offsets + 4);
        if (n != U32(counts + 4) || n > kMaxArray || (offsetType != 3 && offsetType != 4) ||
            (countType != 3 && countType != 4))
            return false;
        constexpr uint32_t kBatch = 4096;
        uint8_t starts[kBatch * 4];
        uint8_t lengths[kBatch * 4];
        const uint32_t offsetSize = offsetType == 3 ? 2 : 4;
        const uint32_t countSize = countType == 3 ? 2 : 4;
        for (uint32_t first = 0; first < n; first += kBatch) {
            const uint32_t batch = std::min(kBatch, n - first);
            if (!ReadArray(offsets, offsetSize, n, first, batch, starts) ||
                !ReadArray(counts, countSize, n, first, batch, lengths))
                return false;
            for (uint32_t i = 0; i < batch; ++i) {
                const uint32_t start = offsetSize == 2 ? U16(starts + 2 * i) : U32(starts + 4 * i);
                const uint32_t length = countSize == 2 ? U16(lengths + 2 * i) : U32(lengths + 4 * i);
                if (length != 0 && !Reach(start, length))
                    return false;
            }
        }
        return true;
    }

    // `batch` values from index `first` of an entry's array of n values of `size` bytes.
    bool ReadArray(const uint8_t* entry, uint32_t size, uint32_t n, uint32_t first, uint32_t batch, uint8_t* out)
    {
        const uint64_t bytes = uint64_t{batch} * size;
        if (uint64_t{n} * size <= 4) {
            std::memcpy(out, entry + 8 + first * size, static_cast<size_t>(bytes));
            return true;
        }
        return m_source.ReadAt(uint64_t{U32(entry + 8)} + uint64_t{first} * size, out, static_cast<size_t>(bytes));
    }

    bool WalkDirectory(uint32_t offset, int depth, uint32_t& next)
    {
        uint8_t countBytes[2];
        if (!m_source.ReadAt(offset, countBytes, 2))
            return false;
        const uint16_t count = U16(countBytes);
        if (count == 0) {
            if (m_directories == 1)
                m_firstEmpty = true;
            return false;
        }
        const uint64_t tableBytes = 2 + 12 * uint64_t{count} + 4;
        if (!Reach(offset, tableBytes))
            return false;
        std::vector<uint8_t> table(12 * size_t{count} + 4);
        if (!m_source.ReadAt(offset + 2, table.data(), table.size()))
            return false;
        next = U32(table.data() + 12 * size_t{count});

        const uint8_t* stripOffsets = nullptr;
        const uint8_t* stripCounts = nullptr;
        const uint8_t* tileOffsets = nullptr;
        const uint8_t* tileCounts = nullptr;
        uint32_t interchange = 0;
        uint32_t interchangeLength = 0;
        for (uint16_t i = 0; i < count; ++i) {
            const uint8_t* e = table.data() + 12 * size_t{i};
            const uint16_t tag = U16(e);
            const uint16_t type = U16(e + 2);
            const uint32_t n = U32(e + 4);
            const uint32_t size = TypeSize(type);
            if (size == 0)
                continue;
            const uint64_t bytes = uint64_t{n} * size;
            if (bytes > 4 && !Reach(U32(e + 8), bytes))
                return false;
            switch (tag) {
            case 273: stripOffsets = e; break;
            case 279: stripCounts = e; break;
            case 324: tileOffsets = e; break;
            case 325: tileCounts = e; break;
            case 513: interchange = U32(e + 8); break;
            case 514: interchangeLength = U32(e + 8); break;
            case 330:    // sub-directories
            case 34665:  // EXIF
            case 34853:  // GPS
            case 40965:  // interoperability
                if ((type == 4 || type == 13) && n >= 1 && n <= 64) {
                    for (uint32_t k = 0; k < n; ++k) {
                        uint32_t sub = 0;
                        if (!ReadValue(e, 4, k, n, sub))
                            return false;
                        if (sub != 0 && !WalkChain(sub, depth + 1))
                            return false;
                    }
                }
                break;
            default:
                break;
            }
        }
        if (stripOffsets && stripCounts && !WalkPieces(stripOffsets, stripCounts))
            return false;
        if (tileOffsets && tileCounts && !WalkPieces(tileOffsets, tileCounts))
            return false;
        if (interchange != 0 && interchangeLength != 0 && !Reach(interchange, interchangeLength))
            return false;
        return true;
    }

    ByteSource& m_source;
    bool m_big;
    uint64_t m_end = 8;
    int m_directories = 0;
    bool m_firstEmpty = false;
    std::vector<uint32_t> m_visited;
};

}  // namespace

PictureExtent NImageFileTIF::FindExtent(ByteSource& source)
{
    uint8_t header[8];
    if (!source.ReadAt(0, header, 8))
        return PictureExtent::Unknown();
    if (!IsFormat(header, 0, 8))
        return PictureExtent::Broken();
    const bool big = header[0] == 'M';
    TiffExtentWalk walk(source, big);
    const uint32_t first = big ? (uint32_t{header[4]} << 24) | (uint32_t{header[5]} << 16) |
                                     (uint32_t{header[6]} << 8) | header[7]
                               : uint32_t{header[4]} | (uint32_t{header[5]} << 8) | (uint32_t{header[6]} << 16) |
                                     (uint32_t{header[7]} << 24);
    if (first < 8)
        return PictureExtent::Unknown();
    if (!walk.WalkChain(first, 0))
        return walk.FirstDirectoryEmpty() ? PictureExtent::Broken() : PictureExtent::Unknown();
    return PictureExtent::Complete(walk.End());
}
