// Decimal numbers in dialog items.
#pragma once
#include <windows.h>

// The item's text (at most 347 units) read as a number with '.' as the decimal point; 0 when
// it holds none. Stored in value and returned.
double GetDlgItemDouble(HWND dialog, int item, double& value);
// Sets the item's text to the number with 8 significant digits ("3.1415927"); the result of
// SetDlgItemTextW.
bool SetDlgItemDouble(HWND dialog, int item, double value);
