#include "docobjects/DocFileStream.h"

#include <cstring>

uint32_t ReadFileU32(FILE* file)
{
    uint8_t b[4];
    if (!file || fread(b, 1, 4, file) != 4)
        return 0;
    return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
           (static_cast<uint32_t>(b[3]) << 24);
}

// ---- DocFileReader ----

bool DocFileReader::Open(const wchar_t* path)
{
    Close();
    if (!path)
        return false;
    if (!file_.Open(path, L"rb"))
        return false;
    const int64_t end = file_.Length();
    if (end < 0) {
        Close();
        return false;
    }
    length_ = static_cast<uint64_t>(end);
    position_ = 0;
    return true;
}

void DocFileReader::Close()
{
    file_.Close();
    length_ = 0;
    position_ = 0;
}

bool DocFileReader::Read(void* buffer, size_t count)
{
    if (!file_ || !Fits(count))
        return false;
    if (count == 0)
        return true;
    const size_t got = fread(buffer, 1, count, file_.Get());
    position_ += got;
    if (got != count) {
        // The file changed under us: take the end as it is now.
        length_ = position_;
        return false;
    }
    return true;
}

bool DocFileReader::U8(uint8_t& value)
{
    return Read(&value, 1);
}

bool DocFileReader::U16(uint16_t& value)
{
    uint8_t b[2];
    if (!Read(b, 2))
        return false;
    value = static_cast<uint16_t>(b[0] | (b[1] << 8));
    return true;
}

bool DocFileReader::U32(uint32_t& value)
{
    uint8_t b[4];
    if (!Read(b, 4))
        return false;
    value = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) | (static_cast<uint32_t>(b[2]) << 16) |
            (static_cast<uint32_t>(b[3]) << 24);
    return true;
}

bool DocFileReader::I32(int32_t& value)
{
    uint32_t u;
    if (!U32(u))
        return false;
    value = static_cast<int32_t>(u);
    return true;
}

bool DocFileReader::F32(float& value)
{
    uint32_t u;
    if (!U32(u))
        return false;
    memcpy(&value, &u, sizeof(value));
    return true;
}

bool DocFileReader::Skip(uint64_t count)
{
    if (!file_ || !Fits(count))
        return false;
    if (count == 0)
        return true;
    if (_fseeki64(file_.Get(), static_cast<int64_t>(position_ + count), SEEK_SET) != 0)
        return false;
    position_ += count;
    return true;
}

// ---- DocFileWriter ----

bool DocFileWriter::Open(const wchar_t* path)
{
    Close();
    failed_ = false;
    if (!path)
        return false;
    return file_.Open(path, L"wb");
}

bool DocFileWriter::Close()
{
    if (!file_)
        return false;
    const bool closed = file_.Close();
    return closed && !failed_;
}

bool DocFileWriter::Write(const void* buffer, size_t count)
{
    if (!file_ || failed_)
        return false;
    if (count != 0 && fwrite(buffer, 1, count, file_.Get()) != count)
        failed_ = true;
    return !failed_;
}

bool DocFileWriter::U8(unsigned value)
{
    const uint8_t b = static_cast<uint8_t>(value);
    return Write(&b, 1);
}

bool DocFileWriter::U16(unsigned value)
{
    const uint8_t b[2] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8)};
    return Write(b, 2);
}

bool DocFileWriter::U32(uint32_t value)
{
    const uint8_t b[4] = {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                          static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)};
    return Write(b, 4);
}

bool DocFileWriter::F32(float value)
{
    uint32_t u;
    memcpy(&u, &value, sizeof(u));
    return U32(u);
}

int64_t DocFileWriter::Tell() const
{
    return file_ ? _ftelli64(file_.Get()) : -1;
}

bool DocFileWriter::Seek(uint64_t position)
{
    if (!file_ || _fseeki64(file_.Get(), static_cast<int64_t>(position), SEEK_SET) != 0) {
        failed_ = true;
        return false;
    }
    return true;
}
