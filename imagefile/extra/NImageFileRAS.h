// NImageFileRAS: the Sun raster format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileRAS : public NImageFile {
public:
    // Signature check: 59 A6 6A 95. Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
