// NImageFileCLP: the Windows clipboard file format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileCLP : public NImageFile {
public:
    // Signature check: 16 bits 50000 (0xC350), then an entry count (16 bits at 2) from 1 to 199.
    // Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
