// The JPEG format class's fallback for files that hold a JPEG picture after other data: the
// first start of image in the file's head is decoded.
#include "imagefile/formats/NImageFileJPG.h"

#include <cstdio>
#include <vector>

#include "base/ScopedFile.h"
#include "imagefile/formats/JpegLib.h"

namespace {

constexpr size_t kEmbeddedSearchBytes = 102400;

}  // namespace

NRESULT NImageFileJPG::LoadEmbeddedJpeg(const wchar_t* path, NImageBuffer* target)
{
    if (!path)
        return NR_FILE_OPEN_READ;
    std::vector<uint8_t> head(kEmbeddedSearchBytes, 0);
    {
        const ScopedFile file(path, L"rb");
        if (!file)
            return NR_FILE_OPEN_READ;
        std::fread(head.data(), 1, head.size(), file.Get());
    }

    size_t offset = 0;
    bool found = false;
    for (; offset + kJpegSignatureWindow <= head.size(); ++offset) {
        if (IsFormat(head.data(), offset, head.size())) {
            found = true;
            break;
        }
    }
    if (!found)
        return NR_NOT_THIS_FORMAT;

    const ScopedFile file(path, L"rb");
    if (!file)
        return NR_NOT_THIS_FORMAT;
    NImageBuffer& destination = target ? *target : picture;
    NRESULT result = NR_DECODE_FAILED;
    if (_fseeki64(file.Get(), static_cast<int64_t>(offset), SEEK_SET) == 0)
        result = DecodeStream(this, destination, file.Get(), 0);
    fullWidth = destination.valid ? destination.width : 0;
    fullHeight = destination.valid ? destination.height : 0;
    const int64_t position = _ftelli64(file.Get());
    consumedSize = position > 0 ? static_cast<uint64_t>(position) : 0;
    return result;
}
