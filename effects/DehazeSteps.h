// The steps of the dehaze effect (Dehaze.h), each usable on its own.
//
// Grey pictures are 8 bpp with the grey palette (entry i = grey i); colour pictures 24 or 32 bpp
// (alpha is not read). Every step makes its output picture anew and answers false, leaving the
// output as it was, when an input does not fit (invalid, wrong depth, sizes that differ) or memory
// runs out. Pixel loops split the rows over the OpenMP team.
#pragma once

#include <array>
#include <cstddef>

#include "base/ProgressSink.h"
#include "imaging/NImageBuffer.h"

// The haze colour: blue, green, red on the 0..255 scale.
using AtmosphericLight = std::array<double, 3>;

// Bytes the guided filter's coefficient rows may take at once: larger pictures are filtered in
// bands of rows (the rows of one window are kept whatever this says).
constexpr size_t kGuidedFilterBudget = size_t{64} << 20;

// A grey picture of that size, all 0.
bool MakeGreyPicture(NImageBuffer& grey, int width, int height);

// out(i, k) = the smallest of blue, green and red over the window of rows i - radius .. i + radius
// and columns k - radius .. k + radius, clipped to the picture. A negative radius counts as 0.
bool CalcDarkChannel(NImageBuffer& out, const NImageBuffer& picture, int radius);

// The haze colour from the brightest part of the dark channel (a grey picture of the picture's
// size): the ceil(n / 1000) pixels of the n with the highest dark values are marked (of equal
// values, those first in memory order); per channel, light = the mean of the ceil(f / 100) highest
// values of the f marked pixels.
bool CalcAirlight(const NImageBuffer& dark, const NImageBuffer& picture, AtmosphericLight& light);

// Transmission map: the dark channel (radius) of the picture divided by the light per channel
// (lround(min(255, value / light * 255))), then T = lround((1 - dark / 255 * 0.95) * 255).
// A channel whose light is 0 or less carries no haze and takes no part (its quotient counts
// as 255).
bool CalcTransmission(NImageBuffer& out, const NImageBuffer& picture, const AtmosphericLight& light, int radius);

// Colour guided filter: the input (grey, the guide's size) fitted in every window of
// (2 radius + 1)^2 pixels, clipped, as a_B B + a_G G + a_R R + b of the guide's channels with the
// regularisation epsilon (> 0, on the 0..255 scale); out = lround(clamp(mean a . guide + mean b))
// with the coefficients averaged over the same window. Progress, when given, goes from 0 to 100
// of 100 as the coefficient rows are done, from the worker threads. A negative radius counts as 0.
bool GuidedFilterColor(NImageBuffer& out, const NImageBuffer& guide, const NImageBuffer& input, double epsilon,
                       int radius, NProgressSink* progress, size_t coefficientBudget = kGuidedFilterBudget);

// Haze-free colours: with A = light / 255 and t = max(T / 255, 0.1) from the transmission (grey,
// the picture's size), J = lround(clamp(((I / 255 - A) / t + A) * 255, 0, 255)) per channel.
// out becomes a 24-bpp picture of the picture's size.
bool CalcRecover(NImageBuffer& out, const NImageBuffer& picture, const NImageBuffer& transmission,
                 const AtmosphericLight& light);
