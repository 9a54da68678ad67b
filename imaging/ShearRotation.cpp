// Rotation by three shears, byte-row engine.
#include "imaging/ShearRotation.h"

#include "imaging/NImageBuffer.h"

#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Largest row block a picture record can address.
constexpr uint64_t kMaxBlockBytes = 0x7FFFFFFF;

uint8_t Channel(uint32_t value, int channel)
{
    return static_cast<uint8_t>(value >> (8 * channel));
}

// A size computed in floating point; false when it is not a usable picture side.
bool SideFromDouble(double value, uint32_t* side)
{
    if (!(value >= 1.0) || value > static_cast<double>(0x7FFFFFFF))
        return false;
    *side = static_cast<uint32_t>(value);
    return true;
}

// Brings an angle into [0, 360); false when it is not a finite number.
bool NormaliseAngle(double* angle)
{
    if (!std::isfinite(*angle))
        return false;
    double a = std::fmod(*angle, 360.0);
    if (a < 0)
        a += 360.0;
    if (a >= 360.0)  // a tiny negative angle rounds up to 360
        a = 0;
    *angle = a;
    return true;
}

}  // namespace

template <typename Sample>
size_t NImageRotateByShear<Sample>::StrideFor(uint32_t width, int bpp)
{
    return static_cast<size_t>(((static_cast<uint64_t>(width) * bpp + 31) >> 3) & ~uint64_t{3});
}

template <typename Sample>
bool NImageRotateByShear<Sample>::SizeFits(NRotateSize size)
{
    return size.width > 0 && size.height > 0 &&
           static_cast<uint64_t>(StrideFor(size.width, 24)) * size.height <= kMaxBlockBytes;
}

template <typename Sample>
void NImageRotateByShear<Sample>::FillBackground(Sample* rows, NRotateSize size, uint32_t value) const
{
    const size_t stride = StrideFor(size.width, 24);
    for (uint32_t y = 0; y < size.height; ++y)
        for (uint32_t x = 0; x < size.width; ++x)
            SetPixel(rows, size, x, y, value, stride);
}

template <typename Sample>
Sample* NImageRotateByShear<Sample>::Rotate(const Sample* source, NRotateSize sourceSize, int bpp,
                                            double angleDegrees, NRotateSize* resultSize,
                                            uint32_t background) const
{
    if (!source || !resultSize || sourceSize.width == 0 || sourceSize.height == 0 ||
        !NormaliseAngle(&angleDegrees))
        return nullptr;

    double angle = angleDegrees;
    int quarters = 0;
    if (angle > 45 && angle <= 135)
        quarters = 1;
    else if (angle > 135 && angle <= 225)
        quarters = 2;
    else if (angle > 225 && angle <= 315)
        quarters = 3;
    // Above 315 the angle stays: the shears treat it like the same angle minus 360.

    if (quarters == 0)
        return RotateByShears(source, sourceSize, bpp, angle, resultSize, background);

    NRotateSize turnedSize{};
    Sample* turned = QuarterTurn(source, sourceSize, bpp, quarters, &turnedSize);
    if (!turned)
        return nullptr;
    angle -= 90.0 * quarters;
    Sample* result = RotateByShears(turned, turnedSize, 24, angle, resultSize, background);
    FreeBuffer(turned, turnedSize);
    return result;
}

template <typename Sample>
Sample* NImageRotateByShear<Sample>::Rotate90(const Sample* source, NRotateSize size, int bpp,
                                              NRotateSize* resultSize) const
{
    return QuarterTurn(source, size, bpp, 1, resultSize);
}

template <typename Sample>
Sample* NImageRotateByShear<Sample>::Rotate180(const Sample* source, NRotateSize size, int bpp,
                                               NRotateSize* resultSize) const
{
    return QuarterTurn(source, size, bpp, 2, resultSize);
}

