// Fuzz driver for the signature checks, the camera-raw check and the detector.
//
//   fuzz_signatures [iterations [seed]]
//
// Each iteration makes one buffer of 0 to 64 bytes (random bytes, sparse bytes, or a known header
// placed somewhere and mutated), puts it against a no-access page (right after its end, or right
// before its start), and runs every check and the detector at every offset and at offsets near
// the top of the 64-bit range. Any read outside the buffer faults; the unhandled-exception
// filter then ends the program with exit code 70. Besides not crashing, every answer must keep
// the contract:
//   - false whenever the check's window does not fit;
//   - the same when every byte outside the window is changed (tried at one offset of each
//     buffer, chosen at random);
//   - the detector answers the first check of its enabled groups that accepts the bytes.
// Before the random part, every check meets its own header cut to one byte less than, exactly,
// and one byte more than its window, at every offset (this reaches the wide windows too).
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "../imagefile/GuardedBuffer.h"
#include "../imagefile/SignatureCases.h"
#include "imagefile/CameraRaw.h"
#include "imagefile/FormatDetect.h"

namespace {

constexpr size_t maxRandomLength = 64;

// What runs now, for the crash report.
struct Current {
    const char* check = "";
    uint64_t offset = 0;
    uint64_t length = 0;
    uint64_t iteration = 0;
};
volatile Current* current = nullptr;
Current currentStorage;

LONG WINAPI OnCrash(EXCEPTION_POINTERS* info)
{
    const EXCEPTION_RECORD* record = info ? info->ExceptionRecord : nullptr;
    fprintf(stderr, "CRASH: exception 0x%08lX", record ? record->ExceptionCode : 0ul);
    if (record && record->ExceptionCode == EXCEPTION_ACCESS_VIOLATION &&
        record->NumberParameters >= 2)
        fprintf(stderr, " reading 0x%llX",
                static_cast<unsigned long long>(record->ExceptionInformation[1]));
    if (current)
        fprintf(stderr, " in %s, offset %llu, length %llu, iteration %llu", current->check,
                static_cast<unsigned long long>(current->offset),
                static_cast<unsigned long long>(current->length),
                static_cast<unsigned long long>(current->iteration));
    fprintf(stderr, "\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 70);
    return EXCEPTION_EXECUTE_HANDLER;
}

// xorshift64*: fast, and the same sequence for the same seed on every run.
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
    uint32_t Below(uint32_t bound) { return static_cast<uint32_t>(Next() % bound); }
    uint8_t Byte() { return static_cast<uint8_t>(Next() >> 56); }

private:
    uint64_t state_;
};

struct Check {
    const char* name;
    SignatureCheck check;
    uint64_t window;
    uint8_t group;
};

bool RawCheck(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    return IsCameraRawData(bytes, offset, length);
}

bool RlaCheck(const uint8_t* bytes, uint64_t offset, uint64_t length)
{
    return NImageFileRLA::IsFormat(bytes, offset, length);
}

class Fuzzer {
public:
    explicit Fuzzer(uint64_t seed) : random_(seed), memory_(4096)
    {
        for (const SignatureCase& c : signatureCases) {
            checks_.push_back({c.name, c.check, c.window, c.group});
            seeds_.push_back(SignatureSample(c));
        }
        // Headers of camera raw data, the zero-filled sizes their tests need.
        const char* rawHeaders[] = {"MM\0*", "II*\0", "II\x1A\0", "IIU\0", "IIRO"};
        for (const char* header : rawHeaders)
            seeds_.push_back(std::vector<uint8_t>(header, header + 4));
        std::vector<uint8_t> cr3(13, 0);
        memcpy(cr3.data() + 4, "ftypcrx ", 8);
        seeds_.push_back(cr3);
        std::vector<uint8_t> fuji(32, 0);
        memcpy(fuji.data(), "FUJIFILMCCD-RAW", 15);
        seeds_.push_back(fuji);
        std::vector<uint8_t> contax(32, 0);
        memcpy(contax.data() + 25, "ARECOYK", 7);
        seeds_.push_back(contax);
    }

    bool ready() const { return memory_.valid() && memory_.capacity() >= 2056; }

