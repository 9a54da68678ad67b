#include "imagefile/formats/NImageFilePNG.h"

#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>

#include "base/ScopedFile.h"
#include "base/Utf8.h"
#include "imagefile/SignatureWindow.h"
#include "imagefile/ProgressText.h"
#include "imagefile/formats/ApngReader.h"
#include "imagefile/formats/ApngWriter.h"
#include "imagefile/formats/MngStreamWalk.h"
#include "imagefile/formats/PngGuard.h"

namespace {

constexpr int kMaxMessageCharacters = 511;
constexpr int kMaxTextCharacters = 65535;
constexpr size_t kMaxTitleBytes = 2047;
constexpr char kSoftwareText[] = "NImageFilePNG 1.1.0 verolib.example";

// The read structures of one decode; destroyed with the object.
struct PngReadStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReadStructs() { Destroy(); }
    void Destroy()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
        png = nullptr;
        info = nullptr;
    }
};

struct PngWriteStructs {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngWriteStructs() { Destroy(); }
    void Destroy()
    {
        if (png)
            png_destroy_write_struct(&png, info ? &info : nullptr);
        png = nullptr;
        info = nullptr;
    }
};

// Depth of the bitmap a still PNG decodes into, and the transformations that lead there.
int OutputDepth(int colourType, int bitDepth, bool paletteWithTransparency)
{
    switch (colourType) {
    case PNG_COLOR_TYPE_GRAY:
        return bitDepth == 16 ? 8 : bitDepth;
    case PNG_COLOR_TYPE_RGB:
        return 24;
    case PNG_COLOR_TYPE_PALETTE:
        return paletteWithTransparency ? 32 : bitDepth;
    default:
        return 32;   // grey + alpha, RGB + alpha
    }
}

uint16_t DelayMilliseconds(uint32_t numerator, uint32_t denominator)
{
    if (numerator == 0 || denominator == 0)
        return 100;
    const double ms = static_cast<double>(numerator) / denominator * 1000.0;
    return ms >= 65535.0 ? 65535 : static_cast<uint16_t>(ms);
}

}  // namespace

NImageFilePNG::NImageFilePNG()
{
    libraryMessage = L"";
    pagePath = L"";
}

NImageFilePNG::~NImageFilePNG()
{
    DeleteFrameFiles();
}

void NImageFilePNG::DeleteFrameFiles()
{
    for (const NString& file : frameFiles)
        DeleteFileW(file.c_str());
    frameFiles.clear();
}

// A new empty file in the temporary folder ("dlv" prefix); false when none can be made.
static bool MakeTemporaryFile(NString& path)
{
    wchar_t folder[MAX_PATH + 1] = {};
    wchar_t name[MAX_PATH + 1] = {};
    const DWORD length = GetTempPathW(MAX_PATH, folder);
    if (length == 0 || length > MAX_PATH || GetTempFileNameW(folder, L"dlv", 0, name) == 0)
        return false;
    path = name;
    return true;
}

NRESULT NImageFilePNG::SavePageFile(NImageBuffer& page, ImageMetadata* meta)
{
    NString path;
    if (!MakeTemporaryFile(path))
        return NR_FILE_OPEN_WRITE;
    NImageFilePNG single;
    const NRESULT result = single.Save(path.c_str(), &page, meta ? meta : &single.metadata);
    if (result != NR_OK) {
        DeleteFileW(path.c_str());
        return result;
    }
    frameFiles.push_back(path);
    return NR_OK;
}

bool NImageFilePNG::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 8))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\x89PNG\r\n\x1A\n");
}

FileType NImageFilePNG::GetFormatId() const
{
    return FT_PNG;
}

bool NImageFilePNG::IsMultiImage() const
{
    return multiImage != 0;
}

bool NImageFilePNG::IsAnimated() const
{
    return multiImage != 0;
}

int32_t NImageFilePNG::GetPageCount() const
{
    return pageCount;
}

void NImageFilePNG::SetPage(int32_t index)
{
    currentPage = index;
}

