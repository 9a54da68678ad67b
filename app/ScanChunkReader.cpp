#include "app/ScanChunkReader.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

namespace {

constexpr size_t kReadAhead = 2;
// A chunk is read in pieces on several threads at once: reads of a few MiB stay in the
// processor's cache on their way, and a file in the system's cache comes in several times faster
// than through one large read.
constexpr uint32_t kReadPiece = 4u << 20;
constexpr unsigned kMostReadThreads = 4;

std::wstring Line(const wchar_t* format, ...)
{
    wchar_t text[256];
    va_list args;
    va_start(args, format);
    _vsnwprintf(text, 255, format, args);
    va_end(args);
    text[255] = 0;
    return text;
}

// A chunk with a buffer of its own, every page of it written once. A page that is first read and
// then written (as the system's read does to check a buffer before it fills it) is mapped twice,
// and the second mapping makes every processor that runs one of the scan's threads drop its
// address translations; writing the buffer first maps each page once.
ScanChunk* NewChunk(uint32_t size)
{
    auto* chunk = new (std::nothrow) ScanChunk();
    if (chunk)
        chunk->data = new (std::nothrow) uint8_t[size];
    if (!chunk || !chunk->data) {
        delete chunk;
        return nullptr;
    }
    std::memset(chunk->data, 0, size);
    return chunk;
}

}  // namespace

ScanChunkReader::ScanChunkReader(ScanSource& source, uint32_t chunkSize)
    : m_source(source),
      m_chunkSize(chunkSize),
      m_readThreads(std::min(kMostReadThreads, std::max(1u, std::thread::hardware_concurrency())) - 1)
{
}

ScanChunkReader::~ScanChunkReader()
{
    Stop();
    for (ScanChunk* chunk : m_free)
        delete chunk;
    for (ScanChunk* chunk : m_ready)
        delete chunk;
}

bool ScanChunkReader::Start(int maxBuffers)
{
    if (m_chunkSize == 0)
        return false;
    m_maxBuffers = std::max(maxBuffers, 3);
    // The search needs two chunks at once and the reader one more: those must be there.
    for (int i = 0; i < 3; ++i) {
        ScanChunk* chunk = NewChunk(m_chunkSize);
        if (!chunk)
            return false;
        m_free.push_back(chunk);
        ++m_buffers;
    }
    m_thread = std::thread(&ScanChunkReader::Run, this);
    return true;
}

void ScanChunkReader::Stop()
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::shared_ptr<const ScanChunk> ScanChunkReader::Next()
{
    ScanChunk* chunk = nullptr;
    {
        std::unique_lock<std::mutex> hold(m_lock);
        m_changed.wait(hold, [this] { return !m_ready.empty() || m_finished || m_stop; });
        if (m_ready.empty() || m_stop)
            return nullptr;
        chunk = m_ready.front();
        m_ready.pop_front();
    }
    m_changed.notify_all();
    // The holders keep the reader alive until the buffer is back.
    std::shared_ptr<ScanChunkReader> self = shared_from_this();
    return std::shared_ptr<const ScanChunk>(chunk, [self](const ScanChunk* c) { self->Recycle(const_cast<ScanChunk*>(c)); });
}

void ScanChunkReader::Recycle(ScanChunk* chunk)
{
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_free.push_back(chunk);
    }
    m_changed.notify_all();
}

void ScanChunkReader::Run()
{
    const uint64_t size = m_source.Size();
    uint64_t position = 0;
    for (uint64_t index = 0;; ++index) {
        ScanChunk* chunk = nullptr;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            for (;;) {
                if (m_stop)
                    return;
                // Two chunks read ahead keep the search fed; more would only take buffers.
                if (m_ready.size() >= kReadAhead) {
                    m_changed.wait(hold);
                    continue;
                }
                if (!m_free.empty()) {
                    chunk = m_free.back();
                    m_free.pop_back();
                    break;
                }
                if (m_buffers < m_maxBuffers) {
                    hold.unlock();
                    ScanChunk* fresh = NewChunk(m_chunkSize);
                    hold.lock();
                    if (fresh) {
                        ++m_buffers;
                        chunk = fresh;
                        break;
                    }
                    m_maxBuffers = m_buffers;   // no more memory: make do with what there is
                    continue;
                }
                m_changed.wait(hold);
            }
        }
        chunk->index = index;
        ReadChunk(*chunk, position);
        position += chunk->bytes;
        const bool last = chunk->bytes < m_chunkSize || position >= size;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            m_ready.push_back(chunk);
            m_finished = last;
        }
        m_changed.notify_all();
        if (last)
            return;
    }
}

bool ScanChunkReader::ReadInPieces(uint64_t position, uint8_t* buffer, uint32_t count)
{
    const uint32_t sector = std::max<uint32_t>(m_source.SectorSize(), 1);
    const uint32_t piece = std::max(kReadPiece - kReadPiece % sector, sector);
    const uint32_t pieces = count / piece + (count % piece ? 1 : 0);
    std::atomic<bool> whole{true};
    m_readThreads.Run(pieces, [&](unsigned i) {
        const uint32_t at = i * piece;
        const uint32_t length = std::min(piece, count - at);
        uint32_t got = 0;
        DWORD error = 0;
        if (!whole || !m_source.ReadAt(position + at, buffer + at, length, got, error) || got != length)
            whole = false;
    });
    return whole;
}

void ScanChunkReader::ReadChunk(ScanChunk& chunk, uint64_t position)
{
    chunk.start = position;
    chunk.bytes = 0;
    chunk.unreadableSectors = 0;
    chunk.logLines.clear();
    uint8_t* buffer = chunk.data;
    const uint32_t size = m_chunkSize;
    const uint64_t total = m_source.Size();
    uint32_t placed = 0;
    if (position < total) {
        const uint32_t expected = static_cast<uint32_t>(std::min<uint64_t>(size, total - position));
        uint32_t got = 0;
        DWORD error = 0;
        bool ok = ReadInPieces(position, buffer, expected);
        if (ok)
            got = expected;
        else   // once more in one read, which tells where and why it stops
            ok = m_source.ReadAt(position, buffer, expected, got, error);
        got = std::min(got, expected);
        placed = got;
        if (!ok || got < expected)
            chunk.logLines.push_back(
                Line(L"GetLastError: %ld, Bytes Read: %d", static_cast<long>(error), static_cast<int>(got)));
        if (!ok) {
            // Step over what cannot be read, sector by sector, and go on behind it.
            const uint32_t sector = std::max<uint32_t>(m_source.SectorSize(), 1);
            uint32_t at = got - got % sector;
            uint64_t badStart = 0;
            uint64_t badCount = 0;
            auto flushBad = [&]() {
                if (badCount) {
                    chunk.logLines.push_back(Line(L"Unreadable: %I64u sectors at %I64u (Bytes), read as zeros",
                                                  badCount, badStart));
                    chunk.unreadableSectors += badCount;
                    badCount = 0;
                }
            };
            bool ended = false;
            while (at < expected) {
                const uint32_t count = std::min(sector, expected - at);
                uint32_t sectorGot = 0;
                DWORD sectorError = 0;
                if (m_source.ReadAt(position + at, buffer + at, count, sectorGot, sectorError)) {
                    flushBad();
                    if (sectorGot < count) {   // the source ends here after all
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
    std::memset(buffer + placed, 0, size - placed);
    chunk.bytes = placed;
}
