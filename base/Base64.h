// Base64 (RFC 4648 alphabet, '=' padding) for byte texts, and a wide-text front end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

class NString;

// The 64 characters in the order of their 6-bit values.
inline constexpr std::string_view Base64Alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

// The Base64 text of the bytes: padded with '=' to a multiple of 4, no line breaks.
std::string Base64Encode(const void* bytes, size_t length);

// Decodes a Base64 text. Blanks, TABs and line breaks are skipped; '=' ends the data and may be
// followed only by more padding and white space. Answers true when the whole text was well formed;
// on false, `bytes` holds what was decoded before the offending character (a lone trailing
// character, which carries no whole byte, also answers false).
bool Base64Decode(std::string_view text, std::string& bytes);

// The same, answering just the bytes decoded before the first character that ends the decoding.
std::string Base64Decode(std::string_view text);

// Decodes a Base64 source whose bytes are text in the ANSI code page. Answers true and assigns the
// text (up to its first zero byte) to `result` when the source decoded completely to a non-empty
// text. An empty or malformed source answers false and leaves `result` as it was; a well-formed
// source that decodes to nothing answers false with `result` empty.
bool DecodeBase64Text(const NString& source, NString& result);
