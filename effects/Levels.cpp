// Levels, equalisation and automatic levels.
#include "effects/Levels.h"

#include <algorithm>
#include <cstdint>

#include "effects/EffectPixels.h"
#include "effects/Histograms.h"

using effects::IsEffectPicture;

namespace {

// Value c stretched between black point k and white point w: c - k when they coincide, else
// (c - k) / (w - k) in single precision, 0 below, 255 at and above 1.
inline uint8_t Stretch(int c, int k, int w)
{
    if (k == w)
        return effects::ClampByte(c - k);
    const float x = static_cast<float>(c - k) / static_cast<float>(w - k);
    if (x < 0)
        return 0;
    return static_cast<uint8_t>(std::min(x, 1.0f) * 255.0f);
}

}  // namespace

bool EqualizeLuma(NImageBuffer& picture, int maximum)
{
    if (!picture.valid || picture.bpp != 24 || maximum == 0)
        return false;
    maximum = std::clamp(maximum, 0, 255);
    int luma[256];
    ComputeHistograms(picture, nullptr, nullptr, nullptr, luma);
    const uint32_t pixels = static_cast<uint32_t>(picture.width) * static_cast<uint32_t>(picture.height);
    const float scale = static_cast<float>(maximum) / static_cast<float>(pixels);
    int table[256];
    int64_t cumulative = 0;
    for (int i = 0; i < 256; ++i) {
        cumulative += luma[i];
        table[i] = effects::ClampByte(static_cast<double>(static_cast<float>(cumulative) * scale));
    }
    return picture.ApplyChannelTables(nullptr, nullptr, nullptr, table);
}

bool MapLumaByHistogram(NImageBuffer& picture, int enable)
{
    if (!picture.valid || picture.bpp != 24 || enable == 0)
        return false;
    int luma[256];
    ComputeHistograms(picture, nullptr, nullptr, nullptr, luma);
    const auto [least, most] = std::minmax_element(luma, luma + 256);
    if (*least == *most)
        return true;
    int table[256];
    for (int i = 0; i < 256; ++i)
        table[i] = static_cast<int>(static_cast<double>(luma[i] - *least) / (*most - *least) * 255.0);
    return picture.ApplyChannelTables(nullptr, nullptr, nullptr, table);
}

bool AutoLevelsLuma(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture))
        return false;
    int luma[256];
    ComputeHistograms(picture, nullptr, nullptr, nullptr, luma);
    int black, white;
    FindLevelsClipPoints(luma, &black, &white);
    effects::ForEachPixelParallel(picture, [black, white](uint8_t* p) {
        const int l = effects::IntegerLuma(p[2], p[1], p[0]);
        const int d = Stretch(l, black, white) - l;
        for (int c = 0; c < 3; ++c)
            p[c] = effects::ClampByte(p[c] + d);
    });
    return true;
}

bool AutoLevelsChannels(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture))
        return false;
    int histograms[3][256];  // blue, green, red
    ComputeHistograms(picture, histograms[2], histograms[1], histograms[0], nullptr);
    int black[3], white[3];
    for (int c = 0; c < 3; ++c)
        FindLevelsClipPoints(histograms[c], &black[c], &white[c]);
    uint8_t tables[3][256];
    for (int c = 0; c < 3; ++c)
        for (int v = 0; v < 256; ++v)
            tables[c][v] = Stretch(v, black[c], white[c]);
    effects::ForEachPixelParallel(picture, [&tables](uint8_t* p) {
        for (int c = 0; c < 3; ++c)
            p[c] = tables[c][p[c]];
    });
    picture.AdjustSaturation(8);
    return true;
}

bool AutoLevels(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture))
        return false;
    AutoLevelsLuma(picture);
    AutoLevelsChannels(picture);
    return true;
}
