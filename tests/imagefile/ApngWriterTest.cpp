// The animated-PNG writer: page-by-page and GIF-sourced animations read back by our own reader,
// the file's chunks, colour reductions, delays, progress reports and failures.
#include "imagefile/formats/ApngWriter.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "base/ProgressSink.h"
#include "base/TextSource.h"
#include "imagefile/LibraryTexts.h"
#include "imagefile/ProgressText.h"
#include "imagefile/formats/NImageFileGIF.h"
#include "imagefile/formats/NImageFilePNG.h"
#include "PngTestSupport.h"
#include "common/NativeTool.h"

using pngtest::Bytes;

namespace {

using PixelFn = std::function<void(int x, int y, uint8_t rgba[4])>;

// A 32-bit picture whose pixel (x, y), top row 0, is given as red, green, blue, alpha.
void MakeFrame(NImageBuffer& picture, int w, int h, const PixelFn& pixel, int bpp = 32)
{
    ASSERT_TRUE(picture.Create(w, h, bpp, 0));
    for (int y = 0; y < h; ++y) {
        uint8_t* row = picture.bits + static_cast<size_t>(h - 1 - y) * picture.stride;
        for (int x = 0; x < w; ++x) {
            uint8_t c[4] = {0, 0, 0, 255};
            pixel(x, y, c);
            uint8_t* p = row + static_cast<size_t>(x) * (bpp / 8);
            p[0] = c[2];
            p[1] = c[1];
            p[2] = c[0];
            if (bpp == 32)
                p[3] = c[3];
        }
    }
}

// The reference dump (red, green, blue, alpha, top row first) of the same pixels.
Bytes Dump(int w, int h, const PixelFn& pixel)
{
    Bytes out;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t c[4] = {0, 0, 0, 255};
            pixel(x, y, c);
            out.insert(out.end(), c, c + 4);
        }
    return out;
}

struct Written {
    Bytes file;
    std::vector<pngtest::ChunkView> chunks;
    std::vector<std::string> Types() const
    {
        std::vector<std::string> types;
        for (const auto& c : chunks)
            types.push_back(c.type);
        return types;
    }
    const pngtest::ChunkView* Find(const char* type) const
    {
        for (const auto& c : chunks)
            if (c.type == type)
                return &c;
        return nullptr;
    }
    int Count(const char* type) const
    {
        int n = 0;
        for (const auto& c : chunks)
            n += c.type == type;
        return n;
    }
};

Written ReadChunks(const std::wstring& path)
{
    Written w;
    EXPECT_TRUE(ReadWholeFile(path, w.file));
    w.chunks = pngtest::Chunks(w.file);
    return w;
}

// Writes the frames page by page with the given delays.
NRESULT WritePages(const std::wstring& path, std::vector<NImageBuffer>& frames, const std::vector<uint16_t>& delays,
                   NProgressSink* sink = nullptr)
{
    NImageFilePNG writer;
    writer.progressOverlay = sink;
    EXPECT_EQ(NR_OK, writer.BeginPages(path.c_str(), nullptr));
    for (size_t i = 0; i < frames.size(); ++i) {
        writer.pageDelay = delays[i];
        EXPECT_EQ(NR_OK, writer.AddPage(&frames[i]));
    }
    return writer.EndPages();
}

int TemporaryFrameFiles()
{
    wchar_t folder[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, folder);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((std::wstring(folder) + L"dlv*.tmp").c_str(), &found);
    if (find == INVALID_HANDLE_VALUE)
        return 0;
    int n = 0;
    do
        ++n;
    while (FindNextFileW(find, &found));
    FindClose(find);
    return n;
}

class RecordingSink : public NProgressSink {
public:
    void SetText(const wchar_t* text) override { texts.push_back(text ? text : L"<null>"); }
    void SetProgress(double, int, int) override {}
    std::vector<std::wstring> texts;
};

class ApngWriterTest : public ::testing::Test {
protected:
    TestDir dir;
};

