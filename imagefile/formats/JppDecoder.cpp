#include "imagefile/formats/JppDecoder.h"

#include <cmath>
#include <cstring>

const uint8_t kJppLumaQuant[64] = {
    16, 11, 10, 16, 24, 40, 51, 61,
    12, 12, 14, 19, 26, 58, 60, 55,
    14, 13, 16, 24, 40, 57, 69, 56,
    14, 17, 22, 29, 51, 87, 80, 62,
    18, 22, 37, 56, 68, 109, 103, 77,
    24, 35, 55, 64, 81, 104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101,
    72, 92, 95, 98, 112, 100, 103, 99,
};

const uint8_t kJppChromaQuant[64] = {
    17, 18, 24, 47, 99, 99, 99, 99,
    18, 21, 26, 66, 99, 99, 99, 99,
    24, 26, 56, 99, 99, 99, 99, 99,
    47, 66, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99,
};

namespace {

// Natural position of each zig-zag index, with 16 extra entries so that a run past the end of a
// block lands on the last coefficient.
const uint8_t kZigZag[80] = {
    0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5,
    12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14, 21, 28,
    35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51,
    58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63,
    63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63, 63,
};

// The example Huffman tables: bit counts for lengths 1..16 (entry 0 unused) and symbols.
const uint8_t kDcLumaBits[17] = {0, 0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
const uint8_t kDcLumaSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
const uint8_t kDcChromaBits[17] = {0, 0, 3, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0};
const uint8_t kDcChromaSymbols[12] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};

const uint8_t kAcLumaBits[17] = {0, 0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7d};
const uint8_t kAcLumaSymbols[162] = {
    0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07,
    0x22, 0x71, 0x14, 0x32, 0x81, 0x91, 0xa1, 0x08, 0x23, 0x42, 0xb1, 0xc1, 0x15, 0x52, 0xd1, 0xf0,
    0x24, 0x33, 0x62, 0x72, 0x82, 0x09, 0x0a, 0x16, 0x17, 0x18, 0x19, 0x1a, 0x25, 0x26, 0x27, 0x28,
    0x29, 0x2a, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49,
    0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69,
    0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x83, 0x84, 0x85, 0x86, 0x87, 0x88, 0x89,
    0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5, 0xa6, 0xa7,
    0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3, 0xc4, 0xc5,
    0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda, 0xe1, 0xe2,
    0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf1, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
    0xf9, 0xfa,
};

const uint8_t kAcChromaBits[17] = {0, 0, 2, 1, 2, 4, 4, 3, 4, 7, 5, 4, 4, 0, 1, 2, 0x77};
const uint8_t kAcChromaSymbols[162] = {
    0x00, 0x01, 0x02, 0x03, 0x11, 0x04, 0x05, 0x21, 0x31, 0x06, 0x12, 0x41, 0x51, 0x07, 0x61, 0x71,
    0x13, 0x22, 0x32, 0x81, 0x08, 0x14, 0x42, 0x91, 0xa1, 0xb1, 0xc1, 0x09, 0x23, 0x33, 0x52, 0xf0,
    0x15, 0x62, 0x72, 0xd1, 0x0a, 0x16, 0x24, 0x34, 0xe1, 0x25, 0xf1, 0x17, 0x18, 0x19, 0x1a, 0x26,
    0x27, 0x28, 0x29, 0x2a, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3a, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48,
    0x49, 0x4a, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5a, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68,
    0x69, 0x6a, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7a, 0x82, 0x83, 0x84, 0x85, 0x86, 0x87,
    0x88, 0x89, 0x8a, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9a, 0xa2, 0xa3, 0xa4, 0xa5,
    0xa6, 0xa7, 0xa8, 0xa9, 0xaa, 0xb2, 0xb3, 0xb4, 0xb5, 0xb6, 0xb7, 0xb8, 0xb9, 0xba, 0xc2, 0xc3,
    0xc4, 0xc5, 0xc6, 0xc7, 0xc8, 0xc9, 0xca, 0xd2, 0xd3, 0xd4, 0xd5, 0xd6, 0xd7, 0xd8, 0xd9, 0xda,
    0xe2, 0xe3, 0xe4, 0xe5, 0xe6, 0xe7, 0xe8, 0xe9, 0xea, 0xf2, 0xf3, 0xf4, 0xf5, 0xf6, 0xf7, 0xf8,
    0xf9, 0xfa,
};

// The transform's products: (v * c) >> 8 with c the AAN constants in 8-bit fixed point.
inline int64_t Mul(int64_t v, int64_t c)
{
    return (v * c) >> 8;
}

constexpr int kTransformLimit = 384;   // offset of the transform's clamp in the range table
constexpr int kSampleLimit = 256;      // offset of the sample clamp

// One 8-point AAN inverse transform over in[0], in[stride] ... in[7 * stride].
template <typename T>
void Transform8(const T* in, int stride, int64_t* out)
{
    const int64_t d0 = in[0], d1 = in[stride], d2 = in[2 * stride], d3 = in[3 * stride];
    const int64_t d4 = in[4 * stride], d5 = in[5 * stride], d6 = in[6 * stride], d7 = in[7 * stride];

    int64_t t10 = d0 + d4;
    int64_t t11 = d0 - d4;
    const int64_t t13 = d2 + d6;
    int64_t t12 = Mul(d2 - d6, 362) - t13;
    const int64_t e0 = t10 + t13;
    const int64_t e3 = t10 - t13;
    const int64_t e1 = t11 + t12;
    const int64_t e2 = t11 - t12;

    const int64_t z13 = d5 + d3;
    const int64_t z10 = d5 - d3;
    const int64_t z11 = d1 + d7;
    const int64_t z12 = d1 - d7;
    const int64_t o7 = z11 + z13;
    t11 = Mul(z11 - z13, 362);
    const int64_t z5 = Mul(z10 + z12, 473);
    t10 = Mul(z12, 277) - z5;
    t12 = Mul(z10, -669) + z5;
    const int64_t o6 = t12 - o7;
    const int64_t o5 = t11 - o6;
    const int64_t o4 = t10 + o5;

    out[0] = e0 + o7;
    out[1] = e1 + o6;
    out[2] = e2 + o5;
    out[3] = e3 - o4;
    out[4] = e3 + o4;
    out[5] = e2 - o5;
    out[6] = e1 - o6;
    out[7] = e0 - o7;
}

}  // namespace

