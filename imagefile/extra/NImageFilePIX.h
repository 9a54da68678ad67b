// NImageFilePIX: the Alias PIX format class (read and write).
//
// Run-length coded 8-bit (grey) and 24-bit pictures: rows top row first, each a sequence of
// packets (a count, then one grey value or blue, green and red) that never runs into the next row.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePIX : public NImageFile {
public:
    // PIX files have no signature worth testing: always false; the extensions "pix" and "mat"
    // select the class.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 an "Esm Software PIX file" (another format of the same
    // extension); 204 a header cut short, a size of 0, a depth other than 8 and 24, or a picture
    // the file's data cannot fill; 403 the picture cannot be made. A file that ends early keeps
    // the rows decoded so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // Always 24 bits; no metadata. 400 no valid picture; 104 the file cannot be created; 205 a
    // picture wider or taller than 65535 pixels; 102 a write failed (the file is removed).
    NRESULT Save(const wchar_t* path, NImageBuffer* source, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;
};
