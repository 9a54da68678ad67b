// The PDF format class: files made by img2pdf (tests/data/pdf, linearized, JPEG and PNG-predicted
// Flate pages), files built here byte by byte (incremental updates, damaged and concatenated
// documents), and the writer's own files. Every file is also loaded as a carved candidate
// followed by unrelated bytes: the consumed size must keep the whole document.
#include "imagefile/formats/NImageFilePDF.h"

#include "common/MessageBoxAnswerer.h"
#include "common/TestFiles.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/formats/PdfDocument.h"
#include "imagefile/formats/PdfLayout.h"

#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

std::wstring Fixture(const std::wstring& name)
{
    return TestDataPath(L"pdf\\" + name);
}

Bytes ReadFixture(const std::wstring& name)
{
    Bytes bytes;
    ReadWholeFile(Fixture(name), bytes);
    return bytes;
}

std::string AsText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

Bytes AsBytes(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

// Bytes that follow a carved picture: noise with signatures of other formats in it, and the
// words a PDF reader looks for.
Bytes Garbage(size_t size)
{
    Bytes bytes(size);
    uint32_t state = 0x9E3779B9u;
    for (auto& b : bytes) {
        state = state * 1664525u + 1013904223u;
        b = static_cast<unsigned char>(state >> 24);
    }
    const char* words[] = {"\xFF\xD8\xFF\xE0", "endstream", "%%EOF", "12 0 obj", "GIF89a"};
    for (size_t i = 0; i < 5 && size > 1000; ++i)
        std::memcpy(bytes.data() + 150 + i * 160, words[i], std::strlen(words[i]));
    return bytes;
}

const uint8_t* Pixel(const NImageBuffer& picture, int x, int yFromTop)
{
    return picture.bits + static_cast<size_t>(picture.height - 1 - yFromTop) * picture.stride +
           static_cast<size_t>(x) * (picture.bpp / 8);
}

void ExpectBgr(const NImageBuffer& picture, int x, int y, int r, int g, int b, int tolerance)
{
    const uint8_t* p = Pixel(picture, x, y);
    EXPECT_NEAR(p[2], r, tolerance) << "red at " << x << "," << y;
    EXPECT_NEAR(p[1], g, tolerance) << "green at " << x << "," << y;
    EXPECT_NEAR(p[0], b, tolerance) << "blue at " << x << "," << y;
}

struct Loaded {
    NRESULT result;
    std::unique_ptr<NImageFilePDF> file;
};

Loaded Load(const std::wstring& path, uint8_t preview = 0, uint8_t quick = 0)
{
    Loaded loaded{NR_OK, std::make_unique<NImageFilePDF>()};
    loaded.result = loaded.file->Load(path.c_str(), preview, quick, nullptr);
    return loaded;
}

// The scan's way: the candidate written to a file and loaded with the quick flag through the
// factory. Answers the consumed size (0 when the load failed).
uint64_t CarvedConsumedSize(const TestDir& dir, const Bytes& candidate, NRESULT* result = nullptr)
{
    const std::wstring path = dir.File(L"VSTScan0001.pdf");
    if (!WriteWholeFile(path, candidate))
        return 0;
    NImageFile* object = nullptr;
    const NRESULT r = LoadImageFile(&object, path.c_str(), 0, 1, nullptr, 0);
    if (result)
        *result = r;
    const uint64_t consumed = object && r == NR_OK ? object->GetConsumedSize() : 0;
    delete object;
    return consumed;
}

// A PDF written object by object, with a correct cross-reference table.
class PdfBuilder {
public:
    PdfBuilder() { out_ = "%PDF-1.4\n%\xE2\xE3\xCF\xD3\n"; }

    void Object(int number, const std::string& body)
    {
        if (offsets_.size() <= static_cast<size_t>(number))
            offsets_.resize(static_cast<size_t>(number) + 1, 0);
        offsets_[static_cast<size_t>(number)] = out_.size();
        out_ += std::to_string(number) + " 0 obj\n" + body + "\nendobj\n";
    }
    void Stream(int number, const std::string& dictionary, const std::string& data, const std::string& eol = "\n")
    {
        Object(number, dictionary + "\nstream" + eol + data + eol + "endstream");
    }
    void Raw(const std::string& text) { out_ += text; }
    size_t Size() const { return out_.size(); }

    std::string Finish(int root)
    {
        const size_t xref = out_.size();
        char line[32];
        out_ += "xref\n0 " + std::to_string(offsets_.size()) + "\n0000000000 65535 f \n";
        for (size_t i = 1; i < offsets_.size(); ++i) {
            std::snprintf(line, sizeof(line), "%010zu 00000 n \n", offsets_[i]);
            out_ += line;
        }
        out_ += "trailer\n<< /Size " + std::to_string(offsets_.size()) + " /Root " + std::to_string(root) +
                " 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
        return out_;
    }

private:
    std::string out_;
    std::vector<size_t> offsets_;
};

// Catalog 1, pages 2, one page 3 showing image 4.
void AddPageTree(PdfBuilder& pdf, int width, int height)
{
    pdf.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    pdf.Object(2, "<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    pdf.Object(3, "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 " + std::to_string(width) + " " +
                      std::to_string(height) + "] /Resources << /XObject << /Im1 4 0 R >> >> /Contents 5 0 R >>");
}

std::string Deflate(const std::string& raw)
{
    uLongf length = compressBound(static_cast<uLong>(raw.size()));
    std::string packed(length, '\0');
    compress2(reinterpret_cast<Bytef*>(packed.data()), &length, reinterpret_cast<const Bytef*>(raw.data()),
              static_cast<uLong>(raw.size()), 6);
    packed.resize(length);
    return packed;
}

// R,G,B rows of a w x h picture: red increasing to the right, green down, blue 77.
std::string RgbRows(int width, int height)
{
    std::string raw;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            raw += static_cast<char>(x * 255 / (width - 1));
            raw += static_cast<char>(y * 255 / (height - 1));
            raw += static_cast<char>(77);
        }
    return raw;
}

