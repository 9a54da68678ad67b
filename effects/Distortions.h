// Geometric distortions: pinch and bulge, twirl, ripple, tangent waves and jitter. Each reads an
// unchanged copy of the picture and writes every pixel from samples of it. See EffectPixels.h
// for the conventions of the effects.
//
// Coordinates: x is the column from the left, y the scan line (y = 0 is the bottom row, y grows
// upward). W and H are the picture's size; the centre is (W / 2, H / 2) (real halves) unless cx
// and cy move it to (W / 2 (1 + cx), H / 2 (1 + cy)).
//
// Mapped pixels: Pinch, Twirl and Ripple map each pixel to a source position and write the
// bilinear sample (SampleBilinear) of the copy there, the position first clamped into the
// picture; a position outside (-1, W) x (-1, H) gives transparent white (white at 24 bpp). Blue,
// green, red are written, and alpha at 32 bpp. A pixel that the effect leaves in place keeps its
// own bytes.
//
// Integer parameters are clamped to the ranges given; a real parameter that is not finite is
// refused. 24 and 32 bpp.
#pragma once

#include "imaging/NImageBuffer.h"

// Pinch (amount < 0) or bulge (amount > 0): amount clamped to -200..100, cx and cy to -1..1. With
// r the distance from the centre, m = min(W / 2, H / 2) and w = 1 - r / m: where w > 0 the source
// is centre + (1 - amount / 100 * w^2) * offset; elsewhere the pixel stays.
bool Pinch(NImageBuffer& picture, int amount, double cx, double cy);

// Twirl: the offset from the centre turns by w^3 * t / 100 radians, t = -twist |twist| and
// w = 1 - r * (100 / radiusPercent) / min(W / 2, H / 2), where w > 0; elsewhere the pixel stays.
// So twist 10 turns the pixels next to the centre by -1 radian and the turn fades to 0 at
// radiusPercent % of the smaller half side. radiusPercent clamped to 1..300, cx and cy to -2..2.
bool Twirl(NImageBuffer& picture, int twist, int radiusPercent, double cx, double cy);

// Circular ripples: with the aspect factors (sx, sy) = (H / W, 1) for a tall picture, (1, W / H)
// for a wide one, u = (x - W / 2) sx, v = (y - H / 2) sy, rho = sqrt(u^2 + v^2) and
// s = amplitude * sin(rho * 2 pi / (2 halfWavelength) + phase), the source is
// ((s + u) / sx + W / 2, (s + v) / sy + H / 2): both coordinates move by s, along the diagonal.
// halfWavelength and amplitude are at least 1; phase in radians.
bool Ripple(NImageBuffer& picture, int halfWavelength, int amplitude, double phase);

// Waves along two axes turned by `angle` degrees (-45..45): each coordinate p in the turned frame
// bends to p + A tan(pi p / period), A = sign(strength) strength^2 / 10. Each pixel averages 17
// sub-pixel samples of the nearest source pixel (alpha too at 32 bpp). period clamped to
// 2..200, strength to -20..20 (0 counts as 1).
bool TangentWaves(NImageBuffer& picture, int period, int strength, int angle);

// Jitter: every pixel (all its bytes) is copied from a pixel at most size / 2 away along x and
// along y, chosen at random (offsets rand % size - size / 2, clamped into the picture). size
// clamped to 3..100. The random numbers come from a generator seeded by the scan line, so the
// result is the same on every run and whatever the number of threads.
bool Jitter(NImageBuffer& picture, int size);
