#include "imagefile/formats/ApngWriter.h"

#include <png.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <numeric>
#include <unordered_map>

#include "base/Log.h"
#include "base/ScopedFile.h"
#include "imagefile/NImageFile.h"
#include "imagefile/ProgressText.h"
#include "imagefile/formats/PngGuard.h"

namespace {

constexpr uint32_t kMaxField = 0xFFFF;
constexpr size_t kMaxChunkData = 32768;

struct PngRead {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngRead()
    {
        if (png)
            png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
    }
};

// A palette entry with its use, for sorting.
struct Entry {
    uint8_t r, g, b, a;
    uint32_t count;
};

// Alpha ascending, then use descending, then red, green, blue ascending.
bool PaletteOrder(const Entry& x, const Entry& y)
{
    if (x.a != y.a)
        return x.a < y.a;
    if (x.count != y.count)
        return x.count > y.count;
    if (x.r != y.r)
        return x.r < y.r;
    if (x.g != y.g)
        return x.g < y.g;
    return x.b < y.b;
}

uint32_t Pack(uint8_t r, uint8_t g, uint8_t b, uint8_t a)
{
    return (uint32_t{r} << 24) | (uint32_t{g} << 16) | (uint32_t{b} << 8) | a;
}

// The lowest level that is not marked, or -1.
int LowestUnused(const bool used[256])
{
    for (int level = 0; level < 256; ++level)
        if (!used[level])
            return level;
    return -1;
}

// Frame 0 becomes the grey form of the animation: no palette, and the free level (when there is
// one) as its transparent grey.
void MakeGreyForm(ApngImage& first, int freeLevel)
{
    first.paletteSize = 0;
    first.transparencySize = 0;
    if (freeLevel >= 0) {
        first.transparency[0] = 0;
        first.transparency[1] = static_cast<uint8_t>(freeLevel);
        first.transparencySize = 2;
    }
}

void PutU32(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 24);
    p[1] = static_cast<uint8_t>(v >> 16);
    p[2] = static_cast<uint8_t>(v >> 8);
    p[3] = static_cast<uint8_t>(v);
}

void PutU16(uint8_t* p, uint32_t v)
{
    p[0] = static_cast<uint8_t>(v >> 8);
    p[1] = static_cast<uint8_t>(v);
}

// The fraction numerator / denominator brought into 16-bit fields: reduced, then rounded to the
// nearest value with a denominator that fits (and a numerator that does, capped at 65535).
void FitDelay(uint64_t numerator, uint64_t denominator, uint32_t& outNumerator, uint32_t& outDenominator)
{
    if (denominator == 0) {
        outNumerator = 1;
        outDenominator = 10;
        return;
    }
    const uint64_t g = std::gcd(numerator, denominator);
    if (g > 1) {
        numerator /= g;
        denominator /= g;
    }
    if (numerator <= kMaxField && denominator <= kMaxField) {
        outNumerator = static_cast<uint32_t>(numerator);
        outDenominator = static_cast<uint32_t>(denominator);
        return;
    }
    const double seconds = static_cast<double>(numerator) / static_cast<double>(denominator);
    for (uint32_t scale : {1000u, 100u, 10u, 1u}) {
        const double scaled = std::floor(seconds * scale + 0.5);
        if (scaled <= kMaxField) {
            FitDelay(static_cast<uint64_t>(std::max(scaled, 0.0)), scale, outNumerator, outDenominator);
            return;
        }
    }
    outNumerator = kMaxField;
    outDenominator = 1;
}

// ---- The writer of one file ----

class Writer {
public:
    Writer(std::vector<ApngImage>& frames, bool skipFirst, uint32_t plays, NProgressSink* sink, const wchar_t* path)
        : frames_(frames), skipFirst_(skipFirst), plays_(plays), sink_(sink), path_(path)
    {
    }
    ~Writer();
    NRESULT Run();

private:
    struct Candidate {
        const ApngImage* image = nullptr;
        uint32_t compressedSize = 0;
        uint32_t x = 0, y = 0, w = 0, h = 0;
        bool valid = false;
        bool filtered = false;
    };

    bool Setup();
    void FindChangedRectangle(const ApngImage& previous, const ApngImage& next, ApngImage& difference, int pair);
    void TryRectangle(const ApngImage& image, uint32_t x, uint32_t y, uint32_t w, uint32_t h, int n);
    // Trial mode (output null): each row goes unfiltered to the first stream and best-filtered to
    // the second. Output mode: the best-filtered rows are appended to output.
    void FilterRows(const ApngImage& image, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                    std::vector<uint8_t>* output);
    bool CompressRectangle(int n);
    void WriteImageData(size_t frameIndex);
    void WriteChunk(const char* type, const uint8_t* data, size_t length);
    void Write(const void* data, size_t size);
    void FillRectangle(ApngImage& image, uint32_t x, uint32_t y, uint32_t w, uint32_t h);

    std::vector<ApngImage>& frames_;
    bool skipFirst_;
    uint32_t plays_;
    NProgressSink* sink_;
    const wchar_t* path_;

    FILE* file_ = nullptr;
    bool writeFailed_ = false;
    uint32_t sequence_ = 0;
    bool hasTransparent_ = false;
    uint32_t transparentValue_ = 0;   // grey level or palette index
    uint8_t transparentRgb_[3] = {};
    uint32_t bpp_ = 0;
    size_t rowBytes_ = 0;
    size_t rawSize_ = 0;
    size_t bufferSize_ = 0;

    std::array<Candidate, 6> candidates_;
    z_stream trial_[2] = {};
    bool trialReady_[2] = {false, false};
    std::vector<uint8_t> trialOut_[2];
    std::vector<uint8_t> output_;
    size_t pendingSize_ = 0;
    std::vector<uint8_t> filterRows_[5];
    std::vector<uint8_t> filtered_;