void NImageFilePNG::OnLibraryError(png_struct_def* png, const char* message)
{
    auto* self = static_cast<NImageFilePNG*>(png_get_error_ptr(png));
    if (self && message)
        self->libraryMessage = NStringFromAnsi(message, strlen(message), kMaxMessageCharacters);
    // Back to the operation's jump target (libpng's fallback would print the message first).
    png_longjmp(png, 1);
}

void NImageFilePNG::OnLibraryWarning(png_struct_def*, const char*)
{
}

int NImageFilePNG::OnUnknownChunk(png_struct_def* png, png_unknown_chunk_t* chunk)
{
    if (memcmp(chunk->name, "acTL", 4) != 0)
        return 0;
    // The frame count needs four bytes of data.
    if (!chunk->data || chunk->size < 4)
        return -1;
    const uint32_t frames = (static_cast<uint32_t>(chunk->data[0]) << 24) |
                            (static_cast<uint32_t>(chunk->data[1]) << 16) |
                            (static_cast<uint32_t>(chunk->data[2]) << 8) | chunk->data[3];
    auto* self = static_cast<NImageFilePNG*>(png_get_error_ptr(png));
    if (frames > 1 && self) {
        self->animated = 1;
        self->multiImage = 1;
    }
    return 1;
}

void NImageFilePNG::ExpandRow2To4(uint8_t* row, int width)
{
    for (int n = width - 1; n >= 0; --n) {
        const uint8_t value = (row[n / 4] >> (6 - 2 * (n % 4))) & 3;
        uint8_t& target = row[n / 2];
        target = (n % 2 == 0) ? static_cast<uint8_t>((target & 0x0F) | (value << 4))
                              : static_cast<uint8_t>((target & 0xF0) | value);
    }
}

