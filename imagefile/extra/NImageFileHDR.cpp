#include "imagefile/extra/NImageFileHDR.h"

#include "imagefile/ByteCursor.h"
#include "imagefile/DataBound.h"
#include "imagefile/SignatureWindow.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

constexpr int kGammaLevels = 32;
constexpr int kMinRunLength = 8;
constexpr int kMaxRunLength = 0x7FFF;
constexpr size_t kHeaderLine = 512;

bool IsBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Reads a decimal number after optional blanks; false when there is none or it does not fit.
bool ReadSize(const char* text, int& value)
{
    while (*text == ' ' || *text == '\t')
        ++text;
    if (*text < '0' || *text > '9')
        return false;
    int64_t number = 0;
    for (; *text >= '0' && *text <= '9'; ++text) {
        number = number * 10 + (*text - '0');
        if (number > INT32_MAX)
            return false;
    }
    value = static_cast<int>(number);
    return value > 0;
}

// Matches one character against a class that starts after '['; advances pattern past ']'.
// False in `closed` when the class has no end (the '[' is then an ordinary character).
bool MatchClass(const char*& pattern, char c, bool& closed)
{
    const char* p = pattern;
    bool matched = false;
    closed = false;
    if (*p == ']') {   // a ']' first belongs to the class
        matched = c == ']';
        ++p;
    }
    while (*p && *p != ']') {
        if (p[1] == '-' && p[2] && p[2] != ']') {
            if (static_cast<unsigned char>(c) >= static_cast<unsigned char>(p[0]) &&
                static_cast<unsigned char>(c) <= static_cast<unsigned char>(p[2]))
                matched = true;
            p += 3;
        } else {
            if (*p == c)
                matched = true;
            ++p;
        }
    }
    if (*p != ']')
        return false;
    closed = true;
    pattern = p + 1;
    return matched;
}

// Header bytes a walk reads before it gives up; real headers hold a few lines.
constexpr uint64_t kMaxHeaderWalked = 65536;

// How a scanline read by a walk came out.
enum class Scan { Read, Damaged, Beyond };

// ReadOldPixels without the pixels; `stop` bounds the position.
Scan SkipOldPixels(ByteCursor& in, int start, int count, uint64_t stop)
{
    int shift = 0;
    int i = start;
    while (i < count) {
        uint8_t pixel[4];
        if (in.Position() > stop || !in.Read(pixel, 4))
            return Scan::Beyond;
        if (pixel[0] == 1 && pixel[1] == 1 && pixel[2] == 1) {
            const uint64_t left = static_cast<uint64_t>(count - i);
            const uint64_t repeat = shift < 32 ? static_cast<uint64_t>(pixel[3]) << shift : left;
            i += static_cast<int>(std::min(repeat, left));
            shift += 8;
        } else {
            ++i;
            shift = 0;
        }
    }
    return Scan::Read;
}

// ReadScanline without the pixels.
Scan SkipScanline(ByteCursor& in, int count, uint64_t stop)
{
    if (count < kMinRunLength || count > kMaxRunLength)
        return SkipOldPixels(in, 0, count, stop);
    const uint64_t start = in.Position();
    uint8_t head[4];
    if (!in.Read(head, 1))
        return Scan::Beyond;
    if (head[0] != 2) {
        in.Seek(start);
        return SkipOldPixels(in, 0, count, stop);
    }
    if (!in.Read(head + 1, 3))
        return Scan::Beyond;
    if (head[1] != 2 || (head[2] & 0x80))
        return SkipOldPixels(in, 1, count, stop);
    if (head[2] * 256 + head[3] != count)
        return Scan::Damaged;
    for (int component = 0; component < 4; ++component) {
        int i = 0;
        while (i < count) {
            if (in.Position() > stop)
                return Scan::Beyond;
            const int code = in.Byte();
            if (code < 0)
                return Scan::Beyond;
            if (code > 128) {
                if (in.Byte() < 0)
                    return Scan::Beyond;
                if (code - 128 > count - i)
                    return Scan::Damaged;
                i += code - 128;
            } else {
                if (code > count - i)
                    return Scan::Damaged;
                if (!in.Skip(static_cast<uint64_t>(code)))
                    return Scan::Beyond;
                i += code;
            }
        }
    }
    return Scan::Read;
}

}  // namespace

