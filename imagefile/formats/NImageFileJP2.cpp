#include "imagefile/formats/NImageFileJP2.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileJP2::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 8))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\xFF\x4F\xFF\x51") || SignatureIs(p, "\x00\x00\x00\x0C\x6A\x50\x20\x20");
}

FileType NImageFileJP2::GetFormatId() const
{
    return FT_JP2;
}
