// The filter string of an open-file dialog (OPENFILENAMEW::lpstrFilter): pairs of a description
// and a pattern, each NUL-terminated, ended by one more NUL. It offers the common formats, all
// files, the media groups (unless pictures only), one row per picture format of the image
// library and one row "PLUGIN - ..." per format plug-in that reads.
#pragma once

// False for a null buffer, a capacity below 1, or a capacity too small for the whole string
// (the buffer then holds an empty filter, never a cut one). Capacity in UTF-16 units.
bool BuildOpenFileFilter(wchar_t* buffer, int capacity, bool picturesOnly);

// Units the whole string needs, its final NUL included.
int OpenFileFilterUnits(bool picturesOnly);
