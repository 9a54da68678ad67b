#include "imagefile/formats/PdfLayout.h"

#include <algorithm>
#include <string_view>

#include "base/ByteSearch.h"

namespace {

constexpr int kMaxDepth = 32;

bool IsWhite(uint8_t c)
{
    return c == 0 || c == 9 || c == 10 || c == 12 || c == 13 || c == 32;
}

bool IsDelimiter(uint8_t c)
{
    return c == '(' || c == ')' || c == '<' || c == '>' || c == '[' || c == ']' || c == '{' || c == '}' ||
           c == '/' || c == '%';
}

bool IsRegular(uint8_t c)
{
    return !IsWhite(c) && !IsDelimiter(c);
}

bool IsDigit(uint8_t c)
{
    return c >= '0' && c <= '9';
}

enum class Tok { End, Number, Name, Keyword, String, DictOpen, DictClose, ArrayOpen, ArrayClose, Other };

struct Token {
    Tok kind = Tok::End;
    size_t start = 0;
    std::string_view text;      // name (without '/') or keyword
    int64_t integer = 0;
    bool isInteger = false;
};

// The tokens of PDF's object syntax over a byte buffer.
class Lexer {
public:
    Lexer(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    size_t pos = 0;

    bool StartsWith(size_t at, std::string_view text) const
    {
        return at <= size_ && size_ - at >= text.size() &&
               std::equal(text.begin(), text.end(), reinterpret_cast<const char*>(data_ + at));
    }

    void SkipWhite()
    {
        while (pos < size_ && IsWhite(data_[pos]))
            ++pos;
    }

    void SkipLine()
    {
        while (pos < size_ && data_[pos] != '\n' && data_[pos] != '\r')
            ++pos;
    }

    Token Next()
    {
        for (;;) {
            SkipWhite();
            if (pos < size_ && data_[pos] == '%')
                SkipLine();
            else
                break;
        }
        Token token;
        token.start = pos;
        if (pos >= size_)
            return token;
        const uint8_t c = data_[pos];
        if (c == '(') {
            SkipLiteralString();
            token.kind = Tok::String;
        } else if (c == '<') {
            if (pos + 1 < size_ && data_[pos + 1] == '<') {
                pos += 2;
                token.kind = Tok::DictOpen;
            } else {
                while (pos < size_ && data_[pos] != '>')
                    ++pos;
                pos = std::min(pos + 1, size_);
                token.kind = Tok::String;
            }
        } else if (c == '>') {
            if (pos + 1 < size_ && data_[pos + 1] == '>') {
                pos += 2;
                token.kind = Tok::DictClose;
            } else {
                ++pos;
                token.kind = Tok::Other;
            }
        } else if (c == '[') {
            ++pos;
            token.kind = Tok::ArrayOpen;
        } else if (c == ']') {
            ++pos;
            token.kind = Tok::ArrayClose;
        } else if (c == '/') {
            const size_t begin = ++pos;
            while (pos < size_ && IsRegular(data_[pos]))
                ++pos;
            token.kind = Tok::Name;
            token.text = Text(begin, pos);
        } else if (IsDelimiter(c)) {   // ')', '{', '}'
            ++pos;
            token.kind = Tok::Other;
        } else {
            const size_t begin = pos;
            while (pos < size_ && IsRegular(data_[pos]))
                ++pos;
            token.text = Text(begin, pos);
            token.kind = ParseNumber(token.text, token.integer, token.isInteger) ? Tok::Number : Tok::Keyword;
        }
        return token;
    }

    // "N G obj" at `at`: the object number, and the position after "obj".
    bool MatchObjectHeader(size_t at, int32_t& number, size_t& after) const
    {
        size_t p = at;
        int64_t value = 0;
        if (!ReadDigits(p, 10, value))
            return false;
        if (!SkipSomeWhite(p))
            return false;
        int64_t generation = 0;
        if (!ReadDigits(p, 5, generation))
            return false;
        if (!SkipSomeWhite(p))
            return false;
        if (!StartsWith(p, "obj"))
            return false;
        p += 3;
        if (p < size_ && IsRegular(data_[p]))
            return false;
        if (value > INT32_MAX)
            return false;
        number = static_cast<int32_t>(value);
        after = p;
        return true;
    }

    const uint8_t* Data() const { return data_; }
    size_t Size() const { return size_; }

private:
    std::string_view Text(size_t begin, size_t end) const
    {
        return std::string_view(reinterpret_cast<const char*>(data_ + begin), end - begin);
    }

    void SkipLiteralString()
    {
        int depth = 0;
        while (pos < size_) {
            const uint8_t c = data_[pos++];
            if (c == '\\') {
                ++pos;
            } else if (c == '(') {
                ++depth;
            } else if (c == ')') {
                if (--depth == 0)
                    break;
            }
        }
        pos = std::min(pos, size_);
    }

    static bool ParseNumber(std::string_view text, int64_t& integer, bool& isInteger)
    {
        size_t i = 0;
        if (i < text.size() && (text[i] == '+' || text[i] == '-'))
            ++i;
        bool digits = false;
        bool dot = false;
        int64_t value = 0;
        for (; i < text.size(); ++i) {
            const char c = text[i];
            if (c >= '0' && c <= '9') {
                digits = true;
                if (!dot)
                    value = value > (INT64_MAX - 9) / 10 ? INT64_MAX : value * 10 + (c - '0');
            } else if (c == '.' && !dot) {
                dot = true;
            } else {
                return false;
            }
        }
        if (!digits)
            return false;
        integer = !text.empty() && text[0] == '-' ? -value : value;
        isInteger = !dot;
        return true;
    }

    bool ReadDigits(size_t& p, int most, int64_t& value) const
    {
        const size_t begin = p;
        value = 0;
        while (p < size_ && IsDigit(data_[p]) && p - begin < static_cast<size_t>(most))
            value = value * 10 + (data_[p++] - '0');
        return p > begin && (p >= size_ || !IsDigit(data_[p]));
    }

    bool SkipSomeWhite(size_t& p) const
    {
        const size_t begin = p;
        while (p < size_ && IsWhite(data_[p]) && p - begin < 64)
            ++p;
        return p > begin;
    }

    const uint8_t* data_;
    size_t size_;
};

// What a parsed value was, in short.
struct Summary {
    Tok kind = Tok::End;
    bool isRef = false;
    int32_t ref = 0;
    int64_t integer = 0;
    bool isInteger = false;
    std::string_view name;       // names and keywords
    size_t arrayCount = 0;
    std::string_view firstName;  // an array's first element, when a name
};

// Receives the entries of a dictionary; ChildFor gives the receiver of an entry's own
// dictionary (or of the first dictionary in its array).
class DictVisitor {
public:
    virtual ~DictVisitor() = default;
    virtual DictVisitor* ChildFor(std::string_view) { return nullptr; }
    virtual void Entry(std::string_view, const Summary&) {}
};

bool ParseValue(Lexer& lexer, const Token& first, int depth, DictVisitor* visitor, Summary& out);

bool ParseDictionary(Lexer& lexer, int depth, DictVisitor* visitor)
{
    for (;;) {
        const Token key = lexer.Next();
        if (key.kind == Tok::DictClose)
            return true;
        if (key.kind != Tok::Name)
            return false;
        DictVisitor* child = visitor ? visitor->ChildFor(key.text) : nullptr;
        Summary value;
        if (!ParseValue(lexer, lexer.Next(), depth + 1, child, value))
            return false;
        if (visitor)
            visitor->Entry(key.text, value);
    }
}

bool ParseValue(Lexer& lexer, const Token& first, int depth, DictVisitor* visitor, Summary& out)
{
    if (depth > kMaxDepth)
        return false;
    out.kind = first.kind;
    switch (first.kind) {
    case Tok::Number: {
        out.integer = first.integer;
        out.isInteger = first.isInteger;
        if (first.isInteger && first.integer >= 0 && first.integer <= INT32_MAX) {
            const size_t saved = lexer.pos;
            const Token generation = lexer.Next();
            if (generation.kind == Tok::Number && generation.isInteger) {
                const Token r = lexer.Next();
                if (r.kind == Tok::Keyword && r.text == "R") {
                    out.isRef = true;
                    out.ref = static_cast<int32_t>(first.integer);
                    return true;
                }
            }
            lexer.pos = saved;
        }
        return true;
    }
    case Tok::Name:
    case Tok::Keyword:
        out.name = first.text;
        return first.text != "stream" && first.text != "endstream" && first.text != "endobj" &&
               first.text != "obj";
    case Tok::String:
        return true;
    case Tok::DictOpen:
        return ParseDictionary(lexer, depth, visitor);
    case Tok::ArrayOpen:
        for (;;) {
            const Token element = lexer.Next();
            if (element.kind == Tok::ArrayClose)
                return true;
            Summary inner;
            if (!ParseValue(lexer, element, depth + 1, out.arrayCount == 0 ? visitor : nullptr, inner))
                return false;
            if (out.arrayCount == 0 && inner.kind == Tok::Name)
                out.firstName = inner.name;
            ++out.arrayCount;
        }
    default:
        return false;
    }
}

int64_t DirectInteger(const Summary& value)
{
    return value.kind == Tok::Number && value.isInteger && !value.isRef ? value.integer : -1;
}

PdfFilter FilterOf(std::string_view name)
{
    if (name == "DCTDecode")
        return PdfFilter::Dct;
    if (name == "FlateDecode")
        return PdfFilter::Flate;
    return PdfFilter::Other;
}

PdfColourSpace ColourSpaceOf(std::string_view name)
{
    if (name == "DeviceGray")
        return PdfColourSpace::Gray;
    if (name == "DeviceRGB")
        return PdfColourSpace::Rgb;
    if (name == "DeviceCMYK")
        return PdfColourSpace::Cmyk;
    return PdfColourSpace::Unknown;
}

class ParmsVisitor : public DictVisitor {
public:
    explicit ParmsVisitor(PdfImage& image) : image_(image) {}
    void Entry(std::string_view key, const Summary& value) override
    {
        if (key == "Predictor")
            image_.predictor = DirectInteger(value);
        else if (key == "Colors")
            image_.colors = DirectInteger(value);
        else if (key == "Columns")
            image_.columns = DirectInteger(value);
        else if (key == "BitsPerComponent")
            image_.parmsBitsPerComponent = DirectInteger(value);
    }

private:
    PdfImage& image_;
};

// The entries of an object's dictionary that matter: image facts, the stream length, masks.
class ObjectVisitor : public DictVisitor {
public:
    ObjectVisitor() : parms_(image) {}

