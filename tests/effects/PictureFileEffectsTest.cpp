// Grain, texture, overlay and frame effects with their pictures read through a loader.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "base/GdiOwners.h"
#include "effects/ColourTone.h"
#include "effects/EffectTestPictures.h"
#include "effects/FixedLooks.h"
#include "effects/PictureFileEffects.h"

using namespace effecttest;

namespace {

// Windows bitmaps through the system: all that the tests need in place of the image file layer.
bool LoadBitmapFile(NImageBuffer& target, const wchar_t* path)
{
    const BitmapOwner bitmap(static_cast<HBITMAP>(
        LoadImageW(nullptr, path, IMAGE_BITMAP, 0, 0, LR_LOADFROMFILE | LR_CREATEDIBSECTION)));
    return bitmap && target.CreateFromHBitmap(bitmap.Get());
}

std::vector<std::wstring> g_askedPaths;

// Notes every path it is asked for and loads none.
bool RecordPath(NImageBuffer&, const wchar_t* path)
{
    g_askedPaths.push_back(path);
    return false;
}

// A picture folder in a temporary tree: Masks\<fixtures> and, unless left out, the grain texture.
class PictureFiles : public testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(CreateDirectoryW(dir_.File(L"Masks").c_str(), nullptr));
        for (const wchar_t* name :
             {L"half-black-16x4.bmp", L"white-5x3.bmp", L"grey128-1x1.bmp", L"texture-3x2.bmp", L"overlay-16x4.bmp"}) {
            ASSERT_TRUE(CopyFileW(TestDataPath(std::wstring(L"effects\\") + name).c_str(),
                                  dir_.File(std::wstring(L"Masks\\") + name).c_str(), FALSE));
        }
        SetPictureFileLoader(LoadBitmapFile);
        SetPictureFileFolder(dir_.Path().c_str());
        g_askedPaths.clear();
    }
    void TearDown() override
    {
        SetPictureFileLoader(nullptr);
        SetPictureFileFolder(nullptr);
    }
    // The grain texture: the named fixture under the name the effect looks for.
    void InstallGrain(const wchar_t* fixture)
    {
        for (const wchar_t* folder : {L"Frames", L"Frames\\Shape", L"Frames\\Shape\\Border"})
            CreateDirectoryW(dir_.File(folder).c_str(), nullptr);
        ASSERT_TRUE(CopyFileW(TestDataPath(std::wstring(L"effects\\") + fixture).c_str(),
                              dir_.File(L"Frames\\Shape\\Border\\grainy.jpg").c_str(), FALSE));
    }

    TestDir dir_;
};

// AgedPhotoTone and full desaturation: GrainyOldPhoto without its grain.
bool AgedAndGrey(NImageBuffer& picture)
{
    return AgedPhotoTone(picture) && picture.AdjustSaturation(-100);
}

bool SameColours(const NImageBuffer& a, const NImageBuffer& b)
{
    if (a.width != b.width || a.height != b.height)
        return false;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x)
            if (ColourAt(a, x, y) != ColourAt(b, x, y))
                return false;
    return true;
}

}  // namespace

TEST_F(PictureFiles, GrainyOldPhotoWithoutGrainIsAgedToneAndGrey)
{
    for (bool loader : {true, false}) {
        SCOPED_TRACE(loader ? "grain file missing" : "no loader");
        if (!loader)
            SetPictureFileLoader(nullptr);
        for (int bpp : {24, 32}) {
            NImageBuffer picture, expected;
            ASSERT_TRUE(MakeNoise(picture, 23, 7, bpp, 4));
            ASSERT_TRUE(expected.Copy(picture));
            ASSERT_TRUE(AgedAndGrey(expected));
            ASSERT_TRUE(GrainyOldPhoto(picture));
            EXPECT_EQ(24, picture.bpp);
            EXPECT_EQ(Snapshot(expected), Snapshot(picture));

            // The warm one adds Warmth (10) twice.
            ASSERT_TRUE(MakeNoise(picture, 23, 7, bpp, 4));
            ASSERT_TRUE(Warmth(expected, 10) && Warmth(expected, 10));
            ASSERT_TRUE(GrainyOldPhotoWarm(picture));
            EXPECT_EQ(Snapshot(expected), Snapshot(picture));
        }
    }
}

