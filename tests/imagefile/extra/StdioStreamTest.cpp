// The stream's own read-ahead must never show: byte reads, block reads, positions, seeks, giving
// a byte back, the raw stream and writes after reads all see the file as if it were unbuffered.
#include <gtest/gtest.h>

#include <cstdio>
#include <vector>

#include "common/TestFiles.h"
#include "imagefile/extra/StdioStream.h"

namespace {

std::vector<unsigned char> Pattern(size_t size)
{
    std::vector<unsigned char> bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<unsigned char>((i * 7 + i / 251) & 0xFF);
    return bytes;
}

}  // namespace

TEST(StdioStream, ReadAheadIsInvisibleToPositionsSeeksAndTheRawStream)
{
    TestDir dir;
    const std::wstring path = dir.File(L"pattern.bin");
    const std::vector<unsigned char> bytes = Pattern(100000);  // several read-ahead pieces
    ASSERT_TRUE(WriteWholeFile(path, bytes));

    StdioStream in;
    ASSERT_TRUE(in.Open(path.c_str(), L"rb"));
    EXPECT_EQ(in.Length(), bytes.size());
    for (size_t i = 0; i < 10; ++i)
        ASSERT_EQ(in.ReadByte(), bytes[i]) << i;
    EXPECT_EQ(in.Tell(), 10);

    in.UnreadByte(bytes[9]);
    EXPECT_EQ(in.Tell(), 9);
    EXPECT_EQ(in.ReadByte(), bytes[9]);

    // A block read that starts in the read-ahead and ends past it.
    std::vector<unsigned char> block(40000);
    ASSERT_TRUE(in.ReadExact(block.data(), block.size()));
    EXPECT_TRUE(std::equal(block.begin(), block.end(), bytes.begin() + 10));
    EXPECT_EQ(in.Tell(), 40010);
    EXPECT_EQ(in.ReadByte(), bytes[40010]);
    EXPECT_EQ(in.Length(), bytes.size());
    EXPECT_EQ(in.ReadByte(), bytes[40011]) << "measuring the length keeps the position";

    // The raw stream continues where the reads of the object got to.
    unsigned char raw[3] = {};
    ASSERT_EQ(std::fread(raw, 1, 3, in.Get()), 3u);
    EXPECT_EQ(raw[0], bytes[40012]);
    EXPECT_EQ(raw[2], bytes[40014]);
    EXPECT_EQ(in.ReadByte(), bytes[40015]);

    ASSERT_TRUE(in.Seek(99998));
    EXPECT_EQ(in.ReadByte(), bytes[99998]);
    EXPECT_EQ(in.ReadByte(), bytes[99999]);
    EXPECT_EQ(in.ReadByte(), -1);
    EXPECT_EQ(in.Tell(), 100000);
    ASSERT_TRUE(in.Seek(5));
    ASSERT_TRUE(in.Skip(10));
    EXPECT_EQ(in.ReadByte(), bytes[15]);
}

TEST(StdioStream, WriteAfterReadLandsAtTheReadPosition)
{
    TestDir dir;
    const std::wstring path = dir.File(L"update.bin");
    const std::vector<unsigned char> bytes = Pattern(50000);
    ASSERT_TRUE(WriteWholeFile(path, bytes));
    {
        StdioStream io;
        ASSERT_TRUE(io.Open(path.c_str(), L"r+b"));
        ASSERT_EQ(io.ReadByte(), bytes[0]);
        ASSERT_EQ(io.ReadByte(), bytes[1]);
        ASSERT_TRUE(io.WriteByte(0xAB));
        ASSERT_TRUE(io.Seek(io.Tell()));  // the C runtime wants a seek between writing and reading
        EXPECT_EQ(io.ReadByte(), bytes[3]);
        ASSERT_TRUE(io.Close());
    }
    std::vector<unsigned char> after;
    ASSERT_TRUE(ReadWholeFile(path, after));
    ASSERT_EQ(after.size(), bytes.size());
    EXPECT_EQ(after[2], 0xAB);
    EXPECT_EQ(after[1], bytes[1]);
    EXPECT_EQ(after[3], bytes[3]);
}
