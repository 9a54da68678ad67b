#include "imagefile/formats/NImageFileHEIC.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileHEIC::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 13))
        return false;
    const uint8_t* p = bytes + offset;
    if (!SignatureIs(p + 4, "ftyp"))
        return false;
    const uint8_t* brand = p + 8;
    return SignatureIs(brand, "mif1") || SignatureIs(brand, "msf1") || SignatureIs(brand, "heic") ||
           SignatureIs(brand, "heis");
}

FileType NImageFileHEIC::GetFormatId() const
{
    return FT_HEIC;
}
