#include "imagefile/extra/NImageFilePCX.h"

#include "imagefile/ByteCursor.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 128;
constexpr int kPaletteMarker = 12;
constexpr size_t kTrailingPaletteBytes = 768;
// How much wider than its stored planes a picture is believed to be.
constexpr uint64_t kShortPlaneRatio = 16;

struct PcxLayout {
    bool runLength;
    int bitsPerPlane;
    int planes;
    int bytesPerLine;
    int64_t width;
    int64_t height;
    int depth;
};

bool IsPcxHeader(const uint8_t* h)
{
    return h[0] == 10 && h[1] <= 5 && h[2] < 2;
}

PcxLayout ParseHeader(const uint8_t* h)
{
    PcxLayout layout;
    layout.runLength = h[2] == 1;
    layout.bitsPerPlane = h[3];
    layout.planes = h[65];
    layout.bytesPerLine = SignatureU16(h + 66);
    layout.width = int64_t{SignatureU16(h + 8)} - SignatureU16(h + 4) + 1;
    layout.height = int64_t{SignatureU16(h + 10)} - SignatureU16(h + 6) + 1;
    layout.depth = layout.bitsPerPlane * layout.planes;
    if (layout.bitsPerPlane == 1 && layout.planes == 3)
        layout.depth = 4;
    return layout;
}

// The rows after the header at `start` of a file of `length` bytes must be able to fill most of
// the picture: 63 bytes from a 2-byte run (raw rows of a file cut short: a sixteenth). A row's
// planes may be shorter than the width (the rest reads as 0), but not without bound.
bool DataCanFill(const PcxLayout& layout, uint64_t start, uint64_t length)
{
    const uint64_t rowBytes = static_cast<uint64_t>(layout.planes) * layout.bytesPerLine;
    const uint64_t dataStart = start + kHeaderBytes;
    const uint64_t data = length > dataStart ? length - dataStart : 0;
    const uint64_t ratio = layout.runLength ? 32 : DataBound::kRawCutShort;
    const uint64_t width = static_cast<uint64_t>(layout.width);
    const uint64_t height = static_cast<uint64_t>(layout.height);
    return DataBound::Fits(width, height, std::min(layout.depth, 32), data, ratio * kShortPlaneRatio) &&
           (rowBytes == 0 || DataBound::Fits(rowBytes, height, 8, data, ratio));
}

// Decodes one row of `count` bytes (all planes); a run is cut at the row's end. With out null
// the bytes are only passed over. Answers the bytes produced before the file ended.
size_t DecodeRow(StdioStream& in, bool runLength, uint8_t* out, size_t count)
{
    size_t filled = 0;
    while (filled < count) {
        const int c = in.ReadByte();
        if (c < 0)
            break;
        if (runLength && (c & 0xC0) == 0xC0) {
            const int value = in.ReadByte();
            if (value < 0)
                break;
            const size_t run = std::min<size_t>(c & 0x3F, count - filled);
            if (out)
                memset(out + filled, value, run);
            filled += run;
        } else {
            if (out)
                out[filled] = static_cast<uint8_t>(c);
            ++filled;
        }
    }
    return filled;
}

