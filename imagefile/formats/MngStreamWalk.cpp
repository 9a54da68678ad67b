#include "imagefile/formats/MngStreamWalk.h"

#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "imagefile/DataBound.h"
#include "imaging/DecodeBudget.h"

namespace {

constexpr uint64_t kSignatureSize = 8;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint32_t kLoop = MngChunkName('L', 'O', 'O', 'P');
constexpr uint32_t kEndLoop = MngChunkName('E', 'N', 'D', 'L');

uint32_t BigU32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | static_cast<uint32_t>(p[3]);
}

void PutBigU32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

bool IsChunkLetter(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

struct OpenLoop {
    uint8_t level;
    uint32_t count;   // as capped, at least 1
};

uint64_t ProductOf(const std::vector<OpenLoop>& loops)
{
    uint64_t product = 1;
    for (const OpenLoop& loop : loops)
        product = std::min<uint64_t>(product * loop.count, UINT32_MAX);
    return product;
}

void CloseLoopsFrom(std::vector<OpenLoop>& loops, uint8_t level)
{
    while (!loops.empty() && loops.back().level >= level)
        loops.pop_back();
}

// The CRC of a chunk whose first data bytes are replaced by head (headSize bytes), the rest read
// from the source from `data` on. False when the source ends first.
bool ChunkCrcWithHead(ByteSource& source, uint64_t data, const uint8_t* type, const uint8_t* head,
                      uint32_t headSize, uint32_t length, uint32_t& crc)
{
    uLong value = crc32(0L, Z_NULL, 0);
    value = crc32(value, type, 4);
    if (headSize > 0)
        value = crc32(value, head, headSize);
    uint8_t buffer[4096];
    uint64_t at = data + headSize;
    uint32_t left = length - headSize;
    while (left > 0) {
        const uint32_t step = std::min<uint32_t>(left, sizeof(buffer));
        if (!source.ReadAt(at, buffer, step))
            return false;
        value = crc32(value, buffer, step);
        at += step;
        left -= step;
    }
    crc = static_cast<uint32_t>(value);
    return true;
}

}  // namespace

MngStreamLayout WalkMngStream(ByteSource& source, uint64_t fileSize, uint32_t endChunk, uint32_t loopBudget)
{
    fileSize = std::min(fileSize, source.Size());
    MngStreamLayout layout;
    std::vector<OpenLoop> loops;
    uint64_t position = kSignatureSize;
    if (loopBudget == 0)
        loopBudget = 1;
    for (;;) {
        if (position >= fileSize || fileSize - position < 12) {
            // No room for another chunk: the file ends inside the stream.
            layout.end = fileSize;
            layout.truncated = true;
            return layout;
        }
        uint8_t header[8];
        if (!source.ReadAt(position, header, 8)) {
            layout.end = fileSize;
            layout.truncated = true;
            return layout;
        }
        const uint32_t length = BigU32(header);
        const uint32_t name = BigU32(header + 4);
        if (length > kMaxChunkLength || !IsChunkLetter(header[4]) || !IsChunkLetter(header[5]) ||
            !IsChunkLetter(header[6]) || !IsChunkLetter(header[7])) {
            layout.end = position;   // not a chunk: the stream stopped here
            return layout;
        }
        const uint64_t next = position + 12 + length;
        if (next > fileSize) {
            layout.end = fileSize;
            layout.truncated = true;
            return layout;
        }
        if (name == endChunk) {
            layout.end = next;
            layout.complete = true;
            return layout;
        }

        if (name == kLoop && length >= 5) {
            uint8_t head[5];
            if (source.ReadAt(position + 8, head, 5)) {
                const uint8_t level = head[0];
                const uint32_t count = BigU32(head + 1);
                CloseLoopsFrom(loops, level);
                const uint64_t outer = ProductOf(loops);
                const uint32_t allowed = static_cast<uint32_t>(std::max<uint64_t>(1, loopBudget / outer));
                const uint32_t capped = std::min(count, allowed);
                loops.push_back(OpenLoop{level, std::max<uint32_t>(capped, 1)});
                if (capped != count) {
                    uint8_t patchedHead[5];
                    patchedHead[0] = level;
                    PutBigU32(patchedHead + 1, capped);
                    uint32_t crc = 0;
                    if (ChunkCrcWithHead(source, position + 8, header + 4, patchedHead, 5, length, crc)) {
                        MngStreamPatch countPatch{position + 9, {}};
                        std::memcpy(countPatch.bytes, patchedHead + 1, 4);
                        MngStreamPatch crcPatch{position + 8 + length, {}};
                        PutBigU32(crcPatch.bytes, crc);
                        layout.patches.push_back(countPatch);
                        layout.patches.push_back(crcPatch);
                    }
                }
            }
        } else if (name == kEndLoop && length >= 1) {
            uint8_t level = 0;
            if (source.ReadAt(position + 8, &level, 1))
                CloseLoopsFrom(loops, level);
        }
        position = next;
    }
}

