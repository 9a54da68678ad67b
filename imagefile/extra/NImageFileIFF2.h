// NImageFileIFF2: the Maya IFF format class (read only): tiled true-colour pictures in "FOR4"
// files of form type "CIMG", raw or run-length coded.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "imagefile/NImageFile.h"

class FormatStream;

class NImageFileIFF2 : public NImageFile {
public:
    // Signature check: "FOR4". Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 0; 103 the file does not open; 200 the first group is not "FOR4"
    // of type "CIMG"; 203 compression 2 or more; 402 a chunk other than "RGBA" or "ZBUF" among
    // the tiles; 403 the picture cannot be made; 404 no tile header or tile group was found.
    // A file that ends among the tiles loads with the tiles read so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;

    // One level of the chunk stack.
    struct ChunkEntry {
        uint32_t id;
        uint64_t position;    // of the chunk header
        uint32_t size;
        uint32_t groupType;   // for "FOR4" groups, else 0
    };
    static constexpr int kStackLevels = 32;

private:
    // Pushes the header read at the current position; null (nothing pushed) when the stack is
    // full or the header cannot be read.
    ChunkEntry* ReadChunkHeader(FormatStream& in);
    // Moves to the end of the top chunk and pops it.
    bool SkipChunk(FormatStream& in);
    // Tile decoding into the picture; corners are inclusive, rows counted from the bottom.
    struct Tile {
        uint32_t x1, y1, width, height;
        unsigned channels;
    };
    static void ReadTileRaw(const uint8_t* data, size_t size, const Tile& tile, NImageBuffer& out);
    static void DecodeTileRle(const uint8_t* data, size_t size, const Tile& tile, NImageBuffer& out);
    bool DecodeTile(FormatStream& in, const ChunkEntry& chunk, unsigned channels, NImageBuffer& out);
    // Reads the data of the top chunk from the current position (bounded by the file).
    static bool ReadBlock(FormatStream& in, uint64_t count, std::unique_ptr<uint8_t[]>& data, size_t& got);

    std::unique_ptr<ChunkEntry[]> chunkStack;
    int depth = -1;
};
