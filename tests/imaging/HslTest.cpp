// HslColour::SetFromRgb: hue sectors, ties, lightness and saturation.
#include "imaging/HslColour.h"

#include <gtest/gtest.h>

TEST(HslColour, SetFromRgb)
{
    struct Case {
        uint8_t r, g, b;
        double hue, lightness, saturation;
    };
    const Case cases[] = {
        {255, 0, 0, 0, 0.5, 1},
        {255, 255, 0, 60, 0.5, 1},   // red and green tie: the red sector
        {0, 255, 0, 120, 0.5, 1},
        {0, 255, 255, 180, 0.5, 1},  // green and blue tie: the green sector
        {0, 0, 255, 240, 0.5, 1},
        {255, 0, 255, 300, 0.5, 1},  // red and blue tie: the red sector, 360 - 60
        {128, 128, 128, 0, 128 / 255.0, 0},
        {255, 255, 255, 0, 1, 0},
        {0, 0, 0, 0, 0, 0},
        // Lightness above one half uses the upper saturation formula.
        {255, 128, 128, 0, 383 / 510.0, 127 / 127.0},
        {100, 50, 25, (50 - 25) * 60 / 75.0, 125 / 510.0, 75 / 125.0},
        {10, 20, 5, (5 - 10) * 60 / 15.0 + 120, 25 / 510.0, 15 / 25.0},
        {30, 10, 200, (30 - 10) * 60 / 190.0 + 240, 210 / 510.0, 190 / 210.0},
        {200, 10, 30, (10 - 30) * 60 / 190.0 + 360, 210 / 510.0, 190 / 210.0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << int(c.r) << "," << int(c.g) << "," << int(c.b));
        HslColour colour;
        colour.red = c.r;
        colour.green = c.g;
        colour.blue = c.b;
        colour.SetFromRgb();
        EXPECT_NEAR(c.hue, colour.hue, 1e-9);
        EXPECT_NEAR(c.lightness, colour.lightness, 1e-12);
        EXPECT_NEAR(c.saturation, colour.saturation, 1e-12);
        EXPECT_GE(colour.hue, 0);
        EXPECT_LT(colour.hue, 360);
    }
}
