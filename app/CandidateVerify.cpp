#include "app/CandidateVerify.h"

#include <windows.h>

#include <algorithm>
#include <memory>

#include "app/CandidateView.h"
#include "app/ScanChecks.h"
#include "app/ScanOptions.h"
#include "base/ReadTarget.h"
#include "base/SystemOwners.h"
#include "base/TimeUtils.h"
#include "imagefile/NImageFile.h"

namespace {

constexpr uint32_t kWritePiece = 1u << 20;
constexpr int kMemoryAttempts = 3;
constexpr DWORD kMemoryRetryMs = 500;

bool WriteAll(HANDLE file, const uint8_t* data, size_t count)
{
    while (count > 0) {
        const DWORD part = static_cast<DWORD>(std::min<size_t>(count, kWritePiece));
        DWORD written = 0;
        if (!WriteFile(file, data, part, &written, nullptr) || written != part)
            return false;
        data += part;
        count -= part;
    }
    return true;
}

// The candidate's bytes into a new file: its head from memory, the rest from the source.
bool WriteCandidate(const CandidateJob& job, const std::wstring& path)
{
    KernelHandleOwner file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return false;
    bool ok = WriteAll(file.Get(), job.head.data(), job.head.size());
    uint64_t at = job.head.size();
    // Straight from the chunks that hold the candidate's start.
    for (const auto& chunk : job.chunks) {
        if (!ok || !chunk || at >= job.length)
            continue;
        const uint64_t position = job.hit.position + at;
        if (position < chunk->start || position >= chunk->start + chunk->bytes)
            continue;
        const size_t part = static_cast<size_t>(std::min<uint64_t>(job.length - at, chunk->start + chunk->bytes - position));
        ok = WriteAll(file.Get(), chunk->data + (position - chunk->start), part);
        at += part;
    }
    if (ok && at < job.length) {
        std::unique_ptr<uint8_t[]> piece(new (std::nothrow) uint8_t[kWritePiece]);
        ok = piece != nullptr && job.source != nullptr;
        if (ok)
            PrepareReadTarget(piece.get(), kWritePiece);
        while (ok && at < job.length) {
            const size_t part = static_cast<size_t>(std::min<uint64_t>(kWritePiece, job.length - at));
            ReadRange(*job.source, job.hit.position + at, piece.get(), part);
            ok = WriteAll(file.Get(), piece.get(), part);
            at += part;
        }
    }
    ok = file.Close() && ok;
    if (!ok)
        DeleteFileW(path.c_str());
    return ok;
}

// Cuts the file to its first length bytes; it stays whole when that fails.
void CutFile(const std::wstring& path, uint64_t length)
{
    KernelHandleOwner file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file)
        return;
    LARGE_INTEGER end;
    end.QuadPart = static_cast<LONGLONG>(length);
    if (SetFilePointerEx(file.Get(), end, nullptr, FILE_BEGIN))
        SetEndOfFile(file.Get());
}

// A decoder the system lacks (the Imaging Component without a HEIF codec, say): the picture
// cannot be shown here, but its structure says it is one.
bool DecoderMissing(const CandidateJob& job, NRESULT result)
{
    return job.hit.type == FT_HEIC && job.extent.IsComplete() &&
           (result == NR_COMPRESSION_NOT_SUPPORTED || result == NR_FORMAT_INIT_FAILED);
}

}  // namespace

void PrepareCandidate(CandidateJob& job, CandidateBytes& candidate, uint64_t blockLength, uint64_t memoryLimit)
{
    candidate.SetLimit(kLargestPicture);
    const ScanExtentFunction walk = ScanExtentOf(job.hit.type);
    PictureExtent extent = walk ? walk(candidate) : PictureExtent::Unknown();
    // An end found only because the walk was stopped by the limit is no end.
    if (extent.IsComplete() && (extent.end == 0 || (extent.end == candidate.Size() && !candidate.EndIsFinal())))
        extent = PictureExtent::Unknown();
    job.extent = extent;
    job.source = &candidate.Source();
    job.head.clear();
    if (extent.IsBroken()) {
        job.length = 0;
        return;
    }
    job.length = extent.IsComplete() ? extent.end : blockLength;
    if (candidate.Chunk()) {
        job.chunks[0] = candidate.Chunk();
        job.chunks[1] = candidate.Ahead();
        return;
    }
    const uint64_t fromMemory = std::min({job.length, candidate.InMemory(), memoryLimit});
    job.head.resize(static_cast<size_t>(fromMemory));
    if (fromMemory > 0 && !candidate.ReadAt(0, job.head.data(), job.head.size()))
        job.head.clear();
}

