#include "imagefile/extra/NImageFileZBR.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/AnsiField.h"
#include "imagefile/extra/StdioStream.h"

namespace {

constexpr uint16_t kMagic = 666;
constexpr uint16_t kLatestVersion = 4;
constexpr size_t kDescriptionBytes = 100;
constexpr int kSide = 100;
constexpr size_t kColours = 16;
constexpr size_t kRowBytes = 52;
constexpr size_t kPreviewBytes = kColours * 4 + kRowBytes * kSide;

}  // namespace

bool NImageFileZBR::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureU16(p) == 666 && SignatureU16(p + 2) <= 4;
}

NRESULT NImageFileZBR::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint16_t magic = 0;
    if (!in.ReadU16(magic) || magic != kMagic)
        return NR_NOT_THIS_FORMAT;
    uint16_t version = 0;
    uint8_t description[kDescriptionBytes];
    static_assert(kPreviewBytes == 5264, "the preview's size");
    uint8_t preview[kPreviewBytes];
    if (!in.ReadU16(version) || version > kLatestVersion || !in.ReadExact(description, sizeof(description)) ||
        !in.ReadExact(preview, sizeof(preview)))
        return NR_DECODE_FAILED;
    metadata.comment = AnsiFieldText(description, sizeof(description));

    uint8_t paletteRgb[256 * 3] = {};
    for (size_t i = 0; i < kColours; ++i) {
        paletteRgb[i * 3] = preview[i * 4 + 2];
        paletteRgb[i * 3 + 1] = preview[i * 4 + 1];
        paletteRgb[i * 3 + 2] = preview[i * 4];
    }
    // The rows are stored bottom row first, 52 bytes each, as the picture keeps them.
    if (!pic.CreateFromBits(kSide, kSide, 4, preview + kColours * 4, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;

    consumedSize = in.PositionInFile();
    fullWidth = kSide;
    fullHeight = kSide;
    return NR_OK;
}

FileType NImageFileZBR::GetFormatId() const
{
    return FT_ZBR;
}
