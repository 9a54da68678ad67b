#include "base/NFile.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/TestFiles.h"

namespace {

using Bytes = std::vector<unsigned char>;

class NFileTest : public testing::Test {
protected:
    std::wstring Make(const wchar_t* name, const Bytes& bytes)
    {
        std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }
    Bytes Contents(const std::wstring& path)
    {
        Bytes bytes;
        EXPECT_TRUE(ReadWholeFile(path, bytes));
        return bytes;
    }
    static bool HandleIsOpen(HANDLE h)
    {
        DWORD flags;
        return GetHandleInformation(h, &flags) != FALSE;
    }

    TestDir dir;
};

}  // namespace

TEST_F(NFileTest, CreationModesCreateEmptyOrKeep)
{
    const struct {
        unsigned mode;
        bool exists;
        bool opens;
        size_t lengthAfter;  // file length after opening (when it opens)
    } cases[] = {
        {0x0, true, true, 3},       {0x0, false, false, 0},
        {0x1001, true, true, 0},    {0x1001, false, true, 0},
        {0x3001, true, true, 3},    {0x3001, false, true, 0},
        {0x2001, true, true, 3},    {0x2001, false, false, 0},  // 0x2000 alone has no effect
        {0x4002, true, true, 3},    {0x80002, true, true, 3},
    };
    int i = 0;
    for (const auto& c : cases) {
        const std::wstring name = L"m" + std::to_wstring(i++);
        const std::wstring path = dir.File(name);
        if (c.exists)
            Make(name.c_str(), {'a', 'b', 'c'});
        NFile file;
        EXPECT_EQ(file.Open(path.c_str(), c.mode), c.opens) << std::hex << c.mode << " exists " << c.exists;
        if (c.opens)
            EXPECT_EQ(file.GetLength(), c.lengthAfter) << std::hex << c.mode;
        else
            EXPECT_FALSE(FileExists(path));
    }
}

TEST_F(NFileTest, SharingAndInheritanceBits)
{
    const std::wstring path = Make(L"s", {1, 2, 3});
    {
        NFile first(path.c_str(), 0x20);  // read, others may read
        NFile second;
        EXPECT_TRUE(second.Open(path.c_str(), 0x20));
        NFile writer;
        EXPECT_FALSE(writer.Open(path.c_str(), 0x21));
    }
    {
        NFile exclusive(path.c_str(), 0x0);
        NFile second;
        EXPECT_FALSE(second.Open(path.c_str(), 0x20));
    }
    DWORD flags = 0;
    NFile inheritable(path.c_str(), 0x40);
    ASSERT_TRUE(GetHandleInformation(inheritable.GetHandle(), &flags));
    EXPECT_TRUE(flags & HANDLE_FLAG_INHERIT);
    NFile private_(path.c_str(), 0x40 | 0x80);
    ASSERT_TRUE(GetHandleInformation(private_.GetHandle(), &flags));
    EXPECT_FALSE(flags & HANDLE_FLAG_INHERIT);
}

TEST_F(NFileTest, OpensOnceInItsLife)
{
    const std::wstring path = Make(L"once", {1});
    const std::wstring missing = dir.File(L"missing");

    NFile file(missing.c_str(), 0);  // a failed open leaves the object fresh
    EXPECT_EQ(file.Read(nullptr, 0), 0u);
    EXPECT_FALSE(file.WriteByte(1));
    EXPECT_EQ(file.GetLength(), 0u);
    EXPECT_FALSE(file.Flush());
    EXPECT_FALSE(file.SeekToBegin());
    EXPECT_EQ(file.Duplicate(), nullptr);
    EXPECT_STREQ(file.GetPath(), missing.c_str());

    ASSERT_TRUE(file.Open(path.c_str(), 0x2));
    EXPECT_TRUE(file.Flush());
    EXPECT_FALSE(file.Open(path.c_str(), 0));
    file.Close();
    EXPECT_STREQ(file.GetPath(), L"");
    EXPECT_FALSE(file.Open(path.c_str(), 0)) << "closed objects are not reopened";
    EXPECT_EQ(file.ReadByte(), 0);
    EXPECT_FALSE(file.SeekToEnd());
    EXPECT_FALSE(file.Flush());

    NFile aborted(path.c_str(), 0);
    EXPECT_TRUE(aborted.Abort());
    EXPECT_STREQ(aborted.GetPath(), L"");
    EXPECT_EQ(aborted.GetLength(), 0u);
    EXPECT_FALSE(aborted.Open(path.c_str(), 0));
    EXPECT_TRUE(DeleteFileW(path.c_str())) << "the aborted handle is closed";
}