// One decoded row (planes one after another, bytesPerLine each) into a picture row. Bytes a
// plane does not hold (a bytes-per-line shorter than the width) count as 0.
void StoreRow(const PcxLayout& layout, const uint8_t* row, NImageBuffer& pic, uint8_t* out)
{
    const size_t bpl = static_cast<size_t>(layout.bytesPerLine);
    auto planeByte = [&](int plane, size_t index) -> uint8_t {
        return index < bpl ? row[plane * bpl + index] : 0;
    };
    const int width = pic.width;
    if (layout.planes == 1) {
        memcpy(out, row, std::min<size_t>(static_cast<size_t>(pic.stride), bpl));
    } else if (layout.planes == 3 && layout.depth == 24) {
        for (int x = 0; x < width; ++x) {
            out[x * 3 + 0] = planeByte(2, x);
            out[x * 3 + 1] = planeByte(1, x);
            out[x * 3 + 2] = planeByte(0, x);
        }
    } else if (layout.planes == 4 && layout.bitsPerPlane == 8) {
        for (int x = 0; x < width; ++x) {
            out[x * 4 + 0] = planeByte(2, x);
            out[x * 4 + 1] = planeByte(1, x);
            out[x * 4 + 2] = planeByte(0, x);
            out[x * 4 + 3] = planeByte(3, x);
        }
    } else if (layout.planes >= 2 && layout.planes <= 4) {
        // Bit planes: plane p gives bit p of the index, two pixels to a byte.
        const int limit = std::min<int64_t>(width, int64_t{pic.stride} * 2);
        for (int x = 0; x < limit; ++x) {
            int index = 0;
            for (int p = 0; p < layout.planes; ++p) {
                if (planeByte(p, x / 8) & (0x80 >> (x & 7)))
                    index |= 1 << p;
            }
            uint8_t& b = out[x / 2];
            b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | index) : static_cast<uint8_t>((b & 0x0F) | (index << 4));
        }
    }
    // Five planes and more: the row stays 0.
}

}  // namespace

bool NImageFilePCX::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 0x0A && p[1] <= 5 && p[2] < 2 && p[3] <= 24;
}

