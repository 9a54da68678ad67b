// Blurs that average each pixel along a path: spin (an arc about the centre), zoom (a line toward
// the centre) and motion (a straight line). Each reads an unchanged copy of the picture. See
// EffectPixels.h for the conventions of the effects; x is the column from the left, y the scan
// line (0 = the bottom row). 24 and 32 bpp.
#pragma once

#include "imaging/NImageBuffer.h"

// Spin blur: every pixel averages itself and up to 128 samples on the arc that sweeps `angle`
// degrees each way about the centre (W / 2, H / 2), each the nearest pixel, all of weight 64, in
// 16.16 fixed point: 64 turns of the step trunc(angle pi 65536 / 181) / 64 each way by the
// second-order rotation. Samples that fall outside the picture are left out. Blue, green and red
// change; alpha stays. The angle is clamped to -360..360 (more than a full turn each way adds
// nothing); false when it is not finite or the copy cannot be made.
bool SpinBlur(NImageBuffer& picture, double angle);

// Zoom blur toward the centre (W / 2 (1 + cx), H / 2 (1 + cy)), in 16.16 fixed point: from the
// pixel's offset (dx, dy) to the centre, 64 steps of dx += trunc(trunc(dx / -16) strength / 1024)
// (dy likewise), each adding the pixel there when it lies in the picture. Colours are averaged
// with alpha weights (alpha 255 at 24 bpp) over the pixel and its samples, and alpha at 32 bpp is
// their mean; a pixel whose samples are all transparent keeps its colour with alpha 0. strength
// clamped to 1..150, cx and cy to -2..2; false when cx or cy is not finite.
bool ZoomBlur(NImageBuffer& picture, int strength, double cx, double cy);

// Motion blur: every pixel averages up to `length` pixels on the Bresenham line from it toward
// (trunc(length cos a), trunc(length sin a)), a = angle in degrees (y upward), ending early at the
// picture's border; colours weighted by alpha as in ZoomBlur. A line that comes to (0, 0) takes
// the pixel itself every time. length clamped to 1..150, so length 1 leaves the picture as it
// was.
bool MotionBlur(NImageBuffer& picture, int length, int angle);
