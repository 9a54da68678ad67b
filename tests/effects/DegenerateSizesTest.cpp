// Every effect on pictures of one pixel, one row and one column: no fault, and the same answer
// on 24 and 32 bpp.
#include <gtest/gtest.h>

#include <functional>

#include "effects/BlurCompositions.h"
#include "effects/ColourTone.h"
#include "effects/EffectTestPictures.h"
#include "effects/FixedLooks.h"
#include "effects/Levels.h"
#include "effects/Shadows.h"
#include "effects/StackBlur.h"

using namespace effecttest;

TEST(DegenerateSizes, EveryEffectCopesWithOnePixelRowsAndColumns)
{
    using Effect = std::function<bool(NImageBuffer&)>;
    const struct {
        const char* name;
        Effect effect;
    } effects[] = {
        {"SimpleShadow", [](NImageBuffer& p) { return SimpleShadow(p, 0, 0xFFFFFF, 6, 3); }},
        {"DropShadow box", [](NImageBuffer& p) { return DropShadow(p, 0, 0xFFFFFF, 315, 10, 80, 4, true, 0xFF00FF); }},
        {"DropShadow dark", [](NImageBuffer& p) { return DropShadow(p, 0xFF, 0, 100, 3, 80, 2, false, 0xFF00FF); }},
        {"DropShadowWithAlpha", [](NImageBuffer& p) { return DropShadowWithAlpha(p, 0, 0xFFFFFF, 0x808080, 2); }},
        {"GlowingEdges", [](NImageBuffer& p) { return GlowingEdges(p, 30, 2); }},
        {"StackBlur", [](NImageBuffer& p) { return StackBlur(p, 20); }},
        {"UnsharpMask", [](NImageBuffer& p) { return UnsharpMask(p, 2, 0.7f, 1); }},
        {"SmoothSharpen", SmoothSharpen},
        {"FocusRectangle", [](NImageBuffer& p) { return FocusRectangle(p, 0, 0, 200, 200, 4); }},
        {"TiltShift", [](NImageBuffer& p) { return TiltShift(p, 2, 6, 0, 0, 0, 10, 10, 15.0); }},
        {"SoftFocusScreen", [](NImageBuffer& p) { return SoftFocusScreen(p, 5, 10, 10); }},
        {"HardLightBlend", [](NImageBuffer& p) { return HardLightBlend(p, 5, 10, 40); }},
        {"SepiaTone", [](NImageBuffer& p) { return SepiaTone(p, false); }},
        {"ChannelThreshold", [](NImageBuffer& p) { return ChannelThreshold(p, 90); }},
        {"Warmth", [](NImageBuffer& p) { return Warmth(p, 10); }},
        {"ToneCompress", ToneCompress},
        {"NegativeGrey", NegativeGrey},
        {"QuadraticTone", [](NImageBuffer& p) { return QuadraticTone(p, true); }},
        {"Threshold", [](NImageBuffer& p) { return Threshold(p, 100); }},
        {"AddNoise", [](NImageBuffer& p) { return AddNoise(p, 20, true); }},
        {"PencilSketch", PencilSketch},
        {"InkDrawingInverted", InkDrawingInverted},
        {"BlueTonePosterized", BlueTonePosterized},
        {"WarmFadedTone", WarmFadedTone},
        {"AgedPhotoTone", AgedPhotoTone},
        {"AutoLevels", AutoLevels},
        {"EqualizeLuma", [](NImageBuffer& p) { return p.bpp != 24 || EqualizeLuma(p, 255); }},
        {"MapLumaByHistogram", [](NImageBuffer& p) { return p.bpp != 24 || MapLumaByHistogram(p, 1); }},
    };
    const struct {
        int width, height;
    } sizes[] = {{1, 1}, {1, 300}, {300, 1}};
    for (const auto& e : effects)
        for (const auto& s : sizes)
            for (int bpp : {24, 32}) {
                SCOPED_TRACE(testing::Message() << e.name << " " << s.width << "x" << s.height << " " << bpp);
                NImageBuffer picture;
                ASSERT_TRUE(MakeNoise(picture, s.width, s.height, bpp, 5));
                EXPECT_TRUE(e.effect(picture));
                EXPECT_TRUE(picture.valid);
                EXPECT_GE(picture.width, s.width);
            }
}
