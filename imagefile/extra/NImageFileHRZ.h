// NImageFileHRZ: the slow-scan television (HRZ) format class (read only).
//
// Raw 256 x 240 pictures of 6-bit red, green and blue samples, top row first, without a header.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileHRZ : public NImageFile {
public:
    // HRZ files have no signature: always false; the extension "hrz" selects the class.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 403 the picture cannot be made. Every file makes a 24-bit picture
    // of 256 x 240; pixels past the end of the file keep the values of the row above.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