NRESULT NImageFilePNG::Load(const wchar_t* path, uint8_t preview, uint8_t quick, NImageBuffer* target)
{
    SetFileName(path);
    libraryMessage = L"None";

    ScopedFile in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    FILE* file = in.Get();
    uint8_t signature[8];
    const size_t got = fread(signature, 1, 8, file);
    _fseeki64(file, 0, SEEK_SET);
    if (got < 8 || png_sig_cmp(signature, 0, 8) != 0)
        return NR_NOT_THIS_FORMAT;

    // A verification: the check of the chunks and of the inflated rows answers; only a file that
    // check cannot tell about is read by libpng, as any load reads it.
    if (loadOptions.verifyOnly) {
        StdioByteSource bytes(file);
        PngFamilyPicture checked;
        uint64_t end = 0;
        const bool whole = CheckPngImage(bytes, checked, end);
        _fseeki64(file, 0, SEEK_SET);
        if (whole) {
            NImageBuffer& out = target ? *target : picture;
            if (!out.Create(1, 1, 24, loadOptions.backgroundColour))
                return NR_PICTURE_CREATE_FAILED;
            consumedSize = end;
            verifiedSmaller = 1;
            fullWidth = static_cast<int32_t>(checked.frameWidth);
            fullHeight = static_cast<int32_t>(checked.frameHeight);
            pageCount = 1;
            currentPage = 0;
            return NR_OK;
        }
    }

    PngReadStructs structs;
    structs.png = CreatePngReadStruct(this, OnLibraryError, OnLibraryWarning);
    if (!structs.png)
        return NR_FORMAT_INIT_FAILED;
    const uint64_t fileLength = DataBound::FileLength(path);
    LimitPngMemory(structs.png, fileLength);
    const bool animationWanted = !preview && !quick;
    if (animationWanted)
        png_set_read_user_chunk_fn(structs.png, nullptr, OnUnknownChunk);
    structs.info = png_create_info_struct(structs.png);
    if (!structs.info)
        return NR_FORMAT_INIT_FAILED;

    NImageBuffer& out = target ? *target : picture;
    png_structp png = structs.png;
    png_infop info = structs.info;

    // Everything the decode takes lives here, so that a jump out of libpng leaks nothing.
    NRESULT result = NR_OK;
    bool takeAnimationPath = false;
    std::unique_ptr<uint8_t[]> packedRows;   // 2-bit pictures: rows as libpng delivers them
    std::string firstText;
    bool haveText = false;

    auto body = [&] {
        png_init_io(png, file);
        png_read_info(png, info);
        if (animationWanted && IsAnimated()) {
            takeAnimationPath = true;
            return;
        }

        png_uint_32 width = 0;
        png_uint_32 height = 0;
        int bitDepth = 0;
        int colourType = 0;
        int interlaceType = 0;
        png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlaceType, nullptr, nullptr);
        const int pixelDepth = png_get_channels(png, info) * bitDepth;
        if (!DataBound::Fits(width, height, static_cast<uint64_t>(pixelDepth), fileLength, DataBound::kDeflate)) {
            result = NR_INVALID_DATA;
            return;
        }
        const bool paletteAlpha =
            colourType == PNG_COLOR_TYPE_PALETTE && png_get_valid(png, info, PNG_INFO_tRNS) != 0;
        const int depth = OutputDepth(colourType, bitDepth, paletteAlpha);
        if (colourType == PNG_COLOR_TYPE_GRAY_ALPHA) {
            png_set_gray_to_rgb(png);
            png_set_expand(png);
        }
        if (paletteAlpha) {
            png_set_palette_to_rgb(png);
            png_set_tRNS_to_alpha(png);
        }
        png_set_bgr(png);
        if (bitDepth == 16)
            png_set_strip_16(png);
        const int passes = png_set_interlace_handling(png);
        png_read_update_info(png, info);

        // Palette: the file's, or a grey ramp for grey pictures.
        uint8_t paletteRgb[256 * 3] = {};
        if (colourType == PNG_COLOR_TYPE_PALETTE) {
            png_colorp entries = nullptr;
            int count = 0;
            if (png_get_PLTE(png, info, &entries, &count) && entries) {
                for (int i = 0; i < count && i < 256; ++i) {
                    paletteRgb[i * 3] = entries[i].red;
                    paletteRgb[i * 3 + 1] = entries[i].green;
                    paletteRgb[i * 3 + 2] = entries[i].blue;
                }
            }
        } else if (colourType == PNG_COLOR_TYPE_GRAY) {
            if (pixelDepth == 2) {
                static const uint8_t levels[4] = {0x00, 0x55, 0xAA, 0xFF};
                for (int i = 0; i < 4; ++i)
                    paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] = levels[i];
            } else {
                const int entries = 1 << depth;
                const int step = 255 / (entries - 1);
                for (int i = 0; i < entries; ++i)
                    paletteRgb[i * 3] = paletteRgb[i * 3 + 1] = paletteRgb[i * 3 + 2] =
                        static_cast<uint8_t>(i * step);
            }
        }

        const bool palettePicture = depth <= 8;
        if (width > INT32_MAX || height > INT32_MAX ||
            !out.Create(static_cast<int>(width), static_cast<int>(height), depth, loadOptions.backgroundColour,
                        palettePicture ? paletteRgb : nullptr)) {
            result = NR_PICTURE_CREATE_FAILED;
            return;
        }
        const size_t rowBytes = png_get_rowbytes(png, info);
        const bool twoBit = depth == 2;
        if (rowBytes > static_cast<size_t>(out.stride))
            png_error(png, "row larger than the picture");

        png_uint_32 resX = 0, resY = 0;
        int unit = 0;
        if (png_get_pHYs(png, info, &resX, &resY, &unit) && unit == PNG_RESOLUTION_METER) {
            out.dpiX = static_cast<int32_t>(resX / 100.0 * 2.54 + 0.5);
            out.dpiY = static_cast<int32_t>(resY / 100.0 * 2.54 + 0.5);
        }

        png_textp texts = nullptr;
        int textCount = 0;
        if (png_get_text(png, info, &texts, &textCount) > 0 && texts && texts[0].text) {
            firstText.assign(texts[0].text);
            haveText = true;
        }

        // Rows from the top of the picture (the last scan line in memory) down. Interlaced
        // pictures are read pass by pass into the rows already there, which libpng combines.
        auto scanLine = [&](png_uint_32 y) { return out.bits + static_cast<size_t>(height - 1 - y) * out.stride; };
        if (!twoBit) {
            for (int pass = 0; pass < passes; ++pass)
                for (png_uint_32 y = 0; y < height; ++y)
                    png_read_row(png, scanLine(y), nullptr);
        } else {
            // 2-bit rows are widened to 4 bits once complete; interlaced ones are kept whole
            // until the last pass.
            const size_t slot = static_cast<size_t>(out.stride);
            const size_t slots = passes > 1 ? height : 1;
            packedRows.reset(new (std::nothrow) uint8_t[slot * slots]);
            if (!packedRows)
                png_error(png, "out of memory");
            memset(packedRows.get(), 0, slot * slots);
            for (int pass = 0; pass < passes; ++pass) {
                for (png_uint_32 y = 0; y < height; ++y) {
                    uint8_t* row = packedRows.get() + (passes > 1 ? slot * y : 0);
                    png_read_row(png, row, nullptr);
                    if (pass == passes - 1) {
                        ExpandRow2To4(row, static_cast<int>(width));
                        memcpy(scanLine(y), row, slot);
                    }
                }
            }
        }
        png_read_end(png, info);
    };

    if (!RunPngGuarded(png, body)) {
        structs.Destroy();
        return NR_DECODE_FAILED;
    }
    structs.Destroy();
    packedRows.reset();

    if (takeAnimationPath) {
        in.Close();
        std::vector<ApngFrame> frames;
        ReadAnimatedPng(this, path, frames, &consumedSize);
        if (frames.empty())
            return NR_DECODE_FAILED;
        const uint32_t w = frames[0].width;
        const uint32_t h = frames[0].height;
        const uint64_t stripHeight = static_cast<uint64_t>(h) * frames.size();
        if (stripHeight > INT32_MAX || w > INT32_MAX ||
            !out.Create(static_cast<int>(w), static_cast<int>(stripHeight), 32, 0, nullptr))
            return NR_PICTURE_CREATE_FAILED;
        // Frame k fills the k-th block of h scan lines, bottom row first like any picture.
        for (size_t k = 0; k < frames.size(); ++k) {
            uint8_t* block = out.bits + k * h * static_cast<size_t>(out.stride);
            for (uint32_t s = 0; s < h; ++s)
                memcpy(block + static_cast<size_t>(s) * out.stride, frames[k].Row(h - 1 - s), static_cast<size_t>(w) * 4);
            frameDelays.push_back(DelayMilliseconds(frames[k].delayNumerator, frames[k].delayDenominator));
            std::vector<uint8_t>().swap(frames[k].pixels);
        }
        fullWidth = out.width;
        fullHeight = out.height;
        pageCount = static_cast<int32_t>(frames.size());
        currentPage = 0;
        out.height = static_cast<int32_t>(h);
        return NR_OK;
    }

    if (result != NR_OK)
        return result;
    consumedSize = static_cast<uint64_t>(std::max<int64_t>(_ftelli64(file), 0));
    in.Close();

    if (haveText) {
        NString text = NStringFromAnsi(firstText.c_str(), firstText.size(), kMaxTextCharacters);
        if (text.Find(L"<x:xmpmeta") >= 0)
            metadata.xmp = firstText;
        else
            metadata.comment = text;
    }
    fullWidth = out.width;
    fullHeight = out.height;
    pageCount = 1;
    currentPage = 0;
    return NR_OK;
}

