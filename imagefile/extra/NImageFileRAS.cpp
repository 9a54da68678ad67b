#include "imagefile/extra/NImageFileRAS.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/RowsAtDepth.h"
#include "imagefile/extra/StdioStream.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint32_t kMagic = 0x59A66A95;
constexpr uint32_t kHeaderBytes = 32;
constexpr uint32_t kTypeRunLength = 2;
constexpr uint32_t kTypeRgb = 3;
constexpr uint32_t kLargestType = 5;
constexpr uint32_t kMapRgb = 1;
constexpr int kRunMarker = 0x80;
constexpr int kLongestRun = 256;

uint32_t BigEndian32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

// Bytes of one stored row: the pixels, then one zero byte when that count is odd.
uint64_t StoredRowBytes(uint64_t width, uint32_t depth)
{
    const uint64_t bytes = DataBound::PackedBytes(width, 1, depth);
    return bytes == UINT64_MAX ? bytes : bytes + (bytes & 1);
}

// One stored row into a scan line of the picture.
void StoreRow(const uint8_t* row, uint32_t depth, bool rgbOrder, NImageBuffer& pic, uint8_t* out)
{
    const size_t width = static_cast<size_t>(pic.width);
    switch (depth) {
    case 1:
    case 8:
        memcpy(out, row, static_cast<size_t>(DataBound::PackedBytes(width, 1, depth)));
        break;
    case 24:
        for (size_t x = 0; x < width; ++x, row += 3, out += 3) {
            out[0] = rgbOrder ? row[2] : row[0];
            out[1] = row[1];
            out[2] = rgbOrder ? row[0] : row[2];
        }
        break;
    default:   // 32: alpha (or pad), then the three colours
        for (size_t x = 0; x < width; ++x, row += 4, out += 4) {
            out[0] = rgbOrder ? row[3] : row[1];
            out[1] = row[2];
            out[2] = rgbOrder ? row[1] : row[3];
            out[3] = row[0];
        }
        break;
    }
}

bool WriteBigEndian32(StdioStream& out, uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return out.Write(b, 4);
}

}  // namespace

bool NImageFileRAS::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x59\xA6\x6A\x95");
}

int NImageFileRAS::NextRunByte(StdioStream& in)
{
    if (runCount_ > 0) {
        --runCount_;
        return runValue_;
    }
    const int b = in.ReadByte();
    if (b != kRunMarker)
        return b;
    const int n = in.ReadByte();
    if (n <= 0)
        return n == 0 ? kRunMarker : -1;
    const int value = in.ReadByte();
    if (value < 0)
        return -1;
    runValue_ = value;
    runCount_ = n;   // n + 1 copies: this one and n more
    return value;
}

