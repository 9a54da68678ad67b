#include "ui/NComboBox.h"

#include <algorithm>
#include <vector>

#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "base/Log.h"
#include "imaging/ImageDraw.h"
#include "ui/ControlPainters.h"
#include "ui/NWinApp.h"

namespace {
NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}
}  // namespace

NComboBox::NComboBox() : m_itemHeight(0)
{
    Superclass(L"COMBOBOX", L"NComboBox");
}

NComboBox::~NComboBox()
{
    m_itemHeight = 0;
}

LRESULT NComboBox::Send(UINT message, WPARAM wParam, LPARAM lParam)
{
    return SendMessageW(m_hWnd, message, wParam, lParam);
}

bool NComboBox::AttachDlgItem(int controlId, NWindow* parent)
{
    const bool attached = NWindow::AttachDlgItem(controlId, parent);
    if (!attached)
        return false;
    // The owner-draw bits come from the template; the rest of the style is set here.
    if (!(GetStyle() & CBS_OWNERDRAWFIXED))
        LogMessage(L"NComboBox::AttachDlgItem .. combo box %d is not declared owner-drawn", controlId);
    SetStyle(kAttachedStyle | (GetStyle() & WS_TABSTOP));
    ScaleItemHeights();
    return attached;
}

void NComboBox::ScaleItemHeights()
{
    m_itemHeight = static_cast<int>(GetItemHeight(0));
    SetItemHeight(0, ScalePixelsForDpi(m_itemHeight));
    SetItemHeight(-1, ScalePixelsForDpi(m_itemHeight));
}

int NComboBox::ItemIndexOf(const DRAWITEMSTRUCT& item)
{
    if (item.itemState & ODS_COMBOBOXEDIT)
        return static_cast<int>(GetCurSel());
    return static_cast<int>(item.itemID);
}

void NComboBox::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = 0x56000640;
    m_cs.lpszClass = L"NComboBox";
    m_itemHeight = 0;
}

LRESULT NComboBox::OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return 1;
    }
    return NWindow::OnMessageReflect(message, wParam, lParam);
}

LRESULT NComboBox::OnCommandReflect(WPARAM wParam, LPARAM)
{
    switch (HIWORD(wParam)) {
    case CBN_SELCHANGE: return OnSelChange();
    case CBN_DBLCLK: return OnDblClk();
    case CBN_SETFOCUS: return OnSetFocus();
    case CBN_KILLFOCUS: return OnKillFocus();
    case CBN_EDITCHANGE: return OnEditChange();
    case CBN_EDITUPDATE: return OnEditUpdate();
    case CBN_DROPDOWN: return OnDropDown();
    case CBN_CLOSEUP: return OnCloseUp();
    case CBN_SELENDOK: return OnSelEndOk();
    case CBN_SELENDCANCEL: return OnSelEndCancel();
    default: return 1;
    }
}

LRESULT NComboBox::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_PAINT: {
        PAINTSTRUCT paint;
        if (HDC dc = BeginPaint(window, &paint)) {
            RECT client{};
            GetClientRect(window, &client);
            if (NSkin* skin = AppSkin())
                skin->DrawComboBoxHead(*this, dc, &client);
            EndPaint(window, &paint);
        }
        return 0;
    }
    case WM_ERASEBKGND:
        return 0;
    case WM_MOUSEMOVE:
        SetCursor(LoadCursorW(nullptr, IDC_HAND));
        break;
    default:
        break;
    }
    return NWindow::WndProc(window, message, wParam, lParam);
}

