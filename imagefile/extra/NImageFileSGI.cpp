#include "imagefile/extra/NImageFileSGI.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileSGI::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 0x01 && p[1] == 0xDA && p[3] == 1;
}

FileType NImageFileSGI::GetFormatId() const
{
    return FT_SGI;
}
