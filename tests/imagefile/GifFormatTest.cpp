// The GIF format class: still pictures and their palettes, animations as frame strips (global
// and local colour tables, sub-rectangles with transparency, interlacing), the frame tables,
// the consumed size of carved candidates in every kind of load, damaged files, and writing
// single pictures and pages.
#include "imagefile/formats/NImageFileGIF.h"

#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

using pngtest::Bytes;

namespace {

class GifFormatTest : public ::testing::Test {
protected:
    std::wstring Write(const Bytes& bytes, const wchar_t* name = L"test.gif")
    {
        const std::wstring path = dir.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }
    static Bytes Fixture(const std::wstring& name) { return pngtest::ReadFixture(L"gif\\" + name); }
    static std::wstring FixturePath(const std::wstring& name) { return TestDataPath(L"gif\\" + name); }

    TestDir dir;
};

// Offsets of the graphic control extensions and image descriptors of a GIF, and its length up
// to and including the trailer.
struct GifLayout {
    std::vector<size_t> controls;
    std::vector<size_t> images;
    size_t end = 0;
};

size_t SkipSubBlocks(const Bytes& b, size_t p)
{
    while (p < b.size() && b[p] != 0)
        p += 1 + b[p];
    return p + 1;
}

GifLayout Layout(const Bytes& b)
{
    GifLayout layout;
    size_t p = 13;
    if (b[10] & 0x80)
        p += 3u << ((b[10] & 7) + 1);
    while (p < b.size()) {
        if (b[p] == 0x3B) {
            layout.end = p + 1;
            break;
        }
        if (b[p] == 0x21) {
            if (b[p + 1] == 0xF9)
                layout.controls.push_back(p);
            p = SkipSubBlocks(b, p + 2);
        } else if (b[p] == 0x2C) {
            layout.images.push_back(p);
            const uint8_t packed = b[p + 9];
            p += 10;
            if (packed & 0x80)
                p += 3u << ((packed & 7) + 1);
            p = SkipSubBlocks(b, p + 1);
        } else {
            break;
        }
    }
    return layout;
}

struct StillCase {
    const wchar_t* file;
    const wchar_t* reference;
    int bitsPerPixel;
    int colours;
};

const StillCase kStills[] = {
    {L"single.gif", L"single.rgb", 8, 256},
    {L"single-interlaced.gif", L"single-interlaced.rgb", 8, 256},
    {L"single16.gif", L"single16.rgb", 4, 16},
    {L"single2.gif", L"single2.rgb", 1, 2},
};

TEST_F(GifFormatTest, StillPicturesLoadAsPalettePictures)
{
    for (const StillCase& c : kStills) {
        SCOPED_TRACE(testing::Message() << std::string(c.file, c.file + wcslen(c.file)));
        NImageFileGIF gif;
        ASSERT_EQ(NR_OK, gif.Load(FixturePath(c.file).c_str(), 0, 0, nullptr));
        EXPECT_EQ(20, gif.picture.width);
        EXPECT_EQ(15, gif.picture.height);
        EXPECT_EQ(c.bitsPerPixel, gif.picture.bpp);
        EXPECT_EQ(c.colours, gif.GetColorCount());
        EXPECT_EQ("", pngtest::ComparePixels(gif.picture, Fixture(c.reference), 3));
        EXPECT_EQ(1, gif.GetPageCount());
        EXPECT_FALSE(gif.IsMultiImage());
        EXPECT_EQ(20, gif.fullWidth);
        EXPECT_EQ(15, gif.fullHeight);
        EXPECT_EQ(Fixture(c.file).size(), gif.GetConsumedSize());
        EXPECT_EQ(FT_GIF, gif.GetFormatId());
    }
}

struct AnimationCase {
    const wchar_t* file;
    const wchar_t* reference;
    int bitsPerPixel;
    int disposal;   // of every frame, as the disposal table holds it
};

const AnimationCase kAnimations[] = {
    {L"anim3.gif", L"anim3.rgb", 8, 0},
    {L"anim-local.gif", L"anim-local.rgb", 24, 0},
    {L"anim-opt.gif", L"anim-opt.rgb", 8, 1},
    {L"anim-interlaced.gif", L"anim-interlaced.rgb", 8, 0},
    {L"anim-background.gif", L"anim-background.rgb", 8, 2},
    {L"anim-previous.gif", L"anim-previous.rgb", 8, 1},   // restore-previous is read as 1
};

TEST_F(GifFormatTest, AnimationsLoadAsFrameStrips)
{
    for (const AnimationCase& c : kAnimations) {
        SCOPED_TRACE(testing::Message() << std::string(c.file, c.file + wcslen(c.file)));
        const Bytes reference = Fixture(c.reference);
        NImageFileGIF gif;
        ASSERT_EQ(NR_OK, gif.Load(FixturePath(c.file).c_str(), 0, 0, nullptr));
        EXPECT_EQ(c.bitsPerPixel, gif.picture.bpp);
        EXPECT_EQ(24, gif.picture.width);
        EXPECT_EQ(16, gif.picture.height);   // one frame; the memory holds three
        EXPECT_EQ(24, gif.fullWidth);
        EXPECT_EQ(48, gif.fullHeight);
        EXPECT_EQ(3, gif.GetPageCount());
        EXPECT_TRUE(gif.IsMultiImage());
        EXPECT_TRUE(gif.IsAnimated());
        for (int k = 0; k < 3; ++k) {
            EXPECT_EQ(7, gif.GetFrameDelay(k));
            EXPECT_EQ(c.disposal, gif.GetFrameDisposal(k));
            EXPECT_EQ("", pngtest::ComparePixels(gif.picture, reference, 3, k, static_cast<size_t>(k) * 24 * 16 * 3));
        }
        EXPECT_EQ(Fixture(c.file).size(), gif.GetConsumedSize());
    }
}

// The scan's quick load (and a thumbnail's preview load) decodes the first frame only, but the
// consumed size still covers every frame and the trailer.
TEST_F(GifFormatTest, QuickLoadDecodesTheFirstFrameAndConsumesTheWholeAnimation)
{
    for (const AnimationCase& c : kAnimations) {
        SCOPED_TRACE(testing::Message() << std::string(c.file, c.file + wcslen(c.file)));
        for (int flag = 0; flag < 2; ++flag) {
            NImageFileGIF gif;
            ASSERT_EQ(NR_OK, gif.Load(FixturePath(c.file).c_str(), flag == 0, flag == 1, nullptr));
            EXPECT_EQ(24, gif.picture.width);
            EXPECT_EQ(16, gif.picture.height);
            EXPECT_EQ(16, gif.fullHeight);
            EXPECT_LE(gif.picture.bpp, 8);
            EXPECT_EQ(3, gif.GetPageCount());
            EXPECT_EQ("", pngtest::ComparePixels(gif.picture, Fixture(c.reference), 3));
            EXPECT_EQ(Fixture(c.file).size(), gif.GetConsumedSize());
        }
    }
}

// A carved candidate: the picture followed by unrelated bytes, including bytes that look like
// GIF block introducers. The consumed size is the picture's own length (trailer included).
TEST_F(GifFormatTest, CarvedCandidateReportsThePictureLength)
{
    std::vector<const wchar_t*> files;
    for (const StillCase& c : kStills)
        files.push_back(c.file);
    for (const AnimationCase& c : kAnimations)
        files.push_back(c.file);
    for (const wchar_t* file : files) {
        SCOPED_TRACE(testing::Message() << std::string(file, file + wcslen(file)));
        Bytes candidate = Fixture(file);
        const size_t length = candidate.size();
        for (int i = 0; i < 20000; ++i)
            candidate.push_back(static_cast<uint8_t>(i % 7 == 0 ? 0x2C : (i % 11 == 0 ? 0x21 : i * 13)));
        const std::wstring path = Write(candidate);
        for (int quick = 0; quick <= 1; ++quick) {
            NImageFileGIF gif;
            ASSERT_EQ(NR_OK, gif.Load(path.c_str(), 0, static_cast<uint8_t>(quick), nullptr));
            EXPECT_EQ(length, gif.GetConsumedSize()) << quick;
        }
    }
}

TEST_F(GifFormatTest, FrameTables)
{
    Bytes bytes = Fixture(L"anim3.gif");
    GifLayout layout = Layout(bytes);
    ASSERT_EQ(3u, layout.controls.size());
    auto setControl = [&](int frame, int disposal, uint16_t delay, int transparent) {
        const size_t p = layout.controls[frame];
        bytes[p + 3] = static_cast<uint8_t>((disposal << 2) | (transparent >= 0 ? 1 : 0));
        bytes[p + 4] = static_cast<uint8_t>(delay);
        bytes[p + 5] = static_cast<uint8_t>(delay >> 8);
        bytes[p + 6] = static_cast<uint8_t>(transparent >= 0 ? transparent : 0);
    };
    setControl(0, 3, 3, -1);
    setControl(1, 4, 7, -1);
    setControl(2, 2, 0, 5);
    NImageFileGIF gif;
    ASSERT_EQ(NR_OK, gif.Load(Write(bytes).c_str(), 0, 0, nullptr));
    EXPECT_EQ(1, gif.GetFrameDisposal(0));
    EXPECT_EQ(4, gif.GetFrameDisposal(1));
    EXPECT_EQ(2, gif.GetFrameDisposal(2));
    EXPECT_EQ(5, gif.GetFrameDelay(0));
    EXPECT_EQ(7, gif.GetFrameDelay(1));
    EXPECT_EQ(5, gif.GetFrameDelay(2));
    EXPECT_EQ(0xFFFF, gif.GetFrameTransparentIndex(0));
    EXPECT_EQ(5, gif.GetFrameTransparentIndex(2));
    EXPECT_EQ(1, gif.picture.hasTransparency);
    EXPECT_EQ(5, gif.picture.transparentIndex);

    // Without a graphic control: delay 5, disposal 1, no transparent index.
    Bytes plain = Fixture(L"anim3.gif");
    layout = Layout(plain);
    plain.erase(plain.begin() + static_cast<ptrdiff_t>(layout.controls[1]),
                plain.begin() + static_cast<ptrdiff_t>(layout.controls[1] + 8));
    NImageFileGIF noControl;
    ASSERT_EQ(NR_OK, noControl.Load(Write(plain).c_str(), 0, 0, nullptr));
    EXPECT_EQ(5, noControl.GetFrameDelay(1));
    EXPECT_EQ(1, noControl.GetFrameDisposal(1));
    EXPECT_EQ(0xFFFF, noControl.GetFrameTransparentIndex(1));
}

void MakePicture(NImageBuffer& pic, int width, int height, int bpp, int seed)
{
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i * 5 + seed);
        palette[i * 3 + 1] = static_cast<uint8_t>(200 - i);
        palette[i * 3 + 2] = static_cast<uint8_t>(i * 11);
    }
    ASSERT_TRUE(pic.Create(width, height, bpp, 0, palette));
    for (int y = 0; y < height; ++y)
        for (int b = 0; b < pic.stride; ++b)
            pic.bits[static_cast<size_t>(y) * pic.stride + b] = static_cast<uint8_t>(b * 37 + y * 11 + seed);
}

