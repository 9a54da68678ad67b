#include "imagefile/formats/NImageFileJNG.h"

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <memory>
#include <new>
#include <string>

#include <jpeglib.h>
#include <jerror.h>
#include <libmng.h>

#include "base/ReadTarget.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/formats/MngCallbacks.h"
#include "imagefile/formats/MngStreamWalk.h"

namespace {

constexpr uint32_t kIend = MngChunkName('I', 'E', 'N', 'D');
constexpr mng_chunkid kJdaa = 0x4A444141;   // "JDAA"
constexpr size_t kJpegBlock = 4096;

// ---- Reading and writing through libmng ----

struct JngIoContext : MngIoBase {
    NImageBuffer* target = nullptr;   // the picture being read into
    NImageFileJNG* owner = nullptr;
    // A verification: libmng draws every line into one scratch line, and the picture is a
    // single pixel.
    bool rowsOnly = false;
    std::unique_ptr<uint8_t[]> scratchLine;
    uint32_t width = 0;
    uint32_t height = 0;
};

JngIoContext* ContextOf(mng_handle handle)
{
    return MngContextOf<JngIoContext>(handle);
}

mng_bool MNG_DECL JngCallbackReadData(mng_handle handle, mng_ptr buffer, mng_uint32 count, mng_uint32p read)
{
    JngIoContext* context = ContextOf(handle);
    *read = 0;
    if (context && context->file) {
        PrepareReadTarget(buffer, count);
        *read = static_cast<mng_uint32>(fread(buffer, 1, count, context->file));
    }
    return MNG_TRUE;
}

mng_bool MNG_DECL JngCallbackProcessHeader(mng_handle handle, mng_uint32 width, mng_uint32 height)
{
    JngIoContext* context = ContextOf(handle);
    if (!context)
        return MNG_TRUE;
    // Grey, grey + alpha and colour + alpha as 32 bits; colour without alpha as 24.
    const mng_uint8 colourType = mng_get_colortype(handle);
    const bool alphaLayout = colourType == 8 || colourType == 12 || colourType == 14;
    const int depth = alphaLayout ? 32 : 24;
    // JPEG data of a file that small cannot fill a larger picture (512 pixels a byte at best).
    if (context->fileSize && !DataBound::Fits(width, height, 8, context->fileSize, 512)) {
        context->result = NR_INVALID_DATA;
        return MNG_FALSE;
    }
    if (width == 0 || height == 0 || width > INT32_MAX || height > INT32_MAX) {
        context->result = NR_PICTURE_CREATE_FAILED;
        return MNG_FALSE;
    }
    context->width = width;
    context->height = height;
    if (context->rowsOnly) {
        context->scratchLine.reset(
            new (std::nothrow) uint8_t[static_cast<size_t>(NImageBuffer::StrideFor(static_cast<int>(width), depth))]);
        if (!context->scratchLine) {
            context->result = NR_NOT_ENOUGH_MEMORY;
            return MNG_FALSE;
        }
    }
    const bool whole = !context->scratchLine;
    if (!context->target->Create(whole ? static_cast<int>(width) : 1, whole ? static_cast<int>(height) : 1, depth,
                                 0x00FFFFFF)) {
        context->result = NR_PICTURE_CREATE_FAILED;
        return MNG_FALSE;
    }
    mng_set_canvasstyle(handle, alphaLayout ? MNG_CANVAS_BGRA8 : MNG_CANVAS_BGR8);
    return MNG_TRUE;
}

mng_ptr MNG_DECL JngCallbackGetCanvasLine(mng_handle handle, mng_uint32 line)
{
    JngIoContext* context = ContextOf(handle);
    if (!context || !context->target->valid)
        return nullptr;
    if (context->scratchLine)
        return context->scratchLine.get();
    NImageBuffer& picture = *context->target;
    // libmng only asks for lines of the header's height; keep inside the picture all the same.
    const uint32_t row = std::min<uint32_t>(line, static_cast<uint32_t>(picture.height) - 1);
    return picture.bits + static_cast<size_t>(picture.height - 1 - row) * picture.stride;
}

mng_bool MNG_DECL JngCallbackSetTimer(mng_handle, mng_uint32)
{
    return MNG_TRUE;
}

mng_bool MNG_DECL JngCallbackError(mng_handle handle, mng_int32, mng_int8, mng_chunkid, mng_uint32, mng_int32,
                                   mng_int32, mng_pchar)
{
    // A picture that could not be made (403) stays the answer.
    JngIoContext* context = ContextOf(handle);
    if (context && context->result == NR_OK)
        context->result = NR_DECODE_FAILED;
    return MNG_FALSE;
}

// ---- JPEG encoding into memory ----

struct JpegMemoryOutput {
    uint8_t* data = nullptr;
    uint64_t size = 0;
};

struct JpegMemoryDestination {
    jpeg_destination_mgr pub;
    JOCTET* buffer;
    JpegMemoryOutput* output;
};

// Shared by both compressors: libjpeg's standard manager with Save's return point behind it.
// __builtin_setjmp/__builtin_longjmp restore only the stack and frame pointers, so leaving
// libjpeg never walks unwinding tables through its frames.
struct JngErrorManager {
    jpeg_error_mgr pub;
    void* jump[5];
};

[[noreturn]] void JngJpegErrorExit(j_common_ptr common)
{
    char message[JMSG_LENGTH_MAX];
    (*common->err->format_message)(common, message);
    __builtin_longjmp(reinterpret_cast<JngErrorManager*>(common->err)->jump, 1);
}

bool AppendToOutput(j_compress_ptr compressor, const JOCTET* bytes, size_t count)
{
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(compressor->dest);
    JpegMemoryOutput& output = *destination->output;
    if (count > SIZE_MAX - output.size)
        return false;
    auto* grown = static_cast<uint8_t*>(realloc(output.data, output.size + count));
    if (!grown)
        return false;
    output.data = grown;
    std::memcpy(output.data + output.size, bytes, count);
    output.size += count;
    return true;
}

[[noreturn]] void FailOutOfMemory(j_compress_ptr compressor)
{
    compressor->err->msg_code = JERR_OUT_OF_MEMORY;
    std::strncpy(compressor->err->msg_parm.s, "Could not reallocate enough memory", JMSG_STR_PARM_MAX - 1);
    compressor->err->msg_parm.s[JMSG_STR_PARM_MAX - 1] = '\0';
    (*compressor->err->error_exit)(reinterpret_cast<j_common_ptr>(compressor));
    __builtin_unreachable();
}

void JpegMemDestInit(j_compress_ptr compressor)
{
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(compressor->dest);
    destination->buffer = static_cast<JOCTET*>(
        (*compressor->mem->alloc_small)(reinterpret_cast<j_common_ptr>(compressor), JPOOL_IMAGE, kJpegBlock));
    destination->pub.next_output_byte = destination->buffer;
    destination->pub.free_in_buffer = kJpegBlock;
}

boolean JpegMemDestEmpty(j_compress_ptr compressor)
{
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(compressor->dest);
    if (!AppendToOutput(compressor, destination->buffer, kJpegBlock))
        FailOutOfMemory(compressor);
    destination->pub.next_output_byte = destination->buffer;
    destination->pub.free_in_buffer = kJpegBlock;
    return TRUE;
}

void JpegMemDestTerm(j_compress_ptr compressor)
{
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(compressor->dest);
    const size_t count = kJpegBlock - destination->pub.free_in_buffer;
    if (count > 0 && !AppendToOutput(compressor, destination->buffer, count))
        FailOutOfMemory(compressor);
}

void SetJpegMemoryDestination(j_compress_ptr compressor, JpegMemoryOutput* output)
{
    if (!compressor->dest) {
        compressor->dest = static_cast<jpeg_destination_mgr*>((*compressor->mem->alloc_small)(
            reinterpret_cast<j_common_ptr>(compressor), JPOOL_PERMANENT, sizeof(JpegMemoryDestination)));
    }
    auto* destination = reinterpret_cast<JpegMemoryDestination*>(compressor->dest);
    destination->pub.init_destination = JpegMemDestInit;
    destination->pub.empty_output_buffer = JpegMemDestEmpty;
    destination->pub.term_destination = JpegMemDestTerm;
    destination->output = output;
    destination->buffer = nullptr;
}

struct JngWriteState {
    jpeg_compress_struct colour{};
    jpeg_compress_struct alpha{};
    bool colourMade = false;
    bool alphaMade = false;
    bool hasAlpha = false;
    bool progressive = false;
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t* rowBuffer = nullptr;
    uint8_t* colourLine = nullptr;
    uint8_t* alphaLine = nullptr;
    size_t sourceStride = 0;
    JpegMemoryOutput colourOutput;
    JpegMemoryOutput alphaOutput;
    JngErrorManager error{};

