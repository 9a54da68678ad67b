// Carved candidates: the recovery scan hands a loader a file that starts with a picture and goes
// on with whatever followed it on the disk. Each of the formats below must load such a file as
// it loads the picture alone, and report the consumed size its loader defines, by which the
// scan cuts the candidate: the end of the picture's data for most, the whole file for PhotoCD
// (whose higher resolutions follow Base and are never cut off).
#include "imagefile/extra/NImageFileBMP.h"
#include "imagefile/extra/NImageFileDCX.h"
#include "imagefile/extra/NImageFileFLT.h"
#include "imagefile/extra/NImageFileHDR.h"
#include "imagefile/extra/NImageFileICO.h"
#include "imagefile/extra/NImageFileIFF.h"
#include "imagefile/extra/NImageFilePCD.h"
#include "imagefile/extra/NImageFilePSD.h"

#include "RasterFixtures.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Blob = std::vector<uint8_t>;

// An FLT picture ("IMAGE11" header) of the given depth with a small ramp.
Blob FltFile(uint32_t width, uint32_t height, int depth)
{
    Bytes f;
    f.text("IMAGE11").u8(0).u16(0).u16(0).u16(0).u32(width).u32(height).u16(depth);
    const size_t samples = static_cast<size_t>(width) * height;
    for (size_t i = 0; i < samples; ++i) {
        if (depth == 16)
            f.u16(static_cast<unsigned>(i * 997));
        else
            f.u8(static_cast<unsigned>(i * 7));
    }
    return f.data;
}

// A PhotoCD image pack of Base size: "PCD_IPI" at 2048, Base/16 at 8192 and Base at 0x30000,
// luma ramps with neutral chroma.
Blob PcdPack()
{
    Blob d(0xC0000, 0);
    const char signature[] = "PCD_IPI";
    std::memcpy(d.data() + 2048, signature, 7);
    d[72] = 8;
    const struct {
        size_t offset, width, height;
    } pictures[] = {{8192, 192, 128}, {0x30000, 768, 512}};
    for (const auto& pic : pictures) {
        size_t p = pic.offset;
        for (size_t pair = 0; pair < pic.height / 2; ++pair) {
            for (size_t x = 0; x < 2 * pic.width; ++x)
                d[p + x] = static_cast<uint8_t>(pair * 3 + x / 16);
            p += 2 * pic.width;
            std::memset(d.data() + p, 156, pic.width / 2);
            p += pic.width / 2;
            std::memset(d.data() + p, 137, pic.width / 2);
            p += pic.width / 2;
        }
    }
    return d;
}

// Bytes as they may follow a picture on a disk: noise with the odd marker-like byte.
Blob Noise(size_t length, uint32_t seed)
{
    Blob out(length);
    for (uint8_t& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return out;
}

struct CarvedCase {
    const char* name;
    std::function<std::unique_ptr<NImageFile>()> make;
    std::function<Blob()> file;
    bool consumesWholeFile;   // the loader's consumed size is the file's length
};

std::vector<CarvedCase> Cases()
{
    auto fixture = [](const wchar_t* relative) { return [relative] { return ReadDataFile(relative); }; };
    auto bmp = [] { return std::make_unique<NImageFileBMP>(); };
    auto psd = [] { return std::make_unique<NImageFilePSD>(); };
    auto ico = [] { return std::make_unique<NImageFileICO>(); };
    auto iff = [] { return std::make_unique<NImageFileIFF>(); };
    auto hdr = [] { return std::make_unique<NImageFileHDR>(); };
    auto flt = [] { return std::make_unique<NImageFileFLT>(); };
    auto dcx = [] { return std::make_unique<NImageFileDCX>(); };
    auto pcd = [] { return std::make_unique<NImageFilePCD>(); };
    return {
        {"BMP v3 24-bit", bmp, fixture(L"bmp\\v3-24.bmp"), false},
        {"BMP v3 1-bit", bmp, fixture(L"bmp\\v3-1.bmp"), false},
        {"BMP RLE8", bmp, fixture(L"bmp\\rle8.bmp"), false},
        {"BMP OS/2", bmp, fixture(L"bmp\\os2-8.bmp"), false},
        {"BMP v5 32-bit", bmp, fixture(L"bmp\\v5-32.bmp"), false},
        {"PSD raw", psd, fixture(L"psd\\rgb-raw.psd"), false},
        {"PSD run-length", psd, fixture(L"psd\\rgb-rle.psd"), false},
        {"PSD CMYK", psd, fixture(L"psd\\cmyk.psd"), false},
        {"ICO", ico, fixture(L"ico\\multi.ico"), false},
        {"ICO with PNG", ico, fixture(L"ico\\png256.ico"), false},
        {"CUR", ico, fixture(L"ico\\arrow.cur"), false},
        {"IFF ILBM run-length", iff, fixture(L"iff\\rgb24.iff"), false},
        {"IFF PBM", iff, fixture(L"iff\\chunky-rle.iff"), false},
        {"HDR run-length", hdr, fixture(L"hdr\\small.hdr"), false},
        {"HDR flat", hdr, fixture(L"hdr\\small-flat.hdr"), false},
        {"FLT 8-bit", flt, [] { return FltFile(13, 7, 8); }, false},
        {"FLT 16-bit", flt, [] { return FltFile(5, 9, 16); }, false},
        {"DCX", dcx, fixture(L"dcx\\three.dcx"), false},
        {"PCD", pcd, PcdPack, true},
    };
}

bool SamePicture(const NImageBuffer& a, const NImageBuffer& b)
{
    if (!a.valid || !b.valid || a.width != b.width || a.height != b.height || a.bpp != b.bpp || a.stride != b.stride)
        return false;
    if (a.bpp <= 8 && std::memcmp(a.palette, b.palette, sizeof a.palette) != 0)
        return false;
    return std::memcmp(a.bits, b.bits, static_cast<size_t>(a.stride) * a.height) == 0;
}

}  // namespace

TEST(CarvedCandidate, LoadsLikeThePictureAloneAndReportsItsEnd)
{
    TestDir dir;
    const std::wstring alonePath = dir.File(L"alone.bin");
    const std::wstring carvedPath = dir.File(L"carved.bin");
    for (const CarvedCase& c : Cases()) {
        SCOPED_TRACE(c.name);
        const Blob file = c.file();
        ASSERT_GT(file.size(), 16u);
        ASSERT_TRUE(WriteWholeFile(alonePath, file));
        std::unique_ptr<NImageFile> alone = c.make();
        ASSERT_EQ(NR_OK, alone->Load(alonePath.c_str(), 0, 0, nullptr));
        EXPECT_EQ(file.size(), alone->GetConsumedSize());

        // Followed by noise, and by the start of another picture of the same kind.
        Blob noisy = file;
        const Blob noise = Noise(5000, 77);
        noisy.insert(noisy.end(), noise.begin(), noise.end());
        Blob twice = file;
        twice.insert(twice.end(), file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
        for (const Blob* carved : {&noisy, &twice}) {
            SCOPED_TRACE(carved == &noisy ? "noise after" : "another picture after");
            ASSERT_TRUE(WriteWholeFile(carvedPath, *carved));
            std::unique_ptr<NImageFile> loaded = c.make();
            ASSERT_EQ(NR_OK, loaded->Load(carvedPath.c_str(), 0, 0, nullptr));
            EXPECT_TRUE(SamePicture(alone->picture, loaded->picture));
            EXPECT_EQ(c.consumesWholeFile ? carved->size() : file.size(), loaded->GetConsumedSize());
        }
    }
}
