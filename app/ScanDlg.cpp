#include "app/ScanDlg.h"

#include <commctrl.h>
#include <process.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <cwchar>

#include "app/AppSettings.h"
#include "app/CandidateVerify.h"
#include "app/CandidateView.h"
#include "app/ScanPipeline.h"
#include "app/ResultDlg.h"
#include "app/ScanOptions.h"
#include "app/ScanWorker.h"
#include "ui/NLanguage.h"
#include "ui/NMessageBox.h"
#include "ui/NWinApp.h"

namespace {

constexpr const wchar_t* kSection = L"Dlg_Scan";

// The file-name part of a path.
const wchar_t* FileNamePart(const wchar_t* path)
{
    const wchar_t* name = path;
    for (const wchar_t* p = path; *p; ++p) {
        if (*p == L'\\' || *p == L'/' || *p == L':')
            name = p + 1;
    }
    return name;
}

}  // namespace

NString ScanText(const wchar_t* key, const wchar_t* builtIn)
{
    NString text;
    if (NWinApp* app = NGetApp()) {
        if (NLanguage* language = app->GetLanguage())
            text = language->GetText(kSection, key, true);
    }
    if (text.IsEmpty())
        text = builtIn;
    return text;
}

ScanDlg::ScanDlg(HWND parent) : NDialog(kResourceId, parent) {}

ScanDlg::~ScanDlg()
{
    StopWorker();
}

LRESULT ScanDlg::OnCommand(WPARAM wParam, LPARAM lParam)
{
    return NDialog::OnCommand(wParam, lParam);
}

INT_PTR ScanDlg::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kStartScan && !m_started && !m_finishing) {
        m_started = true;
        ApplyLanguage();
        if (!StartWorker())
            LogLine(L"Failed: Starting the scan.");
        RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW);
    }
    return NDialog::DialogProc(window, message, wParam, lParam);
}

int ScanDlg::OnInitDialog()
{
    LoadBackgroundImage(L"DlgBackground", true, false);
    m_cancelButton.AttachControl(IDCANCEL, this, 1);
    if (m_counterText.AttachDlgItem(kCounterTextId, this))
        m_counterText.SetBold(true);
    PostMessageW(m_hWnd, kStartScan, 0, 0);
    return 1;
}

int ScanDlg::OnCancel()
{
    // A cancel that arrives while the outcome is on screen (the worker's own IDCANCEL, taken by
    // the result window's message loop) leaves the ending to the call that shows it.
    if (m_finishing)
        return 1;
    m_finishing = true;
    if (WorkerThread) {
        StopWorker();
        if (!KeptFiles.empty())
            ShowResults();
        else
            ShowNoPhotos();
    }
    EndDialog(0);
    return 1;
}

int ScanDlg::OnOK()
{
    // The window and KeptFiles must outlive the worker: during a scan Enter cancels it.
    if (WorkerThread || m_finishing)
        return OnCancel();
    m_finishing = true;
    EndDialog(1);
    return 1;
}

void ScanDlg::OnDlgDestroy()
{
    // However the window goes, the worker never writes into a destroyed one.
    StopWorker();
    NDialog::OnDlgDestroy();
}

void ScanDlg::ApplyLanguage()
{
    if (!m_hWnd)
        return;
    // The title texts come from the language file: they are used as formats only when their
    // conversions take one string.
    NString format;
    NWinApp* app = NGetApp();
    wchar_t title[MAX_PATH + 1];
    if (ScanOptions.ScanFromFile) {
        format = app ? app->GetLanguage()->GetFormatText(kSection, L"TitleFile", L"s", L"Scanning %s")
                     : NString(L"Scanning %s");
        _snwprintf(title, MAX_PATH, format.c_str(), FileNamePart(ScanOptions.ImageFilePath.c_str()));
    } else {
        format = app ? app->GetLanguage()->GetFormatText(kSection, L"Title", L"s", L"Scanning drive %s:")
                     : NString(L"Scanning drive %s:");
        _snwprintf(title, MAX_PATH, format.c_str(), ScanOptions.DriveLetter);
    }
    title[MAX_PATH] = 0;
    SetWindowTextW(m_hWnd, title);
    SetItemText(IDCANCEL, ScanText(L"Cancel", L"Stop"));
}

