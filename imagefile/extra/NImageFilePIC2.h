// NImageFilePIC2: the Pictor PC Paint format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePIC2 : public NImageFile {
public:
    // Signature check: 16 bits 0x1234 (34 12). Needs 2 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