template <typename Sample>
Sample* NImageRotateByShear<Sample>::Rotate270(const Sample* source, NRotateSize size, int bpp,
                                               NRotateSize* resultSize) const
{
    return QuarterTurn(source, size, bpp, 3, resultSize);
}

template <typename Sample>
Sample* NImageRotateByShear<Sample>::QuarterTurn(const Sample* source, NRotateSize size, int bpp, int quarters,
                                                 NRotateSize* resultSize) const
{
    const uint32_t w = size.width;
    const uint32_t h = size.height;
    NRotateSize turned = quarters == 2 ? size : NRotateSize{h, w};
    Sample* rows = AllocBuffer(turned);
    if (!rows)
        return nullptr;
    const size_t sourceStride = StrideFor(w, bpp);
    const size_t turnedStride = StrideFor(turned.width, 24);

#pragma omp parallel for schedule(static)
    for (int64_t row = 0; row < static_cast<int64_t>(h); ++row) {
        const uint32_t y = static_cast<uint32_t>(row);
        for (uint32_t x = 0; x < w; ++x) {
            uint32_t value = GetPixel(source, size, x, y, bpp, sourceStride);
            switch (quarters) {
            case 1:  // clockwise on screen
                SetPixel(rows, turned, y, w - 1 - x, value, turnedStride);
                break;
            case 2:
                SetPixel(rows, turned, w - 1 - x, h - 1 - y, value, turnedStride);
                break;
            default:  // counter-clockwise on screen
                SetPixel(rows, turned, h - 1 - y, x, value, turnedStride);
                break;
            }
        }
    }
    *resultSize = turned;
    return rows;
}

template <typename Sample>
Sample* NImageRotateByShear<Sample>::ConvertTo24(const Sample* source, NRotateSize size, int bpp) const
{
    if (bpp == 24)
        return CopyBuffer(source, size);
    Sample* rows = AllocBuffer(size);
    if (!rows)
        return nullptr;
    const size_t sourceStride = StrideFor(size.width, bpp);
    const size_t stride = StrideFor(size.width, 24);
    for (uint32_t y = 0; y < size.height; ++y)
        for (uint32_t x = 0; x < size.width; ++x)
            SetPixel(rows, size, x, y, GetPixel(source, size, x, y, bpp, sourceStride), stride);
    return rows;
}