NRESULT NImageFilePNG::ProbeFile(const wchar_t* path)
{
    ScopedFile in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    FILE* file = in.Get();
    uint8_t signature[8];
    const size_t got = fread(signature, 1, 8, file);
    _fseeki64(file, 0, SEEK_SET);
    if (got < 8 || png_sig_cmp(signature, 0, 8) != 0)
        return NR_NOT_THIS_FORMAT;
    PngReadStructs structs;
    structs.png = CreatePngReadStruct(nullptr, OnLibraryError, OnLibraryWarning);
    if (!structs.png)
        return NR_FORMAT_INIT_FAILED;
    LimitPngMemory(structs.png, DataBound::FileLength(path));
    structs.info = png_create_info_struct(structs.png);
    if (!structs.info)
        return NR_FORMAT_INIT_FAILED;
    png_structp png = structs.png;
    png_infop info = structs.info;
    auto body = [&] {
        png_init_io(png, file);
        png_read_info(png, info);
        png_uint_32 width = 0, height = 0;
        int bitDepth = 0, colourType = 0;
        png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, nullptr, nullptr, nullptr);
        // Starting the image lets png_read_end walk over the image data to the end chunk.
        png_start_read_image(png);
        png_read_end(png, info);
    };
    if (!RunPngGuarded(png, body))
        return NR_DECODE_FAILED;
    return NR_OK;
}

