#include "app/ScanWorker.h"

#include <windows.h>
#include <objbase.h>
#include <shlwapi.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>

#include "app/AppSettings.h"
#include "app/CrashReport.h"
#include "app/ScanOptions.h"
#include "app/ScanPipeline.h"
#include "app/ScanSource.h"
#include "base/PathUtils.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

constexpr double kGigabyte = 1073741824.0;

// Appends text to the folder path; false when it would not fit.
bool AppendPart(wchar_t (&folder)[MAX_PATH], const wchar_t* text)
{
    const size_t used = wcslen(folder);
    const size_t extra = wcslen(text);
    if (used + extra >= MAX_PATH)
        return false;
    wmemcpy(folder + used, text, extra + 1);
    return true;
}

bool AddBackslash(wchar_t (&folder)[MAX_PATH])
{
    const size_t used = wcslen(folder);
    if (used > 0 && folder[used - 1] == L'\\')
        return true;
    return AppendPart(folder, L"\\");
}

// The system's text for an error code, without its line break.
NString SystemMessage(DWORD error)
{
    wchar_t text[512] = {};
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                        text, 511, nullptr);
    NString message;
    if (length == 0) {
        message.Format(L"Error %lu", static_cast<unsigned long>(error));
        return message;
    }
    message = text;
    message.TrimRight();
    return message;
}

}  // namespace

bool MakeScanFolder(const wchar_t* outputFolder, const SYSTEMTIME& localTime, wchar_t (&folder)[MAX_PATH])
{
    folder[0] = 0;
    wchar_t dated[MAX_PATH];
    _snwprintf(dated, MAX_PATH - 1, L"%.2d %.2d %.2d - %2.2dh%2.2dm", localTime.wYear, localTime.wMonth,
               localTime.wDay, localTime.wHour, localTime.wMinute);
    dated[MAX_PATH - 1] = 0;

    if (!AppendPart(folder, outputFolder ? outputFolder : L""))
        return false;
    CreateDirectoryW(folder, nullptr);
    if (!AddBackslash(folder) || !AppendPart(folder, kAppName))
        return false;
    CreateDirectoryW(folder, nullptr);
    if (!AddBackslash(folder) || !AppendPart(folder, dated))
        return false;
    // A scan in the same minute gets a folder of its own rather than overwriting the files of
    // the earlier one, whose numbers start at 1 as well.
    if (!MakeUniquePath(folder, MAX_PATH))
        return false;
    CreateDirectoryW(folder, nullptr);
    return true;
}

bool CheckImageFile(const wchar_t* path, NString& problem)
{
    problem.Empty();
    NString reason;
    const DWORD attributes = path && *path ? GetFileAttributesW(path) : INVALID_FILE_ATTRIBUTES;
    if (!path || !*path) {
        reason = ScanText(L"ImageNotChosen", L"No image file is chosen.");
    } else if (attributes == INVALID_FILE_ATTRIBUTES) {
        reason = SystemMessage(GetLastError());
    } else if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        reason = ScanText(L"ImageIsFolder", L"This is a folder, not a file.");
    } else {
        ScanSourceHandle source;
        DWORD error = 0;
        if (source.Open(path, error))
            return true;
        reason = SystemMessage(error);
    }
    const wchar_t* builtIn = L"The image file cannot be scanned:\n%s\n\n%s";
    NString format;
    if (NWinApp* app = NGetApp()) {
        if (NLanguage* language = app->GetLanguage())
            format = language->GetFormatText(L"Dlg_Scan", L"ImageFileProblem", L"ss", builtIn);
    }
    if (format.IsEmpty())
        format = builtIn;
    problem.Format(format.c_str(), path ? path : L"", reason.c_str());
    return false;
}

