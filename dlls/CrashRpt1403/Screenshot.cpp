#include "Screenshot.h"

#include "OwnedHandles.h"

#include <windows.h>
#include <objidl.h>
// GDI+ wants min and max, which NOMINMAX hides.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

#include <vector>

#include "CrashRptInterface.h"

namespace {

struct WindowArea {
    DWORD processId;
    RECT area;
    bool found;
};

BOOL CALLBACK AddProcessWindow(HWND window, LPARAM param)
{
    auto* search = reinterpret_cast<WindowArea*>(param);
    DWORD pid = 0;
    GetWindowThreadProcessId(window, &pid);
    RECT r;
    if (pid == search->processId && IsWindowVisible(window) && GetWindowRect(window, &r) && !IsRectEmpty(&r)) {
        if (search->found)
            UnionRect(&search->area, &search->area, &r);
        else
            search->area = r;
        search->found = true;
    }
    return TRUE;
}

RECT CaptureArea(DWORD flags)
{
    RECT screen;
    screen.left = GetSystemMetrics(SM_XVIRTUALSCREEN);
    screen.top = GetSystemMetrics(SM_YVIRTUALSCREEN);
    screen.right = screen.left + GetSystemMetrics(SM_CXVIRTUALSCREEN);
    screen.bottom = screen.top + GetSystemMetrics(SM_CYVIRTUALSCREEN);
    if (flags & kCrashShotProcessWindows) {
        WindowArea search{GetCurrentProcessId(), {}, false};
        EnumWindows(AddProcessWindow, reinterpret_cast<LPARAM>(&search));
        RECT inside;
        if (search.found && IntersectRect(&inside, &search.area, &screen))
            return inside;
    }
    return screen;
}

bool FindEncoder(const wchar_t* mimeType, CLSID& clsid)
{
    UINT count = 0, bytes = 0;
    if (Gdiplus::GetImageEncodersSize(&count, &bytes) != Gdiplus::Ok || bytes == 0)
        return false;
    std::vector<BYTE> buffer(bytes);
    auto* codecs = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (Gdiplus::GetImageEncoders(count, bytes, codecs) != Gdiplus::Ok)
        return false;
    for (UINT i = 0; i < count; ++i) {
        if (codecs[i].MimeType && lstrcmpiW(codecs[i].MimeType, mimeType) == 0) {
            clsid = codecs[i].Clsid;
            return true;
        }
    }
    return false;
}

// The screen area as 32-bit top-down pixels (blue, green, red, unused).
bool GrabScreen(const RECT& area, std::vector<BYTE>& pixels)
{
    const int width = area.right - area.left, height = area.bottom - area.top;
    if (width <= 0 || height <= 0 || width > 32768 || height > 32768)
        return false;
    const crashrpt::ScreenDc screen;
    if (!screen.Get())
        return false;
    const crashrpt::MemoryDc memory(CreateCompatibleDC(screen.Get()));
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    const crashrpt::GdiObject bitmap(memory ? CreateDIBSection(screen.Get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0)
                                            : nullptr);
    bool ok = false;
    if (bitmap && bits) {
        HGDIOBJ old = SelectObject(memory.get(), bitmap.get());
        ok = BitBlt(memory.get(), 0, 0, width, height, screen.Get(), area.left, area.top, SRCCOPY | CAPTUREBLT) != 0;
        GdiFlush();
        if (ok) {
            const BYTE* from = static_cast<const BYTE*>(bits);
            pixels.assign(from, from + static_cast<size_t>(width) * height * 4);
        }
        SelectObject(memory.get(), old);
    }
    return ok;
}

}  // namespace

std::wstring WriteScreenshot(const std::wstring& folder, DWORD flags, int jpegQuality)
{
    const RECT area = CaptureArea(flags);
    std::vector<BYTE> pixels;
    if (!GrabScreen(area, pixels))
        return std::wstring();
    const int width = area.right - area.left, height = area.bottom - area.top;
    for (size_t i = 0; i + 3 < pixels.size(); i += 4) {
        if (flags & kCrashShotGreyscale) {
            const BYTE grey = static_cast<BYTE>((pixels[i] * 7471 + pixels[i + 1] * 38470 + pixels[i + 2] * 19595) >> 16);
            pixels[i] = pixels[i + 1] = pixels[i + 2] = grey;
        }
        pixels[i + 3] = 255;
    }

    const bool jpeg = (flags & kCrashShotJpeg) != 0;
    const std::wstring name = jpeg ? L"screenshot.jpg" : L"screenshot.png";
    const std::wstring path = folder + L"\\" + name;

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok)
        return std::wstring();
    bool ok = false;
    {
        Gdiplus::Bitmap picture(width, height, width * 4, PixelFormat32bppRGB, pixels.data());
        CLSID encoder;
        if (picture.GetLastStatus() == Gdiplus::Ok && FindEncoder(jpeg ? L"image/jpeg" : L"image/png", encoder)) {
            ULONG quality = static_cast<ULONG>(jpegQuality);
            Gdiplus::EncoderParameters params;
            params.Count = 1;
            params.Parameter[0].Guid = Gdiplus::EncoderQuality;
            params.Parameter[0].Type = Gdiplus::EncoderParameterValueTypeLong;
            params.Parameter[0].NumberOfValues = 1;
            params.Parameter[0].Value = &quality;
            ok = picture.Save(path.c_str(), &encoder, jpeg ? &params : nullptr) == Gdiplus::Ok;
        }
    }
    Gdiplus::GdiplusShutdown(token);
    return ok ? name : std::wstring();
}
