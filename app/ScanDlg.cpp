#include "app/ScanDlg.h"

#include <commctrl.h>
#include <process.h>

#include <cstdio>
#include <cwchar>

#include "app/AppSettings.h"
#include "app/CandidateView.h"
#include "app/ResultDlg.h"
#include "app/ScanOptions.h"
#include "app/ScanWorker.h"
#include "ui/NLanguage.h"
#include "ui/NMessageBox.h"
#include "ui/NWinApp.h"

namespace {

constexpr const wchar_t* kSection = L"Dlg_Scan";

// A text of the window's section, with the reference text where the language has none and the
// built-in text without a language table.
NString ScanText(const wchar_t* key, const wchar_t* builtIn)
{
    NString text;
    if (NWinApp* app = NGetApp())
        text = app->GetLanguage()->GetText(kSection, key, true);
    if (text.IsEmpty())
        text = builtIn;
    return text;
}

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
    NMessageBox box(NMessageBox::typeOk, kAppTitle, ScanText(L"NoPhotosFound", L"No photos were found.").c_str(),
                    m_hWnd);
    box.Show();
}

namespace {

// Writes all bytes to a new file; false (and no file left behind) when that fails.
bool WriteNewFile(const wchar_t* path, const uint8_t* data, uint64_t length)
{
    FILE* file = _wfopen(path, L"wb");
    if (!file)
        return false;
    bool ok = true;
    uint64_t left = length;
    const uint8_t* p = data;
    while (ok && left > 0) {
        const size_t part = static_cast<size_t>(left > (1u << 30) ? (1u << 30) : left);
        ok = fwrite(p, 1, part, file) == part;
        p += part;
        left -= part;
    }
    ok = (fclose(file) == 0) && ok;
    if (!ok)
        DeleteFileW(path);
    return ok;
}

// Cuts an existing file to its first length bytes in place; the file stays whole when that
// fails.
bool CutFile(const wchar_t* path, uint64_t length)
{
    HANDLE file = CreateFileW(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
    CloseHandle(file);
    return ok;
}

}  // namespace

bool ScanDlg::SaveAndVerifyCandidate(const uint8_t* data, uint64_t start, uint64_t length, const wchar_t* extension)
{
    if (!data || length == 0)
        return false;
    const int number = static_cast<int>(KeptFiles.size()) + 1;
    wchar_t path[MAX_PATH + 1];
    const int written = _snwprintf(path, MAX_PATH + 1, L"%s\\VSTScan%4.4d.%s", ScanFolder, number,
                                   extension ? extension : L"");
    if (written < 0 || written >= MAX_PATH) {
        // A cut name would point somewhere else.
        path[MAX_PATH] = 0;
        LogLine(L"Failed: Saving. File: %s", path);
        return false;
    }
    if (!WriteNewFile(path, data + start, length)) {
        LogLine(L"Failed: Saving. File: %s", path);
        return false;
    }

    LogLine(L"Verifying: File: %s", path);
    NImageFile* file = nullptr;
    if (!LoadImageForView(&file, path, false, true)) {
        LogLine(L"Failed: Loading. File: %s", path);
        DeleteFileW(path);
        delete file;
        return false;
    }

    const uint64_t consumed = file->GetConsumedSize();
    if (consumed > 0 && consumed <= length)
        CutFile(path, consumed);

    bool pass = true;
    if (ScanOptions.FileSizeOn && static_cast<unsigned>(ScanOptions.FileSizeIndex) <= 6)
        pass = consumed >= MinimumFileSize(ScanOptions.FileSizeIndex);
    if (ScanOptions.PhotoSizeOn) {
        const uint32_t side = MinimumPictureSide(ScanOptions.PhotoSizeIndex);
        const auto width = static_cast<uint32_t>(file->picture.width);
        const auto height = static_cast<uint32_t>(file->picture.height);
        if (width < side && height < side)
            pass = false;
    }
    delete file;
    if (!pass) {
        LogLine(L"Delete due to Ignore Options. File: %s", path);
        DeleteFileW(path);
        return false;
    }
    KeptFiles.push_back(NString(path));
    return true;
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
    WorkerThread = reinterpret_cast<HANDLE>(thread);
    WorkerThreadId = id;
    SetThreadPriority(WorkerThread, THREAD_PRIORITY_NORMAL);
    return true;
}

void ScanDlg::StopWorker()
{
    if (!WorkerThread)
        return;
    CancelRequested = true;
    // The worker's control updates are sent to this thread: keep taking them while waiting.
    for (;;) {
        const DWORD wait = MsgWaitForMultipleObjects(1, &WorkerThread, FALSE, INFINITE, QS_SENDMESSAGE);
        if (wait != WAIT_OBJECT_0 + 1)
            break;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    }
    CloseHandle(WorkerThread);
    WorkerThread = nullptr;
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
