// NImageFileJXR: the JPEG XR format class.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileJXR : public NImageFile {
public:
    // Signature check: 49 49 BC 01, and the text "WMPHOTO" somewhere in the 1024 bytes from the
    // offset. Needs 1025 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    FileType GetFormatId() const override;
};