// ---- Files made by img2pdf ----------------------------------------------------------------

struct FixtureCase {
    const wchar_t* name;
    int pages;
    int width;    // of the first page
    int height;
};

TEST(PdfReadTest, Img2pdfFilesLoadAlsoAsCarvedCandidatesThatKeepTheWholeDocument)
{
    TestDir dir;
    const FixtureCase cases[] = {{L"jpeg1.pdf", 1, 48, 32}, {L"mixed4.pdf", 4, 48, 32}};
    for (const FixtureCase& c : cases) {
        SCOPED_TRACE(std::string(c.name, c.name + wcslen(c.name)));
        const Bytes bytes = ReadFixture(c.name);
        ASSERT_FALSE(bytes.empty());

        Loaded full = Load(Fixture(c.name));
        ASSERT_EQ(full.result, NR_OK);
        EXPECT_EQ(full.file->GetPageCount(), c.pages);
        EXPECT_EQ(full.file->IsMultiImage(), c.pages > 1);
        EXPECT_EQ(full.file->picture.width, c.width);
        EXPECT_EQ(full.file->fullHeight, c.height);
        EXPECT_EQ(full.file->GetConsumedSize(), bytes.size()) << "the end of the file, not of its first picture";

        // img2pdf's files are linearized: their first "%%EOF" closes the first page's section.
        // The candidate is cut after the last one, before the unrelated bytes.
        Bytes candidate = bytes;
        const Bytes garbage = Garbage(6000);
        candidate.insert(candidate.end(), garbage.begin(), garbage.end());
        NRESULT result = NR_OK;
        EXPECT_EQ(CarvedConsumedSize(dir, candidate, &result), bytes.size());
        EXPECT_EQ(result, NR_OK);

        // Zero bytes after the document (white space to PDF) are not part of it either.
        Bytes zeros = bytes;
        zeros.resize(bytes.size() + 3000, 0);
        EXPECT_EQ(CarvedConsumedSize(dir, zeros), bytes.size());
    }
}