NRESULT NImageFilePNG::SaveFrom(const wchar_t* path, NImageFile* source)
{
    if (!source)
        return NR_INVALID_DATA;
    if (source->GetFormatId() == FT_GIF && source->GetPageCount() >= 2 && saveOptions.animationOff == 0)
        return SaveAnimationFrom(path, source, nullptr, true, false, false);
    return Save(path, &source->picture, &source->metadata);
}

NRESULT NImageFilePNG::SaveAnimationFrom(const wchar_t* path, NImageFile* source, NProgressSink* sink,
                                         bool reduceColours, bool dropExif, bool dropGps)
{
    if (!source)
        return NR_INVALID_DATA;
    frameDelays.clear();
    DeleteFrameFiles();

    const NImageBuffer& strip = source->picture;
    int frames = source->GetPageCount();
    const int width = strip.width;
    const int height = strip.height;
    // Never more frames than the strip's bitmap holds.
    DIBSECTION section = {};
    if (strip.valid && strip.bitmap && GetObjectW(strip.bitmap, sizeof(section), &section) == sizeof(section) &&
        height > 0) {
        const int lines = std::abs(section.dsBmih.biHeight);
        frames = std::min(frames, lines / height);
    } else {
        frames = 0;
    }
    const bool fromGif = source->GetFormatId() == FT_GIF;

    for (int i = 0; i < frames; ++i) {
        ReportFrameProgress(sink, L"Frame1", L"Preparing frame %d of %d", path, i + 1, frames);
        uint8_t paletteRgb[256 * 3] = {};
        const bool indexed = strip.bpp <= 8;
        if (indexed) {
            for (int e = 0; e < (1 << strip.bpp); ++e) {
                paletteRgb[e * 3] = strip.palette[e][2];
                paletteRgb[e * 3 + 1] = strip.palette[e][1];
                paletteRgb[e * 3 + 2] = strip.palette[e][0];
            }
        }
        // Frame i is the i-th block of height scan lines of the strip's memory.
        NImageBuffer frame;
        if (!frame.CreateFromBits(width, height, strip.bpp,
                                  strip.bits + static_cast<size_t>(i) * height * static_cast<size_t>(strip.stride),
                                  indexed ? paletteRgb : nullptr))
            continue;
        if (strip.hasTransparency) {
            frame.hasTransparency = 1;
            frame.transparentIndex = strip.transparentIndex;
            frame.transparentColour = strip.transparentColour;
        }
        if (SavePageFile(frame, &source->metadata) != NR_OK)
            continue;
        const uint32_t delay = source->GetFrameDelay(i) * (fromGif ? 10u : 1u);
        frameDelays.push_back(static_cast<uint16_t>(std::min<uint32_t>(delay, 0xFFFF)));
    }

    if (dropGps)
        source->metadata.exif.RemoveGpsTags();
    if (dropExif)
        source->metadata.exif.Release();

    const NRESULT result =
        WriteAnimatedPng(this, frameFiles, path, false, 0, !reduceColours, !reduceColours, sink);
    DeleteFrameFiles();
    std::vector<uint16_t>().swap(frameDelays);
    return result;
}

