// The scan's read-and-search loop, apart from the scan window and the worker thread, so that it
// can also run on any source without a window (tests, the scan benchmark).
//
// The source is read chunk by chunk from its first byte. Every byte offset of a chunk is tested
// with the signature checks of the enabled groups (ScanChecks.h); an offset with hits becomes a
// candidate of one chunk's length: the rest of the chunk from that offset followed by the start
// of the next chunk (read ahead once per chunk), zeros where the source has ended. The sink gets
// each hit of the offset in check order; after an offset with a kept hit the next 200 offsets
// are not tested.
//
// With usePrefilter the checks run only at the offsets ScanPrefilter names; without it they run
// at every offset (the plain loop). Both give the same hits in the same order; the benchmark
// compares their speed:
//
//     ScanSourceHandle source;  source.Open(path, error);  source.MeasureAsFile();
//     ScanLoopSettings settings;  settings.chunkSize = ...;  settings.usePrefilter = false;
//     MySink sink;               // OnHit answers false: nothing is kept, every offset is tested
//     ScanLoopResult result = RunScanLoop(source, settings, sink);
//
// A read that fails in the middle of the source (bad sectors) is logged and the unreadable
// sectors are stepped over one by one, zeros in their place; the scan goes on to the end.
#pragma once
#include <cstdint>

#include "app/ScanChecks.h"
#include "app/ScanSource.h"
#include "imagefile/FormatRegistry.h"

struct ScanLoopSettings {
    unsigned groupMask = 1;      // bit 0: group 1 ... bit 3: group 4
    uint32_t chunkSize = 0;      // bytes; a whole number of sectors
    bool usePrefilter = true;
};

class ScanSink {
public:
    virtual ~ScanSink() = default;
    // Before each chunk is read: bytes read so far and the source's size.
    virtual void OnChunkStart(uint64_t position, uint64_t size) { (void)position; (void)size; }
    // One hit. candidate holds `length` bytes (the chunk size) starting at the hit, which lies at
    // sourceOffset of the source. True when the candidate was kept.
    virtual bool OnHit(const uint8_t* candidate, uint64_t length, FileType type, uint64_t sourceOffset) = 0;
    // Polled after every tested offset and every chunk.
    virtual bool IsCancelled() { return false; }
    // One finished log line.
    virtual void Log(const wchar_t* text) { (void)text; }
};

struct ScanLoopResult {
    uint64_t bytesScanned = 0;     // the position reached
    uint64_t hits = 0;
    uint64_t kept = 0;
    uint64_t unreadableSectors = 0;
    bool cancelled = false;
    bool outOfMemory = false;      // the chunk buffers could not be allocated
};

ScanLoopResult RunScanLoop(ScanSource& source, const ScanLoopSettings& settings, ScanSink& sink);