void NComboBox::DrawItem(DRAWITEMSTRUCT* item)
{
    NSkin* skin = AppSkin();
    if (!item || !skin)
        return;
    if (!GetDroppedState() || (item->itemState & ODS_COMBOBOXEDIT)) {
        skin->DrawComboBoxHead(*this, item->hDC, &item->rcItem);
        InvalidateRect(m_hWnd, nullptr, TRUE);
        UpdateWindow(m_hWnd);
        return;
    }
    const RECT& rc = item->rcItem;
    FillRectSolid(item->hDC, rc.left, rc.top, rc.right, rc.bottom, skin->GetColor(L"AppComboBoxBackColor"));
    NString text;
    GetLBText(static_cast<int>(item->itemID), text);
    SetBkMode(item->hDC, TRANSPARENT);
    SetTextColor(item->hDC, skin->GetColor(L"AppComboBoxTextColor"));
    HGDIOBJ oldFont = nullptr;
    if (HFONT font = GetFont())
        oldFont = SelectObject(item->hDC, font);
    RECT textRect = rc;
    textRect.left += 3;
    DrawTextW(item->hDC, text.c_str(), -1, &textRect, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (oldFont)
        SelectObject(item->hDC, oldFont);
    if (item->itemState & ODS_SELECTED)
        DrawRectOutline(item->hDC, rc.left, rc.top, rc.right, rc.bottom, 1, skin->GetColor(L"AppComboBoxBorderColor"));
}

LRESULT NComboBox::AddString(const wchar_t* text) { return Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }
LRESULT NComboBox::DeleteString(int index) { return Send(CB_DELETESTRING, index); }
LRESULT NComboBox::Dir(UINT attributes, const wchar_t* path)
{
    return Send(CB_DIR, attributes, reinterpret_cast<LPARAM>(path));
}
LRESULT NComboBox::FindString(int start, const wchar_t* text)
{
    return Send(CB_FINDSTRING, start, reinterpret_cast<LPARAM>(text));
}
LRESULT NComboBox::FindStringExact(int start, const wchar_t* text)
{
    return Send(CB_FINDSTRINGEXACT, start, reinterpret_cast<LPARAM>(text));
}
LRESULT NComboBox::GetCount() { return Send(CB_GETCOUNT); }
LRESULT NComboBox::GetCurSel() { return Send(CB_GETCURSEL); }
LRESULT NComboBox::GetDroppedControlRect(RECT* rect)
{
    return Send(CB_GETDROPPEDCONTROLRECT, 0, reinterpret_cast<LPARAM>(rect));
}
LRESULT NComboBox::GetDroppedState() { return Send(CB_GETDROPPEDSTATE); }
LRESULT NComboBox::GetDroppedWidth() { return Send(CB_GETDROPPEDWIDTH); }
LRESULT NComboBox::GetEditSel(DWORD* start, DWORD* end)
{
    return Send(CB_GETEDITSEL, reinterpret_cast<WPARAM>(start), reinterpret_cast<LPARAM>(end));
}
LRESULT NComboBox::GetExtendedUI() { return Send(CB_GETEXTENDEDUI); }
LRESULT NComboBox::GetHorizontalExtent() { return Send(CB_GETHORIZONTALEXTENT); }
LRESULT NComboBox::GetItemData(int index) { return Send(CB_GETITEMDATA, index); }
LRESULT NComboBox::GetItemHeight(int index) { return Send(CB_GETITEMHEIGHT, index); }
LRESULT NComboBox::GetLBText(int index, wchar_t* buffer)
{
    return Send(CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(buffer));
}

int NComboBox::GetLBText(int index, NString& text)
{
    if (index < 0 || index >= GetCount())
        return CB_ERR;
    const LRESULT length = GetLBTextLen(index);
    if (length < 0)
        return CB_ERR;
    std::vector<wchar_t> buffer;
    try {
        buffer.assign(static_cast<size_t>(length) + 1, L'\0');
    } catch (...) {
        return CB_ERR;
    }
    GetLBText(index, buffer.data());
    buffer.back() = L'\0';
    text = NString(buffer.data());
    return static_cast<int>(length);
}

LRESULT NComboBox::GetLBTextLen(int index) { return Send(CB_GETLBTEXTLEN, index); }
LRESULT NComboBox::GetLocale() { return Send(CB_GETLOCALE); }
LRESULT NComboBox::GetTopIndex() { return Send(CB_GETTOPINDEX); }
LRESULT NComboBox::InsertString(int index, const wchar_t* text)
{
    return Send(CB_INSERTSTRING, index, reinterpret_cast<LPARAM>(text));
}
LRESULT NComboBox::LimitText(int count) { return Send(CB_LIMITTEXT, count); }
LRESULT NComboBox::ResetContent() { return Send(CB_RESETCONTENT); }
LRESULT NComboBox::SelectString(int start, const wchar_t* text)
{
    return Send(CB_SELECTSTRING, start, reinterpret_cast<LPARAM>(text));
}
LRESULT NComboBox::SetCurSel(int index) { return Send(CB_SETCURSEL, index); }
LRESULT NComboBox::SetDroppedWidth(int width) { return Send(CB_SETDROPPEDWIDTH, width); }
LRESULT NComboBox::SetEditSel(int start, int end) { return Send(CB_SETEDITSEL, 0, MAKELPARAM(start, end)); }
LRESULT NComboBox::SetExtendedUI(bool on) { return Send(CB_SETEXTENDEDUI, on ? TRUE : FALSE); }
LRESULT NComboBox::SetHorizontalExtent(int extent) { return Send(CB_SETHORIZONTALEXTENT, extent); }
LRESULT NComboBox::SetItemData(int index, DWORD value) { return Send(CB_SETITEMDATA, index, value); }
LRESULT NComboBox::SetItemDataPtr(int index, void* value)
{
    return Send(CB_SETITEMDATA, index, reinterpret_cast<LPARAM>(value));
}
LRESULT NComboBox::SetItemHeight(int index, int height) { return Send(CB_SETITEMHEIGHT, index, height); }
LRESULT NComboBox::SetLocale(LCID locale) { return Send(CB_SETLOCALE, locale & 0xFFFF); }
LRESULT NComboBox::SetTopIndex(int index) { return Send(CB_SETTOPINDEX, index); }
LRESULT NComboBox::ShowDropDown(bool show) { return Send(CB_SHOWDROPDOWN, show ? TRUE : FALSE); }

void NComboBox::FitDroppedWidth()
{
    int widest = 0;
    {
        WindowDc dc(m_hWnd);
        if (!dc)
            return;
        ObjectSelection font(dc.Get(), GetFont());
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc.Get(), &metrics);
        const int count = static_cast<int>(GetCount());
        for (int i = 0; i < count; ++i) {
            NString text;
            if (GetLBText(i, text) < 0)
                continue;
            SIZE size{};
            GetTextExtentPoint32W(dc.Get(), text.c_str(), text.GetLength(), &size);
            widest = std::max(widest, static_cast<int>(size.cx + metrics.tmAveCharWidth));
        }
    }
    const int width = widest + 2 * GetSystemMetrics(SM_CXEDGE) + GetSystemMetrics(SM_CXVSCROLL);
    SetDroppedWidth(std::max(width, 100));
}

