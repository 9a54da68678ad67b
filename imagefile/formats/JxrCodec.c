// JPEG XR through jxrlib's glue layer. Compiled with jxrlib's own macros; never sees <windows.h>.
#include "imagefile/formats/JxrCodec.h"

#include <JXRTest.h>
#include <strcodec.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

// ---- assertions ----

// jxrlib is built with its assertions on, and a damaged file trips them: an assertion inside a
// guarded call below returns to that call, which then answers as for a failed decode, instead
// of ending the program. Assertions elsewhere report and abort as the runtime's own do.
typedef void(__cdecl* AssertFunction)(const char*, const char*, unsigned);
static __thread void** guardedCall;

static void __cdecl AssertInCodec(const char* message, const char* file, unsigned line)
{
    void** escape = guardedCall;
    if (escape) {
        guardedCall = NULL;
        __builtin_longjmp(escape, 1);
    }
    fprintf(stderr, "Assertion failed: %s, file %s, line %u\n", message, file, line);
    fflush(stderr);
    abort();
}

// The runtime's entry that jxrlib's assert() calls through.
AssertFunction __imp__assert = AssertInCodec;

// ---- streams over stdio files the caller opened ----

// A jxrlib file stream over an open file; the stream owns the file from here on (its Close
// closes it). On failure the file is closed.
static int StreamOver(FILE* file, struct WMPStream** out)
{
    struct WMPStream* stream = NULL;
    *out = NULL;
    if (Failed(PKAlloc((void**)&stream, sizeof *stream)) || !stream) {
        fclose(file);
        return 0;
    }
    stream->state.file.pFile = file;
    stream->Close = CloseWS_File;
    stream->EOS = EOSWS_File;
    stream->Read = ReadWS_File;
    stream->Write = WriteWS_File;
    stream->SetPos = SetPosWS_File;
    stream->GetPos = GetPosWS_File;
    *out = stream;
    return 1;
}

// Attaches the stream to a freshly made decoder, which then owns it. On failure the stream is
// closed and the decoder released. *pending names the stream while nobody owns it.
static int AttachStream(PKImageDecode** decoder, struct WMPStream** pending)
{
    PKImageDecode* d = *decoder;
    struct WMPStream* stream = *pending;
    if (Failed(d->Initialize(d, stream))) {
        d->pStream = NULL;
        d->fStreamOwner = 0;
        *pending = NULL;
        stream->Close(&stream);
        d->Release(decoder);
        return 0;
    }
    d->fStreamOwner = !0;
    *pending = NULL;
    return 1;
}

// ---- checks jxrlib does not make ----

static int ReadAt(FILE* file, uint32_t offset, uint8_t* bytes, size_t count)
{
    return fseek(file, (long)offset, SEEK_SET) == 0 && fread(bytes, 1, count, file) == count;
}

// Tiles allowed for every kBytesPerTile bytes of the file, and beyond them.
enum { kBytesPerTile = 8, kFreeTiles = 16 };

static uint64_t FileLength(FILE* file)
{
    const long at = ftell(file);
    uint64_t length = 0;
    if (_fseeki64(file, 0, SEEK_END) == 0) {
        const long long end = _ftelli64(file);
        length = end > 0 ? (uint64_t)end : 0;
    }
    fseek(file, at, SEEK_SET);
    return length;
}

// What CodestreamsPlausible learns of one codestream: its size as its own header gives it.
typedef struct CodestreamFacts {
    uint32_t width;
    uint32_t height;
} CodestreamFacts;

