#include "InetCatalog.h"

#include <cwchar>

namespace inet {

namespace {

constexpr DWORD kValueUnits = 4096;

std::wstring FolderOf(const std::wstring& path)
{
    const size_t slash = path.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

bool IsAbsolute(const std::wstring& path)
{
    return (path.size() >= 2 && path[1] == L':') || (!path.empty() && (path[0] == L'\\' || path[0] == L'/'));
}

std::wstring ResolvePath(const std::wstring& folder, const std::wstring& path)
{
    if (path.empty() || IsAbsolute(path))
        return path;
    return folder + path;
}

// Parses "7, 0 ,9": every entry a decimal number in range; anything else ends the list there.
std::vector<int> ParseIdList(const std::wstring& text)
{
    std::vector<int> ids;
    const wchar_t* p = text.c_str();
    while (*p && static_cast<int>(ids.size()) < kMaxMenuItems) {
        while (*p == L' ' || *p == L'\t')
            ++p;
        if (!*p)
            break;
        wchar_t* end = nullptr;
        const long value = std::wcstol(p, &end, 10);
        if (end == p || value < 0 || value > kMaxItemId)
            break;
        ids.push_back(static_cast<int>(value));
        p = end;
        while (*p == L' ' || *p == L'\t')
            ++p;
        if (*p == L',')
            ++p;
        else if (*p)
            break;
    }
    return ids;
}

}  // namespace

std::wstring ReadIniText(const std::wstring& iniPath, const wchar_t* section, const wchar_t* key)
{
    std::wstring value(kValueUnits, L'\0');
    const DWORD length =
        GetPrivateProfileStringW(section, key, L"", value.data(), kValueUnits, iniPath.c_str());
    value.resize(length < kValueUnits ? length : 0);
    return value;
}

void Catalog::Load(const std::wstring& iniPath, const std::wstring& languageCode)
{
    Clear();
    iniPath_ = iniPath;
    if (iniPath.empty() || GetFileAttributesW(iniPath.c_str()) == INVALID_FILE_ATTRIBUTES)
        return;
    const std::wstring folder = FolderOf(iniPath);
    displayVersion_ = ReadIniText(iniPath, L"Product", L"DisplayVersion");
    for (int menu = 0; menu < kMenuCount; ++menu) {
        const std::wstring section = L"Menu" + std::to_wstring(menu);
        for (int id : ParseIdList(ReadIniText(iniPath, section.c_str(), L"Items"))) {
            if (id == 0) {
                menus_[menu].push_back(0);
                continue;
            }
            const std::wstring itemSection = L"Item" + std::to_wstring(id);
            if (!Find(id)) {
                CatalogItem item;
                item.id = id;
                if (!languageCode.empty())
                    item.text = ReadIniText(iniPath, itemSection.c_str(), (L"Text." + languageCode).c_str());
                if (item.text.empty())
                    item.text = ReadIniText(iniPath, itemSection.c_str(), L"Text");
                item.pngPath = ResolvePath(folder, ReadIniText(iniPath, itemSection.c_str(), L"Png"));
                item.iconPath = ResolvePath(folder, ReadIniText(iniPath, itemSection.c_str(), L"Icon"));
                item.target = ReadIniText(iniPath, itemSection.c_str(), L"Target");
                item.answer = static_cast<int>(
                    GetPrivateProfileIntW(itemSection.c_str(), L"Answer", 0, iniPath.c_str()));
                items_.push_back(std::move(item));
            }
            menus_[menu].push_back(id);
        }
    }
}

void Catalog::Clear()
{
    for (CatalogItem& item : items_) {
        if (item.icon)
            DestroyIcon(item.icon);
    }
    items_.clear();
    for (auto& menu : menus_)
        menu.clear();
    displayVersion_.clear();
}

int Catalog::MenuItemCount(int menu) const
{
    return menu >= 0 && menu < kMenuCount ? static_cast<int>(menus_[menu].size()) : 0;
}

int Catalog::MenuItemId(int menu, int index) const
{
    if (menu < 0 || menu >= kMenuCount || index < 0 || index >= static_cast<int>(menus_[menu].size()))
        return 0;
    return menus_[menu][index];
}

CatalogItem* Catalog::Find(int id)
{
    for (CatalogItem& item : items_) {
        if (item.id == id)
            return &item;
    }
    return nullptr;
}

HICON Catalog::ItemIcon(int id)
{
    CatalogItem* item = Find(id);
    if (!item || item->iconPath.empty())
        return nullptr;
    if (!item->icon) {
        item->icon = static_cast<HICON>(
            LoadImageW(nullptr, item->iconPath.c_str(), IMAGE_ICON, 16, 16, LR_LOADFROMFILE));
    }
    return item->icon;
}

std::wstring Catalog::WebTarget(const std::wstring& name) const
{
    if (name.empty() || iniPath_.empty())
        return std::wstring();
    return ReadIniText(iniPath_, L"WebTargets", name.c_str());
}

}  // namespace inet
