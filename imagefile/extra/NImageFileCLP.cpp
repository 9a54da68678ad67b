#include "imagefile/extra/NImageFileCLP.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/FormatStream.h"
#include "imaging/DecodeBudget.h"

#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr uint16_t kMagic = 0xC350;
constexpr unsigned kMaxEntries = 200;
constexpr size_t kEntryBytes = 89;     // format, data length, data offset, 79 bytes of name
constexpr uint16_t kBitmapFormat = 8;  // a device-independent bitmap
constexpr uint32_t kInfoHeaderBytes = 40;

bool IsBitmapDepth(unsigned bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

bool NImageFileCLP::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    if (SignatureU16(p) != kMagic)
        return false;
    const uint16_t count = SignatureU16(p + 2);
    return count >= 1 && count <= 199;
}

FileType NImageFileCLP::GetFormatId() const
{
    return FT_CLP;
}

NRESULT NImageFileCLP::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    FormatStream in;
    if (!in.OpenRead(path))
        return NR_FILE_OPEN_READ;

    uint8_t head[4];
    if (!in.ReadExact(head, sizeof head) || SignatureU16(head) != kMagic)
        return NR_NOT_THIS_FORMAT;
    const unsigned count = SignatureU16(head + 2);
    if (count < 1 || count > kMaxEntries)
        return NR_SUBFEATURE_NOT_SUPPORTED;

    // The first bitmap entry; only that one is tried, and the entries after it need not be there.
    uint32_t dataLength = 0;
    uint32_t dataOffset = 0;
    bool found = false;
    for (unsigned i = 0; i < count && !found; ++i) {
        uint8_t entry[kEntryBytes];
        if (!in.ReadExact(entry, sizeof entry))
            return NR_INVALID_DATA;
        if (SignatureU16(entry) == kBitmapFormat) {
            dataLength = SignatureU32(entry + 2);
            dataOffset = SignatureU32(entry + 6);
            found = true;
        }
    }
    if (!found)
        return NR_SUBFEATURE_NOT_SUPPORTED;
    if (uint64_t{dataOffset} + dataLength > in.Length() || dataLength < kInfoHeaderBytes || !in.Seek(dataOffset))
        return NR_INVALID_DATA;
    NDecodeLease dataMemory;
    if (!dataMemory.Take(dataLength))
        return NR_ALLOCATION_FAILED;
    std::unique_ptr<uint8_t[]> data(new (std::nothrow) uint8_t[dataLength]);
    if (!data)
        return NR_ALLOCATION_FAILED;
    if (!in.ReadExact(data.get(), dataLength))
        return NR_INVALID_DATA;

    // The bitmap header, its palette (the entries in use, blue, green, red, reserved) right after
    // it, then the rows; all of them must lie inside the entry's data.
    const uint8_t* d = data.get();
    const uint32_t headerBytes = SignatureU32(d);
    const int32_t width = static_cast<int32_t>(SignatureU32(d + 4));
    const int32_t height = static_cast<int32_t>(SignatureU32(d + 8));
    const unsigned bits = SignatureU16(d + 14);
    const uint32_t coloursUsed = SignatureU32(d + 32);
    if (headerBytes < kInfoHeaderBytes || headerBytes > dataLength)
        return NR_INVALID_DATA;
    if (!IsBitmapDepth(bits) || width <= 0 || height == 0 || height == INT32_MIN)
        return NR_PICTURE_CREATE_FAILED;
    const uint32_t rows = static_cast<uint32_t>(height < 0 ? -height : height);
    uint32_t paletteEntries = 0;
    if (bits <= 8) {
        paletteEntries = 1u << bits;
        if (coloursUsed != 0 && coloursUsed < paletteEntries)
            paletteEntries = coloursUsed;
    }
    const uint64_t pixelsStart = uint64_t{headerBytes} + uint64_t{paletteEntries} * 4;
    const uint64_t stride = (uint64_t{static_cast<uint32_t>(width)} * bits + 31) / 32 * 4;
    if (pixelsStart > dataLength || stride * rows > dataLength - pixelsStart)
        return NR_INVALID_DATA;

    uint8_t paletteRgb[768] = {};
    for (uint32_t i = 0; i < paletteEntries; ++i) {
        const uint8_t* quad = d + headerBytes + i * 4;
        paletteRgb[i * 3] = quad[2];
        paletteRgb[i * 3 + 1] = quad[1];
        paletteRgb[i * 3 + 2] = quad[0];
    }
    NImageBuffer& out = target ? *target : picture;
    if (!out.CreateFromBits(width, static_cast<int>(rows), static_cast<int>(bits), d + pixelsStart,
                            bits <= 8 ? paletteRgb : nullptr))
        return NR_PICTURE_CREATE_FAILED;
    if (height < 0)
        out.FlipVertical();   // rows stored top row first

    consumedSize = in.Tell();
    in.Close();
    fullWidth = width;
    fullHeight = static_cast<int32_t>(rows);
    return NR_OK;
}
