#include "SkinTestSupport.h"

#include <vector>

#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"

SkinFolder::SkinFolder(const std::wstring& name) : name_(name)
{
    root_ = ProgramFolder() + L"\\Skins";
    CreateDirectoryW(root_.c_str(), nullptr);
    folder_ = root_ + L"\\" + name;
    CreateDirectoryW(folder_.c_str(), nullptr);
}

SkinFolder::~SkinFolder()
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((folder_ + L"\\*").c_str(), &data);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            DeleteFileW((folder_ + L"\\" + data.cFileName).c_str());
        } while (FindNextFileW(find, &data));
        FindClose(find);
    }
    RemoveDirectoryW(folder_.c_str());
    RemoveDirectoryW(root_.c_str());  // only when no other skin folder is left
}

void SkinFolder::Ini(const std::wstring& body)
{
    const std::string text(body.begin(), body.end());
    WriteWholeFile(folder_ + L"\\" + name_ + L".ini", text.data(), text.size());
}

bool SkinFolder::Picture(const std::wstring& picture, NImageBuffer& image)
{
    return SaveImageFile(&image, (folder_ + L"\\" + name_ + picture + L".png").c_str(), FT_PNG, nullptr) == NR_OK;
}

bool SkinFolder::CopyFrom(const std::wstring& source)
{
    WIN32_FIND_DATAW data;
    HANDLE find = FindFirstFileW((source + L"\\*").c_str(), &data);
    if (find == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    int copied = 0;
    do {
        if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        ok = CopyFileW((source + L"\\" + data.cFileName).c_str(), (folder_ + L"\\" + data.cFileName).c_str(),
                       FALSE) && ok;
        ++copied;
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return ok && copied > 0;
}

bool MakePicture(NImageBuffer& picture, int width, int height, int bitsPerPixel, COLORREF colour)
{
    if (!picture.Create(width, height, bitsPerPixel, colour))
        return false;
    PaintBlock(picture, 0, 0, width, height, colour);
    return true;
}

void PaintBlock(NImageBuffer& picture, int x, int y, int width, int height, COLORREF colour, BYTE alpha)
{
    if (picture.bpp != 32) {
        NImageRect block = {x, y, width, height};
        picture.FillRect(&block, colour);
        return;
    }
    GdiFlush();
    for (int row = y; row < y + height && row < picture.height; ++row) {
        uint8_t* line = picture.bits + static_cast<size_t>(picture.height - 1 - row) * picture.stride;
        for (int column = x; column < x + width && column < picture.width; ++column) {
            uint8_t* pixel = line + column * 4;
            pixel[0] = GetBValue(colour);
            pixel[1] = GetGValue(colour);
            pixel[2] = GetRValue(colour);
            pixel[3] = alpha;
        }
    }
}