TEST_F(NFileTest, PathsLongerThanTheFieldAreRefusedNotCut)
{
    const std::wstring prefix = L"\\\\?\\" + dir.Path() + L"\\";
    const std::wstring fits = prefix + std::wstring(NFile::maxPathUnits - prefix.size(), L'a');
    const std::wstring tooLong = fits + L"b";
    ASSERT_EQ(fits.size(), 1039u);

    NFile file;
    EXPECT_FALSE(file.Open(tooLong.c_str(), 0x1001));
    EXPECT_STREQ(file.GetPath(), L"");
    EXPECT_FALSE(FileExists(fits)) << "the cut path must never be opened or created";
    EXPECT_FALSE(file.Open(fits.c_str(), 0));  // missing, but the path fits
    EXPECT_STREQ(file.GetPath(), fits.c_str());

    // A rename to a path that does not fit changes nothing, so a later Remove cannot hit a cut name.
    const std::wstring path = Make(L"r", {1, 2});
    NFile open(path.c_str(), 0x2);
    EXPECT_FALSE(open.Rename(tooLong.c_str()));
    EXPECT_STREQ(open.GetPath(), path.c_str());
    EXPECT_EQ(open.ReadWord(), 0x0201) << "still open";
    EXPECT_FALSE(open.Open(nullptr, 0));
    NFile empty;
    EXPECT_FALSE(empty.Open(L"", 0x1001));
    EXPECT_FALSE(empty.Open(nullptr, 0x1001));
}

TEST_F(NFileTest, ReadAndWriteCountsOfZero)
{
    const std::wstring path = Make(L"z", {7});
    NFile file(path.c_str(), 0x2);
    unsigned char b = 0;
    EXPECT_EQ(file.Read(&b, 0), 0u);
    EXPECT_FALSE(file.Write(&b, 0));
    EXPECT_EQ(file.Read(&b, 1), 1u);
    EXPECT_EQ(b, 7);
    EXPECT_EQ(file.Read(&b, 1), 0u) << "end of file";
}

TEST_F(NFileTest, LittleAndBigEndianScalars)
{
    const std::wstring path = dir.File(L"e");
    {
        NFile out(path.c_str(), 0x1001);
        EXPECT_TRUE(out.WriteByte(0x1FF));
        EXPECT_TRUE(out.WriteWord(0x12345678));
        EXPECT_TRUE(out.WriteWordBE(0x1234));
        EXPECT_TRUE(out.WriteDword(0x11223344));
        EXPECT_TRUE(out.WriteDwordBE(0x11223344));
        EXPECT_TRUE(out.WriteQword(0x0102030405060708ull));
    }
    EXPECT_EQ(Contents(path), (Bytes{0xFF, 0x78, 0x56, 0x12, 0x34, 0x44, 0x33, 0x22, 0x11, 0x11, 0x22, 0x33, 0x44,
                                     8, 7, 6, 5, 4, 3, 2, 1}));

    NFile in(path.c_str(), 0);
    EXPECT_EQ(in.ReadByte(), 0xFF);
    EXPECT_EQ(in.ReadWord(), 0x5678);
    EXPECT_EQ(in.Seek(3, FILE_BEGIN), 3u);
    EXPECT_EQ(in.ReadWordBE(), 0x1234);
    EXPECT_EQ(in.Seek(3, FILE_BEGIN), 3u);
    EXPECT_EQ(in.ReadWord(), 0x3412);
    EXPECT_EQ(in.ReadDword(), 0x11223344u);
    EXPECT_EQ(in.ReadDwordBE(), 0x11223344u);
    EXPECT_EQ(in.ReadQword(), 0x0102030405060708ull);
}

TEST_F(NFileTest, ShortScalarReadsAnswerZero)
{
    const std::wstring path = Make(L"short", {0xAA, 0xBB});
    NFile in(path.c_str(), 0);
    EXPECT_EQ(in.ReadDword(), 0u);
    EXPECT_EQ(in.GetPosition(), 2u);
    EXPECT_EQ(in.ReadByte(), 0);
    EXPECT_TRUE(in.SeekToBegin());
    EXPECT_EQ(in.ReadQword(), 0u);
    EXPECT_TRUE(in.SeekToBegin());
    EXPECT_EQ(in.ReadDwordBE(), 0u);
    EXPECT_TRUE(in.SeekToBegin());
    EXPECT_EQ(in.ReadWordBE(), 0xAABB);
}

TEST_F(NFileTest, SeekMovesBothWays)
{
    const std::wstring path = Make(L"seek", {0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
    NFile file(path.c_str(), 0);
    EXPECT_EQ(file.Seek(-4, FILE_END), 6u);
    EXPECT_EQ(file.ReadByte(), 6);
    EXPECT_EQ(file.Seek(-3, FILE_CURRENT), 4u);
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.Seek(-1, FILE_BEGIN), 0u) << "before the start fails";
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.Seek(0x100000000ll, FILE_BEGIN), 0x100000000ull) << "64-bit positions";
    EXPECT_TRUE(file.SeekToEnd());
    EXPECT_EQ(file.GetPosition(), 10u);
    EXPECT_TRUE(file.SeekToBegin());
    EXPECT_EQ(file.GetPosition(), 0u);
    EXPECT_EQ(file.GetLength(), 10u);
}