NRESULT NImageFilePNG::BeginPages(const wchar_t* path, NImageBuffer*)
{
    DeleteFrameFiles();
    frameDelays.clear();
    pagePath = path ? path : L"";
    return NR_OK;
}

NRESULT NImageFilePNG::AddPage(NImageBuffer* page)
{
    if (!page || !page->valid)
        return NR_PICTURE_NOT_VALID;
    const NRESULT result = SavePageFile(*page, nullptr);
    if (result == NR_OK)
        frameDelays.push_back(pageDelay);
    return result;
}

NRESULT NImageFilePNG::EndPages()
{
    const NRESULT result = WriteAnimatedPng(this, frameFiles, pagePath.c_str(), false, 0, false, false, progressOverlay);
    DeleteFrameFiles();
    std::vector<uint16_t>().swap(frameDelays);
    return result;
}

NRESULT NImageFilePNG::Save(const wchar_t* path, NImageBuffer* bitmap, ImageMetadata* meta)
{
    NImageBuffer& source = bitmap ? *bitmap : picture;
    ImageMetadata& data = meta ? *meta : metadata;
    if (!source.valid)
        return NR_PICTURE_NOT_VALID;

    ScopedFile out;
    if (!out.Open(path, L"wb"))
        return NR_FILE_OPEN_WRITE;
    FILE* file = out.Get();
    PngWriteStructs structs;
    structs.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, this, OnLibraryError, OnLibraryWarning);
    if (structs.png)
        structs.info = png_create_info_struct(structs.png);
    if (!structs.png || !structs.info) {
        structs.Destroy();
        out.Close();
        _wremove(path);
        return NR_FORMAT_INIT_FAILED;
    }
    png_structp png = structs.png;
    png_infop info = structs.info;

    const int bpp = source.bpp;
    const bool palettePicture = bpp == 1 || bpp == 4 || bpp == 8;
    const bool interlaced = saveOptions.pngInterlace != 0;

    // Everything the encoder takes lives here, so that a jump out of libpng leaks nothing.
    png_color palette[256] = {};
    png_byte alpha[256];
    png_color_16 keyColour = {};
    std::string textBytes;
    const char* textKey = "Software";
    if (data.comment.GetLength() > 0 && !data.comment.IsBlank()) {
        textBytes = AnsiFromWideCut(data.comment.c_str(), kMaxTitleBytes);
        textKey = "Title";
    } else {
        textBytes = kSoftwareText;
    }
    png_text text = {};
    text.compression = PNG_TEXT_COMPRESSION_zTXt;
    text.key = const_cast<char*>(textKey);
    text.text = textBytes.data();
    text.text_length = textBytes.size();
    std::unique_ptr<uint8_t[]> rowBuffer;

    auto body = [&] {
        png_init_io(png, file);
        int colourType = PNG_COLOR_TYPE_RGB;
        int bitDepth = 8;
        if (palettePicture) {
            colourType = PNG_COLOR_TYPE_PALETTE;
            bitDepth = bpp;
        } else if (bpp == 32) {
            colourType = PNG_COLOR_TYPE_RGB_ALPHA;
        }
        png_set_IHDR(png, info, static_cast<png_uint_32>(source.width), static_cast<png_uint_32>(source.height),
                     bitDepth, colourType, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_set_compression_level(png, saveOptions.pngCompressionLevel);
        if (source.dpiX != 0 && source.dpiY != 0)
            png_set_pHYs(png, info, static_cast<png_uint_32>(source.dpiX * 0.393700787402 * 100),
                         static_cast<png_uint_32>(source.dpiY * 0.393700787402 * 100), PNG_RESOLUTION_METER);
        if (palettePicture) {
            const int entries = 1 << bpp;
            for (int i = 0; i < entries; ++i) {
                palette[i].red = source.palette[i][2];
                palette[i].green = source.palette[i][1];
                palette[i].blue = source.palette[i][0];
            }
            png_set_PLTE(png, info, palette, entries);
        }
        if (source.hasTransparency) {
            if (palettePicture) {
                // Entries up to the transparent one; none when they outnumber the palette.
                memset(alpha, 255, sizeof(alpha));
                alpha[source.transparentIndex] = 0;
                if (source.transparentIndex < (1 << bpp))
                    png_set_tRNS(png, info, alpha, source.transparentIndex + 1, nullptr);
            } else if (bpp != 32) {
                // The picture's own key colour (COLORREF 0x00BBGGRR).
                const uint32_t key = static_cast<uint32_t>(source.transparentColour);
                keyColour.red = static_cast<png_uint_16>(key & 0xFF);
                keyColour.green = static_cast<png_uint_16>((key >> 8) & 0xFF);
                keyColour.blue = static_cast<png_uint_16>((key >> 16) & 0xFF);
                png_set_tRNS(png, info, nullptr, 0, &keyColour);
            }
        }
        png_set_text(png, info, &text, 1);
        png_write_info(png, info);
        png_set_bgr(png);
        const int passes = interlaced ? png_set_interlace_handling(png) : 1;

        const size_t rowBytes = std::max<size_t>(static_cast<size_t>(source.stride), png_get_rowbytes(png, info));
        rowBuffer.reset(new (std::nothrow) uint8_t[rowBytes]);
        if (!rowBuffer)
            png_error(png, "out of memory");
        for (int pass = 0; pass < passes; ++pass) {
            for (int y = 0; y < source.height; ++y) {
                const int line = source.height - 1 - y;
                if (bpp == 16) {
                    uint8_t* converted = source.GetRowAs(24, line);
                    if (!converted)
                        png_error(png, "row conversion failed");
                    memcpy(rowBuffer.get(), converted, static_cast<size_t>(source.width) * 3);
                    free(converted);
                    png_write_row(png, rowBuffer.get());
                } else {
                    png_write_row(png, source.bits + static_cast<size_t>(line) * source.stride);
                }
            }
        }
        png_write_end(png, info);
    };

    const bool written = RunPngGuarded(png, body);
    structs.Destroy();
    const bool streamFailed = fflush(file) != 0 || ferror(file) != 0;
    const bool closeFailed = !out.Close();
    if (!written) {
        _wremove(path);
        return NR_ENCODE_FAILED;
    }
    if (streamFailed || closeFailed) {
        _wremove(path);
        return NR_FILE_ERROR;
    }
    return NR_OK;
}

