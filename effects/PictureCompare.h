// Comparisons of two pictures: shares of equal bytes, equality, and the vertical shift at which
// two pictures overlap. Neither picture is changed: pictures of another depth or size are
// compared through converted copies.
#pragma once

#include <cstdint>

#include "imaging/NImageBuffer.h"

// Share (0..100) of the colour bytes of other, brought to 24 bpp and to the picture's size
// (nearest pixel), that equal the picture's own at 24 bpp. When that share is 80 or below and
// exactOnly is false, the tolerant share is answered instead: bytes within 5 of each other
// count. False when either picture is not valid, percent is null or a conversion fails.
bool ComparePictures(const NImageBuffer& picture, const NImageBuffer& other, int* percent, bool exactOnly);

// Looks for the first shift i (0 <= i < height) at which scan lines i.. of the picture match
// scan lines 0.. of other over the column band [firstColumn, firstColumn + columnCount): the
// share of equal colour bytes reaches thresholdPercent, or every byte is equal. Answers true with
// *row = i; false with *row = 0 when no shift does. *percent holds the share of the last shift
// compared. Both pictures must have the same size and the band must lie inside them (false
// otherwise, nothing written).
bool FindRowOverlap(const NImageBuffer& picture, const NImageBuffer& other, int firstColumn, int columnCount,
                    int thresholdPercent, uint32_t* row, int* percent);

// True when both pictures are valid 24-bpp pictures of the same size whose every colour byte is
// equal. IsIdenticalPicture gives the same verdict, stopping at the first row that differs.
bool IsEqualPicture(const NImageBuffer& picture, const NImageBuffer& other);
bool IsIdenticalPicture(const NImageBuffer& picture, const NImageBuffer& other);
