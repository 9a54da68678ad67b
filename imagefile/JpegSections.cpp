#include "imagefile/JpegSections.h"

#include "base/ScopedFile.h"
#include "base/Utf8.h"
#include "imagefile/ExifDirectory.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>

namespace {

constexpr int32_t kInitialCapacity = 5;
constexpr int kMaxMarkerSearch = 10;     // bytes read while looking for the next marker
constexpr uint32_t kMaxSegmentSize = 0xFFFF;

void ClearFacts(JpegSectionList& list)
{
    list.facts = JpegPictureFacts{};
}

void FreeSection(JpegSection& section)
{
    free(section.data);
    section.data = nullptr;
    section.size = 0;
}

// Removes the section at the index and closes the gap.
void EraseSection(JpegSectionList& list, int32_t index)
{
    FreeSection(list.sections[index]);
    memmove(list.sections + index, list.sections + index + 1,
            sizeof(JpegSection) * static_cast<size_t>(list.count - index - 1));
    --list.count;
    list.sections[list.count] = JpegSection{};
}

void PutU16BigEndian(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 8);
    p[1] = static_cast<uint8_t>(value);
}

bool IsFrameMarker(int marker)
{
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

// Reads everything from the file's position to its end into a new section.
void ReadImageData(JpegSectionList& list, FILE* file)
{
    const int64_t position = _ftelli64(file);
    if (position < 0 || _fseeki64(file, 0, SEEK_END) != 0)
        return;
    const int64_t end = _ftelli64(file);
    if (end < position || _fseeki64(file, position, SEEK_SET) != 0)
        return;
    const uint64_t remaining = static_cast<uint64_t>(end - position);
    if (remaining > std::numeric_limits<uint32_t>::max() - 1u)
        return;
    uint8_t* data = static_cast<uint8_t*>(malloc(remaining ? static_cast<size_t>(remaining) : 1));
    if (!data)
        return;
    const size_t got = fread(data, 1, static_cast<size_t>(remaining), file);
    JpegSection& section = list.sections[list.count++];
    section.data = data;
    section.type = kJpegSectionImageData;
    section.size = static_cast<uint32_t>(got);
    list.hasImageData = 1;
}

// Writes all bytes; false on any short write.
bool WriteBytes(FILE* file, const void* data, size_t size)
{
    return size == 0 || fwrite(data, 1, size, file) == size;
}

uint16_t DensityFromResolution(float resolution)
{
    if (!(resolution > 0))
        return 0;
    if (resolution >= 65535.0f)
        return 65535;
    return static_cast<uint16_t>(resolution);
}

// Replaces a section's data by a new block of `size` bytes (length bytes set, rest zeroed).
bool ReplaceSectionData(JpegSection& section, uint32_t size)
{
    uint8_t* data = static_cast<uint8_t*>(calloc(size, 1));
    if (!data)
        return false;
    PutU16BigEndian(data, size);
    free(section.data);
    section.data = data;
    section.size = size;
    return true;
}

JpegSection* FindOrInsert(JpegSectionList& list, int32_t type)
{
    if (JpegSection* section = FindMarkerSection(list, type))
        return section;
    static const uint8_t kEmpty[2] = {0x00, 0x02};
    return InsertMarkerSection(list, type, kEmpty, sizeof(kEmpty));
}

}  // namespace

JpegSectionList::~JpegSectionList()
{
    FreeMarkerSections(*this);
}

void ResetMarkerSections(JpegSectionList& list)
{
    if (!list.sections) {
        list.sections = static_cast<JpegSection*>(calloc(kInitialCapacity, sizeof(JpegSection)));
        list.capacity = list.sections ? kInitialCapacity : 0;
    }
    list.count = 0;
    list.hasImageData = 0;
    ClearFacts(list);
}

void FreeMarkerSections(JpegSectionList& list)
{
    for (int32_t i = 0; i < list.count; ++i)
        FreeSection(list.sections[i]);
    free(list.sections);
    list.sections = nullptr;
    list.capacity = 0;
    list.count = 0;
    list.hasImageData = 0;
    ClearFacts(list);
}