NRESULT NImageFilePCX::ReadImage(StdioStream& in, NImageBuffer* target)
{
    const int64_t start = in.Tell();
    uint8_t h[kHeaderBytes];
    if (start < 0 || !target || !in.ReadExact(h, sizeof(h)) || !IsPcxHeader(h))
        return NR_NOT_THIS_FORMAT;
    const PcxLayout layout = ParseHeader(h);

    uint8_t paletteRgb[256 * 3] = {};
    if (layout.depth == 1) {
        paletteRgb[3] = paletteRgb[4] = paletteRgb[5] = 255;
    } else if (layout.depth == 4) {
        memcpy(paletteRgb, h + 16, 48);
    }
    NImageBuffer& pic = *target;
    pic.Destroy();
    if (layout.width <= 0 || layout.height <= 0)
        return NR_PICTURE_CREATE_FAILED;
    if (!DataCanFill(layout, static_cast<uint64_t>(start), in.Length()))
        return NR_INVALID_DATA;
    const size_t rowBytes = static_cast<size_t>(layout.planes) * layout.bytesPerLine;
    if (!pic.Create(static_cast<int>(layout.width), static_cast<int>(layout.height), layout.depth, 0, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    std::vector<uint8_t> row(rowBytes);
    bool complete = true;
    for (int y = 0; y < pic.height && complete; ++y) {
        const size_t got = DecodeRow(in, layout.runLength, row.data(), rowBytes);
        if (got < rowBytes) {
            std::fill(row.begin() + got, row.end(), 0);
            complete = false;
        }
        StoreRow(layout, row.data(), pic, pic.bits + static_cast<size_t>(pic.height - 1 - y) * pic.stride);
    }

    if (complete && layout.depth == 8) {
        const int64_t here = in.Tell();
        uint8_t palette[kTrailingPaletteBytes];
        if (in.ReadByte() == kPaletteMarker && in.ReadExact(palette, sizeof(palette))) {
            RGBQUAD quads[256];
            for (int i = 0; i < 256; ++i) {
                quads[i].rgbRed = palette[i * 3 + 0];
                quads[i].rgbGreen = palette[i * 3 + 1];
                quads[i].rgbBlue = palette[i * 3 + 2];
                quads[i].rgbReserved = 0;
            }
            pic.SetPaletteRGBQuad(quads, 256);
        } else if (here >= 0) {
            in.Seek(static_cast<uint64_t>(here));
        }
    }
    return NR_OK;
}

uint64_t NImageFilePCX::MeasureImage(StdioStream& in, uint64_t start)
{
    uint8_t h[kHeaderBytes];
    if (!in.Seek(start) || !in.ReadExact(h, sizeof(h)) || !IsPcxHeader(h))
        return 0;
    const PcxLayout layout = ParseHeader(h);
    const size_t rowBytes = static_cast<size_t>(layout.planes) * layout.bytesPerLine;
    bool complete = true;
    for (int64_t y = 0; y < layout.height && complete; ++y)
        complete = DecodeRow(in, layout.runLength, nullptr, rowBytes) == rowBytes;
    int64_t end = in.Tell();
    if (complete && layout.depth == 8 && in.ReadByte() == kPaletteMarker) {
        in.Skip(kTrailingPaletteBytes);
        end = std::min<int64_t>(end + 1 + kTrailingPaletteBytes, static_cast<int64_t>(in.Length()));
    }
    return end > 0 ? static_cast<uint64_t>(end) : 0;
}

PictureExtent NImageFilePCX::FindImageExtent(ByteSource& source, uint64_t start)
{
    ByteCursor in(source);
    uint8_t h[kHeaderBytes];
    if (!in.Seek(start) || !in.Read(h, sizeof(h)))
        return PictureExtent::Unknown();
    if (!IsPcxHeader(h))
        return PictureExtent::Broken();
    const PcxLayout layout = ParseHeader(h);
    if (!NImageBuffer::CreatableSize(layout.width, layout.height, layout.depth, true) ||
        !DataCanFill(layout, start, kLargestPicture))
        return PictureExtent::Broken();
    const uint64_t rowBytes = static_cast<uint64_t>(layout.planes) * layout.bytesPerLine;
    const uint64_t rows = static_cast<uint64_t>(layout.height);
    if (!layout.runLength) {
        if (!in.Skip(rows * rowBytes))
            return PictureExtent::Unknown();
    } else if (rowBytes > 0) {
        // DecodeRow without the bytes. An encoder spends at most two bytes on a byte.
        const uint64_t stop = in.Position() + rows * 2 * rowBytes + 4096;
        for (uint64_t y = 0; y < rows; ++y) {
            for (uint64_t filled = 0; filled < rowBytes;) {
                const int c = in.Position() <= stop ? in.Byte() : -1;
                if (c < 0)
                    return PictureExtent::Unknown();
                if ((c & 0xC0) == 0xC0) {
                    if (in.Byte() < 0)
                        return PictureExtent::Unknown();
                    filled += std::min<uint64_t>(c & 0x3F, rowBytes - filled);
                } else {
                    ++filled;
                }
            }
        }
    }
    if (layout.depth != 8)
        return PictureExtent::Complete(in.Position());
    const uint64_t here = in.Position();
    const int marker = in.Byte();
    if (marker < 0)
        return PictureExtent::Unknown();
    if (marker != kPaletteMarker)
        return PictureExtent::Complete(here);
    return in.Skip(kTrailingPaletteBytes) ? PictureExtent::Complete(in.Position()) : PictureExtent::Unknown();
}

bool NImageFilePCX::ImageFitsFile(ByteSource& source, uint64_t start, uint64_t fileLength)
{
    uint8_t h[kHeaderBytes];
    return source.ReadAt(start, h, sizeof(h)) && IsPcxHeader(h) && DataCanFill(ParseHeader(h), start, fileLength);
}

bool NImageFilePCX::EncodeRun(StdioStream& out, const uint8_t* bytes, int count)
{
    int i = 0;
    while (i < count) {
        const uint8_t value = bytes[i];
        int run = 1;
        while (i + run < count && bytes[i + run] == value && run < 63)
            ++run;
        if (run > 1 || value >= 192) {
            if (!out.WriteByte(192 + run) || !out.WriteByte(value))
                return false;
        } else if (!out.WriteByte(value)) {
            return false;
        }
        i += run;
    }
    return true;
}

NRESULT NImageFilePCX::WriteImage(StdioStream& out, NImageBuffer* source)
{
    if (!source || !source->valid || !source->bits)
        return NR_PICTURE_NOT_VALID;
    NImageBuffer& pic = *source;
    if (pic.width > 65536 || pic.height > 65536)
        return NR_WRONG_PICTURE_FORMAT;
    const int depth = (pic.bpp == 16 || pic.bpp == 32) ? 24 : pic.bpp;
    const int width = pic.width;

    uint8_t h[kHeaderBytes] = {};
    h[0] = 10;
    h[1] = 5;
    h[2] = 1;
    h[3] = depth == 1 ? 1 : depth == 4 ? 4 : 8;
    auto put16 = [&](size_t at, unsigned value) {
        h[at] = static_cast<uint8_t>(value);
        h[at + 1] = static_cast<uint8_t>(value >> 8);
    };
    put16(8, static_cast<unsigned>(width - 1));
    put16(10, static_cast<unsigned>(pic.height - 1));
    put16(12, 96);
    put16(14, 96);
    if (depth == 4) {
        for (int i = 0; i < 16; ++i) {
            h[16 + i * 3 + 0] = pic.palette[i][2];
            h[16 + i * 3 + 1] = pic.palette[i][1];
            h[16 + i * 3 + 2] = pic.palette[i][0];
        }
    }
    h[65] = depth == 24 ? 3 : 1;
    put16(66, static_cast<unsigned>(width));
    put16(68, 1);
    if (!out.Write(h, sizeof(h)))
        return NR_FILE_ERROR;

    const bool invertBits = depth == 1 && pic.palette[0][0] == 255 && pic.palette[0][1] == 255 && pic.palette[0][2] == 255;
    std::vector<uint8_t> line(static_cast<size_t>(width));
    for (int y = 0; y < pic.height; ++y) {
        const int scanLine = pic.height - 1 - y;
        const uint8_t* row = pic.bits + static_cast<size_t>(scanLine) * pic.stride;
        bool ok = true;
        if (depth == 24) {
            uint8_t* converted = pic.bpp == 24 ? nullptr : pic.GetRowAs(24, scanLine);
            const uint8_t* rgb = pic.bpp == 24 ? row : converted;
            if (!rgb)
                return NR_FILE_ERROR;
            for (int channel = 2; channel >= 0 && ok; --channel) {
                for (int x = 0; x < width; ++x)
                    line[x] = rgb[x * 3 + channel];
                ok = EncodeRun(out, line.data(), width);
            }
            free(converted);
        } else if (depth == 8) {
            ok = EncodeRun(out, row, width);
        } else {
            const size_t packed = depth == 4 ? (static_cast<size_t>(width) + 1) / 2 : (static_cast<size_t>(width) + 7) / 8;
            std::fill(line.begin(), line.end(), 0);
            memcpy(line.data(), row, packed);
            if (invertBits) {
                for (size_t i = 0; i < packed; ++i)
                    line[i] = static_cast<uint8_t>(~line[i]);
            }
            ok = EncodeRun(out, line.data(), width);
        }
        if (!ok)
            return NR_FILE_ERROR;
    }

    if (depth == 8) {
        uint8_t palette[1 + kTrailingPaletteBytes];
        palette[0] = kPaletteMarker;
        for (int i = 0; i < 256; ++i) {
            palette[1 + i * 3 + 0] = pic.palette[i][2];
            palette[1 + i * 3 + 1] = pic.palette[i][1];
            palette[1 + i * 3 + 2] = pic.palette[i][0];
        }
        if (!out.Write(palette, sizeof(palette)))
            return NR_FILE_ERROR;
    }
    return NR_OK;
}

NRESULT NImageFilePCX::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    const NRESULT result = ReadImage(in, &pic);
    consumedSize = in.PositionInFile();
    fullWidth = pic.valid ? pic.width : 0;
    fullHeight = pic.valid ? pic.height : 0;
    return result;
}

NRESULT NImageFilePCX::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFilePCX::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || !pic->bits)
        return NR_PICTURE_NOT_VALID;
    StdioStream out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    NRESULT result = WriteImage(out, pic);
    if (!out.Close() && result == NR_OK)
        result = NR_FILE_ERROR;
    if (result != NR_OK)
        DeleteFileW(path);
    return result;
}

FileType NImageFilePCX::GetFormatId() const
{
    return FT_PCX;
}
