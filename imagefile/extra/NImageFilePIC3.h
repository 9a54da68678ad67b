// NImageFilePIC3: the AniVGA background picture format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePIC3 : public NImageFile {
public:
    // Signature check: "PIC". Needs 4 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
