// NImageFilePFM: the PFM (Portable Float Map) format class (read only).
//
// Colour ("PF") and grey ("Pf") pictures of 32-bit floats, rows from the bottom up, tone-mapped to
// 8 bits a channel: 24-bit pictures, or 8-bit with a grey ramp. The scale's sign gives the byte
// order of the floats (negative little-endian); its size divides every sample. The exposure comes
// from the load options' tone parameter.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFilePFM : public NImageFile {
public:
    // Signature check: "P" followed by "F" (colour) or "f" (grey). Needs 3 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no "PF" or "Pf"; 205 a header that does not parse (a size of 0,
    // a scale of 0 or one that is not a finite number); 204 a picture the file's floats cannot
    // fill; 403 the picture cannot be made. A file that ends early keeps the rows read so far.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
    bool IsHighDynamicRange() const override;

    // One pixel to bytes: each channel minus 0.15 (not below 0), times 2^(exposure + 2.47393)
    // (5.55555 for exposure 0), compressed logarithmically above 1, square root times 84.66,
    // clamped to 0..255 and truncated. out receives red, green, blue.
    static void ToneMap(float red, float green, float blue, int exposure, uint8_t out[3]);
};
