#include "imagefile/extra/NImageFilePFM.h"

#include "imagefile/SignatureWindow.h"

bool NImageFilePFM::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 3))
        return false;
    const uint8_t* p = bytes + offset;
    return p[0] == 'P' && (p[1] == 'F' || p[1] == 'f');
}

FileType NImageFilePFM::GetFormatId() const
{
    return FT_PFM;
}
