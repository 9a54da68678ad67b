#include "base/FileUtils.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"

namespace {

// The Recycle Bin of the Wine user: $XDG_DATA_HOME/Trash (or $HOME/.local/share/Trash), reached
// through the Z: drive. Empty when the program does not run under Wine.
std::wstring TrashFolder()
{
    wchar_t value[1024] = {};
    std::wstring unixPath;
    if (GetEnvironmentVariableW(L"XDG_DATA_HOME", value, 1024) && value[0] == L'/') {
        unixPath = value;
    } else if (GetEnvironmentVariableW(L"HOME", value, 1024) && value[0] == L'/') {
        unixPath = std::wstring(value) + L"/.local/share";
    } else {
        return {};
    }
    for (auto& c : unixPath)
        if (c == L'/')
            c = L'\\';
    return L"Z:" + unixPath + L"\\Trash";
}

// A file name no earlier run has used, so that it can be looked for in the Recycle Bin.
std::wstring UniqueName(const wchar_t* stem)
{
    static int counter = 0;
    wchar_t name[128];
    wsprintfW(name, L"%s-%lu-%lu-%d.txt", stem, GetCurrentProcessId(), GetTickCount(), ++counter);
    return name;
}

// A path of exactly the given length for a file inside dir: dir\xxxx...x
std::wstring PathOfLength(const std::wstring& dir, size_t length)
{
    std::wstring path = dir + L"\\";
    path.append(length - path.size(), L'x');
    return path;
}

TEST(ShellDeleteFile, MovesTheFileIntoTheRecycleBin)
{
    std::wstring trash = TrashFolder();
    if (trash.empty())
        GTEST_SKIP() << "the Recycle Bin is checked only under Wine";
    TestDir dir;
    std::wstring name = UniqueName(L"binned");
    ASSERT_TRUE(WriteWholeFile(dir.File(name), "keep me", 7));

    EXPECT_EQ(ShellDeleteFile(dir.File(name).c_str(), true), 1);

    EXPECT_FALSE(FileExists(dir.File(name)));
    std::wstring binned = trash + L"\\files\\" + name;
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(binned, bytes)) << "not found in " << testing::PrintToString(trash);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "keep me");
    EXPECT_TRUE(FileExists(trash + L"\\info\\" + name + L".trashinfo"));
    DeleteFileW(binned.c_str());
    DeleteFileW((trash + L"\\info\\" + name + L".trashinfo").c_str());
}

TEST(ShellDeleteFile, DeletesForGoodWithoutTheRecycleBin)
{
    std::wstring trash = TrashFolder();
    TestDir dir;
    std::wstring name = UniqueName(L"gone");
    ASSERT_TRUE(WriteWholeFile(dir.File(name), "x", 1));

    EXPECT_EQ(ShellDeleteFile(dir.File(name).c_str(), false), 1);

    EXPECT_FALSE(FileExists(dir.File(name)));
    if (!trash.empty()) {
        EXPECT_FALSE(FileExists(trash + L"\\files\\" + name));
    }
}

TEST(ShellDeleteFile, FailsForAMissingFileOrNoPath)
{
    TestDir dir;
    EXPECT_EQ(ShellDeleteFile(dir.File(L"missing.txt").c_str(), true), 0);
    EXPECT_EQ(ShellDeleteFile(dir.File(L"missing.txt").c_str(), false), 0);
    EXPECT_EQ(ShellDeleteFile(nullptr, true), 0);
    EXPECT_EQ(ShellDeleteFile(L"", true), 0);
}

// A path longer than the shell takes, whose first 259 units name another file, must not delete
// that file; nor may wildcards delete more than the one named item.
TEST(ShellDeleteFile, RefusesPathsThatWouldNameAnotherItem)
{
    TestDir dir;
    std::wstring victim = PathOfLength(dir.Path(), 259);
    ASSERT_TRUE(WriteWholeFile(victim, "v", 1));
    ASSERT_TRUE(WriteWholeFile(dir.File(L"a.txt"), "a", 1));
    ASSERT_TRUE(WriteWholeFile(dir.File(L"b.txt"), "b", 1));

    const std::wstring refused[] = {victim + L"\\child.txt", victim + L"yz", dir.File(L"*.txt"),
                                    dir.File(L"?.txt")};
    for (const auto& path : refused) {
        for (bool toBin : {true, false}) {
            SCOPED_TRACE(testing::PrintToString(path));
            EXPECT_EQ(ShellDeleteFile(path.c_str(), toBin), 0);
        }
    }
    EXPECT_TRUE(FileExists(victim));
    EXPECT_TRUE(FileExists(dir.File(L"a.txt")));
    EXPECT_TRUE(FileExists(dir.File(L"b.txt")));
    EXPECT_TRUE(FileExists(dir.Path()));

    // A path of exactly 259 units is still taken.
    EXPECT_EQ(ShellDeleteFile(victim.c_str(), false), 1);
    EXPECT_FALSE(FileExists(victim));
}

