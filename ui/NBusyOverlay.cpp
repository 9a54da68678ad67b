#include "ui/NBusyOverlay.h"

#include <objbase.h>
#include <process.h>

#include <algorithm>
#include <cmath>

#include "base/Dpi.h"
#include "base/DpiAwareness.h"
#include "base/GdiOwners.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/NImageFile.h"
#include "imaging/HslColour.h"
#include "imaging/NGraphics.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"
#include "ui/SkinSeam.h"

namespace {

constexpr int kMinimumClient = 20;
constexpr int kFadeStep = 18;

int Scale(int pixels, int dpi)
{
    return MulDiv(pixels, dpi, 96);
}

// Switches the thread's DPI awareness for the object's life time.
class ThreadDpiScope {
public:
    explicit ThreadDpiScope(bool active)
    {
        if (active) {
            m_previous = SwitchThreadDpiContext(PerMonitorAwareContext());
            m_active = m_previous != nullptr;
        }
    }
    ~ThreadDpiScope()
    {
        if (m_active)
            SwitchThreadDpiContext(m_previous);
    }
    ThreadDpiScope(const ThreadDpiScope&) = delete;
    ThreadDpiScope& operator=(const ThreadDpiScope&) = delete;

private:
    DPI_AWARENESS_CONTEXT m_previous = nullptr;
    bool m_active = false;
};

class ComScope {
public:
    ComScope() : m_started(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
    ~ComScope()
    {
        if (m_started)
            CoUninitialize();
    }
    ComScope(const ComScope&) = delete;
    ComScope& operator=(const ComScope&) = delete;

private:
    bool m_started;
};

class LockScope {
public:
    explicit LockScope(CRITICAL_SECTION& lock) : m_lock(lock) { EnterCriticalSection(&m_lock); }
    ~LockScope() { LeaveCriticalSection(&m_lock); }
    LockScope(const LockScope&) = delete;
    LockScope& operator=(const LockScope&) = delete;

private:
    CRITICAL_SECTION& m_lock;
};

POINT ClientOrigin(HWND window)
{
    POINT origin = {0, 0};
    ClientToScreen(window, &origin);
    return origin;
}

// The path of the current skin's picture, or false without an application skin.
bool SkinPicturePath(const wchar_t* name, wchar_t* path, int size)
{
    NWinApp* app = NGetApp();
    NSkin* skin = app ? app->GetSkin() : nullptr;
    return skin && skin->GetPicturePath(path, size, name, L".png");
}

// The picture at 32 bits; a picture of any other depth gets full alpha.
bool MakeThirtyTwo(NImageBuffer& picture)
{
    if (!picture.valid)
        return false;
    if (picture.bpp == 32)
        return true;
    if (!picture.ConvertToBpp(32, false))
        return false;
    return picture.SetChannel(4, 255);
}

// Copies a 24-bit composition into the layered window's 32-bit picture, opaque.
void CopyOpaque(NImageBuffer& target, const NImageBuffer& source)
{
    BitBlt(target.dc, 0, 0, target.width, target.height, source.dc, 0, 0, SRCCOPY);
    GdiFlush();
    target.SetChannel(4, 255);
}

LOGFONTW CaptionFont()
{
    NONCLIENTMETRICSW metrics = {};
    metrics.cbSize = sizeof(metrics);
    SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0);
    LOGFONTW font = metrics.lfCaptionFont;
    font.lfWeight = 400;
    font.lfItalic = 0;
    font.lfUnderline = 0;
    font.lfQuality = 6;
    return font;
}

}  // namespace

// ---- NOverlayBase ----

