#include "imagefile/extra/NImageFileDCX.h"

#include "imagefile/ByteCursor.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/NImageFilePCX.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kFullTableStart = 4 + 4 * NImageFileDCX::kMaxPages;   // 4100

}  // namespace

bool NImageFileDCX::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureU32(p) == kMagic;
}

int NImageFileDCX::ReadPageTable(StdioStream& in, uint32_t (&table)[kMaxPages])
{
    memset(table, 0, sizeof(table));
    uint32_t entry = 0;
    if (!in.ReadU32(entry))
        return 0;
    if (entry == kFullTableStart) {
        table[0] = entry;
        for (int i = 1; i < kMaxPages && in.ReadU32(table[i]); ++i) {
        }
        return static_cast<int>(std::count_if(table, table + kMaxPages, [](uint32_t v) { return v != 0; }));
    }
    int count = 0;
    while (entry != 0 && count < kMaxPages) {
        table[count++] = entry;
        if (count == kMaxPages || !in.ReadU32(entry))
            break;
    }
    return count;
}

PictureExtent NImageFileDCX::FindExtent(ByteSource& source)
{
    // The page table as ReadPageTable reads it; only the first and the furthest page matter.
    ByteCursor in(source);
    uint32_t magicRead = 0;
    uint32_t first = 0;
    if (!in.U32LE(magicRead) || !in.U32LE(first))
        return PictureExtent::Unknown();
    if (magicRead != kMagic || first == 0)
        return PictureExtent::Broken();
    uint32_t furthest = first;
    for (int i = 1; i < kMaxPages; ++i) {
        uint32_t entry = 0;
        if (!in.U32LE(entry))
            return PictureExtent::Unknown();
        if (entry == 0 && first != kFullTableStart)
            break;
        furthest = std::max(furthest, entry);
    }
    // The table decides which page is the furthest: a file cut inside it would measure another.
    const uint64_t tableEnd = in.Position();

    // A first page beyond the largest picture is in no file that Load could read it from.
    const PictureExtent page = uint64_t{first} + 128 > kLargestPicture ? PictureExtent::Broken()
                                                                       : NImageFilePCX::FindImageExtent(source, first);
    if (page.IsBroken())
        return page;
    PictureExtent extent = page;
    if (page.IsComplete() && furthest != first) {
        // A furthest page that is no picture makes Load count the whole file.
        const PictureExtent last = NImageFilePCX::FindImageExtent(source, furthest);
        extent = last.IsComplete() ? PictureExtent::Complete(std::max(page.end, last.end)) : PictureExtent::Unknown();
    }
    // Cut at its end, the file must still hold the table and let the first page be believed.
    if (extent.IsComplete() && (extent.end < tableEnd || !NImageFilePCX::ImageFitsFile(source, first, extent.end)))
        return PictureExtent::Unknown();
    return extent;
}

NRESULT NImageFileDCX::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint32_t fileMagic = 0;
    if (!in.ReadU32(fileMagic) || fileMagic != kMagic)
        return NR_NOT_THIS_FORMAT;
    uint32_t table[kMaxPages];
    const int count = ReadPageTable(in, table);
    if (count == 0)
        return NR_FORMAT_INIT_FAILED;
    if (pageCount == 0) {
        pageCount = count;
        multiImage = count > 1;
        currentPage = 0;
    }
    if (currentPage < 0)
        return NR_DECODE_FAILED;
    const int page = std::min(currentPage, kMaxPages - 1);

    NRESULT result = NR_NOT_THIS_FORMAT;
    if (in.Seek(table[page]))
        result = NImageFilePCX::ReadImage(in, &pic);
    const uint64_t pageEnd = in.PositionInFile();

    // The file reaches to the end of its furthest page; a furthest page that cannot be walked
    // keeps the whole file.
    const uint32_t furthest = *std::max_element(table, table + kMaxPages);
    uint64_t end = pageEnd;
    if (furthest != table[page] || result != NR_OK) {
        const uint64_t furthestEnd = NImageFilePCX::MeasureImage(in, furthest);
        end = std::max(end, furthestEnd != 0 ? furthestEnd : in.Length());
    }
    consumedSize = end;
    fullWidth = pic.valid ? pic.width : 0;
    fullHeight = pic.valid ? pic.height : 0;
    return result == NR_NOT_THIS_FORMAT ? NR_DECODE_FAILED : result;
}

NRESULT NImageFileDCX::BeginPages(const wchar_t* path, NImageBuffer*)
{
    output.Close();
    memset(pageOffsets, 0, sizeof(pageOffsets));
    magic = kMagic;
    if (!output.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    static const uint8_t emptyTable[4 * kMaxPages] = {};
    if (!output.WriteU32(magic) || !output.Write(emptyTable, sizeof(emptyTable))) {
        output.Close();
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

NRESULT NImageFileDCX::AddPage(NImageBuffer* page)
{
    if (!output.IsOpen())
        return NR_FILE_ERROR;
    if (!page || !page->valid)
        return NR_PICTURE_NOT_VALID;
    uint32_t* slot = std::find(pageOffsets, pageOffsets + kMaxPages, 0u);
    if (slot == pageOffsets + kMaxPages)
        return NR_INVALID_DATA;
    const int64_t position = output.Tell();
    if (position <= 0 || position > static_cast<int64_t>(UINT32_MAX))
        return NR_FILE_ERROR;
    const NRESULT result = NImageFilePCX::WriteImage(output, page);
    if (result == NR_OK)
        *slot = static_cast<uint32_t>(position);
    else
        output.Seek(static_cast<uint64_t>(position));
    return result;
}

NRESULT NImageFileDCX::EndPages()
{
    if (!output.IsOpen())
        return NR_FILE_ERROR;
    bool ok = output.Seek(4);
    for (int i = 0; ok && i < kMaxPages; ++i)
        ok = output.WriteU32(pageOffsets[i]);
    ok = output.Close() && ok;
    return ok ? NR_OK : NR_FILE_ERROR;
}

FileType NImageFileDCX::GetFormatId() const
{
    return FT_DCX;
}

bool NImageFileDCX::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileDCX::GetPageCount() const
{
    return pageCount;
}

void NImageFileDCX::SetPage(int32_t index)
{
    currentPage = index;
}
