// ScanDlg: the scan's progress window and the state that the scan worker fills: the files kept
// so far, the scan's folder and the cancel flag.
//
// Once the window is on screen it starts the worker (ScanWorker.h) on its own thread with the
// window as its argument; the worker writes the progress bar (1001) and the texts (1002, 1003),
// saves every hit through SaveAndVerifyCandidate and posts IDCANCEL when it is done. Cancel,
// Enter, the close box and the worker's own IDCANCEL all stop the worker and wait for it (taking
// the worker's control updates meanwhile), then show the result window or the "no photos" box
// and end the window. The window reads KeptFiles and ScanFolder only after the worker has ended.
// The control updates do nothing while the window has no such controls.
#pragma once
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <vector>

#include "base/NString.h"
#include "base/SystemOwners.h"
#include "ui/NButton.h"
#include "ui/NDialog.h"
#include "ui/NStatic.h"

// A text of the scan window's language section ("Dlg_Scan"), with the reference text where the
// language has none; the built-in English text without a language table.
NString ScanText(const wchar_t* key, const wchar_t* builtIn);

class ScanDlg : public NDialog {
public:
    static constexpr int kResourceId = 113;
    static constexpr int kProgressBarId = 1001;
    static constexpr int kPositionTextId = 1002;
    static constexpr int kCounterTextId = 1003;
    // Posted to itself from the initialisation: apply the texts and start the scan.
    static constexpr UINT kStartScan = WM_APP + 0x267;

    explicit ScanDlg(HWND parent = nullptr);
    // Stops and waits for a worker that still runs.
    ~ScanDlg() override;

    LRESULT OnCommand(WPARAM wParam, LPARAM lParam) override;
    INT_PTR DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
    int OnInitDialog() override;
    // Stops and waits for the worker, shows what the scan kept, ends with 0.
    int OnCancel() override;
    // Ends with 1 when no scan runs; during a scan it cancels like OnCancel.
    int OnOK() override;
    void OnDlgDestroy() override;
    // The title ("Title" with the drive letter or "TitleFile" with the image's file name) and the
    // Cancel button's text.
    void ApplyLanguage() override;

    // Writes the candidate (length bytes from data + start) into the scan's folder as the next
    // "VSTScan" file with the extension, decodes it, cuts it to the length the decoder consumed,
    // applies the size filters of the scan options, and keeps it (appended to KeptFiles) or
    // deletes it. True only when it was kept. Runs on the worker's thread.
    bool SaveAndVerifyCandidate(const uint8_t* data, uint64_t start, uint64_t length, const wchar_t* extension);

    // Starts the worker thread with this window (WorkerThread, WorkerThreadId); false when it
    // could not start or one runs already.
    bool StartWorker();
    // Sets CancelRequested and waits for the worker to end, handling this thread's messages
    // meanwhile so that the worker's control updates go through; then closes the thread handle.
    // Without a worker it does nothing.
    void StopWorker();

    // Control updates of the worker.
    void SetControlText(int controlId, const wchar_t* text);
    void InitProgressBar();                 // range 0..100, step 1
    void SetProgressPosition(int percent);

protected:
    // Runs the result window over this one (KeptFiles holds at least one path).
    virtual void ShowResults();
    // The box that says that the scan found nothing.
    virtual void ShowNoPhotos();

private:
    NStatic m_counterText;
    NButton m_cancelButton;
    bool m_started = false;     // the scan was started: a second start message does nothing
    bool m_finishing = false;   // OnCancel is showing the outcome: later cancels only wait for it

public:
    std::vector<NString> KeptFiles;         // full paths of the kept candidates
    wchar_t ScanFolder[MAX_PATH] = {};      // the scan's folder, without a trailing backslash
    KernelHandleOwner WorkerThread;          // empty when no worker runs
    unsigned WorkerThreadId = 0;
    std::atomic<bool> CancelRequested{false};
    bool ScanStopped = false;               // the worker stopped before the source's end, when asked
};
