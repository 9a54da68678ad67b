// File times as texts in the user's locale, arithmetic on system times, and a clock for
// measuring durations.
#pragma once
#include <windows.h>

// "date, time" with the user's short date and the time without seconds, or the date alone;
// converted to the local time of the current time zone first when toLocal is set. Cut to size
// units with the NUL. False when the buffer is null, size is 0 or less, or the time cannot be
// converted or formatted.
bool FormatFileTimeShort(const FILETIME* time, wchar_t* buffer, int size, bool dateOnly, bool toLocal);
// The same with the user's long date and the time with seconds.
bool FormatFileTimeLong(const FILETIME* time, wchar_t* buffer, int size, bool dateOnly, bool toLocal);
// The time alone. With secondsChoice set the seconds are shown only when withSeconds is set;
// without it they are always shown.
bool FormatFileTimeOnly(const FILETIME* time, wchar_t* buffer, int size, bool secondsChoice, bool toLocal,
                        bool withSeconds);

// The distance between the two times in 100-nanosecond units, whichever comes first, divided by
// the divisor (10000000 gives seconds). 0 when either time is not a valid date.
double SystemTimeDifference(double divisor, const SYSTEMTIME& first, const SYSTEMTIME& second);

// result = time + count x unit (unit in 100-nanosecond steps, so 10000000 is a second).
// False, the result untouched, when the time is not valid or the sum leaves the range of
// file times.
bool AddToSystemTime(SYSTEMTIME& result, LONGLONG count, LONGLONG unit, const SYSTEMTIME& time);

// The difference between two dates in years, months and days, stored in the result's wYear,
// wMonth and wDay (its other fields are left alone). A day count that runs below zero borrows
// the real length of the earlier date's month, leap years included: 31 January to 1 March is
// 1 month and 1 day. False, the result untouched, when a date is not valid or the later date
// lies before the earlier one.
bool DateDifference(const SYSTEMTIME& earlier, const SYSTEMTIME& later, SYSTEMTIME& result);

// Seconds since an arbitrary start, from the performance counter: for measuring how long
// something takes (never goes back, unlike the system time).
double MonotonicSeconds();
