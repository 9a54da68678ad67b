// Writing language files and bringing one in line with another: templates, saving (whole or not at
// all), the shipped files through write and read, the merges, and the further lookups on the
// application's table.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "UiTestSupport.h"
#include "common/TestFiles.h"
#include "ui/LanguageLookups.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

std::wstring Str(const NString& s)
{
    return s.c_str();
}

std::wstring ReadUtf16(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path, bytes))
        return L"<unreadable>";
    std::wstring text;
    for (size_t i = 0; i + 1 < bytes.size(); i += 2)
        text += static_cast<wchar_t>(bytes[i] | bytes[i + 1] << 8);
    return text;
}

// The section and key lines of a language file, without comments and empty lines.
std::vector<std::wstring> DataLines(const std::wstring& text)
{
    std::vector<std::wstring> lines;
    size_t start = text.size() && text[0] == 0xFEFF ? 1 : 0;
    while (start < text.size()) {
        size_t end = text.find(L'\n', start);
        if (end == std::wstring::npos)
            end = text.size();
        std::wstring line = text.substr(start, end - start);
        if (!line.empty() && line.back() == L'\r')
            line.pop_back();
        if (!line.empty() && line[0] != L';')
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// A language folder of its own; files are written as UTF-16 with CR LF line ends.
class LanguageWriteTest : public testing::Test {
protected:
    void Write(const wchar_t* code, const std::wstring& text)
    {
        ASSERT_TRUE(WriteUtf16File(dir.File(std::wstring(L"L-") + code + L".polylex"), text));
    }
    std::wstring Path(const wchar_t* code) { return dir.File(std::wstring(L"L-") + code + L".polylex"); }
    // A table of this folder with the file of the code loaded.
    void Open(NLanguage& table, const wchar_t* code)
    {
        table.Init(dir.Path().c_str(), L"L", L"polylex");
        ASSERT_TRUE(table.Load(code));
    }
    std::vector<std::wstring> Keys(const NLanguage& table, const wchar_t* section)
    {
        std::vector<std::wstring> keys;
        for (const NLanguageSection& s : table.GetSections()) {
            if (s.name.Compare(section) == 0) {
                for (const NString& key : s.keys)
                    keys.push_back(Str(key));
                break;
            }
        }
        return keys;
    }
    std::vector<std::wstring> SectionNames(const NLanguage& table)
    {
        std::vector<std::wstring> names;
        for (const NLanguageSection& s : table.GetSections())
            names.push_back(Str(s.name));
        return names;
    }
    TestDir dir;
};

const wchar_t kTemplateFile[] =
    L"\xFEFF; UTF-16 little endian encoded!\r\n; Created with PolylexEditor.\r\n\r\n"
    L"[Header]\r\n"
    L"LanguageName=Deutsch\r\nLanguageName__D=Deutsch\r\n"
    L"LanguageNameLocal=Deutsch (Deutschland)\r\nLanguageNameLocal__D=Deutsch (Deutschland)\r\n"
    L"Application=\r\nApplication__D=Application Name\r\n"
    L"Author=\r\nAuthor__D=Your Name\r\n"
    L"Email=\r\nEmail__D=Your Email\r\n"
    L"Comment=\r\nComment__D=Your Comment\r\n"
    L"\r\n\r\n";

}  // namespace

TEST_F(LanguageWriteTest, TemplateIsWrittenExactlyAndReadsBack)
{
    NLanguage table;
    EXPECT_FALSE(table.CreateTemplate(L"de-de", L"Deutsch", L"Deutsch (Deutschland)"));  // before Init
    table.Init(dir.Path().c_str(), L"L", L"polylex");
    EXPECT_FALSE(table.CreateTemplate(nullptr, L"x", L"y"));
    ASSERT_TRUE(table.CreateTemplate(L"de-de", L"Deutsch", L"Deutsch (Deutschland)"));
    EXPECT_EQ(Str(table.GetCurrentCode()), L"de-de");
    EXPECT_FALSE(FileExists(Path(L"de-de")));  // nothing written yet
    ASSERT_TRUE(table.Save());
    EXPECT_EQ(ReadUtf16(Path(L"de-de")), kTemplateFile);

    NLanguage read;
    Open(read, L"de-de");
    ASSERT_EQ(SectionNames(read), std::vector<std::wstring>{L"Header"});
    EXPECT_EQ(Keys(read, L"Header"), (std::vector<std::wstring>{L"LanguageName", L"LanguageNameLocal", L"Application",
                                                               L"Author", L"Email", L"Comment"}));
    EXPECT_EQ(Str(read.GetText(L"Header", L"Application", false)), L"");
    EXPECT_EQ(Str(read.GetReferenceText(L"Header", L"Application")), L"Application Name");
    EXPECT_EQ(Str(read.GetText(L"Header", L"LanguageNameLocal", true)), L"Deutsch (Deutschland)");
}

TEST_F(LanguageWriteTest, ShippedFilesSurviveWriteAndRead)
{
    for (const wchar_t* code : {L"en-us", L"de-de"}) {
        SCOPED_TRACE(testing::Message() << (code[0] == L'e' ? "en-us" : "de-de"));
        std::vector<unsigned char> shipped;
        ASSERT_TRUE(ReadWholeFile(ResourcePath(std::wstring(L"lang\\VST-") + code + L".polylex"), shipped));
        const std::wstring copy = dir.File(std::wstring(L"VST-") + code + L".polylex");
        ASSERT_TRUE(WriteWholeFile(copy, shipped));
        const std::wstring original = ReadUtf16(copy);

        NLanguage table;
        table.Init(dir.Path().c_str(), L"VST", L"polylex");
        ASSERT_TRUE(table.Load(code));
        ASSERT_TRUE(table.Save());
        const std::wstring saved = ReadUtf16(copy);
        // The same section and key lines: no doubled carriage returns, no "__D" line added or lost.
        EXPECT_EQ(DataLines(saved), DataLines(original));
        EXPECT_EQ(saved.find(L"\r\r"), std::wstring::npos);

        // Read again, the table is the same, and writing it again gives the same bytes.
        NLanguage again;
        again.Init(dir.Path().c_str(), L"VST", L"polylex");
        ASSERT_TRUE(again.Load(code));
        ASSERT_EQ(again.GetSections().size(), table.GetSections().size());
        for (const NLanguageSection& section : table.GetSections()) {
            for (const NString& key : section.keys) {
                EXPECT_EQ(Str(again.GetText(section.name.c_str(), key.c_str(), false)),
                          Str(table.GetText(section.name.c_str(), key.c_str(), false)));
                EXPECT_EQ(Str(again.GetReferenceText(section.name.c_str(), key.c_str())),
                          Str(table.GetReferenceText(section.name.c_str(), key.c_str())));
            }
        }
        ASSERT_TRUE(again.Save());
        EXPECT_EQ(ReadUtf16(copy), saved);
    }
}

TEST_F(LanguageWriteTest, EditedTextsAreEscapedWrittenAndReadBack)
{
    Write(L"en-us", L"[S]\r\nA=one\r\nB=two\r\nB__D=ref\r\n[S]\r\nC=three\r\n");
    NLanguage table;
    Open(table, L"en-us");
    ASSERT_TRUE(table.SetText(L"S", L"A", L"line 1\nline 2\ttabbed"));
    ASSERT_TRUE(table.SetReferenceText(L"S", L"C", L"found in the second [S]"));
    EXPECT_FALSE(table.SetText(L"S", L"Missing", L"x"));
    EXPECT_FALSE(table.SetReferenceText(L"T", L"A", L"x"));
    EXPECT_EQ(Str(table.GetSections()[0].values[0]), L"line 1\\nline 2\\ttabbed");
    ASSERT_TRUE(table.Save());

    const std::vector<std::wstring> lines = DataLines(ReadUtf16(Path(L"en-us")));
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"[S]", L"A=line 1\\nline 2\\ttabbed", L"B=two", L"B__D=ref", L"[S]",
                                                L"C=three", L"C__D=found in the second [S]"}));
    NLanguage read;
    Open(read, L"en-us");
    EXPECT_EQ(Str(read.GetText(L"S", L"A", true)), L"line 1\nline 2\ttabbed");
    EXPECT_EQ(Str(read.GetReferenceText(L"S", L"C")), L"found in the second [S]");
}

