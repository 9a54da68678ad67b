#include "app/ImageErrorText.h"

namespace {

struct ErrorEntry {
    int code;
    const wchar_t* text;
};

const ErrorEntry kErrorTexts[] = {
    {0, L"No Error"},
    {2, L"Not implemented"},
    {3, L"Not supported"},
    {100, L"File not found"},
    {101, L"File invalid size"},
    {102, L"File error"},
    {103, L"File failed open read"},
    {104, L"File failed open write"},
    {200, L"Format wrong ID"},
    {201, L"Format unknown"},
    {202, L"Format not supported"},
    {203, L"Format compression not supported"},
    {204, L"Format invalid"},
    {205, L"Format initialization"},
    {206, L"Format subfeature not supported"},
    {300, L"Memory allocation failed"},
    {301, L"Memory compression failed"},
    {302, L"Memory decompression failed"},
    {303, L"Memory insufficient"},
    {400, L"Image not valid"},
    {401, L"Image wrong Bpp"},
    {402, L"Image wrong format"},
    {403, L"Image creation failed"},
    {404, L"Image decode failed"},
    {405, L"Image encode failed"},
    {500, L"Resource not valid"},
    {501, L"Resource load failed"},
    {600, L"PlugIn missing"},
    {601, L"PlugIn struct size invalid"},
    {602, L"PlugIn function pointer"},
    {603, L"PlugIn initialize"},
};

}  // namespace

const wchar_t* ImageErrorText(int code)
{
    for (const ErrorEntry& entry : kErrorTexts) {
        if (entry.code == code)
            return entry.text;
    }
    return L"Unknown Error";
}
