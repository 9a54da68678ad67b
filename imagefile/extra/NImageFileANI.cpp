#include "imagefile/extra/NImageFileANI.h"

#include "imagefile/SignatureWindow.h"
#include "imagefile/extra/DlvTempFile.h"
#include "imagefile/extra/NImageFileICO.h"
#include "imagefile/extra/StdioStream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

namespace {

constexpr uint64_t kRiffHeaderBytes = 12;   // "RIFF", size, form type
constexpr size_t kAnimationHeaderBytes = 36;
constexpr uint32_t kFramesAreIcons = 1;

// A chunk header at `at` whose tag is letters, digits or spaces and whose body fits the file.
bool PlausibleChunk(StdioStream& in, uint64_t at, uint64_t length)
{
    uint8_t head[8];
    if (!in.Seek(at) || !in.ReadExact(head, sizeof(head)))
        return false;
    const bool tagOk = std::all_of(head, head + 4, [](uint8_t c) {
        return c == ' ' || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
    return tagOk && at + 8 + SignatureU32(head + 4) <= length;
}

// Reads the animation header; false when there is none.
bool ReadAnimationHeader(StdioStream& in, uint8_t (&header)[kAnimationHeaderBytes])
{
    uint32_t size = 0;
    return NImageFileANI::FindChunk(in, "anih", 1, &size) && in.ReadExact(header, sizeof(header));
}

}  // namespace

bool NImageFileANI::IsFormat(const uint8_t* bytes, size_t offset, size_t length)
{
    if (!SignatureFits(bytes, offset, length, 4))
        return false;
    const uint8_t* p = bytes + offset;
    return SignatureIs(p, "RIFF");
}

bool NImageFileANI::FindChunk(StdioStream& in, const char (&tag)[5], int occurrence, uint32_t* size)
{
    if (occurrence < 1)
        return false;
    const uint64_t length = in.Length();
    uint64_t at = kRiffHeaderBytes;
    int found = 0;
    while (at + 8 <= length) {
        uint8_t head[8];
        if (!in.Seek(at) || !in.ReadExact(head, sizeof(head)))
            return false;
        const uint32_t chunkSize = SignatureU32(head + 4);
        if (memcmp(head, tag, 4) == 0 && ++found == occurrence) {
            if (size)
                *size = chunkSize;
            return true;
        }
        if (memcmp(head, "LIST", 4) == 0) {
            at += kRiffHeaderBytes;  // the list's type, then its own chunks
            continue;
        }
        uint64_t next = at + 8 + chunkSize;
        // Odd sizes are padded to a word; some writers leave the pad out.
        if ((chunkSize & 1) && (PlausibleChunk(in, next + 1, length) || !PlausibleChunk(in, next, length)))
            ++next;
        at = next;
    }
    return false;
}

NRESULT NImageFileANI::Load(const wchar_t* path, uint8_t, uint8_t, NImageBuffer* target)
{
    fileName = path;
    if (pageCount == 0) {
        StdioStream in;
        if (!in.Open(path, L"rb"))
            return NR_FILE_OPEN_READ;
        uint8_t signature[4];
        if (!in.ReadExact(signature, sizeof(signature)) || memcmp(signature, "RIFF", 4) != 0)
            return NR_NOT_THIS_FORMAT;
        uint8_t header[kAnimationHeaderBytes];
        uint32_t frames = 0;
        if (ReadAnimationHeader(in, header))
            frames = SignatureU32(header + 4);
        pageCount = frames == 0 ? 1 : static_cast<int32_t>(std::min<uint32_t>(frames, INT32_MAX));
        multiImage = frames > 1;
        currentPage = 0;
    }
    return LoadFrame(target ? target : &picture, path, currentPage);
}

NRESULT NImageFileANI::LoadFrame(NImageBuffer* target, const wchar_t* path, int index)
{
    NImageBuffer& pic = target ? *target : picture;
    StdioStream in;
    if (!in.Open(path, L"rb"))
        return NR_FILE_OPEN_READ;
    uint8_t signature[4];
    uint32_t riffSize = 0;
    if (!in.ReadExact(signature, sizeof(signature)) || memcmp(signature, "RIFF", 4) != 0)
        return NR_NOT_THIS_FORMAT;
    in.ReadU32(riffSize);

    uint8_t header[kAnimationHeaderBytes];
    if (!ReadAnimationHeader(in, header))
        return NR_SUBFEATURE_NOT_SUPPORTED;
    const uint32_t frames = SignatureU32(header + 4);
    const uint32_t flags = SignatureU32(header + 32);
    if (!(flags & kFramesAreIcons))
        return NR_SUBFEATURE_NOT_SUPPORTED;
    if (frames == 0 || index < 0 || static_cast<uint32_t>(index) >= frames)
        return NR_FORMAT_INIT_FAILED;

    uint32_t frameSize = 0;
    if (!FindChunk(in, "icon", index + 1, &frameSize))
        return NR_FORMAT_INIT_FAILED;
    const uint64_t length = in.Length();
    const int64_t start = in.Tell();
    if (start < 0)
        return NR_FORMAT_INIT_FAILED;
    const size_t size = static_cast<size_t>(std::min<uint64_t>(frameSize, length - static_cast<uint64_t>(start)));
    std::vector<uint8_t> bytes;
    try {
        bytes.resize(size);
    } catch (const std::bad_alloc&) {
        return NR_ALLOCATION_FAILED;
    }
    bytes.resize(in.Read(bytes.data(), size));
    in.Close();

    // Every frame belongs to the file: the consumed size reaches the end of the RIFF data.
    const uint64_t frameEnd = static_cast<uint64_t>(start) + bytes.size();
    const uint64_t riffEnd = std::min<uint64_t>(8 + uint64_t{riffSize} + (riffSize & 1), length);
    consumedSize = std::max(frameEnd, riffEnd);

    DlvTempFile temp;
    if (!temp.CreateWith(bytes.data(), bytes.size()))
        return NR_DECODE_FAILED;
    NImageFileICO icon;
    NRESULT result = icon.Load(temp.Path(), 0, 1, &pic);
    if (result == NR_NOT_THIS_FORMAT)
        result = NR_DECODE_FAILED;
    fullWidth = pic.valid ? pic.width : 0;
    fullHeight = pic.valid ? pic.height : 0;
    return result;
}

FileType NImageFileANI::GetFormatId() const
{
    return FT_ANI;
}

bool NImageFileANI::IsMultiImage() const
{
    return multiImage != 0;
}

int32_t NImageFileANI::GetPageCount() const
{
    return pageCount;
}

void NImageFileANI::SetPage(int32_t index)
{
    currentPage = index;
}
