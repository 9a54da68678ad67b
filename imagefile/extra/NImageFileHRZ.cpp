#include "imagefile/extra/NImageFileHRZ.h"

#include "imagefile/extra/StdioStream.h"

#include <cstring>

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 240;

// A 6-bit sample at 8 bits; values above 63 (some writers round 255 up to 64) stay white.
uint8_t Widen(uint8_t sample)
{
    return sample > 63 ? 255 : static_cast<uint8_t>(sample << 2);
}

}  // namespace

bool NImageFileHRZ::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

NRESULT NImageFileHRZ::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    if (!pic.Create(kWidth, kHeight, 24, 0))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    uint8_t samples[kWidth * 3];
    uint8_t row[kWidth * 3] = {};
    for (int y = 0; y < kHeight; ++y) {
        const size_t pixels = in.Read(samples, sizeof(samples)) / 3;
        for (size_t x = 0; x < pixels; ++x) {
            row[x * 3] = Widen(samples[x * 3 + 2]);
            row[x * 3 + 1] = Widen(samples[x * 3 + 1]);
            row[x * 3 + 2] = Widen(samples[x * 3]);
        }
        memcpy(pic.bits + static_cast<size_t>(kHeight - 1 - y) * pic.stride, row, sizeof(row));
    }

    consumedSize = in.PositionInFile();
    fullWidth = kWidth;
    fullHeight = kHeight;
    return NR_OK;
}

FileType NImageFileHRZ::GetFormatId() const
{
    return FT_HRZ;
}
