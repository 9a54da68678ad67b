#include "imagefile/extra/NImageFileTGA.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileTGA::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 19))
        return false;
    const uint8_t* p = bytes + offset;
    switch (p[2]) {
    case 1: case 2: case 3: case 9: case 10: case 11:
        break;
    default:
        return false;
    }
    const uint16_t width = SignatureU16(p + 12);
    const uint16_t height = SignatureU16(p + 14);
    if (width < 1 || width > 19999 || height < 1 || height > 19999)
        return false;
    switch (p[16]) {
    case 1: case 8: case 16: case 24: case 32:
        return true;
    default:
        return false;
    }
}

FileType NImageFileTGA::GetFormatId() const
{
    return FT_TGA;
}
