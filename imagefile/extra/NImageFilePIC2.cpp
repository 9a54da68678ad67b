#include "imagefile/extra/NImageFilePIC2.h"

#include "imagefile/SignatureWindow.h"

bool NImageFilePIC2::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 2))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureU16(p) == 0x1234;
}

FileType NImageFilePIC2::GetFormatId() const
{
    return FT_PIC2;
}
