#include "imagefile/extra/NImageFileRLA.h"

#include "imagefile/DataBound.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 740;
constexpr size_t kChannelBitsAt = 658;

int16_t Signed16(const uint8_t* p)
{
    return static_cast<int16_t>((p[0] << 8) | p[1]);
}

// Decodes one channel's coded bytes into width bytes (cleared first), every run clipped to them.
void DecodeChannel(const uint8_t* coded, size_t length, std::vector<uint8_t>& out)
{
    std::fill(out.begin(), out.end(), 0);
    const size_t width = out.size();
    size_t filled = 0;
    size_t i = 0;
    while (filled < width && i < length) {
        const int8_t c = static_cast<int8_t>(coded[i++]);
        if (c < 0) {
            const size_t n = std::min({static_cast<size_t>(-c), width - filled, length - i});
            memcpy(out.data() + filled, coded + i, n);
            filled += n;
            i += static_cast<size_t>(-c);
        } else {
            if (i >= length)
                break;
            const size_t n = std::min(static_cast<size_t>(c) + 1, width - filled);
            memset(out.data() + filled, coded[i++], n);
            filled += n;
        }
    }
}

}  // namespace

bool NImageFileRLA::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

NRESULT NImageFileRLA::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes] = {};
    if (!in.ReadExact(h, sizeof(h)))
        return NR_INVALID_DATA;
    if (Signed16(h + kChannelBitsAt) != 8)
        return NR_WRONG_BPP;
    const int64_t width = int64_t{Signed16(h + 10)} - Signed16(h + 8) + 1;
    const int64_t height = int64_t{Signed16(h + 14)} - Signed16(h + 12) + 1;
    int colourChannels = Signed16(h + 20);
    if (colourChannels < 1 || colourChannels > 3)
        colourChannels = 3;
    const int matteChannels = std::clamp<int>(Signed16(h + 22), 0, 1);
    const int channels = colourChannels + matteChannels;
    // One channel: grey. A matte: alpha of a 32-bit picture. Colour channels fill red, green,
    // blue in that order; a single one fills all three.
    const int depth = channels == 1 ? 8 : matteChannels ? 32 : 24;
    if (width <= 0 || height <= 0)
        return NR_PICTURE_CREATE_FAILED;

    // The offset table must be there; scan lines may share their coded bytes, and a run of 2
    // coded bytes gives at most 128 bytes of a channel.
    const uint64_t fileLength = in.Length();
    const uint64_t tableBytes = uint64_t(height) * 4;
    if (kHeaderBytes + tableBytes > fileLength ||
        !DataBound::Yields(uint64_t(width), fileLength - kHeaderBytes - tableBytes, 128, 2))
        return NR_INVALID_DATA;

    std::vector<uint32_t> offsets;
    std::vector<uint8_t> channel;
    std::vector<uint8_t> coded;
    try {
        offsets.resize(static_cast<size_t>(height));
        channel.resize(static_cast<size_t>(width));
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    for (uint32_t& offset : offsets)
        in.ReadU32BE(offset);

    uint8_t greyFalling[256 * 3];
    for (int i = 0; i < 256; ++i)
        greyFalling[i * 3] = greyFalling[i * 3 + 1] = greyFalling[i * 3 + 2] = static_cast<uint8_t>(255 - i);
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), depth, 0, depth == 8 ? greyFalling : nullptr))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    const size_t step = static_cast<size_t>(depth / 8);
    uint64_t furthest = kHeaderBytes + tableBytes;
    // Entry i is the scan line i rows above the bottom, which is the picture's scan line i.
    for (int64_t i = height - 1; i >= 0; --i) {
        const uint32_t offset = offsets[static_cast<size_t>(i)];
        if (offset >= fileLength || !in.Seek(offset))
            continue;
        uint8_t* out = pic.bits + static_cast<size_t>(i) * pic.stride;
        for (int k = 0; k < channels; ++k) {
            uint16_t length = 0;
            if (!in.ReadU16BE(length))
                break;
            coded.resize(length);
            const size_t got = length ? in.Read(coded.data(), length) : 0;
            DecodeChannel(coded.data(), got, channel);
            furthest = std::max<uint64_t>(furthest, in.PositionInFile());
            if (k < colourChannels) {
                if (depth == 8) {
                    memcpy(out, channel.data(), channel.size());
                } else {
                    for (size_t x = 0; x < channel.size(); ++x) {
                        uint8_t* p = out + x * step;
                        if (colourChannels == 1)
                            p[0] = p[1] = p[2] = channel[x];
                        else
                            p[2 - k] = channel[x];
                    }
                }
            } else {
                for (size_t x = 0; x < channel.size(); ++x)
                    out[x * step + 3] = channel[x];
            }
            if (got < length)
                break;
        }
    }

    consumedSize = std::min(furthest, fileLength);
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileRLA::GetFormatId() const
{
    return FT_RLA;
}
