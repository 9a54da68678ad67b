// CandidateBytes: the bytes of a scan candidate, from its hit on as far as the source goes (or a
// limit the caller sets). Bytes inside the chunk being searched and its read-ahead come from
// memory; anything further is read from the source.
#pragma once
#include <cstdint>
#include <memory>

#include "app/ScanChunkReader.h"
#include "app/ScanSource.h"
#include "imagefile/ByteSource.h"

class CandidateBytes final : public ByteSource {
public:
    // hit: the candidate's source position; chunk/chunkBytes: the chunk that holds it, starting
    // at chunkStart; ahead/aheadBytes: the chunk after it (null when there is none).
    CandidateBytes(ScanSource& source, uint64_t hit, uint64_t chunkStart, const uint8_t* chunk, uint32_t chunkBytes,
                   const uint8_t* ahead, uint32_t aheadBytes);
    // The same over chunks of the reader, which the candidate can keep (Chunk, Ahead).
    CandidateBytes(ScanSource& source, uint64_t hit, std::shared_ptr<const ScanChunk> chunk,
                   std::shared_ptr<const ScanChunk> ahead);

    // Caps the candidate's length (a format's largest picture).
    void SetLimit(uint64_t limit);
    uint64_t Size() const override { return m_size; }
    bool EndIsFinal() const override { return m_size == m_available; }
    bool ReadAt(uint64_t position, void* buffer, size_t count) override;
    // Bytes of the candidate held in memory, from its start on.
    uint64_t InMemory() const { return m_inMemory; }
    uint64_t Position() const { return m_hit; }
    ScanSource& Source() const { return m_source; }
    const std::shared_ptr<const ScanChunk>& Chunk() const { return m_chunkHeld; }
    const std::shared_ptr<const ScanChunk>& Ahead() const { return m_aheadHeld; }

private:
    std::shared_ptr<const ScanChunk> m_chunkHeld;
    std::shared_ptr<const ScanChunk> m_aheadHeld;
    ScanSource& m_source;
    const uint64_t m_hit;
    const uint64_t m_chunkStart;
    const uint8_t* m_chunk;
    const uint32_t m_chunkBytes;
    const uint8_t* m_ahead;
    const uint32_t m_aheadBytes;
    uint64_t m_available;   // bytes from the hit to the source's end
    uint64_t m_size;
    uint64_t m_inMemory;
};
