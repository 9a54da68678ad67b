#include "app/ScanPipeline.h"

#include <objbase.h>

#include <algorithm>
#include <cstdio>

#include "app/AppSettings.h"
#include "app/CrashReport.h"
#include "app/ScanDlg.h"
#include "base/TimeUtils.h"
#include "imagefile/FormatRegistry.h"

namespace {

constexpr double kGigabyte = 1073741824.0;
constexpr uint32_t kSkipAfterKept = 200;
// How far the search may run ahead of the taking back.
constexpr size_t kMaxHeldJobs = 256;
constexpr uint64_t kMaxHeldBytes = uint64_t{384} << 20;
// The most bytes of one candidate taken from memory; the rest is read again when it is written.
constexpr uint64_t kMaxJobMemory = uint64_t{64} << 20;

unsigned DefaultThreads()
{
    const unsigned cores = std::max(1u, std::thread::hardware_concurrency());
    return std::clamp(cores > 1 ? cores - 1 : 1u, 1u, 16u);
}

}  // namespace

ScanProgressTexts::ScanProgressTexts()
    : m_photosFound(ScanText(L"PhotosFound", L"Photos found")),
      m_deviceSize(ScanText(L"DeviceSize", L"Device size")),
      m_devicePos(ScanText(L"DevicePos", L"Position")),
      m_verifyData(ScanText(L"VerifyData", L"Verifying"))
{
}

NString ScanProgressTexts::Position(uint64_t position, uint64_t size, double* percent) const
{
    const double share = size ? static_cast<double>(position) / static_cast<double>(size) * 100.0 : 0.0;
    if (percent)
        *percent = share;
    NString text;
    text.Format(L"%s: %I64d (Bytes) = %2.2f (GB)\r\n%s: %I64d (Bytes) - %2.2f%%", m_deviceSize.c_str(),
                static_cast<long long>(size), static_cast<double>(size) / kGigabyte, m_devicePos.c_str(),
                static_cast<long long>(position), share);
    return text;
}

NString ScanProgressTexts::Counter(size_t kept) const
{
    NString text;
    text.Format(L"%s: %d", m_photosFound.c_str(), static_cast<int>(kept));
    return text;
}

NString ScanProgressTexts::Verifying(size_t kept, const wchar_t* description) const
{
    NString text;
    text.Format(L"%s: %d -> [%s: %s]", m_photosFound.c_str(), static_cast<int>(kept), m_verifyData.c_str(),
                description);
    return text;
}

ScanPipeline::ScanPipeline(ScanDlg& dialog, uint64_t blockLength, unsigned threads, Verifier verifier)
    : m_dialog(dialog), m_blockLength(blockLength), m_verifier(std::move(verifier))
{
    if (threads == 0)
        threads = DefaultThreads();
    for (unsigned i = 0; i < threads; ++i)
        m_threads.emplace_back(&ScanPipeline::Work, this);
    m_eventTaken.Reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    m_taker = std::thread(&ScanPipeline::TakeBack, this);
}

ScanPipeline::~ScanPipeline()
{
    Finish(true);
}

void ScanPipeline::OnChunkStart(uint64_t position, uint64_t size)
{
    Event event{Event::Kind::Chunk};
    event.position = position;
    event.size = size;
    Push(std::move(event));
}

void ScanPipeline::Log(const wchar_t* text)
{
    Event event{Event::Kind::Log};
    event.text = text ? text : L"";
    Push(std::move(event));
}

bool ScanPipeline::IsCancelled()
{
    return m_dialog.CancelRequested.load(std::memory_order_relaxed);
}

