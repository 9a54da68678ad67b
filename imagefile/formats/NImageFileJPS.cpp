#include "imagefile/formats/NImageFileJPS.h"

#include "imagefile/formats/MultiJpeg.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "imagefile/formats/NImageFileMPO.h"

#include <cstdio>

bool NImageFileJPS::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    // A stereo pair is two JPEG pictures, recognised exactly like a multi-picture object.
    return NImageFileMPO::IsFormat(bytes, offset, length);
}

FileType NImageFileJPS::GetFormatId() const
{
    return FT_JPS;
}

bool NImageFileJPS::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileJPS::GetPageCount() const
{
    return pageCount;
}

void NImageFileJPS::SetPage(int32_t index)
{
    currentPage = index;
}

bool NImageFileJPS::IsAnimated() const
{
    return multiImage != 0;
}

NRESULT NImageFileJPS::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    if (preview || quick)
        return LoadFirstJpegPicture(*this, path, target);

    SetFileName(path);
    NImageBuffer* strip = target ? target : &picture;
    FILE* file = path ? _wfopen(path, L"rb") : nullptr;
    if (!file)
        return NR_FILE_OPEN_READ;

    NImageBuffer decoded;
    NRESULT result;
    {
        NImageFileJPG jpeg;
        result = NImageFileJPG::DecodeStream(&jpeg, decoded, file, 0);
    }
    fullWidth = decoded.valid ? decoded.width : 0;
    fullHeight = decoded.valid ? decoded.height : 0;
    const int64_t position = _ftelli64(file);
    consumedSize = position > 0 ? static_cast<uint64_t>(position) : 0;
    fclose(file);
    if (result != NR_OK)
        return result;

    const int width = decoded.width;
    const int height = decoded.height;
    const int half = width / 2;
    if (pageCount == 0) {
        multiImage = 1;
        pageCount = 2;
        currentPage = 0;
    }
    if (half < 1 || height > 0x3FFFFFFF || !strip->Create(half, 2 * height, 24, 0x00FFFFFF, nullptr))
        return NR_PICTURE_CREATE_FAILED;
    decoded.StretchBlitRectTo(strip->dc, 0, 0, half, height, 0, 0, half, height, SRCCOPY);
    frameDelays.push_back(250);
    decoded.StretchBlitRectTo(strip->dc, 0, height, half, height, half, 0, half, height, SRCCOPY);
    frameDelays.push_back(250);
    if (pageCount > 1)
        strip->height = height;
    return NR_OK;
}
