#include "ui/NStatusBar.h"

#include <algorithm>
#include <climits>
#include <memory>
#include <new>

#include "base/Dpi.h"
#include "base/GdiOwners.h"
#include "base/Log.h"
#include "ui/NWinApp.h"
#include "ui/NWinException.h"
#include "ui/SkinSeam.h"

namespace {

NSkin* LoadedSkin()
{
    NWinApp* app = NGetApp();
    NSkin* skin = app ? app->GetSkin() : nullptr;
    return skin && skin->IsLoaded() ? skin : nullptr;
}

}  // namespace

NStatusBar::NStatusBar()
{
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_BAR_CLASSES};
    InitCommonControlsEx(&controls);
    Superclass(STATUSCLASSNAMEW, L"NStatusBar");
}

NStatusBar::~NStatusBar()
{
    m_texts.clear();
    m_alignments.clear();
    m_font.Reset();
    m_picture.Destroy();
}

LRESULT NStatusBar::OnMessageReflect(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_DRAWITEM)
        DrawItem(reinterpret_cast<DRAWITEMSTRUCT*>(lParam));
    return NWindow::OnMessageReflect(message, wParam, lParam);
}

void NStatusBar::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | SBARS_SIZEGRIP | CCS_BOTTOM;
    m_cs.lpszClass = L"NStatusBar";
    m_texts.clear();
    m_alignments.clear();
}

void NStatusBar::OnCreated()
{
    NONCLIENTMETRICSW metrics{};
    metrics.cbSize = sizeof(metrics);
    if (!SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0))
        return;
    HFONT font = CreateFontIndirectW(&metrics.lfStatusFont);
    if (!font)
        return;
    SendMessageW(m_hWnd, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
    m_font.Reset(font);
}

void NStatusBar::OnDestroy(WPARAM, LPARAM)
{
    m_font.Reset();
}

int NStatusBar::GetPaneCount()
{
    return GetHwnd() ? static_cast<int>(SendMessageW(m_hWnd, SB_GETPARTS, 0, 0)) : 0;
}

bool NStatusBar::GetPaneText(int index, NString& text)
{
    if (!GetHwnd())
        return false;
    const size_t length = LOWORD(SendMessageW(m_hWnd, SB_GETTEXTLENGTHW, static_cast<WPARAM>(index), 0));
    std::unique_ptr<wchar_t[]> buffer(new (std::nothrow) wchar_t[length + 1]());
    if (!buffer)
        return false;
    SendMessageW(m_hWnd, SB_GETTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buffer.get()));
    buffer[length] = L'\0';
    text = buffer.get();
    return true;
}

bool NStatusBar::CreatePanes(int count, const int* rightEdges)
{
    try {
        if (!GetHwnd())
            return false;
        if (count > kMaxPanes)
            throw NWinException(L"NStatusBar::CreatePanes ... Too many panes");
        if (count < 1 || !rightEdges)
            throw NWinException(L"NStatusBar::CreatePanes ... Invalid parameters");
        if (!SendMessageW(m_hWnd, SB_SETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rightEdges)))
            throw NWinException(L"NStatusBar::CreatePanes failed");
        return true;
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
    return false;
}

void NStatusBar::AddPane(int index, int width, const wchar_t* text, UINT flags, int alignment)
{
    try {
        if (index < 0 || index >= kMaxPanes)
            throw NWinException(L"NStatusBar::AddPane ... Invalid parameters");
    } catch (const NWinException& error) {
        ReportWinException(error);
        return;
    }
    // Kept entry i always belongs to pane i: panes skipped over get empty entries.
    if (static_cast<size_t>(index) >= m_texts.size()) {
        m_texts.resize(static_cast<size_t>(index) + 1, NString(L""));
        m_alignments.resize(static_cast<size_t>(index) + 1, kAlignLeft);
    }
    if (width != -1)
        width = ScalePixelsForDpi(width);
    SetPaneWidth(index, width);
    SetPaneText(index, text, flags, alignment);
}

