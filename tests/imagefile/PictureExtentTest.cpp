// The structure walks of the scanned formats (FindExtent). For pictures written by real tools and
// built byte by byte, followed by noise, zeros or another picture: the walk is complete where the
// format's loader (with the scan's flags) stops, and a file cut there loads to the same picture
// with the same consumed size. A picture cut short is never complete, headers the loader refuses
// are broken, and no walk reads past the largest picture or far into data that never ends.
#include "imagefile/ByteSource.h"
#include "imagefile/PictureExtent.h"
#include "imagefile/extra/NImageFileBMP.h"
#include "imagefile/extra/NImageFileDCX.h"
#include "imagefile/extra/NImageFileFLT.h"
#include "imagefile/extra/NImageFileHDR.h"
#include "imagefile/extra/NImageFileICO.h"
#include "imagefile/extra/NImageFileIFF.h"
#include "imagefile/extra/NImageFileLMC.h"
#include "imagefile/extra/NImageFilePCD.h"
#include "imagefile/extra/NImageFilePSD.h"
#include "imagefile/formats/NImageFileJNG.h"
#include "imagefile/formats/NImageFileMNG.h"

#include "extra/LmcFixtures.h"
#include "extra/RasterFixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Blob = std::vector<uint8_t>;

struct Format {
    const char* name;
    const wchar_t* extension;
    PictureExtent (*find)(ByteSource&);
    bool (*isFormat)(const uint8_t*, uint64_t, uint64_t);
    std::function<std::unique_ptr<NImageFile>()> make;
};

template <class T>
bool CheckOf(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    return T::IsFormat(bytes, offset, length);
}

template <class T>
Format FormatOf(const char* name, const wchar_t* extension)
{
    return {name, extension, &T::FindExtent, &CheckOf<T>, [] { return std::make_unique<T>(); }};
}

const Format kBmp = FormatOf<NImageFileBMP>("BMP", L"bmp");
const Format kPsd = FormatOf<NImageFilePSD>("PSD", L"psd");
const Format kIff = FormatOf<NImageFileIFF>("IFF", L"iff");
const Format kHdr = FormatOf<NImageFileHDR>("HDR", L"hdr");
const Format kPcd = FormatOf<NImageFilePCD>("PCD", L"pcd");
const Format kFlt = FormatOf<NImageFileFLT>("FLT", L"flt");
const Format kDcx = FormatOf<NImageFileDCX>("DCX", L"dcx");
const Format kIco = FormatOf<NImageFileICO>("ICO", L"ico");
const Format kLmc = FormatOf<NImageFileLMC>("LMC", L"lmcdoc");
const Format kJng = FormatOf<NImageFileJNG>("JNG", L"jng");
const Format kMng = FormatOf<NImageFileMNG>("MNG", L"mng");

PictureExtent Walk(const Format& format, const Blob& bytes)
{
    MemoryByteSource source(bytes.data(), bytes.size());
    return format.find(source);
}

const char* KindName(const PictureExtent& e)
{
    return e.kind == PictureExtent::Kind::Complete ? "Complete" : e.IsBroken() ? "Broken" : "Unknown";
}

