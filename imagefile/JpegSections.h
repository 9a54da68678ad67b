// JpegSectionList: a JPEG file held as the ordered list of its marker segments, so that its
// metadata segments can be read, replaced or removed and the file written back without decoding
// the picture. While reading, the list collects a few facts of the picture (frame size, JFIF
// density, the comment) and hands EXIF segments to the EXIF directory reader (ExifDirectory.h),
// which fills in the rest.
//
// A section's data is a malloc() block that begins with the segment's two big-endian length bytes
// (the length counts themselves) and holds the segment without its FF and marker bytes, so its
// size equals that length. The picture data (every byte after the start-of-scan segment, kept
// when reading with kKeepImageData) has no length prefix and is always the last section.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

// Pseudo-types besides the marker bytes 0xC0..0xFE.
constexpr int32_t kJpegSectionXmp = 0x10E1;        // an APP1 segment that carries XMP
constexpr int32_t kJpegSectionImageData = 0x123;   // the entropy-coded data up to the end of file

// Flags of ReadMarkerSections.
constexpr int kKeepMetadata = 1;    // keep and parse the metadata segments
constexpr int kKeepImageData = 2;   // keep the picture data

// The identifier that opens an XMP APP1 segment (28 characters and a NUL).
constexpr char kXmpNamespace[] = "http://ns.adobe.com/xap/1.0/";
constexpr uint32_t kXmpNamespaceSize = 29;

constexpr uint32_t kJpegCommentSize = 2000;

struct JpegSection {
    uint8_t* data = nullptr;
    int32_t type = 0;
    uint32_t size = 0;
};

// What the EXIF reader needs while it walks a segment and what its edits use afterwards.
// Positions are offsets from the TIFF header of the EXIF data (8 bytes into the section data).
struct JpegExifState {
    int32_t thumbnailDirectory = -1;   // the IFD that holds the thumbnail entries; -1 none
    double focalPlaneXResolution = 0;
    double focalPlaneUnit = 0;         // millimetres per unit
    int32_t exifPictureWidth = 0;
    int32_t bigEndian = 0;             // 1 for "MM" data, 0 for "II"
    uint32_t orientationOffsets[2] = {0, 0};
    int32_t orientationFormats[2] = {0, 0};
    int32_t orientationCount = 0;
    int32_t directoriesWalked = 0;     // a bound on the directories one segment may visit
};

struct JpegPictureFacts {
    uint8_t exifSeen = 0;
    uint8_t jfifPresent = 0;
    uint8_t densityUnit = 0;           // 1 at the start of reading
    uint16_t densityX = 0;             // 300 at the start of reading
    uint16_t densityY = 0;
    char cameraMake[32] = {};
    char cameraModel[40] = {};
    char date[20] = {};                // "YYYY:MM:DD HH:MM:SS"
    int32_t height = 0;
    int32_t width = 0;
    int32_t orientation = 0;           // 0..8
    int32_t colour = 0;                // 1 when the frame has three components
    int32_t process = 0;               // the SOF marker byte
    int32_t flash = 0;
    float focalLength = 0;             // mm
    float exposureTime = 0;            // s
    float fNumber = 0;
    float subjectDistance = 0;         // m; -1 for infinity
    float ccdWidth = 0;                // mm
    float exposureBias = 0;
    float digitalZoomRatio = 0;
    int32_t focalLength35mm = 0;
    int32_t whiteBalance = 0;
    int32_t meteringMode = 0;
    int32_t exposureProgram = 0;
    int32_t exposureMode = 0;
    int32_t isoEquivalent = 0;
    int32_t lightSource = 0;
    int32_t subjectDistanceRange = 0;
    float xResolution = 0;
    float yResolution = 0;
    int32_t resolutionUnit = 0;
    char comment[kJpegCommentSize] = {};
    int32_t commentUtf16Units = 0;     // nonzero when the comment holds UTF-16 text
    uint32_t thumbnailOffset = 0;      // from the TIFF header
    uint32_t thumbnailSize = 0;
    uint32_t largestExifOffset = 0;
    uint8_t thumbnailAtEnd = 0;
    int32_t thumbnailSizeValueOffset = -1;   // where tag 514's value lies; -1 none
    int32_t dateValueOffset = -1;
    int32_t gpsPresent = 0;
    char latitude[31] = {};
    char longitude[31] = {};
    char altitude[26] = {};            // a sign character and the value
};

