// The language files that ship with the program: they load, agree with each other and with the
// texts the program asks for, and switching between them changes what the windows show.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "common/TestFiles.h"
#include "ui/FormatCheck.h"
#include "ui/LanguageHelpers.h"
#include "ui/NLanguage.h"
#include "ui/NWinApp.h"

namespace {

const wchar_t* const kCodes[] = {L"en-us", L"de-de"};

std::wstring LangFolder()
{
    return ResourcePath(L"lang");
}

std::string Narrow(const std::wstring& s)
{
    std::string out;
    for (wchar_t c : s)
        out += c < 128 ? static_cast<char>(c) : '?';
    return out;
}

bool LoadShipped(NLanguage& language, const wchar_t* code)
{
    language.Init(LangFolder().c_str(), L"VST", L"polylex");
    return language.Load(code) && language.GetCurrentCode().Compare(code) == 0;
}

// The texts that the program and its libraries look up, and of the lists how many items the
// program's tables expect.
struct Lookup {
    const wchar_t* section;
    const wchar_t* key;
    int listItems;  // 0: not a list
};
const Lookup kLookups[] = {
    {L"Header", L"LanguageName", 0}, {L"Header", L"LanguageNameLocal", 0}, {L"Header", L"Author", 0},
    {L"Header", L"Comment", 0},
    {L"Messages", L"Ok", 0}, {L"Messages", L"Cancel", 0}, {L"Messages", L"Yes", 0}, {L"Messages", L"No", 0},
    {L"Messages", L"Help", 0}, {L"Messages", L"Next", 0}, {L"Messages", L"Back", 0}, {L"Messages", L"Finish", 0},
    {L"Menu", L"File", 0}, {L"Menu", L"Configuration", 0}, {L"Menu", L"Internet", 0}, {L"Menu", L"Help", 0},
    {L"Menu", L"File_StartWizard", 0}, {L"Menu", L"File_Exit", 0}, {L"Menu", L"Configuration_Language", 0},
    {L"Menu", L"Configuration_Options", 0}, {L"Menu", L"Help_Readme", 0}, {L"Menu", L"Help_About", 0},
    {L"Dlg_StartUpScreen", L"Title", 0}, {L"Dlg_StartUpScreen", L"Btn1", 0},
    {L"Dlg_StartUpScreen", L"ScanDevice", 0}, {L"Dlg_StartUpScreen", L"ScanFile", 0},
    {L"Dlg_StartUpScreen", L"Refresh", 0}, {L"Dlg_StartUpScreen", L"ChooseFile", 0},
    {L"Dlg_StartUpScreen", L"ScanMethod", 0}, {L"Dlg_StartUpScreen", L"SearchFilter1", 0},
    {L"Dlg_StartUpScreen", L"SearchFilter2", 0}, {L"Dlg_StartUpScreen", L"SearchFilter3", 0},
    {L"Dlg_StartUpScreen", L"SearchFilter4", 0}, {L"Dlg_StartUpScreen", L"FileSize", 0},
    {L"Dlg_StartUpScreen", L"PhotoSize", 0}, {L"Dlg_StartUpScreen", L"ChunkSize", 0},
    {L"Dlg_StartUpScreen", L"FileSizeCBX", 7}, {L"Dlg_StartUpScreen", L"PhotoSizeCBX", 5},
    {L"Dlg_StartUpScreen", L"ChunkSizeCBX", 6}, {L"Dlg_StartUpScreen", L"ScanMethodCBX", 5},
    {L"Dlg_StartUpScreen", L"Device", 0}, {L"Dlg_StartUpScreen", L"DeviceUnknown", 0},
    {L"Dlg_StartUpScreen", L"DeviceDisk", 0}, {L"Dlg_StartUpScreen", L"DeviceRAM", 0},
    {L"Dlg_Scan", L"Title", 0}, {L"Dlg_Scan", L"TitleFile", 0}, {L"Dlg_Scan", L"Cancel", 0},
    {L"Dlg_Scan", L"NoPhotosFound", 0}, {L"Dlg_Scan", L"PhotosFound", 0}, {L"Dlg_Scan", L"DeviceSize", 0},
    {L"Dlg_Scan", L"DevicePos", 0}, {L"Dlg_Scan", L"VerifyData", 0}, {L"Dlg_Scan", L"FixedDiskWarning", 0},
    {L"Dlg_Scan", L"FixedDiskWarningNew", 0}, {L"Dlg_Scan", L"FixedDiskSameDrive", 0},
    {L"Dlg_Result", L"Title", 0}, {L"Dlg_Result", L"PhotosFound", 0}, {L"Dlg_Result", L"SelectAll", 0},
    {L"Dlg_Result", L"DeSelectAll", 0}, {L"Dlg_Result", L"KeepSel", 0}, {L"Dlg_Result", L"OpenPhotoApp", 0},
    {L"Dlg_Result", L"Info", 0},
    {L"Dlg_Language", L"Title", 0}, {L"Dlg_Language", L"ListHeaders", 4},
    {L"Dlg_Settings_General", L"Title", 0}, {L"Dlg_Settings_General", L"FolderDesc", 0},
    {L"Dlg_About", L"Ok", 0},
    {L"Dlg_CreateAnimation", L"Frame1", 0}, {L"Dlg_CreateAnimation", L"Frame2", 0},
};

// The texts used as printf formats, with the kinds of the arguments their callers pass.
struct FormatText {
    const wchar_t* section;
    const wchar_t* key;
    const wchar_t* kinds;
};
const FormatText kFormats[] = {
    {L"Dlg_Scan", L"Title", L"s"},             // the drive letter
    {L"Dlg_Scan", L"TitleFile", L"s"},         // the file name
    {L"Dlg_Scan", L"FixedDiskSameDrive", L"s"},  // the output folder
    {L"Dlg_Scan", L"ImageFileProblem", L"ss"},  // the image file, the reason
    {L"Dlg_Result", L"PhotosFound", L"ds"},    // the count of kept files, the folder
    {L"Dlg_Result", L"PhotosFoundStopped", L"ds"},  // the same after a stopped scan
    {L"Dlg_CreateAnimation", L"Frame1", L"dd"},  // frame number, frame count
    {L"Dlg_CreateAnimation", L"Frame2", L"dd"},
};

bool IsFormatText(const NString& section, const NString& key)
{
    for (const FormatText& f : kFormats) {
        if (section.Compare(f.section) == 0 && key.Compare(f.key) == 0)
            return true;
    }
    return false;
}

}  // namespace

