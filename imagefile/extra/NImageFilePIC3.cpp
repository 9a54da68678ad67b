#include "imagefile/extra/NImageFilePIC3.h"

#include "imagefile/SignatureWindow.h"

bool NImageFilePIC3::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 4))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "PIC");
}

FileType NImageFilePIC3::GetFormatId() const
{
    return FT_PIC3;
}