// Bytes as they may follow a picture on a disk.
Blob Noise(size_t length, uint32_t seed)
{
    Blob out(length);
    for (uint8_t& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return out;
}

Blob Joined(const Blob& a, const Blob& b)
{
    Blob out = a;
    out.insert(out.end(), b.begin(), b.end());
    return out;
}

// A load as the recovery scan makes it (quick, no preview), of bytes written under the format's
// extension.
struct Loaded {
    NRESULT result = NR_OK;
    uint64_t consumed = 0;
    std::unique_ptr<NImageFile> file;
};

Loaded Load(const Format& format, const TestDir& dir, const Blob& bytes)
{
    const std::wstring path = dir.File(std::wstring(L"candidate.") + format.extension);
    EXPECT_TRUE(WriteWholeFile(path, bytes));
    Loaded loaded;
    loaded.file = format.make();
    loaded.result = loaded.file->Load(path.c_str(), 0, 1, nullptr);
    loaded.consumed = loaded.file->GetConsumedSize();
    return loaded;
}

bool SamePicture(const NImageBuffer& a, const NImageBuffer& b)
{
    if (!a.valid || !b.valid || a.width != b.width || a.height != b.height || a.bpp != b.bpp || a.stride != b.stride)
        return false;
    if (a.bpp <= 8 && std::memcmp(a.palette, b.palette, sizeof a.palette) != 0)
        return false;
    return std::memcmp(a.bits, b.bits, static_cast<size_t>(a.stride) * a.height) == 0;
}

// ---- Pictures built byte by byte ----------------------------------------------------------

Blob BitmapFile(uint32_t width, uint32_t height, int bits, uint32_t compression, const Blob& pixels)
{
    const uint32_t palette = bits <= 8 ? 4u << bits : 0;
    Bytes b;
    b.text("BM").u32(54 + palette + static_cast<uint32_t>(pixels.size())).u32(0).u32(54 + palette);
    b.u32(40).u32(width).u32(height).u16(1).u16(bits).u32(compression).u32(0).u32(2835).u32(2835).u32(0).u32(0);
    for (uint32_t i = 0; i < palette; ++i)
        b.u8(i * 5);
    b.raw(pixels);
    return b.data;
}

Blob Rle4Bitmap()
{
    // Runs, a literal with its pad byte, a delta, line ends and the end of the bitmap.
    return BitmapFile(6, 3, 4, 2, {3, 0x12, 2, 0x34, 0, 0, 0, 5, 0x56, 0x78, 0x90, 0, 0, 2, 1, 1, 2, 0x11, 0, 1});
}

Blob TwoBitBitmap()
{
    return BitmapFile(5, 2, 2, 0, {0x1B, 0x80, 0, 0, 0xE4, 0x40, 0, 0});
}

// An FLT picture with a four-byte header extension.
Blob FltFile(uint32_t width, uint32_t height, int depth)
{
    Bytes f;
    f.text("IMAGE11").u8(0).u16(2).u16(6).u16(0).u32(width).u32(height).u16(depth).u32(0xDEADBEEF);
    const uint64_t rowBytes = depth == 1 ? ((width + 31) / 32) * 4 : uint64_t{width} * (depth / 8);
    for (uint64_t i = 0; i < rowBytes * height; ++i)
        f.u8(static_cast<unsigned>(i * 7 + 3));
    return f.data;
}

// A two-page DCX with a short page table (its own end marker), pages taken from a PCX file.
Blob TwoPageDcx()
{
    const Blob page = ReadDataFile(L"detect\\sample.pcx");
    Bytes d;
    d.u32(NImageFileDCX::kMagic).u32(16).u32(16 + static_cast<uint32_t>(page.size())).u32(0);
    d.raw(page).raw(page);
    return d.data;
}

// A PhotoCD image pack of Base size.
Blob PcdPack()
{
    Blob d(0xC0000, 0x80);
    std::memcpy(d.data() + 2048, "PCD_IPI", 7);
    return d;
}

// A document with a record of every kind the reader knows, some of them passed over by it.
Blob DocumentOfEveryRecord()
{
    using namespace lmc;
    NImageBuffer base;
    NImageBuffer small;
    base.Create(9, 7, 24, 0);
    small.Create(3, 2, 24, 0);
    FillPattern(base);
    FillPattern(small);
    const RECT r{0, 0, 6, 6};
    DocBytes b = MinimalDocument(base, "LMCDOC3");
    AppendRectangle(b, 1, 0xFF);
    AppendCommon(b, DOC_ELLIPSE, 2, r);
    b.u32(20).fill(20, 1);
    AppendCommon(b, DOC_RECTANGLE, 3, r);
    b.u32(7).fill(7, 0);   // a size that does not match: passed over
    AppendCommon(b, DOC_POLYLINE, 4, r);
    b.u32(32).u32(1).u32(2).u32(3).u32(2).u32(1).u32(2).u32(3).u32(4);
    AppendCommon(b, DOC_IMAGE_TEXT, 5, r);
    b.u32(17360).fill(17360, 0);
    AppendPicture(b, small, false, true, false);
    AppendCommon(b, DOC_TEXT, 6, r);
    b.u32(4 + 131).u32(2).u16('h').u16('i').fill(127, 0);
    AppendCommon(b, DOC_CURVE_IMAGE, 7, r);
    b.u32(0).fill(28, 0).u32(2).u32(1).u32(1).u32(2).u32(2);
    AppendPicture(b, small, true, false);
    AppendCommon(b, DOC_PICTURE, 8, r);
    b.u32(41).fill(37, 0);
    AppendPicture(b, small, true);
    AppendCommon(b, DOC_OLD_PICTURE, 9, r);
    AppendPicture(b, small, false);
    AppendCommon(b, DOC_OLD_PICTURE_STYLED, 10, r);
    b.u32(0).fill(20, 0);
    AppendPicture(b, small, true);
    AppendCommon(b, DOC_OLD_TEXT, 11, r);
    b.u32(16492).fill(16492, 0);
    AppendCommon(b, 42, 12, r);   // a type the reader does not know: passed over
    b.u32(5).fill(5, 9);
    // An old record: type, id, rectangle, shadow, colour, then the rest of its common part.
    b.u32(7836).u32(DOC_RECTANGLE).u32(13).u32(0).u32(0).u32(5).u32(5).u32(0).u32(0).fill(7836 - 32, 0);
    b.u32(24).fill(24, 0);
    return b.data;
}

// A document as the writer makes it: metadata, preview, objects.
Blob WrittenDocument(const TestDir& dir)
{
    NImageBuffer base;
    base.Create(30, 20, 24, 0);
    lmc::FillPattern(base);
    NObjectDocument doc;
    for (int32_t id = 1; id <= 2; ++id) {
        DocObject o;
        o.id = id;
        o.rect = RECT{0, 0, 20, 10};
        RectanglePayload p;
        doc.AddRectangle(o, &p);
    }
    const std::wstring path = dir.File(L"written.lmcdoc");
    Blob bytes;
    if (doc.Save(base, path.c_str(), true, &base, "<x:xmpmeta/>", std::string()) == NR_OK)
        ReadWholeFile(path, bytes);
    return bytes;
}

// ---- The pictures -------------------------------------------------------------------------

struct Picture {
    std::string name;
    const Format* format;
    Blob bytes;
    // The loader reads the records of whatever follows a document: see LMC below.
    bool loaderReadsOn = false;
};

std::vector<Picture> Pictures(const TestDir& dir)
{
    std::vector<Picture> list;
    auto fixture = [&](const Format& f, const std::wstring& relative) {
        list.push_back({f.name + (" " + std::string(relative.begin(), relative.end())), &f, ReadDataFile(relative)});
    };
    for (const wchar_t* n : {L"v3-1", L"v3-4", L"v3-8", L"rle8", L"v3-24", L"os2-8", L"v5-24", L"v5-32", L"v5-555",
                             L"v5-565"})
        fixture(kBmp, std::wstring(L"bmp\\") + n + L".bmp");
    fixture(kBmp, L"detect\\sample.bmp");
    list.push_back({"BMP RLE4", &kBmp, Rle4Bitmap()});
    list.push_back({"BMP 2-bit", &kBmp, TwoBitBitmap()});
    for (const wchar_t* n : {L"bitmap", L"cmyk", L"cmyka", L"grey", L"greya", L"indexed", L"rgb-raw", L"rgb-rle",
                             L"rgb16-rle", L"rgb16", L"rgba"})
        fixture(kPsd, std::wstring(L"psd\\") + n + L".psd");
    fixture(kPsd, L"detect\\sample.psd");
    for (const wchar_t* n : {L"chunky-rle", L"chunky", L"masked4", L"mono", L"pal3", L"pal4", L"pal8", L"rgb24-raw",
                             L"rgb24"})
        fixture(kIff, std::wstring(L"iff\\") + n + L".iff");
    for (const wchar_t* n : {L"small", L"small-flat", L"small-xmajor", L"small-flipped"})
        fixture(kHdr, std::wstring(L"hdr\\") + n + L".hdr");
    fixture(kHdr, L"detect\\sample.hdr");
    for (int depth : {1, 8, 16, 32})
        list.push_back({"FLT " + std::to_string(depth) + "-bit", &kFlt, FltFile(13, 5, depth)});
    fixture(kDcx, L"dcx\\three.dcx");
    fixture(kDcx, L"detect\\sample.dcx");
    list.push_back({"DCX short table", &kDcx, TwoPageDcx()});
    for (const wchar_t* n : {L"multi.ico", L"pal8.ico", L"png256.ico", L"arrow.cur"})
        fixture(kIco, std::wstring(L"ico\\") + n);
    fixture(kIco, L"detect\\sample.ico");
    for (const wchar_t* n : {L"colour", L"alpha", L"grey"})
        fixture(kJng, std::wstring(L"mng\\") + n + L".jng");
    fixture(kJng, L"detect\\sample.jng");
    for (const wchar_t* n : {L"single", L"anim3"})
        fixture(kMng, std::wstring(L"mng\\") + n + L".mng");
    fixture(kMng, L"detect\\sample.mng");

    NImageBuffer base;
    base.Create(5, 4, 24, 0);
    lmc::FillPattern(base);
    list.push_back({"LMC version 1", &kLmc, lmc::MinimalDocument(base, "LMCDOC1", false).data, true});
    list.push_back({"LMC version 2", &kLmc, lmc::MinimalDocument(base, "lmcdoc2").data, true});
    list.push_back({"LMC every record", &kLmc, DocumentOfEveryRecord(), true});
    list.push_back({"LMC written", &kLmc, WrittenDocument(dir), true});
    return list;
}

}  // namespace

