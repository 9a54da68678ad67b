// The four-point warp: maps a 32-bit picture onto a quadrilateral given by where its four corners
// (top-left, top-right, bottom-right, bottom-left) should land, y growing downward. Every source
// pixel becomes a small quadrilateral whose colour is spread over the output pixels by the exact
// area it covers; the covered area, weighted by the source alpha, becomes the output alpha.
// Entry point: NImageBuffer::WarpIntoQuad. Every warp keeps its own state, so warps may run on
// several threads at once.
#pragma once

#include <cstdint>

struct WarpPoint {
    float x;
    float y;
};

// The integer nearest to v when v lies within 1e-9 of it, else floor(v) (respectively ceil(v)).
int64_t FloorTolerant(double v);
int64_t CeilTolerant(double v);

// Area of the part of the quadrilateral p[0..3] (relative to an output pixel) that lies inside
// the unit square [0, 1] x [0, 1].
float QuadUnitSquareArea(const WarpPoint p[4]);
