#include "imagefile/JpegMarkerData.h"

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "base/ScopedFile.h"

namespace {

constexpr const char* kLogDomain = "jpeg-data";
constexpr uint32_t kMaxSegmentLength = 0xFFFF;

struct MarkerRow {
    int marker;
    const char* name;
    const char* description;
};

const MarkerRow kJpegMarkerTable[] = {
    {0xC0, "SOF0", "Encoding (baseline)"},
    {0xC1, "SOF1", "Encoding (extended sequential)"},
    {0xC2, "SOF2", "Encoding (progressive)"},
    {0xC3, "SOF3", "Encoding (lossless)"},
    {0xC5, "SOF5", "Encoding (differential sequential)"},
    {0xC6, "SOF6", "Encoding (differential progressive)"},
    {0xC7, "SOF7", "Encoding (differential lossless)"},
    {0xC9, "SOF9", "Encoding (extended sequential, arithmetic)"},
    {0xCA, "SOF10", "Encoding (progressive, arithmetic)"},
    {0xCB, "SOF11", "Encoding (lossless, arithmetic)"},
    {0xCD, "SOF13", "Encoding (differential sequential, arithmetic)"},
    {0xCE, "SOF14", "Encoding (differential progressive, arithmetic)"},
    {0xCF, "SOF15", "Encoding (differential lossless, arithmetic)"},
    {0xD8, "SOI", "Start of image"},
    {0xD9, "EOI", "End of image"},
    {0xDA, "SOS", "Start of scan"},
    {0xFE, "COM", "Comment"},
    {0xC4, "DHT", "Define Huffman table"},
    {0xC8, "JPG", "Extension"},
    {0xCC, "DAC", "Define arithmetic coding conditioning"},
    {0xD1, "RST1", "Restart 1"},
    {0xD2, "RST2", "Restart 2"},
    {0xD3, "RST3", "Restart 3"},
    {0xD4, "RST4", "Restart 4"},
    {0xD5, "RST5", "Restart 5"},
    {0xD6, "RST6", "Restart 6"},
    {0xD7, "RST7", "Restart 7"},
    {0xDB, "DQT", "Define quantization table"},
    {0xDC, "DNL", "Define number of lines"},
    {0xDD, "DRI", "Define restart interval"},
    {0xDE, "DHP", "Define hierarchical progression"},
    {0xDF, "EXP", "Expand reference component"},
    {0xE0, "APP0", "Application segment 0"},
    {0xE1, "APP1", "Application segment 1"},
    {0xE2, "APP2", "Application segment 2"},
    {0xE3, "APP3", "Application segment 3"},
    {0xE4, "APP4", "Application segment 4"},
    {0xE5, "APP5", "Application segment 5"},
    {0xE6, "APP6", "Application segment 6"},
    {0xE7, "APP7", "Application segment 7"},
    {0xE8, "APP8", "Application segment 8"},
    {0xE9, "APP9", "Application segment 9"},
    {0xEA, "APP10", "Application segment 10"},
    {0xEB, "APP11", "Application segment 11"},
    {0xEC, "APP12", "Application segment 12"},
    {0xED, "APP13", "Application segment 13"},
    {0xEE, "APP14", "Application segment 14"},
    {0xEF, "APP15", "Application segment 15"},
    {0xF0, "JPG0", "Extension 0"},
    {0xF1, "JPG1", "Extension 1"},
    {0xF2, "JPG2", "Extension 2"},
    {0xF3, "JPG3", "Extension 3"},
    {0xF4, "JPG4", "Extension 4"},
    {0xF5, "JPG5", "Extension 5"},
    {0xF6, "JPG6", "Extension 6"},
    {0xF7, "JPG7", "Extension 7"},
    {0xF8, "JPG8", "Extension 8"},
    {0xF9, "JPG9", "Extension 9"},
    {0xFA, "JPG10", "Extension 10"},
    {0xFB, "JPG11", "Extension 11"},
    {0xFC, "JPG12", "Extension 12"},
    {0xFD, "JPG13", "Extension 13"},
    {0, nullptr, nullptr},
};
static_assert(sizeof(kJpegMarkerTable) / sizeof(kJpegMarkerTable[0]) == 63, "62 markers and the end row");

const MarkerRow& FindRow(int marker)
{
    const MarkerRow* row = kJpegMarkerTable;
    while (row->name && row->marker != marker)
        ++row;
    return *row;
}

void LogCorrupt(JpegMarkerData* data)
{
    exif_log(data->log, EXIF_LOG_CODE_CORRUPT_DATA, kLogDomain, "Data does not follow JPEG specification.");
}

void LogNoMemory(JpegMarkerData* data, size_t size)
{
    exif_log(data->log, EXIF_LOG_CODE_NO_MEMORY, kLogDomain, "Could not allocate %lu byte(s).",
             static_cast<unsigned long>(size));
}

void ReleaseContent(JpegMarkerSection& section)
{
    if (section.exif)
        exif_data_unref(section.exif);
    free(section.data);
    section.exif = nullptr;
    section.data = nullptr;
    section.size = 0;
}

// Takes the last section off again (it was appended for a marker whose segment turned out bad).
void DropLastSection(JpegMarkerData* data)
{
    ReleaseContent(data->sections[data->count - 1]);
    --data->count;
}

void AppendSegment(std::vector<uint8_t>& out, int marker, const uint8_t* body, size_t size)
{
    out.push_back(0xFF);
    out.push_back(static_cast<uint8_t>(marker));
    const size_t length = size + 2;
    out.push_back(static_cast<uint8_t>(length >> 8));
    out.push_back(static_cast<uint8_t>(length));
    if (size)
        out.insert(out.end(), body, body + size);
}

}  // namespace