// Five frames: the second differs from the first in one pixel, the third equals the second, the
// fourth moves a half-transparent block, the fifth clears most of the picture.
const PixelFn kFrames[5] = {
    [](int x, int y, uint8_t c[4]) {
        c[0] = static_cast<uint8_t>(x * 12);
        c[1] = static_cast<uint8_t>(y * 17);
        c[2] = static_cast<uint8_t>((x + y) * 5);
        c[3] = x == 0 ? 0 : 255;
    },
    [](int x, int y, uint8_t c[4]) {
        kFrames[0](x, y, c);
        if (x == 7 && y == 3) {
            c[0] = 1;
            c[1] = 2;
            c[2] = 3;
        }
    },
    [](int x, int y, uint8_t c[4]) { kFrames[1](x, y, c); },
    [](int x, int y, uint8_t c[4]) {
        kFrames[1](x, y, c);
        if (x >= 4 && x < 12 && y >= 5 && y < 9) {
            c[0] = 200;
            c[1] = 40;
            c[2] = 90;
            c[3] = 128;
        }
    },
    [](int x, int y, uint8_t c[4]) {
        c[0] = c[1] = c[2] = 0;
        c[3] = 0;
        if (y < 3) {
            c[0] = 10;
            c[1] = 250;
            c[2] = 10;
            c[3] = 255;
        }
    },
};

}  // namespace

TEST(ApngWriterSteps, Delays)
{
    struct Case {
        uint32_t ms, num, den;
    };
    const Case cases[] = {
        {0, 1, 20}, {30, 3, 100}, {100, 1, 10}, {600, 3, 5}, {750, 3, 4}, {1000, 1, 1},
        {1500, 3, 2}, {65535, 13107, 200},
    };
    for (const Case& c : cases) {
        uint32_t n = 0, d = 0;
        ApngWriter::DelayFraction(c.ms, n, d);
        EXPECT_EQ(c.num, n) << c.ms;
        EXPECT_EQ(c.den, d) << c.ms;
    }
    uint32_t n = 1, d = 10;
    ApngWriter::AddDelays(n, d, 1, 10);
    EXPECT_EQ(1u, n);
    EXPECT_EQ(5u, d);
    // Sums whose exact fraction does not fit 16-bit fields are rounded to one that does.
    n = 1;
    d = 999;
    ApngWriter::AddDelays(n, d, 1, 997);
    EXPECT_EQ(1u, n);
    EXPECT_EQ(500u, d);
    n = 60000;
    d = 1;
    ApngWriter::AddDelays(n, d, 60000, 1);
    EXPECT_EQ(65535u, n);
    EXPECT_EQ(1u, d);
}

TEST(ApngWriterSteps, ZlibWindow)
{
    struct Case {
        size_t raw;
        int field;
    };
    for (const Case& c : {Case{100, 0}, Case{256, 0}, Case{257, 1}, Case{1000, 2}, Case{16384, 6}, Case{16385, 7},
                          Case{100000, 7}}) {
        uint8_t header[2] = {0x78, 0xDA};
        ApngWriter::ShrinkZlibWindow(header, 2, c.raw);
        EXPECT_EQ(c.field, header[0] >> 4) << c.raw;
        EXPECT_EQ(8, header[0] & 0x0F);
        EXPECT_EQ(0xC0, header[1] & 0xE0);   // the level bits stay
        EXPECT_EQ(0u, (header[0] * 256u + header[1]) % 31) << c.raw;
    }
}

