// Display names of EXIF tags, taken from section "EXIF" of the program's texts.
//
// Each known tag number (the GPS tags 0-30, and the tags of IFD 0 and the EXIF IFD) has a key, the
// tag's name as the EXIF 2.2 and TIFF 6.0 standards spell it (for example 271 -> "Make"); the
// program's texts (the language file) give the display text for that key.
#pragma once
#include <cstdint>

#include "base/NString.h"

class NTextSource;

// The standard name of the tag (the language key), or null for a tag without one.
const wchar_t* GetExifTagKey(int32_t tag);

// Puts the display name of the tag into text and answers true when it comes from the texts. A
// null source answers false and leaves text alone. A tag without a key gives "Unknown";
// a known tag whose text the file lacks (or leaves empty, without a reference text) gives the
// tag's standard name; both answer false.
bool GetExifTagDisplayName(NString& text, int32_t tag, const NTextSource* texts);
// The same with the library's text source (false while none is set; see LibraryTexts.h).
bool GetExifTagDisplayName(NString& text, int32_t tag);