PictureExtent NImageFileHDR::FindExtent(ByteSource& source)
{
    ByteCursor in(source);
    // The header as ReadHeader takes it: lines of at most 510 characters up to an empty one.
    char format[64] = {};
    bool hasFormat = false;
    for (;;) {
        char line[kHeaderLine] = {};
        size_t n = 0;
        while (n < kHeaderLine - 2) {
            const int c = in.Byte();
            if (c < 0)
                return PictureExtent::Unknown();
            line[n++] = static_cast<char>(c);
            if (c == '\n')
                break;
        }
        if (line[0] == '\n' || (line[0] == '\r' && line[1] == '\n'))
            break;
        HeaderLine(line, format, sizeof format, hasFormat);
        if (in.Position() > kMaxHeaderWalked)
            return PictureExtent::Unknown();
    }
    if (hasFormat && strcmp(format, "32-bit_rle_rgbe") != 0)
        return PictureExtent::Broken();

    // The resolution line: more than 63 characters is none, whatever follows.
    char resolution[64] = {};
    size_t n = 0;
    for (;;) {
        const int c = in.Byte();
        if (c == '\n')
            break;
        if (c < 0)
            return PictureExtent::Unknown();
        if (n + 1 >= sizeof resolution)
            return PictureExtent::Broken();
        resolution[n++] = static_cast<char>(c);
    }
    int xSize = 0;
    int ySize = 0;
    int bits = 0;
    // Load believes the size only as far as the file can fill it at the densest run-length coding.
    if (!ParseResolution(resolution, xSize, ySize, bits) || !NImageBuffer::CreatableSize(xSize, ySize, 24, false) ||
        !DataBound::Fits(xSize, ySize, 32, kLargestPicture, DataBound::kPackBits))
        return PictureExtent::Broken();

    const bool yMajor = (bits & kYMajor) != 0;
    const int scanlineLength = yMajor ? xSize : ySize;
    const int scanlines = yMajor ? ySize : xSize;
    // An encoder spends at most eight bytes on a pixel and four on each scanline's start.
    const uint64_t stop = in.Position() + static_cast<uint64_t>(scanlines) * (8 * uint64_t(scanlineLength) + 4) + 4096;
    for (int s = 0; s < scanlines; ++s) {
        if (SkipScanline(in, scanlineLength, stop) != Scan::Read)
            return PictureExtent::Unknown();   // damaged: Load counts the whole file
    }
    if (!DataBound::Fits(xSize, ySize, 32, in.Position(), DataBound::kPackBits))
        return PictureExtent::Unknown();   // cut at its end, the file would not be believed
    return PictureExtent::Complete(in.Position());
}

namespace {

// Where "#?RADIANCE" or "oconv" lies whole in the first 32 bytes, before any zero byte; -1 when
// neither does.
int FindHeaderText(const uint8_t* p)
{
    constexpr size_t headLength = 32;
    size_t textLength = 0;
    while (textLength < headLength && p[textLength] != 0)
        ++textLength;
    constexpr char radiance[] = "#?RADIANCE";
    constexpr char oconv[] = "oconv";
    for (size_t i = 0; i < textLength; ++i) {
        const size_t left = textLength - i;
        if (p[i] == '#' && left >= sizeof(radiance) - 1 && SignatureIs(p + i, radiance))
            return static_cast<int>(i);
        if (p[i] == 'o' && left >= sizeof(oconv) - 1 && SignatureIs(p + i, oconv))
            return static_cast<int>(i);
    }
    return -1;
}

}  // namespace

bool NImageFileHDR::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 33))
        return false;
    return FindHeaderText(bytes + offset) >= 0;
}

size_t NImageFileHDR::HeaderTextStart(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 33))
        return 0;
    const int at = FindHeaderText(bytes + offset);
    return at > 0 ? static_cast<size_t>(at) : 0;
}

FileType NImageFileHDR::GetFormatId() const
{
    return FT_HDR;
}

bool NImageFileHDR::IsHighDynamicRange() const
{
    return true;
}

// ---- Header ----

bool NImageFileHDR::FormatValue(const char* line, char* format, size_t formatSize)
{
    static const char key[] = "FORMAT=";
    if (strncmp(line, key, sizeof key - 1) != 0 || formatSize == 0)
        return false;
    const char* p = line + sizeof key - 1;
    while (*p && IsBlank(*p))
        ++p;
    // The value ends at the next blank; a longer value than the buffer holds is cut.
    size_t n = 0;
    while (p[n] && !IsBlank(p[n]) && n + 1 < formatSize) {
        format[n] = p[n];
        ++n;
    }
    format[n] = '\0';
    return true;
}