    JngWriteState() = default;
    JngWriteState(const JngWriteState&) = delete;
    JngWriteState& operator=(const JngWriteState&) = delete;
    ~JngWriteState()
    {
        if (colourMade)
            jpeg_destroy_compress(&colour);
        if (alphaMade)
            jpeg_destroy_compress(&alpha);
        free(rowBuffer);
        free(colourLine);
        free(alphaLine);
        free(colourOutput.data);
        free(alphaOutput.data);
    }
};

// One scan line into both compressors; true when every row was written (and the compressors
// finished).
bool JngEncodeRow(JngWriteState& state, const NImageBuffer& picture)
{
    const JDIMENSION n = state.colour.next_scanline;
    if (n >= state.height) {
        jpeg_finish_compress(&state.colour);
        if (state.hasAlpha)
            jpeg_finish_compress(&state.alpha);
        return true;
    }
    const int scanLine = static_cast<int>(state.height - 1 - n);
    const int bpp = picture.bpp;
    if (bpp == 24 || bpp == 32) {
        std::memcpy(state.rowBuffer, picture.bits + static_cast<size_t>(scanLine) * picture.stride,
                    state.sourceStride);
    } else {
        uint8_t* row = picture.GetRowAs(24, scanLine);
        if (!row) {
            state.colour.err->msg_code = JERR_OUT_OF_MEMORY;
            (*state.colour.err->error_exit)(reinterpret_cast<j_common_ptr>(&state.colour));
        }
        std::memcpy(state.rowBuffer, row, state.sourceStride);
        free(row);
    }
    const size_t step = bpp == 32 ? 4 : 3;
    const uint8_t* pixel = state.rowBuffer;
    for (uint32_t x = 0; x < state.width; ++x, pixel += step) {
        std::memcpy(state.colourLine + x * 3, pixel, 3);
        if (state.hasAlpha)
            state.alphaLine[x] = pixel[3];
    }
    JSAMPROW colourRow = state.colourLine;
    jpeg_write_scanlines(&state.colour, &colourRow, 1);
    if (state.hasAlpha) {
        JSAMPROW alphaRow = state.alphaLine;
        jpeg_write_scanlines(&state.alpha, &alphaRow, 1);
    }
    return false;
}

void SetUpCompressor(jpeg_compress_struct& compressor, const JngWriteState& state, J_COLOR_SPACE space,
                     int components, const ImageSaveOptions& options)
{
    compressor.image_width = state.width;
    compressor.image_height = state.height;
    compressor.input_components = components;
    compressor.in_color_space = space;
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, options.jngQuality, TRUE);
    compressor.smoothing_factor = static_cast<int>(options.jngSmoothing * 100.0f);
    compressor.optimize_coding = options.jngOptimize ? TRUE : FALSE;
}

