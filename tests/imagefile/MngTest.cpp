// The MNG format class: ImageMagick's MNG files (one picture, an endlessly repeated animation),
// frame strips, the frame limit from MHDR, loops that never end, the consumed size of carved and
// truncated candidates, and the writers: GIF animations to MNG (FRAM modes, changed rectangles,
// global palette and transparency) read back through the reader, page-by-page writing, and
// single pictures written as PNG.
#include "imagefile/formats/NImageFileMNG.h"
#include "imagefile/formats/MngStreamWalk.h"

#include "imagefile/ImageFactory.h"
#include "imagefile/formats/NImageFileGIF.h"
#include "PngTestSupport.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

using pngtest::Bytes;
using pngtest::Chunk;
using pngtest::PutU32;
using pngtest::Row;

namespace {

Bytes Fixture(const std::wstring& name)
{
    return pngtest::ReadFixture(L"mng\\" + name);
}

std::wstring FixturePath(const std::wstring& name)
{
    return TestDataPath(L"mng\\" + name);
}

const Bytes& MngSignature()
{
    static const Bytes s = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return s;
}

// The file with the MHDR frame count replaced (CRC recomputed).
Bytes WithFrameCount(const Bytes& mng, uint32_t frames)
{
    const auto chunks = pngtest::Chunks(mng);
    Bytes data(chunks[0].data, chunks[0].data + chunks[0].length);
    data[16] = static_cast<uint8_t>(frames >> 24);
    data[17] = static_cast<uint8_t>(frames >> 16);
    data[18] = static_cast<uint8_t>(frames >> 8);
    data[19] = static_cast<uint8_t>(frames);
    Bytes out = MngSignature();
    const Bytes header = Chunk("MHDR", data);
    out.insert(out.end(), header.begin(), header.end());
    out.insert(out.end(), mng.begin() + 8 + 12 + chunks[0].length, mng.end());
    return out;
}

Bytes Mhdr(uint32_t w, uint32_t h, uint32_t ticks, uint32_t frames)
{
    Bytes d;
    for (uint32_t v : {w, h, ticks, 0u, frames, 0u, 1u})
        PutU32(d, v);
    return Chunk("MHDR", d);
}

// A w x h RGB image of one colour as IHDR, IDAT, IEND.
Bytes SolidImage(uint32_t w, uint32_t h, uint8_t r, uint8_t g, uint8_t b)
{
    Bytes rows;
    for (uint32_t i = 0; i < w * h; ++i)
        rows.insert(rows.end(), {r, g, b});
    Bytes out = pngtest::Ihdr(w, h, 8, 2);
    const Bytes idat = Chunk("IDAT", pngtest::Deflated(rows, w * 3));
    const Bytes iend = Chunk("IEND", {});
    out.insert(out.end(), idat.begin(), idat.end());
    out.insert(out.end(), iend.begin(), iend.end());
    return out;
}

Bytes Fram(uint8_t mode, uint32_t delay)
{
    Bytes d = {mode, 0, 2, 0, 0, 0};   // mode, empty name, change delay for the rest of the stream
    PutU32(d, delay);
    return Chunk("FRAM", d);
}

void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

std::vector<std::string> ChunkTypes(const Bytes& file)
{
    std::vector<std::string> types;
    for (const auto& chunk : pngtest::Chunks(file))
        types.push_back(chunk.type);
    return types;
}

// Compares frame k of a 24-bit strip with a red, green, blue reference.
void ExpectFrame(const NImageBuffer& strip, int frame, const Bytes& rgb)
{
    for (int y = 0; y < strip.height; ++y) {
        for (int x = 0; x < strip.width; ++x) {
            const uint8_t* p = Row(strip, y, frame) + x * 3;
            const uint8_t* r = &rgb[(static_cast<size_t>(y) * strip.width + x) * 3];
            ASSERT_TRUE(p[2] == r[0] && p[1] == r[1] && p[0] == r[2])
                << "frame " << frame << " at " << x << "," << y;
        }
    }
}

class MngTest : public ::testing::Test {
protected:
    std::wstring Write(const Bytes& bytes, const wchar_t* name = L"test.mng")
    {
        const std::wstring path = dir.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }

