#include "imagefile/formats/NImageFileMPO.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/MultiJpeg.h"
#include "imagefile/formats/NImageFileJPG.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <vector>

bool NImageFileMPO::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 12))
        return false;
    const uint8_t* p = bytes + offset;
    if (p[0] != 0xFF || p[1] != 0xD8 || p[2] != 0xFF)
        return false;
    const uint8_t* id = p + 6;
    return SignatureIs(id, "JFIF") || SignatureIs(id, "Exif") || SignatureIs(id, "Adob");
}

FileType NImageFileMPO::GetFormatId() const
{
    return FT_MPO;
}

bool NImageFileMPO::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileMPO::GetPageCount() const
{
    return pageCount;
}

void NImageFileMPO::SetPage(int32_t index)
{
    currentPage = index;
}

bool NImageFileMPO::IsAnimated() const
{
    return multiImage != 0;
}

NRESULT NImageFileMPO::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    if (preview || quick)
        return LoadFirstJpegPicture(*this, path, target);

    SetFileName(path);
    NImageBuffer* strip = target ? target : &picture;
    FILE* file = path ? _wfopen(path, L"rb") : nullptr;
    if (!file)
        return NR_FILE_OPEN_READ;
    int64_t end = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0)
        end = _ftelli64(file);
    if (end < 0 || _fseeki64(file, 0, SEEK_SET) != 0) {
        fclose(file);
        return NR_FILE_OPEN_READ;
    }
    uint8_t* bytes = static_cast<uint8_t*>(malloc(end > 0 ? static_cast<size_t>(end) : 1));
    if (!bytes) {
        fclose(file);
        return NR_ALLOCATION_FAILED;
    }
    const size_t size = fread(bytes, 1, static_cast<size_t>(end), file);
    _fseeki64(file, 0, SEEK_SET);

    // Every JPEG start in the file, except those inside a picture already decoded (such as the
    // thumbnail in a picture's EXIF data).
    std::vector<std::unique_ptr<NImageBuffer>> pictures;
    for (size_t i = 0; i < size; ++i) {
        if (!IsFormat(bytes, i, size))
            continue;
        if (_fseeki64(file, static_cast<int64_t>(i), SEEK_SET) != 0)
            break;
        NImageBuffer decoded;
        NRESULT result;
        {
            NImageFileJPG jpeg;
            result = NImageFileJPG::DecodeStream(&jpeg, decoded, file, 0);
        }
        if (result != NR_OK)
            continue;
        fullWidth = decoded.width;
        fullHeight = decoded.height;
        std::unique_ptr<NImageBuffer> copy(new (std::nothrow) NImageBuffer());
        if (copy && copy->Copy(decoded))
            pictures.push_back(std::move(copy));
        const size_t streamEnd = FindJpegStreamEnd(bytes, size, i);
        if (streamEnd > i + 1)
            i = streamEnd - 1;
    }
    const int64_t position = _ftelli64(file);
    consumedSize = position > 0 ? static_cast<uint64_t>(position) : 0;
    free(bytes);
    fclose(file);

    const size_t count = pictures.size();
    if (count == 0)
        return NR_FORMAT_INIT_FAILED;
    if (pageCount == 0) {
        multiImage = count > 1 ? 1 : 0;
        pageCount = static_cast<int32_t>(count);
        currentPage = 0;
    }
    const int width = pictures[0]->width;
    const int height = pictures[0]->height;
    const int64_t stripHeight = static_cast<int64_t>(height) * static_cast<int64_t>(count);
    if (stripHeight > 0x7FFFFFFF || !strip->Create(width, static_cast<int>(stripHeight), 24, 0x00FFFFFF, nullptr))
        return NR_PICTURE_CREATE_FAILED;
    for (size_t i = 0; i < count; ++i) {
        const NImageBuffer& one = *pictures[i];
        const int y = static_cast<int>(i) * height;
        if (one.width == width && one.height == height)
            one.BlitTo(strip->dc, 0, y, SRCCOPY);
        else
            one.StretchBlitTo(strip->dc, 0, y, width, height, SRCCOPY);
        frameDelays.push_back(250);
    }
    if (pageCount > 1)
        strip->height = height;
    return NR_OK;
}