TEST(LanguageFiles, BothFilesAreUtf16WithAByteOrderMarkAndLoad)
{
    for (const wchar_t* code : kCodes) {
        SCOPED_TRACE(Narrow(code));
        std::vector<unsigned char> bytes;
        ASSERT_TRUE(ReadWholeFile(LangFolder() + L"\\VST-" + code + L".polylex", bytes));
        ASSERT_GE(bytes.size(), 2u);
        EXPECT_EQ(bytes[0], 0xFF);
        EXPECT_EQ(bytes[1], 0xFE);
        EXPECT_EQ(bytes.size() % 2, 0u);

        NLanguage language;
        ASSERT_TRUE(LoadShipped(language, code));
        EXPECT_GE(language.GetSections().size(), 10u);
    }
    NLanguage listing;
    listing.Init(LangFolder().c_str(), L"VST", L"polylex");
    for (const wchar_t* code : kCodes) {
        bool listed = false;
        for (const NString& c : listing.GetCodes())
            listed = listed || c.Compare(code) == 0;
        EXPECT_TRUE(listed) << Narrow(code);
    }
}

TEST(LanguageFiles, TranslationHasTheSectionsAndKeysOfTheReferenceWithItsTexts)
{
    NLanguage english, german;
    ASSERT_TRUE(LoadShipped(english, L"en-us"));
    ASSERT_TRUE(LoadShipped(german, L"de-de"));
    const auto& en = english.GetSections();
    const auto& de = german.GetSections();
    ASSERT_EQ(en.size(), de.size());
    for (size_t s = 0; s < en.size(); ++s) {
        const NLanguageSection& a = en[s];
        const NLanguageSection& b = de[s];
        SCOPED_TRACE(Narrow(a.name.c_str()));
        ASSERT_EQ(a.name.Compare(b.name), 0) << Narrow(b.name.c_str());
        ASSERT_EQ(a.keys.size(), b.keys.size());
        const bool header = a.name.Compare(L"Header") == 0;
        for (size_t k = 0; k < a.keys.size(); ++k) {
            const wchar_t* key = a.keys[k].c_str();
            SCOPED_TRACE(Narrow(key));
            EXPECT_EQ(a.keys[k].Compare(b.keys[k]), 0);
            EXPECT_TRUE(a.referenceTexts[k].IsEmpty());  // the reference language has none
            if (header)
                continue;  // the header describes each file; its texts differ and have no reference
            const NString text = english.GetText(a.name.c_str(), key, false);
            EXPECT_FALSE(text.IsEmpty());
            EXPECT_FALSE(german.GetText(b.name.c_str(), key, false).IsEmpty());
            EXPECT_EQ(german.GetReferenceText(b.name.c_str(), key).Compare(text), 0);
        }
    }
}

