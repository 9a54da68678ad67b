#include "imagefile/FormatRegistry.h"

#include "imagefile/PlugInHost.h"

#include <cwchar>

namespace {

struct FileTypeName {
    const wchar_t* extension;
    const wchar_t* description;
};

// Indexed by FileType.
constexpr FileTypeName kFileTypeNames[FT_LAST + 1] = {
    {L"Unknown", L"Unknown Format"},
    {L"ani", L"ANI - Windows (Animated) Cursor"},
    {L"bmp", L"BMP - Windows or OS/2 Bitmap"},
    {L"cam", L"CAM - Casio Cam (JPG Compression)"},
    {L"clp", L"CLP - Windows Clipboard"},
    {L"cut", L"CUT - Dr. Halo"},
    {L"dcx", L"DCX - Multipage PCX"},
    {L"dwg", L"DWG - AutoCAD Drawing (Preview)"},
    {L"emf", L"EMF - Enhanced/Windows Metafile"},
    {L"eps", L"EPS - Encapsulated Postscript (Preview)"},
    {L"flt", L"FLT - BIAS Fringe Processor"},
    {L"gem", L"GEM - Raster Imager"},
    {L"gif", L"GIF - Graphics Interchange File"},
    {L"hdr", L"HDR - High Dynamic Range Image"},
    {L"hrz", L"HRZ - Slow Scan Television"},
    {L"ico", L"ICO - Windows Icon"},
    {L"iff", L"IFF - Amiga IFF"},
    {L"jng", L"JNG - JPEG Network Graphics"},
    {L"jpg", L"JPG - Joint Photographic Experts Group"},
    {L"j2k", L"JP2 - JPEG 2000"},
    {L"jpp", L"JPP - Keirs JPG Format"},
    {L"lvp", L"LVP - LView Pro (Preview)"},
    {L"mac", L"MAC - Mac Paint"},
    {L"mng", L"MNG - Multiple-Image Network Graphics"},
    {L"mov", L"MOV - Apple Quicktime Movie"},
    {L"msp", L"MSP - Microsoft Paint"},
    {L"pcd", L"PCD - Kodak PhotoCD"},
    {L"pct", L"PCT - Apple Macintosh Picture"},
    {L"pcx", L"PCX - ZSoft Paintbrush"},
    {L"pic", L"PIC - Softimage PIC"},
    {L"pix", L"PIX - Alias|Wavefront Image / Esm Software PIX file"},
    {L"png", L"PNG - Portable Network Graphics"},
    {L"ppp", L"PPP - Punk Productions Picture"},
    {L"psd", L"PSD - Adobe Photoshop Document"},
    {L"psp", L"PSP - Paint Shop Pro Image"},
    {L"ras", L"RAS - Sun Raster Format"},
    {L"raw", L"RAW - Digital Camera Image Data"},
    {L"rla", L"RLA - Wavefront RLA"},
    {L"sgi", L"SGI - Silicon Graphics Image"},
    {L"wav", L"SND - Audio"},
    {L"tga", L"TGA - Truevision Graphics Adapter"},
    {L"tif", L"TIF - Tagged Image File"},
    {L"mp4", L"VID - Video"},
    {L"wbmp", L"WBMP - Wireless Bitmap (WAP)"},
    {L"xbm", L"XBM - X Bitmap"},
    {L"zbr", L"ZBR - Zebra Metafile (Preview)"},
    {L"mfalist", L"MFALIST - RUV SlideShow File"},
    {L"pfm", L"PFM - Portable Float Map"},
    {L"PlugIn", L"PlugIn"},
    {L"pdf", L"PDF - Portable Document Format"},
    {L"lmcdoc", L"LMCDOC - Delvarin Lumicade Document"},
    {L"jxr", L"JXR - JPEG eXtended Range (HD Photo/Windows Media Photo)"},
    {L"pic", L"PIC - Pictor PC Paint"},
    {L"pic", L"PIC - AniVGA 1.2 Background"},
    {L"iff", L"IFF - Maya IFF"},
    {L"webp", L"WEBP - Google Image Format"},
    {L"mpo", L"MPO - Multi Picture Object"},
    {L"jps", L"JPS - JPEG Stereo"},
    {L"heic", L"HEIC - High Efficiency Image File Format"},
    {L"svg", L"SVG - Scalable Vector Graphics"},
    {L"avif", L"AVIF - AV1 Image File Format"},
};

struct ExtensionName {
    const wchar_t* extension;   // lower case
    FileType id;
};

// In the order of comparison: the first match decides.
constexpr ExtensionName kExtensions[] = {
    {L"ani", FT_ANI},
    {L"lmcdoc", FT_LMC}, {L"glimdoc", FT_LMC},
    {L"bmp", FT_BMP}, {L"rle", FT_BMP}, {L"dib", FT_BMP}, {L"2bp", FT_BMP},
    {L"cam", FT_CAM},
    {L"clp", FT_CLP},
    {L"cut", FT_CUT},
    {L"dcx", FT_DCX},
    {L"dwg", FT_DWG},
    {L"emf", FT_EMF}, {L"wmf", FT_EMF},
    {L"eps", FT_EPS},
    {L"flt", FT_FLT}, {L"msk", FT_FLT}, {L"img", FT_FLT},
    {L"gem", FT_GEM},
    {L"gif", FT_GIF},
    {L"jxr", FT_JXR}, {L"hdp", FT_JXR}, {L"wdp", FT_JXR},
    {L"hdr", FT_HDR},
    {L"heic", FT_HEIC}, {L"heif", FT_HEIC},
    {L"hrz", FT_HRZ},
    {L"iff", FT_IFF}, {L"lbm", FT_IFF},
    {L"cur", FT_ICO}, {L"ico", FT_ICO},
    {L"jpg", FT_JPG}, {L"jpeg", FT_JPG}, {L"jif", FT_JPG}, {L"jfif", FT_JPG}, {L"jpe", FT_JPG},
    {L"jp2", FT_JP2}, {L"j2c", FT_JP2}, {L"j2k", FT_JP2},
    {L"jpp", FT_JPP},
    {L"jps", FT_JPS},
    {L"lvp", FT_LVP},
    {L"mac", FT_MAC}, {L"pntg", FT_MAC},
    {L"mng", FT_MNG},
    {L"jng", FT_JNG},
    {L"mpo", FT_MPO},
    {L"msp", FT_MSP},
    {L"pcd", FT_PCD},
    {L"pdf", FT_PDF},
    {L"pct", FT_PCT}, {L"qtif", FT_PCT},
    {L"pcx", FT_PCX},
    {L"pic", FT_PIC},
    {L"pix", FT_PIX}, {L"mat", FT_PIX},
    {L"pfm", FT_PFM},
    {L"png", FT_PNG}, {L"apng", FT_PNG},
    {L"ppp", FT_PPP},
    {L"psd", FT_PSD}, {L"pdd", FT_PSD},
    {L"psp", FT_PSP}, {L"pspimage", FT_PSP}, {L"pspframe", FT_PSP}, {L"psptube", FT_PSP},
    {L"pspshape", FT_PSP}, {L"pspmask", FT_PSP},
    {L"ras", FT_RAS}, {L"sun", FT_RAS},
    {L"rla", FT_RLA}, {L"rpf", FT_RLA},
    {L"sgi", FT_SGI}, {L"bw", FT_SGI}, {L"rgb", FT_SGI}, {L"rgba", FT_SGI},
    {L"tga", FT_TGA},
    {L"tif", FT_TIF}, {L"tiff", FT_TIF},
    {L"wbmp", FT_WBMP},
    {L"webp", FT_WEBP},
    {L"zbr", FT_ZBR},
    {L"xbm", FT_XBM},
    // Audio.
    {L"wav", FT_AUDIO}, {L"wax", FT_AUDIO}, {L"mid", FT_AUDIO}, {L"midi", FT_AUDIO},
    {L"aif", FT_AUDIO}, {L"aiff", FT_AUDIO}, {L"aifc", FT_AUDIO}, {L"au", FT_AUDIO},
    {L"flac", FT_AUDIO}, {L"snd", FT_AUDIO}, {L"rmi", FT_AUDIO}, {L"ogg", FT_AUDIO},
    {L"wma", FT_AUDIO}, {L"mp1", FT_AUDIO}, {L"mp2", FT_AUDIO}, {L"mpa", FT_AUDIO},
    {L"mpga", FT_AUDIO}, {L"mp3", FT_AUDIO}, {L"opus", FT_AUDIO}, {L"aac", FT_AUDIO},
    // Video.
    {L"mov", FT_VIDEO}, {L"hdmov", FT_VIDEO}, {L"qt", FT_VIDEO}, {L"avi", FT_VIDEO},
    {L"wm", FT_VIDEO}, {L"wmv", FT_VIDEO}, {L"wvx", FT_VIDEO}, {L"asf", FT_VIDEO},
    {L"flv", FT_VIDEO}, {L"ivf", FT_VIDEO}, {L"mpg", FT_VIDEO}, {L"mpe", FT_VIDEO},
    {L"mpeg", FT_VIDEO}, {L"m1v", FT_VIDEO}, {L"mpv", FT_VIDEO}, {L"mp2v", FT_VIDEO},
    {L"mpv2", FT_VIDEO}, {L"m2v", FT_VIDEO}, {L"divx", FT_VIDEO}, {L"div", FT_VIDEO},
    {L"mp4", FT_VIDEO}, {L"3gp", FT_VIDEO}, {L"3g2", FT_VIDEO}, {L"mkv", FT_VIDEO},
    {L"ogv", FT_VIDEO}, {L"ogm", FT_VIDEO}, {L"m2ts", FT_VIDEO}, {L"m2t", FT_VIDEO},
    {L"mts", FT_VIDEO}, {L"m4v", FT_VIDEO}, {L"mp4v", FT_VIDEO}, {L"mpv4", FT_VIDEO},
    {L"webm", FT_VIDEO},
    // Slide-show lists.
    {L"mfalist", FT_MFALIST}, {L"m3u", FT_MFALIST},
};

constexpr FileType kWriters[] = {
    FT_BMP, FT_GIF, FT_ICO, FT_JNG, FT_JPG, FT_JP2, FT_MNG, FT_PCX, FT_PIX, FT_PNG,
    FT_PPP, FT_PSD, FT_RAS, FT_SGI, FT_TGA, FT_TIF, FT_PDF, FT_LMC, FT_JXR, FT_WEBP,
};

constexpr int kExtensionCapacity = 16;    // 15 characters and the terminator

// The text after the last '.', cut to 15 characters and lower-cased (ASCII letters only).
// False for a null name or a name without a '.'.
bool ExtensionOf(const wchar_t* fileName, wchar_t (&extension)[kExtensionCapacity])
{
    extension[0] = L'\0';
    if (!fileName)
        return false;
    const wchar_t* dot = std::wcsrchr(fileName, L'.');
    if (!dot)
        return false;
    int length = 0;
    for (const wchar_t* p = dot + 1; *p && length < kExtensionCapacity - 1; ++p) {
        wchar_t ch = *p;
        if (ch >= L'A' && ch <= L'Z')
            ch = static_cast<wchar_t>(ch - L'A' + L'a');
        extension[length++] = ch;
    }
    extension[length] = L'\0';
    return true;
}

FileType BuiltInFormat(const wchar_t* extension)
{
    for (const ExtensionName& entry : kExtensions) {
        if (std::wcscmp(entry.extension, extension) == 0)
            return entry.id;
    }
    return FT_UNKNOWN;
}

bool PlugInListsExtension(const wchar_t* extension, bool forWriting)
{
    return FindPlugInForExtension(extension, forWriting) >= 0;
}

bool HasWriter(FileType id)
{
    for (FileType writer : kWriters) {
        if (writer == id)
            return true;
    }
    return false;
}

// "somefile." and the first three characters of the id's description.
void NameFromDescription(FileType id, wchar_t (&name)[16])
{
    std::wcscpy(name, L"somefile.");
    std::wcsncat(name, FileTypeToString(id), 3);
}

}  // namespace

