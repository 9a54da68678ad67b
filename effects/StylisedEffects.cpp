// Bevel, seamless tile, oil paint, subpixel pattern and pop-art grid.
#include "effects/StylisedEffects.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "effects/ColourTone.h"
#include "effects/EffectPixels.h"

using effects::IsEffectPicture;
using effects::ScanLine;

namespace effects {

const uint8_t kSubpixelPattern[15][5] = {
    {0, 1, 2, 0, 0}, {1, 1, 1, 2, 0}, {0, 1, 2, 2, 2}, {0, 0, 1, 2, 0}, {0, 1, 1, 1, 2},
    {2, 0, 1, 2, 2}, {0, 0, 0, 1, 2}, {2, 0, 1, 1, 1}, {2, 2, 0, 1, 2}, {2, 0, 0, 0, 1},
    {1, 2, 0, 1, 1}, {2, 2, 2, 0, 1}, {1, 2, 0, 0, 0}, {1, 1, 2, 0, 1}, {1, 2, 2, 2, 0},
};

const PopArtColours kPopArt4[4] = {
    {0x0BCFFF, 0xFF600C}, {0xFFFF01, 0x0000FE}, {0xB7FF0B, 0x730BFF}, {0x0AFF69, 0xFF0B63},
};

const PopArtColours kPopArt9[9] = {
    {0x0BCFFF, 0xFF600C}, {0x8290DC, 0x868E01}, {0x8360D4, 0x087602}, {0x0AFF69, 0xFF0B63}, {0xFFFF01, 0x0000FE},
    {0x40B78D, 0x0240D8}, {0xB7FF0B, 0x730BFF}, {0x2391E7, 0x631907}, {0x7D9D79, 0x58068D},
};

const PopArtColours kPopArt16[16] = {
    {0x0BCFFF, 0xFF600C}, {0xB7FF0B, 0x730BFF}, {0x8360D4, 0x087602}, {0x0AFF69, 0xFF0B63},
    {0x8290DC, 0x868E01}, {0x40B78D, 0x0240D8}, {0xFFFF01, 0x0000FE}, {0x2391E7, 0x631907},
    {0x7D9D79, 0x58068D}, {0x40B765, 0x0240D8}, {0x8360D4, 0x087602}, {0x3791E7, 0x631907},
    {0x8C9ADC, 0x868E01}, {0x7D9D79, 0x440679}, {0x28FFC3, 0xFF0B63}, {0x8D56BE, 0x128002},
};

const POINT kPopArtPlaces[16] = {
    {0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 0}, {2, 1}, {0, 2}, {1, 2},
    {2, 2}, {3, 0}, {3, 1}, {3, 2}, {0, 3}, {1, 3}, {2, 3}, {3, 3},
};

// 64-bit products: l * k * 255 leaves 32 bits from about 5,800 x 5,800 pixels on.
int64_t SeamlessTileShare(int64_t m, int64_t o, int64_t t, int64_t l, int64_t k)
{
    const int64_t e = k * o, d = l * t;
    if (e > d || (e == d && o % 2 == 0))
        return o == l ? 0 : (l - o) * k * m / (k * l + d - e);
    return o == 0 ? m : m - m * e / ((k - t) * l + k * l - (l - o) * k);
}

}  // namespace effects

