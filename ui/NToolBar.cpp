#include "ui/NToolBar.h"

#include <vector>

#include "base/Dpi.h"
#include "imaging/ImageDraw.h"
#include "ui/NWinApp.h"
#include "ui/NWinException.h"
#include "ui/SkinSeam.h"

namespace {

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

constexpr int kTextUnits = 80;

}  // namespace

NToolBar::NToolBar()
    : m_customDraw(false),
      m_skinPictures(false),
      m_cornerRadius(0),
      m_selectedShadowStyle(0),
      m_hoverShadowStyle(0),
      m_normalShadowStyle(0),
      m_selectedShadowColour(0),
      m_selectedTextColour(0),
      m_hoverShadowColour(0),
      m_hoverTextColour(0),
      m_normalShadowColour(0),
      m_normalTextColour(0)
{
    Superclass(TOOLBARCLASSNAMEW, L"NToolBar");
}

NToolBar::~NToolBar()
{
    m_textIndex.clear();
    m_imageMap.clear();
}

LRESULT NToolBar::Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

int NToolBar::SkinInt(const wchar_t* key, int fallback)
{
    NSkin* skin = AppSkin();
    if (!skin || !key)
        return fallback;
    wchar_t ini[MAX_PATH] = {};
    skin->GetIniPath(ini, MAX_PATH);
    if (!ini[0])
        return fallback;
    return static_cast<int>(GetPrivateProfileIntW(L"Skin", key, fallback, ini));
}

HFONT NToolBar::MakeFont(const wchar_t* sizeKey, const wchar_t* boldKey, const wchar_t* italicKey,
                         const wchar_t* underlineKey)
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW font = metrics.lfMenuFont;
    font.lfHeight = -MulDiv(SkinInt(sizeKey, 16), GetDesktopDpi(), 72);
    font.lfQuality = CLEARTYPE_QUALITY;
    // A style key that is missing leaves that style off.
    font.lfWeight = SkinInt(boldKey, 0) == 1 ? 600 : 400;
    font.lfItalic = SkinInt(italicKey, 0) == 1 ? 1 : 0;
    font.lfUnderline = SkinInt(underlineKey, 0) == 1 ? 1 : 0;
    return CreateFontIndirectW(&font);
}

void NToolBar::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = 0x5600894C;
    m_cs.lpszClass = L"NToolBar";
}

LRESULT NToolBar::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CREATE) {
        // The control sets itself up first; the skin settings then go to a working tool bar.
        const LRESULT result = DefaultProc(window, message, wParam, lParam);
        if (result != -1)
            OnCreate();
        return result;
    }
    return NWindow::WndProc(window, message, wParam, lParam);
}

void NToolBar::OnCreate()
{
    Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
    Send(TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS | TBSTYLE_EX_MIXEDBUTTONS);
    m_customDraw = true;
    m_cornerRadius = 5;
    LoadTextColors(L"");
    m_normalFont.Reset(
        MakeFont(L"ToolBarFontSize", L"ToolBarFontBold", L"ToolBarFontItalic", L"ToolBarFontUnderline"));
    m_selectedFont.Reset(MakeFont(L"ToolBarFontSize", L"ToolBarFontSelectedBold", L"ToolBarFontSelectedItalic",
                                  L"ToolBarFontSelectedUnderline"));
    if (m_selectedFont)
        SetFont(m_selectedFont.Get());
}

void NToolBar::OnDestroy(WPARAM, LPARAM)
{
    m_normalImages.Reset();
    m_hotImages.Reset();
    m_disabledImages.Reset();
    m_normalFont.Reset();
    m_selectedFont.Reset();
    m_textIndex.clear();
    m_imageMap.clear();
}

