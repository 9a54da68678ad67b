// The JPEG 2000 format class: JP2 files and code streams of every kind the tools make (RGB,
// RGBA, grey and alpha, 16 bits, lossy, 4:2:0 YCbCr, grey of 1, 4, 5, 8 and 12 bits) with
// their pixels; an embedded ICC profile; the consumed size of carved candidates; truncated and foreign files
// answered without a crash, oversized ones refused before decoding; writing lossless and lossy
// JP2 files.
#include "imagefile/formats/NImageFileJP2.h"

#include "imagefile/ImageFactory.h"
#include "WebpJp2Support.h"

#include <gtest/gtest.h>
#include <lcms2.h>
#include <openjpeg.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

using webpjp2::Bytes;

namespace {

class Jp2Test : public ::testing::Test {
protected:
    std::wstring Write(const std::wstring& name, const Bytes& bytes)
    {
        const std::wstring path = dir.File(name);
        WriteWholeFile(path, bytes);
        return path;
    }
    static Bytes Fixture(const std::wstring& name) { return webpjp2::Fixture(L"jp2\\" + name); }

    TestDir dir;
};

struct ColourCase {
    const wchar_t* file;
    const wchar_t* reference;
    int channels;
    int bitsPerPixel;
};

const ColourCase kColourCases[] = {
    {L"rgb.jp2", L"rgb.rgb", 3, 24},
    {L"rgb.j2k", L"rgb.rgb", 3, 24},
    {L"rgba.jp2", L"rgba.rgba", 4, 32},
    {L"greya.jp2", L"greya.rgba", 4, 32},   // grey and alpha
    {L"rgb16.jp2", L"rgb.rgb", 3, 24},      // the high byte of each 16-bit sample
    {L"lossy.jp2", L"lossy.rgb", 3, 24},    // reference: opj_decompress of the same OpenJPEG
    {L"ycc420.j2k", L"ycc420.rgb", 3, 24},  // Y, Cb, Cr with half-size chroma
};

TEST_F(Jp2Test, ColourFilesLoadAsSrgb)
{
    for (const ColourCase& c : kColourCases) {
        SCOPED_TRACE(webpjp2::Narrow(c.file));
        const std::wstring path = TestDataPath(std::wstring(L"jp2\\") + c.file);
        NImageFileJP2 jp2;
        ASSERT_EQ(NR_OK, jp2.Load(path.c_str(), 0, 0, nullptr));
        EXPECT_EQ(24, jp2.picture.width);
        EXPECT_EQ(16, jp2.picture.height);
        EXPECT_EQ(c.bitsPerPixel, jp2.picture.bpp);
        EXPECT_LE(webpjp2::MaxDifference(jp2.picture, Fixture(c.reference), c.channels), 1);
        EXPECT_EQ(24, jp2.fullWidth);
        EXPECT_EQ(16, jp2.fullHeight);
        EXPECT_STREQ(path.c_str(), jp2.GetFileName());
        EXPECT_EQ(FT_JP2, jp2.GetFormatId());
    }
}

struct GreyCase {
    const wchar_t* file;
    int precision;
    int bitsPerPixel;
};

const GreyCase kGreyCases[] = {
    {L"grey1.j2k", 1, 1},
    {L"grey4.j2k", 4, 4},
    {L"grey5.j2k", 5, 8},
    {L"grey8.j2k", 8, 8},
    {L"grey12.j2k", 12, 8},
};

TEST_F(Jp2Test, GreyFilesKeepOneTwoAndFourBitsAndScaleTheRestToEight)
{
    for (const GreyCase& c : kGreyCases) {
        SCOPED_TRACE(webpjp2::Narrow(c.file));
        NImageFileJP2 jp2;
        ASSERT_EQ(NR_OK, jp2.Load(TestDataPath(std::wstring(L"jp2\\") + c.file).c_str(), 0, 0, nullptr));
        ASSERT_EQ(c.bitsPerPixel, jp2.picture.bpp);
        ASSERT_EQ(24, jp2.picture.width);

        // The palette is a ramp from black to white.
        const int entries = 1 << c.bitsPerPixel;
        for (int i = 0; i < entries; ++i)
            ASSERT_EQ(i * 255 / (entries - 1), jp2.picture.palette[i][1]) << i;

        // The samples, as stored (the reference holds 1 byte a sample, 2 above 8 bits).
        std::wstring name(c.file);
        const Bytes samples = Fixture(name.substr(0, name.size() - 4) + L".gray");
        const int top = (1 << c.precision) - 1;
        for (int y = 0; y < 16; ++y) {
            for (int x = 0; x < 24; ++x) {
                const size_t at = static_cast<size_t>(y) * 24 + x;
                const int v = c.precision > 8 ? (samples[at * 2] << 8 | samples[at * 2 + 1]) : samples[at];
                int want;
                if (c.bitsPerPixel < 8)
                    want = v;                                   // the index itself
                else if (c.precision > 8)
                    want = v >> (c.precision - 8);
                else
                    want = (v * 255 + top / 2) / top;
                ASSERT_EQ(want, pngtest::IndexAt(jp2.picture, x, y)) << x << "," << y;
            }
        }
    }
}

// A JP2 file of 2 x 1 pixels written by OpenJPEG, with an RGB ICC profile of linear light (sRGB
// primaries, gamma 1.0) put into its colour box (OpenJPEG's writer leaves the profile out).
Bytes JP2WithLinearProfile(uint8_t grey)
{
    cmsCIExyY white;
    cmsWhitePointFromTemp(&white, 6504);
    const cmsCIExyYTRIPLE primaries = {{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(linear);
    cmsUInt32Number profileSize = 0;
    cmsSaveProfileToMem(profile, nullptr, &profileSize);
    std::vector<uint8_t> profileBytes(profileSize);
    cmsSaveProfileToMem(profile, profileBytes.data(), &profileSize);
    cmsCloseProfile(profile);

    opj_image_cmptparm_t parts[3];
    memset(parts, 0, sizeof(parts));
    for (auto& p : parts) {
        p.dx = p.dy = 1;
        p.w = 2;
        p.h = 1;
        p.prec = 8;
    }
    opj_image_t* image = opj_image_create(3, parts, OPJ_CLRSPC_SRGB);
    image->x1 = 2;
    image->y1 = 1;
    for (int c = 0; c < 3; ++c) {
        image->comps[c].data[0] = grey;
        image->comps[c].data[1] = 255;
    }
    opj_cparameters_t parameters;
    opj_set_default_encoder_parameters(&parameters);
    parameters.numresolution = 1;
    parameters.tcp_numlayers = 1;
    parameters.tcp_rates[0] = 0;
    parameters.cp_disto_alloc = 1;

    struct Sink {
        Bytes bytes;
        size_t position = 0;
    } sink;
    opj_stream_t* stream = opj_stream_create(4096, OPJ_FALSE);
    opj_stream_set_user_data(stream, &sink, nullptr);
    opj_stream_set_write_function(stream, [](void* buffer, OPJ_SIZE_T count, void* user) -> OPJ_SIZE_T {
        auto* s = static_cast<Sink*>(user);
        if (s->bytes.size() < s->position + count)
            s->bytes.resize(s->position + count);
        memcpy(&s->bytes[s->position], buffer, count);
        s->position += count;
        return count;
    });
    opj_stream_set_skip_function(stream, [](OPJ_OFF_T count, void* user) -> OPJ_OFF_T {
        static_cast<Sink*>(user)->position += static_cast<size_t>(count);
        return count;
    });
    opj_stream_set_seek_function(stream, [](OPJ_OFF_T position, void* user) -> OPJ_BOOL {
        static_cast<Sink*>(user)->position = static_cast<size_t>(position);
        return OPJ_TRUE;
    });
    opj_codec_t* codec = opj_create_compress(OPJ_CODEC_JP2);
    const bool ok = opj_setup_encoder(codec, &parameters, image) && opj_start_compress(codec, image, stream) &&
                    opj_encode(codec, stream) && opj_end_compress(codec, stream);
    opj_stream_destroy(stream);
    opj_destroy_codec(codec);
    opj_image_destroy(image);
    if (!ok)
        return Bytes();

    // The colour box (method 1, enumerated sRGB: 15 bytes) becomes method 2 with the profile,
    // and the header box that holds it grows by as much.
    Bytes& file = sink.bytes;
    auto find = [&](const char* type) {
        for (size_t i = 4; i + 4 <= file.size(); ++i)
            if (memcmp(&file[i], type, 4) == 0)
                return i - 4;
        return size_t{0};
    };
    auto length = [&](size_t at) { return uint32_t{file[at]} << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3]; };
    auto setLength = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            file[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    const size_t header = find("jp2h");
    const size_t colour = find("colr");
    if (!header || !colour || length(colour) != 15)
        return Bytes();
    const uint32_t grown = static_cast<uint32_t>(profileBytes.size()) - 4;
    setLength(header, length(header) + grown);
    setLength(colour, 11 + static_cast<uint32_t>(profileBytes.size()));
    file[colour + 8] = 2;
    file.erase(file.begin() + colour + 11, file.begin() + colour + 15);
    file.insert(file.begin() + colour + 11, profileBytes.begin(), profileBytes.end());
    return file;
}

TEST_F(Jp2Test, EmbeddedRgbProfileIsConvertedToSrgb)
{
    const Bytes file = JP2WithLinearProfile(128);
    ASSERT_FALSE(file.empty());
    NImageFileJP2 jp2;
    ASSERT_EQ(NR_OK, jp2.Load(Write(L"icc.jp2", file).c_str(), 0, 0, nullptr));
    ASSERT_EQ(24, jp2.picture.bpp);
    uint8_t mid[4], white[4];
    pngtest::PixelRgba(jp2.picture, 0, 0, mid);
    pngtest::PixelRgba(jp2.picture, 1, 0, white);
    // Half of linear light is about 188 in sRGB; white stays white.
    for (int c = 0; c < 3; ++c) {
        EXPECT_NEAR(188, mid[c], 3) << c;
        EXPECT_NEAR(255, white[c], 1) << c;
    }
}

const wchar_t* const kAllFiles[] = {L"rgb.jp2",   L"rgb.j2k",   L"rgba.jp2",  L"greya.jp2", L"rgb16.jp2",  L"lossy.jp2",
                                    L"ycc420.j2k", L"grey1.j2k", L"grey4.j2k", L"grey5.j2k", L"grey8.j2k", L"grey12.j2k"};

TEST_F(Jp2Test, ConsumedSizeEndsWithTheCodeStream)
{
    for (const wchar_t* name : kAllFiles) {
        SCOPED_TRACE(webpjp2::Narrow(name));
        const Bytes whole = Fixture(name);
        NImageFileJP2 alone;
        ASSERT_EQ(NR_OK, alone.Load(TestDataPath(std::wstring(L"jp2\\") + name).c_str(), 0, 0, nullptr));
        EXPECT_EQ(whole.size(), alone.GetConsumedSize());

        // A carved candidate, through the factory as the scan loads it.
        const std::wstring path = Write(L"VSTScan0001.j2k", webpjp2::Joined(whole, webpjp2::Garbage(6000)));
        NImageFile* object = nullptr;
        ASSERT_EQ(NR_OK, LoadImageFile(&object, path.c_str(), 0, 1, nullptr, 0));
        std::unique_ptr<NImageFile> owner(object);
        EXPECT_EQ(FT_JP2, object->GetFormatId());
        EXPECT_EQ(whole.size(), object->GetConsumedSize());
    }
}

TEST_F(Jp2Test, TruncatedFilesGiveAnErrorOrTheDecodablePart)
{
    for (const wchar_t* name : kAllFiles) {
        const Bytes whole = Fixture(name);
        for (size_t cut : {size_t{4}, size_t{8}, size_t{40}, size_t{90}, whole.size() / 2, whole.size() - 2,
                           whole.size() - 1}) {
            SCOPED_TRACE(webpjp2::Narrow(name) + " cut at " + std::to_string(cut));
            const std::wstring path = Write(L"cut.jp2", Bytes(whole.begin(), whole.begin() + cut));
            NImageFileJP2 jp2;
            const NRESULT result = jp2.Load(path.c_str(), 0, 0, nullptr);
            EXPECT_TRUE(result == NR_OK || result == NR_DECODE_FAILED) << result;
            if (result == NR_OK) {
                EXPECT_EQ(24, jp2.picture.width);
                EXPECT_EQ(16, jp2.picture.height);
            }
            EXPECT_LE(jp2.GetConsumedSize(), cut);
        }
    }
}

TEST_F(Jp2Test, ForeignAndOversizedFilesAreRefused)
{
    NImageFileJP2 jp2;
    EXPECT_EQ(NR_FILE_OPEN_READ, jp2.Load(dir.File(L"missing.jp2").c_str(), 0, 0, nullptr));
    EXPECT_EQ(0u, jp2.GetConsumedSize());
    // Not JPEG 2000: 404, not 200, so the factory does not go on.
    EXPECT_EQ(NR_DECODE_FAILED, jp2.Load(Write(L"empty.jp2", {}).c_str(), 0, 0, nullptr));
    EXPECT_EQ(NR_DECODE_FAILED, jp2.Load(Write(L"png.jp2", pngtest::ReadFixture(L"png\\rgb.png")).c_str(), 0, 0, nullptr));

    // A code stream whose size field claims 60000 x 60000 pixels in one tile: refused from the
    // header as invalid data, before the decoder reserves memory for it.
    Bytes huge = Fixture(L"rgb.j2k");
    ASSERT_EQ(0xFF, huge[2]);
    ASSERT_EQ(0x51, huge[3]);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            huge[at + i] = static_cast<uint8_t>(v >> (24 - 8 * i));
    };
    put32(8, 60000);    // Xsiz
    put32(12, 60000);   // Ysiz
    put32(24, 60000);   // XTsiz
    put32(28, 60000);   // YTsiz
    NImageFileJP2 oversized;
    EXPECT_EQ(NR_INVALID_DATA, oversized.Load(Write(L"huge.j2k", huge).c_str(), 0, 0, nullptr));
    EXPECT_FALSE(oversized.picture.valid);

    // 65535 one-pixel tiles of 16384 components: refused before the decoder prepares every
    // tile's parameters for every component (which takes a minute and most of a gigabyte).
    const Bytes grey = Fixture(L"grey8.j2k");
    const size_t sizLength = grey[4] << 8 | grey[5];
    Bytes tiles = {0xFF, 0x4F, 0xFF, 0x51};
    const uint32_t components = 16384;
    const uint32_t length = 38 + 3 * components;
    tiles.push_back(static_cast<uint8_t>(length >> 8));
    tiles.push_back(static_cast<uint8_t>(length));
    const uint32_t fields[] = {65535, 1, 0, 0, 1, 1, 0, 0};   // Xsiz .. YTOsiz
    tiles.push_back(0);
    tiles.push_back(0);
    for (uint32_t v : fields)
        for (int i = 0; i < 4; ++i)
            tiles.push_back(static_cast<uint8_t>(v >> (24 - 8 * i)));
    tiles.push_back(static_cast<uint8_t>(components >> 8));
    tiles.push_back(static_cast<uint8_t>(components));
    for (uint32_t c = 0; c < components; ++c)
        tiles.insert(tiles.end(), {7, 1, 1});
    tiles.insert(tiles.end(), grey.begin() + 4 + sizLength, grey.end());
    NImageFileJP2 manyTiles;
    EXPECT_EQ(NR_DECODE_FAILED, manyTiles.Load(Write(L"tiles.j2k", tiles).c_str(), 0, 0, nullptr));
    EXPECT_EQ(0u, manyTiles.GetConsumedSize());   // the decoder read nothing
}

TEST_F(Jp2Test, DefaultSaveIsLosslessJp2)
{
    NImageFileJP2 reader;
    ASSERT_EQ(NR_OK, reader.Load(TestDataPath(L"jp2\\rgb.jp2").c_str(), 0, 0, nullptr));
    const NImageBuffer& source = reader.picture;
    const Bytes before(source.bits, source.bits + static_cast<size_t>(source.stride) * source.height);

    NImageFileJP2 writer;
    const std::wstring path = dir.File(L"saved.jp2");
    ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &reader.picture, nullptr));
    EXPECT_TRUE(Bytes(source.bits, source.bits + before.size()) == before);
    Bytes written;
    ASSERT_TRUE(ReadWholeFile(path, written));
    EXPECT_TRUE(NImageFileJP2::IsFormat(written.data(), 0, written.size()));
    EXPECT_EQ(0, memcmp(&written[4], "jP  ", 4));

