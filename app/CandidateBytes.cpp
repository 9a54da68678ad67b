#include "app/CandidateBytes.h"

#include <algorithm>
#include <cstring>

CandidateBytes::CandidateBytes(ScanSource& source, uint64_t hit, uint64_t chunkStart, const uint8_t* chunk,
                               uint32_t chunkBytes, const uint8_t* ahead, uint32_t aheadBytes)
    : m_source(source), m_hit(hit), m_chunkStart(chunkStart), m_chunk(chunk), m_chunkBytes(chunkBytes),
      m_ahead(ahead), m_aheadBytes(ahead ? aheadBytes : 0)
{
    m_available = source.Size() > hit ? source.Size() - hit : 0;
    m_size = m_available;
    const uint64_t inChunk = chunkStart + chunkBytes > hit ? chunkStart + chunkBytes - hit : 0;
    m_inMemory = std::min(m_available, inChunk + m_aheadBytes);
}

CandidateBytes::CandidateBytes(ScanSource& source, uint64_t hit, std::shared_ptr<const ScanChunk> chunk,
                               std::shared_ptr<const ScanChunk> ahead)
    : CandidateBytes(source, hit, chunk->start, chunk->data, chunk->bytes, ahead ? ahead->data : nullptr,
                     ahead ? ahead->bytes : 0)
{
    m_chunkHeld = std::move(chunk);
    m_aheadHeld = std::move(ahead);
}

void CandidateBytes::SetLimit(uint64_t limit)
{
    m_size = std::min(m_available, limit);
}

bool CandidateBytes::ReadAt(uint64_t position, void* buffer, size_t count)
{
    if (!Holds(position, count))
        return false;
    auto* out = static_cast<uint8_t*>(buffer);
    uint64_t at = m_hit + position;   // source position
    const uint64_t chunkEnd = m_chunkStart + m_chunkBytes;
    while (count > 0) {
        size_t part;
        if (at >= m_chunkStart && at < chunkEnd) {
            part = static_cast<size_t>(std::min<uint64_t>(count, chunkEnd - at));
            std::memcpy(out, m_chunk + (at - m_chunkStart), part);
        } else if (at >= chunkEnd && at < chunkEnd + m_aheadBytes) {
            part = static_cast<size_t>(std::min<uint64_t>(count, chunkEnd + m_aheadBytes - at));
            std::memcpy(out, m_ahead + (at - chunkEnd), part);
        } else {
            // Past what is in memory: straight from the source.
            return ReadRange(m_source, at, out, count);
        }
        out += part;
        at += part;
        count -= part;
    }
    return true;
}