TEST_F(LanguageWriteTest, KeysSectionsAndClearing)
{
    Write(L"en-us", L"[S]\r\nA=1\r\nA__D=r1\r\n[T]\r\nB=2\r\n[S]\r\nC=3\r\n");
    NLanguage table;
    Open(table, L"en-us");
    EXPECT_TRUE(table.HasSection(L"T"));
    EXPECT_FALSE(table.HasSection(L"s"));
    EXPECT_TRUE(table.HasKey(L"S", L"A"));
    EXPECT_FALSE(table.HasKey(L"S", L"C"));  // only the first [S] counts
    EXPECT_FALSE(table.HasKey(L"S", L"a"));

    table.AddKey(L"S", L"New", L"ref\nx", L"val");
    table.AddKey(L"None", L"Lost", L"", L"");
    for (const wchar_t* bad : {L"", L"[Odd", L"K=V", L"Two\nLines", L"Key__D"})
        table.AddKey(L"T", bad, L"r", L"v");
    EXPECT_EQ(Keys(table, L"T"), std::vector<std::wstring>{L"B"});
    EXPECT_EQ(Str(table.GetSections()[0].keys.back()), L"New");
    EXPECT_EQ(Str(table.GetSections()[2].keys.back()), L"New");  // every section of the name
    EXPECT_EQ(Str(table.GetSections()[0].referenceTexts.back()), L"ref\\nx");

    table.ClearTexts();
    EXPECT_EQ(Str(table.GetText(L"S", L"A", false)), L"");
    EXPECT_EQ(Str(table.GetText(L"S", L"A", true)), L"r1");
    table.ClearReferenceTexts();
    EXPECT_EQ(Str(table.GetText(L"S", L"A", true)), L"");
    for (const NLanguageSection& s : table.GetSections()) {
        EXPECT_EQ(s.keys.size(), s.values.size());
        EXPECT_EQ(s.keys.size(), s.referenceTexts.size());
    }
}

