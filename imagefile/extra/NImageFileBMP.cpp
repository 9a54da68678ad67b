#include "imagefile/extra/NImageFileBMP.h"

#include "imagefile/ByteCursor.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr uint32_t kCompressionNone = 0;
constexpr uint32_t kCompressionRle8 = 1;
constexpr uint32_t kCompressionRle4 = 2;
constexpr uint32_t kCompressionBitFields = 3;

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kInfoHeaderBytes = 40;
constexpr uint32_t kGreenMask565 = 0x7E0;

// Bytes of one stored row of `width` pixels of `bits` bits, padded to 4 bytes.
size_t StoredRowBytes(int width, int bits)
{
    return ((static_cast<size_t>(width) * bits + 31) / 8) & ~size_t{3};
}

// RLE8: (row, byte column) walks the whole pixel buffer in file order; a run or literal may
// go on into the next row in memory, never past the buffer's end.
void DecodeRle8(StdioStream& in, NImageBuffer& pic)
{
    const int64_t stride = pic.stride;
    const int64_t total = stride * pic.height;
    int64_t row = 0;
    int64_t column = 0;
    auto position = [&] { return row * stride + column; };
    auto room = [&]() -> int64_t {
        const int64_t at = position();
        return at < total ? total - at : 0;
    };

    for (;;) {
        const int count = in.ReadByte();
        const int value = in.ReadByte();
        if (count < 0 || value < 0)
            return;
        if (count > 0) {
            const int64_t written = std::min<int64_t>(count, room());
            if (written > 0)
                memset(pic.bits + position(), value, static_cast<size_t>(written));
            column += written;
            continue;
        }
        if (value == 0) {  // end of line
            column = 0;
            if (row < pic.height - 1)
                ++row;
        } else if (value == 1) {  // end of bitmap
            return;
        } else if (value == 2) {  // delta
            const int dx = in.ReadByte();
            const int dy = in.ReadByte();
            if (dx < 0 || dy < 0)
                return;
            column = std::min<int64_t>(column + dx, total);
            row = std::min<int64_t>(row + dy, pic.height - 1);
        } else {  // literal of `value` bytes, padded to a whole word
            uint8_t literal[256];
            const size_t got = in.Read(literal, static_cast<size_t>(value));
            const int64_t copied = std::min<int64_t>(static_cast<int64_t>(got), room());
            if (copied > 0)
                memcpy(pic.bits + position(), literal, static_cast<size_t>(copied));
            column = std::min<int64_t>(column + value, total);
            if (got < static_cast<size_t>(value))
                return;
            if ((value & 1) && in.ReadByte() < 0)
                return;
        }
    }
}

// RLE4: (row, pixel column); pixel x lies in byte x / 2 of its row, the high nibble for even x.
// Pixels outside the picture (or outside the stored row) are dropped.
void DecodeRle4(StdioStream& in, NImageBuffer& pic)
{
    int64_t row = 0;
    int64_t column = 0;
    auto put = [&](int index) {
        if (row < pic.height && column < pic.width && column / 2 < pic.stride) {
            uint8_t* p = pic.bits + row * pic.stride + column / 2;
            if (column & 1)
                *p = static_cast<uint8_t>((*p & 0xF0) | (index & 0x0F));
            else
                *p = static_cast<uint8_t>((*p & 0x0F) | ((index & 0x0F) << 4));
        }
        ++column;
    };

    for (;;) {
        const int count = in.ReadByte();
        const int value = in.ReadByte();
        if (count < 0 || value < 0)
            return;
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put((i & 1) ? (value & 0x0F) : (value >> 4));
            continue;
        }
        if (value == 0) {
            column = 0;
            ++row;
        } else if (value == 1) {
            return;
        } else if (value == 2) {
            const int dx = in.ReadByte();
            const int dy = in.ReadByte();
            if (dx < 0 || dy < 0)
                return;
            column += dx;
            row += dy;
        } else {
            const size_t bytes = (static_cast<size_t>(value) + 1) / 2;
            uint8_t literal[128];
            const size_t got = in.Read(literal, bytes);
            for (int i = 0; i < value && static_cast<size_t>(i / 2) < got; ++i)
                put((i & 1) ? (literal[i / 2] & 0x0F) : (literal[i / 2] >> 4));
            if (got < bytes)
                return;
            if ((bytes & 1) && in.ReadByte() < 0)
                return;
        }
    }
}

