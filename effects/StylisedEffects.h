// Stylised effects: a bevelled edge, a seamless tile, oil paint, a subpixel colour pattern and a
// pop-art grid. See EffectPixels.h for the conventions of the effects; all of these take 24- and
// 32-bpp pictures only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "imaging/NImageBuffer.h"

// Bevel of `width` pixels (rows counted from the top): the top and left bands are lightened
// towards white, the bottom and right bands darkened towards black, each channel c moving to
// c (1 - x) + 255 x (light) or c (1 - x) (dark), truncated and kept within 0..255. One strength
// x runs through the bands in the order top, bottom, left, right: it falls by 0.05 after each
// row of the top band and each column of the left band (never below 0), and rises by 0.05 after
// each of the 11 lines of the bottom and right bands nearest the border while it is below 1. A
// width larger than a side becomes min(width, height) - 1; width 0 changes nothing. Alpha stays.
bool BevelEdges(NImageBuffer& picture, unsigned width, float strength);

// A seamless tile: the picture blended with itself shifted by half its width and half its
// height, weighted so that its left and right edges, and its top and bottom edges, continue
// into one another. Every byte of a pixel is blended, alpha included. Both sides at least 35.
bool MakeTileable(NImageBuffer& picture);

// Oil paint: each pixel takes the colour (all bytes) of the first pixel, in the (2r + 1)^2 window
// around it read scan line by scan line, whose grey level ((29 B + 150 G + 77 R + 128) >> 8) is
// the most frequent in the window; outside the picture the window sees opaque white. Then the
// 3 x 3 mean filter. radius at least 1.
bool OilPaint(NImageBuffer& picture, int radius);

// Subpixel pattern: in each pixel one channel, chosen by the pixel's place in a 5 x 15 pattern
// (column x mod 5, scan line y mod 15), is doubled (255 from 128 up).
bool SubpixelPattern(NImageBuffer& picture);

// Pop-art grid: tiles (4, 9 or 16; any other value counts as 4) copies of the picture shrunk to
// width / side x height / side (side 2, 3 or 4), reduced to black and white at the float-luma
// level 78 + 10 thresholdStep (at most 255), each with its own pair of colours for white and
// black, laid out from the top-left corner; the strips the grid leaves at the right and the
// bottom keep their pixels. False for a step below 1 or a picture smaller than the grid's side.
bool PopArtGrid(NImageBuffer& picture, int thresholdStep, int tiles);

namespace effects {

// The channel (0 blue, 1 green, 2 red) that SubpixelPattern doubles, by scan line mod 15 and
// column mod 5.
extern const uint8_t kSubpixelPattern[15][5];

// The colours of one pop-art tile: the one that replaces white and the one that replaces black.
struct PopArtColours {
    COLORREF forWhite;
    COLORREF forBlack;
};

// The colour pairs of the 2 x 2, 3 x 3 and 4 x 4 grids, tile by tile.
extern const PopArtColours kPopArt4[4];
extern const PopArtColours kPopArt9[9];
extern const PopArtColours kPopArt16[16];

// The share of byte value m that MakeTileable keeps at a place o columns and t rows from the
// centre lines, for a picture of (l + 1) * 2 by (k + 1) * 2 pixels (o from 0 to l, t from 0 to
// k). The place o, t and the place l - o, k - t meet in one output byte, and their shares add up
// to the whole value (less what the integer divisions drop, or one more on the diagonal).
int64_t SeamlessTileShare(int64_t m, int64_t o, int64_t t, int64_t l, int64_t k);

// Tile positions in units of the tile size (column, row from the top), in tile order; a grid of
// n tiles uses the first n.
extern const POINT kPopArtPlaces[16];

}  // namespace effects
