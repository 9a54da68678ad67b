#include "common/NativeTool.h"

#include "common/TestFiles.h"

#include <windows.h>

std::string UnixPath(const std::wstring& path)
{
    using Convert = char*(CDECL*)(const wchar_t*);
    const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name");
    const auto convert = reinterpret_cast<Convert>(reinterpret_cast<void*>(found));
    if (!convert)
        return {};
    char* unix = convert(path.c_str());
    if (!unix)
        return {};
    std::string result(unix);
    HeapFree(GetProcessHeap(), 0, unix);
    return result;
}

bool NativeProgramExists(const char* program)
{
    const std::string name = std::string("Z:") + program;
    std::wstring wide(name.begin(), name.end());
    for (wchar_t& c : wide) {
        if (c == L'/')
            c = L'\\';
    }
    return GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool RunNativeCommand(const std::wstring& folder, const std::string& command)
{
    const std::string unixFolder = UnixPath(folder);
    if (unixFolder.empty())
        return false;
    const std::wstring marker = folder + L"\\native-done";
    DeleteFileW(marker.c_str());
    // A native program started by Wine gives no handle to wait on: a marker file tells the end.
    const std::string script = "cd '" + unixFolder + "' && " + command + " && echo ok > native-done";
    std::wstring line = L"Z:\\bin\\sh -c \"";
    for (char c : script)
        line += c == '"' ? std::wstring(L"\\\"") : std::wstring(1, static_cast<wchar_t>(static_cast<unsigned char>(c)));
    line += L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
        return false;
    if (process.hProcess)
        CloseHandle(process.hProcess);
    if (process.hThread)
        CloseHandle(process.hThread);
    for (int i = 0; i < 200 && !FileExists(marker); ++i)
        Sleep(50);
    const bool done = FileExists(marker);
    DeleteFileW(marker.c_str());
    return done;
}
