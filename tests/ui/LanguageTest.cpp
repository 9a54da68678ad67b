// The language table: file grammar, loading with fall-backs, lookups, lists and format texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "ui/NLanguage.h"

namespace {

std::vector<NLanguageSection> Parse(const std::wstring& text)
{
    std::vector<NLanguageSection> sections;
    NLanguage::Parse(text.data(), text.size(), sections);
    return sections;
}

std::wstring Str(const NString& s)
{
    return s.c_str();
}

std::wstring FixtureFolder()
{
    return TestDataPath(L"ui\\lang");
}

// A language folder of its own with the given files (name -> content, written as UTF-16 with BOM).
struct LanguageFolder {
    TestDir dir;
    void Add(const std::wstring& name, const std::wstring& text) { ASSERT_TRUE(WriteUtf16File(dir.File(name), text)); }
};

}  // namespace

TEST(LanguageParse, KeyLinesValuesAndReferenceTexts)
{
    struct Case {
        const wchar_t* file;
        const wchar_t* key;
        const wchar_t* value;      // stored value
        const wchar_t* reference;  // stored reference text
    } cases[] = {
        {L"[S]\r\nOk=OK\r\nOk__D=OK ref\r\n", L"Ok", L"OK\r", L"OK ref\r"},
        {L"[S]\nTitle=\nNext=1\n", L"Title", L"", L""},
        {L"[S]\nTitle=x\n", L"Title", L"x", L""},            // a one-character text is kept
        {L"[S]\r\nTitle=\r\n", L"Title", L"", L""},          // a lone CR is an empty text
        {L"[S]\r\nTitle=x\r\n", L"Title", L"x\r", L""},
        {L"[S]\nPath=C:\\__Data\n", L"Path", L"C:\\__Data", L""},  // "__D" in a text is text
        {L"[S]\nKey=Text\nOther__D=Y\n", L"Key", L"Text", L"Y"},  // the reference's own key is not compared
        {L"[S]\nKey=Text\n\nKey__D=Z\n", L"Key", L"Text", L""},   // not directly after the key line
        {L"[S]\na=b=c", L"a", L"b=c", L""},                       // the end of the data ends the line
        {L"\xFEFFjunk=1\n[S]k=v\n", L"k", L"v", L""},             // BOM and text before '[' skipped
        {L"[S]\n; note\n; x=y\n", L"; x", L"y", L""},             // a ';' line with '=' is a key line
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "file: " << std::string(c.file, c.file + wcslen(c.file)));
        auto sections = Parse(c.file);
        ASSERT_EQ(sections.size(), 1u);
        const NLanguageSection& s = sections[0];
        ASSERT_EQ(s.keys.size(), s.values.size());
        ASSERT_EQ(s.keys.size(), s.referenceTexts.size());
        size_t i = 0;
        while (i < s.keys.size() && s.keys[i].Compare(c.key) != 0)
            ++i;
        ASSERT_LT(i, s.keys.size());
        EXPECT_EQ(Str(s.values[i]), c.value);
        EXPECT_EQ(Str(s.referenceTexts[i]), c.reference);
    }
}

TEST(LanguageParse, SectionsAndIgnoredLines)
{
    auto sections = Parse(L"[A]\r\n[B] \r\nk=1\r\nk=2\r\nno equals\r\nk__D=orphan\r\n[A]x=3\n[C\nz=4");
    ASSERT_EQ(sections.size(), 4u);
    EXPECT_EQ(Str(sections[0].name), L"A");
    EXPECT_TRUE(sections[0].keys.empty());
    EXPECT_EQ(Str(sections[1].name), L"B");  // the name ends at ']'
    ASSERT_EQ(sections[1].keys.size(), 2u);   // duplicate keys are both kept
    EXPECT_EQ(Str(sections[1].values[1]), L"2\r");
    EXPECT_EQ(Str(sections[1].referenceTexts[1]), L"");  // the "__D" line follows an ignored line
    EXPECT_EQ(Str(sections[2].name), L"A");
    ASSERT_EQ(sections[2].keys.size(), 1u);
    EXPECT_EQ(Str(sections[2].keys[0]), L"x");
    EXPECT_EQ(Str(sections[3].name), L"C");  // a line feed ends an unclosed name
    ASSERT_EQ(sections[3].keys.size(), 1u);
}

TEST(LanguageParse, NoSectionsWithoutBracketUnit)
{
    // UTF-8 bytes read as UTF-16 never form the unit '[' (0x005B).
    const char utf8[] = "[Messages]\r\nOk=OK\r\n";
    std::vector<NLanguageSection> sections;
    NLanguage::Parse(reinterpret_cast<const wchar_t*>(utf8), (sizeof(utf8) - 1) / 2, sections);
    EXPECT_TRUE(sections.empty());
    NLanguage::Parse(nullptr, 10, sections);
    EXPECT_TRUE(sections.empty());
}