void NImageFileHDR::HeaderLine(const char* line, char* format, size_t formatSize, bool& hasFormat)
{
    if (FormatValue(line, format, formatSize))
        hasFormat = true;
}

int NImageFileHDR::ReadHeader(FILE* file, char* format, size_t formatSize, bool& hasFormat)
{
    char line[kHeaderLine];
    for (;;) {
        // At most 510 characters and the newline; the rest of a longer line is the next line.
        if (!fgets(line, static_cast<int>(sizeof line) - 1, file))
            return -1;
        if (line[0] == '\n' || (line[0] == '\r' && line[1] == '\n'))
            return 0;
        HeaderLine(line, format, formatSize, hasFormat);
    }
}

int NImageFileHDR::CheckHeader(FILE* file, const char* formatTemplate)
{
    char format[64] = {};
    bool hasFormat = false;
    if (ReadHeader(file, format, sizeof format, hasFormat) < 0)
        return -1;
    if (!hasFormat)
        return 0;
    if (strpbrk(formatTemplate, "*?"))
        return MatchFormat(formatTemplate, format) ? 1 : -1;
    return strcmp(formatTemplate, format) == 0 ? 1 : -1;
}

bool NImageFileHDR::MatchFormat(const char* pattern, const char* text)
{
    // Greedy matching with one back-up point at the last '*'.
    const char* starPattern = nullptr;
    const char* starText = nullptr;
    for (;;) {
        if (*pattern == '*') {
            while (*pattern == '*')
                ++pattern;
            if (!*pattern)
                return true;
            starPattern = pattern;
            starText = text;
            continue;
        }
        if (!*text)
            return !*pattern;
        bool step = false;
        const char* next = pattern;
        if (*pattern == '?') {
            step = true;
            ++next;
        } else if (*pattern == '[') {
            ++next;
            bool closed = false;
            step = MatchClass(next, *text, closed);
            if (!closed) {
                next = pattern + 1;
                step = *text == '[';
            }
        } else if (*pattern == '\\' && pattern[1]) {
            step = pattern[1] == *text;
            next = pattern + 2;
        } else if (*pattern) {
            step = *pattern == *text;
            ++next;
        }
        if (step) {
            pattern = next;
            ++text;
            continue;
        }
        if (!starPattern)
            return false;
        pattern = starPattern;
        text = ++starText;
    }
}

// ---- Resolution ----

bool NImageFileHDR::ParseResolution(const char* text, int& xSize, int& ySize, int& bits)
{
    const char* x = strrchr(text, 'X');
    const char* y = strrchr(text, 'Y');
    if (!x || !y)
        return false;
    bits = 0;
    if (y < x)
        bits |= kYMajor;
    if (x > text && x[-1] == '-')
        bits |= kXDecreasing;
    if (y > text && y[-1] == '-')
        bits |= kYDecreasing;
    return ReadSize(x + 1, xSize) && ReadSize(y + 1, ySize);
}

int NImageFileHDR::ReadResolution(FILE* file, int& xSize, int& ySize)
{
    // The whole line is consumed; only its start is kept (a longer line is no resolution).
    size_t n = 0;
    int c;
    bool tooLong = false;
    while ((c = fgetc(file)) != EOF && c != '\n') {
        if (n + 1 < sizeof resolutionLine)
            resolutionLine[n++] = static_cast<char>(c);
        else
            tooLong = true;
    }
    resolutionLine[n] = '\0';
    if (c == EOF || tooLong)
        return -1;
    int bits = 0;
    return ParseResolution(resolutionLine, xSize, ySize, bits) ? bits : -1;
}

// ---- Scanlines ----