int JppDecoder::QualityScale(uint16_t quality)
{
    if (quality == 0)
        return 5000;
    if (quality < 50)
        return 5000 / quality;
    if (quality <= 100)
        return 200 - 2 * quality;
    return 0;
}

bool JppDecoder::ParseHeader(const uint8_t* file, size_t fileSize, uint16_t& outWidth, uint16_t& outHeight,
                             size_t& dataOffset)
{
    if (!file || fileSize < kHeaderSize)
        return false;
    width = static_cast<uint16_t>(file[0] | (file[1] << 8));
    height = static_cast<uint16_t>(file[2] | (file[3] << 8));
    quality = static_cast<uint16_t>(file[4] | (file[5] << 8));
    bytesLeft = fileSize - kHeaderSize;
    dataOffset = kHeaderSize;
    if (width == 0 || height == 0)
        return false;
    outWidth = width;
    outHeight = height;
    BuildTables();
    return true;
}

void JppDecoder::BuildTables()
{
    predictors[0] = predictors[1] = predictors[2] = 0;
    bitCount = 0;
    accumulator = 0;
    BuildRangeLimit();
    BuildColourTables();
    BuildQuantTables();
    BuildHuffmanTables();
}

void JppDecoder::BuildRangeLimit()
{
    uint8_t* t = rangeLimit;
    memset(t, 0, 256);
    for (int i = 0; i < 256; ++i)
        t[256 + i] = static_cast<uint8_t>(i);
    memset(t + 512, 255, 384);
    memset(t + 896, 0, 384);
    for (int i = 0; i < 128; ++i)
        t[1280 + i] = static_cast<uint8_t>(i);
}

void JppDecoder::BuildColourTables()
{
    for (int i = 0; i < 256; ++i) {
        const int32_t x = i - 128;
        crToRed[i] = (91881 * x + 32768) >> 16;
        cbToBlue[i] = (116130 * x + 32768) >> 16;
        crToGreen[i] = -46802 * x;
        cbToGreen[i] = -22554 * x + 32768;
    }
}

void JppDecoder::BuildQuantTables()
{
    scale = static_cast<int16_t>(QualityScale(quality));
    ScaleQuantTable(kJppLumaQuant, lumaMultipliers);
    ScaleQuantTable(kJppChromaQuant, chromaMultipliers);
}

void JppDecoder::ScaleQuantTable(const uint8_t* standard, uint16_t* multipliers) const
{
    static const double kPi = 3.14159265358979323846;
    double s[8];
    s[0] = 1.0;
    for (int k = 1; k < 8; ++k)
        s[k] = std::sqrt(2.0) * std::cos(k * kPi / 16.0);
    for (int i = 0; i < 64; ++i) {
        int32_t v = (standard[i] * scale + 50) / 100;
        if (v < 1)
            v = 1;
        if (v > 255)
            v = 255;
        const int32_t a = static_cast<int32_t>(std::lround(16384.0 * s[i / 8] * s[i % 8]));
        multipliers[i] = static_cast<uint16_t>((v * a + 2048) >> 12);
    }
}

