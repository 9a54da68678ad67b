#include "imagefile/formats/PdfDocument.h"

#include <windows.h>

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/Log.h"

namespace {

const char kProducer[] = "NImageFilePDF 1.0";

std::string Printf(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(text.data(), text.size(), format, again);
        text.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return text;
}

std::string XmlEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        default: out += c; break;
        }
    }
    return out;
}

// The text of a PDF literal string, between its parentheses.
std::string PdfEscaped(const std::string& text)
{
    std::string out;
    for (char c : text) {
        if (c == '(' || c == ')' || c == '\\')
            out += '\\';
        out += c;
    }
    return out;
}

std::string XmpPacket(const std::string& date, const std::string& title, const std::string& keywords,
                      const std::string& subject, const std::string& creator)
{
    const std::string d = XmlEscaped(date);
    const std::string c = XmlEscaped(creator);
    std::string x;
    x += "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiNzreSzRTczkc5d\"?>\n";
    x += "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n";
    x += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
    x += "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    x += "<dc:title>" + XmlEscaped(title) + "</dc:title>\n";
    x += "<dc:subject>" + XmlEscaped(subject) + "</dc:subject>\n";
    x += "<dc:creator>" + c + "</dc:creator>\n";
    x += "<dc:date>" + d + "</dc:date>\n";
    x += "</rdf:Description>\n";
    x += "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n";
    x += "<xmp:CreateDate>" + d + "</xmp:CreateDate>\n";
    x += "<xmp:CreatorTool>" + c + "</xmp:CreatorTool>\n";
    x += "<xmp:MetadataDate>" + d + "</xmp:MetadataDate>\n";
    x += "</rdf:Description>\n";
    x += "<rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n";
    x += "<pdf:Keywords>" + XmlEscaped(keywords) + "</pdf:Keywords>\n";
    x += "<pdf:PDFVersion>1.4</pdf:PDFVersion>\n";
    x += std::string("<pdf:Producer>") + kProducer + "</pdf:Producer>\n";
    x += "</rdf:Description>\n";
    x += "</rdf:RDF>\n";
    x += "</x:xmpmeta>\n";
    x += "<?xpacket end=\"r\"?>\n";
    return x;
}

// Appends an object's text at the current end of the file, recording its offset.
void AppendObject(PdfDocument& document, std::string& target, int32_t object, const std::string& text)
{
    PdfSetXrefEntry(document, object, document.currentLength, 'n');
    target += text;
    document.currentLength += text.size();
}

}  // namespace

void PdfSetXrefEntry(PdfDocument& document, int32_t object, uint64_t offset, char kind)
{
    if (object < 0)
        object = document.nextObject;
    if (document.xref.size() <= static_cast<size_t>(object))
        document.xref.resize(static_cast<size_t>(object) + 1, Printf("%010d 65535 f \n", 0));
    document.xref[static_cast<size_t>(object)] =
        Printf("%010llu %05d %c \n", static_cast<unsigned long long>(offset), kind == 'f' ? 65535 : 0, kind);
}

