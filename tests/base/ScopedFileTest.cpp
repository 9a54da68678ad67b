#include "base/ScopedFile.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "base/Utf8.h"
#include "common/TestFiles.h"

namespace {

// True while some handle still has the file open: an exclusive open is refused then.
bool StillOpen(const std::wstring& path)
{
    HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(handle);
    return false;
}

}  // namespace

TEST(ScopedFileTest, WritesAndClosesWhenItGoes)
{
    TestDir dir;
    const std::wstring path = dir.File(L"a.bin");
    {
        ScopedFile file(path.c_str(), L"wb");
        ASSERT_TRUE(file);
        EXPECT_EQ(std::fwrite("abcdef", 1, 6, file.Get()), 6u);
        EXPECT_TRUE(StillOpen(path));
    }
    EXPECT_FALSE(StillOpen(path));
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "abcdef");

    ScopedFile file;
    EXPECT_TRUE(file.Close()) << "nothing open";
    ASSERT_TRUE(file.Open(path.c_str(), L"rb"));
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file);
    EXPECT_FALSE(StillOpen(path));
}

TEST(ScopedFileTest, RefusesWhatCannotBeOpened)
{
    TestDir dir;
    const std::wstring path = dir.File(L"a.bin");
    ASSERT_TRUE(WriteWholeFile(path, "x", 1));
    ScopedFile file;
    EXPECT_FALSE(file.Open(static_cast<const wchar_t*>(nullptr), L"rb"));
    EXPECT_FALSE(file.Open(L"", L"rb"));
    EXPECT_FALSE(file.Open(path.c_str(), nullptr));
    EXPECT_FALSE(file.Open(path.c_str(), L""));
    EXPECT_FALSE(file.Open(dir.File(L"missing").c_str(), L"rb"));
    EXPECT_FALSE(file.Open(static_cast<const char*>(nullptr), "rb"));
    EXPECT_FALSE(file);

    // A failed open still closes what the owner held.
    ASSERT_TRUE(file.Open(path.c_str(), L"rb"));
    EXPECT_FALSE(file.Open(dir.File(L"missing").c_str(), L"rb"));
    EXPECT_FALSE(StillOpen(path));

    // An ANSI path (this folder's path is plain ASCII).
    const std::string ansi = AnsiFromWide(path.c_str());
    ASSERT_TRUE(file.Open(ansi.c_str(), "rb"));
    EXPECT_EQ(std::fgetc(file.Get()), 'x');
}

TEST(ScopedFileTest, OwnershipMovesAndIsReleased)
{
    TestDir dir;
    const std::wstring first = dir.File(L"1");
    const std::wstring second = dir.File(L"2");
    ScopedFile a(first.c_str(), L"wb");
    ScopedFile b(second.c_str(), L"wb");
    ASSERT_TRUE(a && b);
    FILE* stream = a.Get();
    b = std::move(a);
    EXPECT_FALSE(a);
    EXPECT_EQ(b.Get(), stream);
    EXPECT_FALSE(StillOpen(second)) << "the target's own stream is closed";
    EXPECT_TRUE(StillOpen(first));

    ScopedFile c(std::move(b));
    FILE* released = c.Release();
    EXPECT_EQ(released, stream);
    c.Reset();
    EXPECT_TRUE(StillOpen(first)) << "a released stream stays open";
    c.Reset(released);
    c.Reset();
    EXPECT_FALSE(StillOpen(first));
}

TEST(ScopedFileTest, LengthKeepsThePosition)
{
    TestDir dir;
    const std::wstring path = dir.File(L"a.bin");
    ASSERT_TRUE(WriteWholeFile(path, "0123456789", 10));
    ScopedFile file(path.c_str(), L"rb");
    ASSERT_TRUE(file);
    ASSERT_EQ(_fseeki64(file.Get(), 3, SEEK_SET), 0);
    EXPECT_EQ(file.Length(), 10);
    EXPECT_EQ(std::fgetc(file.Get()), '3');
    EXPECT_EQ(ScopedFile::LengthOf(file.Get()), 10);

    ScopedFile empty;
    EXPECT_EQ(empty.Length(), -1);
    EXPECT_EQ(ScopedFile::LengthOf(nullptr), -1);
    const std::wstring none = dir.File(L"empty");
    ASSERT_TRUE(WriteWholeFile(none, "", 0));
    ScopedFile zero(none.c_str(), L"rb");
    EXPECT_EQ(zero.Length(), 0);
}
