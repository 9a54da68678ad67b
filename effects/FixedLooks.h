// Fixed looks: set sequences of the picture record's adjustments (offsets are red, green, blue).
// Each takes any valid picture, brings it to 24 bpp first (a 32-bpp picture is composited over
// white) and answers true once that conversion has succeeded, whatever the later steps answer.
#pragma once

#include "imaging/NImageBuffer.h"

// Outline, inverted, contrast 1, gamma 0.35, saturation -100.
bool PencilSketch(NImageBuffer& picture);
// Edges, SepiaTone (weak), erosion, inverted, erosion, offsets +50, +50, +100.
bool InkDrawing(NImageBuffer& picture);
// InkDrawing, inverted.
bool InkDrawingInverted(NImageBuffer& picture);
// Offsets 0, 0, +100; hue +25; saturation -60; contrast 60; gamma 1.
bool BlueTone(NImageBuffer& picture);
// BlueTone; saturation -50; posterised through 16 colours.
bool BlueTonePosterized(NImageBuffer& picture);
// Offsets +80, 0, -100; hue +25; saturation -80; brightness -15; contrast 60; gamma 1.
bool WarmFadedTone(NImageBuffer& picture);
// Offsets -50, 0, +50; hue +180; saturation -90; brightness +40; contrast 27; gamma 0.5; posterised
// through 16 colours.
bool AgedPhotoTone(NImageBuffer& picture);