LRESULT NComboBox::OnCloseUp() { return 0; }
LRESULT NComboBox::OnDblClk() { return 0; }
LRESULT NComboBox::OnDropDown()
{
    if (m_itemHeight == 0) {
        m_itemHeight = static_cast<int>(GetItemHeight(0));
        SetItemHeight(0, ScalePixelsForDpi(m_itemHeight));
    }
    FitDroppedWidth();
    return 1;
}
LRESULT NComboBox::OnEditChange() { return 0; }
LRESULT NComboBox::OnEditUpdate() { return 0; }
LRESULT NComboBox::OnErrSpace() { return 0; }
LRESULT NComboBox::OnKillFocus() { return 0; }
LRESULT NComboBox::OnSelChange() { return 0; }
LRESULT NComboBox::OnSelEndCancel() { return 0; }
LRESULT NComboBox::OnSelEndOk() { return 0; }
LRESULT NComboBox::OnSetFocus() { return 0; }

// ---- Colour list ----

NColorComboBox::NColorComboBox() = default;

bool NColorComboBox::AttachDlgItem(int controlId, NWindow* parent)
{
    m_colors.clear();
    if (!NWindow::AttachDlgItem(controlId, parent))
        return false;
    ScaleItemHeights();
    return true;
}

void NColorComboBox::PreCreateWindow(CREATESTRUCTW& cs)
{
    NComboBox::PreCreateWindow(cs);
    m_colors.clear();
}

LRESULT NColorComboBox::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return NWindow::WndProc(window, message, wParam, lParam);
}

