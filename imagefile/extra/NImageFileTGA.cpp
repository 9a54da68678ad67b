#include "imagefile/extra/NImageFileTGA.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/FormatStream.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 18;
constexpr unsigned kMaxSide = 20000;
constexpr uint8_t kTopFirst = 0x20;      // descriptor: the first row is the top row
constexpr uint8_t kRightToLeft = 0x10;   // descriptor: pixels run right to left

// A run-length packet of a header and one pixel gives at most 128 pixels.
constexpr uint64_t kPixelsPerRun = 128;

bool IsReadImageType(unsigned type)
{
    return type == 1 || type == 2 || type == 3 || type == 9 || type == 10 || type == 11;
}

// Bytes of one file row of `width` pixels at `depth` bits (1, 8, 16, 24 or 32).
size_t RowBytes(unsigned depth, unsigned width)
{
    return depth == 1 ? (static_cast<size_t>(width) + 7) / 8 : static_cast<size_t>(width) * (depth / 8);
}

// Reverses the order of the first `width` pixels of a row.
void MirrorRow(uint8_t* row, unsigned width, unsigned depth)
{
    if (depth == 1) {
        std::vector<uint8_t> bits(width);
        for (unsigned x = 0; x < width; ++x)
            bits[x] = (row[x / 8] >> (7 - (x & 7))) & 1;
        memset(row, 0, (static_cast<size_t>(width) + 7) / 8);
        for (unsigned x = 0; x < width; ++x) {
            if (bits[width - 1 - x])
                row[x / 8] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        return;
    }
    const size_t bytes = depth / 8;
    for (unsigned a = 0, b = width - 1; a < b; ++a, --b) {
        for (size_t i = 0; i < bytes; ++i)
            std::swap(row[a * bytes + i], row[b * bytes + i]);
    }
}

// Run-length packets of one row of `count` pixels of `pixelBytes` bytes: the longest runs of
// equal pixels (up to 128) first, then neighbouring single pixels gathered into literal packets
// of up to 128.
void EncodeRow(const uint8_t* row, size_t count, size_t pixelBytes, std::vector<uint8_t>& out)
{
    auto pixel = [&](size_t i) { return row + i * pixelBytes; };
    std::vector<std::pair<size_t, size_t>> runs;   // start, length
    for (size_t i = 0; i < count;) {
        size_t j = i + 1;
        while (j < count && j - i < kPixelsPerRun && memcmp(pixel(j), pixel(i), pixelBytes) == 0)
            ++j;
        runs.emplace_back(i, j - i);
        i = j;
    }
    for (size_t r = 0; r < runs.size();) {
        if (runs[r].second >= 2) {
            out.push_back(static_cast<uint8_t>(0x80 | (runs[r].second - 1)));
            out.insert(out.end(), pixel(runs[r].first), pixel(runs[r].first) + pixelBytes);
            ++r;
            continue;
        }
        size_t n = 0;
        const size_t start = runs[r].first;
        while (r < runs.size() && runs[r].second == 1 && n < kPixelsPerRun) {
            ++n;
            ++r;
        }
        out.push_back(static_cast<uint8_t>(n - 1));
        out.insert(out.end(), pixel(start), pixel(start) + n * pixelBytes);
    }
}

}  // namespace

bool NImageFileTGA::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 19))
        return false;
    const uint8_t* p = bytes + offset;
    switch (p[2]) {
    case 1: case 2: case 3: case 9: case 10: case 11:
        break;
    default:
        return false;
    }
    const uint16_t width = SignatureU16(p + 12);
    const uint16_t height = SignatureU16(p + 14);
    if (width < 1 || width > 19999 || height < 1 || height > 19999)
        return false;
    switch (p[16]) {
    case 1: case 8: case 16: case 24: case 32:
        return true;
    default:
        return false;
    }
}

FileType NImageFileTGA::GetFormatId() const
{
    return FT_TGA;
}

// ---- Reading ----