TEST(PictureExtent, EndsWhereTheLoaderStopsAndTheCutFileLoadsTheSame)
{
    TestDir dir;
    for (const Picture& p : Pictures(dir)) {
        SCOPED_TRACE(p.name);
        const Format& f = *p.format;
        ASSERT_GT(p.bytes.size(), 16u);
        ASSERT_TRUE(f.isFormat(p.bytes.data(), 0, p.bytes.size()));
        const Loaded alone = Load(f, dir, p.bytes);
        ASSERT_EQ(NR_OK, alone.result);
        EXPECT_EQ(p.bytes.size(), alone.consumed);
        const PictureExtent whole = Walk(f, p.bytes);
        EXPECT_TRUE(whole.IsComplete()) << KindName(whole);
        EXPECT_EQ(p.bytes.size(), whole.end);

        const Blob tail = std::vector<uint8_t>(p.bytes.begin(), p.bytes.begin() + p.bytes.size() / 2);
        const struct {
            const char* what;
            Blob bytes;
        } after[] = {{"noise", Noise(6000, 91)}, {"zeros", Blob(6000, 0)}, {"another picture", tail}};
        for (const auto& a : after) {
            SCOPED_TRACE(a.what);
            const Blob carved = Joined(p.bytes, a.bytes);
            const PictureExtent e = Walk(f, carved);
            ASSERT_TRUE(e.IsComplete()) << KindName(e);
            const Loaded uncut = Load(f, dir, carved);
            ASSERT_EQ(NR_OK, uncut.result);
            if (p.loaderReadsOn && a.bytes[0] != 0)
                EXPECT_EQ(p.bytes.size(), e.end);
            else
                EXPECT_EQ(uncut.consumed, e.end);
            EXPECT_LE(e.end, p.bytes.size() + 4);

            const Loaded cut = Load(f, dir, Blob(carved.begin(), carved.begin() + static_cast<std::ptrdiff_t>(e.end)));
            ASSERT_EQ(NR_OK, cut.result);
            EXPECT_EQ(e.end, cut.consumed);
            EXPECT_TRUE(SamePicture(alone.file->picture, cut.file->picture));
        }
    }
}