TEST_F(LanguageWriteTest, SaveReplacesTheFileOnlyWhenItIsWrittenWhole)
{
    Write(L"en-us", L"[S]\r\nA=kept\r\n");
    NLanguage table;
    Open(table, L"en-us");
    ASSERT_TRUE(table.SetText(L"S", L"A", L"changed"));

    // A file that cannot be replaced (here a folder of that name) is reported, and nothing is left
    // beside it.
    NLanguage blocked;
    blocked.Init(dir.Path().c_str(), L"L", L"polylex");
    ASSERT_TRUE(CreateDirectoryW(Path(L"xx-dir").c_str(), nullptr));
    ASSERT_TRUE(blocked.CreateTemplate(L"xx-dir", L"X", L"X"));
    EXPECT_FALSE(blocked.Save());
    EXPECT_TRUE(GetFileAttributesW(Path(L"xx-dir").c_str()) & FILE_ATTRIBUTE_DIRECTORY);
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW(dir.File(L"*").c_str(), &found);
    int files = 0;
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                ++files;
        } while (FindNextFileW(find, &found));
        FindClose(find);
    }
    EXPECT_EQ(files, 1);
    RemoveDirectoryW(Path(L"xx-dir").c_str());

    // Until it is saved, the file holds what it held.
    NLanguage before;
    Open(before, L"en-us");
    EXPECT_EQ(Str(before.GetText(L"S", L"A", false)), L"kept");
    EXPECT_TRUE(table.Save());
    NLanguage after;
    Open(after, L"en-us");
    EXPECT_EQ(Str(after.GetText(L"S", L"A", false)), L"changed");

    NLanguage never;
    EXPECT_FALSE(never.Save());  // not initialised: no path
    {
        TestDir gone;
        NLanguage orphan;
        orphan.Init(gone.Path().c_str(), L"L", L"polylex");
        ASSERT_TRUE(orphan.CreateTemplate(L"en-us", L"English", L"English"));
        RemoveDirectoryW(gone.Path().c_str());
        EXPECT_FALSE(orphan.Save());  // the folder went away
    }
}

