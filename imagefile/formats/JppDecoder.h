// JppDecoder: decodes the picture of a JPP file, a six-byte header (little-endian width, height
// and IJG quality number) followed by the bare entropy-coded data of one baseline JPEG scan with
// no markers, no tables and no byte stuffing.
//
// The data is 16 x 16 units (4:2:0), left to right and top to bottom; per unit four luminance
// blocks (top left, top right, bottom left, bottom right), one Cb and one Cr block. The tables
// are fixed: the example quantisation tables of ITU-T T.81 (K.1, K.2) scaled by the quality, and
// its example Huffman tables (K.3 to K.6). Blocks are transformed with the fast integer (AAN)
// inverse DCT and converted to blue-first pixels.
//
// The decoder never reads past its data: once the data is used up it supplies zero bits.
#pragma once

#include <cstddef>
#include <cstdint>

struct JppHuffmanTable {
    uint8_t bits[17];          // bits[l] = number of codes of length l (1..16)
    uint8_t symbols[256];      // in code order
    int32_t mincode[17];
    int32_t maxcode[18];       // -1 when there is no code of that length; [17] a sentinel
    int32_t valptr[17];
    int32_t lookLength[256];   // 0: no code of up to 8 bits starts with this byte
    uint8_t lookSymbol[256];
};

class JppDecoder {
public:
    static constexpr size_t kHeaderSize = 6;
    static constexpr int kUnitBytesPerRow = 48;

    // Reads the header of a file of `fileSize` bytes (at least kHeaderSize) and builds the tables
    // when both sizes are non-zero. False when a size is 0.
    bool ParseHeader(const uint8_t* file, size_t fileSize, uint16_t& outWidth, uint16_t& outHeight,
                     size_t& dataOffset);
    void BuildTables();
    // Decodes the whole picture into 24-bit pixel memory of the decoder's size (rows padded to
    // 4 bytes); the file's first row goes to the start of the memory. False for null pointers.
    bool DecodePicture(const uint8_t* data, uint8_t* pixels);

    // The steps, open for tests.
    void BuildRangeLimit();
    void BuildColourTables();
    void BuildQuantTables();
    void ScaleQuantTable(const uint8_t* standard, uint16_t* multipliers) const;
    void BuildHuffmanTables();
    static void DeriveHuffmanTable(JppHuffmanTable& table, const uint8_t* bits, const uint8_t* symbols);
    bool DecodeMcu(uint8_t* unit);                 // 16 rows of 48 bytes
    void DecodeBlock(int block, int16_t* coefficients);
    int DecodeSymbol(const JppHuffmanTable& table);
    int DecodeSlow(const JppHuffmanTable& table, int length);
    void FillBits();
    uint32_t GetBits(int count);
    void InverseDct(const int16_t* coefficients, const uint16_t* multipliers, uint8_t* output) const;
    void ConvertMcu(const uint8_t (*blocks)[64], uint8_t* unit) const;

    static int QualityScale(uint16_t quality);

    uint16_t quality = 0;
    int16_t scale = 0;
    uint8_t rangeLimit[1408] = {};
    int32_t crToRed[256] = {};
    int32_t crToGreen[256] = {};
    int32_t cbToBlue[256] = {};
    int32_t cbToGreen[256] = {};
    uint16_t lumaMultipliers[64] = {};
    uint16_t chromaMultipliers[64] = {};
    JppHuffmanTable dcLuma = {};
    JppHuffmanTable acLuma = {};
    JppHuffmanTable dcChroma = {};
    JppHuffmanTable acChroma = {};
    uint16_t width = 0;
    uint16_t height = 0;
    int32_t predictors[3] = {};
    int32_t bitCount = 0;
    uint32_t accumulator = 0;
    size_t bytesLeft = 0;
    const uint8_t* nextByte = nullptr;
};

// The example tables of ITU-T T.81 in natural (row-major) order.
extern const uint8_t kJppLumaQuant[64];
extern const uint8_t kJppChromaQuant[64];