PictureExtent NImageFilePNG::FindExtent(ByteSource& source)
{
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    uint8_t signature[8];
    if (!source.ReadAt(0, signature, 8))
        return source.EndIsFinal() ? PictureExtent::Broken() : PictureExtent::Unknown();
    if (std::memcmp(signature, kSignature, 8) != 0)
        return PictureExtent::Broken();
    const uint64_t size = source.Size();
    uint64_t position = 8;
    bool first = true;
    for (;;) {
        uint8_t head[8];
        if (!source.ReadAt(position, head, 8))
            return source.EndIsFinal() ? PictureExtent::Broken() : PictureExtent::Unknown();
        const uint32_t length = (uint32_t{head[0]} << 24) | (uint32_t{head[1]} << 16) | (uint32_t{head[2]} << 8) | head[3];
        if (length > 0x7FFFFFFFu)
            return PictureExtent::Broken();
        for (int i = 4; i < 8; ++i) {
            const uint8_t c = head[i] | 0x20;
            if (c < 'a' || c > 'z')
                return PictureExtent::Broken();
        }
        const bool ihdr = std::memcmp(head + 4, "IHDR", 4) == 0;
        if (first && (!ihdr || length != 13))
            return PictureExtent::Broken();
        first = false;
        const uint64_t end = position + 12 + length;
        if (end > size)
            return source.EndIsFinal() ? PictureExtent::Broken() : PictureExtent::Unknown();
        if (std::memcmp(head + 4, "IEND", 4) == 0)
            return PictureExtent::Complete(end);
        position = end;
    }
}
