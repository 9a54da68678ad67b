#include "imagefile/extra/NImageFileMAC.h"

#include "imagefile/extra/AnsiField.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kWidth = 576;
constexpr int kHeight = 720;
constexpr size_t kRowBytes = kWidth / 8;
constexpr size_t kProbeBytes = 69;
constexpr size_t kLongestMacName = 63;

// Fills row from PackBits codes; a run is cut at the row's end. Answers the bytes filled, fewer
// than a row when the file ended first.
size_t DecodeRow(StdioStream& in, uint8_t* row)
{
    size_t filled = 0;
    while (filled < kRowBytes) {
        const int c = in.ReadByte();
        if (c < 0)
            return filled;
        if (c == 128)
            continue;
        if (c < 128) {
            const size_t n = static_cast<size_t>(c) + 1;
            const size_t kept = std::min(n, kRowBytes - filled);
            const size_t got = in.Read(row + filled, kept);
            filled += got;
            if (got < kept || (n > kept && !in.Skip(n - kept)))
                return filled;
        } else {
            const int value = in.ReadByte();
            if (value < 0)
                return filled;
            const size_t n = std::min<size_t>(257 - static_cast<size_t>(c), kRowBytes - filled);
            memset(row + filled, value, n);
            filled += n;
        }
    }
    return filled;
}

}  // namespace

bool NImageFileMAC::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

NRESULT NImageFileMAC::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t head[kProbeBytes];
    if (!in.ReadExact(head, sizeof(head)))
        return NR_INVALID_DATA;

    // MacBinary: the name's length at 1, the name from 2, the file type at 65.
    const bool macBinary = memcmp(head + 65, "PNTG", 4) == 0;
    if (macBinary)
        metadata.comment = AnsiFieldText(head + 2, std::min<size_t>(head[1], kLongestMacName));
    const uint64_t start = macBinary ? 640 : head[0] == 0 ? 512 : 0;

    const uint8_t palette[256 * 3] = {255, 255, 255, 0, 0, 0};   // 0 white, 1 black
    if (!pic.Create(kWidth, kHeight, 1, 0, palette))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    uint8_t row[kRowBytes] = {};
    if (in.Seek(start)) {
        // A row cut short keeps the rest of the row before it; rows after the file's end stay white.
        for (int y = 0; y < kHeight; ++y) {
            const size_t filled = DecodeRow(in, row);
            if (filled > 0)
                memcpy(pic.bits + static_cast<size_t>(kHeight - 1 - y) * pic.stride, row, kRowBytes);
            if (filled < kRowBytes)
                break;
        }
    }

    consumedSize = in.PositionInFile();
    fullWidth = kWidth;
    fullHeight = kHeight;
    return NR_OK;
}

FileType NImageFileMAC::GetFormatId() const
{
    return FT_MAC;
}
