// The format registry: the table of every FileType, extension mapping, descriptions and the
// plug-in extensions.
#include "imagefile/FormatRegistry.h"

#include "imagefile/PlugInHost.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

struct Row {
    FileType id;
    const wchar_t* extension;
    const wchar_t* description;
    std::vector<const wchar_t*> recognised;
    bool writes;
};

const std::vector<const wchar_t*> kAudio = {
    L"wav", L"wax", L"mid", L"midi", L"aif", L"aiff", L"aifc", L"au", L"flac", L"snd", L"rmi", L"ogg",
    L"wma", L"mp1", L"mp2", L"mpa", L"mpga", L"mp3", L"opus", L"aac"};
const std::vector<const wchar_t*> kVideo = {
    L"mov", L"hdmov", L"qt", L"avi", L"wm", L"wmv", L"wvx", L"asf", L"flv", L"ivf", L"mpg", L"mpe", L"mpeg",
    L"m1v", L"mpv", L"mp2v", L"mpv2", L"m2v", L"divx", L"div", L"mp4", L"3gp", L"3g2", L"mkv", L"ogv", L"ogm",
    L"m2ts", L"m2t", L"mts", L"m4v", L"mp4v", L"mpv4", L"webm"};

const std::vector<Row> kTable = {
    {0, L"Unknown", L"Unknown Format", {}, false},
    {1, L"ani", L"ANI - Windows (Animated) Cursor", {L"ani"}, false},
    {2, L"bmp", L"BMP - Windows or OS/2 Bitmap", {L"bmp", L"rle", L"dib", L"2bp"}, true},
    {3, L"cam", L"CAM - Casio Cam (JPG Compression)", {L"cam"}, false},
    {4, L"clp", L"CLP - Windows Clipboard", {L"clp"}, false},
    {5, L"cut", L"CUT - Dr. Halo", {L"cut"}, false},
    {6, L"dcx", L"DCX - Multipage PCX", {L"dcx"}, false},
    {7, L"dwg", L"DWG - AutoCAD Drawing (Preview)", {L"dwg"}, false},
    {8, L"emf", L"EMF - Enhanced/Windows Metafile", {L"emf", L"wmf"}, false},
    {9, L"eps", L"EPS - Encapsulated Postscript (Preview)", {L"eps"}, false},
    {10, L"flt", L"FLT - BIAS Fringe Processor", {L"flt", L"msk", L"img"}, false},
    {11, L"gem", L"GEM - Raster Imager", {L"gem"}, false},
    {12, L"gif", L"GIF - Graphics Interchange File", {L"gif"}, true},
    {13, L"hdr", L"HDR - High Dynamic Range Image", {L"hdr"}, false},
    {14, L"hrz", L"HRZ - Slow Scan Television", {L"hrz"}, false},
    {15, L"ico", L"ICO - Windows Icon", {L"cur", L"ico"}, true},
    {16, L"iff", L"IFF - Amiga IFF", {L"iff", L"lbm"}, false},
    {17, L"jng", L"JNG - JPEG Network Graphics", {L"jng"}, true},
    {18, L"jpg", L"JPG - Joint Photographic Experts Group", {L"jpg", L"jpeg", L"jif", L"jfif", L"jpe"}, true},
    {19, L"j2k", L"JP2 - JPEG 2000", {L"jp2", L"j2c", L"j2k"}, true},
    {20, L"jpp", L"JPP - Keirs JPG Format", {L"jpp"}, false},
    {21, L"lvp", L"LVP - LView Pro (Preview)", {L"lvp"}, false},
    {22, L"mac", L"MAC - Mac Paint", {L"mac", L"pntg"}, false},
    {23, L"mng", L"MNG - Multiple-Image Network Graphics", {L"mng"}, true},
    {24, L"mov", L"MOV - Apple Quicktime Movie", {}, false},
    {25, L"msp", L"MSP - Microsoft Paint", {L"msp"}, false},
    {26, L"pcd", L"PCD - Kodak PhotoCD", {L"pcd"}, false},
    {27, L"pct", L"PCT - Apple Macintosh Picture", {L"pct", L"qtif"}, false},
    {28, L"pcx", L"PCX - ZSoft Paintbrush", {L"pcx"}, true},
    {29, L"pic", L"PIC - Softimage PIC", {L"pic"}, false},
    {30, L"pix", L"PIX - Alias|Wavefront Image / Esm Software PIX file", {L"pix", L"mat"}, true},
    {31, L"png", L"PNG - Portable Network Graphics", {L"png", L"apng"}, true},
    {32, L"ppp", L"PPP - Punk Productions Picture", {L"ppp"}, true},
    {33, L"psd", L"PSD - Adobe Photoshop Document", {L"psd", L"pdd"}, true},
    {34, L"psp", L"PSP - Paint Shop Pro Image",
     {L"psp", L"pspimage", L"pspframe", L"psptube", L"pspshape", L"pspmask"}, false},
    {35, L"ras", L"RAS - Sun Raster Format", {L"ras", L"sun"}, true},
    {36, L"raw", L"RAW - Digital Camera Image Data", {}, false},
    {37, L"rla", L"RLA - Wavefront RLA", {L"rla", L"rpf"}, false},
    {38, L"sgi", L"SGI - Silicon Graphics Image", {L"sgi", L"bw", L"rgb", L"rgba"}, true},
    {39, L"wav", L"SND - Audio", kAudio, false},
    {40, L"tga", L"TGA - Truevision Graphics Adapter", {L"tga"}, true},
    {41, L"tif", L"TIF - Tagged Image File", {L"tif", L"tiff"}, true},
    {42, L"mp4", L"VID - Video", kVideo, false},
    {43, L"wbmp", L"WBMP - Wireless Bitmap (WAP)", {L"wbmp"}, false},
    {44, L"xbm", L"XBM - X Bitmap", {L"xbm"}, false},
    {45, L"zbr", L"ZBR - Zebra Metafile (Preview)", {L"zbr"}, false},
    {46, L"mfalist", L"MFALIST - RUV SlideShow File", {L"mfalist", L"m3u"}, false},
    {47, L"pfm", L"PFM - Portable Float Map", {L"pfm"}, false},
    {48, L"PlugIn", L"PlugIn", {}, false},
    {49, L"pdf", L"PDF - Portable Document Format", {L"pdf"}, true},
    {50, L"lmcdoc", L"LMCDOC - Delvarin Lumicade Document", {L"lmcdoc", L"glimdoc"}, true},
    {51, L"jxr", L"JXR - JPEG eXtended Range (HD Photo/Windows Media Photo)", {L"jxr", L"hdp", L"wdp"}, true},
    {52, L"pic", L"PIC - Pictor PC Paint", {}, false},
    {53, L"pic", L"PIC - AniVGA 1.2 Background", {}, false},
    {54, L"iff", L"IFF - Maya IFF", {}, false},
    {55, L"webp", L"WEBP - Google Image Format", {L"webp"}, true},
    {56, L"mpo", L"MPO - Multi Picture Object", {L"mpo"}, false},
    {57, L"jps", L"JPS - JPEG Stereo", {L"jps"}, false},
    {58, L"heic", L"HEIC - High Efficiency Image File Format", {L"heic", L"heif"}, false},
    {59, L"svg", L"SVG - Scalable Vector Graphics", {}, false},
    {60, L"avif", L"AVIF - AV1 Image File Format", {}, false},
};

