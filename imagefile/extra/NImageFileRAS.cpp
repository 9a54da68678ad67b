#include "imagefile/extra/NImageFileRAS.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileRAS::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x59\xA6\x6A\x95");
}

FileType NImageFileRAS::GetFormatId() const
{
    return FT_RAS;
}
