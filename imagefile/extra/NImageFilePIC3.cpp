#include "imagefile/extra/NImageFilePIC3.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/StdioStream.h"

#include <cstring>
#include <cwchar>
#include <string>

namespace {

constexpr int kWidth = 320;
constexpr int kHeight = 200;
constexpr size_t kPlaneRowBytes = kWidth / 4;
constexpr size_t kPlaneBytes = kPlaneRowBytes * kHeight;

// The picture's path with its extension (if any) replaced by ".pal".
std::wstring PalettePath(const wchar_t* path)
{
    std::wstring name(path);
    const size_t slash = name.find_last_of(L"\\/:");
    const size_t dot = name.find_last_of(L'.');
    if (dot != std::wstring::npos && (slash == std::wstring::npos || dot > slash))
        name.resize(dot);
    return name + L".pal";
}

// 256 entries of three 6-bit values; false unless the whole table is there.
bool ReadPaletteFile(const std::wstring& path, uint8_t* paletteRgb)
{
    StdioStream pal;
    if (!pal.Open(path.c_str(), L"rb") || !pal.ReadExact(paletteRgb, 256 * 3))
        return false;
    for (int i = 0; i < 256 * 3; ++i)
        paletteRgb[i] = static_cast<uint8_t>(paletteRgb[i] * 4);
    return true;
}

}  // namespace

bool NImageFilePIC3::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 4))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "PIC");
}

NRESULT NImageFilePIC3::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t magic[3] = {};
    if (!in.ReadExact(magic, 3) || memcmp(magic, "PIC", 3) != 0)
        return NR_NOT_THIS_FORMAT;

    uint8_t paletteRgb[256 * 3];
    if (!ReadPaletteFile(PalettePath(path), paletteRgb)) {
        for (int i = 0; i < 256; ++i)
            paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = static_cast<uint8_t>(i);
    }
    if (!pic.Create(kWidth, kHeight, 8, 0, paletteRgb))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);

    uint8_t plane[kPlaneBytes];
    for (int p = 0; p < 4; ++p) {
        const size_t got = in.Read(plane, sizeof(plane));
        for (size_t i = 0; i < got; ++i) {
            const size_t y = i / kPlaneRowBytes;
            const size_t x = (i % kPlaneRowBytes) * 4 + static_cast<size_t>(p);
            pic.bits[(kHeight - 1 - y) * static_cast<size_t>(pic.stride) + x] = plane[i];
        }
        if (got < sizeof(plane))
            break;
    }

    consumedSize = in.PositionInFile();
    fullWidth = kWidth;
    fullHeight = kHeight;
    return NR_OK;
}

FileType NImageFilePIC3::GetFormatId() const
{
    return FT_PIC3;
}
