#include "imagefile/extra/NImageFilePCT.h"

#include "imagefile/formats/NImageFileJPG.h"

bool NImageFilePCT::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

FileType NImageFilePCT::GetFormatId() const
{
    return FT_PCT;
}

NRESULT NImageFilePCT::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageFileJPG jpeg;
    const NRESULT result = jpeg.LoadEmbeddedJpeg(path, nullptr);
    if (result != NR_OK)
        return result;
    NImageBuffer& out = target ? *target : picture;
    if (!out.Copy(jpeg.picture))
        return NR_PICTURE_CREATE_FAILED;
    fullWidth = jpeg.fullWidth;
    fullHeight = jpeg.fullHeight;
    consumedSize = jpeg.GetConsumedSize();
    return NR_OK;
}