namespace {

// ---- Bevel ----

// The blue, green and red bytes of the pixel at column x of the row counted from the top.
uint8_t* PixelFromTop(const NImageBuffer& picture, int x, int rowFromTop)
{
    return ScanLine(picture, picture.height - 1 - rowFromTop) + static_cast<size_t>(x) * (picture.bpp / 8);
}

void BlendLight(uint8_t* p, float x)
{
    for (int c = 0; c < 3; ++c)
        p[c] = effects::ClampByte(static_cast<double>(p[c] * (1.0f - x) + x * 255.0f));
}

void BlendDark(uint8_t* p, float x)
{
    for (int c = 0; c < 3; ++c)
        p[c] = effects::ClampByte(static_cast<double>(p[c] * (1.0f - x)));
}

// One step down of the strength, which stops at 0.
float Lower(float x)
{
    return x > 0.0f ? std::max(x - 0.05f, 0.0f) : x;
}

// ---- Seamless tile ----

// The distance of a column (or row) from the centre line on its side: 0 beside the centre, half
// the size - 1 at the border; -1 for the centre line of an odd size.
int64_t FromCentre(int position, int half, int odd)
{
    if (position < half)
        return half - position - 1;
    if (position == half && odd)
        return -1;
    return position - odd - half;
}

// The column (or row) that lands on this one when the picture is shifted by half its size.
int Opposite(int position, int half, int odd)
{
    return position >= half + odd ? position - half - odd : position + half + odd;
}

// ---- Oil paint ----

// The counts of the grey levels in one window, and the sample where the running maximum was last
// raised. The window reaches up to `radius` pixels past the picture's border, where it sees
// opaque white (grey 255); those samples are counted a whole run at a time, since every one of
// them has the same colour, so no bordered copy of the picture is needed whatever the radius.
class GreyWindow {
public:
    void AddWhite(uint64_t count)
    {
        if (count == 0)
            return;
        counts_[255] += count;
        if (counts_[255] > most_) {
            most_ = counts_[255];
            white_ = true;
        }
    }
    void Add(uint8_t grey, int x, int line)
    {
        if (++counts_[grey] > most_) {
            most_ = counts_[grey];
            white_ = false;
            x_ = x;
            line_ = line;
        }
    }
    void Clear(uint8_t grey) { counts_[grey] = 0; }
    void Restart()
    {
        counts_[255] = 0;
        most_ = 0;
        white_ = false;
    }
    // The colour of the remembered sample: null for the white border.
    const uint8_t* Sample(const NImageBuffer& colour) const
    {
        return white_ ? nullptr : ScanLine(colour, line_) + static_cast<size_t>(x_) * (colour.bpp / 8);
    }

private:
    uint64_t counts_[256] = {};
    uint64_t most_ = 0;
    bool white_ = false;
    int x_ = 0, line_ = 0;
};

// ---- Pop-art grid ----

// Copies the tile's pixels onto the picture with the tile's top-left corner at (x, y) (from the
// top), cut at the picture's border. Blue, green and red always; alpha when both have it.
void PlaceTile(NImageBuffer& picture, const NImageBuffer& tile, int x, int y)
{
    GdiFlush();
    const int step = picture.bpp / 8, tileStep = tile.bpp / 8;
    const int bytes = std::min(step, tileStep);
    const int columns = std::min(tile.width, picture.width - x);
    const int rows = std::min(tile.height, picture.height - y);
    for (int row = 0; row < rows; ++row) {
        uint8_t* into = PixelFromTop(picture, x, y + row);
        const uint8_t* from = ScanLine(tile, tile.height - 1 - row);
        for (int column = 0; column < columns; ++column, into += step, from += tileStep)
            memcpy(into, from, bytes);
    }
}

}  // namespace

bool BevelEdges(NImageBuffer& picture, unsigned width, float strength)
{
    if (!IsEffectPicture(picture))
        return false;
    const int w = picture.width, h = picture.height;
    const int n = (width > static_cast<unsigned>(w) || width > static_cast<unsigned>(h)) ? std::min(w, h) - 1
                                                                                          : static_cast<int>(width);
    float x = strength;
    GdiFlush();
    // Top: lightened, the band narrowing by one pixel on each side per row.
    for (int i = 0; i < n; ++i) {
        for (int column = i + 1; column <= w - i - 2; ++column)
            BlendLight(PixelFromTop(picture, column, i), x);
        x = Lower(x);
    }
    // Bottom: darkened, from the inner edge of the band (l = n) down to the border (l = 1).
    for (int l = n; l >= 1; --l) {
        for (int column = l; column <= w - l; ++column)
            BlendDark(PixelFromTop(picture, column, h - l), x);
        if (l - 1 <= 10 && x < 1.0f)
            x += 0.05f;
    }
    // Left: lightened.
    for (int l = 0; l < n; ++l) {
        for (int row = l; row <= h - l - 1; ++row)
            BlendLight(PixelFromTop(picture, l, row), x);
        x = Lower(x);
    }
    // Right: darkened, from the inner edge of the band to the border.
    for (int j = n; j >= 1; --j) {
        for (int row = j; row <= h - j - 1; ++row)
            BlendDark(PixelFromTop(picture, w - j, row), x);
        if (j - 1 <= 10 && x < 1.0f)
            x += 0.05f;
    }
    return true;
}

bool MakeTileable(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture) || picture.width < 35 || picture.height < 35)
        return false;
    NImageBuffer result;
    if (!result.Copy(picture))
        return false;
    const int w = picture.width, h = picture.height, step = picture.bpp / 8;
    const int hw = w / 2, hh = h / 2, ow = w % 2, oh = h % 2;
    const int64_t l = hw - 1, k = hh - 1;
    const NImageBuffer& source = picture;
    // Each output byte gathers the two source bytes that meet on it: its own and the one of the
    // place shifted by half the size onto it. Centre lines of an odd size keep their bytes.
    effects::ForEachLineParallel(result, [&](uint8_t* out, int line) {
        const int64_t t = FromCentre(line, hh, oh);
        const int otherLine = Opposite(line, hh, oh);
        const uint8_t* own = ScanLine(source, line);
        const uint8_t* other = ScanLine(source, otherLine);
        const int64_t otherT = t < 0 ? -1 : FromCentre(otherLine, hh, oh);
        for (int x = 0; x < w; ++x) {
            const int64_t o = FromCentre(x, hw, ow);
            uint8_t* p = out + static_cast<size_t>(x) * step;
            const uint8_t* a = own + static_cast<size_t>(x) * step;
            if (o < 0 || t < 0) {
                memcpy(p, a, step);
                continue;
            }
            const int otherX = Opposite(x, hw, ow);
            const int64_t otherO = FromCentre(otherX, hw, ow);
            const uint8_t* b = other + static_cast<size_t>(otherX) * step;
            // The two shares can round up to one above 255 where the weights meet on the diagonal.
            for (int c = 0; c < step; ++c) {
                const int64_t sum = effects::SeamlessTileShare(a[c], o, t, l, k) +
                                    effects::SeamlessTileShare(b[c], otherO, otherT, l, k);
                p[c] = effects::ClampByte(sum);
            }
        }
    });
    picture.Adopt(result);
    return true;
}

