// Red, green and blue to hue, lightness and saturation.
#include "imaging/HslColour.h"

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
