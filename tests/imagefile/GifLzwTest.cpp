// The GIF LZW codec: decoder results for bad and minimal streams, interlaced row placement,
// surplus rows, the encoder's code layout (initial sizes, clear codes, sub-block sizes), round
// trips at 1, 4 and 8 bits per pixel, and where the file stands after an image's data.
#include "imagefile/formats/GifLzw.h"
#include "imagefile/formats/NImageFileGIF.h"

#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <vector>

using pngtest::Bytes;

namespace {

void RandomPicture(NImageBuffer& pic, int width, int height, int bpp, uint32_t seed, int levels = 0);

class GifLzwTest : public ::testing::Test {
protected:
    // A file holding the bytes, open for reading at its start.
    FILE* Open(const Bytes& bytes)
    {
        const std::wstring path = dir.File(L"lzw" + std::to_wstring(files++) + L".bin");
        WriteWholeFile(path, bytes);
        FILE* f = _wfopen(path.c_str(), L"rb");
        opened.push_back(f);
        return f;
    }
    void TearDown() override
    {
        for (FILE* f : opened)
            if (f)
                fclose(f);
    }

    // The encoder's output for a picture: minimum code size byte, data sub-blocks, terminator.
    Bytes Encode(const NImageBuffer& pic)
    {
        const std::wstring path = dir.File(L"enc" + std::to_wstring(files++) + L".bin");
        FILE* f = _wfopen(path.c_str(), L"wb");
        const int minimum = pic.bpp < 2 ? 2 : pic.bpp;
        fputc(minimum, f);
        auto gif = std::make_unique<NImageFileGIF>();
        gif->Compress(minimum + 1, pic, f);
        fputc(0, f);
        fclose(f);
        Bytes bytes;
        ReadWholeFile(path, bytes);
        return bytes;
    }

    Bytes EncodeRandom(int width, int height, int bpp, uint32_t seed)
    {
        NImageBuffer pic;
        RandomPicture(pic, width, height, bpp, seed);
        return Encode(pic);
    }

    TestDir dir;
    int files = 0;
    std::vector<FILE*> opened;
};

void RandomPicture(NImageBuffer& pic, int width, int height, int bpp, uint32_t seed, int levels)
{
    uint8_t palette[256 * 3] = {};
    pic.Create(width, height, bpp, 0, palette);
    const int colours = levels ? levels : (1 << bpp);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const uint8_t v = static_cast<uint8_t>((seed >> 16) % colours);
            uint8_t* row = pic.bits + static_cast<size_t>(y) * pic.stride;
            if (bpp == 8)
                row[x] = v;
            else if (bpp == 4)
                row[x / 2] = static_cast<uint8_t>((x & 1) ? ((row[x / 2] & 0xF0) | v) : ((row[x / 2] & 0x0F) | (v << 4)));
            else
                row[x / 8] = static_cast<uint8_t>(v ? (row[x / 8] | (0x80 >> (x % 8))) : (row[x / 8] & ~(0x80 >> (x % 8))));
        }
}


// Decodes the data into a fresh buffer of the picture's layout.
struct Decoded {
    int16_t result;
    std::vector<uint8_t> pixels;
};

Decoded DecodeInto(FILE* f, int width, int height, int bpp, bool interlaced)
{
    const int stride = NImageBuffer::StrideFor(width, bpp);
    Decoded d{0, std::vector<uint8_t>(static_cast<size_t>(stride) * height, 0xEE)};
    auto decoder = std::make_unique<GifLzwDecoder>();
    decoder->Begin(d.pixels.data(), stride, bpp, height, interlaced);
    d.result = decoder->Decode(f, width, false);
    return d;
}

int IndexIn(const std::vector<uint8_t>& pixels, int stride, int bpp, int x, int scanLine)
{
    const uint8_t* row = pixels.data() + static_cast<size_t>(scanLine) * stride;
    if (bpp == 8)
        return row[x];
    if (bpp == 4)
        return (x & 1) ? (row[x / 2] & 0x0F) : (row[x / 2] >> 4);
    return (row[x / 8] >> (7 - x % 8)) & 1;
}

