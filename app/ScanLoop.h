// The scan's read-and-search loop, apart from the scan window and the worker thread, so that it
// can also run on any source without a window (tests, the scan benchmark).
//
// A reader thread reads the source chunk by chunk from its first byte (ScanChunkReader.h), ahead
// of the search. Every byte offset of a chunk is tested with the signature checks of the enabled
// groups (ScanChecks.h); the checks also see the start of the next chunk, so a header that begins
// in the last bytes of a chunk is found there, once. The sink gets each hit of an offset in check
// order, with the candidate's bytes from the hit on (CandidateBytes.h); what becomes of the hits
// (saving, verifying, the skip behind a kept picture) is the sink's business.
//
// With usePrefilter the checks run only at the offsets ScanPrefilter names; without it they run
// at every offset (the plain loop). Both give the same hits in the same order; the benchmark
// compares their speed:
//
//     ScanSourceHandle source;  source.Open(path, error);  source.MeasureAsFile();
//     ScanLoopSettings settings;  settings.chunkSize = ...;  settings.usePrefilter = false;
//     MySink sink;
//     ScanLoopResult result = RunScanLoop(source, settings, sink);
//
// A read that fails in the middle of the source (bad sectors) is logged and the unreadable
// sectors are stepped over one by one, zeros in their place; the scan goes on to the end.
#pragma once
#include <cstdint>

#include "app/CandidateBytes.h"
#include "app/ScanChecks.h"
#include "app/ScanSource.h"
#include "imagefile/FormatRegistry.h"

struct ScanLoopSettings {
    unsigned groupMask = 1;      // bit 0: group 1 ... bit 3: group 4
    uint32_t chunkSize = 0;      // bytes; a whole number of sectors
    bool usePrefilter = true;
};

// One hit of a signature check.
struct ScanHit {
    FileType type = 0;
    uint64_t position = 0;       // source position of the hit
    uint64_t chunkIndex = 0;     // the chunk searched when it was found
    uint32_t offsetInChunk = 0;
};

class ScanSink {
public:
    virtual ~ScanSink() = default;
    // Before each chunk is searched: where it starts and the source's size.
    virtual void OnChunkStart(uint64_t position, uint64_t size) { (void)position; (void)size; }
    // One hit; the candidate's bytes can be read during the call only.
    virtual void OnHit(const ScanHit& hit, CandidateBytes& candidate) = 0;
    // Polled after every tested offset and every chunk.
    virtual bool IsCancelled() { return false; }
    // One finished log line.
    virtual void Log(const wchar_t* text) { (void)text; }
};

// Where a scan's time and writing went (filled by the pipeline; seconds summed over threads).
struct ScanCosts {
    double measureSeconds = 0;     // verification threads: measuring candidates
    double waitSeconds = 0;        // search thread: waiting for verification to catch up
    double commitSeconds = 0;      // search thread: taking results back (naming, renaming, logging)
    double finishSeconds = 0;      // after the search: waiting for the last verifications
    double writeSeconds = 0;       // verification threads: writing candidate files
    double decodeSeconds = 0;      // verification threads: decoding them
    uint64_t bytesWritten = 0;     // every byte written into candidate files
    uint64_t bytesKept = 0;        // the size of the files kept
    uint64_t written = 0;          // candidate files written
    uint64_t refused = 0;          // candidates refused by their structure, never written
    // Per format (by FileType): decoding seconds and candidates decoded.
    static constexpr int kTypes = 64;
    double decodeSecondsOf[kTypes] = {};
    uint32_t decodedOf[kTypes] = {};
    // The candidates whose writing and decoding took longest, longest first.
    struct Candidate {
        double seconds = 0;
        uint64_t position = 0;
        uint64_t length = 0;       // bytes written
        int type = -1;
        bool kept = false;
    };
    static constexpr int kSlowest = 5;
    Candidate slowest[kSlowest];
    void NoteCandidate(const Candidate& candidate);
};

struct ScanLoopResult {
    uint64_t bytesScanned = 0;     // the position reached
    uint64_t hits = 0;             // hits handed to the sink
    uint64_t kept = 0;             // set by whoever keeps pictures (the pipeline), not by the loop
    uint64_t unreadableSectors = 0;
    bool cancelled = false;
    bool outOfMemory = false;      // the chunk buffers could not be allocated
    double readWaitSeconds = 0;    // search thread: waiting for the reader's next chunk
    double checkSeconds = 0;       // search thread: running the signature checks over the chunks
    ScanCosts costs;
};

// Header bytes that the signature checks may look at behind an offset: the part of the next
// chunk that the last offsets of a chunk see.
inline constexpr uint32_t kScanSeamBytes = 4096;

ScanLoopResult RunScanLoop(ScanSource& source, const ScanLoopSettings& settings, ScanSink& sink);
