// NImageFileEPS: the EPS preview format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileEPS : public NImageFile {
public:
    // Signature check: C5 D0 D3 C6, the binary EPS header that the loader tests. Needs 5 bytes
    // from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
