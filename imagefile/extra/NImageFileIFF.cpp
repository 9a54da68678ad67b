#include "imagefile/extra/NImageFileIFF.h"

#include "imagefile/ByteCursor.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/FormatStream.h"
#include "imagefile/extra/PackBits.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

uint32_t BigU32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

uint16_t BigU16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

struct BitmapHeader {
    bool seen = false;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t planes = 0;
    uint8_t masking = 0;
    uint8_t compression = 0;
};

// How the rows of a body become picture rows.
enum class RowConversion {
    Copy,      // the file row is the picture row (1 plane, chunky forms, unusual plane counts)
    Indexes,   // 2 to 8 bit planes give palette indexes (4 planes: 4 bpp, else 8 bpp)
    Colours,   // 24 or 32 bit planes give red, green, blue (and alpha), 8 planes each
};

// Reads one file row, raw or ByteRun1, into row (already cleared). False when the file ended
// before the row was complete; what was read stays in the row.
bool ReadFileRow(FILE* file, bool byteRun, uint8_t* row, size_t length)
{
    return byteRun ? ReadPackBitsRow(file, row, length) : fread(row, 1, length, file) == length;
}

// One ByteRun1 row as ReadFileRow reads it, without the bytes. False at the cursor's limit or
// once the reading passes `stop`.
bool SkipByteRunRow(ByteCursor& in, size_t length, uint64_t stop)
{
    size_t filled = 0;
    while (filled < length) {
        if (in.Position() > stop)
            return false;
        const int control = in.Byte();
        if (control < 0)
            return false;
        if (control < 128) {
            if (!in.Skip(static_cast<uint64_t>(control) + 1))
                return false;
            filled += std::min<size_t>(static_cast<size_t>(control) + 1, length - filled);
        } else if (control > 128) {
            if (in.Byte() < 0)
                return false;
            filled += std::min(257 - static_cast<size_t>(control), length - filled);
        }
    }
    return true;
}

// Chunks before the body that a walk follows; real files have a handful.
constexpr int kMaxChunksWalked = 4096;

// Bit x of a plane row, the most significant bit of each byte being the leftmost pixel.
inline unsigned PlaneBit(const uint8_t* plane, unsigned x)
{
    return (plane[x >> 3] >> (7 - (x & 7))) & 1u;
}

// Makes the picture and decodes the body's rows into it, top row first. False when the
// picture cannot be made. A file that ends inside the body leaves the rows below as created.
bool DecodeBody(FILE* file, const BitmapHeader& bmhd, bool interleaved, const uint8_t* paletteRgb,
                NImageBuffer& out)
{
    const unsigned width = bmhd.width;
    const unsigned height = bmhd.height;
    const unsigned planes = bmhd.planes;

    RowConversion conversion = RowConversion::Copy;
    int depth = static_cast<int>(planes);
    size_t fileRow = 0;
    const size_t planeRow = ((width + 15) / 16) * 2;
    if (interleaved) {
        // A mask plane (masking 1) follows the bit planes of each row; it is read and not used.
        const size_t storedPlanes = planes + (bmhd.masking == 1 ? 1 : 0);
        fileRow = storedPlanes * planeRow;
        if (planes >= 2 && planes <= 8) {
            conversion = RowConversion::Indexes;
            depth = planes == 4 ? 4 : 8;
        } else if (planes == 24 || planes == 32) {
            conversion = RowConversion::Colours;
        }
    } else {
        // Chunky rows: width x planes bits, rounded up to an even number of bytes.
        fileRow = ((static_cast<size_t>(width) * planes + 7) / 8 + 1) & ~size_t{1};
    }

    if (!out.Create(static_cast<int>(width), static_cast<int>(height), depth, 0,
                    depth <= 8 ? paletteRgb : nullptr))
        return false;

    const size_t stride = static_cast<size_t>(out.stride);
    const unsigned bytesPerPixel = out.bpp / 8;
    std::vector<uint8_t> row(fileRow);
    std::vector<uint8_t> converted(stride);
    const bool byteRun = bmhd.compression != 0;
    for (unsigned y = 0; y < height; ++y) {
        std::fill(row.begin(), row.end(), 0);
        const bool complete = ReadFileRow(file, byteRun, row.data(), row.size());
        uint8_t* line = out.bits + static_cast<size_t>(height - 1 - y) * stride;
        switch (conversion) {
        case RowConversion::Copy:
            // Never more than either row holds.
            memcpy(line, row.data(), std::min(stride, row.size()));
            break;
        case RowConversion::Indexes:
            std::fill(converted.begin(), converted.end(), 0);
            for (unsigned x = 0; x < width; ++x) {
                unsigned index = 0;
                for (unsigned p = 0; p < planes; ++p)
                    index |= PlaneBit(row.data() + p * planeRow, x) << p;
                if (depth == 4)
                    converted[x >> 1] |= static_cast<uint8_t>((x & 1) ? index : index << 4);
                else
                    converted[x] = static_cast<uint8_t>(index);
            }
            memcpy(line, converted.data(), stride);
            break;
        case RowConversion::Colours:
            for (unsigned x = 0; x < width; ++x) {
                uint8_t channel[4] = {};
                for (unsigned p = 0; p < planes; ++p)
                    channel[p >> 3] |= static_cast<uint8_t>(PlaneBit(row.data() + p * planeRow, x) << (p & 7));
                uint8_t* pixel = line + static_cast<size_t>(x) * bytesPerPixel;
                pixel[0] = channel[2];
                pixel[1] = channel[1];
                pixel[2] = channel[0];
                if (bytesPerPixel == 4)
                    pixel[3] = channel[3];
            }
            break;
        }
        if (!complete)
            break;
    }
    return true;
}

}  // namespace

