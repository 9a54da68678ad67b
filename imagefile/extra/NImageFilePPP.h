// NImageFilePPP: the Punk Productions picture format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePPP : public NImageFile {
public:
    // Signature check: "PP" and byte 2 = 2. Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
