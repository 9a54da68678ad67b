// Animated PNG reading: the frame strip of the PNG class, and the chunk walk of ReadAnimatedPng
// with its dispose and blend operations, default images, damaged and truncated files, and the
// consumed size of carved candidates.
#include "imagefile/formats/ApngReader.h"
#include "imagefile/formats/NImageFilePNG.h"

#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using pngtest::ApngBuilder;
using pngtest::Bytes;

namespace {

class ApngTest : public ::testing::Test {
protected:
    std::wstring Write(const Bytes& bytes, const wchar_t* name = L"anim.png")
    {
        const std::wstring path = dir.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }

    // Reads the file through ReadAnimatedPng.
    int Read(const Bytes& bytes, std::vector<ApngFrame>& frames, uint64_t* consumed = nullptr)
    {
        uint64_t size = consumed ? *consumed : 0;
        const int r = ReadAnimatedPng(nullptr, Write(bytes).c_str(), frames, &size);
        if (consumed)
            *consumed = size;
        return r;
    }

    TestDir dir;
};

// Pixel (x, y) of a frame as blue, green, red, alpha.
std::vector<uint8_t> At(const ApngFrame& f, uint32_t x, uint32_t y)
{
    const uint8_t* p = f.Row(y) + x * 4;
    return {p[0], p[1], p[2], p[3]};
}

const std::vector<uint8_t> kClear = {0, 0, 0, 0};

TEST_F(ApngTest, AnimationLoadsAsFrameStrip)
{
    const Bytes reference = pngtest::ReadFixture(L"png\\anim-frames.rgba");
    NImageFilePNG png;
    ASSERT_EQ(NR_OK, png.Load(TestDataPath(L"png\\anim3.png").c_str(), 0, 0, nullptr));
    EXPECT_TRUE(png.IsAnimated());
    EXPECT_TRUE(png.IsMultiImage());
    EXPECT_EQ(3, png.GetPageCount());
    EXPECT_EQ(32, png.picture.bpp);
    EXPECT_EQ(24, png.picture.width);
    EXPECT_EQ(16, png.picture.height);   // one frame; the memory holds three
    EXPECT_EQ(24, png.fullWidth);
    EXPECT_EQ(48, png.fullHeight);
    for (int k = 0; k < 3; ++k) {
        EXPECT_EQ(30, png.GetFrameDelay(k));
        EXPECT_EQ("", pngtest::ComparePixels(png.picture, reference, 4, k, static_cast<size_t>(k) * 24 * 16 * 4));
    }
}

// The default image outside the animation comes first, then the animation's frames.
TEST_F(ApngTest, DefaultImageOutsideTheAnimationIsTheFirstFrame)
{
    const Bytes reference = pngtest::ReadFixture(L"png\\anim-frames.rgba");
    NImageFilePNG png;
    ASSERT_EQ(NR_OK, png.Load(TestDataPath(L"png\\anim-skip.png").c_str(), 0, 0, nullptr));
    ASSERT_EQ(3, png.GetPageCount());
    EXPECT_EQ(100, png.GetFrameDelay(0));
    EXPECT_EQ(30, png.GetFrameDelay(1));
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ("", pngtest::ComparePixels(png.picture, reference, 4, k, static_cast<size_t>(k) * 24 * 16 * 4));
}

TEST_F(ApngTest, PreviewAndQuickLoadTheDefaultImage)
{
    const Bytes reference = pngtest::ReadFixture(L"png\\anim-frames.rgba");
    for (int flag = 0; flag < 2; ++flag) {
        NImageFilePNG png;
        ASSERT_EQ(NR_OK, png.Load(TestDataPath(L"png\\anim3.png").c_str(), flag == 0, flag == 1, nullptr));
        EXPECT_EQ(1, png.GetPageCount());
        EXPECT_FALSE(png.IsMultiImage());
        EXPECT_EQ(16, png.fullHeight);
        EXPECT_EQ("", pngtest::ComparePixels(png.picture, reference, 4));
    }
}

// A carved candidate keeps the whole animation: the consumed size is the file's own length,
// for the scan's quick load as for a full load.
TEST_F(ApngTest, CarvedCandidateKeepsAllFrames)
{
    for (const wchar_t* name : {L"png\\anim3.png", L"png\\anim-skip.png"}) {
        Bytes candidate = pngtest::ReadFixture(name);
        const size_t length = candidate.size();
        for (int i = 0; i < 4000; ++i)
            candidate.push_back(static_cast<uint8_t>(i * 7 + 1));
        const std::wstring path = Write(candidate, L"candidate.png");
        for (int quick = 0; quick <= 1; ++quick) {
            NImageFilePNG png;
            ASSERT_EQ(NR_OK, png.Load(path.c_str(), 0, static_cast<uint8_t>(quick), nullptr));
            EXPECT_EQ(length, png.GetConsumedSize()) << quick;
            EXPECT_EQ(quick ? 1 : 3, png.GetPageCount());
        }
    }
}

TEST_F(ApngTest, DelaysInMilliseconds)
{
    ApngBuilder b(2, 2);
    b.Actl(4);
    const Bytes red = b.Solid(2, 2, {255, 0, 0, 255});
    const uint16_t delays[4][2] = {{1, 10}, {3, 100}, {5, 0}, {65535, 1}};
    for (int i = 0; i < 4; ++i) {
        b.Fctl(2, 2, 0, 0, delays[i][0], delays[i][1], 0, 0);
        if (i == 0)
            b.Idat(red, 2);
        else
            b.Fdat(red, 2);
    }
    b.Iend();
    NImageFilePNG png;
    ASSERT_EQ(NR_OK, png.Load(Write(b.out).c_str(), 0, 0, nullptr));
    ASSERT_EQ(4, png.GetPageCount());
    EXPECT_EQ(100, png.GetFrameDelay(0));
    EXPECT_EQ(30, png.GetFrameDelay(1));
    EXPECT_EQ(100, png.GetFrameDelay(2));     // denominator 0
    EXPECT_EQ(65535, png.GetFrameDelay(3));   // held at the largest 16-bit value
}

// The first frame is drawn with blend source even when its fcTL says over: a fully transparent
// source pixel replaces the canvas (its colour bytes stay).
TEST_F(ApngTest, FirstFrameIsDrawnWithBlendSource)
{
    ApngBuilder b(2, 1);
    b.Actl(2);
    b.Fctl(2, 1, 0, 0, 1, 10, 0, 1);
    b.Idat({10, 20, 30, 0, 40, 50, 60, 255}, 2);
    b.Fctl(1, 1, 1, 0, 1, 10, 0, 1);
    b.Fdat({1, 2, 3, 0}, 1);
    b.Iend();
    std::vector<ApngFrame> frames;
    ASSERT_EQ(0, Read(b.out, frames));
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ((std::vector<uint8_t>{30, 20, 10, 0}), At(frames[0], 0, 0));
    EXPECT_EQ((std::vector<uint8_t>{60, 50, 40, 255}), At(frames[0], 1, 0));
    // Blend over with a transparent source leaves the canvas.
    EXPECT_EQ((std::vector<uint8_t>{60, 50, 40, 255}), At(frames[1], 1, 0));
}

TEST_F(ApngTest, DisposeOperations)
{
    // Canvas 3 x 1. Frame 0: all green, dispose 2 (taken as 1, being the first). Frame 1: the
    // middle pixel red, dispose 2. Frame 2: the right pixel blue.
    ApngBuilder b(3, 1);
    b.Actl(3);
    b.Fctl(3, 1, 0, 0, 1, 10, 2, 0);
    b.Idat(b.Solid(3, 1, {0, 255, 0, 255}), 3);
    b.Fctl(1, 1, 1, 0, 1, 10, 2, 0);
    b.Fdat(b.Solid(1, 1, {255, 0, 0, 255}), 1);
    b.Fctl(1, 1, 2, 0, 1, 10, 0, 0);
    b.Fdat(b.Solid(1, 1, {0, 0, 255, 255}), 1);
    b.Iend();
    std::vector<ApngFrame> frames;
    ASSERT_EQ(0, Read(b.out, frames));
    ASSERT_EQ(3u, frames.size());
    const std::vector<uint8_t> green = {0, 255, 0, 255};
    const std::vector<uint8_t> red = {0, 0, 255, 255};
    const std::vector<uint8_t> blue = {255, 0, 0, 255};
    EXPECT_EQ(green, At(frames[0], 1, 0));
    // Frame 0 was cleared after it was shown: frame 1 shows only its own pixel.
    EXPECT_EQ(kClear, At(frames[1], 0, 0));
    EXPECT_EQ(red, At(frames[1], 1, 0));
    // Frame 1 restored the canvas from before it: cleared, so frame 2 shows only blue.
    EXPECT_EQ(kClear, At(frames[2], 1, 0));
    EXPECT_EQ(blue, At(frames[2], 2, 0));
}

TEST_F(ApngTest, DisposePreviousRestoresTheCanvas)
{
    ApngBuilder b(2, 1);
    b.Actl(3);
    b.Fctl(2, 1, 0, 0, 1, 10, 0, 0);
    b.Idat(b.Solid(2, 1, {0, 255, 0, 255}), 2);
    b.Fctl(1, 1, 0, 0, 1, 10, 2, 0);
    b.Fdat(b.Solid(1, 1, {255, 0, 0, 255}), 1);
    b.Fctl(1, 1, 1, 0, 1, 10, 0, 0);
    b.Fdat(b.Solid(1, 1, {0, 0, 255, 255}), 1);
    b.Iend();
    std::vector<ApngFrame> frames;
    ASSERT_EQ(0, Read(b.out, frames));
    ASSERT_EQ(3u, frames.size());
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 255, 255}), At(frames[1], 0, 0));
    EXPECT_EQ((std::vector<uint8_t>{0, 255, 0, 255}), At(frames[2], 0, 0));   // red undone
    EXPECT_EQ((std::vector<uint8_t>{255, 0, 0, 255}), At(frames[2], 1, 0));
}