bool NImageFileIFF::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "FORM") || SignatureIs(p, "LIST") || SignatureIs(p, "CAT ");
}

PictureExtent NImageFileIFF::FindExtent(ByteSource& source)
{
    ByteCursor in(source);
    uint8_t head[12];
    if (!in.Read(head, 4))
        return PictureExtent::Unknown();
    if (!SignatureIs(head, "FORM") && !SignatureIs(head, "LIST") && !SignatureIs(head, "CAT "))
        return PictureExtent::Broken();
    if (!in.Read(head + 4, 8))
        return PictureExtent::Unknown();
    const uint64_t containerEnd = 8ull + BigU32(head + 4);
    const bool interleaved = SignatureIs(head + 8, "ILBM");

    BitmapHeader bmhd;
    for (int chunks = 0; chunks < kMaxChunksWalked; ++chunks) {
        uint8_t chunk[8];
        if (!in.Read(chunk, sizeof chunk))
            return source.EndIsFinal() ? PictureExtent::Broken() : PictureExtent::Unknown();
        const uint32_t size = BigU32(chunk + 4);
        if (size == 0)
            return PictureExtent::Broken();
        const uint64_t next = in.Position() + size + (size & 1u);
        if (SignatureIs(chunk, "BMHD")) {
            uint8_t field[20];
            if (size < sizeof field)
                return PictureExtent::Broken();
            if (!in.Read(field, sizeof field))
                return PictureExtent::Unknown();
            bmhd.seen = true;
            bmhd.width = BigU16(field);
            bmhd.height = BigU16(field + 2);
            bmhd.planes = field[8];
            bmhd.masking = field[9];
            bmhd.compression = field[10];
        } else if (SignatureIs(chunk, "BODY")) {
            if (!bmhd.seen || bmhd.planes == 0)
                return PictureExtent::Broken();
            // The layout DecodeBody gives the rows.
            const unsigned planes = bmhd.planes;
            int depth = static_cast<int>(planes);
            size_t fileRow = 0;
            if (interleaved) {
                const size_t planeRow = ((bmhd.width + 15u) / 16) * 2;
                fileRow = (planes + (bmhd.masking == 1 ? 1 : 0)) * planeRow;
                if (planes >= 2 && planes <= 8)
                    depth = planes == 4 ? 4 : 8;
            } else {
                fileRow = ((static_cast<size_t>(bmhd.width) * planes + 7) / 8 + 1) & ~size_t{1};
            }
            // Load believes the size only as far as the file can fill it.
            const uint64_t storedPlanes = uint64_t{bmhd.planes} + (bmhd.masking == 1 ? 1 : 0);
            const uint64_t ratio = bmhd.compression ? DataBound::kPackBits : DataBound::kRawCutShort;
            if (!NImageBuffer::CreatableSize(bmhd.width, bmhd.height, depth, depth <= 8) ||
                !DataBound::Fits(bmhd.width, bmhd.height, storedPlanes, kLargestPicture, ratio))
                return PictureExtent::Broken();
            const uint64_t rows = bmhd.height;
            if (bmhd.compression == 0) {
                if (!in.Skip(rows * fileRow))
                    return PictureExtent::Unknown();
            } else {
                // An encoder spends at most two bytes on a byte of a row, and one more on its end.
                const uint64_t stop = in.Position() + rows * (2 * uint64_t{fileRow} + 2) + 4096;
                for (uint64_t y = 0; y < rows; ++y) {
                    if (!SkipByteRunRow(in, fileRow, stop))
                        return PictureExtent::Unknown();
                }
            }
            const uint64_t end = std::max(in.Position(), containerEnd);
            if (end > in.Limit() || !DataBound::Fits(bmhd.width, bmhd.height, storedPlanes, end, ratio))
                return PictureExtent::Unknown();
            return PictureExtent::Complete(end);
        }
        // Any other chunk ("CMAP" included) is passed over; Load stops where one leaves the file.
        // Load stops at a chunk that leaves the file: one that leaves the data for good, or any
        // file it could be given, ends the walk as broken.
        if (!in.Seek(next))
            return next > kLargestPicture || source.EndIsFinal() ? PictureExtent::Broken() : PictureExtent::Unknown();
    }
    return PictureExtent::Unknown();
}

