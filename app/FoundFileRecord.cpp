#include "app/FoundFileRecord.h"

#include <algorithm>
#include <cstring>
#include <cwchar>
#include <new>

#include "base/WinVersion.h"

namespace {

constexpr size_t kMaxRecords = PTRDIFF_MAX / sizeof(FoundFileRecord);
constexpr uint32_t kLinearSearchLimit = 500;

int PathLength(const wchar_t* path)
{
    return static_cast<int>(wcsnlen(path, MAX_PATH));
}

// lstrcmpiW's comparison, bounded by the record's buffer.
int CompareIgnoringCase(const wchar_t* a, int aLength, const wchar_t* b, int bLength)
{
    const int answer = CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a, aLength, b, bLength);
    if (answer != 0)
        return answer - CSTR_EQUAL;
    // The system could not compare: an ordinal order keeps the sort consistent.
    const int common = std::min(aLength, bLength);
    for (int i = 0; i < common; ++i) {
        if (a[i] != b[i])
            return a[i] < b[i] ? -1 : 1;
    }
    return aLength == bLength ? 0 : (aLength < bLength ? -1 : 1);
}

int ComparePaths(const wchar_t* a, const wchar_t* b, bool natural)
{
    const int aLength = PathLength(a), bLength = PathLength(b);
    if (natural) {
        const int answer = CompareStringW(LOCALE_SYSTEM_DEFAULT, SORT_DIGITSASNUMBERS | LINGUISTIC_IGNORECASE, a,
                                          aLength, b, bLength);
        if (answer != 0)
            return answer - CSTR_EQUAL;
    }
    return CompareIgnoringCase(a, aLength, b, bLength);
}

bool SamePath(const FoundFileRecord& record, const wchar_t* path)
{
    return CompareIgnoringCase(record.path, PathLength(record.path), path, static_cast<int>(std::wcslen(path))) == 0;
}

int Sign(int64_t value)
{
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

bool NaturalOrderAvailable()
{
    OSVERSIONINFOEXW version{};
    if (!GetOsVersion(version))
        return false;
    return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 1);
}

// A zeroed array of count records, or null.
std::unique_ptr<FoundFileRecord[]> NewRecords(size_t count)
{
    if (count == 0 || count > kMaxRecords)
        return nullptr;
    return std::unique_ptr<FoundFileRecord[]>(new (std::nothrow) FoundFileRecord[count]());
}

}  // namespace

int CompareFoundFileRecords(const FoundFileRecord& a, const FoundFileRecord& b, int key, bool naturalPathOrder)
{
    switch (key) {
    case kSortByPath:
        return ComparePaths(a.path, b.path, naturalPathOrder);
    case kSortBySize:
        return a.size == b.size ? 0 : (a.size < b.size ? -1 : 1);
    case kSortByLastWrite:
        return Sign(CompareFileTime(&a.lastWrite, &b.lastWrite));
    case kSortByDate:
        return Sign(CompareFileTime(&a.date, &b.date));
    case kSortByTypeThenDate:
        if (a.type != b.type)
            return a.type < b.type ? -1 : 1;
        return Sign(CompareFileTime(&a.date, &b.date));
    default:
        return 0;
    }
}

void SortFoundFileRecords(FoundFileRecord* records, size_t count, int key, bool ascending)
{
    if (!records || count == 0 || key < kSortByPath || key > kSortByTypeThenDate)
        return;
    const bool natural = key == kSortByPath && NaturalOrderAvailable();
    std::sort(records, records + count, [key, ascending, natural](const FoundFileRecord& a, const FoundFileRecord& b) {
        return ascending ? CompareFoundFileRecords(a, b, key, natural) < 0
                         : CompareFoundFileRecords(b, a, key, natural) < 0;
    });
}

bool RemoveFoundFileRecord(FoundFileRecord* records, size_t index, size_t& count)
{
    if (!records || count == 0 || index >= count)
        return false;
    // Records are plain data: moving them up is a byte move.
    std::memmove(records + index, records + index + 1, (count - index - 1) * sizeof(FoundFileRecord));
    --count;
    return true;
}

bool AppendFoundFileRecord(std::unique_ptr<FoundFileRecord[]>& records, const FoundFileRecord& record,
                           size_t& count)
{
    if ((!records && count != 0) || count >= kMaxRecords)
        return false;
    std::unique_ptr<FoundFileRecord[]> grown = NewRecords(count + 1);
    if (!grown)
        return false;
    if (count)
        std::memcpy(grown.get(), records.get(), count * sizeof(FoundFileRecord));
    grown[count] = record;
    records = std::move(grown);
    ++count;
    return true;
}

bool ResizeFoundFileRecords(std::unique_ptr<FoundFileRecord[]>& records, size_t count, size_t extra)
{
    if ((!records && count != 0) || count > kMaxRecords || extra > kMaxRecords - count)
        return false;
    std::unique_ptr<FoundFileRecord[]> resized = NewRecords(count + extra);
    if (!resized)
        return false;
    if (count)
        std::memcpy(resized.get(), records.get(), count * sizeof(FoundFileRecord));
    records = std::move(resized);
    return true;
}

bool FindFoundFileRecord(const FoundFileRecord* records, size_t count, const wchar_t* path, size_t& index)
{
    if (!records || !path)
        return false;
    for (size_t i = 0; i < count; ++i) {
        if (SamePath(records[i], path)) {
            index = i;
            return true;
        }
    }
    return false;
}

bool FindFoundFileRecordInVector(const std::vector<FoundFileRecord>& records, const wchar_t* path, size_t& index)
{
    return !records.empty() && FindFoundFileRecord(records.data(), records.size(), path, index);
}

uint32_t FindFoundFileRecordStrided(const FoundFileRecord* records, uint32_t count, const wchar_t* path)
{
    if (!records || !path || count == 0)
        return kFoundFileRecordNotFound;
    if (count <= kLinearSearchLimit) {
        for (uint32_t i = 0; i < count; ++i) {
            if (SamePath(records[i], path))
                return i;
        }
        return kFoundFileRecordNotFound;
    }
    // Nine strides of n cover the first 9n records, the backward probe the last n.
    const uint64_t n = count / 10 + 1;
    for (uint64_t j = 0; j < n; ++j) {
        for (uint64_t k = 0; k < 9; ++k) {
            const uint64_t i = j + k * n;
            if (i < count && SamePath(records[i], path))
                return static_cast<uint32_t>(i);
        }
        const uint64_t back = count - 1 - j;
        if (SamePath(records[back], path))
            return static_cast<uint32_t>(back);
    }
    return kFoundFileRecordNotFound;
}