int NImageFileHDR::ReadOldPixels(uint8_t* pixels, int start, int count, StdioStream& in)
{
    // A pixel 1, 1, 1, n repeats the previous one n << s times, s growing by 8 for each repeat
    // pixel in a row. A repeat with no pixel before it repeats black; no repeat passes the end.
    int shift = 0;
    int i = start;
    while (i < count) {
        uint8_t pixel[4];
        if (!in.ReadExact(pixel, 4))
            return -1;
        if (pixel[0] == 1 && pixel[1] == 1 && pixel[2] == 1) {
            const uint64_t left = static_cast<uint64_t>(count - i);
            const uint64_t repeat = shift < 32 ? static_cast<uint64_t>(pixel[3]) << shift : left;
            const int n = static_cast<int>(std::min(repeat, left));
            static const uint8_t black[4] = {0, 0, 0, 0};
            const uint8_t* previous = i > 0 ? pixels + static_cast<size_t>(i - 1) * 4 : black;
            for (int k = 0; k < n; ++k)
                memcpy(pixels + static_cast<size_t>(i + k) * 4, previous, 4);
            i += n;
            shift += 8;
        } else {
            memcpy(pixels + static_cast<size_t>(i) * 4, pixel, 4);
            ++i;
            shift = 0;
        }
    }
    return 0;
}

int NImageFileHDR::ReadOldScanline(uint8_t* pixels, int count, StdioStream& in)
{
    return ReadOldPixels(pixels, 0, count, in);
}

int NImageFileHDR::ReadScanline(uint8_t* pixels, int count, StdioStream& in)
{
    if (count < kMinRunLength || count > kMaxRunLength)
        return ReadOldPixels(pixels, 0, count, in);
    const int first = in.ReadByte();
    if (first == EOF)
        return -1;
    if (first != 2) {
        in.UnreadByte(first);
        return ReadOldPixels(pixels, 0, count, in);
    }
    const int g = in.ReadByte();
    const int b = in.ReadByte();
    const int c = in.ReadByte();
    if (g == EOF || b == EOF || c == EOF)
        return -1;
    if (g != 2 || (b & 0x80)) {
        pixels[0] = 2;
        pixels[1] = static_cast<uint8_t>(g);
        pixels[2] = static_cast<uint8_t>(b);
        pixels[3] = static_cast<uint8_t>(c);
        return ReadOldPixels(pixels, 1, count, in);
    }
    if (b * 256 + c != count)
        return -1;
    for (int component = 0; component < 4; ++component) {
        int i = 0;
        while (i < count) {
            const int code = in.ReadByte();
            if (code == EOF)
                return -1;
            if (code > 128) {
                const int run = code - 128;
                const int value = in.ReadByte();
                if (value == EOF || run > count - i)
                    return -1;
                for (int k = 0; k < run; ++k)
                    pixels[static_cast<size_t>(i + k) * 4 + component] = static_cast<uint8_t>(value);
                i += run;
            } else {
                if (code > count - i)
                    return -1;
                for (int k = 0; k < code; ++k) {
                    const int value = in.ReadByte();
                    if (value == EOF)
                        return -1;
                    pixels[static_cast<size_t>(i + k) * 4 + component] = static_cast<uint8_t>(value);
                }
                i += code;
            }
        }
    }
    return 0;
}

// ---- Tone mapping ----

void NImageFileHDR::ShiftExposure(uint8_t* pixels, int count, int shift)
{
    if (shift == 0)
        return;
    const int floor = std::max(-shift, 0);
    for (int i = 0; i < count; ++i) {
        uint8_t* p = pixels + static_cast<size_t>(i) * 4;
        if (p[3] > floor) {
            // Saturates: a bright pixel must not wrap round to a dark exponent.
            p[3] = static_cast<uint8_t>(std::min(p[3] + shift, 255));
        } else {
            p[0] = p[1] = p[2] = p[3] = 0;
        }
    }
}

void NImageFileHDR::BuildGammaTable(double gamma)
{
    const double exponent = 1.0 / gamma;
    for (int level = 0; level < kGammaLevels; ++level) {
        uint8_t* row = gammaTable.get() + static_cast<size_t>(level) * 256;
        const double scale = std::ldexp(1.0, 8 + level);
        for (int m = 0; m < 256; ++m) {
            const double value = 256.0 * std::pow((m + 0.5) / scale, exponent);
            row[m] = static_cast<uint8_t>(std::min(255.0, value));
        }
    }
}

bool NImageFileHDR::SetGamma(double gamma)
{
    if (!(gamma > 0.0))
        return false;
    if (!gammaTable)
        gammaTable.reset(new (std::nothrow) uint8_t[kGammaLevels * 256]);
    if (!gammaTable)
        return false;
    BuildGammaTable(gamma);
    return true;
}

