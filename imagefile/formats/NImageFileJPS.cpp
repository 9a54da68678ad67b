#include "imagefile/formats/NImageFileJPS.h"

#include <new>

#include "imagefile/formats/NImageFileJPG.h"

FileType NImageFileJPS::GetFormatId() const
{
    return FT_JPS;
}

NRESULT NImageFileJPS::ReadFrames(FILE* file, JpegStripSource& source)
{
    std::unique_ptr<NImageBuffer> decoded(new (std::nothrow) NImageBuffer());
    if (!decoded)
        return NR_ALLOCATION_FAILED;
    NRESULT result;
    {
        NImageFileJPG jpeg;
        result = NImageFileJPG::DecodeStream(&jpeg, *decoded, file, 0);
    }
    fullWidth = decoded->valid ? decoded->width : 0;
    fullHeight = decoded->valid ? decoded->height : 0;
    if (result != NR_OK)
        return result;
    const NImageBuffer& pair = source.Add(std::move(decoded), false);
    const int half = pair.width / 2;
    source.frames.push_back({&pair, 0, 0, half, pair.height});
    source.frames.push_back({&pair, half, 0, half, pair.height});
    return NR_OK;
}
