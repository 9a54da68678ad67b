// NImageBuffer: the in-memory picture. A plain record that owns a DIB section kept selected
// into a memory device context of its own, so the same pixels are addressed in memory and
// drawn with GDI.
//
// Conventions:
// - Pixels are blue-first (24 bpp: B,G,R; 32 bpp: B,G,R,A, alpha straight, not premultiplied);
//   16 bpp is 5-5-5 (blue in bits 0-4, green 5-9, red 10-14). Rows are stored bottom-up
//   (scan line 0 is the bottom row), each padded to a multiple of 4 bytes.
// - Colours at the interface are COLORREF 0x00BBGGRR. Palettes passed in are red, green, blue
//   triplets; the record's own `palette` is stored blue, green, red.
// - Every operation first tests `valid` (and its depth condition) and answers false, 0 or null
//   without any effect when the test fails. Nothing throws.
// - Row blocks handed out come from malloc(); the caller releases them with free().
// - Records are never copied bit for bit: use Copy().
#pragma once

#include <windows.h>

#include <cstdint>

// A rectangle in picture coordinates (y = 0 at the top).
struct NImageRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// Entry i = round(i * 255 / 31): widens a 5-bit channel of a 16-bpp pixel to 8 bits.
extern const uint8_t kFiveBitExpansion[32];

class NImageBuffer {
public:
    NImageBuffer();
    ~NImageBuffer();
    NImageBuffer(const NImageBuffer&) = delete;
    NImageBuffer& operator=(const NImageBuffer&) = delete;

    // Bytes per stored row of a picture of that width and depth; 0 when it does not fit in int32.
    static int StrideFor(int width, int bitsPerPixel);
    // False when Create refuses these values whatever the memory: a side of 0 or less, or pixel
    // memory (at the depth Create rounds to) that int32 arithmetic cannot address.
    static bool CreatableSize(int64_t width, int64_t height, int bitsPerPixel, bool withPalette);

    // ---- Creation, copy and release ----
    // Depth rounding: 1, 4 or 8 with a palette (256 RGB triplets), else 24; 16, 24, 32 as such.
    bool Create(int width, int height, int bitsPerPixel, COLORREF fill, const uint8_t* paletteRgb = nullptr);
    // Pixel memory becomes a copy of rows (packed like the record, bottom-up). Depths of 8 or
    // less need the palette (256 RGB triplets).
    bool CreateFromBits(int width, int height, int bitsPerPixel, const void* rows, const uint8_t* paletteRgb);
    // Deep copy, with the source's resolution and colour key.
    bool Copy(const NImageBuffer& source);
    // Copy of the pixels of any bitmap handle.
    bool CreateFromHBitmap(HBITMAP source);
    // True when a picture was released, false when the record was already empty.
    bool Destroy();
    // Releases this picture and takes over other's picture (pixels, palette, resolution, colour
    // key); other is left empty. Nothing is copied, so it cannot fail.
    void Adopt(NImageBuffer& other);

    // ---- Device context and palette ----
    bool SelectBitmap();
    bool DeselectBitmap();
    // Stores at most `count` entries (and never more than the depth's palette size).
    bool SetPalette(const uint8_t* rgbTriplets, int count);
    bool SetPaletteRGBQuad(const RGBQUAD* entries, int count);
    // Painting through GDI: palette pictures get the nearest colour, 32 bpp gets alpha 0.
    bool Fill(COLORREF colour);
    bool FillRect(const NImageRect* rect, COLORREF colour);

    // ---- Depth conversion and row access ----
    // New block of all rows (or one scan line) at depth 16, 24 or 32; a 32-bpp picture asked
    // for 24 bpp is composited over white.
    uint8_t* GetBitsAs(int bitsPerPixel) const;
    uint8_t* GetRowAs(int bitsPerPixel, int scanLine) const;
    // The whole picture, or one scan line, drawn from packed rows of a depth of 9 or more.
    bool SetBitsFromDIB(int bitsPerPixel, const void* rows);
    bool SetRowBits(int bitsPerPixel, int scanLine, const void* row);
    // Replaces the picture by one of the target depth (96 dpi, no colour key).
    bool ConvertToBpp(int bitsPerPixel, bool flattenAlpha);
    bool ConvertUp(int bitsPerPixel);
    bool ConvertDown(int bitsPerPixel, bool flattenAlpha);
    // Serpentine error diffusion onto 2 or 16 RGB triplets; new 1- or 4-bpp row block or null.
    uint8_t* DitherToMonochrome(const uint8_t* paletteRgb);
    uint8_t* MapToPalette16(const uint8_t* paletteRgb);
    // The picture becomes 8-bpp grey (resolution kept).
    bool ConvertToGray8();
    void BuildColourDistanceTables();
    void FreeColourDistanceTables();

