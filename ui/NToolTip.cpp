#include "ui/NToolTip.h"

#include "imaging/ImageDraw.h"
#include "ui/GdiObject.h"
#include "ui/SkinSeam.h"

namespace {
constexpr int kMaxText = 512;
}

NToolTip::NToolTip()
    : m_font(nullptr), m_backColour(RGB(255, 255, 225)), m_textColour(0), m_textWidth(0), m_textHeight(0)
{
}

NToolTip::~NToolTip()
{
    DeleteGdiObject(m_font);
}

void NToolTip::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = WS_POPUP | WS_CLIPSIBLINGS | WS_CLIPCHILDREN;
    m_cs.dwExStyle = WS_EX_TOPMOST;
    m_cs.lpszClass = nullptr;
}

void NToolTip::OnCreate()
{
    SkinSeam& skin = CurrentSkin();
    m_backColour = skin.GetColor(L"ToolTipBackColor");
    m_textColour = skin.GetColor(L"ToolTipTextColor");
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    DeleteGdiObject(m_font);
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        m_font = CreateFontIndirectW(&metrics.lfStatusFont);
}

void NToolTip::OnDestroy(WPARAM, LPARAM)
{
    DeleteGdiObject(m_font);
}

LRESULT NToolTip::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ERASEBKGND)
        return 0;
    return NWindow::WndProc(window, message, wParam, lParam);
}

void NToolTip::OnPaint(HDC dc)
{
    RECT client{};
    GetClientRect(m_hWnd, &client);
    FillRectOpaque(dc, &client, m_backColour);
    DrawRectOutline(dc, client.left, client.top, client.right, client.bottom, 1, m_textColour);
    wchar_t text[260] = {};
    GetWindowTextW(m_hWnd, text, 260);
    HGDIOBJ old = m_font ? SelectObject(dc, m_font) : nullptr;
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, m_textColour);
    DrawTextW(dc, text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    if (old)
        SelectObject(dc, old);
}

bool NToolTip::SetText(const wchar_t* text)
{
    if (!text)
        return false;
    wchar_t current[kMaxText + 1] = {};
    GetWindowTextW(m_hWnd, current, kMaxText);
    if (lstrcmpiW(current, text) == 0)
        return true;
    SetWindowTextW(m_hWnd, text);
    wchar_t copy[kMaxText + 1] = {};
    lstrcpynW(copy, text, kMaxText);
    HDC dc = GetDC(m_hWnd);
    if (!dc)
        return true;
    HGDIOBJ old = m_font ? SelectObject(dc, m_font) : nullptr;
    SIZE size{};
    // The terminating NUL is measured with the text: it gives the tip a little air on the right.
    GetTextExtentPoint32W(dc, copy, lstrlenW(copy) + 1, &size);
    if (old)
        SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);
    m_textWidth = size.cx;
    m_textHeight = size.cy;
    SetWindowPos(m_hWnd, HWND_TOP, 0, 0, m_textWidth, m_textHeight, SWP_NOMOVE | SWP_NOACTIVATE);
    return true;
}
