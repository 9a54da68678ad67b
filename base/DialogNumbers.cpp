#include "base/DialogNumbers.h"

#include <cstdlib>
#include <cwchar>

#include "base/Utf8.h"

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
    return SetDlgItemTextW(dialog, item, WideFromAnsi(digits).c_str()) != FALSE;
}
