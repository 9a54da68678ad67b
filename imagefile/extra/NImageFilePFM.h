// NImageFilePFM: the PFM (Portable Float Map) format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePFM : public NImageFile {
public:
    // Signature check: "P" followed by "F" (colour) or "f" (grey). Needs 3 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
