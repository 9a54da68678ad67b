// JpegMarkerData: a JPEG file held as its list of marker sections, with the APP1 section parsed
// into libexif's ExifData and the entropy-coded data after the start-of-scan section kept as one
// block, so that the EXIF data of a JPEG file can be read, replaced and written back without
// touching the picture. Reference counted; problems go to an ExifLog under the domain
// "jpeg-data". Independent of JpegSectionList.
//
// Every operation takes the container first and ignores a null container (answering null, 0 or
// nothing).
#pragma once

#include <libexif/exif-data.h>
#include <libexif/exif-log.h>

#include <cstddef>
#include <cstdint>

constexpr int kJpegMarkerSoi = 0xD8;
constexpr int kJpegMarkerEoi = 0xD9;
constexpr int kJpegMarkerSos = 0xDA;
constexpr int kJpegMarkerApp1 = 0xE1;

struct JpegMarkerSection {
    int32_t marker = 0;               // the second byte of the marker, 0xC0..0xFE
    ExifData* exif = nullptr;         // APP1: one reference held
    uint8_t* data = nullptr;          // every other marker but SOI and EOI: the body (malloc)
    uint32_t size = 0;
};

struct JpegMarkerData {
    JpegMarkerSection* sections;      // malloc/realloc array
    uint32_t count;
    uint8_t* imageData;               // the bytes after the start-of-scan section (malloc)
    uint32_t imageSize;
    uint32_t references;
    ExifLog* log;                     // one reference held, or null

    // A new empty container with one reference; null when memory is short.
    static JpegMarkerData* Create();
    // Create, then LoadFile / LoadBytes.
    static JpegMarkerData* CreateFromFile(const char* path);
    static JpegMarkerData* CreateFromBytes(const uint8_t* bytes, size_t size);
    static void AddRef(JpegMarkerData* data);
    // Frees the container when its last reference goes.
    static void Release(JpegMarkerData* data);
    static void Free(JpegMarkerData* data);

    // Appends the sections found in the bytes; stops at the first problem and keeps the sections
    // read so far.
    static void LoadBytes(JpegMarkerData* data, const uint8_t* bytes, size_t size);
    static void LoadFile(JpegMarkerData* data, const char* path);
    // The file's bytes in a new malloc() block (null and 0 when nothing could be built).
    static void SaveBytes(JpegMarkerData* data, uint8_t** block, uint32_t* size);
    // 1 when the whole file was written. An existing file is replaced only then.
    static int SaveFile(JpegMarkerData* data, const char* path);

    // Makes the ExifData the APP1 content (placed right after the first section when there was
    // no APP1); the container takes a reference.
    static void SetExifData(JpegMarkerData* data, ExifData* exif);
    // The APP1 ExifData with one more reference (the caller releases it), or null.
    static ExifData* GetExifData(JpegMarkerData* data);
    // Prints the sections to standard output.
    static void Dump(JpegMarkerData* data);
    static void SetLog(JpegMarkerData* data, ExifLog* log);

    // One more zeroed section at the end; null when memory is short (the container unchanged).
    static JpegMarkerSection* AppendSection(JpegMarkerData* data);
    static JpegMarkerSection* FindSection(JpegMarkerData* data, int marker);
};

// The name and description of a marker in the marker table; null for a marker without a row.
const char* GetJpegMarkerName(int marker);
const char* GetJpegMarkerDescription(int marker);