// A palette file: the PLTE and tRNS chunks before the first image data are replayed for every
// frame; a tEXt and a gAMA chunk there do no harm.
TEST_F(ApngTest, ChunksBeforeImageDataAreReplayed)
{
    ApngBuilder b(2, 2, 3, 1);
    b.Append(pngtest::Chunk("gAMA", {0, 0, 0xB1, 0x8F}));
    b.Append(pngtest::Chunk("PLTE", {255, 0, 0, 0, 255, 0, 0, 0, 255}));
    b.Append(pngtest::Chunk("tRNS", {255, 128}));
    b.Append(pngtest::Chunk("tEXt", {'A', 0, 'b'}));
    b.Actl(2);
    b.Fctl(2, 2, 0, 0, 1, 10, 0, 0);
    b.Idat({0, 1, 2, 0}, 2);
    b.Fctl(1, 1, 1, 1, 1, 10, 0, 0);
    b.Fdat({1}, 1);
    b.Iend();
    std::vector<ApngFrame> frames;
    ASSERT_EQ(0, Read(b.out, frames));
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ((std::vector<uint8_t>{0, 0, 255, 255}), At(frames[0], 0, 0));
    EXPECT_EQ((std::vector<uint8_t>{0, 255, 0, 128}), At(frames[0], 1, 0));
    EXPECT_EQ((std::vector<uint8_t>{255, 0, 0, 255}), At(frames[0], 0, 1));
    EXPECT_EQ((std::vector<uint8_t>{0, 255, 0, 128}), At(frames[1], 1, 1));
}

