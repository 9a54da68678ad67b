// NImageFilePIC: the Softimage PIC format class (read only).
//
// A 32-bit picture read as a list of channel packets per scan line, each packet holding some of
// the channels red, green, blue and alpha, uncompressed, in pure runs or in mixed runs. The
// header's comment becomes the metadata's comment.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePIC : public NImageFile {
public:
    // Signature check: 53 80 F6 34, and "PICT" at 88. Needs 92 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no Softimage header; 204 a header cut short, more than 16
    // channel packets, or a picture the file's data cannot fill; 403 the picture cannot be made.
    // A scan line that cannot be decoded ends reading; the rows before it stay.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
