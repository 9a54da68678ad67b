#include "app/ScanLoop.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

#include "app/ScanPrefilter.h"
#include "base/NString.h"

namespace {

constexpr uint64_t kSkipAfterKept = 200;

struct FreeBuffer {
    void operator()(uint8_t* p) const { ::operator delete[](p, std::nothrow); }
};
using Buffer = std::unique_ptr<uint8_t[], FreeBuffer>;

Buffer AllocateBuffer(uint32_t size)
{
    return Buffer(static_cast<uint8_t*>(::operator new[](size, std::nothrow)));
}

void LogFormat(ScanSink& sink, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    NString text;
    text.FormatV(format, args);
    va_end(args);
    sink.Log(text.c_str());
}

// Reads the chunk at the position into the buffer and zero-fills the rest of it. Answers the
// number of bytes that stand for the source: the bytes read, with zeros for sectors that could
// not be read. Less than the chunk only where the source ends.
uint32_t ReadChunk(ScanSource& source, uint64_t position, uint8_t* buffer, uint32_t chunk, ScanSink& sink,
                   ScanLoopResult& result)
{
    const uint64_t size = source.Size();
    uint32_t placed = 0;
    if (position < size) {
        const uint32_t expected = static_cast<uint32_t>(std::min<uint64_t>(chunk, size - position));
        uint32_t got = 0;
        DWORD error = 0;
        const bool ok = source.ReadAt(position, buffer, expected, got, error);
        got = std::min(got, expected);
        placed = got;
        if (!ok || got < expected)
            LogFormat(sink, L"GetLastError: %ld, Bytes Read: %d", static_cast<long>(error), static_cast<int>(got));
        if (!ok) {
            // Step over what cannot be read, sector by sector, and go on behind it.
            const uint32_t sector = std::max<uint32_t>(source.SectorSize(), 1);
            uint32_t at = got - got % sector;
            uint64_t badStart = 0;
            uint64_t badCount = 0;
            auto flushBad = [&]() {
                if (badCount) {
                    LogFormat(sink, L"Unreadable: %I64u sectors at %I64u (Bytes), read as zeros", badCount, badStart);
                    result.unreadableSectors += badCount;
                    badCount = 0;
                }
            };
            bool ended = false;
            while (at < expected) {
                const uint32_t count = std::min(sector, expected - at);
                uint32_t sectorGot = 0;
                DWORD sectorError = 0;
                if (source.ReadAt(position + at, buffer + at, count, sectorGot, sectorError)) {
                    flushBad();
                    if (sectorGot < count) {  // the source ends here after all
                        at += sectorGot;
                        ended = true;
                        break;
                    }
                } else {
                    std::memset(buffer + at, 0, count);
                    if (!badCount)
                        badStart = position + at;
                    ++badCount;
                }
                at += count;
            }
            flushBad();
            placed = ended ? at : expected;
        }
    }
    std::memset(buffer + placed, 0, chunk - placed);
    return placed;
}

}  // namespace

ScanLoopResult RunScanLoop(ScanSource& source, const ScanLoopSettings& settings, ScanSink& sink)
{
    ScanLoopResult result;
    const uint64_t size = source.Size();
    const uint32_t chunk = settings.chunkSize;
    if (size == 0 || chunk == 0)
        return result;

    // The current chunk and the read-ahead of the next one lie back to back, so that a candidate
    // (the rest of the chunk followed by the start of the next) is a plain view into them.
    Buffer buffer = AllocateBuffer(size_t{chunk} * 2);
    if (!buffer) {
        result.outOfMemory = true;
        return result;
    }
    uint8_t* const current = buffer.get();
    uint8_t* const ahead = buffer.get() + chunk;

    ScanPrefilter prefilter(settings.groupMask);
    FileType hits[kScanCheckCount];
    uint64_t position = 0;
    bool haveAhead = false;
    uint32_t aheadBytes = 0;

    for (;;) {
        sink.OnChunkStart(position, size);
        uint32_t bytes;
        if (haveAhead) {
            std::memmove(current, ahead, chunk);
            bytes = aheadBytes;
        } else {
            bytes = ReadChunk(source, position, current, chunk, sink, result);
        }
        const uint64_t chunkStart = position;
        position += bytes;
        haveAhead = false;
        LogFormat(sink, L"Pos: %I64d", static_cast<long long>(position));
        if (bytes == 0)
            break;

        if (settings.usePrefilter)
            prefilter.Reset(current, bytes);
        size_t offset = 0;
        for (;;) {
            if (settings.usePrefilter)
                offset = prefilter.NextCandidate(offset);
            if (offset >= bytes)
                break;
            const int count = CollectScanHits(current, offset, bytes, settings.groupMask, hits);
            if (count > 0) {
                result.hits += static_cast<uint64_t>(count);
                if (!haveAhead) {
                    // A chunk shorter than the chunk size is the source's last: zeros follow it.
                    if (bytes == chunk) {
                        aheadBytes = ReadChunk(source, position, ahead, chunk, sink, result);
                    } else {
                        std::memset(ahead, 0, chunk);
                        aheadBytes = 0;
                    }
                    haveAhead = true;
                }
                bool kept = false;
                for (int i = 0; i < count; ++i) {
                    if (sink.OnHit(current + offset, chunk, hits[i], chunkStart + offset)) {
                        kept = true;
                        ++result.kept;
                    }
                }
                if (kept)
                    offset += kSkipAfterKept;
            }
            ++offset;
            if (sink.IsCancelled()) {
                result.cancelled = true;
                break;
            }
        }

        if (result.cancelled || sink.IsCancelled()) {
            result.cancelled = true;
            break;
        }
        if (bytes < chunk || position >= size)
            break;
    }
    result.bytesScanned = position;
    return result;
}