TEST(PdfReadTest, EveryPageOfAMixedFileDecodes)
{
    const std::wstring path = Fixture(L"mixed4.pdf");
    NImageFilePDF file;
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(file.GetPageCount(), 4);
    // Page 0: the red-to-blue JPEG.
    ExpectBgr(file.picture, 2, 0, 255, 0, 0, 12);
    ExpectBgr(file.picture, 2, 31, 0, 0, 255, 12);

    file.SetPage(1);   // JPEG, flat green
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(file.picture.width, 40);
    ExpectBgr(file.picture, 20, 12, 20, 200, 90, 6);

    file.SetPage(2);   // PNG predictor, RGB: yellow at the top, navy at the bottom
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(file.picture.width, 32);
    EXPECT_EQ(file.picture.height, 20);
    EXPECT_EQ(file.picture.bpp, 24);
    ExpectBgr(file.picture, 5, 0, 255, 255, 0, 0);
    ExpectBgr(file.picture, 5, 19, 0, 0, 128, 0);

    file.SetPage(3);   // PNG predictor, grey: white at the top, black at the bottom
    ASSERT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    EXPECT_EQ(file.picture.bpp, 8);
    EXPECT_EQ(Pixel(file.picture, 3, 0)[0], 255);
    EXPECT_EQ(Pixel(file.picture, 3, 19)[0], 0);
    EXPECT_EQ(file.picture.palette[128][0], 128);
    EXPECT_EQ(file.fullWidth, 30);

    file.SetPage(4);
    EXPECT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    file.SetPage(-1);
    EXPECT_EQ(file.Load(path.c_str(), 0, 0, nullptr), NR_INVALID_DATA);
    EXPECT_EQ(file.GetPageCount(), 4);
}

TEST(PdfReadTest, PreviewAndQuickLoadsLeaveThePageCount)
{
    for (int flags = 1; flags <= 3; ++flags) {
        Loaded loaded = Load(Fixture(L"mixed4.pdf"), flags & 1, flags & 2);
        ASSERT_EQ(loaded.result, NR_OK);
        EXPECT_EQ(loaded.file->GetPageCount(), 0);
        EXPECT_FALSE(loaded.file->IsMultiImage());
        EXPECT_EQ(loaded.file->picture.width, 48);
    }
}

TEST(PdfReadTest, ImagesItCannotDecodeAndFilesThatAreNotPdf)
{
    TestDir dir;
    // An indexed-colour Flate picture and no JPEG anywhere.
    EXPECT_EQ(Load(Fixture(L"palette.pdf")).result, NR_FORMAT_INIT_FAILED);

    const std::wstring shortFile = dir.File(L"short.pdf");
    ASSERT_TRUE(WriteWholeFile(shortFile, AsBytes("%PD")));
    EXPECT_EQ(Load(shortFile).result, NR_NOT_THIS_FORMAT);
    const std::wstring other = dir.File(L"other.pdf");
    ASSERT_TRUE(WriteWholeFile(other, AsBytes("GIF89a and more bytes")));
    Loaded notPdf = Load(other);
    EXPECT_EQ(notPdf.result, NR_NOT_THIS_FORMAT);
    EXPECT_EQ(notPdf.file->GetConsumedSize(), 0u);
    EXPECT_EQ(Load(dir.File(L"missing.pdf")).result, NR_FILE_OPEN_READ);

    // A document without pictures.
    PdfBuilder text;
    text.Object(1, "<< /Type /Catalog /Pages 2 0 R >>");
    text.Object(2, "<< /Type /Pages /Kids [] /Count 0 >>");
    const std::wstring empty = dir.File(L"empty.pdf");
    ASSERT_TRUE(WriteWholeFile(empty, AsBytes(text.Finish(1))));
    EXPECT_EQ(Load(empty).result, NR_FORMAT_INIT_FAILED);
}

// ---- Files built byte by byte --------------------------------------------------------------