TEST(Language, InitListsCodesAndLoadsTheFile)
{
    NLanguage language;
    EXPECT_FALSE(language.Load(L"en-us"));  // not initialised
    EXPECT_EQ(Str(language.GetFilePath()), L"");

    language.Init(FixtureFolder().c_str(), L"Test", L"polylex");
    ASSERT_TRUE(language.IsInitialized());
    std::vector<std::wstring> codes;
    for (const NString& code : language.GetCodes())
        codes.push_back(code.c_str());
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, (std::vector<std::wstring>{L"de-de", L"en-us"}));

    ASSERT_TRUE(language.Load(L"en-us"));
    EXPECT_EQ(Str(language.GetFilePath()), FixtureFolder() + L"\\Test-en-us.polylex");
    EXPECT_EQ(Str(language.GetText(L"Messages", L"Ok", true)), L"OK");  // CR LF trimmed
    EXPECT_EQ(Str(language.GetText(L"Dlg_Test", L"Escaped", true)), L"Line one\nLine two");  // \t trimmed too
    EXPECT_EQ(Str(language.GetText(L"Dlg_Test", L"Empty", true)), L"Reference text");
    EXPECT_EQ(Str(language.GetText(L"Dlg_Test", L"Empty", false)), L"");
    EXPECT_EQ(Str(language.GetReferenceText(L"Messages", L"Cancel")), L"Cancel");
    EXPECT_EQ(Str(language.GetText(L"Dlg_Test", L"Second", true)), L"Found in the second section");
    EXPECT_EQ(Str(language.GetText(L"Messages", L"ok", true)), L"");  // keys are case-sensitive
    EXPECT_EQ(Str(language.GetText(L"Missing", L"Ok", true)), L"");
    EXPECT_EQ(Str(language.GetText(nullptr, L"Ok", true)), L"");
    NString out(L"old");
    language.GetText(out, L"Menu", L"File_Exit", true);
    EXPECT_EQ(Str(out), L"E&xit");

    // Switching: the second file replaces the first.
    ASSERT_TRUE(language.Load(L"de-de"));
    EXPECT_EQ(Str(language.GetText(L"Messages", L"Cancel", true)), L"Abbrechen");
    EXPECT_EQ(Str(language.GetText(L"Menu", L"File", true)), L"");

    language.Clear();
    EXPECT_FALSE(language.IsInitialized());
    EXPECT_TRUE(language.GetCodes().empty());
    EXPECT_EQ(Str(language.GetText(L"Messages", L"Cancel", true)), L"");
}

TEST(Language, FallsBackToTheSamePrimaryLanguageButNeverAPlattDialect)
{
    LanguageFolder folder;
    folder.Add(L"VST-de-platt.polylex", L"[Messages]\r\nOk=Platt\r\n");
    folder.Add(L"VST-de-de.polylex", L"[Messages]\r\nOk=Gut\r\n");
    folder.Add(L"VST-pt-br.old.polylex", L"[Messages]\r\nOk=Bom\r\n");
    folder.Add(L"Other-fr-fr.polylex", L"[Messages]\r\nOk=Bien\r\n");
    NLanguage language;
    language.Init(folder.dir.Path().c_str(), L"VST", L"polylex");
    std::vector<std::wstring> codes;
    for (const NString& code : language.GetCodes())
        codes.push_back(code.c_str());
    std::sort(codes.begin(), codes.end());
    EXPECT_EQ(codes, (std::vector<std::wstring>{L"de-de", L"de-platt", L"pt-br"}));

    ASSERT_TRUE(language.Load(L"de-at"));
    EXPECT_EQ(Str(language.GetCurrentCode()), L"de-de");
    EXPECT_EQ(Str(language.GetText(L"Messages", L"Ok", true)), L"Gut");

    EXPECT_FALSE(language.Load(L"fr-fr"));
    EXPECT_EQ(Str(language.GetCurrentCode()), L"fr-fr");
    EXPECT_TRUE(language.GetSections().empty());

    // A missing folder leaves the initialised table as it was.
    language.Init((folder.dir.Path() + L"\\missing").c_str(), L"VST", L"polylex");
    EXPECT_TRUE(language.Load(L"de-de"));
}

TEST(Language, RefusesFilesThatAreNotUtf16Text)
{
    LanguageFolder folder;
    const char utf8[] = "[Messages]\r\nOk=OK\r\n";
    ASSERT_TRUE(WriteWholeFile(folder.dir.File(L"L-en-us.txt"), utf8, sizeof(utf8) - 1));
    ASSERT_TRUE(WriteWholeFile(folder.dir.File(L"L-xx-xx.txt"), "", 0));
    ASSERT_TRUE(WriteUtf16File(folder.dir.File(L"L-no-bom.txt"), L"[A]\nk=v\n", false));
    ASSERT_TRUE(WriteUtf16File(folder.dir.File(L"L-no-sections.txt"), L"nothing here\r\n", true));

    LogWatch log;
    NLanguage language;
    language.Init(folder.dir.Path().c_str(), L"L", L"txt");
    EXPECT_FALSE(language.Load(L"en-us"));
    EXPECT_TRUE(language.GetSections().empty());
    EXPECT_TRUE(log.Saw("is not a UTF-16 language file"));
    EXPECT_TRUE(language.Load(L"xx-xx"));   // an empty file is an empty table
    EXPECT_TRUE(language.Load(L"no-sections"));  // UTF-16 text that simply has no sections
    ASSERT_TRUE(language.Load(L"no-bom"));
    EXPECT_EQ(Str(language.GetText(L"A", L"k", true)), L"v");
}

