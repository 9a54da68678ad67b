// Colour and tone effects that change each pixel on its own. See EffectPixels.h for the
// conventions of the effects; all of these take 24- and 32-bpp pictures and leave alpha as it was.
#pragma once

#include <cstdint>

#include "imaging/NImageBuffer.h"

// Sepia from the float luma b. strong: red b + 49 (255 above 206), green b - 14, blue b - 56 (0 at
// the bottom), then contrast -10 and brightness +5. Otherwise: red min(b + 26, 255), green
// max(b - 12, 32), blue max(b - 38, 32), then HardLightBlend (0, 0, 1) with the picture's own luma.
bool SepiaTone(NImageBuffer& picture, bool strong);

// Per-channel threshold, inverted: a channel c becomes 0 when 0 < 2c <= level (roughly) and 255
// otherwise, from v = 0 for c = 0, else ((level - c) / c) * 255 clamped, then inverted.
bool ChannelThreshold(NImageBuffer& picture, int level);

// Saturation by amount, then red + amount and blue - amount.
bool Warmth(NImageBuffer& picture, int amount);

// Lifts the shadows and holds back the highlights: a pixel of integer luma Y below 70 moves
// towards the picture brightened by 30 (weight 1 - Y / 255), one above 220 becomes 0.6 of the
// picture darkened by 20 plus 0.4 of itself; the others stay.
bool ToneCompress(NImageBuffer& picture);

// Negative in grey: Invert, then saturation -100.
bool NegativeGrey(NImageBuffer& picture);

// Quadratic tone curve of each channel: d = c / 128 - 1, value d^2 * 255, or (1 - d^2) * 255 when
// inverted.
bool QuadraticTone(NImageBuffer& picture, bool inverted);

// Black and white: every channel 255 where level < the float luma, else 0.
bool Threshold(NImageBuffer& picture, uint8_t level);

// Gaussian-like noise: each pixel's channels move by n * amount * 127 / 100, n a deviate from four
// uniform 15-bit draws (one per channel with colour, else one for all three). amount is clamped
// to 1..100. The draws come from a generator per row seeded from the C runtime's rand(), so that
// srand() makes the result reproducible on any number of threads.
bool AddNoise(NImageBuffer& picture, int amount, bool colour);
