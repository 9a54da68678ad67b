#include "imagefile/formats/NImageFileJP2.h"

#include "imaging/DecodeBudget.h"

#include <lcms2.h>
#include <openjpeg.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <vector>

#include "imagefile/SignatureWindow.h"
#include "imagefile/IccContext.h"
#include "imagefile/formats/Jp2Stream.h"

namespace {

constexpr uint32_t kMaxComponents = 64;
// The decoder sets up every tile's coding parameters for every component while it reads the
// main header, before any picture data; more tile-components than this are refused first.
constexpr uint64_t kMaxTileComponents = uint64_t{1} << 17;
// Tile-components allowed beyond eight for every byte of the file.
constexpr uint64_t kFreeTileComponents = 256;
// A tile holds data only through a tile-part: its SOT marker segment and SOD marker take 14 bytes.
constexpr uint64_t kTilePartBytes = 14;
// Tiles allowed beyond one for every tile-part the file could hold (a cut file misses some).
constexpr uint64_t kFreeTiles = 256;
constexpr int kMaxBoxesBeforeCodeStream = 256;
// The most samples one byte of a file is believed to code: far beyond any real compression
// ratio (a plain area still costs a few bits a code-block), far below what a header can claim.
constexpr uint64_t kSamplesPerByte = 4096;

struct Jp2Codec {
    opj_codec_t* codec = nullptr;
    ~Jp2Codec()
    {
        if (codec)
            opj_destroy_codec(codec);
    }
};

struct Jp2Image {
    opj_image_t* image = nullptr;
    ~Jp2Image()
    {
        if (image)
            opj_image_destroy(image);
    }
};

struct IccProfile {
    cmsHPROFILE profile = nullptr;
    ~IccProfile()
    {
        if (profile)
            cmsCloseProfile(profile);
    }
};

struct IccTransform {
    cmsHTRANSFORM transform = nullptr;
    ~IccTransform()
    {
        if (transform)
            cmsDeleteTransform(transform);
    }
};

void IgnoreMessage(const char*, void*)
{
}

// The codec's messages go nowhere (its failures come back as false answers).
void Silence(opj_codec_t* codec)
{
    opj_set_info_handler(codec, IgnoreMessage, nullptr);
    opj_set_warning_handler(codec, IgnoreMessage, nullptr);
    opj_set_error_handler(codec, IgnoreMessage, nullptr);
}

uint32_t CeilDiv(uint32_t a, uint32_t b)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(a) + b - 1) / b);
}

// The header's sizes, before the decoder allocates anything: at most 64 components, each with
// a sampling step, and all samples (4 bytes each) within kMaxDecodedBytes and within what the
// file's bytes can code (kSamplesPerByte a byte). *samples: their count.
bool HeaderIsAcceptable(const opj_image_t* image, uint64_t fileSize, uint64_t* samples)
{
    if (!image || image->numcomps == 0 || image->numcomps > kMaxComponents || !image->comps)
        return false;
    if (image->x1 <= image->x0 || image->y1 <= image->y0)
        return false;
    uint64_t bytes = 0;
    for (uint32_t i = 0; i < image->numcomps; ++i) {
        const opj_image_comp_t& c = image->comps[i];
        if (c.dx == 0 || c.dy == 0 || c.prec == 0 || c.prec > 31)
            return false;
        const uint64_t w = CeilDiv(image->x1, c.dx) - CeilDiv(image->x0, c.dx);
        const uint64_t h = CeilDiv(image->y1, c.dy) - CeilDiv(image->y0, c.dy);
        bytes += w * h * 4;
        if (bytes > NImageFileJP2::kMaxDecodedBytes || bytes / 4 > fileSize * kSamplesPerByte)
            return false;
    }
    *samples = bytes / 4;
    return true;
}

uint32_t BigEndian32(const uint8_t* p)
{
    return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3];
}

