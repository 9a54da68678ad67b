// NImageFileJNG: the JNG (JPEG Network Graphics) format class.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileJNG : public NImageFile {
public:
    // Signature check: 8B 4A 4E 47, the first four bytes of the JNG signature. Needs 5 bytes from
    // the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    FileType GetFormatId() const override;
};