JpegMarkerData* JpegMarkerData::Create()
{
    JpegMarkerData* data = static_cast<JpegMarkerData*>(calloc(1, sizeof(JpegMarkerData)));
    if (data)
        data->references = 1;
    return data;
}

JpegMarkerData* JpegMarkerData::CreateFromFile(const char* path)
{
    JpegMarkerData* data = Create();
    LoadFile(data, path);
    return data;
}

JpegMarkerData* JpegMarkerData::CreateFromBytes(const uint8_t* bytes, size_t size)
{
    JpegMarkerData* data = Create();
    LoadBytes(data, bytes, size);
    return data;
}

void JpegMarkerData::AddRef(JpegMarkerData* data)
{
    if (data)
        ++data->references;
}

void JpegMarkerData::Release(JpegMarkerData* data)
{
    if (!data)
        return;
    if (data->references > 0)
        --data->references;
    if (data->references == 0)
        Free(data);
}

void JpegMarkerData::Free(JpegMarkerData* data)
{
    if (!data)
        return;
    for (uint32_t i = 0; i < data->count; ++i)
        ReleaseContent(data->sections[i]);
    free(data->sections);
    free(data->imageData);
    if (data->log)
        exif_log_unref(data->log);
    free(data);
}

JpegMarkerSection* JpegMarkerData::AppendSection(JpegMarkerData* data)
{
    if (!data)
        return nullptr;
    if (data->count >= std::numeric_limits<uint32_t>::max() / sizeof(JpegMarkerSection) - 1) {
        LogNoMemory(data, std::numeric_limits<size_t>::max());
        return nullptr;
    }
    const size_t bytes = sizeof(JpegMarkerSection) * (static_cast<size_t>(data->count) + 1);
    void* sections = data->sections ? realloc(data->sections, bytes) : malloc(bytes);
    if (!sections) {
        LogNoMemory(data, bytes);
        return nullptr;
    }
    data->sections = static_cast<JpegMarkerSection*>(sections);
    JpegMarkerSection* section = &data->sections[data->count++];
    *section = JpegMarkerSection{};
    return section;
}

JpegMarkerSection* JpegMarkerData::FindSection(JpegMarkerData* data, int marker)
{
    if (!data)
        return nullptr;
    for (uint32_t i = 0; i < data->count; ++i) {
        if (data->sections[i].marker == marker)
            return &data->sections[i];
    }
    return nullptr;
}

