#include "base/Utf8.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "base/NString.h"

namespace {

bool IsAllocatedEmpty(const NString& s)
{
    return s.IsEmpty() && s.Compare(L"") == 0;
}

}  // namespace

TEST(Utf8Test, IsValidUtf8FollowsThePublishedEncoding)
{
    const struct {
        std::string bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"a", true},
        {"\xC3\xA9", true},                // a two-byte character on its own
        {"abc", true},
        {std::string("a\0b", 3), true},
        {"ab\xFF", false},
        {"ab\xE2", false},                 // ends inside a sequence
        {"ab\xE2\x82", false},
        {"\xE2\x82\xAC", true},
        {"\xF0\x9F\x98\x80", true},
        {"a\xC0\x80z", false},             // overlong NUL
        {"\xC1\xBF", false},
        {"\xE0\x9F\xBF", false},           // overlong three-byte form
        {"\xE0\xA0\x80", true},
        {"\xF0\x8F\xBF\xBF", false},       // overlong four-byte form
        {"\xED\xA0\x80", false},           // a surrogate
        {"\xED\x9F\xBF", true},
        {"\xF4\x8F\xBF\xBF", true},        // U+10FFFF
        {"\xF4\x90\x80\x80", false},       // above U+10FFFF
        {"\xF5\x80\x80\x80", false},
        {"\x80", false},
        {"\xC2\x41", false},               // a missing continuation byte
        {"\xC3\xA9\xC3", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsValidUtf8(c.bytes.data(), c.bytes.size()), c.valid) << testing::PrintToString(c.bytes);
    EXPECT_FALSE(IsValidUtf8(nullptr, 3));
}

TEST(Utf8Test, FromUtf8ConvertsOrGivesAnAllocatedEmptyString)
{
    const struct {
        const char* utf8;
        std::wstring wide;
        bool ok;
    } cases[] = {
        {"abc", L"abc", true},
        {"\xC3\xA9", L"\x00E9", true},
        {"\xF0\x9F\x98\x80", L"\xD83D\xDE00", true},
        {"\xF4\x8F\xBF\xBF", L"\xDBFF\xDFFF", true},
        {"", L"", true},
        {"\xFF", L"", false},
        {"ok\xED\xA0\x80", L"", false},
        {"\xE2\x82", L"", false},
    };
    for (const auto& c : cases) {
        NString s(L"old");
        EXPECT_EQ(NStringFromUtf8(c.utf8, s), c.ok) << c.utf8;
        EXPECT_EQ(std::wstring(s.c_str()), c.wide) << c.utf8;
        if (c.wide.empty()) {
            EXPECT_TRUE(IsAllocatedEmpty(s)) << c.utf8;
        }

        NString fromBytes(L"old");
        EXPECT_EQ(NStringFromUtf8(std::string(c.utf8), fromBytes), c.ok) << c.utf8;
        EXPECT_EQ(std::wstring(fromBytes.c_str()), c.wide) << c.utf8;
    }
    NString s(L"old");
    EXPECT_TRUE(NStringFromUtf8(static_cast<const char*>(nullptr), s));
    EXPECT_TRUE(IsAllocatedEmpty(s));
}

TEST(Utf8Test, ByteStringFormChecksItsWholeLength)
{
    NString s;
    EXPECT_TRUE(NStringFromUtf8(std::string("ab\0cd", 5), s));
    EXPECT_STREQ(s.c_str(), L"ab");
    EXPECT_FALSE(NStringFromUtf8(std::string("ab\0\xFF", 4), s));
    EXPECT_TRUE(IsAllocatedEmpty(s));
}

TEST(Utf8Test, ToUtf8LeavesTheResultAloneOnUnpairedSurrogates)
{
    std::string out = "old";
    ASSERT_TRUE(NStringToUtf8(NString(L"a\x00E9\x20AC\xD83D\xDE00"), out));
    EXPECT_EQ(out, "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");

    for (const wchar_t* bad : {L"a\xD800", L"\xD800x", L"\xDC00", L"\xDE00\xD83D"}) {
        out = "old";
        EXPECT_FALSE(NStringToUtf8(NString(bad), out));
        EXPECT_EQ(out, "old");
    }
    out = "old";
    EXPECT_TRUE(NStringToUtf8(NString(), out));
    EXPECT_EQ(out, "");
}