// The JNG file from the two encoded streams.
NRESULT JngWriteChunks(const wchar_t* path, const JngWriteState& state, NImageFileJNG* owner)
{
    std::unique_ptr<JngIoContext> context(new (std::nothrow) JngIoContext{});
    if (!context)
        return NR_ALLOCATION_FAILED;
    context->path = path;
    context->owner = owner;

    mng_handle handle = MngInitializeForWriting(*context);
    if (!handle)
        return NR_FORMAT_INIT_FAILED;
    NRESULT result = NR_OK;
    if (!MngSetUpWriter(handle))
        result = NR_FORMAT_INIT_FAILED;

    if (result == NR_OK &&
        mng_putchunk_jhdr(handle, state.width, state.height, state.hasAlpha ? 14 : 10, 8, 8, state.progressive ? 8 : 0,
                          state.hasAlpha ? 8 : 0, state.hasAlpha ? 8 : 0, 0, 0) != MNG_NOERROR)
        result = NR_ENCODE_FAILED;

    uint64_t colourPiece = 0;
    uint64_t alphaPiece = 0;
    NImageFileJNG::PieceSizes(state.colourOutput.size, state.alphaOutput.size, state.progressive, colourPiece,
                              alphaPiece);
    uint64_t colourLeft = state.colourOutput.size;
    uint64_t alphaLeft = state.alphaOutput.size;
    const uint8_t* colourAt = state.colourOutput.data;
    const uint8_t* alphaAt = state.alphaOutput.data;
    while (result == NR_OK && (colourLeft > 0 || alphaLeft > 0)) {
        if (alphaLeft > 0) {
            const uint64_t m = NImageFileJNG::NextPieceSize(alphaLeft, alphaPiece);
            if (m > UINT32_MAX ||
                mng_putchunk_unknown(handle, kJdaa, static_cast<mng_uint32>(m), const_cast<uint8_t*>(alphaAt)) !=
                    MNG_NOERROR) {
                result = NR_ENCODE_FAILED;
                break;
            }
            alphaLeft -= m;
            alphaAt += m;
        }
        if (colourLeft > 0) {
            const uint64_t m = NImageFileJNG::NextPieceSize(colourLeft, colourPiece);
            if (m > UINT32_MAX ||
                mng_putchunk_jdat(handle, static_cast<mng_uint32>(m), const_cast<uint8_t*>(colourAt)) != MNG_NOERROR) {
                result = NR_ENCODE_FAILED;
                break;
            }
            colourLeft -= m;
            colourAt += m;
        }
    }
    if (result == NR_OK && (mng_putchunk_iend(handle) != MNG_NOERROR || mng_write(handle) != MNG_NOERROR))
        result = NR_FILE_ERROR;
    return MngFinishWriter(handle, *context, result);
}

}  // namespace

