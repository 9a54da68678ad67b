// Comparisons of two pictures.
#include "effects/PictureCompare.h"

#include <cstdlib>
#include <cstring>

#include "effects/EffectPixels.h"

using effects::ScanLine;

namespace {

// The picture itself when it already has 24 bpp, else scratch made into a 24-bpp copy of it.
const NImageBuffer* At24Bits(const NImageBuffer& picture, NImageBuffer& scratch)
{
    if (picture.bpp == 24)
        return &picture;
    if (!scratch.Copy(picture) || !scratch.ConvertToBpp(24, false))
        return nullptr;
    return &scratch;
}

// Colour bytes of the two 24-bpp pictures of the same size that differ by at most `tolerance`.
uint64_t CountCloseBytes(const NImageBuffer& a, const NImageBuffer& b, int tolerance)
{
    GdiFlush();
    const int lines = a.height;
    const int rowBytes = a.width * 3;
    int64_t count = 0;
#pragma omp parallel for schedule(static) reduction(+ : count)
    for (int line = 0; line < lines; ++line) {
        const uint8_t* p = ScanLine(a, line);
        const uint8_t* q = ScanLine(b, line);
        int64_t here = 0;
        if (tolerance == 0) {
            for (int i = 0; i < rowBytes; ++i)
                here += p[i] == q[i];
        } else {
            for (int i = 0; i < rowBytes; ++i)
                here += std::abs(p[i] - q[i]) <= tolerance;
        }
        count += here;
    }
    return static_cast<uint64_t>(count);
}

int Percent(uint64_t count, uint64_t total)
{
    if (total == 0)
        return 0;
    const uint64_t percent = count * 100 / total;
    return static_cast<int>(percent > 100 ? 100 : percent);
}

bool SameSize24(const NImageBuffer& a, const NImageBuffer& b)
{
    return a.valid && b.valid && a.bpp == 24 && b.bpp == 24 && a.width == b.width && a.height == b.height;
}

}  // namespace

bool ComparePictures(const NImageBuffer& picture, const NImageBuffer& other, int* percent, bool exactOnly)
{
    if (!picture.valid || !other.valid || !percent)
        return false;
    NImageBuffer ownScratch, otherScratch;
    const NImageBuffer* a = At24Bits(picture, ownScratch);
    if (!a)
        return false;
    const NImageBuffer* b = &other;
    if (other.bpp != 24 || other.width != a->width || other.height != a->height) {
        if (!otherScratch.Copy(other) || !otherScratch.ConvertToBpp(24, false) ||
            !otherScratch.ResizeImage(a->width, a->height, 0, false))
            return false;
        b = &otherScratch;
    }
    const uint64_t total = static_cast<uint64_t>(a->width) * a->height * 3;
    int share = Percent(CountCloseBytes(*a, *b, 0), total);
    if (share <= 80 && !exactOnly)
        share = Percent(CountCloseBytes(*a, *b, 5), total);
    *percent = share;
    return true;
}

bool FindRowOverlap(const NImageBuffer& picture, const NImageBuffer& other, int firstColumn, int columnCount,
                    int thresholdPercent, uint32_t* row, int* percent)
{
    if (!picture.valid || !other.valid || !row || !percent)
        return false;
    if (picture.width != other.width || picture.height != other.height)
        return false;
    if (firstColumn < 0 || columnCount < 1 || columnCount > picture.width - firstColumn)
        return false;
    NImageBuffer ownScratch, otherScratch;
    const NImageBuffer* a = At24Bits(picture, ownScratch);
    const NImageBuffer* b = At24Bits(other, otherScratch);
    if (!a || !b)
        return false;
    GdiFlush();
    const int height = a->height;
    const size_t offset = static_cast<size_t>(firstColumn) * 3;
    const int bandBytes = columnCount * 3;
    for (int shift = 0; shift < height; ++shift) {
        uint64_t equal = 0;
        for (int line = shift; line < height; ++line) {
            const uint8_t* p = ScanLine(*a, line) + offset;
            const uint8_t* q = ScanLine(*b, line - shift) + offset;
            for (int i = 0; i < bandBytes; ++i)
                equal += p[i] == q[i];
        }
        const uint64_t total = static_cast<uint64_t>(bandBytes) * (height - shift);
        *percent = Percent(equal, total);
        if (*percent >= thresholdPercent || equal == total) {
            *row = static_cast<uint32_t>(shift);
            return true;
        }
    }
    *row = 0;
    return false;
}

bool IsEqualPicture(const NImageBuffer& picture, const NImageBuffer& other)
{
    if (!SameSize24(picture, other))
        return false;
    return CountCloseBytes(picture, other, 0) == static_cast<uint64_t>(picture.width) * picture.height * 3;
}

bool IsIdenticalPicture(const NImageBuffer& picture, const NImageBuffer& other)
{
    if (!SameSize24(picture, other))
        return false;
    GdiFlush();
    const size_t rowBytes = static_cast<size_t>(picture.width) * 3;
    for (int line = 0; line < picture.height; ++line)
        if (memcmp(ScanLine(picture, line), ScanLine(other, line), rowBytes) != 0)
            return false;
    return true;
}
