// Fuzz driver for the TIFF and PDF readers.
//
//   fuzz_tiff_pdf [iterations [seed]]
//
// The seeds are made at start by the classes' own writers (TIFF pages of every depth and
// compression, a multi-page TIFF, PDF files with JPEG and Flate pages) and by libtiff and zlib
// directly (a tiled TIFF, 16-bit grey, a PNG-predicted Flate PDF with an incremental update).
// Each iteration mutates one seed (flipped and overwritten bytes, cut ends, repeated or removed
// runs, inserted PDF words) and
//   - TIFF: decodes up to four pages through ReadTiffPage over an in-memory libtiff client;
//   - PDF: walks the bytes with ScanPdfLayout, placed so that they end right at a no-access
//     page; the document's end and every image must lie inside the data.
// Two iterations in 500 also write the mutated file and load it through NImageFileTIF::Load or
// NImageFilePDF::Load (full and quick): the answer must be one of the documented codes and the
// consumed size must not exceed the file. Any read outside the data faults; the unhandled-
// exception filter then ends the program with exit code 70.
#include <windows.h>

#include <tiffio.h>
#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "../imagefile/GuardedBuffer.h"
#include "imagefile/formats/NImageFilePDF.h"
#include "imagefile/formats/NImageFileTIF.h"
#include "imagefile/formats/PdfLayout.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxInput = 64 * 1024;
constexpr uint64_t kMaxFuzzPixels = 1u << 22;   // larger pages are skipped: speed, not safety

volatile uint64_t currentIteration = 0;

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info ? info->ExceptionRecord : nullptr;
    fprintf(stderr, "CRASH: exception 0x%08lX at iteration %llu\n", record ? record->ExceptionCode : 0ul,
            static_cast<unsigned long long>(currentIteration));
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 70);
    return EXCEPTION_EXECUTE_HANDLER;
}

class Random {
public:
    explicit Random(uint64_t seed) : state_(seed ? seed : 0x9E3779B97F4A7C15ull) {}
    uint64_t Next()
    {
        state_ ^= state_ >> 12;
        state_ ^= state_ << 25;
        state_ ^= state_ >> 27;
        return state_ * 0x2545F4914F6CDD1Dull;
    }
    size_t Below(size_t bound) { return bound ? static_cast<size_t>(Next() % bound) : 0; }
    uint8_t Byte() { return static_cast<uint8_t>(Next() >> 56); }

private:
    uint64_t state_;
};

std::wstring TempFolder()
{
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    std::wstring path = length && length <= MAX_PATH ? folder : L".\\";
    path += L"fuzz_tiff_pdf_" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(path.c_str(), nullptr);
    return path;
}

bool ReadFile(const std::wstring& path, Bytes& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"rb");
    if (!file)
        return false;
    bytes.clear();
    uint8_t chunk[4096];
    size_t got;
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0)
        bytes.insert(bytes.end(), chunk, chunk + got);
    fclose(file);
    return true;
}

bool WriteFile(const std::wstring& path, const Bytes& bytes)
{
    FILE* file = _wfopen(path.c_str(), L"wb");
    if (!file)
        return false;
    const bool ok = bytes.empty() || fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return fclose(file) == 0 && ok;
}

// ---- In-memory libtiff client -------------------------------------------------------------

struct MemoryFile {
    const uint8_t* data;
    uint64_t size;
    uint64_t position;
};

tmsize_t MemoryRead(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    if (size <= 0 || file->position >= file->size)
        return 0;
    const uint64_t count = std::min<uint64_t>(static_cast<uint64_t>(size), file->size - file->position);
    memcpy(buffer, file->data + file->position, static_cast<size_t>(count));
    file->position += count;
    return static_cast<tmsize_t>(count);
}

tmsize_t MemoryWrite(thandle_t, void*, tmsize_t)
{
    return -1;
}

toff_t MemorySeek(thandle_t handle, toff_t offset, int whence)
{
    auto* file = reinterpret_cast<MemoryFile*>(handle);
    uint64_t base = whence == SEEK_CUR ? file->position : whence == SEEK_END ? file->size : 0;
    if (offset > UINT64_MAX - base)
        return static_cast<toff_t>(-1);
    file->position = base + offset;
    return file->position;
}