MngHeaderCheck CheckMngHeaderChunk(ByteSource& source, uint64_t size)
{
    size = std::min(size, source.Size());
    uint8_t header[8];
    if (size < kSignatureSize + 12 || !source.ReadAt(kSignatureSize, header, sizeof(header)))
        return MngHeaderCheck::Unknown;
    const uint32_t name = BigU32(header + 4);
    if (name != MngChunkName('M', 'H', 'D', 'R') && name != MngChunkName('J', 'H', 'D', 'R') &&
        name != MngChunkName('I', 'H', 'D', 'R'))
        return MngHeaderCheck::Refused;
    const uint32_t length = BigU32(header);
    if (length > kMaxChunkLength || length > size - kSignatureSize - 12)
        return MngHeaderCheck::Unknown;
    uint32_t crc = 0;
    uint32_t stored = 0;
    if (!ChunkCrcWithHead(source, kSignatureSize + 8, header + 4, nullptr, 0, length, crc) ||
        !source.ReadU32BE(kSignatureSize + 8 + length, stored))
        return MngHeaderCheck::Unknown;
    return crc == stored ? MngHeaderCheck::Accepted : MngHeaderCheck::Refused;
}

void ApplyMngStreamPatches(const std::vector<MngStreamPatch>& patches, uint64_t start, uint8_t* data,
                           uint64_t count)
{
    const uint64_t end = start + count;
    for (const MngStreamPatch& patch : patches) {
        for (uint64_t i = 0; i < 4; ++i) {
            const uint64_t at = patch.offset + i;
            if (at >= start && at < end)
                data[at - start] = patch.bytes[i];
        }
    }
}