void JpegMarkerData::LoadBytes(JpegMarkerData* data, const uint8_t* d, size_t n)
{
    if (!data || !d)
        return;
    size_t o = 0;
    while (o < n) {
        // Fill bytes before the marker.
        const size_t limit = n - o < 7 ? n - o : 7;
        size_t fill = 0;
        while (fill < limit && d[o + fill] == 0xFF)
            ++fill;
        if (o + fill >= n)
            return;
        const int marker = d[o + fill];
        if (marker < 0xC0 || marker > 0xFE) {
            LogCorrupt(data);
            return;
        }
        JpegMarkerSection* section = AppendSection(data);
        if (!section)
            return;
        section->marker = marker;
        o += fill + 1;
        if (marker == kJpegMarkerSoi || marker == kJpegMarkerEoi)
            continue;

        if (n - o < 2) {
            DropLastSection(data);
            return;
        }
        const uint32_t length = (static_cast<uint32_t>(d[o]) << 8) | d[o + 1];
        if (length < 2) {
            LogCorrupt(data);
            DropLastSection(data);
            return;
        }
        const size_t body = length - 2;
        if (body > n - o - 2) {
            DropLastSection(data);
            return;
        }
        o += 2;

        if (marker == kJpegMarkerApp1) {
            section->exif = exif_data_new_from_data(d + o, static_cast<unsigned int>(body));
        } else {
            if (body) {
                section->data = static_cast<uint8_t*>(malloc(body));
                if (!section->data) {
                    LogNoMemory(data, body);
                    DropLastSection(data);
                    return;
                }
                memcpy(section->data, d + o, body);
            }
            section->size = static_cast<uint32_t>(body);

            if (marker == kJpegMarkerSos) {
                size_t rest = n - o - body;
                if (rest >= 2 && d[n - 2] == 0xFF)
                    rest -= 2;   // the end-of-image marker, read as a section of its own
                if (rest > std::numeric_limits<uint32_t>::max()) {
                    LogCorrupt(data);
                    return;
                }
                uint8_t* image = nullptr;
                if (rest) {
                    image = static_cast<uint8_t*>(malloc(rest));
                    if (!image) {
                        LogNoMemory(data, rest);
                        return;
                    }
                    memcpy(image, d + o + body, rest);
                }
                free(data->imageData);
                data->imageData = image;
                data->imageSize = static_cast<uint32_t>(rest);
                o += rest;
            }
        }
        o += body;
    }
}

void JpegMarkerData::LoadFile(JpegMarkerData* data, const char* path)
{
    if (!data || !path)
        return;
    bool whole = false;
    int64_t size = -1;
    uint8_t* bytes = nullptr;
    {
        ScopedFile file;
        if (!file.Open(path, "rb"))
            return;
        size = file.Length();
        if (size <= 0 || size > static_cast<int64_t>(std::numeric_limits<uint32_t>::max()))
            return;
        bytes = static_cast<uint8_t*>(malloc(static_cast<size_t>(size)));
        if (!bytes) {
            LogNoMemory(data, static_cast<size_t>(size));
            return;
        }
        whole = fread(bytes, 1, static_cast<size_t>(size), file.Get()) == static_cast<size_t>(size);
    }
    if (whole)
        LoadBytes(data, bytes, static_cast<size_t>(size));
    free(bytes);
}

void JpegMarkerData::SaveBytes(JpegMarkerData* data, uint8_t** block, uint32_t* size)
{
    if (block)
        *block = nullptr;
    if (size)
        *size = 0;
    if (!data || !block || !size)
        return;
    try {
        std::vector<uint8_t> out;
        for (uint32_t i = 0; i < data->count; ++i) {
            const JpegMarkerSection& section = data->sections[i];
            if (section.marker == kJpegMarkerSoi || section.marker == kJpegMarkerEoi) {
                out.push_back(0xFF);
                out.push_back(static_cast<uint8_t>(section.marker));
            } else if (section.marker == kJpegMarkerApp1) {
                // A section whose EXIF data cannot be written, or would not fit a segment, is
                // left out rather than written as a marker without a length.
                unsigned char* exif = nullptr;
                unsigned int exifSize = 0;
                if (section.exif)
                    exif_data_save_data(section.exif, &exif, &exifSize);
                if (exif && exifSize + 2u <= kMaxSegmentLength)
                    AppendSegment(out, section.marker, exif, exifSize);
                free(exif);
            } else {
                if (section.size + 2u > kMaxSegmentLength)
                    continue;
                AppendSegment(out, section.marker, section.data, section.size);
                if (section.marker == kJpegMarkerSos && data->imageSize)
                    out.insert(out.end(), data->imageData, data->imageData + data->imageSize);
            }
        }
        if (out.empty() || out.size() > std::numeric_limits<uint32_t>::max())
            return;
        uint8_t* result = static_cast<uint8_t*>(malloc(out.size()));
        if (!result)
            return;
        memcpy(result, out.data(), out.size());
        *block = result;
        *size = static_cast<uint32_t>(out.size());
    } catch (const std::bad_alloc&) {
        LogNoMemory(data, 0);
    }
}

