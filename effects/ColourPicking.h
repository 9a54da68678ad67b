// Effects that take a reference colour from one point of the picture. See EffectPixels.h for the
// conventions of the effects; these take 24- and 32-bpp pictures, change blue, green and red only,
// and refuse a point outside the picture (the picture then stays as it was).
//
// The point is read with GetPixel from the picture's own device context, so x counts from the left
// and y from the top. Hues, lightness and saturation are those of HslColour::SetFromRgb.
//
// The hue window of a picked hue h and a tolerance t (degrees) holds the hues from h - t to h + t,
// wrapping past 0 and 360: with h = 350 and t = 20 it holds 330..360 and 0 up to, but not
// including, 10. A tolerance of 180 or more holds every hue; grey has hue 0.
#pragma once

#include <windows.h>

#include "imaging/NImageBuffer.h"

// White point: with the picked colour's channel p, each channel c becomes
// min(255, 2c - trunc(c * p / 255)). A channel picked at 255 stays; one picked at 0 doubles.
bool WhitePointFromPixel(NImageBuffer& picture, int x, int y);

// Every pixel whose hue lies outside the hue window of the picked colour becomes grey (the integer
// luma); the others stay.
bool KeepPickedColour(NImageBuffer& picture, int x, int y, double tolerance);

// Turns the picked colour towards the target's hue: a pixel whose hue lies in the hue window of the
// picked colour, whose lightness lies within 2 * tolerance / 100 and whose saturation within
// 3 * tolerance / 100 of the picked colour's (bounds clamped to 0..1) gets its hue moved by the
// target's hue minus the picked hue, keeping its own lightness and saturation.
bool ReplacePickedColour(NImageBuffer& picture, int x, int y, double tolerance, COLORREF target);
