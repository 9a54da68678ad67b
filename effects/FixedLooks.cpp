// Fixed looks.
#include "effects/FixedLooks.h"

#include "effects/ColourTone.h"

namespace {

// Filter table entries used here.
constexpr int kEdges = 6;
constexpr int kErosion = 11;
constexpr int kOutline = 12;

// The first step of every look; when it fails the look has changed nothing and refuses.
bool To24(NImageBuffer& picture)
{
    return picture.valid && picture.ConvertToBpp(24, false);
}

void Posterise(NImageBuffer& picture)
{
    picture.ConvertToBpp(4, false);
    picture.ConvertToBpp(24, false);
}

}  // namespace

bool PencilSketch(NImageBuffer& picture)
{
    if (!To24(picture))
        return false;
    picture.ApplyFilter(kOutline);
    picture.Invert();
    picture.AdjustContrast(1);
    picture.AdjustGamma(0.35);
    picture.AdjustSaturation(-100);
    picture.ConvertToBpp(24, false);
    return true;
}

bool InkDrawing(NImageBuffer& picture)
{
    if (!To24(picture))
        return false;
    picture.ApplyFilter(kEdges);
    SepiaTone(picture, false);
    picture.ApplyFilter(kErosion);
    picture.Invert();
    picture.ApplyFilter(kErosion);
    picture.AddChannelOffsets(50, 50, 100);
    return true;
}

bool InkDrawingInverted(NImageBuffer& picture)
{
    if (!InkDrawing(picture))
        return false;
    picture.Invert();
    return true;
}

bool BlueTone(NImageBuffer& picture)
{
    if (!To24(picture))
        return false;
    picture.AddChannelOffsets(0, 0, 100);
    picture.AdjustHue(25);
    picture.AdjustSaturation(-60);
    picture.AdjustContrast(60);
    picture.AdjustGamma(1.0);
    return true;
}

bool BlueTonePosterized(NImageBuffer& picture)
{
    if (!BlueTone(picture))
        return false;
    picture.AdjustSaturation(-50);
    Posterise(picture);
    return true;
}

bool WarmFadedTone(NImageBuffer& picture)
{
    if (!To24(picture))
        return false;
    picture.AddChannelOffsets(80, 0, -100);
    picture.AdjustHue(25);
    picture.AdjustSaturation(-80);
    picture.AdjustBrightness(-15);
    picture.AdjustContrast(60);
    picture.AdjustGamma(1.0);
    return true;
}

bool AgedPhotoTone(NImageBuffer& picture)
{
    if (!To24(picture))
        return false;
    picture.AddChannelOffsets(-50, 0, 50);
    picture.AdjustHue(180);
    picture.AdjustSaturation(-90);
    picture.AdjustBrightness(40);
    picture.AdjustContrast(27);
    picture.AdjustGamma(0.5);
    Posterise(picture);
    return true;
}
