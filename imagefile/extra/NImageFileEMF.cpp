#include "imagefile/extra/NImageFileEMF.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/MetafilePicture.h"

#include <cmath>

namespace {

constexpr uint32_t kPlaceableKey = 0x9AC6CDD7;
constexpr size_t kPlaceableHeaderBytes = 22;
constexpr uint32_t kEnhancedSignature = 0x464D4520;   // " EMF" at byte 40
constexpr int64_t kUnknownSide = 1300;

int16_t Signed16(const uint8_t* p)
{
    return static_cast<int16_t>(SignatureU16(p));
}

// Pixels along one side: the frame (hundredths of a millimetre) at the device's resolution.
int64_t FrameSide(int64_t frame, LONG devicePixels, LONG deviceMillimetres)
{
    if (deviceMillimetres <= 0 || devicePixels <= 0)
        return kUnknownSide;
    const float side = std::trunc(static_cast<float>(devicePixels) * static_cast<float>(frame) /
                                  (static_cast<float>(deviceMillimetres) * 100.0f));
    if (!std::isfinite(side))
        return kUnknownSide;
    const int64_t pixels = static_cast<int64_t>(std::fabs(side));
    return pixels == 0 ? kUnknownSide : pixels;
}

}  // namespace

bool NImageFileEMF::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

uint16_t NImageFileEMF::PlaceableChecksum(const uint8_t* header)
{
    uint16_t sum = 0;
    for (int i = 0; i < 10; ++i)
        sum = static_cast<uint16_t>(sum ^ SignatureU16(header + 2 * i));
    return sum;
}

HENHMETAFILE NImageFileEMF::ConvertPlaceableWmf(const uint8_t* header, size_t size)
{
    if (!header || size < kPlaceableHeaderBytes || SignatureU32(header) != kPlaceableKey ||
        PlaceableChecksum(header) != SignatureU16(header + 20))
        return nullptr;
    const int left = Signed16(header + 6);
    const int top = Signed16(header + 8);
    const int right = Signed16(header + 10);
    const int bottom = Signed16(header + 12);
    const int unitsPerInch = SignatureU16(header + 14);
    if (unitsPerInch == 0)
        return nullptr;
    METAFILEPICT information = {};
    information.mm = MM_ANISOTROPIC;
    information.xExt = 2 * MulDiv(right - left, 2540, unitsPerInch);
    information.yExt = 2 * MulDiv(bottom - top, 2540, unitsPerInch);
    const WindowDc reference(nullptr);
    return ConvertWindowsMetafile(header + kPlaceableHeaderBytes, size - kPlaceableHeaderBytes, &information,
                                  reference.Get());
}

NRESULT NImageFileEMF::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    NImageBuffer& pic = target ? *target : picture;
    MappedFileBytes file;
    if (!file.Open(path))
        return NR_FILE_OPEN_READ;
    const uint8_t* bytes = file.Data();
    const size_t size = static_cast<size_t>(file.Size());
    EnhancedMetafile metafile;
    if (size >= 44 && SignatureU32(bytes + 40) == kEnhancedSignature)
        metafile.Reset(OpenEnhancedMetafile(bytes, size));
    else if (size >= 4 && SignatureU32(bytes) == kPlaceableKey)
        metafile.Reset(ConvertPlaceableWmf(bytes, size));
    else
        metafile.Reset(ConvertWindowsMetafile(bytes, size, nullptr, nullptr));
    if (!metafile)
        return NR_DECODE_FAILED;

    ENHMETAHEADER header = {};
    if (!GetEnhMetaFileHeader(metafile.Get(), sizeof(header), &header))
        return NR_FORMAT_INIT_FAILED;
    int64_t width = FrameSide(int64_t{header.rclFrame.right} - header.rclFrame.left, header.szlDevice.cx,
                              header.szlMillimeters.cx);
    int64_t height = FrameSide(int64_t{header.rclFrame.bottom} - header.rclFrame.top, header.szlDevice.cy,
                               header.szlMillimeters.cy);
    FitMetafileSize(width, height);
    const NRESULT result = PaintMetafile(metafile.Get(), static_cast<int>(width), static_cast<int>(height),
                                         loadOptions.backgroundColour, true, pic);
    if (result != NR_OK)
        return result;
    consumedSize = file.Size();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileEMF::GetFormatId() const
{
    return FT_EMF;
}
