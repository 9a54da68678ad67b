#include "imagefile/extra/NImageFilePPP.h"

#include "imagefile/SignatureWindow.h"

bool NImageFilePPP::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 'P' && p[1] == 'P' && p[2] == 2;
}

FileType NImageFilePPP::GetFormatId() const
{
    return FT_PPP;
}
