// Little-endian reading and writing on C streams for the document file and the readers that
// share its integer helper. The reader knows the file's length and never reads, skips or
// allocates for more bytes than remain; the writer remembers a failed write.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "base/ScopedFile.h"

// One little-endian u32 from the stream; 0 when fewer than four bytes remain (feof tells).
uint32_t ReadFileU32(FILE* file);

class DocFileReader {
public:
    DocFileReader() = default;
    ~DocFileReader() { Close(); }
    DocFileReader(const DocFileReader&) = delete;
    DocFileReader& operator=(const DocFileReader&) = delete;

    // "rb"; the length is measured at once. False for a null path or when it fails.
    bool Open(const wchar_t* path);
    void Close();

    uint64_t Length() const { return length_; }
    uint64_t Position() const { return position_; }
    uint64_t Remaining() const { return length_ - position_; }
    bool Fits(uint64_t count) const { return count <= Remaining(); }

    // Each reads exactly its bytes, or nothing and answers false when fewer remain (or the
    // read fails).
    bool Read(void* buffer, size_t count);
    bool U8(uint8_t& value);
    bool U16(uint16_t& value);
    bool U32(uint32_t& value);
    bool I32(int32_t& value);
    bool F32(float& value);
    // Moves on by count bytes; false, and the position unchanged, when they are not there.
    bool Skip(uint64_t count);

private:
    ScopedFile file_;
    uint64_t length_ = 0;
    uint64_t position_ = 0;
};

class DocFileWriter {
public:
    DocFileWriter() = default;
    ~DocFileWriter() { Close(); }
    DocFileWriter(const DocFileWriter&) = delete;
    DocFileWriter& operator=(const DocFileWriter&) = delete;

    // "wb": creates or empties the file.
    bool Open(const wchar_t* path);
    // True when the stream was open, every write succeeded and the close flushed everything.
    bool Close();

    FILE* get() const { return file_.Get(); }
    bool Failed() const { return failed_; }
    // Marks the output as failed (for writes made on get() directly).
    void SetFailed() { failed_ = true; }

    bool Write(const void* buffer, size_t count);
    bool U8(unsigned value);
    bool U16(unsigned value);
    bool U32(uint32_t value);
    bool I32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
    bool F32(float value);
    // -1 on failure.
    int64_t Tell() const;
    bool Seek(uint64_t position);

private:
    ScopedFile file_;
    bool failed_ = false;
};