int MemoryClose(thandle_t)
{
    return 0;
}

toff_t MemorySize(thandle_t handle)
{
    return reinterpret_cast<MemoryFile*>(handle)->size;
}

int NoMap(thandle_t, void**, toff_t*)
{
    return 0;
}

void NoUnmap(thandle_t, void*, toff_t)
{
}

int Quiet(TIFF*, void*, const char*, const char*, va_list)
{
    return 1;
}

bool IsReadResult(NRESULT r)
{
    switch (r) {
    case NR_OK:
    case NR_FILE_OPEN_READ:
    case NR_NOT_THIS_FORMAT:
    case NR_COMPRESSION_NOT_SUPPORTED:
    case NR_INVALID_DATA:
    case NR_FORMAT_INIT_FAILED:
    case NR_ALLOCATION_FAILED:
    case NR_DECOMPRESSION_FAILED:
    case NR_PICTURE_CREATE_FAILED:
    case NR_DECODE_FAILED:
        return true;
    default:
        return false;
    }
}

bool FuzzTiffInMemory(const Bytes& input)
{
    MemoryFile memory = {input.data(), input.size(), 0};
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
    TIFF* tiff = TIFFClientOpenExt("fuzz", "rm", reinterpret_cast<thandle_t>(&memory), MemoryRead, MemoryWrite,
                                   MemorySeek, MemoryClose, MemorySize, NoMap, NoUnmap, options);
    TIFFOpenOptionsFree(options);
    if (!tiff)
        return true;
    bool ok = true;
    for (uint32_t page = 0; page < 4; ++page) {
        if (!TIFFSetDirectory(tiff, static_cast<tdir_t>(page)))
            break;
        uint32_t width = 0;
        uint32_t height = 0;
        TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
        if (static_cast<uint64_t>(width) * height > kMaxFuzzPixels)
            continue;
        NImageFileTIF object;
        NImageBuffer picture;
        const NRESULT r = ReadTiffPage(object, tiff, picture, page);
        if (!IsReadResult(r) || (r == NR_OK && !picture.valid)) {
            printf("FAIL TIFF page %u: result %d\n", page, static_cast<int>(r));
            ok = false;
        }
    }
    TIFFClose(tiff);
    return ok;
}

// ---- PDF walk in guarded memory -----------------------------------------------------------

bool FuzzPdfWalk(GuardedBuffer& guard, const Bytes& input)
{
    const uint8_t* data = guard.AtEnd(input.data(), input.size());
    const PdfLayout layout = ScanPdfLayout(data, input.size());
    bool ok = layout.end <= input.size();
    for (const PdfImage& image : layout.images)
        ok = ok && image.dataOffset <= input.size() && image.dataLength <= input.size() - image.dataOffset;
    if (!ok)
        printf("FAIL PDF walk: end %llu of %zu bytes\n", static_cast<unsigned long long>(layout.end), input.size());
    return ok;
}

// ---- Whole loads through files -------------------------------------------------------------

bool FuzzFileLoad(const std::wstring& path, const Bytes& input, bool pdf)
{
    if (!WriteFile(path, input))
        return true;
    bool ok = true;
    for (uint8_t quick = 0; quick < 2; ++quick) {
        NRESULT r;
        uint64_t consumed;
        if (pdf) {
            NImageFilePDF file;
            r = file.Load(path.c_str(), 0, quick, nullptr);
            consumed = file.GetConsumedSize();
        } else {
            if (input.size() >= 8) {
                // Skip pictures the fuzz run has no time for.
                MemoryFile memory = {input.data(), input.size(), 0};
                TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
                TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
                TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
                TIFF* tiff = TIFFClientOpenExt("fuzz", "rm", reinterpret_cast<thandle_t>(&memory), MemoryRead,
                                               MemoryWrite, MemorySeek, MemoryClose, MemorySize, NoMap, NoUnmap,
                                               options);
                TIFFOpenOptionsFree(options);
                uint32_t width = 0;
                uint32_t height = 0;
                if (tiff) {
                    TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
                    TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
                    TIFFClose(tiff);
                }
                if (static_cast<uint64_t>(width) * height > kMaxFuzzPixels)
                    return true;
            }
            NImageFileTIF file;
            r = file.Load(path.c_str(), 0, quick, nullptr);
            consumed = file.GetConsumedSize();
        }
        if (!IsReadResult(r) || consumed > input.size()) {
            printf("FAIL %s load: result %d, consumed %llu of %zu\n", pdf ? "PDF" : "TIFF", static_cast<int>(r),
                   static_cast<unsigned long long>(consumed), input.size());
            ok = false;
        }
    }
    return ok;
}

