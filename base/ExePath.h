// Where the running program lies.
#pragma once
#include "base/NString.h"

// The folder of the program file (no trailing backslash except for a drive root), copied into
// the buffer and cut to size units including the NUL. The buffer is untouched when the module
// path cannot be read, the buffer is null or size is 0 or less.
void GetExeDirectory(wchar_t* buffer, int size);
// The same folder into the string; false, the string untouched, when it cannot be read.
bool GetExeDirectory(NString& folder);
// The program file's full path; false, the string untouched, when it cannot be read.
bool GetExePath(NString& path);
