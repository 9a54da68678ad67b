// Stack Blur (Mario Klingemann's algorithm): a blur close to a Gaussian whose cost per pixel does
// not grow with the radius.
#pragma once

#include <cstdint>

#include "imaging/NImageBuffer.h"

// Multiplier and shift that divide a weighted sum by (radius + 1)^2 for radius 0..254:
// (sum * multiplier) >> shift.
uint32_t StackBlurMultiplier(int radius);
int StackBlurShift(int radius);

// Blurs every channel (alpha too, at 32 bpp) with the triangular kernel of weights
// radius + 1 - |k|, k = -radius..radius, along the rows and then along the columns, repeating the
// edge pixels beyond the borders. Radii above 254 count as 254; a radius below 1 changes nothing
// (and answers true). 24 and 32 bpp.
bool StackBlur(NImageBuffer& picture, int radius);