    ApngImage rest_, background_, difference_[3];
};

Writer::~Writer()
{
    for (int i = 0; i < 2; ++i)
        if (trialReady_[i])
            deflateEnd(&trial_[i]);
}

void Writer::Write(const void* data, size_t size)
{
    if (size && fwrite(data, 1, size, file_) != size)
        writeFailed_ = true;
}

void Writer::WriteChunk(const char* type, const uint8_t* data, size_t length)
{
    const bool sequenced = memcmp(type, "fdAT", 4) == 0;
    uint8_t head[12];
    PutU32(head, static_cast<uint32_t>(length + (sequenced ? 4 : 0)));
    memcpy(head + 4, type, 4);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    size_t headSize = 8;
    if (sequenced) {
        PutU32(head + 8, sequence_++);
        crc = crc32(crc, head + 8, 4);
        headSize = 12;
    }
    Write(head, headSize);
    if (length) {
        Write(data, length);
        crc = crc32(crc, data, static_cast<uInt>(length));
    }
    uint8_t tail[4];
    PutU32(tail, static_cast<uint32_t>(crc));
    Write(tail, 4);
}

bool Writer::Setup()
{
    const ApngImage& first = frames_[0];
    bpp_ = first.bytesPerPixel;
    rowBytes_ = first.RowBytes();
    rawSize_ = (rowBytes_ + 1) * first.height;
    bufferSize_ = rawSize_ + (rawSize_ + 7) / 8 + (rawSize_ + 63) / 64 + 11;
    try {
        for (int i = 0; i < 2; ++i) {
            if (deflateInit2(&trial_[i], 2, Z_DEFLATED, 15, 8, i == 0 ? Z_DEFAULT_STRATEGY : Z_FILTERED) != Z_OK)
                return false;
            trialReady_[i] = true;
            bufferSize_ = std::max<size_t>(bufferSize_, deflateBound(&trial_[i], static_cast<uLong>(rawSize_)));
        }
        trialOut_[0].resize(bufferSize_);
        trialOut_[1].resize(bufferSize_);
        output_.resize(bufferSize_);
        filtered_.reserve(rawSize_);
        for (int f = 0; f < 5; ++f) {
            filterRows_[f].assign(rowBytes_ + 1, 0);
            filterRows_[f][0] = static_cast<uint8_t>(f);
        }
    } catch (const std::bad_alloc&) {
        return false;
    }
    // The work pictures share frame 0's form.
    for (ApngImage* work : {&rest_, &background_, &difference_[0], &difference_[1], &difference_[2]}) {
        if (!work->Init(first.width, first.height, first.bytesPerPixel, first.colourType))
            return false;
        memcpy(work->palette, first.palette, sizeof(first.palette));
        memcpy(work->transparency, first.transparency, sizeof(first.transparency));
        work->paletteSize = first.paletteSize;
        work->transparencySize = first.transparencySize;
    }
    return true;
}

void Writer::FillRectangle(ApngImage& image, uint32_t x, uint32_t y, uint32_t w, uint32_t h)
{
    for (uint32_t j = y; j < y + h; ++j) {
        uint8_t* p = image.Row(j) + static_cast<size_t>(x) * bpp_;
        if (image.colourType == 2) {
            for (uint32_t i = 0; i < w; ++i, p += 3)
                memcpy(p, transparentRgb_, 3);
        } else {
            memset(p, static_cast<int>(transparentValue_ & 0xFF), static_cast<size_t>(w) * bpp_);
        }
    }
}

void Writer::FilterRows(const ApngImage& image, uint32_t x, uint32_t y, uint32_t w, uint32_t h,
                        std::vector<uint8_t>* output)
{
    const size_t bytes = static_cast<size_t>(w) * bpp_;
    const size_t offset = static_cast<size_t>(x) * bpp_;
    for (uint32_t j = 0; j < h; ++j) {
        const uint8_t* row = image.Row(y + j) + offset;
        const uint8_t* above = j > 0 ? image.Row(y + j - 1) + offset : nullptr;
        auto score = [](uint8_t v) { return v < 128 ? uint32_t{v} : 256u - v; };

        uint8_t* none = filterRows_[0].data() + 1;
        memcpy(none, row, bytes);
        uint32_t bestScore = 0;
        for (size_t i = 0; i < bytes; ++i)
            bestScore += score(none[i]);
        int best = 0;

        auto tryFilter = [&](int type, auto predict) {
            uint8_t* out = filterRows_[type].data() + 1;
            uint32_t sum = 0;
            for (size_t i = 0; i < bytes; ++i) {
                out[i] = static_cast<uint8_t>(row[i] - predict(i));
                sum += score(out[i]);
                if (sum > bestScore)
                    return;
            }
            if (sum < bestScore) {
                bestScore = sum;
                best = type;
            }
        };
        const size_t b = bpp_;
        tryFilter(1, [&](size_t i) { return i >= b ? row[i - b] : 0; });
        if (above) {
            tryFilter(2, [&](size_t i) { return above[i]; });
            tryFilter(3, [&](size_t i) { return static_cast<uint8_t>(((i >= b ? row[i - b] : 0) + above[i]) / 2); });
            tryFilter(4, [&](size_t i) {
                const int a = i >= b ? row[i - b] : 0;
                const int up = above[i];
                const int c = i >= b ? above[i - b] : 0;
                const int p = a + up - c;
                const int pa = std::abs(p - a), pb = std::abs(p - up), pc = std::abs(p - c);
                return static_cast<uint8_t>(pa <= pb && pa <= pc ? a : (pb <= pc ? up : c));
            });
        }

        const uint8_t* chosen = filterRows_[best].data();
        if (output) {
            output->insert(output->end(), chosen, chosen + bytes + 1);
        } else {
            for (int s = 0; s < 2; ++s) {
                z_stream& z = trial_[s];
                z.next_in = const_cast<Bytef*>(s == 0 ? filterRows_[0].data() : chosen);
                z.avail_in = static_cast<uInt>(bytes + 1);
                deflate(&z, Z_NO_FLUSH);
            }
        }
    }
}

