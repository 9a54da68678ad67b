#include "imagefile/formats/NImageFileMPO.h"

#include <cstdlib>
#include <new>

#include "base/ReadTarget.h"
#include "imagefile/formats/NImageFileJPG.h"

FileType NImageFileMPO::GetFormatId() const
{
    return FT_MPO;
}

NRESULT NImageFileMPO::ReadFrames(FILE* file, JpegStripSource& source)
{
    int64_t end = -1;
    if (_fseeki64(file, 0, SEEK_END) == 0)
        end = _ftelli64(file);
    if (end < 0 || _fseeki64(file, 0, SEEK_SET) != 0)
        return NR_FILE_OPEN_READ;
    std::unique_ptr<uint8_t, decltype(&free)> bytes(static_cast<uint8_t*>(malloc(end > 0 ? static_cast<size_t>(end) : 1)),
                                                     &free);
    if (!bytes)
        return NR_ALLOCATION_FAILED;
    PrepareReadTarget(bytes.get(), static_cast<size_t>(end));
    const size_t size = fread(bytes.get(), 1, static_cast<size_t>(end), file);
    _fseeki64(file, 0, SEEK_SET);

    // Every JPEG start in the file, except those inside a picture already decoded (such as the
    // thumbnail in a picture's EXIF data).
    for (size_t i = 0; i < size; ++i) {
        if (!IsFormat(bytes.get(), i, size))
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
            source.Add(std::move(copy), true);
        const size_t streamEnd = FindJpegStreamEnd(bytes.get(), size, i);
        if (streamEnd > i + 1)
            i = streamEnd - 1;
    }
    return NR_OK;
}
