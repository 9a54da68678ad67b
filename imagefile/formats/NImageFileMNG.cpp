#include "imagefile/formats/NImageFileMNG.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileMNG::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x8AMNG");
}

FileType NImageFileMNG::GetFormatId() const
{
    return FT_MNG;
}