TEST_F(LanguageWriteTest, UpdateFromReferenceBringsATranslationInLine)
{
    Write(L"en-us",
          L"[Header]\r\nLanguageName=English\r\n"
          L"[Dlg]\r\nSame=Same text\r\nChanged=New source\r\nAdded=Added text\r\nNoRef=Source\r\n"
          L"[NewDlg]\r\nX=New section text\r\nY=\r\nY__D=Only a reference\r\n");
    const std::wstring translation =
        L"[Header]\r\nLanguageName=Deutsch\r\nTranslator=Someone\r\n"
        L"[Dlg]\r\nSame=Gleicher Text\r\nSame__D=Same text\r\nChanged=Alte Übersetzung\r\nChanged__D=Old source\r\n"
        L"NoRef=Übersetzt ohne Quelle\r\nGone=Weg\r\nGone__D=Gone\r\n"
        L"[Obsolete]\r\nZ=Alt\r\n";
    for (bool synchronise : {true, false}) {
        SCOPED_TRACE(synchronise ? "synchronise" : "keep");
        Write(L"de-de", translation);
        NLanguage table;
        Open(table, L"de-de");
        ASSERT_TRUE(table.UpdateFromReference(L"en-us", synchronise));

        EXPECT_EQ(Str(table.GetText(L"Dlg", L"Same", false)), L"Gleicher Text");
        EXPECT_EQ(Str(table.GetReferenceText(L"Dlg", L"Same")), L"Same text");
        // A key the translation lacks comes in at its place, untranslated.
        EXPECT_EQ(Str(table.GetText(L"Dlg", L"Added", false)), L"");
        EXPECT_EQ(Str(table.GetReferenceText(L"Dlg", L"Added")), L"Added text");
        // A translation without a reference text of its own is never thrown away.
        EXPECT_EQ(Str(table.GetText(L"Dlg", L"NoRef", false)), L"Übersetzt ohne Quelle");
        EXPECT_EQ(Str(table.GetReferenceText(L"Dlg", L"NoRef")), L"Source");
        // A new section: the reference's texts as reference texts, nothing translated.
        EXPECT_EQ(Str(table.GetText(L"NewDlg", L"X", false)), L"");
        EXPECT_EQ(Str(table.GetReferenceText(L"NewDlg", L"X")), L"New section text");
        EXPECT_EQ(Str(table.GetReferenceText(L"NewDlg", L"Y")), L"Only a reference");
        // The header is the translation's own.
        EXPECT_EQ(Str(table.GetText(L"Header", L"LanguageName", false)), L"Deutsch");
        if (synchronise) {
            EXPECT_EQ(Str(table.GetText(L"Dlg", L"Changed", false)), L"");  // to be translated again
            EXPECT_EQ(Str(table.GetReferenceText(L"Dlg", L"Changed")), L"New source");
            EXPECT_EQ(Keys(table, L"Dlg"),
                      (std::vector<std::wstring>{L"Same", L"Changed", L"Added", L"NoRef"}));
            EXPECT_EQ(SectionNames(table), (std::vector<std::wstring>{L"Header", L"Dlg", L"NewDlg"}));
            EXPECT_FALSE(table.HasKey(L"Header", L"Translator"));
        } else {
            EXPECT_EQ(Str(table.GetText(L"Dlg", L"Changed", false)), L"Alte Übersetzung");
            EXPECT_EQ(Str(table.GetReferenceText(L"Dlg", L"Changed")), L"Old source");
            EXPECT_EQ(Keys(table, L"Dlg"),
                      (std::vector<std::wstring>{L"Same", L"Changed", L"Added", L"NoRef", L"Gone"}));
            EXPECT_EQ(SectionNames(table), (std::vector<std::wstring>{L"Header", L"Dlg", L"NewDlg", L"Obsolete"}));
        }
        // What the update made is written and read back alike.
        ASSERT_TRUE(table.Save());
        NLanguage read;
        Open(read, L"de-de");
        EXPECT_EQ(SectionNames(read), SectionNames(table));
        EXPECT_EQ(Keys(read, L"Dlg"), Keys(table, L"Dlg"));
    }

    NLanguage table;
    Open(table, L"de-de");
    const size_t before = table.GetSections().size();
    EXPECT_FALSE(table.UpdateFromReference(L"fr-fr", true));  // no such file: nothing changes
    EXPECT_EQ(table.GetSections().size(), before);
}

