#include "base/PhysicalUnits.h"

namespace {
constexpr double kInchesPerCentimetre = 0.393700787402;
}

bool UnitsToPixels(int unit, double xPercent, double& x, double yPercent, double& y, double dpi)
{
    switch (unit) {
    case kUnitPercent:
        x = x * (xPercent / 100);
        y = y * (yPercent / 100);
        break;
    case kUnitCentimetres:
        x = x * dpi * kInchesPerCentimetre;
        y = y * dpi * kInchesPerCentimetre;
        break;
    case kUnitInches:
        x = x * dpi;
        y = y * dpi;
        break;
    default:
        break;
    }
    return true;
}

bool PixelsToUnits(int unit, double xPercent, double& x, double yPercent, double& y, double dpi)
{
    switch (unit) {
    case kUnitPercent:
        if (xPercent == 0 || yPercent == 0)
            return false;
        x = x / (xPercent / 100);
        y = y / (yPercent / 100);
        break;
    case kUnitCentimetres:
        if (dpi == 0)
            return false;
        x = x / dpi / kInchesPerCentimetre;
        y = y / dpi / kInchesPerCentimetre;
        break;
    case kUnitInches:
        if (dpi == 0)
            return false;
        x = x / dpi;
        y = y / dpi;
        break;
    default:
        break;
    }
    return true;
}