    DictVisitor* ChildFor(std::string_view key) override
    {
        return key == "DecodeParms" ? &parms_ : nullptr;
    }

    void Entry(std::string_view key, const Summary& value) override
    {
        if (key == "Subtype") {
            isImage = value.kind == Tok::Name && value.name == "Image";
        } else if (key == "Length") {
            length = DirectInteger(value);
        } else if (key == "Width") {
            image.width = DirectInteger(value);
        } else if (key == "Height") {
            image.height = DirectInteger(value);
        } else if (key == "BitsPerComponent") {
            image.bitsPerComponent = DirectInteger(value);
        } else if (key == "ImageMask") {
            image.imageMask = value.kind == Tok::Keyword && value.name == "true";
        } else if (key == "ColorSpace") {
            if (value.kind == Tok::Name)
                image.colourSpace = ColourSpaceOf(value.name);
        } else if (key == "Filter") {
            if (value.kind == Tok::Name)
                image.filter = FilterOf(value.name);
            else if (value.kind == Tok::ArrayOpen && value.arrayCount == 1)
                image.filter = FilterOf(value.firstName);
            else if (value.kind == Tok::ArrayOpen && value.arrayCount == 0)
                image.filter = PdfFilter::None;
            else
                image.filter = PdfFilter::Other;
        } else if (key == "SMask" || key == "Mask") {
            if (value.isRef)
                maskRefs.push_back(value.ref);
        }
    }

