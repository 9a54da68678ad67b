// NImageFileXBM: the X bitmap (XBM) format class (read only).
//
// C source text: "..._width" and "..._height" defines and an array of char (8-bit) or short
// (16-bit) elements in braces. Each row starts with a new element; pixel j of a row is bit
// (j mod element bits) of its element, least significant bit first; a set bit is black.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileXBM : public NImageFile {
public:
    // XBM files have no signature worth testing: always false; the extension "xbm" selects the
    // class.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 204 no array, or no width, height or element type before it, or
    // more elements than the rest of the text can hold; 403 the picture cannot be made. Elements
    // missing at the end of the text are 0.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
