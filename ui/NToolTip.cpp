#include "ui/NToolTip.h"

#include "imaging/ImageDraw.h"
#include "ui/SkinSeam.h"

namespace {
constexpr int kMaxText = 512;
}

NToolTip::NToolTip()
    : m_backColour(RGB(255, 255, 225)), m_textColour(0), m_textWidth(0), m_textHeight(0)
{
}

NToolTip::~NToolTip() = default;

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
    m_font.Reset();
    if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        m_font.Reset(CreateFontIndirectW(&metrics.lfStatusFont));
}

void NToolTip::OnDestroy(WPARAM, LPARAM)
{
    m_font.Reset();
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
    ObjectSelection font(dc, m_font.Get());
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, m_textColour);
    DrawTextW(dc, text, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
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
    SIZE size{};
    {
        WindowDc dc(m_hWnd);
        if (!dc)
            return true;
        ObjectSelection font(dc.Get(), m_font.Get());
        // The terminating NUL is measured with the text: it gives the tip a little air on the right.
        GetTextExtentPoint32W(dc.Get(), copy, lstrlenW(copy) + 1, &size);
    }
    m_textWidth = size.cx;
    m_textHeight = size.cy;
    SetWindowPos(m_hWnd, HWND_TOP, 0, 0, m_textWidth, m_textHeight, SWP_NOMOVE | SWP_NOACTIVATE);
    return true;
}
