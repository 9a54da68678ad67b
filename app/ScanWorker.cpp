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
#include "app/ScanSource.h"
#include "base/PathUtils.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

constexpr double kGigabyte = 1073741824.0;

// A text of the scan window's language section, or the built-in English text.
NString ScanText(const wchar_t* key, const wchar_t* builtIn)
{
    NString text;
    if (NWinApp* app = NGetApp()) {
        if (NLanguage* language = app->GetLanguage())
            text = language->GetText(L"Dlg_Scan", key, true);
    }
    if (text.IsEmpty())
        text = builtIn;
    return text;
}

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

class WorkerSink : public ScanSink {
public:
    explicit WorkerSink(ScanDlg& dialog)
        : m_dialog(dialog),
          m_photosFound(ScanText(L"PhotosFound", L"Photos found")),
          m_deviceSize(ScanText(L"DeviceSize", L"Device size")),
          m_devicePos(ScanText(L"DevicePos", L"Position")),
          m_verifyData(ScanText(L"VerifyData", L"Verifying"))
    {
    }

    void OnChunkStart(uint64_t position, uint64_t size) override
    {
        const double percent = size ? static_cast<double>(position) / static_cast<double>(size) * 100.0 : 0.0;
        NString text;
        text.Format(L"%s: %I64d (Bytes) = %2.2f (GB)\r\n%s: %I64d (Bytes) - %2.2f%%", m_deviceSize.c_str(),
                    static_cast<long long>(size), static_cast<double>(size) / kGigabyte, m_devicePos.c_str(),
                    static_cast<long long>(position), percent);
        m_dialog.SetControlText(ScanDlg::kPositionTextId, text.c_str());
        text.Format(L"%s: %d", m_photosFound.c_str(), static_cast<int>(m_dialog.KeptFiles.size()));
        m_dialog.SetControlText(ScanDlg::kCounterTextId, text.c_str());
        m_dialog.SetProgressPosition(static_cast<int>(percent));
    }

    bool OnHit(const uint8_t* candidate, uint64_t length, FileType type, uint64_t sourceOffset) override
    {
        (void)sourceOffset;
        wchar_t description[128] = {};
        CopyFileTypeDescription(description, 128, type);
        LogLine(L"Found: %s", description);
        NString text;
        text.Format(L"%s: %d -> [%s: %s]", m_photosFound.c_str(), static_cast<int>(m_dialog.KeptFiles.size()),
                    m_verifyData.c_str(), description);
        m_dialog.SetControlText(ScanDlg::kCounterTextId, text.c_str());
        return m_dialog.SaveAndVerifyCandidate(candidate, 0, length, FileTypeToExtension(type));
    }

    bool IsCancelled() override { return m_dialog.CancelRequested.load(std::memory_order_relaxed); }

    void Log(const wchar_t* text) override { LogLine(L"%s", text); }

private:
    ScanDlg& m_dialog;
    NString m_photosFound;
    NString m_deviceSize;
    NString m_devicePos;
    NString m_verifyData;
};

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

ScanLoopResult RunScan(ScanDlg& dialog)
{
    ScanLoopResult result;
    dialog.KeptFiles.clear();

    SYSTEMTIME utc;
    SYSTEMTIME local;
    GetSystemTime(&utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    if (!MakeScanFolder(GeneralOutputFolder, local, dialog.ScanFolder)) {
        ErrorBox(L"Failed to create the output folder below: %s", GeneralOutputFolder);
        return result;
    }

    // CancelRequested is cleared by whoever starts the scan (ScanDlg::StartWorker) and never here:
    // a cancel that comes before this point must not be lost.
    dialog.InitProgressBar();

    const bool fileMode = ScanOptions.ScanFromFile && PathFileExistsW(ScanOptions.ImageFilePath.c_str());
    wchar_t name[MAX_PATH];
    if (fileMode) {
        _snwprintf(name, MAX_PATH - 1, L"%s", ScanOptions.ImageFilePath.c_str());
    } else {
        if (ScanOptions.ScanFromFile)
            LogLine(L"Image file not found, scanning the drive instead: %s", ScanOptions.ImageFilePath.c_str());
        wchar_t drive[2] = {ScanOptions.DriveLetter[0], 0};
        _snwprintf(name, MAX_PATH - 1, L"\\\\.\\%s:", drive);
    }
    name[MAX_PATH - 1] = 0;

    ScanSourceHandle source;
    DWORD error = 0;
    if (!source.Open(name, error)) {
        ErrorBox(L"Failed to open Device!");
        return result;
    }
    if (fileMode) {
        source.MeasureAsFile();
    } else {
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

    ScanLoopSettings settings;
    settings.groupMask = ScanGroupMask(ScanOptions);
    settings.chunkSize =
        ChunkSizeBytes(ChunkFactor(ScanOptions.ChunkSizeOn, ScanOptions.ChunkSizeIndex), source.SectorSize());
    if (settings.chunkSize == 0) {
        ErrorBox(L"Failed to allocate ChunkBuffer");
        return result;
    }

    LogLine(L"Starting Scan:");
    WorkerSink sink(dialog);
    result = RunScanLoop(source, settings, sink);
    if (result.outOfMemory) {
        source.Close();
        ErrorBox(L"Failed to allocate ChunkBuffer");
        return result;
    }
    // The texts of the last chunk would still name the last candidate being verified: show the
    // final count and the position reached.
    sink.OnChunkStart(std::min(result.bytesScanned, source.Size()), source.Size());
    if (result.unreadableSectors)
        LogLine(L"Unreadable sectors stepped over: %I64u", result.unreadableSectors);
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
