// The items that the internet library serves, read from its ini file. The file's layout:
//
//   [Product]
//   DisplayVersion=Delvarin Vastrel 2.0.2 (2026-12)   ; shown in place of the program's version
//   [Menu0]                    ; Menu0 Configuration, Menu1 Internet, Menu2 Help
//   Items=7,0,9                ; item ids in order; 0 is a separator
//   [Item7]
//   Text=News                  ; Text.<language code>=... wins for that language
//   Png=news.png               ; picture for the item (relative to the ini's folder, or absolute)
//   Icon=news.ico              ; icon file, used when there is no Png
//   Target=https://example.org/news   ; opened with the shell on a click
//   Answer=0                   ; what a click answers (1 or 7 ask the program to close)
//   [WebTargets]
//   tutorials=https://example.org/tutorials
//
// Ids run from 1 to kMaxItemId, so that the program's command ids (id + 1111) stay 16-bit; other
// ids, items without a section and lists beyond kMaxMenuItems are left out.
#pragma once
#include <windows.h>

#include <string>
#include <vector>

namespace inet {

inline constexpr int kMenuCount = 3;
inline constexpr int kMaxMenuItems = 256;
inline constexpr int kMaxItemId = 0xFFFF - 1111;

struct CatalogItem {
    int id = 0;
    std::wstring text;          // empty: the library has no text for it
    std::wstring pngPath;       // full path or empty
    std::wstring iconPath;      // full path or empty
    std::wstring target;
    int answer = 0;
    HICON icon = nullptr;       // loaded on first request, owned by the catalog
};

class Catalog {
public:
    Catalog() = default;
    ~Catalog() { Clear(); }
    Catalog(const Catalog&) = delete;
    Catalog& operator=(const Catalog&) = delete;

    // Reads the file; a missing file gives an empty catalog. Texts follow the language code.
    void Load(const std::wstring& iniPath, const std::wstring& languageCode);
    // Drops every item and destroys the icons loaded for them.
    void Clear();

    int MenuItemCount(int menu) const;
    int MenuItemId(int menu, int index) const;  // 0 for a separator or an index out of range
    CatalogItem* Find(int id);
    HICON ItemIcon(int id);  // null when the item has no loadable icon file
    const std::wstring& DisplayVersion() const { return displayVersion_; }
    std::wstring WebTarget(const std::wstring& name) const;
    const std::wstring& IniPath() const { return iniPath_; }

private:
    std::wstring iniPath_;
    std::wstring displayVersion_;
    std::vector<int> menus_[kMenuCount];
    std::vector<CatalogItem> items_;
};

// Reads one value of the ini file (empty when missing).
std::wstring ReadIniText(const std::wstring& iniPath, const wchar_t* section, const wchar_t* key);

}  // namespace inet