void ScanPipeline::OnHit(const ScanHit& hit, CandidateBytes& candidate)
{
    // A hit hidden behind a kept picture whose verdict is in already costs nothing more.
    {
        std::lock_guard<std::mutex> hold(m_eventLock);
        if (m_shadow && hit.chunkIndex == m_shadowChunk && hit.offsetInChunk > m_shadowOffset &&
            hit.offsetInChunk - m_shadowOffset <= kSkipAfterKept)
            return;
    }
    auto job = std::make_shared<CandidateJob>();
    job->ordinal = m_ordinal++;
    job->hit = hit;
    job->extension = FileTypeToExtension(hit.type);
    if (candidate.Chunk()) {
        // Measured by the verification thread: the chunks stay with the job until then.
        job->chunks[0] = candidate.Chunk();
        job->chunks[1] = candidate.Ahead();
        job->source = &candidate.Source();
        job->measured = false;
    } else {
        PrepareCandidate(*job, candidate, m_blockLength, kMaxJobMemory);
    }
    if (m_lastAnchor && m_lastAnchor->hit.chunkIndex == hit.chunkIndex &&
        hit.offsetInChunk > m_lastAnchor->hit.offsetInChunk &&
        hit.offsetInChunk - m_lastAnchor->hit.offsetInChunk <= kSkipAfterKept) {
        // Verified only once it is known that the candidate before it was not kept.
        job->shadowedBy = m_lastAnchor;
    } else {
        m_lastAnchor = job;
    }
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_queue.push_back(job);
    }
    m_workReady.notify_one();
    Event event{Event::Kind::Hit};
    event.job = std::move(job);
    Push(std::move(event));
    const double waited = MonotonicSeconds();
    bool waiting = false;
    WaitForTakingBack([&] {
        waiting = waiting || m_heldJobs > kMaxHeldJobs || m_heldBytes > kMaxHeldBytes;
        return (m_heldJobs <= kMaxHeldJobs && m_heldBytes <= kMaxHeldBytes) || m_takerDone;
    });
    if (waiting)
        m_costs.waitSeconds += MonotonicSeconds() - waited;
}

void ScanPipeline::WaitForTakingBack(const std::function<bool()>& done)
{
    for (;;) {
        {
            std::lock_guard<std::mutex> hold(m_eventLock);
            if (done())
                return;
        }
        HANDLE taken = m_eventTaken.Get();
        if (!taken) {
            Sleep(1);
            continue;
        }
        if (MsgWaitForMultipleObjects(1, &taken, FALSE, INFINITE, QS_SENDMESSAGE) == WAIT_OBJECT_0 + 1) {
            MSG message;
            PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
        }
    }
}

void ScanPipeline::Push(Event event)
{
    {
        std::lock_guard<std::mutex> hold(m_eventLock);
        if (event.kind == Event::Kind::Hit) {
            m_heldBytes += event.job->head.size();
            ++m_heldJobs;
        }
        m_events.push_back(std::move(event));
    }
    m_eventReady.notify_one();
}

void ScanPipeline::TakeBack()
{
    InstallCrashReportingForThread();
    for (;;) {
        Event* front = nullptr;
        {
            std::unique_lock<std::mutex> hold(m_eventLock);
            m_eventReady.wait(hold, [this] { return !m_events.empty() || m_eventsClosed || m_stopTaking; });
            if (m_stopTaking || m_events.empty())
                break;
            // Once the scan is cancelled nothing more is taken back while the search runs: what
            // it did not take back goes when the search ends (Finish).
            if (!m_eventsClosed && IsCancelled())
                break;
            // Only this thread takes events off the front, and adding at the back leaves the
            // front where it is.
            front = &m_events.front();
        }
        if (front->kind == Event::Kind::Hit) {
            std::unique_lock<std::mutex> hold(m_lock);
            m_jobDone.wait(hold, [&] { return front->job->done.load(std::memory_order_acquire) || m_stopTaking; });
            if (!front->job->done.load(std::memory_order_acquire))
                break;
        }
        Handle(*front);
        {
            std::lock_guard<std::mutex> hold(m_eventLock);
            if (front->kind == Event::Kind::Hit) {
                m_heldBytes -= front->job->head.size();
                --m_heldJobs;
            }
            m_events.pop_front();
        }
        SetEvent(m_eventTaken.Get());
    }
    {
        std::lock_guard<std::mutex> hold(m_eventLock);
        m_takerDone = true;
    }
    SetEvent(m_eventTaken.Get());
    UninstallCrashReportingForThread();
}

