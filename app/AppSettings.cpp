#include "app/AppSettings.h"

#include <windows.h>
#include <shlobj.h>

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <string>

#include "base/Log.h"
#include "base/NRegistry.h"
#include "base/SystemOwners.h"

wchar_t GeneralLanguageFile[kLanguageCodeUnits] = L"en-us";
int GeneralDetectedLanguage = 0;
wchar_t GeneralOutputFolder[kOutputFolderUnits] = L"";

namespace {

constexpr const wchar_t* kValueLanguage = L"GeneralLanguageFile";
constexpr const wchar_t* kValueDetected = L"GeneralDetectedLanguage";
constexpr const wchar_t* kValueOutput = L"GeneralOutputFolder";
constexpr const wchar_t* kDefaultLanguage = L"en-us";
constexpr int kMessageUnits = 2048;  // at most 2047 units of text per line or box
constexpr UINT kErrorBoxStyle = MB_ICONINFORMATION | MB_SETFOREGROUND | MB_TOPMOST;

SRWLOCK g_logLock = SRWLOCK_INIT;
// The log held open by the sessions (guarded by g_logLock).
KernelHandleOwner g_sessionLog;
int g_sessions = 0;

HANDLE OpenLogForAppending(const NString& path)
{
    return CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                       OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

// The flag, width, precision and size characters of a conversion.
template <typename Char>
bool IsConversionPrefix(Char c)
{
    static const char prefix[] = "-+ #0123456789.*hlLqjztwI";
    for (const char* q = prefix; *q; ++q) {
        if (c == static_cast<Char>(*q))
            return true;
    }
    return false;
}

// True when the printf format asks for %n (a write through an argument); such a format never
// reaches the formatter.
template <typename Char>
bool HasArgumentWrite(const Char* format)
{
    if (!format)
        return false;
    for (const Char* p = format; *p; ++p) {
        if (*p != static_cast<Char>('%'))
            continue;
        ++p;
        if (*p == static_cast<Char>('%'))
            continue;
        while (*p && IsConversionPrefix(*p))
            ++p;
        if (*p == static_cast<Char>('n'))
            return true;
        if (!*p)
            return false;
    }
    return false;
}

// The format with its arguments, cut to kMessageUnits - 1 units. A null format gives "", a format
// holding %n its own text.
void FormatText(wchar_t (&text)[kMessageUnits], const wchar_t* format, va_list args)
{
    text[0] = L'\0';
    if (!format)
        return;
    if (HasArgumentWrite(format)) {
        wcsncpy(text, format, kMessageUnits - 1);
    } else {
        // msvcrt's formatter (%s wide); -1 when the text was cut.
        _vsnwprintf(text, kMessageUnits - 1, format, args);
    }
    text[kMessageUnits - 1] = L'\0';
}

void FormatTextA(char (&text)[kMessageUnits], const char* format, va_list args)
{
    text[0] = '\0';
    if (!format)
        return;
    if (HasArgumentWrite(format))
        strncpy(text, format, kMessageUnits - 1);
    else
        _vsnprintf(text, kMessageUnits - 1, format, args);
    text[kMessageUnits - 1] = '\0';
}

bool SpecialFolder(int csidl, wchar_t (&path)[MAX_PATH])
{
    path[0] = L'\0';
    return SUCCEEDED(SHGetFolderPathW(nullptr, csidl | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path)) &&
           path[0] != L'\0';
}

// Appends "\name" to the folder; false (folder unchanged) when the result would not fit MAX_PATH.
bool AppendPathPart(NString& folder, const wchar_t* name)
{
    const int length = folder.GetLength();
    const bool slash = length > 0 && folder[length - 1] == L'\\';
    if (length + (slash ? 0 : 1) + static_cast<int>(wcslen(name)) >= MAX_PATH)
        return false;
    if (!slash)
        folder += L'\\';
    folder += name;
    return true;
}

void ConfigureStore(NRegistry& store, const wchar_t* iniPath)
{
    if (iniPath) {
        store.iniFilePath = iniPath;
        store.iniSection = kAppName;
        store.iniMode = true;
    }
}

// Reads a text setting into its field; a stored text that does not fit is replaced by the default.
void ReadTextSetting(NRegistry& store, const wchar_t* name, const wchar_t* defaultText, wchar_t* field,
                     int fieldUnits)
{
    NString stored;
    store.ReadString(kAppRegistryKey, name, defaultText, stored);
    const wchar_t* use = stored.c_str();
    if (stored.GetLength() >= fieldUnits) {
        LogLine(L"Setting %s: the stored text of %d characters is longer than %d; the default is used.", name,
                stored.GetLength(), fieldUnits - 1);
        use = defaultText;
    }
    wcsncpy(field, use, static_cast<size_t>(fieldUnits) - 1);
    field[fieldUnits - 1] = L'\0';
}

bool WriteLogText(const wchar_t* text)
{
    std::wstring line = LogLineStamp();
    line += text;
    line += L"\r\n";

    // UTF-8, so that every name in a line survives. One write per line on a handle that only
    // appends keeps lines whole, also between processes.
    const int bytes =
        WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return false;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, line.c_str(), static_cast<int>(line.size()), utf8.data(), bytes, nullptr,
                        nullptr);
    auto write = [&utf8](HANDLE file) {
        DWORD written = 0;
        return WriteFile(file, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr) &&
               written == utf8.size();
    };

    AcquireSRWLockExclusive(&g_logLock);
    if (g_sessionLog) {
        const bool ok = write(g_sessionLog.Get());
        ReleaseSRWLockExclusive(&g_logLock);
        return ok;
    }
    ReleaseSRWLockExclusive(&g_logLock);

    NString path;
    if (!GetAppLogPath(path))
        return false;
    AcquireSRWLockExclusive(&g_logLock);
    bool ok = false;
    if (const KernelHandleOwner file{OpenLogForAppending(path)})
        ok = write(file.Get());
    ReleaseSRWLockExclusive(&g_logLock);
    return ok;
}

}  // namespace