bool OilPaint(NImageBuffer& picture, int radius)
{
    if (!IsEffectPicture(picture) || radius < 1)
        return false;
    NImageBuffer colour, grey;
    if (!colour.Copy(picture) || !grey.Copy(picture) || !grey.ConvertToGray8())
        return false;
    const int step = picture.bpp / 8, w = picture.width, h = picture.height;
    const int64_t r = radius, side = 2 * r + 1;
    const uint8_t white[4] = {255, 255, 255, 255};
    GdiFlush();
    // The window is read scan line by scan line from the bottom, each from the left: the lines
    // below the picture, then per line inside it the border on the left, the picture, the border
    // on the right, then the lines above the picture.
    effects::ForEachLineParallel(picture, [&](uint8_t* out, int line) {
        GreyWindow window;
        const int firstLine = static_cast<int>(std::max<int64_t>(line - r, 0));
        const int lastLine = static_cast<int>(std::min<int64_t>(line + r, h - 1));
        for (int x = 0; x < w; ++x, out += step) {
            const int first = static_cast<int>(std::max<int64_t>(x - r, 0));
            const int last = static_cast<int>(std::min<int64_t>(x + r, w - 1));
            const uint64_t leftBorder = static_cast<uint64_t>(first - (x - r));
            const uint64_t rightBorder = static_cast<uint64_t>((x + r) - last);
            window.Restart();
            window.AddWhite(static_cast<uint64_t>(firstLine - (line - r)) * static_cast<uint64_t>(side));
            for (int wy = firstLine; wy <= lastLine; ++wy) {
                const uint8_t* g = ScanLine(grey, wy);
                window.AddWhite(leftBorder);
                for (int wx = first; wx <= last; ++wx)
                    window.Add(g[wx], wx, wy);
                window.AddWhite(rightBorder);
            }
            window.AddWhite(static_cast<uint64_t>((line + r) - lastLine) * static_cast<uint64_t>(side));
            const uint8_t* sample = window.Sample(colour);
            memcpy(out, sample ? sample : white, step);
            for (int wy = firstLine; wy <= lastLine; ++wy) {
                const uint8_t* g = ScanLine(grey, wy);
                for (int wx = first; wx <= last; ++wx)
                    window.Clear(g[wx]);
            }
        }
    });
    picture.ApplyFilter(1);
    return true;
}

bool SubpixelPattern(NImageBuffer& picture)
{
    if (!IsEffectPicture(picture))
        return false;
    const int step = picture.bpp / 8, w = picture.width;
    effects::ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        const uint8_t* cells = effects::kSubpixelPattern[line % 15];
        for (int x = 0; x < w; ++x, row += step) {
            uint8_t& c = row[cells[x % 5]];
            c = c >= 128 ? 255 : static_cast<uint8_t>(2 * c);
        }
    });
    return true;
}

bool PopArtGrid(NImageBuffer& picture, int thresholdStep, int tiles)
{
    if (!IsEffectPicture(picture) || thresholdStep < 1)
        return false;
    const effects::PopArtColours* colours = effects::kPopArt4;
    int side = 2;
    if (tiles == 9) {
        colours = effects::kPopArt9;
        side = 3;
    } else if (tiles == 16) {
        colours = effects::kPopArt16;
        side = 4;
    } else {
        tiles = 4;
    }
    const int tileWidth = picture.width / side, tileHeight = picture.height / side;
    if (tileWidth < 1 || tileHeight < 1)
        return false;
    // A higher step gives a higher level, up to all black at 255.
    const int64_t level = std::min<int64_t>(78 + 10 * int64_t{thresholdStep}, 255);
    NImageBuffer blackWhite;
    if (!blackWhite.Copy(picture) || !blackWhite.ResizeImage(tileWidth, tileHeight) || !IsEffectPicture(blackWhite) ||
        !Threshold(blackWhite, static_cast<uint8_t>(level)))
        return false;
    // All tiles are made before the first is drawn, so that a failure leaves the picture as it was.
    std::unique_ptr<NImageBuffer[]> made(new (std::nothrow) NImageBuffer[tiles]);
    if (!made)
        return false;
    for (int i = 0; i < tiles; ++i)
        if (!made[i].Copy(blackWhite) || !made[i].ReplaceColour(RGB(255, 255, 255), colours[i].forWhite) ||
            !made[i].ReplaceColour(RGB(0, 0, 0), colours[i].forBlack))
            return false;
    for (int i = 0; i < tiles; ++i)
        PlaceTile(picture, made[i], effects::kPopArtPlaces[i].x * tileWidth, effects::kPopArtPlaces[i].y * tileHeight);
    return true;
}
