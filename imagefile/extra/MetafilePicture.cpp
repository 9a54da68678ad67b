#include "imagefile/extra/MetafilePicture.h"

#include "imaging/NImageBuffer.h"

#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kWindowsHeaderBytes = 18;
constexpr uint32_t kSmallestRecordWords = 3;
constexpr size_t kEnhancedHeaderBytes = 88;
constexpr uint32_t kEnhancedSignature = 0x464D4520;   // " EMF"
constexpr uint32_t kEndOfFileRecord = 14;

uint16_t U16(const uint8_t* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p)
{
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

void PutU32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

}  // namespace

bool MappedFileBytes::Open(const wchar_t* path)
{
    UnmapFileView(&view_);
    size_ = 0;
    if (!MapFileForReading(path, nullptr, &view_))
        return false;
    LARGE_INTEGER size;
    if (!GetFileSizeEx(view_.file, &size) || size.QuadPart <= 0) {
        UnmapFileView(&view_);
        return false;
    }
    size_ = static_cast<uint64_t>(size.QuadPart);
    return true;
}

size_t WindowsMetafileLength(const uint8_t* bytes, size_t size)
{
    if (!bytes || size < kWindowsHeaderBytes)
        return 0;
    const uint16_t type = U16(bytes);
    const uint16_t headerWords = U16(bytes + 2);
    const uint16_t version = U16(bytes + 4);
    if ((type != 1 && type != 2) || headerWords != kWindowsHeaderBytes / 2 || (version != 0x100 && version != 0x300))
        return 0;
    size_t at = kWindowsHeaderBytes;
    while (size - at >= kSmallestRecordWords * 2) {
        const uint64_t recordBytes = uint64_t{U32(bytes + at)} * 2;
        if (recordBytes < kSmallestRecordWords * 2 || recordBytes > size - at)
            return 0;
        const uint16_t function = U16(bytes + at + 4);
        at += static_cast<size_t>(recordBytes);
        if (function == 0)
            return at;
    }
    return 0;
}

size_t EnhancedMetafileLength(const uint8_t* bytes, size_t size)
{
    if (!bytes || size < kEnhancedHeaderBytes)
        return 0;
    const uint32_t headerBytes = U32(bytes + 4);
    if (U32(bytes) != EMR_HEADER || U32(bytes + 40) != kEnhancedSignature || headerBytes < kEnhancedHeaderBytes ||
        headerBytes > size || headerBytes % 4 != 0)
        return 0;
    const uint32_t descriptionUnits = U32(bytes + 64);
    const uint32_t descriptionAt = U32(bytes + 68);
    if (descriptionUnits != 0 &&
        (descriptionAt > headerBytes || uint64_t{descriptionUnits} * 2 > headerBytes - descriptionAt))
        return 0;
    size_t at = headerBytes;
    while (size - at >= 8) {
        const uint32_t type = U32(bytes + at);
        const uint32_t recordBytes = U32(bytes + at + 4);
        if (recordBytes < 8 || recordBytes % 4 != 0 || recordBytes > size - at)
            return 0;
        at += recordBytes;
        if (type == kEndOfFileRecord)
            return at;
    }
    return 0;
}

HENHMETAFILE ConvertWindowsMetafile(const uint8_t* bytes, size_t size, const METAFILEPICT* information, HDC reference)
{
    const size_t length = WindowsMetafileLength(bytes, size);
    if (length == 0 || length > UINT_MAX)
        return nullptr;
    std::vector<uint8_t> copy;
    try {
        copy.assign(bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    PutU32(copy.data() + 6, static_cast<uint32_t>(length / 2));
    return SetWinMetaFileBits(static_cast<UINT>(length), copy.data(), reference, information);
}

HENHMETAFILE OpenEnhancedMetafile(const uint8_t* bytes, size_t size)
{
    const size_t length = EnhancedMetafileLength(bytes, size);
    if (length == 0 || length > UINT_MAX)
        return nullptr;
    std::vector<uint8_t> copy;
    try {
        copy.assign(bytes, bytes + length);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
    PutU32(copy.data() + 48, static_cast<uint32_t>(length));   // nBytes: what was checked
    return SetEnhMetaFileBits(static_cast<UINT>(length), copy.data());
}

void FitMetafileSize(int64_t& width, int64_t& height)
{
    const int64_t longer = width > height ? width : height;
    if (longer <= kLargestMetafileSide)
        return;
    width = width * kLargestMetafileSide / longer;
    height = height * kLargestMetafileSide / longer;
    if (width < 1)
        width = 1;
    if (height < 1)
        height = 1;
}

NRESULT PaintMetafile(HENHMETAFILE metafile, int width, int height, COLORREF background, bool keyBackground,
                      NImageBuffer& picture)
{
    if (!picture.Create(width, height, 24, background))
        return NR_PICTURE_CREATE_FAILED;
    if (keyBackground) {
        picture.transparentColour = static_cast<int32_t>(background);
        picture.hasTransparency = 1;
    }
    const RECT area = {0, 0, width, height};
    PlayEnhMetaFile(picture.dc, metafile, &area);
    GdiFlush();
    return NR_OK;
}

NRESULT PaintMetafilePreview(const uint8_t* bytes, size_t size, COLORREF background, bool keyBackground,
                             NImageBuffer& picture)
{
    EnhancedMetafile metafile(ConvertWindowsMetafile(bytes, size, nullptr, nullptr));
    if (!metafile)
        return NR_DECODE_FAILED;
    ENHMETAHEADER header = {};
    if (!GetEnhMetaFileHeader(metafile.Get(), sizeof(header), &header))
        return NR_FORMAT_INIT_FAILED;
    int64_t width = std::llabs(int64_t{header.rclBounds.right});
    int64_t height = std::llabs(int64_t{header.rclBounds.bottom});
    if (width < 1 || height < 1)
        return NR_FORMAT_INIT_FAILED;
    FitMetafileSize(width, height);
    return PaintMetafile(metafile.Get(), static_cast<int>(width), static_cast<int>(height), background, keyBackground,
                         picture);
}
