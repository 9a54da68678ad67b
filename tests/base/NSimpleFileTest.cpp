#include "base/NSimpleFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes Digits() { return {'0', '1', '2', '3', '4', '5', '6', '7', '8', '9'}; }

}  // namespace

TEST(NSimpleFileTest, FailedOpenBlocksFurtherOpensUntilClose)
{
    TestDir dir;
    const std::wstring path = dir.File(L"a");
    ASSERT_TRUE(WriteWholeFile(path, Digits()));

    NSimpleFile file;
    EXPECT_FALSE(file.OpenRead(dir.File(L"missing").c_str()));
    EXPECT_FALSE(file.OpenRead(path.c_str()));
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_FALSE(file.Map());
    file.Close();
    ASSERT_TRUE(file.OpenRead(path.c_str()));
    EXPECT_FALSE(file.OpenRead(path.c_str())) << "already open";
    EXPECT_EQ(file.GetSize(), 10u);
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.Close());
}

TEST(NSimpleFileTest, OpenWriteKeepsTheContentsAndWritesFromTheStart)
{
    TestDir dir;
    const std::wstring path = dir.File(L"w");
    ASSERT_TRUE(WriteWholeFile(path, Digits()));
    {
        NSimpleFile file;
        ASSERT_TRUE(file.OpenWrite(path.c_str()));
        EXPECT_EQ(file.Write("AB", 2), 2u);
        char c;
        EXPECT_EQ(file.Read(&c, 1), 0u) << "opened for writing only";
    }
    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "AB23456789");

    NSimpleFile created;
    EXPECT_TRUE(created.OpenWrite(dir.File(L"new").c_str()));
    EXPECT_EQ(created.GetSize(), 0u);
}

TEST(NSimpleFileTest, SeekMovesBackwardsForNegativeDistances)
{
    TestDir dir;
    const std::wstring path = dir.File(L"s");
    ASSERT_TRUE(WriteWholeFile(path, Digits()));
    NSimpleFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str()));
    EXPECT_EQ(file.Seek(-4, FILE_END), 6u);
    char c[2];
    ASSERT_EQ(file.Read(c, 2), 2u);
    EXPECT_EQ(std::string(c, 2), "67");
    EXPECT_EQ(file.Seek(-5, FILE_CURRENT), 3u);
    EXPECT_EQ(file.Seek(2, FILE_CURRENT), 5u);
    EXPECT_EQ(file.Seek(-1, FILE_BEGIN), INVALID_SET_FILE_POINTER);
    EXPECT_EQ(file.Seek(0, FILE_CURRENT), 5u) << "a failed move leaves the position";
}

TEST(NSimpleFileTest, MappingRefusesDataCallsAndCloseUnmaps)
{
    TestDir dir;
    const std::wstring path = dir.File(L"m");
    ASSERT_TRUE(WriteWholeFile(path, Digits()));
    ASSERT_TRUE(WriteWholeFile(dir.File(L"empty"), nullptr, 0));

    NSimpleFile empty;
    ASSERT_TRUE(empty.OpenRead(dir.File(L"empty").c_str()));
    EXPECT_FALSE(empty.Map());

    NSimpleFile file;
    EXPECT_FALSE(file.Map()) << "no handle";
    EXPECT_FALSE(file.Unmap());
    ASSERT_TRUE(file.OpenRead(path.c_str()));
    EXPECT_FALSE(file.Unmap()) << "not mapped";
    ASSERT_TRUE(file.Map());
    EXPECT_FALSE(file.Map()) << "already mapped";
    ASSERT_NE(file.GetView(), nullptr);
    EXPECT_EQ(file.GetViewSize(), 10u);
    EXPECT_EQ(std::memcmp(file.GetView(), "0123456789", 10), 0);

    char c;
    EXPECT_EQ(file.Read(&c, 1), 0u);
    EXPECT_EQ(file.GetSize(), 0u);
    EXPECT_EQ(file.Seek(1, FILE_BEGIN), 0u);
    EXPECT_EQ(file.Write("x", 1), 0u);

    EXPECT_TRUE(file.Unmap());
    EXPECT_EQ(file.GetView(), nullptr);
    EXPECT_EQ(file.GetSize(), 10u);
    EXPECT_EQ(file.Read(&c, 1), 1u);
    EXPECT_EQ(c, '0');

    ASSERT_TRUE(file.Map());
    EXPECT_TRUE(file.Close());
    EXPECT_FALSE(file.IsMapped());
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "no handle or view is left on the file";
}

TEST(NSimpleFileTest, FilesOf4GiBAndMoreAreMappedWholeAndHaveNo32BitSize)
{
    TestDir dir;
    const std::wstring path = dir.File(L"big");
    const LONGLONG tail = 0x100000000ll + 10;  // only the last byte is written: the file stays sparse
    {
        HANDLE h = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        LARGE_INTEGER at;
        at.QuadPart = tail;
        DWORD written = 0;
        const bool ok = SetFilePointerEx(h, at, nullptr, FILE_BEGIN) && WriteFile(h, "Z", 1, &written, nullptr);
        CloseHandle(h);
        ASSERT_TRUE(ok);
    }
    NSimpleFile file;
    ASSERT_TRUE(file.OpenRead(path.c_str()));
    EXPECT_EQ(file.GetSize(), INVALID_FILE_SIZE) << "not the low 32 bits (11)";
    ASSERT_TRUE(file.Map());
    EXPECT_EQ(file.GetViewSize(), static_cast<size_t>(tail + 1));
    EXPECT_EQ(static_cast<const char*>(file.GetView())[tail], 'Z');
    file.Close();
    DeleteFileW(path.c_str());
}
