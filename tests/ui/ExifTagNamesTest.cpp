// Display names of EXIF tags: the image library takes them from the language table.
#include <gtest/gtest.h>

#include <string>

#include "common/TestFiles.h"
#include "imagefile/ExifTagNames.h"
#include "imagefile/LibraryTexts.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

bool LoadShipped(NLanguage& language, const wchar_t* code)
{
    language.Init(ResourcePath(L"lang").c_str(), L"VST", L"polylex");
    return language.Load(code);
}

// A language folder of its own holding one file X-en-us.lex with the given text.
class OwnFile {
public:
    explicit OwnFile(const std::wstring& text)
    {
        const std::wstring content = L"\xFEFF" + text;
        ok_ = WriteWholeFile(dir_.File(L"X-en-us.lex"), content.data(), content.size() * sizeof(wchar_t));
        language_.Init(dir_.Path().c_str(), L"X", L"lex");
        ok_ = ok_ && language_.Load(L"en-us");
    }
    bool Loaded() const { return ok_; }
    const NLanguage* Get() const { return &language_; }

private:
    TestDir dir_;
    NLanguage language_;
    bool ok_ = false;
};

std::wstring Str(const NString& s)
{
    return s.c_str();
}

}  // namespace

TEST(ExifTagNames, KnownTagsTakeTheirNamesFromTheLanguageFile)
{
    NLanguage english, german;
    ASSERT_TRUE(LoadShipped(english, L"en-us"));
    ASSERT_TRUE(LoadShipped(german, L"de-de"));
    struct Case {
        int32_t tag;
        const wchar_t* key;
        const wchar_t* english;
        const wchar_t* german;
    } cases[] = {
        {0, L"GPSVersionID", L"GPS version", L"GPS-Version"},
        {30, L"GPSDifferential", L"GPS differential correction", L"GPS-Differentialkorrektur"},
        {271, L"Make", L"Camera maker", L"Kamerahersteller"},
        {33423, L"BatteryLevel", L"Battery level", L"Akkuladestand"},
        {40091, L"XPTitle", L"Title", L"Titel"},
        {42240, L"Gamma", L"Gamma", L"Gamma"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        EXPECT_STREQ(GetExifTagKey(c.tag), c.key);
        NString text;
        EXPECT_TRUE(GetExifTagDisplayName(text, c.tag, &english));
        EXPECT_EQ(Str(text), c.english);
        EXPECT_TRUE(GetExifTagDisplayName(text, c.tag, &german));
        EXPECT_EQ(Str(text), c.german);
    }
}

TEST(ExifTagNames, EveryKnownTagHasATextInEveryShippedFile)
{
    for (const wchar_t* code : {L"en-us", L"de-de"}) {
        NLanguage language;
        ASSERT_TRUE(LoadShipped(language, code));
        int known = 0;
        for (int32_t tag = 0; tag <= 0xFFFF; ++tag) {
            if (!GetExifTagKey(tag))
                continue;
            ++known;
            NString text;
            EXPECT_TRUE(GetExifTagDisplayName(text, tag, &language)) << tag;
            EXPECT_FALSE(text.IsEmpty()) << tag;
        }
        EXPECT_EQ(known, 102);
    }
}

TEST(ExifTagNames, TagsWithoutAKeyAreUnknown)
{
    NLanguage english;
    ASSERT_TRUE(LoadShipped(english, L"en-us"));
    for (int32_t tag : {31, 255, 260, 1000, 65535, -1, 0x7FFFFFFF}) {
        SCOPED_TRACE(tag);
        EXPECT_EQ(GetExifTagKey(tag), nullptr);
        NString text(L"before");
        EXPECT_FALSE(GetExifTagDisplayName(text, tag, &english));
        EXPECT_EQ(Str(text), L"Unknown");
    }
}

TEST(ExifTagNames, NoLanguageTableLeavesTheTextAlone)
{
    NString text(L"before");
    EXPECT_FALSE(GetExifTagDisplayName(text, 271, nullptr));
    EXPECT_EQ(Str(text), L"before");
    EXPECT_FALSE(GetExifTagDisplayName(text, 1000, nullptr));
    EXPECT_EQ(Str(text), L"before");
}

TEST(ExifTagNames, AFileWithoutTheTextsGivesTheStandardNames)
{
    OwnFile file(L"[EXIF]\r\nModel=Kamera\r\nFlash=\r\nFlash__D=Flash light\r\nGamma=\r\nArtist=Unknown\r\n"
                 L"[Other]\r\nMake=elsewhere\r\n");
    ASSERT_TRUE(file.Loaded());
    struct Case {
        int32_t tag;
        bool fromFile;
        const wchar_t* text;
    } cases[] = {
        {272, true, L"Kamera"},
        {37385, true, L"Flash light"},  // an empty text falls back to its reference text
        {271, false, L"Make"},          // missing from section EXIF
        {42240, false, L"Gamma"},       // empty, without a reference text
        {315, false, L"Unknown"},       // the file's own "Unknown" is no name
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        NString text;
        EXPECT_EQ(GetExifTagDisplayName(text, c.tag, file.Get()), c.fromFile);
        EXPECT_EQ(Str(text), c.text);
    }

    OwnFile empty(L"; no sections\r\n");
    NString text;
    EXPECT_FALSE(GetExifTagDisplayName(text, 271, empty.Get()));
    EXPECT_EQ(Str(text), L"Make");
}

TEST(ExifTagNames, TheApplicationsTableIsUsedWhenThereIsOne)
{
    NString text(L"before");
    if (!NGetApp()) {
        EXPECT_FALSE(GetExifTagDisplayName(text, 271));
        EXPECT_EQ(Str(text), L"before");
    }
    {
        NWinApp app(GetModuleHandleW(nullptr), 0, NString(L"ExifTagNames"));
        ASSERT_TRUE(app.IsRegistered());
        ASSERT_TRUE(LoadShipped(*app.GetLanguage(), L"de-de"));
        EXPECT_TRUE(GetExifTagDisplayName(text, 271));
        EXPECT_EQ(Str(text), L"Kamerahersteller");
    }
    // The table goes with the application object: the library no longer asks it.
    EXPECT_EQ(GetLibraryTextSource(), nullptr);
    text = L"after";
    EXPECT_FALSE(GetExifTagDisplayName(text, 271));
    EXPECT_EQ(Str(text), L"after");
}