// Where the code stream starts: 0 for a bare code stream; in a JP2 file, the contents of the
// first "jp2c" box among the top-level boxes. False when no such box is found.
bool FindCodeStream(Jp2FileStream& stream, OPJ_CODEC_FORMAT format, uint64_t& start)
{
    start = 0;
    if (format == OPJ_CODEC_J2K)
        return true;
    uint64_t at = 0;
    for (int box = 0; box < kMaxBoxesBeforeCodeStream; ++box) {
        uint8_t header[16];
        if (stream.ReadAt(at, header, 8) != 8)
            return false;
        uint64_t length = BigEndian32(header);
        uint64_t headerLength = 8;
        if (length == 1) {
            if (stream.ReadAt(at + 8, header + 8, 8) != 8)
                return false;
            length = uint64_t{BigEndian32(header + 8)} << 32 | BigEndian32(header + 12);
            headerLength = 16;
        }
        if (memcmp(header + 4, "jp2c", 4) == 0) {
            start = at + headerLength;
            return true;
        }
        if (length == 0 || length < headerLength || length > stream.FileSize() - at)
            return false;
        at += length;
    }
    return false;
}

// The tile and component counts of the code stream's size marker, checked before the decoder
// reads the header. Fields that make no sense are left to the decoder, which refuses them.
bool TilingIsAcceptable(Jp2FileStream& stream, OPJ_CODEC_FORMAT format)
{
    uint64_t start = 0;
    if (!FindCodeStream(stream, format, start))
        return true;
    // SOC, then SIZ: marker, Lsiz, Rsiz, Xsiz, Ysiz, XOsiz, YOsiz, XTsiz, YTsiz, XTOsiz, YTOsiz, Csiz.
    uint8_t siz[2 + 2 + 2 + 2 + 8 * 4 + 2];
    if (stream.ReadAt(start, siz, sizeof(siz)) != sizeof(siz) || siz[2] != 0xFF || siz[3] != 0x51)
        return true;
    const uint64_t width = BigEndian32(siz + 8);
    const uint64_t height = BigEndian32(siz + 12);
    const uint64_t tileWidth = BigEndian32(siz + 24);
    const uint64_t tileHeight = BigEndian32(siz + 28);
    const uint64_t tileX = BigEndian32(siz + 32);
    const uint64_t tileY = BigEndian32(siz + 36);
    const uint64_t components = uint64_t{siz[40]} << 8 | siz[41];
    if (tileWidth == 0 || tileHeight == 0 || width <= tileX || height <= tileY)
        return true;
    // The decoder divides as signed 32-bit numbers, so that sizes from 2^31 up give it other
    // counts than the true ones: the larger of the two is what it prepares.
    const auto decoderCount = [](uint64_t end, uint64_t origin, uint64_t step) -> uint64_t {
        const auto span = static_cast<int32_t>(static_cast<uint32_t>(end - origin));
        const auto divisor = static_cast<int32_t>(static_cast<uint32_t>(step));
        return static_cast<uint32_t>(static_cast<int32_t>((int64_t{span} + divisor - 1) / divisor));
    };
    const uint64_t across = std::max((width - tileX + tileWidth - 1) / tileWidth, decoderCount(width, tileX, tileWidth));
    const uint64_t down = std::max((height - tileY + tileHeight - 1) / tileHeight, decoderCount(height, tileY, tileHeight));
    if (across > kMaxTileComponents || down > kMaxTileComponents || across * down > kMaxTileComponents)
        return false;
    // Every tile costs the decoder some kilobytes of coding parameters.
    if (across * down > stream.FileSize() / kTilePartBytes + kFreeTiles)
        return false;
    // The decoder keeps more than a kilobyte of coding parameters for every tile-component, and
    // each one that holds data costs the file at least a packet header bit.
    const uint64_t tileComponents = across * down * std::max<uint64_t>(components, 1);
    return tileComponents <= kMaxTileComponents && tileComponents <= stream.FileSize() * 8 + kFreeTileComponents;
}

// One decoded component read on the grid of component 0, as 8-bit values.
class ComponentSampler {
public:
    ComponentSampler(const opj_image_comp_t& c, const opj_image_comp_t& first)
        : c_(c), xNum_(first.dx), xDen_(c.dx), yNum_(first.dy), yDen_(c.dy)
    {
        maximum_ = (int64_t{1} << c.prec) - 1;
        offset_ = c.sgnd ? (int64_t{1} << (c.prec - 1)) : 0;
    }

    const OPJ_INT32* Row(uint32_t y) const
    {
        uint64_t yy = static_cast<uint64_t>(y) * yNum_ / yDen_;
        yy = std::min<uint64_t>(yy, c_.h - 1);
        return c_.data + yy * c_.w;
    }