int JpegMarkerData::SaveFile(JpegMarkerData* data, const char* path)
{
    if (!data || !path)
        return 0;
    uint8_t* block = nullptr;
    uint32_t size = 0;
    SaveBytes(data, &block, &size);
    if (!block)
        return 0;

    // Written beside the target first, so that a failed write leaves the existing file alone.
    std::string folder(path);
    const size_t slash = folder.find_last_of("\\/");
    folder = slash == std::string::npos ? std::string(".") : folder.substr(0, slash + 1);
    char temporary[MAX_PATH + 16];
    if (!GetTempFileNameA(folder.c_str(), "jmd", 0, temporary)) {
        free(block);
        return 0;
    }
    ScopedFile file;
    if (!file.Open(temporary, "wb")) {
        DeleteFileA(temporary);
        free(block);
        return 0;
    }
    const bool written = fwrite(block, 1, size, file.Get()) == size;
    const bool closed = file.Close();
    free(block);
    if (!written || !closed || !MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING)) {
        DeleteFileA(temporary);
        return 0;
    }
    return 1;
}

void JpegMarkerData::SetExifData(JpegMarkerData* data, ExifData* exif)
{
    if (!data || !exif)
        return;
    JpegMarkerSection* section = FindSection(data, kJpegMarkerApp1);
    if (!section) {
        if (!AppendSection(data))
            return;
        if (data->count >= 2) {
            memmove(&data->sections[2], &data->sections[1], sizeof(JpegMarkerSection) * (data->count - 2));
            section = &data->sections[1];
        } else {
            section = &data->sections[0];
        }
        *section = JpegMarkerSection{};
    }
    exif_data_ref(exif);   // before the old reference goes: it may be the same data
    ReleaseContent(*section);
    section->marker = kJpegMarkerApp1;
    section->exif = exif;
}

ExifData* JpegMarkerData::GetExifData(JpegMarkerData* data)
{
    JpegMarkerSection* section = FindSection(data, kJpegMarkerApp1);
    if (!section || !section->exif)
        return nullptr;
    exif_data_ref(section->exif);
    return section->exif;
}

void JpegMarkerData::Dump(JpegMarkerData* data)
{
    if (!data)
        return;
    printf("Dumping JPEG data (%i bytes of data)...\n", static_cast<int>(data->imageSize));
    for (uint32_t i = 0; i < data->count; ++i) {
        const JpegMarkerSection& section = data->sections[i];
        const char* name = GetJpegMarkerName(section.marker);
        const char* description = GetJpegMarkerDescription(section.marker);
        printf("Section %i (marker 0x%x - %s):\n", static_cast<int>(i), static_cast<unsigned>(section.marker),
               name ? name : "?");
        printf("  Description: %s\n", description ? description : "?");
        if (section.marker == kJpegMarkerApp1) {
            if (section.exif)
                exif_data_dump(section.exif);
        } else if (section.marker != kJpegMarkerSoi && section.marker != kJpegMarkerEoi) {
            printf("  Size: %i\n", static_cast<int>(section.size));
            printf("  Unknown content.\n");
        }
    }
}

void JpegMarkerData::SetLog(JpegMarkerData* data, ExifLog* log)
{
    if (!data)
        return;
    if (log)
        exif_log_ref(log);
    if (data->log)
        exif_log_unref(data->log);
    data->log = log;
}

const char* GetJpegMarkerName(int marker)
{
    return FindRow(marker).name;
}

const char* GetJpegMarkerDescription(int marker)
{
    return FindRow(marker).description;
}
