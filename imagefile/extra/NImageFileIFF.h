// NImageFileIFF: the Amiga IFF format class (read only). Interleaved bitmaps (form type "ILBM")
// are converted plane by plane; every other form type (such as "PBM ") is read as chunky rows.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"

class NImageFileIFF : public NImageFile {
public:
    // Signature check: "FORM", "LIST" or "CAT " (any IFF file, also sound and other data). Needs 5
    // bytes from the offset.
    static bool IsFormat(const uint8_t* bytes, size_t offset, size_t length);
    // Where a container at byte 0 ends, as Load measures it: past the body's rows, and at least
    // the container's stated end. Broken where Load finds no picture (a chunk of size 0, a short
    // "BMHD", a "BODY" without a header before it, no bit planes, a size no picture can have).
    static PictureExtent FindExtent(ByteSource& source);

    // Both flags are ignored. 0; 103 the file does not open; 200 not an IFF container; 403 the
    // picture cannot be made; 404 no "BMHD" and "BODY" could be read (the chunks end, a chunk
    // of size 0, an unreadable "CMAP"). A file that ends inside the body loads with the rows
    // read so far. The consumed size covers the whole container as its header states it.
    NRESULT Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target) override;
    FileType GetFormatId() const override;
};
