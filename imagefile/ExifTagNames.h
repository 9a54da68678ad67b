// Display names of EXIF tags, taken from section "EXIF" of a language table.
//
// Each known tag number (the GPS tags 0-30, and the tags of IFD 0 and the EXIF IFD) has a key, the
// tag's name as the EXIF 2.2 and TIFF 6.0 standards spell it (for example 271 -> "Make"); the
// language file gives the display text for that key.
#pragma once
#include <cstdint>

#include "base/NString.h"

class NLanguage;

// The standard name of the tag (the language key), or null for a tag without one.
const wchar_t* GetExifTagKey(int32_t tag);

// Puts the display name of the tag into text and answers true when it comes from the language
// file. A null table answers false and leaves text alone. A tag without a key gives "Unknown";
// a known tag whose text the file lacks (or leaves empty, without a reference text) gives the
// tag's standard name; both answer false.
bool GetExifTagDisplayName(NString& text, int32_t tag, const NLanguage* language);
// The same with the application's language table (false without an application object).
bool GetExifTagDisplayName(NString& text, int32_t tag);
