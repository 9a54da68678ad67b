// MngStreamWalk: a walk over the chunks of an MNG or JNG stream, made before libmng reads it.
//
// It finds where the stream ends, so that a carved candidate is cut after its last chunk however
// much of it libmng had to read, and it caps the iteration counts of LOOP chunks so that a file
// whose loops never end, or that nests loops thousands of times deep, cannot keep a load busy:
// the capped counts are handed to libmng as patches over the bytes it reads (with the chunk's
// CRC recomputed), the file itself is not changed.
#pragma once

#include <cstdint>
#include <vector>

#include "base/ScopedFile.h"
#include "docobjects/NResult.h"
#include "imagefile/ByteSource.h"
#include "imagefile/PictureExtent.h"

// Four bytes of the stream to be read differently from the file.
struct MngStreamPatch {
    uint64_t offset;
    uint8_t bytes[4];
};

struct MngStreamLayout {
    // Just after the end chunk (complete), the file's size when a chunk runs past the end of the
    // file (truncated), else where the chunk structure stopped (a header that is no chunk).
    uint64_t end = 0;
    bool complete = false;
    bool truncated = false;
    std::vector<MngStreamPatch> patches;
};

// Chunk names as big-endian numbers.
constexpr uint32_t MngChunkName(char a, char b, char c, char d)
{
    return (static_cast<uint32_t>(static_cast<uint8_t>(a)) << 24) |
           (static_cast<uint32_t>(static_cast<uint8_t>(b)) << 16) |
           (static_cast<uint32_t>(static_cast<uint8_t>(c)) << 8) | static_cast<uint32_t>(static_cast<uint8_t>(d));
}

// The largest product of the iteration counts of nested LOOP chunks that a load plays.
constexpr uint32_t kMngLoopBudget = 256;

// Walks the chunks that follow the 8-byte signature up to the first chunk named endChunk
// (MEND for MNG, IEND for JNG), reading no further than `size` bytes of the source (a file: its
// size). LOOP chunks get patches that keep the product of the counts of the open loops at most
// loopBudget (every count at least 1).
MngStreamLayout WalkMngStream(ByteSource& source, uint64_t size, uint32_t endChunk, uint32_t loopBudget);

// What libmng makes of the chunk after the signature: the stream's header (MHDR, JHDR or IHDR)
// whose checksum is right is Accepted; a wrong checksum is an error, and any other chunk ends
// the stream before it has a header (Refused either way); Unknown when the chunk is not all in
// the source's first `size` bytes.
enum class MngHeaderCheck { Accepted, Refused, Unknown };
MngHeaderCheck CheckMngHeaderChunk(ByteSource& source, uint64_t size);

// How a member of the MNG family measures its picture: its signature, the header chunk whose
// width and height its loader believes only as far as the file can fill them (headerBits bits a
// pixel at `ratio` pixels a byte; endBits for the file cut at its end) and the chunk that ends it.
struct MngFamilyExtent {
    const char* signature;   // 8 bytes
    uint32_t headerChunk;
    uint32_t endChunk;
    uint64_t headerBits;
    uint64_t endBits;
    uint64_t ratio;
};

// The picture's end from its chunks: broken where its loader refuses the signature or the
// header, complete after the end chunk when a file cut there is believed, unknown otherwise.
PictureExtent FindMngFamilyExtent(ByteSource& source, const MngFamilyExtent& family);

// A file of the MNG family opened for a load: its signature checked, its size measured and its
// chunks walked; the position is back at the start.
struct MngOpenedStream {
    ScopedFile file;
    uint64_t fileSize = 0;
    MngStreamLayout layout;
};
// isFormat: the class's signature test, given the first 10 bytes. 0, NR_FILE_OPEN_READ (also for
// a null path), NR_NOT_THIS_FORMAT, or NR_DECODE_FAILED when the first chunk is no header or its
// CRC is wrong (as the scan's walk finds the stream broken).
NRESULT OpenMngStream(const wchar_t* path, bool (*isFormat)(const uint8_t*, uint64_t, uint64_t), uint32_t endChunk,
                      MngOpenedStream& stream);

// A verification's check of the first picture of an MNG stream, for a stream whose walk found its
// end chunk: the MHDR chunk first, then the first embedded PNG picture (IHDR, its IDAT chunks,
// IEND) with every critical chunk's CRC right, its image data inflating to rows with valid filter
// types for its first 256 KiB of rows and, where it is that small, to exactly the rows its header
// asks for; a larger picture's CRCs vouch for the rest, and its data must be able to hold the
// rest at deflate's largest ratio. A file that a full decode would refuse for data the check
// leaves to the CRCs (only an encoder's fault makes such a file) is thus kept, never the
// other way round. True only then, with the frame size of
// the MHDR chunk and its frame count; false when the check fails or cannot tell (a first picture
// in JNG or delta form, for one), and libmng must decide.
struct PngFamilyPicture {
    uint32_t frameWidth = 0;
    uint32_t frameHeight = 0;
    uint32_t frameCount = 0;
};
bool CheckMngFirstImage(ByteSource& source, PngFamilyPicture& image);
// The same check for a PNG file (not an animated one): its picture's size goes into image, and
// end is set after its IEND chunk.
bool CheckPngImage(ByteSource& source, PngFamilyPicture& image, uint64_t& end);

// Overlays the patches that meet the count bytes read from stream offset `start`.
void ApplyMngStreamPatches(const std::vector<MngStreamPatch>& patches, uint64_t start, uint8_t* data,
                           uint64_t count);

// The consumed size of a load: the layout's end when the walk found the end chunk or the file
// ended inside a chunk; otherwise the larger of that and the position libmng's reading reached
// (never more than the file).
uint64_t MngConsumedSize(const MngStreamLayout& layout, uint64_t readPosition, uint64_t fileSize);

// libmng's memory while a load of a file of fileSize bytes runs on this thread: every block it
// asks for comes from the decode budget, and no block may be larger than the file's data can fill
// at deflate's best ratio (at least kMngMinBlockLimit), so that a header claiming a huge picture
// fails in libmng instead of taking gigabytes.
constexpr uint64_t kMngMinBlockLimit = uint64_t{16} << 20;
class MngMemoryLimit {
public:
    explicit MngMemoryLimit(uint64_t fileSize);
    ~MngMemoryLimit();
    MngMemoryLimit(const MngMemoryLimit&) = delete;
    MngMemoryLimit& operator=(const MngMemoryLimit&) = delete;

private:
    uint64_t previous_;
};
// The allocation callbacks to hand to mng_initialize (zeroed blocks).
void* MngAllocate(size_t size);
void MngRelease(void* block, size_t size);

