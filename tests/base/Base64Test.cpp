#include "base/Base64.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/NString.h"

namespace {

std::string AllByteValues()
{
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

}  // namespace

TEST(Base64Test, EncodesTheStandardVectorsWithPadding)
{
    const struct {
        const char* bytes;
        const char* text;
    } cases[] = {
        {"", ""},          {"f", "Zg=="},         {"fo", "Zm8="},         {"foo", "Zm9v"},
        {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}, {"\xFB\xFF", "+/8="},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Base64Encode(c.bytes, std::strlen(c.bytes)), c.text) << c.bytes;
    EXPECT_EQ(Base64Encode(nullptr, 5), "");
    EXPECT_EQ(Base64Alphabet.size(), 64u);
}

TEST(Base64Test, EveryByteValueAndLengthRoundTrips)
{
    const std::string all = AllByteValues();
    for (size_t length = 0; length <= all.size(); ++length) {
        const std::string text = Base64Encode(all.data() + 256 - length, length);
        ASSERT_EQ(text.size() % 4, 0u) << length;
        ASSERT_EQ(text.size(), (length + 2) / 3 * 4) << length;
        std::string back;
        ASSERT_TRUE(Base64Decode(text, back)) << text;
        ASSERT_EQ(back, all.substr(256 - length)) << text;
    }
}

TEST(Base64Test, DecodeReportsWhetherTheWholeTextWasWellFormed)
{
    const struct {
        const char* text;
        const char* bytes;  // what is decoded before the decoding stops
        bool ok;
    } cases[] = {
        {"", "", true},
        {"Zm9vYmFy", "foobar", true},
        {"Zm9vYg==", "foob", true},
        {"Zm9vYg", "foob", true},        // unpadded: two characters give one byte
        {"Zm9vYmE", "fooba", true},      // three give two
        {"Zm9vYmE=", "fooba", true},
        {"Zm9v\r\nYmFy\r\n", "foobar", true},  // line-wrapped text decodes whole
        {" Zm9v\tYm Fy ", "foobar", true},
        {"Zm9vYg==  \n", "foob", true},
        {"Zm9vY", "foo", false},         // a lone character carries no byte: the text was cut
        {"Zm9v*YmFy", "foo", false},     // a stray character does not end the text quietly
        {"Zm9vYg==YmFy", "foob", false}, // nothing may follow the padding
        {"Zm9vYg=", "foob", false},      // padding must complete the group
        {"Zm9v=", "foo", false},
        {"=", "", false},
        {"Zm9v\x80", "foo", false},
    };
    for (const auto& c : cases) {
        std::string bytes = "old";
        EXPECT_EQ(Base64Decode(c.text, bytes), c.ok) << c.text;
        EXPECT_EQ(bytes, c.bytes) << c.text;
        EXPECT_EQ(Base64Decode(c.text), c.bytes) << c.text;
    }
}

TEST(Base64Test, DecodeKeepsZeroBytes)
{
    std::string bytes;
    ASSERT_TRUE(Base64Decode("AGEAYg==", bytes));
    EXPECT_EQ(bytes, std::string("\0a\0b", 4));
}

TEST(Base64Test, DecodeBase64TextGivesTheAnsiText)
{
    NString result(L"old");
    ASSERT_TRUE(DecodeBase64Text(NString(L"SGVsbG8sIHdvcmxk"), result));
    EXPECT_STREQ(result.c_str(), L"Hello, world");

    // A byte above 127 is a character of the ANSI code page.
    wchar_t expected[2] = {};
    const char e9 = '\xE9';
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, &e9, 1, expected, 1), 1);
    ASSERT_TRUE(DecodeBase64Text(NString(L"SOk="), result));
    EXPECT_EQ(result.GetLength(), 2);
    EXPECT_EQ(result[0], L'H');
    EXPECT_EQ(result[1], expected[0]);

    // The text ends at the first zero byte.
    ASSERT_TRUE(DecodeBase64Text(NString(L"SGkAWg=="), result));
    EXPECT_STREQ(result.c_str(), L"Hi");
}

TEST(Base64Test, DecodeBase64TextFailures)
{
    NString result(L"old");
    EXPECT_FALSE(DecodeBase64Text(NString(), result));
    EXPECT_FALSE(DecodeBase64Text(NString(L""), result));
    EXPECT_STREQ(result.c_str(), L"old") << "an empty source leaves the result alone";

    // Malformed sources, also a character the ANSI code page cannot hold: no partial text.
    for (const wchar_t* source : {L"SGVs*bG8=", L"SGVsbG8=A", L"SGVsb", L"SGVs\x4E2D" L"bG8=", L"SGVsbG8=\x4E2D"}) {
        result = L"old";
        EXPECT_FALSE(DecodeBase64Text(NString(source), result)) << source;
        EXPECT_STREQ(result.c_str(), L"old") << source;
    }

    // Well formed but nothing to show: false with an empty result.
    for (const wchar_t* source : {L"  \r\n", L"AA==", L"AGI="}) {
        result = L"old";
        EXPECT_FALSE(DecodeBase64Text(NString(source), result)) << source;
        EXPECT_TRUE(result.IsEmpty()) << source;
    }
}