TEST_F(ApngWriterTest, PagesRoundTripThroughOwnReader)
{
    std::vector<NImageBuffer> frames(5);
    for (int i = 0; i < 5; ++i)
        MakeFrame(frames[i], 20, 14, kFrames[i]);
    const std::wstring path = dir.File(L"pages.png");
    const int temporaryBefore = TemporaryFrameFiles();
    ASSERT_EQ(NR_OK, WritePages(path, frames, {100, 30, 40, 600, 1500}));
    EXPECT_EQ(temporaryBefore, TemporaryFrameFiles());

    // The two equal frames are one, with both delays.
    NImageFilePNG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ASSERT_EQ(4, reader.GetPageCount());
    EXPECT_EQ((std::vector<uint16_t>{100, 70, 600, 1500}), reader.frameDelays);
    const int kept[4] = {0, 1, 3, 4};
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ("", pngtest::ComparePixels(reader.picture, Dump(20, 14, kFrames[kept[k]]), 4, k)) << k;

    // The chunks: acTL with the merged count, one run of sequence numbers from 0, the one-pixel
    // change as a 1 x 1 rectangle at that pixel.
    const Written w = ReadChunks(path);
    const auto* actl = w.Find("acTL");
    ASSERT_NE(nullptr, actl);
    EXPECT_EQ(4u, pngtest::GetU32(actl->data));
    EXPECT_EQ(0u, pngtest::GetU32(actl->data + 4));
    uint32_t expected = 0;
    std::vector<const pngtest::ChunkView*> fctls;
    for (const auto& c : w.chunks) {
        if (c.type == "fcTL" || c.type == "fdAT")
            EXPECT_EQ(expected++, pngtest::GetU32(c.data)) << c.type;
        if (c.type == "fcTL")
            fctls.push_back(&c);
    }
    ASSERT_EQ(4u, fctls.size());
    EXPECT_EQ(1u, pngtest::GetU32(fctls[1]->data + 4));
    EXPECT_EQ(1u, pngtest::GetU32(fctls[1]->data + 8));
    EXPECT_EQ(7u, pngtest::GetU32(fctls[1]->data + 12));
    EXPECT_EQ(3u, pngtest::GetU32(fctls[1]->data + 16));
    EXPECT_EQ(7, fctls[1]->data[20] * 256 + fctls[1]->data[21]);
    EXPECT_EQ(100, fctls[1]->data[22] * 256 + fctls[1]->data[23]);
    // The frame before IDAT is the first of the animation; the last one disposes nothing.
    EXPECT_LT(fctls[0]->offset, w.Find("IDAT")->offset);
    EXPECT_EQ(0, fctls[3]->data[24]);
    for (const auto* f : fctls) {
        EXPECT_LE(pngtest::GetU32(f->data + 4) + pngtest::GetU32(f->data + 12), 20u);
        EXPECT_LE(pngtest::GetU32(f->data + 8) + pngtest::GetU32(f->data + 16), 14u);
        EXPECT_LE(f->data[24], 2);
        EXPECT_LE(f->data[25], 1);
    }
    EXPECT_EQ("IEND", w.chunks.back().type);
}

