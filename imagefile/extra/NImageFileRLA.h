// NImageFileRLA: the Wavefront RLA format class (read only).
//
// Run-length coded scan lines of 8-bit channels, found through a table of offsets: one colour
// channel gives an 8-bit grey picture; two or three colour channels give red, green (and blue);
// a matte channel becomes the alpha of a 32-bit picture.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileRLA : public NImageFile {
public:
    // Signature check: RLA files have no signature worth testing, so this always answers false
    // and the format is reached by its extension only.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 204 a header or offset table cut short, or a picture the file's data
    // cannot fill; 300 no memory for the offset table; 401 channels of other than 8 bits; 403 the
    // picture cannot be made. Scan lines outside the file, or cut short, stay black.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
