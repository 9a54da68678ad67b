#include "imagefile/extra/DlvTempFile.h"

#include "imagefile/extra/StdioStream.h"

#include <windows.h>

bool DlvTempFile::Create()
{
    Remove();
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH)
        return false;
    // The name needs room for the folder and 14 more characters.
    if (length + 14 >= sizeof(path_) / sizeof(path_[0]))
        return false;
    if (GetTempFileNameW(folder, L"dlv", 0, path_) == 0) {
        path_[0] = 0;
        return false;
    }
    made_ = true;
    return true;
}

bool DlvTempFile::CreateWith(const void* bytes, size_t count)
{
    if (!Create())
        return false;
    StdioStream out;
    bool ok = out.Open(path_, L"wb") && out.Write(bytes, count);
    ok = out.Close() && ok;
    if (!ok)
        Remove();
    return ok;
}

void DlvTempFile::Remove()
{
    if (made_)
        DeleteFileW(path_);
    made_ = false;
    path_[0] = 0;
}
