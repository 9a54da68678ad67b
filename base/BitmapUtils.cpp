#include "base/BitmapUtils.h"

#include <cstdint>

#include "base/GdiOwners.h"

namespace {

constexpr unsigned kMaxColorTableEntries = 256;

unsigned EntriesForBitCount(unsigned bits)
{
    switch (bits) {
    case 1:
        return 2;
    case 4:
        return 16;
    case 8:
        return 256;
    default:
        return 0;
    }
}

bool IsCoreHeader(const BITMAPINFOHEADER* header)
{
    return header->biSize == sizeof(BITMAPCOREHEADER);
}

// A memory DC with a bitmap selected, restored and deleted on destruction.
class SelectedDC {
public:
    explicit SelectedDC(HBITMAP bitmap) : dc_(CreateCompatibleDC(nullptr)), selection_(dc_.Get(), bitmap) {}
    // Null unless the bitmap is selected.
    HDC Get() const { return selection_.Selected() ? dc_.Get() : nullptr; }

private:
    MemoryDcOwner dc_;
    ObjectSelection selection_;
};

}  // namespace

bool RecolorBitmap(HBITMAP* bitmap, COLORREF from, COLORREF to)
{
    if (!bitmap || !*bitmap)
        return false;
    DIBSECTION section = {};
    if (GetObjectW(*bitmap, sizeof section, &section) != sizeof section)
        return false;
    const BITMAP& bm = section.dsBm;
    if (bm.bmBitsPixel != 24 || !bm.bmBits || bm.bmWidth <= 0)
        return false;
    GdiFlush();
    const size_t width = static_cast<size_t>(bm.bmWidth);
    const size_t rows = static_cast<size_t>(bm.bmHeight < 0 ? -static_cast<int64_t>(bm.bmHeight) : bm.bmHeight);
    const size_t stride = (width * 3 + 3) & ~static_cast<size_t>(3);
    const BYTE fromB = GetBValue(from), fromG = GetGValue(from), fromR = GetRValue(from);
    const BYTE toB = GetBValue(to), toG = GetGValue(to), toR = GetRValue(to);
    auto* bits = static_cast<BYTE*>(bm.bmBits);
    for (size_t row = 0; row < rows; ++row) {
        BYTE* p = bits + row * stride;
        for (size_t x = 0; x < width; ++x, p += 3) {
            if (p[0] == fromB && p[1] == fromG && p[2] == fromR) {
                p[0] = toB;
                p[1] = toG;
                p[2] = toR;
            }
        }
    }
    return true;
}

namespace {

// Fills the target with the colour and copies the picture onto it at (x, y).
bool FillAndCopy(HBITMAP target, COLORREF color, int width, int height, HDC picture, int x, int y,
                 int pictureWidth, int pictureHeight)
{
    SelectedDC dc(target);
    const BrushOwner brush(CreateSolidBrush(color));
    bool drawn = dc.Get() && brush;
    if (drawn) {
        RECT all = {0, 0, width, height};
        FillRect(dc.Get(), &all, brush.Get());
        drawn = BitBlt(dc.Get(), x, y, pictureWidth, pictureHeight, picture, 0, 0, SRCCOPY) != FALSE;
    }
    return drawn;
}

}  // namespace

HBITMAP LoadCenteredBitmap(HINSTANCE module, int width, int height, int pictureWidth, int pictureHeight,
                           UINT resourceId, COLORREF keyColor, COLORREF backgroundColor)
{
    if (width <= 0 || height <= 0)
        return nullptr;
    const BitmapOwner picture(static_cast<HBITMAP>(LoadImageW(module, MAKEINTRESOURCEW(resourceId), IMAGE_BITMAP,
                                                              pictureWidth, pictureHeight, LR_CREATEDIBSECTION)));
    if (!picture)
        return nullptr;
    HBITMAP recoloured = picture.Get();
    RecolorBitmap(&recoloured, keyColor, backgroundColor);

    BitmapOwner result;
    SelectedDC source(picture.Get());
    // Compatible with the loaded DIB section, so of its depth (and colour table).
    if (source.Get())
        result.Reset(CreateCompatibleBitmap(source.Get(), width, height));
    if (result && !FillAndCopy(result.Get(), backgroundColor, width, height, source.Get(),
                               width / 2 - pictureWidth / 2, height / 2 - pictureHeight / 2, pictureWidth,
                               pictureHeight))
        result.Reset();
    return result.Release();
}

unsigned GetDibColorTableEntries(const BITMAPINFOHEADER* header)
{
    if (!header)
        return 0;
    if (IsCoreHeader(header))
        return EntriesForBitCount(reinterpret_cast<const BITMAPCOREHEADER*>(header)->bcBitCount);
    if (header->biSize < sizeof(BITMAPINFOHEADER))
        return 0;
    if (header->biClrUsed != 0)
        return header->biClrUsed < kMaxColorTableEntries ? header->biClrUsed : kMaxColorTableEntries;
    return EntriesForBitCount(header->biBitCount);
}

unsigned GetDibColorTableSize(const BITMAPINFOHEADER* header)
{
    unsigned entries = GetDibColorTableEntries(header);
    return entries * (header && IsCoreHeader(header) ? sizeof(RGBTRIPLE) : sizeof(RGBQUAD));
}
