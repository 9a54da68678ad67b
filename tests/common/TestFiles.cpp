#include "common/TestFiles.h"

#include <windows.h>
#include <shellapi.h>

#include <atomic>
#include <cstdlib>

namespace {
std::atomic<unsigned> g_dirCounter{0};

void RemoveTree(const std::wstring& dir)
{
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((dir + L"\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            std::wstring name = fd.cFileName;
            if (name == L"." || name == L"..")
                continue;
            std::wstring full = dir + L"\\" + name;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(full);
            } else {
                SetFileAttributesW(full.c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileW(full.c_str());
            }
        } while (FindNextFileW(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryW(dir.c_str());
}
}  // namespace

TestDir::TestDir()
{
    wchar_t tmp[MAX_PATH + 1] = {};
    DWORD n = GetTempPathW(MAX_PATH + 1, tmp);
    std::wstring base(tmp, n);
    if (!base.empty() && base.back() == L'\\')
        base.pop_back();
    for (;;) {
        wchar_t name[64];
        wsprintfW(name, L"\\vsttest-%lu-%u", GetCurrentProcessId(), g_dirCounter++);
        path_ = base + name;
        if (CreateDirectoryW(path_.c_str(), nullptr))
            break;
        if (GetLastError() != ERROR_ALREADY_EXISTS) {
            path_.clear();
            break;
        }
    }
}

TestDir::~TestDir()
{
    if (!path_.empty())
        RemoveTree(path_);
}

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes)
{
    bytes.clear();
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size;
    bool ok = GetFileSizeEx(h, &size) && size.QuadPart < (1LL << 31);
    if (ok) {
        bytes.resize(static_cast<size_t>(size.QuadPart));
        DWORD got = 0;
        ok = bytes.empty() || (ReadFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &got, nullptr) &&
                               got == bytes.size());
    }
    CloseHandle(h);
    return ok;
}

bool WriteWholeFile(const std::wstring& path, const void* data, size_t size)
{
    HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    DWORD put = 0;
    bool ok = size == 0 || (WriteFile(h, data, static_cast<DWORD>(size), &put, nullptr) && put == size);
    CloseHandle(h);
    return ok;
}

bool WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes)
{
    return WriteWholeFile(path, bytes.data(), bytes.size());
}

bool FileExists(const std::wstring& path)
{
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::wstring TestDataPath(const std::wstring& name)
{
    const wchar_t* root = _wgetenv(L"VST_TEST_DATA");
    std::wstring dir = root ? root : L"";
    if (!dir.empty() && dir[0] == L'/') {  // a host path: reach it through Wine's Z: drive
        for (auto& c : dir)
            if (c == L'/')
                c = L'\\';
        dir = L"Z:" + dir;
    }
    return dir + L"\\" + name;
}

std::wstring ResourcePath(const std::wstring& name)
{
    // tests/data lies two levels below the source root, beside resources/.
    const std::wstring relative = TestDataPath(L"..\\..\\resources\\" + name);
    wchar_t full[MAX_PATH * 4];
    DWORD n = GetFullPathNameW(relative.c_str(), MAX_PATH * 4, full, nullptr);
    return n > 0 && n < MAX_PATH * 4 ? std::wstring(full, n) : relative;
}

std::wstring ProgramFolder()
{
    wchar_t path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH * 4);
    std::wstring s(path, n);
    size_t slash = s.find_last_of(L"\\/");
    return slash == std::wstring::npos ? std::wstring() : s.substr(0, slash);
}