TEST_F(ApngWriterTest, ColourReductions)
{
    // Few colours without transparency: a palette whose first entry is the added transparent one.
    std::vector<NImageBuffer> few(3);
    const PixelFn fewColours[3] = {
        [](int x, int, uint8_t c[4]) { c[0] = x < 5 ? 255 : 0; c[1] = 0; c[2] = x < 5 ? 0 : 255; },
        [](int x, int y, uint8_t c[4]) { c[0] = x < 5 ? 255 : 0; c[1] = y < 3 ? 128 : 0; c[2] = 9; },
        [](int, int y, uint8_t c[4]) { c[0] = c[1] = c[2] = static_cast<uint8_t>(y * 40); },
    };
    for (int i = 0; i < 3; ++i)
        MakeFrame(few[i], 10, 6, fewColours[i], 24);
    const std::wstring palettePath = dir.File(L"palette.png");
    ASSERT_EQ(NR_OK, WritePages(palettePath, few, {100, 100, 100}));
    const Written palette = ReadChunks(palettePath);
    EXPECT_EQ(3, palette.Find("IHDR")->data[9]);
    ASSERT_NE(nullptr, palette.Find("tRNS"));
    EXPECT_EQ(0, palette.Find("tRNS")->data[0]);
    ASSERT_NE(nullptr, palette.Find("PLTE"));
    EXPECT_EQ(3u * 13, palette.Find("PLTE")->length);   // 12 colours and the transparent entry
    NImageFilePNG reader;
    ASSERT_EQ(NR_OK, reader.Load(palettePath.c_str(), 0, 0, nullptr));
    ASSERT_EQ(3, reader.GetPageCount());
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ("", pngtest::ComparePixels(reader.picture, Dump(10, 6, fewColours[k]), 4, k)) << k;

    // Grey pixels only, with 200 levels: a grey file whose tRNS names a level no pixel has.
    std::vector<NImageBuffer> greys(2);
    const PixelFn greyLevels[2] = {
        [](int x, int y, uint8_t c[4]) { c[0] = c[1] = c[2] = static_cast<uint8_t>(2 + (y * 20 + x) % 200); },
        [](int x, int y, uint8_t c[4]) { c[0] = c[1] = c[2] = static_cast<uint8_t>(2 + (y * 20 + x + 7) % 200); },
    };
    for (int i = 0; i < 2; ++i)
        MakeFrame(greys[i], 20, 10, greyLevels[i], 24);
    const std::wstring greyPath = dir.File(L"grey.png");
    ASSERT_EQ(NR_OK, WritePages(greyPath, greys, {50, 50}));
    const Written grey = ReadChunks(greyPath);
    EXPECT_EQ(0, grey.Find("IHDR")->data[9]);
    ASSERT_NE(nullptr, grey.Find("tRNS"));
    ASSERT_EQ(2u, grey.Find("tRNS")->length);
    const int freeLevel = grey.Find("tRNS")->data[1];
    EXPECT_TRUE(freeLevel < 2 || freeLevel > 201) << freeLevel;
    NImageFilePNG greyReader;
    ASSERT_EQ(NR_OK, greyReader.Load(greyPath.c_str(), 0, 0, nullptr));
    for (int k = 0; k < 2; ++k)
        EXPECT_EQ("", pngtest::ComparePixels(greyReader.picture, Dump(20, 10, greyLevels[k]), 4, k)) << k;
}

TEST_F(ApngWriterTest, SingleFrameIsAPlainPng)
{
    std::vector<NImageBuffer> one(1);
    MakeFrame(one[0], 9, 5, kFrames[0]);
    const std::wstring path = dir.File(L"one.png");
    ASSERT_EQ(NR_OK, WritePages(path, one, {100}));
    const Written w = ReadChunks(path);
    EXPECT_EQ(0, w.Count("acTL"));
    EXPECT_EQ(0, w.Count("fcTL"));
    EXPECT_EQ(0, w.Count("fdAT"));
    EXPECT_EQ("IHDR", w.chunks.front().type);
    EXPECT_EQ("IEND", w.chunks.back().type);
    // A small picture: a smaller zlib window with a valid check value.
    const auto* idat = w.Find("IDAT");
    ASSERT_NE(nullptr, idat);
    EXPECT_LT(idat->data[0] >> 4, 7);
    EXPECT_EQ(0u, (idat->data[0] * 256u + idat->data[1]) % 31);
    NImageFilePNG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(1, reader.GetPageCount());
    EXPECT_EQ("", pngtest::ComparePixels(reader.picture, Dump(9, 5, kFrames[0]), 4));
}