bool LoadSettings(const wchar_t* iniPath)
{
    wchar_t documents[MAX_PATH], pictures[MAX_PATH], appData[MAX_PATH];
    SpecialFolder(CSIDL_PERSONAL, documents);
    SpecialFolder(CSIDL_MYPICTURES, pictures);
    SpecialFolder(CSIDL_APPDATA, appData);

    NRegistry store(HKEY_CURRENT_USER);
    ConfigureStore(store, iniPath);
    ReadTextSetting(store, kValueLanguage, kDefaultLanguage, GeneralLanguageFile, kLanguageCodeUnits);
    GeneralDetectedLanguage = store.ReadInt(kAppRegistryKey, kValueDetected, 0);
    ReadTextSetting(store, kValueOutput, pictures, GeneralOutputFolder, kOutputFolderUnits);
    return true;
}

bool SaveSettings(const wchar_t* iniPath)
{
    NRegistry store(HKEY_CURRENT_USER);
    ConfigureStore(store, iniPath);
    store.WriteString(kAppRegistryKey, kValueLanguage, GeneralLanguageFile);
    store.WriteInt(kAppRegistryKey, kValueDetected, GeneralDetectedLanguage);
    store.WriteString(kAppRegistryKey, kValueOutput, GeneralOutputFolder);
    return true;
}

bool ResetOutputFolder()
{
    NRegistry store(HKEY_CURRENT_USER);
    store.DeleteValue(kAppRegistryKey, kValueOutput);
    return LoadSettings(nullptr);
}

bool GetAppDataLogFolder(NString& folder)
{
    wchar_t appData[MAX_PATH];
    if (!SpecialFolder(CSIDL_APPDATA, appData))
        return false;
    NString path(appData);
    if (!AppendPathPart(path, L"delvarin"))
        return false;
    CreateDirectoryW(path.c_str(), nullptr);
    if (!AppendPathPart(path, kAppName))
        return false;
    CreateDirectoryW(path.c_str(), nullptr);
    folder = path;
    return true;
}

bool GetAppLogPath(NString& path)
{
    NString folder;
    if (!GetAppDataLogFolder(folder) || !AppendPathPart(folder, kAppLogName))
        return false;
    path = folder;
    return true;
}

AppLogSession::AppLogSession()
{
    NString path;
    const bool known = GetAppLogPath(path);
    AcquireSRWLockExclusive(&g_logLock);
    if (g_sessions++ == 0 && known)
        g_sessionLog.Reset(OpenLogForAppending(path));
    ReleaseSRWLockExclusive(&g_logLock);
}

AppLogSession::~AppLogSession()
{
    AcquireSRWLockExclusive(&g_logLock);
    if (--g_sessions == 0)
        g_sessionLog.Reset();
    ReleaseSRWLockExclusive(&g_logLock);
}

int LogLineV(const wchar_t* format, va_list args)
{
    wchar_t text[kMessageUnits];
    FormatText(text, format, args);
    WriteLogText(text);
    return 1;
}

int LogLine(const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    LogLineV(format, args);
    va_end(args);
    return 1;
}

int ErrorBoxText(const wchar_t* text)
{
    const wchar_t* shown = text ? text : L"";
    WriteLogText(shown);
    return MessageBoxW(nullptr, shown, kAppTitle, kErrorBoxStyle);
}

int ErrorBox(const wchar_t* format, ...)
{
    wchar_t text[kMessageUnits];
    va_list args;
    va_start(args, format);
    FormatText(text, format, args);
    va_end(args);
    return ErrorBoxText(text);
}

int ErrorBoxA(const char* format, ...)
{
    char text[kMessageUnits];
    va_list args;
    va_start(args, format);
    FormatTextA(text, format, args);
    va_end(args);
    return MessageBoxA(nullptr, text, "Delvarin Vastrel 2.0.2", kErrorBoxStyle);
}
