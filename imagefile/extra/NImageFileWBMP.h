// NImageFileWBMP: the wireless bitmap (WBMP, type 0) format class (read only).
//
// 1-bit pictures: a few variable-length header integers, then rows of bits, top row first, a set
// bit white.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileWBMP : public NImageFile {
public:
    // WBMP files have no signature worth testing: always false; the extension "wbmp" selects the
    // class.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 a type other than 0; 204 a header cut short, an integer longer
    // than 5 bytes or above the int range, a size of 0, or rows the file cannot fill; 403 the
    // picture cannot be made.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
