// NImageFileTGA: the TGA (Truevision) format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileTGA : public NImageFile {
public:
    // Signature check: image type (byte 2) 1, 2, 3, 9, 10 or 11; width (16 bits at 12) and height
    // (16 bits at 14) each from 1 to 19999; pixel depth (byte 16) 1, 8, 16, 24 or 32. Needs 19
    // bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