// The first frame is placed at its own position on the logical screen like every later frame.
TEST_F(GifFormatTest, FirstFrameIsPlacedAtItsPosition)
{
    NImageBuffer screen, small, full;
    MakePicture(screen, 10, 8, 8, 1);
    MakePicture(small, 4, 3, 8, 2);
    MakePicture(full, 10, 8, 8, 3);
    const std::wstring path = dir.File(L"pages.gif");
    auto writer = std::make_unique<NImageFileGIF>();
    ASSERT_EQ(NR_OK, writer->BeginPages(path.c_str(), &screen));
    ASSERT_EQ(NR_OK, writer->AddPage(&small));
    ASSERT_EQ(NR_OK, writer->AddPage(&full));
    ASSERT_EQ(NR_OK, writer->EndPages());

    Bytes bytes;
    ReadWholeFile(path, bytes);
    const GifLayout layout = Layout(bytes);
    ASSERT_EQ(2u, layout.images.size());
    bytes[layout.images[0] + 1] = 3;   // left
    bytes[layout.images[0] + 3] = 2;   // top
    NImageFileGIF gif;
    ASSERT_EQ(NR_OK, gif.Load(Write(bytes).c_str(), 0, 0, nullptr));
    ASSERT_EQ(24, gif.picture.bpp);   // pages carry local colour tables
    uint8_t got[4], want[4];
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) {
            pngtest::PixelRgba(gif.picture, 3 + x, 2 + y, got, 0);
            pngtest::PixelRgba(small, x, y, want);
            ASSERT_EQ(0, memcmp(got, want, 3)) << x << "," << y;
        }
    pngtest::PixelRgba(gif.picture, 0, 0, got, 0);
    EXPECT_EQ(255, got[0]);   // the key colour around the frame
    EXPECT_EQ(0, got[1]);
    EXPECT_EQ(255, got[2]);
    // Frame 1 covers the screen.
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 10; ++x) {
            pngtest::PixelRgba(gif.picture, x, y, got, 1);
            pngtest::PixelRgba(full, x, y, want);
            ASSERT_EQ(0, memcmp(got, want, 3)) << x << "," << y;
        }
}

