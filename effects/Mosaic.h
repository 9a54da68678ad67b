// Mosaics: square blocks of one colour, and round dots of the block colours on black. See
// EffectPixels.h for the conventions of the effects.
//
// The block grid starts at the left column and at the bottom row in memory (scan line 0); blocks
// at the right and top edges are cut by the border of the picture.
#pragma once

#include "imaging/NImageBuffer.h"

// Every block of blockSize x blockSize pixels gets, in each byte of its pixels (alpha included at
// 32 bpp), the mean of that byte over the block (sum divided by the block's pixel count,
// truncated). 24 and 32 bpp; blockSize from 1 to the width (1 changes nothing).
bool Pixelate(NImageBuffer& picture, int blockSize);

// Pixelate, then a black picture with one round dot per block that shows the block's colour: an
// antialiased ellipse spanning blockSize - 1 pixels each way from the block's first column and
// row. Alpha stays as Pixelate left it. The same sizes as Pixelate; false, with the picture
// unchanged, when the dot mask cannot be drawn.
bool DotMosaic(NImageBuffer& picture, int blockSize);
