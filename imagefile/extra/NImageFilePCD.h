// NImageFilePCD: the Kodak PhotoCD format class (read only). It decodes the uncompressed Base
// (768 x 512) or, for previews, Base/16 (192 x 128) picture of an image pack from YCC to 24-bit
// RGB and applies the stored orientation.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFilePCD : public NImageFile {
public:
    // Signature check: "PCD_IPI" at 2048. Needs 2055 bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Unknown for an image pack at byte 0: Load counts the whole file, and nothing in the pack
    // tells how far its larger resolutions reach. Broken without "PCD_IPI" at 2048.
    static PictureExtent FindExtent(ByteSource& source);

    // preview: Base/16 in place of Base; quick is ignored. 0; 103 the file does not open; 200 no
    // "PCD_IPI" at byte 2048; 403 the picture cannot be made. A file that ends early loads with
    // the rows read so far. The picture size reported is always that of Base (768 x 512, or
    // 512 x 768 when turned), and the consumed size is the whole file: an image pack carries
    // its larger resolutions after Base.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;

    // One YCC sample to red, green, blue.
    static void YccToRgb(uint8_t luma, uint8_t chroma1, uint8_t chroma2, uint8_t rgb[3]);
};
