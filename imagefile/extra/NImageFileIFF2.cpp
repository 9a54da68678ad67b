#include "imagefile/extra/NImageFileIFF2.h"

#include "imagefile/DataBound.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/BigEndianIO.h"
#include "imagefile/extra/FormatStream.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace {

constexpr uint32_t ChunkId(const char (&text)[5])
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(text[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(text[2])) << 8) |
           static_cast<uint32_t>(static_cast<uint8_t>(text[3]));
}

constexpr uint32_t kFor4 = ChunkId("FOR4");
constexpr uint32_t kCimg = ChunkId("CIMG");
constexpr uint32_t kTbhd = ChunkId("TBHD");
constexpr uint32_t kTbmp = ChunkId("TBMP");
constexpr uint32_t kRgba = ChunkId("RGBA");
constexpr uint32_t kZbuf = ChunkId("ZBUF");

// The end of a chunk as this reader takes it: groups 12 bytes past their size, plain chunks 8,
// rounded up to a multiple of 4.
uint64_t ChunkEnd(const NImageFileIFF2::ChunkEntry& entry)
{
    const uint64_t end = entry.position + entry.size + (entry.id == kFor4 ? 12u : 8u);
    return (end + 3) & ~uint64_t{3};
}

// Walks the samples of one channel of a tile in storage order (rows from the tile's bottom)
// and stores those that fall inside the picture.
class ChannelWriter {
public:
    ChannelWriter(NImageBuffer& out, uint32_t x1, uint32_t y1, uint32_t width, unsigned byte)
        : out_(out), x1_(x1), y1_(y1), width_(width), byte_(byte), pixelBytes_(out.bpp / 8u)
    {
    }

    void Put(uint8_t value)
    {
        const uint64_t x = uint64_t{x1_} + column_;
        const uint64_t y = uint64_t{y1_} + row_;
        if (x < static_cast<uint64_t>(out_.width) && y < static_cast<uint64_t>(out_.height))
            out_.bits[y * static_cast<uint64_t>(out_.stride) + x * pixelBytes_ + byte_] = value;
        if (++column_ == width_) {
            column_ = 0;
            ++row_;
        }
    }

private:
    NImageBuffer& out_;
    uint32_t x1_;
    uint32_t y1_;
    uint32_t width_;
    unsigned byte_;
    unsigned pixelBytes_;
    uint32_t column_ = 0;
    uint32_t row_ = 0;
};

}  // namespace

bool NImageFileIFF2::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "FOR4");
}

FileType NImageFileIFF2::GetFormatId() const
{
    return FT_IFF2;
}

NImageFileIFF2::ChunkEntry* NImageFileIFF2::ReadChunkHeader(FormatStream& in)
{
    if (!chunkStack || depth + 1 >= kStackLevels)
        return nullptr;
    ChunkEntry entry{};
    entry.position = in.Tell();
    uint8_t head[8];
    if (!in.ReadExact(head, sizeof head))
        return nullptr;
    entry.id = (static_cast<uint32_t>(head[0]) << 24) | (static_cast<uint32_t>(head[1]) << 16) |
               (static_cast<uint32_t>(head[2]) << 8) | head[3];
    entry.size = (static_cast<uint32_t>(head[4]) << 24) | (static_cast<uint32_t>(head[5]) << 16) |
                 (static_cast<uint32_t>(head[6]) << 8) | head[7];
    if (entry.id == kFor4) {
        entry.groupType = ReadBigEndianU32(in.get());
        if (feof(in.get()) || ferror(in.get()))
            return nullptr;
    }
    chunkStack[++depth] = entry;
    return &chunkStack[depth];
}

bool NImageFileIFF2::SkipChunk(FormatStream& in)
{
    if (!chunkStack || depth < 0)
        return false;
    const uint64_t end = ChunkEnd(chunkStack[depth--]);
    return in.Seek(end);
}

bool NImageFileIFF2::ReadBlock(FormatStream& in, uint64_t count, std::unique_ptr<uint8_t[]>& data, size_t& got)
{
    // Never more than the file still holds, whatever the chunk claims.
    const uint64_t available = std::min(count, in.Remaining());
    if (available > SIZE_MAX)
        return false;
    got = static_cast<size_t>(available);
    data.reset(new (std::nothrow) uint8_t[got ? got : 1]);
    if (!data)
        return false;
    got = fread(data.get(), 1, got, in.get());
    return true;
}

void NImageFileIFF2::ReadTileRaw(const uint8_t* data, size_t size, const Tile& tile, NImageBuffer& out)
{
    // Pixel by pixel, the channels of each pixel stored in reverse order.
    const uint64_t pixels = std::min<uint64_t>(uint64_t{tile.width} * tile.height, size / tile.channels);
    for (unsigned k = 0; k < tile.channels; ++k) {
        ChannelWriter writer(out, tile.x1, tile.y1, tile.width, tile.channels - 1 - k);
        for (uint64_t i = 0; i < pixels; ++i)
            writer.Put(data[i * tile.channels + k]);
    }
}

void NImageFileIFF2::DecodeTileRle(const uint8_t* data, size_t size, const Tile& tile, NImageBuffer& out)
{
    // One run-length coded plane per channel, one after another; the first plane is the last
    // channel. A run that passes the end of its plane ends the plane; a plane that the data
    // does not fill keeps its zeros.
    const uint64_t planeSize = uint64_t{tile.width} * tile.height;
    size_t pos = 0;
    for (unsigned p = 0; p < tile.channels && pos < size; ++p) {
        ChannelWriter writer(out, tile.x1, tile.y1, tile.width, tile.channels - 1 - p);
        uint64_t filled = 0;
        while (filled < planeSize && pos < size) {
            const uint8_t code = data[pos++];
            const uint64_t count = (code & 0x7Fu) + 1u;
            const uint64_t kept = std::min(count, planeSize - filled);
            if (code & 0x80u) {
                if (pos >= size)
                    break;
                const uint8_t value = data[pos++];
                for (uint64_t i = 0; i < kept; ++i)
                    writer.Put(value);
            } else {
                const uint64_t present = std::min<uint64_t>(count, size - pos);
                for (uint64_t i = 0; i < std::min(kept, present); ++i)
                    writer.Put(data[pos + i]);
                pos += static_cast<size_t>(present);
            }
            filled += kept;
        }
    }
}

