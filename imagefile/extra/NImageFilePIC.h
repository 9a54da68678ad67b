// NImageFilePIC: the Softimage PIC format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePIC : public NImageFile {
public:
    // Signature check: 53 80 F6 34, and "PICT" at 88. Needs 92 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
