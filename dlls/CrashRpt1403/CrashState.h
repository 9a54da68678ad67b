// What the crash-reporting library keeps between its install and a crash: the copied install
// record, the attachments and the registered threads. One process-wide instance behind a lock.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

struct AttachedFile {
    std::wstring path;         // the file at crash time
    std::wstring name;         // its name in the report folder
    std::wstring description;
    DWORD flags = 0;
};

struct AttachedKey {
    std::wstring keyPath;   // "HKEY_CURRENT_USER\..."
    std::wstring fileName;  // its XML file in the report folder
    DWORD flags = 0;
};

struct CrashSettings {
    bool installed = false;
    std::wstring appName;
    std::wstring appVersion;
    std::wstring emailRecipient;
    std::wstring emailSubject;
    std::wstring uploadUrl;
    std::wstring privacyPolicyUrl;
    std::wstring debugHelpPath;
    std::wstring languageFile;
    std::wstring customIcon;
    std::wstring reportRoot;  // reports go into dated folders below it
    int transportPriorities[5] = {};
    DWORD flags = 0;
    DWORD minidumpType = 0;
    std::vector<AttachedFile> files;
    std::vector<AttachedKey> keys;
    bool screenshot = false;
    DWORD screenshotFlags = 0;
    int jpegQuality = 0;
    std::vector<DWORD> threads;  // threads registered on their own (and the installing thread)
};

// The state, to be touched only between LockCrashState and UnlockCrashState.
CrashSettings& CrashState();
void LockCrashState();
void UnlockCrashState();
// For the crash path: waits at most timeoutMs for the lock and answers whether it was taken (a
// thread that crashed while holding it must not stop the report).
bool TryLockCrashState(DWORD timeoutMs);

// The text of the last failure, for the error-text export.
void SetCrashError(const std::wstring& text);
std::wstring GetCrashError();

// A name for a file in the report folder: not empty, no folder parts, no characters a file name
// cannot hold, and none of the library's own names.
bool IsValidReportFileName(const std::wstring& name);
