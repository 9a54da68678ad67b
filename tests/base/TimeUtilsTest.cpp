#include "base/TimeUtils.h"

#include <windows.h>
#include <gtest/gtest.h>

#include <string>

namespace {

SYSTEMTIME Time(WORD year, WORD month, WORD day, WORD hour = 0, WORD minute = 0, WORD second = 0)
{
    SYSTEMTIME st = {};
    st.wYear = year;
    st.wMonth = month;
    st.wDay = day;
    st.wHour = hour;
    st.wMinute = minute;
    st.wSecond = second;
    return st;
}

FILETIME FileTime(const SYSTEMTIME& st)
{
    FILETIME ft = {};
    EXPECT_TRUE(SystemTimeToFileTime(&st, &ft));
    return ft;
}

std::wstring PlatformDate(const SYSTEMTIME& st, DWORD flags)
{
    wchar_t text[100] = {};
    GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, flags, &st, nullptr, text, 100, nullptr);
    return text;
}

std::wstring PlatformTime(const SYSTEMTIME& st, DWORD flags)
{
    wchar_t text[100] = {};
    GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, flags, &st, nullptr, text, 100);
    return text;
}

TEST(FormatFileTime, JoinsTheUsersDateAndTime)
{
    const SYSTEMTIME utc = Time(2024, 1, 17, 8, 5, 9);
    const FILETIME ft = FileTime(utc);
    SYSTEMTIME local;
    ASSERT_TRUE(SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local));
    wchar_t text[128];

    ASSERT_TRUE(FormatFileTimeShort(&ft, text, 128, false, false));
    EXPECT_EQ(text, PlatformDate(utc, DATE_SHORTDATE) + L", " + PlatformTime(utc, TIME_NOSECONDS));
    EXPECT_EQ(std::wstring(text).find(L"09"), std::wstring::npos) << "no seconds";
    ASSERT_TRUE(FormatFileTimeShort(&ft, text, 128, true, false));
    EXPECT_EQ(text, PlatformDate(utc, DATE_SHORTDATE));
    ASSERT_TRUE(FormatFileTimeShort(&ft, text, 128, false, true));
    EXPECT_EQ(text, PlatformDate(local, DATE_SHORTDATE) + L", " + PlatformTime(local, TIME_NOSECONDS));

    ASSERT_TRUE(FormatFileTimeLong(&ft, text, 128, false, false));
    EXPECT_EQ(text, PlatformDate(utc, DATE_LONGDATE) + L", " + PlatformTime(utc, 0));
    EXPECT_NE(std::wstring(text).find(L"09"), std::wstring::npos) << "with seconds";
    ASSERT_TRUE(FormatFileTimeLong(&ft, text, 128, true, false));
    EXPECT_EQ(text, PlatformDate(utc, DATE_LONGDATE));

    wchar_t en[16] = {};
    if (GetUserDefaultLocaleName(en, 16) && std::wstring(en) == L"en-US") {
        ASSERT_TRUE(FormatFileTimeShort(&ft, text, 128, false, false));
        EXPECT_STREQ(text, L"1/17/2024, 8:05 AM");
    }
}

TEST(FormatFileTimeOnly, ShowsSecondsAsAsked)
{
    const SYSTEMTIME utc = Time(2024, 1, 17, 8, 5, 9);
    const FILETIME ft = FileTime(utc);
    struct Case {
        bool secondsChoice, withSeconds, showsSeconds;
    } cases[] = {{true, true, true}, {true, false, false}, {false, false, true}, {false, true, true}};
    for (const auto& c : cases) {
        wchar_t text[64];
        ASSERT_TRUE(FormatFileTimeOnly(&ft, text, 64, c.secondsChoice, false, c.withSeconds));
        EXPECT_EQ(text, PlatformTime(utc, c.showsSeconds ? 0 : TIME_NOSECONDS))
            << c.secondsChoice << c.withSeconds;
    }
}

TEST(FormatFileTime, CutsToTheBufferAndRefusesWhatItCannotFormat)
{
    const FILETIME ft = FileTime(Time(2024, 1, 17, 8, 5, 9));
    std::wstring full = PlatformDate(Time(2024, 1, 17), DATE_SHORTDATE);
    wchar_t text[16];
    wmemset(text, L'#', 16);
    ASSERT_TRUE(FormatFileTimeShort(&ft, text, 4, true, false));
    EXPECT_EQ(std::wstring(text), full.substr(0, 3));
    EXPECT_EQ(text[4], L'#');

    const FILETIME invalid = {0xFFFFFFFF, 0xFFFFFFFF};
    wmemset(text, L'#', 16);
    EXPECT_FALSE(FormatFileTimeShort(&invalid, text, 16, false, false));
    EXPECT_FALSE(FormatFileTimeLong(nullptr, text, 16, false, false));
    EXPECT_FALSE(FormatFileTimeOnly(&ft, nullptr, 16, false, false, false));
    EXPECT_FALSE(FormatFileTimeShort(&ft, text, 0, false, false));
    EXPECT_EQ(text[0], L'#');
}

