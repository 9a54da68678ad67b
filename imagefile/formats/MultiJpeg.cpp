#include "imagefile/formats/MultiJpeg.h"

#include "imagefile/formats/NImageFileJPG.h"

NRESULT LoadFirstJpegPicture(NImageFile& owner, const wchar_t* path, NImageBuffer* target)
{
    owner.SetFileName(path);
    NImageBuffer* destination = target ? target : &owner.picture;
    NImageFileJPG jpeg;
    const NRESULT result = jpeg.LoadEmbeddedJpeg(path, &jpeg.picture);
    if (result == NR_NOT_THIS_FORMAT)
        return result;
    owner.fullWidth = jpeg.fullWidth;
    owner.fullHeight = jpeg.fullHeight;
    owner.consumedSize = jpeg.GetConsumedSize();
    if (result == NR_OK && !destination->Copy(jpeg.picture))
        return NR_PICTURE_CREATE_FAILED;
    return result;
}

size_t FindJpegStreamEnd(const uint8_t* b, size_t size, size_t start)
{
    if (!b || start > size || size - start < 2 || b[start] != 0xFF || b[start + 1] != 0xD8)
        return 0;
    size_t p = start + 2;
    for (;;) {
        if (p >= size || b[p] != 0xFF)
            return 0;
        while (p < size && b[p] == 0xFF)
            ++p;
        if (p >= size)
            return 0;
        const uint8_t marker = b[p++];
        if (marker == 0xD9)
            return p;
        if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7))
            continue;   // markers without a length
        if (marker == 0x00 || marker == 0xD8 || size - p < 2)
            return 0;
        const size_t length = (static_cast<size_t>(b[p]) << 8) | b[p + 1];
        if (length < 2 || length > size - p)
            return 0;
        p += length;
        if (marker != 0xDA)
            continue;
        // Entropy-coded data up to the next marker other than stuffing and restarts.
        for (;;) {
            if (size - p < 2)
                return 0;
            if (b[p] != 0xFF) {
                ++p;
                continue;
            }
            const uint8_t next = b[p + 1];
            if (next == 0x00 || (next >= 0xD0 && next <= 0xD7))
                p += 2;
            else if (next == 0xFF)
                ++p;
            else
                break;
        }
    }
}
