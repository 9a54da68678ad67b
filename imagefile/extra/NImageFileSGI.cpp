#include "imagefile/extra/NImageFileSGI.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/AnsiField.h"
#include "imagefile/extra/RowsAtDepth.h"
#include "imagefile/extra/StdioStream.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint16_t kMagic = 474;
constexpr uint32_t kHeaderBytes = 512;
constexpr uint32_t kLargestSize = 65535;
constexpr size_t kLongestPacket = 126;   // the writer's; the reader takes up to 127
constexpr char kWriterName[] = "NImageFileSGI 1.0.0";

uint16_t BigEndian16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

// The pixel byte that channel c of a picture of `channels` channels fills.
constexpr int kChannelByte[4] = {2, 1, 0, 3};

// Decodes the packets of one run-length row into row (cleared first); every packet is clipped to
// the row, and the row ends at a 0 count or at the end of the file. A full row's closing 0 is read
// too, so that the stream stands behind the row.
void DecodeRow(StdioStream& in, std::vector<uint8_t>& row)
{
    std::fill(row.begin(), row.end(), 0);
    const size_t count = row.size();
    size_t filled = 0;
    for (;;) {
        if (filled == count) {
            const int64_t end = in.Tell();
            if (in.ReadByte() != 0 && end >= 0)
                in.Seek(static_cast<uint64_t>(end));
            return;
        }
        const int c = in.ReadByte();
        if (c < 0)
            return;
        const size_t n = static_cast<size_t>(c & 0x7F);
        if (n == 0)
            return;
        const size_t kept = std::min(n, count - filled);
        if (c & 0x80) {
            const size_t got = in.Read(row.data() + filled, kept);
            filled += got;
            if (got < kept)
                return;
        } else {
            const int value = in.ReadByte();
            if (value < 0)
                return;
            memset(row.data() + filled, value, kept);
            filled += kept;
        }
    }
}

uint64_t HashBytes(const uint8_t* p, size_t n)
{
    uint64_t h = 0xCBF29CE484222325ull;
    for (size_t i = 0; i < n; ++i)
        h = (h ^ p[i]) * 0x100000001B3ull;
    return h;
}

bool PutBigEndian32(StdioStream& out, uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value >> 24), static_cast<uint8_t>(value >> 16),
                          static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return out.Write(b, 4);
}

bool PutBigEndian16(StdioStream& out, uint32_t value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value)};
    return out.Write(b, 2);
}

bool PutZeros(StdioStream& out, uint64_t count)
{
    static const uint8_t zeros[4096] = {};
    while (count > 0) {
        const size_t n = static_cast<size_t>(std::min<uint64_t>(count, sizeof(zeros)));
        if (!out.Write(zeros, n))
            return false;
        count -= n;
    }
    return true;
}

}  // namespace

bool NImageFileSGI::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 0x01 && p[1] == 0xDA && p[3] == 1;
}

NRESULT NImageFileSGI::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes] = {};
    const size_t got = in.Read(h, sizeof(h));
    if (got < 2 || BigEndian16(h) != kMagic)
        return NR_NOT_THIS_FORMAT;
    if (got < kHeaderBytes)
        return NR_INVALID_DATA;
    const bool runLength = h[2] != 0;
    if (h[3] == 2)
        return NR_WRONG_PICTURE_FORMAT;
    const uint32_t xsize = BigEndian16(h + 6);
    const uint32_t ysize = BigEndian16(h + 8);
    const uint32_t zsize = BigEndian16(h + 10);
    metadata.comment = AnsiFieldText(h + 24, 80);
    if (xsize == 0 || ysize == 0 || zsize == 0)
        return NR_PICTURE_CREATE_FAILED;

    const uint32_t channels = std::min<uint32_t>(zsize, 4);
    const int depth = channels == 1 ? 8 : channels == 3 ? 24 : 32;
    const uint64_t fileLength = in.Length();
    const uint64_t dataBytes = fileLength > kHeaderBytes ? fileLength - kHeaderBytes : 0;
    // Verbatim rows are stored byte for byte. Run-length rows need their two offset tables, and
    // may share their coded bytes, of which 2 give at most 127 bytes of a row.
    const uint64_t tableBytes = uint64_t{8} * ysize * zsize;
    if (runLength ? (tableBytes > dataBytes || !DataBound::Yields(xsize, dataBytes - tableBytes, 127, 2))
                  : !DataBound::Fits(uint64_t{xsize} * channels, ysize, 8, dataBytes, DataBound::kRawCutShort))
        return NR_INVALID_DATA;

    uint8_t grey[256 * 3];
    for (int i = 0; i < 256; ++i)
        grey[i * 3] = grey[i * 3 + 1] = grey[i * 3 + 2] = static_cast<uint8_t>(i);
    if (!pic.Create(static_cast<int>(xsize), static_cast<int>(ysize), depth, 0, depth == 8 ? grey : nullptr))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    std::vector<uint32_t> starts;
    std::vector<uint8_t> row;
    try {
        row.resize(xsize);
        if (runLength)
            starts.resize(static_cast<size_t>(ysize) * channels);
    } catch (const std::bad_alloc&) {
        pic.Destroy();
        return NR_ALLOCATION_FAILED;
    }
    for (uint32_t& start : starts)
        in.ReadU32BE(start);

    const size_t step = static_cast<size_t>(depth / 8);
    uint64_t furthest = runLength ? kHeaderBytes + tableBytes : kHeaderBytes;
    bool ended = false;
    for (uint32_t c = 0; c < channels && !ended; ++c) {
        for (uint32_t y = 0; y < ysize; ++y) {
            if (runLength) {
                const uint32_t start = starts[static_cast<size_t>(c) * ysize + y];
                if (start >= fileLength || !in.Seek(start))
                    continue;
                DecodeRow(in, row);
                furthest = std::max<uint64_t>(furthest, in.PositionInFile());
            } else {
                const size_t read = in.Read(row.data(), row.size());
                if (read < row.size()) {
                    std::fill(row.begin() + static_cast<ptrdiff_t>(read), row.end(), 0);
                    ended = true;
                }
                furthest = in.PositionInFile();
            }
            // Scan line 0 is the bottom row, as in the file.
            uint8_t* out = pic.bits + static_cast<size_t>(y) * pic.stride;
            if (channels == 1) {
                memcpy(out, row.data(), xsize);
            } else if (channels == 2) {
                for (uint32_t x = 0; x < xsize; ++x) {
                    if (c == 0)
                        out[x * 4] = out[x * 4 + 1] = out[x * 4 + 2] = row[x];
                    else
                        out[x * 4 + 3] = row[x];
                }
            } else {
                uint8_t* p = out + kChannelByte[c];
                for (uint32_t x = 0; x < xsize; ++x, p += step)
                    *p = row[x];
            }
            if (ended)
                break;
        }
    }

    consumedSize = std::min(furthest, fileLength);
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