void Writer::TryRectangle(const ApngImage& image, uint32_t x, uint32_t y, uint32_t w, uint32_t h, int n)
{
    for (int s = 0; s < 2; ++s) {
        trial_[s].next_out = trialOut_[s].data();
        trial_[s].avail_out = static_cast<uInt>(bufferSize_);
        trial_[s].data_type = Z_BINARY;
    }
    FilterRows(image, x, y, w, h, nullptr);
    deflate(&trial_[0], Z_FINISH);
    deflate(&trial_[1], Z_FINISH);
    const uLong plain = trial_[0].total_out;
    const uLong filtered = trial_[1].total_out;
    Candidate& c = candidates_[static_cast<size_t>(n)];
    c.image = &image;
    c.compressedSize = static_cast<uint32_t>(std::min(plain, filtered));
    c.x = x;
    c.y = y;
    c.w = w;
    c.h = h;
    c.valid = true;
    c.filtered = plain >= filtered;
    deflateReset(&trial_[0]);
    deflateReset(&trial_[1]);
}

bool Writer::CompressRectangle(int n)
{
    const Candidate& c = candidates_[static_cast<size_t>(n)];
    filtered_.clear();
    if (c.filtered) {
        FilterRows(*c.image, c.x, c.y, c.w, c.h, &filtered_);
    } else {
        const size_t bytes = static_cast<size_t>(c.w) * bpp_;
        for (uint32_t j = 0; j < c.h; ++j) {
            const uint8_t* row = c.image->Row(c.y + j) + static_cast<size_t>(c.x) * bpp_;
            filtered_.push_back(0);
            filtered_.insert(filtered_.end(), row, row + bytes);
        }
    }
    z_stream z = {};
    if (deflateInit2(&z, 9, Z_DEFLATED, 15, 8, c.filtered ? Z_FILTERED : Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    z.next_in = filtered_.data();
    z.avail_in = static_cast<uInt>(filtered_.size());
    z.next_out = output_.data();
    z.avail_out = static_cast<uInt>(output_.size());
    const int status = deflate(&z, Z_FINISH);
    pendingSize_ = z.total_out;
    deflateEnd(&z);
    return status == Z_STREAM_END;
}

void Writer::WriteImageData(size_t frameIndex)
{
    ApngWriter::ShrinkZlibWindow(output_.data(), pendingSize_, filtered_.size());
    const char* type = frameIndex == 0 ? "IDAT" : "fdAT";
    for (size_t at = 0; at < pendingSize_; at += kMaxChunkData)
        WriteChunk(type, output_.data() + at, std::min(kMaxChunkData, pendingSize_ - at));
}

void Writer::FindChangedRectangle(const ApngImage& previous, const ApngImage& next, ApngImage& difference, int pair)
{
    const ApngImage& first = frames_[0];
    const uint32_t width = first.width;
    const uint32_t height = first.height;
    uint32_t left = width, top = height, right = 0, bottom = 0;   // right, bottom exclusive
    bool changed = false;
    bool overPossible = true;
    auto mark = [&](uint32_t x, uint32_t y) {
        changed = true;
        left = std::min(left, x);
        right = std::max(right, x + 1);
        top = std::min(top, y);
        bottom = std::max(bottom, y + 1);
    };

    if (bpp_ == 1 || bpp_ == 3) {
        // Without a transparent colour blend over is never possible; the difference then keeps
        // whatever fills it.
        overPossible = hasTransparent_;
        const bool palette = first.colourType == 3;
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* a = previous.Row(y);
            const uint8_t* b = next.Row(y);
            uint8_t* d = difference.Row(y);
            for (uint32_t x = 0; x < width; ++x, a += bpp_, b += bpp_, d += bpp_) {
                if (memcmp(a, b, bpp_) == 0) {
                    if (bpp_ == 3)
                        memcpy(d, transparentRgb_, 3);
                    else
                        d[0] = static_cast<uint8_t>(transparentValue_);
                    continue;
                }
                memcpy(d, b, bpp_);
                mark(x, y);
                if (!overPossible)
                    continue;
                if (bpp_ == 3) {
                    if (memcmp(b, transparentRgb_, 3) == 0)
                        overPossible = false;
                } else if (b[0] == transparentValue_) {
                    overPossible = false;
                } else if (palette && b[0] < first.transparencySize && first.transparency[b[0]] != 255) {
                    // Drawn over the canvas a partly transparent entry would mix with it.
                    overPossible = false;
                }
            }
        }
    } else {
        const uint32_t alphaAt = bpp_ - 1;
        for (uint32_t y = 0; y < height; ++y) {
            const uint8_t* a = previous.Row(y);
            const uint8_t* b = next.Row(y);
            uint8_t* d = difference.Row(y);
            for (uint32_t x = 0; x < width; ++x, a += bpp_, b += bpp_, d += bpp_) {
                if (memcmp(a, b, bpp_) == 0 || (a[alphaAt] == 0 && b[alphaAt] == 0)) {
                    memset(d, 0, bpp_);
                    continue;
                }
                memcpy(d, b, bpp_);
                mark(x, y);
                if (b[alphaAt] != 255)
                    overPossible = false;
            }
        }
    }
    if (!changed) {
        left = 0;
        top = 0;
        right = 1;
        bottom = 1;
    }
    TryRectangle(next, left, top, right - left, bottom - top, 2 * pair);
    if (overPossible)
        TryRectangle(difference, left, top, right - left, bottom - top, 2 * pair + 1);
}

NRESULT Writer::Run()
{
    const size_t count = frames_.size();
    if (count < 2)
        skipFirst_ = false;
    const ApngImage& first = frames_[0];

    // The animation's transparent colour.
    switch (first.colourType) {
    case 0:
        hasTransparent_ = first.transparencySize > 0;
        transparentValue_ = first.transparency[1];
        break;
    case 2:
        hasTransparent_ = first.transparencySize > 0;
        transparentRgb_[0] = first.transparency[1];
        transparentRgb_[1] = first.transparency[3];
        transparentRgb_[2] = first.transparency[5];
        break;
    case 3:
        for (int i = 0; i < first.transparencySize; ++i) {
            if (first.transparency[i] == 0) {
                hasTransparent_ = true;
                transparentValue_ = static_cast<uint32_t>(i);
                break;
            }
        }
        break;
    default:
        hasTransparent_ = true;
        transparentValue_ = 0;
        break;
    }

    ScopedFile out(path_, L"wb");
    if (!out)
        return NR_FILE_OPEN_WRITE;
    file_ = out.Get();

    static const uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
    Write(kSignature, 8);
    uint8_t ihdr[13];
    PutU32(ihdr, first.width);
    PutU32(ihdr + 4, first.height);
    ihdr[8] = 8;
    ihdr[9] = static_cast<uint8_t>(first.colourType);
    ihdr[10] = ihdr[11] = ihdr[12] = 0;
    WriteChunk("IHDR", ihdr, 13);
    if (count > 1) {
        uint8_t actl[8];
        PutU32(actl, static_cast<uint32_t>(count - (skipFirst_ ? 1 : 0)));
        PutU32(actl + 4, plays_);
        WriteChunk("acTL", actl, 8);
    }
    if (first.paletteSize > 0)
        WriteChunk("PLTE", first.palette, static_cast<size_t>(first.paletteSize) * 3);
    if (first.transparencySize > 0)
        WriteChunk("tRNS", first.transparency, static_cast<size_t>(first.transparencySize));

    if (!Setup())
        return NR_ALLOCATION_FAILED;

    uint32_t x0 = 0, y0 = 0, w0 = first.width, h0 = first.height;
    uint32_t blend = 0;
    TryRectangle(frames_[0], 0, 0, w0, h0, 0);
    if (!CompressRectangle(0))
        return NR_COMPRESSION_FAILED;
    const size_t start = skipFirst_ ? 1 : 0;
    if (skipFirst_) {
        WriteImageData(0);
        TryRectangle(frames_[1], 0, 0, w0, h0, 0);
        if (!CompressRectangle(0))
            return NR_COMPRESSION_FAILED;
    }

    for (size_t i = start; i + 1 < count; ++i) {
        ReportFrameProgress(sink_, L"Frame2", L"Writing frame %d of %d", path_,
                            static_cast<int>(i + start + 1), static_cast<int>(count - 1 + start));
        for (Candidate& c : candidates_)
            c.valid = false;
        FindChangedRectangle(frames_[i], frames_[i + 1], difference_[0], 0);
        if (hasTransparent_) {
            background_.pixels = frames_[i].pixels;
            FillRectangle(background_, x0, y0, w0, h0);
            FindChangedRectangle(background_, frames_[i + 1], difference_[1], 1);
        }
        if (i > start)
            FindChangedRectangle(rest_, frames_[i + 1], difference_[2], 2);

        int best = 0;
        for (int n = 1; n < 6; ++n)
            if (candidates_[static_cast<size_t>(n)].valid &&
                candidates_[static_cast<size_t>(n)].compressedSize < candidates_[static_cast<size_t>(best)].compressedSize)
                best = n;
        const uint32_t dispose = static_cast<uint32_t>(best / 2);

        uint8_t fctl[26];
        PutU32(fctl, sequence_++);
        PutU32(fctl + 4, w0);
        PutU32(fctl + 8, h0);
        PutU32(fctl + 12, x0);
        PutU32(fctl + 16, y0);
        PutU16(fctl + 20, frames_[i].delayNumerator);
        PutU16(fctl + 22, frames_[i].delayDenominator);
        fctl[24] = static_cast<uint8_t>(dispose);
        fctl[25] = static_cast<uint8_t>(blend);
        WriteChunk("fcTL", fctl, 26);
        WriteImageData(i);

        if (dispose != 2) {
            rest_.pixels = frames_[i].pixels;
            if (dispose == 1)
                FillRectangle(rest_, x0, y0, w0, h0);
        }
        const Candidate& chosen = candidates_[static_cast<size_t>(best)];
        x0 = chosen.x;
        y0 = chosen.y;
        w0 = chosen.w;
        h0 = chosen.h;
        blend = static_cast<uint32_t>(best % 2);
        if (!CompressRectangle(best))
            return NR_COMPRESSION_FAILED;
    }

    if (count > 1) {
        uint8_t fctl[26];
        PutU32(fctl, sequence_++);
        PutU32(fctl + 4, w0);
        PutU32(fctl + 8, h0);
        PutU32(fctl + 12, x0);
        PutU32(fctl + 16, y0);
        PutU16(fctl + 20, frames_[count - 1].delayNumerator);
        PutU16(fctl + 22, frames_[count - 1].delayDenominator);
        fctl[24] = 0;
        fctl[25] = static_cast<uint8_t>(blend);
        WriteChunk("fcTL", fctl, 26);
    }
    WriteImageData(count - 1);
    WriteChunk("IEND", nullptr, 0);

    if (fflush(file_) != 0 || ferror(file_))
        writeFailed_ = true;
    if (!out.Close())
        writeFailed_ = true;
    file_ = nullptr;
    return writeFailed_ ? NR_FILE_ERROR : NR_OK;
}

}  // namespace

