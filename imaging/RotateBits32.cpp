// Rotation by three shears of 32-bit pixels.
#include "imaging/RotateBits32.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr uint64_t kMaxBlockBytes = 0x7FFFFFFF;

uint32_t* AllocatePixels(uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0 || static_cast<uint64_t>(width) * height * 4 > kMaxBlockBytes)
        return nullptr;
    return static_cast<uint32_t*>(malloc(static_cast<size_t>(width) * height * 4));
}

bool SideFromDouble(double value, uint32_t* side)
{
    if (!(value >= 1.0) || value > static_cast<double>(0x7FFFFFFF))
        return false;
    *side = static_cast<uint32_t>(value);
    return true;
}

RotateImage32 Image(uint32_t* bits, uint32_t width, uint32_t height)
{
    return RotateImage32{bits, width, height, width * 4};
}

// The source turned by quarters * 90 degrees clockwise on screen into a new block.
RotateImage32 QuarterTurn(const RotateImage32& source, int quarters)
{
    const uint32_t w = source.width;
    const uint32_t h = source.height;
    RotateImage32 turned = (quarters % 2) ? Image(nullptr, h, w) : Image(nullptr, w, h);
    turned.bits = AllocatePixels(turned.width, turned.height);
    if (!turned.bits)
        return turned;
    const size_t sourcePitch = source.stride / 4;
    for (uint32_t y = 0; y < h; ++y) {
        const uint32_t* row = source.bits + y * sourcePitch;
        for (uint32_t x = 0; x < w; ++x) {
            size_t at;
            switch (quarters) {
            case 0:
                at = static_cast<size_t>(y) * w + x;
                break;
            case 1:
                at = static_cast<size_t>(w - 1 - x) * h + y;
                break;
            case 2:
                at = static_cast<size_t>(h - 1 - y) * w + (w - 1 - x);
                break;
            default:
                at = static_cast<size_t>(x) * h + (h - 1 - y);
                break;
            }
            turned.bits[at] = row[x];
        }
    }
    return turned;
}

// One row or column: the source line of count pixels (step apart) moved by v into the destination
// line of length pixels. Every destination position is written.
void ShearLine(const uint32_t* source, uint32_t count, size_t sourceStep, uint32_t* destination, uint32_t length,
               size_t destinationStep, double v, uint32_t background)
{
    const double whole = std::floor(v);
    const int64_t offset = static_cast<int64_t>(whole);
    int weight = static_cast<int>((v - whole) * 255 + 1);
    weight = weight < 1 ? 1 : (weight > 255 ? 255 : weight);

    int64_t position = 0;
    for (; position < offset && position < length; ++position)
        destination[position * destinationStep] = background;

    int oldLeft[4];
    int backgroundByte[4];
    for (int i = 0; i < 4; ++i)
        oldLeft[i] = backgroundByte[i] = static_cast<int>((background >> (8 * i)) & 255);

    for (uint32_t k = 0; k < count; ++k) {
        const int64_t target = offset + k;
        if (target >= length)
            break;
        const uint32_t p = source[k * sourceStep];
        uint32_t value = 0;
        for (int i = 0; i < 4; ++i) {
            int pb = static_cast<int>((p >> (8 * i)) & 255);
            int left = backgroundByte[i] + (((pb - backgroundByte[i]) * weight) >> 8);
            int out = pb - left + oldLeft[i];
            out = out < 0 ? 0 : (out > 255 ? 255 : out);
            value |= static_cast<uint32_t>(out) << (8 * i);
            oldLeft[i] = left;
        }
        if (target >= 0)
            destination[target * destinationStep] = value;
    }

    position = offset + count;
    if (position >= 0 && position < length) {
        uint32_t last = 0;
        for (int i = 0; i < 4; ++i)
            last |= static_cast<uint32_t>(oldLeft[i]) << (8 * i);
        destination[position * destinationStep] = last;
    }
    for (position = position + 1 < 0 ? 0 : position + 1; position < length; ++position)
        destination[position * destinationStep] = background;
}

}  // namespace

