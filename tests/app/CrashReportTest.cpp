// Crash reporting: the program's install record and files, the crash-reporting library's checks,
// and real reports written by a child program that crashes on purpose (crashrpt_child.exe, built
// beside the test program with CrashRpt1403.dll).
#include <windows.h>
#include <shlwapi.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/AppSettings.h"
#include "app/CrashReport.h"
#include "app/CrashReportLibrary.h"
#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "ui/NLanguage.h"

namespace {

std::string FileText(const std::wstring& path)
{
    std::vector<unsigned char> bytes;
    ReadWholeFile(path, bytes);
    return std::string(bytes.begin(), bytes.end());
}

std::string Narrow(const std::wstring& text)
{
    int n = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(n), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
    return out;
}

std::vector<std::wstring> SubFolders(const std::wstring& folder)
{
    std::vector<std::wstring> found;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE)
        return found;
    do {
        std::wstring name = fd.cFileName;
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && name != L"." && name != L"..")
            found.push_back(folder + L"\\" + name);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
    return found;
}

// Crash reporting for this process, removed again at the end of the scope.
struct ScopedInstall {
    explicit ScopedInstall(DWORD flags = 0x601FFF | kCrashNoUserInterface)
    {
        CrashInstallInfo info = {};
        info.size = sizeof(info);
        info.appName = L"Test";
        info.flags = flags;
        info.reportFolder = dir.Path().c_str();
        result = CrashRpt::Install(&info);
    }
    ~ScopedInstall()
    {
        if (result == 0)
            CrashRpt::Uninstall();
    }
    TestDir dir;
    int result = -1;
};

TEST(CrashHandlerTest, BaseHandlerLeavesAnEmptyRecord)
{
    NCrashHandler handler;
    handler.installInfo.size = 5;
    handler.FillInstallInfo();
    const CrashInstallInfo empty = {};
    EXPECT_EQ(memcmp(&handler.installInfo, &empty, sizeof(empty)), 0);
    EXPECT_EQ(handler.installResult, -1);
}

TEST(CrashHandlerTest, InstallRecordOfTheProgram)
{
    CrashHandler handler;
    handler.FillInstallInfo();
    const CrashInstallInfo& info = handler.installInfo;
    const std::wstring folder = ProgramFolder();
    const std::wstring code = LcidToLanguageCode(GetUserDefaultLCID()).c_str();
    EXPECT_EQ(info.size, 184u);
    EXPECT_STREQ(info.appName, L"Delvarin Vastrel 2");
    EXPECT_STREQ(info.appVersion, L"2.0.2");
    EXPECT_STREQ(info.emailSubject, L"Crash Report: Delvarin Vastrel 2.0.2");
    EXPECT_TRUE(info.emailRecipient && *info.emailRecipient);
    EXPECT_TRUE(info.uploadUrl && *info.uploadUrl);
    const int priorities[5] = {2, -1, -1, 0, 0};
    EXPECT_EQ(memcmp(info.transportPriorities, priorities, sizeof(priorities)), 0);
    EXPECT_EQ(info.flags, 0x601FFFu);
    EXPECT_EQ(info.minidumpType, 0u);
    ASSERT_TRUE(info.privacyPolicyUrl);
    const std::wstring privacy = info.privacyPolicyUrl;
    EXPECT_EQ(privacy.substr(privacy.size() - code.size()), code);
    EXPECT_EQ(std::wstring(info.customIcon), folder + L"\\vst.exe, 0");
    EXPECT_EQ(info.reportFolder, nullptr);
    EXPECT_EQ(info.senderPath, nullptr);
}

// The crash-report texts follow the user's locale when its file exists, else the en-us file is
// named (whether it exists or not).
TEST(CrashHandlerTest, LanguageFileOfTheLocaleOrEnglish)
{
    const std::wstring lang = ProgramFolder() + L"\\Lang";
    const std::wstring code = LcidToLanguageCode(GetUserDefaultLCID()).c_str();
    const std::wstring own = lang + L"\\crashrpt_" + code + L".ini";
    const bool madeFolder = CreateDirectoryW(lang.c_str(), nullptr) != FALSE;
    const bool hadFile = FileExists(own);

    CrashHandler handler;
    if (!hadFile) {
        handler.FillInstallInfo();
        EXPECT_EQ(std::wstring(handler.installInfo.languageFile), lang + L"\\crashrpt_en-us.ini");
        ASSERT_TRUE(WriteWholeFile(own, "[Report]\r\n", 10));
    }
    handler.FillInstallInfo();
    EXPECT_EQ(std::wstring(handler.installInfo.languageFile), own);

    if (!hadFile)
        DeleteFileW(own.c_str());
    if (madeFolder)
        RemoveDirectoryW(lang.c_str());
}

