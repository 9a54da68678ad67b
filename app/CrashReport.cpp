#include "app/CrashReport.h"

#include <shlwapi.h>

#include <cstring>

#include "app/AppSettings.h"
#include "app/CrashReportLibrary.h"
#include "base/ExePath.h"
#include "base/Log.h"
#include "ui/NLanguage.h"

CrashHandler g_CrashHandler;

namespace {

constexpr const wchar_t* kEmailRecipient = L"crash-reports@delvarin.example";
constexpr const wchar_t* kUploadUrl = L"https://crash-reports.delvarin.example/submit";
constexpr const wchar_t* kPrivacyPolicyUrl = L"https://www.delvarin.example/privacy?lang=";
constexpr DWORD kInstallFlags = 0x601FFF;  // every handler, additional information, more files
constexpr DWORD kScreenshotFlags = 0x1A;   // the whole screen, JPEG, greyscale
constexpr int kScreenshotQuality = 50;

NString ProgramFolderWithSlash()
{
    NString folder;
    GetExeDirectory(folder);
    if (folder.GetLength() > 0 && folder[folder.GetLength() - 1] != L'\\')
        folder += L'\\';
    return folder;
}

BOOL WINAPI DebuggerCheck()
{
    return IsDebuggerPresent();
}

void ReportCrashHandlerError()
{
    LogMessageBox(L"Crash Handler Error: %s", CrashRpt::LastErrorText().c_str());
}

}  // namespace

NCrashHandler::NCrashHandler() = default;

NCrashHandler::~NCrashHandler()
{
    if (!IsDebuggerPresent() && installResult == 0) {
        CrashRpt::Uninstall();
        installResult = -1;
    }
}

void NCrashHandler::FillInstallInfo()
{
    std::memset(&installInfo, 0, sizeof(installInfo));
}

void CrashHandler::FillInstallInfo()
{
    std::memset(&installInfo, 0, sizeof(installInfo));
    const NString code = LcidToLanguageCode(GetUserDefaultLCID());
    const NString folder = ProgramFolderWithSlash();

    emailSubject.Format(L"Crash Report: %s", kAppTitle);
    privacyPolicyUrl = NString(kPrivacyPolicyUrl) + code;
    languageFile = folder + L"Lang\\crashrpt_" + code + L".ini";
    if (!PathFileExistsW(languageFile.c_str()))
        languageFile = folder + L"Lang\\crashrpt_en-us.ini";
    customIcon = folder + L"vst.exe, 0";

    installInfo.size = sizeof(CrashInstallInfo);
    installInfo.appName = kAppName;
    installInfo.appVersion = kAppVersion;
    installInfo.emailRecipient = kEmailRecipient;
    installInfo.emailSubject = emailSubject.c_str();
    installInfo.uploadUrl = kUploadUrl;
    installInfo.transportPriorities[0] = 2;
    installInfo.transportPriorities[1] = -1;
    installInfo.transportPriorities[2] = -1;
    installInfo.flags = kInstallFlags;
    installInfo.privacyPolicyUrl = privacyPolicyUrl.c_str();
    installInfo.minidumpType = 0;  // MiniDumpNormal
    installInfo.languageFile = languageFile.c_str();
    installInfo.customIcon = customIcon.c_str();
}

void CrashHandler::AddFiles()
{
    const NString libraryLog = ProgramFolderWithSlash() + L"_NLogMsg.txt";
    if (PathFileExistsW(libraryLog.c_str()))
        CrashRpt::AddFile(libraryLog.c_str(), nullptr, L"_NLogMsg", kCrashFileOptional);

    NString appLog;
    if (GetAppLogPath(appLog) && PathFileExistsW(appLog.c_str()))
        CrashRpt::AddFile(appLog.c_str(), nullptr, L"LMCLog", 0);

    CrashRpt::AddScreenshot(kScreenshotFlags, kScreenshotQuality);

    NString key;
    key.Format(L"HKEY_CURRENT_USER\\Software\\Delvarin\\%s", kAppName);
    CrashRpt::AddRegistryKey(key.c_str(), L"RegConfig.xml", kCrashKeyWithSubkeys);
}

void SetUpCrashReporting(BOOL(WINAPI* debuggerPresent)())
{
    if (!debuggerPresent)
        debuggerPresent = DebuggerCheck;
    if (debuggerPresent())
        return;
    g_CrashHandler.FillInstallInfo();
    if (!debuggerPresent()) {
        g_CrashHandler.installResult = CrashRpt::Install(&g_CrashHandler.installInfo);
        if (g_CrashHandler.installResult != 0)
            ReportCrashHandlerError();
    }
    g_CrashHandler.AddFiles();
}

bool InstallCrashReportingForThread()
{
    if (IsDebuggerPresent())
        return true;
    // Without crash reporting for the process (its failure was reported at start-up) there is
    // nothing to register.
    if (g_CrashHandler.installResult != 0)
        return false;
    if (CrashRpt::InstallThread(0) == 0)
        return true;
    ReportCrashHandlerError();
    return false;
}

void UninstallCrashReportingForThread()
{
    if (!IsDebuggerPresent() && g_CrashHandler.installResult == 0)
        CrashRpt::UninstallThread();
}
