#include "base/DialogNumbers.h"

#include <cstdlib>
#include <cwchar>

namespace {
constexpr int kTextUnits = 348;
}

double GetDlgItemDouble(HWND dialog, int item, double& value)
{
    wchar_t text[kTextUnits] = {};
    GetDlgItemTextW(dialog, item, text, kTextUnits);
    value = wcstod(text, nullptr);
    return value;
}

bool SetDlgItemDouble(HWND dialog, int item, double value)
{
    // _gcvt needs room for 8 digits, sign, point and exponent; the rest is margin.
    char digits[kTextUnits + 1] = {};
    _gcvt(value, 8, digits);
    wchar_t text[kTextUnits + 1] = {};
    MultiByteToWideChar(CP_ACP, 0, digits, -1, text, kTextUnits + 1);
    text[kTextUnits] = L'\0';
    return SetDlgItemTextW(dialog, item, text) != FALSE;
}
