// Histograms of a picture, black and white points, bilinear sampling and row addressing: the
// small operations the levels, distortion and fingerprint functions share.
//
// The effects are functions on an NImageBuffer passed first ("the picture"); see EffectPixels.h
// for the conventions they all follow.
#pragma once

#include <windows.h>

#include <cstdint>

#include "imaging/NImageBuffer.h"

// Counts the red, green, blue and luma ((19595 R + 38470 G + 7471 B) >> 16) values of every pixel
// of a 24- or 32-bpp picture into the arrays given (256 ints each; any may be null). Answers the
// chart scale: the smaller of the largest count in the four histograms and 2 % of the pixel
// count; 0, with nothing written, for an invalid picture or one below 24 bpp.
int ComputeHistograms(const NImageBuffer& picture, int* red, int* green, int* blue, int* luma);

// Draws the histograms given (any may be null) as a chart on the device context, each a filled
// antialiased curve over the previous ones in the order red, green, blue, luma, with alpha 220:
// column x + i rises to height - count[i] * height / scale, so a count at or above the scale
// reaches the top (y = 0) and the chart spans (x, 0) to (x + 256, height). A scale below 1 counts
// as 1. The two ints after x are not used. False when all four histograms are null or GDI+
// cannot draw on the device context.
bool DrawHistogram(HDC dc, int x, int unused1, int unused2, int height, const int* red, const int* green,
                   const int* blue, const int* luma, int scale);

// Black and white points of a 256-count histogram: the levels where the share of the counts
// from the dark end (and from the light end) stops getting closer to 0.6 %. Black 0 and white
// 255 when no level does; both 0 for an empty histogram.
void FindLevelsClipPoints(const int* histogram, int* black, int* white);

// Bilinear sample of four pixels (x0, y0), (x1, y0), (x0, y1), (x1, y1) of a 24- or 32-bpp
// picture at the fractions fx along x and fy along y (0..1). Answers 0xAARRGGBB. On 32 bpp,
// unless all four are opaque, the colours are weighted by alpha; a sample whose alpha comes to 0
// is transparent white (0x00FFFFFF).
uint32_t SampleBilinear(double fx, double fy, int bitsPerPixel, const uint8_t* p00, const uint8_t* p10,
                        const uint8_t* p01, const uint8_t* p11);

// Address of scan line `row` (0 = the bottom row); null when the row is outside the picture or
// the picture has no pixels.
uint8_t* GetRowPointer(const NImageBuffer& picture, int row);