TEST_F(LanguageWriteTest, MergeTextsFillsGapsAndKeepsTranslations)
{
    Write(L"en-us", L"[S]\r\nA=\r\nB=own\r\nC=\r\nC__D=own ref\r\n");
    Write(L"xx-part",
          L"[S]\r\nA=merged A\r\nB=merged B\r\nC=merged C\r\nD=new D\r\nE=\r\nE__D=ref E\r\nB2=\r\n"
          L"[Extra]\r\nK=\r\nK__D=ref K\r\nL=text L\r\n");
    for (bool overwrite : {false, true}) {
        SCOPED_TRACE(overwrite ? "overwrite" : "fill");
        NLanguage table;
        Open(table, L"en-us");
        ASSERT_TRUE(table.MergeTexts(L"xx-part", overwrite));
        EXPECT_EQ(Str(table.GetText(L"S", L"A", false)), L"merged A");
        EXPECT_EQ(Str(table.GetText(L"S", L"B", false)), overwrite ? L"merged B" : L"own");
        EXPECT_EQ(Str(table.GetText(L"S", L"C", false)), overwrite ? L"merged C" : L"");  // its reference counts
        EXPECT_EQ(Str(table.GetText(L"S", L"D", false)), L"new D");
        EXPECT_EQ(Str(table.GetText(L"S", L"E", false)), L"ref E");
        EXPECT_EQ(Str(table.GetReferenceText(L"S", L"E")), L"ref E");
        EXPECT_EQ(Keys(table, L"S"), (std::vector<std::wstring>{L"A", L"B", L"C", L"D", L"E", L"B2"}));
        EXPECT_EQ(Str(table.GetText(L"Extra", L"K", false)), L"ref K");
        EXPECT_EQ(Str(table.GetText(L"Extra", L"L", false)), L"text L");
        // The merged texts are stored without the other file's line ends.
        ASSERT_TRUE(table.Save());
        EXPECT_EQ(ReadUtf16(Path(L"en-us")).find(L"\r\r"), std::wstring::npos);
        Write(L"en-us", L"[S]\r\nA=\r\nB=own\r\nC=\r\nC__D=own ref\r\n");
    }

    // An empty text of the other file never replaces a translation, even with overwrite.
    Write(L"en-us", L"[S]\r\nB2=translated\r\n");
    NLanguage table;
    Open(table, L"en-us");
    ASSERT_TRUE(table.MergeTexts(L"xx-part", true));
    EXPECT_EQ(Str(table.GetText(L"S", L"B2", false)), L"translated");
    EXPECT_FALSE(table.MergeTexts(L"zz-none", true));
}

