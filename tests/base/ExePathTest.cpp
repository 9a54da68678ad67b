#include "base/ExePath.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

#include "common/TestFiles.h"

namespace {

TEST(GetExeDirectory, GivesTheProgramsFolderWithoutABackslash)
{
    const std::wstring folder = ProgramFolder();
    ASSERT_FALSE(folder.empty());
    wchar_t buffer[MAX_PATH];
    wmemset(buffer, L'#', MAX_PATH);
    GetExeDirectory(buffer, MAX_PATH);
    EXPECT_EQ(std::wstring(buffer), folder);

    NString text(L"old");
    EXPECT_TRUE(GetExeDirectory(text));
    EXPECT_EQ(std::wstring(text.c_str()), folder);

    NString path;
    EXPECT_TRUE(GetExePath(path));
    wchar_t module[MAX_PATH * 4] = {};
    GetModuleFileNameW(nullptr, module, MAX_PATH * 4);
    EXPECT_STREQ(path.c_str(), module);
}

TEST(GetExeDirectory, CutsToTheBufferAndLeavesItAloneWithoutRoom)
{
    const std::wstring folder = ProgramFolder();
    wchar_t buffer[8];
    wmemset(buffer, L'#', 8);
    GetExeDirectory(buffer, 5);
    EXPECT_EQ(std::wstring(buffer, 5), folder.substr(0, 4) + L'\0');
    EXPECT_EQ(buffer[5], L'#');

    wmemset(buffer, L'#', 8);
    GetExeDirectory(buffer, 0);
    GetExeDirectory(nullptr, MAX_PATH);
    EXPECT_EQ(buffer[0], L'#');
}

}  // namespace