TEST(Utf8Test, EveryCodePointAgreesWithThePlatformCodec)
{
    // All scalar values from U+0001 to U+10FFFF, in one text, both ways.
    std::wstring wide;
    for (char32_t cp = 1; cp <= 0x10FFFF; ++cp) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        if (cp < 0x10000) {
            wide += static_cast<wchar_t>(cp);
        } else {
            wide += static_cast<wchar_t>(0xD800 + ((cp - 0x10000) >> 10));
            wide += static_cast<wchar_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        }
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      nullptr);
    std::string platform(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), platform.data(), n, nullptr, nullptr);

    std::string ours;
    ASSERT_TRUE(NStringToUtf8(NString(wide.c_str()), ours));
    ASSERT_EQ(ours, platform);
    EXPECT_TRUE(IsValidUtf8(ours.data(), ours.size()));
    NString back;
    ASSERT_TRUE(NStringFromUtf8(ours, back));
    EXPECT_TRUE(std::wstring(back.c_str()) == wide);
}

TEST(Utf8Test, AnsiConversionsKeepLengthsAndZeroUnits)
{
    const struct {
        std::string ansi;
        std::wstring wide;
    } cases[] = {
        {"", L""},
        {"abc", L"abc"},
        {std::string("a\0b", 3), std::wstring(L"a\0b", 3)},
        {"C:\\Photos\\a b.jpg", L"C:\\Photos\\a b.jpg"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(WideFromAnsi(c.ansi.data(), c.ansi.size()), c.wide) << c.ansi;
        EXPECT_EQ(AnsiFromWide(c.wide.data(), c.wide.size()), c.ansi) << c.ansi;
    }
    // The NUL-terminated forms stop at the first zero; null counts as empty.
    EXPECT_EQ(WideFromAnsi("a\0b"), L"a");
    EXPECT_EQ(AnsiFromWide(L"a\0b"), "a");
    EXPECT_EQ(WideFromAnsi(nullptr), L"");
    EXPECT_EQ(AnsiFromWide(nullptr), "");
    EXPECT_EQ(WideFromAnsi(nullptr, 3), L"");
    EXPECT_EQ(AnsiFromWide(nullptr, 3), "");
    EXPECT_EQ(WideFromAnsi("abc", 0), L"");
    EXPECT_EQ(AnsiFromWide(L"abc", 0), "");
    EXPECT_EQ(WideFromAnsi("abc", static_cast<size_t>(INT_MAX) + 1), L"");
}

TEST(Utf8Test, AnsiConversionsFollowTheCodePage)
{
    // Every code page the program meets holds e-acute.
    EXPECT_EQ(WideFromAnsi(AnsiFromWide(L"caf\u00E9").c_str()), L"caf\u00E9");
    if (GetACP() != 1252)
        GTEST_SKIP() << "code page " << GetACP();
    EXPECT_EQ(AnsiFromWide(L"caf\u00E9 \u20AC"), "caf\xE9 \x80");
    EXPECT_EQ(WideFromAnsi("caf\xE9 \x80"), L"caf\u00E9 \u20AC");
    EXPECT_EQ(AnsiFromWide(L"\u4E2D"), "?") << "a character the code page lacks";
}

TEST(Utf8Test, CutAnsiConversionsEndAtAZeroAndKeepTheirLimit)
{
    const NString text = NStringFromAnsi("abc\0def", 7, 100);
    EXPECT_STREQ(text.c_str(), L"abc") << "a zero among the bytes ends the text";
    EXPECT_STREQ(NStringFromAnsi("abcdef", 6, 4).c_str(), L"abcd");
    const NString none = NStringFromAnsi(nullptr, 5, 10);
    ASSERT_NE(none.c_str(), nullptr) << "an allocated empty text, not the null state";
    EXPECT_STREQ(none.c_str(), L"");
    EXPECT_EQ(AnsiFromWideCut(L"abcdef", 3), "abc");
    EXPECT_EQ(AnsiFromWideCut(L"ab", 3), "ab");
    EXPECT_EQ(AnsiFromWideCut(nullptr, 3), "");
}