const wchar_t* FileTypeToString(FileType id)
{
    if (id < 0 || id > FT_LAST)
        return L"FileTypeToString: Unknown FileType";
    return kFileTypeNames[id].description;
}

const wchar_t* FileTypeToExtension(FileType id)
{
    if (id < 0 || id > FT_LAST)
        return L"Unknown";
    return kFileTypeNames[id].extension;
}

bool CopyFileTypeDescription(wchar_t* buffer, int capacity, FileType id)
{
    if (!buffer || capacity < 1 || id < 0)
        return false;
    const wchar_t* text;
    size_t length;
    if (id == FT_PLUGIN) {
        const PlugInRecord* record = GetCurrentPlugIn();
        if (!record) {
            buffer[0] = L'\0';
            return false;
        }
        // The name comes from the DLL: never read past its field.
        text = record->name;
        length = wcsnlen(text, sizeof(record->name) / sizeof(record->name[0]));
    } else {
        text = FileTypeToString(id);
        length = std::wcslen(text);
    }
    if (length > static_cast<size_t>(capacity) - 1)
        length = static_cast<size_t>(capacity) - 1;
    std::wmemcpy(buffer, text, length);
    buffer[length] = L'\0';
    return true;
}

FileType FormatFromExtension(const wchar_t* fileName)
{
    wchar_t extension[kExtensionCapacity];
    if (!ExtensionOf(fileName, extension))
        return FT_UNKNOWN;
    const FileType builtIn = BuiltInFormat(extension);
    if (builtIn != FT_UNKNOWN)
        return builtIn;
    return PlugInListsExtension(extension, false) ? FT_PLUGIN : FT_UNKNOWN;
}

bool CanReadExtension(const wchar_t* fileName)
{
    const FileType id = FormatFromExtension(fileName);
    if (id == FT_UNKNOWN)
        return false;
    if (id != FT_PLUGIN)
        return true;
    wchar_t extension[kExtensionCapacity];
    return ExtensionOf(fileName, extension) && PlugInListsExtension(extension, false);
}

bool CanWriteExtension(const wchar_t* fileName)
{
    const FileType id = FormatFromExtension(fileName);
    if (id != FT_PLUGIN)
        return HasWriter(id);
    wchar_t extension[kExtensionCapacity];
    return ExtensionOf(fileName, extension) && PlugInListsExtension(extension, true);
}

bool CanReadFileType(FileType id)
{
    wchar_t name[16];
    NameFromDescription(id, name);
    return CanReadExtension(name);
}

bool CanWriteFileType(FileType id)
{
    wchar_t name[16];
    NameFromDescription(id, name);
    return CanWriteExtension(name);
}
