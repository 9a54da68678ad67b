// NImageFilePIC3: the planar "PIC" background picture format class (read only).
//
// 320 x 200 pictures of 256 colours in four planes of 16000 bytes (plane p holds the pixels whose
// x is p modulo 4). The palette lives in a file of the same name with the extension ".pal" (256
// entries of three 6-bit values); without one the picture is grey.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePIC3 : public NImageFile {
public:
    // Signature check: "PIC". Needs 4 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no "PIC" at the start; 403 the picture cannot be made. Planes
    // cut short leave their pixels at 0.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
