// NImageFileZBR: the Zoner Zebra metafile preview format class (read only).
//
// Shows the 100 x 100 16-colour preview stored at the start of ZBR files; the file's description
// becomes the metadata's comment.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileZBR : public NImageFile {
public:
    // Signature check: 16 bits 666 (9A 02), then a version (16 bits at 2) up to 4. Needs 5 bytes
    // from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no 666 magic; 404 a version above 4, or a version, description
    // or preview cut short; 403 the picture cannot be made.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