    uint8_t At(const OPJ_INT32* row, uint32_t x) const
    {
        uint64_t xx = static_cast<uint64_t>(x) * xNum_ / xDen_;
        xx = std::min<uint64_t>(xx, c_.w - 1);
        int64_t v = static_cast<int64_t>(row[xx]) + offset_;
        v = std::clamp<int64_t>(v, 0, maximum_);
        if (c_.prec == 8)
            return static_cast<uint8_t>(v);
        if (c_.prec > 8)
            return static_cast<uint8_t>(v >> (c_.prec - 8));
        return static_cast<uint8_t>((v * 255 + maximum_ / 2) / maximum_);
    }

private:
    const opj_image_comp_t& c_;
    uint32_t xNum_, xDen_, yNum_, yDen_;
    int64_t maximum_;
    int64_t offset_;
};

uint8_t ClampByte(double v)
{
    return static_cast<uint8_t>(v <= 0.0 ? 0 : v >= 255.0 ? 255 : static_cast<int>(v + 0.5));
}

// The layout of the picture made from a decoded image.
struct OutputPlan {
    bool colour = false;     // components 0..2 (or C, M, Y, K) give the colour, else 0 is grey
    bool ycc = false;        // components 0..2 are Y, Cb, Cr
    bool cmyk = false;
    int alpha = -1;          // component that holds alpha
    int depth = 8;
};

OutputPlan PlanOutput(const opj_image_t* image, bool bareCodeStream)
{
    OutputPlan plan;
    const uint32_t n = image->numcomps;
    const opj_image_comp_t* c = image->comps;
    const OPJ_COLOR_SPACE space = image->color_space;
    plan.colour = n >= 3 && space != OPJ_CLRSPC_GRAY;
    if (plan.colour) {
        plan.cmyk = space == OPJ_CLRSPC_CMYK && n >= 4;
        const bool subsampledChroma = c[1].dx > c[0].dx || c[1].dy > c[0].dy || c[2].dx > c[0].dx || c[2].dy > c[0].dy;
        plan.ycc = !plan.cmyk && (space == OPJ_CLRSPC_SYCC || (bareCodeStream && subsampledChroma));
        const uint32_t firstExtra = plan.cmyk ? 4 : 3;
        for (uint32_t i = firstExtra; i < n && plan.alpha < 0; ++i)
            if (c[i].alpha)
                plan.alpha = static_cast<int>(i);
        if (plan.alpha < 0 && n == firstExtra + 1)
            plan.alpha = static_cast<int>(firstExtra);
        plan.depth = plan.alpha >= 0 ? 32 : 24;
    } else {
        if (n >= 2 && (c[1].alpha || n == 2))
            plan.alpha = 1;
        if (plan.alpha >= 0)
            plan.depth = 32;
        else
            plan.depth = c[0].prec == 1 ? 1 : c[0].prec == 4 ? 4 : 8;
    }
    return plan;
}

// An RGB ICC profile of the file, as a transform of rows to sRGB; null when there is none or it
// cannot be used (the picture then keeps its numbers).
cmsHTRANSFORM MakeIccTransform(const opj_image_t* image, bool alpha, cmsContext context, IccProfile& from,
                               IccProfile& to)
{
    if (!image->icc_profile_buf || image->icc_profile_len == 0 || !context)
        return nullptr;
    from.profile = cmsOpenProfileFromMemTHR(context, image->icc_profile_buf, image->icc_profile_len);
    if (!from.profile || cmsGetColorSpace(from.profile) != cmsSigRgbData)
        return nullptr;
    to.profile = cmsCreate_sRGBProfileTHR(context);
    if (!to.profile)
        return nullptr;
    const cmsUInt32Number format = alpha ? TYPE_BGRA_8 : TYPE_BGR_8;
    return cmsCreateTransformTHR(context, from.profile, format, to.profile, format, INTENT_PERCEPTUAL,
                                 alpha ? cmsFLAGS_COPY_ALPHA : 0);
}