TEST_F(PictureFiles, GrainyOldPhotoMultipliesByTheGrain)
{
    // Black grain on the left half, white on the right, already at the picture's size.
    InstallGrain(L"half-black-16x4.bmp");
    for (int bpp : {24, 32}) {
        NImageBuffer picture, expected;
        ASSERT_TRUE(MakeNoise(picture, 16, 4, bpp, 8));
        ASSERT_TRUE(expected.Copy(picture));
        ASSERT_TRUE(AgedAndGrey(expected));
        ASSERT_TRUE(GrainyOldPhoto(picture));
        EXPECT_EQ(24, picture.bpp);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(x < 8 ? RGB(0, 0, 0) : ColourAt(expected, x, y), ColourAt(picture, x, y)) << x << "," << y;
    }
    // A grain of another size is stretched over the picture: still black at the far left and
    // untouched at the far right.
    NImageBuffer wide, expected;
    ASSERT_TRUE(MakeNoise(wide, 64, 9, 24, 12));
    ASSERT_TRUE(expected.Copy(wide));
    ASSERT_TRUE(AgedAndGrey(expected));
    ASSERT_TRUE(GrainyOldPhoto(wide));
    for (int y = 0; y < 9; ++y) {
        EXPECT_EQ(RGB(0, 0, 0), ColourAt(wide, 2, y));
        EXPECT_EQ(ColourAt(expected, 61, y), ColourAt(wide, 61, y));
    }
}

TEST_F(PictureFiles, TextureOverlayIsAHardLight)
{
    // Grey 128 from a palette texture: c -> 255 - ((255 - c) * 127 >> 7).
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, 4, 3, bpp, RGB(100, 0, 255), 0x33));
        ASSERT_TRUE(TextureOverlay(picture, L"grey128-1x1.bmp"));
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x)
                EXPECT_EQ(RGB(102, 2, 255), ColourAt(picture, x, y));
        if (bpp == 32) {
            EXPECT_EQ(0x33, AlphaAt(picture, 3, 2)) << "alpha stays";
        }
    }
}

TEST_F(PictureFiles, TextureOverlayTilesFromTheBottomLeft)
{
    // The texture's blue bytes (rows from the top): 0, 64, 200 / 128, 255, 30. On channels of 100:
    // 0 -> 0, 64 -> 50, 200 -> 255 - (155 * 55 >> 7) = 189, 128 -> 102, 255 -> 255, 30 -> 23.
    const uint8_t fromBottomTextureRow[3] = {102, 255, 23};
    const uint8_t fromTopTextureRow[3] = {0, 50, 189};
    for (int bpp : {24, 32}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, 7, 5, bpp, RGB(100, 100, 100)));
        ASSERT_TRUE(TextureOverlay(picture, L"texture-3x2.bmp"));
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 7; ++x) {
                // Five rows: the bottom row and every second one above it meet the texture's
                // bottom row, so the top row does too.
                const bool bottomTextureRow = (4 - y) % 2 == 0;
                const uint8_t v = bottomTextureRow ? fromBottomTextureRow[x % 3] : fromTopTextureRow[x % 3];
                EXPECT_EQ(RGB(v, v, v), ColourAt(picture, x, y)) << x << "," << y;
            }
    }
}

TEST_F(PictureFiles, TextureOverlayRefusals)
{
    const std::wstring overlong(300, L'a');
    for (const wchar_t* name : {L"no-such-texture.bmp", L"", static_cast<const wchar_t*>(nullptr), overlong.c_str()}) {
        NImageBuffer picture;
        ASSERT_TRUE(MakeNoise(picture, 5, 4, 32, 1));
        const auto before = Snapshot(picture);
        EXPECT_FALSE(TextureOverlay(picture, name));
        EXPECT_EQ(before, Snapshot(picture));
    }
    NImageBuffer grey, empty;
    ASSERT_TRUE(MakeGrey8(grey, 3, 2));
    EXPECT_FALSE(TextureOverlay(grey, L"grey128-1x1.bmp"));
    EXPECT_FALSE(TextureOverlay(empty, L"grey128-1x1.bmp"));
    SetPictureFileLoader(nullptr);
    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 5, 4, 24, 1));
    EXPECT_FALSE(TextureOverlay(picture, L"grey128-1x1.bmp"));
}

