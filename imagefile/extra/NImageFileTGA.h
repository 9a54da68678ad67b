// NImageFileTGA: the TGA (Truevision) format class. Reads colour-mapped, true-colour and grey
// pictures, uncompressed or run-length coded (image types 1, 2, 3, 9, 10, 11), and writes them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "imagefile/NImageFile.h"

class NImageFileTGA : public NImageFile {
public:
    // Signature check: image type (byte 2) 1, 2, 3, 9, 10 or 11; width (16 bits at 12) and height
    // (16 bits at 14) each from 1 to 19999; pixel depth (byte 16) 1, 8, 16, 24 or 32. Needs 19
    // bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 0; 103 the file does not open; 200 the image type is not read (or
    // the file is too short to hold one); 204 a depth, size or colour-map entry size that is not
    // read, a header cut short, a colour map longer than the file, or pixel data far too short
    // for the size in the header (see the allocation bound in the source); 403 the picture
    // cannot be made. A file that ends inside its pixels loads with the rows read so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // picture null: the own picture; no metadata is written. 1 bpp is written colour-mapped and
    // uncompressed (the run-length option is switched off), 4 bpp as 24-bit pixels, 8 bpp with a
    // 256-entry colour map, 16, 24 and 32 bpp as they are; run-length coded when the save
    // options ask for it. 0; 400 no valid picture; 206 a side above 65535; 104 the file cannot be created or written (a
    // partial file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // The run-length decoder's state during one load: a packet may run on into the next row.
    int32_t repeatCount = 0;
    int32_t literalCount = 0;
    uint8_t runPixel[4] = {};

private:
    // Decodes `count` pixels of `pixelBytes` bytes into row; false when the file ends first (the
    // pixels decoded so far stay).
    bool DecodeRunLengthRow(FILE* file, uint8_t* row, size_t count, size_t pixelBytes);
};