bool NImageFileJNG::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 5))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x8BJNG");
}

PictureExtent NImageFileJNG::FindExtent(ByteSource& source)
{
    // Load believes the header's size only as far as the file can fill it (512 pixels a byte of
    // JPEG data at best).
    static const MngFamilyExtent kJng = {"\x8BJNG\r\n\x1A\n", MngChunkName('J', 'H', 'D', 'R'), kIend, 8, 8, 512};
    return FindMngFamilyExtent(source, kJng);
}

FileType NImageFileJNG::GetFormatId() const
{
    return FT_JNG;
}

void NImageFileJNG::PieceSizes(uint64_t colourSize, uint64_t alphaSize, bool progressive, uint64_t& colourPiece,
                               uint64_t& alphaPiece)
{
    colourPiece = progressive ? colourSize / 35 : colourSize / 10;
    alphaPiece = progressive ? std::max(5 * colourPiece, alphaSize / 7) : std::max(colourPiece, alphaSize / 10);
    // libmng cannot read a progressive colour stream whose JDAT chunks end at arbitrary points
    // (its buffered-image decoding fails at many chunk boundaries), so that stream stays whole.
    if (progressive)
        colourPiece = colourSize;
    colourPiece = std::max<uint64_t>(colourPiece, 1);
    alphaPiece = std::max<uint64_t>(alphaPiece, 1);
}

uint64_t NImageFileJNG::NextPieceSize(uint64_t left, uint64_t piece)
{
    if (piece == 0 || left < piece || (left < UINT64_MAX / 2 && 2 * left < 3 * piece))
        return left;
    return piece;
}

NRESULT NImageFileJNG::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    SetFileName(path);
    std::unique_ptr<JngIoContext> context(new (std::nothrow) JngIoContext{});
    if (!context)
        return NR_ALLOCATION_FAILED;
    MngOpenedStream stream;
    const NRESULT opened = OpenMngStream(path, IsFormat, kIend, stream);
    if (opened != NR_OK)
        return opened;
    const MngMemoryLimit memoryLimit(stream.fileSize);

    context->file = stream.file.Get();
    context->fileSize = stream.fileSize;
    context->owner = this;
    context->result = NR_OK;
    context->target = target ? target : &picture;
    context->rowsOnly = loadOptions.verifyOnly != 0;

    mng_handle handle = MngInitializeForReading(*context);
    if (!handle)
        return NR_FORMAT_INIT_FAILED;
    MngSetUpReader(handle, loadOptions.backgroundColour);
    mng_setcb_errorproc(handle, JngCallbackError);
    mng_setcb_readdata(handle, JngCallbackReadData);
    mng_setcb_processheader(handle, JngCallbackProcessHeader);
    mng_setcb_getcanvasline(handle, JngCallbackGetCanvasLine);
    mng_setcb_gettickcount(handle, MngTickCount);
    mng_setcb_settimer(handle, JngCallbackSetTimer);
    mng_setcb_refresh(handle, MngRefreshNothing);

    // A JNG is one picture: a timer break can only come before its end, so one resumption
    // finishes it. After an error libmng is not resumed.
    if (mng_readdisplay(handle) == MNG_NEEDTIMERWAIT)
        mng_display_resume(handle);

    NRESULT result = context->result;
    if (!context->target->valid && result == NR_OK)
        result = NR_DECODE_FAILED;
    consumedSize = MngFinishReading(handle, stream);
    fullWidth = context->target->valid ? context->target->width : 0;
    fullHeight = context->target->valid ? context->target->height : 0;
    if (context->target->valid && context->scratchLine) {
        verifiedSmaller = 1;
        fullWidth = static_cast<int32_t>(context->width);
        fullHeight = static_cast<int32_t>(context->height);
    }
    return result;
}

