// Window captures for tests: BitBlt from the window's device context into a 32-bit DIB (under Wine
// PrintWindow gives a white picture), single pixels, and 24-bit BMP files of a capture.
#pragma once
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct WindowCapture {
    int width = 0;
    int height = 0;
    std::vector<uint32_t> pixels;  // top-down rows, 0x00RRGGBB

    bool IsEmpty() const { return pixels.empty(); }
    COLORREF At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return CLR_INVALID;
        const uint32_t p = pixels[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)];
        return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
    }
};

// The window as painted: its client area, or with wholeWindow the frame and caption too. Empty
// when the window has no area or the copy fails.
inline WindowCapture CaptureWindow(HWND window, bool wholeWindow = false)
{
    WindowCapture capture;
    RECT rect{};
    if (wholeWindow) {
        GetWindowRect(window, &rect);
        OffsetRect(&rect, -rect.left, -rect.top);
    } else {
        GetClientRect(window, &rect);
    }
    const int width = rect.right - rect.left;
    const int height = rect.bottom - rect.top;
    if (width <= 0 || height <= 0)
        return capture;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap)
        return capture;
    HDC windowDc = wholeWindow ? GetWindowDC(window) : GetDC(window);
    HDC memory = CreateCompatibleDC(windowDc);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    const BOOL copied = BitBlt(memory, 0, 0, width, height, windowDc, 0, 0, SRCCOPY);
    GdiFlush();
    if (copied) {
        capture.width = width;
        capture.height = height;
        const auto* source = static_cast<const uint32_t*>(bits);
        capture.pixels.assign(source, source + static_cast<size_t>(width) * static_cast<size_t>(height));
        for (uint32_t& p : capture.pixels)
            p &= 0xFFFFFF;
    }
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    DeleteObject(bitmap);
    return capture;
}

// One pixel of the window's client area as painted.
inline COLORREF SamplePixel(HWND window, int x, int y)
{
    RECT client{};
    GetClientRect(window, &client);
    if (x < 0 || y < 0 || x >= client.right || y >= client.bottom)
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
    const uint8_t* pixel = static_cast<const uint8_t*>(bits);
    const COLORREF colour = RGB(pixel[2], pixel[1], pixel[0]);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(window, windowDc);
    DeleteObject(bitmap);
    return colour;
}

// Writes the capture as a bottom-up 24-bit BMP; false when it is empty or cannot be written.
inline bool SaveCaptureBmp(const WindowCapture& capture, const std::wstring& path)
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
    std::vector<uint8_t> rows(imageSize, 0);
    for (int y = 0; y < capture.height; ++y) {
        uint8_t* row = rows.data() + static_cast<size_t>(capture.height - 1 - y) * stride;
        for (int x = 0; x < capture.width; ++x) {
            const uint32_t p = capture.pixels[static_cast<size_t>(y) * static_cast<size_t>(capture.width) +
                                              static_cast<size_t>(x)];
            row[x * 3 + 0] = static_cast<uint8_t>(p & 0xFF);
            row[x * 3 + 1] = static_cast<uint8_t>((p >> 8) & 0xFF);
            row[x * 3 + 2] = static_cast<uint8_t>((p >> 16) & 0xFF);
        }
    }
    FILE* out = _wfopen(path.c_str(), L"wb");
    if (!out)
        return false;
    bool ok = fwrite(&file, sizeof(file), 1, out) == 1 && fwrite(&header, sizeof(header), 1, out) == 1 &&
              fwrite(rows.data(), 1, rows.size(), out) == rows.size();
    ok = fclose(out) == 0 && ok;
    return ok;
}