void MeasureHeldCandidate(CandidateJob& job, uint64_t blockLength, uint64_t memoryLimit)
{
    if (job.measured || !job.source || !job.chunks[0])
        return;
    const double start = MonotonicSeconds();
    CandidateBytes candidate(*job.source, job.hit.position, job.chunks[0], job.chunks[1]);
    PrepareCandidate(job, candidate, blockLength, memoryLimit);
    job.measured = true;
    job.measureSeconds += MonotonicSeconds() - start;
}

void VerifyCandidate(CandidateJob& job, const std::wstring& path)
{
    job.file.clear();
    job.keptLength = 0;
    if (job.extent.IsBroken() || job.length == 0) {
        job.chunks[0].reset();
        job.chunks[1].reset();
        job.outcome = CandidateJob::Outcome::LoadFailed;
        return;
    }
    const double start = MonotonicSeconds();
    const bool saved = WriteCandidate(job, path);
    // The chunks go back to the reader as soon as they are written out.
    job.chunks[0].reset();
    job.chunks[1].reset();
    const double written = MonotonicSeconds();
    job.writeSeconds += written - start;
    if (!saved) {
        job.outcome = CandidateJob::Outcome::SaveFailed;
        return;
    }
    job.bytesWritten = job.length;

    // Decoding shares one memory budget with the other verifications and the result window: a
    // candidate that found no room is tried again after the others have given memory back.
    NImageFile* file = nullptr;
    NRESULT result = NR_OK;
    bool decoded = false;
    for (int attempt = 0; attempt < kMemoryAttempts; ++attempt) {
        if (attempt > 0)
            Sleep(kMemoryRetryMs * attempt);
        delete file;
        file = nullptr;
        decoded = LoadImageForView(&file, path.c_str(), false, true, &result, true);
        if (result != NR_NOT_ENOUGH_MEMORY)
            break;
    }
    job.decodeSeconds += MonotonicSeconds() - written;
    std::unique_ptr<NImageFile> owner(file);
    uint64_t consumed = 0;
    bool sizeKnown = true;
    if (decoded && file) {
        consumed = file->GetConsumedSize();
    } else if (DecoderMissing(job, result) || result == NR_NOT_ENOUGH_MEMORY) {
        // Kept at the size it was written with (its structure's, where known): a picture that
        // cannot be decoded here is not proven broken.
        consumed = job.length;
        sizeKnown = false;
    } else {
        DeleteFileW(path.c_str());
        job.outcome = CandidateJob::Outcome::LoadFailed;
        return;
    }
    if (consumed > 0 && consumed < job.length)
        CutFile(path, consumed);

    bool pass = true;
    if (ScanOptions.FileSizeOn && static_cast<unsigned>(ScanOptions.FileSizeIndex) <= 6)
        pass = consumed >= MinimumFileSize(ScanOptions.FileSizeIndex);
    if (ScanOptions.PhotoSizeOn && sizeKnown) {
        const uint32_t side = MinimumPictureSide(ScanOptions.PhotoSizeIndex);
        // The decoded picture's size; readers that decoded it smaller for the verification tell
        // the full size.
        const bool scaled = file->verifiedSmaller != 0;
        const auto width = static_cast<uint32_t>(scaled ? file->fullWidth : file->picture.width);
        const auto height = static_cast<uint32_t>(scaled ? file->fullHeight : file->picture.height);
        if (width < side && height < side)
            pass = false;
    }
    if (!pass) {
        DeleteFileW(path.c_str());
        job.outcome = CandidateJob::Outcome::Filtered;
        return;
    }
    job.outcome = CandidateJob::Outcome::Kept;
    job.file = path;
    job.keptLength = consumed > 0 && consumed <= job.length ? consumed : job.length;
}
