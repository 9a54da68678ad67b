// Crash reporting of the program: the install record it hands to the crash-reporting library, the
// files every report gets, and the set-up for the process and for worker threads. Nothing of it
// runs while a debugger is attached.
#pragma once
#include <windows.h>

#include "dlls/CrashRpt1403/CrashRptInterface.h"
#include "base/NString.h"

// The base: an empty record, no files.
class NCrashHandler {
public:
    NCrashHandler();
    // Uninstalls for the process when the install worked and no debugger is attached.
    virtual ~NCrashHandler();
    NCrashHandler(const NCrashHandler&) = delete;
    NCrashHandler& operator=(const NCrashHandler&) = delete;

    virtual void FillInstallInfo();  // zeroes the record
    virtual void AddFiles() {}

    int installResult = -1;  // -1 until installed, then the library's answer (0 = installed)
    CrashInstallInfo installInfo = {};
    // The texts the record points to.
    NString emailSubject;
    NString privacyPolicyUrl;
    NString languageFile;
    NString customIcon;
};

// The program's handler.
class CrashHandler : public NCrashHandler {
public:
    // The record: program name and version, delivery addresses, every handler, normal minidump,
    // the crash-report language file of the user's locale ("<program folder>\Lang\crashrpt_<code>.ini",
    // "en-us" when that file is missing) and the program's icon.
    void FillInstallInfo() override;
    // Attaches the library log "_NLogMsg.txt" (when it exists), the application log (when it
    // exists), a screenshot and the settings key as "RegConfig.xml".
    void AddFiles() override;
};

// The process's handler: uninstalls when the process exits.
extern CrashHandler g_CrashHandler;

// Start-up of crash reporting: unless a debugger is attached, fill the record, install for the
// process ("Crash Handler Error: %s" in a box when that fails, and the program goes on) and
// attach the files. debuggerPresent null: IsDebuggerPresent.
void SetUpCrashReporting(BOOL(WINAPI* debuggerPresent)() = nullptr);
// For a worker thread: register it (reporting a failure like the install) and unregister it at
// its end. Nothing happens while a debugger is attached, nor when the process install failed
// (that failure was reported once already).
bool InstallCrashReportingForThread();
void UninstallCrashReportingForThread();
