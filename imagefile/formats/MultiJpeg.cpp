#include "imagefile/formats/MultiJpeg.h"

#include "base/ScopedFile.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/NImageFileJPG.h"

const NImageBuffer& JpegStripSource::Add(std::unique_ptr<NImageBuffer> picture, bool whole)
{
    const NImageBuffer& kept = *picture;
    pictures.push_back(std::move(picture));
    if (whole)
        frames.push_back({&kept, 0, 0, kept.width, kept.height});
    return kept;
}

bool NImageFileJpegStrip::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 12))
        return false;
    const uint8_t* p = bytes + offset;
    if (p[0] != 0xFF || p[1] != 0xD8 || p[2] != 0xFF)
        return false;
    const uint8_t* id = p + 6;
    return SignatureIs(id, "JFIF") || SignatureIs(id, "Exif") || SignatureIs(id, "Adob");
}

bool NImageFileJpegStrip::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileJpegStrip::GetPageCount() const
{
    return pageCount;
}

void NImageFileJpegStrip::SetPage(int32_t index)
{
    currentPage = index;
}

bool NImageFileJpegStrip::IsAnimated() const
{
    return multiImage != 0;
}

NRESULT NImageFileJpegStrip::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    if (preview || quick)
        return LoadFirstJpegPicture(*this, path, target);

    SetFileName(path);
    NImageBuffer* strip = target ? target : &picture;
    JpegStripSource source;
    NRESULT result;
    {
        ScopedFile file(path, L"rb");
        if (!file)
            return NR_FILE_OPEN_READ;
        result = ReadFrames(file.Get(), source);
        const int64_t position = _ftelli64(file.Get());
        consumedSize = position > 0 ? static_cast<uint64_t>(position) : 0;
    }
    if (result != NR_OK)
        return result;
    if (source.frames.empty())
        return NR_FORMAT_INIT_FAILED;

    const size_t count = source.frames.size();
    if (pageCount == 0) {
        multiImage = count > 1 ? 1 : 0;
        pageCount = static_cast<int32_t>(count);
        currentPage = 0;
    }
    const int width = source.frames[0].width;
    const int height = source.frames[0].height;
    const int64_t stripHeight = static_cast<int64_t>(height) * static_cast<int64_t>(count);
    if (width < 1 || stripHeight > 0x7FFFFFFF ||
        !strip->Create(width, static_cast<int>(stripHeight), 24, 0x00FFFFFF, nullptr))
        return NR_PICTURE_CREATE_FAILED;
    for (size_t i = 0; i < count; ++i) {
        const JpegStripSource::Frame& frame = source.frames[i];
        frame.picture->StretchBlitRectTo(strip->dc, 0, static_cast<int>(i) * height, width, height, frame.x, frame.y,
                                         frame.width, frame.height, SRCCOPY);
        frameDelays.push_back(250);
    }
    if (pageCount > 1)
        strip->height = height;
    return NR_OK;
}

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
