// NImageFileMNG: the MNG (Multiple-image Network Graphics) format class.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileMNG : public NImageFile {
public:
    // Signature check: 8A 4D 4E 47, the first four bytes of the MNG signature. Needs 5 bytes from
    // the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    FileType GetFormatId() const override;
};
