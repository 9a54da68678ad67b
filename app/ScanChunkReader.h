// ScanChunkReader: reads a scan source chunk by chunk on a thread of its own, ahead of the search,
// into a few buffers that the search hands back when it is done with them. Nothing is copied:
// a chunk stays in the buffer it was read into until it is released.
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

struct ScanChunk {
    uint64_t index = 0;           // 0 for the first chunk
    uint64_t start = 0;           // source position of its first byte
    uint32_t bytes = 0;           // bytes that stand for the source (less than the chunk size only at its end)
    uint8_t* data = nullptr;      // chunk-size bytes, zeros after `bytes`
    uint64_t unreadableSectors = 0;
    std::vector<std::wstring> logLines;
};

class ScanChunkReader {
public:
    ScanChunkReader(ScanSource& source, uint32_t chunkSize);
    ~ScanChunkReader();
    ScanChunkReader(const ScanChunkReader&) = delete;
    ScanChunkReader& operator=(const ScanChunkReader&) = delete;

    // Allocates `buffers` chunk buffers (at least 2) and starts reading. False when the memory
    // is not there.
    bool Start(int buffers);
    // The next chunk in source order, waiting until it is read; null after the last one (a
    // chunk shorter than the chunk size, or one that ends at the source's size) or once stopped.
    ScanChunk* Next();
    // Gives a chunk's buffer back for reading further.
    void Release(ScanChunk* chunk);
    // Ends the reading thread; chunks not taken are dropped.
    void Stop();

private:
    void Run();
    void ReadChunk(ScanChunk& chunk, uint64_t position);

    ScanSource& m_source;
    const uint32_t m_chunkSize;
    std::vector<std::unique_ptr<uint8_t[]>> m_memory;
    std::vector<std::unique_ptr<ScanChunk>> m_chunks;

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::deque<ScanChunk*> m_free;
    std::deque<ScanChunk*> m_ready;
    bool m_finished = false;   // the reader has handed over its last chunk
    bool m_stop = false;
    std::thread m_thread;
};
