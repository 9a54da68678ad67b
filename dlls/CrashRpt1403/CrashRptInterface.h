// The interface of the crash-reporting library CrashRpt1403.dll: its install record, its flags and
// the ordinals of its exports. The library and the program both build from this header.
#pragma once
#include <windows.h>

#include <cstddef>

// What the program hands to the library's process install. The library copies every text; the
// record may go once the install has answered. Fields the caller leaves 0 or null take defaults.
struct CrashInstallInfo {
    DWORD size;                        // sizeof(CrashInstallInfo), 184
    const wchar_t* appName;            // shown in the report and the box
    const wchar_t* appVersion;
    const wchar_t* emailRecipient;     // recorded in the report; the library sends nothing
    const wchar_t* emailSubject;
    const wchar_t* uploadUrl;          // recorded in the report; the library sends nothing
    const wchar_t* senderPath;         // reserved, null
    void* reserved1;                   // reserved, null
    int transportPriorities[5];        // recorded in the report
    DWORD flags;                       // kCrashHandle* and kCrash* below
    const wchar_t* privacyPolicyUrl;   // recorded in the report
    const wchar_t* debugHelpPath;      // folder of dbghelp.dll; null: the system's
    DWORD minidumpType;                // MINIDUMP_TYPE, 0 = MiniDumpNormal
    const wchar_t* languageFile;       // ini file with the texts of the box (section [Report])
    const wchar_t* customIcon;         // "path, index"; recorded in the report
    const wchar_t* reportFolder;       // folder below which reports are written; null: the default
    void* reserved2[6];                // reserved, null
};
static_assert(sizeof(CrashInstallInfo) == 184, "the install record is 184 bytes");
static_assert(offsetof(CrashInstallInfo, transportPriorities) == 64, "install record layout");
static_assert(offsetof(CrashInstallInfo, flags) == 84, "install record layout");
static_assert(offsetof(CrashInstallInfo, minidumpType) == 104, "install record layout");
static_assert(offsetof(CrashInstallInfo, languageFile) == 112, "install record layout");

// Install flags. The handler bits 0x1 to 0x1000 together ask for every handler the library has.
inline constexpr DWORD kCrashHandleUnhandledExceptions = 0x1;  // structured exceptions nobody handled
inline constexpr DWORD kCrashHandleInvalidParameter = 0x8;      // invalid parameters to the C run-time
inline constexpr DWORD kCrashHandleAbort = 0x10;                // abort(), SIGABRT and so std::terminate
inline constexpr DWORD kCrashHandleAll = 0x1FFF;
inline constexpr DWORD kCrashAppendFiles = 0x200000;      // files, keys and screenshots may be added
inline constexpr DWORD kCrashAdditionalInfo = 0x400000;   // the report describes the system and process
inline constexpr DWORD kCrashNoUserInterface = 0x1000000;  // the report is written without telling anyone

// Flags of an added file.
inline constexpr DWORD kCrashFileOptional = 0x4;  // a file missing at crash time is not noted as missing

// Flags of an added registry key.
inline constexpr DWORD kCrashKeyWithSubkeys = 0x1;  // the key's subkeys are written too

// Flags of the screenshot.
inline constexpr DWORD kCrashShotProcessWindows = 0x1;  // only the area of the process's windows
inline constexpr DWORD kCrashShotJpeg = 0x8;            // JPEG at the given quality (else PNG)
inline constexpr DWORD kCrashShotGreyscale = 0x10;

// Result of every call but the error text: 0 success, non-zero failure (the text says why).
// Exports by ordinal.
enum CrashRptOrdinal : WORD {
    kCrashOrdinalInstall = 7,            // int (const CrashInstallInfo*)
    kCrashOrdinalUninstall = 9,          // int ()
    kCrashOrdinalInstallThread = 11,     // int (DWORD flags)
    kCrashOrdinalUninstallThread = 12,   // int ()
    kCrashOrdinalAddFile = 15,           // int (path, name in the report or null, description, DWORD flags)
    kCrashOrdinalLastErrorText = 23,     // int (wchar_t* buffer, UINT units): units copied without NUL
    kCrashOrdinalAddRegistryKey = 25,    // int (key path, file name in the report, DWORD flags)
    kCrashOrdinalAddScreenshot = 27,     // int (DWORD flags, int JPEG quality 0..100)
};

inline constexpr const wchar_t* kCrashLibraryName = L"CrashRpt1403.dll";

// Files the library writes into every report folder besides the attachments.
inline constexpr const wchar_t* kCrashDumpName = L"crashdump.dmp";
inline constexpr const wchar_t* kCrashDescriptionName = L"crashrpt.xml";
inline constexpr const wchar_t* kCrashScreenshotBaseName = L"screenshot";  // .jpg or .png