TEST(CrashLibraryTest, RefusesWhatItCannotDo)
{
    ASSERT_TRUE(CrashRpt::IsAvailable());
    EXPECT_NE(CrashRpt::Install(nullptr), 0);
    EXPECT_EQ(std::wstring(CrashRpt::LastErrorText().c_str()), L"The install record is missing.");
    CrashInstallInfo small = {};
    small.size = 180;
    EXPECT_NE(CrashRpt::Install(&small), 0);
    EXPECT_NE(CrashRpt::InstallThread(0), 0);
    EXPECT_NE(CrashRpt::Uninstall(), 0);
    EXPECT_NE(CrashRpt::AddFile(L"C:\\a.txt", nullptr, L"a", 0), 0);
    EXPECT_EQ(std::wstring(CrashRpt::LastErrorText().c_str()), L"Crash reporting is not installed for this process.");

    // The handler before the install is back after the uninstall.
    LPTOP_LEVEL_EXCEPTION_FILTER before = SetUnhandledExceptionFilter(nullptr);
    SetUnhandledExceptionFilter(before);
    {
        ScopedInstall install;
        ASSERT_EQ(install.result, 0);
        EXPECT_NE(SetUnhandledExceptionFilter(SetUnhandledExceptionFilter(nullptr)), before);
        CrashInstallInfo again = {};
        again.size = sizeof(again);
        EXPECT_NE(CrashRpt::Install(&again), 0);

        const struct {
            const wchar_t* path;
            const wchar_t* name;
        } badFiles[] = {
            {nullptr, nullptr},           {L"", nullptr},
            {L"C:\\a.txt", L"..\\b.txt"}, {L"C:\\a.txt", L"x/y.txt"},
            {L"C:\\a.txt", L".."},        {L"C:\\a.txt", L"crashdump.dmp"},
            {L"C:\\a.txt", L"a?.txt"},    {L"C:\\dir\\", nullptr},
        };
        for (const auto& bad : badFiles)
            EXPECT_NE(CrashRpt::AddFile(bad.path, bad.name, L"d", 0), 0) << (bad.name ? bad.name : L"(null)");
        EXPECT_EQ(CrashRpt::AddFile(L"C:\\a.txt", nullptr, L"a", 0), 0);
        EXPECT_NE(CrashRpt::AddFile(L"D:\\other\\A.TXT", nullptr, L"same name", 0), 0);
        EXPECT_NE(CrashRpt::AddRegistryKey(L"Software\\Delvarin", L"r.xml", 1), 0);
        EXPECT_NE(CrashRpt::AddRegistryKey(L"HKEY_CURRENT_USER\\Software", L"a.txt", 1), 0);
        EXPECT_EQ(CrashRpt::AddRegistryKey(L"HKCU\\Software", L"r.xml", 1), 0);
        EXPECT_NE(CrashRpt::AddScreenshot(0x1A, 101), 0);
        EXPECT_NE(CrashRpt::AddScreenshot(0x1A, -1), 0);
        EXPECT_EQ(CrashRpt::AddScreenshot(0x1A, 50), 0);

        // Threads register and unregister themselves.
        int registered = -1, unregistered = -1, twice = -1;
        std::thread worker([&] {
            registered = CrashRpt::InstallThread(0);
            unregistered = CrashRpt::UninstallThread();
            twice = CrashRpt::UninstallThread();
        });
        worker.join();
        EXPECT_EQ(registered, 0);
        EXPECT_EQ(unregistered, 0);
        EXPECT_NE(twice, 0);
    }
    EXPECT_EQ(SetUnhandledExceptionFilter(before), before);
    EXPECT_NE(CrashRpt::Uninstall(), 0);

    // Without the flag that allows more files nothing can be added.
    ScopedInstall plain(kCrashHandleUnhandledExceptions | kCrashNoUserInterface);
    ASSERT_EQ(plain.result, 0);
    EXPECT_NE(CrashRpt::AddFile(L"C:\\a.txt", nullptr, L"a", 0), 0);
    EXPECT_NE(CrashRpt::AddScreenshot(0, 50), 0);
}

