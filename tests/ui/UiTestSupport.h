// Helpers of the window-framework tests: language files, log reading, driving modal dialogs,
// window captures and a stand-in skin.
#pragma once
#include <windows.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/WindowDriver.h"
#include "imaging/NImageBuffer.h"
#include "ui/SkinSeam.h"

// Writes text as a UTF-16 little-endian file, with the byte-order mark unless told otherwise.
bool WriteUtf16File(const std::wstring& path, const std::wstring& text, bool byteOrderMark = true);

// Watches the library log from the moment it is made.
class LogWatch {
public:
    LogWatch();
    // The text written to the log since construction.
    std::string NewText() const;
    bool Saw(const char* text) const { return NewText().find(text) != std::string::npos; }

private:
    std::wstring path_;
    size_t start_ = 0;
};

// A skin for tests: colours by key, one picture for every LoadJpg, and control colouring with a
// solid brush of a chosen colour. Installed for its lifetime.
class TestSkin : public SkinSeam {
public:
    TestSkin();
    ~TestSkin() override;
    HBRUSH OnCtlColor(HWND parent, UINT message, HDC dc, HWND control, const NImageBuffer* background,
                      COLORREF staticTextColour) override;
    COLORREF GetColor(const wchar_t* key) override;
    bool LoadJpg(NImageBuffer& picture, const wchar_t* name, bool scale) override;

    std::map<std::wstring, COLORREF> colours;
    // LoadJpg answers a solid picture of this size and colour (none when width is 0).
    int pictureWidth = 0;
    int pictureHeight = 0;
    COLORREF pictureColour = 0;
    // OnCtlColor: a brush of this colour, text in textColour; null brush when brushColour is CLR_INVALID.
    COLORREF brushColour = CLR_INVALID;
    COLORREF textColour = 0;
    std::wstring lastPictureName;
    // What OnCtlColor was asked last.
    UINT lastMessage = 0;
    HWND lastControl = nullptr;
    const NImageBuffer* lastBackground = nullptr;
    COLORREF lastStaticColour = 0;
    int ctlColorCalls = 0;

private:
    HBRUSH brush_ = nullptr;
    SkinSeam* previous_ = nullptr;
};