namespace {

// Row layout of a PNG picture: bytes a row takes (without its filter byte) for a width.
struct PngRowLayout {
    uint32_t bitsPerPixel = 0;
    uint64_t RowBytes(uint64_t width) const { return (width * bitsPerPixel + 7) / 8; }
};

bool PngLayoutOf(uint8_t bitDepth, uint8_t colourType, PngRowLayout& layout)
{
    int channels = 0;
    bool depthOk = false;
    switch (colourType) {
    case 0:
        channels = 1;
        depthOk = bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8 || bitDepth == 16;
        break;
    case 3:
        channels = 1;
        depthOk = bitDepth == 1 || bitDepth == 2 || bitDepth == 4 || bitDepth == 8;
        break;
    case 2:
    case 4:
    case 6:
        channels = colourType == 2 ? 3 : colourType == 4 ? 2 : 4;
        depthOk = bitDepth == 8 || bitDepth == 16;
        break;
    default:
        return false;
    }
    layout.bitsPerPixel = static_cast<uint32_t>(channels) * bitDepth;
    return depthOk;
}

// Follows the inflated image data row by row: every row starts with a filter type of 0 to 4.
class PngRowFollower {
public:
    PngRowFollower(uint32_t width, uint32_t height, bool interlaced, const PngRowLayout& layout)
    {
        static const uint8_t kAdam7[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                             {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
        const int passes = interlaced ? 7 : 1;
        for (int p = 0; p < passes; ++p) {
            const uint64_t x0 = interlaced ? kAdam7[p][0] : 0, y0 = interlaced ? kAdam7[p][1] : 0;
            const uint64_t dx = interlaced ? kAdam7[p][2] : 1, dy = interlaced ? kAdam7[p][3] : 1;
            const uint64_t columns = width > x0 ? (width - x0 + dx - 1) / dx : 0;
            const uint64_t rows = height > y0 ? (height - y0 + dy - 1) / dy : 0;
            if (columns == 0 || rows == 0)
                continue;
            passes_[count_++] = Pass{rows, 1 + layout.RowBytes(columns)};
        }
    }

    // False at a bad filter type or at bytes past the last row.
    bool Take(const uint8_t* bytes, size_t size)
    {
        while (size > 0) {
            if (pass_ >= count_)
                return false;
            const Pass& pass = passes_[pass_];
            if (inRow_ == 0 && bytes[0] > 4)
                return false;
            const uint64_t step = std::min<uint64_t>(size, pass.rowBytes - inRow_);
            inRow_ += step;
            bytes += step;
            size -= static_cast<size_t>(step);
            if (inRow_ == pass.rowBytes) {
                inRow_ = 0;
                if (++row_ == pass.rows) {
                    row_ = 0;
                    ++pass_;
                }
            }
        }
        return true;
    }
    bool Finished() const { return pass_ == count_; }
    // The bytes of all the rows, filter bytes included.
    uint64_t TotalBytes() const
    {
        uint64_t total = 0;
        for (int p = 0; p < count_; ++p)
            total += passes_[p].rows * passes_[p].rowBytes;
        return total;
    }

private:
    struct Pass {
        uint64_t rows = 0;
        uint64_t rowBytes = 0;
    };
    Pass passes_[7];
    int count_ = 0;
    int pass_ = 0;
    uint64_t row_ = 0;
    uint64_t inRow_ = 0;
};

struct InflateStream {
    z_stream stream{};
    bool open = false;
    ~InflateStream()
    {
        if (open)
            inflateEnd(&stream);
    }
};

constexpr uint32_t kMhdr = MngChunkName('M', 'H', 'D', 'R');
constexpr uint32_t kIhdr = MngChunkName('I', 'H', 'D', 'R');
constexpr uint32_t kIdat = MngChunkName('I', 'D', 'A', 'T');
constexpr uint32_t kIend = MngChunkName('I', 'E', 'N', 'D');
constexpr uint32_t kMendChunk = MngChunkName('M', 'E', 'N', 'D');
constexpr uint32_t kPlte = MngChunkName('P', 'L', 'T', 'E');
constexpr uint32_t kActl = MngChunkName('a', 'c', 'T', 'L');
constexpr uint32_t kLargestOtherChunk = 1u << 20;

// Chunks that may come before the first picture without changing how it decodes: the end of the
// play, the background, frame and loop control, object placement, the index, a global palette.
bool IsPlayControl(uint32_t name)
{
    static const uint32_t kNames[] = {
        MngChunkName('T', 'E', 'R', 'M'), MngChunkName('B', 'A', 'C', 'K'), MngChunkName('F', 'R', 'A', 'M'),
        MngChunkName('L', 'O', 'O', 'P'), MngChunkName('E', 'N', 'D', 'L'), MngChunkName('D', 'E', 'F', 'I'),
        MngChunkName('S', 'A', 'V', 'E'), MngChunkName('S', 'E', 'E', 'K'), MngChunkName('P', 'L', 'T', 'E'),
    };
    return std::find(std::begin(kNames), std::end(kNames), name) != std::end(kNames);
}
constexpr size_t kPiece = 65536;
// Image data is inflated (and its rows followed) for this many bytes of rows; beyond them the
// chunks' CRCs vouch for the data, which a verification need not decode.
constexpr uint64_t kInflatedRowBytes = 256 * 1024;

}  // namespace

namespace {
bool CheckPngFamilyFirstImage(ByteSource& source, bool mng, PngFamilyPicture& image, uint64_t* end);
}

bool CheckMngFirstImage(ByteSource& source, PngFamilyPicture& image)
{
    return CheckPngFamilyFirstImage(source, true, image, nullptr);
}

bool CheckPngImage(ByteSource& source, PngFamilyPicture& image, uint64_t& end)
{
    return CheckPngFamilyFirstImage(source, false, image, &end);
}

namespace {

// The check of CheckMngFirstImage; for a PNG file (mng false) IHDR comes first and the end is the
// end of IEND.
bool CheckPngFamilyFirstImage(ByteSource& source, bool mng, PngFamilyPicture& image, uint64_t* end)
{
    const uint64_t size = source.Size();
    uint64_t position = 8;
    std::vector<uint8_t> data;
    bool seenHeader = false;
    bool inPicture = false;
    bool idatDone = false;
    bool sawIdat = false;
    bool sawPalette = false;
    uint8_t colourType = 0;
    InflateStream inflater;
    std::unique_ptr<PngRowFollower> rows;
    std::vector<uint8_t> out(65536);
    bool inflateEnded = false;
    bool inflating = true;        // until kInflatedRowBytes of rows came out
    uint64_t inflatedBytes = 0;
    uint64_t imageDataBytes = 0;
    for (int chunks = 0; chunks < 100000; ++chunks) {
        uint8_t header[8];
        if (!source.ReadAt(position, header, 8))
            return false;
        const uint32_t length = BigU32(header);
        const uint32_t name = BigU32(header + 4);
        if (length > kMaxChunkLength || !source.Holds(position + 8, uint64_t{length} + 4))
            return false;
        const bool critical = (header[4] & 0x20) == 0;
        if (mng && !seenHeader && name != kMhdr)
            return false;
        if (!mng && ((!inPicture && name != kIhdr) || name == kActl))
            return false;   // a PNG starts with IHDR; an animated one is read by its own reader
        // The critical chunks' data is read and its CRC checked; ancillary chunks are passed over,
        // as libmng drops those whose CRC is wrong. Image data is inflated as it is read.
        if (critical && name != kIdat) {
            if (length > kLargestOtherChunk)
                return false;
            data.resize(length);
            if (length > 0 && !source.ReadAt(position + 8, data.data(), length))
                return false;
        }
        if (critical) {
            uLong crc = crc32(crc32(0L, Z_NULL, 0), header + 4, 4);
            if (name == kIdat) {
                if (!inPicture || idatDone)
                    return false;
                sawIdat = true;
                for (uint64_t done = 0; done < length;) {
                    const size_t piece = static_cast<size_t>(std::min<uint64_t>(length - done, kPiece));
                    data.resize(piece);
                    if (!source.ReadAt(position + 8 + done, data.data(), piece))
                        return false;
                    crc = crc32_z(crc, data.data(), piece);
                    done += piece;
                    imageDataBytes += piece;
                    inflater.stream.next_in = data.data();
                    inflater.stream.avail_in = inflating ? static_cast<uInt>(piece) : 0;
                    while (inflater.stream.avail_in > 0) {
                        if (inflateEnded)
                            return false;   // data after the end of the stream
                        inflater.stream.next_out = out.data();
                        inflater.stream.avail_out = static_cast<uInt>(out.size());
                        const int status = inflate(&inflater.stream, Z_NO_FLUSH);
                        if (status != Z_OK && status != Z_STREAM_END)
                            return false;
                        const size_t produced = out.size() - inflater.stream.avail_out;
                        if (!rows->Take(out.data(), produced))
                            return false;
                        inflatedBytes += produced;
                        inflateEnded = status == Z_STREAM_END;
                        if (!inflateEnded && inflatedBytes >= kInflatedRowBytes) {
                            inflating = false;
                            break;
                        }
                    }
                }
            } else if (length > 0) {
                crc = crc32_z(crc, data.data(), length);
            }
            uint8_t crcBytes[4];
            if (!source.ReadAt(position + 8 + length, crcBytes, 4) || static_cast<uint32_t>(crc) != BigU32(crcBytes))
                return false;
        }
        if (name == kMhdr) {
            if (seenHeader || length < 28)
                return false;
            seenHeader = true;
            image.frameWidth = BigU32(data.data());
            image.frameHeight = BigU32(data.data() + 4);
            image.frameCount = BigU32(data.data() + 16);
        } else if (name == kIhdr) {
            if (inPicture || length != 13)
                return false;
            const uint32_t width = BigU32(data.data());
            const uint32_t height = BigU32(data.data() + 4);
            PngRowLayout layout;
            if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX ||
                !PngLayoutOf(data[8], data[9], layout) || data[10] != 0 || data[11] != 0 || data[12] > 1)
                return false;
            colourType = data[9];
            if (!mng) {
                image.frameWidth = width;
                image.frameHeight = height;
                image.frameCount = 1;
            }
            rows = std::make_unique<PngRowFollower>(width, height, data[12] == 1, layout);
            if (inflateInit(&inflater.stream) != Z_OK)
                return false;
            inflater.open = true;
            inPicture = true;
        } else if (!inPicture && critical && name != kMendChunk && !IsPlayControl(name)) {
            // Anything but play control before a PNG picture (JNG, delta pictures, objects,
            // magnification): libmng decides.
            return false;
        } else if (name == kPlte) {
            sawPalette = true;
        } else if (name == kIend) {
            // The first picture is whole: all of its rows, and nothing after them.
            if (end)
                *end = position + 12 + uint64_t{length};
            if (!sawIdat || (colourType == 3 && !sawPalette))
                return false;
            if (inflating)
                return inflateEnded && rows->Finished();
            // Rows beyond those inflated: the data must at least be able to hold them.
            return imageDataBytes <= UINT64_MAX / DataBound::kDeflate &&
                   rows->TotalBytes() <= imageDataBytes * DataBound::kDeflate;
        } else if (name == kMendChunk) {
            return false;
        }
        if (inPicture && sawIdat && name != kIdat)
            idatDone = true;
        position += 12 + uint64_t{length};
        if (position > size)
            return false;
    }
    return false;
}

}  // namespace

uint64_t MngConsumedSize(const MngStreamLayout& layout, uint64_t readPosition, uint64_t fileSize)
{
    uint64_t size = layout.end;
    if (!layout.complete && !layout.truncated)
        size = std::max(size, readPosition);
    return std::min(size, fileSize);
}

namespace {
thread_local uint64_t mngBlockLimit = UINT64_MAX;

// libmng takes and gives back a few blocks of picture size for every picture. Fresh ones cost a
// page fault every 4 KiB, and giving them back unmaps them, which stalls every other thread
// that decodes at the time: the last large blocks given back are kept for the next picture, by
// whichever thread decodes it. (One cache for the process: a thread_local object with a
// destructor is not safe with this runtime, which may free its storage before destroying it.)
class LargeBlockCache {
public:
    static constexpr size_t kSmallest = size_t{1} << 20;
    static constexpr size_t kMostKept = size_t{64} << 20;

