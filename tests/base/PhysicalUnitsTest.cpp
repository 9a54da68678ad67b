#include "base/PhysicalUnits.h"

#include <gtest/gtest.h>

namespace {

TEST(UnitsToPixels, ConvertsEachUnitAndBack)
{
    struct Case {
        int unit;
        double xPercent, x, yPercent, y, dpi;
        double pixelsX, pixelsY;
    } cases[] = {
        {kUnitCentimetres, 0, 2.54, 0, 5.08, 300, 300, 600},
        {kUnitInches, 0, 1.5, 0, 2, 96, 144, 192},
        {kUnitPercent, 640, 50, 480, 25, 0, 320, 120},
        {kUnitPixels, 50, 123, 50, 45, 300, 123, 45},
        {7, 50, 123, 50, 45, 300, 123, 45},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.unit);
        double x = c.x;
        double y = c.y;
        EXPECT_TRUE(UnitsToPixels(c.unit, c.xPercent, x, c.yPercent, y, c.dpi));
        EXPECT_NEAR(x, c.pixelsX, 1e-6);
        EXPECT_NEAR(y, c.pixelsY, 1e-6);
        EXPECT_TRUE(PixelsToUnits(c.unit, c.xPercent, x, c.yPercent, y, c.dpi));
        EXPECT_NEAR(x, c.x, 1e-9);
        EXPECT_NEAR(y, c.y, 1e-9);
    }
}

TEST(PixelsToUnits, RefusesToDivideByZero)
{
    double x = 10;
    double y = 20;
    EXPECT_FALSE(PixelsToUnits(kUnitPercent, 0, x, 100, y, 96));
    EXPECT_FALSE(PixelsToUnits(kUnitPercent, 100, x, 0, y, 96));
    EXPECT_FALSE(PixelsToUnits(kUnitCentimetres, 0, x, 0, y, 0));
    EXPECT_FALSE(PixelsToUnits(kUnitInches, 0, x, 0, y, 0));
    EXPECT_EQ(x, 10);
    EXPECT_EQ(y, 20);
}

}  // namespace