// ---- ApngImage ----

ApngImage::ApngImage()
{
    memset(palette, 255, sizeof(palette));
    memset(transparency, 255, sizeof(transparency));
}

bool ApngImage::Init(uint32_t w, uint32_t h, uint32_t bytes, uint32_t type)
{
    pixels.clear();
    pixels.shrink_to_fit();
    const uint64_t total = uint64_t{w} * h * bytes;
    if (total > SIZE_MAX / 2 || total > (uint64_t{1} << 40))
        return false;
    try {
        pixels.assign(static_cast<size_t>(total), 0);
    } catch (const std::bad_alloc&) {
        return false;
    }
    width = w;
    height = h;
    bytesPerPixel = bytes;
    colourType = type;
    return true;
}

// ---- Steps ----

namespace ApngWriter {

void DelayFraction(uint32_t milliseconds, uint32_t& numerator, uint32_t& denominator)
{
    if (milliseconds == 0) {
        numerator = 1;
        denominator = 20;
        return;
    }
    FitDelay(milliseconds, 1000, numerator, denominator);
}

void AddDelays(uint32_t& numerator, uint32_t& denominator, uint32_t addNumerator, uint32_t addDenominator)
{
    if (denominator == 0 || addDenominator == 0)
        return;
    const uint64_t common = std::lcm(uint64_t{denominator}, uint64_t{addDenominator});
    const uint64_t sum = numerator * (common / denominator) + addNumerator * (common / addDenominator);
    FitDelay(sum, common, numerator, denominator);
}

int LoadFrame(const wchar_t* path, ApngImage& image)
{
    PngRead read;
    read.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!read.png)
        return 1;
    read.info = png_create_info_struct(read.png);
    if (!read.info)
        return 1;
    const ScopedFile in(path, L"rb");
    if (!in)
        return 1;
    png_structp png = read.png;
    png_infop info = read.info;
    std::vector<png_bytep> rows;
    bool made = true;
    auto body = [&] {
        png_init_io(png, in.Get());
        png_read_info(png, info);
        const int bitDepth = png_get_bit_depth(png, info);
        const int type = png_get_color_type(png, info);
        if (bitDepth < 8) {
            if (type == PNG_COLOR_TYPE_PALETTE)
                png_set_packing(png);
            else
                png_set_expand(png);
        } else if (bitDepth > 8) {
            png_set_expand(png);
            png_set_strip_16(png);
        }
        png_set_interlace_handling(png);
        png_read_update_info(png, info);
        const png_uint_32 width = png_get_image_width(png, info);
        const png_uint_32 height = png_get_image_height(png, info);
        const int channels = png_get_channels(png, info);
        if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * channels ||
            !image.Init(width, height, static_cast<uint32_t>(channels), png_get_color_type(png, info))) {
            made = false;
            return;
        }
        png_colorp entries = nullptr;
        int entryCount = 0;
        if (png_get_PLTE(png, info, &entries, &entryCount) && entries) {
            entryCount = std::clamp(entryCount, 0, 256);
            for (int i = 0; i < entryCount; ++i) {
                image.palette[i * 3] = entries[i].red;
                image.palette[i * 3 + 1] = entries[i].green;
                image.palette[i * 3 + 2] = entries[i].blue;
            }
            image.paletteSize = entryCount;
        }
        png_bytep alphas = nullptr;
        int alphaCount = 0;
        png_color_16p colour = nullptr;
        if (png_get_tRNS(png, info, &alphas, &alphaCount, &colour) && alphaCount > 0) {
            if (image.colourType == PNG_COLOR_TYPE_GRAY && colour) {
                image.transparency[0] = 0;
                image.transparency[1] = static_cast<uint8_t>(colour->gray & 0xFF);
                image.transparencySize = 2;
            } else if (image.colourType == PNG_COLOR_TYPE_RGB && colour) {
                const uint8_t bytes[6] = {0, static_cast<uint8_t>(colour->red & 0xFF), 0,
                                          static_cast<uint8_t>(colour->green & 0xFF), 0,
                                          static_cast<uint8_t>(colour->blue & 0xFF)};
                memcpy(image.transparency, bytes, 6);
                image.transparencySize = 6;
            } else if (image.colourType == PNG_COLOR_TYPE_PALETTE && alphas) {
                alphaCount = std::min(alphaCount, 256);
                memcpy(image.transparency, alphas, static_cast<size_t>(alphaCount));
                image.transparencySize = alphaCount;
            }
        }
        rows.resize(height);
        for (png_uint_32 y = 0; y < height; ++y)
            rows[y] = image.Row(y);
        png_read_image(png, rows.data());
        png_read_end(png, nullptr);
    };
    if (!RunPngGuarded(png, body) || !made)
        return 1;
    return 0;
}

