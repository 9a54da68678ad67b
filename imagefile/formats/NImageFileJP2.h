// NImageFileJP2: the JPEG 2000 format class.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileJP2 : public NImageFile {
public:
    // Signature check: FF 4F FF 51 (the code stream's SOC and SIZ markers), or 00 00 00 0C 6A 50
    // 20 20 (length and type of the JP2 signature box; its contents are not looked at). Needs 8
    // bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    FileType GetFormatId() const override;
};
