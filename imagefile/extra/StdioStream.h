// StdioStream: owner of one C runtime FILE, with the little- and big-endian reads and the 64-bit
// positioning that the raster readers and writers of the further formats use. Reads go through a
// read-ahead buffer of its own: the C runtime locks its stream on every call, which made
// byte-at-a-time decoders pay a lock per byte. No member throws; a value that cannot be read
// completely answers false (or -1 for a single byte) and leaves the output at 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

#include "base/ScopedFile.h"

class StdioStream {
public:
    StdioStream() = default;
    ~StdioStream() = default;
    StdioStream(const StdioStream&) = delete;
    StdioStream& operator=(const StdioStream&) = delete;

    // mode: a _wfopen mode such as L"rb" or L"wb". False for a null path or when it fails.
    bool Open(const wchar_t* path, const wchar_t* mode);
    // True when the stream was flushed and closed without error (or nothing was open).
    bool Close();
    bool IsOpen() const { return static_cast<bool>(file_); }
    // The stream itself, positioned where the reads of this object have got to.
    FILE* Get() const
    {
        Settle();
        return file_.Get();
    }

    // The next byte, or -1 at the end of the file or on an error.
    int ReadByte() { return aheadPos_ < aheadLen_ ? ahead_[aheadPos_++] : Refill(); }
    // Gives back c, the byte just read, so that the next ReadByte answers it again.
    void UnreadByte(int c);
    // Bytes actually read.
    size_t Read(void* buffer, size_t count);
    bool ReadExact(void* buffer, size_t count) { return Read(buffer, count) == count; }
    bool ReadU16(uint16_t& value);
    bool ReadU32(uint32_t& value);
    bool ReadU16BE(uint16_t& value);
    bool ReadU32BE(uint32_t& value);

    bool Write(const void* buffer, size_t count);
    bool WriteByte(unsigned value);
    bool WriteU16(unsigned value);
    bool WriteU32(uint32_t value);

    bool Seek(uint64_t position);
    bool Skip(uint64_t count);
    // -1 on failure.
    int64_t Tell() const;
    // The file's length; the position is kept. 0 on failure.
    uint64_t Length();
    // The position, but not beyond the end of the file (a seek may have gone past it). 0 on
    // failure.
    uint64_t PositionInFile();

private:
    // Reads the next piece ahead and answers its first byte (-1 at the end or on an error).
    int Refill();
    // Gives the bytes read ahead but not taken back to the stream.
    void Settle() const;
    size_t Ahead() const { return aheadLen_ - aheadPos_; }

    static constexpr size_t kAheadBytes = 16384;
    ScopedFile file_;
    std::unique_ptr<uint8_t[]> ahead_;
    mutable size_t aheadPos_ = 0;
    mutable size_t aheadLen_ = 0;
};
