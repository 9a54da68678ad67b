#include "base/Log.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"

namespace {

std::wstring LogPath() { return ProgramFolder() + L"\\_NLogMsg.txt"; }

std::vector<std::string> LogLines()
{
    std::vector<unsigned char> bytes;
    std::vector<std::string> lines;
    if (!ReadWholeFile(LogPath(), bytes))
        return lines;
    std::string all(bytes.begin(), bytes.end());
    size_t start = 0;
    for (size_t end; (end = all.find("\r\n", start)) != std::string::npos; start = end + 2)
        lines.push_back(all.substr(start, end - start));
    EXPECT_EQ(start, all.size()) << "every line ends in CR LF";
    return lines;
}

class LibraryLog : public testing::Test {
protected:
    void SetUp() override
    {
        SetFileAttributesW(LogPath().c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileW(LogPath().c_str());
    }
    void TearDown() override { SetUp(); }
};

TEST_F(LibraryLog, WritesOneUtcStampedLinePerCall)
{
    SYSTEMTIME before;
    GetSystemTime(&before);
    EXPECT_TRUE(LogMessage(L"first %d", 1));
    EXPECT_TRUE(LogMessage(L"second"));
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    const std::regex stamp(R"((\d{4})/(\d{2})/(\d{2}) (\d{2}):(\d{2}):(\d{2}): (.*))");
    std::smatch m;
    ASSERT_TRUE(std::regex_match(lines[0], m, stamp)) << lines[0];
    EXPECT_EQ(m[7], "first 1");
    EXPECT_EQ(std::stoi(m[1]), before.wYear);
    EXPECT_EQ(std::stoi(m[2]), before.wMonth);
    int hour = std::stoi(m[4]);
    EXPECT_TRUE(hour == before.wHour || hour == (before.wHour + 1) % 24) << "UTC, not local time";
    ASSERT_TRUE(std::regex_match(lines[1], m, stamp)) << lines[1];
    EXPECT_EQ(m[7], "second");
}

TEST_F(LibraryLog, UsesTheWideFormatConventions)
{
    EXPECT_TRUE(LogMessage(L"%s|%S|%c|%d|%.1f", L"wide", "narrow", L'x', -42, 2.5));
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(21), "wide|narrow|x|-42|2.5");
}

TEST_F(LibraryLog, CutsLongMessagesTo2047Units)
{
    std::wstring text(3000, L'q');
    EXPECT_TRUE(LogMessage(L"%s", text.c_str()));
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].size(), 21u + 2047u);
}

TEST_F(LibraryLog, ReportsALineThatCannotReachTheFile)
{
    ASSERT_TRUE(LogMessage(L"kept"));
    // Another program holds the file without sharing it.
    HANDLE lock = CreateFileW(LogPath().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(lock, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(LogMessage(L"lost"));
    CloseHandle(lock);
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].substr(21), "kept");
}

TEST_F(LibraryLog, MessageBoxShowsTheTextAndAnswersOk)
{
    struct Case { int answer; bool result; };
    for (Case c : {Case{IDOK, true}, Case{IDCANCEL, false}}) {
        MessageBoxAnswerer answerer(c.answer);
        EXPECT_EQ(LogMessageBox(L"disk %s is full", L"E:"), c.result);
        EXPECT_EQ(answerer.Count(), 1);
        EXPECT_EQ(answerer.LastCaption(), L"ZUvo");
        EXPECT_EQ(answerer.LastText(), L"disk E: is full");
    }
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].substr(21), "disk E: is full");
}

TEST_F(LibraryLog, KeepsEveryLineOfConcurrentWriters)
{
    constexpr int kThreads = 4, kLines = 100;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < kLines; ++i)
                LogMessage(L"thread %d line %d", t, i);
        });
    for (auto& th : threads)
        th.join();
    auto lines = LogLines();
    ASSERT_EQ(lines.size(), size_t(kThreads * kLines));
    const std::regex whole(R"(\d{4}/\d{2}/\d{2} \d{2}:\d{2}:\d{2}: thread \d line \d+)");
    for (const auto& l : lines)
        EXPECT_TRUE(std::regex_match(l, whole)) << l;
}

}  // namespace
