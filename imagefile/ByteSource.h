// ByteSource: random access to the bytes of a picture, wherever they lie: a file being loaded, a
// buffer, or a candidate of the recovery scan that runs on into data not read yet. The walks
// over a format's structure (PictureExtent.h) read through it, so that a loader and the scan
// measure a picture the same way.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ByteSource {
public:
    virtual ~ByteSource() = default;
    // The bytes that may be read, from position 0.
    virtual uint64_t Size() const = 0;
    // Copies count bytes from the position. False when any of them lies at or past Size() or
    // cannot be read; the buffer's contents are then undefined.
    virtual bool ReadAt(uint64_t position, void* buffer, size_t count) = 0;

    // Helpers: big- and little-endian numbers at a position; false when they are not there.
    bool ReadU8(uint64_t position, uint8_t& value) { return ReadAt(position, &value, 1); }
    bool ReadU16LE(uint64_t position, uint16_t& value);
    bool ReadU32LE(uint64_t position, uint32_t& value);
    bool ReadU16BE(uint64_t position, uint16_t& value);
    bool ReadU32BE(uint64_t position, uint32_t& value);
    bool ReadU64BE(uint64_t position, uint64_t& value);
    // True when count bytes from the position lie inside Size() (without wrapping).
    bool Holds(uint64_t position, uint64_t count) const
    {
        const uint64_t size = Size();
        return position <= size && count <= size - position;
    }
};

// Bytes in memory that the caller keeps alive.
class MemoryByteSource final : public ByteSource {
public:
    MemoryByteSource(const uint8_t* data, size_t size) : m_data(data), m_size(data ? size : 0) {}
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t position, void* buffer, size_t count) override;
    const uint8_t* Data() const { return m_data; }

private:
    const uint8_t* m_data;
    size_t m_size;
};

// An open C stream, from its first byte to its end as it was when made. Each read seeks; the
// stream's position afterwards is wherever the last read left it.
class StdioByteSource final : public ByteSource {
public:
    explicit StdioByteSource(FILE* file);
    uint64_t Size() const override { return m_size; }
    bool ReadAt(uint64_t position, void* buffer, size_t count) override;

private:
    FILE* m_file;
    uint64_t m_size = 0;
};