    NImageFileJP2 again;
    ASSERT_EQ(NR_OK, again.Load(path.c_str(), 0, 0, nullptr));
    EXPECT_EQ(0, webpjp2::MaxDifference(again.picture, Fixture(L"rgb.rgb"), 3));
    EXPECT_EQ(written.size(), again.GetConsumedSize());
}

TEST_F(Jp2Test, SmallAndOddPicturesRoundTrip)
{
    // Sizes below the codec's usual number of resolution levels, and a palette picture.
    const uint8_t palette[256 * 3] = {10, 20, 30, 200, 100, 50};
    for (const auto& size : {std::pair{1, 1}, std::pair{1, 40}, std::pair{3, 2}, std::pair{33, 5}}) {
        for (int depth : {24, 8}) {
            SCOPED_TRACE(std::to_string(size.first) + "x" + std::to_string(size.second) + " at " + std::to_string(depth));
            NImageBuffer source;
            ASSERT_TRUE(source.Create(size.first, size.second, depth, 0, depth == 8 ? palette : nullptr));
            Bytes reference;
            for (int y = 0; y < size.second; ++y) {
                for (int x = 0; x < size.first; ++x) {
                    uint8_t* line = source.bits + static_cast<size_t>(size.second - 1 - y) * source.stride;
                    if (depth == 8) {
                        line[x] = static_cast<uint8_t>((x + y) % 2);
                        reference.insert(reference.end(), &palette[line[x] * 3], &palette[line[x] * 3] + 3);
                    } else {
                        const uint8_t rgb[3] = {static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 5), 99};
                        line[x * 3] = rgb[2];
                        line[x * 3 + 1] = rgb[1];
                        line[x * 3 + 2] = rgb[0];
                        reference.insert(reference.end(), rgb, rgb + 3);
                    }
                }
            }
            NImageFileJP2 writer;
            const std::wstring path = dir.File(L"small.jp2");
            ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &source, nullptr));
            NImageFileJP2 reader;
            ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
            EXPECT_EQ(24, reader.picture.bpp);
            EXPECT_EQ(0, webpjp2::MaxDifference(reader.picture, reference, 3));
        }
    }
}

