#include "imagefile/extra/NImageFileMSP.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint64_t kHeaderBytes = 32;
constexpr uint64_t kLongestRun = 255;

// One version-2 row: n > 0 literal bytes, or 0, a count and a value; every run is cut at the
// row's end. Answers the bytes filled, fewer than a row when the file ended first.
size_t DecodeRow(StdioStream& in, std::vector<uint8_t>& row, size_t rowBytes)
{
    size_t filled = 0;
    while (filled < rowBytes) {
        const int n = in.ReadByte();
        if (n < 0)
            return filled;
        if (n > 0) {
            const size_t kept = std::min<size_t>(static_cast<size_t>(n), rowBytes - filled);
            const size_t got = in.Read(row.data() + filled, kept);
            filled += got;
            if (got < kept || (static_cast<size_t>(n) > kept && !in.Skip(static_cast<size_t>(n) - kept)))
                return filled;
        } else {
            const int count = in.ReadByte();
            const int value = count < 0 ? -1 : in.ReadByte();
            if (value < 0)
                return filled;
            const size_t kept = std::min<size_t>(static_cast<size_t>(count), rowBytes - filled);
            memset(row.data() + filled, value, kept);
            filled += kept;
        }
    }
    return filled;
}

}  // namespace

bool NImageFileMSP::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "DanM") || SignatureIs(p, "LinS");
}

NRESULT NImageFileMSP::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[8] = {};
    const size_t got = in.Read(h, sizeof(h));
    const bool version1 = got >= 4 && memcmp(h, "DanM", 4) == 0;
    const bool version2 = got >= 4 && memcmp(h, "LinS", 4) == 0;
    if (!version1 && !version2)
        return NR_NOT_THIS_FORMAT;
    if (got < sizeof(h))
        return NR_INVALID_DATA;
    const uint32_t width = SignatureU16(h + 4);
    const uint32_t height = SignatureU16(h + 6);
    const size_t rowBytes = (static_cast<size_t>(width) + 7) / 8;

    // Raw rows byte for byte; coded rows at most 255 bytes from 3, behind the row-length table.
    const uint64_t dataStart = version1 ? kHeaderBytes : kHeaderBytes + 2 * uint64_t{height};
    const uint64_t fileLength = in.Length();
    const uint64_t decoded = uint64_t{rowBytes} * height;
    if (dataStart > fileLength || !DataBound::Yields(decoded, fileLength - dataStart,
                                                                 version1 ? DataBound::kRawCutShort : kLongestRun,
                                                                 version1 ? 1 : 3))
        return NR_INVALID_DATA;

    const uint8_t palette[256 * 3] = {0, 0, 0, 255, 255, 255};   // 0 black, 1 white
    if (width == 0 || height == 0 || !pic.Create(static_cast<int>(width), static_cast<int>(height), 1, 0, palette))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    std::vector<uint8_t> row((rowBytes + 3) & ~size_t{3});
    if (in.Seek(dataStart)) {
        // A row cut short keeps the rest of the row before it; rows after the file's end stay black.
        for (uint32_t y = 0; y < height; ++y) {
            const size_t filled = version1 ? in.Read(row.data(), rowBytes) : DecodeRow(in, row, rowBytes);
            if (filled > 0)
                memcpy(pic.bits + static_cast<size_t>(height - 1 - y) * pic.stride, row.data(), rowBytes);
            if (filled < rowBytes)
                break;
        }
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileMSP::GetFormatId() const
{
    return FT_MSP;
}