// Walks ended early return the frames completed before; the consumed size tells where the walk
// stopped.
TEST_F(ApngTest, DefectsEndTheWalk)
{
    auto threeFrames = [](int defect) {
        ApngBuilder b(2, 2);
        b.Actl(3);
        b.Fctl(2, 2, 0, 0, 1, 10, 0, 0);
        b.Idat(b.Solid(2, 2, {1, 2, 3, 255}), 2);
        b.Fctl(2, 2, 0, 0, 1, 10, 0, 0);
        b.Fdat(b.Solid(2, 2, {4, 5, 6, 255}), 2);
        switch (defect) {
        case 0:   // a rectangle past the canvas
            b.Fctl(2, 2, 1, 0, 1, 10, 0, 0);
            break;
        case 1:   // a chunk type with a digit, inside the third frame (which is then lost)
            b.Fctl(2, 2, 0, 0, 1, 10, 0, 0);
            b.Fdat(b.Solid(2, 2, {7, 8, 9, 255}), 2);
            b.Append(pngtest::Chunk("t3Xt", {1, 2}));
            break;
        case 2:   // an fdAT too short for its sequence number
            b.Fctl(2, 2, 0, 0, 1, 10, 0, 0);
            b.Append(pngtest::Chunk("fdAT", {0, 0}));
            break;
        case 3:   // dispose 3
            b.Fctl(2, 2, 0, 0, 1, 10, 3, 0);
            break;
        }
        const size_t end = b.out.size();
        b.Fctl(2, 2, 0, 0, 1, 10, 0, 0);
        b.Fdat(b.Solid(2, 2, {7, 8, 9, 255}), 2);
        b.Iend();
        return std::make_pair(b.out, end);
    };
    for (int defect = 0; defect < 4; ++defect) {
        SCOPED_TRACE(defect);
        const auto [bytes, end] = threeFrames(defect);
        std::vector<ApngFrame> frames;
        uint64_t consumed = 0;
        ASSERT_EQ(0, Read(bytes, frames, &consumed));
        EXPECT_EQ(2u, frames.size());
        EXPECT_EQ(end, consumed);
        EXPECT_EQ((std::vector<uint8_t>{6, 5, 4, 255}), At(frames[1], 0, 0));
    }
}