// 16-bit pixels with bit fields, written as 24-bit pixels.
void DecodeBitFields16(StdioStream& in, NImageBuffer& pic, bool is565)
{
    const size_t rowBytes = StoredRowBytes(pic.width, 16);
    std::vector<uint8_t> row(rowBytes);
    const int greenShift = is565 ? 6 : 5;
    for (int y = 0; y < pic.height; ++y) {
        const size_t got = in.Read(row.data(), rowBytes);
        uint8_t* out = pic.bits + static_cast<size_t>(y) * pic.stride;
        const size_t pixels = std::min<size_t>(got / 2, static_cast<size_t>(pic.width));
        for (size_t x = 0; x < pixels; ++x) {
            unsigned p = row[x * 2] | (row[x * 2 + 1] << 8);
            out[x * 3 + 0] = kFiveBitExpansion[p & 31];
            p >>= greenShift;
            out[x * 3 + 1] = kFiveBitExpansion[p & 31];
            out[x * 3 + 2] = kFiveBitExpansion[(p >> 5) & 31];
        }
        if (got < rowBytes)
            return;
    }
}

void DecodeTwoBit(StdioStream& in, NImageBuffer& pic)
{
    const size_t rowBytes = StoredRowBytes(pic.width, 2);
    for (int y = 0; y < pic.height; ++y) {
        uint8_t* out = pic.bits + static_cast<size_t>(y) * pic.stride;
        // The row was cleared, so pixels whose bytes are not read widen to 0.
        const size_t got = in.Read(out, rowBytes);
        NImageFileBMP::ExpandRow2To4(out, pic.width);
        if (got < rowBytes)
            return;
    }
}

// True when the bytes from pixelOffset to the end of the file can hold the pixels the header
// claims: stored rows (a file cut short keeps the rows it has, when they are at least a
// sixteenth of the picture); run-length data at 255 pixels for every 2-byte code. Pictures that
// deltas would skip over are not believed.
bool PixelsFit(int64_t width, int64_t height, unsigned bitCount, uint32_t compression, uint64_t fileLength,
               uint32_t pixelOffset)
{
    const uint64_t data = fileLength > pixelOffset ? fileLength - pixelOffset : 0;
    const uint64_t w = static_cast<uint64_t>(width);
    const uint64_t h = static_cast<uint64_t>(height);
    if (compression == kCompressionRle8)
        return DataBound::Fits(w, h, 8, data, 128);
    if (compression == kCompressionRle4)
        return DataBound::Fits(w, h, 4, data, 64);
    return DataBound::Fits(w, h, bitCount, data, DataBound::kRawCutShort);
}

// The depth NImageBuffer::Create gives a bitmap of `bits` bits per pixel (always with a palette).
int CreatedDepth(int bits)
{
    return bits <= 1 ? 1 : bits <= 4 ? 4 : bits <= 8 ? 8 : bits <= 16 ? 16 : bits <= 24 ? 24 : 32;
}

// Run-length data as DecodeRle8 (fourBit false) or DecodeRle4 read it, without the pixels: the
// position after the end-of-bitmap escape. False when the cursor's limit, or `budget` bytes,
// come first: real data is never longer than that.
bool SkipRunLengthData(ByteCursor& in, bool fourBit, uint64_t budget, uint64_t& end)
{
    const uint64_t start = in.Position();
    while (in.Position() - start <= budget) {
        const int count = in.Byte();
        const int value = in.Byte();
        if (count < 0 || value < 0)
            return false;
        if (count > 0 || value == 0)
            continue;   // a run, or the end of a line
        if (value == 1) {
            end = in.Position();
            return true;
        }
        if (value == 2) {
            if (!in.Skip(2))   // dx, dy
                return false;
            continue;
        }
        // A literal of `value` pixels, padded to a whole word.
        const uint64_t bytes = fourBit ? (static_cast<uint64_t>(value) + 1) / 2 : static_cast<uint64_t>(value);
        if (!in.Skip(bytes + (bytes & 1)))
            return false;
    }
    return false;
}

}  // namespace

