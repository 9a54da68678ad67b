// NImageFileZBR: the Zebra metafile preview format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileZBR : public NImageFile {
public:
    // Signature check: 16 bits 666 (9A 02), then a version (16 bits at 2) up to 4. Needs 5 bytes
    // from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
