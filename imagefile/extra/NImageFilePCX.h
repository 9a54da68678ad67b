// NImageFilePCX: the PCX (ZSoft Paintbrush) format class, and the PCX reader and writer cores
// that the multi-page DCX class shares.
//
// Reads 1-, 4-, 8- and 24-bit pictures (one plane, 1-bit planes, or 8-bit red, green, blue and
// alpha planes), raw or run-length coded, with the header's 16 colours or the trailing 256-colour
// palette. Writes run-length coded pictures of 1, 4, 8 or 24 bits (16 and 32 as 24).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class StdioStream;

class NImageFilePCX : public NImageFile {
public:
    // Signature check: 0A, then a version (byte 1) up to 5, an encoding (byte 2) below 2 and bits
    // per pixel (byte 3) up to 24. Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. The consumed size and picture size are recorded also on failure.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // The metadata is not written. 400 no valid picture; 104 the file cannot be created; 402 a
    // side above 65536; 102 a write failed (the partial file is deleted).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // Reads the picture whose header starts at the stream's position into target; the stream
    // ends behind the picture's data (and its palette). A file that ends early keeps the rows
    // read so far. 200 not a PCX header; 403 the picture cannot be made.
    static NRESULT ReadImage(StdioStream& in, NImageBuffer* target);
    // The position behind the data (and palette) of the picture whose header is at start, found
    // by walking its coded rows without decoding them; 0 when no PCX header is there.
    static uint64_t MeasureImage(StdioStream& in, uint64_t start);
    // The same end, found by a walk over the source: Complete past the rows and the trailing
    // palette as ReadImage and MeasureImage read them; Broken when ReadImage refuses the header
    // (no PCX header, a size no picture can have, more than any file's data could fill);
    // Unknown when the rows or the palette run past what can be read.
    static PictureExtent FindImageExtent(ByteSource& source, uint64_t start);
    // Whether ReadImage believes the picture whose header is at start in a file of fileLength
    // bytes (its data there can fill the picture).
    static bool ImageFitsFile(ByteSource& source, uint64_t start, uint64_t fileLength);
    // Writes the picture at the stream's position. 400 no valid picture; 402 too large for the
    // format; 102 a write failed.
    static NRESULT WriteImage(StdioStream& out, NImageBuffer* source);
    // Writes one plane row run-length coded; false when a write fails.
    static bool EncodeRun(StdioStream& out, const uint8_t* bytes, int count);
};