TEST_F(GifFormatTest, SaveAndLoadGiveIndicesAndPaletteBack)
{
    for (int bpp : {1, 4, 8}) {
        SCOPED_TRACE(bpp);
        NImageBuffer pic;
        MakePicture(pic, 13, 9, bpp, bpp);
        NImageFileGIF writer;
        const std::wstring path = dir.File(L"saved.gif");
        ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &pic, nullptr));
        NImageFileGIF reader;
        ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
        ASSERT_EQ(bpp, reader.picture.bpp);
        for (int y = 0; y < 9; ++y)
            for (int x = 0; x < 13; ++x)
                ASSERT_EQ(pngtest::IndexAt(pic, x, y), pngtest::IndexAt(reader.picture, x, y)) << x << "," << y;
        for (int i = 0; i < (1 << bpp); ++i)
            ASSERT_EQ(0, memcmp(pic.palette[i], reader.picture.palette[i], 3)) << i;
        Bytes bytes;
        ReadWholeFile(path, bytes);
        EXPECT_EQ(bytes.size(), reader.GetConsumedSize());
    }
}

TEST_F(GifFormatTest, SaveOfDeepPictureWritesEightBits)
{
    NImageBuffer pic;
    ASSERT_TRUE(pic.Create(6, 4, 24, RGB(10, 200, 30)));
    NImageFileGIF writer;
    const std::wstring path = dir.File(L"deep.gif");
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &pic, nullptr));
    Bytes b;
    ReadWholeFile(path, b);
    ASSERT_GT(b.size(), 13u + 768 + 20);
    EXPECT_EQ(0, memcmp(b.data(), "GIF89a", 6));
    EXPECT_EQ(0xE7, b[10]);
    const size_t control = 13 + 768;
    EXPECT_EQ(0x21, b[control]);
    EXPECT_EQ(0xF9, b[control + 1]);
    EXPECT_EQ(0x00, b[control + 3]);   // no transparency
    EXPECT_EQ(10, b[control + 4]);     // 100 ms
    EXPECT_EQ(0x2C, b[control + 8]);
    EXPECT_EQ(0x00, b[control + 17]);  // no local table
    EXPECT_EQ(8, b[control + 18]);     // minimum code size
    EXPECT_EQ(0x3B, b.back());

    NImageFileGIF reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    uint8_t px[4];
    pngtest::PixelRgba(reader.picture, 3, 2, px);
    EXPECT_NEAR(10, px[0], 12);
    EXPECT_NEAR(200, px[1], 12);
    EXPECT_NEAR(30, px[2], 12);
}