void ConvertImage(const opj_image_t* image, bool bareCodeStream, NImageBuffer& out)
{
    const opj_image_comp_t* c = image->comps;
    const opj_image_comp_t& first = c[0];
    const OutputPlan plan = PlanOutput(image, bareCodeStream);
    const uint32_t used = plan.colour ? (plan.cmyk ? 4 : 3) : 1;
    for (uint32_t i = 0; i < image->numcomps; ++i) {
        const bool needed = i < used || static_cast<int>(i) == plan.alpha;
        if (needed && (!c[i].data || c[i].w == 0 || c[i].h == 0))
            throw NR_DECODE_FAILED;
    }
    if (first.w > INT32_MAX || first.h > INT32_MAX)
        throw NR_PICTURE_CREATE_FAILED;
    const int width = static_cast<int>(first.w);
    const int height = static_cast<int>(first.h);

    uint8_t ramp[256 * 3] = {};
    if (plan.depth <= 8) {
        const int entries = 1 << plan.depth;
        for (int i = 0; i < entries; ++i)
            ramp[i * 3] = ramp[i * 3 + 1] = ramp[i * 3 + 2] = static_cast<uint8_t>(i * 255 / (entries - 1));
    }
    if (!out.Create(width, height, plan.depth, 0, plan.depth <= 8 ? ramp : nullptr))
        throw NR_PICTURE_CREATE_FAILED;

    std::vector<ComponentSampler> samplers;
    for (uint32_t i = 0; i < used; ++i)
        samplers.emplace_back(c[i], first);
    std::unique_ptr<ComponentSampler> alphaSampler;
    if (plan.alpha >= 0)
        alphaSampler = std::make_unique<ComponentSampler>(c[plan.alpha], first);

    std::optional<IccContext> iccContext;   // goes last: the profiles and the transform live in it
    IccProfile fromProfile, toProfile;
    IccTransform icc;
    if (plan.colour && !plan.cmyk && image->icc_profile_buf && image->icc_profile_len > 0) {
        iccContext.emplace();
        icc.transform = MakeIccTransform(image, plan.alpha >= 0, iccContext->Get(), fromProfile, toProfile);
    }
    const int pixelBytes = plan.depth / 8;
    std::vector<uint8_t> colourRow(plan.depth >= 24 ? static_cast<size_t>(width) * pixelBytes : 0);

    for (int y = 0; y < height; ++y) {
        uint8_t* line = out.bits + static_cast<size_t>(height - 1 - y) * out.stride;
        const OPJ_INT32* rows[4] = {};
        for (uint32_t i = 0; i < used; ++i)
            rows[i] = samplers[i].Row(static_cast<uint32_t>(y));
        const OPJ_INT32* alphaRow = alphaSampler ? alphaSampler->Row(static_cast<uint32_t>(y)) : nullptr;

        if (plan.depth == 1 || plan.depth == 4 || (plan.depth == 8 && !plan.colour)) {
            memset(line, 0, static_cast<size_t>(out.stride));
            for (int x = 0; x < width; ++x) {
                const uint8_t v = samplers[0].At(rows[0], static_cast<uint32_t>(x));
                if (plan.depth == 8)
                    line[x] = v;
                else if (plan.depth == 4)
                    line[x / 2] |= static_cast<uint8_t>((v >> 4) << (x % 2 == 0 ? 4 : 0));
                else
                    line[x / 8] |= static_cast<uint8_t>((v >> 7) << (7 - x % 8));
            }
            continue;
        }

        uint8_t* p = colourRow.data();
        for (int x = 0; x < width; ++x, p += pixelBytes) {
            const uint32_t ux = static_cast<uint32_t>(x);
            uint8_t r, g, b;
            if (!plan.colour) {
                r = g = b = samplers[0].At(rows[0], ux);
            } else if (plan.cmyk) {
                const int k = 255 - samplers[3].At(rows[3], ux);
                r = static_cast<uint8_t>((255 - samplers[0].At(rows[0], ux)) * k / 255);
                g = static_cast<uint8_t>((255 - samplers[1].At(rows[1], ux)) * k / 255);
                b = static_cast<uint8_t>((255 - samplers[2].At(rows[2], ux)) * k / 255);
            } else if (plan.ycc) {
                const double luma = samplers[0].At(rows[0], ux);
                const double cb = samplers[1].At(rows[1], ux) - 128.0;
                const double cr = samplers[2].At(rows[2], ux) - 128.0;
                r = ClampByte(luma + 1.402 * cr);
                g = ClampByte(luma - 0.344136 * cb - 0.714136 * cr);
                b = ClampByte(luma + 1.772 * cb);
            } else {
                r = samplers[0].At(rows[0], ux);
                g = samplers[1].At(rows[1], ux);
                b = samplers[2].At(rows[2], ux);
            }
            p[0] = b;
            p[1] = g;
            p[2] = r;
            if (pixelBytes == 4)
                p[3] = alphaSampler->At(alphaRow, ux);
        }
        if (icc.transform)
            cmsDoTransform(icc.transform, colourRow.data(), line, static_cast<cmsUInt32Number>(width));
        else
            memcpy(line, colourRow.data(), colourRow.size());
    }
}

