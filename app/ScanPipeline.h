// ScanPipeline: what the scan does with its hits. It is the search loop's sink (ScanLoop.h):
//   - on the search thread, each hit is handed with the chunks that hold it to a pool of
//     verification threads, which measure, write and decode it (CandidateVerify.h), so that the
//     search goes on meanwhile;
//   - results are taken back in the order the hits were found, on a thread of their own: only
//     there are files numbered (VSTScan0001, ...), kept files renamed to their numbers, log lines
//     written and the window's texts set, so everything that can be seen comes out as if each
//     hit had been verified in turn, and the search never waits for a rename. A hit within 200 bytes behind a kept one in the same chunk
//     is dropped unseen, as the search of old skipped those offsets.
// How far the search may run ahead of the taking back is bounded by a number of candidates and
// by the bytes they hold.
#pragma once
#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/CandidateVerify.h"
#include "app/ScanLoop.h"
#include "base/NString.h"
#include "base/SystemOwners.h"

class ScanDlg;

// The texts the scan shows: the position text and the counter, in the scan window's language.
class ScanProgressTexts {
public:
    ScanProgressTexts();
    // "Device size: ... (Bytes) = ... (GB)\r\nPosition: ... (Bytes) - ...%" and its percentage.
    NString Position(uint64_t position, uint64_t size, double* percent) const;
    // "Photos found: n"
    NString Counter(size_t kept) const;
    // "Photos found: n -> [Verifying: description]"
    NString Verifying(size_t kept, const wchar_t* description) const;

private:
    NString m_photosFound;
    NString m_deviceSize;
    NString m_devicePos;
    NString m_verifyData;
};

class ScanPipeline final : public ScanSink {
public:
    using Verifier = std::function<void(CandidateJob&, const std::wstring&)>;

    // blockLength: the length of a candidate whose end is not known (the chunk size). threads:
    // verification threads (0: as many as the machine has cores, less one for the search).
    ScanPipeline(ScanDlg& dialog, uint64_t blockLength, unsigned threads = 0, Verifier verifier = VerifyCandidate);
    ~ScanPipeline() override;
    ScanPipeline(const ScanPipeline&) = delete;
    ScanPipeline& operator=(const ScanPipeline&) = delete;

    void OnChunkStart(uint64_t position, uint64_t size) override;
    void OnHit(const ScanHit& hit, CandidateBytes& candidate) override;
    bool IsCancelled() override;
    void Log(const wchar_t* text) override;

    // After the search: takes back every result in order, or, when cancelled, drops what was not
    // taken back yet (its files are deleted). Ends the verification threads.
    void Finish(bool cancelled);
    // Shows the position reached and the final count.
    void ShowEnd(uint64_t position, uint64_t size);

    uint64_t HitsTaken() const { return m_hitsTaken; }
    const ScanCosts& Costs() const { return m_costs; }

    // Logs the hit and names and keeps (or logs and drops) its verified job, as the pipeline does
    // in hit order. CommitResult is the second half alone, for a candidate handed over outside
    // a scan.
    static void Commit(ScanDlg& dialog, const ScanProgressTexts& texts, CandidateJob& job);
    static void CommitResult(ScanDlg& dialog, CandidateJob& job);

private:
    struct Event {
        enum class Kind : uint8_t { Chunk, Log, Hit } kind;
        uint64_t position = 0;
        uint64_t size = 0;
        std::wstring text;
        std::shared_ptr<CandidateJob> job;
    };

    void Push(Event event);
    // The taking-back thread: handles the events in order, each hit once it is verified.
    void TakeBack();
    // Waits on the search thread until the predicate (checked under m_eventLock) holds. The
    // taking-back thread sets the window's texts, which are sent to the window's thread: when the
    // search runs on that thread, the sends are taken while waiting.
    void WaitForTakingBack(const std::function<bool()>& done);
    void Handle(Event& event);
    void Work();
    std::wstring WorkingPath(const CandidateJob& job) const;

    ScanDlg& m_dialog;
    const uint64_t m_blockLength;
    Verifier m_verifier;
    ScanProgressTexts m_texts;
    uint64_t m_ordinal = 0;             // search thread only
    std::shared_ptr<CandidateJob> m_lastAnchor;   // the last candidate that may hide the hits behind it
    uint64_t m_hitsTaken = 0;           // taking-back thread
    ScanCosts m_costs;                  // taking-back thread, but waitSeconds: search thread

    std::mutex m_eventLock;             // guards what follows up to m_taker
    std::condition_variable m_eventReady;
    KernelHandleOwner m_eventTaken;     // auto-reset event: an event was taken back, or m_taker ends
    std::deque<Event> m_events;         // in the order of the search; taken off by m_taker only
    uint64_t m_heldBytes = 0;           // bytes of the jobs not taken back
    size_t m_heldJobs = 0;
    bool m_eventsClosed = false;        // the search has ended: take back what is left, then stop
    bool m_takerDone = false;           // m_taker has ended
    std::atomic<bool> m_stopTaking{false};   // cancelled: stop taking back (set under both locks)
    // The kept hit that hides the next 200 offsets of its chunk.
    bool m_shadow = false;
    uint64_t m_shadowChunk = 0;
    uint32_t m_shadowOffset = 0;
    std::thread m_taker;

    std::mutex m_lock;                  // guards the queue and the done signal
    std::condition_variable m_workReady;
    std::condition_variable m_jobDone;
    std::deque<std::shared_ptr<CandidateJob>> m_queue;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};
