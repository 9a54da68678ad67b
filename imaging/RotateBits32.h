// Rotation by three shears of 32-bit pixels, all four bytes (alpha included) treated alike.
//
// Rows are bottom-up, so a positive angle turns the picture clockwise on screen. The canvas grows
// to hold the whole turned picture; uncovered corners take the background pixel value.
#pragma once

#include <cstdint>

// A block of 32-bit pixels: bits from malloc (freed by the owner with free), stride 4 * width.
struct RotateImage32 {
    uint32_t* bits;
    uint32_t width;
    uint32_t height;
    uint32_t stride;  // bytes
};

// result receives a new block of source turned by angleDegrees; the source is only read. A source
// without bits gives its sizes and no bits; a failed allocation, a result too large to address
// or an angle that is not a finite number gives null bits. An exact multiple of 90 degrees is a
// plain quarter turn (or copy), with no border.
void RotateBits32(RotateImage32* result, const RotateImage32* source, uint32_t background, double angleDegrees);

// The three shears alone, for an angle within about +-45 degrees.
void RotateBits32ByShears(RotateImage32* result, const RotateImage32* source, uint32_t background,
                          double angleDegrees);
