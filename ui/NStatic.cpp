#include "ui/NStatic.h"

#include <shellapi.h>

#include "ui/NWinApp.h"
#include "ui/SkinPainters.h"
#include "ui/SkinSeam.h"

namespace {

NSkin* AppSkin()
{
    NWinApp* app = NGetApp();
    return app ? app->GetSkin() : nullptr;
}

HCURSOR HandCursor()
{
    HCURSOR cursor = LoadCursorW(nullptr, IDC_HAND);
    return cursor ? cursor : LoadCursorW(nullptr, IDC_ARROW);
}

// Makes the normal font and its underlined hover twin from font, gives the control the one in
// use when it had fonts before, and only then frees the old ones (the control never holds a
// deleted font).
template <typename SetControlFont>
void RemakeHoverFonts(LOGFONTW font, bool hover, FontOwner& normal, FontOwner& hoverFont,
                      SetControlFont setControlFont)
{
    const FontOwner oldNormal = std::move(normal);
    const FontOwner oldHover = std::move(hoverFont);
    font.lfUnderline = 0;
    normal.Reset(CreateFontIndirectW(&font));
    font.lfUnderline = 1;
    hoverFont.Reset(CreateFontIndirectW(&font));
    if (normal && (oldNormal || oldHover))
        setControlFont(hover ? hoverFont.Get() : normal.Get());
}

// The hover behaviour of the menu-title static and the hyperlink. activate: what a left-button
// release or a released space bar does (may be empty). Answers true when the message was handled.
template <typename Activate>
bool HoverMessage(HWND window, UINT message, WPARAM wParam, bool& tracking, bool& hover, HCURSOR& cursor,
                  HFONT hoverFont, HFONT normalFont, Activate activate)
{
    auto setFont = [window](HFONT font) {
        if (font)
            SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    };
    switch (message) {
    case WM_SETCURSOR:
        SetCursor(cursor ? cursor : HandCursor());
        InvalidateRect(window, nullptr, TRUE);
        return true;
    case WM_MOUSEMOVE:
        if (!tracking) {
            TRACKMOUSEEVENT track{sizeof(track), TME_HOVER | TME_LEAVE, window, 10};
            tracking = TrackMouseEvent(&track) != FALSE;
        }
        return true;
    case WM_MOUSEHOVER:
        setFont(hoverFont);
        SetCursor(cursor ? cursor : HandCursor());
        hover = true;
        InvalidateRect(window, nullptr, TRUE);
        return true;
    case WM_MOUSELEAVE:
        setFont(normalFont);
        tracking = false;
        hover = false;
        InvalidateRect(window, nullptr, TRUE);
        return true;
    case WM_LBUTTONUP:
        activate();
        return true;
    case WM_KEYUP:
        if (wParam != VK_SPACE)
            return false;
        activate();
        return true;
    default:
        return false;
    }
}

}  // namespace

// ---- NStatic ----

NStatic::NStatic() : m_ownColour(false), m_textColour(0), m_bold(false), m_italic(false), m_underline(false)
{
    Superclass(L"Static", L"NStatic");
}

NStatic::~NStatic() = default;

void NStatic::ClearFlags()
{
    m_ownColour = m_bold = m_italic = m_underline = false;
}

bool NStatic::AttachDlgItem(int controlId, NWindow* parent)
{
    const bool attached = NWindow::AttachDlgItem(controlId, parent);
    ClearFlags();
    if (attached)
        ModifyStyle(0, SS_NOTIFY);
    return attached;
}

void NStatic::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = 0x56000100;
    m_cs.lpszClass = L"NStatic";
    ClearFlags();
}

bool NStatic::SetFont(HFONT font)
{
    NWindow::SetFont(font);
    CreateFont();
    return true;
}

COLORREF NStatic::TextColour()
{
    return m_ownColour ? m_textColour : CurrentSkin().GetColor(L"AppStaticTextColor");
}

LRESULT NStatic::OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_CTLCOLORSTATIC) {
        HDC dc = reinterpret_cast<HDC>(wParam);
        SetBkMode(dc, TRANSPARENT);
        ::SetTextColor(dc, TextColour());
        if (const NImageBuffer* background = DialogBackgroundOf(m_hWnd)) {
            RECT client{};
            GetClientRect(m_hWnd, &client);
            CopyBackgroundUnder(m_hWnd, dc, *background, client.right, client.bottom);
            return reinterpret_cast<LRESULT>(GetStockObject(NULL_BRUSH));
        }
        NSkin* skin = AppSkin();
        HBRUSH brush = skin ? skin->GetWindowBrush() : nullptr;
        return reinterpret_cast<LRESULT>(brush ? brush : GetSysColorBrush(COLOR_3DFACE));
    }
    if (message == WM_DRAWITEM)
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    return NWindow::OnMessageReflect(message, wParam, lParam);
}