void ScanPipeline::Handle(Event& event)
{
    switch (event.kind) {
    case Event::Kind::Chunk: {
        double percent = 0;
        m_dialog.SetControlText(ScanDlg::kPositionTextId, m_texts.Position(event.position, event.size, &percent).c_str());
        m_dialog.SetControlText(ScanDlg::kCounterTextId, m_texts.Counter(m_dialog.KeptFiles.size()).c_str());
        m_dialog.SetProgressPosition(static_cast<int>(percent));
        break;
    }
    case Event::Kind::Log:
        LogLine(L"%s", event.text.c_str());
        break;
    case Event::Kind::Hit: {
        CandidateJob& job = *event.job;
        m_costs.measureSeconds += job.measureSeconds;
        m_costs.refused += job.measured && job.extent.IsBroken() ? 1 : 0;
        m_costs.writeSeconds += job.writeSeconds;
        m_costs.decodeSeconds += job.decodeSeconds;
        if (job.hit.type >= 0 && job.hit.type < ScanCosts::kTypes && job.bytesWritten) {
            m_costs.decodeSecondsOf[job.hit.type] += job.decodeSeconds;
            ++m_costs.decodedOf[job.hit.type];
        }
        if (job.bytesWritten)
            m_costs.NoteCandidate({job.writeSeconds + job.decodeSeconds, job.hit.position, job.bytesWritten,
                                   job.hit.type, job.outcome == CandidateJob::Outcome::Kept});
        m_costs.bytesWritten += job.bytesWritten;
        m_costs.written += job.bytesWritten ? 1 : 0;
        const ScanHit& hit = job.hit;
        if (m_shadow && hit.chunkIndex == m_shadowChunk && hit.offsetInChunk > m_shadowOffset &&
            hit.offsetInChunk - m_shadowOffset <= kSkipAfterKept) {
            if (!job.file.empty())
                DeleteFileW(job.file.c_str());
            break;
        }
        ++m_hitsTaken;
        const double committing = MonotonicSeconds();
        Commit(m_dialog, m_texts, job);
        m_costs.commitSeconds += MonotonicSeconds() - committing;
        if (job.outcome == CandidateJob::Outcome::Kept && !job.file.empty()) {
            m_costs.bytesKept += job.keptLength;
            std::lock_guard<std::mutex> hold(m_eventLock);
            m_shadow = true;
            m_shadowChunk = hit.chunkIndex;
            m_shadowOffset = hit.offsetInChunk;
        }
        break;
    }
    }
}

void ScanPipeline::Commit(ScanDlg& dialog, const ScanProgressTexts& texts, CandidateJob& job)
{
    wchar_t description[128] = {};
    CopyFileTypeDescription(description, 128, job.hit.type);
    LogLine(L"Found: %s", description);
    dialog.SetControlText(ScanDlg::kCounterTextId, texts.Verifying(dialog.KeptFiles.size(), description).c_str());
    CommitResult(dialog, job);
}

void ScanPipeline::CommitResult(ScanDlg& dialog, CandidateJob& job)
{
    auto drop = [&job]() {
        if (!job.file.empty())
            DeleteFileW(job.file.c_str());
        job.file.clear();
    };
    const int number = static_cast<int>(dialog.KeptFiles.size()) + 1;
    wchar_t path[MAX_PATH + 1];
    const int written =
        _snwprintf(path, MAX_PATH + 1, L"%s\\VSTScan%4.4d.%s", dialog.ScanFolder, number, job.extension);
    if (written < 0 || written >= MAX_PATH) {
        // A cut name would point somewhere else.
        path[MAX_PATH] = 0;
        LogLine(L"Failed: Saving. File: %s", path);
        drop();
        return;
    }
    if (job.outcome == CandidateJob::Outcome::SaveFailed) {
        LogLine(L"Failed: Saving. File: %s", path);
        drop();
        return;
    }
    LogLine(L"Verifying: File: %s", path);
    switch (job.outcome) {
    case CandidateJob::Outcome::LoadFailed:
        LogLine(L"Failed: Loading. File: %s", path);
        drop();
        return;
    case CandidateJob::Outcome::Filtered:
        LogLine(L"Delete due to Ignore Options. File: %s", path);
        drop();
        return;
    default:
        break;
    }
    if (job.file != path && !MoveFileExW(job.file.c_str(), path, MOVEFILE_REPLACE_EXISTING)) {
        LogLine(L"Failed: Saving. File: %s", path);
        drop();
        job.outcome = CandidateJob::Outcome::SaveFailed;
        return;
    }
    job.file = path;
    dialog.KeptFiles.push_back(NString(path));
}

