// Rotation by three shears for pictures of 1 to 24 bits per pixel (32 readable, alpha ignored),
// always producing 24-bit DIB rows.
//
// Rows are bottom-up DIB rows (stride rounded up to 4 bytes), so y grows upward on screen and a
// positive angle turns the picture clockwise on screen. Angles are first brought into about
// +-45 degrees by a quarter, half or three-quarter turn; the rest is done by a horizontal, a
// vertical and a horizontal shear, each blending neighbouring pixels by its fractional offset.
// The canvas grows to hold the whole turned picture; uncovered corners take the background.
// Pixel values inside the engine are 0x00RRGGBB.
#pragma once

#include <cstddef>
#include <cstdint>

struct NRotateSize {
    uint32_t width;
    uint32_t height;
};

template <typename Sample>
class NImageRotateByShear {
public:
    virtual ~NImageRotateByShear() = default;

    // New 24-bit rows of the source turned by angleDegrees, freed with FreeBuffer (delete[]); the
    // result's size goes to resultSize. Null for a null source, an empty size, an angle that is
    // not a finite number, a result too large to address, or a failed allocation.
    Sample* Rotate(const Sample* source, NRotateSize sourceSize, int bpp, double angleDegrees,
                   NRotateSize* resultSize, uint32_t background) const;

    virtual uint32_t GetPixel(const Sample* rows, NRotateSize size, uint32_t x, uint32_t y, int bpp,
                              size_t stride) const = 0;
    virtual void SetPixel(Sample* rows, NRotateSize size, uint32_t x, uint32_t y, uint32_t value,
                          size_t stride) const = 0;
    // 24-bit rows for the size, not initialised; null when they cannot be made.
    virtual Sample* AllocBuffer(NRotateSize size) const = 0;
    virtual Sample* CopyBuffer(const Sample* rows, NRotateSize size) const = 0;
    virtual void FreeBuffer(Sample* rows, NRotateSize size) const = 0;
    // Every pixel of 24-bit rows set to value (through SetPixel unless overridden).
    virtual void FillBackground(Sample* rows, NRotateSize size, uint32_t value) const;

    // Bytes per row of a DIB of that width and depth.
    static size_t StrideFor(uint32_t width, int bpp);
    // Whether 24-bit rows of that size can be allocated and addressed by a picture record.
    static bool SizeFits(NRotateSize size);

protected:
    // Quarter turns of the source read at its depth into new 24-bit rows; clockwise on screen
    // for Rotate90, counter-clockwise for Rotate270.
    Sample* Rotate90(const Sample* source, NRotateSize size, int bpp, NRotateSize* resultSize) const;
    Sample* Rotate180(const Sample* source, NRotateSize size, int bpp, NRotateSize* resultSize) const;
    Sample* Rotate270(const Sample* source, NRotateSize size, int bpp, NRotateSize* resultSize) const;
    // The three shears for an angle within about +-45 degrees (or above 315).
    Sample* RotateByShears(const Sample* source, NRotateSize size, int bpp, double angleDegrees,
                           NRotateSize* resultSize, uint32_t background) const;
    // Moves one source row (column) by offset + weight into the same row (column) of destination:
    // each pixel becomes p(k) * (1 - weight) + p(k - 1) * weight, the first one blended with the
    // background. Positions outside the moved row keep what they hold.
    void ShearRow(const Sample* source, NRotateSize sourceSize, int bpp, Sample* destination,
                  NRotateSize destinationSize, uint32_t row, int64_t offset, double weight,
                  uint32_t background) const;
    void ShearColumn(const Sample* source, NRotateSize sourceSize, int bpp, Sample* destination,
                     NRotateSize destinationSize, uint32_t column, int64_t offset, double weight,
                     uint32_t background) const;

private:
    void ShearLine(const Sample* source, NRotateSize sourceSize, int bpp, Sample* destination,
                   NRotateSize destinationSize, uint32_t line, bool alongRow, int64_t offset, double weight,
                   uint32_t background) const;
    Sample* QuarterTurn(const Sample* source, NRotateSize size, int bpp, int quarters,
                        NRotateSize* resultSize) const;
    Sample* ConvertTo24(const Sample* source, NRotateSize size, int bpp) const;
};

extern template class NImageRotateByShear<unsigned char>;

// The engine for byte rows; palette entries (blue, green, red) serve pictures of 8 bpp or less.
class NImageRotateByShearBYTE : public NImageRotateByShear<unsigned char> {
public:
    uint32_t GetPixel(const unsigned char* rows, NRotateSize size, uint32_t x, uint32_t y, int bpp,
                      size_t stride) const override;
    void SetPixel(unsigned char* rows, NRotateSize size, uint32_t x, uint32_t y, uint32_t value,
                  size_t stride) const override;
    unsigned char* AllocBuffer(NRotateSize size) const override;
    unsigned char* CopyBuffer(const unsigned char* rows, NRotateSize size) const override;
    void FreeBuffer(unsigned char* rows, NRotateSize size) const override;
    void FillBackground(unsigned char* rows, NRotateSize size, uint32_t value) const override;

    uint8_t palette[256][3] = {};
};
