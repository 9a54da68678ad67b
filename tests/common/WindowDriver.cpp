#include "common/WindowDriver.h"

#include <cstdio>
#include <cstdlib>
#include <map>

namespace {
std::map<UINT_PTR, TimerDriver*>& Drivers()
{
    static std::map<UINT_PTR, TimerDriver*> drivers;
    return drivers;
}
}  // namespace

TimerDriver::TimerDriver(std::function<bool()> step, std::function<void()> fallback, int timeoutMs)
    : step_(std::move(step)), fallback_(std::move(fallback)), deadline_(GetTickCount() + static_cast<DWORD>(timeoutMs))
{
    timer_ = SetTimer(nullptr, 0, 20, OnTimer);
    Drivers()[timer_] = this;
}

TimerDriver::~TimerDriver()
{
    if (timer_) {
        KillTimer(nullptr, timer_);
        Drivers().erase(timer_);
    }
}

void CALLBACK TimerDriver::OnTimer(HWND, UINT, UINT_PTR id, DWORD)
{
    auto it = Drivers().find(id);
    if (it == Drivers().end())
        return;
    TimerDriver* self = it->second;
    if (self->finished_ || self->busy_)
        return;
    self->busy_ = true;  // a step may run a nested loop that fires the timer again
    if (self->step_()) {
        self->finished_ = true;
    } else if (static_cast<LONG>(GetTickCount() - self->deadline_) > 0) {
        self->finished_ = true;
        self->timedOut_ = true;
        if (self->fallback_)
            self->fallback_();
    }
    self->busy_ = false;
}

void PumpMessages(int milliseconds)
{
    const DWORD end = GetTickCount() + static_cast<DWORD>(milliseconds);
    MSG msg;
    while (static_cast<LONG>(GetTickCount() - end) < 0) {
        while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageW(&msg);
        }
        Sleep(5);
    }
}

int Capture::Count(COLORREF colour) const
{
    int n = 0;
    for (COLORREF c : pixels)
        n += c == colour ? 1 : 0;
    return n;
}

namespace {
void SaveCapture(const Capture& capture, HWND window)
{
    const char* folder = std::getenv("VST_UI_CAPTURE_DIR");
    if (!folder || !*folder)
        return;
    wchar_t title[64] = {};
    GetWindowTextW(window, title, 63);
    char path[512];
    static int counter = 0;
    std::snprintf(path, sizeof(path), "%s\\capture%02d.ppm", folder, ++counter);
    if (FILE* f = std::fopen(path, "wb")) {
        std::fprintf(f, "P6\n%d %d\n255\n", capture.width, capture.height);
        for (COLORREF c : capture.pixels) {
            const unsigned char rgb[3] = {GetRValue(c), GetGValue(c), GetBValue(c)};
            std::fwrite(rgb, 1, 3, f);
        }
        std::fclose(f);
    }
}
}  // namespace

namespace {
bool CaptureOnce(HWND window, Capture& capture);
}

bool CaptureClient(HWND window, Capture& capture)
{
    // A window that has just been shown may reach the screen a moment later: an all-black capture
    // is taken again.
    for (int attempt = 0; attempt < 4; ++attempt) {
        if (!CaptureOnce(window, capture))
            return false;
        if (capture.Count(RGB(0, 0, 0)) != static_cast<int>(capture.pixels.size()))
            break;
        Sleep(50);
    }
    SaveCapture(capture, window);
    return true;
}

namespace {
bool CaptureOnce(HWND window, Capture& capture)
{
    RECT client{};
    if (!IsWindow(window) || !GetClientRect(window, &client))
        return false;
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    capture.width = client.right;
    capture.height = client.bottom;
    if (capture.width <= 0 || capture.height <= 0)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = capture.width;
    info.bmiHeader.biHeight = -capture.height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, capture.width, capture.height, screen, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        capture.pixels.resize(static_cast<size_t>(capture.width) * capture.height);
        const auto* p = static_cast<const unsigned char*>(bits);
        for (size_t i = 0; i < capture.pixels.size(); ++i)
            capture.pixels[i] = RGB(p[4 * i + 2], p[4 * i + 1], p[4 * i]);
    }
    if (bitmap)
        DeleteObject(bitmap);
    if (memory)
        DeleteDC(memory);
    ReleaseDC(window, screen);
    return ok;
}
}  // namespace

int ColourDistance(COLORREF a, COLORREF b)
{
    const int dr = std::abs(static_cast<int>(GetRValue(a)) - GetRValue(b));
    const int dg = std::abs(static_cast<int>(GetGValue(a)) - GetGValue(b));
    const int db = std::abs(static_cast<int>(GetBValue(a)) - GetBValue(b));
    return dr > dg ? (dr > db ? dr : db) : (dg > db ? dg : db);
}