TEST_F(GifLzwTest, MinimumCodeSizeOutsideTwoToNineIsRefused)
{
    for (uint8_t size : {0, 1, 10, 12}) {
        Decoded d = DecodeInto(Open({size, 2, 0x4C, 0x01, 0}), 4, 4, 8, false);
        EXPECT_EQ(-20, d.result) << int(size);
    }
    Decoded empty = DecodeInto(Open({}), 4, 4, 8, false);
    EXPECT_EQ(-1, empty.result);
}

TEST_F(GifLzwTest, EndCodeFirstWritesNoRow)
{
    // Minimum size 2: clear 4, end 5, three-bit codes. The first code is the end code.
    Decoded d = DecodeInto(Open({2, 1, 0x05, 0}), 4, 2, 8, false);
    EXPECT_EQ(0, d.result);
    for (uint8_t b : d.pixels)
        EXPECT_EQ(0xEE, b);
}

TEST_F(GifLzwTest, DataEndingBeforeTheEndCodeAnswersMinusFive)
{
    // Clear code, pixel 1, then the block terminator without an end code.
    Decoded d = DecodeInto(Open({2, 1, 0x0C, 0}), 1, 1, 8, false);
    EXPECT_EQ(-5, d.result);
    EXPECT_EQ(1, d.pixels[0]);
}

TEST_F(GifLzwTest, RoundTripsAtEveryDepth)
{
    struct Size {
        int w, h;
    };
    for (int bpp : {1, 4, 8}) {
        for (Size s : {Size{1, 1}, Size{7, 3}, Size{33, 17}, Size{130, 90}}) {
            SCOPED_TRACE(testing::Message() << bpp << " bpp, " << s.w << " x " << s.h);
            NImageBuffer pic;
        RandomPicture(pic, s.w, s.h, bpp, static_cast<uint32_t>(s.w * 31 + bpp));
            Decoded d = DecodeInto(Open(Encode(pic)), s.w, s.h, bpp, false);
            ASSERT_EQ(0, d.result);
            const std::vector<uint8_t> source(pic.bits, pic.bits + static_cast<size_t>(pic.stride) * s.h);
            for (int y = 0; y < s.h; ++y)
                for (int x = 0; x < s.w; ++x)
                    ASSERT_EQ(IndexIn(source, pic.stride, bpp, x, y), IndexIn(d.pixels, pic.stride, bpp, x, y))
                        << x << "," << y;
        }
    }
}

// Interlaced data arrives in the order of the four passes: rows 0, 8, ...; 4, 12, ...; 2, 6,
// ...; 1, 3, .... Passes that start below the picture are skipped.
TEST_F(GifLzwTest, InterlacedRowsGoToTheirPasses)
{
    for (int height : {1, 2, 5, 11}) {
        SCOPED_TRACE(height);
        std::vector<int> order;
        for (int start : {0, 4, 2, 1})
            for (int r = start; r < height; r += (start == 0 || start == 4) ? 8 : (start == 2 ? 4 : 2))
                order.push_back(r);
        ASSERT_EQ(static_cast<size_t>(height), order.size());
        // Data row i holds the value i in every pixel.
        NImageBuffer pic;
        RandomPicture(pic, 3, height, 8, 1);
        for (int i = 0; i < height; ++i)
            memset(pic.bits + static_cast<size_t>(height - 1 - i) * pic.stride, i, 3);
        Decoded d = DecodeInto(Open(Encode(pic)), 3, height, 8, true);
        ASSERT_EQ(0, d.result);
        for (int i = 0; i < height; ++i) {
            const int row = order[i];
            EXPECT_EQ(i, IndexIn(d.pixels, pic.stride, 8, 1, height - 1 - row)) << "data row " << i;
        }
    }
}

TEST_F(GifLzwTest, SurplusRowsAreNotWritten)
{
    NImageBuffer pic;
        RandomPicture(pic, 2, 3, 8, 9);
    Decoded d = DecodeInto(Open(Encode(pic)), 2, 2, 8, false);
    EXPECT_EQ(-1, d.result);
    // The two rows that fit hold the first two data rows.
    const int stride = NImageBuffer::StrideFor(2, 8);
    for (int x = 0; x < 2; ++x) {
        EXPECT_EQ(pic.bits[static_cast<size_t>(2) * pic.stride + x], d.pixels[static_cast<size_t>(1) * stride + x]);
        EXPECT_EQ(pic.bits[static_cast<size_t>(1) * pic.stride + x], d.pixels[x]);
    }
}

