// NImageFileGIF: the GIF format class (FileType 12), reader and writer.
//
// Reading: GIF87a and GIF89a, single pictures and animations. A one-frame file, or any file
// loaded with the preview or quick flag, gives its first frame as a palette picture of the
// frame's own size. An animation loaded in full gives the frame strip: one picture of the
// logical screen's width and N x its height, frame k in the k-th block of scan lines (frame 0
// first in memory), each frame composed over the previous one by its disposal; the picture's
// height field is set back to one frame afterwards. The strip keeps palette indices unless some
// image has a local colour table, in which case it is 24 bits per pixel. Transparent pixels
// carry the key colour magenta (0x00FF00FF) and the picture's colour key records the
// transparent index (palette output) or that colour.
//
// The frame tables hold per frame the delay (hundredths of a second, at least 5), the disposal
// (3, 5, 6 and 7 read as 1) and the transparent index (0xFFFF for none).
//
// Consumed size: the end of the GIF stream, just after its trailer byte (or the end of the file
// when no trailer comes), for every kind of load, so that a carved candidate cut to it keeps
// all its frames.
//
// Writing: GIF89a with one global colour table; pictures deeper than 8 bits per pixel are
// reduced to 8 first. Animations are written page by page (BeginPages, AddPage, EndPages), each
// page with a local colour table.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/ScopedFile.h"
#include "imagefile/NImageFile.h"

class NImageFileGIF : public NImageFile {
public:
    NImageFileGIF() = default;
    ~NImageFileGIF() override;

    // Signature check: "GIF87a" or "GIF89a". Needs 6 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);
    // Where the GIF at byte 0 of the source ends: just past its trailer, found by following the
    // blocks and sub-blocks as the loader does. Unknown when a byte that starts no block comes
    // first (the loader then reads on byte by byte) or the data ends.
    static PictureExtent FindExtent(ByteSource& source);

    // 0; 200 without a GIF signature; 103 when the file does not open; 204 when no frame can be
    // counted; 205 when the first frame has a side of 0 or above 32000; 300 when its buffers
    // cannot be allocated. Damaged LZW data leaves the frame partly drawn and still answers 0.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // Writes one picture (metadata is not written). 0; 400 without a valid picture; 403 when
    // the reduction to 8 bits fails; 205 for a side above 65535; 104 when the file cannot be
    // created; 102 when writing fails (the file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
    bool IsMultiImage() const override;
    int32_t GetPageCount() const override;
    void SetPage(int32_t index) override;
    bool IsAnimated() const override;
    // Page writing. BeginPages writes the header with the reference's size and colour table
    // (400 when it is not valid, 401 above 8 bits per pixel, 104 when the file cannot be
    // created). AddPage writes one frame with the page delay and a local colour table (102
    // without BeginPages). EndPages writes the trailer and closes the file (102 when writing
    // failed).
    NRESULT BeginPages(const wchar_t* path, NImageBuffer* reference) override;
    NRESULT AddPage(NImageBuffer* page) override;
    NRESULT EndPages() override;

    // The first reading pass over the whole file: the number of frames that a load decodes at
    // most. -1 when the file does not open, -2 without a GIF signature. anyLocalTable: some
    // counted frame has a local colour table. streamEnd (optional): the position just after the
    // trailer, or the file's size when it has none.
    static int CountFrames(const wchar_t* path, bool* anyLocalTable, uint64_t* streamEnd = nullptr);

    // One graphic control extension and one image with its LZW data. 0; 401 above 8 bits per
    // pixel; 300 without pixels; 205 for a side above 65535 (nothing written in these cases).
    NRESULT WriteFrame(FILE* file, NImageBuffer* bitmap, uint32_t delayMilliseconds, bool writeLocalTable);
    static void WriteGraphicControl(FILE* file, const NImageBuffer* bitmap, uint32_t delayMilliseconds);
    // 2^bits entries of the picture's palette, each red, green, blue.
    static void WriteColorTable(FILE* file, const NImageBuffer* bitmap, int bits);

    // ---- LZW encoder ----
    // Writes the picture's indices (top row first) as LZW data in sub-blocks; the caller writes
    // the minimum code size byte before and the block terminator after.
    void Compress(int32_t initialCodeSize, const NImageBuffer& pixels, FILE* file);
    void OutputCode(int32_t code, FILE* file);
    // The index at the cursor, or -1 when every pixel was taken.
    int NextPixel(const NImageBuffer& pixels);
    void ClearBlock(FILE* file);
    void ClearHash(int32_t entries);
    void PutPacketByte(uint8_t byte, FILE* file);
    void FlushPacket(FILE* file);
    void ResetPacket();

private:
    static constexpr int kHashSize = 5003;

    // Encoder state.
    int32_t pixelColumn = 0;
    int32_t pixelRow = 0;              // scan line in memory; starts at the top row
    int32_t encodeWidth = 0;
    int32_t encodeHeight = 0;
    int32_t encodeBitsPerPixel = 0;
    int32_t pixelsLeft = 0;
    uint32_t bitAccumulator = 0;
    int32_t bitsInAccumulator = 0;
    int32_t codeSize = 0;
    int32_t largestCodeSize = 12;
    int32_t largestCodeOfSize = 0;
    int32_t codeLimit = 4096;
    int32_t hashKeys[kHashSize] = {};
    uint16_t hashCodes[kHashSize] = {};
    int32_t nextFreeCode = 0;
    int32_t clearPending = 0;
    int32_t initialCodeSize = 0;
    int32_t clearCode = 0;
    int32_t endCode = 0;
    int32_t packetLength = 0;
    uint8_t packet[256] = {};

    ScopedFile pageFile;               // open between BeginPages and EndPages
    bool pageWriteFailed = false;

    void ResetEncoder();
};