size_t NImageFileSGI::EncodeRow(const uint8_t* values, size_t count, uint8_t* out)
{
    size_t o = 0;
    size_t i = 0;
    while (i < count) {
        // A literal stretch up to the first place where three values in a row are equal (or up to
        // two values before the end)...
        size_t j = i + 2;
        while (j < count && (values[j - 2] != values[j - 1] || values[j - 1] != values[j]))
            ++j;
        j -= 2;
        for (size_t at = i; at < j;) {
            const size_t n = std::min(j - at, kLongestPacket);
            out[o++] = static_cast<uint8_t>(0x80 | n);
            memcpy(out + o, values + at, n);
            o += n;
            at += n;
        }
        // ...then the run of the value found there.
        const uint8_t value = values[j];
        size_t runEnd = j + 1;
        while (runEnd < count && values[runEnd] == value)
            ++runEnd;
        for (size_t left = runEnd - j; left > 0;) {
            const size_t n = std::min(left, kLongestPacket);
            out[o++] = static_cast<uint8_t>(n);
            out[o++] = value;
            left -= n;
        }
        i = runEnd;
    }
    out[o++] = 0;
    return o;
}

NRESULT NImageFileSGI::WriteHeader(StdioStream& out, int32_t storage, uint32_t xsize, uint32_t ysize, uint32_t zsize)
{
    if (xsize < 1 || ysize < 1 || zsize < 1 || xsize > kLargestSize || ysize > kLargestSize || zsize > kLargestSize ||
        storage < 0 || storage > 2)
        return NR_FORMAT_INIT_FAILED;
    storage_ = storage;
    xsize_ = static_cast<uint16_t>(xsize);
    ysize_ = static_cast<uint16_t>(ysize);
    zsize_ = static_cast<uint16_t>(zsize);
    uint8_t name[80] = {};
    memcpy(name, kWriterName, sizeof(kWriterName) - 1);
    bool ok = PutBigEndian16(out, kMagic) && out.WriteByte(storage == 0 ? 0 : 1) && out.WriteByte(1) &&
              PutBigEndian16(out, 3) && PutBigEndian16(out, xsize) && PutBigEndian16(out, ysize) &&
              PutBigEndian16(out, zsize) && PutBigEndian32(out, 0) && PutBigEndian32(out, 255) && PutZeros(out, 4) &&
              out.Write(name, sizeof(name)) && PutZeros(out, 408);
    const uint64_t rows = uint64_t{ysize} * zsize;
    startTable_.clear();
    lengthTable_.clear();
    lastRow_.clear();
    lastRowStart_ = lastRowLength_ = 0;
    writtenRows_.clear();
    if (storage == 0) {
        ok = ok && PutZeros(out, rows * xsize);
        dataStart_ = nextFree_ = kHeaderBytes;
    } else {
        try {
            startTable_.assign(static_cast<size_t>(rows), 0);
            lengthTable_.assign(static_cast<size_t>(rows), 0);
        } catch (const std::bad_alloc&) {
            return NR_ALLOCATION_FAILED;
        }
        ok = ok && PutZeros(out, rows * 8);
        dataStart_ = nextFree_ = kHeaderBytes + rows * 8;
    }
    return ok ? NR_OK : NR_FILE_ERROR;
}

