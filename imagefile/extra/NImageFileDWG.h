// NImageFileDWG: the preview picture of AutoCAD drawings (read only).
//
// Shows the device-independent bitmap or the Windows metafile that a drawing of release 13 or
// later keeps in its image data; the drawing itself is not rendered. Index 0 of a palette preview
// (its background) and the area a metafile leaves empty take the load options' background colour.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class StdioStream;

class NImageFileDWG : public NImageFile {
public:
    // Signature check: "AC10". Needs 5 bytes from the offset. Drawings are recognised by their
    // extension only; nothing calls it.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // The 16 bytes that open the image data: 1F 25 6D 07 D4 36 28 28 9D 57 CA 3F 9D 44 10 2B.
    static bool IsPreviewSentinel(const uint8_t* bytes);

    // Both flags are ignored. 200 no "AC10"; 206 no image data, no bitmap or metafile entry, or an
    // entry that does not lie inside the file or does not hold its picture; 300 no memory for the
    // bitmap; 403 the picture cannot be made; 404 the metafile cannot be read or converted; 205
    // the metafile has no usable size.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;

private:
    NRESULT LoadBitmap(StdioStream& in, uint32_t start, uint32_t size, NImageBuffer& pic);
    NRESULT LoadMetafile(const wchar_t* path, uint32_t start, uint32_t size, NImageBuffer& pic);
};