bool ReserveMarkerSection(JpegSectionList& list)
{
    if (list.sections && list.count < list.capacity)
        return true;
    int32_t grown = list.capacity + list.capacity / 2;
    if (grown <= list.count)
        grown = list.count + kInitialCapacity;
    void* table = realloc(list.sections, sizeof(JpegSection) * static_cast<size_t>(grown));
    if (!table)
        return false;
    list.sections = static_cast<JpegSection*>(table);
    for (int32_t i = list.capacity; i < grown; ++i)
        list.sections[i] = JpegSection{};
    list.capacity = grown;
    return true;
}

int ReadMarkerSections(JpegSectionList& list, FILE* file, int flags)
{
    if (!file || getc(file) != 0xFF || getc(file) != 0xD8)
        return 0;
    list.facts.densityUnit = 1;
    list.facts.densityX = 300;
    list.facts.densityY = 300;
    bool commentSeen = false;

    for (;;) {
        if (feof(file) || ferror(file))
            return 1;
        if (!ReserveMarkerSection(list))
            return 1;

        // The next marker: the first byte other than FF that follows an FF.
        int marker = -1;
        int previous = 0;
        for (int read = 0; marker < 0; ) {
            const int c = getc(file);
            if (c == EOF || ++read > kMaxMarkerSearch)
                return 1;
            if (previous == 0xFF && c != 0xFF)
                marker = c;
            previous = c;
        }

        // The end of the picture has no length; before any scan there is no picture.
        if (marker == 0xD9)
            return 0;

        const int high = getc(file);
        const int low = getc(file);
        if (high == EOF || low == EOF)
            return 1;
        const uint32_t length = (static_cast<uint32_t>(high) << 8) | static_cast<uint32_t>(low);
        if (length < 2)
            continue;
        // A segment cut off by the end of the file keeps zeros in place of the missing bytes.
        uint8_t* data = static_cast<uint8_t*>(calloc(length, 1));
        if (!data)
            return 1;
        PutU16BigEndian(data, length);
        (void)fread(data + 2, 1, length - 2, file);
        JpegSection& section = list.sections[list.count++];
        section.data = data;
        section.type = marker;
        section.size = length;

        bool keep = true;
        if (IsFrameMarker(marker)) {
            ParseFrameHeader(list, data, length, marker);
        } else if (marker == 0xDA) {
            if (flags & kKeepImageData) {
                if (ReserveMarkerSection(list))
                    ReadImageData(list, file);
            }
            return 1;
        } else if (marker == 0xE0) {
            if (length >= 16) {
                list.facts.jfifPresent = 1;
                list.facts.densityUnit = data[9];
                list.facts.densityX = static_cast<uint16_t>((data[10] << 8) | data[11]);
                list.facts.densityY = static_cast<uint16_t>((data[12] << 8) | data[13]);
            }
            keep = false;
        } else if (marker == 0xE1) {
            keep = false;
            if (flags & kKeepMetadata) {
                if (length >= 6 && memcmp(data + 2, "Exif", 4) == 0) {
                    ParseExifSegment(list, data, length);
                    keep = true;
                } else if (length >= 7 && memcmp(data + 2, kXmpNamespace, 5) == 0) {
                    list.sections[list.count - 1].type = kJpegSectionXmp;
                    keep = true;
                }
            }
        } else if (marker == 0xE2 || marker == 0xE3 || marker == 0xED) {
            keep = (flags & kKeepMetadata) != 0;
        } else if (marker == 0xFE) {
            keep = (flags & kKeepMetadata) != 0 && !commentSeen;
            if (keep) {
                ParseJpegComment(list, data, length);
                commentSeen = true;
            }
        }
        if (!keep) {
            --list.count;
            FreeSection(list.sections[list.count]);
            list.sections[list.count] = JpegSection{};
        }
    }
}

int ReadMarkerSectionsFromFile(JpegSectionList& list, const wchar_t* path, int flags)
{
    int result;
    {
        const ScopedFile file(path, L"rb");
        if (!file)
            return 0;
        result = ReadMarkerSections(list, file.Get(), flags);
    }
    if (result == 0)
        FreeMarkerSections(list);
    return result;
}

void ParseFrameHeader(JpegSectionList& list, const uint8_t* data, uint32_t size, int marker)
{
    if (!data || size < 8)
        return;
    list.facts.height = GetU16BigEndian(data + 3);
    list.facts.width = GetU16BigEndian(data + 5);
    list.facts.colour = data[7] == 3 ? 1 : 0;
    list.facts.process = marker;
}