TEST_F(ApngWriterTest, Failures)
{
    std::vector<NImageBuffer> mixed(2);
    MakeFrame(mixed[0], 8, 8, kFrames[0]);
    MakeFrame(mixed[1], 9, 8, kFrames[0]);
    const std::wstring path = dir.File(L"mixed.png");
    const std::wstring log = ProgramFolder() + L"\\_NLogMsg.txt";
    Bytes before;
    ReadWholeFile(log, before);
    EXPECT_EQ(NR_DECODE_FAILED, WritePages(path, mixed, {100, 100}));
    EXPECT_FALSE(FileExists(path));
    Bytes after;
    ReadWholeFile(log, after);
    const std::string added(after.begin() + static_cast<ptrdiff_t>(std::min(before.size(), after.size())), after.end());
    EXPECT_NE(std::string::npos, added.find("all frames are expected to be 8x8")) << added;
    EXPECT_NE(std::string::npos, added.find("is 9x8")) << added;

    NImageFilePNG writer;
    EXPECT_EQ(NR_OK, writer.BeginPages(path.c_str(), nullptr));
    NImageBuffer empty;
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.AddPage(&empty));
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.AddPage(nullptr));
    EXPECT_EQ(NR_DECODE_FAILED, writer.EndPages());
    EXPECT_FALSE(FileExists(path));

    // An output that cannot be created.
    const std::wstring nowhere = dir.File(L"missing\\anim.png");
    ASSERT_EQ(NR_OK, writer.BeginPages(nowhere.c_str(), nullptr));
    ASSERT_EQ(NR_OK, writer.AddPage(&mixed[0]));
    EXPECT_EQ(NR_FILE_OPEN_WRITE, writer.EndPages());

    // Unreadable frame files, through the writer itself.
    NImageFilePNG owner;
    EXPECT_EQ(NR_DECODE_FAILED, WriteAnimatedPng(&owner, {NString(dir.File(L"none.png").c_str())}, path.c_str(),
                                                 false, 0, false, false, nullptr));
    EXPECT_EQ(NR_DECODE_FAILED, WriteAnimatedPng(&owner, {}, path.c_str(), false, 0, false, false, nullptr));
    EXPECT_FALSE(FileExists(path));
}