void JppDecoder::BuildHuffmanTables()
{
    DeriveHuffmanTable(dcLuma, kDcLumaBits, kDcLumaSymbols);
    DeriveHuffmanTable(acLuma, kAcLumaBits, kAcLumaSymbols);
    DeriveHuffmanTable(dcChroma, kDcChromaBits, kDcChromaSymbols);
    DeriveHuffmanTable(acChroma, kAcChromaBits, kAcChromaSymbols);
}

void JppDecoder::DeriveHuffmanTable(JppHuffmanTable& table, const uint8_t* bits, const uint8_t* symbols)
{
    table = JppHuffmanTable{};
    memcpy(table.bits, bits, 17);
    int total = 0;
    for (int l = 1; l <= 16; ++l)
        total += bits[l];
    if (total > 256)
        total = 256;
    memcpy(table.symbols, symbols, static_cast<size_t>(total));

    // Code lengths in symbol order, then canonical codes.
    uint8_t lengths[257];
    int n = 0;
    for (int l = 1; l <= 16; ++l) {
        for (int i = 0; i < bits[l] && n < total; ++i)
            lengths[n++] = static_cast<uint8_t>(l);
    }
    uint32_t codes[256];
    uint32_t code = 0;
    int length = n ? lengths[0] : 0;
    for (int k = 0; k < n; ) {
        while (k < n && lengths[k] == length)
            codes[k++] = code++;
        code <<= 1;
        ++length;
    }

    int index = 0;
    for (int l = 1; l <= 16; ++l) {
        if (bits[l] && index < n) {
            table.valptr[l] = index;
            table.mincode[l] = static_cast<int32_t>(codes[index]);
            index += bits[l];
            if (index > n)
                index = n;
            table.maxcode[l] = static_cast<int32_t>(codes[index - 1]);
        } else {
            table.maxcode[l] = -1;
        }
    }
    table.maxcode[17] = 0xFFFFF;

    for (int k = 0; k < n; ++k) {
        const int l = lengths[k];
        if (l > 8)
            continue;
        const int shift = 8 - l;
        const uint32_t first = codes[k] << shift;
        for (uint32_t extra = 0; extra < (1u << shift); ++extra) {
            table.lookLength[first | extra] = l;
            table.lookSymbol[first | extra] = table.symbols[k];
        }
    }
}

void JppDecoder::FillBits()
{
    // Past the end of the data the reader supplies zero bits.
    while (bitCount <= 24) {
        uint32_t byte = 0;
        if (bytesLeft > 0 && nextByte) {
            byte = *nextByte++;
            --bytesLeft;
        }
        accumulator = (accumulator << 8) | byte;
        bitCount += 8;
    }
}

uint32_t JppDecoder::GetBits(int count)
{
    if (count <= 0)
        return 0;
    if (bitCount < count)
        FillBits();
    bitCount -= count;
    return (accumulator >> bitCount) & ((1u << count) - 1);
}

int JppDecoder::DecodeSlow(const JppHuffmanTable& table, int length)
{
    int32_t code = static_cast<int32_t>(GetBits(length));
    while (length <= 16 && code > table.maxcode[length]) {
        code = (code << 1) | static_cast<int32_t>(GetBits(1));
        ++length;
    }
    if (length > 16)
        return 0;
    const int32_t index = table.valptr[length] + code - table.mincode[length];
    return index >= 0 && index < 256 ? table.symbols[index] : 0;
}

int JppDecoder::DecodeSymbol(const JppHuffmanTable& table)
{
    if (bitCount < 8)
        FillBits();
    if (bitCount < 8)
        return DecodeSlow(table, 1);
    const uint32_t look = (accumulator >> (bitCount - 8)) & 0xFF;
    const int length = table.lookLength[look];
    if (length > 0) {
        bitCount -= length;
        return table.lookSymbol[look];
    }
    return DecodeSlow(table, 9);
}

void JppDecoder::DecodeBlock(int block, int16_t* coefficients)
{
    memset(coefficients, 0, 64 * sizeof(int16_t));
    const bool luma = block < 4;
    const JppHuffmanTable& dc = luma ? dcLuma : dcChroma;
    const JppHuffmanTable& ac = luma ? acLuma : acChroma;
    int32_t& predictor = predictors[luma ? 0 : block - 3];

    auto extend = [](uint32_t v, int n) -> int32_t {
        return v < (1u << (n - 1)) ? static_cast<int32_t>(v) + 1 - (1 << n) : static_cast<int32_t>(v);
    };

    const int s = DecodeSymbol(dc) & 15;
    const int32_t diff = s > 0 ? extend(GetBits(s), s) : 0;
    predictor = static_cast<int32_t>(static_cast<uint32_t>(predictor) + static_cast<uint32_t>(diff));
    coefficients[0] = static_cast<int16_t>(predictor);

    for (int k = 1; k < 64; ++k) {
        const int rs = DecodeSymbol(ac);
        const int r = rs >> 4;
        const int size = rs & 15;
        k += r;
        if (size > 0) {
            coefficients[kZigZag[k]] = static_cast<int16_t>(extend(GetBits(size), size));
        } else if (r != 15) {
            break;
        }
    }
}