void ScanDlg::ShowResults()
{
    ResultDlg results(this);
    results.DoModal(true);
}

void ScanDlg::ShowNoPhotos()
{
    const NString text = ScanStopped ? ScanText(L"StoppedNoPhotos", L"The scan was stopped. No photos were found before it stopped.")
                                     : ScanText(L"NoPhotosFound", L"No photos were found.");
    NMessageBox box(NMessageBox::typeOk, kAppTitle, text.c_str(), m_hWnd);
    box.Show();
}

namespace {

// A candidate handed over in memory, read as a source of its own.
class BufferSource final : public ScanSource {
public:
    BufferSource(const uint8_t* data, uint64_t size) : m_data(data), m_size(size) {}
    uint64_t Size() const override { return m_size; }
    uint32_t SectorSize() const override { return 1; }
    bool ReadAt(uint64_t position, void* buffer, uint32_t count, uint32_t& bytesRead, DWORD& error) override
    {
        error = 0;
        bytesRead = position < m_size ? static_cast<uint32_t>(std::min<uint64_t>(count, m_size - position)) : 0;
        if (bytesRead)
            std::memcpy(buffer, m_data + position, bytesRead);
        return true;
    }

private:
    const uint8_t* m_data;
    uint64_t m_size;
};

}  // namespace

bool ScanDlg::SaveAndVerifyCandidate(const uint8_t* data, uint64_t start, uint64_t length, const wchar_t* extension)
{
    if (!data || length == 0)
        return false;
    const wchar_t* type = extension ? extension : L"";
    CandidateJob job;
    job.extension = type;
    job.hit.type = FormatFromExtension((std::wstring(L"candidate.") + type).c_str());
    BufferSource source(data + start, length);
    CandidateBytes candidate(source, 0, 0, data + start, static_cast<uint32_t>(std::min<uint64_t>(length, UINT32_MAX)),
                             nullptr, 0);
    PrepareCandidate(job, candidate, length, length);

    wchar_t working[MAX_PATH + 1];
    const int written = _snwprintf(working, MAX_PATH + 1, L"%s\\~VSTScan.%s", ScanFolder, type);
    if (written < 0 || written >= MAX_PATH)
        job.outcome = CandidateJob::Outcome::SaveFailed;
    else
        VerifyCandidate(job, working);
    ScanPipeline::CommitResult(*this, job);
    return job.outcome == CandidateJob::Outcome::Kept && !job.file.empty();
}

bool ScanDlg::StartWorker()
{
    if (WorkerThread)
        return false;
    CancelRequested = false;
    unsigned id = 0;
    const uintptr_t thread = _beginthreadex(nullptr, 0, &ScanWorker, this, 0, &id);
    if (!thread)
        return false;
    WorkerThread.Reset(reinterpret_cast<HANDLE>(thread));
    WorkerThreadId = id;
    SetThreadPriority(WorkerThread.Get(), THREAD_PRIORITY_NORMAL);
    return true;
}

void ScanDlg::StopWorker()
{
    if (!WorkerThread)
        return;
    CancelRequested = true;
    // The worker's control updates are sent to this thread: keep taking them while waiting.
    for (;;) {
        const HANDLE worker = WorkerThread.Get();
        const DWORD wait = MsgWaitForMultipleObjects(1, &worker, FALSE, INFINITE, QS_SENDMESSAGE);
        if (wait != WAIT_OBJECT_0 + 1)
            break;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    WorkerThread.Reset();
}

void ScanDlg::SetControlText(int controlId, const wchar_t* text)
{
    HWND window = GetHwnd();
    if (!window || !IsWindow(window))
        return;
    if (HWND control = GetDlgItem(window, controlId))
        SetWindowTextW(control, text ? text : L"");
}

void ScanDlg::InitProgressBar()
{
    HWND window = GetHwnd();
    if (!window || !IsWindow(window))
        return;
    if (HWND bar = GetDlgItem(window, kProgressBarId)) {
        SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
        SendMessageW(bar, PBM_SETSTEP, 1, 0);
    }
}

void ScanDlg::SetProgressPosition(int percent)
{
    HWND window = GetHwnd();
    if (!window || !IsWindow(window))
        return;
    if (HWND bar = GetDlgItem(window, kProgressBarId))
        SendMessageW(bar, PBM_SETPOS, static_cast<WPARAM>(percent), 0);
}
