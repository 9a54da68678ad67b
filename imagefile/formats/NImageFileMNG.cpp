#include "imagefile/formats/NImageFileMNG.h"

#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include <libmng.h>

#include "base/ReadTarget.h"
#include "imagefile/DataBound.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/MngCallbacks.h"
#include "imagefile/formats/MngStreamWalk.h"

namespace {

constexpr uint32_t kMend = MngChunkName('M', 'E', 'N', 'D');
constexpr size_t kMaxDelayEntries = 65536;
constexpr int kExtraDisplayCalls = 64;   // timer breaks followed beyond the frame limit
constexpr uint16_t kNoTransparency = 0xFFFF;

struct MngIoContext : MngIoBase {
    const std::vector<MngStreamPatch>* patches = nullptr;
    NImageFileMNG* owner = nullptr;
    NImageBuffer* target = nullptr;           // the picture a load returns
    NImageBuffer canvas;                      // where libmng draws when frames are collected
    NImageBuffer* drawn = nullptr;            // target (one frame) or &canvas
    bool singleFrame = false;
    // A verification of one frame: libmng draws every line into one scratch line, and the
    // picture returned is a single pixel.
    bool rowsOnly = false;
    std::unique_ptr<uint8_t[]> scratchLine;
    uint32_t width = 0;
    uint32_t height = 0;
    bool headerSeen = false;
    bool stopped = false;                     // the play was ended here on purpose
    uint32_t headerFrames = 0;                // the MHDR frame count
    int frameLimit = 1;
    int depth = 24;
};

MngIoContext* ContextOf(mng_handle handle)
{
    return MngContextOf<MngIoContext>(handle);
}

mng_bool MNG_DECL MngCallbackReadData(mng_handle handle, mng_ptr buffer, mng_uint32 count, mng_uint32p read)
{
    MngIoContext* context = ContextOf(handle);
    *read = 0;
    if (!context || !context->file)
        return MNG_TRUE;
    const int64_t start = _ftelli64(context->file);
    PrepareReadTarget(buffer, count);
    *read = static_cast<mng_uint32>(fread(buffer, 1, count, context->file));
    if (context->patches && start >= 0)
        ApplyMngStreamPatches(*context->patches, static_cast<uint64_t>(start), static_cast<uint8_t*>(buffer), *read);
    return MNG_TRUE;
}

mng_bool MNG_DECL MngCallbackProcessHeader(mng_handle handle, mng_uint32 width, mng_uint32 height)
{
    MngIoContext* context = ContextOf(handle);
    if (!context || context->headerSeen)
        return MNG_TRUE;
    context->headerSeen = true;
    context->headerFrames = mng_get_framecount(handle);
    const mng_uint8 colourType = mng_get_colortype(handle);
    context->depth = (colourType == 6 || colourType == 8 || colourType == 12 || colourType == 14) ? 32 : 24;

    const int stride = (width > 0 && width <= INT32_MAX) ? NImageBuffer::StrideFor(static_cast<int>(width), context->depth) : 0;
    if (stride == 0 || height == 0 || height > INT32_MAX) {
        context->result = NR_PICTURE_CREATE_FAILED;
        return MNG_FALSE;
    }
    // A frame larger than the file's data can fill at deflate's best ratio is not believed.
    if (!DataBound::Fits(width, height, static_cast<uint64_t>(context->depth), context->fileSize,
                         DataBound::kDeflate)) {
        context->result = NR_INVALID_DATA;
        return MNG_FALSE;
    }
    // Frames kept: the header's count (0 means unknown: the first frame), bounded by the frame
    // limit, the byte budget and the largest strip a picture can hold.
    uint64_t limit = context->singleFrame ? 1 : std::max<uint32_t>(context->headerFrames, 1);
    const uint64_t frameBytes = static_cast<uint64_t>(stride) * height;
    limit = std::min<uint64_t>(limit, NImageFileMNG::kMaxFrames);
    limit = std::min<uint64_t>(limit, std::max<uint64_t>(1, NImageFileMNG::kStripBudget / frameBytes));
    limit = std::min<uint64_t>(limit, std::max<uint64_t>(1, INT32_MAX / height));
    context->frameLimit = static_cast<int>(limit);
    // One frame kept: libmng draws straight into the picture returned.
    if (limit == 1)
        context->singleFrame = true;

    context->drawn = context->singleFrame ? context->target : &context->canvas;
    context->width = width;
    context->height = height;
    if (context->rowsOnly && context->singleFrame) {
        context->scratchLine.reset(new (std::nothrow) uint8_t[static_cast<size_t>(stride)]);
        if (!context->scratchLine) {
            context->result = NR_NOT_ENOUGH_MEMORY;
            return MNG_FALSE;
        }
    }
    const bool whole = !context->scratchLine;
    if (!context->drawn->Create(whole ? static_cast<int>(width) : 1, whole ? static_cast<int>(height) : 1,
                                context->depth, 0x00FFFFFF)) {
        context->result = NR_PICTURE_CREATE_FAILED;
        return MNG_FALSE;
    }
    mng_set_canvasstyle(handle, context->depth == 32 ? MNG_CANVAS_BGRA8 : MNG_CANVAS_BGR8);
    return MNG_TRUE;
}

mng_ptr MNG_DECL MngCallbackGetCanvasLine(mng_handle handle, mng_uint32 line)
{
    MngIoContext* context = ContextOf(handle);
    if (!context || !context->drawn || !context->drawn->valid)
        return nullptr;
    if (context->scratchLine)
        return context->scratchLine.get();
    NImageBuffer& canvas = *context->drawn;
    const uint32_t row = std::min<uint32_t>(line, static_cast<uint32_t>(canvas.height) - 1);
    return canvas.bits + static_cast<size_t>(canvas.height - 1 - row) * canvas.stride;
}

mng_bool MNG_DECL MngCallbackSetTimer(mng_handle handle, mng_uint32 milliseconds)
{
    MngIoContext* context = ContextOf(handle);
    if (context && context->owner && context->owner->frameDelays.size() < kMaxDelayEntries)
        context->owner->frameDelays.push_back(static_cast<uint16_t>(milliseconds));
    return MNG_TRUE;
}

// Reached when a TERM chunk is about to repeat the animation: one pass gives every frame, so
// the play ends here (libmng reports that as an application error, which is not recorded).
mng_bool MNG_DECL MngCallbackProcessMend(mng_handle handle, mng_uint32, mng_uint32)
{
    if (MngIoContext* context = ContextOf(handle))
        context->stopped = true;
    return MNG_FALSE;
}

mng_bool MNG_DECL MngCallbackError(mng_handle handle, mng_int32, mng_int8, mng_chunkid, mng_uint32, mng_int32,
                                   mng_int32, mng_pchar)
{
    MngIoContext* context = ContextOf(handle);
    if (context && !context->stopped && context->result == NR_OK)
        context->result = NR_DECODE_FAILED;
    return MNG_FALSE;
}

// Raw rows of one image (each a filter byte 0 and the row) compressed for IDAT.
NRESULT CompressRows(const std::vector<uint8_t>& raw, std::vector<uint8_t>& compressed)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    try {
        compressed.resize(size);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    if (compress2(compressed.data(), &size, raw.data(), static_cast<uLong>(raw.size()), 9) != Z_OK)
        return NR_COMPRESSION_FAILED;
    compressed.resize(size);
    return NR_OK;
}

// Packed bytes of `width` pixels at a depth.
size_t RowBytes(int width, int bitsPerPixel)
{
    if (bitsPerPixel == 1)
        return (static_cast<size_t>(width) + 7) >> 3;
    if (bitsPerPixel == 4)
        return (static_cast<size_t>(width) + 1) >> 1;
    return static_cast<size_t>(width) * static_cast<size_t>(bitsPerPixel / 8);
}

// Appends a filter byte and the pixels of columns x .. x + w - 1 of one row: palette depths
// repacked from column 0, 24 and 32 bits turned from blue-first into red-first order.
void AppendRow(std::vector<uint8_t>& raw, const uint8_t* row, int x, int w, int bitsPerPixel)
{
    raw.push_back(0);
    const size_t at = raw.size();
    raw.resize(at + RowBytes(w, bitsPerPixel), 0);
    uint8_t* out = raw.data() + at;
    if (bitsPerPixel == 8) {
        std::memcpy(out, row + x, static_cast<size_t>(w));
    } else if (bitsPerPixel == 1 || bitsPerPixel == 4) {
        for (int c = 0; c < w; ++c)
            NImageFileMNG::SetPixelIndex(out, c, bitsPerPixel, NImageFileMNG::GetPixelIndex(row, x + c, bitsPerPixel));
    } else {
        const int step = bitsPerPixel / 8;
        const uint8_t* in = row + static_cast<size_t>(x) * step;
        for (int c = 0; c < w; ++c, in += step, out += step) {
            out[0] = in[2];
            out[1] = in[1];
            out[2] = in[0];
            if (step == 4)
                out[3] = in[3];
        }
    }
}

// The PNG colour type of a depth: palette up to 8 bits, else RGB or RGBA.
uint8_t ColourTypeFor(int bitsPerPixel)
{
    return bitsPerPixel <= 8 ? 3 : (bitsPerPixel == 32 ? 6 : 2);
}

}  // namespace

