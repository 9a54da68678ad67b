// Checking a printf-style format that comes from outside the program (a language file) against
// the arguments the program passes with it, before the format is used.
#pragma once

// argumentKinds names the caller's arguments in order: 'd' an int (taken by %d %i %u %x %X %o %c),
// 's' a wide string (%s, %ls, %ws), 'f' a double (%f %e %g %a and their capitals).
// True when each conversion takes the kind of the argument at its place and the format uses no
// more arguments than given. False for a null format or kinds, for %n and %p, for '*' widths,
// positional '$' arguments, a width or precision above 999, size prefixes other than h and l
// (w for strings), narrow %S, an unknown conversion and a format that ends inside a conversion.
// "%%" is a literal percent sign.
bool FormatFitsArguments(const wchar_t* format, const wchar_t* argumentKinds);