void RotateBits32ByShears(RotateImage32* result, const RotateImage32* source, uint32_t background,
                          double angleDegrees)
{
    *result = Image(nullptr, source->width, source->height);
    if (!source->bits || source->width == 0 || source->height == 0 || !std::isfinite(angleDegrees))
        return;

    const double r = angleDegrees * kPi / 180.0;
    const double t = std::tan(r / 2);
    const double s = std::sin(r);
    const double c = std::cos(r);
    const uint32_t width = source->width;
    const uint32_t height = source->height;
    const double w = width;
    const double h = height;
    const size_t sourcePitch = source->stride / 4;

    // Pass 1, horizontal.
    uint32_t width1;
    if (!SideFromDouble(w + std::trunc(std::fabs(t) * h + 0.5), &width1))
        return;
    uint32_t* pass1 = AllocatePixels(width1, height);
    if (!pass1)
        return;
#pragma omp parallel for schedule(static)
    for (int64_t y = 0; y < static_cast<int64_t>(height); ++y) {
        double v = t >= 0 ? (y + 0.5) * t : (y - h + 0.5) * t;
        ShearLine(source->bits + y * sourcePitch, width, 1, pass1 + y * width1, width1, 1, v, background);
    }

    // Pass 2, vertical.
    uint32_t height2;
    uint32_t* pass2 = nullptr;
    if (SideFromDouble(std::trunc(std::fabs(s) * w + c * h + 0.5) + 1, &height2))
        pass2 = AllocatePixels(width1, height2);
    if (!pass2) {
        free(pass1);
        return;
    }
    const double start2 = s > 0 ? (w - 1) * s : (static_cast<double>(width1) - w) * s;
#pragma omp parallel for schedule(static)
    for (int64_t x = 0; x < static_cast<int64_t>(width1); ++x)
        ShearLine(pass1 + x, height, width1, pass2 + x, height2, width1, start2 - x * s, background);
    free(pass1);

    // Pass 3, horizontal.
    uint32_t width3;
    uint32_t* pass3 = nullptr;
    if (SideFromDouble(std::trunc(std::fabs(s) * h + c * w) + 1, &width3))
        pass3 = AllocatePixels(width3, height2);
    if (!pass3) {
        free(pass2);
        return;
    }
    const double start3 = s >= 0 ? -(w - 1) * s * t : ((1.0 - height2) - (w - 1) * s) * t;
#pragma omp parallel for schedule(static)
    for (int64_t y = 0; y < static_cast<int64_t>(height2); ++y)
        ShearLine(pass2 + y * width1, width1, 1, pass3 + y * width3, width3, 1, start3 + y * t, background);
    free(pass2);

    *result = Image(pass3, width3, height2);
}

void RotateBits32(RotateImage32* result, const RotateImage32* source, uint32_t background, double angleDegrees)
{
    *result = Image(nullptr, source->width, source->height);
    if (!source->bits || source->width == 0 || source->height == 0 || !std::isfinite(angleDegrees))
        return;

    double angle = std::fmod(angleDegrees, 360.0);
    if (angle < 0)
        angle += 360.0;
    if (angle >= 360.0)
        angle = 0;

    int quarters = 0;
    if (angle > 45 && angle <= 135)
        quarters = 1;
    else if (angle > 135 && angle <= 225)
        quarters = 2;
    else if (angle > 225 && angle <= 315)
        quarters = 3;
    angle -= 90.0 * quarters;

    RotateImage32 turned = QuarterTurn(*source, quarters);
    if (!turned.bits)
        return;
    if (angle == 0) {
        // An exact quarter turn (or none) needs no shears, which would add a border.
        *result = turned;
        return;
    }
    RotateBits32ByShears(result, &turned, background, angle);
    free(turned.bits);
}