void NStatic::DrawItem(DRAWITEMSTRUCT*) {}

void NStatic::SetTextColor(COLORREF colour)
{
    m_ownColour = true;
    m_textColour = colour;
}

void NStatic::SetBold(bool on)
{
    m_bold = on;
    CreateFont();
}

void NStatic::SetItalic(bool on)
{
    m_italic = on;
    CreateFont();
}

void NStatic::SetUnderline(bool on)
{
    m_underline = on;
    CreateFont();
}

bool NStatic::CurrentLogFont(LOGFONTW& font) const
{
    HFONT current = NWindow::GetFont();
    return current && GetObjectW(current, sizeof(font), &font) != 0;
}

void NStatic::CreateFont()
{
    LOGFONTW font{};
    if (!CurrentLogFont(font))
        return;
    font.lfWeight = m_bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = m_italic ? 1 : 0;
    font.lfUnderline = m_underline ? 1 : 0;
    HFONT made = CreateFontIndirectW(&font);
    if (!made)
        return;
    NWindow::SetFont(made);
    m_font.Reset(made);
}

void NStatic::DeleteFont()
{
    m_font.Reset();
}

LRESULT NStatic::SetBitmap(HBITMAP bitmap)
{
    return SendMessageW(m_hWnd, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap));
}
HBITMAP NStatic::GetBitmap()
{
    return reinterpret_cast<HBITMAP>(SendMessageW(m_hWnd, STM_GETIMAGE, IMAGE_BITMAP, 0));
}
LRESULT NStatic::SetIcon(HICON icon)
{
    return SendMessageW(m_hWnd, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(icon));
}
HICON NStatic::GetIcon()
{
    return reinterpret_cast<HICON>(SendMessageW(m_hWnd, STM_GETIMAGE, IMAGE_ICON, 0));
}
LRESULT NStatic::SetCursorImage(HCURSOR cursor)
{
    return SendMessageW(m_hWnd, STM_SETIMAGE, IMAGE_CURSOR, reinterpret_cast<LPARAM>(cursor));
}
HCURSOR NStatic::GetCursorImage()
{
    return reinterpret_cast<HCURSOR>(SendMessageW(m_hWnd, STM_GETIMAGE, IMAGE_CURSOR, 0));
}
LRESULT NStatic::SetMetafile(HENHMETAFILE metafile)
{
    return SendMessageW(m_hWnd, STM_SETIMAGE, IMAGE_ENHMETAFILE, reinterpret_cast<LPARAM>(metafile));
}
HENHMETAFILE NStatic::GetMetafile()
{
    return reinterpret_cast<HENHMETAFILE>(SendMessageW(m_hWnd, STM_GETIMAGE, IMAGE_ENHMETAFILE, 0));
}

// ---- NHoverStatic ----

NHoverStatic::NHoverStatic() : m_tracking(false), m_hover(false), m_cursor(nullptr) {}

bool NHoverStatic::AttachDlgItem(int controlId, NWindow* parent)
{
    const bool attached = NWindow::AttachDlgItem(controlId, parent);
    ClearFlags();
    if (attached) {
        OnCreate();
        ModifyStyle(0, SS_NOTIFY);
    }
    return attached;
}

void NHoverStatic::OnCreate()
{
    m_tracking = m_hover = false;
    m_cursor = nullptr;
    CreateFont();
}

bool NHoverStatic::SetFont(HFONT font)
{
    NWindow::SetFont(font);
    CreateFont();
    return true;
}

void NHoverStatic::DeleteFont()
{
    m_hoverFont.Reset();
    m_normalFont.Reset();
}

void NHoverStatic::MakeHoverFonts(const LOGFONTW& font)
{
    RemakeHoverFonts(font, m_hover, m_normalFont, m_hoverFont, [this](HFONT f) { NWindow::SetFont(f); });
    m_cursor = HandCursor();
}

LRESULT NHoverStatic::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (HoverMessage(window, message, wParam, m_tracking, m_hover, m_cursor, m_hoverFont.Get(), m_normalFont.Get(),
                     [this] { OnActivate(); }))
        return (message == WM_LBUTTONUP || message == WM_KEYUP) ? 0 : 1;
    return NStatic::WndProc(window, message, wParam, lParam);
}