uint32_t CommonColourType(const std::vector<ApngImage>& frames)
{
    const ApngImage& first = frames[0];
    uint32_t type = first.colourType;
    for (size_t i = 1; i < frames.size(); ++i) {
        const ApngImage& f = frames[i];
        if (f.paletteSize != first.paletteSize ||
            memcmp(f.palette, first.palette, static_cast<size_t>(first.paletteSize) * 3) != 0 ||
            f.transparencySize != first.transparencySize ||
            memcmp(f.transparency, first.transparency, static_cast<size_t>(first.transparencySize)) != 0) {
            type = 6;
        } else if (f.colourType == 3 && type != 3) {
            type = 6;
        } else if (f.colourType != 3 && type == 3) {
            type = 6;
        } else if (f.colourType != 3) {
            type |= f.colourType;
        }
    }
    return type;
}

bool ConvertType(ApngImage& frame, uint32_t type)
{
    const uint32_t from = frame.colourType;
    uint32_t bytes = 0;
    if (from == 0 && type == 2)
        bytes = 3;
    else if (from == 0 && type == 4)
        bytes = 2;
    else if ((from == 0 || from == 2 || from == 3 || from == 4) && type == 6)
        bytes = 4;
    else
        return true;

    std::vector<uint8_t> converted;
    try {
        converted.resize(static_cast<size_t>(frame.width) * frame.height * bytes);
    } catch (const std::bad_alloc&) {
        return false;
    }
    const bool keyed = frame.transparencySize > 0;
    const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
    const uint8_t* s = frame.pixels.data();
    uint8_t* d = converted.data();
    for (size_t p = 0; p < pixels; ++p) {
        switch (from * 10 + type) {
        case 2: {   // 0 -> 2
            const uint8_t g = s[p];
            d[p * 3] = d[p * 3 + 1] = d[p * 3 + 2] = g;
            break;
        }
        case 4:   // 0 -> 4
            d[p * 2] = s[p];
            d[p * 2 + 1] = 255;
            break;
        case 6: {   // 0 -> 6
            const uint8_t g = s[p];
            d[p * 4] = d[p * 4 + 1] = d[p * 4 + 2] = g;
            d[p * 4 + 3] = keyed && g == frame.transparency[1] ? 0 : 255;
            break;
        }
        case 26: {   // 2 -> 6
            const uint8_t* q = s + p * 3;
            d[p * 4] = q[0];
            d[p * 4 + 1] = q[1];
            d[p * 4 + 2] = q[2];
            d[p * 4 + 3] = keyed && q[0] == frame.transparency[1] && q[1] == frame.transparency[3] &&
                                   q[2] == frame.transparency[5]
                               ? 0
                               : 255;
            break;
        }
        case 36: {   // 3 -> 6
            const uint8_t index = s[p];
            memcpy(d + p * 4, frame.palette + index * 3, 3);
            d[p * 4 + 3] = index < frame.transparencySize ? frame.transparency[index] : 255;
            break;
        }
        case 46: {   // 4 -> 6
            const uint8_t g = s[p * 2];
            d[p * 4] = d[p * 4 + 1] = d[p * 4 + 2] = g;
            d[p * 4 + 3] = s[p * 2 + 1];
            break;
        }
        default:
            break;
        }
    }
    frame.pixels.swap(converted);
    frame.colourType = type;
    frame.bytesPerPixel = bytes;
    // The transparency now lives in the alpha channel (or, grey to RGB, stays the same colour).
    if (type == 4 || type == 6) {
        frame.transparencySize = 0;
        frame.paletteSize = 0;
    } else if (type == 2 && frame.transparencySize == 2) {
        const uint8_t level = frame.transparency[1];
        const uint8_t rgb[6] = {0, level, 0, level, 0, level};
        memcpy(frame.transparency, rgb, 6);
        frame.transparencySize = 6;
    }
    return true;
}

