// NImageFileWEBP: the WebP format class.
#pragma once

#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileWEBP : public NImageFile {
public:
    // Signature check: "RIFF", any four bytes (the RIFF size), "WEBP", then "VP" (the start of the
    // first chunk's name: VP8, VP8L or VP8X). Needs 16 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length);

    FileType GetFormatId() const override;
};
