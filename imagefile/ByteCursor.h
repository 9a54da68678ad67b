// ByteCursor: sequential reading of a ByteSource through a small window, for the structure
// walks (PictureExtent.h) that follow a loader's reading byte by byte without a virtual call
// for each byte.
//
// The bytes readable end at the source's size or at kLargestPicture, whichever comes first (the
// cursor's limit). A read that would pass the limit fails; a walk then answers Unknown, since
// the picture may go on where it cannot look, or Broken where its loader needs those bytes and
// they lie past the largest picture. Positions never wrap: every step is checked
// against the limit before it is taken. Nothing is allocated.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imagefile/ByteSource.h"
#include "imagefile/PictureExtent.h"

class ByteCursor {
public:
    explicit ByteCursor(ByteSource& source, uint64_t position = 0);
    ByteCursor(const ByteCursor&) = delete;
    ByteCursor& operator=(const ByteCursor&) = delete;

    uint64_t Position() const { return position_; }
    uint64_t Limit() const { return limit_; }
    uint64_t Remaining() const { return position_ < limit_ ? limit_ - position_ : 0; }
    // True when count bytes from the position lie inside the limit.
    bool Holds(uint64_t count) const { return count <= Remaining(); }
    // True when count bytes from the position reach past kLargestPicture: no picture holds them,
    // so a loader that needs them in its file certainly refuses.
    bool PastLargest(uint64_t count) const { return count > kLargestPicture || position_ > kLargestPicture - count; }

    // False (and the position unchanged) past the limit; the limit itself may be reached.
    bool Seek(uint64_t position);
    bool Skip(uint64_t count);

    // The next byte, or -1 at the limit or when the source cannot be read.
    int Byte()
    {
        if (position_ >= windowStart_ && position_ - windowStart_ < windowSize_)
            return window_[position_++ - windowStart_];
        return RefillAndTake();
    }
    // Exactly count bytes; false when they are not all there (the position is then undefined).
    bool Read(void* buffer, size_t count);
    bool U16LE(uint16_t& value);
    bool U32LE(uint32_t& value);
    bool U16BE(uint16_t& value);
    bool U32BE(uint32_t& value);

private:
    int RefillAndTake();

    ByteSource& source_;
    uint64_t limit_;
    uint64_t position_;
    uint64_t windowStart_ = 0;
    size_t windowSize_ = 0;
    uint8_t window_[4096];
};