// Owns one libmng handle made for writing, with its I/O context. Chunks are collected by libmng
// and written to the file by Finish.
class MngChunkWriter {
public:
    MngChunkWriter() = default;
    ~MngChunkWriter()
    {
        if (handle_)
            mng_cleanup(&handle_);
    }
    MngChunkWriter(const MngChunkWriter&) = delete;
    MngChunkWriter& operator=(const MngChunkWriter&) = delete;

    NRESULT Begin(const wchar_t* path, NImageFileMNG* owner)
    {
        context_.reset(new (std::nothrow) MngIoContext);
        if (!context_)
            return NR_ALLOCATION_FAILED;
        context_->path = path;
        context_->owner = owner;
        handle_ = MngInitializeForWriting(*context_);
        if (!handle_ || !MngSetUpWriter(handle_))
            return NR_FORMAT_INIT_FAILED;
        return NR_OK;
    }

    mng_handle Handle() const { return handle_; }

    // MEND, then the file. 104 when it cannot be created, 102 when writing fails (the partial
    // file is removed).
    NRESULT Finish()
    {
        NRESULT result = NR_OK;
        if (mng_putchunk_mend(handle_) != MNG_NOERROR)
            result = NR_ENCODE_FAILED;
        else if (mng_write(handle_) != MNG_NOERROR)
            result = context_->result != NR_OK ? context_->result : NR_FILE_ERROR;
        return MngFinishWriter(handle_, *context_, result);
    }

