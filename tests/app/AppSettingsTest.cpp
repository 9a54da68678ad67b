// The application's settings (registry and ini store) and its log "_vst.log".
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/AppSettings.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"

namespace {

std::wstring PicturesFolder()
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_MYPICTURES | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring AppDataFolder()
{
    wchar_t path[MAX_PATH] = L"";
    SHGetFolderPathW(nullptr, CSIDL_APPDATA | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, path);
    return path;
}

std::wstring LogPath()
{
    return AppDataFolder() + L"\\delvarin\\Delvarin Vastrel 2\\_vst.log";
}

std::string Utf8(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

// The log's lines (without their CR LF) that contain the marker.
std::vector<std::string> LogLinesWith(const std::string& marker)
{
    std::vector<unsigned char> bytes;
    ReadWholeFile(LogPath(), bytes);
    std::string all(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < all.size()) {
        size_t end = all.find('\n', start);
        if (end == std::string::npos)
            end = all.size();
        std::string line = all.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        if (line.find(marker) != std::string::npos)
            lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

// A marker no earlier run of the tests has written.
std::string NewMarker(const char* name)
{
    static int counter = 0;
    return std::string(name) + "-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64()) +
           "-" + std::to_string(++counter);
}

const std::regex kLinePattern(R"(^\d{4}/\d{2}/\d{2} [ \d]\d:\d{2}:\d{2}: (.*)$)");

// The process-wide settings are put back after each test.
class SettingsTest : public testing::Test {
protected:
    void SetUp() override
    {
        savedLanguage_ = GeneralLanguageFile;
        savedDetected_ = GeneralDetectedLanguage;
        savedOutput_ = GeneralOutputFolder;
        ini_ = dir_.File(L"settings.ini");
    }
    void TearDown() override
    {
        wcscpy(GeneralLanguageFile, savedLanguage_.c_str());
        GeneralDetectedLanguage = savedDetected_;
        wcscpy(GeneralOutputFolder, savedOutput_.c_str());
    }
    void WriteIni(const wchar_t* name, const std::wstring& value)
    {
        ASSERT_TRUE(WritePrivateProfileStringW(L"Delvarin Vastrel 2", name, value.c_str(), ini_.c_str()));
    }

    TestDir dir_;
    std::wstring ini_;
    std::wstring savedLanguage_;
    int savedDetected_ = 0;
    std::wstring savedOutput_;
};

TEST_F(SettingsTest, EmptyStoreGivesDefaults)
{
    wcscpy(GeneralLanguageFile, L"xx-yy");
    GeneralDetectedLanguage = 7;
    wcscpy(GeneralOutputFolder, L"C:\\elsewhere");
    EXPECT_TRUE(LoadSettings(ini_.c_str()));
    EXPECT_STREQ(GeneralLanguageFile, L"en-us");
    EXPECT_EQ(GeneralDetectedLanguage, 0);
    EXPECT_FALSE(PicturesFolder().empty());
    EXPECT_EQ(std::wstring(GeneralOutputFolder), PicturesFolder());
}

TEST_F(SettingsTest, SavedValuesComeBack)
{
    wcscpy(GeneralLanguageFile, L"de-de");
    GeneralDetectedLanguage = 1;
    wcscpy(GeneralOutputFolder, L"D:\\Recovered Photos");
    EXPECT_TRUE(SaveSettings(ini_.c_str()));
    wcscpy(GeneralLanguageFile, L"en-us");
    GeneralDetectedLanguage = 0;
    GeneralOutputFolder[0] = L'\0';
    EXPECT_TRUE(LoadSettings(ini_.c_str()));
    EXPECT_STREQ(GeneralLanguageFile, L"de-de");
    EXPECT_EQ(GeneralDetectedLanguage, 1);
    EXPECT_STREQ(GeneralOutputFolder, L"D:\\Recovered Photos");
}

// A stored text that does not fit its field is refused: the default is used and the log says so.
TEST_F(SettingsTest, StoredTextsLongerThanTheirFieldsAreRefused)
{
    struct Case {
        const wchar_t* name;
        size_t length;
        bool fits;
    };
    const Case cases[] = {
        {L"GeneralLanguageFile", 31, true},
        {L"GeneralLanguageFile", 32, false},
        {L"GeneralOutputFolder", 259, true},
        {L"GeneralOutputFolder", 260, false},
        {L"GeneralOutputFolder", 900, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.length);
        std::wstring value(c.length, L'a');
        value[0] = L'C';
        WriteIni(c.name, value);
        const std::string marker = Utf8(c.name) + ": the stored text of " + std::to_string(c.length);
        const size_t before = LogLinesWith(marker).size();
        LoadSettings(ini_.c_str());
        const bool language = std::wstring(c.name) == L"GeneralLanguageFile";
        const std::wstring got = language ? GeneralLanguageFile : GeneralOutputFolder;
        const std::wstring fallback = language ? L"en-us" : PicturesFolder();
        EXPECT_EQ(got, c.fits ? value : fallback);
        EXPECT_EQ(LogLinesWith(marker).size(), before + (c.fits ? 0 : 1));
        WriteIni(c.name, language ? L"en-us" : L"C:\\x");
    }
}

// The real store: the key under HKEY_CURRENT_USER with REG_SZ and REG_DWORD values. What the test
// finds there is put back afterwards (the key is removed when it was not there).
class RegistrySettingsTest : public SettingsTest {
protected:
    void SetUp() override
    {
        SettingsTest::SetUp();
        HKEY key;
        existed_ = RegOpenKeyExW(HKEY_CURRENT_USER, kAppRegistryKey, 0, KEY_READ, &key) == ERROR_SUCCESS;
        if (existed_) {
            RegCloseKey(key);
            LoadSettings(nullptr);
        }
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppRegistryKey);
    }
    void TearDown() override
    {
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppRegistryKey);
        if (existed_)
            SaveSettings(nullptr);
        SettingsTest::TearDown();
    }
    DWORD ValueType(const wchar_t* name)
    {
        DWORD type = 0;
        if (RegGetValueW(HKEY_CURRENT_USER, kAppRegistryKey, name, RRF_RT_ANY | RRF_NOEXPAND, &type, nullptr,
                         nullptr) != ERROR_SUCCESS)
            return REG_NONE;
        return type;
    }
    bool existed_ = false;
};

TEST_F(RegistrySettingsTest, RoundTripAndReset)
{
    LoadSettings(nullptr);
    EXPECT_STREQ(GeneralLanguageFile, L"en-us");
    EXPECT_EQ(GeneralDetectedLanguage, 0);
    EXPECT_EQ(std::wstring(GeneralOutputFolder), PicturesFolder());

    wcscpy(GeneralLanguageFile, L"fr-fr");
    GeneralDetectedLanguage = 1;
    wcscpy(GeneralOutputFolder, L"C:\\Out");
    SaveSettings(nullptr);
    EXPECT_EQ(ValueType(L"GeneralLanguageFile"), static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(ValueType(L"GeneralDetectedLanguage"), static_cast<DWORD>(REG_DWORD));
    EXPECT_EQ(ValueType(L"GeneralOutputFolder"), static_cast<DWORD>(REG_SZ));

    GeneralOutputFolder[0] = L'\0';
    LoadSettings(nullptr);
    EXPECT_STREQ(GeneralOutputFolder, L"C:\\Out");

    // Only the output folder goes back to its default.
    EXPECT_TRUE(ResetOutputFolder());
    EXPECT_EQ(ValueType(L"GeneralOutputFolder"), static_cast<DWORD>(REG_NONE));
    EXPECT_EQ(std::wstring(GeneralOutputFolder), PicturesFolder());
    EXPECT_STREQ(GeneralLanguageFile, L"fr-fr");
    EXPECT_EQ(GeneralDetectedLanguage, 1);
}

TEST(AppLogTest, LinesCarryTheUtcTimeAndTheText)
{
    NString path;
    ASSERT_TRUE(GetAppLogPath(path));
    EXPECT_EQ(std::wstring(path.c_str()), LogPath());

    const std::string marker = NewMarker("format");
    SYSTEMTIME before;
    GetSystemTime(&before);
    EXPECT_EQ(LogLine(L"Found: %s %d narrow %S", L"JPEG", 42, marker.c_str()), 1);
    std::vector<std::string> lines = LogLinesWith(marker);
    ASSERT_EQ(lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, kLinePattern)) << lines[0];
    EXPECT_EQ(match[1].str(), "Found: JPEG 42 narrow " + marker);
    char year[8];
    snprintf(year, sizeof year, "%04d/", before.wYear);
    EXPECT_EQ(lines[0].rfind(year, 0), 0u) << lines[0];
}

TEST(AppLogTest, NamesOutsideTheCodePageSurvive)
{
    const std::string marker = NewMarker("utf8");
    const std::wstring name = L"Fot\u00f6 \u65e5\u672c \U0001F4F7";
    LogLine(L"%s %s", std::wstring(marker.begin(), marker.end()).c_str(), name.c_str());
    std::vector<std::string> lines = LogLinesWith(marker);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(marker + " " + Utf8(name)), std::string::npos);
}

TEST(AppLogTest, LongMessagesAreCutNotRefused)
{
    const std::string marker = NewMarker("long");
    std::wstring text(marker.begin(), marker.end());
    text += L' ';
    text.append(3000 - text.size(), L'x');
    LogLine(L"%s", text.c_str());
    std::vector<std::string> lines = LogLinesWith(marker);
    ASSERT_EQ(lines.size(), 1u);
    std::smatch match;
    ASSERT_TRUE(std::regex_match(lines[0], match, kLinePattern));
    EXPECT_EQ(match[1].str().size(), 2047u);
    EXPECT_EQ(match[1].str(), Utf8(text.substr(0, 2047)));
}

// A format that would write through an argument is logged as it stands.
TEST(AppLogTest, FormatWritingThroughAnArgumentIsNotCarriedOut)
{
    const std::string marker = NewMarker("percent-n");
    const std::wstring format = std::wstring(marker.begin(), marker.end()) + L" 100%n done %s";
    LogLine(format.c_str());
    std::vector<std::string> lines = LogLinesWith(marker);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(marker + " 100%n done %s"), std::string::npos);
}