class CrashSetUpTest : public testing::Test {
protected:
    void TearDown() override
    {
        if (g_CrashHandler.installResult == 0)
            CrashRpt::Uninstall();
        g_CrashHandler.installResult = -1;
    }
    static BOOL WINAPI Debugger() { return TRUE; }
    static BOOL WINAPI NoDebugger() { return FALSE; }
};

TEST_F(CrashSetUpTest, NothingHappensUnderADebugger)
{
    MessageBoxAnswerer answer(IDOK);
    SetUpCrashReporting(Debugger);
    EXPECT_EQ(g_CrashHandler.installResult, -1);
    EXPECT_NE(CrashRpt::Uninstall(), 0);  // nothing was installed
    EXPECT_EQ(answer.Count(), 0);
}

TEST_F(CrashSetUpTest, InstallsAndAttaches)
{
    MessageBoxAnswerer answer(IDOK);
    SetUpCrashReporting(NoDebugger);
    EXPECT_EQ(g_CrashHandler.installResult, 0);
    EXPECT_EQ(answer.Count(), 0);
    // The settings key is attached already: a second one of the same name is refused.
    EXPECT_NE(CrashRpt::AddRegistryKey(L"HKCU\\Software", L"RegConfig.xml", 0), 0);

    bool registered = false;
    std::thread worker([&] {
        registered = InstallCrashReportingForThread();
        UninstallCrashReportingForThread();
    });
    worker.join();
    EXPECT_TRUE(registered);
}

TEST_F(CrashSetUpTest, AFailedInstallIsReportedOnceAndTheProgramGoesOn)
{
    ScopedInstall first;  // makes the program's install fail
    ASSERT_EQ(first.result, 0);
    MessageBoxAnswerer answer(IDOK);
    SetUpCrashReporting(NoDebugger);
    EXPECT_NE(g_CrashHandler.installResult, 0);
    EXPECT_EQ(answer.Count(), 1);
    EXPECT_EQ(answer.LastText(), L"Crash Handler Error: Crash reporting is already installed for this process.");

    // Worker threads do not report the same failure again.
    bool registered = true;
    std::thread worker([&] { registered = InstallCrashReportingForThread(); });
    worker.join();
    EXPECT_FALSE(registered);
    EXPECT_EQ(answer.Count(), 1);
}