    // One image: DEFI at (x, y), IHDR, for palette images a PLTE (empty: the global palette
    // applies) and optionally a tRNS, then the compressed rows. raw holds the rows already;
    // nothing is put when the compression fails.
    NRESULT PutImage(int x, int y, int w, int h, int bitsPerPixel, const std::vector<uint8_t>& raw,
                     const mng_palette8* palette = nullptr, mng_uint32 paletteCount = 0, const uint8_t* alphas = nullptr,
                     mng_uint32 alphaCount = 0)
    {
        std::vector<uint8_t> compressed;
        const NRESULT packed = CompressRows(raw, compressed);
        if (packed != NR_OK)
            return packed;
        mng_palette8 entries = {};
        if (palette)
            std::memcpy(entries, *palette, sizeof(entries));
        mng_uint8arr alphaValues = {};
        if (alphas)
            std::memcpy(alphaValues, alphas, sizeof(alphaValues));
        const uint8_t bitDepth = static_cast<uint8_t>(bitsPerPixel <= 8 ? bitsPerPixel : 8);
        const bool indexed = bitsPerPixel <= 8;
        if (mng_putchunk_defi(handle_, 0, 0, 0, MNG_TRUE, x, y, MNG_FALSE, 0, 0, 0, 0) != MNG_NOERROR ||
            mng_putchunk_ihdr(handle_, static_cast<mng_uint32>(w), static_cast<mng_uint32>(h), bitDepth,
                              ColourTypeFor(bitsPerPixel), 0, 0, 0) != MNG_NOERROR ||
            (indexed && mng_putchunk_plte(handle_, palette ? paletteCount : 0, entries) != MNG_NOERROR) ||
            (indexed && alphas &&
             mng_putchunk_trns(handle_, MNG_FALSE, MNG_TRUE, 3, alphaCount, alphaValues, 0, 0, 0, 0, alphaCount,
                               alphaValues) != MNG_NOERROR) ||
            mng_putchunk_idat(handle_, static_cast<mng_uint32>(compressed.size()), compressed.data()) != MNG_NOERROR ||
            mng_putchunk_iend(handle_) != MNG_NOERROR)
            return NR_ENCODE_FAILED;
        return NR_OK;
    }