    PdfImage image;
    bool isImage = false;
    int64_t length = -1;
    std::vector<int32_t> maskRefs;

private:
    ParmsVisitor parms_;
};

class Walker {
public:
    Walker(const uint8_t* data, size_t size) : lexer_(data, size), data_(data), size_(size) {}

    PdfLayout Run()
    {
        // The header line is a comment; start after it.
        lexer_.pos = 0;
        lexer_.SkipLine();
        bool sawEnd = false;
        bool readPastEnd = false;   // objects or tables after the last "%%EOF"
        for (;;) {
            lexer_.SkipWhite();
            const size_t at = lexer_.pos;
            if (at >= size_) {
                // Content after the last "%%EOF" ran into the end of the data: a revision that
                // was cut off, so the document's end is not in the data.
                if (readPastEnd)
                    layout_.end = 0;
                break;
            }
            if (data_[at] == '%') {
                if (lexer_.StartsWith(at, "%%EOF")) {
                    size_t p = at + 5;
                    if (p < size_ && data_[p] == '\r')
                        ++p;
                    if (p < size_ && data_[p] == '\n')
                        ++p;
                    layout_.end = p;
                    sawEnd = true;
                    readPastEnd = false;
                    lexer_.pos = p;
                    continue;
                }
                if (lexer_.StartsWith(at, "%PDF-")) {
                    // Another document begins: this one ends here at the latest.
                    if (!sawEnd || readPastEnd)
                        layout_.end = at;
                    break;
                }
                lexer_.SkipLine();
                continue;
            }
            int32_t number = 0;
            size_t after = 0;
            bool understood;
            if (lexer_.MatchObjectHeader(at, number, after)) {
                lexer_.pos = after;
                understood = ReadObject(number);
                if (stopped_) {
                    layout_.end = 0;   // cut off inside a stream
                    break;
                }
            } else {
                understood = ReadTableOrTrailer();
            }
            if (understood) {
                readPastEnd = sawEnd;
                continue;
            }
            if (sawEnd) {
                // What follows the document is not part of it. When the document went on past its
                // last "%%EOF", it ends where its readable content ends, or, when that content ran
                // into the end of the data, somewhere beyond the data.
                if (lexer_.pos >= size_)
                    layout_.end = 0;
                else if (readPastEnd)
                    layout_.end = at;
                break;
            }
            if (!Resync(at + 1))
                break;
        }
        for (PdfImage& image : layout_.images)
            image.usedAsMask = std::find(maskRefs_.begin(), maskRefs_.end(), image.objectNumber) != maskRefs_.end();
        return layout_;
    }

private:
    // The body of an object after "obj": its value, a stream when one follows, and "endobj".
    bool ReadObject(int32_t number)
    {
        ObjectVisitor visitor;
        const Token first = lexer_.Next();
        if (first.kind == Tok::Keyword && first.text == "endobj")
            return true;
        Summary value;
        if (!ParseValue(lexer_, first, 0, first.kind == Tok::DictOpen ? &visitor : nullptr, value))
            return false;
        maskRefs_.insert(maskRefs_.end(), visitor.maskRefs.begin(), visitor.maskRefs.end());
        const size_t afterValue = lexer_.pos;
        const Token next = lexer_.Next();
        if (next.kind == Tok::Keyword && next.text == "endobj")
            return true;
        if (!(next.kind == Tok::Keyword && next.text == "stream") || value.kind != Tok::DictOpen) {
            lexer_.pos = afterValue;   // a missing "endobj": go on with what follows
            return true;
        }
        size_t start = lexer_.pos;
        if (start < size_ && data_[start] == '\r')
            ++start;
        if (start < size_ && data_[start] == '\n')
            ++start;

        uint64_t dataEnd = 0;
        size_t resume = 0;
        bool complete = FindStreamEnd(start, visitor.length, dataEnd, resume);
        if (visitor.isImage && layout_.images.size() < kPdfMaxImages) {
            PdfImage image = visitor.image;
            image.objectNumber = number;
            image.dataOffset = start;
            image.dataLength = (complete ? dataEnd : size_) - start;
            image.complete = complete;
            layout_.images.push_back(image);
        }
        if (!complete) {
            stopped_ = true;   // the data runs off the end: nothing after it can be read
            return true;
        }
        lexer_.pos = resume;
        const size_t afterStream = lexer_.pos;
        const Token end = lexer_.Next();
        if (!(end.kind == Tok::Keyword && end.text == "endobj"))
            lexer_.pos = afterStream;
        return true;
    }

