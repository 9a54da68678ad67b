// NImageFilePCT: the Apple Macintosh PICT format class (read only). It reads only the JPEG
// picture embedded in a PICT file; files reach it by their extension.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePCT : public NImageFile {
public:
    // PICT has no signature that this class tests: always false.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 when the file holds no JPEG start within its first 102400
    // bytes; otherwise the JPEG decoder's answer (0, 103, 403, 404). Full size and consumed size
    // are those of the embedded JPEG decode.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
