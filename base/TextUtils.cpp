#include "base/TextUtils.h"

#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {

template <typename Number>
bool FormatSize(wchar_t* buffer, int size, Number value)
{
    if (!buffer || size <= 0)
        return false;
    static const wchar_t* const kUnits[] = {L"Bytes", L"KB", L"MB", L"GB"};
    constexpr int kLastUnit = 3;
    int unit = 0;
    wchar_t number[48];
    // msvcrt's formatter in the "C" locale writes '.' as the decimal point. It leaves a text
    // that fills the buffer without its NUL, so every result is ended explicitly.
    _snwprintf(number, 47, L"%4.0f", static_cast<double>(value));
    number[47] = L'\0';
    while (value > 999 && unit < kLastUnit) {
        value /= 1024;
        ++unit;
        _snwprintf(number, 47, L"%3.2f", static_cast<double>(value));
        number[47] = L'\0';
    }
    _snwprintf(buffer, static_cast<size_t>(size), L"%s %s", number, kUnits[unit]);
    buffer[size - 1] = L'\0';
    return true;
}

}  // namespace

bool ReplaceBarsWithSpaces(wchar_t* text)
{
    if (!text)
        return false;
    for (; *text; ++text) {
        if (*text == L'|')
            *text = L' ';
    }
    return true;
}

bool FormatByteSize(wchar_t* buffer, int size, float bytes)
{
    return FormatSize(buffer, size, bytes);
}

bool FormatByteSize(wchar_t* buffer, int size, double bytes)
{
    return FormatSize(buffer, size, bytes);
}
