#include "ui/FocusCue.h"

#include <algorithm>

bool ShowsFocusCues(HWND control)
{
    if (!control)
        return false;
    const LRESULT state = SendMessageW(control, WM_QUERYUISTATE, 0, 0);
    return (state & UISF_HIDEFOCUS) == 0;
}

void DrawFocusCue(HWND control, HDC dc, UINT itemState, const wchar_t* text, const RECT& layout, UINT format,
                  const RECT& bounds)
{
    if (!dc || !(itemState & ODS_FOCUS) || (itemState & ODS_NOFOCUSRECT) || !ShowsFocusCues(control))
        return;
    RECT cue = layout;
    if (text && text[0]) {
        // Where the text lands: measured as drawn, then placed by the format's alignment.
        RECT measure = layout;
        DrawTextW(dc, text, -1, &measure, (format & ~(DT_VCENTER | DT_BOTTOM | DT_CENTER | DT_RIGHT)) | DT_CALCRECT);
        const LONG width = std::min(measure.right - measure.left, layout.right - layout.left);
        const LONG height = std::min(measure.bottom - measure.top, layout.bottom - layout.top);
        cue.left = (format & DT_CENTER) ? layout.left + (layout.right - layout.left - width) / 2
                   : (format & DT_RIGHT) ? layout.right - width
                                         : layout.left;
        cue.right = cue.left + width;
        if ((format & DT_SINGLELINE) && (format & DT_VCENTER))
            cue.top = layout.top + (layout.bottom - layout.top - height) / 2;
        cue.bottom = cue.top + height;
        InflateRect(&cue, 2, 1);
    }
    cue.left = std::max(cue.left, bounds.left);
    cue.top = std::max(cue.top, bounds.top);
    cue.right = std::min(cue.right, bounds.right);
    cue.bottom = std::min(cue.bottom, bounds.bottom);
    if (cue.right - cue.left < 2 || cue.bottom - cue.top < 2)
        return;
    // DrawFocusRect inverts with the text colour's complement; keep the colours it expects.
    const COLORREF oldText = SetTextColor(dc, RGB(0, 0, 0));
    const COLORREF oldBack = SetBkColor(dc, RGB(255, 255, 255));
    DrawFocusRect(dc, &cue);
    SetTextColor(dc, oldText);
    SetBkColor(dc, oldBack);
}
