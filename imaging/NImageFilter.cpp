#include "imaging/NImageFilter.h"

#include <cstdlib>
#include <cstring>

#include "imaging/NImageBuffer.h"

uint8_t NImageFilter::Kernel(const uint8_t*, int, int) const
{
    return 0;
}

namespace {

template <int BytesPerPixel>
void FilterRow(const NImageFilter& filter, uint8_t* destination, const uint8_t* source, int width, int stride)
{
    const int radius = filter.radius;
    if (width <= 0)
        return;
    if (width <= 2 * radius) {
        std::memcpy(destination, source, static_cast<size_t>(width) * BytesPerPixel);
        return;
    }
    const size_t edge = static_cast<size_t>(radius) * BytesPerPixel;
    std::memcpy(destination, source, edge);
    for (int x = radius; x < width - radius; ++x) {
        const uint8_t* in = source + static_cast<size_t>(x) * BytesPerPixel;
        uint8_t* out = destination + static_cast<size_t>(x) * BytesPerPixel;
        out[0] = filter.Kernel(in, BytesPerPixel, stride);
        out[1] = filter.Kernel(in + 1, BytesPerPixel, stride);
        out[2] = filter.Kernel(in + 2, BytesPerPixel, stride);
        if (BytesPerPixel == 4)
            out[3] = in[3];
    }
    const size_t tail = static_cast<size_t>(width - radius) * BytesPerPixel;
    std::memcpy(destination + tail, source + tail, edge);
}

}  // namespace

void NImageFilter::FilterRow24(uint8_t* destination, const uint8_t* source, int width, int stride) const
{
    FilterRow<3>(*this, destination, source, width, stride);
}

void NImageFilter::FilterRow32(uint8_t* destination, const uint8_t* source, int width, int stride) const
{
    FilterRow<4>(*this, destination, source, width, stride);
}

uint8_t CSmooth::Kernel(const uint8_t* p, int step, int row) const
{
    int sum = 0;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            sum += p[dr * row + dc * step];
    return static_cast<uint8_t>(sum / 9);
}

uint8_t CSmoothStrong::Kernel(const uint8_t* p, int step, int row) const
{
    int sum = 0;
    for (int dr = -2; dr <= 2; ++dr)
        for (int dc = -2; dc <= 2; ++dc)
            sum += p[dr * row + dc * step];
    return static_cast<uint8_t>(sum / 25);
}

uint8_t CDilation::Kernel(const uint8_t* p, int step, int row) const
{
    uint8_t most = 0;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            most = std::max(most, p[dr * row + dc * step]);
    return most;
}

uint8_t CErosion::Kernel(const uint8_t* p, int step, int row) const
{
    uint8_t least = 255;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            least = std::min(least, p[dr * row + dc * step]);
    return least;
}

uint8_t COutline::Kernel(const uint8_t* p, int step, int row) const
{
    uint8_t most = 0;
    for (int dr = -1; dr <= 1; ++dr)
        for (int dc = -1; dc <= 1; ++dc)
            most = std::max(most, p[dr * row + dc * step]);
    return static_cast<uint8_t>(most - p[0]);
}

namespace {

const CSmooth Smooth;
const CSmoothStrong SmoothStrong;
const C33Filter<0, 1, 0, 1, 4, 1, 0, 1, 0, 8, 0, 0> Soften;
const C33Filter<0, -1, 0, -1, 9, -1, 0, -1, 0, 5, 0, 1> Sharpen;
const C33Filter<0, -1, 0, -1, 6, -1, 0, -1, 0, 2, 0, 1> SharpenStrong;
const C33Filter<-1, -1, -1, -1, 8, -1, -1, -1, -1, 1, 128, 1> Edges;
const C33Filter<1, 0, 0, 0, 0, 0, 0, 0, -1, 1, 192, 1> EmbossDiagonal;
const C33Filter<0, 1, 0, 0, 0, 0, 0, -1, 0, 1, 192, 1> EmbossVertical;
const C33Filter<0, 0, 1, 0, 0, 0, -1, 0, 0, 1, 192, 1> EmbossAntiDiagonal;
const CDilation Dilation;
const CErosion Erosion;
const COutline Outline;

}  // namespace

const CMean33Filter Mean33Filter;
const CMean55Filter Mean55Filter;

const NImageFilter* const ImageFilterTable[kImageFilterCount] = {
    nullptr,         &Smooth,          &SmoothStrong,       &Soften,   &Sharpen, &SharpenStrong, &Edges,
    &EmbossDiagonal, &EmbossVertical,  &EmbossAntiDiagonal, &Dilation, &Erosion, &Outline,
};

bool NImageBuffer::ApplyFilter(int index)
{
    if (!valid || (bpp != 24 && bpp != 32))
        return false;
    if (index < 1 || index >= kImageFilterCount || !ImageFilterTable[index])
        return false;
    const NImageFilter& filter = *ImageFilterTable[index];
    const size_t size = static_cast<size_t>(stride) * static_cast<size_t>(height);
    uint8_t* scratch = static_cast<uint8_t*>(malloc(size));
    if (!scratch)
        return false;
    GdiFlush();

    const int radius = filter.radius;
    const int lines = height;
    const int rowBytes = stride;
    const bool wide = bpp == 32;
    const uint8_t* pixels = bits;
#pragma omp parallel for schedule(static)
    for (int i = 0; i < lines; ++i) {
        const uint8_t* in = pixels + static_cast<size_t>(i) * rowBytes;
        uint8_t* out = scratch + static_cast<size_t>(i) * rowBytes;
        if (i < radius || i >= lines - radius) {
            std::memcpy(out, in, rowBytes);
            continue;
        }
        // Row padding is carried over so the whole block can be copied back.
        std::memcpy(out, in, rowBytes);
        if (wide)
            filter.FilterRow32(out, in, width, rowBytes);
        else
            filter.FilterRow24(out, in, width, rowBytes);
    }

    std::memcpy(bits, scratch, size);
    free(scratch);
    return true;
}
