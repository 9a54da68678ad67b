#include "imagefile/extra/NImageFilePIC.h"

#include "imagefile/SignatureWindow.h"

bool NImageFilePIC::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 92))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x53\x80\xF6\x34") && SignatureIs(p + 88, "PICT");
}

FileType NImageFilePIC::GetFormatId() const
{
    return FT_PIC;
}
