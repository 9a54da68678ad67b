// ScopedFile: owner of one C runtime stream (FILE*), closed when the owner goes. Close reports
// whether everything buffered reached the file. Move-only; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

class ScopedFile {
public:
    ScopedFile() noexcept = default;
    // Takes ownership of an open stream (null is fine).
    explicit ScopedFile(FILE* file) noexcept : m_file(file) {}
    // Opens at once (see Open); the owner is empty when that fails.
    ScopedFile(const wchar_t* path, const wchar_t* mode) noexcept { Open(path, mode); }
    ~ScopedFile() { Close(); }

    ScopedFile(ScopedFile&& other) noexcept : m_file(other.Release()) {}
    ScopedFile& operator=(ScopedFile&& other) noexcept;
    ScopedFile(const ScopedFile&) = delete;
    ScopedFile& operator=(const ScopedFile&) = delete;

    // Closes the stream held (dropping the outcome), then opens the path with _wfopen and the
    // mode (L"rb", L"wb", ...). False for a null or empty path or mode, or when it fails.
    bool Open(const wchar_t* path, const wchar_t* mode) noexcept;
    // The same for a path in the ANSI code page (fopen).
    bool Open(const char* path, const char* mode) noexcept;
    // True when nothing was open, or the stream was flushed and closed without an error.
    bool Close() noexcept;
    // Closes the stream held (dropping the outcome) and takes the given one.
    void Reset(FILE* file = nullptr) noexcept;
    // Gives the stream up without closing it; the owner is empty afterwards.
    FILE* Release() noexcept;

    FILE* Get() const noexcept { return m_file; }
    explicit operator bool() const noexcept { return m_file != nullptr; }

    // The length of the file in bytes, the position kept; -1 when it cannot be measured.
    int64_t Length() const noexcept { return LengthOf(m_file); }
    // The same for any stream; -1 also for a null one.
    static int64_t LengthOf(FILE* file) noexcept;

private:
    static constexpr size_t kBufferBytes = 32768;
    void Rebuffer() noexcept;

    FILE* m_file = nullptr;
};
