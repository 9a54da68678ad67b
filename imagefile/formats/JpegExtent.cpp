// Where a JPEG picture ends, found by reading its markers as libjpeg does (see NImageFileJPG.h).
#include "imagefile/formats/NImageFileJPG.h"

#include <algorithm>

namespace {

constexpr uint64_t kSourceBlock = 4096;          // libjpeg's stdio source reads this much at a time
constexpr uint32_t kMaxDimension = 65500;        // libjpeg's largest side
constexpr int kMaxComponents = 10;
constexpr int kMaxComponentsInScan = 4;

// Reads the next marker code the way libjpeg's next_marker does: any bytes up to an FF are
// skipped, FF fill bytes are skipped, and FF 00 is data, not a marker. -1 at the end of the data.
int NextMarker(ByteSourceReader& in)
{
    for (;;) {
        if (!in.SkipToByte(0xFF))
            return -1;
        int c;
        do {
            c = in.Next();
        } while (c == 0xFF);
        if (c < 0)
            return -1;
        if (c != 0)
            return c;
    }
}

struct MultiPictureIndex {
    uint64_t headerStart = 0;    // the TIFF header after "MPF\0": offsets count from here
    bool found = false;
};

uint16_t U16(const uint8_t* p, bool bigEndian)
{
    return bigEndian ? static_cast<uint16_t>((p[0] << 8) | p[1]) : static_cast<uint16_t>(p[0] | (p[1] << 8));
}

uint32_t U32(const uint8_t* p, bool bigEndian)
{
    return bigEndian ? (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
                           (static_cast<uint32_t>(p[2]) << 8) | p[3]
                     : static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// The end of the last picture that the index at `index` names; 0 when it is damaged or names a
// picture outside the data or one that does not start with FF D8.
uint64_t MultiPictureEnd(ByteSource& source, const MultiPictureIndex& index)
{
    const uint64_t base = index.headerStart;
    uint8_t header[8];
    if (!source.ReadAt(base, header, 8))
        return 0;
    const bool big = header[0] == 'M' && header[1] == 'M';
    if (!big && !(header[0] == 'I' && header[1] == 'I'))
        return 0;
    if (U16(header + 2, big) != 42)
        return 0;
    const uint64_t ifd = base + U32(header + 4, big);
    uint8_t countBytes[2];
    if (!source.ReadAt(ifd, countBytes, 2))
        return 0;
    const unsigned entries = U16(countBytes, big);
    if (entries == 0 || entries > 64)
        return 0;
    uint64_t entryTable = 0;
    uint32_t entryBytes = 0;
    for (unsigned i = 0; i < entries; ++i) {
        uint8_t e[12];
        if (!source.ReadAt(ifd + 2 + 12 * uint64_t{i}, e, 12))
            return 0;
        if (U16(e, big) != 0xB002)   // MPEntry: 16 bytes per picture
            continue;
        entryBytes = U32(e + 4, big);
        entryTable = entryBytes <= 4 ? ifd + 2 + 12 * uint64_t{i} + 8 : base + U32(e + 8, big);
    }
    if (entryBytes < 32 || entryBytes % 16 != 0 || entryBytes > 16 * 1024)
        return 0;
    uint64_t end = 0;
    for (uint32_t at = 0; at < entryBytes; at += 16) {
        uint8_t e[16];
        if (!source.ReadAt(entryTable + at, e, 16))
            return 0;
        const uint32_t size = U32(e + 4, big);
        const uint32_t offset = U32(e + 8, big);
        if (size == 0)
            return 0;
        // The first picture's offset is 0: it is the file itself, measured by its own markers.
        if (offset == 0) {
            if (at != 0)
                return 0;
            continue;
        }
        const uint64_t start = base + offset;
        uint8_t soi[2];
        if (!source.ReadAt(start, soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8 || !source.Holds(start, size))
            return 0;
        end = std::max(end, start + size);
    }
    return end;
}

enum class Walk { Complete, Broken, Unknown };

// Reads the markers from the start of image to the end of image. eoiEnd: just past the end of
// image. index: the multi-picture index of the header, when there is one.
// indexOnly: give up at the first scan when the header held no index.
Walk WalkMarkers(ByteSource& source, uint64_t& eoiEnd, MultiPictureIndex& index, bool indexOnly)
{
    uint8_t soi[2];
    if (!source.ReadAt(0, soi, 2) || soi[0] != 0xFF || soi[1] != 0xD8)
        return Walk::Broken;
    ByteSourceReader in(source, 2);
    bool sawFrame = false;
    bool sawScan = false;
    bool progressive = false;
    int components = 0;
    int scans = 0;
    bool singleScan = false;   // a sequential frame whose first scan held every component
    const bool final = source.EndIsFinal();
    for (;;) {
        const int marker = NextMarker(in);
        if (marker < 0) {
            // libjpeg then acts as if an end of image came: before the first scan nothing decodes.
            if (!sawScan && final && in.AtEnd())
                return Walk::Broken;
            return Walk::Unknown;
        }
        if (marker == 0xD9) {
            if (!sawScan)
                return Walk::Broken;
            eoiEnd = in.Position();
            return Walk::Complete;
        }
        if (marker == 0xD8)
            return Walk::Broken;
        if ((marker >= 0xD0 && marker <= 0xD7) || marker == 0x01)
            continue;
        const bool supportedFrame =
            marker == 0xC0 || marker == 0xC1 || marker == 0xC2 || marker == 0xC9 || marker == 0xCA;
        const bool otherFrame = marker == 0xC3 || (marker >= 0xC5 && marker <= 0xC8) || marker == 0xCB ||
                                (marker >= 0xCD && marker <= 0xCF);
        const bool variable = marker == 0xC4 || marker == 0xCC || marker == 0xDB || marker == 0xDC ||
                              marker == 0xDD || (marker >= 0xE0 && marker <= 0xEF) || marker == 0xFE;
        if (otherFrame)
            return Walk::Broken;
        if (!supportedFrame && marker != 0xDA && !variable)
            return Walk::Broken;   // libjpeg stops at a marker it does not know

        uint8_t lengthBytes[2];
        if (!in.Read(lengthBytes, 2))
            return final && in.AtEnd() && !sawScan ? Walk::Broken : Walk::Unknown;
        const unsigned length = (lengthBytes[0] << 8) | lengthBytes[1];
        const uint64_t segmentStart = in.Position();   // after the length
        if (length < 2)
            return Walk::Unknown;
        const unsigned body = length - 2;

        if (supportedFrame) {
            if (sawFrame)
                return Walk::Broken;
            uint8_t f[6];
            if (body < 6 || !in.Read(f, 6))
                return body < 6 ? Walk::Broken : Walk::Unknown;
            const unsigned precision = f[0];
            const unsigned height = (f[1] << 8) | f[2];
            const unsigned width = (f[3] << 8) | f[4];
            components = f[5];
            if (precision != 8 || height == 0 || width == 0 || height > kMaxDimension || width > kMaxDimension ||
                components < 1 || components > kMaxComponents || body != 6 + 3u * components)
                return Walk::Broken;
            for (int c = 0; c < components; ++c) {
                uint8_t spec[3];
                if (!in.Read(spec, 3))
                    return Walk::Unknown;
                const int h = spec[1] >> 4;
                const int v = spec[1] & 15;
                if (h < 1 || h > 4 || v < 1 || v > 4)
                    return Walk::Broken;
            }
            sawFrame = true;
            progressive = marker == 0xC2 || marker == 0xCA;
            continue;
        }
        if (marker == 0xDA) {
            if (!sawFrame)
                return Walk::Broken;
            if (indexOnly && !index.found)
                return Walk::Unknown;
            uint8_t n;
            if (body < 1 || !in.Read(&n, 1))
                return body < 1 ? Walk::Broken : Walk::Unknown;
            if (n < 1 || n > kMaxComponentsInScan || body != 4u + 2u * n)
                return Walk::Broken;
            if (scans == 0)
                singleScan = !progressive && n == components;
            else if (singleScan)
                return Walk::Broken;   // a second scan where the first held the whole picture
            ++scans;
            sawScan = true;
            in.Skip(body - 1);
            continue;   // the entropy-coded data is passed over by NextMarker
        }
        if (marker == 0xDD && body != 2)
            return Walk::Broken;   // a restart interval is two bytes
        if (marker == 0xE2 && !index.found && !sawScan && body >= 8) {
            uint8_t id[4];
            if (in.Read(id, 4) && id[0] == 'M' && id[1] == 'P' && id[2] == 'F' && id[3] == 0) {
                index.found = true;
                index.headerStart = in.Position();
            }
        }
        in.Skip(segmentStart + body - in.Position());
    }
}

}  // namespace

PictureExtent NImageFileJPG::FindExtent(ByteSource& source)
{
    uint64_t eoiEnd = 0;
    MultiPictureIndex index;
    switch (WalkMarkers(source, eoiEnd, index, false)) {
    case Walk::Broken:
        return PictureExtent::Broken();
    case Walk::Unknown:
        return PictureExtent::Unknown();
    case Walk::Complete:
        break;
    }
    if (index.found) {
        const uint64_t last = MultiPictureEnd(source, index);
        if (last > eoiEnd)
            return PictureExtent::Complete(last);
    }
    const uint64_t blocks = (eoiEnd + kSourceBlock - 1) / kSourceBlock * kSourceBlock;
    const uint64_t size = source.Size();
    if (blocks > size && !source.EndIsFinal())
        return PictureExtent::Unknown();   // the block runs past what may be looked at
    return PictureExtent::Complete(std::min(blocks, size));
}

uint64_t NImageFileJPG::FindMultiPictureEnd(ByteSource& source)
{
    uint64_t eoiEnd = 0;
    MultiPictureIndex index;
    if (WalkMarkers(source, eoiEnd, index, true) != Walk::Complete || !index.found)
        return 0;
    const uint64_t last = MultiPictureEnd(source, index);
    return last > eoiEnd ? last : 0;
}