void ClearTransparentPixels(ApngImage& frame)
{
    const size_t pixels = static_cast<size_t>(frame.width) * frame.height;
    uint8_t* p = frame.pixels.data();
    if (frame.colourType == 6) {
        for (size_t i = 0; i < pixels; ++i, p += 4)
            if (p[3] == 0)
                p[0] = p[1] = p[2] = 0;
    } else if (frame.colourType == 4) {
        for (size_t i = 0; i < pixels; ++i, p += 2)
            if (p[1] == 0)
                p[0] = 0;
    }
}

void MergeDuplicates(std::vector<ApngImage>& frames, size_t start)
{
    size_t a = start + 1;
    while (a < frames.size()) {
        const ApngImage& earlier = frames[a - 1];
        const ApngImage& later = frames[a];
        if (earlier.pixels.size() == later.pixels.size() && earlier.pixels == later.pixels) {
            const uint32_t n = earlier.delayNumerator;
            const uint32_t d = earlier.delayDenominator;
            AddDelays(frames[a].delayNumerator, frames[a].delayDenominator, n, d);
            // The frame that stays takes the form of the one that goes (frame 0 speaks for all).
            if (a - 1 == 0) {
                ApngImage& kept = frames[a];
                kept.colourType = earlier.colourType;
                kept.bytesPerPixel = earlier.bytesPerPixel;
                kept.paletteSize = earlier.paletteSize;
                kept.transparencySize = earlier.transparencySize;
                memcpy(kept.palette, earlier.palette, sizeof(kept.palette));
                memcpy(kept.transparency, earlier.transparency, sizeof(kept.transparency));
            }
            frames.erase(frames.begin() + static_cast<ptrdiff_t>(a - 1));
        } else {
            ++a;
        }
    }
}

