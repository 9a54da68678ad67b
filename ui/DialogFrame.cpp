#include "ui/DialogFrame.h"

#include "base/Dpi.h"
#include "ui/NDialog.h"
#include "ui/NLanguage.h"
#include "ui/NStatic.h"
#include "ui/NWinApp.h"

HFONT MakeBoldControlFont(HWND control)
{
    HFONT current = control ? reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)) : nullptr;
    LOGFONTW font{};
    if (!current || GetObjectW(current, sizeof(font), &font) == 0)
        return nullptr;
    font.lfItalic = 0;
    font.lfWeight = FW_BOLD;
    font.lfQuality = CLEARTYPE_QUALITY;
    return CreateFontIndirectW(&font);
}

RECT ControlRectInClient(HWND dialog, HWND control)
{
    RECT rect{};
    if (!dialog || !control || !GetWindowRect(control, &rect))
        return RECT{};
    MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

void SwitchFramePage(NDialog* current, NDialog& page, int resourceId, HWND frame, const RECT& area)
{
    if (current && current->GetHwnd())
        ShowWindow(current->GetHwnd(), SW_HIDE);
    if (!page.GetHwnd())
        page.DoModeless(resourceId, frame);
    HWND window = page.GetHwnd();
    if (!window)
        return;
    MoveWindow(window, area.left, area.top, area.right - area.left, area.bottom - area.top, TRUE);
    ShowWindow(window, SW_SHOW);
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_SHOWWINDOW);
    SetFocus(window);
}

bool AttachFrameCaption(NStatic& caption, int controlId, NWindow* parent)
{
    if (!caption.NWindow::AttachDlgItem(controlId, parent))
        return false;
    caption.OnCreate();
    caption.ModifyStyle(SS_TYPEMASK, SS_OWNERDRAW | SS_NOTIFY);
    return true;
}

NString CaptionWindowText(HWND caption)
{
    wchar_t text[261] = {};
    if (caption)
        GetWindowTextW(caption, text, 261);
    return NString(text);
}

NString FrameButtonText(const wchar_t* key, const wchar_t* builtIn)
{
    NWinApp* app = NGetApp();
    NString text = app && app->GetLanguage() ? app->GetLanguage()->GetText(L"Messages", key, true) : NString(L"");
    return text.IsEmpty() ? NString(builtIn) : text;
}

HFONT MakeCaptionFont(int points, int weight, bool italic)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return nullptr;
    LOGFONTW font = metrics.lfCaptionFont;
    font.lfHeight = -MulDiv(points, GetDesktopDpi(), 72);
    font.lfWeight = weight;
    font.lfItalic = italic ? 1 : 0;
    font.lfQuality = CLEARTYPE_QUALITY;
    return CreateFontIndirectW(&font);
}