NOverlayBase::NOverlayBase() : m_wake(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

NOverlayBase::~NOverlayBase()
{
    Close();
}

unsigned __stdcall NOverlayBase::ThreadEntry(void* self)
{
    static_cast<NOverlayBase*>(self)->Run();
    return 1;
}

int NOverlayBase::Open(HWND owner, DWORD exStyle, HWND insertAfter, bool perMonitorAware)
{
    Close();
    m_alpha = 255;
    m_fadingOut = false;
    m_owner = owner;

    ThreadDpiScope awareness(perMonitorAware);
    RECT client = {};
    GetClientRect(owner, &client);
    const POINT origin = ClientOrigin(owner);
    const int width = client.right;
    const int height = client.bottom;
    if ((width < kMinimumClient && height < kMinimumClient) || width < 1 || height < 1)
        return 0;

    // The screen under the client area, opaque.
    NImageBuffer copy;
    if (!copy.Create(width, height, 32, 0))
        return 0;
    {
        const WindowDc desktop(nullptr);
        SetStretchBltMode(copy.dc, COLORONCOLOR);
        StretchBlt(copy.dc, 0, 0, width, height, desktop.Get(), origin.x, origin.y, width, height,
                   SRCCOPY | CAPTUREBLT);
    }
    GdiFlush();
    copy.SetChannel(4, 255);

    if (!m_window.Create(owner, L"", WS_POPUP, exStyle))
        return 0;
    HWND popup = m_window.GetHwnd();
    m_window.picture.Copy(copy);
    SetWindowPos(popup, nullptr, origin.x, origin.y, width, height, SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW);
    m_window.UpdateLayered(m_alpha);
    SetWindowPos(popup, insertAfter, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOMOVE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
    return 1;
}

void NOverlayBase::Close()
{
    if (m_thread) {
        m_stop = true;
        m_alpha = 0;
        SetEvent(m_wake.Get());
        const HANDLE thread = m_thread.Get();
        // The thread may be sending this thread a message (a window of this thread changes):
        // take those while waiting, so that the thread can end.
        for (;;) {
            const DWORD woken = MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_SENDMESSAGE);
            if (woken != WAIT_OBJECT_0 + 1)
                break;
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
        m_thread.Reset();
        m_threadId = 0;
    }
    m_window.Destroy();
    m_window.picture.Destroy();
}

bool NOverlayBase::StartThread()
{
    SetFocus(m_owner);
    m_stop = false;
    m_shown = 0;
    ResetEvent(m_wake.Get());
    m_thread.Reset(reinterpret_cast<HANDLE>(_beginthreadex(nullptr, 0, ThreadEntry, this, 0, &m_threadId)));
    if (!m_thread)
        Close();
    return static_cast<bool>(m_thread);
}

bool NOverlayBase::Pause(DWORD milliseconds)
{
    if (m_stop)
        return false;
    WaitForSingleObject(m_wake.Get(), milliseconds);
    return !m_stop;
}

bool NOverlayBase::FollowOwner()
{
    if (!IsWindow(m_owner))
        return false;
    const POINT origin = ClientOrigin(m_owner);
    RECT place = {};
    HWND popup = m_window.GetHwnd();
    if (popup && GetWindowRect(popup, &place) && (place.left != origin.x || place.top != origin.y))
        SetWindowPos(popup, nullptr, origin.x, origin.y, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_ASYNCWINDOWPOS);
    return true;
}

bool NOverlayBase::FadeStep()
{
    if (!m_fadingOut)
        return false;
    m_alpha = std::clamp(m_alpha - kFadeStep, 0, 255);
    return true;
}

// ---- NBusyOverlay ----

NBusyOverlay::NBusyOverlay()
{
    InitializeCriticalSection(&m_lock);
    m_text = L"";
}

NBusyOverlay::~NBusyOverlay()
{
    Stop();
    Close();
    DeleteCriticalSection(&m_lock);
}

int NBusyOverlay::Show(HWND owner)
{
    if (!owner || !IsWindow(owner) || !IsWindowVisible(owner))
        return 0;
    Stop();
    if (!Open(owner, WS_EX_TRANSPARENT, HWND_TOP, true))
        return 0;
    return StartThread() ? 1 : 0;
}

void NBusyOverlay::Stop()
{
    if (!IsRunning())
        return;
    Close();
    LockScope lock(m_lock);
    ClearAnimation();
    m_text = L"";
    m_bar.Destroy();
}

void NBusyOverlay::ClearAnimation()
{
    m_animation.reset();
    m_frames.Destroy();
    m_frameCount = 0;
    m_frameHeight = 0;
    m_delays.clear();
}

void NBusyOverlay::SetText(const wchar_t* text)
{
    LockScope lock(m_lock);
    m_text = text ? text : L"";
}

void NBusyOverlay::SetProgress(double base, int total, int value)
{
    LockScope lock(m_lock);
    m_value = value;
    m_total = total;
    // Nothing to divide by: the base alone.
    const double fraction = (total != 0 ? static_cast<double>(value) / total : 0.0) + base;
    m_fraction = std::isfinite(fraction) ? fraction : 0.0;
}

NString NBusyOverlay::GetText()
{
    LockScope lock(m_lock);
    return m_text;
}

double NBusyOverlay::GetFraction()
{
    LockScope lock(m_lock);
    return m_fraction;
}

int NBusyOverlay::GetFrameCount()
{
    LockScope lock(m_lock);
    return m_frameCount;
}

void NBusyOverlay::LoadAnimation(const wchar_t* name, int dpi)
{
    LockScope lock(m_lock);
    ClearAnimation();
    wchar_t path[MAX_PATH] = {};
    if (!name || !SkinPicturePath(name, path, MAX_PATH))
        return;
    NImageFile* loaded = nullptr;
    const NRESULT result = LoadImageFile(&loaded, path, 0, 0, nullptr, FT_PNG);
    m_animation.reset(loaded);
    if (result != NR_OK || !m_animation || !m_animation->picture.valid)
        return;

    // The frames stacked: all the lines of the picture's bitmap.
    const NImageBuffer& picture = m_animation->picture;
    const int count = std::max(1, m_animation->GetPageCount());
    const int frameHeight = picture.height;
    NImageBuffer strip;
    if (count > 1 && picture.bpp == 32) {
        if (!strip.CreateFromBits(picture.width, frameHeight * count, 32, picture.bits, nullptr))
            return;
    } else if (!strip.Copy(picture) || !MakeThirtyTwo(strip)) {
        return;
    }
    const int frames = count > 1 && picture.bpp == 32 ? count : 1;

    // Scaled for the DPI: the strip's height a multiple of the frame count.
    if (dpi <= 0)
        dpi = GetDpi();
    if (dpi != 96) {
        int stripHeight = Scale(strip.height, dpi);
        stripHeight -= stripHeight % frames;
        if (stripHeight < frames)
            stripHeight = frames;
        const int stripWidth =
            std::max(1, static_cast<int>(static_cast<int64_t>(strip.width) * stripHeight / strip.height));
        if (!strip.ResizeImage(stripWidth, stripHeight, 9, false))
            return;
    }
    if (!strip.PremultiplyAlpha())
        return;
    m_frameCount = frames;
    m_frameHeight = strip.height / frames;
    m_frames.Copy(strip);
    for (int k = 0; k < frames; ++k)
        m_delays.push_back(m_animation->GetFrameDelay(k));
}

void NBusyOverlay::LoadProgressBar(const wchar_t* name, int dpi)
{
    LockScope lock(m_lock);
    m_bar.Destroy();
    wchar_t path[MAX_PATH] = {};
    if (!name || !SkinPicturePath(name, path, MAX_PATH))
        return;
    if (LoadImageIntoBitmap(m_bar, path, 0, 0, nullptr, FT_PNG) != NR_OK || !MakeThirtyTwo(m_bar)) {
        m_bar.Destroy();
        return;
    }
    if (dpi <= 0)
        dpi = GetDpi();
    if (dpi != 96)
        m_bar.ResizeImage(std::max(1, Scale(m_bar.width, dpi)), std::max(2, Scale(m_bar.height, dpi)), 9, false);
    if (!MakeThirtyTwo(m_bar) || !m_bar.PremultiplyAlpha())
        m_bar.Destroy();
}

void NBusyOverlay::Compose(NImageBuffer& work, const NImageBuffer& base, int frame, int dpi, const LOGFONTW& font,
                           COLORREF textColour)
{
    const int width = work.width;
    const int height = work.height;
    BitBlt(work.dc, 0, 0, width, height, base.dc, 0, 0, SRCCOPY);

    // The animation frame, centred; frame k counted from the bottom of the strip.
    int animationTop = height / 2;
    int animationBottom = height / 2;
    if (m_frameCount > 0 && m_frames.valid) {
        const int w = m_frames.width;
        const int h = m_frameHeight;
        const int x = (width - w) / 2;
        animationTop = (height - h) / 2;
        animationBottom = animationTop + h;
        AlphaBlendDC(work.dc, x, animationTop, w, h, m_frames.dc, 0, (m_frameCount - 1 - frame) * h, w, h, 255,
                     AC_SRC_ALPHA);
    }
    GdiFlush();

    NGraphicsOnDC graphics(work.dc);
    if (graphics.IsValid() && m_text.GetLength() > 1)
        graphics->DrawOutlinedString(0, 0, width, animationTop, m_text.c_str(), static_cast<float>(Scale(15, dpi)),
                                     font, 1, 1, textColour, 255, 0, 0, 0, 0, 0, 0, 0);

    if (m_bar.valid) {
        const int barWidth = m_bar.width;
        const int barHeight = m_bar.height / 2;
        const int x = (width - barWidth) / 2;
        const int y = animationBottom + (height - animationBottom - barHeight) / 2;
        AlphaBlendDC(work.dc, x, y, barWidth, barHeight, m_bar.dc, 0, 0, barWidth, barHeight, 255, AC_SRC_ALPHA);
        const int filled = static_cast<int>(barWidth * std::clamp(m_fraction, 0.0, 1.0));
        if (filled > 0)
            AlphaBlendDC(work.dc, x, y, filled, barHeight, m_bar.dc, 0, barHeight, filled, barHeight, 255,
                         AC_SRC_ALPHA);
        GdiFlush();
        if (graphics.IsValid()) {
            NString counts;
            counts.Format(L"%d/%d", m_value, m_total);
            graphics->DrawOutlinedString(0, y - Scale(22, dpi), width, y, counts.c_str(),
                                         static_cast<float>(Scale(12, dpi)), font, 1, 1, textColour, 255, 0, 0, 0, 0,
                                         0, 0, 0);
        }
    }
}

void NBusyOverlay::Run()
{
    ThreadDpiScope awareness(true);
    ComScope com;
    NGdiPlusSession gdiplus;

    NImageBuffer base;
    NImageBuffer work;
    if (!base.Copy(m_window.picture) || !work.Create(base.width, base.height, 24, 0))
        return;
    // Sizes for the monitor under the owner, without touching the framework's DPI value.
    const POINT origin = ClientOrigin(m_owner);
    const int dpi = GetDpiAtPoint(origin.x, origin.y);
    const LOGFONTW font = CaptionFont();
    const COLORREF textColour = CurrentSkin().GetColor(L"WizardTextColor");
    LoadAnimation(L"WizardWorking", dpi);
    LoadProgressBar(L"WizardProgressBar", dpi);

    int frame = 0;
    while (ShouldRun()) {
        if (FadeStep()) {
            m_window.UpdateLayered(m_alpha);
            if (!Pause(40))
                break;
            continue;
        }
        DWORD delay = 100;
        {
            LockScope lock(m_lock);
            Compose(work, base, frame, dpi, font, textColour);
            if (frame < static_cast<int>(m_delays.size()) && m_delays[static_cast<size_t>(frame)] > 0)
                delay = m_delays[static_cast<size_t>(frame)];
            frame = m_frameCount > 0 ? (frame + 1) % m_frameCount : 0;
        }
        CopyOpaque(m_window.picture, work);
        m_window.UpdateLayered(m_alpha);
        ++m_shown;
        if (!FollowOwner() || !Pause(delay))
            break;
    }
    LockScope lock(m_lock);
    m_animation.reset();
}

// ---- NBusyAnimation ----

NBusyAnimation::NBusyAnimation() = default;

NBusyAnimation::~NBusyAnimation()
{
    Stop();
}

int NBusyAnimation::Show(HWND owner, int style)
{
    m_style = style;
    if (!owner || !IsWindowVisible(owner))
        return 0;
    Stop();
    if (!Open(owner, WS_EX_TOPMOST | WS_EX_TRANSPARENT, HWND_TOPMOST, false))
        return 0;
    return StartThread() ? 1 : 0;
}

void NBusyAnimation::Stop()
{
    if (IsRunning())
        Close();
}

void NBusyAnimation::Run()
{
    ThreadDpiScope awareness(true);
    ComScope com;
    NGdiPlusSession gdiplus;
    NImageBuffer& picture = m_window.picture;
    NGraphicsOnDC graphics(picture.dc);
    if (!graphics.IsValid())
        return;
    const int dpi = GetDpi();
    auto S = [dpi](int pixels) { return Scale(pixels, dpi); };
    const int cx = picture.width / 2;
    const int cy = picture.height / 2;

    COLORREF colour = RGB(255, 0, 0);
    int tick = 0;
    int position = 0, direction = 1;   // style 0
    int ring = 1, growth = 2;          // style 1
    int angle = 0;                     // style 2
    while (ShouldRun()) {
        if (!FadeStep()) {
            if (tick >= 11 && tick % 2 == 1)
                picture.AdjustSaturation(std::clamp(10 - tick, -100, 100));
            switch (m_style) {
            case 0: {
                const int cell = S(20);
                const int left = cx - 3 * cell + position * cell;
                graphics->FillEllipse(left, cy, left + cell, cy + cell, colour, 255);
                if (position + direction > 5 || position + direction < 0)
                    direction = -direction;
                position += direction;
                break;
            }
            case 1: {
                const int size = S(7) * ring;
                const int alpha = std::clamp(255 - ring * 255 / 25, 0, 255);
                graphics->DrawEllipse(cx - size / 2, cy - size / 2, cx - size / 2 + size, cy - size / 2 + size, S(7),
                                      colour, static_cast<uint8_t>(alpha), 0, 0, 0);
                if (growth > 0 && ring >= 13) {
                    growth = -2;
                    colour = RGB(255, 0, 0);
                } else if (growth < 0 && ring < 3) {
                    growth = 2;
                    HslColour hsl;
                    hsl.red = GetRValue(colour);
                    hsl.green = GetGValue(colour);
                    hsl.blue = GetBValue(colour);
                    hsl.SetFromRgb();
                    hsl.hue = std::fmod(hsl.hue + 10.0, 360.0);
                    hsl.ToRgb();
                    colour = RGB(hsl.red, hsl.green, hsl.blue);
                }
                ring += growth;
                break;
            }
            default: {
                const int x = cx + static_cast<int>(S(34) * std::cos(angle));
                const int y = cy + static_cast<int>(S(30) * std::sin(angle));
                graphics->DrawEllipse(x, y, x + S(36), y + S(36), S(4), colour, 255, 0, 0, 0);
                angle = angle >= 360 ? 0 : angle + 1;
                break;
            }
            }
            GdiFlush();
            picture.SetChannel(4, 255);
            ++tick;
            if (!Pause(40))
                break;
        }
        m_window.UpdateLayered(m_alpha);
        ++m_shown;
        if (!FollowOwner() || !Pause(40))
            break;
    }
}