TEST_F(GifFormatTest, TransparencyRoundTrip)
{
    NImageBuffer pic;
    MakePicture(pic, 5, 5, 8, 7);
    pic.hasTransparency = 1;
    pic.transparentIndex = 9;
    NImageFileGIF writer;
    const std::wstring path = dir.File(L"key.gif");
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &pic, nullptr));
    Bytes b;
    ReadWholeFile(path, b);
    EXPECT_EQ(0x09, b[13 + 768 + 3]);
    EXPECT_EQ(9, b[13 + 768 + 6]);
    NImageFileGIF reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(1, reader.picture.hasTransparency);
    EXPECT_EQ(9, reader.picture.transparentIndex);
    const uint8_t magenta[3] = {0xFF, 0x00, 0xFF};
    EXPECT_EQ(0, memcmp(magenta, reader.picture.palette[9], 3));
    EXPECT_EQ(9, reader.GetFrameTransparentIndex(0));
    EXPECT_EQ(2, reader.GetFrameDisposal(0));
}

TEST_F(GifFormatTest, PageWriting)
{
    NImageBuffer a, b, deep;
    MakePicture(a, 6, 5, 4, 1);
    MakePicture(b, 6, 5, 4, 2);
    ASSERT_TRUE(deep.Create(6, 5, 24, 0));
    NImageFileGIF writer;
    const std::wstring path = dir.File(L"pages.gif");
    EXPECT_EQ(NR_WRONG_BPP, writer.BeginPages(path.c_str(), &deep));
    EXPECT_FALSE(FileExists(path));
    EXPECT_EQ(NR_FILE_ERROR, writer.AddPage(&a));
    EXPECT_EQ(NR_OK, writer.EndPages());

    writer.pageDelay = 250;
    ASSERT_EQ(NR_OK, writer.BeginPages(path.c_str(), &a));
    ASSERT_EQ(NR_OK, writer.AddPage(&a));
    EXPECT_EQ(NR_WRONG_BPP, writer.AddPage(&deep));
    ASSERT_EQ(NR_OK, writer.AddPage(&b));
    ASSERT_EQ(NR_OK, writer.EndPages());

    NImageFileGIF reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(2, reader.GetPageCount());
    EXPECT_EQ(25, reader.GetFrameDelay(0));
    EXPECT_EQ(24, reader.picture.bpp);
    uint8_t got[4], want[4];
    for (int k = 0; k < 2; ++k)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 6; ++x) {
                pngtest::PixelRgba(reader.picture, x, y, got, k);
                pngtest::PixelRgba(k == 0 ? a : b, x, y, want);
                ASSERT_EQ(0, memcmp(got, want, 3)) << k << ":" << x << "," << y;
            }
}

