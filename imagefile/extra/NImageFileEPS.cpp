#include "imagefile/extra/NImageFileEPS.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileEPS::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\xC5\xD0\xD3\xC6");
}

FileType NImageFileEPS::GetFormatId() const
{
    return FT_EPS;
}
