// Pixelation and the dot mosaic.
//
// Pixelate works band by band: one band is blockSize scan lines, and a band's blocks are summed
// into one row of totals (a few numbers per block), so the scratch memory grows with the width
// alone. No block crosses a band, so the result is that of averaging every block on its own.
#include "effects/Mosaic.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#include "effects/EffectPixels.h"
#include "imaging/NGraphics.h"

using effects::IsEffectPicture;
using effects::ScanLine;

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

bool AcceptsBlockSize(const NImageBuffer& picture, int blockSize)
{
    return IsEffectPicture(picture) && blockSize >= 1 && blockSize <= picture.width;
}

// Averages the blocks of one band of `lines` scan lines from `first`; totals holds one sum per
// byte of a pixel per block.
void AverageBand(NImageBuffer& picture, int first, int lines, int blockSize, std::vector<uint64_t>& totals)
{
    const int step = picture.bpp / 8;
    const int width = picture.width;
    std::fill(totals.begin(), totals.end(), 0);
    for (int line = first; line < first + lines; ++line) {
        const uint8_t* p = ScanLine(picture, line);
        for (int x0 = 0, block = 0; x0 < width; x0 += blockSize, ++block) {
            uint64_t* sum = &totals[static_cast<size_t>(block) * step];
            const int x1 = x0 + std::min(blockSize, width - x0);
            for (int x = x0; x < x1; ++x, p += step)
                for (int c = 0; c < step; ++c)
                    sum[c] += p[c];
        }
    }
    for (int x0 = 0, block = 0; x0 < width; x0 += blockSize, ++block) {
        const int columns = std::min(blockSize, width - x0);
        const uint64_t count = static_cast<uint64_t>(columns) * static_cast<uint64_t>(lines);
        uint8_t mean[4];
        for (int c = 0; c < step; ++c)
            mean[c] = static_cast<uint8_t>(totals[static_cast<size_t>(block) * step + c] / count);
        for (int line = first; line < first + lines; ++line) {
            uint8_t* p = ScanLine(picture, line) + static_cast<size_t>(x0) * step;
            for (int x = 0; x < columns; ++x, p += step)
                for (int c = 0; c < step; ++c)
                    p[c] = mean[c];
        }
    }
}

// The mask of the dots: 8-bpp grey, 0 inside the dots and 255 around them, lined up with the
// blocks in memory order. The dots are drawn in screen coordinates from the blocks' memory rows,
// and the flip brings them onto those rows.
bool MakeDotMask(const NImageBuffer& picture, int blockSize, NImageBuffer& mask)
{
    if (!mask.Create(picture.width, picture.height, 24, kWhite))
        return false;
    {
        NGdiPlusSession gdiplus;
        NGraphicsOnDC graphics(mask.dc);
        if (!gdiplus.IsStarted() || !graphics.IsValid())
            return false;
        const int span = blockSize - 1;
        for (int top = 0; top < picture.height; top += blockSize)
            for (int left = 0; left < picture.width; left += blockSize)
                graphics->FillEllipse(left, top, left + span, top + span, kBlack, 255);
    }
    GdiFlush();
    return mask.ConvertToGray8() && mask.FlipVertical();
}

}  // namespace

bool Pixelate(NImageBuffer& picture, int blockSize)
{
    if (!AcceptsBlockSize(picture, blockSize))
        return false;
    const int step = picture.bpp / 8;
    const size_t blocks = static_cast<size_t>(picture.width / blockSize) + 1;
    std::vector<uint64_t> totals;
    try {
        totals.resize(blocks * static_cast<size_t>(step));
    } catch (const std::bad_alloc&) {
        return false;
    }
    GdiFlush();
    for (int first = 0; first < picture.height; first += blockSize)
        AverageBand(picture, first, std::min(blockSize, picture.height - first), blockSize, totals);
    return true;
}

bool DotMosaic(NImageBuffer& picture, int blockSize)
{
    if (!AcceptsBlockSize(picture, blockSize))
        return false;
    // The mask and the black picture are made before the picture is touched, so that a failure
    // leaves it as it was.
    NImageBuffer mask, black;
    if (!MakeDotMask(picture, blockSize, mask) || !black.Create(picture.width, picture.height, 24, kBlack))
        return false;
    if (!Pixelate(picture, blockSize))
        return false;
    return picture.BlendThroughMask(black, mask, 0, 0);
}