PictureExtent NImageFileBMP::FindExtent(ByteSource& source)
{
    ByteCursor in(source);
    uint8_t fileHeader[kFileHeaderBytes + 4];
    if (!in.Read(fileHeader, sizeof(fileHeader)))
        return PictureExtent::Unknown();
    if (fileHeader[0] != 'B' || fileHeader[1] != 'M')
        return PictureExtent::Broken();
    const uint32_t pixelOffset = SignatureU32(fileHeader + 10);
    const uint32_t headerSize = SignatureU32(fileHeader + 14);

    int64_t width = 0;
    int64_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = kCompressionNone;
    const bool core = headerSize <= 12;
    if (core) {
        uint8_t info[8];
        if (!in.Read(info, sizeof(info)))
            return PictureExtent::Unknown();
        width = SignatureU16(info);
        height = SignatureU16(info + 2);
        planes = SignatureU16(info + 4);
        bitCount = SignatureU16(info + 6);
    } else {
        // Load reads these bytes of the header (fewer only at the end of a file).
        uint8_t info[kInfoHeaderBytes - 4] = {};
        if (!in.Read(info, std::min<size_t>(headerSize - 4, sizeof(info))))
            return PictureExtent::Unknown();
        width = static_cast<int32_t>(SignatureU32(info));
        height = static_cast<int32_t>(SignatureU32(info + 4));
        planes = SignatureU16(info + 8);
        bitCount = SignatureU16(info + 10);
        compression = SignatureU32(info + 12);
    }
    if (planes == 0 || bitCount < 1 || bitCount > 32 || compression > kCompressionBitFields)
        return PictureExtent::Broken();
    const bool fields16 = compression == kCompressionBitFields && bitCount == 16;
    if (height < 0)
        height = -height;
    const int depth = fields16 ? 24 : CreatedDepth(bitCount);
    if (!NImageBuffer::CreatableSize(width, height, depth, true))
        return PictureExtent::Broken();
    // Load believes the size only as far as the data after the pixel offset can fill it.
    if (!PixelsFit(width, height, bitCount, compression, kLargestPicture, pixelOffset))
        return PictureExtent::Broken();
    const uint64_t stride = static_cast<uint64_t>(NImageBuffer::StrideFor(static_cast<int>(width), depth));
    const uint64_t rows = static_cast<uint64_t>(height);
    // Everything else Load reads (header, bit-field masks, palette) must lie before the end, or
    // a file cut there would load with other colours.
    uint64_t before = in.Position();
    if (fields16 && headerSize != 64)
        before = std::max<uint64_t>(before, kFileHeaderBytes + kInfoHeaderBytes + 8);
    if (bitCount <= 8)
        before = std::max(before, (core ? 26 : uint64_t{kFileHeaderBytes} + headerSize) + (uint64_t{core ? 3u : 4u} << bitCount));

    uint64_t end = 0;
    if (compression == kCompressionRle8 || compression == kCompressionRle4) {
        // An encoder spends at most two bytes on a pixel, and two on each line's end.
        const uint64_t budget = 4 * stride * rows + 2 * rows + 4096;
        if (!in.Seek(pixelOffset) || !SkipRunLengthData(in, compression == kCompressionRle4, budget, end))
            return PictureExtent::Unknown();
    } else {
        uint64_t rowBytes = stride;
        if (fields16)
            rowBytes = StoredRowBytes(static_cast<int>(width), 16);
        else if (bitCount == 2)
            rowBytes = StoredRowBytes(static_cast<int>(width), 2);
        end = uint64_t{pixelOffset} + rowBytes * rows;
    }
    // Cut at its end, the file must still be believed (run-length data can be small).
    if (end > in.Limit() || end < before || !PixelsFit(width, height, bitCount, compression, end, pixelOffset))
        return PictureExtent::Unknown();
    return PictureExtent::Complete(end);
}

bool NImageFileBMP::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 18))
        return false;
    const uint8_t* p = bytes + offset;
    if (p[0] != 'B' || p[1] != 'M')
        return false;
    const uint32_t headerSize = SignatureU32(p + 14);
    return (headerSize >= 12 && headerSize <= 108) || headerSize == 124;
}

