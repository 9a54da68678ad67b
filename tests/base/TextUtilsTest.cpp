#include "base/TextUtils.h"

#include <gtest/gtest.h>

#include <clocale>

namespace {

TEST(FormatByteSize, PicksTheUnitAndTwoDecimals)
{
    struct Case {
        double bytes;
        const wchar_t* text;
    } cases[] = {
        {0, L"   0 Bytes"},
        {512, L" 512 Bytes"},
        {999, L" 999 Bytes"},
        {1000, L"0.98 KB"},
        {1023, L"1.00 KB"},
        {1536, L"1.50 KB"},
        {1048576, L"1.00 MB"},
        {1073741824.0 * 1.25, L"1.25 GB"},
        {1073741824.0 * 2000, L"2000.00 GB"},
        {12345, L"12.06 KB"},
    };
    for (const auto& c : cases) {
        wchar_t text[64];
        ASSERT_TRUE(FormatByteSize(text, 64, c.bytes));
        EXPECT_STREQ(text, c.text) << c.bytes;
        ASSERT_TRUE(FormatByteSize(text, 64, static_cast<float>(c.bytes)));
        EXPECT_STREQ(text, c.text) << c.bytes << " as float";
    }
}

TEST(FormatByteSize, CutsToTheBuffer)
{
    wchar_t text[8];
    wmemset(text, L'#', 8);
    ASSERT_TRUE(FormatByteSize(text, 5, 1536.0));
    EXPECT_STREQ(text, L"1.50");
    EXPECT_EQ(text[5], L'#');
    EXPECT_FALSE(FormatByteSize(nullptr, 5, 1.0));
    EXPECT_FALSE(FormatByteSize(text, 0, 1.0));
}

TEST(ReplaceBarsWithSpaces, ReplacesEveryBar)
{
    wchar_t text[] = L"|a||b|";
    EXPECT_TRUE(ReplaceBarsWithSpaces(text));
    EXPECT_STREQ(text, L" a  b ");
    EXPECT_FALSE(ReplaceBarsWithSpaces(nullptr));
}

}  // namespace
