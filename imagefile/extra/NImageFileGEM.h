// NImageFileGEM: the GEM raster (IMG) format class (read only).
//
// Reads GEM bit-image files: run-length coded bit planes (pattern runs of the header's pattern
// length, solid runs, literal runs and vertical replication of scan lines) into 1-bit pictures
// (one plane), 4- or 8-bit grey pictures (2 to 8 planes; no plane set is white), or 24-bit
// pictures for the true-colour variant (header length 9 or 24 planes, with a repeat factor for
// every run). The coded data starts behind the header, whatever its length.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileGEM : public NImageFile {
public:
    // Signature check: 00 55 00 55 (32 bits 0x55005500) at 8. Needs 12 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 neither the 85-micrometre pixel size of the signature nor a
    // plain GEM header (header length of 8 words or more, 1 to 8 or 24 planes, a pixel size);
    // 403 the picture cannot be made. A file that ends early keeps the rows read so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