TEST(Language, TextListsSplitAtEveryBar)
{
    LanguageFolder folder;
    folder.Add(L"T-en-us.polylex",
               L"[L]\r\nSizes=5 MB|10 MB|15 MB\r\nDouble=a||b\r\nEdges=|a|\r\n"
               L"Short=x|y\r\nShort__D=one|two|three\r\nLong=p|q|r\r\nLong__D=1|2\r\nEmpty=\r\n");
    NLanguage language;
    language.Init(folder.dir.Path().c_str(), L"T", L"polylex");
    ASSERT_TRUE(language.Load(L"en-us"));

    struct Case {
        const wchar_t* key;
        std::vector<std::wstring> items;
    } cases[] = {
        {L"Sizes", {L"5 MB", L"10 MB", L"15 MB"}},
        {L"Double", {L"a", L"", L"b"}},
        {L"Edges", {L"", L"a", L""}},
        {L"Short", {L"one", L"two", L"three"}},  // the reference has more items
        {L"Long", {L"p", L"q", L"r"}},
    };
    for (const Case& c : cases) {
        std::vector<NString> list;
        language.GetTextList(L"L", c.key, list);
        std::vector<std::wstring> items;
        for (const NString& item : list)
            items.push_back(item.c_str());
        EXPECT_EQ(items, c.items) << std::string(c.key, c.key + wcslen(c.key));
    }

    // A missing list is logged, never shown in a box that would wait for someone.
    MessageBoxAnswerer boxes;
    LogWatch log;
    std::vector<NString> list{NString(L"stale")};
    language.GetTextList(L"L", L"Empty", list);
    language.GetTextList(L"Nowhere", L"Missing", list);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(boxes.Count(), 0);
    EXPECT_TRUE(log.Saw("No text? L Empty"));
    EXPECT_TRUE(log.Saw("No text? Nowhere Missing"));
}

TEST(Language, FormatTextsAreCheckedAgainstTheirArguments)
{
    NLanguage language;
    language.Init(FixtureFolder().c_str(), L"Test", L"polylex");
    ASSERT_TRUE(language.Load(L"en-us"));
    EXPECT_EQ(Str(language.GetFormatText(L"Dlg_Test", L"Frames", L"dd", L"%d/%d")), L"Frame %d of %d");
    // The same text for a caller that passes a string first does not fit.
    EXPECT_EQ(Str(language.GetFormatText(L"Dlg_Test", L"Frames", L"sd", L"%s (%d)")), L"%s (%d)");

    // The second language's translation takes a string where the caller passes a number: the
    // reference text is used, and the result formats safely.
    ASSERT_TRUE(language.Load(L"de-de"));
    LogWatch log;
    const NString format = language.GetFormatText(L"Dlg_Test", L"Frames", L"dd", L"%d/%d");
    EXPECT_EQ(Str(format), L"Frame %d of %d");
    EXPECT_TRUE(log.Saw("[Dlg_Test] Frames does not fit its arguments"));
    NString text;
    text.Format(format.c_str(), 3, 7);
    EXPECT_EQ(Str(text), L"Frame 3 of 7");
    EXPECT_EQ(Str(language.GetFormatText(L"Dlg_Test", L"Missing", L"dd", L"%d/%d")), L"%d/%d");
}

TEST(Language, LocaleCodesAndReadingDirection)
{
    EXPECT_EQ(Str(LcidToLanguageCode(MAKELCID(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US), SORT_DEFAULT))), L"en-us");
    EXPECT_EQ(Str(LcidToLanguageCode(MAKELCID(MAKELANGID(LANG_GERMAN, SUBLANG_GERMAN), SORT_DEFAULT))), L"de-de");
    EXPECT_EQ(Str(LcidToLanguageCode(MAKELCID(MAKELANGID(LANG_PORTUGUESE, SUBLANG_PORTUGUESE_BRAZILIAN), SORT_DEFAULT))),
              L"pt-br");
    EXPECT_TRUE(IsRightToLeftLanguage(L"ar-sa"));
    EXPECT_TRUE(IsRightToLeftLanguage(L"he-il"));
    EXPECT_TRUE(IsRightToLeftLanguage(L"fa-ir"));
    EXPECT_FALSE(IsRightToLeftLanguage(L"AR-SA"));
    EXPECT_FALSE(IsRightToLeftLanguage(L"en-us"));
    EXPECT_FALSE(IsRightToLeftLanguage(nullptr));
}
