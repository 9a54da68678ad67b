// NImageFileHEIC: the HEIC format class.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileHEIC : public NImageFile {
public:
    // Signature check: "ftyp" at 4 and the major brand "mif1", "msf1", "heic" or "heis" at 8; the
    // box size at the offset is not looked at. Needs 13 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    FileType GetFormatId() const override;
};