TEST_F(Jp2Test, LossySaveUsesTheRate)
{
    // A 96 x 64 picture of gradients with noise, so that neither rate holds it whole.
    NImageBuffer source;
    ASSERT_TRUE(source.Create(96, 64, 24, 0));
    for (int line = 0; line < 64; ++line)
        for (int x = 0; x < 96; ++x) {
            uint8_t* p = source.bits + static_cast<size_t>(line) * source.stride + x * 3;
            p[0] = static_cast<uint8_t>(x * 2);
            p[1] = static_cast<uint8_t>(line * 3);
            p[2] = static_cast<uint8_t>(128 + 60 * std::sin(x / 9.0) + ((x * 131 + line * 71) * 2654435761u >> 27));
        }
    std::vector<size_t> sizes;
    for (int rate : {50, 200}) {
        NImageFileJP2 writer;
        writer.saveOptions.jp2Lossless = 0;
        writer.saveOptions.jp2Rate = rate;
        const std::wstring path = dir.File(L"rate" + std::to_wstring(rate) + L".jp2");
        ASSERT_EQ(NR_OK, writer.Save(path.c_str(), &source, nullptr));
        Bytes written;
        ASSERT_TRUE(ReadWholeFile(path, written));
        sizes.push_back(written.size());
        // At most about rate / 1000 of the raw size, plus the JP2 boxes.
        EXPECT_LE(written.size(), 96u * 64 * 3 * rate / 1000 + 200);
        NImageFileJP2 reader;
        ASSERT_EQ(NR_OK, reader.Load(path.c_str(), 0, 0, nullptr));
        double squares = 0;
        for (int line = 0; line < 64; ++line)
            for (int i = 0; i < 96 * 3; ++i) {
                const double d = source.bits[line * source.stride + i] - reader.picture.bits[line * reader.picture.stride + i];
                squares += d * d;
            }
        const double psnr = 10 * std::log10(255.0 * 255.0 / (squares / (96 * 64 * 3) + 1e-9));
        EXPECT_GT(psnr, rate == 50 ? 24.0 : 30.0);
    }
    EXPECT_LT(sizes[0], sizes[1]);
}

TEST_F(Jp2Test, SaveFailuresLeaveNoFile)
{
    NImageFileJP2 writer;
    NImageBuffer empty;
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.Save(dir.File(L"none.jp2").c_str(), &empty, nullptr));
    EXPECT_EQ(NR_PICTURE_NOT_VALID, writer.Save(dir.File(L"none.jp2").c_str(), nullptr, nullptr));
    EXPECT_FALSE(FileExists(dir.File(L"none.jp2")));
    NImageBuffer source;
    ASSERT_TRUE(source.Create(4, 4, 32, 0x00336699));
    EXPECT_EQ(NR_FILE_OPEN_WRITE, writer.Save(dir.File(L"no\\such\\folder.jp2").c_str(), &source, nullptr));
}

}  // namespace