bool ReduceColourType(std::vector<ApngImage>& frames)
{
    ApngImage& first = frames[0];
    const size_t pixels = static_cast<size_t>(first.width) * first.height;

    if (first.colourType == 2) {
        const bool keyed = first.transparencySize > 0;
        const uint8_t kr = first.transparency[1], kg = first.transparency[3], kb = first.transparency[5];
        std::unordered_map<uint32_t, uint32_t> pairs;   // packed colour and alpha -> entry
        std::vector<Entry> entries;
        bool allGrey = true;
        bool anyTransparent = false;
        bool greyUsed[256] = {};
        for (const ApngImage& f : frames) {
            const uint8_t* p = f.pixels.data();
            for (size_t i = 0; i < pixels; ++i, p += 3) {
                const bool transparent = keyed && p[0] == kr && p[1] == kg && p[2] == kb;
                const uint8_t alpha = transparent ? 0 : 255;
                if (transparent) {
                    anyTransparent = true;
                } else if (p[0] == p[1] && p[1] == p[2]) {
                    greyUsed[p[0]] = true;
                } else {
                    allGrey = false;
                }
                const uint32_t key = Pack(p[0], p[1], p[2], alpha);
                auto found = pairs.find(key);
                if (found != pairs.end()) {
                    ++entries[found->second].count;
                    continue;
                }
                if (entries.size() == 256)
                    return true;   // more than 256: nothing to gain
                pairs.emplace(key, static_cast<uint32_t>(entries.size()));
                entries.push_back({p[0], p[1], p[2], alpha, 1});
            }
        }
        if (allGrey && entries.size() > 128) {
            const int free = LowestUnused(greyUsed);
            for (ApngImage& f : frames) {
                std::vector<uint8_t> grey(pixels);
                const uint8_t* p = f.pixels.data();
                for (size_t i = 0; i < pixels; ++i, p += 3) {
                    const bool transparent = keyed && p[0] == kr && p[1] == kg && p[2] == kb;
                    grey[i] = transparent ? static_cast<uint8_t>(free < 0 ? 0 : free) : p[0];
                }
                f.pixels.swap(grey);
                f.colourType = 0;
                f.bytesPerPixel = 1;
            }
            MakeGreyForm(first, free);
            return true;
        }
        // A palette.
        if (!anyTransparent && entries.size() < 256) {
            const uint8_t n = static_cast<uint8_t>(entries.size());
            entries.push_back({n, n, n, 0, 0});
        }
        std::vector<uint32_t> order(entries.size());
        std::iota(order.begin(), order.end(), 0u);
        std::stable_sort(order.begin(), order.end(),
                         [&](uint32_t x, uint32_t y) { return PaletteOrder(entries[x], entries[y]); });
        std::vector<uint8_t> position(entries.size());
        for (size_t k = 0; k < order.size(); ++k)
            position[order[k]] = static_cast<uint8_t>(k);
        for (ApngImage& f : frames) {
            std::vector<uint8_t> indexes(pixels);
            const uint8_t* p = f.pixels.data();
            for (size_t i = 0; i < pixels; ++i, p += 3) {
                const bool transparent = keyed && p[0] == kr && p[1] == kg && p[2] == kb;
                indexes[i] = position[pairs[Pack(p[0], p[1], p[2], transparent ? 0 : 255)]];
            }
            f.pixels.swap(indexes);
            f.colourType = 3;
            f.bytesPerPixel = 1;
        }
        first.paletteSize = static_cast<int32_t>(entries.size());
        int lastNotOpaque = -1;
        for (size_t k = 0; k < order.size(); ++k) {
            const Entry& e = entries[order[k]];
            first.palette[k * 3] = e.r;
            first.palette[k * 3 + 1] = e.g;
            first.palette[k * 3 + 2] = e.b;
            first.transparency[k] = e.a;
            if (e.a != 255)
                lastNotOpaque = static_cast<int>(k);
        }
        if (lastNotOpaque >= 0)
            first.transparencySize = lastNotOpaque + 1;
        else
            first.transparencySize = 0;
        return true;
    }

    if (first.colourType == 3) {
        uint32_t used[256] = {};
        for (const ApngImage& f : frames)
            for (uint8_t index : f.pixels)
                ++used[index];
        bool greyOnly = true;
        bool greyTaken[256] = {};
        for (int i = 0; i < 256 && greyOnly; ++i) {
            if (!used[i])
                continue;
            const uint8_t* c = first.palette + i * 3;
            const uint8_t alpha = i < first.transparencySize ? first.transparency[i] : 255;
            if (alpha == 0)
                continue;
            if (alpha == 255 && c[0] == c[1] && c[1] == c[2])
                greyTaken[c[1]] = true;
            else
                greyOnly = false;
        }
        if (!greyOnly)
            return true;
        const int free = LowestUnused(greyTaken);
        uint8_t map[256];
        for (int i = 0; i < 256; ++i) {
            const uint8_t alpha = i < first.transparencySize ? first.transparency[i] : 255;
            map[i] = alpha == 0 ? static_cast<uint8_t>(free < 0 ? 0 : free) : first.palette[i * 3 + 1];
        }
        for (ApngImage& f : frames) {
            for (uint8_t& index : f.pixels)
                index = map[index];
            f.colourType = 0;
            f.bytesPerPixel = 1;
        }
        MakeGreyForm(first, free);
    }
    return true;
}

void OptimisePalette(std::vector<ApngImage>& frames)
{
    ApngImage& first = frames[0];
    Entry entries[256];
    for (int i = 0; i < 256; ++i) {
        if (i < first.paletteSize)
            entries[i] = {first.palette[i * 3], first.palette[i * 3 + 1], first.palette[i * 3 + 2],
                          static_cast<uint8_t>(i < first.transparencySize ? first.transparency[i] : 255), 0};
        else
            entries[i] = {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 255, 0};
    }
    for (const ApngImage& f : frames)
        for (uint8_t index : f.pixels)
            ++entries[index].count;
    bool anyTransparent = false;
    for (const Entry& e : entries)
        if (e.count && e.a == 0)
            anyTransparent = true;
    bool given = anyTransparent;
    for (Entry& e : entries) {
        if (e.count)
            continue;
        e.a = given ? 255 : 0;
        given = true;
    }
    Entry sorted[256];
    std::copy(entries, entries + 256, sorted);
    std::stable_sort(sorted, sorted + 256, PaletteOrder);
    uint8_t map[256];
    for (int i = 0; i < 256; ++i) {
        for (int k = 0; k < 256; ++k) {
            if (sorted[k].r == entries[i].r && sorted[k].g == entries[i].g && sorted[k].b == entries[i].b &&
                sorted[k].a == entries[i].a) {
                map[i] = static_cast<uint8_t>(k);
                break;
            }
        }
    }
    for (ApngImage& f : frames)
        for (uint8_t& index : f.pixels)
            index = map[index];
    int lastUsed = -1, lastNotOpaque = -1;
    for (int k = 0; k < 256; ++k) {
        first.palette[k * 3] = sorted[k].r;
        first.palette[k * 3 + 1] = sorted[k].g;
        first.palette[k * 3 + 2] = sorted[k].b;
        first.transparency[k] = sorted[k].a;
        if (sorted[k].count)
            lastUsed = k;
        if (sorted[k].a != 255)
            lastNotOpaque = k;
    }
    first.paletteSize = lastUsed + 1;
    first.transparencySize = lastNotOpaque + 1;
}