TEST_F(NFileTest, SetLengthCutsAndExtends)
{
    const std::wstring path = Make(L"len", {1, 2, 3, 4, 5, 6});
    NFile file(path.c_str(), 0x2);
    EXPECT_TRUE(file.SetLength(4));
    EXPECT_EQ(file.GetPosition(), 4u);
    EXPECT_EQ(file.GetLength(), 4u);
    EXPECT_TRUE(file.SetLength(8));
    EXPECT_EQ(file.GetLength(), 8u);
    file.Close();
    EXPECT_EQ(Contents(path), (Bytes{1, 2, 3, 4, 0, 0, 0, 0}));
    EXPECT_FALSE(file.SetLength(1));
}

TEST_F(NFileTest, LockAndUnlockRanges)
{
    const std::wstring path = Make(L"lock", Bytes(16, 0));
    NFile file(path.c_str(), 0x42);
    EXPECT_TRUE(file.LockRange(4, 8));
    EXPECT_FALSE(file.LockRange(6, 2)) << "already locked";
    NFile other(path.c_str(), 0x40);
    EXPECT_FALSE(other.LockRange(0, 5)) << "overlaps the range locked through the first handle";
    EXPECT_TRUE(other.LockRange(12, 4));
    EXPECT_TRUE(file.UnlockRange(4, 8));
    EXPECT_FALSE(file.UnlockRange(4, 8));
    EXPECT_TRUE(other.LockRange(0, 5));
    NFile closed(path.c_str(), 0x40);
    closed.Close();
    EXPECT_FALSE(closed.LockRange(0, 1));
}

TEST_F(NFileTest, RenameMovesAndLeavesTheObjectClosedWithTheNewPath)
{
    const std::wstring from = Make(L"old", {5, 6});
    const std::wstring to = dir.File(L"new");
    NFile file(from.c_str(), 0);
    ASSERT_TRUE(file.Rename(to.c_str()));
    EXPECT_FALSE(FileExists(from));
    EXPECT_EQ(Contents(to), (Bytes{5, 6}));
    EXPECT_STREQ(file.GetPath(), to.c_str());
    EXPECT_EQ(file.ReadByte(), 0);
    EXPECT_FALSE(file.Open(to.c_str(), 0));

    // The stored path now names the moved file.
    EXPECT_TRUE(file.Remove());
    EXPECT_FALSE(FileExists(to));
    EXPECT_FALSE(file.Remove()) << "nothing stored any more";

    const std::wstring taken = Make(L"taken", {1});
    const std::wstring other = Make(L"other", {2});
    NFile clash(taken.c_str(), 0);
    EXPECT_FALSE(clash.Rename(other.c_str()));
    EXPECT_EQ(Contents(other), Bytes{2});
    NFile fresh;
    EXPECT_FALSE(fresh.Rename(other.c_str()));
    EXPECT_FALSE(fresh.Remove());
}

TEST_F(NFileTest, RemoveDeletesTheOpenFile)
{
    const std::wstring path = Make(L"rm", {1});
    NFile file(path.c_str(), 0x1);
    EXPECT_TRUE(file.Remove());
    EXPECT_FALSE(FileExists(path));

    // An attached handle has no path: nothing is deleted.
    const std::wstring kept = Make(L"kept", {1});
    HANDLE h = CreateFileW(kept.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    NFile attached(h);
    EXPECT_FALSE(attached.Remove());
    EXPECT_TRUE(FileExists(kept));
    EXPECT_FALSE(HandleIsOpen(h)) << "Close also closes an attached handle";
}

TEST_F(NFileTest, AttachedHandleOutlivesTheObject)
{
    const std::wstring path = Make(L"att", {9, 8});
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    {
        NFile attached(h);
        EXPECT_EQ(attached.ReadByte(), 9);
        EXPECT_FALSE(attached.Open(path.c_str(), 0));
    }
    EXPECT_TRUE(HandleIsOpen(h));
    CloseHandle(h);
}

TEST_F(NFileTest, DuplicateWorksOnAndOwnsItsHandle)
{
    const std::wstring path = Make(L"dup", {1, 2, 3, 4});
    NFile file(path.c_str(), 0);
    auto copy = file.Duplicate();
    ASSERT_NE(copy, nullptr);
    EXPECT_STREQ(copy->GetPath(), L"");
    EXPECT_EQ(file.ReadByte(), 1);
    file.Close();
    EXPECT_EQ(copy->ReadByte(), 2) << "same file position, own handle";
    EXPECT_EQ(file.Duplicate(), nullptr);
    copy.reset();

    // The duplicate of an attached object closes the handle it made.
    HANDLE h = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    NFile attached(h);
    HANDLE duplicated;
    {
        auto second = attached.Duplicate();
        ASSERT_NE(second, nullptr);
        duplicated = second->GetHandle();
        EXPECT_TRUE(HandleIsOpen(duplicated));
    }
    EXPECT_FALSE(HandleIsOpen(duplicated));
    EXPECT_TRUE(HandleIsOpen(h));
    CloseHandle(h);
}
