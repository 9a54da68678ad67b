// FormatStream: owner of one C runtime stream (FILE*) opened on a wide path, for the format
// classes that read and write through buffered stdio. It closes the stream when it goes, knows
// the file's length (taken when it was opened for reading), and answers positions as 64-bit
// numbers. Nothing throws.
#pragma once

#include <cstdint>
#include <cstdio>

#include "base/ScopedFile.h"

class FormatStream {
public:
    FormatStream() = default;
    ~FormatStream();
    FormatStream(const FormatStream&) = delete;
    FormatStream& operator=(const FormatStream&) = delete;

    // "rb": the length is measured at once; "wb": creates or empties the file.
    bool OpenRead(const wchar_t* path);
    bool OpenWrite(const wchar_t* path);
    // True when the stream was open and every buffered byte reached the file.
    bool Close();

    FILE* get() const { return file_.Get(); }
    explicit operator bool() const { return static_cast<bool>(file_); }

    // Length of a file opened for reading (bytes).
    uint64_t Length() const { return length_; }
    uint64_t Tell() const;
    bool Seek(uint64_t position);
    // Bytes from the current position to the end of a file opened for reading.
    uint64_t Remaining() const;
    // Reads exactly count bytes; false on a short read.
    bool ReadExact(void* buffer, size_t count);
    // Writes exactly count bytes; a failed write is remembered and answered by Close.
    bool Write(const void* buffer, size_t count);
    bool WriteFailed() const { return writeFailed_; }

private:
    ScopedFile file_;
    uint64_t length_ = 0;
    bool writeFailed_ = false;
};
