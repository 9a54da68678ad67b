// Conversions between UTF-16 and 8-bit texts.
// UTF-8 <-> UTF-16 (NString) and a UTF-8 validity test follow RFC 3629: code points up to
// U+10FFFF, no surrogates, no overlong forms; those above U+FFFF are surrogate pairs in UTF-16.
// The ANSI code page (CP_ACP) <-> UTF-16 convert as Windows does: a character the code page lacks
// becomes its default character ('?'), bytes that form no character become U+FFFD.
#pragma once

#include <cstddef>
#include <string>

class NString;

// True when the bytes are well-formed UTF-8 from start to end (an empty text is valid; a text that
// ends inside a multi-byte sequence is not).
bool IsValidUtf8(const void* bytes, size_t length);

// Converts a NUL-terminated UTF-8 text (null counts as empty) and assigns it to `result`. Invalid
// input makes `result` an allocated empty string and answers false.
bool NStringFromUtf8(const char* text, NString& result);
// The same for a whole byte string; a zero byte ends the text that `result` can hold.
bool NStringFromUtf8(const std::string& text, NString& result);

// Converts the text to UTF-8 and replaces `result` with it. A text holding an unpaired surrogate
// answers false and leaves `result` as it was; a string in the null state gives an empty result.
bool NStringToUtf8(const NString& text, std::string& result);

// `length` bytes of ANSI text as UTF-16; zero bytes are converted like any other. Empty for a
// null text, a length of 0 or above INT_MAX, or when the conversion fails.
std::wstring WideFromAnsi(const char* text, size_t length);
// A NUL-terminated ANSI text (null counts as empty).
std::wstring WideFromAnsi(const char* text);

// `length` bytes of ANSI text as an allocated NString, ended by the first zero byte among them and
// cut to maxCharacters; empty for a null text or when the conversion fails.
NString NStringFromAnsi(const char* text, size_t length, size_t maxCharacters);

// `length` UTF-16 units as ANSI bytes; zero units are converted like any other. Empty for a null
// text, a length of 0 or above INT_MAX, or when the conversion fails.
std::string AnsiFromWide(const wchar_t* text, size_t length);
// A NUL-terminated UTF-16 text (null counts as empty).
std::string AnsiFromWide(const wchar_t* text);
// The same cut to its first maxBytes bytes.
std::string AnsiFromWideCut(const wchar_t* text, size_t maxBytes);
