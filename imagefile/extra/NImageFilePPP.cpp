#include "imagefile/extra/NImageFilePPP.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/RowsAtDepth.h"
#include "imagefile/extra/StdioStream.h"

#include <windows.h>
#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 15;
constexpr uint32_t kLargestSize = 65535;
// zlib's densest stream unpacks to a little over 1000 bytes for every byte.
constexpr uint64_t kInflateRatio = 1032;
// A plain text pixel takes at least 6 characters ("0 0 0 "); a run group of 8 ("1 0 0 0 ") may
// fill a great many pixels, but a picture larger than 65535 pixels a group is not believed.
constexpr uint64_t kPlainPixelBytes = 6;
constexpr uint64_t kRunGroupBytes = 8;
constexpr uint64_t kRunGroupPixels = 65535;

// The numbers of the text variant, read from a C stream.
class TextNumbers {
public:
    explicit TextNumbers(StdioStream& in) : in_(in) {}

    // Skips separators and comments; false at the end of the file or at anything else.
    bool SkipSeparators()
    {
        for (;;) {
            const int c = in_.ReadByte();
            if (c == ' ' || c == '\t' || c == '\r' || c == '\n')
                continue;
            if (c == '#') {
                int d;
                do
                    d = in_.ReadByte();
                while (d >= 0 && d != '\n');
                continue;
            }
            if (c < 0)
                return false;
            in_.UnreadByte(c);
            return true;
        }
    }

    bool Word()
    {
        if (!SkipSeparators())
            return false;
        int c;
        while ((c = in_.ReadByte()) >= 0 && c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '#') {
        }
        if (c >= 0)
            in_.UnreadByte(c);
        return true;
    }

    // A decimal integer with an optional sign, held to the int range.
    bool Number(int64_t& value)
    {
        if (!SkipSeparators())
            return false;
        int c = in_.ReadByte();
        const bool negative = c == '-';
        if (c == '-' || c == '+')
            c = in_.ReadByte();
        if (c < '0' || c > '9')
            return false;
        int64_t number = 0;
        for (; c >= '0' && c <= '9'; c = in_.ReadByte())
            number = std::min<int64_t>(number * 10 + (c - '0'), INT32_MAX);
        if (c >= 0)
            in_.UnreadByte(c);
        value = negative ? -number : number;
        return true;
    }

private:
    StdioStream& in_;
};

}  // namespace

bool NImageFilePPP::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 'P' && p[1] == 'P' && p[2] == 2;
}

