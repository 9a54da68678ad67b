// NImageFileMAC: the MacPaint format class (read only).
//
// 576 x 720 black-and-white pictures, each row of 72 bytes PackBits coded, after a 512-byte
// header, with or without a MacBinary header in front (whose file name becomes the metadata's
// comment).
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileMAC : public NImageFile {
public:
    // MacPaint files have no reliable signature: always false; the extensions "mac" and "pntg"
    // select the class.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 204 fewer than 69 bytes in the file; 403 the picture cannot be
    // made. Decoding starts at 640 behind a MacBinary header (type "PNTG" at 65), else at 512
    // when the first byte is 0, else at 0; rows missing at the end stay white.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