ScanLoopResult RunScan(ScanDlg& dialog)
{
    ScanLoopResult result;
    dialog.KeptFiles.clear();
    dialog.ScanStopped = false;
    AppLogSession log;
    // CancelRequested is cleared by whoever starts the scan (ScanDlg::StartWorker) and never here:
    // a cancel that comes before this point must not be lost.
    dialog.InitProgressBar();

    // The source first: a source that cannot be read leaves no empty folder behind. An image
    // file is only ever read itself; a missing one is never a reason to read a drive.
    const bool fileMode = ScanOptions.ScanFromFile != 0;
    wchar_t name[MAX_PATH];
    if (fileMode) {
        _snwprintf(name, MAX_PATH - 1, L"%s", ScanOptions.ImageFilePath.c_str());
    } else {
        wchar_t drive[2] = {ScanOptions.DriveLetter[0], 0};
        _snwprintf(name, MAX_PATH - 1, L"\\\\.\\%s:", drive);
    }
    name[MAX_PATH - 1] = 0;
    ScanSourceHandle source;
    if (fileMode) {
        NString problem;
        DWORD error = 0;
        if (!CheckImageFile(name, problem)) {
            ErrorBoxText(problem.c_str());
            return result;
        }
        if (!source.Open(name, error)) {
            ErrorBox(L"Failed to open the image file %s: %s", name, SystemMessage(error).c_str());
            return result;
        }
        source.MeasureAsFile();
    } else {
        DWORD error = 0;
        if (!source.Open(name, error)) {
            ErrorBox(L"Failed to open Device!");
            return result;
        }
        uint64_t diskSizeEx = 0;
        const bool measured = source.MeasureAsVolume(diskSizeEx);
        if (diskSizeEx)
            LogLine(L"Disk size Ex = %I64d (Bytes) = %2.2f (GB)", static_cast<long long>(diskSizeEx),
                    static_cast<double>(diskSizeEx) / kGigabyte);
        if (!measured) {
            // Some devices answer no geometry at all but can be read (under Wine, a drive that
            // leads to a Unix device): their size is found by reading.
            if (!source.MeasureByReading()) {
                ErrorBox(L"Failed to retrieve Device Information!");
                return result;
            }
            LogLine(L"No device geometry; size found by reading.");
        }
        LogLine(L"Disk size = %I64d (Bytes) = %2.2f (GB) - Bytes/sector = %ld",
                static_cast<long long>(source.Size()), static_cast<double>(source.Size()) / kGigabyte,
                static_cast<long>(source.SectorSize()));
    }

    SYSTEMTIME utc;
    SYSTEMTIME local;
    GetSystemTime(&utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    if (!MakeScanFolder(GeneralOutputFolder, local, dialog.ScanFolder)) {
        ErrorBox(L"Failed to create the output folder below: %s", GeneralOutputFolder);
        return result;
    }

    ScanLoopSettings settings;
    settings.groupMask = ScanGroupMask(ScanOptions);
    settings.chunkSize =
        ChunkSizeBytes(ChunkFactor(ScanOptions.ChunkSizeOn, ScanOptions.ChunkSizeIndex), source.SectorSize());
    if (settings.chunkSize == 0) {
        ErrorBox(L"Failed to allocate ChunkBuffer");
        return result;
    }

    LogLine(L"Starting Scan:");
    ScanPipeline pipeline(dialog, settings.chunkSize);
    result = RunScanLoop(source, settings, pipeline);
    pipeline.Finish(result.cancelled);
    result.hits = pipeline.HitsTaken();
    result.costs = pipeline.Costs();
    result.kept = dialog.KeptFiles.size();
    if (result.outOfMemory) {
        source.Close();
        ErrorBox(L"Failed to allocate ChunkBuffer");
        return result;
    }
    // The texts of the last chunk would still name the last candidate being verified: show the
    // final count and the position reached.
    pipeline.ShowEnd(std::min(result.bytesScanned, source.Size()), source.Size());
    if (result.unreadableSectors)
        LogLine(L"Unreadable sectors stepped over: %I64u", result.unreadableSectors);
    dialog.ScanStopped = result.cancelled;
    if (result.cancelled)
        LogLine(L"Scan stopped at %I64d (Bytes); %d files kept.", static_cast<long long>(result.bytesScanned),
                static_cast<int>(dialog.KeptFiles.size()));
    LogLine(L"Finished Scan.");
    return result;
}

unsigned __stdcall ScanWorker(void* scanDialog)
{
    if (!scanDialog)
        return 1;
    auto* dialog = static_cast<ScanDlg*>(scanDialog);
    const HRESULT com = CoInitialize(nullptr);
    InstallCrashReportingForThread();
    RunScan(*dialog);
    if (HWND window = dialog->GetHwnd())
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
    UninstallCrashReportingForThread();
    if (SUCCEEDED(com))
        CoUninitialize();
    return 1;
}