bool NImageFileTGA::DecodeRunLengthRow(FILE* file, uint8_t* row, size_t count, size_t pixelBytes)
{
    for (size_t i = 0; i < count; ++i) {
        uint8_t* out = row + i * pixelBytes;
        if (repeatCount == 0 && literalCount == 0) {
            const int header = fgetc(file);
            if (header == EOF)
                return false;
            if (header < 128) {
                literalCount = header + 1;
            } else {
                repeatCount = header - 127;
                if (fread(runPixel, 1, pixelBytes, file) != pixelBytes) {
                    repeatCount = 0;
                    return false;
                }
            }
        }
        if (repeatCount > 0) {
            memcpy(out, runPixel, pixelBytes);
            --repeatCount;
        } else {
            if (fread(out, 1, pixelBytes, file) != pixelBytes)
                return false;
            --literalCount;
        }
    }
    return true;
}

NRESULT NImageFileTGA::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    FormatStream in;
    if (!in.OpenRead(path))
        return NR_FILE_OPEN_READ;
    FILE* file = in.get();
    repeatCount = 0;
    literalCount = 0;
    memset(runPixel, 0, sizeof runPixel);

    uint8_t h[kHeaderBytes];
    const size_t got = fread(h, 1, sizeof h, file);
    if (got < 3 || !IsReadImageType(h[2]))
        return NR_NOT_THIS_FORMAT;
    if (got < sizeof h)
        return NR_INVALID_DATA;
    const unsigned idLength = h[0];
    const bool hasMap = h[1] != 0;
    const unsigned imageType = h[2];
    const unsigned mapFirst = SignatureU16(h + 3);
    const unsigned mapLength = SignatureU16(h + 5);
    const unsigned mapEntryBits = h[7];
    const unsigned width = SignatureU16(h + 12);
    const unsigned height = SignatureU16(h + 14);
    const unsigned depth = h[16] == 15 ? 16 : h[16];
    const uint8_t descriptor = h[17];
    if (depth != 1 && depth != 8 && depth != 16 && depth != 24 && depth != 32)
        return NR_INVALID_DATA;
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide)
        return NR_INVALID_DATA;
    if (hasMap && mapEntryBits != 15 && mapEntryBits != 16 && mapEntryBits != 24)
        return NR_INVALID_DATA;
    if (idLength > in.Remaining() || !in.Seek(in.Tell() + idLength))
        return NR_INVALID_DATA;

    // The palette: a 24-bit colour map, else a grey ramp (black and white for 1 bit).
    uint8_t paletteRgb[768] = {};
    if (hasMap && mapEntryBits == 24) {
        if (depth == 1)
            paletteRgb[3] = paletteRgb[4] = paletteRgb[5] = 255;
    } else if (depth == 1) {
        paletteRgb[3] = paletteRgb[4] = paletteRgb[5] = 255;
    } else {
        for (int i = 0; i < 256; ++i)
            paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = static_cast<uint8_t>(i);
    }
    if (hasMap) {
        const uint64_t entryBytes = mapEntryBits == 24 ? 3 : 2;
        const uint64_t mapBytes = entryBytes * mapLength;
        if (mapBytes > in.Remaining())
            return NR_INVALID_DATA;
        if (mapEntryBits == 24) {
            std::vector<uint8_t> map(static_cast<size_t>(mapBytes));
            if (!in.ReadExact(map.data(), map.size()))
                return NR_INVALID_DATA;
            for (unsigned k = 0; k < mapLength && mapFirst + k < 256; ++k) {
                uint8_t* entry = paletteRgb + (mapFirst + k) * 3;
                entry[0] = map[k * 3 + 2];   // stored blue, green, red
                entry[1] = map[k * 3 + 1];
                entry[2] = map[k * 3];
            }
        } else if (!in.Seek(in.Tell() + mapBytes)) {
            return NR_INVALID_DATA;
        }
    }

    // Run-length data of 1-bit pictures is taken byte by byte (eight pixels a unit).
    const bool runLength = imageType >= 9;
    const size_t rowBytes = RowBytes(depth, width);
    const size_t pixelBytes = depth == 1 ? 1 : depth / 8;
    const size_t rowUnits = rowBytes / pixelBytes;
    // The header's size is believed only as far as the pixel data can fill it at the densest
    // coding: uncompressed, a file cut short keeps its rows when it holds enough of them;
    // run-length coded, every packet of 1 + n bytes gives 128 pixels of n bytes.
    const uint64_t ratio =
        runLength ? (kPixelsPerRun * pixelBytes + pixelBytes) / (1 + pixelBytes) : DataBound::kRawCutShort;
    if (!DataBound::Fits(width, height, depth, in.Remaining(), ratio))
        return NR_INVALID_DATA;

    NImageBuffer& out = target ? *target : picture;
    if (!out.Create(static_cast<int>(width), static_cast<int>(height), static_cast<int>(depth), 0,
                    depth <= 8 ? paletteRgb : nullptr))
        return NR_PICTURE_CREATE_FAILED;

    std::vector<uint8_t> row(rowBytes);
    for (unsigned r = 0; r < height; ++r) {
        if (ferror(file) || feof(file))
            break;
        std::fill(row.begin(), row.end(), 0);
        const bool whole = runLength ? DecodeRunLengthRow(file, row.data(), rowUnits, pixelBytes)
                                     : fread(row.data(), 1, rowBytes, file) == rowBytes;
        if (!whole && !runLength)
            break;   // a part row of an uncompressed file is not taken
        if (descriptor & kRightToLeft)
            MirrorRow(row.data(), width, depth);
        const unsigned line = (descriptor & kTopFirst) ? height - 1 - r : r;
        memcpy(out.bits + static_cast<size_t>(line) * out.stride, row.data(), rowBytes);
        if (!whole)
            break;
    }
    consumedSize = std::min(in.Tell(), in.Length());
    in.Close();
    fullWidth = static_cast<int32_t>(width);
    fullHeight = static_cast<int32_t>(height);
    return NR_OK;
}