TEST_F(ApngWriterTest, GifSourceAndProgress)
{
    NImageFileGIF gif;
    ASSERT_EQ(NR_OK, gif.Load(TestDataPath(L"gif\\anim3.gif").c_str(), 0, 0, nullptr));
    ASSERT_EQ(3, gif.GetPageCount());

    const std::wstring path = dir.File(L"fromgif.png");
    NImageFilePNG png;
    ASSERT_EQ(NR_OK, png.SaveFrom(path.c_str(), &gif));
    NImageFilePNG reader;
    ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
    ASSERT_EQ(3, reader.GetPageCount());
    EXPECT_EQ((std::vector<uint16_t>{70, 70, 70}), reader.frameDelays);
    const Bytes reference = pngtest::ReadFixture(L"gif\\anim3.rgb");
    for (int k = 0; k < 3; ++k)
        EXPECT_EQ("", pngtest::ComparePixels(reader.picture, reference, 3, k, static_cast<size_t>(k) * 24 * 16 * 3));

    // With a sink every frame prepared and written is reported, in the built-in texts ...
    RecordingSink sink;
    ASSERT_EQ(NR_OK, png.SaveAnimationFrom(path.c_str(), &gif, &sink, false, false, false));
    const std::wstring head = path + L":\r\n";
    EXPECT_EQ((std::vector<std::wstring>{head + L"Preparing frame 1 of 3", head + L"Preparing frame 2 of 3",
                                         head + L"Preparing frame 3 of 3", head + L"Writing frame 1 of 2",
                                         head + L"Writing frame 2 of 2"}),
              sink.texts);
    // ... or in those of the text source, when they fit their arguments.
    struct Texts : NTextSource {
        NString GetText(const wchar_t*, const wchar_t*) const override { return NString(L""); }
        NString GetFormatText(const wchar_t*, const wchar_t* key, const wchar_t* kinds, const wchar_t*) const override
        {
            EXPECT_STREQ(L"dd", kinds);
            return NString(wcscmp(key, L"Frame1") == 0 ? L"P %d/%d" : L"W %d/%d");
        }
    } texts;
    SetLibraryTextSource(&texts);
    RecordingSink translated;
    ASSERT_EQ(NR_OK, png.SaveAnimationFrom(path.c_str(), &gif, &translated, true, false, false));
    SetLibraryTextSource(nullptr);
    ASSERT_EQ(5u, translated.texts.size());
    EXPECT_EQ(head + L"P 1/3", translated.texts[0]);
    EXPECT_EQ(head + L"W 2/2", translated.texts[4]);

    // Dropping the GPS tags, then the whole EXIF data, of the source.
    ASSERT_TRUE(gif.metadata.exif.Reset());
    ASSERT_TRUE(gif.metadata.exif.SetTagText("N", 3, 1));
    ASSERT_TRUE(gif.metadata.exif.SetTagText("Maker", 0, 271));
    ASSERT_EQ(NR_OK, png.SaveAnimationFrom(path.c_str(), &gif, nullptr, true, false, true));
    EXPECT_FALSE(gif.metadata.exif.RemoveTag(3, 1));
    EXPECT_TRUE(gif.metadata.exif.RemoveTag(0, 271));
    ASSERT_EQ(NR_OK, png.SaveAnimationFrom(path.c_str(), &gif, nullptr, true, true, false));
    EXPECT_EQ(nullptr, gif.metadata.exif.data);
    EXPECT_EQ(0, gif.metadata.exif.hasExif);

    // A still source, or animation switched off, writes one picture.
    png.saveOptions.animationOff = 1;
    ASSERT_EQ(NR_OK, png.SaveFrom(path.c_str(), &gif));
    NImageFilePNG still;
    ASSERT_EQ(NR_OK, still.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(1, still.GetPageCount());
    EXPECT_EQ("", pngtest::ComparePixels(still.picture, reference, 3));
    EXPECT_EQ(NR_INVALID_DATA, png.SaveFrom(path.c_str(), nullptr));
    EXPECT_EQ(NR_INVALID_DATA, png.SaveAnimationFrom(path.c_str(), nullptr, nullptr, true, false, false));
}

namespace {

// Runs apngdis (Debian's APNG disassembler, a native program) on the file in its folder: the
// composed frames become f<n>.png with the delays in f<n>.txt. False when it did not finish.
bool Disassemble(const std::wstring& folder, const wchar_t* file)
{
    std::string name;
    for (const wchar_t* p = file; *p; ++p)
        name += static_cast<char>(*p);
    return RunNativeCommand(folder, "/usr/bin/apngdis " + name + " f >/dev/null");
}

std::wstring DisassembledFrame(const std::wstring& folder, int n, const wchar_t* extension)
{
    for (const wchar_t* pattern : {L"f%d.", L"f%02d.", L"f%03d."}) {
        wchar_t name[32];
        swprintf(name, 32, pattern, n);
        const std::wstring path = folder + L"\\" + name + extension;
        if (FileExists(path))
            return path;
    }
    return {};
}

}  // namespace

// An independent reader (apngdis) composes the same frames with the same delays: the dispose and
// blend operations the writer chose mean what it meant by them.
TEST_F(ApngWriterTest, IndependentReaderAgrees)
{
    if (UnixPath(dir.Path()).empty() || !NativeProgramExists("/usr/bin/apngdis"))
        GTEST_SKIP() << "needs Wine and Debian's apngdis";
    std::vector<NImageBuffer> frames(5);
    for (int i = 0; i < 5; ++i)
        MakeFrame(frames[i], 20, 14, kFrames[i]);
    ASSERT_EQ(NR_OK, WritePages(dir.File(L"anim.png"), frames, {100, 30, 40, 600, 1500}));
    ASSERT_TRUE(Disassemble(dir.Path(), L"anim.png"));

    const int kept[4] = {0, 1, 3, 4};
    const char* delays[4] = {"delay=1/10", "delay=7/100", "delay=3/5", "delay=3/2"};
    for (int k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        const std::wstring png = DisassembledFrame(dir.Path(), k + 1, L"png");
        ASSERT_FALSE(png.empty());
        NImageFilePNG frame;
        ASSERT_EQ(NR_OK, frame.Load(png.c_str(), 0, 0, nullptr));
        EXPECT_EQ("", pngtest::ComparePixels(frame.picture, Dump(20, 14, kFrames[kept[k]]), 4));
        Bytes text;
        ASSERT_TRUE(ReadWholeFile(DisassembledFrame(dir.Path(), k + 1, L"txt"), text));
        EXPECT_EQ(delays[k], std::string(text.begin(), text.end()).substr(0, strlen(delays[k])));
    }
    EXPECT_TRUE(DisassembledFrame(dir.Path(), 5, L"png").empty());
}