TEST(PdfReadTest, JpegStreamWithIndirectLengthAndCrLfAndAnIncrementalUpdate)
{
    TestDir dir;
    const std::string jpeg = AsText(ReadFixture(L"red-blue.jpg"));
    ASSERT_FALSE(jpeg.empty());
    PdfBuilder pdf;
    AddPageTree(pdf, 48, 32);
    pdf.Stream(4,
               "<< /Type /XObject /Subtype /Image /Width 48 /Height 32 /ColorSpace /DeviceRGB /BitsPerComponent 8 "
               "/Filter [/DCTDecode] /Length 6 0 R >>",
               jpeg, "\r\n");
    pdf.Stream(5, "<< /Length 31 >>", "q 48 0 0 32 0 0 cm /Im1 Do Q");
    pdf.Object(6, std::to_string(jpeg.size()));
    std::string document = pdf.Finish(1);
    const size_t firstEnd = document.size();

    // An update appended by an editor: a new info object, its xref section and a second %%EOF.
    const std::string update = "7 0 obj\n<< /Producer (editor) >>\nendobj\nxref\n0 1\n0000000000 65535 f \n7 1\n" +
                               std::string(10 - std::to_string(firstEnd).size(), '0') + std::to_string(firstEnd) +
                               " 00000 n \ntrailer\n<< /Size 8 /Root 1 0 R /Info 7 0 R >>\nstartxref\n" +
                               std::to_string(firstEnd + 40) + "\n%%EOF\r\n";
    document += update;

    const std::wstring path = dir.File(L"built.pdf");
    ASSERT_TRUE(WriteWholeFile(path, AsBytes(document)));
    Loaded loaded = Load(path);
    ASSERT_EQ(loaded.result, NR_OK);
    EXPECT_EQ(loaded.file->GetPageCount(), 1);
    ExpectBgr(loaded.file->picture, 2, 0, 255, 0, 0, 12);
    EXPECT_EQ(loaded.file->GetConsumedSize(), document.size()) << "after the update's %%EOF and its CR LF";

    Bytes candidate = AsBytes(document);
    const Bytes garbage = Garbage(4000);
    candidate.insert(candidate.end(), garbage.begin(), garbage.end());
    EXPECT_EQ(CarvedConsumedSize(dir, candidate), document.size());
}

TEST(PdfReadTest, SignatureBytesInsideAPictureAreNotPages)
{
    TestDir dir;
    // A comment segment right after the start of image carries the bytes of another start of
    // image; the page list comes from the image objects, not from signature bytes.
    std::string jpeg = AsText(ReadFixture(L"red-blue.jpg"));
    const std::string comment = "\xFF\xFE" + std::string("\x00\x10", 2) + "\xFF\xD8\xFF\xE0 fake SOI!";
    ASSERT_EQ(comment.size(), 2u + 16u);
    jpeg.insert(2, comment);
    PdfBuilder pdf;
    AddPageTree(pdf, 48, 32);
    pdf.Stream(4,
               "<< /Subtype /Image /Width 48 /Height 32 /ColorSpace /DeviceRGB /BitsPerComponent 8 /Filter "
               "/DCTDecode /Length " +
                   std::to_string(jpeg.size()) + " >>",
               jpeg);
    const std::wstring path = dir.File(L"comment.pdf");
    ASSERT_TRUE(WriteWholeFile(path, AsBytes(pdf.Finish(1))));
    Loaded loaded = Load(path);
    ASSERT_EQ(loaded.result, NR_OK);
    EXPECT_EQ(loaded.file->GetPageCount(), 1);
    EXPECT_FALSE(loaded.file->IsMultiImage());
}

TEST(PdfReadTest, FlatePicturesAreCheckedAgainstTheirSize)
{
    TestDir dir;
    struct Case {
        const char* name;
        int width;
        int height;
        int rowsInData;
        const char* extra;   // more dictionary entries
        NRESULT expected;
    } cases[] = {
        {"exact", 7, 5, 5, "", NR_OK},
        {"tall, blank after the key", 5, 12000, 12000, "", NR_OK},
        {"rows missing", 7, 6, 5, "", NR_DECOMPRESSION_FAILED},
        {"rows over", 7, 5, 6, "", NR_DECOMPRESSION_FAILED},
        {"too small", 4, 5, 5, "", NR_FORMAT_INIT_FAILED},
        {"tiff predictor", 7, 5, 5, "/DecodeParms << /Predictor 2 /Colors 3 /Columns 7 >>", NR_FORMAT_INIT_FAILED},
        {"16 bits", 7, 5, 5, "", NR_FORMAT_INIT_FAILED},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data = Deflate(RgbRows(c.width, c.rowsInData));
        const bool sixteen = std::strcmp(c.name, "16 bits") == 0;
        PdfBuilder pdf;
        AddPageTree(pdf, c.width, c.height);
        pdf.Stream(4,
                   "<< /Subtype /Image /Width " + std::to_string(c.width) + " /Height " + std::to_string(c.height) +
                       " /ColorSpace /DeviceRGB /BitsPerComponent " + (sixteen ? "16" : "8") +
                       " /Filter /FlateDecode " + c.extra + " /Length " + std::to_string(data.size()) + " >>",
                   data);
        const std::wstring path = dir.File(L"flate.pdf");
        ASSERT_TRUE(WriteWholeFile(path, AsBytes(pdf.Finish(1))));
        Loaded loaded = Load(path);
        EXPECT_EQ(loaded.result, c.expected);
        if (c.expected == NR_OK) {
            EXPECT_EQ(loaded.file->picture.width, c.width);
            EXPECT_EQ(loaded.file->picture.height, c.height);
            EXPECT_EQ(loaded.file->fullHeight, c.height);
            ExpectBgr(loaded.file->picture, 0, 0, 0, 0, 77, 0);
            ExpectBgr(loaded.file->picture, c.width - 1, c.height - 1, 255, 255, 77, 0);
        }
    }
}

