// NImageFileRLA: the Wavefront RLA format class.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileRLA : public NImageFile {
public:
    // Signature check: RLA files have no signature worth testing, so this always answers false
    // and the format is reached by its extension only.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    FileType GetFormatId() const override;
};