// The colour formats and the bit depth of a codestream's header must be ones the standard
// defines: jxrlib indexes its tables with them unchecked (reading past them, or dividing by
// zero). False for such a header and for one cut short (jxrlib reads on past the end of the file
// and takes what it finds for tile counts); a codestream this check does not find is left to
// jxrlib (facts stay 0).
static int CodestreamHeaderKnown(FILE* file, uint32_t start, CodestreamFacts* facts)
{
    uint8_t header[24];
    uint8_t plane;
    uint64_t at;
    int shortHeader;
    // 16 bytes hold a short header; a long one takes 4 more (read below). jxrlib looks at the
    // first 7 letters only.
    memset(header, 0, sizeof header);
    if (start > 0x7FFFFFF0u || !ReadAt(file, start, header, 8) || memcmp(header, "WMPHOTO", 7) != 0)
        return 1;
    if (!ReadAt(file, start, header, 16))
        return 0;   // a header cut short: jxrlib would take whatever lies past the end for its fields
    // The output colour format (0 to 8) and bit depth (0 to 10 but 5, or 15) the header names
    // index jxrlib's tables as well.
    if ((header[11] >> 4) > 8 || (header[11] & 15) == 5 || ((header[11] & 15) > 10 && (header[11] & 15) < 15))
        return 0;
    shortHeader = header[10] >> 7;
    if (shortHeader) {
        facts->width = ((uint32_t)header[12] << 8 | header[13]) + 1;
        facts->height = ((uint32_t)header[14] << 8 | header[15]) + 1;
    } else {
        if (!ReadAt(file, start + 16, header + 16, 4))
            return 0;   // a header cut short: jxrlib would read on past the end
        facts->width = ((uint32_t)header[12] << 24 | (uint32_t)header[13] << 16 | (uint32_t)header[14] << 8 | header[15]) + 1;
        facts->height = ((uint32_t)header[16] << 24 | (uint32_t)header[17] << 16 | (uint32_t)header[18] << 8 | header[19]) + 1;
    }
    at = (uint64_t)start + 12 + (shortHeader ? 4 : 8);
    if (header[9] & 0x80) {   // tiling: two 12-bit tile counts, then the tile sizes
        uint8_t counts[3];
        uint32_t vertical, horizontal;
        if (at > 0x7FFFFFF0u || !ReadAt(file, (uint32_t)at, counts, 3))
            return 0;
        vertical = ((uint32_t)counts[0] << 4 | counts[1] >> 4) + 1;
        horizontal = (((uint32_t)counts[1] & 15) << 8 | counts[2]) + 1;
        // jxrlib sets up bit readers of some kilobytes for every tile before reading any; each
        // tile holds at least its header in the file.
        if ((uint64_t)vertical * horizontal > FileLength(file) / kBytesPerTile + kFreeTiles)
            return 0;
        at += 3 + (uint64_t)(vertical + horizontal) * (shortHeader ? 1 : 2);
    }
    if (header[10] & 0x20)    // windowing: four 6-bit margins
        at += 3;
    if (at > 0x7FFFFFF0u || !ReadAt(file, (uint32_t)at, &plane, 1))
        return 0;
    return (plane >> 5) != 5 && (plane >> 5) != 7;
}

// Walks the container's directory for the image and alpha codestreams: their headers must name
// defined formats, and a separate alpha plane must be as large as the image (jxrlib
// decodes both into the same rows without comparing them). The file position is back at the
// start afterwards.
static int CodestreamsPlausible(FILE* file)
{
    uint8_t head[8], count[2], entry[12];
    uint32_t directory, i, entries;
    CodestreamFacts image = {0, 0}, alpha = {0, 0};
    int plausible = 1;
    if (ReadAt(file, 0, head, 8) && memcmp(head, "II\xBC", 3) == 0) {
        directory = head[4] | (uint32_t)head[5] << 8 | (uint32_t)head[6] << 16 | (uint32_t)head[7] << 24;
        if (directory <= 0x7FFFFFF0u && ReadAt(file, directory, count, 2)) {
            entries = count[0] | (uint32_t)count[1] << 8;
            for (i = 0; i < entries && i < 256 && plausible; ++i) {
                uint32_t tag, type, value;
                if (!ReadAt(file, directory + 2 + 12 * i, entry, 12))
                    break;
                tag = entry[0] | (uint32_t)entry[1] << 8;
                type = entry[2] | (uint32_t)entry[3] << 8;
                value = entry[8] | (uint32_t)entry[9] << 8 | (uint32_t)entry[10] << 16 | (uint32_t)entry[11] << 24;
                if (type == 3)
                    value &= 0xFFFF;
                if (tag == 0xBCC0)          // image offset
                    plausible = CodestreamHeaderKnown(file, value, &image);
                else if (tag == 0xBCC2)     // alpha offset
                    plausible = CodestreamHeaderKnown(file, value, &alpha);
            }
        }
    }
    if (plausible && image.width && alpha.width && (image.width != alpha.width || image.height != alpha.height))
        plausible = 0;
    fseek(file, 0, SEEK_SET);
    return plausible;
}