    NRESULT PutFrame(bool restoreBackground, uint32_t delay)
    {
        if (mng_putchunk_fram(handle_, MNG_FALSE, restoreBackground ? 3 : 1, 0, MNG_NULL, 2, 0, 0, 0, delay, 0, 0, 0, 0,
                              0, 0, 0, MNG_NULL) != MNG_NOERROR)
            return NR_ENCODE_FAILED;
        return NR_OK;
    }

    NRESULT PutHeader(uint32_t width, uint32_t height, uint32_t frames, uint32_t playTime)
    {
        if (mng_putchunk_mhdr(handle_, width, height, 100, frames + 1, frames, playTime, 15) != MNG_NOERROR ||
            mng_putchunk_term(handle_, 3, 2, 0, 0x7FFFFFFF) != MNG_NOERROR)
            return NR_ENCODE_FAILED;
        return NR_OK;
    }

private:
    std::unique_ptr<MngIoContext> context_;
    mng_handle handle_ = nullptr;
};

NImageFileMNG::~NImageFileMNG()
{
    delete pageWriter_;
}

bool NImageFileMNG::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x8AMNG");
}

PictureExtent NImageFileMNG::FindExtent(ByteSource& source)
{
    // Load believes the header's frame size only as far as the file can fill it at deflate's best
    // ratio (24 bits a pixel at least; 32 with alpha for the file cut at its end).
    static const MngFamilyExtent kMng = {"\x8AMNG\r\n\x1A\n", MngChunkName('M', 'H', 'D', 'R'), kMend, 24, 32,
                                         DataBound::kDeflate};
    return FindMngFamilyExtent(source, kMng);
}

FileType NImageFileMNG::GetFormatId() const
{
    return FT_MNG;
}

bool NImageFileMNG::IsMultiImage() const
{
    return multiImage != 0;
}

bool NImageFileMNG::IsAnimated() const
{
    return multiImage != 0;
}

int32_t NImageFileMNG::GetPageCount() const
{
    return pageCount;
}

void NImageFileMNG::SetPage(int32_t index)
{
    currentPage = index;
}

