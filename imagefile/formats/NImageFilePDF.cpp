#include "imagefile/formats/NImageFilePDF.h"

#include "imagefile/DataBound.h"

#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "base/FileMappingView.h"
#include "base/ScopedFile.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/NImageFileJPG.h"
#include "imagefile/formats/PdfLayout.h"

namespace {

constexpr int64_t kMinFlateSide = 5;
constexpr int64_t kMaxFlateSide = 20000;
const char kCreator[] = "NImageFilePDF 1.0";

// A whole file mapped for reading, released with the object.
class MappedFile {
public:
    MappedFile() = default;
    ~MappedFile() { Close(); }
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;

    bool Open(const wchar_t* path)
    {
        Close();
        if (!MapFileForReading(path, nullptr, &view_))
            return false;
        LARGE_INTEGER size;
        if (!GetFileSizeEx(view_.file, &size) || size.QuadPart <= 0 ||
            static_cast<uint64_t>(size.QuadPart) > SIZE_MAX) {
            Close();
            return false;
        }
        data = static_cast<const uint8_t*>(view_.view);
        this->size = static_cast<size_t>(size.QuadPart);
        return true;
    }

    void Close()
    {
        UnmapFileView(&view_);
        data = nullptr;
        size = 0;
    }

    const uint8_t* data = nullptr;
    size_t size = 0;

private:
    FileMappingView view_;
};

int ComponentsOf(const PdfImage& image)
{
    return image.colourSpace == PdfColourSpace::Gray ? 1 : 3;
}

// An image stream this class decodes as a page.
bool IsPageImage(const PdfImage& image)
{
    if (image.usedAsMask || image.imageMask)
        return false;
    if (image.filter == PdfFilter::Dct)
        return true;
    if (image.filter != PdfFilter::Flate)
        return false;
    if (image.colourSpace != PdfColourSpace::Rgb && image.colourSpace != PdfColourSpace::Gray)
        return false;
    if (image.bitsPerComponent != 8)
        return false;
    if (image.width < kMinFlateSide || image.width > kMaxFlateSide || image.height < kMinFlateSide ||
        image.height > kMaxFlateSide)
        return false;
    if (image.predictor == 1 || image.predictor == -1)
        return true;
    if (image.predictor < 10 || image.predictor > 15)
        return false;
    return (image.colors == -1 || image.colors == ComponentsOf(image)) &&
           (image.columns == -1 || image.columns == image.width) &&
           (image.parmsBitsPerComponent == -1 || image.parmsBitsPerComponent == 8);
}

uint8_t Paeth(int a, int b, int c)
{
    const int p = a + b - c;
    const int pa = std::abs(p - a);
    const int pb = std::abs(p - b);
    const int pc = std::abs(p - c);
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Undoes the PNG row filters in place: rows of 1 + rowBytes bytes become rows of rowBytes
// bytes at the front of the buffer. False for an unknown filter type.
bool UndoPngPredictor(std::vector<uint8_t>& data, size_t rows, size_t rowBytes, size_t pixelBytes)
{
    std::vector<uint8_t> previous(rowBytes, 0);
    for (size_t r = 0; r < rows; ++r) {
        const uint8_t type = data[r * (rowBytes + 1)];
        const uint8_t* in = data.data() + r * (rowBytes + 1) + 1;
        uint8_t* out = data.data() + r * rowBytes;   // never ahead of in
        for (size_t i = 0; i < rowBytes; ++i) {
            const int left = i >= pixelBytes ? out[i - pixelBytes] : 0;
            const int up = previous[i];
            const int upLeft = i >= pixelBytes ? previous[i - pixelBytes] : 0;
            int value = in[i];
            switch (type) {
            case 0: break;
            case 1: value += left; break;
            case 2: value += up; break;
            case 3: value += (left + up) / 2; break;
            case 4: value += Paeth(left, up, upLeft); break;
            default: return false;
            }
            out[i] = static_cast<uint8_t>(value);
        }
        std::memcpy(previous.data(), out, rowBytes);
    }
    return true;
}

// Inflates a Flate image stream into a 24-bit (RGB) or 8-bit grey picture.
NRESULT DecodeFlateImage(const uint8_t* data, uint64_t length, const PdfImage& image, NImageBuffer& target)
{
    const size_t width = static_cast<size_t>(image.width);
    const size_t height = static_cast<size_t>(image.height);
    const size_t components = static_cast<size_t>(ComponentsOf(image));
    const bool png = image.predictor >= 10;
    const size_t rowBytes = width * components;
    const size_t expected = (png ? rowBytes + 1 : rowBytes) * height;   // at most 1.2e9 bytes
    // Nor more than the stream's bytes can inflate to.
    if (!DataBound::Fits(png ? rowBytes + 1 : rowBytes, height, 8, length, DataBound::kDeflate))
        return NR_INVALID_DATA;
    std::vector<uint8_t> samples;
    try {
        samples.resize(expected);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    uLongf produced = static_cast<uLongf>(expected);
    const uLong available = static_cast<uLong>(std::min<uint64_t>(length, ULONG_MAX));
    if (uncompress(samples.data(), &produced, data, available) != Z_OK || produced != expected)
        return NR_DECOMPRESSION_FAILED;
    if (png && !UndoPngPredictor(samples, height, rowBytes, components))
        return NR_DECOMPRESSION_FAILED;

    uint8_t grey[256 * 3];
    for (int i = 0; i < 256; ++i)
        std::memset(grey + i * 3, i, 3);
    if (!target.Create(static_cast<int>(width), static_cast<int>(height), components == 3 ? 24 : 8, 0,
                       components == 3 ? nullptr : grey))
        return NR_PICTURE_CREATE_FAILED;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = samples.data() + y * rowBytes;
        uint8_t* out = target.bits + (height - 1 - y) * static_cast<size_t>(target.stride);
        if (components == 1) {
            std::memcpy(out, in, width);
            continue;
        }
        for (size_t x = 0; x < width; ++x) {
            out[x * 3] = in[x * 3 + 2];
            out[x * 3 + 1] = in[x * 3 + 1];
            out[x * 3 + 2] = in[x * 3];
        }
    }
    return NR_OK;
}

// Decodes the JPEG stream that starts at the offset of the file.
NRESULT DecodeJpegAt(const wchar_t* path, uint64_t offset, NImageBuffer& target, int32_t& width, int32_t& height)
{
    ScopedFile file(path, L"rb");
    if (!file)
        return NR_FILE_OPEN_READ;
    NImageFileJPG jpeg;
    NRESULT result = NR_DECODE_FAILED;
    if (_fseeki64(file.Get(), static_cast<int64_t>(offset), SEEK_SET) == 0)
        result = NImageFileJPG::DecodeStream(&jpeg, jpeg.picture, file.Get(), 0);
    file.Close();
    if (result == NR_NOT_THIS_FORMAT)
        result = NR_DECODE_FAILED;   // the PDF is fine, its picture is not
    if (result != NR_OK)
        return result;
    if (!target.Copy(jpeg.picture))
        return NR_PICTURE_CREATE_FAILED;
    width = jpeg.fullWidth;
    height = jpeg.fullHeight;
    return NR_OK;
}

bool ReadFileBytes(const wchar_t* path, std::vector<uint8_t>& bytes)
{
    const ScopedFile file(path, L"rb");
    if (!file)
        return false;
    bool ok = _fseeki64(file.Get(), 0, SEEK_END) == 0;
    const int64_t size = ok ? _ftelli64(file.Get()) : -1;
    ok = ok && size >= 0 && static_cast<uint64_t>(size) <= UINT32_MAX && _fseeki64(file.Get(), 0, SEEK_SET) == 0;
    if (ok) {
        try {
            bytes.resize(static_cast<size_t>(size));
            ok = std::fread(bytes.data(), 1, bytes.size(), file.Get()) == bytes.size();
        } catch (const std::bad_alloc&) {
            ok = false;
        }
    }
    return ok;
}

// Finishes the document and writes it to the open file.
NRESULT WriteDocument(std::unique_ptr<PdfDocument> document, FILE* file)
{
    const uint64_t total = PdfFinishDocument(*document, PdfDateText(), "", "", "", "", kCreator);
    if (total == 0 || total > SIZE_MAX)
        return NR_ALLOCATION_FAILED;
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(static_cast<size_t>(total));
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    uint64_t length = total;
    if (!PdfSerialize(std::move(document), bytes.data(), length))
        return NR_ALLOCATION_FAILED;
    if (std::fwrite(bytes.data(), 1, static_cast<size_t>(length), file) != length || std::fflush(file) != 0)
        return NR_FILE_ERROR;
    return NR_OK;
}

}  // namespace

NImageFilePDF::NImageFilePDF() = default;

NImageFilePDF::~NImageFilePDF() = default;

bool NImageFilePDF::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 4))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "%PDF");
}

