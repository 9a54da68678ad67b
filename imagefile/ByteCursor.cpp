#include "imagefile/ByteCursor.h"

#include <algorithm>
#include <cstring>

ByteCursor::ByteCursor(ByteSource& source, uint64_t position)
    : source_(source), limit_(std::min(source.Size(), kLargestPicture)), position_(std::min(position, limit_))
{
}

bool ByteCursor::Seek(uint64_t position)
{
    if (position > limit_)
        return false;
    position_ = position;
    return true;
}

bool ByteCursor::Skip(uint64_t count)
{
    if (!Holds(count))
        return false;
    position_ += count;
    return true;
}

int ByteCursor::RefillAndTake()
{
    windowSize_ = 0;
    windowStart_ = position_;
    if (position_ >= limit_)
        return -1;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(sizeof(window_), limit_ - position_));
    if (!source_.ReadAt(position_, window_, size))
        return -1;
    windowSize_ = size;
    return window_[position_++ - windowStart_];
}

bool ByteCursor::Read(void* buffer, size_t count)
{
    if (!Holds(count))
        return false;
    uint8_t* out = static_cast<uint8_t*>(buffer);
    while (count > 0) {
        if (position_ < windowStart_ || position_ - windowStart_ >= windowSize_) {
            // Large reads go straight to the source; small ones refill the window.
            if (count >= sizeof(window_)) {
                if (!source_.ReadAt(position_, out, count))
                    return false;
                position_ += count;
                return true;
            }
            const int first = RefillAndTake();
            if (first < 0)
                return false;
            *out++ = static_cast<uint8_t>(first);
            --count;
            continue;
        }
        const size_t inWindow = std::min<size_t>(count, windowSize_ - static_cast<size_t>(position_ - windowStart_));
        std::memcpy(out, window_ + (position_ - windowStart_), inWindow);
        out += inWindow;
        position_ += inWindow;
        count -= inWindow;
    }
    return true;
}

bool ByteCursor::U16LE(uint16_t& value)
{
    uint8_t b[2];
    if (!Read(b, 2))
        return false;
    value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool ByteCursor::U32LE(uint32_t& value)
{
    uint8_t b[4];
    if (!Read(b, 4))
        return false;
    value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
            (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool ByteCursor::U16BE(uint16_t& value)
{
    uint8_t b[2];
    if (!Read(b, 2))
        return false;
    value = static_cast<uint16_t>((b[0] << 8) | b[1]);
    return true;
}

bool ByteCursor::U32BE(uint32_t& value)
{
    uint8_t b[4];
    if (!Read(b, 4))
        return false;
    value = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
            (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
    return true;
}
