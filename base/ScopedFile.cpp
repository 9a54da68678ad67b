#include "base/ScopedFile.h"

ScopedFile& ScopedFile::operator=(ScopedFile&& other) noexcept
{
    if (this != &other)
        Reset(other.Release());
    return *this;
}

bool ScopedFile::Open(const wchar_t* path, const wchar_t* mode) noexcept
{
    Reset();
    if (!path || !*path || !mode || !*mode)
        return false;
    m_file = _wfopen(path, mode);
    Rebuffer();
    return m_file != nullptr;
}

bool ScopedFile::Open(const char* path, const char* mode) noexcept
{
    Reset();
    if (!path || !*path || !mode || !*mode)
        return false;
    m_file = std::fopen(path, mode);
    Rebuffer();
    return m_file != nullptr;
}

void ScopedFile::Rebuffer() noexcept
{
    // The C runtime's own buffer is 4 KiB: every 4 KiB of a picture read or written would cost a
    // system call.
    if (m_file)
        std::setvbuf(m_file, nullptr, _IOFBF, kBufferBytes);
}

bool ScopedFile::Close() noexcept
{
    if (!m_file)
        return true;
    const bool closed = std::fclose(m_file) == 0;
    m_file = nullptr;
    return closed;
}

void ScopedFile::Reset(FILE* file) noexcept
{
    if (m_file && m_file != file)
        std::fclose(m_file);
    m_file = file;
}

FILE* ScopedFile::Release() noexcept
{
    FILE* file = m_file;
    m_file = nullptr;
    return file;
}

int64_t ScopedFile::LengthOf(FILE* file) noexcept
{
    if (!file)
        return -1;
    const int64_t here = _ftelli64(file);
    if (here < 0 || _fseeki64(file, 0, SEEK_END) != 0)
        return -1;
    const int64_t end = _ftelli64(file);
    if (_fseeki64(file, here, SEEK_SET) != 0)
        return -1;
    return end;
}
