// Raw resamplers: resize bare DIB rows (bottom-up, rows padded to 4 bytes) by one of five simple
// methods. They work on memory, not on NImageBuffer; the caller owns both blocks and sizes the
// destination for its own width and height. Padding bytes of destination rows are never written.
#pragma once
#include <cstdint>

// Modes: 0 nearest pixel (copies whole pixels of bpp/8 bytes), 1 area coverage in two passes,
// 2 cubic B-spline over 4 x 4 pixels, 3 Gaussian over 9 x 9 pixels (modes 1 to 3 filter the first
// three bytes of each pixel, at most bpp/8 of them), 4 area average, rows first (24 bpp only).
// Zero sizes write nothing; equal sizes copy the rows whatever the mode; other modes write nothing.
void ResampleBits(void* destination, unsigned destinationWidth, unsigned destinationHeight, const void* source,
                  unsigned sourceWidth, unsigned sourceHeight, uint8_t bpp, uint8_t mode);

// The same methods on 32-bpp rows with all four bytes of a pixel filtered alike, for pictures
// whose colours are premultiplied by their alpha. Mode 0 and equal sizes behave as ResampleBits.
void ResampleBits32(void* destination, unsigned destinationWidth, unsigned destinationHeight, const void* source,
                    unsigned sourceWidth, unsigned sourceHeight, uint8_t mode);

// The five methods; arguments in the order of ResampleBits.
void ResampleNearest(void* destination, unsigned destinationWidth, unsigned destinationHeight, const void* source,
                     unsigned sourceWidth, unsigned sourceHeight, uint8_t bpp);
void ResampleAreaCoverage(void* destination, unsigned destinationWidth, unsigned destinationHeight,
                          const void* source, unsigned sourceWidth, unsigned sourceHeight, uint8_t bpp);
void ResampleBSpline(void* destination, unsigned destinationWidth, unsigned destinationHeight, const void* source,
                     unsigned sourceWidth, unsigned sourceHeight, uint8_t bpp);
void ResampleGaussian(void* destination, unsigned destinationWidth, unsigned destinationHeight, const void* source,
                      unsigned sourceWidth, unsigned sourceHeight, uint8_t bpp);
void ResampleAreaAverage24(void* destination, unsigned destinationWidth, unsigned destinationHeight,
                           const void* source, unsigned sourceWidth, unsigned sourceHeight, uint8_t bpp);

// Area passes of mode 1: along the rows of a block of `height` rows, along the columns of a block
// of `width` columns, and over one row.
void ResampleAreaHorizontal(void* destination, unsigned destinationWidth, const void* source, unsigned sourceWidth,
                            unsigned height, uint8_t bpp);
void ResampleAreaVertical(void* destination, unsigned destinationHeight, const void* source, unsigned sourceHeight,
                          unsigned width, uint8_t bpp);
void ResampleAreaRow(void* destinationRow, unsigned destinationWidth, const void* sourceRow, unsigned sourceWidth,
                     uint8_t bpp);