// Reads the file through the stream into the picture; failures are thrown. verifyOnly: decode
// only the lower resolution levels (every byte of the code stream is still read). full: the
// picture's size at full resolution.
void Decode(Jp2FileStream& stream, NImageBuffer& out, bool verifyOnly, uint32_t& fullWidth, uint32_t& fullHeight)
{
    uint8_t head[8] = {};
    const size_t got = stream.ReadAt(0, head, sizeof(head));
    OPJ_CODEC_FORMAT format;
    if (got >= 4 && SignatureIs(head, "\xFF\x4F\xFF\x51"))
        format = OPJ_CODEC_J2K;
    else if (got >= 8 && SignatureIs(head, "\x00\x00\x00\x0C\x6A\x50\x20\x20"))
        format = OPJ_CODEC_JP2;
    else
        throw NR_DECODE_FAILED;

    if (!TilingIsAcceptable(stream, format))
        throw NR_DECODE_FAILED;

    Jp2Codec codec;
    codec.codec = opj_create_decompress(format);
    if (!codec.codec)
        throw NR_FORMAT_INIT_FAILED;
    Silence(codec.codec);
    opj_dparameters_t parameters;
    opj_set_default_decoder_parameters(&parameters);
    if (!opj_setup_decoder(codec.codec, &parameters))
        throw NR_FORMAT_INIT_FAILED;

    Jp2Image image;
    uint64_t samples = 0;
    if (!opj_read_header(stream.Stream(), codec.codec, &image.image))
        throw NR_DECODE_FAILED;
    if (!HeaderIsAcceptable(image.image, stream.FileSize(), &samples))
        throw NR_INVALID_DATA;
    // The decoder keeps every sample as a 32-bit number, and as much again in tile buffers.
    NDecodeLease decoderMemory;
    if (!decoderMemory.Take(samples * 8))
        throw NR_NOT_ENOUGH_MEMORY;
    fullWidth = image.image->x1 - image.image->x0;
    fullHeight = image.image->y1 - image.image->y0;
    if (verifyOnly) {
        // Halve the size while the picture keeps 8 pixels on its longer side, within the levels
        // every component has: the higher levels' code blocks are then read but not decoded.
        uint32_t levels = 33;
        if (opj_codestream_info_v2_t* info = opj_get_cstr_info(codec.codec)) {
            if (info->m_default_tile_info.tccp_info) {
                for (OPJ_UINT32 c = 0; c < info->nbcomps; ++c)
                    levels = std::min<uint32_t>(levels, info->m_default_tile_info.tccp_info[c].numresolutions);
            }
            opj_destroy_cstr_info(&info);
        }
        uint32_t reduce = 0;
        const uint32_t larger = std::max(fullWidth, fullHeight);
        while (levels <= 32 && reduce + 1 < levels && (larger >> (reduce + 1)) >= 8)
            ++reduce;
        if (reduce > 0 && !opj_set_decoded_resolution_factor(codec.codec, reduce))
            throw NR_DECODE_FAILED;
    }
    if (!opj_decode(codec.codec, stream.Stream(), image.image))
        throw NR_DECODE_FAILED;
    // Boxes after the code stream are not read: they are not part of the picture, and a carved
    // candidate goes on with whatever followed the file.
    ConvertImage(image.image, format == OPJ_CODEC_J2K, out);
}

