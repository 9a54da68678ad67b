#include "base/NString.h"

#include <gtest/gtest.h>

#include <climits>
#include <malloc.h>
#include <string>
#include <utility>
#include <vector>

namespace {

// The null state and the allocated empty state differ only in comparisons.
bool IsNullState(const NString& s)
{
    return s.IsEmpty() && s.Compare(L"") == -1;
}

bool IsAllocatedEmpty(const NString& s)
{
    return s.IsEmpty() && s.Compare(L"") == 0;
}

// The runtime's heap check: catches writes past a block after in-place edits.
bool HeapIntact()
{
    return _heapchk() == _HEAPOK;
}

}  // namespace

// ---------------------------------------------------------------------------
// States

TEST(NStringStateTest, ConstructionGivesNullOrAllocatedAsDocumented)
{
    NString defaulted;
    EXPECT_TRUE(IsNullState(defaulted));
    EXPECT_EQ(defaulted.GetLength(), 0);
    EXPECT_TRUE(defaulted.IsBlank());
    EXPECT_STREQ(defaulted.c_str(), L"");

    NString copyOfNull(defaulted);
    EXPECT_TRUE(IsAllocatedEmpty(copyOfNull));

    EXPECT_TRUE(IsAllocatedEmpty(NString(static_cast<const wchar_t*>(nullptr))));
    EXPECT_TRUE(IsAllocatedEmpty(NString(L"")));

    EXPECT_TRUE(IsNullState(NString(L'x', 0)));
    EXPECT_TRUE(IsNullState(NString(L'x', -1)));
    EXPECT_STREQ(NString(L'x', 3).c_str(), L"xxx");
}

TEST(NStringStateTest, AssignmentKeepsOrReplacesTheState)
{
    NString nullA, nullB;
    nullA = nullB;
    EXPECT_TRUE(IsNullState(nullA));

    NString text(L"abc");
    text = nullB;
    EXPECT_TRUE(IsAllocatedEmpty(text));

    NString kept(L"keep");
    kept = static_cast<const wchar_t*>(nullptr);
    EXPECT_STREQ(kept.c_str(), L"keep");
    kept.Assign(nullptr);
    EXPECT_STREQ(kept.c_str(), L"keep");
    kept.Assign(L"new");
    EXPECT_STREQ(kept.c_str(), L"new");

    NString stillNull;
    stillNull = static_cast<const wchar_t*>(nullptr);
    EXPECT_TRUE(IsNullState(stillNull));

    NString self(L"self");
    NString& alias = self;
    self = alias;
    EXPECT_STREQ(self.c_str(), L"self");

    // Assigning a pointer into the string's own text.
    NString inner(L"abcdef");
    inner = inner.c_str() + 2;
    EXPECT_STREQ(inner.c_str(), L"cdef");
}

TEST(NStringStateTest, MovesBehaveLikeCopiesOfTheText)
{
    NString source(L"abc");
    const wchar_t* buffer = source.c_str();
    NString moved(std::move(source));
    EXPECT_EQ(moved.c_str(), buffer);
    EXPECT_STREQ(moved.c_str(), L"abc");

    NString nullSource;
    NString fromNull(std::move(nullSource));
    EXPECT_TRUE(IsAllocatedEmpty(fromNull));

    NString nullTarget;
    nullTarget = NString();
    EXPECT_TRUE(IsNullState(nullTarget));

    NString textTarget(L"x");
    textTarget = NString();
    EXPECT_TRUE(IsAllocatedEmpty(textTarget));

    NString target(L"old");
    target = NString(L"new");
    EXPECT_STREQ(target.c_str(), L"new");
}

TEST(NStringStateTest, CopiesAreDeep)
{
    NString original(L"abc");
    NString copy(original);
    EXPECT_NE(copy.c_str(), original.c_str());
    copy.SetAt(0, L'X');
    EXPECT_STREQ(original.c_str(), L"abc");

    std::vector<NString> list(3, original);
    list[1].MakeUpper();
    EXPECT_STREQ(list[0].c_str(), L"abc");
    EXPECT_STREQ(list[1].c_str(), L"ABC");
}

// ---------------------------------------------------------------------------
// Characters