TEST(PictureExtent, PictureCutShortIsNotComplete)
{
    TestDir dir;
    for (const Picture& p : Pictures(dir)) {
        SCOPED_TRACE(p.name);
        for (const size_t cut : {size_t{9}, p.bytes.size() / 3, p.bytes.size() / 2, p.bytes.size() - 1}) {
            SCOPED_TRACE(cut);
            const Blob bytes(p.bytes.begin(), p.bytes.begin() + static_cast<std::ptrdiff_t>(cut));
            const PictureExtent e = Walk(*p.format, bytes);
            EXPECT_FALSE(e.IsComplete());
            // Broken only where the data ends for good and the loader refuses what there is.
            if (e.IsBroken())
                EXPECT_NE(NR_OK, Load(*p.format, dir, bytes).result);
        }
    }
}

TEST(PictureExtent, PhotoCdPackIsNeverMeasured)
{
    // Load counts the whole file, and no field of the pack says where it ends.
    const Blob pack = PcdPack();
    EXPECT_EQ(PictureExtent::Kind::Unknown, Walk(kPcd, pack).kind);
    EXPECT_EQ(PictureExtent::Kind::Unknown, Walk(kPcd, Joined(pack, Noise(5000, 3))).kind);
    Blob other = pack;
    other[2050] = 'X';
    EXPECT_TRUE(Walk(kPcd, other).IsBroken());
}