// Writes the picture as a JP2 file through the stream; failures are thrown.
void Encode(const NImageBuffer& source, Jp2FileStream& stream, const ImageSaveOptions& options)
{
    const uint32_t width = static_cast<uint32_t>(source.width);
    const uint32_t height = static_cast<uint32_t>(source.height);

    // 24-bit rows, bottom-up.
    const uint8_t* rows = source.bits;
    size_t stride = static_cast<size_t>(source.stride);
    std::unique_ptr<uint8_t, decltype(&free)> converted(nullptr, &free);
    if (source.bpp != 24) {
        converted.reset(source.GetBitsAs(24));
        if (!converted)
            throw NR_ALLOCATION_FAILED;
        rows = converted.get();
        stride = static_cast<size_t>(NImageBuffer::StrideFor(source.width, 24));
    }

    opj_image_cmptparm_t parts[3];
    memset(parts, 0, sizeof(parts));
    for (opj_image_cmptparm_t& part : parts) {
        part.dx = 1;
        part.dy = 1;
        part.w = width;
        part.h = height;
        part.prec = 8;
        part.sgnd = 0;
    }
    Jp2Image image;
    image.image = opj_image_create(3, parts, OPJ_CLRSPC_SRGB);
    if (!image.image)
        throw NR_PICTURE_CREATE_FAILED;
    image.image->x0 = 0;
    image.image->y0 = 0;
    image.image->x1 = width;
    image.image->y1 = height;
    for (uint32_t y = 0; y < height; ++y) {
        const uint8_t* line = rows + static_cast<size_t>(height - 1 - y) * stride;
        const size_t base = static_cast<size_t>(y) * width;
        for (uint32_t x = 0; x < width; ++x) {
            image.image->comps[0].data[base + x] = line[x * 3 + 2];
            image.image->comps[1].data[base + x] = line[x * 3 + 1];
            image.image->comps[2].data[base + x] = line[x * 3];
        }
    }
    converted.reset();

    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.tcp_numlayers = 1;
    parameters.cp_disto_alloc = 1;
    parameters.tcp_mct = 1;
    const int32_t rate = options.jp2Rate;
    if (options.jp2Lossless || rate >= 1000 || rate <= 0) {
        parameters.irreversible = 0;
        parameters.tcp_rates[0] = 0;   // no size target
    } else {
        parameters.irreversible = 1;
        parameters.tcp_rates[0] = 1000.0f / static_cast<float>(rate);
    }
    // Each further resolution level halves the picture; the smallest must keep a pixel.
    const uint32_t smaller = std::min(width, height);
    while (parameters.numresolution > 1 && (uint32_t{1} << (parameters.numresolution - 1)) > smaller)
        --parameters.numresolution;

    Jp2Codec codec;
    codec.codec = opj_create_compress(OPJ_CODEC_JP2);
    if (!codec.codec)
        throw NR_ENCODE_FAILED;
    Silence(codec.codec);
    if (!opj_setup_encoder(codec.codec, &parameters, image.image) ||
        !opj_start_compress(codec.codec, image.image, stream.Stream()) ||
        !opj_encode(codec.codec, stream.Stream()) || !opj_end_compress(codec.codec, stream.Stream()))
        throw NR_ENCODE_FAILED;
}

}  // namespace

bool NImageFileJP2::IsFormat(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    if (!SignatureFits(bytes, offset, length, 8))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "\xFF\x4F\xFF\x51") || SignatureIs(p, "\x00\x00\x00\x0C\x6A\x50\x20\x20");
}

FileType NImageFileJP2::GetFormatId() const
{
    return FT_JP2;
}

NRESULT NImageFileJP2::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    SetFileName(path);
    NImageBuffer& out = target ? *target : picture;
    Jp2FileStream stream;
    NRESULT result = NR_OK;
    uint32_t width = 0;
    uint32_t height = 0;
    try {
        if (!stream.OpenRead(path))
            throw NR_FILE_OPEN_READ;
        Decode(stream, out, loadOptions.verifyOnly != 0, width, height);
    } catch (NRESULT failure) {
        result = failure;
    } catch (...) {
        result = static_cast<NRESULT>(1);
    }
    if (stream.IsOpen())
        consumedSize = stream.FurthestPosition();
    stream.Close();
    fullWidth = out.width;
    fullHeight = out.height;
    // A picture decoded small for a verification tells its whole size.
    if (result == NR_OK && loadOptions.verifyOnly && width <= INT32_MAX && height <= INT32_MAX) {
        verifiedSmaller = 1;
        fullWidth = static_cast<int32_t>(width);
        fullHeight = static_cast<int32_t>(height);
    }
    return result;
}

