// Regions of a picture: the bounding box of a colour, a tolerant flood replacement of a colour,
// and the largest rectangle without black pixels. Coordinates count from the top-left pixel.
#pragma once

#include <windows.h>

#include "imaging/NImageBuffer.h"

// Bounding box of the pixels of a 24-bpp picture that have exactly the colour: left, top, right,
// bottom inclusive, or with sizeFlag left, top, width, height. A picture without the colour gives
// (width, height, 0, 0) (with sizeFlag: right and bottom below 1), so left > right tells that
// nothing was found. False for an invalid picture, another depth or a null box.
bool FindColourBounds(const NImageBuffer& picture, COLORREF colour, RECT* box, bool sizeFlag);

// Flood replacement from (x, y): the pixels reachable from the seed through neighbours (4 or,
// with eightNeighbours, 8) whose hue, lightness and saturation lie within the tolerances of the
// seed's (hue in degrees on the colour circle, lightness and saturation 0..1) take the new colour
// (alpha stays). False for an invalid picture, one below 24 bpp, a seed outside it or when the
// working memory cannot be had.
bool FloodReplaceColour(NImageBuffer& picture, int x, int y, COLORREF newColour, double hueTolerance,
                        double lightnessTolerance, double saturationTolerance, bool eightNeighbours);

// The largest rectangle of a 24-bpp picture in which every pixel has a non-zero channel, as a
// RECT with exclusive right and bottom (the first of equal largest ones, scanning from the bottom
// row up). A picture that is black everywhere gives an empty RECT (0, 0, 0, 0). False for an
// invalid picture, another depth or a null rectangle.
bool FindLargestNonBlackRect(const NImageBuffer& picture, RECT* rect);