    ~LargeBlockCache()
    {
        for (Entry& entry : entries_)
            free(entry.block);
    }

    // A kept block of at least size bytes and not more than twice that, cleared; null if none.
    void* Take(size_t size)
    {
        void* block = nullptr;
        AcquireSRWLockExclusive(&lock_);
        for (Entry& entry : entries_) {
            if (entry.block && entry.size >= size && entry.size / 2 <= size) {
                block = entry.block;
                kept_ -= entry.size;
                entry = Entry{};
                break;
            }
        }
        ReleaseSRWLockExclusive(&lock_);
        if (block)
            std::memset(block, 0, size);
        return block;
    }

    // Keeps the block when there is room; false when the caller must free it.
    bool Keep(void* block, size_t size)
    {
        if (size < kSmallest || size > kMostKept)
            return false;
        AcquireSRWLockExclusive(&lock_);
        const bool kept = KeepLocked(block, size);
        ReleaseSRWLockExclusive(&lock_);
        return kept;
    }

private:
    bool KeepLocked(void* block, size_t size)
    {
        Entry* slot = nullptr;
        for (Entry& entry : entries_)
            if (!entry.block) {
                slot = &entry;
                break;
            }
        // The oldest room is made first; a block too large for what is left is not kept.
        while (kept_ + size > kMostKept || !slot) {
            Entry* oldest = nullptr;
            for (Entry& entry : entries_)
                if (entry.block && (!oldest || entry.age < oldest->age))
                    oldest = &entry;
            if (!oldest)
                return false;
            free(oldest->block);
            kept_ -= oldest->size;
            *oldest = Entry{};
            slot = oldest;
        }
        *slot = Entry{block, size, ++clock_};
        kept_ += size;
        return true;
    }

