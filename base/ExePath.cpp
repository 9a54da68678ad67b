#include "base/ExePath.h"

#include <windows.h>
#include <shlwapi.h>

#include <string>

namespace {

// The module path in full, however long; false when it cannot be read.
bool ReadModulePath(std::wstring& path)
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            return false;
        if (n < buffer.size()) {
            buffer.resize(n);
            path = std::move(buffer);
            return true;
        }
        if (buffer.size() >= 32768)
            return false;
        buffer.resize(buffer.size() * 2);
    }
}

bool ReadModuleFolder(std::wstring& folder)
{
    std::wstring path;
    if (!ReadModulePath(path))
        return false;
    PathRemoveFileSpecW(path.data());
    path.resize(wcslen(path.c_str()));
    folder = std::move(path);
    return true;
}

}  // namespace

void GetExeDirectory(wchar_t* buffer, int size)
{
    if (!buffer || size <= 0)
        return;
    std::wstring folder;
    if (!ReadModuleFolder(folder))
        return;
    lstrcpynW(buffer, folder.c_str(), size);
}

bool GetExeDirectory(NString& folder)
{
    std::wstring text;
    if (!ReadModuleFolder(text))
        return false;
    folder = text.c_str();
    return true;
}

bool GetExePath(NString& path)
{
    std::wstring text;
    if (!ReadModulePath(text))
        return false;
    path = text.c_str();
    return true;
}