void JppDecoder::InverseDct(const int16_t* coefficients, const uint16_t* multipliers, uint8_t* output) const
{
    int64_t workspace[64];
    for (int column = 0; column < 8; ++column) {
        const int16_t* in = coefficients + column;
        const uint16_t* q = multipliers + column;
        bool acZero = true;
        for (int row = 1; row < 8 && acZero; ++row)
            acZero = in[8 * row] == 0;
        if (acZero) {
            const int64_t dc = static_cast<int64_t>(in[0]) * q[0];
            for (int row = 0; row < 8; ++row)
                workspace[8 * row + column] = dc;
            continue;
        }
        int64_t d[8];
        for (int row = 0; row < 8; ++row)
            d[row] = static_cast<int64_t>(in[8 * row]) * q[8 * row];
        int64_t out[8];
        Transform8(d, 1, out);
        for (int row = 0; row < 8; ++row)
            workspace[8 * row + column] = out[row];
    }

    const uint8_t* limit = rangeLimit + kTransformLimit;
    for (int row = 0; row < 8; ++row) {
        const int64_t* w = workspace + 8 * row;
        uint8_t* o = output + 8 * row;
        bool acZero = true;
        for (int k = 1; k < 8 && acZero; ++k)
            acZero = w[k] == 0;
        if (acZero) {
            const uint8_t value = limit[(w[0] >> 5) & 1023];
            memset(o, value, 8);
            continue;
        }
        int64_t out[8];
        Transform8(w, 1, out);
        for (int k = 0; k < 8; ++k)
            o[k] = limit[(out[k] >> 5) & 1023];
    }
}

void JppDecoder::ConvertMcu(const uint8_t (*blocks)[64], uint8_t* unit) const
{
    const uint8_t* limit = rangeLimit + kSampleLimit;
    const uint8_t* cbBlock = blocks[4];
    const uint8_t* crBlock = blocks[5];
    for (int r = 0; r < 16; ++r) {
        uint8_t* out = unit + r * kUnitBytesPerRow;
        for (int c = 0; c < 16; ++c) {
            const int y = blocks[(r / 8) * 2 + c / 8][(r % 8) * 8 + c % 8];
            const int cb = cbBlock[(r / 2) * 8 + c / 2];
            const int cr = crBlock[(r / 2) * 8 + c / 2];
            out[3 * c + 0] = limit[y + cbToBlue[cb]];
            out[3 * c + 1] = limit[y + ((cbToGreen[cb] + crToGreen[cr]) >> 16)];
            out[3 * c + 2] = limit[y + crToRed[cr]];
        }
    }
}

bool JppDecoder::DecodeMcu(uint8_t* unit)
{
    uint8_t samples[6][64];
    int16_t coefficients[64];
    for (int b = 0; b < 6; ++b) {
        DecodeBlock(b, coefficients);
        InverseDct(coefficients, b < 4 ? lumaMultipliers : chromaMultipliers, samples[b]);
    }
    ConvertMcu(samples, unit);
    return true;
}

bool JppDecoder::DecodePicture(const uint8_t* data, uint8_t* pixels)
{
    if (!data || !pixels)
        return false;
    nextByte = data;
    const size_t stride = (3u * width + 3u) & ~static_cast<size_t>(3);
    const int unitsAcross = (width + 15) / 16;
    const int unitsDown = (height + 15) / 16;
    uint8_t unit[16 * kUnitBytesPerRow];
    for (int i = 0; i < unitsDown; ++i) {
        const int rows = height - 16 * i < 16 ? height - 16 * i : 16;
        for (int j = 0; j < unitsAcross; ++j) {
            DecodeMcu(unit);
            const int columns = width - 16 * j < 16 ? width - 16 * j : 16;
            for (int k = 0; k < rows; ++k) {
                memcpy(pixels + static_cast<size_t>(16 * i + k) * stride + static_cast<size_t>(kUnitBytesPerRow) * j,
                       unit + k * kUnitBytesPerRow, static_cast<size_t>(columns) * 3);
            }
        }
    }
    return true;
}