    // ---- Flips, quarter turns and orientation ----
    bool FlipVertical();
    bool MirrorHorizontal();
    bool Rotate180();
    bool Rotate90Clockwise();
    bool Rotate90CounterClockwise();
    // EXIF orientation code 1..8; other codes change nothing.
    void ApplyOrientation(int orientation);

    // ---- Blits, alpha and masks ----
    bool BlitTo(HDC target, int x, int y, DWORD rop) const;
    bool StretchBlitTo(HDC target, int x, int y, int width, int height, DWORD rop) const;
    bool StretchBlitRectTo(HDC target, int x, int y, int width, int height,
                           int sourceX, int sourceY, int sourceWidth, int sourceHeight, DWORD rop) const;
    bool BlitRotated(HDC target, int x, int y, double angleDegrees) const;
    bool PremultiplyAlpha();
    bool UnpremultiplyAlpha();
    bool HasAlpha() const;
    // Blends source into this picture at (x, y), weighted by the mask's first byte per pixel.
    bool BlendThroughMask(const NImageBuffer& source, const NImageBuffer& mask, int x, int y);

    // ---- Further operations (resizing, rotation, drawing, quantisation, channels, filters) ----
    // Declared by their own modules below this line.

    // ---- Resizing ----
    // ResizeMode: 0 nearest pixel, 1 area coverage, 2 cubic B-spline, 3 Gaussian, 4 area average,
    // 5 box, 6 bilinear, 7 bicubic, 8 Catmull-Rom, 9 Lanczos3, 10 B-spline, 11 Blackman; other codes
    // are refused. Results are 32 bpp for 32-bpp pictures (alpha resampled with the colours, which
    // are weighted by it), else 24 bpp; the resolution is kept; the colour key is dropped.
    using ResizeMode = int;
    // Sizes below 1 become 1; keepAspect fits the picture inside width x height.
    bool ResizeImage(int width, int height, ResizeMode mode, bool keepAspect);
    // The same into destination; this picture stays as it is.
    bool ResizeImageInto(NImageBuffer& destination, int width, int height, ResizeMode mode, bool keepAspect) const;
    // Smooth area scaling; sizes below 1 become 10. A change that is not a complete shrink or
    // enlargement by at least 10 pixels on both sides is stretched by nearest pixel instead.
    bool ResizeImage(int width, int height);
    // The smooth scaling into destination: true when it was scaled (or the size is unchanged); for
    // any other change false, with destination a plain copy of this picture.
    bool ResizeImageReturnNew(NImageBuffer& destination, int width, int height) const;
    // Draws the picture scaled into the rectangle (smoothly for a complete change, else StretchBlt).
    // channelView 0, 4, 5, 6: the picture; 1, 2, 3: its red, green or blue channel as grey.
    bool BltImageFiltered(HDC target, int x, int y, int width, int height, unsigned channelView) const;

    // ---- Quantisation, filters, channel operations, drawing ----
    // Channels: 1 red, 2 green, 3 blue, 4 alpha (32 bpp only). Luma = (19595 R + 38470 G + 7471 B) >> 16.
    // Complements the palette (1, 4, 8 bpp) or the colour bytes (16, 24, 32 bpp; alpha stays).
    bool Invert();
    // Exchange two channels: in the palette for 4 and 8 bpp, in the pixels for 16, 24, 32 bpp.
    bool SwapRedBlue();
    bool SwapRedGreen();
    bool SwapGreenBlue();
    // destination (another record) becomes an 8-bpp grey picture of the channel (24 and 32 bpp).
    bool ExtractChannel(int channel, NImageBuffer& destination) const;
    // Writes an 8-bpp picture of the same size into the channel; channel <= 0 writes nothing.
    bool InsertChannel(int channel, const NImageBuffer& grey);
    bool SetChannel(int channel, uint8_t value);
    // Colours are compared on blue, green and red only; alpha stays.
    bool ReplaceColour(COLORREF oldColour, COLORREF newColour);
    bool ReplaceOtherColours(COLORREF keptColour, COLORREF newColour);  // 24 bpp
    bool Threshold(int threshold);                                      // 8 bpp: above -> 255, else 0
    // Neighbourhood filter 1..12 of ImageFilterTable (24 and 32 bpp).
    bool ApplyFilter(int index);
    bool AdjustBrightness(int delta);
    bool AdjustContrast(int value);
    bool AdjustGamma(double gamma);
    bool AddChannelOffsets(int red, int green, int blue);
    bool AdjustSaturation(int value);
    bool AdjustHue(int degrees);
    // More pixels below the luma threshold than at or above it (24 and 32 bpp).
    bool IsMostlyDark(int threshold) const;
    // Moves blue, green and red of every pixel by table[luma] - luma (256 entries; 24 and 32 bpp).
    bool ApplyLumaShift(const int* table);
    // Remaps the channels through 256-entry tables (24 and 32 bpp; alpha stays). With a luma table
    // only that one is used, as ApplyLumaShift; otherwise each channel whose table is given
    // becomes the low byte of table[value].
    bool ApplyChannelTables(const int* red, const int* green, const int* blue, const int* luma);
    // An icon of the picture (opaque mask; a 32-bpp picture's alpha applies). The caller owns it.
    HICON CreateIcon();
    // Resizes from 96 DPI to the display DPI (GetDpi): Lanczos3 when smooth, else nearest pixel.
    // False, and nothing changes, at 96 DPI.
    bool ScaleForDpi(bool smooth);