    TestDir dir;
};

TEST_F(MngTest, SinglePictureLoadsAsItsFirstFrame)
{
    NImageFileMNG mng;
    ASSERT_EQ(mng.Load(FixturePath(L"single.mng").c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(mng.picture.bpp, 24);
    EXPECT_EQ(mng.picture.width, 24);
    EXPECT_EQ(mng.picture.height, 16);
    EXPECT_EQ(mng.GetPageCount(), 1);
    EXPECT_FALSE(mng.IsMultiImage());
    EXPECT_FALSE(mng.IsAnimated());
    EXPECT_EQ(mng.GetFormatId(), 23);
    EXPECT_EQ(mng.GetConsumedSize(), Fixture(L"single.mng").size());
    ExpectFrame(mng.picture, 0, Fixture(L"frame0.rgb"));
}

TEST_F(MngTest, EndlessAnimationWithoutFrameCountGivesFrameZero)
{
    // ImageMagick writes MHDR frame count 0 and a TERM chunk that repeats for ever.
    for (uint8_t flags = 0; flags < 2; ++flags) {
        NImageFileMNG mng;
        ASSERT_EQ(mng.Load(FixturePath(L"anim3.mng").c_str(), flags, 0, nullptr), NR_OK);
        EXPECT_EQ(mng.GetPageCount(), 1);
        EXPECT_FALSE(mng.IsMultiImage());
        EXPECT_EQ(mng.picture.height, 16);
        EXPECT_EQ(mng.GetConsumedSize(), Fixture(L"anim3.mng").size());
        ExpectFrame(mng.picture, 0, Fixture(L"frame0.rgb"));
    }
}

TEST_F(MngTest, FramesFormAStrip)
{
    const std::wstring path = Write(WithFrameCount(Fixture(L"anim3.mng"), 3));
    NImageFileMNG mng;
    ASSERT_EQ(mng.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(mng.GetPageCount(), 3);
    EXPECT_TRUE(mng.IsMultiImage());
    EXPECT_TRUE(mng.IsAnimated());
    EXPECT_EQ(mng.picture.height, 16);
    EXPECT_EQ(mng.fullHeight, 48);
    EXPECT_EQ(mng.fullWidth, 24);
    ExpectFrame(mng.picture, 0, Fixture(L"frame0.rgb"));
    ExpectFrame(mng.picture, 1, Fixture(L"frame1.rgb"));
    ExpectFrame(mng.picture, 2, Fixture(L"frame2.rgb"));
    ASSERT_GE(mng.frameDelays.size(), 2u);
    EXPECT_EQ(mng.frameDelays[0], 200);   // one tick at 5 ticks a second

    // Either flag: frame 0 only, but the candidate still keeps every frame.
    for (int flag = 0; flag < 2; ++flag) {
        NImageFileMNG quick;
        ASSERT_EQ(quick.Load(path.c_str(), flag == 0, flag == 1, nullptr), NR_OK);
        EXPECT_EQ(quick.GetPageCount(), 1);
        EXPECT_EQ(quick.picture.height, 16);
        EXPECT_EQ(quick.fullHeight, 16);
        EXPECT_EQ(quick.GetConsumedSize(), Fixture(L"anim3.mng").size() + 0);
        ExpectFrame(quick.picture, 0, Fixture(L"frame0.rgb"));
    }
}

TEST_F(MngTest, HeaderClaimingMoreFramesThanTheFileHolds)
{
    // The strip holds the frames that exist, not blank ones; a huge claim allocates nothing more.
    for (uint32_t claim : {5u, 0x7FFFFFFFu}) {
        NImageFileMNG mng;
        ASSERT_EQ(mng.Load(Write(WithFrameCount(Fixture(L"anim3.mng"), claim)).c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(mng.GetPageCount(), 3) << claim;
        EXPECT_EQ(mng.fullHeight, 48) << claim;
        ExpectFrame(mng.picture, 2, Fixture(L"frame2.rgb"));
    }
}

TEST_F(MngTest, LoopsThatNeverEndDoNotHangALoad)
{
    // An endless LOOP around frames without delay, and an endless empty LOOP nested in another.
    Bytes looped = MngSignature();
    Append(looped, Mhdr(8, 8, 1000, 2));
    Append(looped, Chunk("LOOP", {0, 0x7F, 0xFF, 0xFF, 0xFF}));
    Append(looped, Fram(1, 0));
    Append(looped, SolidImage(8, 8, 255, 0, 0));
    Append(looped, SolidImage(8, 8, 0, 0, 255));
    Append(looped, Chunk("ENDL", {0}));
    Append(looped, Chunk("MEND", {}));

    Bytes nested = MngSignature();
    Append(nested, Mhdr(8, 8, 1000, 0));
    Append(nested, SolidImage(8, 8, 0, 255, 0));
    Append(nested, Chunk("LOOP", {0, 0x7F, 0xFF, 0xFF, 0xFF}));
    Append(nested, Chunk("LOOP", {1, 0x7F, 0xFF, 0xFF, 0xFE}));
    Append(nested, Chunk("ENDL", {1}));
    Append(nested, Chunk("ENDL", {0}));
    Append(nested, Chunk("TERM", {3, 0, 0, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}));
    Append(nested, Chunk("MEND", {}));

    for (const Bytes* file : {&looped, &nested}) {
        for (uint8_t quick = 0; quick < 2; ++quick) {
            NImageFileMNG mng;
            const DWORD start = GetTickCount();
            const NRESULT result = mng.Load(Write(*file).c_str(), 0, quick, nullptr);
            EXPECT_LT(GetTickCount() - start, 10000u);
            EXPECT_NE(result, NR_NOT_THIS_FORMAT);
            EXPECT_TRUE(mng.picture.valid);
            EXPECT_EQ(mng.GetConsumedSize(), file->size());
        }
    }
}

TEST_F(MngTest, CarvedCandidatesKeepEveryFrame)
{
    for (const wchar_t* name : {L"single.mng", L"anim3.mng"}) {
        const size_t size = Fixture(name).size();
        const std::wstring carved =
            std::wstring(L"carved-") + std::wstring(name).substr(0, std::wstring(name).size() - 4) + L".mng.bin";
        for (int flags = 0; flags < 3; ++flags) {
            NImageFileMNG mng;
            ASSERT_EQ(mng.Load(FixturePath(carved).c_str(), flags == 1, flags == 2, nullptr), NR_OK) << carved;
            EXPECT_EQ(mng.GetConsumedSize(), size) << carved << " flags " << flags;
        }
    }
}

TEST_F(MngTest, ScanPathFindsTheFormatByContent)
{
    // The scan loads a candidate with the quick flag through the factory; the content decides.
    for (const wchar_t* name : {L"carved-anim3.mng.bin", L"carved-alpha.jng.bin"}) {
        NImageFile* out = nullptr;
        EXPECT_EQ(LoadImageFile(&out, FixturePath(name).c_str(), 0, 1, nullptr, 0), NR_OK) << name;
        ASSERT_NE(out, nullptr);
        EXPECT_TRUE(out->picture.valid);
        const std::wstring original = std::wstring(name).substr(7, std::wstring(name).size() - 11);
        EXPECT_EQ(out->GetConsumedSize(), Fixture(original).size()) << name;
        delete out;
    }
}

TEST_F(MngTest, TruncatedAndDamagedCopiesNeverCrash)
{
    const Bytes original = WithFrameCount(Fixture(L"anim3.mng"), 3);
    for (size_t cut = 0; cut < original.size(); cut += (cut < 64 ? 1 : 5)) {
        const Bytes part(original.begin(), original.begin() + cut);
        NImageFileMNG mng;
        const NRESULT result = mng.Load(Write(part, L"cut.mng").c_str(), 0, 0, nullptr);
        EXPECT_LE(mng.GetConsumedSize(), cut);
        if (cut > 8) {
            EXPECT_EQ(mng.GetConsumedSize(), cut);
        }
        if (result == NR_OK) {
            EXPECT_TRUE(mng.picture.valid);
        }
    }
    // A chunk header that is no chunk ends the stream there.
    Bytes broken = original;
    const size_t mend = broken.size() - 12;
    broken[mend + 4] = '#';
    NImageFileMNG mng;
    mng.Load(Write(broken).c_str(), 0, 0, nullptr);
    EXPECT_GE(mng.GetConsumedSize(), mend);
    EXPECT_LE(mng.GetConsumedSize(), broken.size());

    EXPECT_EQ(mng.Load(FixturePath(L"colour.jng").c_str(), 0, 0, nullptr), NR_NOT_THIS_FORMAT);
    EXPECT_EQ(mng.Load(dir.File(L"missing.mng").c_str(), 0, 0, nullptr), NR_FILE_OPEN_READ);

    // A first chunk that is no header (libmng would pass over it as an unknown ancillary chunk
    // and read the picture after it), or a header whose CRC is wrong: refused, as the scan's walk
    // refuses such a candidate.
    for (size_t at : {size_t{12}, size_t{20}}) {
        Bytes spoilt = Fixture(L"single.mng");
        spoilt[at] ^= at == 12 ? 0xB3 : 0x01;   // "MHDR" -> "\xFEHDR"; the frame width
        NImageFileMNG refused;
        EXPECT_EQ(NR_DECODE_FAILED, refused.Load(Write(spoilt, L"spoilt.mng").c_str(), 0, 1, nullptr)) << at;
    }
}

TEST_F(MngTest, SignatureWindow)
{
    const uint8_t ten[10] = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0};
    EXPECT_TRUE(NImageFileMNG::IsFormat(ten, 0, 10));
    EXPECT_FALSE(NImageFileMNG::IsFormat(ten, 6, 10));
    for (uint64_t length = 0; length < 5; ++length)
        EXPECT_FALSE(NImageFileMNG::IsFormat(ten, 0, length)) << length;
    EXPECT_FALSE(NImageFileMNG::IsFormat(nullptr, 0, 10));
}

TEST_F(MngTest, PixelIndexesAndChangedRectangles)
{
    uint8_t row[4] = {};
    NImageFileMNG::SetPixelIndex(row, 9, 1, 1);
    EXPECT_EQ(row[1], 0x40);
    EXPECT_EQ(NImageFileMNG::GetPixelIndex(row, 9, 1), 1);
    NImageFileMNG::SetPixelIndex(row, 9, 1, 0);
    EXPECT_EQ(row[1], 0x00);
    NImageFileMNG::SetPixelIndex(row, 2, 4, 0xA);
    NImageFileMNG::SetPixelIndex(row, 3, 4, 0x5);
    EXPECT_EQ(row[1], 0xA5);
    EXPECT_EQ(NImageFileMNG::GetPixelIndex(row, 3, 4), 0x5);
    NImageFileMNG::SetPixelIndex(row, 3, 8, 7);
    EXPECT_EQ(NImageFileMNG::GetPixelIndex(row, 3, 8), 7);
    EXPECT_EQ(NImageFileMNG::GetPixelIndex(row, 0, 2), 0);

    uint8_t a[4 * 6] = {};
    uint8_t b[4 * 6] = {};
    NImageRect same = NImageFileMNG::FindChangedRect(a, b, 4, 6, 6, 4);
    EXPECT_EQ(same.width, 6);
    EXPECT_EQ(same.height, 6);
    NImageFileMNG::SetPixelIndex(b + 4 * 2, 1, 4, 3);
    NImageFileMNG::SetPixelIndex(b + 4 * 4, 4, 4, 3);
    const NImageRect changed = NImageFileMNG::FindChangedRect(a, b, 4, 6, 6, 4);
    EXPECT_EQ(changed.x, 1);
    EXPECT_EQ(changed.y, 2);
    EXPECT_EQ(changed.width, 4);
    EXPECT_EQ(changed.height, 3);
}

// Chunk views of one type.
std::vector<pngtest::ChunkView> ChunksOf(const Bytes& file, const char* type)
{
    std::vector<pngtest::ChunkView> out;
    for (const auto& chunk : pngtest::Chunks(file))
        if (chunk.type == type)
            out.push_back(chunk);
    return out;
}

TEST_F(MngTest, GifAnimationBecomesAnMngThatReadsBack)
{
    NImageFileGIF gif;
    ASSERT_EQ(gif.Load(TestDataPath(L"gif\\anim3.gif").c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(gif.GetPageCount(), 3);
    ASSERT_EQ(gif.picture.bpp, 8);
    const Bytes gifBefore(gif.picture.bits, gif.picture.bits + static_cast<size_t>(gif.picture.stride) * 48);
    gif.frameDisposals = {0, 2, 1};

    NImageFileMNG writer;
    const std::wstring path = dir.File(L"anim.mng");
    ASSERT_EQ(writer.SaveFrom(path.c_str(), &gif), NR_OK);
    EXPECT_EQ(Bytes(gif.picture.bits, gif.picture.bits + gifBefore.size()), gifBefore) << "the source is unchanged";
    EXPECT_EQ(gif.picture.height, 16);

    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    const auto types = ChunkTypes(bytes);
    ASSERT_GE(types.size(), 4u);
    EXPECT_EQ(types[0], "MHDR");
    EXPECT_EQ(types[1], "TERM");
    EXPECT_EQ(types.back(), "MEND");
    const auto mhdr = ChunksOf(bytes, "MHDR");
    EXPECT_EQ(pngtest::GetU32(mhdr[0].data + 8), 100u);   // ticks
    EXPECT_EQ(pngtest::GetU32(mhdr[0].data + 16), 3u);    // frames
    const auto frams = ChunksOf(bytes, "FRAM");
    ASSERT_EQ(frams.size(), 3u);
    EXPECT_EQ(frams[0].data[0], 1);
    EXPECT_EQ(frams[1].data[0], 3);
    EXPECT_EQ(frams[2].data[0], 1);
    const auto trns = ChunksOf(bytes, "tRNS");
    ASSERT_EQ(trns.size(), 1u);
    EXPECT_EQ(trns[0].length, 1u);
    EXPECT_EQ(trns[0].data[0], 255);
    // Frames 0 and 1 (disposal 2) whole, frame 2 only where it differs from frame 1.
    const auto ihdrs = ChunksOf(bytes, "IHDR");
    ASSERT_EQ(ihdrs.size(), 3u);
    EXPECT_EQ(pngtest::GetU32(ihdrs[0].data), 24u);
    EXPECT_EQ(pngtest::GetU32(ihdrs[1].data), 24u);
    EXPECT_EQ(pngtest::GetU32(ihdrs[1].data + 4), 16u);
    EXPECT_LT(pngtest::GetU32(ihdrs[2].data) * pngtest::GetU32(ihdrs[2].data + 4), 24u * 16u);
    const auto defis = ChunksOf(bytes, "DEFI");
    ASSERT_EQ(defis.size(), 3u);

    NImageFileMNG reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.GetPageCount(), 3);
    EXPECT_EQ(reader.GetConsumedSize(), bytes.size());
    ASSERT_EQ(reader.picture.bpp, 24);
    for (int k = 0; k < 3; ++k) {
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 24; ++x) {
                const uint8_t* colour = gif.picture.palette[pngtest::IndexAt(gif.picture, x, y, k)];
                const uint8_t* p = Row(reader.picture, y, k) + x * 3;
                ASSERT_TRUE(p[0] == colour[0] && p[1] == colour[1] && p[2] == colour[2])
                    << "frame " << k << " at " << x << "," << y;
            }
        }
    }
    ASSERT_GE(reader.frameDelays.size(), 1u);
    EXPECT_EQ(reader.frameDelays[0], gif.GetFrameDelay(1) * 10);
}

TEST_F(MngTest, TrueColourGifAnimationBecomesRgbFrames)
{
    // Local colour tables make the GIF strip 24 bits per pixel: written as RGB images.
    NImageFileGIF gif;
    ASSERT_EQ(gif.Load(TestDataPath(L"gif\\anim-local.gif").c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(gif.picture.bpp, 24);
    const int frames = gif.GetPageCount();
    ASSERT_GE(frames, 2);
    NImageFileMNG writer;
    const std::wstring path = dir.File(L"local.mng");
    ASSERT_EQ(writer.SaveFrom(path.c_str(), &gif), NR_OK);
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(ChunksOf(bytes, "IHDR")[0].data[9], 2);   // colour type RGB
    EXPECT_TRUE(ChunksOf(bytes, "PLTE").empty());

    NImageFileMNG reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.GetPageCount(), frames);
    for (int k = 0; k < frames; ++k) {
        for (int y = 0; y < gif.picture.height; ++y) {
            ASSERT_EQ(std::memcmp(Row(reader.picture, y, k), Row(gif.picture, y, k), gif.picture.width * 3), 0)
                << "frame " << k << " row " << y;
        }
    }
}

TEST_F(MngTest, OneFramePicturesAreWrittenAsPng)
{
    NImageFileGIF gif;
    ASSERT_EQ(gif.Load(TestDataPath(L"gif\\anim3.gif").c_str(), 0, 0, nullptr), NR_OK);
    NImageFileMNG writer;
    writer.saveOptions.animationOff = 1;
    const std::wstring path = dir.File(L"still.mng");
    ASSERT_EQ(writer.SaveFrom(path.c_str(), &gif), NR_OK);
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    ASSERT_GE(bytes.size(), 8u);
    EXPECT_TRUE(std::equal(pngtest::Signature().begin(), pngtest::Signature().end(), bytes.begin()));

    NImageBuffer pic;
    ASSERT_TRUE(pic.Create(4, 4, 24, RGB(1, 2, 3)));
    ASSERT_EQ(writer.Save(path.c_str(), &pic, nullptr), NR_OK);
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_TRUE(std::equal(pngtest::Signature().begin(), pngtest::Signature().end(), bytes.begin()));
    EXPECT_EQ(writer.Save(path.c_str(), nullptr, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_EQ(writer.SaveFrom(path.c_str(), nullptr), NR_INVALID_DATA);
}

TEST_F(MngTest, PagesAreWrittenOneByOne)
{
    NImageFileMNG writer;
    NImageBuffer first;
    NImageBuffer second;
    ASSERT_TRUE(first.Create(10, 6, 24, RGB(255, 0, 0)));
    ASSERT_TRUE(second.Create(10, 6, 8, RGB(0, 0, 255)));
    EXPECT_EQ(writer.AddPage(&first), NR_FILE_ERROR);
    EXPECT_EQ(writer.EndPages(), NR_FILE_ERROR);

    writer.pageTotal = 2;
    writer.pageDelay = 10;
    const std::wstring path = dir.File(L"pages.mng");
    ASSERT_EQ(writer.BeginPages(path.c_str(), &first), NR_OK);
    ASSERT_EQ(writer.AddPage(&first), NR_OK);
    ASSERT_EQ(writer.AddPage(&second), NR_OK);
    ASSERT_EQ(writer.EndPages(), NR_OK);

    NImageFileMNG reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.GetPageCount(), 2);
    const uint8_t* red = Row(reader.picture, 3, 0) + 5 * 3;
    const uint8_t* blue = Row(reader.picture, 3, 1) + 5 * 3;
    EXPECT_EQ(red[2], 255);
    EXPECT_EQ(red[0], 0);
    EXPECT_EQ(blue[0], 255);
    EXPECT_EQ(blue[2], 0);

    // A file that cannot be created is reported, and nothing is left.
    const std::wstring bad = dir.File(L"missing\\pages.mng");
    ASSERT_EQ(writer.BeginPages(bad.c_str(), &first), NR_OK);
    ASSERT_EQ(writer.AddPage(&first), NR_OK);
    EXPECT_EQ(writer.EndPages(), NR_FILE_OPEN_WRITE);
    EXPECT_FALSE(FileExists(bad));
}

}  // namespace

TEST(MngMemory, LargeBlocksComeBackClearedAndSmallOnesFresh)
{
    // A large block given back is handed out again for the next picture of a similar size,
    // cleared as calloc would; one of less than half the size gets a block of its own.
    const size_t large = size_t{3} << 20;
    auto* first = static_cast<unsigned char*>(MngAllocate(large));
    ASSERT_NE(nullptr, first);
    std::memset(first, 0xAB, large);
    MngRelease(first, large);
    auto* second = static_cast<unsigned char*>(MngAllocate(large - 4096));
    ASSERT_EQ(first, second) << "the block was kept";
    for (size_t i = 0; i < large - 4096; i += 4093)
        ASSERT_EQ(0, second[i]) << i;
    auto* small = static_cast<unsigned char*>(MngAllocate(large / 4));
    ASSERT_NE(nullptr, small);
    EXPECT_NE(second, small);
    MngRelease(small, large / 4);
    MngRelease(second, large - 4096);
    // Several pictures in a row: every block is whole and cleared.
    for (int round = 0; round < 6; ++round) {
        const size_t size = (size_t{2} << 20) + static_cast<size_t>(round) * 300000;
        auto* block = static_cast<unsigned char*>(MngAllocate(size));
        ASSERT_NE(nullptr, block);
        EXPECT_EQ(0, block[0]);
        EXPECT_EQ(0, block[size - 1]);
        std::memset(block, 0x5C, size);
        MngRelease(block, size);
    }
}

namespace {

// An MNG of an MHDR and the given first picture chunks, ended by MEND.
Bytes MngWith(const Bytes& picture, uint32_t w = 5, uint32_t h = 3)
{
    Bytes out = MngSignature();
    Append(out, Mhdr(w, h, 1000, 1));
    Append(out, picture);
    Append(out, Chunk("MEND", {}));
    return out;
}

// IHDR, IDAT of the raw (already filtered) data, IEND; interlace as given.
Bytes PictureOf(uint32_t w, uint32_t h, uint8_t depth, uint8_t colourType, uint8_t interlace, const Bytes& raw)
{
    Bytes ihdr;
    PutU32(ihdr, w);
    PutU32(ihdr, h);
    for (uint8_t v : {depth, colourType, uint8_t{0}, uint8_t{0}, interlace})
        ihdr.push_back(v);
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes zipped(size);
    compress(zipped.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    zipped.resize(size);
    Bytes out = Chunk("IHDR", ihdr);
    Append(out, Chunk("IDAT", zipped));
    Append(out, Chunk("IEND", {}));
    return out;
}

bool FirstImageChecks(const Bytes& file, PngFamilyPicture* answer = nullptr)
{
    MemoryByteSource source(file.data(), file.size());
    PngFamilyPicture image;
    const bool ok = CheckMngFirstImage(source, image);
    if (answer)
        *answer = image;
    return ok;
}

}  // namespace

TEST(MngFirstImageCheck, AcceptsWholePicturesAndLeavesAnythingElseToLibmng)
{
    PngFamilyPicture image;
    ASSERT_TRUE(FirstImageChecks(Fixture(L"single.mng"), &image));
    EXPECT_EQ(24u, image.frameWidth);
    EXPECT_EQ(16u, image.frameHeight);
    ASSERT_TRUE(FirstImageChecks(Fixture(L"anim3.mng"), &image));
    EXPECT_EQ(24u, image.frameWidth);

    // 5 x 3 grey, 8 bits: three rows of a filter byte and 5 samples. Interlaced, the seven
    // passes hold rows of 1, 1, 1, 2, 2, 2 and 1 columns.
    const Bytes rows = {0, 1, 2, 3, 4, 5, 1, 1, 2, 3, 4, 5, 4, 1, 2, 3, 4, 5};
    EXPECT_TRUE(FirstImageChecks(MngWith(PictureOf(5, 3, 8, 0, 0, rows))));
    const Bytes passes = {0, 9, 0, 9, 0, 9, 0, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 9, 9, 9};
    // Pass sizes for 5 x 3: p1 1x1, p2 1x1, p3 2x0 (none), p4 1x1, p5 3x1, p6 2x2, p7 5x1.
    const Bytes adam7 = {0, 9, 0, 9, 0, 9, 0, 9, 9, 9, 0, 9, 9, 0, 9, 9, 0, 9, 9, 9, 9, 9};
    EXPECT_TRUE(FirstImageChecks(MngWith(PictureOf(5, 3, 8, 0, 1, adam7))));
    EXPECT_FALSE(FirstImageChecks(MngWith(PictureOf(5, 3, 8, 0, 1, passes)))) << "rows of another layout";

    const struct {
        const char* name;
        Bytes file;
    } refused[] = {
        {"a filter type above 4", MngWith(PictureOf(5, 3, 8, 0, 0, {0, 1, 2, 3, 4, 5, 5, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5}))},
        {"a row short", MngWith(PictureOf(5, 3, 8, 0, 0, {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4}))},
        {"a byte too many", MngWith(PictureOf(5, 3, 8, 0, 0, {0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0, 1, 2, 3, 4, 5, 0}))},
        {"a depth grey has not", MngWith(PictureOf(5, 3, 3, 0, 0, rows))},
        {"a palette picture without PLTE", MngWith(PictureOf(5, 3, 8, 3, 0, rows))},
        {"a JNG first", MngWith(Chunk("JHDR", Bytes(16, 0)))},
        {"no picture", MngWith({})},
    };
    for (const auto& c : refused)
        EXPECT_FALSE(FirstImageChecks(c.file)) << c.name;

    // The fixture with a byte of its image data spoilt, once with its CRC left and once with the
    // CRC made right again: refused either way.
    Bytes spoilt = Fixture(L"single.mng");
    for (const auto& chunk : pngtest::Chunks(spoilt)) {
        if (std::string(chunk.type) != "IDAT")
            continue;
        const size_t at = static_cast<size_t>(chunk.data - spoilt.data()) + chunk.length / 2;
        spoilt[at] ^= 0x55;
        EXPECT_FALSE(FirstImageChecks(spoilt)) << "CRC wrong";
        const Bytes body(chunk.data - 4, chunk.data + chunk.length);
        const uint32_t crc = static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size())));
        uint8_t* crcAt = spoilt.data() + (chunk.data - spoilt.data()) + chunk.length;
        crcAt[0] = static_cast<uint8_t>(crc >> 24);
        crcAt[1] = static_cast<uint8_t>(crc >> 16);
        crcAt[2] = static_cast<uint8_t>(crc >> 8);
        crcAt[3] = static_cast<uint8_t>(crc);
        EXPECT_FALSE(FirstImageChecks(spoilt)) << "CRC right, data spoilt";
        break;
    }
}

TEST(MngFirstImageCheck, ThePngCheckEndsAfterIend)
{
    for (const wchar_t* name : {L"rgb.png", L"rgba16.png", L"grey2-interlaced.png", L"palette-trns.png"}) {
        const Bytes png = pngtest::ReadFixture(std::wstring(L"png\\") + name);
        Bytes followed = png;
        followed.insert(followed.end(), 500, 0x3C);
        MemoryByteSource source(followed.data(), followed.size());
        PngFamilyPicture image;
        uint64_t end = 0;
        ASSERT_TRUE(CheckPngImage(source, image, end)) << static_cast<const void*>(name);
        EXPECT_EQ(png.size(), end);
        EXPECT_GT(image.frameWidth, 0u);
    }
    // An animated PNG is left to its own reader.
    const Bytes animated = pngtest::ReadFixture(L"png\\anim3.png");
    MemoryByteSource source(animated.data(), animated.size());
    PngFamilyPicture image;
    uint64_t end = 0;
    EXPECT_FALSE(CheckPngImage(source, image, end));
}