TEST_F(GifFormatTest, SaveFailures)
{
    NImageBuffer invalid;
    NImageFileGIF writer;
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.Save(dir.File(L"x.gif").c_str(), &invalid, nullptr));
    NImageBuffer pic;
    MakePicture(pic, 4, 4, 8, 1);
    EXPECT_EQ(NR_FILE_OPEN_WRITE, writer.Save(dir.File(L"no\\such\\x.gif").c_str(), &pic, nullptr));
    EXPECT_EQ(NR_INVALID_DATA, writer.SaveFrom(dir.File(L"x.gif").c_str(), nullptr));
}

TEST_F(GifFormatTest, LoadFailures)
{
    NImageFileGIF gif;
    EXPECT_EQ(NR_FILE_OPEN_READ, gif.Load(dir.File(L"missing.gif").c_str(), 0, 0, nullptr));
    EXPECT_EQ(-1, NImageFileGIF::CountFrames(dir.File(L"missing.gif").c_str(), nullptr));

    Bytes wrongVersion = Fixture(L"single.gif");
    wrongVersion[4] = '8';
    EXPECT_EQ(NR_NOT_THIS_FORMAT, gif.Load(Write(wrongVersion).c_str(), 0, 0, nullptr));
    EXPECT_EQ(-2, NImageFileGIF::CountFrames(dir.File(L"test.gif").c_str(), nullptr));

    const Bytes noFrames = {'G', 'I', 'F', '8', '9', 'a', 4, 0, 4, 0, 0, 0, 0, 0x3B};
    EXPECT_EQ(NR_INVALID_DATA, gif.Load(Write(noFrames).c_str(), 0, 0, nullptr));

    Bytes zeroWidth = Fixture(L"single.gif");
    const GifLayout layout = Layout(zeroWidth);
    zeroWidth[layout.images[0] + 5] = 0;
    zeroWidth[layout.images[0] + 6] = 0;
    NImageFileGIF zero;
    EXPECT_EQ(NR_INVALID_DATA, zero.Load(Write(zeroWidth).c_str(), 0, 0, nullptr));
}

// A file cut inside its image data still loads, the frame partly drawn; the consumed size is
// the file's size.
TEST_F(GifFormatTest, TruncatedDataLoadsPartly)
{
    Bytes cut = Fixture(L"single.gif");
    cut.resize(cut.size() - 40);   // inside the second data sub-block
    NImageFileGIF gif;
    ASSERT_EQ(NR_OK, gif.Load(Write(cut).c_str(), 0, 0, nullptr));
    EXPECT_EQ(20, gif.picture.width);
    EXPECT_EQ(cut.size(), gif.GetConsumedSize());
    // The top rows are the file's.
    const Bytes reference = Fixture(L"single.rgb");
    uint8_t px[4];
    pngtest::PixelRgba(gif.picture, 0, 0, px);
    EXPECT_EQ(0, memcmp(px, reference.data(), 3));
}

// Damaged copies of the fixtures: every load answers, and a consumed size never exceeds the
// file.
TEST_F(GifFormatTest, DamagedFilesAreHandled)
{
    uint32_t seed = 4242;
    auto next = [&seed] {
        seed = seed * 1103515245u + 12345u;
        return seed >> 8;
    };
    for (const wchar_t* name : {L"single.gif", L"single-interlaced.gif", L"anim-opt.gif", L"anim-local.gif"}) {
        const Bytes original = Fixture(name);
        for (int round = 0; round < 80; ++round) {
            Bytes damaged = original;
            const int flips = 1 + static_cast<int>(next() % 6);
            for (int i = 0; i < flips; ++i)
                damaged[6 + next() % (damaged.size() - 6)] = static_cast<uint8_t>(next());
            if (round % 4 == 0)
                damaged.resize(6 + next() % (damaged.size() - 6));
            const std::wstring path = Write(damaged);
            for (int quick = 0; quick <= 1; ++quick) {
                NImageFileGIF gif;
                const NRESULT r = gif.Load(path.c_str(), 0, static_cast<uint8_t>(quick), nullptr);
                EXPECT_TRUE(r == NR_OK || r == NR_INVALID_DATA || r == NR_FORMAT_INIT_FAILED || r == NR_ALLOCATION_FAILED)
                    << r;
                EXPECT_LE(gif.GetConsumedSize(), damaged.size());
            }
        }
    }
}

}  // namespace