TEST(NStringCharTest, IndexesOutsideTheTextAreIgnored)
{
    NString s(L"abc");
    EXPECT_EQ(s.GetAt(-1), 0);
    EXPECT_EQ(s.GetAt(3), 0);
    EXPECT_EQ(s.GetAt(INT_MAX), 0);
    EXPECT_EQ(s[2], L'c');
    EXPECT_EQ(NString().GetAt(0), 0);

    s.SetAt(3, L'x');
    s.SetAt(-1, L'x');
    EXPECT_STREQ(s.c_str(), L"abc");
    s.SetAt(1, 0);
    EXPECT_STREQ(s.c_str(), L"a");
    EXPECT_EQ(s.GetLength(), 1);

    NString null;
    null.SetAt(0, L'x');
    EXPECT_TRUE(IsNullState(null));
}

TEST(NStringCharTest, BlankMeansSpacesOnly)
{
    const struct { const wchar_t* text; bool blank; } cases[] = {
        {L"", true}, {L"   ", true}, {L"\t", false}, {L" a ", false}, {L"\x3000", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(NString(c.text).IsBlank(), c.blank) << c.text;
    EXPECT_TRUE(NString().IsBlank());
}

TEST(NStringCharTest, EmptyKeepsTheState)
{
    NString text(L"abc");
    text.Empty();
    EXPECT_TRUE(IsAllocatedEmpty(text));
    NString null;
    null.Empty();
    EXPECT_TRUE(IsNullState(null));
}

// ---------------------------------------------------------------------------
// Appending

TEST(NStringAppendTest, AppendsAndConcatenates)
{
    NString s(L"ab");
    s += L"cd";
    s += NString(L"ef");
    s += L'g';
    s.Append(nullptr);
    EXPECT_STREQ(s.c_str(), L"abcdefg");

    NString null;
    null.Append(L"");
    EXPECT_TRUE(IsAllocatedEmpty(null));
    NString nullChar;
    nullChar.AppendChar(L'z');
    EXPECT_STREQ(nullChar.c_str(), L"z");

    EXPECT_STREQ((NString(L"a") + NString(L"b")).c_str(), L"ab");
    EXPECT_STREQ((NString(L"a") + L"b").c_str(), L"ab");
    EXPECT_STREQ((L"a" + NString(L"b")).c_str(), L"ab");
    EXPECT_TRUE(IsAllocatedEmpty(NString() + NString()));
    EXPECT_TRUE(IsAllocatedEmpty(NString() + static_cast<const wchar_t*>(nullptr)));
}

TEST(NStringAppendTest, AppendingItsOwnTextIsSafe)
{
    NString s(L"abc");
    s += s;
    EXPECT_STREQ(s.c_str(), L"abcabc");
    s.Append(s.c_str() + 4);
    EXPECT_STREQ(s.c_str(), L"abcabcbc");

    // Grow through many reallocations while appending itself.
    NString grown(L"xy");
    for (int i = 0; i < 12; ++i)
        grown += grown;
    EXPECT_EQ(grown.GetLength(), 2 << 12);
    EXPECT_EQ(grown.GetAt(8191), L'y');
    EXPECT_TRUE(HeapIntact());
}

// ---------------------------------------------------------------------------
// In-place changes

TEST(NStringEditTest, CaseMappingTouchesAsciiOnly)
{
    NString upper(L"abz\x00E9\x00C9\x0101[`{");
    upper.MakeUpper();
    EXPECT_STREQ(upper.c_str(), L"ABZ\x00E9\x00C9\x0101[`{");
    NString lower(L"ABZ\x00C9\x00E9@[");
    lower.MakeLower();
    EXPECT_STREQ(lower.c_str(), L"abz\x00C9\x00E9@[");

    NString reversed(L"abcd");
    reversed.MakeReverse();
    EXPECT_STREQ(reversed.c_str(), L"dcba");

    NString null;
    null.MakeUpper();
    null.MakeLower();
    null.MakeReverse();
    EXPECT_TRUE(IsNullState(null));
}

TEST(NStringEditTest, Trims)
{
    struct Case {
        const wchar_t* text;
        void (*trim)(NString&);
        const wchar_t* expected;
    };
    const Case cases[] = {
        {L" \t\r\n a b ", [](NString& s) { s.TrimLeft(); }, L"a b "},
        {L"   ", [](NString& s) { s.TrimLeft(); }, L""},
        {L"   ", [](NString& s) { s.TrimLeft(L' '); }, L""},
        {L"xxaxx", [](NString& s) { s.TrimLeft(L'x'); }, L"axx"},
        {L"-+-a-+", [](NString& s) { s.TrimLeft(L"+-"); }, L"a-+"},
        {L"abc", [](NString& s) { s.TrimLeft(static_cast<const wchar_t*>(nullptr)); }, L"abc"},
        {L"  ", [](NString& s) { s.TrimRight(); }, L""},
        {L"a b  ", [](NString& s) { s.TrimRight(); }, L"a b"},
        {L" a\t\n", [](NString& s) { s.TrimRight(); }, L" a"},
        {L"xxaxx", [](NString& s) { s.TrimRight(L'x'); }, L"xxa"},
        {L"-a-+-", [](NString& s) { s.TrimRight(L"+-"); }, L"-a"},
        {L"+-+", [](NString& s) { s.TrimRight(L"+-"); }, L""},
    };
    for (const Case& c : cases) {
        NString s(c.text);
        c.trim(s);
        EXPECT_STREQ(s.c_str(), c.expected) << L"[" << c.text << L"]";
    }

    for (const Case& c : cases) {
        NString null;
        c.trim(null);
        EXPECT_TRUE(IsNullState(null));
    }
}

TEST(NStringEditTest, DeleteThroughAndTruncateAt)
{
    NString language(L"VST-en-us");
    language.DeleteThrough(L'-');
    EXPECT_STREQ(language.c_str(), L"en-us");

    NString absent(L"enus");
    absent.DeleteThrough(L'-');
    EXPECT_STREQ(absent.c_str(), L"enus");

    NString last(L"abc-");
    last.DeleteThrough(L'-');
    EXPECT_TRUE(IsAllocatedEmpty(last));

    NString nul(L"abc");
    nul.DeleteThrough(0);
    EXPECT_STREQ(nul.c_str(), L"abc");

    NString truncated(L"name.ext.bak");
    truncated.TruncateAt(L'.');
    EXPECT_STREQ(truncated.c_str(), L"name");
    truncated.TruncateAt(L'z');
    truncated.TruncateAt(0);
    EXPECT_STREQ(truncated.c_str(), L"name");

    NString null;
    null.DeleteThrough(L'-');
    null.TruncateAt(L'-');
    EXPECT_TRUE(IsNullState(null));
}

TEST(NStringEditTest, ReplaceUnit)
{
    NString s(L"a.b.c");
    EXPECT_EQ(s.Replace(L'.', L'/'), 2);
    EXPECT_STREQ(s.c_str(), L"a/b/c");
    EXPECT_EQ(s.Replace(L'/', L'/'), 0);
    EXPECT_EQ(s.Replace(L'x', L'y'), 0);
    EXPECT_EQ(s.Replace(L'/', 0), 2);
    EXPECT_STREQ(s.c_str(), L"a");
    NString null;
    EXPECT_EQ(null.Replace(L'a', L'b'), 0);
}

TEST(NStringEditTest, ReplaceText)
{
    const struct {
        const wchar_t* text;
        const wchar_t* search;
        const wchar_t* replacement;
        const wchar_t* expected;
        int count;
    } cases[] = {
        {L"aaaa", L"aa", L"a", L"aa", 2},
        {L"abcb", L"b", L"xyz", L"axyzcxyz", 2},
        {L"aaa", L"a", L"aa", L"aaaaaa", 3},      // inserted text is not searched again
        {L"abab", L"ab", L"ab", L"abab", 2},
        {L"abc", L"", L"x", L"abc", 0},
        {L"abc", nullptr, L"x", L"abc", 0},
        {L"abc", L"z", L"x", L"abc", 0},
        {L"a-b-c", L"-", nullptr, L"abc", 2},
        {L"abcd", L"abcd", L"0123456789", L"0123456789", 1},
        {L"", L"a", L"b", L"", 0},
    };
    for (const auto& c : cases) {
        NString s(c.text);
        EXPECT_EQ(s.Replace(c.search, c.replacement), c.count) << c.text;
        EXPECT_STREQ(s.c_str(), c.expected) << c.text;
    }

    NString removed(L"abab");
    EXPECT_EQ(removed.Replace(L"ab", L""), 2);
    EXPECT_TRUE(IsAllocatedEmpty(removed));

    NString null;
    EXPECT_EQ(null.Replace(L"a", L"b"), 0);
    EXPECT_TRUE(IsNullState(null));
}

TEST(NStringEditTest, ReplaceGrowsAndTakesItsOwnText)
{
    std::wstring many(1000, L'b');
    NString s(many.c_str());
    EXPECT_EQ(s.Replace(L"b", L"xyz"), 1000);
    EXPECT_EQ(s.GetLength(), 3000);
    EXPECT_EQ(s.Find(L"b"), -1);
    EXPECT_EQ(s.GetAt(2999), L'z');

    NString whole(L"abc");
    EXPECT_EQ(whole.Replace(whole.c_str(), L"x"), 1);
    EXPECT_STREQ(whole.c_str(), L"x");

    NString grows(L"ab");
    EXPECT_EQ(grows.Replace(L"b", grows.c_str()), 1);
    EXPECT_STREQ(grows.c_str(), L"aab");

    NString part(L"abcabc");
    EXPECT_EQ(part.Replace(part.c_str() + 4, part.c_str() + 3), 2);  // "bc" -> "abc"
    EXPECT_STREQ(part.c_str(), L"aabcaabc");
    EXPECT_TRUE(HeapIntact());
}

TEST(NStringEditTest, Delete)
{
    const struct { int index, count, result; const wchar_t* expected; } cases[] = {
        {1, 10, 1, L"a"},
        {0, 0, 3, L"abc"},
        {1, 1, 2, L"ac"},
        {0, 3, 0, L""},
        {3, 1, 3, L"abc"},
        {4, 1, 3, L"abc"},
        {-1, 2, 3, L"abc"},
        {1, -2, 3, L"abc"},
        {1, INT_MAX, 1, L"a"},
    };
    for (const auto& c : cases) {
        NString s(L"abc");
        EXPECT_EQ(s.Delete(c.index, c.count), c.result) << c.index << "," << c.count;
        EXPECT_STREQ(s.c_str(), c.expected) << c.index << "," << c.count;
    }
    NString null;
    EXPECT_EQ(null.Delete(0, 1), 0);
    EXPECT_TRUE(IsNullState(null));
}

TEST(NStringEditTest, RemoveClosesGapsAndAnswersZero)
{
    NString s(L"abcb");
    EXPECT_EQ(s.Remove(L'b'), 0);
    EXPECT_STREQ(s.c_str(), L"ac");
    EXPECT_EQ(s.Remove(0), 0);
    EXPECT_STREQ(s.c_str(), L"ac");
    NString all(L"bbb");
    all.Remove(L'b');
    EXPECT_TRUE(IsAllocatedEmpty(all));
    NString null;
    EXPECT_EQ(null.Remove(L'b'), 0);
    EXPECT_TRUE(IsNullState(null));
}

// ---------------------------------------------------------------------------
// Searching

TEST(NStringFindTest, FindUnit)
{
    const NString s(L"abcabc");
    EXPECT_EQ(s.Find(L'b'), 1);
    EXPECT_EQ(s.Find(L'b', 2), 4);
    EXPECT_EQ(s.Find(L'b', -5), 1);
    EXPECT_EQ(s.Find(L'b', 5), -1);
    EXPECT_EQ(s.Find(L'b', 6), -1);
    EXPECT_EQ(s.Find(L'z'), -1);
    EXPECT_EQ(s.Find(L'\0'), 6);             // finds the terminating NUL
    EXPECT_EQ(NString(L"abc").Find(L'\0'), 3);
    EXPECT_EQ(NString(L"").Find(L'\0'), -1);
    EXPECT_EQ(NString(L"").Find(L'a'), -1);
    EXPECT_EQ(NString().Find(L'a'), -1);
    EXPECT_EQ(NString().Find(L'\0'), -1);

    EXPECT_EQ(s.ReverseFind(L'b'), 4);
    EXPECT_EQ(s.ReverseFind(L'z'), -1);
    EXPECT_EQ(NString().ReverseFind(L'a'), -1);
}

TEST(NStringFindTest, FindTextAndSets)
{
    const NString s(L"abcabc");
    EXPECT_EQ(s.Find(L"ca"), 2);
    EXPECT_EQ(s.Find(L"bc", 2), 4);
    EXPECT_EQ(s.Find(L"bc", -1), 1);
    EXPECT_EQ(s.Find(L"bc", 6), -1);
    EXPECT_EQ(s.Find(L"cab", 3), -1);
    EXPECT_EQ(s.Find(L""), 0);
    EXPECT_EQ(s.Find(L"", 3), 3);
    EXPECT_EQ(s.Find(static_cast<const wchar_t*>(nullptr)), 0);
    EXPECT_EQ(NString(L"").Find(L""), -1);
    EXPECT_EQ(NString().Find(L"a"), -1);
    EXPECT_EQ(NString().Find(L""), -1);

    EXPECT_EQ(s.FindOneOf(L"xc"), 2);
    EXPECT_EQ(s.FindOneOf(L"xyz"), -1);
    EXPECT_EQ(s.FindOneOf(L""), -1);
    EXPECT_EQ(s.FindOneOf(nullptr), -1);
    EXPECT_EQ(NString().FindOneOf(L"a"), -1);
}

// ---------------------------------------------------------------------------
// Substrings

TEST(NStringSubstringTest, ClampsAndAlwaysAllocates)
{
    const NString abc(L"abc");
    const struct { NString result; const wchar_t* expected; const char* what; } cases[] = {
        {abc.Mid(1, 0), L"", "Mid(1,0)"},
        {abc.Mid(5, 2), L"", "Mid(5,2)"},
        {abc.Mid(-3, 2), L"ab", "Mid(-3,2)"},
        {abc.Mid(1, -1), L"", "Mid(1,-1)"},
        {abc.Mid(1, 10), L"bc", "Mid(1,10)"},
        {abc.Mid(1, INT_MAX), L"bc", "Mid(1,INT_MAX)"},
        {abc.Mid(3, 1), L"", "Mid(3,1)"},
        {abc.Mid(1), L"bc", "Mid(1)"},
        {abc.Mid(-2), L"abc", "Mid(-2)"},
        {abc.Mid(INT_MIN), L"abc", "Mid(INT_MIN)"},
        {abc.Mid(4), L"", "Mid(4)"},
        {abc.Left(0), L"", "Left(0)"},
        {abc.Left(-1), L"", "Left(-1)"},
        {abc.Left(2), L"ab", "Left(2)"},
        {abc.Left(10), L"abc", "Left(10)"},
        {abc.Right(0), L"", "Right(0)"},
        {abc.Right(-1), L"", "Right(-1)"},
        {abc.Right(2), L"bc", "Right(2)"},
        {abc.Right(10), L"abc", "Right(10)"},
        {abc.SpanIncluding(L"ba"), L"ab", "SpanIncluding"},
        {abc.SpanIncluding(L"x"), L"", "SpanIncluding(x)"},
        {abc.SpanExcluding(L"c"), L"ab", "SpanExcluding"},
        {abc.SpanExcluding(L""), L"abc", "SpanExcluding()"},
        {NString().Mid(0, 2), L"", "null Mid"},
        {NString().Left(1), L"", "null Left"},
        {NString().Right(1), L"", "null Right"},
        {NString().SpanIncluding(L"a"), L"", "null SpanIncluding"},
    };
    for (const auto& c : cases) {
        EXPECT_STREQ(c.result.c_str(), c.expected) << c.what;
        EXPECT_EQ(c.result.Compare(L""), c.expected[0] ? 1 : 0) << c.what << " must be allocated";
    }
}

// ---------------------------------------------------------------------------
// Splitting

TEST(NStringSplitTest, TokensTable)
{
    const struct {
        const wchar_t* text;
        std::vector<std::wstring> tokens;
        bool result;
    } cases[] = {
        {L"a|b", {L"a", L"b"}, true},
        {L"a|", {L"a", L""}, true},
        {L"|", {L"", L""}, true},
        {L"||x", {L"", L"", L"x"}, true},
        {L"abc", {L"abc"}, false},
        {L"", {L""}, false},
    };
    for (const auto& c : cases) {
        std::vector<NString> tokens(5, NString(L"stale"));
        EXPECT_EQ(NString(c.text).Split(tokens, L'|'), c.result) << c.text;
        ASSERT_EQ(tokens.size(), c.tokens.size()) << c.text;
        for (size_t i = 0; i < tokens.size(); ++i) {
            EXPECT_STREQ(tokens[i].c_str(), c.tokens[i].c_str()) << c.text << " token " << i;
            EXPECT_TRUE(!tokens[i].IsEmpty() || IsAllocatedEmpty(tokens[i]));
        }
    }

    std::vector<NString> tokens(2, NString(L"stale"));
    EXPECT_FALSE(NString().Split(tokens, L'|'));
    EXPECT_TRUE(tokens.empty());
}

TEST(NStringSplitTest, LongTokensStayWhole)
{
    for (size_t length : {259u, 260u, 300u, 5000u}) {
        const std::wstring longToken(length, L'q');
        const std::wstring text = L"a|" + longToken + L"|b";
        std::vector<NString> tokens;
        EXPECT_TRUE(NString(text.c_str()).Split(tokens, L'|'));
        ASSERT_EQ(tokens.size(), 3u);
        EXPECT_STREQ(tokens[1].c_str(), longToken.c_str()) << length;
        EXPECT_STREQ(tokens[2].c_str(), L"b");
    }
    EXPECT_TRUE(HeapIntact());
}

TEST(NStringSplitTest, SplittingAnElementOfTheTargetVector)
{
    std::vector<NString> tokens{NString(L"x"), NString(L"1,2,3")};
    EXPECT_TRUE(tokens[1].Split(tokens, L','));
    ASSERT_EQ(tokens.size(), 3u);
    EXPECT_STREQ(tokens[2].c_str(), L"3");
}

// ---------------------------------------------------------------------------
// Comparison

TEST(NStringCompareTest, NullStateAnswersMinusOne)
{
    NString null, otherNull;
    EXPECT_EQ(null.Compare(L""), -1);
    EXPECT_EQ(null.Compare(otherNull), -1);
    EXPECT_EQ(null.Compare(null), -1);
    EXPECT_EQ(null.Compare(L"a"), -1);
    EXPECT_EQ(null.CompareNoCase(L""), -1);
    EXPECT_EQ(null.Collate(L""), -1);

    const NString empty(L"");
    EXPECT_EQ(empty.Compare(null), 0);
    EXPECT_EQ(empty.Compare(static_cast<const wchar_t*>(nullptr)), 0);
    EXPECT_EQ(empty.CompareNoCase(null), 0);
    EXPECT_EQ(empty.Collate(null), 0);
    EXPECT_EQ(NString(L"a").Compare(null), 1);
}

TEST(NStringCompareTest, OrdinalFoldedAndCollated)
{
    const struct { const wchar_t* a; const wchar_t* b; int compare; int noCase; int collate; } cases[] = {
        {L"abc", L"abc", 0, 0, 0},
        {L"abc", L"abd", -1, 'c' - 'd', -1},
        {L"abcd", L"abc", 1, 'd', 1},
        {L"ABC", L"abc", -1, 0, -1},
        {L"a", L"C", 1, 'a' - 'c', 1},
        {L"[", L"a", -1, '[' - 'a', -1},        // '[' is not folded
        {L"\x00C9", L"\x00E9", -1, 0x00C9 - 0x00E9, -1},
        {L"\xFFFF", L"a", 1, 0xFFFF - 'a', 1},  // units compare unsigned
    };
    for (const auto& c : cases) {
        const NString a(c.a);
        EXPECT_EQ(a.Compare(c.b), c.compare) << c.a << L" " << c.b;
        EXPECT_EQ(a.Compare(NString(c.b)), c.compare) << c.a << L" " << c.b;
        EXPECT_EQ(a.CompareNoCase(c.b), c.noCase) << c.a << L" " << c.b;
        EXPECT_EQ(a.CompareNoCase(NString(c.b)), c.noCase) << c.a << L" " << c.b;
        EXPECT_EQ(a.Collate(c.b), c.collate) << c.a << L" " << c.b;
        EXPECT_EQ(a.Collate(NString(c.b)), c.collate) << c.a << L" " << c.b;
    }
}

// ---------------------------------------------------------------------------
// Formatting

TEST(NStringFormatTest, WideConventions)
{
    NString s;
    s.Format(L"%s|%S|%c|%d|%.2f|%ls|%hs", L"wide", "narrow", L'x', -42, 1.5, L"l", "h");
    EXPECT_STREQ(s.c_str(), L"wide|narrow|x|-42|1.50|l|h");

    s.Format(L"");
    EXPECT_TRUE(IsAllocatedEmpty(s));
    NString null;
    null.Format(L"%s", L"");
    EXPECT_TRUE(IsAllocatedEmpty(null));
    null.Format(nullptr);
    EXPECT_TRUE(IsAllocatedEmpty(null));
}

TEST(NStringFormatTest, LengthsAroundTheGrowthSteps)
{
    for (size_t length : {0u, 1u, 126u, 127u, 128u, 129u, 255u, 256u, 257u, 383u, 384u, 385u, 4096u,
                          65535u, 65536u, 70000u, 200000u}) {
        std::wstring text(length, L'.');
        for (size_t i = 0; i < length; i += 7)
            text[i] = static_cast<wchar_t>(L'a' + i % 26);
        NString s(L"old");
        s.Format(L"%s", text.c_str());
        EXPECT_EQ(s.GetLength(), static_cast<int>(length));
        EXPECT_TRUE(std::wstring(s.c_str()) == text) << length;

        NString prefixed;
        prefixed.Format(L"<%s>%d", text.c_str(), 7);
        EXPECT_TRUE(std::wstring(prefixed.c_str()) == L"<" + text + L">7") << length;
    }
}

TEST(NStringFormatTest, OwnTextAsArgument)
{
    NString s(L"abc");
    s.Format(L"%s-%s", s.c_str(), s.c_str());
    EXPECT_STREQ(s.c_str(), L"abc-abc");

    NString longer(std::wstring(200, L'z').c_str());
    longer.Format(L"[%s]", longer.c_str() + 100);
    EXPECT_STREQ(longer.c_str(), (L"[" + std::wstring(100, L'z') + L"]").c_str());
    EXPECT_TRUE(HeapIntact());
}

TEST(NStringFormatTest, FailingFormatEndsWithAnEmptyString)
{
    // The runtime refuses this width whatever the room; growth must stop.
    NString s(L"old");
    s.Format(L"%2147483647d", 1);
    EXPECT_TRUE(IsAllocatedEmpty(s));
}

// ---------------------------------------------------------------------------
// Direct buffer access

TEST(NStringBufferTest, FillAndRelease)
{
    NString s;
    wchar_t* buffer = s.GetBuffer(10);
    ASSERT_NE(buffer, nullptr);
    buffer[0] = L'h';
    buffer[1] = L'i';
    buffer[2] = 0;
    s.ReleaseBuffer();
    EXPECT_STREQ(s.c_str(), L"hi");
    EXPECT_EQ(s.GetLength(), 2);

    NString sized(L"abc");
    buffer = sized.GetBuffer(10);
    EXPECT_STREQ(buffer, L"abc");                     // old text stays readable
    std::wmemcpy(buffer, L"0123456789", 10);
    sized.ReleaseBuffer(4);
    EXPECT_STREQ(sized.c_str(), L"0123");

    NString cut(L"abcdef");
    EXPECT_STREQ(cut.GetBuffer(3), L"abc");
    cut.ReleaseBuffer();
    EXPECT_STREQ(cut.c_str(), L"abc");
}

TEST(NStringBufferTest, OddSizesStayInsideTheBuffer)
{
    NString negative(L"abc");
    EXPECT_STREQ(negative.GetBuffer(-3), L"");
    negative.ReleaseBuffer(-7);
    EXPECT_TRUE(IsAllocatedEmpty(negative));

    NString null;
    null.ReleaseBuffer();
    EXPECT_TRUE(IsNullState(null));
    null.ReleaseBuffer(-2);
    EXPECT_TRUE(IsNullState(null));

    // Units the caller never wrote read as NUL.
    NString fresh;
    wchar_t* buffer = fresh.GetBuffer(2);
    buffer[0] = L'a';
    buffer[1] = L'b';
    fresh.ReleaseBuffer(8);
    EXPECT_STREQ(fresh.c_str(), L"ab");

    NString zero;
    zero.ReleaseBuffer(0);
    EXPECT_TRUE(IsAllocatedEmpty(zero));
    EXPECT_TRUE(HeapIntact());
}
