#include "imagefile/formats/Jp2Stream.h"

#include "base/ReadTarget.h"

#include <openjpeg.h>

#include <algorithm>
#include <cstdint>

Jp2FileStream::~Jp2FileStream()
{
    Close();
}

bool Jp2FileStream::OpenRead(const wchar_t* path)
{
    return Open(path, true);
}

bool Jp2FileStream::OpenWrite(const wchar_t* path)
{
    return Open(path, false);
}

bool Jp2FileStream::Open(const wchar_t* path, bool reading)
{
    Close();
    if (!path || !file_.Open(path, reading ? L"rb" : L"wb"))
        return false;
    reading_ = reading;
    failed_ = false;
    position_ = furthest_ = size_ = 0;
    if (reading) {
        const int64_t end = file_.Length();
        if (end < 0) {
            Close();
            return false;
        }
        size_ = static_cast<uint64_t>(end);
    }
    // A one-byte buffer for reading: every read of the codec goes to the file.
    stream_ = opj_stream_create(reading ? 1 : OPJ_J2K_STREAM_CHUNK_SIZE, reading ? OPJ_TRUE : OPJ_FALSE);
    if (!stream_) {
        Close();
        return false;
    }
    opj_stream_set_user_data(stream_, this, nullptr);
    opj_stream_set_skip_function(stream_, Skip);
    opj_stream_set_seek_function(stream_, Seek);
    if (reading) {
        opj_stream_set_read_function(stream_, Read);
        opj_stream_set_user_data_length(stream_, size_);
    } else {
        opj_stream_set_write_function(stream_, Write);
    }
    return true;
}

size_t Jp2FileStream::ReadAt(uint64_t offset, uint8_t* bytes, size_t count)
{
    if (!file_ || !reading_ || offset > static_cast<uint64_t>(INT64_MAX))
        return 0;
    size_t got = 0;
    if (_fseeki64(file_.Get(), static_cast<int64_t>(offset), SEEK_SET) == 0)
        got = fread(bytes, 1, count, file_.Get());
    _fseeki64(file_.Get(), static_cast<int64_t>(position_), SEEK_SET);
    return got;
}

uint64_t Jp2FileStream::Position() const
{
    return reading_ ? std::min(position_, size_) : position_;
}

uint64_t Jp2FileStream::FurthestPosition() const
{
    return reading_ ? std::min(furthest_, size_) : furthest_;
}

bool Jp2FileStream::Close()
{
    if (stream_)
        opj_stream_destroy(stream_);
    stream_ = nullptr;
    bool ok = !failed_;
    if (!file_.Close())
        ok = false;
    return ok;
}

size_t Jp2FileStream::Read(void* buffer, size_t count, void* user)
{
    auto* self = static_cast<Jp2FileStream*>(user);
    // The decoder reads whole tile-parts into blocks it has just allocated.
    PrepareReadTarget(buffer, count);
    const size_t got = fread(buffer, 1, count, self->file_.Get());
    if (got == 0)
        return static_cast<size_t>(-1);
    self->position_ += got;
    self->furthest_ = std::max(self->furthest_, self->position_);
    return got;
}

size_t Jp2FileStream::Write(void* buffer, size_t count, void* user)
{
    auto* self = static_cast<Jp2FileStream*>(user);
    const size_t put = fwrite(buffer, 1, count, self->file_.Get());
    self->position_ += put;
    self->furthest_ = std::max(self->furthest_, self->position_);
    if (put != count) {
        self->failed_ = true;
        return static_cast<size_t>(-1);
    }
    return put;
}

int64_t Jp2FileStream::Skip(int64_t count, void* user)
{
    auto* self = static_cast<Jp2FileStream*>(user);
    const int64_t here = static_cast<int64_t>(self->position_);
    if ((count > 0 && here > INT64_MAX - count) || here + count < 0)
        return -1;
    const int64_t target = here + count;
    if (_fseeki64(self->file_.Get(), target, SEEK_SET) != 0)
        return -1;
    self->position_ = static_cast<uint64_t>(target);
    self->furthest_ = std::max(self->furthest_, self->position_);
    return count;
}

int Jp2FileStream::Seek(int64_t position, void* user)
{
    auto* self = static_cast<Jp2FileStream*>(user);
    if (position < 0 || _fseeki64(self->file_.Get(), position, SEEK_SET) != 0)
        return OPJ_FALSE;
    self->position_ = static_cast<uint64_t>(position);
    self->furthest_ = std::max(self->furthest_, self->position_);
    return OPJ_TRUE;
}
