// Small texts for the user.
#pragma once

// Replaces every '|' of the text by a blank, in place. False for null.
bool ReplaceBarsWithSpaces(wchar_t* text);

// A byte count as text, cut to size units with the NUL: up to 999 as "%4.0f Bytes", otherwise
// divided by 1024 into KB, MB and at most GB with two decimals ("1.50 KB", "2000.00 GB").
// The decimal point is always '.'. False when the buffer is null or size is 0 or less.
bool FormatByteSize(wchar_t* buffer, int size, float bytes);
bool FormatByteSize(wchar_t* buffer, int size, double bytes);