    // Every check against its own header cut short, exact and one byte longer, at every offset
    // and in both placements against the no-access pages. Counts the cases that kept or broke
    // the contract.
    void RunBoundaries(uint64_t& passed, uint64_t& failedCases)
    {
        for (size_t i = 0; i < checks_.size(); ++i) {
            const std::vector<uint8_t>& sample = seeds_[i];
            for (int extra = -1; extra <= 1; ++extra) {
                std::vector<uint8_t> bytes(sample);
                bytes.resize(sample.size() + extra, 0x5A);
                for (int atEnd = 0; atEnd <= 1; ++atEnd) {
                    const uint8_t* p = atEnd ? memory_.AtEnd(bytes.data(), bytes.size())
                                             : memory_.AtStart(bytes.data(), bytes.size());
                    const uint64_t failedBefore = failed_;
                    if (!checks_[i].check(p, 0, bytes.size()) != (extra < 0))
                        Fail(checks_[i].name, 0, bytes.size(), "wrong answer for its own header");
                    probeOffset_ = 0;
                    TryAllOffsets(p, bytes);
                    (failed_ == failedBefore ? passed : failedCases)++;
                }
            }
        }
    }

    // One random buffer through every check and the detector; true when no contract was broken.
    bool RunIteration(uint64_t iteration)
    {
        currentStorage.iteration = iteration;
        const uint64_t failedBefore = failed_;
        std::vector<uint8_t> bytes = MakeBuffer(iteration % (maxRandomLength + 1));
        const uint8_t* p = (iteration & 1) ? memory_.AtEnd(bytes.data(), bytes.size())
                                           : memory_.AtStart(bytes.data(), bytes.size());
        probeOffset_ = random_.Below(uint32_t(bytes.size() + 1));
        TryAllOffsets(p, bytes);
        return failed_ == failedBefore;
    }

private:
    std::vector<uint8_t> MakeBuffer(size_t length)
    {
        std::vector<uint8_t> bytes(length, 0);
        switch (random_.Below(3)) {
        case 0:  // random
            for (uint8_t& b : bytes)
                b = random_.Byte();
            break;
        case 1:  // sparse: mostly zeros, which several headers contain
            for (uint8_t& b : bytes)
                b = random_.Below(8) == 0 ? random_.Byte() : 0;
            break;
        default: {  // a known header, placed anywhere, cut by the end, then mutated
            if (length == 0)
                break;
            const std::vector<uint8_t>& seed = seeds_[random_.Below(uint32_t(seeds_.size()))];
            const size_t at = random_.Below(uint32_t(length));
            // A seed wider than the buffer contributes its start half of the time (the
            // header of a wide window in a short buffer), else a piece from anywhere in it.
            const size_t skip = (seed.size() > maxRandomLength && random_.Below(2))
                                    ? random_.Below(uint32_t(seed.size()))
                                    : 0;
            for (size_t i = 0; at + i < length && skip + i < seed.size(); ++i)
                bytes[at + i] = seed[skip + i];
            for (uint32_t n = random_.Below(4); n > 0; --n) {
                const size_t where = random_.Below(uint32_t(length));
                switch (random_.Below(3)) {
                case 0: bytes[where] = random_.Byte(); break;
                case 1: bytes[where] ^= uint8_t(1u << random_.Below(8)); break;
                default: bytes[where] = random_.Below(2) ? 0x00 : 0xFF; break;
                }
            }
            break;
        }
        }
        return bytes;
    }

    void TryAllOffsets(const uint8_t* p, const std::vector<uint8_t>& bytes)
    {
        const uint64_t length = bytes.size();
        for (uint64_t offset = 0; offset <= length + 2; ++offset)
            TryOffset(p, bytes, offset, length);
        static const uint64_t fromTop[] = {0, 1, 2, 3, 4, 5, 7, 8, 9, 11, 12, 13, 16, 18, 19,
                                           31, 32, 33, 91, 92, 1024, 1025, 2054, 2055, 2056};
        for (uint64_t back : fromTop)
            TryOffset(p, bytes, UINT64_MAX - back, length);
        TryOffset(p, bytes, uint64_t(1) << 63, length);
        TryOffset(p, bytes, uint64_t(1) << 32, length);
        // A length far beyond the buffer with an offset that makes offset + window wrap: the
        // window must still be rejected, without reading.
        if (length == 0) {
            for (const Check& c : checks_)
                Expect(c, p, UINT64_MAX - c.window + 1, UINT64_MAX, false);
        }
    }

