#include "imagefile/DataBound.h"

#include <windows.h>

namespace DataBound {

uint64_t PackedBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel)
{
    const unsigned __int128 rowBits = static_cast<unsigned __int128>(width) * bitsPerPixel;
    const unsigned __int128 bytes = (rowBits + 7) / 8 * height;
    return bytes > UINT64_MAX ? UINT64_MAX : static_cast<uint64_t>(bytes);
}

bool Fits(uint64_t width, uint64_t height, uint64_t bitsPerPixel, uint64_t dataBytes, uint64_t ratio)
{
    if (width == 0 || height == 0 || bitsPerPixel == 0 || bitsPerPixel > 1024)
        return false;
    // Every product below stays under 2^128: width x bits < 2^75, data x ratio < 2^128.
    const unsigned __int128 most = static_cast<unsigned __int128>(dataBytes) * ratio;
    const unsigned __int128 rowBytes = (static_cast<unsigned __int128>(width) * bitsPerPixel + 7) / 8;
    return rowBytes <= most && height <= most / rowBytes;
}

bool Yields(uint64_t decodedBytes, uint64_t dataBytes, uint64_t produced, uint64_t consumed)
{
    if (decodedBytes == UINT64_MAX)
        return false;
    return static_cast<unsigned __int128>(decodedBytes) * consumed <=
           static_cast<unsigned __int128>(dataBytes) * produced;
}

uint64_t FileLength(const wchar_t* path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!path || !GetFileAttributesExW(path, GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        return 0;
    return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

}  // namespace DataBound
