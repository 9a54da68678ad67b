// Driving windows in tests: steps run from a timer inside modal loops, message pumping, and
// captures of windows as painted on the screen.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

// Calls step every 20 ms from a thread timer, so that it runs inside modal loops of this thread,
// until it answers true. After timeoutMs the fallback runs once (to end a dialog that would hang).
// The default only ends a test that would hang: on a busy machine a large dialog under Wine takes
// several seconds to appear, and a driver that gives up then fails a test that works.
class TimerDriver {
public:
    TimerDriver(std::function<bool()> step, std::function<void()> fallback, int timeoutMs = 30000);
    ~TimerDriver();
    TimerDriver(const TimerDriver&) = delete;
    TimerDriver& operator=(const TimerDriver&) = delete;
    bool Finished() const { return finished_; }
    bool TimedOut() const { return timedOut_; }

private:
    static void CALLBACK OnTimer(HWND, UINT, UINT_PTR id, DWORD);
    std::function<bool()> step_;
    std::function<void()> fallback_;
    UINT_PTR timer_ = 0;
    DWORD deadline_ = 0;
    bool finished_ = false;
    bool timedOut_ = false;
    bool busy_ = false;
};

// Pumps this thread's messages for the given time.
void PumpMessages(int milliseconds);

// The client area of the window as painted on the screen: BitBlt from its device context into a
// 32-bit picture (pixels as COLORREF, row 0 at the top). Repaints the window first.
struct Capture {
    int width = 0;
    int height = 0;
    std::vector<COLORREF> pixels;
    bool IsEmpty() const { return pixels.empty(); }
    // CLR_INVALID outside the capture.
    COLORREF At(int x, int y) const
    {
        if (x < 0 || y < 0 || x >= width || y >= height)
            return CLR_INVALID;
        return pixels[static_cast<size_t>(y) * width + x];
    }
    int Count(COLORREF colour) const;
};
bool CaptureClient(HWND window, Capture& capture);
// The window as painted at this moment (no repaint first): its client area, or with wholeWindow
// the frame and caption too. Empty when the window has no area or the copy fails.
Capture CaptureWindow(HWND window, bool wholeWindow = false);
// One pixel of the window's client area as painted; CLR_INVALID outside it.
COLORREF SamplePixel(HWND window, int x, int y);
// Writes the capture as a bottom-up 24-bit BMP; false when it is empty or cannot be written.
bool SaveCaptureBmp(const Capture& capture, const std::wstring& path);
// Channel-wise distance of two colours (the largest difference).
int ColourDistance(COLORREF a, COLORREF b);