TEST(LanguageFiles, EveryTextTheProgramReadsIsThereWithItsListItems)
{
    for (const wchar_t* code : kCodes) {
        NLanguage language;
        ASSERT_TRUE(LoadShipped(language, code));
        for (const Lookup& l : kLookups) {
            SCOPED_TRACE(testing::Message() << Narrow(code) << " [" << Narrow(l.section) << "] " << Narrow(l.key));
            // Without the reference fall-back: each file must carry its own text.
            EXPECT_FALSE(language.GetText(l.section, l.key, false).IsEmpty());
            if (l.listItems > 0) {
                std::vector<NString> items;
                language.GetTextList(l.section, l.key, items);
                EXPECT_EQ(items.size(), static_cast<size_t>(l.listItems));
                for (const NString& item : items)
                    EXPECT_FALSE(item.IsEmpty());
            }
        }
    }
}

TEST(LanguageFiles, FormatTextsFitTheirArgumentsAndNoOtherTextHoldsAConversion)
{
    for (const wchar_t* code : kCodes) {
        NLanguage language;
        ASSERT_TRUE(LoadShipped(language, code));
        for (const FormatText& f : kFormats) {
            SCOPED_TRACE(testing::Message() << Narrow(code) << " [" << Narrow(f.section) << "] " << Narrow(f.key));
            const NString text = language.GetText(f.section, f.key, true);
            EXPECT_TRUE(FormatFitsArguments(text.c_str(), f.kinds));
            // A translation whose reference text is English must fit the same arguments.
            const NString reference = language.GetReferenceText(f.section, f.key);
            if (!reference.IsEmpty()) {
                EXPECT_TRUE(FormatFitsArguments(reference.c_str(), f.kinds));
            }
            // The checked lookup hands out the file's own text, not the built-in one.
            EXPECT_EQ(language.GetFormatText(f.section, f.key, f.kinds, L"built-in").Compare(text), 0);
        }
        // A '%' in any other text would make it a format that no caller checks.
        for (const NLanguageSection& s : language.GetSections()) {
            for (size_t k = 0; k < s.keys.size(); ++k) {
                if (IsFormatText(s.name, s.keys[k]))
                    continue;
                EXPECT_EQ(std::wcschr(s.values[k].c_str(), L'%'), nullptr)
                    << Narrow(code) << " [" << Narrow(s.name.c_str()) << "] " << Narrow(s.keys[k].c_str());
            }
        }
    }
}

TEST(LanguageFiles, EscapesInTextsBecomeLineBreaks)
{
    NLanguage language;
    ASSERT_TRUE(LoadShipped(language, L"en-us"));
    const NString text = language.GetText(L"Dlg_Result", L"PhotosFound", true);
    EXPECT_NE(std::wcschr(text.c_str(), L'\n'), nullptr);
    EXPECT_EQ(std::wcsstr(text.c_str(), L"\\n"), nullptr);
    EXPECT_EQ(std::wcschr(text.c_str(), L'\r'), nullptr);  // CR LF line ends of the file are cut
}

TEST(LanguageFiles, SwitchingTheApplicationsLanguageChangesTheTexts)
{
    NWinApp app(GetModuleHandleW(nullptr), 0, NString(L"LanguageFiles"));
    ASSERT_TRUE(app.IsRegistered());
    NLanguage* language = app.GetLanguage();
    HWND window = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
    ASSERT_NE(window, nullptr);
    wchar_t title[100];

    struct Step {
        const wchar_t* asked;
        const wchar_t* loaded;
        const wchar_t* title;
        const wchar_t* cancel;
    } steps[] = {
        {L"en-us", L"en-us", L"Language", L"Cancel"},
        {L"de-de", L"de-de", L"Sprache", L"Abbrechen"},
        {L"de-at", L"de-de", L"Sprache", L"Abbrechen"},  // same primary language
        {L"en-gb", L"en-us", L"Language", L"Cancel"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(Narrow(step.asked));
        // The language window's way: empty the table, then initialise and load again.
        language->Clear();
        language->Init(LangFolder().c_str(), L"VST", L"polylex");
        ASSERT_TRUE(language->Load(step.asked));
        EXPECT_EQ(language->GetCurrentCode().Compare(step.loaded), 0);
        TranslateWindowTitle(window, L"Dlg_Language");
        GetWindowTextW(window, title, 100);
        EXPECT_STREQ(title, step.title);
        EXPECT_EQ(language->GetText(L"Messages", L"Cancel", true).Compare(step.cancel), 0);
    }
    DestroyWindow(window);
}
