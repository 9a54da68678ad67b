// Effects with the grain texture and the mask pictures shipped beside the program.
#include "effects/PictureFileEffects.h"

#include <atomic>
#include <cstring>
#include <cwchar>
#include <mutex>
#include <string>

#include "base/ExePath.h"
#include "base/NString.h"
#include "effects/ColourTone.h"
#include "effects/EffectPixels.h"
#include "effects/FixedLooks.h"

using effects::ForEachLineParallel;
using effects::IsEffectPicture;
using effects::ScanLine;

namespace {

constexpr wchar_t kGrainTexture[] = L"Frames\\Shape\\Border\\grainy.jpg";
constexpr wchar_t kMaskFolder[] = L"Masks";
constexpr NImageBuffer::ResizeMode kLanczos3 = 9;

std::atomic<PictureFileLoader> g_loader{nullptr};
std::mutex g_folderLock;
std::wstring g_folder;  // empty: the program's folder

// A path in a MAX_PATH buffer: every append copies what still fits and keeps the terminator, and
// remembers that the path was cut.
class PathBuffer {
public:
    void Append(const wchar_t* text)
    {
        const size_t length = wcslen(text);
        const size_t room = MAX_PATH - 1 - length_;
        const size_t copied = length < room ? length : room;
        wmemcpy(text_ + length_, text, copied);
        length_ += copied;
        text_[length_] = L'\0';
        if (copied < length)
            cut_ = true;
    }
    // A backslash unless the path is empty or already ends with one.
    void AddBackslash()
    {
        if (length_ > 0 && text_[length_ - 1] != L'\\')
            Append(L"\\");
    }
    bool Empty() const { return length_ == 0; }
    bool Cut() const { return cut_; }
    const wchar_t* Text() const { return text_; }

private:
    wchar_t text_[MAX_PATH] = {};
    size_t length_ = 0;
    bool cut_ = false;
};

// The folder the pictures lie under, with a trailing backslash; false when it cannot be had.
bool StartPath(PathBuffer& path)
{
    std::wstring folder;
    {
        const std::lock_guard<std::mutex> lock(g_folderLock);
        folder = g_folder;
    }
    if (folder.empty()) {
        NString exeFolder;
        if (!GetExeDirectory(exeFolder))
            return false;
        path.Append(exeFolder.c_str());
    } else {
        path.Append(folder.c_str());
    }
    path.AddBackslash();
    return !path.Empty();
}

// Loads the picture at the path through the loader; a path that was cut, a missing loader, a
// refusal or an invalid result count as a missing file (target left empty).
bool LoadPath(const PathBuffer& path, NImageBuffer& target)
{
    target.Destroy();
    const PictureFileLoader loader = g_loader.load();
    if (path.Cut() || !loader)
        return false;
    if (loader(target, path.Text()) && target.valid)
        return true;
    target.Destroy();
    return false;
}

bool LoadGrainTexture(NImageBuffer& target)
{
    PathBuffer path;
    if (!StartPath(path))
        return false;
    path.Append(kGrainTexture);
    return LoadPath(path, target);
}

bool LoadMaskPicture(const wchar_t* name, NImageBuffer& target)
{
    PathBuffer path;
    if (!name || !*name || !StartPath(path))
        return false;
    path.Append(kMaskFolder);
    path.AddBackslash();
    path.Append(name);
    return LoadPath(path, target);
}

// Copies the pixels of source onto the picture of the same size: byte for byte at the same depth,
// through the drawing surfaces otherwise (the picture keeps its depth).
void DrawOnto(const NImageBuffer& source, NImageBuffer& picture)
{
    if (source.bpp == picture.bpp && source.stride == picture.stride) {
        GdiFlush();
        std::memcpy(picture.bits, source.bits, static_cast<size_t>(picture.stride) * picture.height);
    } else {
        source.BlitTo(picture.dc, 0, 0, SRCCOPY);
        GdiFlush();
    }
}

// Darkens the picture by the grain: each channel becomes c * g / 255.
void ApplyGrain(NImageBuffer& picture, NImageBuffer& grain)
{
    if (!grain.ResizeImage(picture.width, picture.height, kLanczos3, false) || !grain.ConvertToGray8())
        return;
    NImageBuffer result;
    if (!result.Create(picture.width, picture.height, 24, RGB(0, 0, 0)) ||
        !result.BlendThroughMask(picture, grain, 0, 0))
        return;
    DrawOnto(result, picture);
}

uint8_t HardLight(int texture, int c)
{
    if (texture < 128)
        return static_cast<uint8_t>((texture * c) >> 7);
    return static_cast<uint8_t>(255 - (((255 - c) * (255 - texture)) >> 7));
}

}  // namespace

