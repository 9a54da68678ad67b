// Where a picture of the photo formats ends, found by walking its structure: the same size the
// loader reports as consumed, whatever follows the picture, and the same picture from only that
// many bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/MultiPictureJpeg.h"
#include "common/TestFiles.h"
#include "imagefile/ByteSource.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/formats/NImageFileGIF.h"
#include "imagefile/formats/NImageFileHEIC.h"
#include "imagefile/formats/NImageFileJP2.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "imagefile/formats/NImageFileJXR.h"
#include "imagefile/formats/NImageFilePDF.h"
#include "imagefile/formats/NImageFilePNG.h"
#include "imagefile/formats/NImageFileTIF.h"
#include "imagefile/formats/NImageFileWEBP.h"

namespace {

using Bytes = std::vector<unsigned char>;
using Walk = PictureExtent (*)(ByteSource&);

Bytes Load(const std::wstring& name)
{
    Bytes bytes;
    EXPECT_TRUE(ReadWholeFile(TestDataPath(name), bytes)) << std::string(name.begin(), name.end());
    return bytes;
}

Bytes Noise(size_t size, uint32_t seed)
{
    Bytes bytes(size);
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<unsigned char>(seed >> 16);
    }
    return bytes;
}

PictureExtent Measure(Walk walk, const Bytes& bytes)
{
    MemoryByteSource source(bytes.data(), bytes.size());
    return walk(source);
}

struct Loaded {
    NRESULT result = NR_FILE_NOT_FOUND;
    uint64_t consumed = 0;
    int width = 0;
    int height = 0;
    Bytes pixels;
};

Loaded LoadBytes(const Bytes& bytes, const std::wstring& extension)
{
    TestDir dir;
    const std::wstring path = dir.File(L"picture." + extension);
    WriteWholeFile(path, bytes);
    NImageFile* file = nullptr;
    Loaded loaded;
    loaded.result = LoadImageFile(&file, path.c_str(), 0, 1, nullptr, 0);
    if (file) {
        loaded.consumed = file->GetConsumedSize();
        const NImageBuffer& p = file->picture;
        if (p.valid) {
            loaded.width = p.width;
            loaded.height = p.height;
            loaded.pixels.assign(p.bits, p.bits + static_cast<size_t>(p.stride) * p.height);
        }
        delete file;
    }
    return loaded;
}

