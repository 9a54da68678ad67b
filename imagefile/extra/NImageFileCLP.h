// NImageFileCLP: the Windows clipboard file format class (read only). It reads the first
// device-independent bitmap (clipboard format 8) stored in a Windows 3 clipboard file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileCLP : public NImageFile {
public:
    // Signature check: 16 bits 50000 (0xC350), then an entry count (16 bits at 2) from 1 to 199.
    // Needs 5 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 0; 103 the file does not open; 200 no clipboard magic; 206 an
    // entry count outside 1..200 or no bitmap entry; 204 the directory or the bitmap entry's data
    // does not lie inside the file, or the data is too short for its header, palette and pixels;
    // 300 no memory for the entry's data; 403 the picture cannot be made (an unknown bit count).
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
