// Red, green and blue to hue, lightness and saturation, and back.
#include "imaging/HslColour.h"

#include <cmath>

void HslColour::SetFromRgb()
{
    enum class Sector { Red, Green, Blue };
    const int r = red;
    const int g = green;
    const int b = blue;

    int minimum;
    int maximum;
    Sector sector;
    if (r < g) {
        minimum = r;
        maximum = g;
        sector = Sector::Green;
    } else {
        minimum = g;
        maximum = r;
        sector = Sector::Red;
    }
    if (minimum > b) {
        minimum = b;
    } else if (b > maximum) {
        maximum = b;
        sector = Sector::Blue;
    }

    if (maximum == minimum) {
        hue = 0;
        saturation = 0;
        lightness = minimum / 255.0;
        return;
    }

    const double sum = static_cast<double>(maximum) + minimum;
    const double range = static_cast<double>(maximum) - minimum;
    lightness = sum / 510.0;
    saturation = lightness <= 0.5 ? range / sum : range / (510.0 - sum);

    switch (sector) {
    case Sector::Red:
        hue = (g - b) * 60 / range + 360.0;
        break;
    case Sector::Green:
        hue = (b - r) * 60 / range + 120.0;
        break;
    case Sector::Blue:
        hue = (r - g) * 60 / range + 240.0;
        break;
    }
    if (hue >= 360.0)
        hue -= 360.0;
}

namespace {

// One channel of the HSL-to-RGB conversion, h in degrees.
uint8_t HslChannel(double m1, double m2, double h)
{
    h = std::fmod(h, 360.0);
    if (h < 0)
        h += 360.0;
    double value;
    if (h < 60)
        value = m1 + (m2 - m1) * h / 60.0;
    else if (h < 180)
        value = m2;
    else if (h < 240)
        value = m1 + (m2 - m1) * (240.0 - h) / 60.0;
    else
        value = m1;
    const double scaled = value * 255.0;
    if (!(scaled > 0))
        return 0;
    return scaled >= 255.0 ? 255 : static_cast<uint8_t>(scaled);
}

}  // namespace

void HslColour::ToRgb()
{
    const double l = lightness;
    const double s = saturation;
    if (s == 0) {
        red = green = blue = HslChannel(l, l, 0);
        return;
    }
    const double m2 = l <= 0.5 ? l + l * s : l + s - l * s;
    const double m1 = 2.0 * l - m2;
    red = HslChannel(m1, m2, hue + 120.0);
    green = HslChannel(m1, m2, hue);
    blue = HslChannel(m1, m2, hue - 120.0);
}
