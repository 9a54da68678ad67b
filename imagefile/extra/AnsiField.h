// Text fields of picture headers (names, comments, descriptions) that are stored as bytes in the
// system's ANSI code page.
#pragma once

#include <cstddef>

#include "base/NString.h"

// The bytes up to the first NUL, but never more than `capacity`, converted from the ANSI code page.
// An empty field gives an empty text.
NString AnsiFieldText(const void* bytes, size_t capacity);
