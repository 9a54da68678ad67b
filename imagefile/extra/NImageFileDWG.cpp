#include "imagefile/extra/NImageFileDWG.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/MetafilePicture.h"
#include "imagefile/extra/StdioStream.h"

#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint8_t kSentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                   0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
constexpr uint64_t kImageDataPointerAt = 13;
constexpr uint8_t kBitmapEntry = 2;
constexpr uint8_t kMetafileEntry = 3;
constexpr uint32_t kInfoHeaderBytes = 40;

}  // namespace

bool NImageFileDWG::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    return SignatureIs(bytes + offset, "AC10");
}

bool NImageFileDWG::IsPreviewSentinel(const uint8_t* bytes)
{
    return bytes && memcmp(bytes, kSentinel, sizeof(kSentinel)) == 0;
}

NRESULT NImageFileDWG::LoadBitmap(StdioStream& in, uint32_t start, uint32_t size, NImageBuffer& pic)
{
    std::vector<uint8_t> dib;
    try {
        dib.resize(size);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    if (!in.Seek(start) || !in.ReadExact(dib.data(), dib.size()))
        return NR_SUBFEATURE_NOT_SUPPORTED;
    if (size < kInfoHeaderBytes)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    const uint32_t headerBytes = SignatureU32(dib.data());
    const int32_t width = static_cast<int32_t>(SignatureU32(dib.data() + 4));
    const int32_t height = static_cast<int32_t>(SignatureU32(dib.data() + 8));
    const uint16_t bitCount = SignatureU16(dib.data() + 14);
    const uint32_t compression = SignatureU32(dib.data() + 16);
    const uint32_t coloursUsed = SignatureU32(dib.data() + 32);
    if (headerBytes < kInfoHeaderBytes || headerBytes > size || compression != BI_RGB)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    if (width <= 0 || height <= 0 ||
        (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32))
        return NR_PICTURE_CREATE_FAILED;

    uint8_t paletteRgb[256 * 3] = {};
    uint64_t paletteBytes = 0;
    if (bitCount <= 8) {
        const uint32_t full = 1u << bitCount;
        const uint32_t entries = coloursUsed != 0 && coloursUsed < full ? coloursUsed : full;
        paletteBytes = uint64_t{entries} * 4;
        if (paletteBytes > size - headerBytes)
            return NR_SUBFEATURE_NOT_SUPPORTED;
        const uint8_t* quad = dib.data() + headerBytes;
        for (uint32_t i = 0; i < entries; ++i) {
            paletteRgb[i * 3] = quad[i * 4 + 2];
            paletteRgb[i * 3 + 1] = quad[i * 4 + 1];
            paletteRgb[i * 3 + 2] = quad[i * 4];
        }
        const COLORREF background = loadOptions.backgroundColour;
        paletteRgb[0] = GetRValue(background);
        paletteRgb[1] = GetGValue(background);
        paletteRgb[2] = GetBValue(background);
    }
    // The pixels must all be there.
    const uint64_t pixelsAt = headerBytes + paletteBytes;
    const uint64_t pixelBytes = DataBound::PackedBytes(static_cast<uint64_t>(NImageBuffer::StrideFor(width, bitCount)), height, 8);
    if (pixelBytes == 0 || pixelBytes > size - pixelsAt)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    if (!pic.CreateFromBits(width, height, bitCount, dib.data() + pixelsAt, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;
    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

NRESULT NImageFileDWG::LoadMetafile(const wchar_t* path, uint32_t start, uint32_t size, NImageBuffer& pic)
{
    MappedFileBytes file;
    if (!file.Open(path))
        return NR_FILE_OPEN_READ;
    if (!file.Holds(start, size))
        return NR_SUBFEATURE_NOT_SUPPORTED;
    const NRESULT result = PaintMetafilePreview(file.Data() + start, size, loadOptions.backgroundColour, false, pic);
    if (result != NR_OK)
        return result;
    consumedSize = uint64_t{start} + size;
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

NRESULT NImageFileDWG::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t head[kImageDataPointerAt + 4] = {};
    const size_t got = in.Read(head, sizeof(head));
    if (got < 4 || memcmp(head, "AC10", 4) != 0)
        return NR_NOT_THIS_FORMAT;
    uint8_t sentinel[16];
    if (got < sizeof(head) || !in.Seek(SignatureU32(head + kImageDataPointerAt)) ||
        !in.ReadExact(sentinel, sizeof(sentinel)) || !IsPreviewSentinel(sentinel))
        return NR_SUBFEATURE_NOT_SUPPORTED;
    uint32_t overall = 0;
    const int entries = in.ReadU32(overall) ? in.ReadByte() : -1;
    for (int i = 0; i < entries; ++i) {
        const int code = in.ReadByte();
        uint32_t start = 0;
        uint32_t size = 0;
        if (code < 0 || !in.ReadU32(start) || !in.ReadU32(size))
            break;
        if (code == kBitmapEntry) {
            if (uint64_t{start} + size > in.Length())
                return NR_SUBFEATURE_NOT_SUPPORTED;
            return LoadBitmap(in, start, size, pic);
        }
        if (code == kMetafileEntry) {
            in.Close();
            return LoadMetafile(path, start, size, pic);
        }
    }
    return NR_SUBFEATURE_NOT_SUPPORTED;
}

FileType NImageFileDWG::GetFormatId() const
{
    return FT_DWG;
}
