// NImageFileSGI: the SGI image format class (read and write).
//
// Reads pictures of one byte per channel, verbatim or run-length coded: one channel as 8-bit grey,
// two as grey with alpha (32 bits), three as 24 bits, four or more as 32 bits with the fourth
// channel as alpha (further channels are not read). The image name becomes the metadata's comment.
// Writes 24-bit pictures as three channels and 32-bit pictures as four, in one of three storage
// types: 0 verbatim, 1 run-length, 2 run-length with every identical channel row stored once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "imagefile/NImageFile.h"

class StdioStream;

class NImageFileSGI : public NImageFile {
public:
    // Signature check: the magic 474 big-endian (01 DA) and one byte per channel (byte 3 = 1).
    // Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no SGI magic; 204 a header cut short, or a picture the file's
    // data cannot fill; 402 two bytes per channel; 403 the picture cannot be made. Rows past the
    // end of the file, or whose run-length offset lies outside it, stay black.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // Storage type from the save options; no metadata is written. 400 no valid picture; 104 the
    // file cannot be created; 205 a picture wider or taller than 65535 pixels, or a storage type
    // outside 0..2; 102 a write failed (the file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* source, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // The writer's steps, on a stream opened for reading and writing.
    // The 512-byte header and the room for the rows or the offset tables. 205 when a size is 0
    // or above 65535 or the storage type lies outside 0..2; 102 when a write fails.
    NRESULT WriteHeader(StdioStream& out, int32_t storage, uint32_t xsize, uint32_t ysize, uint32_t zsize);
    // One channel row of xsize values (their low bytes are stored), y counted from the bottom.
    // Answers the bytes written (0 when storage type 2 found the row already in the file), or -1
    // for a row or channel out of range, a run-length row written twice, or a failed write.
    int WriteRow(StdioStream& out, const uint16_t* row, int32_t y, int32_t z);
    // Run-length types: the start and length tables at 512. Releases the writer's state. False
    // when a write failed.
    bool WriteTables(StdioStream& out);

    // The classic SGI row coding: literal stretches (0x80 | n, n values) up to the first three
    // equal values, runs (n, value), n at most 126 each, and a closing 0. Answers the length.
    static size_t EncodeRow(const uint8_t* values, size_t count, uint8_t* out);

private:
    int32_t storage_ = 1;
    uint16_t xsize_ = 0;
    uint16_t ysize_ = 0;
    uint16_t zsize_ = 0;
    uint64_t dataStart_ = 0;
    uint64_t nextFree_ = 0;
    std::vector<uint32_t> startTable_;   // per channel, one entry per row
    std::vector<uint32_t> lengthTable_;
    // Storage type 2: the last row written, and every row in the file by a hash of its coding.
    std::vector<uint8_t> lastRow_;
    uint32_t lastRowStart_ = 0;
    uint32_t lastRowLength_ = 0;
    std::unordered_multimap<uint64_t, uint64_t> writtenRows_;   // hash -> start << 32 | length
};