NRESULT NImageFilePDF::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    SetFileName(path);
    if (!path)
        return NR_FILE_OPEN_READ;
    uint8_t head[4] = {};
    size_t got = 0;
    {
        const ScopedFile file(path, L"rb");
        if (!file)
            return NR_FILE_OPEN_READ;
        got = std::fread(head, 1, sizeof(head), file.Get());
    }
    if (got < sizeof(head) || !IsFormat(head, 0, sizeof(head)))
        return NR_NOT_THIS_FORMAT;

    NImageBuffer& destination = target ? *target : picture;
    MappedFile mapped;
    if (!mapped.Open(path))
        return NR_FILE_OPEN_READ;
    std::vector<PdfImage> pages;
    {
        PdfLayout layout;
        try {
            layout = ScanPdfLayout(mapped.data, mapped.size);
            for (const PdfImage& image : layout.images)
                if (IsPageImage(image))
                    pages.push_back(image);
        } catch (const std::bad_alloc&) {
            return NR_ALLOCATION_FAILED;
        }
        consumedSize = layout.end != 0 ? layout.end : mapped.size;
    }
    if (!preview && !quick && pageCount == 0) {
        multiImage = pages.size() > 1 ? 1 : 0;
        pageCount = static_cast<int32_t>(std::max<size_t>(pages.size(), 1));
    }

    if (pages.empty()) {
        mapped.Close();
        NImageFileJPG jpeg;
        const NRESULT result = jpeg.LoadEmbeddedJpeg(path, nullptr);
        if (result == NR_NOT_THIS_FORMAT)
            return NR_FORMAT_INIT_FAILED;
        if (jpeg.picture.valid && !destination.Copy(jpeg.picture))
            return NR_PICTURE_CREATE_FAILED;
        fullWidth = jpeg.fullWidth;
        fullHeight = jpeg.fullHeight;
        return result;
    }
    if (currentPage < 0 || static_cast<size_t>(currentPage) >= pages.size())
        return NR_INVALID_DATA;
    const PdfImage& page = pages[static_cast<size_t>(currentPage)];

    NRESULT result;
    if (page.filter == PdfFilter::Dct) {
        const uint64_t offset = page.dataOffset;
        mapped.Close();
        int32_t width = 0;
        int32_t height = 0;
        result = DecodeJpegAt(path, offset, destination, width, height);
        if (result == NR_OK) {
            fullWidth = width;
            fullHeight = height;
        }
        return result;
    }
    result = DecodeFlateImage(mapped.data + page.dataOffset, page.dataLength, page, destination);
    if (result == NR_OK) {
        fullWidth = destination.width;
        fullHeight = destination.height;
    }
    return result;
}

