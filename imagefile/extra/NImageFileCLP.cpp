#include "imagefile/extra/NImageFileCLP.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileCLP::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    if (SignatureU16(p) != 0xC350)
        return false;
    const uint16_t count = SignatureU16(p + 2);
    return count >= 1 && count <= 199;
}

FileType NImageFileCLP::GetFormatId() const
{
    return FT_CLP;
}
