#include "imagefile/formats/NImageFileWEBP.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileWEBP::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 16))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "RIFF") && SignatureIs(p + 8, "WEBP") && SignatureIs(p + 12, "VP");
}

FileType NImageFileWEBP::GetFormatId() const
{
    return FT_WEBP;
}
