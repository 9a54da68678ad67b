#include "UiTestSupport.h"

#include <cstdio>
#include <cstdlib>

#include "common/TestFiles.h"

bool WriteUtf16File(const std::wstring& path, const std::wstring& text, bool byteOrderMark)
{
    std::vector<unsigned char> bytes;
    if (byteOrderMark) {
        bytes.push_back(0xFF);
        bytes.push_back(0xFE);
    }
    for (wchar_t ch : text) {
        bytes.push_back(static_cast<unsigned char>(ch & 0xFF));
        bytes.push_back(static_cast<unsigned char>((ch >> 8) & 0xFF));
    }
    return WriteWholeFile(path, bytes);
}

LogWatch::LogWatch() : path_(ProgramFolder() + L"\\_NLogMsg.txt")
{
    std::vector<unsigned char> bytes;
    if (ReadWholeFile(path_, bytes))
        start_ = bytes.size();
}

std::string LogWatch::NewText() const
{
    std::vector<unsigned char> bytes;
    if (!ReadWholeFile(path_, bytes) || bytes.size() <= start_)
        return std::string();
    return std::string(bytes.begin() + static_cast<std::ptrdiff_t>(start_), bytes.end());
}

TestSkin::TestSkin()
{
    previous_ = SetCurrentSkin(this);
}

TestSkin::~TestSkin()
{
    SetCurrentSkin(previous_);
    if (brush_)
        DeleteObject(brush_);
}

HBRUSH TestSkin::OnCtlColor(HWND, UINT message, HDC dc, HWND control, const NImageBuffer* background,
                            COLORREF staticTextColour)
{
    ++ctlColorCalls;
    lastMessage = message;
    lastControl = control;
    lastBackground = background;
    lastStaticColour = staticTextColour;
    if (brushColour == CLR_INVALID)
        return nullptr;
    if (!brush_)
        brush_ = CreateSolidBrush(brushColour);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, textColour);
    return brush_;
}

COLORREF TestSkin::GetColor(const wchar_t* key)
{
    auto it = colours.find(key ? key : L"");
    return it != colours.end() ? it->second : SkinSeam::GetColor(key);
}

bool TestSkin::LoadJpg(NImageBuffer& picture, const wchar_t* name, bool)
{
    lastPictureName = name ? name : L"";
    if (pictureWidth <= 0)
        return false;
    return picture.Create(pictureWidth, pictureHeight, 24, pictureColour);
}