Bytes Cat(Bytes a, const Bytes& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Case {
    const wchar_t* fixture;
    const wchar_t* extension;
    Walk walk;
    bool endIsFileSize;   // the picture is the whole fixture
};

const Case kCases[] = {
    {L"jpeg\\rgb-gradient.jpg", L"jpg", &NImageFileJPG::FindExtent, false},
    {L"jpeg\\progressive.jpg", L"jpg", &NImageFileJPG::FindExtent, false},
    {L"jpeg\\exif-thumbnail.jpg", L"jpg", &NImageFileJPG::FindExtent, false},
    {L"jpeg\\rose-restart.jpg", L"jpg", &NImageFileJPG::FindExtent, false},
    {L"jpeg\\rose-arithmetic.jpg", L"jpg", &NImageFileJPG::FindExtent, false},
    {L"jpeg\\cmyk-icc.jpg", L"jpg", &NImageFileJPG::FindExtent, false},
    {L"png\\rgb.png", L"png", &NImageFilePNG::FindExtent, true},
    {L"png\\rgba16.png", L"png", &NImageFilePNG::FindExtent, true},
    {L"png\\rgb-interlaced.png", L"png", &NImageFilePNG::FindExtent, true},
    {L"png\\anim3.png", L"png", &NImageFilePNG::FindExtent, true},
    {L"gif\\single.gif", L"gif", &NImageFileGIF::FindExtent, true},
    {L"gif\\anim3.gif", L"gif", &NImageFileGIF::FindExtent, true},
    {L"gif\\anim-local.gif", L"gif", &NImageFileGIF::FindExtent, true},
    {L"tiff\\rgb-le.tif", L"tif", &NImageFileTIF::FindExtent, true},
    {L"tiff\\rgb-be-lzw.tif", L"tif", &NImageFileTIF::FindExtent, true},
    {L"tiff\\tiled-bw.tif", L"tif", &NImageFileTIF::FindExtent, true},
    {L"tiff\\pages10.tif", L"tif", &NImageFileTIF::FindExtent, true},
    {L"tiff\\rgb-jpeg.tif", L"tif", &NImageFileTIF::FindExtent, true},
    {L"tiff\\fax-204x196.tif", L"tif", &NImageFileTIF::FindExtent, true},
    {L"detect\\sample-mm.tif", L"tif", &NImageFileTIF::FindExtent, true},
    {L"webp\\lossy.webp", L"webp", &NImageFileWEBP::FindExtent, true},
    {L"webp\\lossless.webp", L"webp", &NImageFileWEBP::FindExtent, true},
    {L"webp\\lossy-alpha.webp", L"webp", &NImageFileWEBP::FindExtent, true},
    {L"webp\\anim.webp", L"webp", &NImageFileWEBP::FindExtent, true},
    {L"jxr\\bgr24.jxr", L"jxr", &NImageFileJXR::FindExtent, true},
    {L"jxr\\bgra32.jxr", L"jxr", &NImageFileJXR::FindExtent, true},
    {L"jp2\\rgb.j2k", L"j2k", &NImageFileJP2::FindExtent, true},
    {L"jp2\\ycc420.j2k", L"j2k", &NImageFileJP2::FindExtent, true},
    {L"jp2\\rgb.jp2", L"jp2", &NImageFileJP2::FindExtent, true},
    {L"jp2\\greya.jp2", L"jp2", &NImageFileJP2::FindExtent, true},
    {L"pdf\\jpeg1.pdf", L"pdf", &NImageFilePDF::FindExtent, true},
    {L"pdf\\mixed4.pdf", L"pdf", &NImageFilePDF::FindExtent, true},
};

std::string Name(const Case& c)
{
    const std::wstring w = c.fixture;
    return std::string(w.begin(), w.end());
}

}  // namespace

TEST(PhotoExtent, AgreesWithTheLoaderWhateverFollowsThePicture)
{
    for (const Case& c : kCases) {
        SCOPED_TRACE(Name(c));
        const Bytes picture = Load(c.fixture);
        const Loaded alone = LoadBytes(picture, c.extension);
        ASSERT_EQ(NR_OK, alone.result);
        for (const Bytes& after : {Noise(70000, 7), Bytes(9000, 0), Load(L"png\\rgb.png")}) {
            const Bytes carved = Cat(picture, after);
            const PictureExtent extent = Measure(c.walk, carved);
            ASSERT_TRUE(extent.IsComplete());
            const Loaded loaded = LoadBytes(carved, c.extension);
            ASSERT_EQ(NR_OK, loaded.result);
            EXPECT_EQ(loaded.consumed, extent.end);
            if (c.endIsFileSize)
                EXPECT_EQ(picture.size(), extent.end);
            // Only the measured bytes give the same picture and the same size.
            const Loaded cut = LoadBytes(Bytes(carved.begin(), carved.begin() + extent.end), c.extension);
            ASSERT_EQ(NR_OK, cut.result);
            EXPECT_EQ(extent.end, cut.consumed);
            EXPECT_EQ(loaded.width, cut.width);
            EXPECT_EQ(loaded.height, cut.height);
            EXPECT_TRUE(loaded.pixels == cut.pixels);
        }
        // Cut short inside the picture: never complete.
        const Bytes half(picture.begin(), picture.begin() + picture.size() / 2);
        EXPECT_FALSE(Measure(c.walk, half).IsComplete());
    }
}