void ParseJpegComment(JpegSectionList& list, const uint8_t* data, uint32_t size)
{
    if (!data)
        return;
    const uint32_t n = size < kJpegCommentSize ? size : kJpegCommentSize;
    char* out = list.facts.comment;
    uint32_t o = 0;
    for (uint32_t i = 2; i < n; ++i) {
        const uint8_t c = data[i];
        if (c == '\r') {
            if (i + 1 < n && data[i + 1] == '\n')
                continue;
            out[o++] = '?';
        } else if (c < 9 || (c >= 11 && c < 32)) {
            out[o++] = '?';
        } else {
            out[o++] = static_cast<char>(c);
        }
    }
    out[o] = '\0';
    list.facts.commentUtf16Units = 0;
}

int WriteMarkerSections(JpegSectionList& list, const wchar_t* path)
{
    if (!list.hasImageData || list.count < 1 || !path)
        return 0;
    ScopedFile output(path, L"wb");
    if (!output)
        return 0;
    FILE* file = output.Get();

    bool ok = WriteBytes(file, "\xFF\xD8", 2);
    const int32_t first = list.sections[0].type;
    if (first != 0xE0 && first != 0xE1) {
        JpegPictureFacts& facts = list.facts;
        if (facts.resolutionUnit == 2 || facts.resolutionUnit == 3) {
            facts.densityUnit = static_cast<uint8_t>(facts.resolutionUnit - 1);
            facts.densityX = DensityFromResolution(facts.xResolution);
            facts.densityY = DensityFromResolution(facts.yResolution);
        }
        const uint8_t app0[18] = {0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00, 0x01, 0x01,
                                  facts.densityUnit,
                                  static_cast<uint8_t>(facts.densityX >> 8), static_cast<uint8_t>(facts.densityX),
                                  static_cast<uint8_t>(facts.densityY >> 8), static_cast<uint8_t>(facts.densityY),
                                  0x00, 0x00};
        ok = ok && WriteBytes(file, app0, sizeof(app0));
    }
    for (int32_t i = 0; ok && i + 1 < list.count; ++i) {
        const JpegSection& section = list.sections[i];
        const uint8_t head[2] = {0xFF, static_cast<uint8_t>(section.type)};
        ok = WriteBytes(file, head, 2) && WriteBytes(file, section.data, section.size);
    }
    const JpegSection& last = list.sections[list.count - 1];
    ok = ok && WriteBytes(file, last.data, last.size);
    ok = output.Close() && ok;
    if (!ok) {
        _wremove(path);
        return 0;
    }
    return 1;
}

JpegSection* FindMarkerSection(JpegSectionList& list, int32_t type)
{
    for (int32_t i = 0; i + 1 < list.count; ++i) {
        if (list.sections[i].type == type)
            return &list.sections[i];
    }
    return nullptr;
}

JpegSection* InsertMarkerSection(JpegSectionList& list, int32_t type, const uint8_t* data, uint32_t size)
{
    if (!data && size)
        return nullptr;
    if (!ReserveMarkerSection(list))
        return nullptr;
    uint8_t* copy = static_cast<uint8_t*>(malloc(size ? size : 1));
    if (!copy)
        return nullptr;
    if (size)
        memcpy(copy, data, size);

    int32_t index = type == 0xE1 ? 0 : 2;
    if (index > list.count)
        index = list.count;
    // Nothing may come between the start of scan and the picture data, nor after the data.
    for (int32_t i = 0; i < index; ++i) {
        if (list.sections[i].type == 0xDA || list.sections[i].type == kJpegSectionImageData) {
            index = i;
            break;
        }
    }
    memmove(list.sections + index + 1, list.sections + index,
            sizeof(JpegSection) * static_cast<size_t>(list.count - index));
    ++list.count;
    JpegSection& section = list.sections[index];
    section.data = copy;
    section.type = type;
    section.size = size;
    return &section;
}

int RemoveMarkerSection(JpegSectionList& list, int32_t type)
{
    for (int32_t i = 0; i + 1 < list.count; ++i) {
        if (list.sections[i].type == type) {
            EraseSection(list, i);
            return 1;
        }
    }
    return 0;
}

bool RemoveUnlistedSections(JpegSectionList& list)
{
    auto listed = [](int32_t t) {
        return (t >= 0xC0 && t <= 0xC7) || (t >= 0xC9 && t <= 0xCB) || (t >= 0xCD && t <= 0xCF) ||
               (t >= 0xD8 && t <= 0xDB) || t == 0xDD || t == 0xE0 || t == 0xE1 || t == 0xED ||
               t == 0xFE || t == kJpegSectionXmp;
    };
    bool removed = false;
    for (int32_t i = 0; i + 1 < list.count; ) {
        if (!listed(list.sections[i].type)) {
            EraseSection(list, i);
            removed = true;
        } else {
            ++i;
        }
    }
    return removed;
}