NRESULT NImageFileMNG::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    SetFileName(path);
    std::unique_ptr<MngIoContext> context(new (std::nothrow) MngIoContext);
    if (!context)
        return NR_ALLOCATION_FAILED;
    MngOpenedStream stream;
    const NRESULT opened = OpenMngStream(path, IsFormat, kMend, stream);
    if (opened != NR_OK)
        return opened;
    const MngMemoryLimit memoryLimit(stream.fileSize);

    context->file = stream.file.Get();
    context->fileSize = stream.fileSize;
    context->patches = &stream.layout.patches;
    context->owner = this;
    context->singleFrame = preview || quick;
    context->rowsOnly = context->singleFrame && loadOptions.verifyOnly != 0;
    context->target = target ? target : &picture;

    // A verification of a stream whose first picture is plain PNG data: the check of its chunks
    // and of its inflated rows is enough, libmng is asked only when the check cannot tell.
    if (context->rowsOnly && stream.layout.complete) {
        StdioByteSource bytes(stream.file.Get());
        PngFamilyPicture first;
        const bool checked = CheckMngFirstImage(bytes, first) && first.frameWidth > 0 && first.frameHeight > 0 &&
                             first.frameWidth <= INT32_MAX && first.frameHeight <= INT32_MAX &&
                             DataBound::Fits(first.frameWidth, first.frameHeight, 24, stream.fileSize,
                                             DataBound::kDeflate);
        _fseeki64(stream.file.Get(), 0, SEEK_SET);
        if (checked) {
            if (!context->target->Create(1, 1, 24, 0x00FFFFFF))
                return NR_PICTURE_CREATE_FAILED;
            consumedSize = MngConsumedSize(stream.layout, 0, stream.fileSize);
            pageCount = 1;
            multiImage = first.frameCount > 1 ? 1 : 0;
            currentPage = 0;
            animated = multiImage;
            verifiedSmaller = 1;
            fullWidth = static_cast<int32_t>(first.frameWidth);
            fullHeight = static_cast<int32_t>(first.frameHeight);
            return NR_OK;
        }
    }

    mng_handle handle = MngInitializeForReading(*context);
    if (!handle)
        return NR_FORMAT_INIT_FAILED;
    MngSetUpReader(handle, loadOptions.backgroundColour);
    mng_setcb_errorproc(handle, MngCallbackError);
    mng_setcb_readdata(handle, MngCallbackReadData);
    mng_setcb_processheader(handle, MngCallbackProcessHeader);
    mng_setcb_getcanvasline(handle, MngCallbackGetCanvasLine);
    mng_setcb_gettickcount(handle, MngTickCount);
    mng_setcb_settimer(handle, MngCallbackSetTimer);
    // Frames are taken from the canvas when libmng returns.
    mng_setcb_refresh(handle, MngRefreshNothing);
    mng_setcb_processmend(handle, MngCallbackProcessMend);

    // Every return of libmng ends a frame: at a timer break the canvas shows the frame before
    // it, at the end (or where the play was stopped) the last one.
    std::vector<std::unique_ptr<uint8_t[]>> frames;
    bool outOfMemory = false;
    auto takeFrame = [&]() {
        if (context->singleFrame || !context->canvas.valid || frames.size() >= static_cast<size_t>(context->frameLimit))
            return;
        const size_t bytes = static_cast<size_t>(context->canvas.stride) * context->canvas.height;
        std::unique_ptr<uint8_t[]> copy(new (std::nothrow) uint8_t[bytes]);
        if (!copy) {
            outOfMemory = true;
            return;
        }
        std::memcpy(copy.get(), context->canvas.bits, bytes);
        frames.push_back(std::move(copy));
    };
    mng_retcode status = mng_readdisplay(handle);
    takeFrame();
    int calls = 1;
    while (status == MNG_NEEDTIMERWAIT && !context->singleFrame && !outOfMemory &&
           frames.size() < static_cast<size_t>(context->frameLimit) && calls < kMaxFrames + kExtraDisplayCalls) {
        status = mng_display_resume(handle);
        ++calls;
        takeFrame();
    }

    NRESULT result = context->result;
    if (result == NR_OK && !context->headerSeen)
        result = NR_DECODE_FAILED;
    consumedSize = MngFinishReading(handle, stream);

    NImageBuffer& out = *context->target;
    if (context->singleFrame) {
        pageCount = 1;
        multiImage = (preview || quick) && context->headerFrames > 1 ? 1 : 0;
        currentPage = 0;
    } else if (!frames.empty()) {
        const NImageBuffer& canvas = context->canvas;
        const int32_t count = static_cast<int32_t>(frames.size());
        if (!out.Create(canvas.width, canvas.height * count, canvas.bpp, 0x00FFFFFF)) {
            if (result == NR_OK)
                result = NR_PICTURE_CREATE_FAILED;
        } else {
            const size_t block = static_cast<size_t>(canvas.stride) * canvas.height;
            for (int32_t k = 0; k < count; ++k)
                std::memcpy(out.bits + block * k, frames[k].get(), block);
        }
        pageCount = count;
        multiImage = count > 1 ? 1 : 0;
        currentPage = count - 1;
    } else {
        pageCount = 1;
        multiImage = 0;
    }
    if (outOfMemory && result == NR_OK && frames.empty())
        result = NR_ALLOCATION_FAILED;
    animated = multiImage;
    fullWidth = out.valid ? out.width : 0;
    fullHeight = out.valid ? out.height : 0;
    if (out.valid && context->scratchLine) {
        verifiedSmaller = 1;
        fullWidth = static_cast<int32_t>(context->width);
        fullHeight = static_cast<int32_t>(context->height);
    }
    if (out.valid && pageCount > 1)
        out.height = context->canvas.height;
    return result;
}

