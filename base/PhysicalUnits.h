// Conversions between pixels and the units a user can choose for a picture size.
#pragma once

enum PhysicalUnit { kUnitPercent = 0, kUnitPixels = 1, kUnitCentimetres = 2, kUnitInches = 3 };

// Turns (x, y) in the unit into pixels, in place. Percent: x = x * (xPercent / 100) and
// y = y * (yPercent / 100), the percent bases being pixel sizes; centimetres and inches at dpi
// dots per inch. Pixels and unknown codes leave the pair as it is. Always true.
bool UnitsToPixels(int unit, double xPercent, double& x, double yPercent, double& y, double dpi);
// The inverse. False, the pair unchanged, when it would divide by 0 (a percent base or dpi of 0).
bool PixelsToUnits(int unit, double xPercent, double& x, double yPercent, double& y, double dpi);