TEST(AppLogTest, RemovedFoldersAreMadeAgain)
{
    const std::string first = NewMarker("first");
    LogLine(L"%S", first.c_str());
    ASSERT_EQ(LogLinesWith(first).size(), 1u);
    const std::wstring folder = AppDataFolder() + L"\\delvarin\\Delvarin Vastrel 2";
    ASSERT_TRUE(DeleteFileW(LogPath().c_str()));
    ASSERT_TRUE(RemoveDirectoryW(folder.c_str()));
    ASSERT_TRUE(RemoveDirectoryW((AppDataFolder() + L"\\delvarin").c_str()));

    const std::string second = NewMarker("second");
    LogLine(L"%S", second.c_str());
    EXPECT_EQ(LogLinesWith(second).size(), 1u);
    EXPECT_TRUE(LogLinesWith(first).empty());
}

// Lines written by two threads at once stay whole: every line has its time stamp and exactly one
// message.
TEST(AppLogTest, LinesOfTwoThreadsStayWhole)
{
    const std::string marker = NewMarker("threads");
    const std::wstring wideMarker(marker.begin(), marker.end());
    constexpr int kLines = 150;
    std::atomic<bool> go{false};
    auto writer = [&](wchar_t who) {
        while (!go)
            std::this_thread::yield();
        for (int i = 0; i < kLines; ++i)
            LogLine(L"%s %c %04d %s", wideMarker.c_str(), who, i, std::wstring(200, who).c_str());
    };
    std::thread a(writer, L'A'), b(writer, L'B');
    go = true;
    a.join();
    b.join();
    std::vector<std::string> lines = LogLinesWith(marker);
    ASSERT_EQ(lines.size(), 2u * kLines);
    const std::regex body("^" + marker + " ([AB]) \\d{4} (A{200}|B{200})$");
    int count[2] = {0, 0};
    for (const std::string& line : lines) {
        std::smatch stamp, parts;
        ASSERT_TRUE(std::regex_match(line, stamp, kLinePattern)) << line;
        const std::string text = stamp[1].str();
        ASSERT_TRUE(std::regex_match(text, parts, body)) << text;
        EXPECT_EQ(parts[1].str()[0], parts[2].str()[0]);
        ++count[parts[1].str()[0] - 'A'];
    }
    EXPECT_EQ(count[0], kLines);
    EXPECT_EQ(count[1], kLines);
}

