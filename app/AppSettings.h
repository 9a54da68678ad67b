// The application's settings (kept between runs in the registry) and its own log "_vst.log".
//
// The three settings live in process-wide values. They are written on the user-interface thread
// only (start-up, the options window, the language window); the scan worker reads them while the
// modal scan window keeps every writer closed.
#pragma once
#include <windows.h>

#include "base/NString.h"

// Names of the application as the program shows and stores them.
inline constexpr const wchar_t* kAppName = L"Delvarin Vastrel 2";
inline constexpr const wchar_t* kAppVersion = L"2.0.2";
inline constexpr const wchar_t* kAppTitle = L"Delvarin Vastrel 2.0.2";  // message-box caption
inline constexpr const wchar_t* kAppRegistryKey = L"Software\\Delvarin\\Delvarin Vastrel 2";  // under HKCU
inline constexpr const wchar_t* kAppLogName = L"_vst.log";

// Field sizes in UTF-16 units, the NUL included.
inline constexpr int kLanguageCodeUnits = 32;
inline constexpr int kOutputFolderUnits = MAX_PATH;

// The settings (registry values of the same names under kAppRegistryKey).
extern wchar_t GeneralLanguageFile[kLanguageCodeUnits];  // language code, default "en-us"
extern int GeneralDetectedLanguage;                        // 1 once the system language was taken over
extern wchar_t GeneralOutputFolder[kOutputFolderUnits];  // default: the user's pictures folder

// Reads the three values into the process-wide values; with an ini path, from the section
// "Delvarin Vastrel 2" of that file instead of the registry. A value missing from the store gives
// its default. A stored text that does not fit its field is not used: the default takes its place
// and a log line says so. Answers true.
bool LoadSettings(const wchar_t* iniPath = nullptr);
// Writes the three values back (REG_SZ, REG_DWORD), same ini rule. Write failures are ignored.
// Answers true.
bool SaveSettings(const wchar_t* iniPath = nullptr);
// Deletes the stored output folder and loads the settings again (the pictures folder comes back).
bool ResetOutputFolder();

// "<application data>\delvarin\Delvarin Vastrel 2" (the folders are created when missing), or
// "<application data>\delvarin\Delvarin Vastrel 2\_vst.log". False when the application-data
// folder cannot be found or the path would not fit MAX_PATH.
bool GetAppDataLogFolder(NString& folder);
bool GetAppLogPath(NString& path);

// Appends "YYYY/MM/DD hh:mm:ss: text" (UTC) to the log; the text is the wide printf format
// (%s wide, %S narrow) with its arguments, cut to 2047 units. Each line is written whole, also
// when several threads or processes log at once. A log that cannot be opened is skipped silently.
// Answers 1.
// The format must be the program's own text: a text from outside (a language file, a file name)
// goes in as an argument of "%s", or through NLanguage::GetFormatText first. A format holding
// %n is never carried out; its text is logged as it stands.
int LogLine(const wchar_t* format, ...);
int LogLineV(const wchar_t* format, va_list args);

// While one lives, the log stays open and each line is one write to it, rather than an opening,
// a write and a closing (a scan logs a few lines for every candidate). Sessions may nest.
class AppLogSession {
public:
    AppLogSession();
    ~AppLogSession();
    AppLogSession(const AppLogSession&) = delete;
    AppLogSession& operator=(const AppLogSession&) = delete;
};
// Logs the text and shows it in a message box (no owner, caption kAppTitle, information icon,
// top-most); answers the box's result. Same format rule as LogLine.
int ErrorBox(const wchar_t* format, ...);
// The same for a finished text that is not a format (shown and logged as it stands).
int ErrorBoxText(const wchar_t* text);
// Narrow twin of ErrorBox: shows the text (MessageBoxA) without logging it.
int ErrorBoxA(const char* format, ...);
