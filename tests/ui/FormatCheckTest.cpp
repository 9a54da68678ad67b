// Printf formats from language files checked against the caller's arguments.
#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "ui/FormatCheck.h"

TEST(FormatCheck, ConversionsMustFitTheArguments)
{
    struct Case {
        const wchar_t* format;
        const wchar_t* kinds;
        bool fits;
    } cases[] = {
        {L"Frame %d of %d", L"dd", true},
        {L"%d", L"dd", true},                 // fewer conversions than arguments is safe
        {L"no conversions", L"", true},
        {L"100%% done", L"", true},
        {L"%-5d|%05x|%+.3i|%#o|%u|%c", L"dddddd", true},
        {L"%ld %hd %ls %ws %lc", L"ddssd", true},
        {L"%8.2f %e %G", L"fff", true},
        {L"Scanning %s", L"s", true},
        {L"%s of %d", L"dd", false},          // a string conversion where an int is passed
        {L"%d %d %d", L"dd", false},          // more conversions than arguments
        {L"%d items%n", L"dd", false},        // %n writes memory
        {L"%p", L"d", false},
        {L"%S", L"s", false},                 // narrow string
        {L"%*d", L"dd", false},               // width from an argument
        {L"%1$d", L"d", false},               // positional
        {L"%lld", L"d", false},
        {L"%I64d", L"d", false},
        {L"%1000d", L"d", false},             // huge width
        {L"%.1000f", L"f", false},
        {L"%999d", L"d", true},
        {L"%y", L"d", false},                 // unknown conversion
        {L"trailing %", L"d", false},
        {L"%f", L"d", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFitsArguments(c.format, c.kinds), c.fits)
            << std::string(c.format, c.format + wcslen(c.format));
    EXPECT_FALSE(FormatFitsArguments(nullptr, L"d"));
    EXPECT_FALSE(FormatFitsArguments(L"%d", nullptr));
}
