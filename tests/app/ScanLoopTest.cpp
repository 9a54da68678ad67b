// The read-and-search loop on sources in memory: chunks, the candidate of a hit, the skip after a
// kept hit, the order of hits, unreadable sectors and cancelling.
#include <gtest/gtest.h>

#include "ScanTestSupport.h"
#include "app/ScanChecks.h"
#include "app/ScanSource.h"
#include "common/TestFiles.h"

namespace {

const Bytes kJpegHead = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};

ScanLoopSettings Settings(uint32_t chunk, unsigned groups = 1)
{
    ScanLoopSettings settings;
    settings.chunkSize = chunk;
    settings.groupMask = groups;
    return settings;
}

std::vector<uint64_t> Offsets(const RecordingSink& sink)
{
    std::vector<uint64_t> offsets;
    for (const RecordedHit& hit : sink.hits)
        offsets.push_back(hit.offset);
    return offsets;
}

TEST(ScanLoop, AKeptHitHidesTheNext200Offsets)
{
    // Kept hits at 0 and 300; the signature at 150 is never tested, the one at 201 would be.
    for (uint64_t second : {150u, 200u, 201u, 300u}) {
        Bytes data(4096, 0);
        Place(data, 0, kJpegHead);
        Place(data, second, kJpegHead);
        MemorySource source(data);
        RecordingSink sink;
        sink.keepAll = true;
        RunScanLoop(source, Settings(2048), sink);
        const std::vector<uint64_t> expected =
            second <= 200 ? std::vector<uint64_t>{0} : std::vector<uint64_t>{0, second};
        EXPECT_EQ(expected, Offsets(sink)) << second;
    }
    // Not kept: both are tried.
    Bytes data(4096, 0);
    Place(data, 0, kJpegHead);
    Place(data, 150, kJpegHead);
    MemorySource source(data);
    RecordingSink sink;
    RunScanLoop(source, Settings(2048), sink);
    EXPECT_EQ((std::vector<uint64_t>{0, 150}), Offsets(sink));
}

TEST(ScanLoop, CandidateIsTheRestOfTheChunkAndTheStartOfTheNext)
{
    const uint32_t chunk = 4096;
    Bytes data = Noise(3 * chunk + 1000, 3);
    for (uint8_t& b : data)
        if (b == 0xFF) b = 0xFE;  // no stray JPEG signatures
    const size_t offset = chunk - 100;  // the picture crosses the first chunk boundary
    Place(data, offset, kJpegHead);
    const size_t last = 3 * chunk + 500;  // a hit in the last, short chunk
    Place(data, last, kJpegHead);

    MemorySource source(data);
    RecordingSink sink;
    sink.headBytes = chunk;
    const ScanLoopResult result = RunScanLoop(source, Settings(chunk), sink);
    ASSERT_EQ(2u, sink.hits.size());
    EXPECT_EQ(offset, sink.hits[0].offset);
    EXPECT_EQ(FT_JPG, sink.hits[0].type);
    EXPECT_EQ(chunk, sink.candidateLengths[0]);
    EXPECT_EQ(Bytes(data.begin() + offset, data.begin() + offset + chunk), sink.candidateHeads[0]);
    // The tail of a candidate beyond the source's end is zeros.
    Bytes expectedLast(data.begin() + last, data.end());
    expectedLast.resize(chunk, 0);
    EXPECT_EQ(expectedLast, sink.candidateHeads[1]);
    EXPECT_EQ(data.size(), result.bytesScanned);
    EXPECT_EQ(2u, result.hits);
}

TEST(ScanLoop, SourcesOfNoBytesAndOfWholeChunks)
{
    MemorySource empty{Bytes()};
    RecordingSink sink;
    ScanLoopResult result = RunScanLoop(empty, Settings(4096), sink);
    EXPECT_EQ(0u, result.bytesScanned);
    EXPECT_TRUE(empty.reads.empty());

    // A size that is a multiple of the chunk ends at the size, with no read behind it; a picture
    // in the last bytes is still found.
    Bytes data(3 * 4096, 0);
    Place(data, data.size() - 20, kJpegHead);
    MemorySource source(data);
    result = RunScanLoop(source, Settings(4096), sink);
    EXPECT_EQ(data.size(), result.bytesScanned);
    for (const auto& read : source.reads)
        EXPECT_LT(read.first, data.size());
    ASSERT_EQ(1u, sink.hits.size());
    EXPECT_EQ(data.size() - 20, sink.hits[0].offset);
}

