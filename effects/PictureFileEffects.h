// Effects that combine the picture with a picture file shipped beside the program: the grain
// texture "Frames\Shape\Border\grainy.jpg" and the pictures of the folder "Masks", both below the
// program's folder. See EffectPixels.h for the conventions of the effects.
//
// The effects cannot read picture files themselves: the caller sets a loader once (the program
// hands over its image file layer). Without a loader, or when the loader answers false or gives an
// invalid picture, the file counts as missing: TextureOverlay then refuses, the other effects
// leave out their file step and still answer true.
//
// Paths are built in buffers of MAX_PATH characters. A path that does not fit (an overlong mask
// name) counts as missing: it is never cut down to the name of some other file and loaded.
// Once a picture file has loaded, a step that cannot get its memory makes PictureOverlay and
// MaskFrame refuse with the picture unchanged.
//
// The program's loader is meant to be its image file layer, for instance
//   LoadImageIntoBitmap(target, path, 0, 1, nullptr, 0) == 0
#pragma once

#include <windows.h>

#include "imaging/NImageBuffer.h"

// Reads the picture file at path into target; true when target holds the picture.
using PictureFileLoader = bool (*)(NImageBuffer& target, const wchar_t* path);

// The loader every effect of this file uses from now on; null makes every file missing.
void SetPictureFileLoader(PictureFileLoader loader);

// The folder the pictures are looked up under in place of the program's folder (null, or an empty
// text, goes back to the program's folder). Meant for tests and for tools that run from elsewhere.
void SetPictureFileFolder(const wchar_t* folder);

// AgedPhotoTone; then, when the grain texture loads, every channel becomes c * g / 255 with g the
// grey of the texture stretched (Lanczos3) over the picture; then saturation -100. Any valid
// picture; the result has 24 bpp (AgedPhotoTone's).
bool GrainyOldPhoto(NImageBuffer& picture);

// GrainyOldPhoto, then Warmth (10) twice.
bool GrainyOldPhotoWarm(NImageBuffer& picture);

// Hard light of the mask picture `name`, tiled from the bottom-left corner, over the picture: with
// g the texture's blue byte (its grey for a grey texture), each channel c becomes g * c >> 7 when
// g < 128, else 255 - ((255 - c) * (255 - g) >> 7). 24 and 32 bpp; false when the texture does
// not load.
bool TextureOverlay(NImageBuffer& picture, const wchar_t* name);

// Draws the mask picture `name`, stretched (Lanczos3) over the whole picture, with the constant
// alpha (0..255) and the mask's own alpha. A mask without alpha counts as opaque, so it is drawn
// at the constant alpha alone. Any valid picture; the alpha of a 32-bpp picture stays. An alpha
// outside 0..255 is refused.
bool PictureOverlay(NImageBuffer& picture, const wchar_t* name, int alpha);

// Frames the picture through the mask picture `name`, stretched (Lanczos3) over it and taken as
// grey: white shows the picture, black the frame colour, grey mixes them. Any valid picture; it
// becomes 24 bpp when the mask loads, and stays as it was when it does not.
bool MaskFrame(NImageBuffer& picture, const wchar_t* name, COLORREF frameColour);
