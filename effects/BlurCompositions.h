// Sharpening and the effects composed of a blurred and a sharp version of the picture. See
// EffectPixels.h for the conventions of the effects.
#pragma once

#include "imaging/NImageBuffer.h"

// Unsharp masking against the 5 x 5 mean applied `passes` times: every byte of a pixel (alpha too,
// at 32 bpp) that differs from the blurred one by d with |d| >= threshold becomes own + d * amount.
// passes >= 1, amount 0..1, threshold 0..255; 24 and 32 bpp.
bool UnsharpMask(NImageBuffer& picture, int passes, float amount, int threshold);

// The 3 x 3 mean, then UnsharpMask (1, 0.5, 3) twice.
bool SmoothSharpen(NImageBuffer& picture);

// Blurs the picture (StackBlur with the radius) except for the rectangle (x, y, width, height from
// the top-left), which is sharpened and blended back through a radial mask: sharp at its centre,
// fading into the blur towards the ellipse inscribed in it. The rectangle is cut to the picture;
// false when nothing of it is left.
bool FocusRectangle(NImageBuffer& picture, int x, int y, int width, int height, int radius);

// Tilt-shift miniature look: contrast and saturation, then a sharp band between the rows top and
// bottom (counted from the top; both 0 put it at height / 2 + height / 6 .. + 2 height / 6) that
// fades over height / 6 rows into the near blur, which fades into the far blur further out. A
// non-zero angle (degrees) turns the band. `unused` is accepted and ignored.
bool TiltShift(NImageBuffer& picture, int nearBlur, int farBlur, int unused, int top, int bottom, int contrast,
               int saturation, double angle);

// Soft focus: the picture blurred (radius), brightened and contrasted, with the unblurred picture
// screened over it: 255 - (255 - sharp) (255 - blurred) / 255.
bool SoftFocusScreen(NImageBuffer& picture, int radius, int brightness, int contrast);

// Hard-light blend of the picture's own integer luma g over the blurred (radius) and brightened
// picture: blue with (100 - spread) g / 100, green with g, red with (100 + spread) g / 100, so the
// spread (clamped to 0..100) cools the shadows and warms the lights.
bool HardLightBlend(NImageBuffer& picture, int radius, int brightness, int spread);
