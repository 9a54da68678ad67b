#include "imagefile/NImageFile.h"

NImageFile::NImageFile()
{
    fileName = L"";
    NImageFile::ResetSaveOptions();
    NImageFile::ResetLoadOptions();
}

// Members release themselves: frame tables, file name, option texts, picture, metadata.
NImageFile::~NImageFile() = default;

NRESULT NImageFile::Load(const wchar_t*, uint8_t, uint8_t, NImageBuffer*)
{
    return NR_FORMAT_NOT_SUPPORTED;
}

NRESULT NImageFile::SaveFrom(const wchar_t*, NImageFile*)
{
    return NR_FORMAT_NOT_SUPPORTED;
}

NRESULT NImageFile::Save(const wchar_t*, NImageBuffer*, ImageMetadata*)
{
    return NR_FORMAT_NOT_SUPPORTED;
}

FileType NImageFile::GetFormatId() const
{
    return FT_UNKNOWN;
}

void NImageFile::SetLoadOptions(const ImageLoadOptions* options)
{
    if (options)
        loadOptions = *options;
}

void NImageFile::ResetLoadOptions()
{
    loadOptions.Reset();
}

void NImageFile::SetSaveOptions(const ImageSaveOptions* options)
{
    if (options)
        saveOptions = *options;
}

void NImageFile::ResetSaveOptions()
{
    saveOptions.Reset();
}

bool NImageFile::IsMultiImage() const
{
    return false;
}

int32_t NImageFile::GetPageCount() const
{
    return 0;
}

void NImageFile::SetPage(int32_t)
{
}

bool NImageFile::IsAnimated() const
{
    return false;
}

int32_t NImageFile::ReservedOperation() const
{
    return 0;
}

int32_t NImageFile::GetColorCount() const
{
    return colorCount;
}

namespace {

template <typename T>
T TableEntry(const std::vector<T>& table, int32_t index)
{
    if (index < 0 || static_cast<size_t>(index) >= table.size())
        return 0;
    return table[static_cast<size_t>(index)];
}

}  // namespace

uint16_t NImageFile::GetFrameDelay(int32_t index) const
{
    return TableEntry(frameDelays, index);
}

uint8_t NImageFile::GetFrameDisposal(int32_t index) const
{
    return TableEntry(frameDisposals, index);
}

uint16_t NImageFile::GetFrameTransparentIndex(int32_t index) const
{
    return TableEntry(frameTransparentIndexes, index);
}

bool NImageFile::IsHighDynamicRange() const
{
    return false;
}

uint64_t NImageFile::GetConsumedSize() const
{
    return consumedSize;
}

void NImageFile::SetFileName(const wchar_t* name)
{
    // A null name stores an empty text, so GetFileName never answers null.
    fileName.Assign(name ? name : L"");
}

const wchar_t* NImageFile::GetFileName() const
{
    return fileName.c_str();
}

NRESULT NImageFile::BeginPages(const wchar_t*, NImageBuffer*)
{
    return NR_NOT_IMPLEMENTED;
}

NRESULT NImageFile::AddPage(NImageBuffer*)
{
    return NR_NOT_IMPLEMENTED;
}

NRESULT NImageFile::EndPages()
{
    return NR_NOT_IMPLEMENTED;
}

NRESULT NImageFile::SaveFromSource(const wchar_t* path, NImageFile* source)
{
    if (!source)
        return NR_INVALID_DATA;
    return Save(path, &source->picture, &source->metadata);
}

void NImageFile::SetPageLimitedToLast(int32_t index)
{
    const uint32_t last = pageCount > 0 ? static_cast<uint32_t>(pageCount) - 1 : 0;
    const uint32_t wanted = static_cast<uint32_t>(index);
    currentPage = static_cast<int32_t>(wanted > last ? last : wanted);
}

FileType NImageFileGeneric::GetFormatId() const
{
    return formatId;
}
