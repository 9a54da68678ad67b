// Tone corrections driven by the picture's own histograms. See EffectPixels.h for the
// conventions of the effects.
#pragma once

#include "imaging/NImageBuffer.h"

// Histogram equalisation of the integer luma onto 0..maximum (maximum clamped to 0..255; 255 is
// the classic equalisation, smaller values compress the result towards black). Every pixel
// moves by the change of its luma, which roughly keeps its hue. Exactly 24 bpp; maximum not 0.
bool EqualizeLuma(NImageBuffer& picture, int maximum);

// Tone map shaped by the luma histogram: frequent luma values become light, rare ones dark
// (table[i] = (count[i] - least) / (most - least) * 255). Exactly 24 bpp; enable not 0. A picture
// whose luma values all occur equally often is left as it is.
bool MapLumaByHistogram(NImageBuffer& picture, int enable);

// Stretches the luma between the black and white points of its histogram (FindLevelsClipPoints),
// moving each pixel's channels by the change of its luma. 24 and 32 bpp; alpha stays.
bool AutoLevelsLuma(NImageBuffer& picture);

// Stretches blue, green and red each between their own black and white points, then raises the
// saturation by 8. 24 and 32 bpp; alpha stays.
bool AutoLevelsChannels(NImageBuffer& picture);

// AutoLevelsLuma, then AutoLevelsChannels.
bool AutoLevels(NImageBuffer& picture);
