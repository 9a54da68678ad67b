// Dehaze: removes haze from a photograph with the dark channel prior. The haze colour (the
// atmospheric light) and a transmission map are estimated on a work copy, the map is refined by a
// colour guided filter with the work copy as guide, and the haze-free colours are recovered at
// full size (DehazeSteps.h has the steps). See EffectPixels.h for the conventions of the effects.
#pragma once

#include "base/ProgressSink.h"
#include "imaging/NImageBuffer.h"

// The picture becomes its dehazed self at 24 bpp (alpha flattened first), of its own size and
// resolution. With reduce, pictures of more than 1,000,000 pixels are analysed at half width and
// height (Lanczos3) and only the refined transmission is scaled back up. guidedRadius is the
// guided filter's window radius in work-copy pixels (negative counts as 0). Any valid picture.
//
// progress, when given, shows "Calculating dark areas", "Calculating light areas", "Calculating
// colors" (with the filter's rows in percent), "Finalizing" and ends at 1 of 1 with "Finished".
// Every step's time goes to the library log as "<step>: took <n> msec (<s> seconds)".
// False (picture unchanged, one log line) for an invalid picture or when memory runs out.
bool Dehaze(NImageBuffer& picture, bool reduce, int guidedRadius, NProgressSink* progress);

// True when a picture of that size is analysed on a reduced work copy.
bool DehazeReduces(int width, int height, bool reduce);
// The reduced work copy: half the width and height (integer halves, at least 1), Lanczos3,
// keeping the aspect ratio; a 24-bpp picture.
bool MakeDehazeWorkCopy(const NImageBuffer& picture, NImageBuffer& work);
// The dark channel's and the transmission's window radius for a work copy of that size:
// 0.02 min(width, height), rounded half away from zero.
int DehazePatchRadius(int width, int height);
