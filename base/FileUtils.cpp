#include "base/FileUtils.h"

#include <shellapi.h>

#include <string>

#include "base/Log.h"
#include "base/SystemOwners.h"

namespace {

// The longest path the shell operations take: MAX_PATH units with the NUL.
constexpr size_t kMaxShellPath = MAX_PATH - 1;

// A list of one name for SHFileOperationW, ending in two NULs. Refuses anything that would
// make the shell act on another item: a path it would cut, or wildcards, which it expands.
bool MakeOneNameList(const wchar_t* path, std::wstring& list)
{
    if (!path || !*path)
        return false;
    std::wstring name(path);
    if (name.size() > kMaxShellPath || name.find_first_of(L"*?") != std::wstring::npos)
        return false;
    list = name;
    list.push_back(L'\0');  // the string's own NUL is the second one
    return true;
}

}  // namespace

int ShellDeleteFile(const wchar_t* path, bool toRecycleBin)
{
    std::wstring from;
    if (!MakeOneNameList(path, from))
        return 0;
    SHFILEOPSTRUCTW op = {};
    op.hwnd = GetDesktopWindow();
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.pTo = nullptr;
    op.fFlags = FOF_NOCONFIRMATION | (toRecycleBin ? FOF_ALLOWUNDO : 0);
    return SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted ? 1 : 0;
}

bool CopyFileShell(const wchar_t* destination, const wchar_t* source, HWND owner)
{
    std::wstring from;
    std::wstring to;
    bool ok = MakeOneNameList(source, from) && MakeOneNameList(destination, to);
    if (ok) {
        SHFILEOPSTRUCTW op = {};
        op.hwnd = owner;
        op.wFunc = FO_COPY;
        op.pFrom = from.c_str();
        op.pTo = to.c_str();
        op.fFlags = FOF_NOCONFIRMATION | FOF_NOCONFIRMMKDIR;
        ok = SHFileOperationW(&op) == 0 && !op.fAnyOperationsAborted;
    }
    if (!ok) {
        LogMessageBox(L"FAILED to copy the file from\r\n %s\r\n to\r\n %s", source ? source : L"",
                      destination ? destination : L"");
        return false;
    }
    SetFileAttributesW(destination, FILE_ATTRIBUTE_NORMAL);
    return true;
}

bool CheckFileReadable(const wchar_t* path, NString& error)
{
    const KernelHandleOwner file(
        path ? CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr) : nullptr);
    if (!file) {
        error = L"Failed to open file for read!";
        return false;
    }
    LARGE_INTEGER size = {};
    const bool sized = GetFileSizeEx(file.Get(), &size) != FALSE;
    if (!sized || size.QuadPart <= 19) {
        error = L"Invalid file size!";
        return false;
    }
    return true;
}
