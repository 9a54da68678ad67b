// Helpers of the skin tests: skin folders beside the test program and small pictures.
#pragma once
#include <windows.h>

#include <string>

#include "imaging/NImageBuffer.h"

// A skin folder "Skins\<name>" beside the test program, removed with its files afterwards.
class SkinFolder {
public:
    explicit SkinFolder(const std::wstring& name);
    ~SkinFolder();
    SkinFolder(const SkinFolder&) = delete;
    SkinFolder& operator=(const SkinFolder&) = delete;

    const std::wstring& Path() const { return folder_; }
    // Writes "<name>.ini" (ANSI text).
    void Ini(const std::wstring& body);
    // Writes "<name><picture>.png".
    bool Picture(const std::wstring& picture, NImageBuffer& image);
    // Copies every file of the folder into the skin folder.
    bool CopyFrom(const std::wstring& source);

private:
    std::wstring name_, root_, folder_;
};

// An opaque picture of one colour (alpha 255 at 32 bits).
bool MakePicture(NImageBuffer& picture, int width, int height, int bitsPerPixel, COLORREF colour);
// Paints a block (top-down coordinates) in the colour with the alpha (32 bits; 24 bits ignore it).
void PaintBlock(NImageBuffer& picture, int x, int y, int width, int height, COLORREF colour, BYTE alpha = 255);