void NImageFileBMP::ExpandRow2To4(uint8_t* row, int width)
{
    for (int x = width - 1; x >= 0; --x) {
        const int index = (row[x / 4] >> (6 - 2 * (x & 3))) & 3;
        uint8_t& target = row[x / 2];
        if (x & 1)
            target = static_cast<uint8_t>((target & 0xF0) | index);
        else
            target = static_cast<uint8_t>((target & 0x0F) | (index << 4));
    }
}

NRESULT NImageFileBMP::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;

    uint8_t fileHeader[kFileHeaderBytes + 4];
    const size_t got = in.Read(fileHeader, sizeof(fileHeader));
    if (got < 2 || fileHeader[0] != 'B' || fileHeader[1] != 'M')
        return NR_NOT_THIS_FORMAT;
    if (got < sizeof(fileHeader))
        return NR_INVALID_DATA;
    const uint32_t pixelOffset = SignatureU32(fileHeader + 10);
    const uint32_t headerSize = SignatureU32(fileHeader + 14);

    const bool core = headerSize <= 12;
    int64_t width = 0;
    int64_t height = 0;
    uint16_t planes = 0;
    uint16_t bitCount = 0;
    uint32_t compression = kCompressionNone;
    int32_t ppmX = 0;
    int32_t ppmY = 0;
    uint64_t paletteStart = 0;
    size_t paletteEntryBytes = 4;
    if (core) {
        uint8_t info[8];
        if (!in.ReadExact(info, sizeof(info)))
            return NR_INVALID_DATA;
        width = SignatureU16(info);
        height = SignatureU16(info + 2);
        planes = SignatureU16(info + 4);
        bitCount = SignatureU16(info + 6);
        paletteStart = 26;
        paletteEntryBytes = 3;
    } else {
        // The fields of a 40-byte header; those beyond a shorter header count as 0.
        uint8_t info[kInfoHeaderBytes - 4] = {};
        const size_t wanted = std::min<size_t>(headerSize - 4, sizeof(info));
        if (in.Read(info, wanted) < std::min<size_t>(wanted, 12))
            return NR_INVALID_DATA;
        width = static_cast<int32_t>(SignatureU32(info));
        height = static_cast<int32_t>(SignatureU32(info + 4));
        planes = SignatureU16(info + 8);
        bitCount = SignatureU16(info + 10);
        compression = SignatureU32(info + 12);
        ppmX = static_cast<int32_t>(SignatureU32(info + 20));
        ppmY = static_cast<int32_t>(SignatureU32(info + 24));
        paletteStart = uint64_t{kFileHeaderBytes} + headerSize;
    }

    if (planes == 0 || bitCount < 1 || bitCount > 32)
        return NR_INVALID_DATA;
    if (compression > kCompressionBitFields)
        return NR_COMPRESSION_NOT_SUPPORTED;

    const bool fields16 = compression == kCompressionBitFields && bitCount == 16;
    bool is565 = false;
    if (fields16) {
        // The masks follow a 40-byte header and are bytes 40..51 of longer ones: byte 54 of
        // the file either way. The 64-byte OS/2 header has none.
        uint32_t greenMask = 0;
        if (headerSize != 64 && in.Seek(kFileHeaderBytes + kInfoHeaderBytes + 4))
            in.ReadU32(greenMask);
        is565 = greenMask == kGreenMask565;
    }

    const bool topDown = height < 0;
    if (topDown)
        height = -height;

    uint8_t paletteRgb[256 * 3] = {};
    if (bitCount <= 8) {
        const size_t entries = size_t{1} << bitCount;
        uint8_t raw[256 * 4] = {};
        if (in.Seek(paletteStart))
            in.Read(raw, entries * paletteEntryBytes);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* e = raw + i * paletteEntryBytes;
            paletteRgb[i * 3 + 0] = e[2];
            paletteRgb[i * 3 + 1] = e[1];
            paletteRgb[i * 3 + 2] = e[0];
        }
    }

    pic.Destroy();
    if (width <= 0 || width > INT32_MAX || height <= 0 || height > INT32_MAX)
        return NR_PICTURE_CREATE_FAILED;
    if (!PixelsFit(width, height, bitCount, compression, in.Length(), pixelOffset))
        return NR_INVALID_DATA;
    const bool plainRows = compression != kCompressionRle8 && compression != kCompressionRle4 && !fields16 &&
                           bitCount != 2;
    if (plainRows && loadOptions.verifyOnly) {
        // Rows stored as they are cannot fail to decode: a verification only measures them.
        if (!pic.Create(1, 1, bitCount, 0, paletteRgb))
            return NR_PICTURE_CREATE_FAILED;
        const uint64_t rowBytes = static_cast<uint64_t>(NImageBuffer::StrideFor(static_cast<int>(width), bitCount));
        const uint64_t end = static_cast<uint64_t>(pixelOffset) + rowBytes * static_cast<uint64_t>(height);
        consumedSize = std::min(end, in.Length());
        in.Close();
        verifiedSmaller = 1;
        fullWidth = static_cast<int32_t>(width);
        fullHeight = static_cast<int32_t>(height);
        return NR_OK;
    }
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), fields16 ? 24 : bitCount, 0, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;
    if (pic.bpp < 16)
        memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    if (!core && ppmX > 1 && ppmY > 1) {
        pic.dpiX = static_cast<int32_t>(ppmX / 100.0 * 2.54 + 0.5);
        pic.dpiY = static_cast<int32_t>(ppmY / 100.0 * 2.54 + 0.5);
    }

    if (in.Seek(pixelOffset)) {
        if (compression == kCompressionRle8) {
            DecodeRle8(in, pic);
        } else if (compression == kCompressionRle4) {
            DecodeRle4(in, pic);
        } else if (fields16) {
            DecodeBitFields16(in, pic, is565);
        } else if (bitCount == 2) {
            DecodeTwoBit(in, pic);
        } else {
            in.Read(pic.bits, static_cast<size_t>(pic.stride) * pic.height);
        }
    }

    consumedSize = in.PositionInFile();
    in.Close();
    fullWidth = pic.width;
    fullHeight = pic.height;
    if (topDown)
        pic.FlipVertical();
    return NR_OK;
}