TEST(SystemTimeDifference, IsTheDistanceInEitherOrder)
{
    const SYSTEMTIME a = Time(2023, 12, 31, 23, 59, 30);
    const SYSTEMTIME b = Time(2024, 1, 1, 0, 0, 30);
    EXPECT_DOUBLE_EQ(SystemTimeDifference(10000000, a, b), 60.0);
    EXPECT_DOUBLE_EQ(SystemTimeDifference(10000000, b, a), 60.0);
    EXPECT_DOUBLE_EQ(SystemTimeDifference(1, a, b), 600000000.0);
    EXPECT_DOUBLE_EQ(SystemTimeDifference(10000000, a, a), 0.0);
    EXPECT_DOUBLE_EQ(SystemTimeDifference(10000000, a, Time(2024, 13, 1)), 0.0) << "not a date";
}

TEST(AddToSystemTime, AddsCountTimesUnit)
{
    const SYSTEMTIME start = Time(2024, 2, 28, 23, 0, 0);
    const LONGLONG minute = 600000000;
    SYSTEMTIME result = {};
    ASSERT_TRUE(AddToSystemTime(result, 90, minute, start));
    EXPECT_EQ(result.wYear, 2024);
    EXPECT_EQ(result.wMonth, 2);
    EXPECT_EQ(result.wDay, 29);
    EXPECT_EQ(result.wHour, 0);
    EXPECT_EQ(result.wMinute, 30);
    EXPECT_EQ(result.wDayOfWeek, 4);  // Thursday

    ASSERT_TRUE(AddToSystemTime(result, -24 * 60, minute, start));
    EXPECT_EQ(result.wDay, 27);
    EXPECT_EQ(result.wHour, 23);

    // Products and sums outside the range of file times leave the result alone.
    const SYSTEMTIME before = result;
    EXPECT_FALSE(AddToSystemTime(result, 0x7FFFFFFFFFFFFFFFLL, 2, start));
    EXPECT_FALSE(AddToSystemTime(result, -1000000LL * 365 * 24 * 60, minute, start));
    EXPECT_FALSE(AddToSystemTime(result, 1, 1, Time(2024, 0, 1)));
    EXPECT_EQ(memcmp(&before, &result, sizeof result), 0);
}

TEST(DateDifference, CountsYearsMonthsAndDays)
{
    struct Case {
        SYSTEMTIME earlier, later;
        WORD years, months, days;
    } cases[] = {
        {Time(2023, 1, 31), Time(2023, 3, 1), 0, 1, 1},
        {Time(2024, 1, 31), Time(2024, 3, 1), 0, 1, 1},
        {Time(2023, 2, 28), Time(2023, 3, 1), 0, 0, 1},
        {Time(2024, 2, 28), Time(2024, 3, 1), 0, 0, 2},  // 29 February lies between
        {Time(2024, 2, 29), Time(2024, 3, 1), 0, 0, 1},
        {Time(2024, 1, 15), Time(2025, 3, 20), 1, 2, 5},
        {Time(2020, 5, 15), Time(2024, 3, 10), 3, 9, 26},
        {Time(2023, 12, 31), Time(2024, 1, 1), 0, 0, 1},
        {Time(2024, 6, 6), Time(2024, 6, 6), 0, 0, 0},
    };
    for (const auto& c : cases) {
        SYSTEMTIME result = Time(9, 9, 9, 9, 9, 9);
        ASSERT_TRUE(DateDifference(c.earlier, c.later, result))
            << c.earlier.wYear << "-" << c.earlier.wMonth << "-" << c.earlier.wDay;
        EXPECT_EQ(result.wYear, c.years);
        EXPECT_EQ(result.wMonth, c.months);
        EXPECT_EQ(result.wDay, c.days) << c.earlier.wYear << "-" << c.earlier.wMonth << "-" << c.earlier.wDay;
        EXPECT_EQ(result.wHour, 9) << "other fields stay";
        EXPECT_EQ(result.wSecond, 9);
    }
}

TEST(DateDifference, RefusesInvalidOrReversedDates)
{
    const SYSTEMTIME refused[][2] = {
        {Time(2024, 13, 1), Time(2025, 1, 1)},
        {Time(2024, 0, 1), Time(2025, 1, 1)},
        {Time(2023, 2, 29), Time(2025, 1, 1)},
        {Time(2024, 1, 1), Time(2024, 1, 0)},
        {Time(2024, 3, 10), Time(2024, 3, 5)},
    };
    for (const auto& pair : refused) {
        SYSTEMTIME result = Time(9, 9, 9);
        EXPECT_FALSE(DateDifference(pair[0], pair[1], result));
        EXPECT_EQ(result.wYear, 9);
        EXPECT_EQ(result.wDay, 9);
    }
}

}  // namespace