static size_t RowBytes(size_t bitsPerPixel, size_t width)
{
    return (bitsPerPixel * width + 7) / 8;
}

// ---- argument records ----

void JxrInitDecodeArgs(JxrDecodeArgs* args)
{
    memset(args, 0, sizeof *args);
    memcpy(args->pixelFormat, &GUID_PKPixelFormatDontCare, sizeof args->pixelFormat);
    args->alphaMode = 255;
}

void JxrInitEncodeArgs(JxrEncodeArgs* args)
{
    memset(args, 0, sizeof *args);
    memcpy(args->pixelFormat, &GUID_PKPixelFormatDontCare, sizeof args->pixelFormat);
    args->colourFormat = YUV_444;
    args->bitDepth = BD_LONG;
    args->overlap = OL_ONE;
    args->bitstreamFormat = SPATIAL;
    args->alphaQuantiser = 1;
}

// ---- decoding ----

// A layout that the format converter can produce and how its rows become B,G,R(,A).
typedef struct OutputLayout {
    const PKPixelFormatGUID* format;
    int bits;        // per pixel, as converted
    int swap;        // red first: exchange red and blue
    int grey;        // one grey byte: repeat it three times
} OutputLayout;

struct JxrDecoder {
    PKCodecFactory* codecFactory;
    PKImageDecode* decoder;
    struct WMPStream* pendingStream;  // the file's stream until the decoder owns it
    PKFormatConverter* converter;     // null: the decoder writes the output layout itself
    U8* buffer;                       // the converter's rows during a decode
    OutputLayout layout;
    size_t sourceBits;                // what the decoder writes per pixel
    int32_t width;
    int32_t height;
    int bitsPerPixel;                 // of the result
    int broken;                       // an assertion left the decoder in an unknown state
};

__attribute__((noinline)) static void ReleaseDecoder(JxrDecoder* d)
{
    if (d->buffer)
        PKFreeAligned((void**)&d->buffer);
    if (d->converter)
        d->converter->Release(&d->converter);
    if (d->decoder) {
        if (d->pendingStream) {
            // Initialisation did not finish: the stream is not the decoder's to close.
            d->decoder->pStream = NULL;
            d->decoder->fStreamOwner = 0;
        }
        d->decoder->Release(&d->decoder);
    }
    if (d->pendingStream)
        d->pendingStream->Close(&d->pendingStream);
    if (d->codecFactory)
        d->codecFactory->Release(&d->codecFactory);
}

void JxrCloseDecoder(JxrDecoder* d)
{
    void* escape[5];
    void** outer = guardedCall;
    if (!d)
        return;
    // Releasing after an assertion may trip another one: what is left then is not released.
    if (__builtin_setjmp(escape) == 0) {
        guardedCall = escape;
        ReleaseDecoder(d);
    }
    guardedCall = outer;
    free(d);
}

