// The plug-in host: finding and describing the DLLs of a folder, loading one DLL, splitting
// extension lists, and decoding and encoding through the test plug-ins.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "common/MessageBoxAnswerer.h"
#include "imagefile/PlugInHost.h"
#include "imaging/NImageBuffer.h"
#include "imagefile/PlugInTestSupport.h"

namespace {

std::vector<std::wstring> Texts(const std::vector<NString>& tokens)
{
    std::vector<std::wstring> out;
    for (const NString& t : tokens)
        out.emplace_back(t.c_str());
    return out;
}

std::wstring CurrentDirectory()
{
    wchar_t buffer[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, buffer);
    return buffer;
}

using PlugInHostTest = PlugInTest;

// ---- Splitting extension lists ----

TEST(PlugInSplitBarList, SplitsByTheBarRule)
{
    struct Case {
        const wchar_t* list;
        std::vector<std::wstring> tokens;
    } cases[] = {
        {L"jpeg|jpg", {L"jpeg", L"jpg"}},
        {L"abc", {L"abc"}},
        {L"a||b", {L"a", L"|b"}},       // the bar after a separator starts the next token
        {L"abc|", {L"abc", L""}},       // trailing bar: an empty last token
        {L"", {L""}},
        {L"|abc", {L"|abc"}},           // a leading bar belongs to the first token
        {L"a|b|c", {L"a", L"b", L"c"}},
    };
    for (const Case& c : cases) {
        PlugInRecord record = {};
        wcscpy(record.extensions, c.list);
        std::vector<NString> tokens = {NString(L"stale")};
        SplitBarList(record, tokens);
        EXPECT_EQ(Texts(tokens), c.tokens) << "list \"" << testing::PrintToString(std::wstring(c.list)) << "\"";
    }
}

TEST(PlugInSplitBarList, ReadsAtMostTheFieldAndCutsLongTokens)
{
    PlugInRecord record = {};
    // 150 + bar + 49 units fill the field without a NUL; the next field must not be read.
    std::wstring list = std::wstring(150, L'a') + L"|" + std::wstring(49, L'b');
    ASSERT_EQ(list.size(), 200u);
    wmemcpy(record.extensions, list.data(), 200);
    wcscpy(record.filterDescription, L"NEXT");
    std::vector<NString> tokens;
    SplitBarList(record, tokens);
    EXPECT_EQ(Texts(tokens), (std::vector<std::wstring>{std::wstring(150, L'a'), std::wstring(49, L'b')}));

    // One run of 200 characters: a single token of 199.
    wmemset(record.extensions, L'x', 200);
    SplitBarList(record, tokens);
    ASSERT_EQ(tokens.size(), 1u);
    EXPECT_EQ(std::wstring(tokens[0].c_str()), std::wstring(199, L'x'));
}

// ---- Finding and describing DLLs ----

TEST_F(PlugInHostTest, MissingFolderAnswers600AndLeavesTheListEmpty)
{
    TestDir dir;
    EXPECT_EQ(InitializePlugIns(dir.File(L"NoSuchFolder").c_str()), NR_PLUGIN_MISSING);
    EXPECT_EQ(InitializePlugIns(nullptr), NR_PLUGIN_MISSING);
    EXPECT_EQ(PlugInCount(), 0);
    EXPECT_EQ(GetCurrentPlugIn(), nullptr);
}

TEST_F(PlugInHostTest, FolderWithoutMatchingDllGivesAnEmptyList)
{
    TestDir dir;
    ASSERT_TRUE(CopyFileW(RawGreyDll().c_str(), dir.File(L"RawGrey.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(RawGreyDll().c_str(), dir.File(L"LMC_RawGrey.txt").c_str(), FALSE));
    EXPECT_EQ(InitializePlugIns(dir.Path().c_str()), NR_OK);
    EXPECT_EQ(PlugInCount(), 0);
    EXPECT_EQ(GetCurrentPlugIn(), nullptr);

    // A "folder" that is a file holds no plug-ins either, and the current directory is kept.
    const std::wstring before = CurrentDirectory();
    EXPECT_EQ(InitializePlugIns(dir.File(L"RawGrey.dll").c_str()), NR_OK);
    EXPECT_EQ(PlugInCount(), 0);
    EXPECT_EQ(CurrentDirectory(), before);
}

TEST_F(PlugInHostTest, DescribesThePlugInBesideTheProgramAndUnloadsIt)
{
    const std::wstring before = CurrentDirectory();
    ASSERT_EQ(InitializePlugIns(PlugInFolder().c_str()), NR_OK);
    EXPECT_EQ(CurrentDirectory(), before);
    ASSERT_EQ(PlugInCount(), 1);

    const PlugInRecord* record = PlugInAt(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->version, 2);
    EXPECT_STREQ(record->path, RawGreyDll().c_str());
    EXPECT_STREQ(record->name, L"Raw Grey Picture");
    EXPECT_STREQ(record->extensions, L"rgy|rawgrey");
    EXPECT_STREQ(record->filterPattern, L"*.rgy;*.rawgrey");
    EXPECT_EQ(record->canRead, 1);
    EXPECT_EQ(record->canWrite, 1);
    EXPECT_EQ(record->module, nullptr);
    EXPECT_EQ(record->loaded, 0);
    EXPECT_FALSE(ModuleIsLoaded(RawGreyDll()));
    EXPECT_EQ(GetCurrentPlugIn(), record);
    EXPECT_EQ(PlugInAt(1), nullptr);
    EXPECT_EQ(PlugInAt(-1), nullptr);

    EXPECT_EQ(FindPlugInForExtension(L"RawGrey", false), 0);
    EXPECT_EQ(FindPlugInForExtension(L"rgy", true), 0);
    EXPECT_EQ(FindPlugInForExtension(L"rg", false), -1);

    EXPECT_EQ(UninitializePlugIns(), NR_OK);
    EXPECT_EQ(PlugInCount(), 0);
    EXPECT_EQ(GetCurrentPlugIn(), nullptr);
}

TEST_F(PlugInHostTest, BrokenPlugInsAreSkippedOrListedEmpty)
{
    TestDir dir;
    ASSERT_TRUE(CopyFileW(RawGreyDll().c_str(), dir.File(L"LMC_RawGrey.dll").c_str(), FALSE));
    ASSERT_TRUE(CopyFileW(BrokenPlugIn(L"LMC_BadVersion.dll").c_str(), dir.File(L"LMC_BadVersion.dll").c_str(),
                          FALSE));
    ASSERT_TRUE(CopyFileW(BrokenPlugIn(L"LMC_NoInfo.dll").c_str(), dir.File(L"LMC_NoInfo.dll").c_str(), FALSE));
    ASSERT_TRUE(WriteWholeFile(dir.File(L"LMC_Garbage.dll"), "not a program", 13));
    ASSERT_TRUE(CreateDirectoryW(dir.File(L"LMC_Folder.dll").c_str(), nullptr));

    MessageBoxAnswerer answerer(IDOK);
    ASSERT_EQ(InitializePlugIns(dir.Path().c_str()), NR_OK);

    // The file that is not a DLL is reported once; the folder is not tried.
    EXPECT_EQ(answerer.Count(), 1);
    EXPECT_EQ(answerer.LastCaption(), L"ZUvo");
    EXPECT_EQ(answerer.LastText(), L"No PlugIn Load: " + dir.File(L"LMC_Garbage.dll"));

    // The DLL that changes the version is left out; the one without a description is listed
    // with an empty name and no abilities.
    ASSERT_EQ(PlugInCount(), 2);
    std::set<std::wstring> paths;
    for (int i = 0; i < PlugInCount(); ++i) {
        const PlugInRecord* record = PlugInAt(i);
        paths.insert(record->path);
        if (std::wstring(record->path) == dir.File(L"LMC_NoInfo.dll")) {
            EXPECT_STREQ(record->name, L"");
            EXPECT_STREQ(record->extensions, L"");
            EXPECT_EQ(record->canRead, 0);
            EXPECT_EQ(record->canWrite, 0);
        }
        EXPECT_EQ(record->loaded, 0);
    }
    EXPECT_EQ(paths, (std::set<std::wstring>{dir.File(L"LMC_RawGrey.dll"), dir.File(L"LMC_NoInfo.dll")}));
    for (const wchar_t* name : {L"LMC_RawGrey.dll", L"LMC_BadVersion.dll", L"LMC_NoInfo.dll"})
        EXPECT_FALSE(ModuleIsLoaded(dir.File(name))) << testing::PrintToString(std::wstring(name));

    // No extension selects the plug-in without a description.
    EXPECT_EQ(FindPlugInForExtension(L"", false), -1);
    EXPECT_EQ(FindPlugInForExtension(L"", true), -1);
    UninitializePlugIns();
}

// ---- One DLL ----

TEST_F(PlugInHostTest, LoadsOnceAndUnloadsCompletely)
{
    ScopedPlugIn plugIn;
    PlugInRecord& record = plugIn.Record();
    ASSERT_TRUE(plugIn.Load(RawGreyDll().c_str()));
    EXPECT_EQ(record.loaded, 1);
    ASSERT_NE(record.module, nullptr);
    EXPECT_STREQ(record.name, L"Raw Grey Picture");

    // Already loaded: the same module, no second reference.
    HMODULE module = record.module;
    EXPECT_TRUE(LoadPlugInModule(record));
    EXPECT_EQ(record.module, module);

    EXPECT_TRUE(UnloadPlugIn(record));
    EXPECT_EQ(record.module, nullptr);
    EXPECT_EQ(record.loaded, 0);
    EXPECT_FALSE(ModuleIsLoaded(RawGreyDll()));
    EXPECT_TRUE(UnloadPlugIn(record));  // unloading an unloaded record does nothing

    EXPECT_FALSE(LoadPlugIn(record, nullptr));
}

TEST_F(PlugInHostTest, RefusesAChangedVersionAndAcceptsAMissingDescription)
{
    PlugInRecord record = {};
    EXPECT_FALSE(LoadPlugIn(record, BrokenPlugIn(L"LMC_BadVersion.dll").c_str()));
    EXPECT_EQ(record.loaded, 0);
    EXPECT_FALSE(ModuleIsLoaded(BrokenPlugIn(L"LMC_BadVersion.dll")));

    ScopedPlugIn noInfo;
    ASSERT_TRUE(noInfo.Load(BrokenPlugIn(L"LMC_NoInfo.dll").c_str()));
    EXPECT_EQ(noInfo.Record().version, 2);
    EXPECT_STREQ(noInfo.Record().name, L"");
}

TEST_F(PlugInHostTest, MissingDllIsReportedAndRefused)
{
    TestDir dir;
    MessageBoxAnswerer answerer(IDOK);
    PlugInRecord record = {};
    EXPECT_FALSE(LoadPlugIn(record, dir.File(L"LMC_Missing.dll").c_str()));
    EXPECT_EQ(record.loaded, 0);
    EXPECT_EQ(answerer.Count(), 1);
}

TEST_F(PlugInHostTest, OptionalExports)
{
    ScopedPlugIn plugIn;
    ASSERT_TRUE(plugIn.Load(RawGreyDll().c_str()));
    std::vector<uint8_t> header = RawGreyBytes(2, 2, {1, 2, 3, 4});
    const uintptr_t bytes = reinterpret_cast<uintptr_t>(header.data());
    EXPECT_TRUE(IsFormatWithPlugIn(plugIn.Record(), bytes, 0, header.size()));
    EXPECT_FALSE(IsFormatWithPlugIn(plugIn.Record(), bytes, 1, header.size()));

    std::vector<NString> files;
    GetPlugInFileList(plugIn.Record(), files);
    EXPECT_EQ(Texts(files), (std::vector<std::wstring>{L"LMC_RawGrey.dll", L"RawGrey.txt"}));

    ScopedPlugIn noInfo;
    ASSERT_TRUE(noInfo.Load(BrokenPlugIn(L"LMC_NoInfo.dll").c_str()));
    EXPECT_FALSE(IsFormatWithPlugIn(noInfo.Record(), bytes, 0, header.size()));
    GetPlugInFileList(noInfo.Record(), files);
    EXPECT_TRUE(files.empty());
}

// ---- Decoding and encoding ----

class PlugInCodecTest : public PlugInTest {
protected:
    void SetUp() override
    {
        PlugInTest::SetUp();
        ASSERT_TRUE(plugIn.Load(RawGreyDll().c_str()));
    }
    std::wstring WriteFile(const std::wstring& name, const std::vector<uint8_t>& bytes)
    {
        std::wstring path = dir.File(name);
        EXPECT_TRUE(WriteWholeFile(path, bytes));
        return path;
    }

    TestDir dir;
    ScopedPlugIn plugIn;
};

TEST_F(PlugInCodecTest, DecodesFullPictureWithPalette)
{
    const std::vector<uint8_t> grey = GreyRamp(5, 3);
    const std::wstring path = WriteFile(L"a.rgy", RawGreyBytes(5, 3, grey));
    NImageBuffer picture;
    ASSERT_EQ(DecodeWithPlugIn(plugIn.Record(), path.c_str(), &picture, false, false, 0, 0), NR_OK);
    ASSERT_TRUE(picture.valid);
    EXPECT_EQ(picture.width, 5);
    EXPECT_EQ(picture.height, 3);
    EXPECT_EQ(picture.bpp, 8);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(PixelAt(picture.bits, picture.stride, 3, x, y), grey[y * 5 + x]) << x << "," << y;
    // All 256 palette entries come from the DLL's red-green-blue block.
    for (int i : {0, 1, 128, 200, 255}) {
        EXPECT_EQ(picture.palette[i][0], i);
        EXPECT_EQ(picture.palette[i][2], i);
    }
    const PlugInFormatInfo& info = plugIn.Record().formatInfo;
    EXPECT_EQ(info.size, 712);
    EXPECT_EQ(info.metadataWanted, 1);
}

TEST_F(PlugInCodecTest, PreviewOnlyWhenOffered)
{
    const std::vector<uint8_t> grey = GreyRamp(5, 3);
    const std::wstring offered = WriteFile(L"p.rgy", RawGreyBytes(5, 3, grey));
    const std::wstring refused = WriteFile(L"n.rgy", RawGreyBytes(5, 3, grey, "preview=0\n"));

    NImageBuffer picture;
    ASSERT_EQ(DecodeWithPlugIn(plugIn.Record(), offered.c_str(), &picture, true, false, 0, 0), NR_OK);
    EXPECT_EQ(picture.width, 3);
    EXPECT_EQ(picture.height, 2);
    EXPECT_EQ(PixelAt(picture.bits, picture.stride, 2, 1, 1), grey[2 * 5 + 2]);
    EXPECT_EQ(plugIn.Record().formatInfo.width, 5);

    ASSERT_EQ(DecodeWithPlugIn(plugIn.Record(), refused.c_str(), &picture, true, false, 0, 0), NR_OK);
    EXPECT_EQ(picture.width, 5);
    EXPECT_EQ(picture.height, 3);
}

TEST_F(PlugInCodecTest, HandsTheLoadOptionsAndThePixelsOnlyRequestToTheDll)
{
    const std::wstring path = WriteFile(L"o.rgy", RawGreyBytes(2, 1, {10, 250}));
    NImageBuffer picture;
    // Value 20 is added by the test plug-in; flag 1 inverts.
    ASSERT_EQ(DecodeWithPlugIn(plugIn.Record(), path.c_str(), &picture, false, true, 20, 1), NR_OK);
    EXPECT_EQ(picture.bits[0], 255 - 30);
    EXPECT_EQ(picture.bits[1], 0);
    const PlugInFormatInfo& info = plugIn.Record().formatInfo;
    EXPECT_EQ(info.loadOptionValue, 20);
    EXPECT_EQ(info.loadOptionFlag, 1);
    EXPECT_EQ(info.metadataWanted, 0);
}

TEST_F(PlugInCodecTest, PassesDllStatusesOnAndAnswers602ForMissingExports)
{
    NImageBuffer picture;
    // The DLL's own status for a file that does not open.
    EXPECT_EQ(DecodeWithPlugIn(plugIn.Record(), dir.File(L"none.rgy").c_str(), &picture, false, false, 0, 0),
              NR_FILE_OPEN_READ);
    const std::wstring failing = WriteFile(L"f.rgy", RawGreyBytes(1, 1, {1}, "faildecode=404\n"));
    EXPECT_EQ(DecodeWithPlugIn(plugIn.Record(), failing.c_str(), &picture, false, false, 0, 0),
              NR_DECODE_FAILED);

    ScopedPlugIn noInfo;
    ASSERT_TRUE(noInfo.Load(BrokenPlugIn(L"LMC_NoInfo.dll").c_str()));
    const std::wstring path = WriteFile(L"a.rgy", RawGreyBytes(1, 1, {1}));
    EXPECT_EQ(DecodeWithPlugIn(noInfo.Record(), path.c_str(), &picture, false, false, 0, 0),
              NR_PLUGIN_FUNCTION_MISSING);
    ASSERT_TRUE(picture.Create(2, 2, 24, 0));
    EXPECT_EQ(EncodeWithPlugIn(noInfo.Record(), dir.File(L"out.rgy").c_str(), &picture, 0),
              NR_PLUGIN_FUNCTION_MISSING);
}

TEST_F(PlugInCodecTest, EncodeRefusesInvalidInput)
{
    NImageBuffer empty;
    EXPECT_EQ(EncodeWithPlugIn(plugIn.Record(), dir.File(L"e.rgy").c_str(), &empty, 0), NR_PICTURE_NOT_VALID);
    EXPECT_EQ(EncodeWithPlugIn(plugIn.Record(), dir.File(L"e.rgy").c_str(), nullptr, 0), NR_PICTURE_NOT_VALID);
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(2, 2, 24, 0));
    EXPECT_EQ(EncodeWithPlugIn(plugIn.Record(), nullptr, &picture, 0), NR_PICTURE_NOT_VALID);
    EXPECT_FALSE(FileExists(dir.File(L"e.rgy")));
}

TEST_F(PlugInCodecTest, EncodesPalettePicturesWithRedFirstPalette)
{
    // Index 1 pure red, index 2 pure blue: grey 76 and 29 when the DLL receives the palette in
    // red, green, blue order.
    uint8_t palette[768] = {};
    palette[3] = 255;
    palette[8] = 255;
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(2, 1, 8, 0, palette));
    picture.bits[0] = 1;
    picture.bits[1] = 2;
    const std::wstring path = dir.File(L"pal.rgy");
    ASSERT_EQ(EncodeWithPlugIn(plugIn.Record(), path.c_str(), &picture, 0), NR_OK);
    std::vector<uint8_t> bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    EXPECT_EQ(bytes, RawGreyBytes(2, 1, {76, 29}));
    const PlugInFormatInfo& info = plugIn.Record().formatInfo;
    EXPECT_EQ(info.width, 2);
    EXPECT_EQ(info.height, 1);
    EXPECT_EQ(info.bitsPerPixel, 8);
}

TEST_F(PlugInCodecTest, EncodeThenDecodeKeepsGreyLevels)
{
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(3, 2, 24, 0));
    // Grey pixels (equal channels), rows bottom-up.
    const uint8_t levels[2][3] = {{0, 90, 255}, {17, 128, 201}};  // top row, bottom row
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            memset(picture.bits + (1 - y) * picture.stride + x * 3, levels[y][x], 3);
    const std::wstring path = dir.File(L"rt.rawgrey");
    ASSERT_EQ(EncodeWithPlugIn(plugIn.Record(), path.c_str(), &picture, 0), NR_OK);

    NImageBuffer decoded;
    ASSERT_EQ(DecodeWithPlugIn(plugIn.Record(), path.c_str(), &decoded, false, false, 0, 0), NR_OK);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(PixelAt(decoded.bits, decoded.stride, 2, x, y), levels[y][x]);
}

}  // namespace
