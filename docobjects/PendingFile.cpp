#include "docobjects/PendingFile.h"

#include <windows.h>

#include "base/SystemOwners.h"

bool PendingFile::Begin(const wchar_t* path)
{
    Discard();
    if (!path || !*path)
        return false;
    target_ = path;
    const size_t slash = target_.find_last_of(L"\\/");
    std::wstring folder = slash == std::wstring::npos ? std::wstring(L".") : target_.substr(0, slash + 1);
    wchar_t unique[MAX_PATH];
    if (folder.size() < MAX_PATH - 14 && GetTempFileNameW(folder.c_str(), L"lmc", 0, unique) != 0) {
        work_ = unique;
        return true;
    }
    // A folder too long for a generated name: a fixed name beside the target.
    work_ = target_ + L".pending";
    const KernelHandleOwner made(
        CreateFileW(work_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!made) {
        work_.clear();
        return false;
    }
    return true;
}

bool PendingFile::Commit()
{
    if (work_.empty())
        return false;
    if (!MoveFileExW(work_.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING))
        return false;
    work_.clear();
    return true;
}

void PendingFile::Discard()
{
    if (!work_.empty())
        DeleteFileW(work_.c_str());
    work_.clear();
}