static int ChooseConverter(JxrDecoder* d, int withAlpha)
{
    static const OutputLayout alphaLayouts[] = {
        {&GUID_PKPixelFormat32bppBGRA, 32, 0, 0},
        {&GUID_PKPixelFormat32bppRGBA, 32, 1, 0},
    };
    static const OutputLayout plainLayouts[] = {
        {&GUID_PKPixelFormat24bppBGR, 24, 0, 0},
        {&GUID_PKPixelFormat24bppRGB, 24, 1, 0},
        {&GUID_PKPixelFormat8bppGray, 8, 0, 1},
    };
    size_t i;
    if (Failed(d->codecFactory->CreateFormatConverter(&d->converter)))
        return 0;
    if (withAlpha) {
        for (i = 0; i < sizeof alphaLayouts / sizeof alphaLayouts[0]; ++i) {
            if (!Failed(d->converter->Initialize(d->converter, d->decoder, NULL, *alphaLayouts[i].format))) {
                d->layout = alphaLayouts[i];
                d->bitsPerPixel = 32;
                return 1;
            }
        }
    }
    // Without a conversion that keeps alpha, the colours alone.
    for (i = 0; i < sizeof plainLayouts / sizeof plainLayouts[0]; ++i) {
        if (!Failed(d->converter->Initialize(d->converter, d->decoder, NULL, *plainLayouts[i].format))) {
            d->layout = plainLayouts[i];
            d->bitsPerPixel = 24;
            return 1;
        }
    }
    return 0;
}

__attribute__((noinline)) static int OpenDecoder(JxrDecoder* d, const JxrDecodeArgs* args, JxrPictureInfo* info)
{
    PKImageDecode* dec = NULL;
    PKPixelFormatGUID requested;
    PKPixelInfo pixelInfo;
    I32 width = 0, height = 0;
    Float resX = 96.0f, resY = 96.0f;
    U8 alphaMode;

    if (Failed(PKCreateCodecFactory(&d->codecFactory, WMP_SDK_VERSION)) ||
        Failed(PKImageDecode_Create_WMP(&d->decoder)))
        return JXR_DECODE_FAILED;
    if (!AttachStream(&d->decoder, &d->pendingStream))
        return JXR_DECODE_FAILED;
    dec = d->decoder;
    info->pixelFormatId = dec->guidPixFormat.Data4[7];

    // The pixel format to decode to: the caller's, or the file's own. Red-first 24-bit pictures
    // come out blue-first; grey pictures decode their luma only.
    if (IsEqualGUID(args->pixelFormat, &GUID_PKPixelFormatDontCare))
        requested = dec->guidPixFormat;
    else
        memcpy(&requested, args->pixelFormat, sizeof requested);
    if (IsEqualGUID(&requested, &GUID_PKPixelFormat24bppRGB)) {
        requested = GUID_PKPixelFormat24bppBGR;
        dec->WMP.wmiI.bRGB = 0;
    }
    if (IsEqualGUID(&requested, &GUID_PKPixelFormat8bppGray) || IsEqualGUID(&requested, &GUID_PKPixelFormat16bppGray)) {
        dec->guidPixFormat = requested;
        dec->WMP.wmiI.cfColorFormat = Y_ONLY;
    }
    memset(&pixelInfo, 0, sizeof pixelInfo);
    pixelInfo.pGUIDPixFmt = &requested;
    if (Failed(PixelFormatLookup(&pixelInfo, LOOKUP_FORWARD))) {
        return JXR_UNSUPPORTED;
    }
    alphaMode = args->alphaMode;
    if (alphaMode == 255)
        alphaMode = (pixelInfo.grBit & PK_pixfmtHasAlpha) ? 2 : 0;

    dec->WMP.wmiSCP.bfBitstreamFormat = (BITSTREAMFORMAT)args->bitstreamFormat;
    dec->WMP.wmiSCP.uAlphaMode = alphaMode;
    dec->WMP.wmiSCP.sbSubband = (SUBBAND)args->subband;
    dec->WMP.bIgnoreOverlap = FALSE;
    dec->WMP.wmiI.cfColorFormat = pixelInfo.cfColorFormat;
    dec->WMP.wmiI.bdBitDepth = pixelInfo.bdBitDepth;
    dec->WMP.wmiI.cBitsPerUnit = pixelInfo.cbitUnit;
    dec->WMP.wmiI.cThumbnailWidth = dec->WMP.wmiI.cWidth;
    dec->WMP.wmiI.cThumbnailHeight = dec->WMP.wmiI.cHeight;
    dec->WMP.wmiI.bSkipFlexbits = args->thumbnailFactor == 255 ? TRUE : FALSE;
    dec->WMP.wmiI.cROILeftX = 0;
    dec->WMP.wmiI.cROITopY = 0;
    dec->WMP.wmiI.cROIWidth = dec->WMP.wmiI.cThumbnailWidth;
    dec->WMP.wmiI.cROIHeight = dec->WMP.wmiI.cThumbnailHeight;
    dec->WMP.wmiI.oOrientation = O_NONE;
    dec->WMP.wmiI.cPostProcStrength = args->postProcessing;
    dec->WMP.wmiSCP.bVerbose = FALSE;

    if (Failed(dec->GetSize(dec, &width, &height)) || width <= 0 || height <= 0 ||
        (size_t)width != dec->WMP.wmiI.cWidth || (size_t)height != dec->WMP.wmiI.cHeight) {
        return JXR_DECODE_FAILED;
    }
    d->width = width;
    d->height = height;
    d->sourceBits = pixelInfo.cbitUnit;
    if (d->sourceBits == 0 || d->sourceBits > 256) {
        return JXR_UNSUPPORTED;
    }

    // Pictures already blue-first at 24 or 32 bits decode straight into the caller's rows; every
    // other layout (grey, 16 bits a channel, floating point, red first, padded) goes through the
    // format converter and a buffer of its own.
    if (IsEqualGUID(&requested, &GUID_PKPixelFormat24bppBGR) && d->sourceBits == 24) {
        d->bitsPerPixel = 24;
    } else if (IsEqualGUID(&requested, &GUID_PKPixelFormat32bppBGRA) && d->sourceBits == 32) {
        d->bitsPerPixel = 32;
    } else if (!ChooseConverter(d, (pixelInfo.grBit & PK_pixfmtHasAlpha) != 0)) {
        return JXR_UNSUPPORTED;
    }

    if (Failed(dec->GetResolution(dec, &resX, &resY))) {
        resX = 96.0f;
        resY = 96.0f;
    }
    info->width = width;
    info->height = height;
    info->bitsPerPixel = d->bitsPerPixel;
    info->dpiX = resX;
    info->dpiY = resY;
    return JXR_OK;
}