    struct Entry {
        void* block = nullptr;
        size_t size = 0;
        uint64_t age = 0;
    };
    SRWLOCK lock_ = SRWLOCK_INIT;
    Entry entries_[8];
    size_t kept_ = 0;
    uint64_t clock_ = 0;
};

LargeBlockCache largeBlocks;
}

MngMemoryLimit::MngMemoryLimit(uint64_t fileSize) : previous_(mngBlockLimit)
{
    const unsigned __int128 most = static_cast<unsigned __int128>(fileSize) * DataBound::kDeflate;
    mngBlockLimit = most < kMngMinBlockLimit ? kMngMinBlockLimit : most > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(most);
}

MngMemoryLimit::~MngMemoryLimit()
{
    mngBlockLimit = previous_;
}

void* MngAllocate(size_t size)
{
    if (size > mngBlockLimit || !DecodeBudget::Take(size))
        return nullptr;
    void* block = size >= LargeBlockCache::kSmallest ? largeBlocks.Take(size) : nullptr;
    if (!block)
        block = calloc(1, size);
    if (!block && DecodeBudget::Counting())
        DecodeBudget::Give(size);
    return block;
}

void MngRelease(void* block, size_t size)
{
    if (!block)
        return;
    if (!largeBlocks.Keep(block, size))
        free(block);
    if (DecodeBudget::Counting())
        DecodeBudget::Give(size);
}


NRESULT OpenMngStream(const wchar_t* path, bool (*isFormat)(const uint8_t*, uint64_t, uint64_t), uint32_t endChunk,
                      MngOpenedStream& stream)
{
    if (!stream.file.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    FILE* file = stream.file.Get();
    uint8_t head[10] = {};
    const size_t headRead = fread(head, 1, sizeof(head), file);
    if (!isFormat(head, 0, headRead))
        return NR_NOT_THIS_FORMAT;
    _fseeki64(file, 0, SEEK_END);
    stream.fileSize = static_cast<uint64_t>(std::max<int64_t>(_ftelli64(file), 0));
    StdioByteSource bytes(file);
    // A stream whose first chunk is no header, or a header with a wrong CRC, is refused here as
    // the scan's walk refuses it (libmng would read on past an unknown ancillary chunk).
    if (CheckMngHeaderChunk(bytes, stream.fileSize) == MngHeaderCheck::Refused)
        return NR_DECODE_FAILED;
    stream.layout = WalkMngStream(bytes, stream.fileSize, endChunk, kMngLoopBudget);
    _fseeki64(file, 0, SEEK_SET);
    return NR_OK;
}

PictureExtent FindMngFamilyExtent(ByteSource& source, const MngFamilyExtent& family)
{
    uint8_t signature[kSignatureSize];
    if (!source.ReadAt(0, signature, sizeof(signature)))
        return PictureExtent::Unknown();
    if (std::memcmp(signature, family.signature, sizeof(signature)) != 0)
        return PictureExtent::Broken();
    switch (CheckMngHeaderChunk(source, kLargestPicture)) {
    case MngHeaderCheck::Refused:
        return PictureExtent::Broken();
    case MngHeaderCheck::Unknown:
        return PictureExtent::Unknown();
    case MngHeaderCheck::Accepted:
        break;
    }
    uint32_t headerName = 0;
    uint32_t width = 0;
    uint32_t height = 0;
    const bool sized = source.ReadU32BE(12, headerName) && headerName == family.headerChunk &&
                       source.ReadU32BE(16, width) && source.ReadU32BE(20, height);
    if (sized && !DataBound::Fits(width, height, family.headerBits, kLargestPicture, family.ratio))
        return PictureExtent::Broken();
    // No loop is capped: only the end matters here.
    const MngStreamLayout layout = WalkMngStream(source, kLargestPicture, family.endChunk, UINT32_MAX);
    if (!layout.complete || (sized && !DataBound::Fits(width, height, family.endBits, layout.end, family.ratio)))
        return PictureExtent::Unknown();   // (cut at its end, the file would not be believed)
    return PictureExtent::Complete(layout.end);
}