// ---- Seeds ---------------------------------------------------------------------------------

void Ramp(NImageBuffer& picture, int bpp)
{
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i);
        palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        palette[i * 3 + 2] = static_cast<uint8_t>(i * 7);
    }
    picture.Create(37, 23, bpp, 0, palette);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.stride; ++x)
            picture.bits[static_cast<size_t>(y) * picture.stride + x] = static_cast<uint8_t>(x * 13 + y * 7);
}

void AddTiffSeeds(const std::wstring& folder, std::vector<Bytes>& seeds)
{
    const std::wstring path = folder + L"\\seed.tif";
    Bytes bytes;
    for (int bpp : {1, 4, 8, 24, 32}) {
        for (int option : {0, 1, 2, 3, 4}) {
            NImageBuffer picture;
            Ramp(picture, bpp);
            NImageFileTIF writer;
            writer.saveOptions.tiffCompression = option;
            if (writer.Save(path.c_str(), &picture, nullptr) == NR_OK && ReadFile(path, bytes))
                seeds.push_back(bytes);
        }
    }
    NImageFileTIF pages;
    if (pages.BeginPages(path.c_str(), nullptr) == NR_OK) {
        for (int bpp : {8, 24, 1}) {
            NImageBuffer picture;
            Ramp(picture, bpp);
            pages.AddPage(&picture);
        }
        pages.EndPages();
        if (ReadFile(path, bytes))
            seeds.push_back(bytes);
    }
    // Tiled bilevel, 16-bit grey in strips, and LZW RGB with a predictor, written by libtiff.
    struct Layout {
        uint16_t bits, samples, photometric, compression;
        bool tiled;
    } layouts[] = {{1, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_NONE, true},
                   {16, 1, PHOTOMETRIC_MINISBLACK, COMPRESSION_ADOBE_DEFLATE, false},
                   {8, 3, PHOTOMETRIC_RGB, COMPRESSION_LZW, false},
                   {8, 3, PHOTOMETRIC_CIELAB, COMPRESSION_NONE, false},
                   {32, 3, PHOTOMETRIC_RGB, COMPRESSION_NONE, false}};
    for (const Layout& l : layouts) {
        TIFF* tiff = TIFFOpenW(path.c_str(), "w");
        if (!tiff)
            continue;
        const uint32_t width = 40;
        const uint32_t height = 20;
        TIFFSetField(tiff, TIFFTAG_IMAGEWIDTH, width);
        TIFFSetField(tiff, TIFFTAG_IMAGELENGTH, height);
        TIFFSetField(tiff, TIFFTAG_BITSPERSAMPLE, l.bits);
        TIFFSetField(tiff, TIFFTAG_SAMPLESPERPIXEL, l.samples);
        TIFFSetField(tiff, TIFFTAG_PHOTOMETRIC, l.photometric);
        TIFFSetField(tiff, TIFFTAG_COMPRESSION, l.compression);
        TIFFSetField(tiff, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
        if (l.compression == COMPRESSION_LZW)
            TIFFSetField(tiff, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        const size_t rowBytes = (static_cast<size_t>(width) * l.bits * l.samples + 7) / 8;
        Bytes row(rowBytes);
        if (l.tiled) {
            TIFFSetField(tiff, TIFFTAG_TILEWIDTH, 16);
            TIFFSetField(tiff, TIFFTAG_TILELENGTH, 16);
            Bytes tile(static_cast<size_t>(TIFFTileSize(tiff)), 0x5A);
            for (uint32_t y = 0; y < height; y += 16)
                for (uint32_t x = 0; x < width; x += 16)
                    TIFFWriteTile(tiff, tile.data(), x, y, 0, 0);
        } else {
            TIFFSetField(tiff, TIFFTAG_ROWSPERSTRIP, 8);
            for (uint32_t y = 0; y < height; ++y) {
                for (size_t i = 0; i < rowBytes; ++i)
                    row[i] = static_cast<uint8_t>(i * 3 + y * 11);
                TIFFWriteScanline(tiff, row.data(), y, 0);
            }
        }
        TIFFClose(tiff);
        if (ReadFile(path, bytes))
            seeds.push_back(bytes);
    }
}

void AddPdfSeeds(const std::wstring& folder, std::vector<Bytes>& seeds)
{
    const std::wstring path = folder + L"\\seed.pdf";
    Bytes bytes;
    NImageBuffer picture;
    Ramp(picture, 24);
    NImageFilePDF writer;
    if (writer.Save(path.c_str(), &picture, nullptr) == NR_OK && ReadFile(path, bytes))
        seeds.push_back(bytes);

    std::unique_ptr<PdfDocument> document = PdfCreateDocument(8.27, 11.69, 0);
    if (document && NImageFilePDF::AddFlatePage(*document, picture) == NR_OK &&
        NImageFilePDF::AddJpegPage(*document, picture) == NR_OK) {
        const uint64_t total = PdfFinishDocument(*document, "20240101000000", "t", "a", "k", "s", "c");
        Bytes out(static_cast<size_t>(total));
        uint64_t length = total;
        if (total && PdfSerialize(std::move(document), out.data(), length))
            seeds.push_back(out);
    }

    // A grey picture with the PNG predictor (every filter type), then an incremental update.
    std::string raw;
    for (int y = 0; y < 6; ++y) {
        raw += static_cast<char>(y % 5);
        for (int x = 0; x < 8; ++x)
            raw += static_cast<char>(x * 30 + y);
    }
    uLongf packedLength = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(packedLength, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &packedLength, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 6);
    packed.resize(packedLength);
    std::string text = "%PDF-1.5\n%\xE2\xE3\xCF\xD3\n1 0 obj\n<< /Type /Catalog /Pages 2 0 R >>\nendobj\n"
                       "2 0 obj\n<< /Type /Pages /Kids [3 0 R] /Count 1 >>\nendobj\n"
                       "3 0 obj\n<< /Type /Page /Parent 2 0 R /Resources << /XObject << /I 4 0 R >> >> >>\nendobj\n"
                       "4 0 obj\n<< /Type /XObject /Subtype /Image /Width 8 /Height 6 /ColorSpace /DeviceGray "
                       "/BitsPerComponent 8 /Filter [/FlateDecode] /DecodeParms [<< /Predictor 15 /Colors 1 "
                       "/Columns 8 >>] /Length 5 0 R /SMask 6 0 R >>\nstream\r\n" +
                       packed + "\r\nendstream\nendobj\n5 0 obj\n" + std::to_string(packed.size()) +
                       "\nendobj\n6 0 obj\n<< /Subtype /Image /Width 8 /Height 6 /ColorSpace /DeviceGray "
                       "/BitsPerComponent 8 /Length 48 >>\nstream\n" +
                       std::string(48, '\x7F') +
                       "\nendstream\nendobj\nxref\n0 1\n0000000000 65535 f \ntrailer\n<< /Size 7 /Root 1 0 R >>\n"
                       "startxref\n0\n%%EOF\n7 0 obj\n<< /Producer (x) (y) [1 2 3] >>\nendobj\n"
                       "trailer\n<< /Size 8 /Root 1 0 R /Prev 0 >>\nstartxref\n0\n%%EOF\n";
    seeds.push_back(Bytes(text.begin(), text.end()));
}

// ---- Mutations -----------------------------------------------------------------------------

void Mutate(Random& random, Bytes& data, bool pdf)
{
    static const char* words[] = {"endstream", "stream\n", "%%EOF\n", "obj", "endobj", "<<", ">>", "(", ")", "[",
                                  "]", " 0 R", "/Length 99999999999", "/Width 0", "%PDF-1.4\n", "\n9 0 obj\n"};
    const size_t rounds = 1 + random.Below(6);
    for (size_t round = 0; round < rounds && !data.empty(); ++round) {
        const size_t at = random.Below(data.size());
        switch (random.Below(pdf ? 7 : 6)) {
        case 0:
            data[at] ^= static_cast<uint8_t>(1u << random.Below(8));
            break;
        case 1: {
            static const uint8_t values[] = {0, 1, 0x7F, 0x80, 0xFF, 0xFE, 2, 16, 0x20, '0', '9'};
            data[at] = values[random.Below(sizeof(values))];
            break;
        }
        case 2:
            data[at] = random.Byte();
            break;
        case 3:
            data.resize(at + 1);
            break;
        case 4: {
            const size_t length = std::min(data.size() - at, 1 + random.Below(64));
            const Bytes run(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
            data.insert(data.begin() + static_cast<long>(random.Below(data.size())), run.begin(), run.end());
            break;
        }
        case 5: {
            const size_t length = std::min(data.size() - at, 1 + random.Below(64));
            data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
            break;
        }
        default: {
            const char* word = words[random.Below(sizeof(words) / sizeof(words[0]))];
            data.insert(data.begin() + static_cast<long>(at), word, word + strlen(word));
            break;
        }
        }
    }
    if (data.size() > kMaxInput)
        data.resize(kMaxInput);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(OnCrash);
    const uint64_t iterations = argc > 1 ? _wcstoui64(argv[1], nullptr, 10) : 200000;
    const uint64_t seed = argc > 2 ? _wcstoui64(argv[2], nullptr, 10) : 20240611;

    const std::wstring folder = TempFolder();
    std::vector<Bytes> tiffSeeds;
    std::vector<Bytes> pdfSeeds;
    AddTiffSeeds(folder, tiffSeeds);
    AddPdfSeeds(folder, pdfSeeds);
    GuardedBuffer guard(kMaxInput + 1024);
    if (tiffSeeds.size() < 20 || pdfSeeds.size() < 3 || !guard.valid()) {
        fprintf(stderr, "cannot make the seeds (%zu TIFF, %zu PDF)\n", tiffSeeds.size(), pdfSeeds.size());
        return 2;
    }
    printf("seed %llu, %llu iterations, %zu TIFF and %zu PDF seeds\n", static_cast<unsigned long long>(seed),
           static_cast<unsigned long long>(iterations), tiffSeeds.size(), pdfSeeds.size());

    Random random(seed);
    const std::wstring tiffPath = folder + L"\\input.tif";
    const std::wstring pdfPath = folder + L"\\input.pdf";
    uint64_t passed = 0;
    uint64_t failed = 0;
    for (uint64_t i = 0; i < iterations; ++i) {
        currentIteration = i;
        const bool pdf = (i & 1) != 0;
        const std::vector<Bytes>& seeds = pdf ? pdfSeeds : tiffSeeds;
        Bytes input = seeds[random.Below(seeds.size())];
        Mutate(random, input, pdf);
        bool ok = pdf ? FuzzPdfWalk(guard, input) : FuzzTiffInMemory(input);
        if (i % 500 < 2)
            ok = FuzzFileLoad(pdf ? pdfPath : tiffPath, input, pdf) && ok;
        (ok ? passed : failed)++;
    }
    DeleteFileW(tiffPath.c_str());
    DeleteFileW(pdfPath.c_str());
    DeleteFileW((folder + L"\\seed.tif").c_str());
    DeleteFileW((folder + L"\\seed.pdf").c_str());
    RemoveDirectoryW(folder.c_str());

    printf("%llu passed, %llu failed\n", static_cast<unsigned long long>(passed),
           static_cast<unsigned long long>(failed));
    return failed == 0 ? 0 : 1;
}