bool NToolBar::LoadTextColors(const wchar_t* prefix)
{
    if (!prefix)
        return false;
    auto key = [prefix](const wchar_t* name) { return std::wstring(prefix) + name; };
    SkinSeam& skin = CurrentSkin();
    m_selectedShadowStyle = SkinInt(key(L"ToolBarTextSelectedColorShadowStyle").c_str(), 16);
    m_hoverShadowStyle = SkinInt(key(L"ToolBarTextHoverColorShadowStyle").c_str(), 16);
    m_normalShadowStyle = SkinInt(key(L"ToolBarTextColorShadowStyle").c_str(), 16);
    m_selectedShadowColour = skin.GetColor(key(L"ToolBarTextSelectedColorShadow").c_str());
    m_selectedTextColour = skin.GetColor(key(L"ToolBarTextSelectedColor").c_str());
    m_hoverShadowColour = skin.GetColor(key(L"ToolBarTextHoverColorShadow").c_str());
    m_hoverTextColour = skin.GetColor(key(L"ToolBarTextHoverColor").c_str());
    m_normalShadowColour = skin.GetColor(key(L"ToolBarTextColorShadow").c_str());
    m_normalTextColour = skin.GetColor(key(L"ToolBarTextColor").c_str());
    return true;
}

int NToolBar::GetShadowStyle(int state) const
{
    return state == 0 ? m_selectedShadowStyle : state == 1 ? m_hoverShadowStyle : m_normalShadowStyle;
}

LRESULT NToolBar::CommandToIndex(int id) { return Send(TB_COMMANDTOINDEX, id); }
LRESULT NToolBar::DisableButton(int id) { return Send(TB_ENABLEBUTTON, id, FALSE); }
LRESULT NToolBar::EnableButton(int id, bool enable) { return Send(TB_ENABLEBUTTON, id, enable ? TRUE : FALSE); }
LRESULT NToolBar::HideButton(int id, bool hide) { return Send(TB_HIDEBUTTON, id, hide ? TRUE : FALSE); }
LRESULT NToolBar::PressButton(int id, bool press) { return Send(TB_PRESSBUTTON, id, press ? TRUE : FALSE); }
void NToolBar::SetCustomDraw(bool on) { m_customDraw = on; }
void NToolBar::SetSkinPictures(bool on) { m_skinPictures = on; }
void NToolBar::SetCornerRadius(int radius) { m_cornerRadius = radius; }
LRESULT NToolBar::GetButtonCount() { return Send(TB_BUTTONCOUNT); }

int NToolBar::GetButtonState(int id)
{
    const LRESULT state = Send(TB_GETSTATE, id);
    if (state == -1) {
        ReportWinException(NWinException(L"NToolBar::GetButtonState failed"));
        return 0;
    }
    return static_cast<int>(state);
}

int NToolBar::GetButtonStyle(int id)
{
    try {
        const LRESULT index = CommandToIndex(id);
        if (index == -1)
            throw NWinException(L"NToolBar::GetButtonStyle failed to get command ID");
        TBBUTTON button{};
        if (!Send(TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)))
            throw NWinException(L"NToolBar::GetButtonStyle failed");
        return button.fsStyle;
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
    return 0;
}

int NToolBar::GetCommandID(int index)
{
    TBBUTTON button{};
    if (!Send(TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)))
        return 0;
    return button.idCommand;
}

LRESULT NToolBar::GetItemRect(int index, RECT* rect)
{
    if (!rect)
        return 0;
    *rect = {};
    const LRESULT count = GetButtonCount();
    if (index > count)
        return count;
    return Send(TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(rect));
}

int NToolBar::HitTestCursor()
{
    POINT cursor{};
    GetCursorPos(&cursor);
    ScreenToClient(m_hWnd, &cursor);
    int hit = -1;
    const int count = static_cast<int>(GetButtonCount());
    for (int i = 0; i < count; ++i) {
        RECT rect{};
        if (Send(TB_GETITEMRECT, i, reinterpret_cast<LPARAM>(&rect)) && PtInRect(&rect, cursor))
            hit = i;
    }
    return hit;
}

bool NToolBar::SetButtons(const int* ids, int count)
{
    try {
        while (GetButtonCount() > 0 && Send(TB_DELETEBUTTON, 0)) {
        }
        if (count > 0 && ids) {
            Send(TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON));
            int image = 0;
            for (int i = 0; i < count; ++i) {
                TBBUTTON button{};
                if (ids[i] == 0) {
                    button.fsStyle = BTNS_SEP;
                } else {
                    button.iBitmap = image;
                    button.idCommand = ids[i];
                    button.fsState = TBSTATE_ENABLED;
                    button.iString = -1;  // no text until one is set
                    m_imageMap.emplace(i, image);
                    ++image;
                }
                if (!Send(TB_ADDBUTTONSW, 1, reinterpret_cast<LPARAM>(&button)))
                    throw NWinException(L"NToolBar::SetButtons  .. TB_ADDBUTTONS failed ");
            }
        }
        Send(TB_SETMAXTEXTROWS, 0);
        Send(TB_AUTOSIZE);
        return true;
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
    return false;
}