// ---- NMenuStatic ----

NMenuStatic::NMenuStatic()
{
    Superclass(L"Static", L"NMenuStatic");
}

void NMenuStatic::PreCreateWindow(CREATESTRUCTW& cs)
{
    NStatic::PreCreateWindow(cs);
    m_cs.lpszClass = L"NMenuStatic";
}

COLORREF NMenuStatic::TextColour()
{
    return m_ownColour ? m_textColour : CurrentSkin().GetColor(L"MenuTitleTextColor");
}

void NMenuStatic::CreateFont()
{
    LOGFONTW font{};
    if (!CurrentLogFont(font))
        return;
    font.lfWeight = m_bold ? FW_BOLD : FW_NORMAL;
    font.lfItalic = m_italic ? 1 : 0;
    MakeHoverFonts(font);
}

void NMenuStatic::SetBold(bool on)
{
    m_bold = on;
    CreateFont();
    if (m_normalFont)
        NWindow::SetFont(m_normalFont.Get());
}

void NMenuStatic::SetItalic(bool on)
{
    m_italic = on;
    CreateFont();
    if (m_normalFont)
        NWindow::SetFont(m_normalFont.Get());
}

void NMenuStatic::SetUnderline(bool on)
{
    m_underline = on;
    CreateFont();
    if (m_normalFont)
        NWindow::SetFont(m_normalFont.Get());
}

// ---- NHyperLink ----

NHyperLink::NHyperLink() : m_visited(false)
{
    Superclass(L"Static", L"NHyperLink");
}

void NHyperLink::PreCreateWindow(CREATESTRUCTW& cs)
{
    NStatic::PreCreateWindow(cs);
    m_cs.lpszClass = L"NHyperLink";
}

void NHyperLink::OnCreate()
{
    m_visited = false;
    wchar_t text[261] = {};
    GetWindowTextW(m_hWnd, text, 260);
    m_target = text;
    NHoverStatic::OnCreate();
}

void NHyperLink::CreateFont()
{
    LOGFONTW font{};
    if (!CurrentLogFont(font))
        return;
    font.lfQuality = CLEARTYPE_QUALITY;
    if (m_bold)
        font.lfWeight = FW_BOLD;
    if (m_italic)
        font.lfItalic = 1;
    MakeHoverFonts(font);
}

COLORREF NHyperLink::TextColour()
{
    return CurrentSkin().GetColor(m_visited ? L"AppHyperLinkVisitedTextColor" : L"AppHyperLinkTextColor");
}

void NHyperLink::SetUrl(const wchar_t* target)
{
    m_target = target ? target : L"";
}

bool NHyperLink::ShellOpen(const wchar_t* target)
{
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.lpVerb = L"";
    info.lpFile = target;
    info.nShow = SW_SHOWNORMAL;
    return ShellExecuteExW(&info) != FALSE;
}

bool NHyperLink::Open()
{
    const bool opened = ShellOpen(m_target.c_str());
    if (opened)
        m_visited = true;
    return opened;
}

void NHyperLink::OnActivate()
{
    Open();
    InvalidateRect(m_hWnd, nullptr, TRUE);
}

// ---- NGroupBox ----

NGroupBox::NGroupBox()
{
    Superclass(L"Button", L"NGroupBox");
}

bool NGroupBox::AttachDlgItem(int controlId, NWindow* parent)
{
    const bool attached = NWindow::AttachDlgItem(controlId, parent);
    if (attached) {
        SetStyle(0x5E00000B);
        SetExStyle(GetExStyle() | WS_EX_TRANSPARENT);
        SetWindowPos(m_hWnd, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE);
    }
    return attached;
}

void NGroupBox::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = 0x5E00000B;
    m_cs.dwExStyle = WS_EX_TRANSPARENT;
    m_cs.lpszClass = L"NGroupBox";
}

LRESULT NGroupBox::OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM) {
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
        return 1;
    }
    return NWindow::OnMessageReflect(message, wParam, lParam);
}

LRESULT NGroupBox::OnCommand(WPARAM, LPARAM)
{
    return 0;
}

LRESULT NGroupBox::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 0;
    return NWindow::WndProc(window, message, wParam, lParam);
}

void NGroupBox::DrawItem(DRAWITEMSTRUCT* item)
{
    NSkin* skin = AppSkin();
    if (item && skin)
        skin->DrawGroupBox(m_hWnd, item->hDC, &item->rcItem);
}