TEST(ScanLoop, HitsOfOneOffsetComeInCheckOrder)
{
    // A JPEG whose comment holds "oconv" within its first 32 bytes is also a Radiance hit (and so
    // are the offsets up to the text).
    Bytes data(8192, 0);
    const Bytes both = {0xFF, 0xD8, 0xFF, 0xFE, 0x01, 0x07, 'o', 'c', 'o', 'n', 'v'};
    Place(data, 1001, both);
    // TIFF data: with groups 1 and 2 only the TIFF hit; with group 2 alone the raw hit.
    const Bytes tiff = {'I', 'I', 0x2A, 0x00, 0x08, 0, 0, 0};
    Place(data, 5003, tiff);

    MemorySource source(data);
    RecordingSink sink;
    RunScanLoop(source, Settings(4096, kAllScanGroups), sink);
    std::vector<RecordedHit> expected = {{1001, FT_JPG}};
    for (uint64_t offset = 1001; offset <= 1007; ++offset)
        expected.push_back({offset, FT_HDR});
    expected.push_back({5003, FT_TIF});
    EXPECT_EQ(expected, sink.hits);

    RecordingSink rawOnly;
    RunScanLoop(source, Settings(4096, 2), rawOnly);
    EXPECT_EQ((std::vector<RecordedHit>{{5003, FT_RAW}}), rawOnly.hits);

    RecordingSink withoutJpeg;  // groups 2 and 4: JPEG is not searched
    RunScanLoop(source, Settings(4096, 2 | 8), withoutJpeg);
    expected.erase(expected.begin());
    expected.back().type = FT_RAW;
    EXPECT_EQ(expected, withoutJpeg.hits);
}

TEST(ScanLoop, UnreadableSectorsAreSteppedOverAndTheScanGoesOn)
{
    const uint32_t chunk = 8 * 512;
    Bytes data(5 * chunk, 0);
    Place(data, 100, kJpegHead);                       // before the bad sectors
    Place(data, chunk + 3 * 512 + 7, kJpegHead);       // in a bad sector: lost, read as zeros
    Place(data, chunk + 6 * 512 + 9, kJpegHead);       // behind them in the same chunk
    Place(data, 4 * chunk + 11, kJpegHead);            // in the last chunk
    MemorySource source(data);
    source.badSectors = {8 + 2, 8 + 3, 8 + 4, 8 + 8 + 8 + 1};

    RecordingSink sink;
    const ScanLoopResult result = RunScanLoop(source, Settings(chunk), sink);
    EXPECT_EQ(data.size(), result.bytesScanned);
    EXPECT_EQ(4u, result.unreadableSectors);
    EXPECT_EQ((std::vector<uint64_t>{100, chunk + 6 * 512 + 9, 4 * chunk + 11}), Offsets(sink));
    int unreadableLines = 0;
    for (const std::wstring& line : sink.log)
        unreadableLines += line.find(L"Unreadable: ") == 0;
    EXPECT_EQ(2, unreadableLines);  // one line per run of bad sectors
}

TEST(ScanLoop, CancelStopsAfterTheCurrentOffset)
{
    Bytes data(64 * 1024, 0);
    for (size_t offset = 0; offset + 16 < data.size(); offset += 1000)
        Place(data, offset, kJpegHead);
    MemorySource source(data);
    RecordingSink sink;
    sink.cancelAfter = 3;
    const ScanLoopResult result = RunScanLoop(source, Settings(16 * 1024), sink);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(3u, sink.hits.size());
    EXPECT_LT(result.bytesScanned, data.size());
}

TEST(ScanSource, SizeFoundByReading)
{
    // Devices without a geometry are measured by reading; a file shows the same way.
    TestDir dir;
    for (size_t size : {size_t{1}, size_t{511}, size_t{512}, size_t{3000}, size_t{1 << 20}, size_t{(1 << 20) + 513}}) {
        const std::wstring path = dir.File(L"device" + std::to_wstring(size));
        ASSERT_TRUE(WriteWholeFile(path, Noise(size, 2)));
        ScanSourceHandle source;
        DWORD error = 0;
        ASSERT_TRUE(source.Open(path.c_str(), error));
        ASSERT_TRUE(source.MeasureByReading());
        EXPECT_EQ(size, source.Size());
        EXPECT_EQ(512u, source.SectorSize());
    }
    const std::wstring empty = dir.File(L"empty");
    ASSERT_TRUE(WriteWholeFile(empty, "", 0));
    ScanSourceHandle source;
    DWORD error = 0;
    ASSERT_TRUE(source.Open(empty.c_str(), error));
    EXPECT_FALSE(source.MeasureByReading());
    EXPECT_FALSE(source.Open(dir.File(L"missing").c_str(), error));
    EXPECT_EQ(static_cast<DWORD>(ERROR_FILE_NOT_FOUND), error);
}

}  // namespace
