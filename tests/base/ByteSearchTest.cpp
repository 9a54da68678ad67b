#include "base/ByteSearch.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(FindBytes, FindsTheFirstWholeMatch)
{
    const unsigned char block[] = "WMPHOTO WMPHOT WMPHOTO!";
    const size_t size = sizeof block - 1;
    struct Case {
        const char* pattern;
        size_t length;
        long expected;  // offset, -1 for none
    } cases[] = {
        {"WMPHOTO", 7, 0},
        {"PHOTO!", 6, 17},          // the last possible position
        {"!", 1, 22},
        {"WMPHOT ", 7, 8},          // a first byte that matches often
        {"WMPHOTO WMPHOT WMPHOTO!", 23, 0},   // the whole block
        {"WMPHOTO WMPHOT WMPHOTO!?", 24, -1}, // one byte longer than the block
        {"XYZ", 3, -1},
        {"", 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.pattern);
        size_t offset = 12345;
        const unsigned char* hit = FindBytesAt(block, size, c.pattern, c.length, &offset);
        if (c.expected < 0) {
            EXPECT_EQ(hit, nullptr);
            EXPECT_EQ(offset, 12345u);
        } else {
            EXPECT_EQ(hit, block + c.expected);
            EXPECT_EQ(offset, static_cast<size_t>(c.expected));
        }
        EXPECT_EQ(FindBytes(block, size, c.pattern, c.length), hit);
    }
    EXPECT_EQ(FindBytes(nullptr, 5, "a", 1), nullptr);
    EXPECT_EQ(FindBytes(block, 0, "W", 1), nullptr);
    EXPECT_EQ(FindBytes(block, size, nullptr, 1), nullptr);
}

TEST(FindBytes, ReadsNothingPastTheBlock)
{
    // The block ends inside a match: the bytes beyond its end must not complete it.
    const unsigned char memory[] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(FindBytes(memory, 3, "cd", 2), nullptr);
    EXPECT_EQ(FindBytes(memory, 3, "bc", 2), memory + 1);
    const unsigned char zeros[4] = {0, 0, 0, 0};
    EXPECT_EQ(FindBytes(zeros, 4, "\0\0", 2), zeros);
}

}  // namespace
