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
bool CaptureOnce(HWND window, Capture& capture, bool wholeWindow = false, bool repaint = true);
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
bool CaptureOnce(HWND window, Capture& capture, bool wholeWindow, bool repaint)
{
    capture = Capture();
    RECT rect{};
    if (!IsWindow(window))
        return false;
    if (wholeWindow) {
        if (!GetWindowRect(window, &rect))
            return false;
        OffsetRect(&rect, -rect.left, -rect.top);
    } else if (!GetClientRect(window, &rect)) {
        return false;
    }
    if (repaint)
        RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    GdiFlush();
    const int width = rect.right;
    const int height = rect.bottom;
    if (width <= 0 || height <= 0)
        return false;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HDC screen = wholeWindow ? GetWindowDC(window) : GetDC(window);
    HDC memory = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateDIBSection(screen, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    bool ok = false;
    if (memory && bitmap) {
        HGDIOBJ old = SelectObject(memory, bitmap);
        ok = BitBlt(memory, 0, 0, width, height, screen, 0, 0, SRCCOPY) != FALSE;
        GdiFlush();
        SelectObject(memory, old);
        if (ok) {
            capture.width = width;
            capture.height = height;
            capture.pixels.resize(static_cast<size_t>(width) * height);
            const auto* p = static_cast<const unsigned char*>(bits);
            for (size_t i = 0; i < capture.pixels.size(); ++i)
                capture.pixels[i] = RGB(p[4 * i + 2], p[4 * i + 1], p[4 * i]);
        }
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

Capture CaptureWindow(HWND window, bool wholeWindow)
{
    Capture capture;
    CaptureOnce(window, capture, wholeWindow, false);
    return capture;
}

COLORREF SamplePixel(HWND window, int x, int y)
{
    RECT client{};
    if (!GetClientRect(window, &client) || x < 0 || y < 0 || x >= client.right || y >= client.bottom)
        return CLR_INVALID;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = 1;
    info.bmiHeader.biHeight = 1;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return CLR_INVALID;
    HDC windowDc = GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, 1, 1, windowDc, x, y, SRCCOPY);
    GdiFlush();
    const auto* pixel = static_cast<const unsigned char*>(bits);
    const COLORREF colour = RGB(pixel[2], pixel[1], pixel[0]);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    DeleteObject(bitmap);
    return colour;
}

bool SaveCaptureBmp(const Capture& capture, const std::wstring& path)
{
    if (capture.IsEmpty())
        return false;
    const size_t stride = (static_cast<size_t>(capture.width) * 3 + 3) & ~static_cast<size_t>(3);
    const size_t imageSize = stride * static_cast<size_t>(capture.height);
    BITMAPFILEHEADER file{};
    BITMAPINFOHEADER header{};
    file.bfType = 0x4D42;
    file.bfOffBits = sizeof(file) + sizeof(header);
    file.bfSize = static_cast<DWORD>(file.bfOffBits + imageSize);
    header.biSize = sizeof(header);
    header.biWidth = capture.width;
    header.biHeight = capture.height;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = BI_RGB;
    header.biSizeImage = static_cast<DWORD>(imageSize);
    std::vector<unsigned char> rows(imageSize, 0);
    for (int y = 0; y < capture.height; ++y) {
        unsigned char* row = rows.data() + static_cast<size_t>(capture.height - 1 - y) * stride;
        for (int x = 0; x < capture.width; ++x) {
            const COLORREF c = capture.At(x, y);
            row[x * 3 + 0] = GetBValue(c);
            row[x * 3 + 1] = GetGValue(c);
            row[x * 3 + 2] = GetRValue(c);
        }
    }
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out)
        return false;
    bool ok = std::fwrite(&file, sizeof(file), 1, out) == 1 && std::fwrite(&header, sizeof(header), 1, out) == 1 &&
              std::fwrite(rows.data(), 1, rows.size(), out) == rows.size();
    ok = std::fclose(out) == 0 && ok;
    return ok;
}