TEST(ErrorBoxTest, ShowsAndLogsTheText)
{
    const std::string marker = NewMarker("box");
    MessageBoxAnswerer answer(IDOK);
    EXPECT_EQ(ErrorBox(L"Failed to open Device! %S", marker.c_str()), IDOK);
    EXPECT_EQ(answer.Count(), 1);
    EXPECT_EQ(answer.LastCaption(), L"Delvarin Vastrel 2.0.2");
    EXPECT_EQ(answer.LastText(), L"Failed to open Device! " + std::wstring(marker.begin(), marker.end()));
    EXPECT_EQ(LogLinesWith(marker).size(), 1u);
}

// A text from outside shown through ErrorBoxText, or a format that writes through an argument,
// is shown as it stands.
TEST(ErrorBoxTest, TextsAreNotFormats)
{
    MessageBoxAnswerer answer(IDOK);
    ErrorBoxText(L"Datei %s nicht gefunden %n%n");
    EXPECT_EQ(answer.LastText(), L"Datei %s nicht gefunden %n%n");
    ErrorBox(L"%d%% done%n");
    EXPECT_EQ(answer.LastText(), L"%d%% done%n");
    EXPECT_EQ(answer.Count(), 2);
}

TEST(ErrorBoxTest, NarrowTwinShowsWithoutLogging)
{
    const std::string marker = NewMarker("narrow");
    MessageBoxAnswerer answer(IDOK);
    EXPECT_EQ(ErrorBoxA("narrow %s %d", marker.c_str(), 5), IDOK);
    EXPECT_EQ(answer.LastCaption(), L"Delvarin Vastrel 2.0.2");
    EXPECT_EQ(answer.LastText(), std::wstring(marker.begin(), marker.end()).insert(0, L"narrow ") + L" 5");
    EXPECT_TRUE(LogLinesWith(marker).empty());
}

}  // namespace
