#include "imagefile/extra/NImageFilePIC.h"

#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/AnsiField.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace {

constexpr size_t kHeaderBytes = 104;
constexpr size_t kMostPackets = 16;

struct ChannelPacket {
    int compression;       // 0 uncompressed, 1 pure runs, 2 mixed runs, else unknown
    int channels;          // how many of red, green, blue, alpha
    int offsets[4];        // their pixel bytes, in that order
};

// One pixel's channels from the file; false at the end of the file.
bool ReadPixel(StdioStream& in, const ChannelPacket& packet, uint8_t* value)
{
    return in.ReadExact(value, static_cast<size_t>(packet.channels));
}

void PutPixel(uint8_t* pixel, const ChannelPacket& packet, const uint8_t* value)
{
    for (int c = 0; c < packet.channels; ++c)
        pixel[packet.offsets[c]] = value[c];
}

// The packet's channels of one scan line (4 bytes a pixel). False when the line cannot be decoded.
bool DecodePacket(StdioStream& in, const ChannelPacket& packet, uint8_t* row, uint32_t width)
{
    uint8_t value[4] = {};
    uint32_t x = 0;
    switch (packet.compression) {
    case 0:
        if (packet.channels == 0)
            return true;
        for (; x < width; ++x) {
            if (!ReadPixel(in, packet, value))
                return false;
            PutPixel(row + static_cast<size_t>(x) * 4, packet, value);
        }
        return true;
    case 1:
        while (x < width) {
            const int count = in.ReadByte();
            if (count < 0 || !ReadPixel(in, packet, value))
                return false;
            const uint32_t n = std::min<uint32_t>(static_cast<uint32_t>(count), width - x);
            for (uint32_t i = 0; i < n; ++i, ++x)
                PutPixel(row + static_cast<size_t>(x) * 4, packet, value);
        }
        return true;
    case 2:
        while (x < width) {
            const int c = in.ReadByte();
            if (c < 0)
                return false;
            if (c < 128) {
                const uint32_t n = static_cast<uint32_t>(c) + 1;
                if (n > width - x)
                    return false;
                for (uint32_t i = 0; i < n; ++i, ++x) {
                    if (!ReadPixel(in, packet, value))
                        return false;
                    PutPixel(row + static_cast<size_t>(x) * 4, packet, value);
                }
                continue;
            }
            uint32_t n = static_cast<uint32_t>(c) - 127;
            if (c == 128) {
                uint16_t count = 0;
                if (!in.ReadU16BE(count))
                    return false;
                n = count;
            }
            if (n > width - x || !ReadPixel(in, packet, value))
                return false;
            for (uint32_t i = 0; i < n; ++i, ++x)
                PutPixel(row + static_cast<size_t>(x) * 4, packet, value);
        }
        return true;
    default:
        return false;
    }
}

}  // namespace

bool NImageFilePIC::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 92))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x53\x80\xF6\x34") && SignatureIs(p + 88, "PICT");
}

NRESULT NImageFilePIC::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t h[kHeaderBytes] = {};
    const size_t got = in.Read(h, sizeof(h));
    if (!IsFormat(h, 0, got))
        return NR_NOT_THIS_FORMAT;
    if (got < kHeaderBytes)
        return NR_INVALID_DATA;
    metadata.comment = AnsiFieldText(h + 8, 80);
    const uint32_t width = static_cast<uint32_t>((h[92] << 8) | h[93]);
    const uint32_t height = static_cast<uint32_t>((h[94] << 8) | h[95]);

    std::vector<ChannelPacket> packets;
    for (;;) {
        uint8_t p[4];
        if (!in.ReadExact(p, 4))
            break;
        if (packets.size() == kMostPackets)
            return NR_INVALID_DATA;
        ChannelPacket packet = {p[2] & 0x0F, 0, {}};
        static const struct {
            uint8_t mask;
            int offset;
        } kChannels[] = {{0x80, 2}, {0x40, 1}, {0x20, 0}, {0x10, 3}};
        for (const auto& channel : kChannels) {
            if (p[3] & channel.mask)
                packet.offsets[packet.channels++] = channel.offset;
        }
        packets.push_back(packet);
        if (p[0] == 0)
            break;
    }

    // A mixed run of 4 bytes or more gives up to 65535 pixels.
    if (!DataBound::Yields(uint64_t{width} * height, in.Length() - static_cast<uint64_t>(in.Tell()), 65535, 4))
        return NR_INVALID_DATA;
    if (width == 0 || height == 0 || !pic.Create(static_cast<int>(width), static_cast<int>(height), 32, 0))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    for (uint32_t y = 0; y < height; ++y) {
        uint8_t* row = pic.bits + static_cast<size_t>(height - 1 - y) * pic.stride;
        bool decoded = false;
        for (size_t i = 0; i < packets.size(); ++i) {
            // A packet of another compression reads nothing and leaves the line's result as it is.
            if (packets[i].compression > 2)
                continue;
            decoded = DecodePacket(in, packets[i], row, width);
            if (!decoded)
                break;
        }
        if (!decoded)
            break;
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFilePIC::GetFormatId() const
{
    return FT_PIC;
}
