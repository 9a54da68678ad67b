#include "app/ScanLoop.h"

#include <algorithm>
#include <cstdarg>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "app/ScanChunkReader.h"
#include "app/ScanPrefilter.h"
#include "base/NString.h"
#include "base/ThreadGroup.h"
#include "base/TimeUtils.h"
#include "imagefile/extra/NImageFileHDR.h"

namespace {

// Memory for chunk buffers: the current chunk, the one after it, the one being read and those
// that candidates still wait to be written from.
constexpr uint64_t kChunkMemory = uint64_t{512} << 20;
constexpr int kMostChunkBuffers = 16;

void LogFormat(ScanSink& sink, const wchar_t* format, ...)
{
    va_list args;
    va_start(args, format);
    NString text;
    text.FormatV(format, args);
    va_end(args);
    sink.Log(text.c_str());
}

// The hits of one offset.
struct FoundOffset {
    uint32_t offset;            // in the chunk
    int count;
    FileType types[kScanCheckCount];
};

// Tests offsets [from, to) of data (visible bytes), which lies at `shift` in the chunk, and
// appends the offsets with hits. Touches nothing but its arguments: stripes of a chunk run on
// several threads at once.
void CollectRegion(const uint8_t* data, size_t visible, size_t from, size_t to, size_t shift,
                   const ScanLoopSettings& settings, ScanPrefilter& prefilter, std::vector<FoundOffset>& found)
{
    if (settings.usePrefilter)
        prefilter.Reset(data, visible);
    size_t offset = from;
    FoundOffset hit;
    for (;;) {
        if (settings.usePrefilter)
            offset = prefilter.NextCandidate(offset);
        if (offset >= to)
            return;
        int count = CollectScanHits(data, offset, visible, settings.groupMask, hit.types);
        // A Radiance header is found by text anywhere in its first 32 bytes: the picture starts
        // where the text does, and only that offset makes its hit.
        for (int i = 0; i < count; ++i) {
            if (hit.types[i] == FT_HDR && NImageFileHDR::HeaderTextStart(data, offset, visible) != 0) {
                std::copy(hit.types + i + 1, hit.types + count, hit.types + i);
                --count;
                break;
            }
        }
        if (count > 0) {
            hit.offset = static_cast<uint32_t>(shift + offset);
            hit.count = count;
            found.push_back(hit);
        }
        ++offset;
    }
}

class ChunkSearch {
public:
    ChunkSearch(ScanSource& source, const ScanLoopSettings& settings, ScanSink& sink, ScanLoopResult& result)
        : m_source(source), m_settings(settings), m_sink(sink), m_result(result), m_seam(2 * size_t{kScanSeamBytes}),
          m_stripeThreads(StripeCount() - 1)
    {
        const unsigned stripes = StripeCount();
        for (unsigned i = 0; i < stripes; ++i)
            m_prefilters.push_back(std::make_unique<ScanPrefilter>(settings.groupMask));
        m_found.resize(stripes);
    }

    // Tests every offset of the chunk; the checks also see the start of `ahead`. False when
    // cancelled.
    bool Search(const std::shared_ptr<const ScanChunk>& chunkHeld, const std::shared_ptr<const ScanChunk>& aheadHeld)
    {
        const ScanChunk& chunk = *chunkHeld;
        const ScanChunk* ahead = aheadHeld.get();
        const size_t bytes = chunk.bytes;
        const size_t aheadBytes = ahead ? ahead->bytes : 0;
        // Offsets whose headers stay inside the chunk are tested in place, in stripes on several
        // threads; the last ones, whose headers may run on into the next chunk, on a copy of the
        // seam between the two.
        const size_t inPlaceEnd = aheadBytes ? (bytes > kScanSeamBytes ? bytes - kScanSeamBytes : 0) : bytes;
        const size_t stripes = inPlaceEnd >= kStripeMinimum * 2 ? std::min(m_prefilters.size(), inPlaceEnd / kStripeMinimum) : 1;
        for (auto& found : m_found)
            found.clear();
        // Each part of the run has its own stripe, prefilter and hit list.
        const double checking = MonotonicSeconds();
        m_stripeThreads.Run(static_cast<unsigned>(stripes), [&](unsigned i) {
            CollectRegion(chunk.data, bytes, inPlaceEnd * i / stripes, inPlaceEnd * (i + 1) / stripes, 0, m_settings,
                          *m_prefilters[i], m_found[i]);
        });
        std::vector<FoundOffset> seamFound;
        if (inPlaceEnd < bytes) {
            const size_t tail = bytes - inPlaceEnd;
            const size_t next = std::min<size_t>(aheadBytes, kScanSeamBytes);
            std::memcpy(m_seam.data(), chunk.data + inPlaceEnd, tail);
            std::memcpy(m_seam.data() + tail, ahead->data, next);
            CollectRegion(m_seam.data(), tail + next, 0, tail, inPlaceEnd, m_settings, *m_prefilters[0], seamFound);
        }
        m_result.checkSeconds += MonotonicSeconds() - checking;
        for (size_t i = 0; i < stripes; ++i) {
            if (!Emit(chunkHeld, aheadHeld, m_found[i]))
                return false;
        }
        return Emit(chunkHeld, aheadHeld, seamFound) && !m_sink.IsCancelled();
    }

private:
    static constexpr unsigned kMaxStripes = 4;
    static constexpr size_t kStripeMinimum = size_t{1} << 20;

