#include "imagefile/OpenDialogFilter.h"

#include <cwchar>

#include "imagefile/PlugInHost.h"

namespace {

struct FilterRow {
    const wchar_t* description;
    const wchar_t* pattern;
};

const FilterRow kFullHead[] = {
    {L"Common",
     L"*.ico;*.webp;*.jp2;*.gif;*.jxr;*.jpg;*.jpeg;*.png;*.tga;*.tif;*.bmp;*.psd;*.mp3;*.wma;*.avi;*.mpg;*.mov;"
     L"*.wmv;*.lmcdoc;*.glimdoc"},
    {L"All Files", L"*.*"},
    {L"Video Files",
     L"*.avi;*.asf;*.wmv;*.mpg;*.mpeg;*.mpe;*.mov;*.3gp;*.3g2;*.divx;*.flv;*.mkv;*.webm;*.ogv;*.ogm;*.m2ts;*.mts;"
     L"*.mp4;*.opus"},
    {L"Audio Files", L"*.wav;*.au;*.aif;*.snd;*.mid;*.rmi;*.wma;*.mp3;*.mp2;*.mp1;*.ogg;*.flac;*.opus;*.aac"},
    {L"Music Files", L"*.mp3;*.wma;*.ogg;*.flac;*.wav;*.aac;*.opus"},
    {L"Windows Media", L"*.wma;*.wmv;*.wm;*.asf;*.asx;*.wmx"},
    {L"Apple QuickTime", L"*.mov;*.qt"},
    {L"MPEG 4 (Mobile)", L"*.mp4;*.3gp;*.3g2"},
    {L"SlideShow/PlayList", L"*.mfalist;*.m3u"},
};

const FilterRow kPicturesHead[] = {
    {L"Common", L"*.ico;*.webp;*.jp2;*.gif;*.jxr;*.jpg;*.jpeg;*.png;*.tga;*.tif;*.bmp;*.psd;*.lmcdoc;*.glimdoc"},
    {L"All Files", L"*.*"},
};

// One row per picture format of the image library.
const FilterRow kFormatRows[] = {
    {L"2BP - Pocket PC Bitmap (*.2bp)", L"*.2bp"},
    {L"LMCDOC - Delvarin Lumicade Document (*.lmcdoc)", L"*.lmcdoc;*.glimdoc"},
    {L"AVIF - AV1 Image File Format(*.avif)", L"*.avif"},
    {L"BMP - Windows or OS/2 Bitmap (*.bmp;*.rle;*.dib)", L"*.bmp;*.rle;*.dib"},
    {L"CAM - Casio Cam Format (JPG-Version) (*.cam)", L"*.cam"},
    {L"CLP - Windows Clipboard (*.clp)", L"*.clp"},
    {L"CUR - Windows (Animated) Cursor (*.cur;*.ani)", L"*.cur;*.ani"},
    {L"CUT - Dr. Halo (*.cut)", L"*.cut"},
    {L"DCX - Multipage PCX (*.dcx)", L"*.dcx"},
    {L"DWG - AutoCAD Drawing (Preview) (*.dwg)", L"*.dwg"},
    {L"EMF - Enhanced/Windows Metafile (*.emf;*.wmf)", L"*.emf;*.wmf"},
    {L"EPS - Encapsulated Postscript Preview (*.eps)", L"*.eps"},
    {L"FLT - BIAS Fringe Processor (*.flt;*.msk;*.img)", L"*.flt;*.msk;*.img"},
    {L"GEM - Raster Image (*.img;*.gem)", L"*.img;*.gem"},
    {L"GIF - Graphics Interchange FileFormat (*.gif)", L"*.gif"},
    {L"HDR - High Dynamic Range Image (*.hdr;*.pic)", L"*.hdr;*.pic"},
    {L"HEIC - High Efficiency Image File Format (*.heic;*.heif)", L"*.heic;*.heif"},
    {L"HRZ - Slow Scan Television (*.hrz)", L"*.hrz"},
    {L"ICO - Windows Icon (*.ico)", L"*.ico"},
    {L"IFF - Amiga IFF / Maya IFF (*.iff;*.lbm)", L"*.iff;*.lbm"},
    {L"JNG - JPEG Network Graphics (*.jng)", L"*.jng"},
    {L"JPG - JPEG/JFIF (*.jpg;*.jpeg;*.jif;*.jfif;*.jpe)", L"*.jpg;*.jpeg;*.jif;*.jfif;*.jpe"},
    {L"JP2 - JPEG 2000 Image (*.jp2; *.j2c; *.j2k)", L"*.jp2;*.j2c;*.j2k"},
    {L"JPP - Keirs JPG Format (*.jpp)", L"*.jpp"},
    {L"JPS - JPEG Stereo (*.jps)", L"*.jps"},
    {L"JXR - JPEG eXtended Range (HD Photo) (*.jxr;*.hdp;*.wdp)", L"*.jxr;*.hdp;*.wdp"},
    {L"LVP - LView Pro Image (*.lvp)", L"*.lvp"},
    {L"MAC - Mac Paint (*.mac;*.pntg)", L"*.mac;*.pntg"},
    {L"MNG - Multiple-Image Network Graphics (*.mng)", L"*.mng"},
    {L"MPO - Multi Picture Object  (*.mpo)", L"*.mpo"},
    {L"MSP - Microsoft Paint (*.msp)", L"*.msp"},
    {L"PCD - Kodak PhotoCD (*.pcd)", L"*.pcd"},
    {L"PCT - Apple Macintosh Picture (*.pct;*.qtif)", L"*.pct;*.qtif"},
    {L"PCX - ZSoft Paintbrush (*.pcx)", L"*.pcx"},
    {L"PFM - Portable Float Map (*.pfm)", L"*.pfm"},
    {L"PIC - Softimage PIC/Pictor PC Paint/AniVGA (*.pic)", L"*.pic"},
    {L"PIX - Alias|Wavefront Image (*.pix)", L"*.pix"},
    {L"PNG - Portable Network Graphics (*.png)", L"*.png"},
    {L"PPP - Punk Productions Picture (*.ppp)", L"*.ppp"},
    {L"PSD - Photoshop Document (*.psd;*.pdd)", L"*.psd;*.pdd"},
    {L"PSP - Paint Shop Pro Image (Preview) (*.psp)", L"*.psp;*.pspimage;*.pspframe;*.psptube;*.pspshape;*.pspmask"},
    {L"RAS - Sun Raster Image (*.ras;*.sun)", L"*.ras;*.sun"},
    {L"RLA - Wavefront RLA (*.rla;*.rpf)", L"*.rla;*.rpf"},
    {L"SGI - Silicon Graphics Image (*.sgi;*.rgb;*.bw)", L"*.bw;*.rgba;*.sgi;*.rgb"},
    {L"SVG - Scalable Vector Graphics (*.svg)", L"*.svg"},
    {L"TGA - Truevision Graphics Adapter (*.tga)", L"*.tga"},
    {L"TIF - Tagged Image File (*.tif;*.tiff)", L"*.tif;*.tiff"},
    {L"WBMP - Wireless Bitmap (WAP) (*.wbmp)", L"*.wbmp"},
    {L"WEBP - Google Image Format (*.webp)", L"*.webp"},
    {L"XBM - X Bitmap (*.xbm)", L"*.xbm"},
    {L"ZBR - Zebra Metafile Preview (*.zbr)", L"*.zbr"},
};

constexpr int kPlugInDescriptionUnits = sizeof(PlugInRecord::filterDescription) / sizeof(wchar_t);
constexpr int kPlugInPatternUnits = sizeof(PlugInRecord::filterPattern) / sizeof(wchar_t);

// Appends NUL-terminated texts to a buffer of fixed capacity; once a text does not fit, the
// writer stops and remembers that it overflowed.
class FilterWriter {
public:
    FilterWriter(wchar_t* buffer, int capacity) : buffer_(buffer), capacity_(capacity) {}