void KeepMetadataSections(JpegSectionList& list)
{
    static const int32_t kOrder[4] = {0xE1, 0xFE, 0xED, kJpegSectionXmp};
    JpegSection kept[4] = {};
    for (int32_t i = 0; i < list.count; ++i) {
        JpegSection& section = list.sections[i];
        bool taken = false;
        for (int k = 0; k < 4; ++k) {
            if (section.type == kOrder[k] && !kept[k].data) {
                kept[k] = section;
                taken = true;
                break;
            }
        }
        if (!taken)
            FreeSection(section);
        section = JpegSection{};
    }
    list.count = 0;
    for (const JpegSection& section : kept) {
        if (section.data)
            list.sections[list.count++] = section;
    }
    list.hasImageData = 0;
}

bool GetJpegComment(const JpegSectionList& list, wchar_t* buffer, int capacity)
{
    if (!buffer || list.facts.comment[0] == '\0')
        return false;
    if (capacity <= 0)
        return true;
    const std::wstring wide =
        WideFromAnsi(list.facts.comment, strnlen(list.facts.comment, kJpegCommentSize));
    const int n = static_cast<int>(wide.size());
    const int copied = n < capacity - 1 ? n : capacity - 1;
    if (copied > 0)
        wmemcpy(buffer, wide.data(), static_cast<size_t>(copied));
    buffer[copied > 0 ? copied : 0] = L'\0';
    return true;
}

bool SetJpegComment(JpegSectionList& list, const wchar_t* text)
{
    if (!text)
        return false;
    JpegSection* section = FindOrInsert(list, 0xFE);
    if (!section)
        return false;
    // The text in the ANSI code page, cut to the comment's size.
    char ansi[kJpegCommentSize];
    int length = 0;
    const size_t wideLength = wcsnlen(text, 0x100000);
    if (wideLength > 0) {
        const std::string whole = AnsiFromWide(text, wideLength);
        if (whole.empty())
            return false;
        length = whole.size() < kJpegCommentSize ? static_cast<int>(whole.size()) : static_cast<int>(kJpegCommentSize);
        memcpy(ansi, whole.data(), static_cast<size_t>(length));
    }
    const uint32_t current = section->size >= 2 ? section->size - 2 : 0;
    if (current == static_cast<uint32_t>(length) && memcmp(section->data + 2, ansi, current) == 0)
        return true;
    if (!ReplaceSectionData(*section, static_cast<uint32_t>(length) + 2))
        return false;
    memcpy(section->data + 2, ansi, static_cast<size_t>(length));
    return true;
}

bool RemoveJpegComment(JpegSectionList& list)
{
    return RemoveMarkerSection(list, 0xFE) != 0;
}

bool GetJpegXmp(JpegSectionList& list, std::string& packet)
{
    const JpegSection* section = FindMarkerSection(list, kJpegSectionXmp);
    if (!section || section->size <= 50)
        return false;
    const char* start = reinterpret_cast<const char*>(section->data) + 2 + kXmpNamespaceSize;
    const size_t available = section->size - 2 - kXmpNamespaceSize;
    try {
        packet.assign(start, strnlen(start, available));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool SetJpegXmp(JpegSectionList& list, const char* packet)
{
    if (!packet)
        return false;
    const size_t packetSize = strlen(packet) + 1;   // with its NUL
    if (packetSize > kMaxSegmentSize - 2 - kXmpNamespaceSize)
        return false;
    JpegSection* section = FindOrInsert(list, kJpegSectionXmp);
    if (!section)
        return false;
    const uint32_t size = static_cast<uint32_t>(2 + kXmpNamespaceSize + packetSize);
    if (!ReplaceSectionData(*section, size))
        return false;
    memcpy(section->data + 2, kXmpNamespace, kXmpNamespaceSize);
    memcpy(section->data + 2 + kXmpNamespaceSize, packet, packetSize);
    return true;
}

bool RemoveJpegXmp(JpegSectionList& list)
{
    return RemoveMarkerSection(list, kJpegSectionXmp) != 0;
}
