// Small file helpers for tests: a private temporary folder, whole-file read and write, fixtures.
#pragma once
#include <string>
#include <vector>

// A fresh folder below %TEMP%, removed with everything in it when the object goes.
class TestDir {
public:
    TestDir();
    ~TestDir();
    TestDir(const TestDir&) = delete;
    TestDir& operator=(const TestDir&) = delete;

    const std::wstring& Path() const { return path_; }
    std::wstring File(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

bool ReadWholeFile(const std::wstring& path, std::vector<unsigned char>& bytes);
bool WriteWholeFile(const std::wstring& path, const void* data, size_t size);
bool WriteWholeFile(const std::wstring& path, const std::vector<unsigned char>& bytes);
bool FileExists(const std::wstring& path);
// Path of a file in tests/data (the checked-in fixtures).
std::wstring TestDataPath(const std::wstring& name);
// Path of a file in resources/ (what ships beside the program), found from tests/data.
std::wstring ResourcePath(const std::wstring& name);
// Folder of the running test program.
std::wstring ProgramFolder();