int NColorComboBox::AddColor(COLORREF colour)
{
    try {
        m_colors.push_back(colour);
    } catch (...) {
        return CB_ERR;
    }
    const LRESULT index = AddString(L"");
    if (index < 0) {
        m_colors.pop_back();
        return CB_ERR;
    }
    return static_cast<int>(index);
}

COLORREF NColorComboBox::GetColorAt(int index) const
{
    if (index < 0 || index >= GetColorCount())
        return CLR_INVALID;
    return m_colors[static_cast<size_t>(index)];
}

void NColorComboBox::DrawItem(DRAWITEMSTRUCT* item)
{
    if (!item || m_colors.empty() || item->itemID >= m_colors.size())
        return;
    const COLORREF colour = GetColorAt(ItemIndexOf(*item));
    if (colour == CLR_INVALID)
        return;
    const RECT& rc = item->rcItem;
    DrawGradient(item->hDC, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, RGB(0xE4, 0xE4, 0xE4), colour, 3);
    NSkin* skin = AppSkin();
    if (skin && (item->itemState & ODS_SELECTED))
        DrawRectOutline(item->hDC, rc.left, rc.top, rc.right, rc.bottom, 1, skin->GetColor(L"AppComboBoxBorderColor"));
}

// ---- Font list ----

namespace {

int CALLBACK AddFamily(const LOGFONTW* font, const TEXTMETRICW*, DWORD fontType, LPARAM context)
{
    if (!(fontType & (DEVICE_FONTTYPE | TRUETYPE_FONTTYPE)))
        return 1;
    auto* added = reinterpret_cast<std::pair<NFontComboBox*, int>*>(context);
    // An exact match: a prefix search would hide "Name" behind an earlier "Name Bold".
    if (added->first->FindStringExact(-1, font->lfFaceName) == CB_ERR && added->first->AddString(font->lfFaceName) >= 0)
        ++added->second;
    return 1;
}

}  // namespace

bool NFontComboBox::AttachDlgItem(int controlId, NWindow* parent)
{
    if (!NWindow::AttachDlgItem(controlId, parent))
        return false;
    ScaleItemHeights();
    AddFontFamilies();
    return true;
}

int NFontComboBox::AddFontFamilies()
{
    const WindowDc dc(nullptr);
    if (!dc)
        return 0;
    LOGFONTW wanted{};
    wanted.lfCharSet = DEFAULT_CHARSET;
    std::pair<NFontComboBox*, int> added(this, 0);
    EnumFontFamiliesExW(dc.Get(), &wanted, AddFamily, reinterpret_cast<LPARAM>(&added), 0);
    return added.second;
}

LRESULT NFontComboBox::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    return NWindow::WndProc(window, message, wParam, lParam);
}

void NFontComboBox::DrawItem(DRAWITEMSTRUCT* item)
{
    NSkin* skin = AppSkin();
    if (!item || !skin)
        return;
    const RECT& rc = item->rcItem;
    FillRectSolid(item->hDC, rc.left, rc.top, rc.right, rc.bottom, skin->GetColor(L"AppComboBoxBackColor"));
    NString text;
    if (GetLBText(ItemIndexOf(*item), text) > 0) {
        LOGFONTW face{};
        face.lfHeight = PointsToFontHeight(10);
        face.lfWeight = FW_NORMAL;
        face.lfCharSet = DEFAULT_CHARSET;
        face.lfQuality = CLEARTYPE_QUALITY;
        lstrcpynW(face.lfFaceName, text.c_str(), LF_FACESIZE);
        const FontOwner font(CreateFontIndirectW(&face));
        ObjectSelection selection(item->hDC, font.Get());
        SetBkMode(item->hDC, TRANSPARENT);
        SetTextColor(item->hDC, skin->GetColor(L"AppComboBoxTextColor"));
        RECT textRect = rc;
        textRect.left += 3;
        DrawTextW(item->hDC, text.c_str(), -1, &textRect, DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    }
    if (item->itemState & ODS_SELECTED)
        DrawRectOutline(item->hDC, rc.left, rc.top, rc.right, rc.bottom, 1, skin->GetColor(L"AppComboBoxBorderColor"));
}
