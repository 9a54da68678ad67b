#include "imagefile/ByteSource.h"

#include <algorithm>
#include <cstring>

bool ByteSource::ReadU16LE(uint64_t position, uint16_t& value)
{
    uint8_t b[2];
    if (!ReadAt(position, b, 2))
        return false;
    value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool ByteSource::ReadU32LE(uint64_t position, uint32_t& value)
{
    uint8_t b[4];
    if (!ReadAt(position, b, 4))
        return false;
    value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
            (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool ByteSource::ReadU16BE(uint64_t position, uint16_t& value)
{
    uint8_t b[2];
    if (!ReadAt(position, b, 2))
        return false;
    value = static_cast<uint16_t>((b[0] << 8) | b[1]);
    return true;
}

bool ByteSource::ReadU32BE(uint64_t position, uint32_t& value)
{
    uint8_t b[4];
    if (!ReadAt(position, b, 4))
        return false;
    value = (static_cast<uint32_t>(b[0]) << 24) | (static_cast<uint32_t>(b[1]) << 16) |
            (static_cast<uint32_t>(b[2]) << 8) | static_cast<uint32_t>(b[3]);
    return true;
}

bool ByteSource::ReadU64BE(uint64_t position, uint64_t& value)
{
    uint32_t high = 0;
    uint32_t low = 0;
    if (!ReadU32BE(position, high) || !ReadU32BE(position + 4, low))
        return false;
    value = (static_cast<uint64_t>(high) << 32) | low;
    return true;
}

bool MemoryByteSource::ReadAt(uint64_t position, void* buffer, size_t count)
{
    if (!Holds(position, count))
        return false;
    if (count)
        std::memcpy(buffer, m_data + position, count);
    return true;
}

StdioByteSource::StdioByteSource(FILE* file) : m_file(file)
{
    if (m_file && _fseeki64(m_file, 0, SEEK_END) == 0) {
        const int64_t end = _ftelli64(m_file);
        m_size = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
}

bool StdioByteSource::ReadAt(uint64_t position, void* buffer, size_t count)
{
    if (!m_file || !Holds(position, count))
        return false;
    if (_fseeki64(m_file, static_cast<int64_t>(position), SEEK_SET) != 0)
        return false;
    return std::fread(buffer, 1, count, m_file) == count;
}

bool ByteSourceReader::Fill()
{
    m_at = 0;
    m_filled = 0;
    const uint64_t size = m_source.Size();
    if (m_position >= size)
        return false;
    const size_t count = static_cast<size_t>(std::min<uint64_t>(sizeof(m_buffer), size - m_position));
    if (!m_source.ReadAt(m_position, m_buffer, count))
        return false;
    m_filled = count;
    return true;
}

void ByteSourceReader::Skip(uint64_t count)
{
    const size_t buffered = m_filled - m_at;
    if (count <= buffered) {
        m_at += static_cast<size_t>(count);
        m_position += count;
        return;
    }
    m_at = m_filled = 0;
    m_position = count > UINT64_MAX - m_position ? UINT64_MAX : m_position + count;
}

bool ByteSourceReader::SkipToByte(uint8_t value)
{
    for (;;) {
        if (m_at == m_filled && !Fill())
            return false;
        const void* found = std::memchr(m_buffer + m_at, value, m_filled - m_at);
        if (found) {
            const size_t index = static_cast<size_t>(static_cast<const uint8_t*>(found) - m_buffer);
            m_position += index - m_at;
            m_at = index;
            return true;
        }
        m_position += m_filled - m_at;
        m_at = m_filled;
    }
}

bool ByteSourceReader::Read(void* out, size_t count)
{
    auto* bytes = static_cast<uint8_t*>(out);
    while (count > 0) {
        if (m_at == m_filled && !Fill())
            return false;
        const size_t part = std::min(count, m_filled - m_at);
        std::memcpy(bytes, m_buffer + m_at, part);
        bytes += part;
        count -= part;
        m_at += part;
        m_position += part;
    }
    return true;
}
