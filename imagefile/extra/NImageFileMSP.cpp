#include "imagefile/extra/NImageFileMSP.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileMSP::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "DanM") || SignatureIs(p, "LinS");
}

FileType NImageFileMSP::GetFormatId() const
{
    return FT_MSP;
}