TEST(CopyFileShell, CopiesAndClearsTheAttributes)
{
    TestDir dir;
    std::wstring source = dir.File(L"source.bin");
    ASSERT_TRUE(WriteWholeFile(source, "payload", 7));
    SetFileAttributesW(source.c_str(), FILE_ATTRIBUTE_READONLY);
    std::wstring target = dir.File(L"copy.bin");
    MessageBoxAnswerer boxes(IDOK);

    EXPECT_TRUE(CopyFileShell(target.c_str(), source.c_str(), nullptr));

    EXPECT_EQ(boxes.Count(), 0);
    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(target, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "payload");
    EXPECT_EQ(GetFileAttributesW(target.c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
    EXPECT_TRUE(FileExists(source));
}

TEST(CopyFileShell, ReportsFailureInAMessageBox)
{
    TestDir dir;
    std::wstring source = dir.File(L"nothing.bin");
    std::wstring target = dir.File(L"copy.bin");
    MessageBoxAnswerer boxes(IDOK);

    EXPECT_FALSE(CopyFileShell(target.c_str(), source.c_str(), nullptr));

    EXPECT_EQ(boxes.Count(), 1);
    EXPECT_EQ(boxes.LastCaption(), L"ZUvo");
    EXPECT_EQ(boxes.LastText(), L"FAILED to copy the file from\r\n " + source + L"\r\n to\r\n " + target);
    EXPECT_FALSE(FileExists(target));
}

// Cutting either path to 259 units would copy another file or overwrite one.
TEST(CopyFileShell, RefusesPathsThatWouldNameAnotherFile)
{
    TestDir dir;
    std::wstring other = PathOfLength(dir.Path(), 259);
    ASSERT_TRUE(WriteWholeFile(other, "other", 5));
    std::wstring source = dir.File(L"source.bin");
    ASSERT_TRUE(WriteWholeFile(source, "source", 6));
    MessageBoxAnswerer boxes(IDOK);

    EXPECT_FALSE(CopyFileShell(dir.File(L"copy.bin").c_str(), (other + L"\\x.bin").c_str(), nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"copy.bin")));
    EXPECT_FALSE(CopyFileShell((other + L"\\x.bin").c_str(), source.c_str(), nullptr));
    EXPECT_FALSE(CopyFileShell(dir.File(L"copy.bin").c_str(), dir.File(L"*.bin").c_str(), nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"copy.bin")));
    EXPECT_EQ(boxes.Count(), 3);

    std::vector<unsigned char> bytes;
    ASSERT_TRUE(ReadWholeFile(other, bytes));
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "other");
}

TEST(CheckFileReadable, NeedsAnOpenableFileOfTwentyBytes)
{
    TestDir dir;
    ASSERT_TRUE(WriteWholeFile(dir.File(L"19.bin"), std::vector<unsigned char>(19)));
    ASSERT_TRUE(WriteWholeFile(dir.File(L"20.bin"), std::vector<unsigned char>(20)));
    struct Case {
        std::wstring path;
        bool readable;
        const wchar_t* error;
    } cases[] = {
        {dir.File(L"19.bin"), false, L"Invalid file size!"},
        {dir.File(L"20.bin"), true, L"untouched"},
        {dir.File(L"missing.bin"), false, L"Failed to open file for read!"},
        {dir.Path(), false, L"Failed to open file for read!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.path));
        NString error(L"untouched");
        EXPECT_EQ(CheckFileReadable(c.path.c_str(), error), c.readable);
        EXPECT_STREQ(error.c_str(), c.error);
    }
    NString error;
    EXPECT_FALSE(CheckFileReadable(nullptr, error));
}

}  // namespace
