#include "base/FileMappingView.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

bool IsReset(const FileMappingView& r)
{
    return r.file == INVALID_HANDLE_VALUE && r.mapping == nullptr && r.view == nullptr;
}

}  // namespace

TEST(FileMappingViewTest, MapsTheWholeFileReadOnlyWithReadSharing)
{
    TestDir dir;
    const std::wstring path = dir.File(L"data");
    ASSERT_TRUE(WriteWholeFile(path, "picture bytes", 13));

    FileMappingView record;
    ASSERT_EQ(MapFileForReading(path.c_str(), nullptr, &record), 1);
    ASSERT_NE(record.view, nullptr);
    EXPECT_EQ(std::memcmp(record.view, "picture bytes", 13), 0);
    EXPECT_EQ(GetFileSize(record.file, nullptr), 13u) << "readers take the size from the file handle";

    HANDLE reader = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_NE(reader, INVALID_HANDLE_VALUE) << "others may read";
    CloseHandle(reader);
    HANDLE writer = CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(writer, INVALID_HANDLE_VALUE) << "nobody may write";
    if (writer != INVALID_HANDLE_VALUE)
        CloseHandle(writer);

    EXPECT_EQ(UnmapFileView(&record), 1);
    EXPECT_TRUE(IsReset(record));
    EXPECT_EQ(UnmapFileView(&record), 1) << "a second release finds nothing to close";
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "nothing is left open on the file";
}

TEST(FileMappingViewTest, FailuresLeaveNothingOpen)
{
    TestDir dir;
    const std::wstring empty = dir.File(L"empty");
    ASSERT_TRUE(WriteWholeFile(empty, nullptr, 0));

    FileMappingView record;
    record.view = reinterpret_cast<void*>(1);  // stale values are never taken for handles
    EXPECT_EQ(MapFileForReading(empty.c_str(), nullptr, &record), 0);
    EXPECT_TRUE(IsReset(record));
    EXPECT_TRUE(DeleteFileW(empty.c_str())) << "the file handle was closed";

    EXPECT_EQ(MapFileForReading(dir.File(L"missing").c_str(), nullptr, &record), 0);
    EXPECT_TRUE(IsReset(record));
    EXPECT_EQ(MapFileForReading(nullptr, nullptr, &record), 0);
    EXPECT_EQ(MapFileForReading(dir.File(L"x").c_str(), nullptr, nullptr), 0);
    EXPECT_EQ(UnmapFileView(&record), 1);
    EXPECT_EQ(UnmapFileView(nullptr), 1);
}

TEST(FileMappingViewTest, NamedMappingIsVisibleWhileMapped)
{
    TestDir dir;
    const std::wstring path = dir.File(L"named");
    ASSERT_TRUE(WriteWholeFile(path, "abc", 3));
    const std::wstring name = L"Local\\VstMappingTest" + std::to_wstring(GetCurrentProcessId());

    FileMappingView record;
    ASSERT_EQ(MapFileForReading(path.c_str(), name.c_str(), &record), 1);
    HANDLE opened = OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str());
    EXPECT_NE(opened, nullptr);
    if (opened)
        CloseHandle(opened);
    UnmapFileView(&record);
    EXPECT_EQ(OpenFileMappingW(FILE_MAP_READ, FALSE, name.c_str()), nullptr);
}

TEST(FileMappingViewTest, ReadWriteMappingCreatesAndWrites)
{
    TestDir dir;
    const std::wstring path = dir.File(L"rw");
    FileMappingView record;
    ASSERT_EQ(MapFileReadWrite(path.c_str(), nullptr, &record, CREATE_ALWAYS, 16), 1);
    std::memcpy(record.view, "written", 7);
    HANDLE other = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(other, INVALID_HANDLE_VALUE) << "no sharing";
    if (other != INVALID_HANDLE_VALUE)
        CloseHandle(other);
    UnmapFileView(&record);

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    ASSERT_EQ(bytes.size(), 16u);
    EXPECT_EQ(std::memcmp(bytes.data(), "written\0\0", 9), 0);

    EXPECT_EQ(MapFileReadWrite(dir.File(L"none").c_str(), nullptr, &record, OPEN_EXISTING, 16), 0);
    EXPECT_TRUE(IsReset(record));
}
