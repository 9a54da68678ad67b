// Canvas resize with a placement: the picture keeps its pixels and gets a larger or smaller
// canvas around them.
#pragma once

#include <windows.h>

#include "imaging/NImageBuffer.h"

// Placement of the old picture on the new canvas (x, y from the top-left):
// 0 top-left, 1 top centre, 2 top-right, 3 centre-left, 4 centre, 5 centre-right, 6 bottom-left,
// 7 bottom centre, 8 bottom-right; any other value counts as 0. Centring uses integer halves.
//
// The picture becomes width x height at its own depth (the same palette below 16 bpp, the same
// resolution), filled with `fill` (with alpha 0 on 32 bpp), the old pixels placed on it and cut
// where they fall outside. False, with nothing changed, for an invalid
// picture, a size below 1, an unchanged size or a canvas that cannot be made.
bool ResizeCanvas(NImageBuffer& picture, int width, int height, int placement, COLORREF fill);
