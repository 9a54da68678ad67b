#include "app/ScanLoop.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <vector>

#include "app/ScanChunkReader.h"
#include "app/ScanPrefilter.h"
#include "base/NString.h"
#include "imagefile/extra/NImageFileHDR.h"

namespace {

// The current chunk, the one being read ahead and one the reader fills meanwhile.
constexpr int kChunkBuffers = 3;

void LogFormat(ScanSink& sink, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    NString text;
    text.FormatV(format, args);
    va_end(args);
    sink.Log(text.c_str());
}

class ChunkSearch {
public:
    ChunkSearch(ScanSource& source, const ScanLoopSettings& settings, ScanSink& sink, ScanLoopResult& result)
        : m_source(source), m_settings(settings), m_sink(sink), m_result(result), m_prefilter(settings.groupMask),
          m_seam(2 * size_t{kScanSeamBytes})
    {
    }

    // Tests every offset of the chunk; the checks also see the start of `ahead`. False when
    // cancelled.
    bool Search(const ScanChunk& chunk, const ScanChunk* ahead)
    {
        const size_t bytes = chunk.bytes;
        const size_t aheadBytes = ahead ? ahead->bytes : 0;
        // Offsets whose headers stay inside the chunk are tested in place; the last ones, whose
        // headers may run on into the next chunk, on a copy of the seam between the two.
        const size_t inPlaceEnd = aheadBytes ? (bytes > kScanSeamBytes ? bytes - kScanSeamBytes : 0) : bytes;
        if (!SearchRegion(chunk, ahead, chunk.data, bytes, 0, inPlaceEnd, 0))
            return false;
        if (inPlaceEnd < bytes) {
            const size_t tail = bytes - inPlaceEnd;
            const size_t next = std::min<size_t>(aheadBytes, kScanSeamBytes);
            std::memcpy(m_seam.data(), chunk.data + inPlaceEnd, tail);
            std::memcpy(m_seam.data() + tail, ahead->data, next);
            if (!SearchRegion(chunk, ahead, m_seam.data(), tail + next, 0, tail, inPlaceEnd))
                return false;
        }
        return true;
    }

private:
    // Offsets [from, to) of data (visible bytes), which lies at `shift` in the chunk.
    bool SearchRegion(const ScanChunk& chunk, const ScanChunk* ahead, const uint8_t* data, size_t visible, size_t from,
                      size_t to, size_t shift)
    {
        if (m_settings.usePrefilter)
            m_prefilter.Reset(data, visible);
        FileType hits[kScanCheckCount];
        size_t offset = from;
        for (;;) {
            if (m_settings.usePrefilter)
                offset = m_prefilter.NextCandidate(offset);
            if (offset >= to)
                return true;
            int count = CollectScanHits(data, offset, visible, m_settings.groupMask, hits);
            // A Radiance header is found by text anywhere in its first 32 bytes: the picture
            // starts where the text does, and only that offset makes its hit.
            for (int i = 0; i < count; ++i) {
                if (hits[i] == FT_HDR && NImageFileHDR::HeaderTextStart(data, offset, visible) != 0) {
                    std::copy(hits + i + 1, hits + count, hits + i);
                    --count;
                    break;
                }
            }
            if (count > 0) {
                const uint32_t inChunk = static_cast<uint32_t>(shift + offset);
                const uint64_t position = chunk.start + inChunk;
                for (int i = 0; i < count; ++i) {
                    CandidateBytes candidate(m_source, position, chunk.start, chunk.data, chunk.bytes,
                                             ahead ? ahead->data : nullptr, ahead ? ahead->bytes : 0);
                    ScanHit hit;
                    hit.type = hits[i];
                    hit.position = position;
                    hit.chunkIndex = chunk.index;
                    hit.offsetInChunk = inChunk;
                    ++m_result.hits;
                    m_sink.OnHit(hit, candidate);
                }
            }
            ++offset;
            if (m_sink.IsCancelled())
                return false;
        }
    }

    ScanSource& m_source;
    const ScanLoopSettings& m_settings;
    ScanSink& m_sink;
    ScanLoopResult& m_result;
    ScanPrefilter m_prefilter;
    std::vector<uint8_t> m_seam;
};

}  // namespace

ScanLoopResult RunScanLoop(ScanSource& source, const ScanLoopSettings& settings, ScanSink& sink)
{
    ScanLoopResult result;
    const uint64_t size = source.Size();
    const uint32_t chunkSize = settings.chunkSize;
    if (size == 0 || chunkSize == 0)
        return result;

    ScanChunkReader reader(source, chunkSize);
    if (!reader.Start(kChunkBuffers)) {
        result.outOfMemory = true;
        return result;
    }
    ChunkSearch search(source, settings, sink, result);
    ScanChunk* chunk = reader.Next();
    while (chunk) {
        sink.OnChunkStart(chunk->start, size);
        for (const std::wstring& line : chunk->logLines)
            sink.Log(line.c_str());
        result.unreadableSectors += chunk->unreadableSectors;
        result.bytesScanned = chunk->start + chunk->bytes;
        LogFormat(sink, L"Pos: %I64d", static_cast<long long>(result.bytesScanned));
        if (chunk->bytes == 0)
            break;
        const bool more = chunk->bytes == chunkSize && result.bytesScanned < size;
        ScanChunk* ahead = more ? reader.Next() : nullptr;
        const bool searched = search.Search(*chunk, ahead);
        reader.Release(chunk);
        chunk = ahead;
        if (!searched || sink.IsCancelled()) {
            result.cancelled = true;
            break;
        }
    }
    reader.Stop();
    return result;
}