TEST(PdfReadTest, DamagedAndConcatenatedCandidatesAreNeverCutShort)
{
    TestDir dir;
    const Bytes first = ReadFixture(L"jpeg1.pdf");
    const Bytes second = ReadFixture(L"mixed4.pdf");

    // Two documents in a row: the first ends at its last %%EOF.
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    EXPECT_EQ(CarvedConsumedSize(dir, both), first.size());

    // A document cut off after its picture, before its final cross-reference section, then
    // another one: the first ends where the second begins.
    const std::string text = AsText(first);
    const size_t info = text.rfind("\nxref\n") + 1;
    ASSERT_GT(info, 1u);
    Bytes cut(first.begin(), first.begin() + static_cast<long>(info));
    cut.insert(cut.end(), second.begin(), second.end());
    EXPECT_EQ(CarvedConsumedSize(dir, cut), info);

    // Cut inside its picture's stream: nothing tells where it ends, so all of it is kept
    // (whether the JPEG class accepts the cut picture is its own affair).
    const size_t inside = text.find("stream", text.find("/DCTDecode")) + 200;
    const Bytes truncated(first.begin(), first.begin() + static_cast<long>(inside));
    const std::wstring cutPath = dir.File(L"truncated.pdf");
    ASSERT_TRUE(WriteWholeFile(cutPath, truncated));
    EXPECT_EQ(Load(cutPath, 0, 1).file->GetConsumedSize(), truncated.size());

    // Cut after an object that follows the first %%EOF of a linearized file: the rest of the
    // document is missing, so its end is not known either.
    const size_t afterCatalog = text.find("endobj", text.find("%%EOF")) + 7;
    Bytes partial(first.begin(), first.begin() + static_cast<long>(afterCatalog));
    const std::wstring path = dir.File(L"partial.pdf");
    ASSERT_TRUE(WriteWholeFile(path, partial));
    Loaded loaded = Load(path, 0, 1);
    EXPECT_EQ(loaded.file->GetConsumedSize(), partial.size());
}

// ---- Writing -------------------------------------------------------------------------------

// Checks the cross-reference table: each in-use entry points at "N 0 obj".
void ExpectValidXref(const std::string& pdf, int size)
{
    const size_t start = pdf.rfind("startxref\n");
    ASSERT_NE(start, std::string::npos);
    const size_t xref = std::stoul(pdf.substr(start + 10));
    ASSERT_EQ(pdf.compare(xref, 5, "xref\n"), 0);
    ASSERT_EQ(pdf.compare(xref + 5, 3 + std::to_string(size).size(), "0 " + std::to_string(size) + "\n"), 0);
    size_t entry = pdf.find('\n', xref + 5) + 1;
    EXPECT_EQ(pdf.substr(entry, 20), "0000000000 65535 f \n");
    for (int object = 1; object < size; ++object) {
        entry += 20;
        const std::string line = pdf.substr(entry, 20);
        ASSERT_EQ(line.substr(10, 10), " 00000 n \n") << object;
        const size_t offset = std::stoul(line.substr(0, 10));
        const std::string header = std::to_string(object) + " 0 obj\n";
        EXPECT_EQ(pdf.compare(offset, header.size(), header), 0) << "object " << object;
    }
}