void NImageFileHDR::ToGammaBytes(uint8_t* pixels, int count) const
{
    if (!gammaTable)
        return;
    const uint8_t* table = gammaTable.get();
    for (int i = 0; i < count; ++i) {
        uint8_t* p = pixels + static_cast<size_t>(i) * 4;
        const int x = p[3] - 128;
        for (int k = 0; k < 3; ++k) {
            const unsigned m = p[k];
            if (x > 8) {
                p[k] = 255;
            } else if (x > 0) {
                const unsigned scaled = (2 * m + 1) << (x - 1);
                p[k] = scaled >= 256 ? 255 : table[scaled];
            } else if (x >= -31) {
                p[k] = table[static_cast<size_t>(-x) * 256 + m];
            } else if (x >= -39) {
                p[k] = table[static_cast<size_t>(31) * 256 + (((m >> (-x - 32)) + 1) >> 1)];
            } else {
                p[k] = 0;
            }
        }
        p[3] = 128;
    }
}

// ---- Load ----

NRESULT NImageFileHDR::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    FILE* file = in.Get();

    int xSize = 0;
    int ySize = 0;
    if (CheckHeader(file, "32-bit_rle_rgbe") < 0)
        return NR_FORMAT_INIT_FAILED;
    const int bits = ReadResolution(file, xSize, ySize);
    if (bits < 0)
        return NR_FORMAT_INIT_FAILED;

    // The picture is X wide and Y high whichever axis the scanlines follow.
    NImageBuffer& out = target ? *target : picture;
    // RGBE pixels, run-length coded per channel at best (127 bytes from a 2-byte run).
    if (xSize > 0 && ySize > 0 &&
        !DataBound::Fits(static_cast<uint64_t>(xSize), static_cast<uint64_t>(ySize), 32, DataBound::FileLength(path),
                         DataBound::kPackBits))
        return NR_INVALID_DATA;
    // A verification reads every scanline, which tells the picture's end, but keeps none: the
    // answer does not depend on the pixels (a damaged scanline leaves the rest black).
    const bool verifyOnly = loadOptions.verifyOnly != 0;
    if (!out.Create(verifyOnly ? 1 : xSize, verifyOnly ? 1 : ySize, 24, 0, nullptr))
        return NR_PICTURE_CREATE_FAILED;

    const bool yMajor = (bits & kYMajor) != 0;
    const int scanlineLength = yMajor ? xSize : ySize;
    const int scanlines = yMajor ? ySize : xSize;
    std::unique_ptr<uint8_t[]> scanline(new (std::nothrow) uint8_t[static_cast<size_t>(scanlineLength) * 4]);
    if (!scanline || !SetGamma(2.0)) {
        out.Destroy();
        return NR_ALLOCATION_FAILED;
    }

    const size_t stride = static_cast<size_t>(out.stride);
    const int shift = loadOptions.toneParameter;
    bool complete = true;
    for (int s = 0; s < scanlines; ++s) {
        memset(scanline.get(), 0, static_cast<size_t>(scanlineLength) * 4);
        if (ReadScanline(scanline.get(), scanlineLength, in) < 0) {
            complete = false;   // the rest of the picture stays black
            break;
        }
        if (verifyOnly)
            continue;
        if (shift != 0)
            ShiftExposure(scanline.get(), scanlineLength, shift);
        ToGammaBytes(scanline.get(), scanlineLength);
        for (int i = 0; i < scanlineLength; ++i) {
            // Column and row (from the top) of pixel i of scanline s.
            int column;
            int rowFromTop;
            if (yMajor) {
                rowFromTop = (bits & kYDecreasing) ? s : ySize - 1 - s;
                column = (bits & kXDecreasing) ? xSize - 1 - i : i;
            } else {
                column = (bits & kXDecreasing) ? xSize - 1 - s : s;
                rowFromTop = (bits & kYDecreasing) ? i : ySize - 1 - i;
            }
            const uint8_t* p = scanline.get() + static_cast<size_t>(i) * 4;
            uint8_t* q = out.bits + static_cast<size_t>(ySize - 1 - rowFromTop) * stride + static_cast<size_t>(column) * 3;
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    }
    gammaTable.reset();

    // Where a scanline failed the end of the picture is unknown: the whole file counts.
    consumedSize = complete && in.Tell() > 0 ? static_cast<uint64_t>(in.Tell()) : in.Length();
    fullWidth = xSize;
    fullHeight = ySize;
    verifiedSmaller = verifyOnly ? 1 : 0;
    return NR_OK;
}
