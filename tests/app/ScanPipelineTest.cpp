// The pipeline behind the search: hits verified on several threads come back in the order they
// were found, a kept hit hides the next 200 offsets of its chunk, and a cancelled scan leaves
// only what was kept.
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "ScanTestSupport.h"
#include "app/ScanDlg.h"
#include "app/ScanPipeline.h"
#include "common/TestFiles.h"

namespace {

const Bytes kJpegHead = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};

ScanLoopSettings Settings(uint32_t chunk)
{
    ScanLoopSettings settings;
    settings.chunkSize = chunk;
    settings.groupMask = 1;
    return settings;
}

// Keeps every candidate (or none) as a small file that names the hit's position; waits longer
// for earlier hits so that later ones finish first.
struct FakeVerifier {
    bool keep = true;
    std::atomic<int>* calls = nullptr;
    void operator()(CandidateJob& job, const std::wstring& path) const
    {
        if (calls)
            ++*calls;
        Sleep(static_cast<DWORD>(job.ordinal < 8 ? 8 - job.ordinal : 0));
        if (!keep) {
            job.outcome = CandidateJob::Outcome::LoadFailed;
            return;
        }
        const std::string text = std::to_string(job.hit.position);
        WriteWholeFile(path, text.data(), text.size());
        job.outcome = CandidateJob::Outcome::Kept;
        job.file = path;
    }
};

class ScanPipelineTest : public ::testing::Test {
protected:
    // Scans the data into the pipeline; answers the kept files' contents in file order.
    std::vector<std::string> Scan(const Bytes& data, uint32_t chunk, FakeVerifier verifier, bool cancel = false)
    {
        TestDir folder;
        ScanDlg dialog;
        wcsncpy(dialog.ScanFolder, folder.Path().c_str(), MAX_PATH - 1);
        MemorySource source(data);
        ScanPipeline pipeline(dialog, chunk, 3, verifier);
        dialog.CancelRequested = cancel;
        const ScanLoopResult result = RunScanLoop(source, Settings(chunk), pipeline);
        pipeline.Finish(result.cancelled);
        hitsTaken_ = pipeline.HitsTaken();
        std::vector<std::string> kept;
        for (const NString& path : dialog.KeptFiles) {
            Bytes bytes;
            EXPECT_TRUE(ReadWholeFile(path.c_str(), bytes));
            kept.emplace_back(bytes.begin(), bytes.end());
        }
        EXPECT_EQ(kept.size(), ListFiles(folder.Path()).size()) << "no working files stay behind";
        return kept;
    }

    uint64_t hitsTaken_ = 0;
};

TEST_F(ScanPipelineTest, AKeptHitHidesTheNext200OffsetsOfItsChunk)
{
    for (uint64_t second : {150u, 200u, 201u, 300u}) {
        Bytes data(4096, 0);
        Place(data, 0, kJpegHead);
        Place(data, second, kJpegHead);
        std::atomic<int> calls{0};
        const std::vector<std::string> kept = Scan(data, 2048, FakeVerifier{true, &calls});
        const std::vector<std::string> expected =
            second <= 200 ? std::vector<std::string>{"0"} : std::vector<std::string>{"0", std::to_string(second)};
        EXPECT_EQ(expected, kept) << second;
        EXPECT_EQ(expected.size(), hitsTaken_);
        // A hit hidden behind a kept one is never written or decoded, even while the first is.
        EXPECT_EQ(static_cast<int>(expected.size()), calls.load()) << second;
    }
    // Nothing kept: both are tried. Behind the end of a chunk the next one is not hidden.
    Bytes data(4096, 0);
    Place(data, 0, kJpegHead);
    Place(data, 150, kJpegHead);
    std::atomic<int> calls{0};
    EXPECT_TRUE(Scan(data, 2048, FakeVerifier{false, &calls}).empty());
    EXPECT_EQ(2u, hitsTaken_);
    EXPECT_EQ(2, calls.load());
    Bytes across(4096, 0);
    Place(across, 2000, kJpegHead);
    Place(across, 2060, kJpegHead);
    EXPECT_EQ((std::vector<std::string>{"2000", "2060"}), Scan(across, 2048, FakeVerifier{}));
}

TEST_F(ScanPipelineTest, AHitWaitingForTheVerdictBeforeItHoldsNoThread)
{
    // Two threads: one verifies the hit at 0, which answers only once the hits at 1000 and 2000
    // are verified; the hit at 150 waits for that verdict beside it, not on the other thread.
    Bytes data(4096, 0);
    for (size_t offset : {0u, 150u, 1000u, 2000u})
        Place(data, offset, kJpegHead);
    std::atomic<int> laterDone{0};
    std::atomic<bool> waitedInVain{false};
    auto verifier = [&](CandidateJob& job, const std::wstring& path) {
        if (job.hit.position == 0) {
            const DWORD start = GetTickCount();
            while (laterDone.load() < 2 && GetTickCount() - start < 5000)
                Sleep(1);
            waitedInVain = laterDone.load() < 2;
        } else if (job.hit.position >= 1000) {
            ++laterDone;
        }
        const std::string text = std::to_string(job.hit.position);
        WriteWholeFile(path, text.data(), text.size());
        job.outcome = CandidateJob::Outcome::Kept;
        job.file = path;
    };
    TestDir folder;
    ScanDlg dialog;
    wcsncpy(dialog.ScanFolder, folder.Path().c_str(), MAX_PATH - 1);
    MemorySource source(data);
    ScanPipeline pipeline(dialog, 4096, 2, verifier);
    const ScanLoopResult result = RunScanLoop(source, Settings(4096), pipeline);
    pipeline.Finish(result.cancelled);
    EXPECT_FALSE(waitedInVain);
    ASSERT_EQ(3u, dialog.KeptFiles.size()) << "the hit at 150 lies behind the kept one at 0";
    EXPECT_EQ(3u, pipeline.HitsTaken());
}

TEST_F(ScanPipelineTest, ResultsAreKeptInTheOrderOfTheHits)
{
    Bytes data(64 * 1024, 0);
    std::vector<std::string> expected;
    for (size_t offset = 333; offset + 16 < data.size(); offset += 1111) {
        Place(data, offset, kJpegHead);
        expected.push_back(std::to_string(offset));
    }
    EXPECT_EQ(expected, Scan(data, 8192, FakeVerifier{}));
}

TEST_F(ScanPipelineTest, ACancelledScanKeepsNothingItDidNotTakeBack)
{
    Bytes data(64 * 1024, 0);
    for (size_t offset = 0; offset + 16 < data.size(); offset += 1000)
        Place(data, offset, kJpegHead);
    std::atomic<int> calls{0};
    EXPECT_TRUE(Scan(data, 16 * 1024, FakeVerifier{true, &calls}, true).empty());
    EXPECT_EQ(0u, hitsTaken_);
}

}  // namespace
