#include "imagefile/extra/NImageFileRLA.h"

bool NImageFileRLA::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

FileType NImageFileRLA::GetFormatId() const
{
    return FT_RLA;
}