    // Half the cores: the others verify candidates meanwhile.
    static unsigned StripeCount()
    {
        const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
        return std::clamp(cores / 2, 1u, kMaxStripes);
    }

    // Hands the hits to the sink in order; false when cancelled.
    bool Emit(const std::shared_ptr<const ScanChunk>& chunkHeld, const std::shared_ptr<const ScanChunk>& ahead,
              const std::vector<FoundOffset>& found)
    {
        const ScanChunk& chunk = *chunkHeld;
        for (const FoundOffset& offset : found) {
            const uint64_t position = chunk.start + offset.offset;
            for (int i = 0; i < offset.count; ++i) {
                CandidateBytes candidate(m_source, position, chunkHeld, ahead);
                ScanHit hit;
                hit.type = offset.types[i];
                hit.position = position;
                hit.chunkIndex = chunk.index;
                hit.offsetInChunk = offset.offset;
                ++m_result.hits;
                m_sink.OnHit(hit, candidate);
            }
            if (m_sink.IsCancelled())
                return false;
        }
        return true;
    }

    ScanSource& m_source;
    const ScanLoopSettings& m_settings;
    ScanSink& m_sink;
    ScanLoopResult& m_result;
    std::vector<std::unique_ptr<ScanPrefilter>> m_prefilters;
    std::vector<std::vector<FoundOffset>> m_found;
    std::vector<uint8_t> m_seam;
    ThreadGroup m_stripeThreads;
};

}  // namespace

void ScanCosts::NoteCandidate(const Candidate& candidate)
{
    Candidate* end = slowest + kSlowest;
    Candidate* at = std::find_if(slowest, end, [&](const Candidate& c) { return candidate.seconds > c.seconds; });
    if (at == end)
        return;
    std::move_backward(at, end - 1, end);
    *at = candidate;
}

ScanLoopResult RunScanLoop(ScanSource& source, const ScanLoopSettings& settings, ScanSink& sink)
{
    ScanLoopResult result;
    const uint64_t size = source.Size();
    const uint32_t chunkSize = settings.chunkSize;
    if (size == 0 || chunkSize == 0)
        return result;

    auto reader = std::make_shared<ScanChunkReader>(source, chunkSize);
    const int buffers = static_cast<int>(std::clamp<uint64_t>(kChunkMemory / chunkSize, 3, kMostChunkBuffers));
    if (!reader->Start(buffers)) {
        result.outOfMemory = true;
        return result;
    }
    ChunkSearch search(source, settings, sink, result);
    std::shared_ptr<const ScanChunk> chunk = reader->Next();
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
        const double waiting = MonotonicSeconds();
        std::shared_ptr<const ScanChunk> ahead = more ? reader->Next() : nullptr;
        result.readWaitSeconds += MonotonicSeconds() - waiting;
        const bool searched = search.Search(chunk, ahead);
        chunk = std::move(ahead);
        if (!searched || sink.IsCancelled()) {
            result.cancelled = true;
            break;
        }
    }
    chunk.reset();
    reader->Stop();
    return result;
}