TEST(PdfWriteTest, OnePageDocumentLayoutAndRoundTrip)
{
    TestDir dir;
    NImageBuffer picture;
    ASSERT_TRUE(picture.Create(100, 50, 24, RGB(30, 120, 220)));
    NImageFilePDF writer;
    const std::wstring path = dir.File(L"one.pdf");
    ASSERT_EQ(writer.Save(path.c_str(), &picture, nullptr), NR_OK);

    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    const std::string pdf = AsText(bytes);
    EXPECT_EQ(pdf.substr(0, 30), "%PDF-1.4\n%\xFFNImageFilePDF 1.0\xFF\n");
    ExpectValidXref(pdf, 10);
    EXPECT_NE(pdf.find("trailer\n<</Root 9 0 R /Info 8 0 R /Size 10>>\n"), std::string::npos);
    EXPECT_NE(pdf.find("/MediaBox[0 0 100 50]"), std::string::npos);
    EXPECT_NE(pdf.find("q\n1 0 0 1 0.00 0.00 cm\n100.00 0 0 50.00 0 0 cm\n/I0 Do\nQ\n"), std::string::npos);
    EXPECT_NE(pdf.find("/Kids [3 0 R] /Count 1"), std::string::npos);
    EXPECT_NE(pdf.find("<pdf:Producer>NImageFilePDF 1.0</pdf:Producer>"), std::string::npos);
    EXPECT_EQ(pdf.substr(pdf.size() - 6), "%%EOF\n");

    Loaded back = Load(path);
    ASSERT_EQ(back.result, NR_OK);
    EXPECT_EQ(back.file->picture.width, 100);
    EXPECT_EQ(back.file->picture.height, 50);
    ExpectBgr(back.file->picture, 50, 25, 30, 120, 220, 6);
    EXPECT_EQ(back.file->GetConsumedSize(), bytes.size());

    EXPECT_EQ(writer.Save(dir.File(L"no\\folder\\x.pdf").c_str(), &picture, nullptr), NR_FILE_OPEN_WRITE);
    NImageBuffer invalid;
    EXPECT_EQ(writer.Save(dir.File(L"x.pdf").c_str(), &invalid, nullptr), NR_PICTURE_NOT_VALID);
    EXPECT_EQ(writer.SaveFrom(dir.File(L"x.pdf").c_str(), nullptr), NR_INVALID_DATA);
    EXPECT_FALSE(FileExists(dir.File(L"x.pdf")));
}

TEST(PdfWriteTest, PageWriterAndFlatePages)
{
    TestDir dir;
    const std::wstring path = dir.File(L"pages.pdf");
    NImageFilePDF writer;
    EXPECT_EQ(writer.AddPage(nullptr), NR_FORMAT_INIT_FAILED) << "no document yet";
    ASSERT_EQ(writer.BeginPages(path.c_str(), nullptr), NR_OK);
    NImageBuffer pages[3];
    const COLORREF colours[3] = {RGB(250, 20, 20), RGB(20, 250, 20), RGB(20, 20, 250)};
    for (int k = 0; k < 3; ++k) {
        ASSERT_TRUE(pages[k].Create(20 + 10 * k, 16, k == 2 ? 32 : 24, colours[k]));
        ASSERT_EQ(writer.AddPage(&pages[k]), NR_OK);
    }
    ASSERT_EQ(writer.EndPages(), NR_OK);
    EXPECT_EQ(writer.EndPages(), NR_OK);

    Bytes bytes;
    ASSERT_TRUE(ReadWholeFile(path, bytes));
    ExpectValidXref(AsText(bytes), 20);
    EXPECT_NE(AsText(bytes).find("/Kids [3 0 R 8 0 R 13 0 R] /Count 3"), std::string::npos);
    NImageFilePDF reader;
    ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
    ASSERT_EQ(reader.GetPageCount(), 3);
    for (int k = 0; k < 3; ++k) {
        SCOPED_TRACE(k);
        reader.SetPage(k);
        ASSERT_EQ(reader.Load(path.c_str(), 0, 0, nullptr), NR_OK);
        EXPECT_EQ(reader.picture.width, 20 + 10 * k);
        ExpectBgr(reader.picture, 8, 8, GetRValue(colours[k]), GetGValue(colours[k]), GetBValue(colours[k]), 8);
    }

    // A Flate page holds the picture without loss.
    std::unique_ptr<PdfDocument> document = PdfCreateDocument(8.27, 11.69, 0);
    ASSERT_TRUE(document);
    NImageBuffer ramp;
    ASSERT_TRUE(ramp.Create(9, 7, 24, 0));
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x) {
            uint8_t* p = const_cast<uint8_t*>(Pixel(ramp, x, y));
            p[0] = static_cast<uint8_t>(x * 20);
            p[1] = static_cast<uint8_t>(y * 30);
            p[2] = static_cast<uint8_t>(x + y);
        }
    ASSERT_EQ(NImageFilePDF::AddFlatePage(*document, ramp), NR_OK);
    const uint64_t total = PdfFinishDocument(*document, PdfDateText(), "t", "a", "k", "s", "c");
    ASSERT_GT(total, 0u);
    Bytes flate(static_cast<size_t>(total));
    uint64_t length = total;
    ASSERT_TRUE(PdfSerialize(std::move(document), flate.data(), length));
    EXPECT_EQ(length, total);
    const std::wstring flatePath = dir.File(L"flate.pdf");
    ASSERT_TRUE(WriteWholeFile(flatePath, flate));
    Loaded back = Load(flatePath);
    ASSERT_EQ(back.result, NR_OK);
    int wrong = 0;
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 9; ++x)
            wrong += std::memcmp(Pixel(back.file->picture, x, y), Pixel(ramp, x, y), 3) != 0;
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(back.file->GetConsumedSize(), flate.size());
}