std::unique_ptr<PdfDocument> PdfCreateDocument(double widthInches, double heightInches, double marginInches)
{
    try {
        auto document = std::make_unique<PdfDocument>();
        document->pageWidth = static_cast<uint32_t>(widthInches * 72.0);
        document->pageHeight = static_cast<uint32_t>(heightInches * 72.0);
        document->contentWidth = document->pageWidth - 2.0 * marginInches * 72.0;
        document->contentHeight = document->pageHeight - 2.0 * marginInches * 72.0;
        document->xref.push_back(Printf("%010d 65535 f \n", 0));
        document->headerText = Printf("%%PDF-1.4\n%%%cNImageFilePDF 1.0%c\n", 0xFF, 0xFF);
        document->currentLength = document->headerText.size();
        document->imageCounter = 0;
        document->nextObject = 2;
        return document;
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

NRESULT PdfAddImagePage(PdfDocument& document, uint32_t width, uint32_t height, uint32_t length,
                        const uint8_t* data, bool jpeg)
{
    if (document.pageCount >= kPdfMaxPages) {
        LogMessage(L"Max Page Number (%d) for PDF.", kPdfMaxPages);
        return NR_FORMAT_INIT_FAILED;
    }
    // Room for the page's own texts and the document's final part.
    if (document.currentLength + length + 4096 > kPdfMaxLength) {
        LogMessage(L"PDF too large for its cross-reference table.");
        return NR_FORMAT_INIT_FAILED;
    }
    if (!data && length > 0)
        return NR_INVALID_DATA;
    try {
        auto page = std::make_unique<PdfPage>();
        page->data.assign(data, data + length);
        page->width = width;
        page->height = height;

        const int32_t n = document.nextObject;
        PdfSetXrefEntry(document, n, document.currentLength + 1, 'n');
        page->header = Printf(
            "\n%d 0 obj\n<</Subtype/Image /Width %u /Height %u /BitsPerComponent 8 /ColorSpace/%s /Filter/%s "
            "/Length %u>>\nstream\n",
            n, width, height, "DeviceRGB", jpeg ? "DCTDecode" : "FlateDecode", length);
        document.currentLength += page->header.size() + length;
        page->tail = "\nendstream\nendobj\n";
        document.currentLength += page->tail.size();

        const std::string content = Printf("q\n1 0 0 1 %.2f %.2f cm\n%.2f 0 0 %.2f 0 0 cm\n/I%d Do\nQ\n",
                                           (width - static_cast<double>(width)) * 0.5,
                                           (height - static_cast<double>(height)) * 0.5, static_cast<double>(width),
                                           static_cast<double>(height), document.imageCounter);
        AppendObject(document, page->tail, n + 1,
                     Printf("%d 0 obj\n<</Type/Page/Parent 1 0 R/MediaBox[0 0 %u %u]/Contents %d 0 R/Resources %d 0 "
                            "R>>\nendobj\n",
                            n + 1, width, height, n + 2, n + 4));
        AppendObject(document, page->tail, n + 2,
                     Printf("%d 0 obj\n<</Length %d 0 R>>stream\n%sendstream\nendobj\n", n + 2, n + 3, content.c_str()));
        AppendObject(document, page->tail, n + 3,
                     Printf("%d 0 obj\n%ld\nendobj\n", n + 3, static_cast<long>(content.size())));
        AppendObject(document, page->tail, n + 4,
                     Printf("%d 0 obj\n<</ProcSet[/PDF/%s]/XObject<</I%d %d 0 R>>>>\nendobj\n", n + 4, "ImageC",
                            document.imageCounter, n));
        page->pageObject = n + 1;
        document.nextObject = n + 5;
        ++document.imageCounter;
        ++document.pageCount;
        document.pages.push_back(std::move(page));
        return NR_OK;
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
}

uint64_t PdfFinishDocument(PdfDocument& document, const std::string& date, const std::string& title,
                           const std::string& author, const std::string& keywords, const std::string& subject,
                           const std::string& creator)
{
    try {
        std::string& out = document.finalText;
        out.clear();
        const int32_t m = document.nextObject;
        const std::string xmp = XmpPacket(date, title, keywords, subject, creator);
        AppendObject(document, out, m,
                     Printf("%d 0 obj\n<</Type/Metadata /Subtype/XML /Length %d>>\nstream\n", m,
                            static_cast<int>(xmp.size())) +
                         xmp + "endstream\nendobj\n");
        const std::string d = PdfEscaped(date);
        AppendObject(document, out, m + 1,
                     Printf("%d 0 obj\n<<\n/Title (%s)\n/Author (%s)\n/Keywords (%s)\n/Subject (%s)\n/Producer (%s)\n"
                            "/Creator (%s)\n/CreationDate (D:%s)\n/ModDate (D:%s)\n>>\nendobj\n",
                            m + 1, PdfEscaped(title).c_str(), PdfEscaped(author).c_str(),
                            PdfEscaped(keywords).c_str(), PdfEscaped(subject).c_str(), kProducer,
                            PdfEscaped(creator).c_str(), d.c_str(), d.c_str()));
        AppendObject(document, out, m + 2,
                     Printf("%d 0 obj\n<</Type/Catalog /Pages 1 0 R /Metadata %d 0 R>>\nendobj\n", m + 2, m));
        std::string kids;
        for (const auto& page : document.pages)
            kids += Printf("%d 0 R ", page->pageObject);
        if (!kids.empty())
            kids.pop_back();
        AppendObject(document, out, 1,
                     Printf("1 0 obj\n<</Type/Pages /Kids [%s] /Count %d>>\nendobj\n", kids.c_str(),
                            document.pageCount));
        const uint64_t xrefOffset = document.currentLength;
        std::string table = Printf("xref\n0 %d\n", m + 3);
        document.xref.resize(static_cast<size_t>(m + 3));
        for (int32_t object = 0; object < m + 3; ++object)
            table += document.xref[static_cast<size_t>(object)];
        table += Printf("trailer\n<</Root %d 0 R /Info %d 0 R /Size %d>>\n", m + 2, m + 1, m + 3);
        table += Printf("startxref\n%llu\n%%%%EOF\n", static_cast<unsigned long long>(xrefOffset));
        out += table;
        document.currentLength += table.size();
        if (document.headerText.empty() || out.empty())
            return 0;
        return document.currentLength;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

bool PdfSerialize(std::unique_ptr<PdfDocument> document, uint8_t* output, uint64_t& length)
{
    if (!document || !output)
        return false;
    uint64_t total = document->headerText.size() + document->finalText.size();
    for (const auto& page : document->pages)
        total += page->header.size() + page->data.size() + page->tail.size();
    if (length < total)
        return false;
    uint8_t* p = output;
    auto put = [&p](const void* bytes, size_t size) {
        if (size)
            std::memcpy(p, bytes, size);
        p += size;
    };
    put(document->headerText.data(), document->headerText.size());
    for (const auto& page : document->pages) {
        put(page->header.data(), page->header.size());
        put(page->data.data(), page->data.size());
        put(page->tail.data(), page->tail.size());
    }
    put(document->finalText.data(), document->finalText.size());
    length = total;
    return true;
}

std::string PdfDateText()
{
    SYSTEMTIME utc;
    SYSTEMTIME local;
    GetSystemTime(&utc);
    if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
        local = utc;
    return Printf("%.2d%.2d%.2d%2.2d%2.2d%2.2d", local.wYear, local.wMonth, local.wDay, local.wHour, local.wMinute,
                  local.wSecond);
}