template <typename Sample>
Sample* NImageRotateByShear<Sample>::RotateByShears(const Sample* source, NRotateSize size, int bpp,
                                                    double angleDegrees, NRotateSize* resultSize,
                                                    uint32_t background) const
{
    if (angleDegrees == 0) {
        // Nothing to shear: the rows as they are, read at their own depth.
        Sample* rows = ConvertTo24(source, size, bpp);
        if (rows)
            *resultSize = size;
        return rows;
    }

    const double r = angleDegrees * kPi / 180.0;
    const double t = std::tan(r / 2);
    const double s = std::sin(r);
    const double c = std::cos(r);
    const double w = size.width;
    const double h = size.height;

    // Pass 1, horizontal.
    NRotateSize size1{};
    if (!SideFromDouble(w + std::trunc(std::fabs(t) * h), &size1.width))
        return nullptr;
    size1.height = size.height;
    Sample* pass1 = AllocBuffer(size1);
    if (!pass1)
        return nullptr;
    FillBackground(pass1, size1, background);
#pragma omp parallel for schedule(static)
    for (int64_t y = 0; y < static_cast<int64_t>(size.height); ++y) {
        double v = t >= 0 ? (y + 0.5) * t : (y - h + 0.5) * t;
        double whole = std::floor(v);
        ShearRow(source, size, bpp, pass1, size1, static_cast<uint32_t>(y), static_cast<int64_t>(whole), v - whole,
                 background);
    }

    // Pass 2, vertical.
    NRotateSize size2{};
    size2.width = size1.width;
    if (!SideFromDouble(std::trunc(w * std::fabs(s) + h * c) + 1, &size2.height)) {
        FreeBuffer(pass1, size1);
        return nullptr;
    }
    Sample* pass2 = AllocBuffer(size2);
    if (!pass2) {
        FreeBuffer(pass1, size1);
        return nullptr;
    }
    FillBackground(pass2, size2, background);
    double v = s > 0 ? (w - 1) * s : (static_cast<double>(size1.width) - w) * s;
    for (uint32_t x = 0; x < size2.width; ++x) {
        double whole = std::floor(v);
        ShearColumn(pass1, size1, 24, pass2, size2, x, static_cast<int64_t>(whole), v - whole, background);
        v -= s;
    }
    FreeBuffer(pass1, size1);

    // Pass 3, horizontal.
    NRotateSize size3{};
    size3.height = size2.height;
    if (!SideFromDouble(std::trunc(h * std::fabs(s) + w * c) + 1, &size3.width)) {
        FreeBuffer(pass2, size2);
        return nullptr;
    }
    Sample* pass3 = AllocBuffer(size3);
    if (!pass3) {
        FreeBuffer(pass2, size2);
        return nullptr;
    }
    FillBackground(pass3, size3, background);
    v = s >= 0 ? -(w - 1) * s * t : ((1.0 - size2.height) - (w - 1) * s) * t;
    for (uint32_t y = 0; y < size3.height; ++y) {
        double whole = std::floor(v);
        ShearRow(pass2, size2, 24, pass3, size3, y, static_cast<int64_t>(whole), v - whole, background);
        v += t;
    }
    FreeBuffer(pass2, size2);
    *resultSize = size3;
    return pass3;
}

template <typename Sample>
void NImageRotateByShear<Sample>::ShearRow(const Sample* source, NRotateSize sourceSize, int bpp,
                                           Sample* destination, NRotateSize destinationSize, uint32_t row,
                                           int64_t offset, double weight, uint32_t background) const
{
    ShearLine(source, sourceSize, bpp, destination, destinationSize, row, true, offset, weight, background);
}

template <typename Sample>
void NImageRotateByShear<Sample>::ShearColumn(const Sample* source, NRotateSize sourceSize, int bpp,
                                              Sample* destination, NRotateSize destinationSize, uint32_t column,
                                              int64_t offset, double weight, uint32_t background) const
{
    ShearLine(source, sourceSize, bpp, destination, destinationSize, column, false, offset, weight, background);
}

template <typename Sample>
void NImageRotateByShear<Sample>::ShearLine(const Sample* source, NRotateSize sourceSize, int bpp,
                                            Sample* destination, NRotateSize destinationSize, uint32_t line,
                                            bool alongRow, int64_t offset, double weight,
                                            uint32_t background) const
{
    const size_t sourceStride = StrideFor(sourceSize.width, bpp);
    const size_t destinationStride = StrideFor(destinationSize.width, 24);
    const uint32_t count = alongRow ? sourceSize.width : sourceSize.height;
    const int64_t length = alongRow ? destinationSize.width : destinationSize.height;

    int oldLeft[3];
    double backgroundPart[3];
    for (int channel = 0; channel < 3; ++channel) {
        oldLeft[channel] = Channel(background, channel);
        backgroundPart[channel] = Channel(background, channel) * (1.0 - weight);
    }
    for (uint32_t k = 0; k < count; ++k) {
        const int64_t target = offset + k;
        if (target >= length)
            break;  // the rest of the line falls outside; nothing that follows is written
        uint32_t p = alongRow ? GetPixel(source, sourceSize, k, line, bpp, sourceStride)
                              : GetPixel(source, sourceSize, line, k, bpp, sourceStride);
        uint32_t value = 0;
        for (int channel = 0; channel < 3; ++channel) {
            int pc = Channel(p, channel);
            int left = static_cast<int>(pc * weight + backgroundPart[channel]);
            int out = pc - left + oldLeft[channel];
            out = out < 0 ? 0 : (out > 255 ? 255 : out);
            value |= static_cast<uint32_t>(out) << (8 * channel);
            oldLeft[channel] = left;
        }
        if (target >= 0) {
            if (alongRow)
                SetPixel(destination, destinationSize, static_cast<uint32_t>(target), line, value, destinationStride);
            else
                SetPixel(destination, destinationSize, line, static_cast<uint32_t>(target), value, destinationStride);
        }
    }
}