TEST(PdfWriteTest, DocumentLimitsAndSerialising)
{
    MessageBoxAnswerer answerer;
    std::unique_ptr<PdfDocument> document = PdfCreateDocument(8.27, 11.69, 0);
    ASSERT_TRUE(document);
    EXPECT_EQ(document->pageWidth, 595u);
    EXPECT_EQ(document->pageHeight, 841u);
    const uint8_t data[4] = {1, 2, 3, 4};
    for (int i = 0; i < kPdfMaxPages; ++i)
        ASSERT_EQ(PdfAddImagePage(*document, 2, 2, 4, data, true), NR_OK) << i;
    EXPECT_EQ(PdfAddImagePage(*document, 2, 2, 4, data, true), NR_FORMAT_INIT_FAILED);
    EXPECT_EQ(document->pageCount, kPdfMaxPages);
    EXPECT_EQ(answerer.Count(), 0) << "no message box from the library";

    const uint64_t total = PdfFinishDocument(*document, "20240102030405", "", "", "", "", "c");
    ASSERT_GT(total, 0u);
    uint64_t length = total - 1;
    Bytes small(static_cast<size_t>(total));
    EXPECT_FALSE(PdfSerialize(std::move(document), small.data(), length)) << "too small a buffer";
}

TEST(PdfLayoutTest, WalkSurvivesBrokenSyntax)
{
    // Unclosed dictionaries, strings and arrays, stray delimiters and a huge number: the walk
    // ends without reading outside the data and finds the image that follows the damage.
    const std::string broken =
        "%PDF-1.4\n1 0 obj << /A (unclosed ) /B [ 1 2 << >> ) } ] /C 99999999999999999999999 >> endobj\n"
        "2 0 obj << /D << << << >> endobj\n"
        "garbage ] >> ) 3 1 R\n"
        "4 0 obj\n<< /Subtype /Image /Filter /DCTDecode /Length 3 >>\nstream\nabc\nendstream\nendobj\n"
        "%%EOF\n"
        "5 0 obj << /E (";
    for (size_t cut = 0; cut <= broken.size(); ++cut) {
        const PdfLayout layout = ScanPdfLayout(reinterpret_cast<const uint8_t*>(broken.data()), cut);
        EXPECT_LE(layout.end, cut);
        for (const PdfImage& image : layout.images)
            EXPECT_LE(image.dataOffset + image.dataLength, cut);
    }
    const PdfLayout whole = ScanPdfLayout(reinterpret_cast<const uint8_t*>(broken.data()), broken.size());
    ASSERT_EQ(whole.images.size(), 1u);
    EXPECT_EQ(whole.images[0].objectNumber, 4);
    EXPECT_EQ(whole.images[0].dataLength, 3u);
    EXPECT_TRUE(whole.images[0].complete);
    EXPECT_EQ(whole.end, 0u) << "an object after the last %%EOF runs off the end";
}

}  // namespace