// ---- Writing ----

NRESULT NImageFileTGA::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileTGA::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    const NImageBuffer& image = source ? *source : picture;
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;
    if (image.width > 0xFFFF || image.height > 0xFFFF)
        return NR_SUBFEATURE_NOT_SUPPORTED;   // the header holds 16-bit sizes
    const int bpp = image.bpp;
    if (bpp == 1)
        saveOptions.tgaRunLength = 0;   // 1-bit pictures are written uncompressed
    const bool runLength = saveOptions.tgaRunLength != 0;
    const bool mapped = bpp == 1 || bpp == 8;
    const unsigned depth = bpp == 4 ? 24 : static_cast<unsigned>(bpp);
    const unsigned mapLength = bpp == 1 ? 2 : bpp == 8 ? 256 : 0;

    uint8_t h[kHeaderBytes] = {};
    h[1] = mapped ? 1 : 0;
    h[2] = static_cast<uint8_t>(mapped ? (runLength ? 9 : 1) : (runLength ? 10 : 2));
    h[5] = static_cast<uint8_t>(mapLength);
    h[6] = static_cast<uint8_t>(mapLength >> 8);
    h[7] = mapped ? 24 : 0;
    h[12] = static_cast<uint8_t>(image.width);
    h[13] = static_cast<uint8_t>(image.width >> 8);
    h[14] = static_cast<uint8_t>(image.height);
    h[15] = static_cast<uint8_t>(image.height >> 8);
    h[16] = static_cast<uint8_t>(depth);
    h[17] = depth == 32 ? 8 : 0;   // eight alpha bits; bottom-left origin, left to right

    FormatStream out;
    if (!out.OpenWrite(path))
        return NR_FILE_OPEN_WRITE;
    bool ok = out.Write(h, sizeof h);
    for (unsigned i = 0; i < mapLength && ok; ++i)
        ok = out.Write(image.palette[i], 3);   // kept blue, green, red

    const unsigned width = static_cast<unsigned>(image.width);
    const size_t rowBytes = RowBytes(depth, width);
    const size_t pixelBytes = depth / 8;
    std::vector<uint8_t> packets;
    for (int line = 0; line < image.height && ok; ++line) {   // the bottom row first
        std::unique_ptr<uint8_t, decltype(&free)> converted(nullptr, &free);
        const uint8_t* row = image.bits + static_cast<size_t>(line) * image.stride;
        if (bpp == 4) {
            converted.reset(image.GetRowAs(24, line));
            if (!converted) {
                ok = false;
                break;
            }
            row = converted.get();
        }
        if (runLength) {
            packets.clear();
            EncodeRow(row, width, pixelBytes, packets);
            ok = out.Write(packets.data(), packets.size());
        } else {
            ok = out.Write(row, rowBytes);
        }
    }
    if (!out.Close() || !ok) {
        DeleteFileW(path);
        return NR_FILE_OPEN_WRITE;
    }
    return NR_OK;
}