std::wstring Upper(const wchar_t* text)
{
    std::wstring out(text);
    for (wchar_t& ch : out)
        if (ch >= L'a' && ch <= L'z')
            ch = static_cast<wchar_t>(ch - L'a' + L'A');
    return out;
}

// Plug-in records placed in the host's list for one test, and taken out again.
class RegistryWithPlugIns : public ::testing::Test {
protected:
    void SetUp() override
    {
        saved_.swap(GetPlugInHost().records);
        savedIndex_ = GetCurrentPlugInIndex();
    }
    void TearDown() override
    {
        GetPlugInHost().records.swap(saved_);
        SetCurrentPlugInIndex(savedIndex_);
    }
    static void Add(const wchar_t* name, const wchar_t* extensions, bool reads, bool writes)
    {
        PlugInRecord record{};
        record.version = 2;
        std::wcsncpy(record.name, name, 143);
        std::wcsncpy(record.extensions, extensions, 199);
        record.canRead = reads ? 1 : 0;
        record.canWrite = writes ? 1 : 0;
        GetPlugInHost().records.push_back(record);
    }

private:
    std::vector<PlugInRecord> saved_;
    int savedIndex_ = 0;
};

}  // namespace

TEST(FormatRegistry, TableOfEveryFileType)
{
    ASSERT_EQ(kTable.size(), 61u);
    for (const Row& row : kTable) {
        SCOPED_TRACE(row.id);
        EXPECT_STREQ(FileTypeToExtension(row.id), row.extension);
        EXPECT_STREQ(FileTypeToString(row.id), row.description);
        for (const wchar_t* extension : row.recognised) {
            const std::wstring lower = std::wstring(L"C:\\x.y\\name.") + extension;
            const std::wstring upper = L"NAME." + Upper(extension);
            EXPECT_EQ(FormatFromExtension(lower.c_str()), row.id) << extension;
            EXPECT_EQ(FormatFromExtension(upper.c_str()), row.id) << extension;
            EXPECT_TRUE(CanReadExtension(lower.c_str())) << extension;
            EXPECT_EQ(CanWriteExtension(upper.c_str()), row.writes) << extension;
        }
    }
}