// Sub-block lengths of the data after the code size byte.
std::vector<int> SubBlocks(const Bytes& data)
{
    std::vector<int> lengths;
    size_t p = 1;
    while (p < data.size() && data[p] != 0) {
        lengths.push_back(data[p]);
        p += 1 + data[p];
    }
    return lengths;
}

TEST_F(GifLzwTest, EncoderLayout)
{
    // One bit per pixel: minimum code size 2, and the first code is the clear code 4 in 3 bits.
    const Bytes mono = EncodeRandom(9, 4, 1, 3);
    EXPECT_EQ(2, mono[0]);
    EXPECT_EQ(4, mono[2] & 7);

    // Random 8-bit data: sub-blocks of at most 254 bytes, the table fills, a clear code follows
    // and codes restart at 9 bits.
    const Bytes big = EncodeRandom(150, 150, 8, 77);
    const std::vector<int> blocks = SubBlocks(big);
    ASSERT_GT(blocks.size(), 3u);
    for (size_t i = 0; i + 1 < blocks.size(); ++i)
        EXPECT_EQ(254, blocks[i]);
    EXPECT_LE(blocks.back(), 254);

    // Walk the codes with the decoder's own reader, following the table size as it grows.
    FILE* f = Open(big);
    auto walker = std::make_unique<GifLzwDecoder>();
    walker->Begin(nullptr, 0, 0, 0, false);
    const int minimum = walker->GetByte(f);
    ASSERT_EQ(8, minimum);
    walker->Reset(minimum);
    int clears = 0;
    int codes = 0;
    bool afterClear = false;
    std::vector<int> sizesAfterClear;
    for (;;) {
        const int c = walker->GetNextCode(f);
        ASSERT_GE(c, 0);
        if (c == walker->endCode)
            break;
        ++codes;
        if (c == walker->clearCode) {
            ++clears;
            walker->codeSize = static_cast<int16_t>(minimum + 1);
            walker->nextSlot = walker->firstFreeCode;
            walker->sizeLimit = static_cast<int16_t>(1 << walker->codeSize);
            afterClear = true;
            continue;
        }
        if (afterClear) {
            afterClear = false;
            sizesAfterClear.push_back(walker->codeSize);
            continue;
        }
        if (walker->nextSlot < walker->sizeLimit)
            ++walker->nextSlot;
        if (walker->nextSlot >= walker->sizeLimit && walker->codeSize < 12) {
            walker->sizeLimit = static_cast<int16_t>(walker->sizeLimit << 1);
            ++walker->codeSize;
        }
    }
    EXPECT_GE(clears, 2);   // the first code, and at least one when the table was full
    for (int size : sizesAfterClear)
        EXPECT_EQ(9, size);
    EXPECT_GT(codes, 4096);
}

// After Decode, FinishImageData puts the file just after the image's block terminator: also
// when sub-blocks follow the end code, and when the data ends without an end code.
TEST_F(GifLzwTest, FileStandsAfterTheImageData)
{
    Bytes data = EncodeRandom(40, 40, 8, 5);
    data.pop_back();   // the terminator
    const Bytes extra = {3, 0x2C, 0x3B, 0x21, 0};
    data.insert(data.end(), extra.begin(), extra.end());
    data.push_back(0x7A);
    FILE* f = Open(data);
    auto decoder = std::make_unique<GifLzwDecoder>();
    decoder->Begin(nullptr, 0, 0, 40, false);
    EXPECT_EQ(0, decoder->Decode(f, 40, true));
    ASSERT_TRUE(decoder->FinishImageData(f));
    EXPECT_EQ(0x7A, fgetc(f));

    FILE* g = Open({2, 1, 0x0C, 0, 0x7B});
    decoder->Begin(nullptr, 0, 0, 1, false);
    EXPECT_EQ(-5, decoder->Decode(g, 1, true));
    ASSERT_TRUE(decoder->FinishImageData(g));
    EXPECT_EQ(0x7B, fgetc(g));
}

}  // namespace