void SetPictureFileLoader(PictureFileLoader loader)
{
    g_loader.store(loader);
}

void SetPictureFileFolder(const wchar_t* folder)
{
    const std::lock_guard<std::mutex> lock(g_folderLock);
    g_folder = folder ? folder : L"";
}

bool GrainyOldPhoto(NImageBuffer& picture)
{
    if (!AgedPhotoTone(picture))
        return false;
    NImageBuffer grain;
    if (LoadGrainTexture(grain))
        ApplyGrain(picture, grain);
    picture.AdjustSaturation(-100);
    return true;
}

bool GrainyOldPhotoWarm(NImageBuffer& picture)
{
    if (!GrainyOldPhoto(picture))
        return false;
    Warmth(picture, 10);
    Warmth(picture, 10);
    return true;
}

bool TextureOverlay(NImageBuffer& picture, const wchar_t* name)
{
    if (!IsEffectPicture(picture))
        return false;
    NImageBuffer texture;
    if (!LoadMaskPicture(name, texture))
        return false;
    // The texture's first byte is read: blue, which is the grey of a grey palette texture.
    if (texture.bpp != 24 && texture.bpp != 32 && !texture.ConvertToBpp(24, false))
        return false;

    GdiFlush();
    const int step = picture.bpp / 8;
    const int width = picture.width;
    const int textureStep = texture.bpp / 8;
    const int textureWidth = texture.width;
    const int textureHeight = texture.height;
    ForEachLineParallel(picture, [&](uint8_t* row, int line) {
        const uint8_t* textureRow = ScanLine(texture, line % textureHeight);
        int textureX = 0;
        for (int x = 0; x < width; ++x, row += step) {
            const int g = textureRow[static_cast<size_t>(textureX) * textureStep];
            row[0] = HardLight(g, row[0]);
            row[1] = HardLight(g, row[1]);
            row[2] = HardLight(g, row[2]);
            if (++textureX == textureWidth)
                textureX = 0;
        }
    });
    return true;
}

bool PictureOverlay(NImageBuffer& picture, const wchar_t* name, int alpha)
{
    if (!picture.valid || alpha < 0 || alpha > 255)
        return false;
    NImageBuffer overlay;
    if (!LoadMaskPicture(name, overlay))
        return true;
    if (!overlay.ResizeImage(picture.width, picture.height, kLanczos3, false))
        return false;

    // A picture without alpha is drawn as an opaque one, at the constant alpha alone.
    int format = 0;
    if (overlay.bpp == 32) {
        overlay.PremultiplyAlpha();
        format = AC_SRC_ALPHA;
    } else if (overlay.bpp < 24 && !overlay.ConvertToBpp(24, false)) {
        return false;
    }
    // The blend composes alpha as well; the picture keeps its own.
    NImageBuffer keptAlpha;
    if (picture.bpp == 32 && !picture.ExtractChannel(4, keptAlpha))
        return false;

    GdiFlush();
    AlphaBlendImageStretched(picture.dc, 0, 0, picture.width, picture.height, overlay, alpha, format);
    GdiFlush();
    if (keptAlpha.valid)
        picture.InsertChannel(4, keptAlpha);
    return true;
}

bool MaskFrame(NImageBuffer& picture, const wchar_t* name, COLORREF frameColour)
{
    if (!picture.valid)
        return false;
    NImageBuffer mask;
    if (!LoadMaskPicture(name, mask))
        return true;
    if (!mask.ResizeImage(picture.width, picture.height, kLanczos3, false) || !mask.ConvertToGray8())
        return false;

    // The blend reads colour pictures only: a palette picture is blended from a 24-bpp copy.
    const NImageBuffer* source = &picture;
    NImageBuffer wide;
    if (picture.bpp < 24) {
        if (!wide.Copy(picture) || !wide.ConvertToBpp(24, false))
            return false;
        source = &wide;
    }
    NImageBuffer framed;
    if (!framed.Create(picture.width, picture.height, 24, frameColour) ||
        !framed.BlendThroughMask(*source, mask, 0, 0))
        return false;

    const int dpiX = picture.dpiX;
    const int dpiY = picture.dpiY;
    picture.Adopt(framed);
    picture.dpiX = dpiX;
    picture.dpiY = dpiY;
    return true;
}