    // Appends at most maxUnits units of text (fewer when it ends sooner) and a NUL.
    void Text(const wchar_t* text, size_t maxUnits = static_cast<size_t>(-1))
    {
        size_t length = text ? wcsnlen(text, maxUnits) : 0;
        Units(text, length);
        Units(L"", 1);
    }
    void Row(const FilterRow& row)
    {
        Text(row.description);
        Text(row.pattern);
    }
    void Units(const wchar_t* units, size_t count)
    {
        if (overflow_ || count > static_cast<size_t>(capacity_ - used_)) {
            overflow_ = true;
            return;
        }
        if (buffer_)
            wmemcpy(buffer_ + used_, units, count);
        used_ += static_cast<int>(count);
    }

    bool Overflowed() const { return overflow_; }
    int Used() const { return used_; }

private:
    wchar_t* buffer_;
    int capacity_;
    int used_ = 0;
    bool overflow_ = false;
};

void WriteFilter(FilterWriter& writer, bool picturesOnly)
{
    if (picturesOnly) {
        for (const FilterRow& row : kPicturesHead)
            writer.Row(row);
    } else {
        for (const FilterRow& row : kFullHead)
            writer.Row(row);
    }
    for (const FilterRow& row : kFormatRows)
        writer.Row(row);

    for (int i = 0, count = PlugInCount(); i < count; ++i) {
        const PlugInRecord* record = PlugInAt(i);
        if (!record || !record->canRead)
            continue;
        writer.Units(L"PLUGIN - ", 9);
        writer.Text(record->filterDescription, kPlugInDescriptionUnits);
        writer.Text(record->filterPattern, kPlugInPatternUnits);
    }
    writer.Units(L"", 1);
}

}  // namespace

int OpenFileFilterUnits(bool picturesOnly)
{
    FilterWriter counter(nullptr, 0x7FFFFFFF);
    WriteFilter(counter, picturesOnly);
    return counter.Used();
}

bool BuildOpenFileFilter(wchar_t* buffer, int capacity, bool picturesOnly)
{
    if (!buffer || capacity < 1)
        return false;
    FilterWriter writer(buffer, capacity);
    WriteFilter(writer, picturesOnly);
    if (writer.Overflowed()) {
        // An empty filter rather than a cut one.
        buffer[0] = L'\0';
        if (capacity >= 2)
            buffer[1] = L'\0';
        return false;
    }
    return true;
}
