// NImageFileSGI: the SGI format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileSGI : public NImageFile {
public:
    // Signature check: the magic 474 big-endian (01 DA) and one byte per channel (byte 3 = 1).
    // Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
