// The fixed English text of an image-file result code (shown in error placeholders).
#pragma once
#include "docobjects/NResult.h"

// "Unknown Error" for a code without an entry.
const wchar_t* ImageErrorText(int code);  // an NRESULT
