// The source of the image library's display texts (EXIF tag names, progress texts). The window
// framework's application object hands in its language table while it lives; before that, and
// after, the library has no translated texts and uses its built-in ones. Set and read from any
// thread.
#pragma once

#include "base/NString.h"

class NTextSource;

void SetLibraryTextSource(const NTextSource* source);
// Null when none is set.
const NTextSource* GetLibraryTextSource();

// The source's format text (see NTextSource::GetFormatText); builtIn without a source.
NString GetLibraryFormatText(const wchar_t* section, const wchar_t* key, const wchar_t* argumentKinds,
                             const wchar_t* builtIn);