TEST_F(PictureFiles, MaskFrame)
{
    // An all-white mask keeps the colours and gives 24 bits, from 32 bits and from a palette.
    NImageBuffer picture, original;
    ASSERT_TRUE(MakeNoise(picture, 5, 3, 32, 6));
    ASSERT_TRUE(original.Copy(picture));
    picture.dpiX = 300;
    ASSERT_TRUE(MaskFrame(picture, L"white-5x3.bmp", RGB(1, 2, 3)));
    EXPECT_EQ(24, picture.bpp);
    EXPECT_EQ(300, picture.dpiX) << "the resolution stays";
    EXPECT_TRUE(SameColours(original, picture));

    NImageBuffer grey, greyOriginal;
    ASSERT_TRUE(MakeGrey8(grey, 5, 3));
    ASSERT_TRUE(greyOriginal.Copy(grey));
    ASSERT_TRUE(MaskFrame(grey, L"white-5x3.bmp", RGB(1, 2, 3)));
    EXPECT_EQ(24, grey.bpp);
    EXPECT_TRUE(SameColours(greyOriginal, grey));

    // Black on the left shows the frame colour, white on the right the picture.
    for (int bpp : {24, 32}) {
        ASSERT_TRUE(MakeNoise(picture, 16, 4, bpp, 7));
        ASSERT_TRUE(original.Copy(picture));
        ASSERT_TRUE(MaskFrame(picture, L"half-black-16x4.bmp", RGB(10, 20, 30)));
        EXPECT_EQ(24, picture.bpp);
        for (int y = 0; y < 4; ++y)
            for (int x = 0; x < 16; ++x)
                EXPECT_EQ(x < 8 ? RGB(10, 20, 30) : ColourAt(original, x, y), ColourAt(picture, x, y));
    }

    // A missing mask: true, and the picture stays as it was, depth included.
    ASSERT_TRUE(MakeNoise(picture, 6, 6, 32, 2));
    const auto before = Snapshot(picture);
    EXPECT_TRUE(MaskFrame(picture, L"no-such-mask.bmp", RGB(1, 2, 3)));
    EXPECT_EQ(32, picture.bpp);
    EXPECT_EQ(before, Snapshot(picture));
    NImageBuffer empty;
    EXPECT_FALSE(MaskFrame(empty, L"white-5x3.bmp", RGB(1, 2, 3)));
}

TEST_F(PictureFiles, PictureOverlay)
{
    // Opaque red on the left half, fully transparent on the right.
    for (int bpp : {24, 32}) {
        SCOPED_TRACE(bpp);
        const COLORREF colour = RGB(20, 180, 90);
        NImageBuffer picture;
        ASSERT_TRUE(MakeSolid(picture, 16, 4, bpp, colour, 0x77));
        ASSERT_TRUE(PictureOverlay(picture, L"overlay-16x4.bmp", 255));
        EXPECT_EQ(RGB(255, 0, 0), ColourAt(picture, 0, 0));
        EXPECT_EQ(RGB(255, 0, 0), ColourAt(picture, 7, 3));
        EXPECT_EQ(colour, ColourAt(picture, 8, 0));
        EXPECT_EQ(colour, ColourAt(picture, 15, 3));
        if (bpp == 32) {
            EXPECT_EQ(0x77, AlphaAt(picture, 0, 0)) << "alpha stays";
            EXPECT_EQ(0x77, AlphaAt(picture, 15, 3));
        }

        // Half strength: (255 * 128 + 20 * 127) / 255 = 138, 180 * 127 / 255 = 89.6, 90 -> 44.8.
        ASSERT_TRUE(MakeSolid(picture, 16, 4, bpp, colour, 0x77));
        ASSERT_TRUE(PictureOverlay(picture, L"overlay-16x4.bmp", 128));
        const COLORREF half = ColourAt(picture, 3, 1);
        EXPECT_NEAR(138, GetRValue(half), 1);
        EXPECT_NEAR(90, GetGValue(half), 1);
        EXPECT_NEAR(45, GetBValue(half), 1);
        EXPECT_EQ(colour, ColourAt(picture, 12, 1));

        // Constant alpha 0 draws nothing.
        ASSERT_TRUE(MakeNoise(picture, 16, 4, bpp, 3));
        auto before = Snapshot(picture);
        ASSERT_TRUE(PictureOverlay(picture, L"overlay-16x4.bmp", 0));
        EXPECT_EQ(before, Snapshot(picture));

        // A mask without alpha counts as opaque: drawn at the constant alpha alone.
        ASSERT_TRUE(MakeSolid(picture, 5, 3, bpp, colour, 0x77));
        ASSERT_TRUE(PictureOverlay(picture, L"white-5x3.bmp", 255));
        EXPECT_EQ(RGB(255, 255, 255), ColourAt(picture, 2, 1));
        ASSERT_TRUE(MakeSolid(picture, 5, 3, bpp, RGB(0, 0, 0), 0x77));
        ASSERT_TRUE(PictureOverlay(picture, L"white-5x3.bmp", 51));
        const COLORREF fifth = ColourAt(picture, 2, 1);
        EXPECT_NEAR(51, GetRValue(fifth), 1);
        EXPECT_EQ(GetRValue(fifth), GetBValue(fifth));

        // A missing mask changes nothing and still answers true; an alpha outside 0..255 refuses.
        ASSERT_TRUE(MakeNoise(picture, 6, 5, bpp, 4));
        before = Snapshot(picture);
        EXPECT_TRUE(PictureOverlay(picture, L"no-such-overlay.bmp", 200));
        EXPECT_FALSE(PictureOverlay(picture, L"overlay-16x4.bmp", 256));
        EXPECT_FALSE(PictureOverlay(picture, L"overlay-16x4.bmp", -1));
        EXPECT_EQ(before, Snapshot(picture));
    }
    NImageBuffer empty;
    EXPECT_FALSE(PictureOverlay(empty, L"overlay-16x4.bmp", 255));
}

