#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/ReadTarget.h"

bool StdioStream::Open(const wchar_t* path, const wchar_t* mode)
{
    Close();
    return file_.Open(path, mode);
}

bool StdioStream::Close()
{
    aheadPos_ = aheadLen_ = 0;
    return file_.Close();
}

int StdioStream::Refill()
{
    aheadPos_ = aheadLen_ = 0;
    if (!file_)
        return -1;
    if (!ahead_)
        ahead_.reset(new (std::nothrow) uint8_t[kAheadBytes]);
    if (!ahead_)
        return std::fgetc(file_.Get());
    aheadLen_ = std::fread(ahead_.get(), 1, kAheadBytes, file_.Get());
    if (aheadLen_ == 0)
        return -1;
    return ahead_[aheadPos_++];
}

void StdioStream::UnreadByte(int c)
{
    if (aheadPos_ > 0)
        --aheadPos_;
    else if (file_ && c >= 0)
        std::ungetc(c, file_.Get());
}

void StdioStream::Settle() const
{
    if (Ahead() > 0 && file_)
        _fseeki64(file_.Get(), -static_cast<int64_t>(Ahead()), SEEK_CUR);
    aheadPos_ = aheadLen_ = 0;
}

size_t StdioStream::Read(void* buffer, size_t count)
{
    if (!file_ || count == 0)
        return 0;
    const size_t fromAhead = std::min(count, Ahead());
    if (fromAhead > 0) {
        std::memcpy(buffer, ahead_.get() + aheadPos_, fromAhead);
        aheadPos_ += fromAhead;
    }
    const size_t rest = count - fromAhead;
    if (rest == 0)
        return count;
    // Small reads refill the buffer; large ones go straight to the stream.
    if (rest < kAheadBytes / 2 && ahead_) {
        aheadPos_ = 0;
        aheadLen_ = std::fread(ahead_.get(), 1, kAheadBytes, file_.Get());
        const size_t taken = std::min(rest, aheadLen_);
        std::memcpy(static_cast<uint8_t*>(buffer) + fromAhead, ahead_.get(), taken);
        aheadPos_ = taken;
        return fromAhead + taken;
    }
    PrepareReadTarget(static_cast<uint8_t*>(buffer) + fromAhead, rest);
    return fromAhead + std::fread(static_cast<uint8_t*>(buffer) + fromAhead, 1, rest, file_.Get());
}

bool StdioStream::ReadU16(uint16_t& value)
{
    uint8_t b[2];
    value = 0;
    if (!ReadExact(b, 2))
        return false;
    value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool StdioStream::ReadU32(uint32_t& value)
{
    uint8_t b[4];
    value = 0;
    if (!ReadExact(b, 4))
        return false;
    value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
            (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool StdioStream::ReadU16BE(uint16_t& value)
{
    uint8_t b[2];
    value = 0;
    if (!ReadExact(b, 2))
        return false;
    value = static_cast<uint16_t>((b[0] << 8) | b[1]);
    return true;
}

bool StdioStream::ReadU32BE(uint32_t& value)
{
    uint8_t b[4];
    value = 0;
    if (!ReadExact(b, 4))
        return false;
    value = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
            (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
    return true;
}

bool StdioStream::Write(const void* buffer, size_t count)
{
    Settle();
    return count == 0 || std::fwrite(buffer, 1, count, file_.Get()) == count;
}

bool StdioStream::WriteByte(unsigned value)
{
    Settle();
    return std::fputc(static_cast<int>(value & 0xFF), file_.Get()) != EOF;
}

bool StdioStream::WriteU16(unsigned value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return Write(b, 2);
}

bool StdioStream::WriteU32(uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Write(b, 4);
}

bool StdioStream::Seek(uint64_t position)
{
    if (position > static_cast<uint64_t>(INT64_MAX))
        return false;
    aheadPos_ = aheadLen_ = 0;
    return _fseeki64(file_.Get(), static_cast<int64_t>(position), SEEK_SET) == 0;
}

bool StdioStream::Skip(uint64_t count)
{
    const int64_t here = Tell();
    if (here < 0)
        return false;
    return Seek(static_cast<uint64_t>(here) + count);
}

int64_t StdioStream::Tell() const
{
    if (!file_)
        return -1;
    const int64_t here = _ftelli64(file_.Get());
    return here < 0 ? here : here - static_cast<int64_t>(Ahead());
}

uint64_t StdioStream::Length()
{
    const int64_t end = file_.Length();
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

uint64_t StdioStream::PositionInFile()
{
    const int64_t here = Tell();
    if (here <= 0)
        return 0;
    const uint64_t length = Length();
    return static_cast<uint64_t>(here) < length ? static_cast<uint64_t>(here) : length;
}