TEST(PhotoExtent, HeaderValuesTheDecodersRefuseAreBroken)
{
    const Bytes jpeg = Load(L"jpeg\\rgb-gradient.jpg");
    auto withByte = [](Bytes bytes, size_t at, unsigned char value) {
        bytes[at] = value;
        return bytes;
    };
    // Start of image followed at once by the end of image, by a scan without a frame, and by a
    // reserved marker; a second start of image before the scan.
    EXPECT_TRUE(Measure(&NImageFileJPG::FindExtent, Bytes{0xFF, 0xD8, 0xFF, 0xD9, 0, 0}).IsBroken());
    EXPECT_TRUE(Measure(&NImageFileJPG::FindExtent, Bytes{0xFF, 0xD8, 0xFF, 0xDA, 0, 8, 1, 1, 0, 0, 63, 0}).IsBroken());
    EXPECT_TRUE(Measure(&NImageFileJPG::FindExtent, Bytes{0xFF, 0xD8, 0xFF, 0x05, 0, 4, 0, 0}).IsBroken());
    EXPECT_TRUE(Measure(&NImageFileJPG::FindExtent, Cat(Bytes{0xFF, 0xD8}, jpeg)).IsBroken());
    for (const Bytes& bytes : {Bytes{0xFF, 0xD8, 0xFF, 0xD9, 0, 0}, Cat(Bytes{0xFF, 0xD8}, jpeg)}) {
        const Loaded loaded = LoadBytes(bytes, L"jpg");
        EXPECT_NE(NR_OK, loaded.result);
    }

    const Bytes png = Load(L"png\\rgb.png");
    const Bytes pngCases[] = {
        withByte(png, 12, 'X'),                                   // no IHDR first
        withByte(png, 8, 0x80),                                   // a length beyond 2^31 - 1
        Bytes(png.begin(), png.end() - 12),                       // the data ends before IEND
    };
    for (const Bytes& bytes : pngCases) {
        EXPECT_TRUE(Measure(&NImageFilePNG::FindExtent, bytes).IsBroken());
        EXPECT_NE(NR_OK, LoadBytes(bytes, L"png").result);
    }

    const Bytes webp = Load(L"webp\\lossy.webp");
    Bytes tiny = webp;
    tiny[4] = 4;
    tiny[5] = tiny[6] = tiny[7] = 0;
    EXPECT_TRUE(Measure(&NImageFileWEBP::FindExtent, tiny).IsBroken());
    EXPECT_NE(NR_OK, LoadBytes(tiny, L"webp").result);
}

TEST(PhotoExtent, AMultiPictureJpegEndsAfterItsLastPicture)
{
    // Three JPEGs; the first carries an MPF index that names all three.
    const Bytes frames[3] = {Load(L"jpeg\\rgb-gradient.jpg"), Load(L"jpeg\\grey.jpg"), Load(L"jpeg\\rose-baseline.jpg")};
    const Bytes mpo = MakeMultiPictureJpeg({frames[0], frames[1], frames[2]});
    const size_t firstSize = mpo.size() - frames[1].size() - frames[2].size();
    const Bytes carved = Cat(mpo, Noise(50000, 3));
    const PictureExtent extent = Measure(&NImageFileJPG::FindExtent, carved);
    ASSERT_TRUE(extent.IsComplete());
    EXPECT_EQ(mpo.size(), extent.end);
    const Loaded loaded = LoadBytes(carved, L"jpg");
    ASSERT_EQ(NR_OK, loaded.result);
    EXPECT_EQ(mpo.size(), loaded.consumed);

    // An index that names a picture outside the data is not followed.
    const Bytes cut(mpo.begin(), mpo.end() - 100);
    const PictureExtent partial = Measure(&NImageFileJPG::FindExtent, cut);
    ASSERT_TRUE(partial.IsComplete());
    EXPECT_LT(partial.end, firstSize + 4096);
}

TEST(PhotoExtent, HeicEndsWithItsLastBox)
{
    const Bytes heic = Load(L"detect\\sample.heic");
    const PictureExtent extent = Measure(&NImageFileHEIC::FindExtent, Cat(heic, Noise(20000, 5)));
    ASSERT_TRUE(extent.IsComplete());
    EXPECT_EQ(heic.size(), extent.end);
    // Cut inside its last box, the end is not known.
    EXPECT_FALSE(Measure(&NImageFileHEIC::FindExtent, Bytes(heic.begin(), heic.end() - 10)).IsComplete());
}
