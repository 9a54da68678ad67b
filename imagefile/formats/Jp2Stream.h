// Jp2FileStream: an OpenJPEG stream over a file opened by a wide path, owning both.
//
// A reading stream hands the codec every byte straight from the file (OpenJPEG's own read-ahead
// buffer is one byte, so every read of the codec reaches the file), which makes the stream's
// position the codec's own reading position: how far into the file the decoder read. A
// writing stream buffers as usual.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/ScopedFile.h"

typedef void* opj_stream_t;

class Jp2FileStream {
public:
    Jp2FileStream() = default;
    ~Jp2FileStream();
    Jp2FileStream(const Jp2FileStream&) = delete;
    Jp2FileStream& operator=(const Jp2FileStream&) = delete;

    // False when the file does not open or the stream cannot be made.
    bool OpenRead(const wchar_t* path);
    bool OpenWrite(const wchar_t* path);
    // Reads up to `count` bytes at an offset of the file, outside the codec (the codec's
    // position stays where it was). The bytes read.
    size_t ReadAt(uint64_t offset, uint8_t* bytes, size_t count);

    opj_stream_t* Stream() const { return stream_; }
    bool IsOpen() const { return static_cast<bool>(file_); }
    // The codec's position now, and the furthest it has been, both held to the file's size
    // for a reading stream (a skip may go past the end).
    uint64_t Position() const;
    uint64_t FurthestPosition() const;
    uint64_t FileSize() const { return size_; }
    // Destroys the codec stream (after the codec has flushed it) and closes the file; false
    // when a write failed or closing reported an error.
    bool Close();

private:
    bool Open(const wchar_t* path, bool reading);
    static size_t Read(void* buffer, size_t count, void* self);
    static size_t Write(void* buffer, size_t count, void* self);
    static int64_t Skip(int64_t count, void* self);
    static int Seek(int64_t position, void* self);

    ScopedFile file_;
    opj_stream_t* stream_ = nullptr;
    bool reading_ = true;
    bool failed_ = false;
    uint64_t size_ = 0;
    uint64_t position_ = 0;
    uint64_t furthest_ = 0;
};