int JxrOpenDecoder(FILE* file, const JxrDecodeArgs* args, JxrDecoder** out, JxrPictureInfo* info)
{
    void* escape[5];
    void** outer = guardedCall;
    JxrDecoder* d = NULL;
    int status;

    if (!file)
        return JXR_DECODE_FAILED;
    if (!args || !out || !info) {
        fclose(file);
        return JXR_DECODE_FAILED;
    }
    *out = NULL;
    memset(info, 0, sizeof *info);
    if (!CodestreamsPlausible(file)) {
        fclose(file);
        return JXR_DECODE_FAILED;
    }
    d = (JxrDecoder*)calloc(1, sizeof *d);
    if (!d) {
        fclose(file);
        return JXR_NO_MEMORY;
    }
    if (!StreamOver(file, &d->pendingStream)) {
        free(d);
        return JXR_NO_MEMORY;
    }
    if (__builtin_setjmp(escape)) {
        guardedCall = outer;
        JxrCloseDecoder(d);
        return JXR_DECODE_FAILED;
    }
    guardedCall = escape;
    status = OpenDecoder(d, args, info);
    guardedCall = outer;
    if (status != JXR_OK) {
        JxrCloseDecoder(d);
        return status;
    }
    *out = d;
    return JXR_OK;
}

// Rows decoded at a time through the converter: a multiple of the 16-row macroblock.
enum { kBandRows = 128 };