NRESULT NImageFilePPP::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes] = {};
    const size_t got = in.Read(h, sizeof(h));
    if (got < 3 || h[0] != 'P' || h[1] != 'P' || h[2] != 2) {
        in.Close();
        return LoadText(path, pic);
    }
    if (got < kHeaderBytes)
        return NR_INVALID_DATA;
    const uint32_t width = SignatureU16(h + 3);
    const uint32_t height = SignatureU16(h + 5);
    const uint32_t unpackedBytes = SignatureU32(h + 7);
    const uint32_t packedBytes = SignatureU32(h + 11);
    if (width == 0 || height == 0)
        return NR_PICTURE_CREATE_FAILED;
    const uint64_t rowsBytes = uint64_t(NImageBuffer::StrideFor(static_cast<int>(width), 24)) * height;
    if (packedBytes > in.Length() - kHeaderBytes || unpackedBytes < rowsBytes ||
        !DataBound::Yields(unpackedBytes, packedBytes, kInflateRatio, 1))
        return NR_INVALID_DATA;

    std::vector<uint8_t> packed;
    std::vector<uint8_t> unpacked;
    try {
        packed.resize(packedBytes);
        unpacked.resize(unpackedBytes);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    if (!in.ReadExact(packed.data(), packed.size()))
        return NR_INVALID_DATA;
    uLongf size = unpackedBytes;
    if (uncompress(unpacked.data(), &size, packed.data(), packedBytes) != Z_OK)
        return NR_DECOMPRESSION_FAILED;
    if (size < rowsBytes)
        return NR_INVALID_DATA;
    if (!pic.CreateFromBits(static_cast<int>(width), static_cast<int>(height), 24, unpacked.data(), nullptr))
        return NR_PICTURE_CREATE_FAILED;

    consumedSize = kHeaderBytes + uint64_t{packedBytes};
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

NRESULT NImageFilePPP::LoadText(const wchar_t* path, NImageBuffer& target)
{
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    char magic[4] = {};
    if (!in.ReadExact(magic, 4) || memcmp(magic, "Punk", 4) != 0)
        return NR_NOT_THIS_FORMAT;
    in.Seek(0);
    TextNumbers text(in);
    int64_t values[6] = {};
    bool complete = text.Word();
    for (int64_t& v : values)
        complete = complete && text.Number(v);
    const int64_t width = values[1];
    const int64_t height = values[2];
    const bool runMode = values[3] != 0;
    const int64_t noise = values[4];
    if (!complete || width <= 0 || height <= 0)
        return NR_PICTURE_CREATE_FAILED;
    const uint64_t textBytes = in.Length();
    const uint64_t pixels = uint64_t(width) * uint64_t(height);
    if (runMode ? !DataBound::Yields(pixels, textBytes, kRunGroupPixels, kRunGroupBytes)
                : !DataBound::Yields(pixels, textBytes, 1, kPlainPixelBytes))
        return NR_INVALID_DATA;
    if (!target.Create(static_cast<int>(width), static_cast<int>(height), 24, 0))
        return NR_PICTURE_CREATE_FAILED;
    memset(target.bits, 0, static_cast<size_t>(target.stride) * target.height);

    // Pixel n counted from the top-left corner, row by row.
    auto put = [&](uint64_t n, int64_t red, int64_t green, int64_t blue) {
        const uint64_t y = n / uint64_t(width);
        uint8_t* p = target.bits + static_cast<size_t>(uint64_t(height) - 1 - y) * target.stride +
                     static_cast<size_t>(n % uint64_t(width)) * 3;
        p[0] = static_cast<uint8_t>(blue);
        p[1] = static_cast<uint8_t>(green);
        p[2] = static_cast<uint8_t>(red);
    };
    uint64_t n = 0;
    int64_t v[4];
    if (!runMode) {
        while (n < pixels && text.Number(v[0]) && text.Number(v[1]) && text.Number(v[2]))
            put(n++, v[0], v[1], v[2]);
    } else {
        while (n < pixels && text.Number(v[0]) && text.Number(v[1]) && text.Number(v[2]) && text.Number(v[3])) {
            if (v[0] < 1)
                continue;
            const bool noisy = noise != 0 && v[1] < 255 - noise && v[2] < 255 - noise && v[3] < 255 - noise;
            for (int64_t i = 0; i < v[0] && n < pixels; ++i) {
                if (noisy) {
                    const int64_t r1 = rand();
                    const int64_t r2 = rand();
                    const int64_t r3 = rand();
                    put(n++, v[1] + r1 % noise, v[2] + r2 % noise, v[3] + r3 % noise);
                } else {
                    put(n++, v[1], v[2], v[3]);
                }
            }
        }
    }

    consumedSize = in.PositionInFile();
    fullWidth = target.width;
    fullHeight = target.height;
    return NR_OK;
}

NRESULT NImageFilePPP::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFilePPP::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || !pic->bits)
        return NR_PICTURE_NOT_VALID;
    const uint32_t width = static_cast<uint32_t>(pic->width);
    const uint32_t height = static_cast<uint32_t>(pic->height);
    const uint64_t unpackedBytes = uint64_t(NImageBuffer::StrideFor(pic->width, 24)) * height;
    if (width > kLargestSize || height > kLargestSize || unpackedBytes > UINT32_MAX)
        return NR_FORMAT_INIT_FAILED;
    RowsAtDepth rows;
    if (!rows.Prepare(*pic, 24))
        return NR_ALLOCATION_FAILED;
    StdioStream out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;

    std::vector<uint8_t> packed;
    const uLong room = std::max<uLong>(static_cast<uLong>(unpackedBytes + unpackedBytes / 1000 + 12),
                                       compressBound(static_cast<uLong>(unpackedBytes)));
    try {
        packed.resize(room);
    } catch (const std::bad_alloc&) {
        out.Close();
        DeleteFileW(path);
        return NR_ALLOCATION_FAILED;
    }
    uLongf packedBytes = room;
    if (compress2(packed.data(), &packedBytes, rows.Row(0), static_cast<uLong>(unpackedBytes), 9) != Z_OK) {
        out.Close();
        DeleteFileW(path);
        return NR_COMPRESSION_FAILED;
    }
    bool ok = out.Write("PP", 2) && out.WriteByte(2) && out.WriteU16(width) && out.WriteU16(height) &&
              out.WriteU32(static_cast<uint32_t>(unpackedBytes)) && out.WriteU32(static_cast<uint32_t>(packedBytes)) &&
              out.Write(packed.data(), packedBytes);
    ok = out.Close() && ok;
    if (!ok) {
        DeleteFileW(path);
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

FileType NImageFilePPP::GetFormatId() const
{
    return FT_PPP;
}
