// The rows of a picture at 24 or 32 bits, for writers whose format stores only those depths.
// A picture already at the depth is read in place; any other is converted once, as a whole (a
// 32-bit picture asked for at 24 bits is composited over white, as NImageBuffer::GetBitsAs does).
#pragma once

#include <cstddef>
#include <cstdint>

class NImageBuffer;

class RowsAtDepth {
public:
    RowsAtDepth() = default;
    ~RowsAtDepth();
    RowsAtDepth(const RowsAtDepth&) = delete;
    RowsAtDepth& operator=(const RowsAtDepth&) = delete;

    // bitsPerPixel 24 or 32. False when the picture is not valid or the conversion finds no memory.
    bool Prepare(const NImageBuffer& picture, int bitsPerPixel);
    // Scan line 0 is the bottom row, as in the picture.
    const uint8_t* Row(int scanLine) const { return rows_ + static_cast<size_t>(scanLine) * stride_; }

private:
    const uint8_t* rows_ = nullptr;
    uint8_t* converted_ = nullptr;
    size_t stride_ = 0;
};