    void TryOffset(const uint8_t* p, const std::vector<uint8_t>& bytes, uint64_t offset,
                   uint64_t length)
    {
        FileType firstHit[4] = {0, 0, 0, 0};
        for (const Check& c : checks_) {
            const bool answer = Call(c.name, c.check, p, offset, length);
            const bool fits = length >= c.window && offset <= length - c.window;
            if (answer && !fits)
                Fail(c.name, offset, length, "true although the window does not fit");
            if (fits && offset == probeOffset_ &&
                answer != AnswerWithOutsideChanged(c, bytes, offset))
                Fail(c.name, offset, length, "answer depends on bytes outside the window");
            if (answer && firstHit[c.group] == 0)
                firstHit[c.group] = CaseId(c);
        }
        if (Call("RLA", RlaCheck, p, offset, length))
            Fail("RLA", offset, length, "true");

        const bool raw = Call("camera raw", RawCheck, p, offset, length);
        if (offset >= length) {
            if (raw)
                Fail("camera raw", offset, length, "true past the end");
        } else if (offset == probeOffset_) {
            const Check whole = {"camera raw", RawCheck, std::min<uint64_t>(32, length - offset), 0};
            if (raw != AnswerWithOutsideChanged(whole, bytes, offset))
                Fail("camera raw", offset, length, "answer depends on bytes past 32");
        }

        const unsigned flags = random_.Below(8);
        const bool g1 = flags & 1, g2 = flags & 2, g3 = flags & 4;
        currentStorage.check = "detector";
        const FileType detected = DetectFormatFromBuffer(p, offset, length, g1, g2, g3);
        FileType expected = 0;
        if (g1 && firstHit[1])
            expected = firstHit[1];
        else if (g2 && firstHit[2])
            expected = firstHit[2];
        else if (g3 && firstHit[3])
            expected = firstHit[3];
        if (detected != expected) {
            char what[96];
            snprintf(what, sizeof what, "detector answered %d, the first accepting check %d",
                     int(detected), int(expected));
            Fail("detector", offset, length, what);
        }
    }

    FileType CaseId(const Check& c) const
    {
        for (const SignatureCase& s : signatureCases) {
            if (s.check == c.check)
                return s.id;
        }
        return 0;
    }

    bool Call(const char* name, SignatureCheck check, const uint8_t* p, uint64_t offset,
              uint64_t length)
    {
        currentStorage.check = name;
        currentStorage.offset = offset;
        currentStorage.length = length;
        return check(p, offset, length);
    }

    // The check's answer for a copy whose bytes outside [offset, offset + window) are all
    // inverted.
    bool AnswerWithOutsideChanged(const Check& c, const std::vector<uint8_t>& bytes,
                                  uint64_t offset)
    {
        scratch_.assign(bytes.begin(), bytes.end());
        for (size_t i = 0; i < scratch_.size(); ++i) {
            if (i < offset || i >= offset + c.window)
                scratch_[i] ^= 0xFF;
        }
        return Call(c.name, c.check, scratch_.data(), offset, scratch_.size());
    }

    void Expect(const Check& c, const uint8_t* p, uint64_t offset, uint64_t length, bool expected)
    {
        if (Call(c.name, c.check, p, offset, length) != expected)
            Fail(c.name, offset, length, expected ? "false" : "true");
    }

    void Fail(const char* check, uint64_t offset, uint64_t length, const char* what)
    {
        if (failed_++ < 20)
            printf("FAIL %s: offset %llu, length %llu: %s\n", check,
                   static_cast<unsigned long long>(offset), static_cast<unsigned long long>(length),
                   what);
    }

    Random random_;
    GuardedBuffer memory_;
    std::vector<Check> checks_;
    std::vector<std::vector<uint8_t>> seeds_;
    std::vector<uint8_t> scratch_;
    uint64_t probeOffset_ = 0;
    uint64_t failed_ = 0;
};

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
    SetUnhandledExceptionFilter(OnCrash);
    current = &currentStorage;

    const uint64_t iterations = argc > 1 ? _wcstoui64(argv[1], nullptr, 10) : 200000;
    const uint64_t seed = argc > 2 ? _wcstoui64(argv[2], nullptr, 10) : 20240601;

    Fuzzer fuzzer(seed);
    if (!fuzzer.ready()) {
        fprintf(stderr, "cannot set up guarded memory\n");
        return 2;
    }
    printf("seed %llu, %llu iterations\n", static_cast<unsigned long long>(seed),
           static_cast<unsigned long long>(iterations));

    uint64_t passed = 0, failed = 0;
    fuzzer.RunBoundaries(passed, failed);
    for (uint64_t i = 0; i < iterations; ++i)
        (fuzzer.RunIteration(i) ? passed : failed)++;

    printf("%llu passed, %llu failed\n", static_cast<unsigned long long>(passed),
           static_cast<unsigned long long>(failed));
    return failed == 0 ? 0 : 1;
}
