// The JPEG format class's writing: the picture with its comment, EXIF, XMP and IPTC.
#include "imagefile/formats/NImageFileJPG.h"

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "base/ScopedFile.h"
#include "base/Utf8.h"
#include "imagefile/formats/JpegLib.h"
#include "imagefile/formats/JpegMetadata.h"

namespace {

constexpr size_t kMaxSegmentData = 65533;   // a JPEG segment's length field counts itself
constexpr size_t kMaxCommentBytes = 254;
constexpr int kMaxSavedCommentCharacters = 1023;

struct EncodeJob {
    jpeg_compress_struct cinfo;
    JpegErrorManager error;
    FILE* file;
    uint8_t* row;              // a row block of the picture, freed after it is written
};

void ReleaseEncode(EncodeJob& job)
{
    jpeg_destroy_compress(&job.cinfo);
    std::free(job.row);
    job.row = nullptr;
}

struct EncodeRequest {
    const NImageBuffer* picture;
    int quality;
    bool optimize;
    float smoothing;
    bool progressive;
    const std::string* comment;        // ANSI bytes, written when not empty
    const std::vector<uint8_t>* xmp;   // the whole segment, written when not empty
    const uint8_t* exif;
    size_t exifLength;
    const uint8_t* photoshop;
    size_t photoshopLength;
};

// True for an 8-bit picture whose 256 palette entries are all grey.
bool HasGreyPalette(const NImageBuffer& picture)
{
    if (picture.bpp != 8)
        return false;
    for (int i = 0; i < 256; ++i) {
        if (picture.palette[i][0] != picture.palette[i][1] || picture.palette[i][1] != picture.palette[i][2])
            return false;
    }
    return true;
}

// Returns false after a libjpeg error (the job is then released).
bool RunEncode(EncodeJob& job, const EncodeRequest& request, NImageFileJPG* owner)
{
    jpeg_compress_struct& cinfo = job.cinfo;
    SetUpJpegErrorManager(job.error, owner);
    cinfo.err = &job.error.pub;
    if (__builtin_setjmp(job.error.jump)) {
        ReleaseEncode(job);
        return false;
    }

    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, job.file);

    const NImageBuffer& picture = *request.picture;
    const bool grey = HasGreyPalette(picture);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = grey ? 1 : 3;
    // Rows are handed over blue-first; libjpeg stores them as standard red-first colour.
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, request.quality, TRUE);
    cinfo.smoothing_factor = static_cast<int>(request.smoothing * 100.0f);
    cinfo.optimize_coding = request.optimize ? TRUE : FALSE;
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(picture.dpiX);
    cinfo.Y_density = static_cast<UINT16>(picture.dpiY);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 1;
    for (int c = 1; c < cinfo.num_components; ++c) {
        cinfo.comp_info[c].h_samp_factor = 1;
        cinfo.comp_info[c].v_samp_factor = 1;
    }
    if (request.progressive)
        jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);

    if (!request.comment->empty())
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(request.comment->data()),
                          static_cast<unsigned>(request.comment->size()));
    if (request.exif && request.exifLength)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, request.exif, static_cast<unsigned>(request.exifLength));
    if (!request.xmp->empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, request.xmp->data(), static_cast<unsigned>(request.xmp->size()));
    if (request.photoshop && request.photoshopLength)
        jpeg_write_marker(&cinfo, JPEG_APP0 + 13, request.photoshop, static_cast<unsigned>(request.photoshopLength));

    JSAMPARRAY greyRow = nullptr;
    if (grey)
        greyRow = (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                             cinfo.image_width, 1);
    while (cinfo.next_scanline < cinfo.image_height) {
        const int scanLine = picture.height - 1 - static_cast<int>(cinfo.next_scanline);
        JSAMPROW samples = nullptr;
        if (grey) {
            // The palette says which grey each index stands for.
            const uint8_t* indexes = picture.bits + static_cast<size_t>(scanLine) * picture.stride;
            for (JDIMENSION x = 0; x < cinfo.image_width; ++x)
                greyRow[0][x] = picture.palette[indexes[x]][0];
            samples = greyRow[0];
        } else {
            job.row = picture.GetRowAs(24, scanLine);
            if (!job.row) {
                ReleaseEncode(job);
                return false;
            }
            samples = job.row;
        }
        jpeg_write_scanlines(&cinfo, &samples, 1);
        std::free(job.row);
        job.row = nullptr;
    }
    jpeg_finish_compress(&cinfo);
    ReleaseEncode(job);
    return true;
}

}  // namespace

