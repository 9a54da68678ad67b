// Colour and tone effects.
#include "effects/ColourTone.h"

#include <cstdlib>

#include "effects/BlurCompositions.h"
#include "effects/EffectPixels.h"

using effects::ClampByte;
using effects::FloatLuma;
using effects::IntegerLuma;
using effects::IsEffectPicture;

namespace {

// Small per-row generator of 15-bit values (0..32767), as rand() gives them.
class RowRandom {
public:
    RowRandom(uint32_t seed, uint32_t row) : state_(Mix(seed * 0x9E3779B9u ^ Mix(row + 0x7F4A7C15u))) {}
    int Next()
    {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<int>(Mix(state_) >> 17);
    }

private:
    static uint32_t Mix(uint32_t x)
    {
        x ^= x >> 16;
        x *= 0x7FEB352Du;
        x ^= x >> 15;
        x *= 0x846CA68Bu;
        x ^= x >> 16;
        return x;
    }
    uint32_t state_;
};

}  // namespace

bool SepiaTone(NImageBuffer& picture, bool strong)
{
    if (!IsEffectPicture(picture))
        return false;
    if (strong) {
        effects::ForEachPixelParallel(picture, [](uint8_t* p) {
            const int b = FloatLuma(p[2], p[1], p[0]);
            p[2] = static_cast<uint8_t>(b <= 206 ? b + 49 : 255);
            p[1] = static_cast<uint8_t>(b >= 14 ? b - 14 : 0);
            p[0] = static_cast<uint8_t>(b >= 56 ? b - 56 : 0);
        });
        picture.AdjustContrast(-10);
        picture.AdjustBrightness(5);
        return true;
    }
    effects::ForEachPixelParallel(picture, [](uint8_t* p) {
        const int b = FloatLuma(p[2], p[1], p[0]);
        p[2] = ClampByte(b + 26);
        p[1] = ClampByte(std::max(b - 12, 32));
        p[0] = ClampByte(std::max(b - 38, 32));
    });
    HardLightBlend(picture, 0, 0, 1);
    return true;
}

bool ChannelThreshold(NImageBuffer& picture, int level)
{
    if (!IsEffectPicture(picture))
        return false;
    effects::ForEachPixelParallel(picture, [level](uint8_t* p) {
        for (int c = 0; c < 3; ++c) {
            const int value = p[c];
            p[c] = value == 0 ? 0 : ClampByte(static_cast<int64_t>((int64_t{level} - value) / value) * 255);
        }
    });
    picture.Invert();
    return true;
}

bool Warmth(NImageBuffer& picture, int amount)
{
    if (!IsEffectPicture(picture))
        return false;
    picture.AdjustSaturation(amount);
    picture.AddChannelOffsets(amount, 0, -amount);
    return true;
}

bool ToneCompress(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture))
        return false;
    effects::ForEachPixelParallel(picture, [](uint8_t* p) {
        const int y = IntegerLuma(p[2], p[1], p[0]);
        if (y < 70) {
            const float x = static_cast<float>(y) / 255.0f;
            for (int c = 0; c < 3; ++c) {
                const int light = std::min(p[c] + 30, 255);
                p[c] = ClampByte(static_cast<double>(light * (1.0f - x) + p[c] * x));
            }
        } else if (y > 220) {
            for (int c = 0; c < 3; ++c) {
                const int dark = std::max(p[c] - 20, 0);
                const float sum = static_cast<float>(dark * 0.6) + static_cast<float>(p[c] * 0.4);
                p[c] = ClampByte(static_cast<double>(sum));
            }
        }
    });
    return true;
}

bool NegativeGrey(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture))
        return false;
    picture.Invert();
    picture.AdjustSaturation(-100);
    return true;
}

bool QuadraticTone(NImageBuffer& picture, bool inverted)
{
    if (!IsEffectPicture(picture))
        return false;
    uint8_t table[256];
    for (int c = 0; c < 256; ++c) {
        const double d = c / 128.0 - 1.0;
        table[c] = ClampByte(inverted ? (1.0 - d * d) * 255.0 : d * d * 255.0);
    }
    effects::ForEachPixelParallel(picture, [&table](uint8_t* p) {
        p[0] = table[p[0]];
        p[1] = table[p[1]];
        p[2] = table[p[2]];
    });
    return true;
}

bool Threshold(NImageBuffer& picture, uint8_t level)
{
    if (!IsEffectPicture(picture))
        return false;
    effects::ForEachPixelParallel(picture, [level](uint8_t* p) {
        const uint8_t y = static_cast<uint8_t>(FloatLuma(p[2], p[1], p[0]));
        p[0] = p[1] = p[2] = level < y ? 255 : 0;
    });
    return true;
}

bool AddNoise(NImageBuffer& picture, int amount, bool colour)
{
    if (!IsEffectPicture(picture))
        return false;
    amount = std::clamp(amount, 1, 100);
    const uint32_t seed = static_cast<uint32_t>(rand());
    const double scale = amount * 127.0 / 100.0;
    const int step = picture.bpp / 8;
    const int width = picture.width;
    effects::ForEachLineParallel(picture, [&](uint8_t* p, int line) {
        RowRandom random(seed, static_cast<uint32_t>(line));
        auto offset = [&] {
            const int sum = random.Next() + random.Next() + random.Next() + random.Next();
            return static_cast<int>((sum * 5.28596089837e-5 - 3.46410161514) * scale);
        };
        for (int x = 0; x < width; ++x, p += step) {
            if (colour) {
                for (int c = 0; c < 3; ++c)
                    p[c] = ClampByte(p[c] + offset());
            } else {
                const int shared = offset();
                for (int c = 0; c < 3; ++c)
                    p[c] = ClampByte(p[c] + shared);
            }
        }
    });
    return true;
}
