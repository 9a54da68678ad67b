#include "base/TimeUtils.h"

#include <cstdio>

namespace {

constexpr int kFormatUnits = 100;

bool ToSystemTime(const FILETIME* time, bool toLocal, SYSTEMTIME& out)
{
    SYSTEMTIME utc;
    if (!time || !FileTimeToSystemTime(time, &utc))
        return false;
    if (!toLocal) {
        out = utc;
        return true;
    }
    return SystemTimeToTzSpecificLocalTime(nullptr, &utc, &out) != FALSE;
}

bool DateText(const SYSTEMTIME& st, DWORD flags, wchar_t (&text)[kFormatUnits])
{
    return GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, flags, &st, nullptr, text, kFormatUnits, nullptr) > 0;
}

bool TimeText(const SYSTEMTIME& st, DWORD flags, wchar_t (&text)[kFormatUnits])
{
    return GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, flags, &st, nullptr, text, kFormatUnits) > 0;
}

void CopyCut(wchar_t* buffer, int size, const wchar_t* first, const wchar_t* second)
{
    if (second)
        _snwprintf(buffer, static_cast<size_t>(size), L"%s, %s", first, second);
    else
        _snwprintf(buffer, static_cast<size_t>(size), L"%s", first);
    buffer[size - 1] = L'\0';
}

bool FormatDateAndTime(const FILETIME* time, wchar_t* buffer, int size, bool dateOnly, bool toLocal,
                       DWORD dateFlags, DWORD timeFlags)
{
    if (!buffer || size <= 0)
        return false;
    SYSTEMTIME st;
    wchar_t date[kFormatUnits];
    wchar_t clock[kFormatUnits];
    if (!ToSystemTime(time, toLocal, st) || !DateText(st, dateFlags, date))
        return false;
    if (dateOnly) {
        CopyCut(buffer, size, date, nullptr);
        return true;
    }
    if (!TimeText(st, timeFlags, clock))
        return false;
    CopyCut(buffer, size, date, clock);
    return true;
}

bool ToTicks(const SYSTEMTIME& st, LONGLONG& ticks)
{
    FILETIME ft;
    if (!SystemTimeToFileTime(&st, &ft))
        return false;
    ticks = static_cast<LONGLONG>((static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime);
    return true;
}

bool IsLeapYear(int year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month)
{
    static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

bool IsValidDate(const SYSTEMTIME& st)
{
    return st.wMonth >= 1 && st.wMonth <= 12 && st.wDay >= 1 && st.wDay <= DaysInMonth(st.wYear, st.wMonth);
}

}  // namespace

bool FormatFileTimeShort(const FILETIME* time, wchar_t* buffer, int size, bool dateOnly, bool toLocal)
{
    return FormatDateAndTime(time, buffer, size, dateOnly, toLocal, DATE_SHORTDATE, TIME_NOSECONDS);
}

bool FormatFileTimeLong(const FILETIME* time, wchar_t* buffer, int size, bool dateOnly, bool toLocal)
{
    return FormatDateAndTime(time, buffer, size, dateOnly, toLocal, DATE_LONGDATE, 0);
}

bool FormatFileTimeOnly(const FILETIME* time, wchar_t* buffer, int size, bool secondsChoice, bool toLocal,
                        bool withSeconds)
{
    if (!buffer || size <= 0)
        return false;
    SYSTEMTIME st;
    wchar_t clock[kFormatUnits];
    DWORD flags = secondsChoice && !withSeconds ? TIME_NOSECONDS : 0;
    if (!ToSystemTime(time, toLocal, st) || !TimeText(st, flags, clock))
        return false;
    CopyCut(buffer, size, clock, nullptr);
    return true;
}

double SystemTimeDifference(double divisor, const SYSTEMTIME& first, const SYSTEMTIME& second)
{
    LONGLONG a;
    LONGLONG b;
    if (!ToTicks(first, a) || !ToTicks(second, b))
        return 0;
    return static_cast<double>(a > b ? a - b : b - a) / divisor;
}

bool AddToSystemTime(SYSTEMTIME& result, LONGLONG count, LONGLONG unit, const SYSTEMTIME& time)
{
    LONGLONG ticks;
    LONGLONG step;
    LONGLONG sum;
    if (!ToTicks(time, ticks) || __builtin_mul_overflow(count, unit, &step) ||
        __builtin_add_overflow(ticks, step, &sum) || sum < 0)
        return false;
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(sum));
    ft.dwHighDateTime = static_cast<DWORD>(static_cast<ULONGLONG>(sum) >> 32);
    SYSTEMTIME out;
    if (!FileTimeToSystemTime(&ft, &out))
        return false;
    result = out;
    return true;
}

bool DateDifference(const SYSTEMTIME& earlier, const SYSTEMTIME& later, SYSTEMTIME& result)
{
    if (!IsValidDate(earlier) || !IsValidDate(later))
        return false;
    int days = later.wDay - earlier.wDay;
    int monthBorrow = 0;
    if (days < 0) {
        days += DaysInMonth(earlier.wYear, earlier.wMonth);
        monthBorrow = 1;
    }
    int months = later.wMonth - earlier.wMonth - monthBorrow;
    int yearBorrow = 0;
    if (months < 0) {
        months += 12;
        yearBorrow = 1;
    }
    int years = later.wYear - earlier.wYear - yearBorrow;
    if (years < 0)
        return false;
    result.wYear = static_cast<WORD>(years);
    result.wMonth = static_cast<WORD>(months);
    result.wDay = static_cast<WORD>(days);
    return true;
}

double MonotonicSeconds()
{
    static const double frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return static_cast<double>(f.QuadPart);
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return static_cast<double>(now.QuadPart) / frequency;
}
