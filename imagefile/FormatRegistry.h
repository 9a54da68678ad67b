// The format registry: every picture format the image-file layer knows has a FileType number
// from 0 to 60. These free functions answer a number's description and default extension, and
// for a file name the number its extension names and whether it can be read or written.
//
// Nothing is cached: each answer comes from fixed tables, and the only state consulted is the
// plug-in list, which is filled at start-up and released at exit. Safe to call from any thread.
#pragma once

#include <cstdint>

using FileType = int32_t;

// 0 names no format; 48 a format served by the current plug-in. Ids marked "name only" have a
// description and an extension but no format class.
constexpr FileType FT_UNKNOWN = 0;
constexpr FileType FT_ANI = 1;
constexpr FileType FT_BMP = 2;
constexpr FileType FT_CAM = 3;          // name only
constexpr FileType FT_CLP = 4;
constexpr FileType FT_CUT = 5;
constexpr FileType FT_DCX = 6;
constexpr FileType FT_DWG = 7;
constexpr FileType FT_EMF = 8;
constexpr FileType FT_EPS = 9;
constexpr FileType FT_FLT = 10;
constexpr FileType FT_GEM = 11;
constexpr FileType FT_GIF = 12;
constexpr FileType FT_HDR = 13;
constexpr FileType FT_HRZ = 14;
constexpr FileType FT_ICO = 15;
constexpr FileType FT_IFF = 16;
constexpr FileType FT_JNG = 17;
constexpr FileType FT_JPG = 18;
constexpr FileType FT_JP2 = 19;
constexpr FileType FT_JPP = 20;
constexpr FileType FT_LVP = 21;         // name only
constexpr FileType FT_MAC = 22;
constexpr FileType FT_MNG = 23;
constexpr FileType FT_MOV = 24;         // name only; "mov" files map to FT_VIDEO
constexpr FileType FT_MSP = 25;
constexpr FileType FT_PCD = 26;
constexpr FileType FT_PCT = 27;
constexpr FileType FT_PCX = 28;
constexpr FileType FT_PIC = 29;
constexpr FileType FT_PIX = 30;
constexpr FileType FT_PNG = 31;
constexpr FileType FT_PPP = 32;
constexpr FileType FT_PSD = 33;
constexpr FileType FT_PSP = 34;         // name only
constexpr FileType FT_RAS = 35;
constexpr FileType FT_RAW = 36;         // name only: camera raw data found by the scan
constexpr FileType FT_RLA = 37;
constexpr FileType FT_SGI = 38;
constexpr FileType FT_AUDIO = 39;       // name only
constexpr FileType FT_TGA = 40;
constexpr FileType FT_TIF = 41;
constexpr FileType FT_VIDEO = 42;       // name only
constexpr FileType FT_WBMP = 43;
constexpr FileType FT_XBM = 44;
constexpr FileType FT_ZBR = 45;
constexpr FileType FT_MFALIST = 46;     // name only: slide-show lists
constexpr FileType FT_PFM = 47;
constexpr FileType FT_PLUGIN = 48;
constexpr FileType FT_PDF = 49;
constexpr FileType FT_LMC = 50;
constexpr FileType FT_JXR = 51;
constexpr FileType FT_PIC2 = 52;
constexpr FileType FT_PIC3 = 53;
constexpr FileType FT_IFF2 = 54;
constexpr FileType FT_WEBP = 55;
constexpr FileType FT_MPO = 56;
constexpr FileType FT_JPS = 57;
constexpr FileType FT_HEIC = 58;
constexpr FileType FT_SVG = 59;         // name only
constexpr FileType FT_AVIF = 60;        // name only
constexpr FileType FT_LAST = 60;

// Description text; "FileTypeToString: Unknown FileType" outside 0..60.
const wchar_t* FileTypeToString(FileType id);
// Default extension without a dot; "Unknown" for 0 and outside 0..60, "PlugIn" for 48.
const wchar_t* FileTypeToExtension(FileType id);
// Bounded copy of the description (for 48 the current plug-in's name), cut to capacity - 1
// characters and terminated. False for a null buffer, a capacity below 1, a negative id, or
// 48 without a current plug-in.
bool CopyFileTypeDescription(wchar_t* buffer, int capacity, FileType id);

// The id that the extension after the last '.' names (compared by its first 15 characters,
// without regard to case); built-in names win over plug-ins. 0 when none.
FileType FormatFromExtension(const wchar_t* fileName);
// A known media extension (not necessarily decodable), or one a reading plug-in lists.
bool CanReadExtension(const wchar_t* fileName);
// An extension of a built-in writer, or of a plug-in listed for writing.
bool CanWriteExtension(const wchar_t* fileName);
// The two extension queries for the name "somefile.XXX", XXX being the first three characters
// of the id's description.
bool CanReadFileType(FileType id);
bool CanWriteFileType(FileType id);