void NStatusBar::SetPaneText(int index, const wchar_t* text, UINT flags, int alignment)
{
    try {
        if (!GetHwnd())
            return;
        // The pane index shares wParam with the SBT flags: it must stay in the low byte.
        if (index < 0 || index >= kMaxPanes || index > GetPaneCount())
            return;
        const wchar_t* shown = text ? text : L"";
        if (!SendMessageW(m_hWnd, SB_SETTEXTW, static_cast<WPARAM>(index) | flags, reinterpret_cast<LPARAM>(shown)))
            throw NWinException(L"Failed to set status bar text");
        if (static_cast<size_t>(index) >= m_texts.size())
            return;
        m_texts[static_cast<size_t>(index)] = shown;
        m_alignments[static_cast<size_t>(index)] = alignment;
        InvalidateRect(m_hWnd, nullptr, FALSE);
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
}

void NStatusBar::SetPaneWidth(int index, int width)
{
    try {
        if (!GetHwnd())
            return;
        if (index < 0 || index >= kMaxPanes || width < -1)
            throw NWinException(L"NStatusBar::SetPaneWidth ... Invalid parameters");
        const int count = GetPaneCount();
        if (count <= 0)
            return;
        const int size = std::max(count, index + 1);
        std::vector<int> edges(static_cast<size_t>(size), 0);
        SendMessageW(m_hWnd, SB_GETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(edges.data()));
        // Panes between the last one and the new one end where the last one ends: they are empty.
        for (int i = count; i < index; ++i)
            edges[static_cast<size_t>(i)] = edges[static_cast<size_t>(count) - 1];
        if (index > 0 && width != -1) {
            const long long edge = static_cast<long long>(width) + edges[static_cast<size_t>(index) - 1];
            width = static_cast<int>(std::clamp<long long>(edge, INT_MIN, INT_MAX));
        }
        edges[static_cast<size_t>(index)] = width;
        if (!SendMessageW(m_hWnd, SB_SETPARTS, static_cast<WPARAM>(size), reinterpret_cast<LPARAM>(edges.data())))
            throw NWinException(L"NStatusBar::SetPaneWidth failed");
    } catch (const NWinException& error) {
        ReportWinException(error);
    }
}

void NStatusBar::RemovePanes()
{
    if (GetHwnd()) {
        int whole = -1;
        SendMessageW(m_hWnd, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(&whole));
    }
    m_texts.clear();
    m_alignments.clear();
}

void NStatusBar::DrawItem(DRAWITEMSTRUCT*) {}

LRESULT NStatusBar::WndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_SIZE:
        InvalidateRect(window, nullptr, TRUE);
        UpdateWindow(window);
        break;
    case WM_PAINT:
        Paint(window);
        return 0;
    case WM_ERASEBKGND:
        return 0;
    default:
        break;
    }
    return NWindow::WndProc(window, message, wParam, lParam);
}

void NStatusBar::Paint(HWND window)
{
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(window, &paint);
    if (!dc) {
        // Logged only: a message box would run a message loop inside the paint handler.
        LogMessage(L"%s", L"Statusbar: no hdc?!");
        return;
    }
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width > 0 && height > 0 && (!m_picture.valid || m_picture.width != width || m_picture.height != height)) {
        m_picture.Destroy();
        m_picture.Create(width, height, 32, 0);
    }
    if (!m_picture.valid || width <= 0 || height <= 0) {
        EndPaint(window, &paint);
        return;
    }

    NSkin* skin = LoadedSkin();
    SkinSeam& colours = CurrentSkin();
    if (skin && skin->backgroundStatusBar.valid)
        AlphaBlendImageStretched(m_picture.dc, 0, 0, width, height, skin->backgroundStatusBar, 255, 0);
    else
        m_picture.Fill(colours.GetColor(L"StatusBarBackColor"));

    HDC target = m_picture.dc;
    {
        const ObjectSelection font(target, reinterpret_cast<HFONT>(SendMessageW(window, WM_GETFONT, 0, 0)));
        SetBkMode(target, TRANSPARENT);
        SetTextColor(target, colours.GetColor(L"StatusBarTextColor"));
        for (size_t i = 0; i < m_texts.size(); ++i) {
            RECT pane{};
            if (!SendMessageW(window, SB_GETRECT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&pane)))
                continue;
            InflateRect(&pane, -2, -2);
            UINT format = DT_VCENTER | DT_SINGLELINE | DT_NOCLIP;
            if (m_alignments[i] == kAlignCenter)
                format |= DT_CENTER;
            else if (m_alignments[i] == kAlignRight)
                format |= DT_RIGHT;
            DrawTextW(target, m_texts[i].c_str(), -1, &pane, format);
        }
    }
    if (skin && skin->grabber.valid) {
        AlphaBlendImage(target, width - skin->grabber.width - 1, height - skin->grabber.height - 1, skin->grabber,
                        255, AC_SRC_ALPHA);
    }
    m_picture.BlitTo(dc, 0, 0, SRCCOPY);
    EndPaint(window, &paint);
}