__attribute__((noinline)) static int DecodePixels(JxrDecoder* d, uint8_t* pixels, uint32_t stride)
{
    PKRect rect;
    size_t outRow, bufferRow, y, x;
    const size_t width = (size_t)d->width;
    const size_t height = (size_t)d->height;

    outRow = RowBytes((size_t)d->bitsPerPixel, width);
    if (stride < outRow)
        return JXR_DECODE_FAILED;
    rect.X = 0;
    rect.Y = 0;
    rect.Width = d->width;
    rect.Height = d->height;

    if (!d->converter)
        return Failed(d->decoder->Copy(d->decoder, &rect, pixels, stride)) ? JXR_DECODE_FAILED : JXR_OK;

    // The converter decodes in the file's layout and converts in place: each row must hold the
    // wider of the two. The picture is decoded a band of rows at a time, in order, so that the
    // file's layout (up to 16 bytes a pixel) never takes more than one band.
    bufferRow = RowBytes(d->sourceBits, width);
    if (bufferRow < RowBytes((size_t)d->layout.bits, width))
        bufferRow = RowBytes((size_t)d->layout.bits, width);
    bufferRow = (bufferRow + 15) & ~(size_t)15;
    if (bufferRow > UINT32_MAX || kBandRows > SIZE_MAX / bufferRow)
        return JXR_NO_MEMORY;
    if (Failed(PKAllocAligned((void**)&d->buffer, bufferRow * kBandRows, 128)) || !d->buffer)
        return JXR_NO_MEMORY;
    for (y = 0; y < height; ++y) {
        const size_t inBand = y % kBandRows;
        if (inBand == 0) {
            rect.Y = (I32)y;
            rect.Height = (I32)(height - y < kBandRows ? height - y : kBandRows);
            if (Failed(d->converter->Copy(d->converter, &rect, d->buffer, (U32)bufferRow))) {
                PKFreeAligned((void**)&d->buffer);
                return JXR_DECODE_FAILED;
            }
        }
        const uint8_t* in = d->buffer + inBand * bufferRow;
        uint8_t* o = pixels + y * (size_t)stride;
        if (d->layout.grey) {
            for (x = 0; x < width; ++x, o += 3)
                o[0] = o[1] = o[2] = in[x];
        } else if (d->layout.swap) {
            const size_t step = (size_t)d->layout.bits / 8;
            for (x = 0; x < width; ++x, in += step, o += step) {
                o[0] = in[2];
                o[1] = in[1];
                o[2] = in[0];
                if (step == 4)
                    o[3] = in[3];
            }
        } else {
            memcpy(o, in, outRow);
        }
    }
    PKFreeAligned((void**)&d->buffer);
    return JXR_OK;
}

int JxrDecodePixels(JxrDecoder* d, uint8_t* pixels, uint32_t stride)
{
    void* escape[5];
    void** outer = guardedCall;
    int status;

    if (!d || !pixels || d->broken)
        return JXR_DECODE_FAILED;
    if (__builtin_setjmp(escape)) {
        guardedCall = outer;
        d->broken = 1;
        return JXR_DECODE_FAILED;
    }
    guardedCall = escape;
    status = DecodePixels(d, pixels, stride);
    guardedCall = outer;
    return status;
}

// ---- encoding ----

// What an encode has made so far; released at the end, also after an assertion.
typedef struct EncodeState {
    struct WMPStream* outStream;    // until the encoder owns it
    struct WMPStream* bmpStream;    // until the BMP reader owns it
    PKImageEncode* encoder;
    PKCodecFactory* codecFactory;
    PKImageDecode* source;
    PKFormatConverter* converter;
    int code;
} EncodeState;

__attribute__((noinline)) static void ReleaseEncode(EncodeState* s)
{
    if (s->converter)
        s->converter->Release(&s->converter);
    if (s->source)
        s->source->Release(&s->source);
    if (s->encoder) {
        if (s->encoder->pStream)
            s->encoder->Release(&s->encoder);   // closes the output stream
        else
            PKFree((void**)&s->encoder);
    }
    if (s->outStream)
        s->outStream->Close(&s->outStream);
    if (s->bmpStream)
        s->bmpStream->Close(&s->bmpStream);
    if (s->codecFactory)
        s->codecFactory->Release(&s->codecFactory);
}

