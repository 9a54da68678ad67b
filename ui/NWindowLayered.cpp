#include "ui/NWindowLayered.h"

#include "base/Log.h"

void NWindowLayered::PreCreateWindow(CREATESTRUCTW& cs)
{
    NWindow::PreCreateWindow(cs);
    m_cs.style = WS_POPUP;
    m_cs.dwExStyle |= WS_EX_LAYERED;
}

bool ShowLayeredPicture(HWND window, const NImageBuffer& source, int alpha, const wchar_t* caller)
{
    RECT place = {};
    if (!window || !source.valid || !GetWindowRect(window, &place))
        return false;
    POINT destination = {place.left, place.top};
    SIZE size = {source.width, source.height};
    POINT origin = {0, 0};
    BLENDFUNCTION blend = {AC_SRC_OVER, 0, NWindowLayered::ClampAlpha(alpha), AC_SRC_ALPHA};
    if (UpdateLayeredWindow(window, nullptr, &destination, &size, source.dc, &origin, 0, &blend, ULW_ALPHA))
        return true;
    const DWORD error = GetLastError();
    wchar_t text[512] = {};
    FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), text, 511, nullptr);
    LogMessage(L"%s UpdateLayered failed: %d, %s", caller, static_cast<int>(error), text);
    return true;
}

bool NWindowLayered::UpdateLayered(int alpha)
{
    HWND window = GetHwnd();
    if (!picture.valid || !window)
        return false;
    RECT client = {};
    GetClientRect(window, &client);
    if (client.right <= 0 || client.bottom <= 0)
        return false;
    // The picture at the window's size: cut, or padded with transparent pixels.
    NImageBuffer frame;
    if (!frame.Create(client.right, client.bottom, 32, 0))
        return false;
    BitBlt(frame.dc, 0, 0, client.right, client.bottom, picture.dc, 0, 0, SRCCOPY);
    GdiFlush();
    return ShowLayeredPicture(window, frame, alpha, L"NWindowLayered");
}
