// WicReader: the first frame of a picture file decoded by the Windows Imaging Component, with
// whatever codecs the system has installed (the HEIF codec for HEIC files, for one).
#pragma once

#include "docobjects/NResult.h"

class NImageBuffer;

// Initialises COM on the calling thread for the call (and uninitialises it only when this call
// initialised it). The frame is converted to 32-bit B,G,R,A by WIC, then flattened over white to
// 24 bpp; the resolution is the frame's, rounded to whole dots per inch (96 when the frame has
// none). 205 when the imaging factory cannot be made; 203 when no installed decoder takes the
// file (the target is then untouched); 404 when the frame, its size or its pixels cannot be read
// (the target is then destroyed); 403 when the picture cannot be made.
NRESULT DecodeWithWic(const wchar_t* path, NImageBuffer& target);

// True when an installed decoder of the Imaging Component names the extension (".heic", say;
// compared without regard to case) among its file extensions. Initialises COM on the calling
// thread for the call, as DecodeWithWic does.
bool WicHasDecoderFor(const wchar_t* extension);
