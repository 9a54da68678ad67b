#include "imagefile/formats/ApngReader.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "base/ScopedFile.h"
#include "imagefile/formats/PngGuard.h"

namespace {

constexpr uint32_t kMaxSide = 1000000;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
constexpr uint64_t kFrameBudget = 1000ull * 1048576;   // bytes of frames kept

constexpr uint32_t ChunkType(const char (&name)[5])
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(name[0])) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[1])) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(name[2])) << 8) | static_cast<uint8_t>(name[3]);
}

constexpr uint32_t kIHDR = ChunkType("IHDR");
constexpr uint32_t kIDAT = ChunkType("IDAT");
constexpr uint32_t kIEND = ChunkType("IEND");
constexpr uint32_t kacTL = ChunkType("acTL");
constexpr uint32_t kfcTL = ChunkType("fcTL");
constexpr uint32_t kfdAT = ChunkType("fdAT");

constexpr uint8_t kSignature[8] = {137, 80, 78, 71, 13, 10, 26, 10};
constexpr uint8_t kEmptyIend[12] = {0, 0, 0, 0, 'I', 'E', 'N', 'D', 0xAE, 0x42, 0x60, 0x82};

uint32_t BigU32(const uint8_t* p)
{
    return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
           (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

uint16_t BigU16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

void PutBigU32(uint8_t* p, uint32_t value)
{
    p[0] = static_cast<uint8_t>(value >> 24);
    p[1] = static_cast<uint8_t>(value >> 16);
    p[2] = static_cast<uint8_t>(value >> 8);
    p[3] = static_cast<uint8_t>(value);
}

bool IsLetter(uint8_t c)
{
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
}

uint64_t Position(FILE* file)
{
    const int64_t at = _ftelli64(file);
    return at < 0 ? 0 : static_cast<uint64_t>(at);
}

// libpng's messages go nowhere: a failure is answered by the result. The error callback leaves
// through the jump buffer itself (libpng's fallback would print the message first).
void SilentError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}
void SilentWarning(png_structp, png_const_charp) {}

// Rows of a width x height x 4 buffer.
void BuildRows(std::vector<uint8_t>& pixels, std::vector<uint8_t*>& rows, uint32_t width, uint32_t height)
{
    rows.resize(height);
    for (uint32_t j = 0; j < height; ++j)
        rows[j] = pixels.data() + static_cast<size_t>(j) * width * 4;
}

// The frame walk of one file.
class FrameWalk {
public:
    FrameWalk(FILE* file, uint64_t fileSize, std::vector<ApngFrame>& frames)
        : file_(file), fileSize_(fileSize), frames_(frames)
    {
    }
    ~FrameWalk() { delete decoder_; }

    // Runs the walk after the IHDR record was read. False when the buffers cannot be made.
    bool Run(ApngReader::Record&& ihdr);

private:
    bool MakeBuffers();
    // The frame in the raw buffer is complete: compose it, keep the canvas as a frame and
    // prepare the next canvas by the dispose operation. False ends the walk.
    bool CompleteFrame();
    bool AppendCanvas();
    bool TakeFrameControl(const ApngReader::Record& record);

    FILE* file_;
    uint64_t fileSize_;
    std::vector<ApngFrame>& frames_;

    uint32_t width_ = 0;
    uint32_t height_ = 0;
    uint64_t frameBytes_ = 0;
    uint32_t x0_ = 0, y0_ = 0, w0_ = 0, h0_ = 0;
    uint16_t delayNumerator_ = 1, delayDenominator_ = 10;
    uint8_t dispose_ = 0, blend_ = 0;
    bool imageDataSeen_ = false;
    bool animated_ = false;
    bool defaultOutside_ = false;
    bool decodingOff_ = false;   // the frame budget is used up

    ApngReader::RawFrame raw_;
    std::vector<uint8_t> canvas_;
    std::vector<uint8_t*> canvasRows_;
    ApngReader::Record ihdr_;
    std::vector<ApngReader::Record> kept_;
    ApngReader::Decoder* decoder_ = nullptr;
};

bool FrameWalk::MakeBuffers()
{
    try {
        raw_.width = width_;
        raw_.height = height_;
        raw_.pixels.assign(static_cast<size_t>(frameBytes_), 0);
        BuildRows(raw_.pixels, raw_.rows, width_, height_);
        canvas_.assign(static_cast<size_t>(frameBytes_), 0);
        BuildRows(canvas_, canvasRows_, width_, height_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool FrameWalk::AppendCanvas()
{
    // Frames are kept up to kFrameBudget, and not beyond what the file's data could fill (every
    // pixel of every frame coded anew at deflate's best ratio, four bytes a pixel).
    const uint64_t dataBound = fileSize_ > kFrameBudget / (DataBound::kDeflate * 4) ? kFrameBudget
                                                                                   : fileSize_ * DataBound::kDeflate * 4;
    const uint64_t budget = std::min(kFrameBudget, dataBound);
    if (static_cast<uint64_t>(frames_.size() + 1) * frameBytes_ > budget && !frames_.empty()) {
        decodingOff_ = true;
        delete decoder_;
        decoder_ = nullptr;
        return true;
    }
    try {
        ApngFrame frame;
        frame.width = width_;
        frame.height = height_;
        frame.delayNumerator = delayNumerator_;
        frame.delayDenominator = delayDenominator_;
        frame.pixels = canvas_;
        frames_.push_back(std::move(frame));
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool FrameWalk::CompleteFrame()
{
    if (ApngReader::FinishDecoder(decoder_) != 0)
        return false;
    try {
        std::vector<uint8_t> next;
        if (dispose_ == 2)
            next = canvas_;
        ApngReader::ComposeFrame(canvasRows_.data(), raw_.rows.data(), blend_, x0_, y0_, w0_, h0_);
        if (!AppendCanvas())
            return false;
        if (dispose_ != 2)
            next = canvas_;
        if (dispose_ == 1) {
            for (uint32_t j = y0_; j < y0_ + h0_; ++j)
                memset(next.data() + static_cast<size_t>(j) * width_ * 4 + static_cast<size_t>(x0_) * 4, 0,
                       static_cast<size_t>(w0_) * 4);
        }
        canvas_.swap(next);
        BuildRows(canvas_, canvasRows_, width_, height_);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

bool FrameWalk::TakeFrameControl(const ApngReader::Record& record)
{
    if (record.size() < 12 + 26)
        return false;
    const uint8_t* d = record.data() + 8 + 4;   // after the sequence number
    const uint32_t w = BigU32(d);
    const uint32_t h = BigU32(d + 4);
    const uint32_t x = BigU32(d + 8);
    const uint32_t y = BigU32(d + 12);
    w0_ = w;
    h0_ = h;
    x0_ = x;
    y0_ = y;
    delayNumerator_ = BigU16(d + 16);
    delayDenominator_ = BigU16(d + 18);
    dispose_ = d[20];
    blend_ = d[21];
    if (w > kMaxSide || h > kMaxSide || x > kMaxSide || y > kMaxSide)
        return false;
    if (x + w > width_ || y + h > height_ || dispose_ > 2 || blend_ > 1)
        return false;
    return true;
}

bool FrameWalk::Run(ApngReader::Record&& ihdr)
{
    ihdr_ = std::move(ihdr);
    width_ = BigU32(ihdr_.data() + 8);
    height_ = BigU32(ihdr_.data() + 12);
    frameBytes_ = static_cast<uint64_t>(width_) * height_ * 4;
    w0_ = width_;
    h0_ = height_;
    if (frameBytes_ == 0 || frameBytes_ > INT32_MAX || !DataBound::Fits(width_, height_, 1, fileSize_, DataBound::kDeflate) ||
        !MakeBuffers())
        return false;
    if (ApngReader::StartDecoder(decoder_, raw_, false, ihdr_, kept_) != 0)
        return true;

    while (Position(file_) < fileSize_) {
        ApngReader::Record record;
        const uint32_t type = ApngReader::ReadChunk(file_, record, fileSize_);
        if (type == 0)
            break;

        bool other = false;
        if (type == kacTL) {
            if (!imageDataSeen_ && !animated_) {
                animated_ = true;
                defaultOutside_ = true;
                continue;
            }
            other = true;
        } else if (type == kfcTL) {
            if (imageDataSeen_ && !animated_) {
                other = true;
            } else {
                if (imageDataSeen_ && !decodingOff_ && !CompleteFrame())
                    break;
                if (!TakeFrameControl(record))
                    break;
                if (imageDataSeen_) {
                    if (!decodingOff_) {
                        PutBigU32(ihdr_.data() + 8, w0_);
                        PutBigU32(ihdr_.data() + 12, h0_);
                        if (ApngReader::StartDecoder(decoder_, raw_, true, ihdr_, kept_) != 0)
                            break;
                    }
                } else {
                    defaultOutside_ = false;   // the default image is the animation's first frame
                }
                const size_t count = frames_.size();
                if ((count == 1 && defaultOutside_) || (count == 0 && !defaultOutside_)) {
                    blend_ = 0;
                    if (dispose_ == 2)
                        dispose_ = 1;
                }
                continue;
            }
        } else if (type == kIDAT) {
            imageDataSeen_ = true;
            if (!decodingOff_ && ApngReader::FeedDecoder(decoder_, record.data(), record.size()) != 0)
                break;
            continue;
        } else if (type == kfdAT) {
            if (!animated_) {
                other = true;
            } else {
                if (record.size() < 16)
                    break;
                if (decodingOff_)
                    continue;
                // The record becomes an IDAT chunk that starts 4 bytes later, over the sequence number.
                PutBigU32(record.data() + 4, static_cast<uint32_t>(record.size() - 16));
                memcpy(record.data() + 8, "IDAT", 4);
                if (ApngReader::FeedDecoder(decoder_, record.data() + 4, record.size() - 4) != 0)
                    break;
                continue;
            }
        } else if (type == kIEND) {
            if (imageDataSeen_ && !decodingOff_ && ApngReader::FinishDecoder(decoder_) == 0) {
                ApngReader::ComposeFrame(canvasRows_.data(), raw_.rows.data(), blend_, x0_, y0_, w0_, h0_);
                AppendCanvas();
            }
            break;
        } else {
            other = true;
        }

        if (other) {
            const uint8_t* name = record.data() + 4;
            if (!IsLetter(name[0]) || !IsLetter(name[1]) || !IsLetter(name[2]) || !IsLetter(name[3]))
                break;
            if (imageDataSeen_)
                continue;   // dropped
            if (ApngReader::FeedDecoder(decoder_, record.data(), record.size()) != 0)
                break;
            try {
                kept_.push_back(std::move(record));
            } catch (const std::bad_alloc&) {
                break;
            }
        }
    }
    return true;
}

}  // namespace

ApngReader::Decoder::~Decoder()
{
    if (png)
        png_destroy_read_struct(&png, info ? &info : nullptr, nullptr);
}

uint32_t ApngReader::ReadChunk(FILE* file, Record& record, uint64_t fileSize)
{
    uint8_t lengthBytes[4];
    record.clear();
    const size_t got = fread(lengthBytes, 1, 4, file);
    if (got < 4) {
        record.assign(lengthBytes, lengthBytes + got);
        return 0;
    }
    const uint32_t length = BigU32(lengthBytes);
    if (length > kMaxChunkLength)
        return 0;
    const uint64_t position = Position(file);
    const uint64_t left = fileSize > position ? fileSize - position : 0;
    if (static_cast<uint64_t>(length) + 8 > left) {
        // The record cannot be whole: the file ends inside it.
        _fseeki64(file, 0, SEEK_END);
        return 0;
    }
    try {
        record.resize(static_cast<size_t>(length) + 12);
    } catch (const std::bad_alloc&) {
        return 0;
    }
    memcpy(record.data(), lengthBytes, 4);
    if (fread(record.data() + 4, 1, static_cast<size_t>(length) + 8, file) != static_cast<size_t>(length) + 8)
        return 0;
    return BigU32(record.data() + 4);
}

void ApngReader::OnInfo(png_structp png, png_infop info)
{
    png_set_bgr(png);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 255, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);

    const RawFrame* raw = static_cast<const RawFrame*>(png_get_progressive_ptr(png));
    if (!raw || png_get_rowbytes(png, info) > static_cast<size_t>(raw->width) * 4 ||
        png_get_image_height(png, info) > raw->height)
        png_error(png, "frame larger than the canvas");
}

void ApngReader::OnRow(png_structp png, png_bytep newRow, png_uint_32 rowNumber, int)
{
    RawFrame* raw = static_cast<RawFrame*>(png_get_progressive_ptr(png));
    if (!raw || rowNumber >= raw->height)
        return;
    png_progressive_combine_row(png, raw->rows[rowNumber], newRow);
}

int ApngReader::StartDecoder(Decoder*& decoder, RawFrame& raw, bool imageDataSeen, const Record& ihdr,
                             const std::vector<Record>& kept)
{
    delete decoder;
    decoder = new (std::nothrow) Decoder;
    if (!decoder)
        return 1;
    decoder->png = CreatePngReadStruct(nullptr, SilentError, SilentWarning);
    if (decoder->png)
        decoder->info = png_create_info_struct(decoder->png);
    if (!decoder->png || !decoder->info) {
        delete decoder;
        decoder = nullptr;
        return 1;
    }

    png_structp png = decoder->png;
    png_infop info = decoder->info;
    auto body = [&] {
        png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
        png_set_progressive_read_fn(png, &raw, OnInfo, OnRow, nullptr);
        png_process_data(png, info, const_cast<png_bytep>(kSignature), sizeof(kSignature));
        png_process_data(png, info, const_cast<png_bytep>(ihdr.data()), ihdr.size());
        if (imageDataSeen) {
            for (const Record& chunk : kept)
                png_process_data(png, info, const_cast<png_bytep>(chunk.data()), chunk.size());
        }
    };
    if (!RunPngGuarded(png, body)) {
        delete decoder;
        decoder = nullptr;
        return 1;
    }
    return 0;
}

int ApngReader::FeedDecoder(Decoder*& decoder, const uint8_t* bytes, size_t count)
{
    if (!decoder)
        return 1;
    png_structp png = decoder->png;
    png_infop info = decoder->info;
    auto body = [&] { png_process_data(png, info, const_cast<png_bytep>(bytes), count); };
    if (!RunPngGuarded(png, body)) {
        delete decoder;
        decoder = nullptr;
        return 1;
    }
    return 0;
}

int ApngReader::FinishDecoder(Decoder*& decoder)
{
    if (!decoder)
        return 1;
    png_structp png = decoder->png;
    png_infop info = decoder->info;
    auto body = [&] { png_process_data(png, info, const_cast<png_bytep>(kEmptyIend), sizeof(kEmptyIend)); };
    const bool ok = RunPngGuarded(png, body);
    delete decoder;
    decoder = nullptr;
    return ok ? 0 : 1;
}

void ApngReader::ComposeFrame(uint8_t* const* canvasRows, const uint8_t* const* rawRows, int blend, uint32_t x,
                              uint32_t y, uint32_t w, uint32_t h)
{
    for (uint32_t j = 0; j < h; ++j) {
        const uint8_t* source = rawRows[j];
        uint8_t* target = canvasRows[y + j] + static_cast<size_t>(x) * 4;
        if (blend == 0) {
            memcpy(target, source, static_cast<size_t>(w) * 4);
            continue;
        }
        for (uint32_t i = 0; i < w; ++i, source += 4, target += 4) {
            const uint32_t sa = source[3];
            const uint32_t da = target[3];
            if (sa == 255 || (sa != 0 && da == 0)) {
                memcpy(target, source, 4);
                continue;
            }
            if (sa == 0)
                continue;
            const uint32_t u = sa * 255;
            const uint32_t v = (255 - sa) * da;
            const uint32_t a = u + v;
            for (int c = 0; c < 3; ++c)
                target[c] = static_cast<uint8_t>((source[c] * u + target[c] * v) / a);
            target[3] = static_cast<uint8_t>(a / 255);
        }
    }
}

int ReadAnimatedPng(NImageFile*, const wchar_t* path, std::vector<ApngFrame>& frames, uint64_t* consumedSize)
{
    ScopedFile in(path, L"rb");
    FILE* const file = in.Get();
    if (!file)
        return -1;
    uint64_t fileSize = 0;
    if (_fseeki64(file, 0, SEEK_END) == 0)
        fileSize = Position(file);
    _fseeki64(file, 0, SEEK_SET);

    const size_t before = frames.size();
    auto finish = [&](bool storePosition) {
        if (storePosition && consumedSize)
            *consumedSize = Position(file);
        in.Close();
        return frames.size() > before ? 0 : -1;
    };

    uint8_t signature[8];
    if (fread(signature, 1, 8, file) < 8 || png_sig_cmp(signature, 0, 8) != 0)
        return finish(true);
    ApngReader::Record ihdr;
    if (ApngReader::ReadChunk(file, ihdr, fileSize) != kIHDR || ihdr.size() != 25)
        return finish(true);
    const uint32_t width = BigU32(ihdr.data() + 8);
    const uint32_t height = BigU32(ihdr.data() + 12);
    if (width > kMaxSide || height > kMaxSide)
        return finish(false);

    FrameWalk walk(file, fileSize, frames);
    walk.Run(std::move(ihdr));
    return finish(true);
}
