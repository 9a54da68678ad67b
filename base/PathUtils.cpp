#include "base/PathUtils.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <climits>
#include <cwchar>
#include <string>

namespace {

constexpr int kMaxUniqueNumber = 999;

// Index of the dot that starts the file name's extension, or npos. Only the last component
// counts: in "C:\a.b\file" the dot belongs to a folder.
size_t ExtensionDot(const std::wstring& path)
{
    size_t dot = path.find_last_of(L'.');
    if (dot == std::wstring::npos)
        return dot;
    size_t separator = path.find_last_of(L"\\/");
    if (separator != std::wstring::npos && separator > dot)
        return std::wstring::npos;
    return dot;
}

bool Exists(const std::wstring& path)
{
    return PathFileExistsW(path.c_str()) != FALSE;
}

std::wstring Numbered(const std::wstring& base, int n, const std::wstring& tail)
{
    return base + L" (" + std::to_wstring(n) + L")" + tail;
}

// The file-system path of an item list; false when it has none.
bool ItemPath(PCIDLIST_ABSOLUTE item, std::wstring& path)
{
    wchar_t buffer[MAX_PATH] = {};
    if (!item || !SHGetPathFromIDListW(item, buffer) || !buffer[0])
        return false;
    path = buffer;
    return true;
}

// Parses a name with the shell's desktop folder; the caller frees the list with CoTaskMemFree.
PIDLIST_ABSOLUTE ParseWithDesktop(const wchar_t* name)
{
    IShellFolder* desktop = nullptr;
    if (FAILED(SHGetDesktopFolder(&desktop)) || !desktop)
        return nullptr;
    std::wstring text(name);
    PIDLIST_RELATIVE item = nullptr;
    HRESULT hr = desktop->ParseDisplayName(nullptr, nullptr, text.data(), nullptr, &item, nullptr);
    desktop->Release();
    if (FAILED(hr)) {
        CoTaskMemFree(item);
        return nullptr;
    }
    return reinterpret_cast<PIDLIST_ABSOLUTE>(item);
}

}  // namespace

bool MakeUniquePath(wchar_t* path, int size)
{
    if (!path || size <= 0)
        return false;
    std::wstring original(path, wcsnlen(path, static_cast<size_t>(size)));
    if (original.size() >= static_cast<size_t>(size))
        return false;  // no NUL inside the buffer
    if (!Exists(original))
        return true;
    size_t dot = ExtensionDot(original);
    std::wstring base = dot == std::wstring::npos ? original : original.substr(0, dot);
    std::wstring extension = dot == std::wstring::npos ? std::wstring() : original.substr(dot);
    for (int n = 1; n <= kMaxUniqueNumber; ++n) {
        std::wstring candidate = Numbered(base, n, extension);
        if (candidate.size() >= static_cast<size_t>(size))
            return false;  // a cut name could be anything, even a taken one
        if (!Exists(candidate)) {
            wmemcpy(path, candidate.c_str(), candidate.size() + 1);
            return true;
        }
    }
    return false;
}

bool MakeUniquePath(NString& path)
{
    std::wstring original = path.c_str();
    if (!Exists(original))
        return true;
    NString name;
    NString extension;
    SplitFileName(original.c_str(), name, extension);
    // Without an extension the whole path is the base and no dot is added.
    std::wstring base = extension.IsEmpty() ? original : std::wstring(name.c_str());
    std::wstring tail = extension.IsEmpty() ? std::wstring() : L"." + std::wstring(extension.c_str());
    for (int n = 1; n <= kMaxUniqueNumber; ++n) {
        std::wstring candidate = Numbered(base, n, tail);
        if (!Exists(candidate)) {
            path = candidate.c_str();
            return true;
        }
    }
    return false;
}

bool SplitFileName(const wchar_t* path, NString& name, NString& extension)
{
    if (!path)
        return false;
    std::wstring text(path);
    size_t dot = ExtensionDot(text);
    if (dot == std::wstring::npos || dot + 1 == text.size()) {
        extension = L"";
        return true;
    }
    NString ext(text.c_str() + dot + 1);
    ext.MakeLower();
    extension = ext;
    name = text.substr(0, dot).c_str();
    return true;
}

bool SplitPathComponents(const wchar_t* path, std::vector<NString>& components)
{
    if (!path)
        return false;
    std::vector<NString>().swap(components);
    const wchar_t* firstEnd = wcschr(path, L'\\');
    size_t firstLength = firstEnd ? static_cast<size_t>(firstEnd - path) : wcslen(path);
    components.emplace_back(std::wstring(path, firstLength).c_str());
    for (const wchar_t* p = PathFindNextComponentW(path); p && *p; p = PathFindNextComponentW(p)) {
        const wchar_t* end = wcschr(p, L'\\');
        size_t length = end ? static_cast<size_t>(end - p) : wcslen(p);
        if (length)
            components.emplace_back(std::wstring(p, length).c_str());
    }
    return true;
}

bool DisplayNameToPath(wchar_t* buffer, int size)
{
    if (!buffer || size <= 0)
        return false;
    size_t length = wcsnlen(buffer, static_cast<size_t>(size));
    if (length == 0 || length >= static_cast<size_t>(size))
        return false;
    PIDLIST_ABSOLUTE item = ParseWithDesktop(std::wstring(buffer, length).c_str());
    if (!item)
        return false;
    std::wstring path;
    bool ok = ItemPath(item, path) && path.size() < static_cast<size_t>(size);
    CoTaskMemFree(item);
    if (ok)
        wmemcpy(buffer, path.c_str(), path.size() + 1);
    return ok;
}

bool IsSameFileName(const wchar_t* first, const wchar_t* second)
{
    if (!first || !second || lstrcmpiW(first, second) != 0)
        return false;
    if (!GetSystemMetrics(SM_DBCSENABLED))
        return true;
    return SameFullWidthCharacterTypes(first, second);
}

bool SameFullWidthCharacterTypes(const wchar_t* first, const wchar_t* second)
{
    if (!first || !second)
        return false;
    size_t length = wcslen(first);
    if (length != wcslen(second))
        return false;
    if (length == 0)
        return true;
    if (length > INT_MAX)
        return false;
    std::vector<WORD> type1First(length), type1Second(length), type3First(length);
    LCID locale = GetThreadLocale();
    int count = static_cast<int>(length);
    if (!GetStringTypeExW(locale, CT_CTYPE1, first, count, type1First.data()) ||
        !GetStringTypeExW(locale, CT_CTYPE1, second, count, type1Second.data()) ||
        !GetStringTypeExW(locale, CT_CTYPE3, first, count, type3First.data()))
        return false;
    for (size_t i = 0; i < length; ++i) {
        if ((type3First[i] & C3_FULLWIDTH) && type1First[i] != type1Second[i])
            return false;
    }
    return true;
}

bool IsSpecialFolderPath(HWND owner, const wchar_t* path, int csidl)
{
    if (!path)
        return false;
    PIDLIST_ABSOLUTE folder = nullptr;
    if (FAILED(SHGetFolderLocation(owner, csidl, nullptr, 0, &folder)) || !folder)
        return false;
    PIDLIST_ABSOLUTE item = ParseWithDesktop(path);
    std::wstring folderPath;
    std::wstring itemPath;
    bool same = item && ItemPath(folder, folderPath) && ItemPath(item, itemPath) &&
                lstrcmpiW(folderPath.c_str(), itemPath.c_str()) == 0;
    CoTaskMemFree(item);
    CoTaskMemFree(folder);
    return same;
}
