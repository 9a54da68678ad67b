// Fuzz driver for every loader behind the load factory.
//
//   fuzz_loaders [budget [fixture-folder [options]]]
//     -n COUNT   campaign: COUNT inputs for every format (no overall time limit)
//     -f EXT     only the seeds of that extension (".png")
//     -o FOLDER  keep every failing input there (the regression fixtures of tests/data/fuzz)
//     -r SEED    random seed
//     -l         print the extensions of the seeds and stop
//
// The seeds are made at start: pictures written by the project's own writers (BMP, PCX, ICO, PNG,
// GIF, JPEG, TIFF, PSD, PDF, TGA, Sun raster, SGI, PIX, PPP, and LMC through its document), small
// files built byte by byte for the formats without a writer or with variants the writers do not
// make (animated PNG, CUR, ANI, DCX, FLT, GEM, IFF, HDR, PCD, PICT, JPS, MPO, run-length TGA, CLP,
// CUT, the PIC family, HRZ, MSP, MacPaint, RLA, ZBR, PPP text, WBMP, XBM, PFM, drawings and EPS
// files), and metafiles
// recorded with GDI (WMF, placeable WMF, EMF). A fixture folder, when given,
// adds every file of its subfolders whose extension a loader knows.
//
// Each iteration mutates one seed (the formats take turns): flipped bits, bytes set to 0x00,
// 0xFF, 0x7F or 0x80, random bytes, 16- and 32-bit fields (lengths, sizes, offsets) overwritten
// with edge values, cut ends, removed or repeated runs, appended garbage. The result is written
// under the format's own extension and loaded through LoadImageFile the three ways the program
// loads (scan verification: quick, with the options' verifyOnly; thumbnail: preview and quick;
// full view), then under a wrong extension once. Checks: no crash (the unhandled-exception
// filter prints the format, iteration and input file and ends with exit code 70), no C++
// exception, no load that works longer than kSlowLoadMs (its thread's processor time) or waits
// longer than kStuckLoadMs, no load that allocates more than kAllocationRatio times its file's
// size (plus kAllocationSlack), the consumed size never exceeds the file, and a valid picture
// whenever the answer is 0. In a campaign each input is loaded once, the three ways in turn.
//
// Allocations are counted here: malloc and its family (used by every library and by operator
// new) are replaced by counting versions, and pictures and decoder leases by the decode budget's
// scope. Both peaks during a load are added up.
//
// The formats with a structure walk (FindExtent) also meet their walk: every mutated input, and
// a few dozen further mutations of it made in memory, go through the walk of its format, whose
// answer must keep its promises: an end inside the bytes, the same answer again, no other end
// for the bytes cut there and the same end for any other bytes after it (except where the bytes
// right after the end are looked at: a document's next record id, a PCX palette marker). For
// the mutated input itself the walk is held against the loader with the scan's flags: a broken
// answer means the loader refuses, a complete one that the loader stops there (a document's
// loader may read on) and that the cut file loads to the same picture.
//
// The budget (default 200000) is divided by 200 and held to 2000 iterations, and the run stops
// after about 20 seconds whatever the budget: the loads go through files under Wine.
#include <windows.h>
#include <psapi.h>

#include <zlib.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwctype>
#include <exception>
#include <string>
#include <vector>

#include "docobjects/NObjectDocument.h"
#include "imagefile/ByteSource.h"
#include "imagefile/FormatRegistry.h"
#include "imagefile/ImageFactory.h"
#include "imagefile/NImageFile.h"
#include "imagefile/PictureExtent.h"
#include "imagefile/extra/NImageFileBMP.h"
#include "imagefile/extra/NImageFileDCX.h"
#include "imagefile/extra/NImageFileFLT.h"
#include "imagefile/extra/NImageFileHDR.h"
#include "imagefile/extra/NImageFileICO.h"
#include "imagefile/extra/NImageFileIFF.h"
#include "imagefile/extra/NImageFileLMC.h"
#include "imagefile/extra/NImageFilePCD.h"
#include "imagefile/extra/NImageFilePSD.h"
#include "imagefile/formats/NImageFileJNG.h"
#include "imagefile/formats/NImageFileMNG.h"
#include "imaging/DecodeBudget.h"
#include "imaging/NImageBuffer.h"

// ---- Counting allocator ------------------------------------------------------------------------
// Blocks come from a heap of our own; a table remembers their sizes. Blocks the C runtime made
// for itself (strdup, stream buffers) are not in the table and go back to the runtime.

namespace alloccount {

struct Slot {
    void* block;
    size_t size;
};
constexpr size_t kSlots = size_t{1} << 22;   // open addressing; far more than live blocks
Slot* table = nullptr;
HANDLE heap = nullptr;
SRWLOCK lock = SRWLOCK_INIT;
uint64_t live = 0;
uint64_t peak = 0;
void* (*runtimeRealloc)(void*, size_t) = nullptr;
void (*runtimeFree)(void*) = nullptr;
void* tombstone = reinterpret_cast<void*>(1);

void Init()
{
    if (heap)
        return;
    heap = HeapCreate(0, 0, 0);
    table = static_cast<Slot*>(VirtualAlloc(nullptr, kSlots * sizeof(Slot), MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    HMODULE runtime = GetModuleHandleW(L"msvcrt.dll");
    runtimeRealloc = reinterpret_cast<void* (*)(void*, size_t)>(reinterpret_cast<void*>(GetProcAddress(runtime, "realloc")));
    runtimeFree = reinterpret_cast<void (*)(void*)>(reinterpret_cast<void*>(GetProcAddress(runtime, "free")));
}

size_t Hash(void* block)
{
    uint64_t v = reinterpret_cast<uintptr_t>(block) >> 4;
    v *= 0x9E3779B97F4A7C15ull;
    return static_cast<size_t>(v >> 42) & (kSlots - 1);
}

// Under the lock.
void Insert(void* block, size_t size)
{
    for (size_t i = Hash(block);; i = (i + 1) & (kSlots - 1)) {
        if (table[i].block == nullptr || table[i].block == tombstone) {
            table[i] = {block, size};
            break;
        }
    }
    live += size;
    if (live > peak)
        peak = live;
}

// Under the lock: the size of a block of ours (and forgets it), or false.
bool Remove(void* block, size_t& size)
{
    for (size_t i = Hash(block);; i = (i + 1) & (kSlots - 1)) {
        if (table[i].block == nullptr)
            return false;
        if (table[i].block == block) {
            size = table[i].size;
            table[i].block = tombstone;
            live -= size;
            return true;
        }
    }
}

void* Allocate(size_t size, bool zero)
{
    Init();
    void* block = HeapAlloc(heap, zero ? HEAP_ZERO_MEMORY : 0, size ? size : 1);
    if (block) {
        AcquireSRWLockExclusive(&lock);
        Insert(block, size);
        ReleaseSRWLockExclusive(&lock);
    }
    return block;
}

void Release(void* block)
{
    if (!block)
        return;
    size_t size = 0;
    AcquireSRWLockExclusive(&lock);
    const bool ours = table && Remove(block, size);
    ReleaseSRWLockExclusive(&lock);
    if (ours)
        HeapFree(heap, 0, block);
    else if (runtimeFree)
        runtimeFree(block);
}

void* Resize(void* block, size_t size)
{
    if (!block)
        return Allocate(size, false);
    if (size == 0) {
        Release(block);
        return nullptr;
    }
    size_t old = 0;
    AcquireSRWLockExclusive(&lock);
    const bool ours = table && Remove(block, old);
    ReleaseSRWLockExclusive(&lock);
    if (!ours)
        return runtimeRealloc ? runtimeRealloc(block, size) : nullptr;
    void* moved = HeapReAlloc(heap, 0, block, size);
    AcquireSRWLockExclusive(&lock);
    Insert(moved ? moved : block, moved ? size : old);
    ReleaseSRWLockExclusive(&lock);
    return moved;
}

// The peak of live bytes since the last call (which starts a new period at the live bytes).
uint64_t TakePeak()
{
    AcquireSRWLockExclusive(&lock);
    const uint64_t value = peak > live ? peak : live;
    peak = live;
    ReleaseSRWLockExclusive(&lock);
    return value;
}

uint64_t Live()
{
    AcquireSRWLockShared(&lock);
    const uint64_t value = live;
    ReleaseSRWLockShared(&lock);
    return value;
}

}  // namespace alloccount

extern "C" {
void* malloc(size_t size)
{
    return alloccount::Allocate(size, false);
}
void* calloc(size_t count, size_t size)
{
    if (size && count > SIZE_MAX / size)
        return nullptr;
    return alloccount::Allocate(count * size, true);
}
void* realloc(void* block, size_t size)
{
    return alloccount::Resize(block, size);
}
void free(void* block)
{
    alloccount::Release(block);
}
}

namespace {

using Bytes = std::vector<uint8_t>;

constexpr size_t kMaxInput = 256 * 1024;
constexpr uint64_t kMaxIterations = 2000;
constexpr ULONGLONG kTimeLimitMs = 20000;   // one slow input may run past it
// A load may take at most this long (on a loaded machine under Wine) ...
constexpr ULONGLONG kSlowLoadMs = 5000;      // of the thread's processor time
constexpr ULONGLONG kStuckLoadMs = 120000;   // of the clock: a load that waits instead of working

// The processor time this thread has used, in milliseconds. A campaign shares the machine (and may
// be paused while it is measured), so a load's cost is counted by its own thread, not the clock.
ULONGLONG ThreadMilliseconds()
{
    FILETIME created, exited, kernel, user;
    if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user))
        return GetTickCount64();
    const auto ticks = [](const FILETIME& t) { return (static_cast<ULONGLONG>(t.dwHighDateTime) << 32) | t.dwLowDateTime; };
    return (ticks(kernel) + ticks(user)) / 10000;
}
// ... and allocate at most this multiple of its file's size, plus a fixed amount for the
// libraries' own tables and one decoded row block.
constexpr uint64_t kAllocationRatio = 4096;
constexpr uint64_t kAllocationSlack = uint64_t{64} << 20;

struct Seed {
    std::string name;        // for the report
    std::wstring extension;  // with the dot
    Bytes bytes;
};

// What the crash filter reports.
volatile uint64_t currentIteration = 0;
const char* volatile currentSeed = "";
const wchar_t* volatile currentPath = L"";
volatile int currentPreview = 0;
volatile int currentQuick = 0;

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info ? info->ExceptionRecord : nullptr;
    fprintf(stderr, "CRASH: exception 0x%08lX at address %p, seed \"%s\", iteration %llu, preview %d quick %d\n",
            record ? record->ExceptionCode : 0ul, record ? record->ExceptionAddress : nullptr, currentSeed,
            static_cast<unsigned long long>(currentIteration), currentPreview, currentQuick);
    // The offset inside the program, for addr2line -e fuzz_loaders.exe.
    HMODULE module = nullptr;
    if (record && GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                                     static_cast<LPCWSTR>(record->ExceptionAddress), &module))
        fprintf(stderr, "CRASH: module base %p, offset 0x%llx\n", static_cast<void*>(module),
                static_cast<unsigned long long>(static_cast<const char*>(record->ExceptionAddress) -
                                                reinterpret_cast<const char*>(module)));
    fprintf(stderr, "CRASH: input kept as %ls\n", currentPath);
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
    path += L"fuzz_loaders_" + std::to_wstring(GetCurrentProcessId());
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
    while ((got = fread(chunk, 1, sizeof(chunk), file)) > 0 && bytes.size() < kMaxInput)
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

