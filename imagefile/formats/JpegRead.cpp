// The JPEG format class's reading: a whole load (with metadata, the colour profile and the
// picture's orientation) and the bare decode of a stream that other classes use.
#include "imagefile/formats/NImageFileJPG.h"

#include <io.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include <lcms2.h>

#include "base/Log.h"
#include "base/ScopedFile.h"
#include "imagefile/ByteSource.h"
#include "imagefile/DataBound.h"
#include "imagefile/IccContext.h"
#include "imagefile/formats/JpegLib.h"
#include "imagefile/formats/JpegMetadata.h"

namespace {

constexpr unsigned kMaxSavedMarker = 0xFFFF;

struct DecodeJob {
    jpeg_decompress_struct cinfo;
    JpegErrorManager error;
    FILE* file;                // not closed here: the caller owns it
    cmsHTRANSFORM transform;
    IccContext* icc;           // the transform's context
    uint8_t* profile;
};

// Everything a decode may hold; safe to run more than once.
void ReleaseDecode(DecodeJob& job)
{
    jpeg_destroy_decompress(&job.cinfo);
    if (job.transform) {
        cmsDeleteTransform(job.transform);
        job.transform = nullptr;
    }
    delete job.icc;
    job.icc = nullptr;
    std::free(job.profile);
    job.profile = nullptr;
}

struct DecodeRequest {
    NImageFileJPG* owner;
    NImageBuffer* target;
    bool preview;
    bool fullLoad;             // Load: markers, metadata, profile; else a bare stream decode
    bool shrinkLarge;
    bool verifyOnly;           // decode at 1/8 and skip the colour profile: only success counts
    const wchar_t* path;       // Load only
    bool exifPresent;          // Load only
};

struct DecodeOutcome {
    NRESULT result = NR_OK;
    bool libjpegError = false;
    int orientation = 1;
    uint64_t consumed = 0;
};

int PreviewDenominator(JDIMENSION width, JDIMENSION height, JDIMENSION limit)
{
    const JDIMENSION larger = width > height ? width : height;
    if (larger > 4 * limit)
        return 8;
    if (larger > 2 * limit)
        return 4;
    if (larger > limit)
        return 2;
    return 1;
}

int ShrinkDenominator(JDIMENSION width, JDIMENSION height)
{
    if (width >= 8008 && height >= 8008)
        return 8;
    if (width >= 4004 && height >= 4004)
        return 4;
    if (width >= 2002 && height >= 2002)
        return 2;
    return 1;
}

uint8_t* PictureRowFromTop(NImageBuffer& picture, JDIMENSION row)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - static_cast<int>(row)) * picture.stride;
}

void CopyDecodedRow(JSAMPROW samples, uint8_t* destination, JDIMENSION width, int components,
                    cmsHTRANSFORM transform)
{
    if (components == 4) {
        if (transform) {
            cmsDoTransform(transform, samples, samples, width);
            std::memcpy(destination, samples, static_cast<size_t>(width) * 3);
            return;
        }
        // Adobe-style CMYK is stored inverted: the samples are 255 - C, 255 - M, 255 - Y, 255 - K.
        const JSAMPLE* in = samples;
        uint8_t* out = destination;
        for (JDIMENSION x = 0; x < width; ++x, in += 4, out += 3) {
            const unsigned k = in[3];
            out[0] = static_cast<uint8_t>(in[2] * k / 255);
            out[1] = static_cast<uint8_t>(in[1] * k / 255);
            out[2] = static_cast<uint8_t>(in[0] * k / 255);
        }
    } else if (components == 3) {
        if (transform)
            cmsDoTransform(transform, samples, samples, width);
        std::memcpy(destination, samples, static_cast<size_t>(width) * 3);
    } else {
        std::memcpy(destination, samples, width);
    }
}

constexpr uint64_t kHuffmanPixelsPerByte = 512;
constexpr uint64_t kArithmeticPixelsPerByte = 512 * 64;

// The length of the open file (0 when it cannot be told); the position is kept.
uint64_t StreamLength(FILE* file)
{
    const int64_t length = file ? _filelengthi64(_fileno(file)) : -1;
    return length > 0 ? static_cast<uint64_t>(length) : 0;
}

