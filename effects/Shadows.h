// Drop shadows and glowing edges. See EffectPixels.h for the conventions of the effects.
#pragma once

#include <windows.h>

#include "imaging/NImageBuffer.h"

// The picture becomes a 24-bpp canvas margin pixels larger on every side, filled with the
// background, with a shadow offset pixels wide to the right of and below the picture (a 5 x 5
// mean applied 14 times softens its edges).
bool SimpleShadow(NImageBuffer& picture, COLORREF shadowColour, COLORREF backgroundColour, int margin, int offset);

// The picture becomes a 24-bpp canvas e = 2 distance + 2.5 blurRadius pixels larger on every side
// with a blurred shadow (box blur, 3 passes) cast distance pixels away: angle 0..89 to the lower
// left, 90..179 upper left, 180..269 upper right, 270..359 lower right; other angles cast it
// straight under the picture. opacity is in percent (100 = the shadow colour, 0 = the background).
// With boxFlag, pictures wider and taller than 200 pixels get a rectangular shadow built from a
// small blurred square (fast); others get the silhouette of the picture, in which pixels of the
// key colour count as transparent (they show the background and cast no shadow).
bool DropShadow(NImageBuffer& picture, COLORREF shadowColour, COLORREF backgroundColour, int angle, int blurRadius,
                int opacity, int distance, bool boxFlag, COLORREF keyColour);

// The picture gets margin pixels of canvas colour on every side and a soft drop shadow, and
// becomes 32 bpp with an alpha channel that holds the picture and its shadow (opaque where the
// picture stands, fading with the shadow). Any valid picture; margin at least 1.
bool DropShadowWithAlpha(NImageBuffer& picture, COLORREF shadowColour, COLORREF backgroundColour,
                         COLORREF canvasColour, int margin);

// Glowing edges: the outline of a blurred copy, multiplied by factor (by factor twice where a
// channel of the outline is above threshold), then a little more saturation and a soft blur.
// The box blur steps work on 24-bpp pictures only; 32-bpp pictures get the glow unblurred.
bool GlowingEdges(NImageBuffer& picture, int threshold, int factor);
