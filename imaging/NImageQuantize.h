// Colour quantisers: the octree palette builder (up to 16 colours for 4-bpp pictures) and the
// 32 x 32 x 32 histogram quantiser that maps 16-, 24- and 32-bpp rows onto 256 colours.
#pragma once
#include <windows.h>

#include <cstdint>

class NImageQuantize {
public:
    // maxColours: palette entries wanted (the tree keeps at least 16 leaves while it is fed);
    // colourBits: depth of the tree, 1 to 8.
    NImageQuantize(int maxColours, int colourBits);
    virtual ~NImageQuantize();
    NImageQuantize(const NImageQuantize&) = delete;
    NImageQuantize& operator=(const NImageQuantize&) = delete;

    // Feeds every pixel of packed DIB rows (bottom-up, rows padded to 4 bytes). Depths 4, 8, 16, 24
    // and 32; 4- and 8-bpp rows need their palette of 1 << bpp red, green, blue triplets.
    bool AddPixels(const uint8_t* rows, int width, int height, int bpp, const uint8_t* palette);

    // Writes one entry per colour found (blue, green, red; the reserved byte is left alone), or,
    // when fewer than 16 colours were asked for, merges the colours into that many entries.
    // The array must hold max(maxColours, 16) entries. Answers the number of entries written.
    int GetPalette(RGBQUAD* entries) const;

    uint32_t GetLeafCount() const { return leafCount; }

private:
    struct Node;
    static constexpr int kMaxLevels = 9;

    void InsertColour(uint8_t red, uint8_t green, uint8_t blue);
    bool ReduceTree();  // false when nothing is left to merge
    static void FreeNode(Node* node);

    Node* root = nullptr;
    uint32_t leafCount = 0;
    Node* reducibleNodes[kMaxLevels] = {};
    int maxColours;
    int requestedColours;
    int colourBits;
};

// Maps packed 16-, 24- or 32-bpp DIB rows onto a 256-colour palette built by splitting boxes of a
// 5-bit colour histogram, with serpentine error diffusion. Fills palette with 256 red, green, blue
// triplets and answers new 8-bit index rows (stride (width + 3) & ~3, bottom-up) that the caller
// frees with free(); null for a wrong depth, null rows, a bad size or a failed allocation.
uint8_t* QuantizeTo256(const uint8_t* rows, int width, int height, int bpp, uint8_t* palette);

// Error tables for Dither565Rows: for each byte value, what truncation to 5 bits (red, blue) or
// 6 bits (green) loses after rounding.
struct Dither565Tables {
    int red[256];
    int green[256];
    int blue[256];
};
void BuildDither565Tables(Dither565Tables& tables);

// Pre-dithers 24- or 32-bpp rows in place for a later truncation to 5-6-5 bits: each row carries
// a 12/16 share of every channel's rounding error to the next pixel. False for null input or
// another depth.
bool Dither565Rows(const Dither565Tables& tables, uint8_t* rows, int width, int height, int bpp, int stride);
