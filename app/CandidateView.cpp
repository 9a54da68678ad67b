#include "app/CandidateView.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>

#include "app/ImageErrorText.h"
#include "base/BitmapUtils.h"
#include "base/GdiOwners.h"
#include "imagefile/ImageFactory.h"
#include "imaging/ImageDraw.h"

namespace {

constexpr int kPlaceholderWidth = 500;
constexpr int kPlaceholderHeight = 200;
constexpr int kTextUnits = 2048;

void FormatInto(wchar_t* buffer, size_t units, const wchar_t* format, va_list args)
{
    buffer[0] = 0;
    if (format)
        _vsnwprintf(buffer, units - 1, format, args);
    buffer[units - 1] = 0;
}

void FormatIntoV(wchar_t* buffer, size_t units, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    FormatInto(buffer, units, format, args);
    va_end(args);
}

// Draws the symbol bitmap of the object's kind faintly in the middle of the picture.
void DrawSymbol(NImageBuffer& picture, FileType type)
{
    const int resourceId = type == FT_AUDIO ? 105 : type == FT_VIDEO ? 106 : 107;
    HBITMAP loaded = static_cast<HBITMAP>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(resourceId),
                                                     IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    if (!loaded)
        return;  // a program without the symbols draws the texts alone
    RecolorBitmap(&loaded, RGB(255, 255, 255), GetSysColor(COLOR_WINDOW));
    const BitmapOwner symbol(loaded);
    BITMAP info{};
    GetObjectW(symbol.Get(), sizeof(info), &info);
    const MemoryDcOwner symbolDc(CreateCompatibleDC(picture.dc));
    if (symbolDc) {
        const ObjectSelection selection(symbolDc.Get(), symbol.Get());
        AlphaBlendDC(picture.dc, picture.width / 2 - info.bmWidth / 2, picture.height / 2 - info.bmHeight / 2,
                     info.bmWidth, info.bmHeight, symbolDc.Get(), 0, 0, info.bmWidth, info.bmHeight, 0x23, 0);
    }
}

}  // namespace

bool LoadImageForView(NImageFile** out, const wchar_t* path, bool preview, bool quick, NRESULT* answer,
                      bool verifyOnly)
{
    if (answer)
        *answer = NR_NOT_SUPPORTED;
    if (!out)
        return false;
    *out = nullptr;
    const FileType type = FormatFromExtension(path ? path : L"");
    if (type == FT_MOV || type == FT_VIDEO || type == FT_AUDIO || type == FT_MFALIST) {
        auto* holder = new NImageFileGeneric();
        holder->formatId = type;
        holder->SetFileName(path);
        *out = holder;
        return false;
    }
    ImageLoadOptions options;
    options.toneParameter = 9;
    options.plugInFlag = 0;
    options.verifyOnly = verifyOnly ? 1 : 0;
    const NRESULT result = LoadImageFile(out, path, preview ? 1 : 0, quick ? 1 : 0, &options, FT_UNKNOWN);
    if (answer)
        *answer = result;
    if (result != NR_OK) {
        // Nobody looks at a verification's picture: it goes without the placeholder.
        if (verifyOnly)
            return false;
        wchar_t text[512];
        FormatIntoV(text, 512, L"%s", ImageErrorText(result));
        DrawErrorPlaceholder(*out, L"%s", text);
        return false;
    }
    return true;
}

bool DrawErrorPlaceholder(NImageFile* file, const wchar_t* format, ...)
{
    if (!file)
        return false;
    wchar_t error[kTextUnits];
    va_list args;
    va_start(args, format);
    FormatInto(error, kTextUnits, format, args);
    va_end(args);

    NImageBuffer& picture = file->picture;
    if (!picture.Create(kPlaceholderWidth, kPlaceholderHeight, 24, GetSysColor(COLOR_WINDOW)) || !picture.dc)
        return false;
    DrawSymbol(picture, file->GetFormatId());

    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        metrics.lfMenuFont.lfHeight = -12;
    LOGFONTW plain = metrics.lfMenuFont;
    LOGFONTW underlined = plain;
    underlined.lfWeight = 800;
    underlined.lfUnderline = TRUE;
    LOGFONTW large = plain;
    large.lfWeight = 900;
    large.lfUnderline = FALSE;
    {
        const WindowDc screen(nullptr);
        large.lfHeight = -MulDiv(36, screen ? GetDeviceCaps(screen.Get(), LOGPIXELSY) : 96, 72);
    }
    FontOwner fontA(CreateFontIndirectW(&plain));
    FontOwner fontB(CreateFontIndirectW(&underlined));
    FontOwner fontC(CreateFontIndirectW(&large));

    HDC dc = picture.dc;
    HGDIOBJ previousFont = SelectObject(dc, fontB.Get());
    DrawLightFrame(dc, 5, 5, picture.width - 5, picture.height - 5);
    RECT area{10, 10, picture.width - 10, picture.height - 10};
    SetBkMode(dc, TRANSPARENT);

    // DT_MODIFYSTRING may write an ellipsis past the text: room for four more units.
    wchar_t name[MAX_PATH + 4];
    FormatIntoV(name, MAX_PATH, L"%s", file->GetFileName() ? file->GetFileName() : L"");
    SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHT));
    DrawTextW(dc, name, -1, &area, DT_CENTER | DT_NOPREFIX | DT_END_ELLIPSIS | DT_MODIFYSTRING);

    wchar_t description[128] = {};
    CopyFileTypeDescription(description, 128, file->GetFormatId());
    wchar_t text[kTextUnits + 4];
    FormatIntoV(text, kTextUnits, L"Format:\n%s\n\nError:\n%s", description, error);
    OffsetRect(&area, 0, 40);
    SelectObject(dc, fontC.Get());
    SetTextColor(dc, GetSysColor(COLOR_WINDOWTEXT));
    DrawTextW(dc, text, -1, &area, DT_CENTER | DT_NOPREFIX | DT_WORDBREAK | DT_MODIFYSTRING);

    wchar_t stopped[32] = L"Execution stopped.";
    OffsetRect(&area, 0, 120);
    SelectObject(dc, fontA.Get());
    DrawTextW(dc, stopped, -1, &area, DT_CENTER | DT_NOPREFIX | DT_END_ELLIPSIS | DT_MODIFYSTRING);

    SelectObject(dc, previousFont);
    return false;
}