FileType NImageFileIFF::GetFormatId() const
{
    return FT_IFF;
}

NRESULT NImageFileIFF::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    FormatStream in;
    if (!in.OpenRead(path))
        return NR_FILE_OPEN_READ;
    FILE* file = in.get();

    uint8_t head[12];
    if (!in.ReadExact(head, 4) ||
        (!SignatureIs(head, "FORM") && !SignatureIs(head, "LIST") && !SignatureIs(head, "CAT ")))
        return NR_NOT_THIS_FORMAT;
    if (!in.ReadExact(head + 4, 8))
        return NR_DECODE_FAILED;
    const uint64_t containerEnd = std::min<uint64_t>(8ull + BigU32(head + 4), in.Length());
    const bool interleaved = SignatureIs(head + 8, "ILBM");

    uint8_t paletteRgb[768] = {};
    BitmapHeader bmhd;
    for (;;) {
        uint8_t chunk[8];
        if (!in.ReadExact(chunk, sizeof chunk))
            break;
        const uint32_t size = BigU32(chunk + 4);
        if (size == 0)
            break;
        const uint64_t next = in.Tell() + size + (size & 1u);
        if (SignatureIs(chunk, "BMHD")) {
            uint8_t field[20];
            if (size < sizeof field || !in.ReadExact(field, sizeof field))
                break;
            bmhd.seen = true;
            bmhd.width = BigU16(field);
            bmhd.height = BigU16(field + 2);
            bmhd.planes = field[8];
            bmhd.masking = field[9];
            bmhd.compression = field[10];
        } else if (SignatureIs(chunk, "CMAP")) {
            memset(paletteRgb, 0, sizeof paletteRgb);
            if (!in.ReadExact(paletteRgb, std::min<size_t>(size, sizeof paletteRgb)))
                break;
        } else if (SignatureIs(chunk, "BODY")) {
            if (!bmhd.seen || bmhd.planes == 0)
                break;
            NImageBuffer& out = target ? *target : picture;
            // The body's rows, raw or ByteRun1 coded (128 bytes from a 2-byte run).
            const uint64_t planes = uint64_t{bmhd.planes} + (bmhd.masking == 1 ? 1 : 0);
            if (bmhd.width != 0 && bmhd.height != 0 &&
                !DataBound::Fits(bmhd.width, bmhd.height, planes, in.Length(),
                                 bmhd.compression ? DataBound::kPackBits : DataBound::kRawCutShort))
                return NR_INVALID_DATA;
            if (!DecodeBody(file, bmhd, interleaved, paletteRgb, out))
                return NR_PICTURE_CREATE_FAILED;
            // The container states how long the file is; chunks after the body belong to it.
            consumedSize = std::max(in.Tell(), containerEnd);
            fullWidth = bmhd.width;
            fullHeight = bmhd.height;
            return NR_OK;
        }
        if (next > in.Length() || !in.Seek(next))
            break;
    }
    return NR_DECODE_FAILED;
}
