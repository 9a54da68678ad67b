#include "imagefile/extra/NImageFilePIX.h"

#include "imagefile/DataBound.h"
#include "imagefile/extra/RowsAtDepth.h"
#include "imagefile/extra/StdioStream.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr char kEsmSignature[] = "Esm Software PIX file";
constexpr uint32_t kHeaderBytes = 10;
constexpr uint32_t kLongestPacket = 255;
constexpr uint32_t kLargestSize = 65535;

uint16_t BigEndian16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

bool NImageFilePIX::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

NRESULT NImageFilePIX::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t head[sizeof(kEsmSignature) - 1] = {};
    const size_t got = in.Read(head, sizeof(head));
    if (got == sizeof(head) && memcmp(head, kEsmSignature, sizeof(head)) == 0)
        return NR_NOT_THIS_FORMAT;
    if (got < kHeaderBytes)
        return NR_INVALID_DATA;
    const uint32_t width = BigEndian16(head);
    const uint32_t height = BigEndian16(head + 2);
    const uint32_t depth = BigEndian16(head + 8);
    if (width == 0 || height == 0 || (depth != 8 && depth != 24))
        return NR_INVALID_DATA;
    // A packet of 1 + n bytes gives at most 255 pixels of n bytes.
    const uint32_t pixelBytes = depth / 8;
    const uint64_t fileLength = in.Length();
    if (!DataBound::Yields(uint64_t{width} * height * pixelBytes, fileLength - kHeaderBytes, kLongestPacket * pixelBytes,
                     1 + pixelBytes))
        return NR_INVALID_DATA;

    uint8_t grey[256 * 3];
    for (int i = 0; i < 256; ++i)
        grey[i * 3] = grey[i * 3 + 1] = grey[i * 3 + 2] = static_cast<uint8_t>(i);
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), static_cast<int>(depth), 0, grey))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    in.Seek(kHeaderBytes);
    uint8_t packet[4];
    bool ended = false;
    for (uint32_t y = 0; y < height && !ended; ++y) {
        uint8_t* out = pic.bits + static_cast<size_t>(height - 1 - y) * pic.stride;
        uint32_t x = 0;
        while (x < width) {
            if (!in.ReadExact(packet, 1 + pixelBytes)) {
                ended = true;
                break;
            }
            const uint32_t count = std::min<uint32_t>(packet[0], width - x);
            for (uint32_t i = 0; i < count; ++i, ++x)
                memcpy(out + static_cast<size_t>(x) * pixelBytes, packet + 1, pixelBytes);
        }
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

NRESULT NImageFilePIX::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFilePIX::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || !pic->bits)
        return NR_PICTURE_NOT_VALID;
    const uint32_t width = static_cast<uint32_t>(pic->width);
    const uint32_t height = static_cast<uint32_t>(pic->height);
    if (width > kLargestSize || height > kLargestSize)
        return NR_FORMAT_INIT_FAILED;
    RowsAtDepth rows;
    if (!rows.Prepare(*pic, 24))
        return NR_ALLOCATION_FAILED;
    StdioStream out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    const uint8_t header[kHeaderBytes] = {static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width),
                                          static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height), 0, 0, 0, 0, 0, 24};
    bool ok = out.Write(header, sizeof(header));
    std::vector<uint8_t> coded;
    for (uint32_t y = 0; ok && y < height; ++y) {
        const uint8_t* row = rows.Row(static_cast<int>(height - 1 - y));
        coded.clear();
        for (uint32_t x = 0; x < width;) {
            const uint8_t* p = row + static_cast<size_t>(x) * 3;
            uint32_t count = 1;
            while (x + count < width && count < kLongestPacket && memcmp(p, p + static_cast<size_t>(count) * 3, 3) == 0)
                ++count;
            coded.insert(coded.end(), {static_cast<uint8_t>(count), p[0], p[1], p[2]});
            x += count;
        }
        ok = out.Write(coded.data(), coded.size());
    }
    ok = out.Close() && ok;
    if (!ok) {
        DeleteFileW(path);
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

FileType NImageFilePIX::GetFormatId() const
{
    return FT_PIX;
}
