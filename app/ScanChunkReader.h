// ScanChunkReader: reads a scan source chunk by chunk on a thread of its own, ahead of the search,
// into buffers shared by whoever still needs their bytes (the search, and candidates waiting to
// be written). Nothing is copied: a chunk stays in the buffer it was read into, and the buffer
// goes back to the reader when the last holder lets it go. The reader takes further buffers as
// long as it stays within its memory cap, and waits otherwise.
//
// A read that fails in the middle of the source (bad sectors) is stepped over sector by sector,
// with zeros for what cannot be read; the lines that tell of it travel with the chunk, so that
// the scan logs them where the chunk comes up.
#pragma once
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/ScanSource.h"
#include "base/ThreadGroup.h"

// Owns its buffer: never copied.
struct ScanChunk {
    ScanChunk() = default;
    ~ScanChunk() { delete[] data; }
    ScanChunk(const ScanChunk&) = delete;
    ScanChunk& operator=(const ScanChunk&) = delete;
    uint64_t index = 0;           // 0 for the first chunk
    uint64_t start = 0;           // source position of its first byte
    uint32_t bytes = 0;           // bytes that stand for the source (less than the chunk size only at its end)
    uint8_t* data = nullptr;      // chunk-size bytes, zeros after `bytes`
    uint64_t unreadableSectors = 0;
    std::vector<std::wstring> logLines;
};

class ScanChunkReader : public std::enable_shared_from_this<ScanChunkReader> {
public:
    ScanChunkReader(ScanSource& source, uint32_t chunkSize);
    ~ScanChunkReader();
    ScanChunkReader(const ScanChunkReader&) = delete;
    ScanChunkReader& operator=(const ScanChunkReader&) = delete;

    // Starts reading with up to maxBuffers chunk buffers (at least 3), allocated as they are
    // needed. False when the first ones cannot be had.
    bool Start(int maxBuffers);
    // The next chunk in source order, waiting until it is read; null after the last one (a
    // chunk shorter than the chunk size, or one that ends at the source's size) or once stopped.
    std::shared_ptr<const ScanChunk> Next();
    // Ends the reading thread; chunks not taken are dropped. Chunks still held stay valid.
    void Stop();

private:
    void Run();
    void ReadChunk(ScanChunk& chunk, uint64_t position);
    // Reads count bytes at the position in pieces on several threads; false unless all arrived.
    bool ReadInPieces(uint64_t position, uint8_t* buffer, uint32_t count);
    // Called when the last holder of a chunk lets it go.
    void Recycle(ScanChunk* chunk);

    ScanSource& m_source;
    const uint32_t m_chunkSize;
    int m_maxBuffers = 3;
    int m_buffers = 0;                        // made so far

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<ScanChunk*> m_free;           // owned: buffers nobody holds
    std::deque<ScanChunk*> m_ready;           // owned: read, not taken yet
    bool m_finished = false;                  // the reader has handed over its last chunk
    bool m_stop = false;
    std::thread m_thread;
    ThreadGroup m_readThreads;   // read the pieces of a chunk beside the reading thread
};