NRESULT NImageFilePDF::SaveFrom(const wchar_t* path, NImageFile* source)
{
    return SaveFromSource(path, source);
}

NRESULT NImageFilePDF::Save(const wchar_t* path, NImageBuffer* givenPicture, ImageMetadata* /*metadata*/)
{
    const NImageBuffer& image = givenPicture ? *givenPicture : picture;
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;
    if (!path)
        return NR_FILE_OPEN_WRITE;
    std::unique_ptr<PdfDocument> made = PdfCreateDocument(8.27, 11.69, 0);
    if (!made)
        return NR_ALLOCATION_FAILED;
    NRESULT result = AddJpegPage(*made, image);
    if (result != NR_OK)
        return result;
    ScopedFile file(path, L"wb");
    if (!file)
        return NR_FILE_OPEN_WRITE;
    result = WriteDocument(std::move(made), file.Get());
    if (!file.Close() && result == NR_OK)
        result = NR_FILE_ERROR;
    if (result != NR_OK)
        _wremove(path);
    return result;
}

FileType NImageFilePDF::GetFormatId() const
{
    return FT_PDF;
}

bool NImageFilePDF::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFilePDF::GetPageCount() const
{
    return pageCount;
}

void NImageFilePDF::SetPage(int32_t index)
{
    currentPage = index;
}