int NImageFileSGI::WriteRow(StdioStream& out, const uint16_t* row, int32_t y, int32_t z)
{
    if (!row || y < 0 || z < 0 || y >= ysize_ || z >= zsize_)
        return -1;
    std::vector<uint8_t> values(xsize_);
    for (size_t x = 0; x < values.size(); ++x)
        values[x] = static_cast<uint8_t>(row[x]);
    const size_t index = static_cast<size_t>(y) + static_cast<size_t>(z) * ysize_;
    if (storage_ == 0) {
        const uint64_t at = kHeaderBytes + uint64_t{index} * xsize_;
        return out.Seek(at) && out.Write(values.data(), values.size()) ? static_cast<int>(values.size()) : -1;
    }
    if (index >= startTable_.size() || startTable_[index] != 0)
        return -1;
    std::vector<uint8_t> coded(2 * values.size() + 2);
    coded.resize(EncodeRow(values.data(), values.size(), coded.data()));
    const uint32_t length = static_cast<uint32_t>(coded.size());

    if (storage_ == 2) {
        // The row may already be in the file: the same values always give the same coding.
        if (coded == lastRow_) {
            startTable_[index] = lastRowStart_;
            lengthTable_[index] = lastRowLength_;
            return 0;
        }
        const uint64_t hash = HashBytes(coded.data(), coded.size());
        const auto range = writtenRows_.equal_range(hash);
        std::vector<uint8_t> stored(coded.size());
        for (auto it = range.first; it != range.second; ++it) {
            const uint32_t start = static_cast<uint32_t>(it->second >> 32);
            if (static_cast<uint32_t>(it->second) != length)
                continue;
            if (out.Seek(start) && out.ReadExact(stored.data(), stored.size()) && stored == coded) {
                startTable_[index] = start;
                lengthTable_[index] = length;
                return 0;
            }
        }
    }
    if (nextFree_ + length > UINT32_MAX)
        return -1;
    if (!out.Seek(nextFree_) || !out.Write(coded.data(), coded.size()))
        return -1;
    const uint32_t start = static_cast<uint32_t>(nextFree_);
    startTable_[index] = start;
    lengthTable_[index] = length;
    nextFree_ += length;
    if (storage_ == 2) {
        writtenRows_.emplace(HashBytes(coded.data(), coded.size()), (uint64_t{start} << 32) | length);
        lastRow_ = std::move(coded);
        lastRowStart_ = start;
        lastRowLength_ = length;
    }
    return static_cast<int>(length);
}

bool NImageFileSGI::WriteTables(StdioStream& out)
{
    bool ok = true;
    if (storage_ != 0) {
        ok = out.Seek(kHeaderBytes);
        for (size_t i = 0; ok && i < startTable_.size(); ++i)
            ok = PutBigEndian32(out, startTable_[i]);
        for (size_t i = 0; ok && i < lengthTable_.size(); ++i)
            ok = PutBigEndian32(out, lengthTable_[i]);
    }
    startTable_ = {};
    lengthTable_ = {};
    lastRow_ = {};
    writtenRows_ = {};
    return ok;
}

NRESULT NImageFileSGI::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFileSGI::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || !pic->bits)
        return NR_PICTURE_NOT_VALID;
    const uint32_t channels = pic->bpp == 32 ? 4 : 3;
    const uint32_t width = static_cast<uint32_t>(pic->width);
    const uint32_t height = static_cast<uint32_t>(pic->height);
    if (width > kLargestSize || height > kLargestSize)
        return NR_FORMAT_INIT_FAILED;
    RowsAtDepth rows;
    if (!rows.Prepare(*pic, static_cast<int>(channels * 8)))
        return NR_ALLOCATION_FAILED;

    StdioStream out;
    if (!out.Open(path, L"w+b"))
        return NR_FILE_OPEN_WRITE;
    NRESULT result = WriteHeader(out, saveOptions.sgiStorage, width, height, channels);
    if (result == NR_OK) {
        std::vector<uint16_t> values(width);
        for (uint32_t y = 0; y < height && result == NR_OK; ++y) {
            const uint8_t* row = rows.Row(static_cast<int>(y));
            for (uint32_t c = 0; c < channels && result == NR_OK; ++c) {
                for (uint32_t x = 0; x < width; ++x)
                    values[x] = row[x * channels + kChannelByte[c]];
                if (WriteRow(out, values.data(), static_cast<int32_t>(y), static_cast<int32_t>(c)) < 0)
                    result = NR_FILE_ERROR;
            }
        }
        if (!WriteTables(out) && result == NR_OK)
            result = NR_FILE_ERROR;
    }
    if (!out.Close() && result == NR_OK)
        result = NR_FILE_ERROR;
    if (result != NR_OK)
        DeleteFileW(path);
    return result;
}

FileType NImageFileSGI::GetFormatId() const
{
    return FT_SGI;
}