__attribute__((noinline)) static int Encode(EncodeState* s, const JxrEncodeArgs* args, float dpiX, float dpiY)
{
    CWMIStrCodecParam params;
    PKPixelFormatGUID format;
    PKRect rect;
    I32 width = 0, height = 0;
    ERR err;

    err = PKImageEncode_Create_WMP(&s->encoder);
    if (Failed(err)) {
        s->code = err;
        return JXR_ENCODER_FAILED;
    }
    memset(&params, 0, sizeof params);
    params.uiDefaultQPIndex = args->quantiser;
    params.cfColorFormat = (COLORFORMAT)args->colourFormat;
    params.bdBitDepth = (BITDEPTH)args->bitDepth;
    params.olOverlap = (OVERLAP)args->overlap;
    params.bfBitstreamFormat = (BITSTREAMFORMAT)args->bitstreamFormat;
    params.cChannel = args->channels;
    params.uAlphaMode = args->alphaMode;
    params.sbSubband = SB_ALL;
    err = s->encoder->Initialize(s->encoder, s->outStream, &params, sizeof params);
    if (s->encoder->pStream == s->outStream)
        s->outStream = NULL;    // the encoder's release closes it
    if (Failed(err)) {
        s->code = err;
        return JXR_ENCODER_FAILED;
    }
    if (s->encoder->WMP.wmiSCP.uAlphaMode == 2)
        s->encoder->WMP.wmiSCP_Alpha.uiDefaultQPIndex = args->alphaQuantiser;

    err = PKCreateCodecFactory(&s->codecFactory, WMP_SDK_VERSION);
    if (Failed(err)) {
        s->code = err;
        return JXR_CODEC_FACTORY_FAILED;
    }
    err = PKImageDecode_Create_BMP((PKTestDecode**)&s->source);
    if (Failed(err)) {
        s->code = err;
        return JXR_SOURCE_FAILED;
    }
    if (!AttachStream(&s->source, &s->bmpStream)) {
        s->code = WMP_errFail;
        return JXR_SOURCE_FAILED;
    }

    memcpy(&format, args->pixelFormat, sizeof format);
    err = s->codecFactory->CreateFormatConverter(&s->converter);
    if (!Failed(err))
        err = s->converter->Initialize(s->converter, s->source, NULL, format);
    if (!Failed(err))
        err = s->encoder->SetPixelFormat(s->encoder, format);
    if (!Failed(err))
        err = s->source->GetSize(s->source, &width, &height);
    if (!Failed(err))
        err = s->encoder->SetSize(s->encoder, width, height);
    // The resolution comes from the picture itself: the BMP file holds it as whole pixels per
    // metre, which would not give back the same dots per inch.
    if (!Failed(err))
        err = s->encoder->SetResolution(s->encoder, dpiX, dpiY);
    if (!Failed(err)) {
        rect.X = 0;
        rect.Y = 0;
        rect.Width = width;
        rect.Height = height;
        s->encoder->WriteSource = PKImageEncode_WriteSource;
        err = s->encoder->WriteSource(s->encoder, s->converter, &rect);
    }
    if (Failed(err)) {
        s->code = err;
        return JXR_ENCODE_FAILED;
    }
    return JXR_OK;
}

int JxrEncodeFromBmp(FILE* bmp, FILE* output, const JxrEncodeArgs* args, float dpiX, float dpiY, int* code)
{
    void* escape[5];
    void** outer = guardedCall;
    EncodeState state;
    int status;
    int dummy = 0;

    if (!code)
        code = &dummy;
    *code = 0;
    if (!bmp || !output || !args) {
        if (bmp)
            fclose(bmp);
        if (output)
            fclose(output);
        return JXR_STREAM_FAILED;
    }
    memset(&state, 0, sizeof state);
    if (!StreamOver(output, &state.outStream)) {
        fclose(bmp);
        return JXR_STREAM_FAILED;
    }
    if (!StreamOver(bmp, &state.bmpStream)) {
        state.outStream->Close(&state.outStream);
        return JXR_SOURCE_FAILED;
    }
    if (__builtin_setjmp(escape)) {
        status = JXR_ENCODE_FAILED;
    } else {
        guardedCall = escape;
        status = Encode(&state, args, dpiX, dpiY);
    }
    guardedCall = outer;
    *code = state.code;
    // Releasing after an assertion may trip another one: what is left then is not released.
    if (__builtin_setjmp(escape) == 0) {
        guardedCall = escape;
        ReleaseEncode(&state);
    }
    guardedCall = outer;
    return status;
}