namespace {

// Bytes in memory that stop at a limit rather than at the end of the data.
class UnfinishedSource final : public ByteSource {
public:
    explicit UnfinishedSource(const Blob& bytes) : memory_(bytes.data(), bytes.size()) {}
    uint64_t Size() const override { return memory_.Size(); }
    bool ReadAt(uint64_t position, void* buffer, size_t count) override { return memory_.ReadAt(position, buffer, count); }
    bool EndIsFinal() const override { return false; }

private:
    MemoryByteSource memory_;
};

}  // namespace

TEST(PictureExtent, HeadersTheLoaderRefusesAreBroken)
{
    TestDir dir;
    struct Case {
        const char* what;
        const Format* format;
        Blob bytes;
        std::function<void(Blob&)> damage;
    };
    const Blob bmp = ReadDataFile(L"bmp\\v3-8.bmp");
    const Blob psd = ReadDataFile(L"psd\\rgb-rle.psd");
    const Blob iff = ReadDataFile(L"iff\\pal4.iff");
    const Blob hdr = ReadDataFile(L"hdr\\small.hdr");
    const Blob dcx = TwoPageDcx();
    const Blob ico = ReadDataFile(L"ico\\pal8.ico");
    const Blob jng = ReadDataFile(L"mng\\colour.jng");
    const Blob mng = ReadDataFile(L"mng\\single.mng");
    NImageBuffer base;
    base.Create(5, 4, 24, 0);
    const Blob lmc = lmc::MinimalDocument(base, "LMCDOC3", false).data;
    auto put32 = [](Blob& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    auto put32be = [](Blob& b, size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    // IFF chunks after the form type, as (offset, name) of the fixture.
    auto chunkAt = [&](const char* name) {
        for (size_t at = 12; at + 8 <= iff.size();) {
            if (std::memcmp(iff.data() + at, name, 4) == 0)
                return at;
            const uint32_t size = (uint32_t{iff[at + 4]} << 24) | (uint32_t{iff[at + 5]} << 16) |
                                  (uint32_t{iff[at + 6]} << 8) | iff[at + 7];
            at += 8 + size + (size & 1);
        }
        return size_t{0};
    };
    const std::vector<Case> cases = {
        {"BMP planes 0", &kBmp, bmp, [](Blob& b) { b[26] = 0; }},
        {"BMP 33 bits", &kBmp, bmp, [](Blob& b) { b[28] = 33; }},
        {"BMP compression 7", &kBmp, bmp, [&](Blob& b) { put32(b, 30, 7); }},
        {"BMP width 0", &kBmp, bmp, [&](Blob& b) { put32(b, 18, 0); }},
        {"BMP too large", &kBmp, bmp, [&](Blob& b) { put32(b, 18, 100000), put32(b, 22, 100000); }},
        {"PSD version 3", &kPsd, psd, [](Blob& b) { b[5] = 3; }},
        {"PSD 17 channels", &kPsd, psd, [](Blob& b) { b[13] = 17; }},
        {"PSD colour mode 5", &kPsd, psd, [](Blob& b) { b[25] = 5; }},
        {"PSD depth 32", &kPsd, psd, [](Blob& b) { b[23] = 32; }},
        {"PSD width 0", &kPsd, psd, [&](Blob& b) { put32be(b, 18, 0); }},
        {"PSD compression 3", &kPsd, psd,
         [](Blob& b) {
             // The compression field follows the three sections (all empty here or skipped).
             size_t at = 26;
             for (int s = 0; s < 3; ++s)
                 at += 4 + ((uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) | b[at + 3]);
             b[at + 1] = 3;
         }},
        {"PSD resources past the largest picture", &kPsd, psd,
         [&](Blob& b) {
             const size_t modeData = 26;
             const uint32_t skip = (uint32_t{b[modeData]} << 24) | (uint32_t{b[modeData + 1]} << 16) |
                                   (uint32_t{b[modeData + 2]} << 8) | b[modeData + 3];
             put32be(b, modeData + 4 + skip, 0xF0000000);
         }},
        {"IFF body first", &kIff, iff, [&](Blob& b) { std::memcpy(b.data() + chunkAt("BMHD"), "XXXX", 4); }},
        {"IFF chunk past the largest picture", &kIff, iff, [&](Blob& b) { put32be(b, chunkAt("CMAP") + 4, 0xF0000000); }},
        {"IFF chunk size 0", &kIff, iff, [&](Blob& b) { put32be(b, chunkAt("CMAP") + 4, 0); }},
        {"IFF short header", &kIff, iff, [&](Blob& b) { put32be(b, chunkAt("BMHD") + 4, 10); }},
        {"IFF no planes", &kIff, iff, [&](Blob& b) { b[chunkAt("BMHD") + 16] = 0; }},
        {"IFF width 0", &kIff, iff, [&](Blob& b) { b[chunkAt("BMHD") + 8] = b[chunkAt("BMHD") + 9] = 0; }},
        {"HDR other format", &kHdr, hdr,
         [](Blob& b) {
             const auto at = std::search(b.begin(), b.end(), "rgbe", "rgbe" + 4);
             std::memcpy(&*at, "xyze", 4);
         }},
        {"HDR long resolution", &kHdr, Joined(Blob(hdr.begin(), std::search(hdr.begin(), hdr.end(), "\n\n", "\n\n" + 2) + 2),
                                               Blob(70, ' ')),
         [](Blob& b) {
             const Blob rest = {'-', 'Y', ' ', '1', ' ', '+', 'X', ' ', '1', '\n', 0, 0, 0, 0};
             b.insert(b.end(), rest.begin(), rest.end());
         }},
        {"HDR no resolution", &kHdr, hdr,
         [](Blob& b) {
             const auto at = std::search(b.begin(), b.end(), "-Y", "-Y" + 2);
             at[1] = 'Q';
         }},
        {"FLT depth 12", &kFlt, FltFile(4, 4, 8), [](Blob& b) { b[22] = 12; }},
        {"FLT width 0", &kFlt, FltFile(4, 4, 8), [&](Blob& b) { put32(b, 14, 0); }},
        {"DCX no pages", &kDcx, dcx, [&](Blob& b) { put32(b, 4, 0); }},
        {"DCX first page no PCX", &kDcx, dcx, [](Blob& b) { b[16] = 0x0B; }},
        {"DCX first page past the largest picture", &kDcx, dcx, [&](Blob& b) { put32(b, 4, 0xFFFFFF00); }},
        {"ICO no usable entry", &kIco, ico, [&](Blob& b) { put32(b, 22 + 4, 2); }},
        {"ICO entry past the largest picture", &kIco, ico, [&](Blob& b) { put32(b, 6 + 12, 0x90000000); }},
        {"ICO entry past the end of the data", &kIco, ico, [&](Blob& b) { put32(b, 6 + 12, 0x00F00000); }},
        {"IFF chunk past the end of the data", &kIff, iff, [&](Blob& b) { put32be(b, chunkAt("CMAP") + 4, 0x00F00000); }},
        {"LMC no end of signature", &kLmc, lmc, [](Blob& b) { b[14] = '4'; }},
        {"LMC picture width 0", &kLmc, lmc, [&](Blob& b) { put32(b, 18 + 8 + 1, 0); }},
        {"LMC metadata past the largest picture", &kLmc, lmc, [&](Blob& b) { put32(b, 18, 0xFFFFFFF0); }},
        {"LMC data that cannot inflate", &kLmc, lmc::MinimalDocument(base, "LMCDOC3", true).data,
         [&](Blob& b) { put32(b, 27, 10000), put32(b, 31, 10000); }},
        {"JNG signature", &kJng, jng, [](Blob& b) { b[6] = 0x1B; }},
        {"MNG signature", &kMng, mng, [](Blob& b) { b[4] = 0x0A; }},
        {"MNG header checksum", &kMng, mng, [](Blob& b) { b[8 + 8 + 3] ^= 1; }},
        {"JNG first chunk no header", &kJng, jng, [](Blob& b) { b[8 + 7] = 'X'; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Blob bytes = c.bytes;
        c.damage(bytes);
        ASSERT_TRUE(c.format->isFormat(bytes.data(), 0, bytes.size()));
        EXPECT_NE(NR_OK, Load(*c.format, dir, bytes).result);
        const Blob carved = Joined(bytes, Noise(3000, 5));
        const PictureExtent e = Walk(*c.format, carved);
        EXPECT_TRUE(e.IsBroken()) << KindName(e);
        // Data that only stops at a limit the caller set may go on to where the header points.
        if (std::strstr(c.what, "end of the data")) {
            UnfinishedSource unfinished(carved);
            EXPECT_EQ(PictureExtent::Kind::Unknown, c.format->find(unfinished).kind);
        }
    }
}

TEST(PictureExtent, EndThatTheCutFileCouldNotBeBelievedAtIsUnknown)
{
    // A large run-length bitmap whose data is only the end-of-bitmap escape: with data after it
    // the loader believes the size and stops at the escape, cut there it refuses the header.
    TestDir dir;
    const Blob bmp = BitmapFile(2000, 2000, 8, 1, {0, 1});
    const Blob carved = Joined(bmp, Noise(60000, 4));
    const Loaded uncut = Load(kBmp, dir, carved);
    ASSERT_EQ(NR_OK, uncut.result);
    EXPECT_EQ(bmp.size(), uncut.consumed);
    EXPECT_NE(NR_OK, Load(kBmp, dir, bmp).result);
    EXPECT_EQ(PictureExtent::Kind::Unknown, Walk(kBmp, carved).kind);
}

namespace {

// A source of `size` bytes: a header, then one byte over and over. Every read is recorded.
class EndlessSource final : public ByteSource {
public:
    EndlessSource(Blob header, uint8_t fill, uint64_t size) : header_(std::move(header)), fill_(fill), size_(size) {}
    uint64_t Size() const override { return size_; }
    bool ReadAt(uint64_t position, void* buffer, size_t count) override
    {
        if (!Holds(position, count))
            return false;
        furthest = std::max(furthest, position + count);
        bytesRead += count;
        uint8_t* out = static_cast<uint8_t*>(buffer);
        for (size_t i = 0; i < count; ++i)
            out[i] = position + i < header_.size() ? header_[static_cast<size_t>(position + i)] : fill_;
        return true;
    }
    uint64_t furthest = 0;
    uint64_t bytesRead = 0;

private:
    Blob header_;
    uint8_t fill_;
    uint64_t size_;
};

}  // namespace

TEST(PictureExtent, WalksStopAtTheLargestPictureAndInDataThatNeverEnds)
{
    const uint64_t huge = uint64_t{8} << 30;
    struct Case {
        const char* what;
        const Format* format;
        Blob header;
        uint8_t fill;
    };
    Blob rle = BitmapFile(64, 64, 8, 1, {});
    Blob farPixels = BitmapFile(30000, 20000, 24, 0, {});
    farPixels[10] = 0xF0;   // pixel data from byte 0xFFFFFFF0: past the largest picture
    farPixels[11] = farPixels[12] = farPixels[13] = 0xFF;
    Bytes iff;
    iff.text("FORM").u32be(0xF0000000).text("ILBM");
    Bytes hdr;
    hdr.text("#?RADIANCE\nFORMAT=32-bit_rle_rgbe\n\n-Y 20000 +X 20000\n");
    const Blob mngSignature = {0x8A, 'M', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    const std::vector<Case> cases = {
        {"BMP run-length data of line ends only", &kBmp, rle, 0},
        {"BMP pixels past the largest picture", &kBmp, farPixels, 0},
        {"IFF chunk of size 0", &kIff, iff.data, 0},
        {"IFF chunks running past the largest picture", &kIff, iff.data, 1},
        {"HDR damaged scanline", &kHdr, hdr.data, 2},
        {"HDR header that never ends", &kHdr, Blob(hdr.data.begin(), hdr.data.begin() + 11), 'a'},
        {"MNG chunks running past the largest picture", &kMng, mngSignature, 'A'},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EndlessSource source(c.header, c.fill, huge);
        const PictureExtent e = c.format->find(source);
        EXPECT_FALSE(e.IsComplete()) << KindName(e);
        EXPECT_LE(source.furthest, kLargestPicture);
    }
    // The run-length walk gives up soon after the most bytes an encoder could have written.
    EndlessSource zeros(rle, 0, huge);
    kBmp.find(zeros);
    EXPECT_LT(zeros.bytesRead, 64u * 1024);
}

TEST(PictureExtent, FileSourceAnswersAsMemory)
{
    TestDir dir;
    for (const wchar_t* relative : {L"psd\\rgb-rle.psd", L"ico\\multi.ico", L"mng\\anim3.mng"}) {
        const Blob bytes = Joined(ReadDataFile(relative), Noise(100, 1));
        const std::wstring path = dir.File(L"file.bin");
        ASSERT_TRUE(WriteWholeFile(path, bytes));
        FILE* file = _wfopen(path.c_str(), L"rb");
        ASSERT_NE(nullptr, file);
        StdioByteSource source(file);
        const Format& f = relative[0] == L'p' ? kPsd : relative[0] == L'i' ? kIco : kMng;
        const PictureExtent fromFile = f.find(source);
        fclose(file);
        const PictureExtent fromMemory = Walk(f, bytes);
        EXPECT_TRUE(fromFile.IsComplete());
        EXPECT_EQ(fromMemory.end, fromFile.end);
        EXPECT_EQ(bytes.size() - 100, fromFile.end);
    }
}