struct JpegSectionList {
    JpegSectionList() = default;
    ~JpegSectionList();                // frees the sections
    JpegSectionList(const JpegSectionList&) = delete;
    JpegSectionList& operator=(const JpegSectionList&) = delete;

    JpegExifState exif;
    JpegPictureFacts facts;
    JpegSection* sections = nullptr;
    int32_t capacity = 0;
    int32_t count = 0;
    int32_t hasImageData = 0;
};

// Makes the table (5 entries) when there is none; no sections; facts cleared.
void ResetMarkerSections(JpegSectionList& list);
// Frees every section and the table; facts cleared.
void FreeMarkerSections(JpegSectionList& list);
// 1 when read, 0 when the file does not open or is not a JPEG (everything is then freed).
int ReadMarkerSectionsFromFile(JpegSectionList& list, const wchar_t* path, int flags);
// Reads from the file's current position, which must hold FF D8. 1 when read (also when the
// reading ended early at a stray run of bytes, the end of the file or a failed allocation),
// 0 when the file is not a JPEG or ends its picture before any scan.
int ReadMarkerSections(JpegSectionList& list, FILE* file, int flags);
// 1 when the whole file was written; 0 without picture data or on any failure, in which case
// no file is left behind.
int WriteMarkerSections(JpegSectionList& list, const wchar_t* path);
// Makes room for one more section; false when memory runs out.
bool ReserveMarkerSection(JpegSectionList& list);
// The first section of that type among all but the last; null when none.
JpegSection* FindMarkerSection(JpegSectionList& list, int32_t type);
// A new section holding a copy of the bytes (which begin with the two length bytes). An EXIF
// APP1 (0xE1) goes first, any other type third (after the first two sections), but never after
// the start-of-scan section or the picture data. Null when memory runs out. The pointer is valid
// until the list changes.
JpegSection* InsertMarkerSection(JpegSectionList& list, int32_t type, const uint8_t* data, uint32_t size);
// 1 when the first section of that type (the last section not considered) was removed.
int RemoveMarkerSection(JpegSectionList& list, int32_t type);
// Removes every section but the last whose type is not a frame, table, restart-interval,
// start, APP0, APP1, APP13, comment or XMP section; true when it removed anything.
bool RemoveUnlistedSections(JpegSectionList& list);
// Keeps only the first EXIF APP1, COM, APP13 and XMP section, in that order. The picture data
// goes too, so the list can no longer be written.
void KeepMetadataSections(JpegSectionList& list);

// The comment fact as UTF-16 (from the ANSI code page), cut to capacity - 1 characters.
bool GetJpegComment(const JpegSectionList& list, wchar_t* buffer, int capacity);
// Stores the text (in the ANSI code page, at most 2000 bytes) as the COM segment.
bool SetJpegComment(JpegSectionList& list, const wchar_t* text);
bool RemoveJpegComment(JpegSectionList& list);
// The XMP packet of the XMP section, up to its first NUL.
bool GetJpegXmp(JpegSectionList& list, std::string& packet);
// False for a null packet or one too large for a segment.
bool SetJpegXmp(JpegSectionList& list, const char* packet);
bool RemoveJpegXmp(JpegSectionList& list);

// The two segment parsers used while reading (data = the section data, length bytes first).
void ParseFrameHeader(JpegSectionList& list, const uint8_t* data, uint32_t size, int marker);
void ParseJpegComment(JpegSectionList& list, const uint8_t* data, uint32_t size);
