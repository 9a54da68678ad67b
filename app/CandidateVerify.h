// Verification of one scan candidate, apart from its naming and keeping (ScanCommit.h), so that
// candidates can be verified on several threads at once while the search goes on.
//
// A candidate is measured first (CandidateBytes + the format's structure walk): one whose
// structure cannot hold a picture is refused without writing anything; one whose end is known is
// written at exactly that length; any other keeps the length of one read block. The written file
// is decoded as the result window would decode it, cut to the length the decoder consumed and
// held against the size filters of the scan options.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <memory>
#include <vector>

#include "app/CandidateBytes.h"
#include "app/ScanLoop.h"
#include "imagefile/PictureExtent.h"

struct CandidateJob {
    enum class Outcome : uint8_t { Kept, SaveFailed, LoadFailed, Filtered };

    // Filled when the candidate is found.
    uint64_t ordinal = 0;            // hits counted from 0
    ScanHit hit;
    const wchar_t* extension = L"";
    PictureExtent extent;
    uint64_t length = 0;             // bytes the candidate is written with
    std::vector<uint8_t> head;       // its first bytes, copied (a candidate handed over alone)
    std::shared_ptr<const ScanChunk> chunks[2];   // or the scan's chunks that hold its start
    ScanSource* source = nullptr;    // the rest comes from here (zeros past the source's end)
    // False while the candidate lies in the chunks above and is still to be measured: the
    // verification thread measures it (MeasureHeldCandidate) before anything else.
    bool measured = true;
    // An earlier candidate a few bytes before this one in the same chunk: when that one is kept,
    // this one lies behind it and is dropped unverified.
    std::shared_ptr<CandidateJob> shadowedBy;
    // Jobs shadowed by this one that a verification thread set aside until its verdict, instead
    // of waiting for it (kept under the pipeline's lock).
    std::vector<std::shared_ptr<CandidateJob>> deferred;

    // Filled by the verification.
    Outcome outcome = Outcome::LoadFailed;
    std::wstring file;               // the written file while it is kept
    uint64_t keptLength = 0;
    uint64_t bytesWritten = 0;
    double measureSeconds = 0;
    double writeSeconds = 0;
    double decodeSeconds = 0;
    std::atomic<bool> done{false};
};

// Measures the candidate and fills the job's extent, length and bytes. blockLength: the length a
// candidate of unknown end gets (the chunk size); bytes past the source's end are zeros. A
// candidate over the scan's chunks keeps those chunks until it is written; any other has up to
// memoryLimit bytes copied. The rest is read from the source when the file is written.
void PrepareCandidate(CandidateJob& job, CandidateBytes& candidate, uint64_t blockLength, uint64_t memoryLimit);

// A job that holds its chunks and its source but is not measured yet: measures it there, as
// PrepareCandidate does, on whatever thread verifies it. Does nothing to a measured job.
void MeasureHeldCandidate(CandidateJob& job, uint64_t blockLength, uint64_t memoryLimit);

// Writes the candidate to `path`, decodes it, cuts it to its consumed length, applies the size
// filters of ScanOptions and sets the outcome; the file stays (as job.file) only when kept. Safe
// to run on any thread that has initialised COM.
void VerifyCandidate(CandidateJob& job, const std::wstring& path);
