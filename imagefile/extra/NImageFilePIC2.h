// NImageFilePIC2: the PC Paint (Pictor) format class (read only).
//
// Pictures of 1 bit, 2 to 4 bits in bit planes, or 8 bits, in run-length coded blocks, with an
// EGA colour-code palette or a palette of 6-bit VGA values.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePIC2 : public NImageFile {
public:
    // Signature check: 16 bits 0x1234 (34 12). Needs 2 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no 0x1234 magic; 204 a header cut short or a picture the file's
    // data cannot fill; 206 a depth other than 1, 2, 3, 4 and 8; 403 the picture cannot be made.
    // Blocks that end early keep the rows unpacked so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
