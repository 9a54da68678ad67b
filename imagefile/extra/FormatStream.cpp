#include "imagefile/extra/FormatStream.h"

FormatStream::~FormatStream()
{
    if (file_)
        fclose(file_);
}

bool FormatStream::OpenRead(const wchar_t* path)
{
    if (file_ || !path)
        return false;
    file_ = _wfopen(path, L"rb");
    if (!file_)
        return false;
    if (_fseeki64(file_, 0, SEEK_END) == 0) {
        const int64_t end = _ftelli64(file_);
        length_ = end > 0 ? static_cast<uint64_t>(end) : 0;
    }
    _fseeki64(file_, 0, SEEK_SET);
    return true;
}

bool FormatStream::OpenWrite(const wchar_t* path)
{
    if (file_ || !path)
        return false;
    file_ = _wfopen(path, L"wb");
    writeFailed_ = false;
    return file_ != nullptr;
}

bool FormatStream::Close()
{
    if (!file_)
        return false;
    const bool closed = fclose(file_) == 0;
    file_ = nullptr;
    return closed && !writeFailed_;
}

uint64_t FormatStream::Tell() const
{
    if (!file_)
        return 0;
    const int64_t position = _ftelli64(file_);
    return position > 0 ? static_cast<uint64_t>(position) : 0;
}

bool FormatStream::Seek(uint64_t position)
{
    if (!file_ || position > static_cast<uint64_t>(INT64_MAX))
        return false;
    return _fseeki64(file_, static_cast<int64_t>(position), SEEK_SET) == 0;
}

uint64_t FormatStream::Remaining() const
{
    const uint64_t position = Tell();
    return position < length_ ? length_ - position : 0;
}

bool FormatStream::ReadExact(void* buffer, size_t count)
{
    if (!file_)
        return false;
    return count == 0 || fread(buffer, 1, count, file_) == count;
}

bool FormatStream::Write(const void* buffer, size_t count)
{
    if (!file_) {
        writeFailed_ = true;
        return false;
    }
    if (count != 0 && fwrite(buffer, 1, count, file_) != count)
        writeFailed_ = true;
    return !writeFailed_;
}
