#include "imagefile/extra/NImageFileWBMP.h"

#include "imagefile/DataBound.h"
#include "imagefile/extra/StdioStream.h"

#include <cstring>

namespace {

// A multi-byte integer: 7 bits a byte, most significant first, bit 7 set when another byte
// follows. False at the end of the file, or beyond 5 bytes or the int range.
bool ReadMultiByte(StdioStream& in, uint32_t& value)
{
    uint64_t number = 0;
    for (int i = 0; i < 5; ++i) {
        const int b = in.ReadByte();
        if (b < 0)
            return false;
        number = (number << 7) | static_cast<uint32_t>(b & 0x7F);
        if (number > INT32_MAX)
            return false;
        if (!(b & 0x80)) {
            value = static_cast<uint32_t>(number);
            return true;
        }
    }
    return false;
}

// The extension headers that follow a fixed header with bit 7 set.
bool SkipExtensions(StdioStream& in)
{
    int b;
    do {
        b = in.ReadByte();
        if (b < 0)
            return false;
        if ((b & 0x60) == 0) {
            uint32_t ignored;
            if (!ReadMultiByte(in, ignored))
                return false;
        } else if (((b >> 5) & 3) == 3) {
            if (!in.Skip(static_cast<uint64_t>((b >> 4) & 7) + (b & 0x0F)))
                return false;
        }
    } while (b & 0x80);
    return true;
}

}  // namespace

bool NImageFileWBMP::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

NRESULT NImageFileWBMP::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint32_t type = 1;
    if (!ReadMultiByte(in, type) || type != 0)
        return NR_NOT_THIS_FORMAT;
    const int fixedHeader = in.ReadByte();
    if (fixedHeader < 0 || ((fixedHeader & 0x80) && !SkipExtensions(in)))
        return NR_INVALID_DATA;
    uint32_t width = 0;
    uint32_t height = 0;
    if (!ReadMultiByte(in, width) || !ReadMultiByte(in, height) || width == 0 || height == 0)
        return NR_INVALID_DATA;
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;
    const int64_t here = in.Tell();
    const uint64_t fileLength = in.Length();
    if (here < 0 || static_cast<uint64_t>(here) > fileLength ||
        !DataBound::Fits(width, height, 1, fileLength - static_cast<uint64_t>(here), DataBound::kRawCutShort))
        return NR_INVALID_DATA;

    const uint8_t palette[256 * 3] = {0, 0, 0, 255, 255, 255};
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), 1, RGB(255, 255, 255), palette))
        return NR_PICTURE_CREATE_FAILED;
    for (uint32_t y = 0; y < height; ++y) {
        if (!in.ReadExact(pic.bits + static_cast<size_t>(height - 1 - y) * pic.stride, rowBytes))
            break;
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileWBMP::GetFormatId() const
{
    return FT_WBMP;
}
