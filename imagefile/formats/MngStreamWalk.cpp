#include "imagefile/formats/MngStreamWalk.h"

#include <zlib.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>

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
// that decodes at the time: each thread keeps its last large blocks for the next picture.
class LargeBlockCache {
public:
    static constexpr size_t kSmallest = size_t{1} << 20;
    static constexpr size_t kMostKept = size_t{32} << 20;

    ~LargeBlockCache()
    {
        for (Entry& entry : entries_)
            free(entry.block);
    }

    // A kept block of at least size bytes and not more than twice that, cleared; null if none.
    void* Take(size_t size)
    {
        for (Entry& entry : entries_) {
            if (entry.block && entry.size >= size && entry.size / 2 <= size) {
                void* block = entry.block;
                kept_ -= entry.size;
                entry = Entry{};
                std::memset(block, 0, size);
                return block;
            }
        }
        return nullptr;
    }

    // Keeps the block when there is room; false when the caller must free it.
    bool Keep(void* block, size_t size)
    {
        if (size < kSmallest || size > kMostKept)
            return false;
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

private:
    struct Entry {
        void* block = nullptr;
        size_t size = 0;
        uint64_t age = 0;
    };
    Entry entries_[4];
    size_t kept_ = 0;
    uint64_t clock_ = 0;
};

thread_local LargeBlockCache largeBlocks;
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
