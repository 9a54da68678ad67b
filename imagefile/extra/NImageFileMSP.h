// NImageFileMSP: the Microsoft Paint format class (read only).
//
// Black-and-white pictures: version 1 ("DanM") raw rows, version 2 ("LinS") run-length coded rows
// behind a table of row lengths; rows top row first, a set bit white.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileMSP : public NImageFile {
public:
    // Signature check: the key "DanM" (version 1) or "LinS" (version 2). Needs 5 bytes from the
    // offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 neither key; 204 a header cut short or rows the file's data
    // cannot fill; 403 the picture cannot be made. A file that ends early keeps the rows read so
    // far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