NRESULT NImageFileJP2::Save(const wchar_t* path, NImageBuffer* bitmap, ImageMetadata*)
{
    NImageBuffer& source = bitmap ? *bitmap : picture;
    if (!source.valid || !source.bits || source.width <= 0 || source.height <= 0)
        return NR_PICTURE_NOT_VALID;
    Jp2FileStream stream;
    NRESULT result = NR_OK;
    uint32_t width = 0;
    uint32_t height = 0;
    try {
        if (!stream.OpenWrite(path))
            throw NR_FILE_OPEN_WRITE;
        Encode(source, stream, saveOptions);
    } catch (NRESULT failure) {
        result = failure;
    } catch (...) {
        result = static_cast<NRESULT>(1);
    }
    if (stream.IsOpen()) {
        if (!stream.Close() && result == NR_OK)
            result = NR_ENCODE_FAILED;
        if (result != NR_OK)
            _wremove(path);
    }
    return result;
}

namespace {

// The code stream that starts (with its SOC marker) at `start`: just past its EOC marker, or 0
// when the data ends first or the markers go wrong.
uint64_t CodeStreamEnd(ByteSource& source, uint64_t start)
{
    uint16_t soc = 0;
    if (!source.ReadU16BE(start, soc) || soc != 0xFF4F)
        return 0;
    uint64_t position = start + 2;
    for (int markers = 0; markers < 1 << 20; ++markers) {
        uint16_t marker = 0;
        if (!source.ReadU16BE(position, marker) || (marker >> 8) != 0xFF)
            return 0;
        if (marker == 0xFFD9)
            return position + 2;
        if (marker >= 0xFF30 && marker <= 0xFF3F) {   // markers without a segment
            position += 2;
            continue;
        }
        uint16_t length = 0;
        if (!source.ReadU16BE(position + 2, length) || length < 2)
            return 0;
        if (marker == 0xFF90) {   // start of tile-part: Psot counts from the marker on
            uint32_t tilePart = 0;
            if (length != 10 || !source.ReadU32BE(position + 6, tilePart))
                return 0;
            if (tilePart == 0) {
                // The last tile-part runs to the end of the code stream.
                ByteSourceReader in(source, position + 12);
                while (in.SkipToByte(0xFF)) {
                    in.Next();
                    if (in.Peek() == 0xD9)
                        return in.Position() + 1;
                }
                return 0;
            }
            if (tilePart < 12)
                return 0;
            position += tilePart;
            continue;
        }
        position += 2 + uint64_t{length};
    }
    return 0;
}

}  // namespace

PictureExtent NImageFileJP2::FindExtent(ByteSource& source)
{
    uint8_t head[12];
    if (!source.ReadAt(0, head, 12))
        return PictureExtent::Unknown();
    if (!IsFormat(head, 0, 12))
        return PictureExtent::Broken();
    if (head[0] == 0xFF) {
        const uint64_t end = CodeStreamEnd(source, 0);
        return end ? PictureExtent::Complete(end) : PictureExtent::Unknown();
    }
    // A JP2 file: boxes up to the code stream box.
    uint64_t position = 0;
    for (int boxes = 0; boxes < 4096; ++boxes) {
        uint32_t length = 0;
        uint32_t type = 0;
        if (!source.ReadU32BE(position, length) || !source.ReadU32BE(position + 4, type))
            return PictureExtent::Unknown();
        uint64_t header = 8;
        uint64_t boxLength = length;
        if (length == 1) {
            if (!source.ReadU64BE(position + 8, boxLength))
                return PictureExtent::Unknown();
            header = 16;
        }
        if (type == 0x6A703263) {   // "jp2c"
            const uint64_t end = CodeStreamEnd(source, position + header);
            return end ? PictureExtent::Complete(end) : PictureExtent::Unknown();
        }
        if (length == 0 || boxLength < header || !source.Holds(position, boxLength))
            return PictureExtent::Unknown();
        position += boxLength;
    }
    return PictureExtent::Unknown();
}
