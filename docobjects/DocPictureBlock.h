// Picture blocks of the document file: a header, an optional palette and the pixel rows of an
// NImageBuffer (bottom-up, rows padded to 4 bytes), raw or zlib-compressed.
//
// Forms: full (width, height, bpp, dpi x, dpi y, palette for 8 bpp or less, compressed flag,
// data), without palette (the same without the palette) and short (width, height, bpp,
// compressed flag, data). Compressed data is a u32 length and that many zlib bytes; the flag
// value 1 means compressed, every other value raw.
#pragma once

#include "docobjects/DocFileStream.h"
#include "docobjects/NResult.h"
#include "imaging/NImageBuffer.h"

#include <cstdint>

enum class DocPictureForm { Full, NoPalette, Short };

enum class DocPictureStatus {
    Read,            // the picture holds the block
    NotCreated,      // the block was passed over; the picture could not be made (or has no
                     // palette to be made with) and stays empty
    NoBuffer,        // no memory for the compressed data (the block was passed over)
    InflateFailed,   // the data does not inflate to the rows (the block was passed over)
    Truncated,       // the block does not fit in the rest of the file
};

struct DocPictureHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t bitsPerPixel = 0;
    bool compressed = false;
};

// Reads one block into picture (replaced). header answers what the block's header said.
DocPictureStatus ReadDocPicture(DocFileReader& in, DocPictureForm form, NImageBuffer& picture,
                                DocPictureHeader* header = nullptr);

// Writes the picture as one block. Pictures of 8 bpp or less are written at 24 bpp in the forms
// without a palette; a picture that is not valid as an empty block (0 x 0, raw, no data).
// 0; 104 a write failed; 300, 301 compression.
NRESULT WriteDocPicture(DocFileWriter& out, DocPictureForm form, const NImageBuffer& picture, bool compressed);
