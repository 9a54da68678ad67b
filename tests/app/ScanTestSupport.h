// Helpers of the scan tests: sources in memory, a sink that records, disk images built from
// fixtures and noise, and the process-wide settings set up for one test.
#pragma once
#include <windows.h>

#include <cstdint>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "app/ScanLoop.h"
#include "app/ScanOptions.h"

using Bytes = std::vector<uint8_t>;

// Deterministic noise.
Bytes Noise(size_t size, uint32_t seed);
// A checked-in fixture (tests/data/<name>); fails the test when missing.
Bytes Fixture(const std::wstring& name);
// A JPEG written by the image library: width x height, a colour gradient.
Bytes MakeJpeg(int width, int height);
// The PNG with a text chunk after its header that brings it to exactly `size` bytes (at least
// the PNG's size + 20).
Bytes PadPng(const Bytes& png, size_t size);
// Copies the picture into the image at the offset.
void Place(Bytes& image, size_t offset, const Bytes& picture);

// A source in memory; sectors listed as bad fail every read that touches them.
class MemorySource : public ScanSource {
public:
    explicit MemorySource(Bytes data, uint32_t sectorSize = 512) : m_data(std::move(data)), m_sector(sectorSize) {}
    uint64_t Size() const override { return m_data.size(); }
    uint32_t SectorSize() const override { return m_sector; }
    bool ReadAt(uint64_t position, void* buffer, uint32_t count, uint32_t& bytesRead, DWORD& error) override;

    std::set<uint64_t> badSectors;
    // Position and count of every read. The scan reads from its reader thread and from the
    // verification threads at once: the list is read only after the scan.
    std::vector<std::pair<uint64_t, uint32_t>> reads;

private:
    Bytes m_data;
    uint32_t m_sector;
    std::mutex m_readsLock;
};

struct RecordedHit {
    uint64_t offset;
    FileType type;
    bool operator==(const RecordedHit& other) const { return offset == other.offset && type == other.type; }
};

// Records every hit, with the first bytes of its candidate; can cancel after a number of hits.
class RecordingSink : public ScanSink {
public:
    void OnHit(const ScanHit& hit, CandidateBytes& candidate) override;
    bool IsCancelled() override { return cancelAfter != 0 && hits.size() >= cancelAfter; }
    void Log(const wchar_t* text) override { log.push_back(text); }

    std::vector<RecordedHit> hits;
    std::vector<Bytes> candidateHeads;      // the first bytes of each candidate
    std::vector<uint64_t> candidateLengths; // what each candidate could hold: up to the source's end
    size_t headBytes = 0;                   // how much of each candidate to copy
    size_t cancelAfter = 0;
    std::vector<std::wstring> log;
};

// Sets the output folder and the scan options for one test and restores them afterwards.
class ScanSettingsScope {
public:
    explicit ScanSettingsScope(const std::wstring& outputFolder);
    ~ScanSettingsScope();

private:
    wchar_t m_savedFolder[MAX_PATH];
    ScanOptionSet m_savedOptions;
};

// The files of a folder (names only), sorted.
std::vector<std::wstring> ListFiles(const std::wstring& folder);
// Sets the scan options to scan the image file with every format group and the smallest chunks.
void ScanImageFileWithAllGroups(const std::wstring& path);
// The files folder of the Wine user's Recycle Bin ($HOME is private to the test run), through the
// Z: drive; "" when HOME is not known.
std::wstring TrashFilesFolder();
// The whole application log, or "" when there is none.
std::wstring ReadAppLog();
