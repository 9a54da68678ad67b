// Neighbourhood filters: each recomputes every colour byte of a 24- or 32-bpp row from the same
// byte of the pixels around it. The filter objects are process-wide constants; ImageFilterTable
// reaches twelve of them by the number that NImageBuffer::ApplyFilter takes.
#pragma once
#include <algorithm>
#include <cstdint>

class NImageFilter {
public:
    explicit constexpr NImageFilter(int radius_) : radius(radius_) {}
    virtual ~NImageFilter() = default;

    // One output byte from the byte at `source` and its neighbours: pixel offsets are multiples of
    // pixelStep, row offsets multiples of rowStep (rows in memory order, so -1 is the row below).
    virtual uint8_t Kernel(const uint8_t* source, int pixelStep, int rowStep) const;

    // Filters one row of `width` pixels; the `radius` pixels at each end are copied unchanged,
    // and a row of 2 * radius pixels or fewer is copied whole. Nothing beyond the width is touched.
    void FilterRow24(uint8_t* destination, const uint8_t* source, int width, int stride) const;
    // The same for 4-byte pixels; the alpha byte is copied.
    void FilterRow32(uint8_t* destination, const uint8_t* source, int width, int stride) const;

    // Pixels at each end of a row, and rows at the top and bottom of a picture, left unfiltered.
    int radius;
};

// 3 x 3 weighted sum (weights row by row, row offset -1 first) / divisor + offset, limited to
// 0..255 when Clamp is set.
template <int W0, int W1, int W2, int W3, int W4, int W5, int W6, int W7, int W8, int Divisor, int Offset, int Clamp>
class C33Filter : public NImageFilter {
public:
    constexpr C33Filter() : NImageFilter(1) {}
    uint8_t Kernel(const uint8_t* p, int step, int row) const override
    {
        const int sum = W0 * p[-row - step] + W1 * p[-row] + W2 * p[-row + step] +
                        W3 * p[-step] + W4 * p[0] + W5 * p[step] +
                        W6 * p[row - step] + W7 * p[row] + W8 * p[row + step];
        const int value = sum / Divisor + Offset;
        return static_cast<uint8_t>(Clamp ? std::clamp(value, 0, 255) : value);
    }
};

// 5 x 5 weighted sum / divisor + offset, limited to 0..255 when Clamp is set.
template <int W0, int W1, int W2, int W3, int W4, int W5, int W6, int W7, int W8, int W9, int W10, int W11, int W12,
          int W13, int W14, int W15, int W16, int W17, int W18, int W19, int W20, int W21, int W22, int W23, int W24,
          int Divisor, int Offset, int Clamp>
class C55Filter : public NImageFilter {
public:
    constexpr C55Filter() : NImageFilter(2) {}
    uint8_t Kernel(const uint8_t* p, int step, int row) const override
    {
        static constexpr int kWeights[25] = {W0,  W1,  W2,  W3,  W4,  W5,  W6,  W7,  W8,  W9,  W10, W11, W12,
                                             W13, W14, W15, W16, W17, W18, W19, W20, W21, W22, W23, W24};
        int sum = 0;
        for (int dr = -2; dr <= 2; ++dr)
            for (int dc = -2; dc <= 2; ++dc)
                sum += kWeights[(dr + 2) * 5 + dc + 2] * p[dr * row + dc * step];
        const int value = sum / Divisor + Offset;
        return static_cast<uint8_t>(Clamp ? std::clamp(value, 0, 255) : value);
    }
};

// Mean of the 3 x 3 neighbourhood, leaving a border of two pixels.
class CSmooth : public NImageFilter {
public:
    constexpr CSmooth() : NImageFilter(2) {}
    uint8_t Kernel(const uint8_t* source, int pixelStep, int rowStep) const override;
};

// Mean of the 5 x 5 neighbourhood.
class CSmoothStrong : public NImageFilter {
public:
    constexpr CSmoothStrong() : NImageFilter(2) {}
    uint8_t Kernel(const uint8_t* source, int pixelStep, int rowStep) const override;
};

// Maximum of the 3 x 3 neighbourhood.
class CDilation : public NImageFilter {
public:
    constexpr CDilation() : NImageFilter(1) {}
    uint8_t Kernel(const uint8_t* source, int pixelStep, int rowStep) const override;
};

// Minimum of the 3 x 3 neighbourhood.
class CErosion : public NImageFilter {
public:
    constexpr CErosion() : NImageFilter(1) {}
    uint8_t Kernel(const uint8_t* source, int pixelStep, int rowStep) const override;
};

// Maximum of the 3 x 3 neighbourhood minus the centre.
class COutline : public NImageFilter {
public:
    constexpr COutline() : NImageFilter(1) {}
    uint8_t Kernel(const uint8_t* source, int pixelStep, int rowStep) const override;
};

using CMean33Filter = C33Filter<1, 1, 1, 1, 1, 1, 1, 1, 1, 9, 0, 0>;
using CMean55Filter = C55Filter<1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 25, 0, 0>;

// The two mean filters that the table does not reach.
extern const CMean33Filter Mean33Filter;
extern const CMean55Filter Mean55Filter;

// Entry 0 is null; entries 1..12: smooth, strong smooth, soften, sharpen (/5), sharpen (/2),
// edges, emboss (three directions), dilation, erosion, outline.
constexpr int kImageFilterCount = 13;
extern const NImageFilter* const ImageFilterTable[kImageFilterCount];