void ScanPipeline::Finish(bool cancelled)
{
    if (cancelled) {
        std::deque<std::shared_ptr<CandidateJob>> dropped;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            dropped.swap(m_queue);
            m_stopTaking = true;
        }
        for (auto& job : dropped)
            job->done.store(true, std::memory_order_release);
        m_jobDone.notify_all();
    }
    // Everything that was found is taken back (or, when cancelled, what is being taken back now).
    const double finishing = MonotonicSeconds();
    {
        std::lock_guard<std::mutex> hold(m_eventLock);
        m_eventsClosed = true;
        if (cancelled)
            m_stopTaking = true;
    }
    m_eventReady.notify_all();
    if (m_taker.joinable()) {
        WaitForTakingBack([this] { return m_takerDone; });
        m_taker.join();
    }
    if (!cancelled)
        m_costs.finishSeconds += MonotonicSeconds() - finishing;
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stopping = true;
    }
    m_workReady.notify_all();
    for (std::thread& thread : m_threads) {
        if (thread.joinable())
            thread.join();
    }
    m_threads.clear();
    // What was not taken back goes, with the files made for it.
    for (Event& event : m_events) {
        if (event.kind == Event::Kind::Hit && !event.job->file.empty())
            DeleteFileW(event.job->file.c_str());
    }
    m_events.clear();
    m_heldBytes = 0;
    m_heldJobs = 0;
}

void ScanPipeline::ShowEnd(uint64_t position, uint64_t size)
{
    double percent = 0;
    m_dialog.SetControlText(ScanDlg::kPositionTextId, m_texts.Position(position, size, &percent).c_str());
    m_dialog.SetControlText(ScanDlg::kCounterTextId, m_texts.Counter(m_dialog.KeptFiles.size()).c_str());
    m_dialog.SetProgressPosition(static_cast<int>(percent));
}

std::wstring ScanPipeline::WorkingPath(const CandidateJob& job) const
{
    wchar_t path[MAX_PATH + 1];
    const int written = _snwprintf(path, MAX_PATH + 1, L"%s\\~VSTScan%08I64u.%s", m_dialog.ScanFolder,
                                   static_cast<unsigned long long>(job.ordinal), job.extension);
    if (written < 0 || written >= MAX_PATH)
        return std::wstring();
    return path;
}

void ScanPipeline::Work()
{
    const HRESULT com = CoInitialize(nullptr);
    InstallCrashReportingForThread();
    for (;;) {
        std::shared_ptr<CandidateJob> job;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            m_workReady.wait(hold, [this] { return !m_queue.empty() || m_stopping; });
            if (m_queue.empty())
                break;
            job = m_queue.front();
            m_queue.pop_front();
        }
        bool hidden = false;
        if (job->shadowedBy) {
            // Jobs are taken in hit order: the earlier one is being verified or done already.
            // While it is being verified, this one waits beside it and the thread goes on.
            std::unique_lock<std::mutex> hold(m_lock);
            CandidateJob& before = *job->shadowedBy;
            if (!before.done.load(std::memory_order_acquire)) {
                before.deferred.push_back(std::move(job));
                continue;
            }
            hidden = before.outcome == CandidateJob::Outcome::Kept;
            job->shadowedBy.reset();
        }
        if (!hidden)
            MeasureHeldCandidate(*job, m_blockLength, kMaxJobMemory);
        const std::wstring path = hidden ? std::wstring() : WorkingPath(*job);
        if (hidden) {
            // The commit drops it behind the kept picture; its chunks go back to the reader now.
            job->chunks[0].reset();
            job->chunks[1].reset();
            job->outcome = CandidateJob::Outcome::LoadFailed;
        } else if (path.empty())
            job->outcome = CandidateJob::Outcome::SaveFailed;
        else
            m_verifier(*job, path);
        bool requeued = false;
        {
            std::lock_guard<std::mutex> hold(m_lock);
            job->done.store(true, std::memory_order_release);
            // The jobs set aside behind this one go first, in their order.
            for (auto waiting = job->deferred.rbegin(); waiting != job->deferred.rend(); ++waiting)
                m_queue.push_front(std::move(*waiting));
            requeued = !job->deferred.empty();
            job->deferred.clear();
        }
        m_jobDone.notify_all();
        if (requeued)
            m_workReady.notify_all();
    }
    UninstallCrashReportingForThread();
    if (SUCCEEDED(com))
        CoUninitialize();
}