// The decode between opening and closing the file. libjpeg errors come back to the jump
// target below; no object with a destructor may live in this frame or in a frame that calls
// libjpeg below it, since the jump skips them.
void RunDecode(DecodeJob& job, const DecodeRequest& request, DecodeOutcome& outcome)
{
    jpeg_decompress_struct& cinfo = job.cinfo;
    SetUpJpegErrorManager(job.error, request.owner);
    cinfo.err = &job.error.pub;
    if (__builtin_setjmp(job.error.jump)) {
        ReleaseDecode(job);
        outcome.libjpegError = true;
        outcome.result = IsNotJpegMessage(job.error) ? NR_NOT_THIS_FORMAT : NR_DECODE_FAILED;
        return;
    }

    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, job.file);
    if (request.fullLoad) {
        jpeg_save_markers(&cinfo, JPEG_COM, kMaxSavedMarker);
        jpeg_save_markers(&cinfo, JPEG_APP0 + 1, kMaxSavedMarker);
        jpeg_save_markers(&cinfo, JPEG_APP0 + 2, kMaxSavedMarker);
    }
    jpeg_read_header(&cinfo, TRUE);
    // The header's size is believed as far as the file's data can code it (at least one bit a
    // block with Huffman coding: 512 pixels a byte; arithmetic coding 64 times that), before the
    // decoder or the picture takes memory for it.
    if (!DataBound::Fits(cinfo.image_width, cinfo.image_height, 8, StreamLength(job.file),
                         cinfo.arith_code ? kArithmeticPixelsPerByte : kHuffmanPixelsPerByte)) {
        ReleaseDecode(job);
        outcome.result = NR_INVALID_DATA;
        return;
    }

    cinfo.scale_num = 1;
    if (request.verifyOnly) {
        // Every coefficient is still entropy-decoded, so what would fail still fails.
        cinfo.scale_denom = 8;
        cinfo.dct_method = JDCT_IFAST;
        cinfo.do_fancy_upsampling = FALSE;
        cinfo.do_block_smoothing = FALSE;
    } else if (request.fullLoad) {
        if (request.preview)
            cinfo.scale_denom = PreviewDenominator(cinfo.image_width, cinfo.image_height, 500);
        else if (request.shrinkLarge)
            cinfo.scale_denom = ShrinkDenominator(cinfo.image_width, cinfo.image_height);
        else
            cinfo.scale_denom = 1;
        cinfo.buffered_image = FALSE;
        cinfo.dct_method = JDCT_ISLOW;
        cinfo.do_fancy_upsampling = TRUE;
        cinfo.do_block_smoothing = TRUE;
    } else if (request.preview) {
        cinfo.scale_denom = PreviewDenominator(cinfo.image_width, cinfo.image_height, 400);
        cinfo.dct_method = JDCT_IFAST;
    }
    if (cinfo.out_color_space == JCS_RGB)
        cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);

    // Only grey, three-component and CMYK output fit a picture; others would overrun the rows.
    const int components = cinfo.output_components;
    if (components != 1 && components != 3 && components != 4) {
        ReleaseDecode(job);
        outcome.result = NR_DECODE_FAILED;
        return;
    }
    const int depth = components == 1 ? 8 : 24;
    uint8_t greyPalette[256 * 3];
    for (int i = 0; i < 256; ++i)
        greyPalette[3 * i] = greyPalette[3 * i + 1] = greyPalette[3 * i + 2] = static_cast<uint8_t>(i);
    NImageBuffer& target = *request.target;
    if (cinfo.output_width > INT_MAX || cinfo.output_height > INT_MAX ||
        !target.Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height), depth, 0,
                       depth == 8 ? greyPalette : nullptr)) {
        ReleaseDecode(job);
        outcome.result = NR_PICTURE_CREATE_FAILED;
        return;
    }
    const JDIMENSION rowWidth =
        components == 4 ? cinfo.output_width * 4 : static_cast<JDIMENSION>(target.stride);
    if (cinfo.X_density > 1)
        target.dpiX = cinfo.X_density;
    if (cinfo.Y_density > 1)
        target.dpiY = cinfo.Y_density;

    if (request.fullLoad && !request.verifyOnly) {
        ImageMetadata& metadata = request.owner->metadata;
        ReadJpegComments(cinfo, metadata);
        if (request.exifPresent) {
            outcome.orientation = JpegExifOrientation(metadata.exif.data);
            if (request.preview)
                ReadPreviewExifTexts(metadata, request.path);
        }
        ReadJpegXmp(cinfo, metadata);
        size_t profileLength = 0;
        job.profile = ReadJpegIccProfile(cinfo, profileLength);
        if (job.profile) {
            if (cinfo.out_color_space == JCS_CMYK || cinfo.out_color_space == JCS_EXT_BGR) {
                job.icc = new (std::nothrow) IccContext();
                if (job.icc)
                    job.transform =
                        CreateJpegProfileTransform(job.icc->Get(), job.profile, profileLength, cinfo.out_color_space);
            }
            std::free(job.profile);
            job.profile = nullptr;
        }
    }

    JSAMPARRAY rows = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE, rowWidth, 1);
    while (cinfo.output_scanline < cinfo.output_height) {
        const JDIMENSION row = cinfo.output_scanline;
        if (jpeg_read_scanlines(&cinfo, rows, 1) != 1) {
            ReleaseDecode(job);
            outcome.result = NR_DECODE_FAILED;
            return;
        }
        CopyDecodedRow(rows[0], PictureRowFromTop(target, row), cinfo.output_width, components, job.transform);
    }
    if (request.owner) {
        request.owner->fullWidth = static_cast<int32_t>(cinfo.image_width);
        request.owner->fullHeight = static_cast<int32_t>(cinfo.image_height);
        if (request.verifyOnly)
            request.owner->verifiedSmaller = 1;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    const int64_t position = _ftelli64(job.file);
    outcome.consumed = position > 0 ? static_cast<uint64_t>(position) : 0;
    ReleaseDecode(job);
    outcome.result = NR_OK;
}

}  // namespace