TEST_F(LanguageWriteTest, ImportReferenceTextsTakesTheOtherFilesTexts)
{
    Write(L"en-us", L"[Header]\r\nLanguageName=English\r\n[S]\r\nA=Apple\r\nB=Banana\r\nB__D=Banana ref\r\nC=\r\n");
    Write(L"de-de", L"[Header]\r\nLanguageName=Deutsch\r\n[S]\r\nA=Apfel\r\nB=Banane\r\nC=Kirsche\r\nC__D=Cherry\r\n"
                    L"D=Dattel\r\n");
    for (bool overwrite : {false, true}) {
        NLanguage table;
        Open(table, L"de-de");
        ASSERT_TRUE(table.ImportReferenceTexts(L"en-us", overwrite));
        EXPECT_EQ(Str(table.GetReferenceText(L"S", L"A")), L"Apple");
        EXPECT_EQ(Str(table.GetReferenceText(L"S", L"B")), overwrite ? L"Banana" : L"Banana ref");
        EXPECT_EQ(Str(table.GetReferenceText(L"S", L"C")), L"Cherry");  // nothing to take: kept
        EXPECT_EQ(Str(table.GetReferenceText(L"S", L"D")), L"");
        EXPECT_EQ(Str(table.GetReferenceText(L"Header", L"LanguageName")), L"");
        EXPECT_EQ(Str(table.GetText(L"S", L"A", false)), L"Apfel");
    }
}

TEST(LanguageLookups, TextItemsInFixedSlots)
{
    TestDir dir;
    const std::wstring longItem(300, L'x');
    ASSERT_TRUE(WriteUtf16File(dir.File(L"G-en-us.polylex"),
                               L"[L]\r\nThree=a|b|c\r\nDouble=a||b\r\nLead=|a\r\nTrail=a|\r\nOne=single\r\n"
                               L"Long=" + longItem + L"|y\r\nHuge=" + std::wstring(3000, L'h') + L"\r\n"));
    NWinApp app(GetModuleHandleW(nullptr), 0, NString(L"Lookups"));
    app.GetLanguage()->Init(dir.Path().c_str(), L"G", L"polylex");
    ASSERT_TRUE(app.GetLanguage()->Load(L"en-us"));

    struct Case {
        const wchar_t* key;
        const wchar_t* fallback;
        std::vector<std::wstring> items;
    } cases[] = {
        {L"Three", nullptr, {L"a", L"b", L"c"}},
        {L"Double", nullptr, {L"a", L"|b", L""}},
        {L"Lead", nullptr, {L"|a", L""}},
        {L"Trail", nullptr, {L"a", L""}},
        {L"One", nullptr, {L"single"}},
        {L"Missing", L"x|y", {L"x", L"y"}},
        {L"Missing", nullptr, {L""}},
        {L"Long", nullptr, {std::wstring(kTextItemUnits - 1, L'x'), L"y"}},
        {L"Huge", nullptr, {std::wstring(kTextItemUnits - 1, L'h')}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << std::string(c.key, c.key + wcslen(c.key)));
        int count = -1;
        std::unique_ptr<wchar_t[]> items = GetTextItems(L"L", c.key, count, c.fallback);
        ASSERT_TRUE(items);
        ASSERT_EQ(count, static_cast<int>(c.items.size()));
        for (int i = 0; i < count; ++i) {
            const wchar_t* slot = items.get() + static_cast<size_t>(i) * kTextItemUnits;
            EXPECT_EQ(slot[kTextItemUnits - 1], L'\0');
            EXPECT_EQ(std::wstring(slot), c.items[i]) << "slot " << i;
        }
    }
}

TEST(LanguageLookups, LatinScriptCodes)
{
    for (const wchar_t* code : {L"zh-cn", L"zh-tw", L"uk-ua", L"ru-ru", L"ko-kr", L"hy-am", L"he-il", L"el-gr",
                                L"bg-bg", L"ar-sa", L"fa-ir"})
        EXPECT_FALSE(IsLatinScriptLanguage(code));
    for (const wchar_t* code : {L"de-de", L"en-us", L"RU-RU", L"ru", L""})
        EXPECT_TRUE(IsLatinScriptLanguage(code));
}