NRESULT NImageFileJNG::Save(const wchar_t* path, NImageBuffer* source, ImageMetadata*)
{
    NImageBuffer* pic = source ? source : &picture;
    if (!pic->valid || pic->width <= 0 || pic->height <= 0)
        return NR_PICTURE_NOT_VALID;
    if (!path)
        return NR_FILE_NOT_FOUND;
    if (pic->width > JPEG_MAX_DIMENSION || pic->height > JPEG_MAX_DIMENSION)
        return NR_FORMAT_INIT_FAILED;

    std::unique_ptr<JngWriteState> state(new (std::nothrow) JngWriteState);
    if (!state)
        return NR_ALLOCATION_FAILED;
    state->progressive = saveOptions.jngProgressive == 1;
    state->width = static_cast<uint32_t>(pic->width);
    state->height = static_cast<uint32_t>(pic->height);
    state->hasAlpha = pic->bpp == 32;

    jpeg_std_error(&state->error.pub);
    state->error.pub.error_exit = JngJpegErrorExit;
    state->colour.err = &state->error.pub;
    state->alpha.err = &state->error.pub;
    if (__builtin_setjmp(state->error.jump))
        return NR_FORMAT_INIT_FAILED;   // the state's destructor destroys the compressors

    jpeg_create_compress(&state->colour);
    state->colourMade = true;
    if (state->hasAlpha) {
        jpeg_create_compress(&state->alpha);
        state->alphaMade = true;
    }
    SetJpegMemoryDestination(&state->colour, &state->colourOutput);
    if (state->hasAlpha)
        SetJpegMemoryDestination(&state->alpha, &state->alphaOutput);

    SetUpCompressor(state->colour, *state, JCS_EXT_BGR, 3, saveOptions);
    if (state->progressive)
        jpeg_simple_progression(&state->colour);
    state->colour.comp_info[0].h_samp_factor = 2;
    state->colour.comp_info[0].v_samp_factor = 2;
    for (int c = 1; c < 3; ++c) {
        state->colour.comp_info[c].h_samp_factor = 1;
        state->colour.comp_info[c].v_samp_factor = 1;
    }
    state->colour.dct_method = JDCT_ISLOW;
    state->colour.restart_interval = 0;
    state->colour.restart_in_rows = 0;
    if (state->hasAlpha) {
        SetUpCompressor(state->alpha, *state, JCS_GRAYSCALE, 1, saveOptions);
        state->alpha.dct_method = JDCT_ISLOW;
        state->alpha.restart_interval = 0;
        state->alpha.restart_in_rows = 0;
    }

    jpeg_start_compress(&state->colour, TRUE);
    if (state->hasAlpha)
        jpeg_start_compress(&state->alpha, TRUE);

    state->sourceStride = pic->bpp == 32 ? static_cast<size_t>(pic->stride)
                                         : ((static_cast<size_t>(state->width) * 24 + 31) >> 3) & ~size_t{3};
    state->colourLine = static_cast<uint8_t*>(malloc(static_cast<size_t>(state->width) * 3));
    if (state->hasAlpha)
        state->alphaLine = static_cast<uint8_t*>(malloc(state->width));
    state->rowBuffer = static_cast<uint8_t*>(malloc(state->sourceStride));
    if (!state->colourLine || !state->rowBuffer || (state->hasAlpha && !state->alphaLine))
        return NR_ALLOCATION_FAILED;

    while (!JngEncodeRow(*state, *pic)) {
    }
    return JngWriteChunks(path, *state, this);
}
