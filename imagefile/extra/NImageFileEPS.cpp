#include "imagefile/extra/NImageFileEPS.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/DlvTempFile.h"
#include "imagefile/extra/EmbeddedPicture.h"
#include "imagefile/extra/MetafilePicture.h"
#include "imagefile/extra/StdioStream.h"

#include <new>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 30;

}  // namespace

bool NImageFileEPS::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\xC5\xD0\xD3\xC6");
}

NRESULT NImageFileEPS::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    uint8_t h[32] = {};
    size_t got = 0;
    uint64_t fileLength = 0;
    {
        StdioStream in;
        if (!in.Open(path, L"rb"))
            return NR_FILE_OPEN_READ;
        got = in.Read(h, sizeof(h));
        fileLength = in.Length();
    }
    if (got < 4 || !SignatureIs(h, "\xC5\xD0\xD3\xC6"))
        return NR_NOT_THIS_FORMAT;
    if (got < kHeaderBytes)
        return NR_INVALID_DATA;
    const uint32_t metafileStart = SignatureU32(h + 12);
    const uint32_t metafileLength = SignatureU32(h + 16);
    const uint32_t tiffStart = SignatureU32(h + 20);
    const uint32_t tiffLength = SignatureU32(h + 24);
    auto inside = [fileLength](uint64_t start, uint64_t length) {
        return start <= fileLength && length <= fileLength - start;
    };

    if (tiffStart != 0 && tiffLength != 0) {
        if (!inside(tiffStart, tiffLength))
            return NR_INVALID_DATA;
        std::vector<uint8_t> tiff;
        try {
            tiff.resize(tiffLength);
        } catch (const std::bad_alloc&) {
            return NR_ALLOCATION_FAILED;
        }
        {
            StdioStream in;
            if (!in.Open(path, L"rb"))
                return NR_FILE_OPEN_READ;
            if (!in.Seek(tiffStart) || !in.ReadExact(tiff.data(), tiff.size()))
                return NR_INVALID_DATA;
        }
        DlvTempFile temporary;
        if (!temporary.CreateWith(tiff.data(), tiff.size()))
            return NR_FILE_OPEN_WRITE;
        tiff = {};
        const NRESULT result = LoadEmbeddedPicture(pic, temporary.Path(), FT_TIF);
        temporary.Remove();
        if (result == NR_NOT_THIS_FORMAT || result == NR_NO_WRITER)
            return NR_DECODE_FAILED;
        if (result == NR_OK) {
            consumedSize = uint64_t{tiffStart} + tiffLength;
            fullWidth = pic.width;
            fullHeight = pic.height;
        }
        return result;
    }

    if (metafileStart == 0 || metafileLength == 0)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    MappedFileBytes file;
    if (!file.Open(path))
        return NR_FILE_OPEN_READ;
    if (!file.Holds(metafileStart, metafileLength))
        return NR_INVALID_DATA;
    const NRESULT result =
        PaintMetafilePreview(file.Data() + metafileStart, metafileLength, loadOptions.backgroundColour, true, pic);
    if (result != NR_OK)
        return result;
    consumedSize = uint64_t{metafileStart} + metafileLength;
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileEPS::GetFormatId() const
{
    return FT_EPS;
}