NRESULT NImageFileMNG::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid)
        return NR_PICTURE_NOT_VALID;
    ImageSaveOptions options;
    options.pngCompressionLevel = 6;
    options.pngInterlace = 0;
    return SaveImageFile(pic, path, FT_PNG, &options);
}

NRESULT NImageFileMNG::SaveFrom(const wchar_t* path, NImageFile* source)
{
    if (!source)
        return NR_INVALID_DATA;
    if (source->GetFormatId() == FT_GIF && source->GetPageCount() >= 2 && !saveOptions.animationOff)
        return SaveAnimationFrom(path, source);
    return Save(path, &source->picture, &source->metadata);
}

uint8_t NImageFileMNG::GetPixelIndex(const uint8_t* row, int column, int bitsPerPixel)
{
    switch (bitsPerPixel) {
    case 1:
        return static_cast<uint8_t>((row[column / 8] >> (7 - column % 8)) & 1);
    case 4:
        return static_cast<uint8_t>((column % 2 == 0) ? (row[column / 2] >> 4) : (row[column / 2] & 0x0F));
    case 8:
        return row[column];
    default:
        return 0;
    }
}

void NImageFileMNG::SetPixelIndex(uint8_t* row, int column, int bitsPerPixel, uint8_t index)
{
    switch (bitsPerPixel) {
    case 1: {
        const uint8_t bit = static_cast<uint8_t>(0x80 >> (column % 8));
        row[column / 8] = (index & 1) ? (row[column / 8] | bit) : (row[column / 8] & ~bit);
        break;
    }
    case 4:
        if (column % 2 == 0)
            row[column / 2] = static_cast<uint8_t>((row[column / 2] & 0x0F) | ((index & 0x0F) << 4));
        else
            row[column / 2] = static_cast<uint8_t>((row[column / 2] & 0xF0) | (index & 0x0F));
        break;
    case 8:
        row[column] = index;
        break;
    default:
        break;
    }
}