TEST_F(ApngTest, TruncatedFileKeepsCompleteFramesAndConsumesAll)
{
    ApngBuilder b(8, 8);
    b.Actl(3);
    for (int k = 0; k < 3; ++k) {
        b.Fctl(8, 8, 0, 0, 1, 10, 0, 0);
        Bytes rows;
        for (int i = 0; i < 64; ++i)
            rows.insert(rows.end(), {static_cast<uint8_t>(i * 3 + k), static_cast<uint8_t>(k * 50), 9, 255});
        if (k == 0)
            b.Idat(rows, 8);
        else
            b.Fdat(rows, 8);
    }
    b.Iend();
    Bytes cut = b.out;
    cut.resize(cut.size() - 12 - 20);   // into the third frame's data
    std::vector<ApngFrame> frames;
    uint64_t consumed = 0;
    ASSERT_EQ(0, Read(cut, frames, &consumed));
    EXPECT_EQ(2u, frames.size());
    EXPECT_EQ(cut.size(), consumed);

    // A chunk length that claims far more than the file holds is not read (nor allocated).
    Bytes huge = b.out;
    const auto chunks = pngtest::Chunks(huge);
    const size_t lastFdat = chunks[chunks.size() - 2].offset;
    huge[lastFdat] = 0x7F;
    huge[lastFdat + 1] = 0xFF;
    frames.clear();
    ASSERT_EQ(0, Read(huge, frames, &consumed));
    EXPECT_EQ(2u, frames.size());
    EXPECT_EQ(huge.size(), consumed);
}

// CRC errors inside the frame data do not stop the frame.
TEST_F(ApngTest, CrcErrorsAreIgnored)
{
    ApngBuilder b(2, 1);
    b.Actl(2);
    b.Fctl(2, 1, 0, 0, 1, 10, 0, 0);
    b.Idat(b.Solid(2, 1, {9, 9, 9, 255}), 2);
    b.Fctl(2, 1, 0, 0, 1, 10, 0, 0);
    b.Fdat(b.Solid(2, 1, {7, 7, 7, 255}), 2);
    b.Iend();
    for (const auto& c : pngtest::Chunks(b.out))
        if (c.type == "fdAT" || c.type == "IDAT")
            b.out[c.offset + 8 + c.length] ^= 0x55;
    std::vector<ApngFrame> frames;
    ASSERT_EQ(0, Read(b.out, frames));
    ASSERT_EQ(2u, frames.size());
    EXPECT_EQ((std::vector<uint8_t>{7, 7, 7, 255}), At(frames[1], 1, 0));
}

TEST_F(ApngTest, FailuresWithoutFrames)
{
    std::vector<ApngFrame> frames;
    uint64_t consumed = 77;
    EXPECT_EQ(-1, ReadAnimatedPng(nullptr, dir.File(L"missing.png").c_str(), frames, &consumed));
    EXPECT_EQ(77u, consumed);

    ApngBuilder big(1000001, 1);
    big.Actl(2);
    EXPECT_EQ(-1, Read(big.out, frames, &consumed));
    EXPECT_EQ(77u, consumed);

    // An acTL without data: libpng's error for it fails the load.
    ApngBuilder empty(2, 2);
    empty.Append(pngtest::Chunk("acTL", {}));
    empty.Idat(empty.Solid(2, 2, {1, 1, 1, 255}), 2);
    empty.Iend();
    NImageFilePNG png;
    EXPECT_EQ(NR_DECODE_FAILED, png.Load(Write(empty.out).c_str(), 0, 0, nullptr));

    // An acTL of one frame is a still picture.
    ApngBuilder one(2, 2);
    one.Actl(1);
    one.Fctl(2, 2, 0, 0, 1, 10, 0, 0);
    one.Idat(one.Solid(2, 2, {1, 1, 1, 255}), 2);
    one.Iend();
    NImageFilePNG still;
    EXPECT_EQ(NR_OK, still.Load(Write(one.out).c_str(), 0, 0, nullptr));
    EXPECT_FALSE(still.IsAnimated());
    EXPECT_EQ(1, still.GetPageCount());
}

// Blend over a half-transparent pixel (alpha 128) onto an opaque one.
TEST(ApngCompose, BlendOverArithmetic)
{
    uint8_t canvas[4] = {200, 100, 50, 255};
    const uint8_t source[4] = {10, 20, 250, 128};
    uint8_t* canvasRows[1] = {canvas};
    const uint8_t* rawRows[1] = {source};
    ApngReader::ComposeFrame(canvasRows, rawRows, 1, 0, 0, 1, 1);
    const uint32_t u = 128 * 255, v = 127 * 255;
    EXPECT_EQ((10 * u + 200 * v) / (u + v), canvas[0]);
    EXPECT_EQ((20 * u + 100 * v) / (u + v), canvas[1]);
    EXPECT_EQ((250 * u + 50 * v) / (u + v), canvas[2]);
    EXPECT_EQ(255, canvas[3]);

    // Onto a transparent pixel the source is copied.
    uint8_t empty[4] = {1, 2, 3, 0};
    canvasRows[0] = empty;
    ApngReader::ComposeFrame(canvasRows, rawRows, 1, 0, 0, 1, 1);
    EXPECT_EQ(0, memcmp(empty, source, 4));
}

}  // namespace