template class NImageRotateByShear<unsigned char>;

// ---- The byte-row engine ----

uint32_t NImageRotateByShearBYTE::GetPixel(const unsigned char* rows, NRotateSize, uint32_t x, uint32_t y, int bpp,
                                           size_t stride) const
{
    const unsigned char* row = rows + static_cast<size_t>(y) * stride;
    unsigned index;
    switch (bpp) {
    case 1:
        index = (row[x / 8] >> (7 - (x % 8))) & 1;
        break;
    case 4:
        index = (x % 2 == 0) ? (row[x / 2] >> 4) : (row[x / 2] & 15);
        break;
    case 8:
        index = row[x];
        break;
    case 16: {
        unsigned word = row[2 * static_cast<size_t>(x)] | (row[2 * static_cast<size_t>(x) + 1] << 8);
        return kFiveBitExpansion[word & 31] | (kFiveBitExpansion[(word >> 5) & 31] << 8) |
               (kFiveBitExpansion[(word >> 10) & 31] << 16);
    }
    case 24: {
        const unsigned char* p = row + 3 * static_cast<size_t>(x);
        return p[0] | (p[1] << 8) | (p[2] << 16);
    }
    case 32: {
        const unsigned char* p = row + 4 * static_cast<size_t>(x);
        return p[0] | (p[1] << 8) | (p[2] << 16);
    }
    default:
        return 0;
    }
    return palette[index][0] | (palette[index][1] << 8) | (palette[index][2] << 16);
}

void NImageRotateByShearBYTE::SetPixel(unsigned char* rows, NRotateSize, uint32_t x, uint32_t y, uint32_t value,
                                       size_t stride) const
{
    unsigned char* p = rows + static_cast<size_t>(y) * stride + 3 * static_cast<size_t>(x);
    p[0] = static_cast<unsigned char>(value);
    p[1] = static_cast<unsigned char>(value >> 8);
    p[2] = static_cast<unsigned char>(value >> 16);
}

unsigned char* NImageRotateByShearBYTE::AllocBuffer(NRotateSize size) const
{
    if (!SizeFits(size))
        return nullptr;
    return new (std::nothrow) unsigned char[StrideFor(size.width, 24) * size.height];
}

unsigned char* NImageRotateByShearBYTE::CopyBuffer(const unsigned char* rows, NRotateSize size) const
{
    unsigned char* copy = AllocBuffer(size);
    if (copy)
        memcpy(copy, rows, StrideFor(size.width, 24) * size.height);
    return copy;
}

void NImageRotateByShearBYTE::FreeBuffer(unsigned char* rows, NRotateSize) const
{
    delete[] rows;
}

void NImageRotateByShearBYTE::FillBackground(unsigned char* rows, NRotateSize size, uint32_t value) const
{
    const size_t stride = StrideFor(size.width, 24);
    const unsigned char blue = static_cast<unsigned char>(value);
    const unsigned char green = static_cast<unsigned char>(value >> 8);
    const unsigned char red = static_cast<unsigned char>(value >> 16);
#pragma omp parallel for schedule(static)
    for (int64_t y = 0; y < static_cast<int64_t>(size.height); ++y) {
        unsigned char* p = rows + static_cast<size_t>(y) * stride;
        for (uint32_t x = 0; x < size.width; ++x, p += 3) {
            p[0] = blue;
            p[1] = green;
            p[2] = red;
        }
    }
}