TEST(FormatRegistry, ValuesOutsideTheTable)
{
    for (FileType id : {-1, 61, 1000, INT32_MIN}) {
        EXPECT_STREQ(FileTypeToString(id), L"FileTypeToString: Unknown FileType") << id;
        EXPECT_STREQ(FileTypeToExtension(id), L"Unknown") << id;
    }
}

TEST(FormatRegistry, ExtensionMapping)
{
    struct Case {
        const wchar_t* name;
        FileType id;
    };
    const Case cases[] = {
        {L"Photo.JPEG", 18},
        {L"IMG_1.Jpe", 18},
        {L"x.tiff", 41},
        {L"clip.mov", 42},          // video, never 24
        {L"a.pic", 29},             // never 52 or 53
        {L"scene.iff", 16},         // never 54
        {L"song.mp3", 39},
        {L"list.M3U", 46},
        {L"archive.tar.gz", 0},     // only the text after the last dot counts
        {L"no_extension", 0},
        {L"ends.in.dot.", 0},
        {L"", 0},
        {L".png", 31},
        {L"raw.raw", 0},            // camera raw has no extension of its own
        {L"photo.jpg.bak", 0},
        {L"dir.jpg\\file", 0},
        {L"x.pspimage", 34},
        {L"x.pspimagex", 0},
        {L"x.jpgx", 0},
        {L"x.jp", 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FormatFromExtension(c.name), c.id) << c.name;
    EXPECT_EQ(FormatFromExtension(nullptr), 0);
}

TEST(FormatRegistry, ReadAndWriteQueries)
{
    EXPECT_TRUE(CanReadExtension(L"song.mp3"));
    EXPECT_FALSE(CanWriteExtension(L"song.mp3"));
    EXPECT_TRUE(CanWriteExtension(L"a.jpeg"));
    EXPECT_FALSE(CanReadExtension(L"a.xyz"));
    EXPECT_FALSE(CanWriteExtension(L"a.xyz"));
    EXPECT_FALSE(CanReadExtension(nullptr));
    EXPECT_FALSE(CanWriteExtension(nullptr));
    EXPECT_TRUE(CanReadExtension(L"clip.mov"));
    EXPECT_FALSE(CanWriteExtension(L"a.hdr"));

    // By the first three letters of the description.
    EXPECT_TRUE(CanReadFileType(18));
    EXPECT_TRUE(CanWriteFileType(18));
    EXPECT_TRUE(CanReadFileType(13));
    EXPECT_FALSE(CanWriteFileType(13));
    EXPECT_FALSE(CanReadFileType(55));   // "WEB"
    EXPECT_FALSE(CanReadFileType(58));   // "HEI"
    EXPECT_TRUE(CanReadFileType(39));    // "SND" is an audio extension
    EXPECT_FALSE(CanReadFileType(0));
    EXPECT_FALSE(CanReadFileType(61));
    EXPECT_FALSE(CanReadFileType(-5));
}

TEST(FormatRegistry, CopyDescriptionIsBoundedAndTerminated)
{
    wchar_t buffer[64];
    wmemset(buffer, L'#', 64);
    EXPECT_TRUE(CopyFileTypeDescription(buffer, 8, 18));
    EXPECT_STREQ(buffer, L"JPG - J");
    EXPECT_EQ(buffer[8], L'#');

    EXPECT_TRUE(CopyFileTypeDescription(buffer, 64, 31));
    EXPECT_STREQ(buffer, L"PNG - Portable Network Graphics");
    EXPECT_TRUE(CopyFileTypeDescription(buffer, 64, 61));
    EXPECT_STREQ(buffer, L"FileTypeToString: Unknown FileType");
    EXPECT_TRUE(CopyFileTypeDescription(buffer, 1, 18));
    EXPECT_STREQ(buffer, L"");

    EXPECT_FALSE(CopyFileTypeDescription(nullptr, 64, 18));
    EXPECT_FALSE(CopyFileTypeDescription(buffer, 64, -1));
    wmemset(buffer, L'#', 64);
    EXPECT_FALSE(CopyFileTypeDescription(buffer, 0, 18));
    EXPECT_EQ(buffer[0], L'#');
}

TEST_F(RegistryWithPlugIns, NoCurrentPlugInHasNoDescription)
{
    wchar_t buffer[32];
    EXPECT_FALSE(CopyFileTypeDescription(buffer, 32, 48));
    EXPECT_STREQ(buffer, L"");
}

TEST_F(RegistryWithPlugIns, CurrentPlugInNamesFileType48)
{
    Add(L"First Plug-In", L"abc", true, false);
    Add(L"Second Plug-In", L"xyz", true, true);
    SetCurrentPlugInIndex(1);
    wchar_t buffer[64];
    EXPECT_TRUE(CopyFileTypeDescription(buffer, 64, 48));
    EXPECT_STREQ(buffer, L"Second Plug-In");
    EXPECT_TRUE(CopyFileTypeDescription(buffer, 7, 48));
    EXPECT_STREQ(buffer, L"Second");

    // A name that fills its whole field is read no further.
    PlugInRecord& record = GetPlugInHost().records[1];
    wmemset(record.name, L'n', 144);
    EXPECT_TRUE(CopyFileTypeDescription(buffer, 64, 48));
    EXPECT_EQ(std::wcslen(buffer), 63u);
    wchar_t large[400];
    EXPECT_TRUE(CopyFileTypeDescription(large, 400, 48));
    EXPECT_EQ(std::wcslen(large), 144u);
}

TEST_F(RegistryWithPlugIns, PlugInExtensions)
{
    Add(L"Reader", L"xyz|Abc|jpg", true, false);
    Add(L"Writer only", L"wo", false, true);
    Add(L"Both", L"both|abc", true, true);

    EXPECT_EQ(FormatFromExtension(L"a.XYZ"), 48);
    EXPECT_EQ(FormatFromExtension(L"a.abc"), 48);
    EXPECT_EQ(FormatFromExtension(L"a.jpg"), 18);      // built-in names win
    EXPECT_EQ(FormatFromExtension(L"a.wo"), 0);        // only written: never reached
    EXPECT_EQ(FormatFromExtension(L"a.xy"), 0);
    EXPECT_EQ(FormatFromExtension(L"a."), 0);

    EXPECT_TRUE(CanReadExtension(L"a.xyz"));
    EXPECT_FALSE(CanWriteExtension(L"a.xyz"));
    EXPECT_TRUE(CanWriteExtension(L"a.abc"));          // the writing plug-in lists it too
    EXPECT_TRUE(CanWriteExtension(L"a.both"));
    EXPECT_FALSE(CanWriteExtension(L"a.wo"));
    EXPECT_FALSE(CanReadFileType(48));                 // "Plu"
}

TEST_F(RegistryWithPlugIns, LongExtensionsAreComparedByTheirFirst15Characters)
{
    Add(L"Long", L"abcdefghijklmno", true, false);
    EXPECT_EQ(FormatFromExtension(L"a.abcdefghijklmno"), 48);
    EXPECT_EQ(FormatFromExtension(L"a.abcdefghijklmnop"), 48);
    EXPECT_EQ(FormatFromExtension(L"a.ABCDEFGHIJKLMNOPQRSTUVWXYZ"), 48);
    EXPECT_EQ(FormatFromExtension(L"a.abcdefghijklmn"), 0);
}

TEST_F(RegistryWithPlugIns, EmptyTokenMatchesANameEndingInADot)
{
    Add(L"Trailing bar", L"qq|", true, false);
    EXPECT_EQ(FormatFromExtension(L"name."), 48);
    EXPECT_TRUE(CanReadExtension(L"name."));
    EXPECT_EQ(FormatFromExtension(L"name"), 0);
}