// Runs the crashing child; answers its exit code (0xFFFFFFFF when it could not run or hung).
// While it runs, onWindow (when given) is called every 100 ms until it answers true.
template <typename OnWait>
DWORD RunChild(const std::wstring& arguments, OnWait onWait)
{
    std::wstring command = L"\"" + ProgramFolder() + L"\\crashrpt_child.exe\" " + arguments;
    STARTUPINFOW si = {};
    si.cb = sizeof(si);
    PROCESS_INFORMATION pi = {};
    if (!CreateProcessW(nullptr, command.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
        return 0xFFFFFFFF;
    CloseHandle(pi.hThread);
    bool done = false;
    for (int waited = 0; waited < 120000; waited += 100) {
        if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) {
            done = true;
            break;
        }
        onWait();
    }
    DWORD code = 0xFFFFFFFF;
    if (done)
        GetExitCodeProcess(pi.hProcess, &code);
    else
        TerminateProcess(pi.hProcess, 99);
    CloseHandle(pi.hProcess);
    return code;
}

DWORD RunChild(const std::wstring& arguments)
{
    return RunChild(arguments, [] {});
}

// The one report folder below root.
std::wstring OnlyReport(const std::wstring& root)
{
    std::vector<std::wstring> reports = SubFolders(root);
    return reports.size() == 1 ? reports[0] : std::wstring();
}

void ExpectDumpAndDescription(const std::wstring& report, const char* reason, const char* code)
{
    const std::string dump = FileText(report + L"\\crashdump.dmp");
    EXPECT_EQ(dump.substr(0, 4), "MDMP");
    const std::string xml = FileText(report + L"\\crashrpt.xml");
    EXPECT_NE(xml.find(std::string("reason=\"") + reason + "\""), std::string::npos) << xml;
    EXPECT_NE(xml.find(std::string("code=\"") + code + "\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("name=\"crashdump.dmp\" source=\"\" description=\"Minidump\" status=\"written\""),
              std::string::npos);
}

// A registry key with a value of each kind and a subkey, removed again.
struct TestKey {
    TestKey()
    {
        path = L"Software\\VstCrashTest-" + std::to_wstring(GetCurrentProcessId());
        HKEY key, sub;
        RegCreateKeyExW(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr);
        const wchar_t text[] = L"a <b> & \"c\"";
        RegSetValueExW(key, L"Text", 0, REG_SZ, reinterpret_cast<const BYTE*>(text), sizeof(text));
        const DWORD number = 1234;
        RegSetValueExW(key, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof(number));
        const BYTE bytes[] = {0x00, 0xAB, 0xFF};
        RegSetValueExW(key, L"Bytes", 0, REG_BINARY, bytes, sizeof(bytes));
        RegCreateKeyExW(key, L"Inner", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &sub, nullptr);
        RegSetValueExW(sub, L"Deep", 0, REG_SZ, reinterpret_cast<const BYTE*>(L"yes"), 8);
        RegCloseKey(sub);
        RegCloseKey(key);
    }
    ~TestKey() { RegDeleteTreeW(HKEY_CURRENT_USER, path.c_str()); }
    std::wstring path;
};

TEST(CrashReportTest, AccessViolationWritesTheWholeReport)
{
    TestDir dir;
    const std::wstring attached = dir.File(L"notes.txt");
    ASSERT_TRUE(WriteWholeFile(attached, "attached bytes\r\n", 16));
    TestKey key;
    const std::wstring root = dir.File(L"reports");
    const DWORD code = RunChild(L"direct \"" + root + L"\" av silent \"" + attached + L"\" \"HKEY_CURRENT_USER\\" +
                                key.path + L"\"");
    EXPECT_EQ(code, 0xC0000005u);

    const std::wstring report = OnlyReport(root);
    ASSERT_FALSE(report.empty());
    ExpectDumpAndDescription(report, "Unhandled exception", "0xc0000005");
    EXPECT_EQ(FileText(report + L"\\notes.txt"), "attached bytes\r\n");

    const std::string keyXml = FileText(report + L"\\Settings.xml");
    EXPECT_NE(keyXml.find("<v name=\"Text\" type=\"REG_SZ\" value=\"a &lt;b&gt; &amp; &quot;c&quot;\"/>"),
              std::string::npos)
        << keyXml;
    EXPECT_NE(keyXml.find("<v name=\"Number\" type=\"REG_DWORD\" value=\"0x000004d2 (1234)\"/>"), std::string::npos);
    EXPECT_NE(keyXml.find("<v name=\"Bytes\" type=\"REG_BINARY\" value=\"00 ab ff\"/>"), std::string::npos);
    EXPECT_NE(keyXml.find("<k name=\"Inner\">"), std::string::npos);
    EXPECT_NE(keyXml.find("<v name=\"Deep\" type=\"REG_SZ\" value=\"yes\"/>"), std::string::npos);

    const std::string shot = FileText(report + L"\\screenshot.jpg");
    ASSERT_GE(shot.size(), 3u);
    EXPECT_EQ(shot.substr(0, 3), "\xFF\xD8\xFF");

    const std::string xml = FileText(report + L"\\crashrpt.xml");
    EXPECT_NE(xml.find("name=\"notes.txt\" source=\"" + Narrow(attached) + "\" description=\"attached file\" "
                       "status=\"copied\""),
              std::string::npos)
        << xml;
    EXPECT_NE(xml.find("registeredThread=\"1\""), std::string::npos);
}

// Other ways to crash: on a registered worker thread, a stack overflow (reported from a thread of
// its own), abort(), and a C++ exception nobody catches (which ends in abort()).
TEST(CrashReportTest, OtherCrashesAreReportedToo)
{
    const struct {
        const wchar_t* crash;
        DWORD exitCode;
        const char* reason;
        const char* code;
    } cases[] = {
        {L"thread", 0xC0000005u, "Unhandled exception", "0xc0000005"},
        {L"stack", 0xC00000FDu, "Unhandled exception", "0xc00000fd"},
        {L"abort", 3, "abort", "0x00000003"},
        {L"throw", 3, "abort", "0x00000003"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.reason);
        TestDir dir;
        const std::wstring root = dir.File(L"reports");
        EXPECT_EQ(RunChild(L"direct \"" + root + L"\" " + c.crash + L" silent"), c.exitCode);
        const std::wstring report = OnlyReport(root);
        ASSERT_FALSE(report.empty());
        ExpectDumpAndDescription(report, c.reason, c.code);
        EXPECT_NE(FileText(report + L"\\crashrpt.xml").find("registeredThread=\"1\""), std::string::npos);
    }
}

// The program's own set-up: both logs, the screenshot and the settings key land in the report.
TEST(CrashReportTest, ProgramReportHoldsLogsSettingsAndScreenshot)
{
    TestDir dir;
    HKEY probe;
    const bool keyExisted = RegOpenKeyExW(HKEY_CURRENT_USER, kAppRegistryKey, 0, KEY_READ, &probe) == ERROR_SUCCESS;
    if (keyExisted)
        RegCloseKey(probe);
    // The process's settings and the stored ones are put back afterwards.
    const std::wstring savedLanguage = GeneralLanguageFile, savedOutput = GeneralOutputFolder;
    const int savedDetected = GeneralDetectedLanguage;
    LoadSettings(nullptr);
    const std::wstring storedLanguage = GeneralLanguageFile;
    wcscpy(GeneralLanguageFile, L"crash-test");
    SaveSettings(nullptr);

    const std::wstring root = dir.File(L"reports");
    EXPECT_EQ(RunChild(L"app \"" + root + L"\" av silent"), 0xC0000005u);

    wcscpy(GeneralLanguageFile, storedLanguage.c_str());
    if (keyExisted)
        SaveSettings(nullptr);
    else
        RegDeleteTreeW(HKEY_CURRENT_USER, kAppRegistryKey);
    wcscpy(GeneralLanguageFile, savedLanguage.c_str());
    wcscpy(GeneralOutputFolder, savedOutput.c_str());
    GeneralDetectedLanguage = savedDetected;

    const std::wstring report = OnlyReport(root);
    ASSERT_FALSE(report.empty());
    ExpectDumpAndDescription(report, "Unhandled exception", "0xc0000005");
    EXPECT_NE(FileText(report + L"\\_NLogMsg.txt").find("crash test child started"), std::string::npos);
    EXPECT_NE(FileText(report + L"\\_vst.log").find("crash test child started"), std::string::npos);
    const std::string settings = FileText(report + L"\\RegConfig.xml");
    EXPECT_NE(settings.find("<k name=\"HKEY_CURRENT_USER\\Software\\Delvarin\\Delvarin Vastrel 2\">"),
              std::string::npos)
        << settings;
    EXPECT_NE(settings.find("<v name=\"GeneralLanguageFile\" type=\"REG_SZ\" value=\"crash-test\"/>"),
              std::string::npos);
    EXPECT_EQ(FileText(report + L"\\screenshot.jpg").substr(0, 3), "\xFF\xD8\xFF");
    const std::string xml = FileText(report + L"\\crashrpt.xml");
    EXPECT_NE(xml.find("<Application name=\"Delvarin Vastrel 2\" version=\"2.0.2\""), std::string::npos) << xml;
    EXPECT_NE(xml.find("subject=\"Crash Report: Delvarin Vastrel 2.0.2\""), std::string::npos);
    EXPECT_NE(xml.find("description=\"LMCLog\" status=\"copied\""), std::string::npos);
    EXPECT_NE(xml.find("description=\"_NLogMsg\" status=\"copied\""), std::string::npos);
}

// Without the quiet flag a box tells the user where the report lies; the test answers it.
TEST(CrashReportTest, TheUserIsToldWhereTheReportLies)
{
    TestDir dir;
    const std::wstring root = dir.File(L"reports");
    std::wstring boxText;
    const DWORD code = RunChild(L"direct \"" + root + L"\" av box", [&] {
        HWND box = FindWindowW(L"#32770", L"Crash Test");
        if (!box || !boxText.empty())
            return;
        wchar_t text[1024] = L"";
        GetDlgItemTextW(box, 0xFFFF, text, 1024);
        boxText = text;
        PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
    });
    EXPECT_EQ(code, 0xC0000005u);
    const std::wstring report = OnlyReport(root);
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(boxText, L"Crash Test stopped because of an error. A report of the error has been saved in this "
                       L"folder:\n\n" +
                           report);
    ExpectDumpAndDescription(report, "Unhandled exception", "0xc0000005");
}

}  // namespace
