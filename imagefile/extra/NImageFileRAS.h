// NImageFileRAS: the Sun raster format class (read and write).
//
// Reads 1-, 8-, 24- and 32-bit pictures, raw or run-length coded (type 2), with or without an RGB
// colour map. Every row is padded to an even number of bytes. True-colour pixels are stored blue,
// green, red (red, green, blue for type 3, the RGB variant); a 32-bit pixel has its alpha (or pad)
// byte first. Writes 1-bit (raw), 8-bit with a colour map, 32-bit, and 24-bit for every other
// depth; run-length coding follows the save options.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class StdioStream;

class NImageFileRAS : public NImageFile {
public:
    // Signature check: 59 A6 6A 95. Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no Sun raster magic; 202 a type above 5, or a colour map that is
    // not RGB; 204 a header or colour map cut short, or a picture the file's data cannot fill;
    // 300 no memory for the colour map; 401 a depth other than 1, 8, 24 and 32; 403 the picture
    // cannot be made. A run-length stream that ends early keeps the rows decoded so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // No metadata is written. A 1-bit picture is always written raw, and switches this object's
    // run-length option off. 400 no valid picture; 104 the file cannot be created; 102 a write
    // failed (the file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* source, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

private:
    // The run-length decoder: the next byte of the stream, or -1 at its end.
    int NextRunByte(StdioStream& in);
    // The run-length encoder: takes one byte, writing out the run it ends; Flush writes the last.
    bool PutRunByte(StdioStream& out, uint8_t value, uint64_t& written);
    bool FlushRun(StdioStream& out, uint64_t& written);

    int32_t runValue_ = 0;
    int32_t runCount_ = 0;
};