NRESULT NImageFileBMP::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileBMP::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || !pic->bits)
        return NR_PICTURE_NOT_VALID;
    StdioStream out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;

    const uint32_t paletteBytes = pic->bpp <= 8 ? 4u << pic->bpp : 0;
    const uint32_t pixelBytes = static_cast<uint32_t>(pic->stride) * static_cast<uint32_t>(pic->height);
    const uint32_t dataOffset = kFileHeaderBytes + kInfoHeaderBytes + paletteBytes;
    int32_t ppmX = 0;
    int32_t ppmY = 0;
    if (pic->dpiX != 0 && pic->dpiY != 0) {
        ppmX = static_cast<int32_t>(pic->dpiX * 0.393700787402 * 100);
        ppmY = static_cast<int32_t>(pic->dpiY * 0.393700787402 * 100);
    }

    bool ok = out.Write("BM", 2) && out.WriteU32(dataOffset + pixelBytes) && out.WriteU32(0) &&
              out.WriteU32(dataOffset);
    ok = ok && out.WriteU32(kInfoHeaderBytes) && out.WriteU32(static_cast<uint32_t>(pic->width)) &&
         out.WriteU32(static_cast<uint32_t>(pic->height)) && out.WriteU16(1) && out.WriteU16(pic->bpp) &&
         out.WriteU32(kCompressionNone) && out.WriteU32(0) && out.WriteU32(static_cast<uint32_t>(ppmX)) &&
         out.WriteU32(static_cast<uint32_t>(ppmY)) && out.WriteU32(0) && out.WriteU32(0);
    if (ok && paletteBytes) {
        uint8_t quads[256 * 4] = {};
        for (uint32_t i = 0; i < paletteBytes / 4; ++i) {
            quads[i * 4 + 0] = pic->palette[i][0];
            quads[i * 4 + 1] = pic->palette[i][1];
            quads[i * 4 + 2] = pic->palette[i][2];
        }
        ok = out.Write(quads, paletteBytes);
    }
    ok = ok && out.Write(pic->bits, pixelBytes);
    ok = out.Close() && ok;
    if (!ok) {
        DeleteFileW(path);
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

FileType NImageFileBMP::GetFormatId() const
{
    return FT_BMP;
}
