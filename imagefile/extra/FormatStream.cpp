#include "imagefile/extra/FormatStream.h"

#include "base/ReadTarget.h"

FormatStream::~FormatStream() = default;

bool FormatStream::OpenRead(const wchar_t* path)
{
    if (file_ || !path || !file_.Open(path, L"rb"))
        return false;
    const int64_t end = file_.Length();
    length_ = end > 0 ? static_cast<uint64_t>(end) : 0;
    return true;
}

bool FormatStream::OpenWrite(const wchar_t* path)
{
    if (file_ || !path)
        return false;
    writeFailed_ = false;
    return file_.Open(path, L"wb");
}

bool FormatStream::Close()
{
    if (!file_)
        return false;
    const bool closed = file_.Close();
    return closed && !writeFailed_;
}

uint64_t FormatStream::Tell() const
{
    if (!file_)
        return 0;
    const int64_t position = _ftelli64(file_.Get());
    return position > 0 ? static_cast<uint64_t>(position) : 0;
}

bool FormatStream::Seek(uint64_t position)
{
    if (!file_ || position > static_cast<uint64_t>(INT64_MAX))
        return false;
    return _fseeki64(file_.Get(), static_cast<int64_t>(position), SEEK_SET) == 0;
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
    PrepareReadTarget(buffer, count);
    return count == 0 || fread(buffer, 1, count, file_.Get()) == count;
}

bool FormatStream::Write(const void* buffer, size_t count)
{
    if (!file_) {
        writeFailed_ = true;
        return false;
    }
    if (count != 0 && fwrite(buffer, 1, count, file_.Get()) != count)
        writeFailed_ = true;
    return !writeFailed_;
}