NImageRect NImageFileMNG::FindChangedRect(const uint8_t* frame, const uint8_t* previous, int32_t stride, int width,
                                          int height, int bitsPerPixel)
{
    int left = width;
    int right = -1;
    int top = height;
    int bottom = -1;
    const int bytesPerPixel = bitsPerPixel >= 8 ? bitsPerPixel / 8 : 0;
    for (int y = 0; y < height; ++y) {
        const uint8_t* a = frame + static_cast<ptrdiff_t>(stride) * y;
        const uint8_t* b = previous + static_cast<ptrdiff_t>(stride) * y;
        for (int x = 0; x < width; ++x) {
            const bool differs =
                bytesPerPixel > 0
                    ? std::memcmp(a + static_cast<size_t>(x) * bytesPerPixel, b + static_cast<size_t>(x) * bytesPerPixel,
                                  bytesPerPixel) != 0
                    : GetPixelIndex(a, x, bitsPerPixel) != GetPixelIndex(b, x, bitsPerPixel);
            if (differs) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    }
    if (right < 0)
        return NImageRect{0, 0, width, height};
    return NImageRect{left, top, right - left + 1, bottom - top + 1};
}

NRESULT NImageFileMNG::SaveAnimationFrom(const wchar_t* path, NImageFile* source)
{
    if (!source || !source->picture.valid || !path)
        return NR_INVALID_DATA;
    const NImageBuffer& strip = source->picture;
    const int d = strip.bpp;
    if (d != 1 && d != 4 && d != 8 && d != 24 && d != 32)
        return NR_NOT_SUPPORTED;
    const int32_t count = std::max<int32_t>(source->GetPageCount(), 1);
    const int W = strip.width;
    const int H = strip.height;
    // The strip's bitmap must hold every frame.
    DIBSECTION section = {};
    if (!strip.bitmap || GetObjectW(strip.bitmap, sizeof(section), &section) != sizeof(section))
        return NR_INVALID_DATA;
    const int64_t rows = section.dsBm.bmHeight < 0 ? -static_cast<int64_t>(section.dsBm.bmHeight) : section.dsBm.bmHeight;
    if (rows < static_cast<int64_t>(H) * count)
        return NR_INVALID_DATA;

    // The frame tables of the source, kept here in reverse order.
    frameDelays.clear();
    frameDisposals.clear();
    frameTransparentIndexes.clear();
    for (int32_t k = count - 1; k >= 0; --k) {
        frameDelays.push_back(source->GetFrameDelay(k));
        frameDisposals.push_back(source->GetFrameDisposal(k));
        frameTransparentIndexes.push_back(source->GetFrameTransparentIndex(k));
    }
    auto delayOf = [&](int32_t i) { return frameDelays[count - 1 - i]; };
    auto disposalOf = [&](int32_t i) { return frameDisposals[count - 1 - i]; };
    auto transparentOf = [&](int32_t i) { return frameTransparentIndexes[count - 1 - i]; };

    MngChunkWriter writer;
    NRESULT result = writer.Begin(path, this);
    if (result != NR_OK)
        return result;
    uint32_t playTime = 0;
    for (int32_t i = 0; i < count; ++i)
        playTime += delayOf(i);
    result = writer.PutHeader(static_cast<uint32_t>(W), static_cast<uint32_t>(H), static_cast<uint32_t>(count), playTime);
    mng_handle handle = writer.Handle();

    if (result == NR_OK && d <= 8) {
        int colours = source->GetColorCount();
        if (colours == 16 && d == 8)
            colours = 256;
        colours = std::clamp(colours, 1, 1 << d);
        mng_palette8 palette = {};
        for (int c = 0; c < colours; ++c) {
            palette[c].iRed = strip.palette[c][2];
            palette[c].iGreen = strip.palette[c][1];
            palette[c].iBlue = strip.palette[c][0];
        }
        mng_uint8arr alphas;
        std::memset(alphas, 255, sizeof(alphas));
        int highest = -1;
        for (int32_t i = 0; i < count; ++i) {
            const uint16_t t = transparentOf(i);
            if (t != kNoTransparency && t <= 255) {
                alphas[t] = 0;
                highest = std::max<int>(highest, t);
            }
        }
        const mng_uint32 alphaCount = static_cast<mng_uint32>(highest + 1 > 0 ? highest + 1 : 1);
        if (mng_putchunk_plte(handle, static_cast<mng_uint32>(colours), palette) != MNG_NOERROR ||
            mng_putchunk_trns(handle, MNG_FALSE, MNG_TRUE, 3, alphaCount, alphas, 0, 0, 0, 0, alphaCount, alphas) !=
                MNG_NOERROR)
            result = NR_ENCODE_FAILED;
    }

    // Frame i's top row: the last scan line of its block; rows below it lie at lower addresses.
    auto topRow = [&](int32_t i) {
        return strip.bits + (static_cast<size_t>(i) * H + (H - 1)) * static_cast<size_t>(strip.stride);
    };
    const int32_t rowStep = -strip.stride;
    for (int32_t i = 0; result == NR_OK && i < count; ++i) {
        NImageRect rect{0, 0, W, H};
        if (i > 0 && disposalOf(i) != 2)
            rect = FindChangedRect(topRow(i), topRow(i - 1), rowStep, W, H, d);
        result = writer.PutFrame(disposalOf(i) == 2, delayOf(i));
        if (result != NR_OK)
            break;
        std::vector<uint8_t> raw;
        try {
            raw.reserve((RowBytes(rect.width, d) + 1) * static_cast<size_t>(rect.height));
            for (int y = rect.y; y < rect.y + rect.height; ++y)
                AppendRow(raw, topRow(i) + static_cast<ptrdiff_t>(rowStep) * y, rect.x, rect.width, d);
        } catch (const std::bad_alloc&) {
            result = NR_ALLOCATION_FAILED;
            break;
        }
        result = writer.PutImage(rect.x, rect.y, rect.width, rect.height, d, raw);
    }
    if (result != NR_OK)
        return result;
    return writer.Finish();
}

NRESULT NImageFileMNG::BeginPages(const wchar_t* path, NImageBuffer* reference)
{
    if (!reference || !reference->valid)
        return NR_PICTURE_NOT_VALID;
    if (!path)
        return NR_FILE_NOT_FOUND;
    delete pageWriter_;
    pageWriter_ = new (std::nothrow) MngChunkWriter;
    if (!pageWriter_)
        return NR_ALLOCATION_FAILED;
    NRESULT result = pageWriter_->Begin(path, this);
    if (result == NR_OK)
        result = pageWriter_->PutHeader(static_cast<uint32_t>(reference->width), static_cast<uint32_t>(reference->height),
                                        pageTotal, pageTotal * pageDelay);
    if (result != NR_OK) {
        delete pageWriter_;
        pageWriter_ = nullptr;
    }
    return result;
}

NRESULT NImageFileMNG::AddPage(NImageBuffer* page)
{
    if (!pageWriter_)
        return NR_FILE_ERROR;
    if (!page || !page->valid)
        return NR_PICTURE_NOT_VALID;
    const int w = page->width;
    const int h = page->height;
    const int d = page->bpp == 16 ? 24 : page->bpp;   // 16-bit pages are written as RGB
    std::vector<uint8_t> raw;
    try {
        raw.reserve((RowBytes(w, d) + 1) * static_cast<size_t>(h));
        for (int y = 0; y < h; ++y) {
            const int scanLine = h - 1 - y;
            if (page->bpp == 16) {
                uint8_t* row = page->GetRowAs(24, scanLine);
                if (!row)
                    return NR_ALLOCATION_FAILED;
                AppendRow(raw, row, 0, w, 24);
                free(row);
            } else {
                AppendRow(raw, page->bits + static_cast<size_t>(scanLine) * page->stride, 0, w, d);
            }
        }
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }

    // Palette pages carry their own palette and colour key.
    mng_palette8 palette = {};
    mng_uint8arr alphas;
    std::memset(alphas, 255, sizeof(alphas));
    const mng_uint32 colours = d <= 8 ? (1u << d) : 0;
    for (mng_uint32 c = 0; c < colours; ++c) {
        palette[c].iRed = page->palette[c][2];
        palette[c].iGreen = page->palette[c][1];
        palette[c].iBlue = page->palette[c][0];
    }
    const bool keyed = d <= 8 && page->hasTransparency;
    if (keyed)
        alphas[page->transparentIndex] = 0;
    NRESULT result = pageWriter_->PutFrame(page->hasTransparency != 0, pageDelay);
    if (result == NR_OK)
        result = pageWriter_->PutImage(0, 0, w, h, d, raw, d <= 8 ? &palette : nullptr, colours,
                                       keyed ? alphas : nullptr, keyed ? page->transparentIndex + 1u : 0);
    return result;
}

NRESULT NImageFileMNG::EndPages()
{
    if (!pageWriter_)
        return NR_FILE_ERROR;
    const NRESULT result = pageWriter_->Finish();
    delete pageWriter_;
    pageWriter_ = nullptr;
    return result;
}
