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

TEST(ScanLoop, CandidateRunsOnThroughTheNextChunkAndTheSource)
{
    const uint32_t chunk = 4096;
    Bytes data = Noise(5 * chunk + 1000, 3);
    for (uint8_t& b : data)
        if (b == 0xFF) b = 0xFE;  // no stray JPEG signatures
    const size_t offset = chunk - 100;  // the picture crosses the first chunk boundary
    Place(data, offset, kJpegHead);
    const size_t last = 5 * chunk + 500;  // a hit in the last, short chunk
    Place(data, last, kJpegHead);

    MemorySource source(data);
    RecordingSink sink;
    sink.headBytes = 3 * chunk;  // past the chunk, the read-ahead and into the source beyond
    const ScanLoopResult result = RunScanLoop(source, Settings(chunk), sink);
    ASSERT_EQ(2u, sink.hits.size());
    EXPECT_EQ(offset, sink.hits[0].offset);
    EXPECT_EQ(FT_JPG, sink.hits[0].type);
    // A candidate reaches to the source's end, and holds exactly the source's bytes.
    EXPECT_EQ(data.size() - offset, sink.candidateLengths[0]);
    EXPECT_EQ(Bytes(data.begin() + offset, data.begin() + offset + 3 * chunk), sink.candidateHeads[0]);
    EXPECT_EQ(data.size() - last, sink.candidateLengths[1]);
    EXPECT_EQ(Bytes(data.begin() + last, data.end()), sink.candidateHeads[1]);
    EXPECT_EQ(data.size(), result.bytesScanned);
    EXPECT_EQ(2u, result.hits);
}

TEST(ScanLoop, AHeaderAcrossAChunkBoundaryIsFoundOnce)
{
    // Headers that start 1 to 16 bytes before a boundary (and the PhotoCD mark, 2048 bytes into
    // its header) are found exactly once, at their own offset.
    const uint32_t chunk = 8192;
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (size_t before = 1; before <= 16; ++before) {
        Bytes data(4 * chunk, 0);
        const size_t jpeg = chunk - before;
        const size_t pngAt = 2 * chunk - before;
        Place(data, jpeg, kJpegHead);
        Place(data, pngAt, png);
        const size_t photoCd = 3 * chunk - before;
        Place(data, photoCd + 2048, Bytes{'P', 'C', 'D', '_', 'I', 'P', 'I'});
        MemorySource source(data);
        RecordingSink sink;
        RunScanLoop(source, Settings(chunk, kAllScanGroups), sink);
        const std::vector<RecordedHit> expected = {{jpeg, FT_JPG}, {pngAt, FT_PNG}, {photoCd, FT_PCD}};
        EXPECT_EQ(expected, sink.hits) << before;
    }
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
    // A JPEG with the PhotoCD mark 2048 bytes in is also a PhotoCD hit at the same offset; its
    // comment holds "oconv", where a Radiance header starts (the offsets before the text, whose
    // first 32 bytes hold it too, make no hit).
    Bytes data(8192, 0);
    const Bytes both = {0xFF, 0xD8, 0xFF, 0xFE, 0x01, 0x07, 'o', 'c', 'o', 'n', 'v'};
    Place(data, 1001, both);
    Place(data, 1001 + 2048, Bytes{'P', 'C', 'D', '_', 'I', 'P', 'I'});
    // TIFF data: with groups 1 and 2 only the TIFF hit; with group 2 alone the raw hit.
    const Bytes tiff = {'I', 'I', 0x2A, 0x00, 0x08, 0, 0, 0};
    Place(data, 5003, tiff);

    MemorySource source(data);
    RecordingSink sink;
    RunScanLoop(source, Settings(4096, kAllScanGroups), sink);
    std::vector<RecordedHit> expected = {{1001, FT_JPG}, {1001, FT_PCD}, {1007, FT_HDR}, {5003, FT_TIF}};
    EXPECT_EQ(expected, sink.hits);

    RecordingSink rawOnly;
    RunScanLoop(source, Settings(4096, 2), rawOnly);
    EXPECT_EQ((std::vector<RecordedHit>{{5003, FT_RAW}}), rawOnly.hits);

    RecordingSink withoutJpeg;  // groups 2 and 4: JPEG is not searched
    RunScanLoop(source, Settings(4096, 2 | 8), withoutJpeg);
    EXPECT_EQ((std::vector<RecordedHit>{{1001, FT_PCD}, {1007, FT_HDR}, {5003, FT_RAW}}), withoutJpeg.hits);
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