bool NImageFileIFF2::DecodeTile(FormatStream& in, const ChunkEntry& chunk, unsigned channels, NImageBuffer& out)
{
    if (chunk.size < 8 || channels == 0)
        return false;
    FILE* file = in.get();
    const uint16_t x1 = ReadBigEndianU16(file);
    const uint16_t y1 = ReadBigEndianU16(file);
    const uint16_t x2 = ReadBigEndianU16(file);
    const uint16_t y2 = ReadBigEndianU16(file);
    if (feof(file) || ferror(file) || x2 < x1 || y2 < y1)
        return false;   // corners that make no tile
    Tile tile{x1, y1, uint32_t{x2} - x1 + 1u, uint32_t{y2} - y1 + 1u, channels};
    const uint64_t dataSize = chunk.size - 8u;
    const bool raw = dataSize >= uint64_t{tile.width} * tile.height * channels;
    std::unique_ptr<uint8_t[]> data;
    size_t got = 0;
    if (!ReadBlock(in, dataSize, data, got))
        return false;
    if (raw)
        ReadTileRaw(data.get(), got, tile, out);
    else
        DecodeTileRle(data.get(), got, tile, out);
    return true;
}

NRESULT NImageFileIFF2::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    FormatStream in;
    if (!in.OpenRead(path))
        return NR_FILE_OPEN_READ;
    chunkStack.reset(new (std::nothrow) ChunkEntry[kStackLevels]);
    depth = -1;
    if (!chunkStack)
        return NR_ALLOCATION_FAILED;
    struct StackRelease {
        NImageFileIFF2* self;
        ~StackRelease()
        {
            self->chunkStack.reset();
            self->depth = -1;
        }
    } release{this};

    const ChunkEntry* form = ReadChunkHeader(in);
    if (!form || form->id != kFor4 || form->groupType != kCimg)
        return NR_NOT_THIS_FORMAT;
    const uint64_t formEnd = std::min(ChunkEnd(*form), in.Length());

    // The tile header.
    uint8_t header[24];
    for (;;) {
        const ChunkEntry* chunk = ReadChunkHeader(in);
        if (!chunk)
            return NR_DECODE_FAILED;
        if (chunk->id == kTbhd) {
            if (chunk->size < sizeof header || !in.ReadExact(header, sizeof header))
                return NR_DECODE_FAILED;
            SkipChunk(in);
            break;
        }
        if (!SkipChunk(in))
            return NR_DECODE_FAILED;
    }
    auto u32 = [](const uint8_t* p) {
        return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
               (static_cast<uint32_t>(p[2]) << 8) | p[3];
    };
    const uint32_t width = u32(header);
    const uint32_t height = u32(header + 4);
    const uint32_t flags = u32(header + 12);
    const uint32_t tiles = static_cast<uint32_t>((header[18] << 8) | header[19]);
    const uint32_t compression = u32(header + 20);
    if (compression >= 2)
        return NR_COMPRESSION_NOT_SUPPORTED;
    const unsigned channels = ((flags & 1u) ? 3u : 0u) + ((flags & 2u) ? 1u : 0u);
    const int bits = channels == 4 ? 32 : 24;

    NImageBuffer& out = target ? *target : picture;
    // Tiles of raw or run-length coded pixels (128 bytes from a 2-byte run).
    if (width != 0 && height != 0 &&
        !DataBound::Fits(width, height, static_cast<uint64_t>(bits), in.Length(),
                         compression ? DataBound::kPackBits : DataBound::kRawCutShort))
        return NR_INVALID_DATA;
    if (width > INT32_MAX || height > INT32_MAX ||
        !out.Create(static_cast<int>(width), static_cast<int>(height), bits, 0, nullptr))
        return NR_PICTURE_CREATE_FAILED;

    // Enter the tile group.
    for (;;) {
        const ChunkEntry* chunk = ReadChunkHeader(in);
        if (chunk && chunk->id == kFor4 && chunk->groupType == kTbmp)
            break;
        if (!chunk || !SkipChunk(in)) {
            out.Destroy();
            return NR_DECODE_FAILED;
        }
    }

    uint32_t colourTiles = channels ? tiles : 0;
    uint32_t depthTiles = (flags & 4u) ? tiles : 0;
    while (colourTiles || depthTiles) {
        const ChunkEntry* chunk = ReadChunkHeader(in);
        if (!chunk)
            break;   // the file ends among the tiles: keep what was read
        if (chunk->id == kRgba) {
            if (colourTiles) {
                DecodeTile(in, *chunk, channels, out);
                --colourTiles;
            }
        } else if (chunk->id == kZbuf) {
            if (depthTiles)
                --depthTiles;   // depth data is not used
        } else {
            out.Destroy();
            return NR_WRONG_PICTURE_FORMAT;
        }
        if (!SkipChunk(in))
            break;
    }

    // The group's own size tells where the file ends.
    consumedSize = std::max(std::min(in.Tell(), in.Length()), formEnd);
    out.SwapRedBlue();
    fullWidth = static_cast<int32_t>(width);
    fullHeight = static_cast<int32_t>(height);
    return NR_OK;
}
