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
    // False when Size() is a limit the caller set rather than the real end of the data: a walk
    // that runs into it cannot tell whether the picture ends there.
    virtual bool EndIsFinal() const { return true; }
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

// Reads a ByteSource front to back through a buffer of its own, for walks that look at every
// byte (entropy-coded data, sub-block chains). Positions are those of the source.
class ByteSourceReader {
public:
    explicit ByteSourceReader(ByteSource& source, uint64_t position = 0) : m_source(source), m_position(position) {}
    ByteSourceReader(const ByteSourceReader&) = delete;
    ByteSourceReader& operator=(const ByteSourceReader&) = delete;

    uint64_t Position() const { return m_position; }
    bool AtEnd() const { return m_position >= m_source.Size(); }
    // The next byte, or -1 at the end of the source.
    int Next()
    {
        if (m_at == m_filled && !Fill())
            return -1;
        ++m_position;
        return m_buffer[m_at++];
    }
    // The next byte without taking it, or -1.
    int Peek()
    {
        if (m_at == m_filled && !Fill())
            return -1;
        return m_buffer[m_at];
    }
    // Moves forward by count bytes (the position may go past the end; reads then answer -1).
    void Skip(uint64_t count);
    // Moves to the first byte of the value at or after the position; false at the end.
    bool SkipToByte(uint8_t value);
    bool Read(void* out, size_t count);

private:
    bool Fill();

    ByteSource& m_source;
    uint64_t m_position;
    uint8_t m_buffer[16384];
    size_t m_at = 0;
    size_t m_filled = 0;
};