int NToolBar::GetImageOfPosition(int position) const
{
    auto it = m_imageMap.find(position);
    return it == m_imageMap.end() ? -1 : it->second;
}

void NToolBar::SetButtonSize(int cx, int cy)
{
    Send(TB_SETBUTTONSIZE, 0, MAKELPARAM(cx, cy));
    Send(TB_AUTOSIZE);
}

LRESULT NToolBar::SetButtonState(int id, int state) { return Send(TB_SETSTATE, id, MAKELPARAM(state & 0xFFFF, 0)); }

bool NToolBar::SetButtonStyle(int id, int style)
{
    TBBUTTONINFOW info{};
    info.cbSize = sizeof(info);
    info.dwMask = TBIF_STYLE;
    info.fsStyle = static_cast<BYTE>(style);
    if (!Send(TB_SETBUTTONINFOW, id, reinterpret_cast<LPARAM>(&info))) {
        ReportWinException(NWinException(L"NToolBar::SetButtonStyle  failed"));
        return false;
    }
    Send(TB_AUTOSIZE);
    return true;
}

bool NToolBar::SetButtonText(int id, const wchar_t* text)
{
    if (!text)
        return false;
    try {
        const LRESULT index = CommandToIndex(id);
        if (index == -1)
            throw NWinException(L"NToolBar::SetButtonText  failed to get Command ID");
        wchar_t buffer[kTextUnits + 1] = {};
        lstrcpynW(buffer, text, kTextUnits - 1);  // at most 78 characters
        const std::wstring key = buffer;
        auto found = m_textIndex.find(key);
        int stringIndex = 0;
        if (found != m_textIndex.end()) {
            stringIndex = found->second;
        } else {
            if (m_textIndex.empty()) {
                // An empty first string ends the list at once, so the control adds nothing here;
                // buttons without a text carry no string index instead.
                const wchar_t empty[2] = {0, 0};
                Send(TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(empty));
            }
            buffer[lstrlenW(buffer) + 1] = 0;  // a list of one string ends with two NULs
            const LRESULT added = Send(TB_ADDSTRINGW, 0, reinterpret_cast<LPARAM>(buffer));
            if (added == -1)
                throw NWinException(L"NToolBar::SetButtonText  TB_ADDSTRING failed");
            stringIndex = static_cast<int>(added);
            m_textIndex.emplace(key, stringIndex);
        }
        TBBUTTON button{};
        if (!Send(TB_GETBUTTON, index, reinterpret_cast<LPARAM>(&button)))
            throw NWinException(L"NToolBar::SetButtonText  TB_GETBUTTON failed");
        button.iString = stringIndex;
        Send(WM_SETREDRAW, FALSE);
        if (!Send(TB_DELETEBUTTON, index)) {
            Send(WM_SETREDRAW, TRUE);
            throw NWinException(L"NToolBar::SetButtonText  TB_DELETEBUTTON failed");
        }
        if (!Send(TB_INSERTBUTTONW, index, reinterpret_cast<LPARAM>(&button))) {
            Send(WM_SETREDRAW, TRUE);
            throw NWinException(L"NToolBar::SetButtonText  TB_INSERTBUTTON failed");
        }
        if (Send(TB_GETTEXTROWS) == 0)
            Send(TB_SETMAXTEXTROWS, 1);
        if (button.idCommand != 0)
            SetButtonStyle(button.idCommand, GetButtonStyle(button.idCommand) | BTNS_SHOWTEXT | BTNS_AUTOSIZE);
        Send(WM_SETREDRAW, TRUE);
        RECT rect{};
        Send(TB_GETITEMRECT, index, reinterpret_cast<LPARAM>(&rect));
        InvalidateRect(m_hWnd, &rect, TRUE);
        return true;
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
    return false;
}

bool NToolBar::SetCommandID(int index, int id)
{
    if (!Send(TB_SETCMDID, index, id)) {
        ReportWinException(NWinException(L"NToolBar::SetCommandID failed"));
        return false;
    }
    return true;
}

bool NToolBar::SetImageList(int count, COLORREF mask, NImageBuffer* normal, NImageBuffer* hot,
                            NImageBuffer* disabled)
{
    if (count <= 0 || !normal || !normal->valid)
        return false;
    const int cellWidth = normal->width / count;
    const int cellHeight = normal->height;
    auto make = [&](NImageBuffer* picture, int grow) -> HIMAGELIST {
        HIMAGELIST list = ImageList_Create(cellWidth, cellHeight, ILC_COLOR32 | ILC_MASK, 0, grow);
        if (!list)
            return nullptr;
        // The bitmap leaves its device context while the list copies it.
        picture->DeselectBitmap();
        ImageList_AddMasked(list, picture->bitmap, mask);
        picture->SelectBitmap();
        return list;
    };
    try {
        m_normalImages.Reset(make(normal, 1));
        if (Send(TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(m_normalImages.Get())) == -1)
            throw NWinException(L"NToolBar::SetImageList ... TB_SETIMAGELIST failed ");
        if (hot && hot->valid) {
            m_hotImages.Reset(make(hot, 0));
            if (Send(TB_SETHOTIMAGELIST, 0, reinterpret_cast<LPARAM>(m_hotImages.Get())) == -1)
                throw NWinException(L"NToolBar::SetImageList ... TB_SETHOTIMAGELIST failed ");
        }
        if (disabled && disabled->valid) {
            m_disabledImages.Reset(make(disabled, 0));
            if (Send(TB_SETDISABLEDIMAGELIST, 0, reinterpret_cast<LPARAM>(m_disabledImages.Get())) == -1)
                throw NWinException(L"NToolBar::SetImageList ... TB_SETDISABLEDIMAGELIST failed ");
        }
        return true;
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
    return false;
}

void NToolBar::SetListStyle(bool on)
{
    ModifyStyle(on ? 0 : TBSTYLE_LIST, on ? TBSTYLE_LIST : 0);
}

LRESULT NToolBar::OnNotifyReflect(WPARAM, NMHDR* header)
{
    if (header && header->code == static_cast<UINT>(NM_CUSTOMDRAW) && m_customDraw) {
        LRESULT result = 0;
        CustomDraw(reinterpret_cast<NMCUSTOMDRAW*>(header), &result);
        return result;
    }
    return 0;
}

void NToolBar::DrawButtonText(HDC dc, const wchar_t* text, RECT rect, int shadowStyle, COLORREF shadow,
                              COLORREF colour)
{
    const UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
    if (shadowStyle == 1 || shadowStyle == 2) {
        RECT moved = rect;
        const int offset = shadowStyle == 1 ? -1 : 1;
        OffsetRect(&moved, offset, offset);
        SetTextColor(dc, shadow);
        DrawTextW(dc, text, -1, &moved, format);
    } else if (shadowStyle != 0) {
        return;  // any other style hides the text of that state
    }
    SetTextColor(dc, colour);
    DrawTextW(dc, text, -1, &rect, format);
}

void NToolBar::CustomDraw(NMCUSTOMDRAW* draw, LRESULT* result)
{
    if (!draw || !result)
        return;
    if (draw->dwDrawStage == CDDS_PREPAINT) {
        *result = CDRF_NOTIFYITEMDRAW | CDRF_NOTIFYPOSTPAINT;
        return;
    }
    if (draw->dwDrawStage != CDDS_ITEMPREPAINT)
        return;
    NSkin* skin = AppSkin();
    if (!skin || !skin->IsLoaded()) {
        *result = CDRF_DODEFAULT;
        return;
    }
    HDC dc = draw->hdc;
    RECT rect = draw->rc;
    const UINT state = draw->uItemState;
    const int command = static_cast<int>(draw->dwItemSpec);
    const bool list = (GetStyle() & TBSTYLE_LIST) != 0;
    const int style = GetButtonStyle(command);
    const bool dropDown = (style & (BTNS_DROPDOWN | BTNS_WHOLEDROPDOWN)) != 0;
    wchar_t text[kTextUnits] = {};
    const LRESULT length = Send(TB_GETBUTTONTEXTW, command, 0);
    if (length >= 1 && length <= 79)
        Send(TB_GETBUTTONTEXTW, command, reinterpret_cast<LPARAM>(text));
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    const int index = static_cast<int>(CommandToIndex(command));
    const int image = GetImageOfPosition(index);
    const bool hot = (state & CDIS_HOT) != 0;
    const bool selected = (state & CDIS_SELECTED) != 0;
    auto drawIcon = [&](HIMAGELIST images) {
        int cx = 0, cy = 0;
        if (!images || image < 0 || !ImageList_GetIconSize(images, &cx, &cy))
            return;
        if (list) {
            ImageList_Draw(images, image, dc, rect.left + 3, rect.top + height / 2 - cy / 2 - 1, ILD_TRANSPARENT);
            rect.left += cx;
        } else {
            ImageList_Draw(images, image, dc, rect.left + width / 2 - cx / 2 - (dropDown ? 5 : 0), rect.top + 2,
                           ILD_TRANSPARENT);
            rect.top += cy;
        }
    };
    SetBkMode(dc, TRANSPARENT);
    if (hot || selected) {
        if (m_skinPictures) {
            const RECT& r = draw->rc;
            if (hot)
                AlphaBlendImageStretched(dc, r.left, r.top, width, height, skin->toolbarButtonBackHover, 255,
                                         AC_SRC_ALPHA);
            if (selected)
                AlphaBlendImageStretched(dc, r.left, r.top, width, height, skin->toolbarButtonBackPressed, 255,
                                         AC_SRC_ALPHA);
        } else if (width > 0 && height > 2) {
            NImageBuffer base, gradient, mask;
            if (base.Create(width, height, 24, RGB(255, 0, 255)) && gradient.Create(width, height, 24, 0) &&
                mask.Create(width, height, 24, 0)) {
                DrawGradient(gradient.dc, 0, 1, width, height - 2, skin->GetColor(L"ToolBarHoverColorStart"),
                             skin->GetColor(L"ToolBarHoverColorEnd"), 1);
                FillRoundRectSolid(mask.dc, 0, 1, width, height - 1, RGB(255, 255, 255), m_cornerRadius);
                base.BlendThroughMask(gradient, mask, 0, 0);
                TransparentBlt(dc, rect.left, rect.top, width, height, base.dc, 0, 0, width, height, RGB(255, 0, 255));
            }
            DrawStyledRoundRect(dc, rect.left, rect.top + 1, rect.right, rect.bottom - 1, 1,
                                skin->GetColor(L"ToolBarHoverBorderColor"), 0, m_cornerRadius);
        }
        drawIcon(m_hotImages.Get());
        if (dropDown)
            rect.right -= 11;
        ObjectSelection font(dc, m_selectedFont.Get());
        if (selected)
            DrawButtonText(dc, text, rect, m_selectedShadowStyle, m_selectedShadowColour, m_selectedTextColour);
        if (hot)
            DrawButtonText(dc, text, rect, m_hoverShadowStyle, m_hoverShadowColour, m_hoverTextColour);
    } else {
        ObjectSelection font(dc, m_normalFont.Get());
        if (dropDown)
            rect.right -= 11;
        if (state & CDIS_DISABLED) {
            drawIcon(m_disabledImages.Get());
            DrawButtonText(dc, text, rect, 0, 0, skin->GetColor(L"ToolBarTextDisabledColor"));
        } else {
            drawIcon(m_normalImages.Get());
            if (m_normalShadowStyle == 0)
                DrawButtonText(dc, text, rect, 0, 0, skin->GetColor(L"ToolBarTextColor"));
            else
                DrawButtonText(dc, text, rect, m_normalShadowStyle, m_normalShadowColour, m_normalTextColour);
        }
    }
    *result = CDRF_SKIPDEFAULT;

    const RECT& item = draw->rc;
    const COLORREF arrow = skin->GetColor(L"ToolBarTextColor");
    const int middle = item.top + (item.bottom - item.top) / 2;
    if (style & BTNS_DROPDOWN) {
        for (int i = 0; i < 4; ++i)
            DrawLine(dc, item.right + i - 11, middle + i - 2, item.right - i - 3, middle + i - 2, 1, arrow);
        if (hot || selected)
            DrawLine(dc, item.right - 14, item.top + 1, item.right - 14, item.bottom - 2, 1, arrow);
    } else if (style & BTNS_WHOLEDROPDOWN) {
        for (int i = 0; i < 4; ++i)
            DrawLine(dc, item.right + i - 12, middle + i - 2, item.right - i - 4, middle + i - 2, 1, arrow);
    }
}