NRESULT NImageFilePDF::BeginPages(const wchar_t* path, NImageBuffer* /*reference*/)
{
    pageFile.Reset();
    document.reset();
    if (!pageFile.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    document = PdfCreateDocument(8.27, 11.69, 0);
    return document ? NR_OK : NR_FORMAT_INIT_FAILED;
}

NRESULT NImageFilePDF::AddPage(NImageBuffer* page)
{
    if (!document)
        return NR_FORMAT_INIT_FAILED;
    if (!page || !page->valid)
        return NR_PICTURE_NOT_VALID;
    return AddJpegPage(*document, *page);
}

NRESULT NImageFilePDF::EndPages()
{
    NRESULT result = NR_OK;
    if (document) {
        if (pageFile)
            result = WriteDocument(std::move(document), pageFile.Get());
        else
            result = NR_FILE_OPEN_WRITE;
    }
    document.reset();
    if (!pageFile.Close() && result == NR_OK)
        result = NR_FILE_ERROR;
    return result;
}

NRESULT NImageFilePDF::AddJpegPage(PdfDocument& target, const NImageBuffer& bitmap)
{
    if (!bitmap.valid)
        return NR_PICTURE_NOT_VALID;
    wchar_t folder[MAX_PATH + 1];
    const DWORD folderLength = GetTempPathW(MAX_PATH + 1, folder);
    wchar_t temporary[MAX_PATH];
    if (folderLength == 0 || folderLength > MAX_PATH || !GetTempFileNameW(folder, L"vlb", 0, temporary))
        return NR_FILE_OPEN_WRITE;

    NRESULT result;
    {
        NImageFileJPG jpeg;
        if (!jpeg.picture.Copy(bitmap)) {
            DeleteFileW(temporary);
            return NR_ALLOCATION_FAILED;
        }
        // A 32-bit picture whose alpha is 0 everywhere has no alpha (GDI drawing leaves it so):
        // it is opaque, not to be composited away.
        if (jpeg.picture.bpp == 32 && !jpeg.picture.HasAlpha())
            jpeg.picture.SetChannel(4, 255);
        if (jpeg.picture.bpp != 24 && !jpeg.picture.ConvertToBpp(24, false)) {
            DeleteFileW(temporary);
            return NR_ALLOCATION_FAILED;
        }
        result = jpeg.Save(temporary, nullptr, nullptr);
    }
    if (result == NR_OK) {
        std::vector<uint8_t> bytes;
        if (!ReadFileBytes(temporary, bytes))
            result = NR_FILE_OPEN_WRITE;
        else
            result = PdfAddImagePage(target, static_cast<uint32_t>(bitmap.width), static_cast<uint32_t>(bitmap.height),
                                     static_cast<uint32_t>(bytes.size()), bytes.data(), true);
    }
    DeleteFileW(temporary);
    return result;
}

NRESULT NImageFilePDF::AddFlatePage(PdfDocument& target, const NImageBuffer& bitmap)
{
    if (!bitmap.valid)
        return NR_PICTURE_NOT_VALID;
    const size_t width = static_cast<size_t>(bitmap.width);
    const size_t height = static_cast<size_t>(bitmap.height);
    const size_t rowBytes = width * 3;
    if (height != 0 && rowBytes > ULONG_MAX / 2 / height)
        return NR_ALLOCATION_FAILED;
    std::vector<uint8_t> rows;
    std::vector<uint8_t> packed;
    try {
        rows.resize(rowBytes * height);
        for (size_t y = 0; y < height; ++y) {
            uint8_t* line = bitmap.GetRowAs(24, static_cast<int>(height - 1 - y));
            if (!line)
                return NR_ALLOCATION_FAILED;
            uint8_t* out = rows.data() + y * rowBytes;
            for (size_t x = 0; x < width; ++x) {
                out[x * 3] = line[x * 3 + 2];
                out[x * 3 + 1] = line[x * 3 + 1];
                out[x * 3 + 2] = line[x * 3];
            }
            std::free(line);
        }
        packed.resize(compressBound(static_cast<uLong>(rows.size())));
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    uLongf packedLength = static_cast<uLongf>(packed.size());
    if (compress2(packed.data(), &packedLength, rows.data(), static_cast<uLong>(rows.size()), 6) != Z_OK)
        return NR_COMPRESSION_FAILED;
    return PdfAddImagePage(target, static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                           static_cast<uint32_t>(packedLength), packed.data(), false);
}

PictureExtent NImageFilePDF::FindExtent(ByteSource& source)
{
    uint8_t head[4];
    if (!source.ReadAt(0, head, 4))
        return PictureExtent::Unknown();
    if (!IsFormat(head, 0, 4))
        return PictureExtent::Broken();
    // The walk needs the bytes in one piece: it reads a growing front part of the data until the
    // end it finds lies well inside what it read (a later revision could follow an end that lies
    // near the edge of the part).
    // Each step reads again from the start: the walk looks no further than this.
    constexpr uint64_t kLargestWalk = uint64_t{64} << 20;
    const uint64_t size = std::min(source.Size(), kLargestWalk);
    uint64_t window = std::min<uint64_t>(size, 1u << 20);
    std::vector<uint8_t> bytes;
    for (;;) {
        try {
            bytes.resize(static_cast<size_t>(window));
        } catch (const std::bad_alloc&) {
            return PictureExtent::Unknown();
        }
        if (!source.ReadAt(0, bytes.data(), bytes.size()))
            return PictureExtent::Unknown();
        PdfLayout layout;
        try {
            layout = ScanPdfLayout(bytes.data(), bytes.size());
        } catch (const std::bad_alloc&) {
            return PictureExtent::Unknown();
        }
        const bool whole = window == source.Size() && source.EndIsFinal();
        if (layout.end != 0 && (layout.end <= window / 2 || whole))
            return PictureExtent::Complete(layout.end);
        if (window >= size)
            return PictureExtent::Unknown();
        window = std::min(size, window * 4);
    }
}
