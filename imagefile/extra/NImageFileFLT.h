// NImageFileFLT: the FLT (BIAS Fringe Processor) format class (read only).
//
// Reads 1-, 8-, 16- and 32-bit grey rasters into 1- or 8-bit pictures with grey palettes:
// 16-bit samples keep their high byte, 32-bit samples are floats mapped to the grey index.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFileFLT : public NImageFile {
public:
    // Signature check: "IMAGE11" followed by a zero byte. Needs 9 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where a picture at byte 0 ends, as Load measures it: the header, its extension and the
    // rows. Broken for a depth or a size Load refuses.
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 200 no "IMAGE11"; 205 a depth other than 1, 8, 16 or 32; 403 the
    // picture cannot be made. A file that ends early keeps the rows read so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;

    // The grey index of a 32-bit sample: x + 189 above 0, 2x + 189 below 0, 0 for 0 (and for
    // values that are not numbers), taken as the low 8 bits of the truncated result.
    static uint8_t FloatSampleToIndex(float sample);
};
