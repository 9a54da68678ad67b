#include "base/FolderDialog.h"

#include <io.h>
#include <shellapi.h>
#include <shlobj.h>

#include <string>

namespace {

// A folder the user may choose: it has a file-system path that exists and is no shortcut.
bool IsUsableFolder(PCIDLIST_ABSOLUTE item)
{
    wchar_t path[MAX_PATH] = {};
    if (!item || !SHGetPathFromIDListW(item, path) || !path[0] || _waccess(path, 0) != 0)
        return false;
    SHFILEINFOW info = {};
    if (!SHGetFileInfoW(reinterpret_cast<const wchar_t*>(item), 0, &info, sizeof info, SHGFI_PIDL | SHGFI_ATTRIBUTES))
        return false;
    return (info.dwAttributes & SFGAO_LINK) == 0;
}

}  // namespace

int CALLBACK BrowseForFolderCallback(HWND dialog, UINT message, LPARAM lParam, LPARAM data)
{
    switch (message) {
    case BFFM_INITIALIZED:
        SetWindowLongPtrW(dialog, GWL_STYLE, GetWindowLongPtrW(dialog, GWL_STYLE) & ~static_cast<LONG_PTR>(DS_CONTEXTHELP));
        SetWindowLongPtrW(dialog, GWL_EXSTYLE,
                          GetWindowLongPtrW(dialog, GWL_EXSTYLE) & ~static_cast<LONG_PTR>(WS_EX_CONTEXTHELP));
        SendMessageW(dialog, BFFM_SETSELECTIONW, TRUE, data);
        break;
    case BFFM_SELCHANGED:
        if (!IsUsableFolder(reinterpret_cast<PCIDLIST_ABSOLUTE>(lParam)))
            EnableWindow(GetDlgItem(dialog, IDOK), FALSE);
        break;
    default:
        break;
    }
    return 0;
}

bool BrowseForFolder(HWND owner, const wchar_t* startFolder, wchar_t* buffer, int size)
{
    if (!buffer || size <= 0)
        return false;
    std::wstring start;
    if (startFolder && *startFolder) {
        start = startFolder;
    } else {
        DWORD needed = GetCurrentDirectoryW(0, nullptr);
        start.assign(needed, L'\0');
        DWORD got = needed ? GetCurrentDirectoryW(needed, start.data()) : 0;
        start.resize(got < needed ? got : 0);
    }

    wchar_t displayName[MAX_PATH] = {};
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.pidlRoot = nullptr;
    info.pszDisplayName = displayName;
    info.lpszTitle = nullptr;
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
    info.lpfn = BrowseForFolderCallback;
    info.lParam = reinterpret_cast<LPARAM>(start.c_str());
    PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
    if (!chosen)
        return false;

    wchar_t path[MAX_PATH] = {};
    bool ok = SHGetPathFromIDListW(chosen, path) && path[0] && wcslen(path) < static_cast<size_t>(size);
    CoTaskMemFree(chosen);
    if (ok)
        wmemcpy(buffer, path, wcslen(path) + 1);
    return ok;
}
