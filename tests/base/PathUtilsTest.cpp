#include "base/PathUtils.h"

#include <windows.h>
#include <shlobj.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

void Touch(const std::wstring& path)
{
    ASSERT_TRUE(WriteWholeFile(path, "x", 1)) << testing::PrintToString(path);
}

std::wstring InBuffer(const std::wstring& path, int size, bool* result = nullptr)
{
    std::vector<wchar_t> buffer(static_cast<size_t>(size), L'#');
    wmemcpy(buffer.data(), path.c_str(), path.size() + 1);
    bool ok = MakeUniquePath(buffer.data(), size);
    if (result)
        *result = ok;
    return buffer.data();
}

std::wstring InString(const std::wstring& path)
{
    NString s(path.c_str());
    MakeUniquePath(s);
    return s.c_str();
}

TEST(MakeUniquePath, NumbersAnExistingPath)
{
    TestDir dir;
    CreateDirectoryW(dir.File(L"dir.d").c_str(), nullptr);
    for (const wchar_t* name : {L"photo.JPG", L"photo (1).jpg", L"README", L"dir.d\\file", L"a.b.c"})
        Touch(dir.File(name));

    struct Case {
        const wchar_t* name;
        const wchar_t* buffer;   // the buffer form keeps the extension's case
        const wchar_t* string;   // the string form lower-cases it
    } cases[] = {
        {L"photo.JPG", L"photo (2).JPG", L"photo (2).jpg"},  // "photo (1).jpg" is taken
        {L"README", L"README (1)", L"README (1)"},
        {L"dir.d\\file", L"dir.d\\file (1)", L"dir.d\\file (1)"},  // the folder's dot is no extension
        {L"a.b.c", L"a.b (1).c", L"a.b (1).c"},
        {L"free.txt", L"free.txt", L"free.txt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.name)));
        bool ok = false;
        EXPECT_EQ(InBuffer(dir.File(c.name), MAX_PATH, &ok), dir.File(c.buffer));
        EXPECT_TRUE(ok);
        EXPECT_EQ(InString(dir.File(c.name)), dir.File(c.string));
    }
}

TEST(MakeUniquePath, LeavesThePathWhenNoFreeNameFits)
{
    TestDir dir;
    std::wstring path = dir.File(L"p.txt");
    Touch(path);
    // "p (1).txt" needs four more units than the buffer gives: a cut name could name anything.
    int size = static_cast<int>(path.size()) + 4;
    bool ok = true;
    EXPECT_EQ(InBuffer(path, size, &ok), path);
    EXPECT_FALSE(ok);
    EXPECT_EQ(InBuffer(path, size + 1, &ok), dir.File(L"p (1).txt"));
    EXPECT_TRUE(ok);

    for (int n = 1; n <= 999; ++n)
        Touch(dir.File(L"p (" + std::to_wstring(n) + L").txt"));
    EXPECT_EQ(InBuffer(path, MAX_PATH, &ok), path);
    EXPECT_FALSE(ok);
    EXPECT_EQ(InString(path), path);
    EXPECT_FALSE(MakeUniquePath(nullptr, MAX_PATH));
}

TEST(SplitFileName, SplitsAtTheFileNamesLastDot)
{
    struct Case {
        const wchar_t* path;
        const wchar_t* name;
        const wchar_t* extension;
    } cases[] = {
        {L"C:\\a\\photo.JPG", L"C:\\a\\photo", L"jpg"},
        {L"archive.tar.GZ", L"archive.tar", L"gz"},
        {L"C:\\a.b\\file", L"unset", L""},
        {L"C:\\a\\file.", L"unset", L""},
        {L"noext", L"unset", L""},
        {L"", L"unset", L""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        NString name(L"unset");
        NString extension(L"old");
        EXPECT_TRUE(SplitFileName(c.path, name, extension));
        EXPECT_STREQ(name.c_str(), c.name);
        EXPECT_STREQ(extension.c_str(), c.extension);
    }
    NString name;
    NString extension;
    EXPECT_FALSE(SplitFileName(nullptr, name, extension));
}

TEST(SplitPathComponents, ListsTheNonEmptyComponents)
{
    struct Case {
        const wchar_t* path;
        std::vector<std::wstring> parts;
    } cases[] = {
        {L"C:\\a\\b.txt", {L"C:", L"a", L"b.txt"}},
        {L"\\a\\b\\", {L"", L"a", L"b"}},
        {L"\\\\server\\share\\x", {L"", L"server", L"share", L"x"}},
        {L"name", {L"name"}},
        {L"", {L""}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::PrintToString(std::wstring(c.path)));
        std::vector<NString> parts(3, NString(L"stale"));
        EXPECT_TRUE(SplitPathComponents(c.path, parts));
        std::vector<std::wstring> got;
        for (const auto& p : parts)
            got.push_back(p.c_str());
        EXPECT_EQ(got, c.parts);
    }
    std::wstring longName(1000, L'n');
    std::vector<NString> parts;
    EXPECT_TRUE(SplitPathComponents((L"C:\\" + longName + L"\\x").c_str(), parts));
    ASSERT_EQ(parts.size(), 3u);
    EXPECT_EQ(parts[1].GetLength(), 1000);
    EXPECT_FALSE(SplitPathComponents(nullptr, parts));
}

TEST(DisplayNameToPath, GivesTheFileSystemPath)
{
    TestDir dir;
    std::wstring file = dir.File(L"shown.txt");
    Touch(file);
    wchar_t buffer[MAX_PATH];
    wcscpy(buffer, file.c_str());
    ASSERT_TRUE(DisplayNameToPath(buffer, MAX_PATH));
    EXPECT_EQ(lstrcmpiW(buffer, file.c_str()), 0) << testing::PrintToString(std::wstring(buffer));

    // No file-system path, an unknown name, no room: false and the buffer as it was.
    const wchar_t* failing[] = {L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", L"Q:\\no\\such\\thing.txt"};
    for (const wchar_t* name : failing) {
        wcscpy(buffer, name);
        EXPECT_FALSE(DisplayNameToPath(buffer, MAX_PATH)) << testing::PrintToString(std::wstring(name));
        EXPECT_STREQ(buffer, name);
    }
    wcscpy(buffer, file.c_str());
    EXPECT_FALSE(DisplayNameToPath(buffer, 0));
    EXPECT_STREQ(buffer, file.c_str());
}

TEST(IsSameFileName, ComparesIgnoringCase)
{
    EXPECT_TRUE(IsSameFileName(L"Photo.JPG", L"photo.jpg"));
    EXPECT_FALSE(IsSameFileName(L"photo1.jpg", L"photo.jpg"));
    EXPECT_FALSE(IsSameFileName(nullptr, L"a"));
    std::wstring longName(2000, L'a');
    std::wstring upper(2000, L'A');
    EXPECT_TRUE(IsSameFileName(longName.c_str(), upper.c_str()));
}

// The double-byte rule: full-width letters must match in case as well.
TEST(IsSameFileName, FullWidthLettersKeepTheirCase)
{
    EXPECT_FALSE(SameFullWidthCharacterTypes(L"\xFF41", L"\xFF21"));  // full-width a, A
    EXPECT_TRUE(SameFullWidthCharacterTypes(L"\xFF41" L"b", L"\xFF41" L"B"));
    EXPECT_FALSE(SameFullWidthCharacterTypes(L"ab", L"abc"));
    std::wstring longName(2000, L'\xFF41');
    EXPECT_TRUE(SameFullWidthCharacterTypes(longName.c_str(), longName.c_str()));
    longName.back() = L'\xFF21';
    EXPECT_FALSE(SameFullWidthCharacterTypes(std::wstring(2000, L'\xFF41').c_str(), longName.c_str()));
}

TEST(IsSpecialFolderPath, MatchesTheFoldersFileSystemPath)
{
    wchar_t windows[MAX_PATH] = {};
    ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
    EXPECT_TRUE(IsSpecialFolderPath(nullptr, windows, CSIDL_WINDOWS));
    CharLowerW(windows);
    EXPECT_TRUE(IsSpecialFolderPath(nullptr, windows, CSIDL_WINDOWS));
    TestDir dir;
    EXPECT_FALSE(IsSpecialFolderPath(nullptr, dir.Path().c_str(), CSIDL_WINDOWS));
    // Two items without file-system paths are not thereby the same folder.
    EXPECT_FALSE(IsSpecialFolderPath(nullptr, L"::{20D04FE0-3AEA-1069-A2D8-08002B30309D}", CSIDL_DRIVES));
    EXPECT_FALSE(IsSpecialFolderPath(nullptr, L"::{645FF040-5081-101B-9F08-00AA002F954E}", CSIDL_DRIVES));
    EXPECT_FALSE(IsSpecialFolderPath(nullptr, nullptr, CSIDL_WINDOWS));
}

}  // namespace