TEST_F(PictureFiles, PathsLieBelowTheProgramFolder)
{
    SetPictureFileFolder(nullptr);
    SetPictureFileLoader(RecordPath);
    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 4, 4, 24, 5));
    const auto before = Snapshot(picture);
    EXPECT_TRUE(MaskFrame(picture, L"oval.jpg", 0));
    EXPECT_TRUE(PictureOverlay(picture, L"vignette.png", 200));
    EXPECT_FALSE(TextureOverlay(picture, L"canvas.jpg"));
    EXPECT_EQ(before, Snapshot(picture));
    EXPECT_TRUE(GrainyOldPhoto(picture));
    const std::wstring folder = ProgramFolder();
    const std::vector<std::wstring> expected{
        folder + L"\\Masks\\oval.jpg", folder + L"\\Masks\\vignette.png", folder + L"\\Masks\\canvas.jpg",
        folder + L"\\Frames\\Shape\\Border\\grainy.jpg"};
    EXPECT_EQ(expected, g_askedPaths);
}

TEST_F(PictureFiles, OverlongMaskNamesAreMissingFiles)
{
    SetPictureFileLoader(RecordPath);
    // Folder, backslash, "Masks", backslash and the name: the longest name that fits leaves room
    // for the terminator of a MAX_PATH buffer.
    const size_t prefix = dir_.Path().size() + 7;
    ASSERT_LT(prefix, 200u);
    const std::wstring fits(MAX_PATH - 1 - prefix, L'f');
    const std::wstring tooLong(MAX_PATH - prefix, L't');
    const std::wstring farTooLong(5000, L'x');

    NImageBuffer picture;
    ASSERT_TRUE(MakeNoise(picture, 4, 4, 32, 5));
    const auto before = Snapshot(picture);
    EXPECT_TRUE(MaskFrame(picture, fits.c_str(), 0));
    ASSERT_EQ(1u, g_askedPaths.size());
    EXPECT_EQ(dir_.Path() + L"\\Masks\\" + fits, g_askedPaths[0]);

    g_askedPaths.clear();
    EXPECT_TRUE(MaskFrame(picture, tooLong.c_str(), 0));
    EXPECT_TRUE(PictureOverlay(picture, farTooLong.c_str(), 255));
    EXPECT_FALSE(TextureOverlay(picture, farTooLong.c_str()));
    EXPECT_TRUE(g_askedPaths.empty()) << "a cut path is never loaded";
    EXPECT_EQ(before, Snapshot(picture));
    EXPECT_EQ(32, picture.bpp);
}

TEST_F(PictureFiles, EveryEffectCopesWithOnePixelRowsColumnsAndWidePictures)
{
    InstallGrain(L"half-black-16x4.bmp");
    using Effect = std::function<bool(NImageBuffer&)>;
    const struct {
        const char* name;
        Effect effect;
    } effects[] = {
        {"GrainyOldPhoto", GrainyOldPhoto},
        {"GrainyOldPhotoWarm", GrainyOldPhotoWarm},
        {"TextureOverlay", [](NImageBuffer& p) { return TextureOverlay(p, L"texture-3x2.bmp"); }},
        {"PictureOverlay", [](NImageBuffer& p) { return PictureOverlay(p, L"overlay-16x4.bmp", 200); }},
        {"MaskFrame", [](NImageBuffer& p) { return MaskFrame(p, L"half-black-16x4.bmp", RGB(9, 8, 7)); }},
    };
    ExpectEveryEffectKeepsTheSize(effects, {{1, 1}, {1, 300}, {300, 1}, {20000, 2}}, false);
}