NRESULT NImageFileRAS::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes] = {};
    const size_t got = in.Read(h, sizeof(h));
    if (got < 4 || BigEndian32(h) != kMagic)
        return NR_NOT_THIS_FORMAT;
    if (got < kHeaderBytes)
        return NR_INVALID_DATA;
    const uint32_t width = BigEndian32(h + 4);
    const uint32_t height = BigEndian32(h + 8);
    const uint32_t depth = BigEndian32(h + 12);
    const uint32_t type = BigEndian32(h + 20);
    const uint32_t mapType = BigEndian32(h + 24);
    const uint32_t mapLength = BigEndian32(h + 28);
    if (type > kLargestType || (mapType != kMapRgb && mapLength != 0))
        return NR_FORMAT_NOT_SUPPORTED;
    if (depth != 1 && depth != 8 && depth != 24 && depth != 32)
        return NR_WRONG_BPP;

    const uint64_t fileLength = in.Length();
    if (mapLength > fileLength - kHeaderBytes)
        return NR_INVALID_DATA;
    std::vector<uint8_t> map;
    try {
        map.resize(mapLength);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    if (mapLength && !in.ReadExact(map.data(), mapLength))
        return NR_INVALID_DATA;

    uint8_t paletteRgb[256 * 3] = {};
    if (mapLength >= 3) {
        const size_t entries = mapLength / 3;
        for (size_t i = 0; i < std::min<size_t>(entries, 256); ++i) {
            paletteRgb[i * 3] = map[i];
            paletteRgb[i * 3 + 1] = map[entries + i];
            paletteRgb[i * 3 + 2] = map[2 * entries + i];
        }
    } else if (depth == 1) {
        paletteRgb[0] = paletteRgb[1] = paletteRgb[2] = 255;   // 0 white, 1 black
    } else {
        for (int i = 0; i < 256; ++i)
            paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = static_cast<uint8_t>(i);
    }

    // The picture must be one the rest of the file can fill: raw rows byte for byte (the last
    // one's padding may be missing), run-length rows at most 256 bytes from 3.
    const bool runLength = type == kTypeRunLength;
    const uint64_t rowBytes = StoredRowBytes(width, depth);
    const uint64_t dataBytes = fileLength - kHeaderBytes - mapLength;
    const uint64_t decoded = DataBound::PackedBytes(rowBytes, height, 8);
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX)
        return NR_PICTURE_CREATE_FAILED;
    if (!(runLength ? DataBound::Yields(decoded, dataBytes, kLongestRun, 3)
                     : DataBound::Yields(decoded, dataBytes + 1, DataBound::kRawCutShort, 1)))
        return NR_INVALID_DATA;
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), static_cast<int>(depth), 0,
                    depth <= 8 ? paletteRgb : nullptr))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    std::vector<uint8_t> row;
    try {
        row.resize(static_cast<size_t>(rowBytes));
    } catch (const std::bad_alloc&) {
        pic.Destroy();
        return NR_ALLOCATION_FAILED;
    }
    runValue_ = 0;
    runCount_ = 0;
    const bool rgbOrder = type == kTypeRgb;
    for (uint32_t y = 0; y < height; ++y) {
        size_t filled = 0;
        if (runLength) {
            for (; filled < row.size(); ++filled) {
                const int b = NextRunByte(in);
                if (b < 0)
                    break;
                row[filled] = static_cast<uint8_t>(b);
            }
        } else {
            filled = in.Read(row.data(), row.size());
        }
        if (filled < row.size())
            std::fill(row.begin() + static_cast<ptrdiff_t>(filled), row.end(), 0);
        StoreRow(row.data(), depth, rgbOrder, pic, pic.bits + static_cast<size_t>(height - 1 - y) * pic.stride);
        if (filled < row.size())
            break;
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

bool NImageFileRAS::FlushRun(StdioStream& out, uint64_t& written)
{
    const int n = runCount_;
    const uint8_t v = static_cast<uint8_t>(runValue_);
    runCount_ = 0;
    if (n <= 0)
        return true;
    uint8_t code[3];
    size_t length;
    if (n >= 3) {
        code[0] = kRunMarker;
        code[1] = static_cast<uint8_t>(n - 1);
        code[2] = v;
        length = 3;
    } else if (v == kRunMarker) {
        code[0] = kRunMarker;
        code[1] = static_cast<uint8_t>(n - 1);
        code[2] = kRunMarker;
        length = n == 2 ? 3 : 2;
    } else {
        code[0] = code[1] = v;
        length = static_cast<size_t>(n);
    }
    written += length;
    return out.Write(code, length);
}

bool NImageFileRAS::PutRunByte(StdioStream& out, uint8_t value, uint64_t& written)
{
    if (runCount_ > 0 && value == runValue_) {
        if (++runCount_ > kLongestRun) {
            runCount_ = kLongestRun;
            if (!FlushRun(out, written))
                return false;
            runValue_ = value;
            runCount_ = 1;
        }
        return true;
    }
    const bool ok = FlushRun(out, written);
    runValue_ = value;
    runCount_ = 1;
    return ok;
}

NRESULT NImageFileRAS::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileRAS::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || !pic->bits)
        return NR_PICTURE_NOT_VALID;
    const uint32_t depth = (pic->bpp == 1 || pic->bpp == 8 || pic->bpp == 32) ? pic->bpp : 24;
    if (depth == 1)
        saveOptions.rasRunLength = 0;
    const bool runLength = saveOptions.rasRunLength != 0;
    RowsAtDepth trueColour;
    if (depth >= 24 && !trueColour.Prepare(*pic, static_cast<int>(depth)))
        return NR_ALLOCATION_FAILED;

    StdioStream out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    const uint32_t width = static_cast<uint32_t>(pic->width);
    const uint32_t height = static_cast<uint32_t>(pic->height);
    const size_t rowBytes = static_cast<size_t>(StoredRowBytes(width, depth));
    bool ok = WriteBigEndian32(out, kMagic) && WriteBigEndian32(out, width) && WriteBigEndian32(out, height) &&
              WriteBigEndian32(out, depth) && WriteBigEndian32(out, 0) &&
              WriteBigEndian32(out, runLength ? kTypeRunLength : 1) && WriteBigEndian32(out, depth == 8 ? kMapRgb : 0) &&
              WriteBigEndian32(out, depth == 8 ? 768 : 0);
    if (ok && depth == 8) {
        uint8_t map[768];
        for (int i = 0; i < 256; ++i) {
            map[i] = pic->palette[i][2];
            map[256 + i] = pic->palette[i][1];
            map[512 + i] = pic->palette[i][0];
        }
        ok = out.Write(map, sizeof(map));
    }

    std::vector<uint8_t> row;
    try {
        row.resize(rowBytes);
    } catch (const std::bad_alloc&) {
        out.Close();
        DeleteFileW(path);
        return NR_ALLOCATION_FAILED;
    }
    // A set bit is black in a file without a colour map.
    const bool invert = depth == 1 && pic->palette[0][0] == 0 && pic->palette[0][1] == 0 && pic->palette[0][2] == 0;
    runValue_ = 0;
    runCount_ = 0;
    uint64_t written = 0;
    for (uint32_t y = 0; ok && y < height; ++y) {
        const int scanLine = static_cast<int>(height - 1 - y);
        const uint8_t* in = depth >= 24 ? trueColour.Row(scanLine) : pic->bits + static_cast<size_t>(scanLine) * pic->stride;
        std::fill(row.begin(), row.end(), 0);
        if (depth == 32) {
            for (size_t x = 0; x < width; ++x) {
                row[x * 4] = in[x * 4 + 3];
                row[x * 4 + 1] = in[x * 4];
                row[x * 4 + 2] = in[x * 4 + 1];
                row[x * 4 + 3] = in[x * 4 + 2];
            }
        } else {
            const size_t bytes = static_cast<size_t>(DataBound::PackedBytes(width, 1, depth));
            memcpy(row.data(), in, bytes);
            if (invert) {
                for (size_t i = 0; i < bytes; ++i)
                    row[i] = static_cast<uint8_t>(~row[i]);
            }
        }
        if (runLength) {
            for (size_t i = 0; ok && i < rowBytes; ++i)
                ok = PutRunByte(out, row[i], written);
        } else {
            ok = out.Write(row.data(), rowBytes);
            written += rowBytes;
        }
    }
    if (ok && runLength)
        ok = FlushRun(out, written);
    // The header's length field: the bytes of image data actually written.
    if (ok)
        ok = out.Seek(16) && WriteBigEndian32(out, static_cast<uint32_t>(std::min<uint64_t>(written, UINT32_MAX)));
    ok = out.Close() && ok;
    if (!ok) {
        DeleteFileW(path);
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

FileType NImageFileRAS::GetFormatId() const
{
    return FT_RAS;
}
