#include "common/MultiPictureJpeg.h"

#include <cstdint>

namespace {

void Put32(std::vector<unsigned char>& b, uint32_t v)
{
    for (int s = 24; s >= 0; s -= 8)
        b.push_back(static_cast<unsigned char>(v >> s));
}

}  // namespace

std::vector<unsigned char> MakeMultiPictureJpeg(const std::vector<std::vector<unsigned char>>& pictures)
{
    using Bytes = std::vector<unsigned char>;
    if (pictures.empty())
        return {};
    const uint32_t count = static_cast<uint32_t>(pictures.size());
    // "MPF\0", a big-endian TIFF header, one directory entry (MPEntry, 16 bytes a picture, stored
    // right after the directory) and no next directory.
    Bytes index = {'M', 'P', 'F', 0, 'M', 'M', 0, 42, 0, 0, 0, 8, 0, 1, 0xB0, 0x02, 0, 7};
    Put32(index, 16 * count);
    Put32(index, 26);
    Put32(index, 0);
    const size_t indexBytes = index.size() + 16 * count;
    const size_t firstSize = pictures[0].size() + 4 + indexBytes;   // plus the segment's marker and length
    const size_t headerStart = 2 + 4 + 4;                           // SOI, APP2 marker and length, "MPF\0"
    size_t offset = firstSize;
    for (uint32_t i = 0; i < count; ++i) {
        Put32(index, i == 0 ? 0x20030000u : 0);
        Put32(index, static_cast<uint32_t>(i == 0 ? firstSize : pictures[i].size()));
        Put32(index, static_cast<uint32_t>(i == 0 ? 0 : offset - headerStart));
        Put32(index, 0);
        if (i > 0)
            offset += pictures[i].size();
    }
    Bytes out = {0xFF, 0xD8, 0xFF, 0xE2, static_cast<unsigned char>((indexBytes + 2) >> 8),
                 static_cast<unsigned char>(indexBytes + 2)};
    out.insert(out.end(), index.begin(), index.end());
    out.insert(out.end(), pictures[0].begin() + 2, pictures[0].end());
    for (uint32_t i = 1; i < count; ++i)
        out.insert(out.end(), pictures[i].begin(), pictures[i].end());
    return out;
}
