// Busy overlays: a layered popup that covers a busy window's client area with a screen copy of it
// and animates on top of it from a thread of its own while the window's own thread is busy.
//
// NBusyOverlay shows the skin's animation "WizardWorking" (its frames stacked, with their delays),
// a step text and a progress bar ("WizardProgressBar": the empty bar above the full one) with
// "value/total". Long operations of the image library report to it through NProgressSink.
// NBusyAnimation draws a running dot, a pulsing ring or a circling dot over a copy that slowly
// loses its colour.
//
// Show and Stop belong to the thread that owns the covered window. The overlay thread never waits
// for that thread: it moves the popup asynchronously, and Stop waits for the thread to end (taking
// the messages the thread may send meanwhile) before the popup and the pictures go, so the thread
// never meets a destroyed window. The thread also ends when the covered window dies.
#pragma once
#include <windows.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/NString.h"
#include "base/ProgressSink.h"
#include "base/SystemOwners.h"
#include "imaging/NImageBuffer.h"
#include "ui/NWindowLayered.h"

class NImageFile;

// What the two overlays share: the popup, the thread, its flags and the waits.
class NOverlayBase {
public:
    NOverlayBase();
    virtual ~NOverlayBase();
    NOverlayBase(const NOverlayBase&) = delete;
    NOverlayBase& operator=(const NOverlayBase&) = delete;

    bool IsRunning() const { return static_cast<bool>(m_thread); }
    // Pictures the thread has shown so far.
    int GetShownCount() const { return m_shown; }
    HWND GetOverlayWindow() const { return m_window.GetHwnd(); }
    // While set, each tick lowers the alpha by 18 and the thread ends at 0.
    void SetFadingOut(bool fading) { m_fadingOut = fading; }

protected:
    // Steps 2 to 7 of showing: covers the owner's client area with its screen copy. 0 when the
    // client area is smaller than 20 pixels both ways or the popup cannot be made.
    int Open(HWND owner, DWORD exStyle, HWND insertAfter, bool perMonitorAware);
    // Ends the thread (waiting for it) and destroys the popup.
    void Close();
    // Gives the focus back to the owner and starts the thread; false when it cannot start.
    bool StartThread();
    // Waits up to milliseconds or until stopped; false when the thread must end.
    bool Pause(DWORD milliseconds);
    // Follows the owner when it moved; false when the owner is gone.
    bool FollowOwner();
    bool ShouldRun() const { return !m_stop && m_alpha > 0; }
    // One fading step (alpha - 18); true while fading.
    bool FadeStep();

    virtual void Run() = 0;

    std::atomic<bool> m_fadingOut{false};
    NWindowLayered m_window;
    std::atomic<int> m_alpha{255};
    std::atomic<bool> m_stop{false};
    KernelHandleOwner m_thread;
    unsigned m_threadId = 0;
    HWND m_owner = nullptr;
    std::atomic<int> m_shown{0};

private:
    static unsigned __stdcall ThreadEntry(void* self);
    KernelHandleOwner m_wake;   // set by Close to end a pause at once
};

class NBusyOverlay : public NOverlayBase, public NProgressSink {
public:
    NBusyOverlay();
    ~NBusyOverlay() override;

    // 1 when the overlay is shown over the owner's client area; 0 when the owner is no window or
    // hidden, or its client area is too small.
    int Show(HWND owner);
    // Ends the thread, destroys the popup, the animation, the text and the bar. Nothing when it is
    // not running.
    void Stop();

    // May be called from any thread. A null text empties it; a text of one character is not shown.
    void SetText(const wchar_t* text) override;
    // value of total done: the bar is filled to value / total + base (0..1).
    void SetProgress(double base, int total, int value) override;

    // "<skin folder><skin name><name>.png": its frames (an animated PNG) become the animation,
    // scaled for the DPI given (0: the framework's).
    void LoadAnimation(const wchar_t* name, int dpi = 0);
    void LoadProgressBar(const wchar_t* name, int dpi = 0);

    // State, for callers that want to know what is shown.
    NString GetText();
    double GetFraction();
    int GetFrameCount();

private:
    void Run() override;
    // Under the lock.
    void ClearAnimation();
    // One picture of the overlay: the base with the animation frame, the text and the bar.
    void Compose(NImageBuffer& work, const NImageBuffer& base, int frame, int dpi, const LOGFONTW& font,
                 COLORREF textColour);

    CRITICAL_SECTION m_lock;
    NString m_text;
    double m_fraction = 0;
    int m_value = 0;
    int m_total = 0;
    NImageBuffer m_bar;
    std::unique_ptr<NImageFile> m_animation;
    NImageBuffer m_frames;          // the animation's frames, scaled and premultiplied, frame k in the
                                    // k-th block of frame-height scan lines
    int m_frameCount = 0;
    int m_frameHeight = 0;
    std::vector<uint16_t> m_delays; // milliseconds
};

class NBusyAnimation : public NOverlayBase {
public:
    NBusyAnimation();
    ~NBusyAnimation() override;

    // style: 0 running dot, 1 pulsing ring, 2 circling dot. 1 when shown; 0 when the owner is
    // hidden or its client area too small.
    int Show(HWND owner, int style);
    void Stop();

private:
    void Run() override;
    int m_style = 0;
};