TEST(LanguageLookups, LanguageChoiceFallsBackBySystemLanguage)
{
    const NString system = LcidToLanguageCode(GetSystemDefaultLCID());
    NString primary(system);
    primary.TruncateAt(L'-');
    const std::wstring sameLanguage = std::wstring(primary.c_str()) + L"-zz";
    const std::wstring other = primary.Compare(L"qq") == 0 ? L"rr-rr" : L"qq-qq";

    struct Case {
        std::vector<std::wstring> files;
        const wchar_t* wanted;
        std::wstring chosen;        // ChooseLanguageCode
        std::wstring systemChoice;  // GetSystemLanguageCode, which takes no wish
    } cases[] = {
        {{L"en-us", other}, other.c_str(), other, L"en-us"},
        {{system.c_str(), other}, L"xx-xx", system.c_str(), system.c_str()},
        {{system.c_str(), other}, nullptr, system.c_str(), system.c_str()},
        {{other, sameLanguage}, L"xx-xx", sameLanguage, sameLanguage},
        {{other}, L"xx-xx", L"en-us", L"en-us"},
    };
    for (const Case& c : cases) {
        TestDir dir;
        for (const std::wstring& code : c.files)
            ASSERT_TRUE(WriteUtf16File(dir.File(L"C-" + code + L".polylex"), L"[Header]\r\n"));
        EXPECT_EQ(Str(ChooseLanguageCode(dir.Path().c_str(), L"C", L"polylex", c.wanted)), c.chosen);
        NLanguage table;
        table.Init(dir.Path().c_str(), L"C", L"polylex");
        EXPECT_EQ(Str(table.GetSystemLanguageCode()), c.systemChoice);
    }
    EXPECT_EQ(Str(ChooseLanguageCode(L"C:\\no\\such\\folder", L"C", L"polylex", L"de-de")), L"en-us");
}

TEST(LanguageLookups, DialogAndMenuItemTexts)
{
    TestDir dir;
    ASSERT_TRUE(WriteUtf16File(dir.File(L"D-en-us.polylex"), L"[Dlg]\r\nLabel=Translated\r\nEmpty=\r\n"));
    NWinApp app(GetModuleHandleW(nullptr), 0, NString(L"Lookups"));
    app.GetLanguage()->Init(dir.Path().c_str(), L"D", L"polylex");
    ASSERT_TRUE(app.GetLanguage()->Load(L"en-us"));

    HWND dialog = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 50, 50, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    HWND item = CreateWindowExW(0, L"STATIC", L"before", WS_CHILD, 0, 0, 40, 10, dialog,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(5)), GetModuleHandleW(nullptr), nullptr);
    ASSERT_TRUE(item);
    wchar_t text[64] = {};
    TranslateDlgItem(dialog, L"Dlg", L"Empty", 5);
    GetWindowTextW(item, text, 64);
    EXPECT_STREQ(text, L"before");
    TranslateDlgItem(dialog, L"Dlg", L"Label", 5);
    GetWindowTextW(item, text, 64);
    EXPECT_STREQ(text, L"Translated");
    DestroyWindow(dialog);

    HMENU menu = CreateMenu();
    AppendMenuW(menu, MF_STRING, 10, L"Old");
    EXPECT_FALSE(SetMenuItemText(menu, nullptr, 3, 10));
    GetMenuStringW(menu, 10, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Old");
    EXPECT_TRUE(SetMenuItemText(menu, L"New text", 3, 10));
    GetMenuStringW(menu, 10, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"New");
    EXPECT_TRUE(SetMenuItemText(menu, L"Whole text", -1, 10));
    GetMenuStringW(menu, 10, text, 64, MF_BYCOMMAND);
    EXPECT_STREQ(text, L"Whole text");
    DestroyMenu(menu);
}