NRESULT NImageFileJPG::Save(const wchar_t* path, NImageBuffer* givenPicture, ImageMetadata* givenMetadata)
{
    const NImageBuffer& image = givenPicture ? *givenPicture : picture;
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;
    ImageMetadata& meta = givenMetadata ? *givenMetadata : metadata;
    if (!path)
        return NR_FILE_OPEN_WRITE;

    // Comment: the metadata's, else the options' default, when it has two or more characters.
    NString comment;
    if (meta.comment.GetLength() >= 2)
        comment = meta.comment;
    else if (saveOptions.jpegComment.GetLength() >= 2)
        comment = saveOptions.jpegComment;
    if (comment.GetLength() > kMaxSavedCommentCharacters)
        comment = comment.Left(kMaxSavedCommentCharacters);

    // EXIF: a camera's tags are kept, but resolution, size and orientation describe this picture.
    NExifHolder& exif = meta.exif;
    UpdateExifForSave(exif, image);
    unsigned char* exifBytes = nullptr;
    unsigned int exifLength = 0;
    if (exif.hasExif && exif.data)
        exif_data_save_data(exif.data, &exifBytes, &exifLength);

    // IPTC in a Photoshop image-resource block.
    std::vector<uint8_t> photoshop;
    const bool photoshopFailed = !MakePhotoshopIptcBlock(meta.iptc, photoshop);

    NRESULT result = NR_ENCODE_FAILED;
    if (!photoshopFailed) {
        const std::string xmp = meta.xmp;
        result = WriteJpeg(this, path, image, saveOptions.jpegQuality, saveOptions.jpegOptimize != 0,
                           saveOptions.jpegSmoothing, saveOptions.jpegProgressive != 0, comment.c_str(), xmp,
                           exifBytes, exifLength, photoshop.data(), photoshop.size());
    }
    std::free(exifBytes);
    return result;
}

NRESULT NImageFileJPG::WriteJpeg(NImageFileJPG* owner, const wchar_t* path, const NImageBuffer& image, int quality,
                                 bool optimize, float smoothing, bool progressive, const wchar_t* comment,
                                 const std::string& xmp, const uint8_t* exif, size_t exifLength,
                                 const uint8_t* photoshop, size_t photoshopLength)
{
    if (!image.valid)
        return NR_PICTURE_NOT_VALID;

    std::string commentBytes;
    if (comment && std::wcslen(comment) > 1) {
        commentBytes = AnsiFromWide(comment);
        if (commentBytes.size() > kMaxCommentBytes)
            commentBytes.resize(kMaxCommentBytes);
    }
    std::vector<uint8_t> xmpSegment;
    if (xmp.size() > 10) {
        size_t packetLength = std::strlen(xmp.c_str());
        if (packetLength > 65535)
            packetLength = 65535;
        xmpSegment.reserve(kXmpSignatureLength + packetLength + 1);
        xmpSegment.insert(xmpSegment.end(), kXmpSignature, kXmpSignature + kXmpSignatureLength);
        xmpSegment.insert(xmpSegment.end(), xmp.data(), xmp.data() + packetLength);
        xmpSegment.push_back(0);
    }
    // A segment that does not fit its 16-bit length fails the save before the file exists.
    if ((exif && exifLength > kMaxSegmentData) || xmpSegment.size() > kMaxSegmentData ||
        (photoshop && photoshopLength > kMaxSegmentData))
        return NR_ENCODE_FAILED;

    if (!path)
        return NR_FILE_OPEN_WRITE;
    ScopedFile file(path, L"wb");
    if (!file)
        return NR_FILE_OPEN_WRITE;

    EncodeJob job;
    std::memset(&job, 0, sizeof(job));
    job.file = file.Get();
    EncodeRequest request = {};
    request.picture = &image;
    request.quality = quality;
    request.optimize = optimize;
    request.smoothing = smoothing;
    request.progressive = progressive;
    request.comment = &commentBytes;
    request.xmp = &xmpSegment;
    request.exif = exif;
    request.exifLength = exif ? exifLength : 0;
    request.photoshop = photoshop;
    request.photoshopLength = photoshop ? photoshopLength : 0;
    const bool encoded = RunEncode(job, request, owner);
    ReleaseEncode(job);
    const bool closed = file.Close();
    if (!encoded || !closed) {
        DeleteFileW(path);
        return NR_ENCODE_FAILED;
    }
    return NR_OK;
}