    // The stream's data ends at start + length when "endstream" follows there (after optional
    // white space); otherwise at the first "endstream" after start, less one end-of-line.
    bool FindStreamEnd(size_t start, int64_t length, uint64_t& dataEnd, size_t& resume)
    {
        if (length >= 0 && static_cast<uint64_t>(length) <= size_ - start) {
            size_t p = start + static_cast<size_t>(length);
            const size_t limit = std::min(size_, p + 8);
            while (p < limit && IsWhite(data_[p]))
                ++p;
            if (lexer_.StartsWith(p, "endstream")) {
                dataEnd = start + static_cast<uint64_t>(length);
                resume = p + 9;
                return true;
            }
        }
        size_t offset = 0;
        if (!FindBytesAt(data_ + start, size_ - start, "endstream", 9, &offset))
            return false;
        size_t end = start + offset;
        resume = end + 9;
        if (end > start && data_[end - 1] == '\n')
            --end;
        if (end > start && data_[end - 1] == '\r')
            --end;
        dataEnd = end;
        return true;
    }

    // xref tables, trailers and startxref lines.
    bool ReadTableOrTrailer()
    {
        const Token token = lexer_.Next();
        if (token.kind != Tok::Keyword)
            return false;
        if (token.text == "xref") {
            for (;;) {
                const size_t before = lexer_.pos;
                const Token entry = lexer_.Next();
                if (entry.kind == Tok::Number && entry.isInteger)
                    continue;
                if (entry.kind == Tok::Keyword && (entry.text == "n" || entry.text == "f"))
                    continue;
                lexer_.pos = before;
                return true;
            }
        }
        if (token.text == "trailer") {
            Summary dictionary;
            return ParseValue(lexer_, lexer_.Next(), 0, nullptr, dictionary) && dictionary.kind == Tok::DictOpen;
        }
        if (token.text == "startxref") {
            const Token offset = lexer_.Next();
            return offset.kind == Tok::Number;
        }
        return false;
    }

    // After bytes the walk cannot read: on to the next object header or "%%EOF".
    bool Resync(size_t from)
    {
        for (size_t p = from; p < size_; ++p) {
            const uint8_t c = data_[p];
            if (c == '%' && lexer_.StartsWith(p, "%%EOF")) {
                lexer_.pos = p;
                return true;
            }
            if (IsDigit(c) && (p == 0 || !IsRegular(data_[p - 1]))) {
                int32_t number = 0;
                size_t after = 0;
                if (lexer_.MatchObjectHeader(p, number, after)) {
                    lexer_.pos = p;
                    return true;
                }
            }
        }
        return false;
    }

    Lexer lexer_;
    const uint8_t* data_;
    size_t size_;
    PdfLayout layout_;
    std::vector<int32_t> maskRefs_;
    bool stopped_ = false;
};

}  // namespace

PdfLayout ScanPdfLayout(const uint8_t* data, size_t size)
{
    if (!data || size == 0)
        return PdfLayout();
    return Walker(data, size).Run();
}
