#include "ShippedSkin.h"

#include <windows.h>

#include "common/TestFiles.h"
#include "ui/NSkin.h"
#include "ui/NWinApp.h"

ShippedSkin::ShippedSkin(NWinApp& app, bool active)
{
    if (!active)
        return;
    const std::wstring skins = ProgramFolder() + L"\\Skins";
    const std::wstring target = skins + L"\\Default";
    madeSkins_ = CreateDirectoryW(skins.c_str(), nullptr) != FALSE;
    if (CreateDirectoryW(target.c_str(), nullptr)) {
        folder_ = target;
        const std::wstring source = ResourcePath(L"Skins\\Default");
        WIN32_FIND_DATAW data;
        HANDLE find = FindFirstFileW((source + L"\\*").c_str(), &data);
        if (find != INVALID_HANDLE_VALUE) {
            do {
                if (!(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                    const std::wstring copy = target + L"\\" + data.cFileName;
                    if (CopyFileW((source + L"\\" + data.cFileName).c_str(), copy.c_str(), TRUE))
                        files_.push_back(copy);
                }
            } while (FindNextFileW(find, &data));
            FindClose(find);
        }
    }
    skin_ = app.GetSkin();
    loaded_ = skin_ && skin_->Load(L"Default");
}

ShippedSkin::~ShippedSkin()
{
    if (skin_)
        skin_->Unload();
    for (const std::wstring& file : files_)
        DeleteFileW(file.c_str());
    if (!folder_.empty())
        RemoveDirectoryW(folder_.c_str());
    if (madeSkins_)
        RemoveDirectoryW((ProgramFolder() + L"\\Skins").c_str());
}
