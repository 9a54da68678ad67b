// NImageFileEMF: enhanced metafiles, placeable Windows metafiles and plain Windows metafiles,
// played by GDI into a 24-bit picture (read only).
//
// The picture takes the metafile's frame at the reference device's resolution, at most
// kLargestMetafileSide pixels a side (a larger drawing is scaled down); the area the drawing leaves
// empty has the load options' background colour, which the picture also records as its
// transparent colour.
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileEMF : public NImageFile {
public:
    // Metafiles are recognised by their extensions ("emf", "wmf") only: always false.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored; the path is not kept as the file name. 103 the file cannot be
    // mapped; 404 the metafile is not sound or cannot be converted; 205 its header cannot be
    // read; 403 the picture cannot be made.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;

    // The XOR of the first ten 16-bit words of a placeable metafile's 22-byte header.
    static uint16_t PlaceableChecksum(const uint8_t* header);
    // The metafile behind a placeable header (`size` bytes from the header on) as an enhanced
    // metafile whose frame is twice the header's rectangle, in hundredths of a millimetre. Null
    // for a wrong checksum, a unit count of 0, or a metafile that is not sound inside the bytes.
    static HENHMETAFILE ConvertPlaceableWmf(const uint8_t* header, size_t size);
};
