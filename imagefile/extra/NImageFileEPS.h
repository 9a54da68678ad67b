// NImageFileEPS: the preview of EPS files with the binary DOS header (read only).
//
// Shows the TIFF preview (loaded through the TIFF reader), or else the Windows-metafile preview
// played by GDI onto the load options' background colour; the PostScript itself is not rendered.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"

class NImageFileEPS : public NImageFile {
public:
    // Signature check: C5 D0 D3 C6, the binary EPS header that the loader tests. Needs 5 bytes
    // from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);

    // Both flags are ignored. 200 no binary EPS header; 204 a header cut short or a preview that
    // does not lie inside the file; 206 neither a TIFF nor a metafile preview; 300 no memory for
    // the TIFF preview; 104 no temporary file for it; 404 the TIFF preview is not a picture, or
    // the metafile is not sound or cannot be converted; 205 the metafile has no usable size; 403
    // the picture cannot be made; other answers of the TIFF load as they are.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
