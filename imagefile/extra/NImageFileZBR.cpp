#include "imagefile/extra/NImageFileZBR.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileZBR::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureU16(p) == 666 && SignatureU16(p + 2) <= 4;
}

FileType NImageFileZBR::GetFormatId() const
{
    return FT_ZBR;
}
