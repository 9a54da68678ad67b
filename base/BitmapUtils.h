// Bitmap helpers: recolouring, centred resource bitmaps and DIB colour tables.
#pragma once
#include <windows.h>

// In a 24-bit DIB section, every pixel equal to the from colour becomes the to colour (COLORREF
// values 0x00BBGGRR); row padding is never touched. False, nothing changed, for any other
// bitmap or one without pixel memory.
bool RecolorBitmap(HBITMAP* bitmap, COLORREF from, COLORREF to);

// A width x height bitmap filled with the background colour, with the bitmap resource (loaded
// as a DIB section of pictureWidth x pictureHeight, its key-colour pixels turned into the
// background colour) drawn centred on it. The caller owns the result; null on failure.
HBITMAP LoadCenteredBitmap(HINSTANCE module, int width, int height, int pictureWidth, int pictureHeight,
                           UINT resourceId, COLORREF keyColor, COLORREF backgroundColor);

// Entries of the colour table that follows a bitmap header: for a BITMAPCOREHEADER (size 12) by
// its bit count; for a BITMAPINFOHEADER (size 40 or more) its biClrUsed when not 0, else by bit
// count. Bit counts 1, 4 and 8 give 2, 16 and 256; others 0. A table never has more than 256
// entries (a larger biClrUsed counts as 256, as GDI reads it), so a hostile header cannot
// make a caller read or skip a huge table. 0 for a null header or an unknown header size.
unsigned GetDibColorTableEntries(const BITMAPINFOHEADER* header);
// The colour table's size in bytes: entries x 3 for a core header, x 4 otherwise.
unsigned GetDibColorTableSize(const BITMAPINFOHEADER* header);