void AddTransparentColour(std::vector<ApngImage>& frames)
{
    ApngImage& first = frames[0];
    if (first.transparencySize > 0)
        return;
    const size_t pixels = static_cast<size_t>(first.width) * first.height;
    if (first.colourType == 2) {
        std::vector<bool> marked(4096, false);
        for (const ApngImage& f : frames) {
            const uint8_t* p = f.pixels.data();
            for (size_t i = 0; i < pixels; ++i, p += 3)
                if ((p[0] & 15) == 0 && (p[1] & 15) == 0 && (p[2] & 15) == 0)
                    marked[static_cast<size_t>(p[0] / 16) * 256 + (p[1] / 16) * 16 + p[2] / 16] = true;
        }
        for (size_t i = 0; i < 4096; ++i) {
            if (!marked[i]) {
                const uint8_t rgb[6] = {0, static_cast<uint8_t>((i / 256) * 16), 0,
                                        static_cast<uint8_t>((i / 16 % 16) * 16), 0,
                                        static_cast<uint8_t>((i % 16) * 16)};
                memcpy(first.transparency, rgb, 6);
                first.transparencySize = 6;
                return;
            }
        }
    } else if (first.colourType == 0) {
        bool used[256] = {};
        for (const ApngImage& f : frames)
            for (uint8_t level : f.pixels)
                used[level] = true;
        const int free = LowestUnused(used);
        if (free >= 0)
            MakeGreyForm(first, free);
    }
}

void ShrinkZlibWindow(uint8_t* data, size_t size, size_t rawSize)
{
    if (!data || size < 2)
        return;
    const uint8_t cmf = data[0];
    if ((cmf & 0x0F) != 8 || (cmf >> 4) > 7)
        return;
    int field = cmf >> 4;
    while (field > 0) {
        const size_t half = size_t{1} << (field + 7);
        if (rawSize > half || half < 256)
            break;
        --field;
    }
    const uint8_t newCmf = static_cast<uint8_t>((field << 4) | 8);
    if (newCmf == cmf)
        return;
    data[0] = newCmf;
    const unsigned flevel = data[1] & 0xE0;
    data[1] = static_cast<uint8_t>(flevel + 31 - ((newCmf * 256u + flevel) % 31));
}

}  // namespace ApngWriter

NRESULT WriteAnimatedPng(NImageFile* owner, const std::vector<NString>& framePaths, const wchar_t* outputPath,
                         bool skipFirst, uint32_t plays, bool keepPalette, bool keepColourType, NProgressSink* sink)
{
    if (framePaths.empty() || !outputPath)
        return NR_DECODE_FAILED;
    std::vector<ApngImage> frames;
    try {
        frames.resize(framePaths.size());
    } catch (const std::bad_alloc&) {
        return NR_DECODE_FAILED;
    }
    for (size_t i = 0; i < framePaths.size(); ++i) {
        if (ApngWriter::LoadFrame(framePaths[i].c_str(), frames[i]) != 0) {
            LogMessage(L"Failed load %s", framePaths[i].c_str());
            return NR_DECODE_FAILED;
        }
        const uint32_t ms = owner && i < owner->frameDelays.size() ? owner->frameDelays[i] : 100;
        ApngWriter::DelayFraction(ms, frames[i].delayNumerator, frames[i].delayDenominator);
        if (frames[i].width != frames[0].width || frames[i].height != frames[0].height) {
            LogMessage(L"Error: all frames are expected to be %dx%d    \n\n%s is %dx%d    \n ",
                       static_cast<int>(frames[0].width), static_cast<int>(frames[0].height), framePaths[i].c_str(),
                       static_cast<int>(frames[i].width), static_cast<int>(frames[i].height));
            return NR_DECODE_FAILED;
        }
    }
    const uint32_t common = ApngWriter::CommonColourType(frames);
    for (ApngImage& frame : frames) {
        if (frame.colourType != common && !ApngWriter::ConvertType(frame, common))
            return NR_ALLOCATION_FAILED;
    }
    if (common == 4 || common == 6)
        for (ApngImage& frame : frames)
            ApngWriter::ClearTransparentPixels(frame);
    ApngWriter::MergeDuplicates(frames, skipFirst ? 1 : 0);
    if (!keepColourType)
        ApngWriter::ReduceColourType(frames);
    if (frames[0].colourType == 3) {
        if (!keepPalette)
            ApngWriter::OptimisePalette(frames);
    } else if (frames[0].colourType == 0 || frames[0].colourType == 2) {
        ApngWriter::AddTransparentColour(frames);
    }

    Writer writer(frames, skipFirst, plays, sink, outputPath);
    const NRESULT result = writer.Run();
    if (result != NR_OK && result != NR_FILE_OPEN_WRITE)
        _wremove(outputPath);
    return result;
}
