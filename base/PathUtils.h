// Names and paths: unique names, splitting, shell parsing and comparison.
#pragma once
#include <windows.h>

#include <vector>

#include "base/NString.h"

// When something exists at the path in the buffer, replaces it with the first free
// "base (n)ext" for n = 1 to 999, where ext is the file name's extension with its dot (empty
// when the name has none) and base the path before it. The buffer is unchanged when the path
// is free, when all 999 names exist, or when the free name would not fit in size units with
// its NUL. True when the buffer then names a free path.
bool MakeUniquePath(wchar_t* path, int size);
// The same on a string, with the extension lower-cased: "photo.JPG" becomes "photo (1).jpg".
bool MakeUniquePath(NString& path);

// Splits the path at the last dot of its file name: the extension after the dot, lower-cased
// (ASCII letters), and the name before it, folders included. When the extension comes out
// empty it is set empty and the name is left as it was. False for a null path.
bool SplitFileName(const wchar_t* path, NString& name, NString& extension);

// The path's components: the text before the first '\' (empty for a path that starts with
// one), then every further non-empty component. "C:\a\b.txt" gives "C:", "a", "b.txt".
// The vector is emptied first. False for a null path.
bool SplitPathComponents(const wchar_t* path, std::vector<NString>& components);

// Parses the display name in the buffer with the shell's desktop folder and replaces it with
// the item's file-system path. False, the buffer untouched, when the name does not parse, the
// item has no file-system path, or the path does not fit in size units with its NUL.
bool DisplayNameToPath(wchar_t* buffer, int size);

// Equal names ignoring case. On a system with double-byte character support, full-width
// letters must also match in case (and the lengths must agree).
bool IsSameFileName(const wchar_t* first, const wchar_t* second);
// The double-byte rule alone, for names already equal ignoring case: false when the lengths
// differ or when, where the first name holds a full-width character, the character types of the
// two names differ.
bool SameFullWidthCharacterTypes(const wchar_t* first, const wchar_t* second);

// True when the path names the special folder (a CSIDL value): both are turned into
// file-system paths and compared ignoring case. False when either has no file-system path.
bool IsSpecialFolderPath(HWND owner, const wchar_t* path, int csidl);
