// Smooth scaler: area coverage of raw DIB rows (1, 4, 8, 16, 24 or 32 bpp, bottom-up, rows padded
// to 4 bytes) into 24-bit rows, in 12-bit fixed point. It takes only a complete shrink (both sides
// strictly smaller) or a complete enlargement (both sides strictly larger), and copies a 24-bit
// picture of unchanged size; every other request is refused with a line in the library log.
#pragma once
#include <cstdint>

// One sample's weights in 12-bit fixed point (4096 = 1.0): w0 in the current unit; w1 > 0 its
// weight in the next unit (the sample straddles a boundary), -1 when the current unit ends exactly
// with this sample, 0 otherwise.
struct AreaWeight {
    int32_t w0;
    int32_t w1;
};

// A new[] array of n weights the caller deletes, null when memory runs out. Enlarging (shrink 0):
// n destination samples over m source samples; shrinking (shrink 1): n source samples over m
// destination samples.
AreaWeight* BuildAreaWeights(unsigned n, unsigned m, int shrink);

// Scales the source rows into 24-bit destination rows (blue, green, red) that the caller allocated
// for the destination size; padding bytes are not written. The palette (256 red, green, blue
// triplets) is needed for 1, 4 and 8 bpp and ignored otherwise; a 32-bpp pixel's fourth byte is
// ignored. Zero sizes and other depths write nothing.
void ScaleBufferVarnok(void* destination, unsigned destinationWidth, unsigned destinationHeight, const void* source,
                       unsigned sourceWidth, unsigned sourceHeight, uint8_t bpp, const uint8_t* paletteRgb);

// One row of `width` pixels at 1, 4, 8, 16, 24 or 32 bpp as 24-bit pixels (blue, green, red), read
// the way the scaler reads it. False (nothing written) for another depth or a missing palette.
bool ReadRowAs24(uint8_t* out, const uint8_t* row, unsigned width, uint8_t bpp, const uint8_t* paletteRgb);