NRESULT NImageFileJPG::Load(const wchar_t* path, uint8_t preview, uint8_t /*quick*/, NImageBuffer* target)
{
    SetFileName(path);
    if (!path)
        return NR_FILE_OPEN_READ;

    const bool verifyOnly = loadOptions.verifyOnly != 0;
    metadata.exif.Release();
    if (!verifyOnly)
        metadata.exif.data = ReadJpegExif(path);
    metadata.exif.hasExif = ExifHasContent(metadata.exif.data) ? 1 : 0;
    // The previous load's IPTC data goes in any case; only full loads read it again.
    metadata.iptc.Release();
    if (!preview && !verifyOnly)
        metadata.iptc.LoadFromJpeg(path);

    ScopedFile file(path, L"rb");
    if (!file)
        return NR_FILE_OPEN_READ;

    DecodeJob job;
    std::memset(&job, 0, sizeof(job));
    job.file = file.Get();
    DecodeRequest request = {};
    request.owner = this;
    request.target = target ? target : &picture;
    request.preview = preview != 0;
    request.fullLoad = true;
    request.shrinkLarge = loadOptions.shrinkLargePictures != 0;
    request.verifyOnly = verifyOnly;
    request.path = path;
    request.exifPresent = metadata.exif.hasExif != 0;
    DecodeOutcome outcome;
    RunDecode(job, request, outcome);
    ReleaseDecode(job);
    file.Close();

    if (outcome.libjpegError)
        LogMessage(L"JPG Decoder: %s - %s", decoderMessage.c_str(), path);
    if (outcome.result != NR_OK)
        return outcome.result;
    consumedSize = outcome.consumed;
    // A multi-picture file (MPO) holds its further pictures after the first one's end of image.
    if (const ScopedFile again{path, L"rb"}) {
        StdioByteSource bytes(again.Get());
        if (const uint64_t end = FindMultiPictureEnd(bytes))
            consumedSize = end;
    }
    if (loadOptions.applyOrientation)
        request.target->ApplyOrientation(outcome.orientation);
    return NR_OK;
}

NRESULT NImageFileJPG::DecodeStream(NImageFileJPG* owner, NImageBuffer& target, FILE* file, uint8_t preview)
{
    if (!file)
        return NR_FILE_OPEN_READ;
    DecodeJob job;
    std::memset(&job, 0, sizeof(job));
    job.file = file;
    DecodeRequest request = {};
    request.owner = owner;
    request.target = &target;
    request.preview = preview != 0;
    DecodeOutcome outcome;
    RunDecode(job, request, outcome);
    ReleaseDecode(job);
    return outcome.result;
}
