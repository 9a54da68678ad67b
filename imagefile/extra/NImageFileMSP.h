// NImageFileMSP: the Microsoft Paint format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileMSP : public NImageFile {
public:
    // Signature check: the key "DanM" (version 1) or "LinS" (version 2). Needs 5 bytes from the
    // offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