    // ---- Rotation, warp and blur ----
    // Free rotation by three shears, clockwise on screen for a positive angle, into a canvas that
    // holds the whole turned picture. 32 bpp stays 32 bpp with transparent-black corners (the
    // background is not used); other depths become 24 bpp with the background in the corners.
    // 96 dpi, no colour key. Exact quarter turns add no border.
    bool Rotate(double angleDegrees, COLORREF background);
    // The same by nearest pixel (the source pixel under each canvas pixel's centre); pictures
    // below 24 bpp become 24 bpp.
    bool RotateNearest(double angleDegrees, COLORREF background);
    // Maps the picture onto the convex quadrilateral with corners top-left (x1, y1), top-right,
    // bottom-right and bottom-left; the result is 32 bpp, as large as the corners' bounding box,
    // alpha the covered part. False leaves the picture unchanged.
    bool WarpToQuad(int x1, int y1, int x2, int y2, int x3, int y3, int x4, int y4);
    // The warp of this 32-bpp picture into output (replaced only on success); xs and ys must hold
    // four corners each.
    bool WarpIntoQuad(NImageBuffer& output, const float* xs, int xCount, const float* ys, int yCount) const;
    // Repeated box blur, a vertical then a horizontal running-sum half per pass, edge pixels
    // repeated; 24 bpp only, radius >= 1, passes below 1 count as 1.
    bool BoxBlur(int radius, int passes);

public:
    int32_t width;
    int32_t height;
    uint8_t bpp;
    int32_t stride;
    int32_t dpiX;
    int32_t dpiY;
    uint8_t* bits;                 // belongs to the DIB section
    uint8_t palette[256][3];       // blue, green, red
    HBITMAP bitmap;
    HGDIOBJ previousObject;
    HDC dc;
    uint8_t hasTransparency;
    uint8_t transparentIndex;
    int32_t transparentColour;     // COLORREF
    uint8_t valid;
    int32_t* distanceRed;          // only during a palette-mapping dither
    int32_t* distanceGreen;
    int32_t* distanceBlue;

private:
    uint64_t budgetBytes_ = 0;     // taken from the decode budget for the surface, given back with it

    // Makes the DC and DIB section for the fields already stored; false leaves the record empty.
    bool MakeSurface(int pixelsPerMetreX, int pixelsPerMetreY, const uint8_t* paletteRgb);
    // Replaces the picture by a new surface of that size and depth at the default resolution.
    bool MakeNewSurface(int newWidth, int newHeight, int depth, const uint8_t* paletteRgb);
    void ReleaseSurface();
    // CreateFromBits into a new surface; this picture is replaced only when that succeeds.
    bool ReplaceFromBits(int newWidth, int newHeight, int bitsPerPixel, const void* rows, const uint8_t* paletteRgb);
    bool QuarterTurn(bool clockwise);
};

// Alpha blending of pictures into device contexts (AlphaBlend, AC_SRC_OVER).
// alphaFormat: 0 constant alpha only, AC_SRC_ALPHA per-pixel alpha of a premultiplied source.
BOOL AlphaBlendImage(HDC target, int x, int y, const NImageBuffer& source, int constantAlpha, int alphaFormat);
BOOL AlphaBlendImageStretched(HDC target, int x, int y, int width, int height, const NImageBuffer& source,
                              int constantAlpha, int alphaFormat);
BOOL AlphaBlendDC(HDC target, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                  int sourceWidth, int sourceHeight, int constantAlpha, int alphaFormat);
// A 32-bpp source is premultiplied on a copy first; other sources are stretch-blitted.
void AlphaStretchBlendImage(HDC target, int x, int y, int width, int height, const NImageBuffer& source,
                            int sourceX, int sourceY, int sourceWidth, int sourceHeight, int constantAlpha,
                            int alphaFormat);
// Blends a straight-alpha 32-bpp source onto the destination picture at (x, y).
void AlphaBlendImageInto(NImageBuffer& destination, const NImageBuffer& source, int x, int y, int constantAlpha);
