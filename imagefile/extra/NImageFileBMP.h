// NImageFileBMP: the BMP (Windows or OS/2 bitmap) format class.
//
// Reads bitmaps of 1 to 32 bits per pixel: uncompressed, run-length coded (RLE8, RLE4) or with
// 16-bit bit fields (5-6-5 or 5-5-5, decoded to 24 bits); OS/2 core headers and info headers of
// any larger size (40, 52, 56, 64, 108, 124 bytes, ...). Writes uncompressed bitmaps with a
// 40-byte info header. A file cut short still loads: what was decoded stays, the rest is 0.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFileBMP : public NImageFile {
public:
    // Signature check: "BM" and an info-header size (32 bits at 14) from 12 to 108, or 124 (the
    // version-5 header that common tools write). Needs 18 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where a bitmap at byte 0 ends, as Load measures it: the pixel offset plus the rows it
    // reads, or the end-of-bitmap escape of run-length data. Broken for a header Load refuses
    // (planes 0, a bit count outside 1..32, an unknown compression, a size no picture can have).
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 200 no "BM"; 204 planes 0 or a bit count outside 1..32; 203 an
    // unknown compression; 403 the picture cannot be made.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    NRESULT SaveFrom(const wchar_t* path, NImageFile* source) override;
    // The metadata is not written. 400 no valid picture; 104 the file cannot be created; 102 a
    // write failed (the partial file is deleted).
    NRESULT Save(const wchar_t* path, NImageBuffer* picture, ImageMetadata* metadata) override;
    FileType GetFormatId() const override;

    // Widens `width` 2-bit pixels at the start of row to 4 bits per pixel in place, walking from
    // the last pixel to the first so that no source bits are overwritten before use. The row
    // must hold (width + 1) / 2 bytes.
    static void ExpandRow2To4(uint8_t* row, int width);
};
