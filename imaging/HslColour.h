// HslColour: one colour as red, green and blue bytes with its hue, lightness and saturation.
#pragma once

#include <cstdint>

struct HslColour {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    double hue = 0;         // degrees, [0, 360)
    double lightness = 0;   // 0..1
    double saturation = 0;  // 0..1

    // Sets hue, lightness and saturation from red, green and blue. On ties the earlier channel
    // (red, then green, then blue) names the hue sector.
    void SetFromRgb();
    // Sets red, green and blue from hue, lightness and saturation (values truncated). A hue
    // outside 0..360 is brought into it.
    void ToRgb();
};
