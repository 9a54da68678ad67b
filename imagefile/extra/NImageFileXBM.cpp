#include "imagefile/extra/NImageFileXBM.h"

#include "imagefile/DataBound.h"
#include "imagefile/extra/StdioStream.h"

#include <cstdio>
#include <cstring>

namespace {

// Every element of the array takes at least two characters ("0,").
constexpr uint64_t kElementBytes = 2;

bool IsSpace(int c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// The text with C comments left out.
class XbmText {
public:
    explicit XbmText(StdioStream& in) : in_(in) {}

    int Next()
    {
        if (pending_ >= 0) {
            const int c = pending_;
            pending_ = -1;
            return c;
        }
        int c = in_.ReadByte();
        while (c == '/') {
            const int d = in_.ReadByte();
            if (d != '*') {
                pending_ = d;
                return c;
            }
            // Skip to "*/".
            int previous = 0;
            for (c = in_.ReadByte(); c >= 0 && !(previous == '*' && c == '/'); c = in_.ReadByte())
                previous = c;
            if (c < 0)
                return -1;
            c = in_.ReadByte();
        }
        return c;
    }

    void PutBack(int c) { pending_ = c; }

    // True when the next characters spell the word and a white-space character follows; consumed
    // as far as they match (the first character that does not match is put back).
    bool Word(const char* word)
    {
        for (; *word; ++word) {
            const int c = Next();
            if (c != *word) {
                PutBack(c);
                return false;
            }
        }
        const int c = Next();
        PutBack(c);
        return IsSpace(c);
    }

    // A number: skips to the first decimal digit (0 at the end of the text); "0x" starts
    // hexadecimal, 0 followed by a digit octal, other digits decimal. Held to 32 bits.
    uint64_t Number()
    {
        int c = Next();
        while (c >= 0 && (c < '0' || c > '9'))
            c = Next();
        if (c < 0)
            return 0;
        unsigned base = 10;
        uint64_t value = 0;
        if (c == '0') {
            c = Next();
            if (c == 'x' || c == 'X') {
                base = 16;
                c = Next();
            } else if (c >= '0' && c <= '9') {
                base = 8;
            } else {
                PutBack(c);
                return 0;
            }
        }
        for (;; c = Next()) {
            unsigned digit;
            if (c >= '0' && c <= '9')
                digit = static_cast<unsigned>(c - '0');
            else if (base == 16 && c >= 'a' && c <= 'f')
                digit = static_cast<unsigned>(c - 'a' + 10);
            else if (base == 16 && c >= 'A' && c <= 'F')
                digit = static_cast<unsigned>(c - 'A' + 10);
            else
                break;
            if (digit >= base)
                break;
            value = value * base + digit;
            if (value > UINT32_MAX)
                value = UINT32_MAX;
        }
        PutBack(c);
        return value;
    }

private:
    StdioStream& in_;
    int pending_ = -1;
};

}  // namespace

bool NImageFileXBM::IsFormat(const uint8_t*, size_t, size_t)
{
    return false;
}

NRESULT NImageFileXBM::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    XbmText text(in);
    uint64_t width = 0;
    uint64_t height = 0;
    unsigned elementBits = 0;
    int c;
    while ((c = text.Next()) >= 0 && c != '{') {
        if (IsSpace(c)) {
            const int d = text.Next();
            text.PutBack(d);
            if (d == 'c' && text.Word("char"))
                elementBits = 8;
            else if (d == 's' && text.Word("short"))
                elementBits = 16;
        } else if (c == '_') {
            const int d = text.Next();
            text.PutBack(d);
            if (d == 'w' && text.Word("width"))
                width = text.Number();
            else if (d == 'h' && text.Word("height"))
                height = text.Number();
            else if (d == 'x' && text.Word("x_hot"))
                text.Number();
            else if (d == 'y' && text.Word("y_hot"))
                text.Number();
        }
    }
    if (c != '{' || width == 0 || height == 0 || elementBits == 0 || width > INT32_MAX || height > INT32_MAX)
        return NR_INVALID_DATA;
    const uint64_t rowElements = (width + elementBits - 1) / elementBits;
    const int64_t here = in.Tell();
    const uint64_t rest = here >= 0 && static_cast<uint64_t>(here) < in.Length() ? in.Length() - static_cast<uint64_t>(here) : 0;
    if (!DataBound::Yields(DataBound::PackedBytes(rowElements, height, 8), rest, 1, kElementBytes))
        return NR_INVALID_DATA;

    const uint8_t palette[256 * 3] = {255, 255, 255, 0, 0, 0};   // 0 white, 1 black
    if (!pic.Create(static_cast<int>(width), static_cast<int>(height), 1, 0, palette))
        return NR_PICTURE_CREATE_FAILED;
    memset(pic.bits, 0, static_cast<size_t>(pic.stride) * pic.height);
    for (uint64_t y = 0; y < height; ++y) {
        uint8_t* out = pic.bits + static_cast<size_t>(height - 1 - y) * pic.stride;
        for (uint64_t e = 0; e < rowElements; ++e) {
            const uint64_t value = text.Number();
            for (unsigned bit = 0; bit < elementBits; ++bit) {
                const uint64_t x = e * elementBits + bit;
                if (x >= width)
                    break;
                if (value & (uint64_t{1} << bit))
                    out[x / 8] = static_cast<uint8_t>(out[x / 8] | (0x80 >> (x & 7)));
            }
        }
    }

    consumedSize = in.PositionInFile();
    fullWidth = pic.width;
    fullHeight = pic.height;
    return NR_OK;
}

FileType NImageFileXBM::GetFormatId() const
{
    return FT_XBM;
}
