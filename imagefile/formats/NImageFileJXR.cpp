#include "imagefile/formats/NImageFileJXR.h"

#include "imagefile/SignatureWindow.h"

bool NImageFileJXR::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 1025))
        return false;
    const uint8_t* p = bytes + offset;
    if (!SignatureIs(p, "II\xBC\x01"))
        return false;
    constexpr size_t searched = 1024;
    constexpr char text[] = "WMPHOTO";
    constexpr size_t textLength = sizeof(text) - 1;
    for (size_t i = 0; i + textLength <= searched; ++i) {
        if (p[i] == 'W' && SignatureIs(p + i, text))
            return true;
    }
    return false;
}

FileType NImageFileJXR::GetFormatId() const
{
    return FT_JXR;
}