// ---- Byte building ------------------------------------------------------------------------

void Put(Bytes& out, const char* text, size_t length)
{
    out.insert(out.end(), text, text + length);
}
void Put(Bytes& out, const char* text)
{
    Put(out, text, strlen(text));
}
void PutLE16(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLE32(Bytes& out, uint32_t v)
{
    PutLE16(out, v & 0xFFFF);
    PutLE16(out, v >> 16);
}
void PutBE16(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
void PutBE32(Bytes& out, uint32_t v)
{
    PutBE16(out, v >> 16);
    PutBE16(out, v & 0xFFFF);
}
void Append(Bytes& out, const Bytes& more)
{
    out.insert(out.end(), more.begin(), more.end());
}

Bytes PngChunk(const char* type, const Bytes& data)
{
    Bytes out;
    PutBE32(out, static_cast<uint32_t>(data.size()));
    Put(out, type, 4);
    Append(out, data);
    uLong crc = crc32(0, reinterpret_cast<const Bytef*>(type), 4);
    if (!data.empty())
        crc = crc32(crc, data.data(), static_cast<uInt>(data.size()));
    PutBE32(out, static_cast<uint32_t>(crc));
    return out;
}

Bytes Deflate(const Bytes& raw)
{
    uLongf size = compressBound(static_cast<uLong>(raw.size()));
    Bytes out(size);
    compress(out.data(), &size, raw.data(), static_cast<uLong>(raw.size()));
    out.resize(size);
    return out;
}

// Three 6 x 4 RGBA frames, the second a 3 x 2 patch blended over, the third disposed to
// background; frame 0 is the default image.
Bytes AnimatedPng()
{
    auto rows = [](uint32_t w, uint32_t h, uint8_t tone) {
        Bytes raw;
        for (uint32_t y = 0; y < h; ++y) {
            raw.push_back(static_cast<uint8_t>(y % 5));   // every filter type
            for (uint32_t x = 0; x < w; ++x) {
                raw.push_back(static_cast<uint8_t>(tone + x * 20));
                raw.push_back(static_cast<uint8_t>(y * 40));
                raw.push_back(tone);
                raw.push_back(static_cast<uint8_t>(x == 0 ? 0 : 255));
            }
        }
        return Deflate(raw);
    };
    auto fctl = [](uint32_t sequence, uint32_t w, uint32_t h, uint32_t x, uint32_t y, uint8_t dispose,
                   uint8_t blend) {
        Bytes d;
        PutBE32(d, sequence);
        PutBE32(d, w);
        PutBE32(d, h);
        PutBE32(d, x);
        PutBE32(d, y);
        PutBE16(d, 1);
        PutBE16(d, 10);
        d.push_back(dispose);
        d.push_back(blend);
        return PngChunk("fcTL", d);
    };
    Bytes out = {137, 80, 78, 71, 13, 10, 26, 10};
    Bytes ihdr;
    PutBE32(ihdr, 6);
    PutBE32(ihdr, 4);
    ihdr.insert(ihdr.end(), {8, 6, 0, 0, 0});
    Append(out, PngChunk("IHDR", ihdr));
    Bytes actl;
    PutBE32(actl, 3);
    PutBE32(actl, 0);
    Append(out, PngChunk("acTL", actl));
    Append(out, fctl(0, 6, 4, 0, 0, 0, 0));
    Append(out, PngChunk("IDAT", rows(6, 4, 10)));
    Append(out, fctl(1, 3, 2, 2, 1, 2, 1));
    Bytes fdat;
    PutBE32(fdat, 2);
    Append(fdat, rows(3, 2, 90));
    Append(out, PngChunk("fdAT", fdat));
    Append(out, fctl(3, 6, 4, 0, 0, 1, 0));
    fdat.clear();
    PutBE32(fdat, 4);
    Append(fdat, rows(6, 4, 170));
    Append(out, PngChunk("fdAT", fdat));
    Append(out, PngChunk("IEND", {}));
    return out;
}

Bytes Ani(const Bytes& icon)
{
    Bytes anih;
    for (uint32_t v : {36u, 2u, 2u, 0u, 0u, 0u, 0u, 10u, 1u})
        PutLE32(anih, v);
    Bytes list;
    Put(list, "fram");
    for (int i = 0; i < 2; ++i) {
        Put(list, "icon");
        PutLE32(list, static_cast<uint32_t>(icon.size()));
        Append(list, icon);
        if (icon.size() & 1)
            list.push_back(0);
    }
    Bytes body;
    Put(body, "ACON");
    Put(body, "anih");
    PutLE32(body, static_cast<uint32_t>(anih.size()));
    Append(body, anih);
    Put(body, "rate");
    PutLE32(body, 8);
    PutLE32(body, 10);
    PutLE32(body, 20);
    Put(body, "LIST");
    PutLE32(body, static_cast<uint32_t>(list.size()));
    Append(body, list);
    Bytes out;
    Put(out, "RIFF");
    PutLE32(out, static_cast<uint32_t>(body.size()));
    Append(out, body);
    return out;
}

Bytes Dcx(const Bytes& pcx)
{
    Bytes out;
    PutLE32(out, 0x3ADE68B1);
    PutLE32(out, 16);                                     // page 1
    PutLE32(out, static_cast<uint32_t>(16 + pcx.size()));   // page 2
    PutLE32(out, 0);
    Append(out, pcx);
    Append(out, pcx);
    return out;
}

Bytes Flt(uint16_t depth)
{
    Bytes out = {'I', 'M', 'A', 'G', 'E', '1', '1', 0};
    PutLE16(out, 0);
    PutLE16(out, 4);   // four bytes of header extension
    PutLE16(out, 0);
    PutLE32(out, 9);
    PutLE32(out, 5);
    PutLE16(out, depth);
    PutLE32(out, 0);
    const size_t bytes = depth == 1 ? 2 * 5 : 9 * 5 * (depth / 8);
    for (size_t i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(i * 37));
    return out;
}

Bytes Gem(uint16_t planes)
{
    Bytes out;
    for (uint32_t v : {1u, 8u, uint32_t{planes}, 2u, 0x55u, 0x55u, 16u, 4u})
        PutBE16(out, v);
    for (int plane = 0; plane < planes; ++plane) {
        // A vertical repeat, a pattern run, a solid run and a bit string per row block.
        out.insert(out.end(), {0x00, 0x00, 0xFF, 0x02});
        out.insert(out.end(), {0x00, 0x01, 0xAA, 0x55});
        out.insert(out.end(), {0x81});
        out.insert(out.end(), {0x80, 0x01, 0x3C});
    }
    return out;
}

Bytes Iff(bool compressed)
{
    const uint16_t w = 16, h = 4;
    const uint8_t planes = 2;
    Bytes bmhd;
    PutBE16(bmhd, w);
    PutBE16(bmhd, h);
    PutBE32(bmhd, 0);
    bmhd.push_back(planes);
    bmhd.push_back(0);
    bmhd.push_back(compressed ? 1 : 0);
    bmhd.push_back(0);
    PutBE16(bmhd, 0);
    bmhd.push_back(10);
    bmhd.push_back(11);
    PutBE16(bmhd, w);
    PutBE16(bmhd, h);
    Bytes cmap;
    for (int i = 0; i < (1 << planes) * 3; ++i)
        cmap.push_back(static_cast<uint8_t>(i * 20));
    Bytes body;
    for (int row = 0; row < h * planes; ++row) {
        if (compressed) {
            body.insert(body.end(), {0xFF, static_cast<uint8_t>(row * 17)});   // repeat 2
        } else {
            body.push_back(static_cast<uint8_t>(row * 17));
            body.push_back(static_cast<uint8_t>(~row));
        }
    }
    auto chunk = [](Bytes& out, const char* id, const Bytes& data) {
        Put(out, id, 4);
        PutBE32(out, static_cast<uint32_t>(data.size()));
        Append(out, data);
        if (data.size() & 1)
            out.push_back(0);
    };
    Bytes form;
    Put(form, "ILBM");
    chunk(form, "BMHD", bmhd);
    chunk(form, "CMAP", cmap);
    chunk(form, "BODY", body);
    Bytes out;
    Put(out, "FORM");
    PutBE32(out, static_cast<uint32_t>(form.size()));
    Append(out, form);
    return out;
}

Bytes Hdr(bool runLength)
{
    Bytes out;
    Put(out, "#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n");
    const int w = runLength ? 12 : 4;
    const int h = 3;
    Put(out, ("-Y " + std::to_string(h) + " +X " + std::to_string(w) + "\n").c_str());
    for (int y = 0; y < h; ++y) {
        if (runLength) {
            out.insert(out.end(), {2, 2, 0, static_cast<uint8_t>(w)});
            for (int channel = 0; channel < 4; ++channel) {
                out.insert(out.end(), {static_cast<uint8_t>(128 + 6), static_cast<uint8_t>(100 + channel)});
                out.insert(out.end(), {6, 1, 2, 3, 4, 5, 6});
            }
        } else {
            for (int x = 0; x < w; ++x)
                out.insert(out.end(), {static_cast<uint8_t>(x * 50), 80, static_cast<uint8_t>(y * 60), 128});
        }
    }
    return out;
}

Bytes Pcd()
{
    Bytes out(2048, 0xFF);
    Put(out, "PCD_IPI");
    out.resize(4096, 0);
    for (size_t i = 4096; i < 12288; ++i)
        out.push_back(static_cast<uint8_t>(i * 7));
    return out;
}

Bytes Pict(const Bytes& jpeg)
{
    Bytes out(512, 0);
    PutBE16(out, 0);
    PutBE16(out, 0);
    PutBE16(out, 0);
    PutBE16(out, 23);
    PutBE16(out, 37);
    out.insert(out.end(), {0x00, 0x11, 0x02, 0xFF, 0x0C, 0x00, 0x00, 0x82, 0x00, 0x00});
    Append(out, jpeg);
    out.insert(out.end(), {0x00, 0xFF});
    return out;
}

// A run-length TGA of 24-bit pixels whose packets run on from one row into the next.
Bytes TgaRunLength()
{
    Bytes out = {0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    PutLE16(out, 5);
    PutLE16(out, 3);
    out.insert(out.end(), {24, 0x20});
    out.insert(out.end(), {0x86, 10, 20, 30, 0x03, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0x84, 90, 80, 70});
    return out;
}

// A clipboard file: a text entry, then an 8-bit bitmap of 5 x 3 with a 4-colour palette.
Bytes Clp()
{
    Bytes dib;
    for (uint32_t v : {40u, 5u, 3u})
        PutLE32(dib, v);
    PutLE16(dib, 1);
    PutLE16(dib, 8);
    for (uint32_t v : {0u, 24u, 0u, 0u, 4u, 0u})
        PutLE32(dib, v);
    for (uint32_t colour : {0x000000FFu, 0x0000FF00u, 0x00FF0000u, 0x00808080u})
        PutLE32(dib, colour);
    for (int i = 0; i < 24; ++i)
        dib.push_back(static_cast<uint8_t>(i % 4));
    const Bytes text = {'c', 'l', 'i', 'p', 0};
    Bytes out;
    PutLE16(out, 0xC350);
    PutLE16(out, 2);
    const uint32_t first = 4 + 2 * 89;
    PutLE16(out, 1);
    PutLE32(out, static_cast<uint32_t>(text.size()));
    PutLE32(out, first);
    out.resize(out.size() + 79, 0);
    PutLE16(out, 8);
    PutLE32(out, static_cast<uint32_t>(dib.size()));
    PutLE32(out, first + static_cast<uint32_t>(text.size()));
    out.resize(out.size() + 79, 0);
    Append(out, text);
    Append(out, dib);
    return out;
}

// A Dr. Halo picture of 9 x 4: rows of repeats and literals, each record with its byte count.
Bytes Cut()
{
    Bytes out;
    PutLE16(out, 9);
    PutLE16(out, 4);
    PutLE16(out, 0);
    for (int row = 0; row < 4; ++row) {
        const Bytes record = {0x84, static_cast<uint8_t>(row * 40), 0x05, 1, 2, 3, 4, static_cast<uint8_t>(row), 0};
        PutLE16(out, static_cast<uint32_t>(record.size()));
        Append(out, record);
    }
    return out;
}

// Softimage PIC: a colour packet in mixed runs and an alpha packet in pure runs.
Bytes Softimage()
{
    Bytes out;
    PutBE32(out, 0x5380F634);
    PutBE32(out, 0);
    Put(out, "comment", 7);
    out.resize(88, 0);
    Put(out, "PICT");
    PutBE16(out, 7);
    PutBE16(out, 3);
    PutBE32(out, 0);
    PutBE32(out, 0);
    out.insert(out.end(), {1, 8, 2, 0xE0, 0, 8, 1, 0x10});
    for (int y = 0; y < 3; ++y) {
        out.insert(out.end(), {0x01, 10, 20, 30, 40, 50, 60, 131, 70, 80, 90, 128, 0x00, 0x01, 1, 2, 3});
        out.insert(out.end(), {4, 200, 3, 100});
    }
    return out;
}

// PC Paint: 8 bits in two run-length blocks, or four bit planes in one.
Bytes PcPaint(bool planes)
{
    Bytes out;
    PutLE16(out, 0x1234);
    PutLE16(out, 9);
    PutLE16(out, 4);
    PutLE32(out, 0);
    out.push_back(planes ? 0x31 : 0x08);
    out.push_back(0xFF);
    out.push_back('M');
    PutLE16(out, 0);
    const size_t paletteBytes = planes ? 16 : 48;
    PutLE16(out, static_cast<uint32_t>(paletteBytes));
    for (size_t i = 0; i < paletteBytes; ++i)
        out.push_back(static_cast<uint8_t>(i * 5 % 64));
    PutLE16(out, 2);
    const Bytes data = planes ? Bytes{0xAA, 6, 0x5A, 0x11, 0x22, 0xAA, 0, 4, 0, 0x0F}
                              : Bytes{0xAA, 20, 7, 1, 2, 3, 0xAA, 0, 9, 0, 5};
    for (int block = 0; block < 2; ++block) {
        PutLE16(out, static_cast<uint32_t>(data.size() + 5));
        PutLE16(out, planes ? 8 : 18);
        out.push_back(0xAA);
        Append(out, data);
    }
    return out;
}

Bytes PlanarPic()
{
    Bytes out;
    Put(out, "PIC");
    for (size_t i = 0; i < 64000; ++i)
        out.push_back(static_cast<uint8_t>(i * 13 >> 4));
    return out;
}

Bytes Hrz()
{
    Bytes out;
    for (size_t i = 0; i < 184320; ++i)
        out.push_back(static_cast<uint8_t>(i % 64));
    return out;
}

Bytes Msp(bool runs)
{
    Bytes out;
    Put(out, runs ? "LinS" : "DanM");
    PutLE16(out, 20);
    PutLE16(out, 4);
    out.resize(32, 0);
    if (runs) {
        for (int y = 0; y < 4; ++y)
            PutLE16(out, 5);
        for (int y = 0; y < 4; ++y)
            out.insert(out.end(), {0x00, 0x02, 0xF0, 0x01, static_cast<uint8_t>(y)});
    } else {
        for (int i = 0; i < 12; ++i)
            out.push_back(static_cast<uint8_t>(i * 37));
    }
    return out;
}

// MacPaint behind a MacBinary header: a few coded rows.
Bytes MacPaint()
{
    Bytes out = {0, 5};
    Put(out, "fuzzy");
    out.resize(65, 0);
    Put(out, "PNTG");
    out.resize(640, 0);
    for (int y = 0; y < 6; ++y)
        out.insert(out.end(), {3, 0xF0, 0x0F, 0xAA, 0x55, 128, static_cast<uint8_t>(257 - 68), 0x33});
    return out;
}

Bytes Rla()
{
    Bytes out(740, 0);
    auto put16 = [&out](size_t at, uint32_t v) {
        out[at] = static_cast<uint8_t>(v >> 8);
        out[at + 1] = static_cast<uint8_t>(v);
    };
    put16(10, 5);
    put16(14, 2);
    put16(20, 3);
    put16(22, 1);
    put16(658, 8);
    Bytes line;
    for (int channel = 0; channel < 4; ++channel) {
        const Bytes coded = {0xFD, 1, 2, 3, 0x02, static_cast<uint8_t>(channel * 60)};
        PutBE16(line, static_cast<uint32_t>(coded.size()));
        Append(line, coded);
    }
    for (uint32_t row = 0; row < 3; ++row)
        PutBE32(out, static_cast<uint32_t>(740 + 12 + row * line.size()));
    for (int row = 0; row < 3; ++row)
        Append(out, line);
    return out;
}

Bytes Zbr()
{
    Bytes out;
    PutLE16(out, 666);
    PutLE16(out, 3);
    Put(out, "a drawing");
    out.resize(104, 0);
    for (size_t i = 0; i < 5264; ++i)
        out.push_back(static_cast<uint8_t>(i * 7));
    return out;
}

Bytes PppText(bool runs)
{
    Bytes out;
    Put(out, runs ? "Punk 0 4 3 1 6 0\n# runs\n3 10 20 30 5 200 100 50 9 1 2 3\n"
                  : "Punk 0 2 2 0 0 0\n255 0 0 0 255 0\n0 0 255 9 9 9\n");
    return out;
}

Bytes Wbmp()
{
    Bytes out = {0x00, 0x80, 0x61};
    Put(out, "abcdefg");
    out.insert(out.end(), {0x81, 0x00, 0x03});
    for (int i = 0; i < 48; ++i)
        out.push_back(static_cast<uint8_t>(i * 29));
    return out;
}

Bytes Xbm(bool shorts)
{
    Bytes out;
    Put(out, shorts ? "/* x10 */\n#define f_width 20\n#define f_height 3\nstatic short f_bits[] = {\n"
                      " 0x8001,0x001f,0x800c,0x001f,0x8030,0x001f};\n"
                    : "#define f_width 12\n#define f_height 2\n#define f_x_hot 1\n#define f_y_hot 1\n"
                      "static unsigned char f_bits[] = { 0x01, 017, 0xF0, 255 };\n");
    return out;
}

Bytes Pfm(bool colour)
{
    Bytes out;
    Put(out, colour ? "PF\n3 2\n-1.0\n" : "Pf\n3 2\n2.5\n");
    const float samples[] = {0.0f, 0.1f, 0.2f, 0.5f, 1.0f, 4.0f, 100.0f, -1.0f, 0.33f};
    const size_t count = colour ? 18 : 6;
    for (size_t i = 0; i < count; ++i) {
        uint32_t bits;
        memcpy(&bits, &samples[i % 9], 4);
        if (colour)
            PutLE32(out, bits);
        else
            PutBE32(out, bits);
    }
    return out;
}

// Metafiles recorded with GDI: a few shapes and a text.
void DrawShapes(HDC dc)
{
    HBRUSH brush = CreateSolidBrush(RGB(200, 30, 40));
    HGDIOBJ old = SelectObject(dc, brush);
    Rectangle(dc, 2, 2, 40, 20);
    Ellipse(dc, 30, 5, 70, 35);
    const POINT points[] = {{5, 30}, {25, 38}, {60, 10}};
    Polyline(dc, points, 3);
    TextOutW(dc, 10, 10, L"fuzz", 4);
    SelectObject(dc, old);
    DeleteObject(brush);
}

Bytes WindowsMetafile()
{
    HDC dc = CreateMetaFileW(nullptr);
    SetWindowOrgEx(dc, 0, 0, nullptr);
    SetWindowExtEx(dc, 80, 40, nullptr);
    DrawShapes(dc);
    HMETAFILE metafile = CloseMetaFile(dc);
    Bytes out(GetMetaFileBitsEx(metafile, 0, nullptr));
    GetMetaFileBitsEx(metafile, static_cast<UINT>(out.size()), out.data());
    DeleteMetaFile(metafile);
    return out;
}

Bytes EnhancedMetafile()
{
    HDC dc = CreateEnhMetaFileW(nullptr, nullptr, nullptr, nullptr);
    DrawShapes(dc);
    HENHMETAFILE metafile = CloseEnhMetaFile(dc);
    Bytes out(GetEnhMetaFileBits(metafile, 0, nullptr));
    GetEnhMetaFileBits(metafile, static_cast<UINT>(out.size()), out.data());
    DeleteEnhMetaFile(metafile);
    return out;
}

Bytes PlaceableMetafile(const Bytes& metafile)
{
    Bytes out;
    PutLE32(out, 0x9AC6CDD7);
    for (uint32_t v : {0u, 0u, 0u, 80u, 40u, 96u})
        PutLE16(out, v);
    PutLE32(out, 0);
    uint16_t sum = 0;
    for (size_t i = 0; i < 20; i += 2)
        sum = static_cast<uint16_t>(sum ^ (out[i] | (out[i + 1] << 8)));
    PutLE16(out, sum);
    Append(out, metafile);
    return out;
}

// A drawing with a bitmap preview (8 x 4 at 4 bits) and a metafile preview.
Bytes Drawing(const Bytes& metafile)
{
    Bytes bitmap;
    for (uint32_t v : {40u, 8u, 4u})
        PutLE32(bitmap, v);
    PutLE16(bitmap, 1);
    PutLE16(bitmap, 4);
    for (int i = 0; i < 6; ++i)
        PutLE32(bitmap, 0);
    for (int i = 0; i < 16 * 4 + 16; ++i)
        bitmap.push_back(static_cast<uint8_t>(i * 17));
    Bytes out;
    Put(out, "AC1015");
    out.resize(13, 0);
    PutLE32(out, 20);
    out.resize(20, 0);
    const uint8_t sentinel[16] = {0x1F, 0x25, 0x6D, 0x07, 0xD4, 0x36, 0x28, 0x28,
                                  0x9D, 0x57, 0xCA, 0x3F, 0x9D, 0x44, 0x10, 0x2B};
    out.insert(out.end(), sentinel, sentinel + 16);
    PutLE32(out, 0);
    out.push_back(2);
    const uint32_t first = static_cast<uint32_t>(out.size() + 18);
    out.push_back(2);
    PutLE32(out, first);
    PutLE32(out, static_cast<uint32_t>(bitmap.size()));
    out.push_back(3);
    PutLE32(out, first + static_cast<uint32_t>(bitmap.size()));
    PutLE32(out, static_cast<uint32_t>(metafile.size()));
    Append(out, bitmap);
    Append(out, metafile);
    return out;
}

// An EPS file with the binary header and a TIFF and a metafile preview.
Bytes Eps(const Bytes& metafile, const Bytes& tiff)
{
    const char postscript[] = "%!PS-Adobe-3.0 EPSF-3.0\n";
    const uint32_t psLength = sizeof(postscript) - 1;
    Bytes out = {0xC5, 0xD0, 0xD3, 0xC6};
    PutLE32(out, 30);
    PutLE32(out, psLength);
    PutLE32(out, metafile.empty() ? 0 : 30 + psLength);
    PutLE32(out, static_cast<uint32_t>(metafile.size()));
    PutLE32(out, tiff.empty() ? 0 : 30 + psLength + static_cast<uint32_t>(metafile.size()));
    PutLE32(out, static_cast<uint32_t>(tiff.size()));
    PutLE16(out, 0xFFFF);
    Put(out, postscript, psLength);
    Append(out, metafile);
    Append(out, tiff);
    return out;
}

// ---- Seeds from the writers --------------------------------------------------------------

void Ramp(NImageBuffer& picture, int w, int h, int bpp)
{
    uint8_t palette[256 * 3];
    for (int i = 0; i < 256; ++i) {
        palette[i * 3] = static_cast<uint8_t>(i);
        palette[i * 3 + 1] = static_cast<uint8_t>(255 - i);
        palette[i * 3 + 2] = static_cast<uint8_t>(i * 7);
    }
    picture.Create(w, h, bpp, 0, palette);
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.stride; ++x)
            picture.bits[static_cast<size_t>(y) * picture.stride + x] = static_cast<uint8_t>(x * 13 + y * 7);
}

bool Written(const std::wstring& folder, const wchar_t* extension, int bpp, Bytes& bytes, int w = 37, int h = 23)
{
    NImageBuffer picture;
    Ramp(picture, w, h, bpp);
    const std::wstring path = folder + L"\\seed" + extension;
    const bool ok = SaveImageFile(&picture, path.c_str(), 0, nullptr) == NR_OK && ReadFile(path, bytes);
    DeleteFileW(path.c_str());
    return ok && !bytes.empty();
}

// A document as its writer makes it: metadata, a preview, the base picture and objects of
// several kinds (the format class writes only with a document attached).
bool DocumentWritten(const std::wstring& folder, Bytes& bytes)
{
    NImageBuffer base;
    Ramp(base, 21, 13, 24);
    NObjectDocument doc;
    DocObject o;
    o.rect = RECT{1, 2, 15, 9};
    RectanglePayload rectangle;
    o.id = 1;
    doc.AddRectangle(o, &rectangle);
    PolylinePayload polyline;
    polyline.points = {{0, 0}, {4, 5}, {9, 1}};
    o.id = 2;
    doc.AddPolyline(o, &polyline);
    TextPayload text;
    text.text = L"seed";
    o.id = 3;
    doc.AddText(o, &text);
    PicturePayload picture;
    Ramp(picture.picture, 5, 4, 24);
    o.id = 4;
    doc.AddPicture(o, &picture);
    const std::wstring path = folder + L"\\seed.lmcdoc";
    const bool ok = doc.Save(base, path.c_str(), true, &base, "<x:xmpmeta/>", std::string()) == NR_OK &&
                    ReadFile(path, bytes);
    DeleteFileW(path.c_str());
    return ok && !bytes.empty();
}

void AddSeeds(const std::wstring& folder, std::vector<Seed>& seeds)
{
    struct Made {
        const char* name;
        const wchar_t* extension;
        int bpp;
    } made[] = {{"BMP 8", L".bmp", 8},   {"BMP 24", L".bmp", 24}, {"BMP 32", L".bmp", 32},   {"BMP 1", L".bmp", 1},
                {"PCX 8", L".pcx", 8},   {"PCX 24", L".pcx", 24}, {"PCX 1", L".pcx", 1},     {"ICO 32", L".ico", 32},
                {"ICO 8", L".ico", 8},   {"PNG 24", L".png", 24}, {"PNG 32", L".png", 32},   {"PNG 8", L".png", 8},
                {"GIF 8", L".gif", 8},   {"JPEG", L".jpg", 24},   {"TIFF 24", L".tif", 24},  {"TIFF 1", L".tif", 1},
                {"PSD 24", L".psd", 24}, {"PSD 32", L".psd", 32}, {"PSD 8", L".psd", 8},     {"PDF", L".pdf", 24},
                {"TGA 8", L".tga", 8},   {"TGA 32", L".tga", 32}, {"TGA 1", L".tga", 1},
                {"RAS 8", L".ras", 8},   {"RAS 24", L".ras", 24}, {"RAS 32", L".ras", 32},   {"RAS 1", L".ras", 1},
                {"SGI 24", L".sgi", 24}, {"SGI 32", L".sgi", 32}, {"PIX", L".pix", 24},      {"PPP", L".ppp", 24}};
    Bytes bytes;
    Bytes jpeg, ico, pcx, tiff;
    for (const Made& m : made) {
        if (!Written(folder, m.extension, m.bpp, bytes)) {
            printf("note: no %s seed from the writer\n", m.name);
            continue;
        }
        seeds.push_back({m.name, m.extension, bytes});
        if (!strcmp(m.name, "JPEG"))
            jpeg = bytes;
        if (!strcmp(m.name, "ICO 32"))
            ico = bytes;
        if (!strcmp(m.name, "PCX 8"))
            pcx = bytes;
        if (!strcmp(m.name, "TIFF 24"))
            tiff = bytes;
    }

    if (DocumentWritten(folder, bytes))
        seeds.push_back({"LMC", L".lmcdoc", bytes});
    else
        printf("note: no LMC seed from the writer\n");
    seeds.push_back({"APNG", L".png", AnimatedPng()});
    if (ico.size() > 4) {
        Bytes cur = ico;
        cur[2] = 2;
        seeds.push_back({"CUR", L".cur", cur});
        seeds.push_back({"ANI", L".ani", Ani(ico)});
    }
    if (!pcx.empty())
        seeds.push_back({"DCX", L".dcx", Dcx(pcx)});
    seeds.push_back({"FLT 8", L".flt", Flt(8)});
    seeds.push_back({"FLT 32", L".flt", Flt(32)});
    seeds.push_back({"GEM 1", L".gem", Gem(1)});
    seeds.push_back({"GEM 4", L".gem", Gem(4)});
    seeds.push_back({"IFF", L".iff", Iff(false)});
    seeds.push_back({"IFF packed", L".iff", Iff(true)});
    seeds.push_back({"HDR flat", L".hdr", Hdr(false)});
    seeds.push_back({"HDR rle", L".hdr", Hdr(true)});
    seeds.push_back({"PCD", L".pcd", Pcd()});
    seeds.push_back({"TGA rle", L".tga", TgaRunLength()});
    seeds.push_back({"CLP", L".clp", Clp()});
    seeds.push_back({"CUT", L".cut", Cut()});
    seeds.push_back({"Softimage PIC", L".pic", Softimage()});
    seeds.push_back({"PC Paint 8", L".pic", PcPaint(false)});
    seeds.push_back({"PC Paint planes", L".pic", PcPaint(true)});
    seeds.push_back({"planar PIC", L".pic", PlanarPic()});
    seeds.push_back({"HRZ", L".hrz", Hrz()});
    seeds.push_back({"MSP 1", L".msp", Msp(false)});
    seeds.push_back({"MSP 2", L".msp", Msp(true)});
    seeds.push_back({"MacPaint", L".mac", MacPaint()});
    seeds.push_back({"RLA", L".rla", Rla()});
    seeds.push_back({"ZBR", L".zbr", Zbr()});
    seeds.push_back({"PPP text", L".ppp", PppText(false)});
    seeds.push_back({"PPP text runs", L".ppp", PppText(true)});
    seeds.push_back({"WBMP", L".wbmp", Wbmp()});
    seeds.push_back({"XBM char", L".xbm", Xbm(false)});
    seeds.push_back({"XBM short", L".xbm", Xbm(true)});
    seeds.push_back({"PFM colour", L".pfm", Pfm(true)});
    seeds.push_back({"PFM grey", L".pfm", Pfm(false)});
    const Bytes wmf = WindowsMetafile();
    seeds.push_back({"WMF", L".wmf", wmf});
    seeds.push_back({"placeable WMF", L".wmf", PlaceableMetafile(wmf)});
    seeds.push_back({"EMF", L".emf", EnhancedMetafile()});
    seeds.push_back({"DWG", L".dwg", Drawing(wmf)});
    seeds.push_back({"EPS metafile", L".eps", Eps(wmf, {})});
    if (!tiff.empty())
        seeds.push_back({"EPS TIFF", L".eps", Eps({}, tiff)});
    if (!jpeg.empty()) {
        seeds.push_back({"PICT", L".pct", Pict(jpeg)});
        Bytes pair;
        if (Written(folder, L".jpg", 24, pair, 48, 16))
            seeds.push_back({"JPS", L".jps", pair});
        Bytes mpo = jpeg;
        Append(mpo, jpeg);
        seeds.push_back({"MPO", L".mpo", mpo});
    }
    // A second GIF at another depth (another code size for the LZW data).
    if (Written(folder, L".gif", 4, bytes))
        seeds.push_back({"GIF 4", L".gif", bytes});
}

void AddFixtures(const std::wstring& root, std::vector<Seed>& seeds)
{
    WIN32_FIND_DATAW folderData;
    HANDLE folders = FindFirstFileW((root + L"\\*").c_str(), &folderData);
    if (folders == INVALID_HANDLE_VALUE)
        return;
    do {
        if (!(folderData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || folderData.cFileName[0] == L'.')
            continue;
        const std::wstring sub = root + L"\\" + folderData.cFileName;
        WIN32_FIND_DATAW fileData;
        HANDLE files = FindFirstFileW((sub + L"\\*").c_str(), &fileData);
        if (files == INVALID_HANDLE_VALUE)
            continue;
        do {
            if (fileData.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                continue;
            const std::wstring path = sub + L"\\" + fileData.cFileName;
            if (FormatFromExtension(path.c_str()) == 0 || fileData.nFileSizeHigh || fileData.nFileSizeLow > kMaxInput)
                continue;
            const wchar_t* dot = wcsrchr(fileData.cFileName, L'.');
            Bytes bytes;
            if (dot && ReadFile(path, bytes) && !bytes.empty()) {
                char name[MAX_PATH * 2];
                snprintf(name, sizeof(name), "fixture %ls", fileData.cFileName);
                seeds.push_back({name, dot, bytes});
            }
        } while (FindNextFileW(files, &fileData));
        FindClose(files);
    } while (FindNextFileW(folders, &folderData));
    FindClose(folders);
}

// ---- Mutations -----------------------------------------------------------------------------

void Mutate(Random& random, Bytes& data)
{
    const size_t rounds = 1 + random.Below(5);
    for (size_t round = 0; round < rounds && !data.empty(); ++round) {
        // Most damage lands in the first bytes, where the headers and length fields are.
        size_t at = random.Below(data.size());
        if (random.Below(2) == 0)
            at = random.Below(std::min<size_t>(data.size(), 128));
        switch (random.Below(9)) {
        case 0:
            data[at] ^= static_cast<uint8_t>(1u << random.Below(8));
            break;
        case 1: {
            static const uint8_t values[] = {0x00, 0xFF, 0x7F, 0x80, 0x01, 0xFE};
            data[at] = values[random.Below(sizeof(values))];
            break;
        }
        case 2:
            data[at] = random.Byte();
            break;
        case 3: {
            // A length, size or offset field: 16 or 32 bits of an edge value, either byte order.
            static const uint32_t values[] = {0, 1, 0x7FFF, 0x8000, 0xFFFF, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF,
                                              0xFFFFFFF0, 0x10000};
            const uint32_t v = values[random.Below(sizeof(values) / sizeof(values[0]))];
            const size_t width = random.Below(2) ? 4 : 2;
            const bool big = random.Below(2) != 0;
            for (size_t i = 0; i < width && at + i < data.size(); ++i) {
                const size_t shift = 8 * (big ? width - 1 - i : i);
                data[at + i] = static_cast<uint8_t>(v >> shift);
            }
            break;
        }
        case 4:
            data.resize(at + 1);
            break;
        case 5: {
            const size_t length = std::min(data.size() - at, 1 + random.Below(64));
            data.erase(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
            break;
        }
        case 6: {
            const size_t length = std::min(data.size() - at, 1 + random.Below(64));
            const Bytes run(data.begin() + static_cast<long>(at), data.begin() + static_cast<long>(at + length));
            data.insert(data.begin() + static_cast<long>(random.Below(data.size())), run.begin(), run.end());
            break;
        }
        case 7: {
            const size_t length = 1 + random.Below(256);
            for (size_t i = 0; i < length; ++i)
                data.push_back(random.Byte());
            break;
        }
        default:
            data[at] = static_cast<uint8_t>(data[at] + 1 + random.Below(3));
            break;
        }
    }
    if (data.size() > kMaxInput)
        data.resize(kMaxInput);
}

// ---- Structure walks ------------------------------------------------------------------------

struct Walker {
    const wchar_t* extensions;   // dot-separated, each with its dot and a dot after
    PictureExtent (*find)(ByteSource&);
    NImageFile* (*make)();
    bool looksPastEnd;    // the bytes after the end decide whether it is the end: the next
                          // record id of a document, the marker of a PCX palette
    bool loaderReadsOn;   // the loader reads on into what follows (a document's records)
};

template <class T>
NImageFile* MakeLoader()
{
    return new T();
}

const Walker kWalkers[] = {
    {L".bmp.", &NImageFileBMP::FindExtent, &MakeLoader<NImageFileBMP>, false, false},
    {L".psd.", &NImageFilePSD::FindExtent, &MakeLoader<NImageFilePSD>, false, false},
    {L".iff.", &NImageFileIFF::FindExtent, &MakeLoader<NImageFileIFF>, false, false},
    {L".hdr.", &NImageFileHDR::FindExtent, &MakeLoader<NImageFileHDR>, false, false},
    {L".pcd.", &NImageFilePCD::FindExtent, &MakeLoader<NImageFilePCD>, false, false},
    {L".flt.", &NImageFileFLT::FindExtent, &MakeLoader<NImageFileFLT>, false, false},
    {L".dcx.", &NImageFileDCX::FindExtent, &MakeLoader<NImageFileDCX>, true, false},
    {L".ico.cur.", &NImageFileICO::FindExtent, &MakeLoader<NImageFileICO>, false, false},
    {L".lmcdoc.", &NImageFileLMC::FindExtent, &MakeLoader<NImageFileLMC>, true, true},
    {L".jng.", &NImageFileJNG::FindExtent, &MakeLoader<NImageFileJNG>, false, false},
    {L".mng.", &NImageFileMNG::FindExtent, &MakeLoader<NImageFileMNG>, false, false},
};

const Walker* WalkerFor(const std::wstring& extension)
{
    const std::wstring key = extension + L".";
    for (const Walker& w : kWalkers) {
        if (wcsstr(w.extensions, key.c_str()))
            return &w;
    }
    return nullptr;
}

PictureExtent WalkOver(const Walker& walker, const uint8_t* data, size_t size)
{
    MemoryByteSource source(data, size);
    return walker.find(source);
}

bool SameExtent(const PictureExtent& a, const PictureExtent& b)
{
    return a.kind == b.kind && (!a.IsComplete() || a.end == b.end);
}

// The walk's promises that need no loader. False (and a report) when one is broken.
bool CheckWalk(const Walker& walker, const Bytes& data, const char* seedName, uint64_t iteration)
{
    const PictureExtent e = WalkOver(walker, data.data(), data.size());
    const char* broken = nullptr;
    if (!SameExtent(e, WalkOver(walker, data.data(), data.size())))
        broken = "another answer for the same bytes";
    else if (e.IsComplete() && e.end > data.size())
        broken = "an end past the bytes";
    if (!broken && e.IsComplete()) {
        // Cut at its end the picture is still complete there; or unknown, where the walk would
        // have to look past the end to rule out more (a trailing palette after 8-bit PCX rows).
        const PictureExtent cut = WalkOver(walker, data.data(), static_cast<size_t>(e.end));
        if (cut.IsBroken() || (cut.IsComplete() && cut.end != e.end))
            broken = "another answer for the bytes cut at the end";
    }
    if (!broken && e.IsComplete() && !walker.looksPastEnd && e.end < data.size()) {
        Bytes changed = data;
        for (size_t i = static_cast<size_t>(e.end); i < changed.size(); ++i)
            changed[i] ^= 0xA5;
        if (!SameExtent(e, WalkOver(walker, changed.data(), changed.size())))
            broken = "another answer when the bytes after the end change";
    }
    if (broken)
        printf("FAIL %s iteration %llu: walk of %zu bytes (end %llu): %s\n", seedName,
               static_cast<unsigned long long>(iteration), data.size(), static_cast<unsigned long long>(e.end), broken);
    return broken == nullptr;
}

// The walk against the loader with the scan's flags (no preview, quick).
bool CheckWalkAgainstLoader(const Walker& walker, const std::wstring& path, const Bytes& data, const char* seedName,
                            uint64_t iteration)
{
    const PictureExtent e = WalkOver(walker, data.data(), data.size());
    if (!e.IsComplete() && !e.IsBroken())
        return true;
    NImageFile* whole = walker.make();
    const NRESULT result = whole->Load(path.c_str(), 0, 1, nullptr);
    const uint64_t consumed = whole->GetConsumedSize();
    const char* broken = nullptr;
    if (e.IsBroken() && result == NR_OK)
        broken = "broken, yet the loader reads a picture";
    else if (e.IsComplete() && result == NR_OK && (walker.loaderReadsOn ? consumed < e.end : consumed != e.end))
        broken = "complete, yet the loader stops elsewhere";
    if (!broken && e.IsComplete() && result == NR_OK && e.end < data.size()) {
        const std::wstring cutPath = path + L".cut" + path.substr(path.rfind(L'.'));
        WriteFile(cutPath, Bytes(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(e.end)));
        NImageFile* cut = walker.make();
        if (cut->Load(cutPath.c_str(), 0, 1, nullptr) != NR_OK)
            broken = "the file cut at the end does not load";
        else if (cut->GetConsumedSize() != e.end)
            broken = "the file cut at the end loads with another consumed size";
        else if (cut->picture.valid != whole->picture.valid || cut->picture.width != whole->picture.width ||
                 cut->picture.height != whole->picture.height || cut->picture.stride != whole->picture.stride ||
                 (cut->picture.valid && memcmp(cut->picture.bits, whole->picture.bits,
                                               static_cast<size_t>(cut->picture.stride) * cut->picture.height) != 0))
            broken = "the file cut at the end loads to another picture";
        delete cut;
        DeleteFileW(cutPath.c_str());
    }
    if (broken)
        printf("FAIL %s iteration %llu: walk %s (end %llu), load %d consumed %llu of %zu bytes\n", seedName,
               static_cast<unsigned long long>(iteration), broken, static_cast<unsigned long long>(e.end),
               static_cast<int>(result), static_cast<unsigned long long>(consumed), data.size());
    delete whole;
    return broken == nullptr;
}

// ---- One load -------------------------------------------------------------------------------

bool CheckLoad(const std::wstring& path, size_t length, uint8_t preview, uint8_t quick, const char* seedName,
               uint64_t iteration)
{
    currentPreview = preview;
    currentQuick = quick;
    NImageFile* out = nullptr;
    NRESULT r;
    uint64_t budgetPeak = 0;
    const uint64_t liveBefore = alloccount::Live();
    alloccount::TakePeak();
    const ULONGLONG start = GetTickCount64();
    const ULONGLONG startWork = ThreadMilliseconds();
    // The options the program loads with; quick without preview is the scan's verification,
    // which may decode less than a load for the screen.
    ImageLoadOptions options;
    options.toneParameter = 9;
    options.plugInFlag = 0;
    options.verifyOnly = preview == 0 && quick == 1 ? 1 : 0;
    try {
        NDecodeScope scope;
        r = LoadImageFile(&out, path.c_str(), preview, quick, &options, 0);
        budgetPeak = scope.Peak();
    } catch (const std::exception& e) {
        printf("FAIL %s iteration %llu (preview %d quick %d): exception %s\n", seedName,
               static_cast<unsigned long long>(iteration), preview, quick, e.what());
        return false;
    } catch (...) {
        printf("FAIL %s iteration %llu (preview %d quick %d): unknown exception\n", seedName,
               static_cast<unsigned long long>(iteration), preview, quick);
        return false;
    }
    const ULONGLONG took = ThreadMilliseconds() - startWork;
    const ULONGLONG waited = GetTickCount64() - start;
    const uint64_t mallocPeak = alloccount::TakePeak();
    const uint64_t allocated = (mallocPeak > liveBefore ? mallocPeak - liveBefore : 0) + budgetPeak;
    bool ok = true;
    if (took > kSlowLoadMs || waited > kStuckLoadMs) {
        printf("FAIL %s iteration %llu (preview %d quick %d): load took %.1f s of processor time, %.1f s in all "
               "(%zu bytes, answer %d)\n",
               seedName, static_cast<unsigned long long>(iteration), preview, quick, static_cast<double>(took) / 1000.0,
               static_cast<double>(waited) / 1000.0, length, static_cast<int>(r));
        ok = false;
    }
    if (allocated > kAllocationSlack + kAllocationRatio * static_cast<uint64_t>(length)) {
        printf("FAIL %s iteration %llu (preview %d quick %d): %llu bytes allocated for a file of %zu bytes "
               "(answer %d)\n",
               seedName, static_cast<unsigned long long>(iteration), preview, quick,
               static_cast<unsigned long long>(allocated), length, static_cast<int>(r));
        ok = false;
    }
    if (!out) {
        printf("FAIL %s iteration %llu: answer %d without an object\n", seedName,
               static_cast<unsigned long long>(iteration), static_cast<int>(r));
        return false;
    }
    const uint64_t consumed = out->GetConsumedSize();
    if (consumed > length) {
        printf("FAIL %s iteration %llu (preview %d quick %d): format %d consumed %llu of %zu bytes\n", seedName,
               static_cast<unsigned long long>(iteration), preview, quick, static_cast<int>(out->GetFormatId()),
               static_cast<unsigned long long>(consumed), length);
        ok = false;
    }
    const NImageBuffer& p = out->picture;
    if (r == NR_OK && (!p.valid || !p.bits || p.width <= 0 || p.height <= 0)) {
        printf("FAIL %s iteration %llu (preview %d quick %d): format %d answered 0 without a picture\n", seedName,
               static_cast<unsigned long long>(iteration), preview, quick, static_cast<int>(out->GetFormatId()));
        ok = false;
    }
    delete out;
    return ok;
}

struct Options {
    uint64_t budget = 200000;
    std::wstring fixtures;
    uint64_t campaign = 0;      // inputs a format; 0: the bounded CI run
    std::wstring onlyExtension;
    std::wstring keepFolder;
    uint64_t randomSeed = 20240611;
    bool listOnly = false;      // print the seeds' extensions and stop
};

bool ParseOptions(int argc, wchar_t** argv, Options& options)
{
    int positional = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring a = argv[i];
        const bool hasValue = i + 1 < argc;
        if (a == L"-n" && hasValue)
            options.campaign = _wcstoui64(argv[++i], nullptr, 10);
        else if (a == L"-f" && hasValue)
            options.onlyExtension = argv[++i];
        else if (a == L"-o" && hasValue)
            options.keepFolder = argv[++i];
        else if (a == L"-l")
            options.listOnly = true;
        else if (a == L"-r" && hasValue)
            options.randomSeed = _wcstoui64(argv[++i], nullptr, 10);
        else if (positional == 0 && a[0] != L'-')
            options.budget = _wcstoui64(argv[i], nullptr, 10), ++positional;
        else if (positional == 1 && a[0] != L'-')
            options.fixtures = a, ++positional;
        else
            return false;
    }
    return true;
}

// One format's share of a run: its seeds, and what was done with them.
struct FormatRun {
    std::wstring extension;
    std::vector<const Seed*> seeds;
    uint64_t inputs = 0;
    uint64_t failed = 0;
};

std::string Narrow(const std::wstring& text)
{
    std::string out;
    for (wchar_t c : text)
        out.push_back(c < 128 ? static_cast<char>(c) : '?');
    return out;
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(OnCrash);
    Options options;
    if (!ParseOptions(argc, argv, options)) {
        fprintf(stderr, "usage: fuzz_loaders [budget [fixture-folder]] [-n inputs-a-format] [-f .ext] [-o keep-folder] "
                        "[-r seed]\n");
        return 2;
    }
    const bool campaign = options.campaign > 0;
    const bool listOnly = options.listOnly;
    const uint64_t iterations = std::min<uint64_t>(std::max<uint64_t>(options.budget / 200, 1), kMaxIterations);

    const std::wstring folder = TempFolder();
    std::vector<Seed> seeds;
    AddSeeds(folder, seeds);
    if (!options.fixtures.empty())
        AddFixtures(options.fixtures, seeds);
    if (seeds.size() < 20) {
        fprintf(stderr, "cannot make the seeds (%zu)\n", seeds.size());
        return 2;
    }

    // Every seed loads before mutation (a broken seed would only test the error paths), and
    // passes the checks as it is: the inputs earlier runs kept (tests/data/fuzz) are among them.
    uint64_t seedFailures = 0;
    for (const Seed& s : seeds) {
        const std::wstring path = folder + L"\\check" + s.extension;
        WriteFile(path, s.bytes);
        currentSeed = s.name.c_str();
        currentPath = path.c_str();
        NImageFile* out = nullptr;
        const NRESULT r = LoadImageFile(&out, path.c_str(), 0, 0, nullptr, 0);
        if (r != NR_OK && !campaign && s.name.find("fuzz_") == std::string::npos)
            printf("note: seed %s (%zu bytes) loads with answer %d\n", s.name.c_str(), s.bytes.size(),
                   static_cast<int>(r));
        delete out;
        for (const auto& way : {std::pair<uint8_t, uint8_t>{0, 1}, {1, 1}, {0, 0}})
            if (!CheckLoad(path, s.bytes.size(), way.first, way.second, s.name.c_str(), 0))
                ++seedFailures;
        DeleteFileW(path.c_str());
    }
    if (listOnly) {
        std::vector<std::wstring> extensions;
        for (const Seed& s : seeds) {
            std::wstring e = s.extension;
            for (wchar_t& c : e)
                c = static_cast<wchar_t>(towlower(c));
            if (std::find(extensions.begin(), extensions.end(), e) == extensions.end())
                extensions.push_back(e);
        }
        for (const std::wstring& e : extensions)
            printf("%s\n", Narrow(e).c_str());
        return 0;
    }

    // Formats by extension (case folded), each with its seeds.
    std::vector<FormatRun> formats;
    for (const Seed& s : seeds) {
        std::wstring extension = s.extension;
        for (wchar_t& c : extension)
            c = static_cast<wchar_t>(towlower(c));
        if (!options.onlyExtension.empty() && _wcsicmp(extension.c_str(), options.onlyExtension.c_str()) != 0)
            continue;
        auto found = std::find_if(formats.begin(), formats.end(), [&](const FormatRun& f) { return f.extension == extension; });
        if (found == formats.end()) {
            formats.push_back({extension, {}, 0, 0});
            found = formats.end() - 1;
        }
        found->seeds.push_back(&s);
    }
    if (formats.empty()) {
        fprintf(stderr, "no seeds for that extension\n");
        return 2;
    }

    size_t formatSeeds = 0;
    for (const FormatRun& f : formats)
        formatSeeds += f.seeds.size();
    if (campaign)
        printf("campaign: %llu inputs for each of %zu formats from %zu seeds, random seed %llu\n",
               static_cast<unsigned long long>(options.campaign), formats.size(), formatSeeds,
               static_cast<unsigned long long>(options.randomSeed));
    else
        printf("budget %llu: up to %llu iterations over %zu seeds, %llu s at most, random seed %llu\n",
               static_cast<unsigned long long>(options.budget), static_cast<unsigned long long>(iterations),
               seeds.size(), static_cast<unsigned long long>(kTimeLimitMs / 1000),
               static_cast<unsigned long long>(options.randomSeed));
    fflush(stdout);

    static const wchar_t* wrongExtensions[] = {L".bmp", L".png", L".jpg", L".gif", L".tif", L".pcx", L".psd",
                                               L".ico", L".iff", L".hdr", L".dat"};
    // The three ways the program loads: scan verification, thumbnail, full view.
    static const uint8_t ways[3][2] = {{0, 1}, {1, 1}, {0, 0}};
    Random random(options.randomSeed);
    Random walkRandom(options.randomSeed + 1);   // its own sequence: the loads meet the same inputs as without it
    const ULONGLONG start = GetTickCount64();
    ULONGLONG lastReport = start;
    uint64_t passed = 0;
    uint64_t failed = 0;
    uint64_t loads = 0;
    uint64_t done = 0;
    const uint64_t total = campaign ? options.campaign * formats.size() : iterations;
    std::wstring rightPath;
    std::wstring wrongPath;
    for (uint64_t i = 0; i < total; ++i) {
        if (!campaign && GetTickCount64() - start > kTimeLimitMs)
            break;
        currentIteration = i;
        FormatRun& format = formats[i % formats.size()];
        const Seed& seed = *format.seeds[(i / formats.size()) % format.seeds.size()];
        currentSeed = seed.name.c_str();
        Bytes input = seed.bytes;
        Mutate(random, input);

        bool ok = true;
        const Walker* walker = WalkerFor(seed.extension);
        rightPath = folder + L"\\input" + seed.extension;
        if (WriteFile(rightPath, input)) {
            currentPath = rightPath.c_str();
            if (campaign) {
                const uint8_t* way = ways[(i / formats.size()) % 3];
                ok = CheckLoad(rightPath, input.size(), way[0], way[1], seed.name.c_str(), i) && ok;
                ++loads;
            } else {
                for (const auto& way : ways) {
                    ok = CheckLoad(rightPath, input.size(), way[0], way[1], seed.name.c_str(), i) && ok;
                    ++loads;
                }
            }
            if (walker)
                ok = CheckWalkAgainstLoader(*walker, rightPath, input, seed.name.c_str(), i) && ok;
            DeleteFileW(rightPath.c_str());
        }
        if (walker) {
            // Walks are cheap: more mutations of the seed, in memory only, and the input
            // through every other walk.
            ok = CheckWalk(*walker, input, seed.name.c_str(), i) && ok;
            for (int extra = 0; extra < 32; ++extra) {
                Bytes more = seed.bytes;
                Mutate(walkRandom, more);
                ok = CheckWalk(*walker, more, seed.name.c_str(), i) && ok;
            }
        }
        for (const Walker& other : kWalkers)
            ok = CheckWalk(other, input, seed.name.c_str(), i) && ok;
        if (!campaign || (i / formats.size()) % 8 == 0) {
            const wchar_t* wrong =
                wrongExtensions[random.Below(sizeof(wrongExtensions) / sizeof(wrongExtensions[0]))];
            if (_wcsicmp(wrong, seed.extension.c_str()) == 0)
                wrong = L".dat";
            wrongPath = folder + L"\\input_wrong" + wrong;
            if (WriteFile(wrongPath, input)) {
                currentPath = wrongPath.c_str();
                const uint8_t* way = ways[random.Below(3)];
                ok = CheckLoad(wrongPath, input.size(), way[0], way[1], seed.name.c_str(), i) && ok;
                ++loads;
                DeleteFileW(wrongPath.c_str());
            }
        }
        if (!ok) {
            // Keep the failing input for the report (and as a regression fixture).
            std::wstring kept = options.keepFolder.empty() ? folder + L"_fail_" : options.keepFolder + L"\\fuzz_";
            kept += std::to_wstring(options.randomSeed) + L"_" + std::to_wstring(i) + seed.extension;
            WriteFile(kept, input);
            printf("     input kept as %ls (%zu bytes)\n", kept.c_str(), input.size());
            ++format.failed;
        }
        ++format.inputs;
        (ok ? passed : failed)++;
        ++done;
        if (campaign && GetTickCount64() - lastReport > 60000) {
            lastReport = GetTickCount64();
            PROCESS_MEMORY_COUNTERS memory = {};
            GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof(memory));
            printf("progress: %llu of %llu inputs, %llu failed, %.0f s; %llu MB allocated, %llu MB in use\n",
                   static_cast<unsigned long long>(done), static_cast<unsigned long long>(total),
                   static_cast<unsigned long long>(failed), static_cast<double>(lastReport - start) / 1000.0,
                   static_cast<unsigned long long>(alloccount::Live() >> 20),
                   static_cast<unsigned long long>(memory.PagefileUsage >> 20));
            fflush(stdout);
        }
    }
    const double seconds = static_cast<double>(GetTickCount64() - start) / 1000.0;
    RemoveDirectoryW(folder.c_str());

    for (const FormatRun& f : formats)
        printf("format %s: %llu inputs, %llu failed\n", Narrow(f.extension).c_str(),
               static_cast<unsigned long long>(f.inputs), static_cast<unsigned long long>(f.failed));
    printf("ran %llu iterations (%llu loads) in %.1f s\n", static_cast<unsigned long long>(done),
           static_cast<unsigned long long>(loads), seconds);
    if (seedFailures)
        printf("%llu loads of unmutated seeds failed\n", static_cast<unsigned long long>(seedFailures));
    printf("%llu passed, %llu failed\n", static_cast<unsigned long long>(passed),
           static_cast<unsigned long long>(failed + seedFailures));
    return failed == 0 && seedFailures == 0 ? 0 : 1;
}
