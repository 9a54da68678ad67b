#include "imagefile/extra/StdioStream.h"

bool StdioStream::Open(const wchar_t* path, const wchar_t* mode)
{
    Close();
    return file_.Open(path, mode);
}

bool StdioStream::Close()
{
    return file_.Close();
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
    return count == 0 || std::fwrite(buffer, 1, count, file_.Get()) == count;
}

bool StdioStream::WriteByte(unsigned value)
{
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
    return file_ ? _ftelli64(file_.Get()) : -1;
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
