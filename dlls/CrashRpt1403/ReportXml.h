// Small helpers for the XML files of a report.
#pragma once
#include <string>

// The text with &, <, >, " and ' as entities, and control characters (but TAB, CR and LF) and
// unpaired surrogates as U+FFFD, so that the result is well-formed XML.
std::wstring XmlEscape(const std::wstring& text);
// Writes the text as UTF-8 (no byte-order mark) into a new file; false when that fails.
bool WriteUtf8File(const std::wstring& path, const std::wstring& text);
