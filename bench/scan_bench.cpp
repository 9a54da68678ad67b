// Speed of the picture scan. For each data file (1 GiB of random bytes, of zeros, of 0xFF: no
// picture in any of them) it prints MiB/s of a plain read, of the scan with all four format
// groups, and of the naive loop that runs every check at every offset. For a photo-dense disk
// image it prints MiB/s of the whole scan (saving and verifying every hit, as the program does)
// and of the search alone, beside PhotoRec's figures when the caller measured them.
//
// Usage: scan_bench --files RANDOM ZEROS FF [--image IMAGE OUTPUT_FOLDER] [--naive]
//                   [--photorec SECONDS FILES] [--chunk-factor N] [--runs N]
// (bench/run_scan_bench.sh makes the data, runs PhotoRec and then this program.)
#include <windows.h>
#include <objbase.h>

#include <algorithm>
#include <map>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "app/AppSettings.h"
#include "app/CandidateView.h"
#include "app/ScanDlg.h"
#include "app/ScanLoop.h"
#include "app/ScanOptions.h"
#include "app/ScanWorker.h"
#include "base/SystemOwners.h"
#include "bench/BenchClock.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;

double Seconds()
{
    return BenchSeconds();
}

// Counts the hits and keeps none, so that every offset is tested.
class CountingSink : public ScanSink {
public:
    void OnHit(const ScanHit&, CandidateBytes&) override { ++hits; }
    uint64_t hits = 0;
};

// Times the structure walk of every hit, by format.
class MeasuringSink : public ScanSink {
public:
    void OnHit(const ScanHit& hit, CandidateBytes& candidate) override
    {
        const ScanExtentFunction walk = ScanExtentOf(hit.type);
        if (!walk)
            return;
        candidate.SetLimit(kLargestPicture);
        const double start = Seconds();
        const PictureExtent extent = walk(candidate);
        Cost& cost = costs[hit.type];
        cost.seconds += Seconds() - start;
        ++cost.hits;
        cost.complete += extent.IsComplete() ? 1 : 0;
        cost.broken += extent.IsBroken() ? 1 : 0;
    }
    struct Cost {
        double seconds = 0;
        int hits = 0;
        int complete = 0;
        int broken = 0;
    };
    std::map<FileType, Cost> costs;
};

struct Figure {
    double mibPerSecond = 0;
    uint64_t hits = 0;
    bool ok = false;
};

bool OpenSource(const std::wstring& path, ScanSourceHandle& source)
{
    DWORD error = 0;
    if (!source.Open(path.c_str(), error)) {
        std::fwprintf(stderr, L"cannot open %ls (error %lu)\n", path.c_str(), error);
        return false;
    }
    source.MeasureAsFile();
    return true;
}

// The best of `runs` passes.
template <typename Pass>
Figure Best(int runs, Pass pass)
{
    Figure best;
    for (int i = 0; i < runs; ++i) {
        Figure f = pass();
        if (!f.ok)
            return f;
        if (!best.ok || f.mibPerSecond > best.mibPerSecond)
            best = f;
    }
    return best;
}

Figure PlainRead(const std::wstring& path, uint32_t chunk)
{
    Figure figure;
    ScanSourceHandle source;
    if (!OpenSource(path, source))
        return figure;
    std::vector<uint8_t> buffer(chunk);
    const double start = Seconds();
    uint64_t position = 0;
    while (position < source.Size()) {
        uint32_t got = 0;
        DWORD error = 0;
        if (!source.ReadAt(position, buffer.data(), chunk, got, error) || got == 0)
            break;
        position += got;
    }
    const double elapsed = Seconds() - start;
    figure.ok = position == source.Size();
    figure.mibPerSecond = double(position) / kMiB / std::max(elapsed, 1e-9);
    return figure;
}

Figure Scan(const std::wstring& path, uint32_t chunk, bool usePrefilter)
{
    Figure figure;
    ScanSourceHandle source;
    if (!OpenSource(path, source))
        return figure;
    ScanLoopSettings settings;
    settings.groupMask = kAllScanGroups;
    settings.chunkSize = chunk;
    settings.usePrefilter = usePrefilter;
    CountingSink sink;
    const double start = Seconds();
    ScanLoopResult result = RunScanLoop(source, settings, sink);
    const double elapsed = Seconds() - start;
    figure.ok = !result.outOfMemory && result.bytesScanned == source.Size();
    figure.hits = sink.hits;
    figure.mibPerSecond = double(result.bytesScanned) / kMiB / std::max(elapsed, 1e-9);
    return figure;
}

struct WholeScan {
    double seconds = 0;
    ScanLoopResult result;
    size_t kept = 0;
    std::wstring folder;
};

// The program's whole scan of an image file: every hit saved, verified, cut or deleted.
WholeScan RunWholeScan(const std::wstring& image, const std::wstring& output)
{
    wcsncpy(GeneralOutputFolder, output.c_str(), kOutputFolderUnits - 1);
    GeneralOutputFolder[kOutputFolderUnits - 1] = 0;
    ScanOptions.ScanFromFile = 1;
    ScanOptions.ImageFilePath = image.c_str();
    ScanOptions.SearchFilter1 = ScanOptions.SearchFilter2 = ScanOptions.SearchFilter3 = ScanOptions.SearchFilter4 = 1;
    ScanOptions.ChunkSizeOn = 0;
    ScanOptions.FileSizeOn = ScanOptions.PhotoSizeOn = 0;
    ScanDlg dialog;
    WholeScan scan;
    const double start = Seconds();
    scan.result = RunScan(dialog);
    scan.seconds = Seconds() - start;
    scan.kept = dialog.KeptFiles.size();
    scan.folder = dialog.ScanFolder;
    return scan;
}

// Deletes the files of a folder and the folder (no subfolders are made by a scan).
void RemoveScanFolder(const std::wstring& folder)
{
    WIN32_FIND_DATAW found;
    {
        const FindHandleOwner search(FindFirstFileW((folder + L"\\*").c_str(), &found));
        if (search) {
            do {
                if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    DeleteFileW((folder + L"\\" + found.cFileName).c_str());
            } while (FindNextFileW(search.Get(), &found));
        }
    }
    RemoveDirectoryW(folder.c_str());
}

// The best of `runs` whole scans; the folders of all but the last are deleted at once, so that
// writing back one run's files does not slow the next.
WholeScan BestWholeScan(int runs, const std::wstring& image, const std::wstring& output)
{
    WholeScan best;
    for (int i = 0; i < runs; ++i) {
        WholeScan scan = RunWholeScan(image, output);
        const std::wstring folder = scan.folder;
        if (i + 1 < runs)
            RemoveScanFolder(folder);
        if (i == 0 || scan.seconds < best.seconds)
            best = std::move(scan);
        best.folder = folder;
    }
    return best;
}

std::wstring Cell(const Figure& f)
{
    if (!f.ok)
        return L"failed";
    wchar_t text[64];
    _snwprintf(text, 63, L"%.0f MiB/s", f.mibPerSecond);
    text[63] = 0;
    return text;
}

uint64_t FileSize(const std::wstring& path)
{
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data))
        return 0;
    return (uint64_t(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Decodes every file of a folder as the verification does and prints the time per extension.
void DecodeFolder(const std::wstring& folder)
{
    struct Cost {
        int files = 0;
        int decoded = 0;
        double seconds = 0;
        uint64_t bytes = 0;
    };
    std::vector<std::pair<std::wstring, Cost>> costs;
    WIN32_FIND_DATAW found;
    const FindHandleOwner search(FindFirstFileW((folder + L"\\*").c_str(), &found));
    if (!search)
        return;
    double total = 0;
    do {
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        const std::wstring name = found.cFileName;
        const size_t dot = name.rfind(L'.');
        const std::wstring extension = dot == std::wstring::npos ? L"" : name.substr(dot + 1);
        auto it = std::find_if(costs.begin(), costs.end(), [&](const auto& c) { return c.first == extension; });
        if (it == costs.end()) {
            costs.push_back({extension, Cost{}});
            it = costs.end() - 1;
        }
        NImageFile* file = nullptr;
        const double start = Seconds();
        const bool ok = LoadImageForView(&file, (folder + L"\\" + name).c_str(), false, true, nullptr, true);
        const double elapsed = Seconds() - start;
        delete file;
        it->second.files++;
        it->second.decoded += ok ? 1 : 0;
        it->second.seconds += elapsed;
        it->second.bytes += (uint64_t(found.nFileSizeHigh) << 32) | found.nFileSizeLow;
        total += elapsed;
    } while (FindNextFileW(search.Get(), &found));
    std::sort(costs.begin(), costs.end(), [](const auto& a, const auto& b) { return a.second.seconds > b.second.seconds; });
    std::wprintf(L"\nDecoding the files of %ls as the verification does: %.2f s\n", folder.c_str(), total);
    for (const auto& [extension, cost] : costs)
        std::wprintf(L"  %-6ls %4d files (%4d decode) %8.1f MiB %8.3f s  %7.1f ms/file\n", extension.c_str(), cost.files,
                     cost.decoded, double(cost.bytes) / kMiB, cost.seconds, cost.seconds * 1000 / std::max(cost.files, 1));
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    std::vector<std::pair<std::wstring, std::wstring>> files;  // label, path
    std::wstring image, output;
    double photorecSeconds = -1;
    long photorecFiles = -1;
    int chunkFactor = 6, runs = 1;
    bool naive = false;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--files" && i + 3 < argc) {
            files = {{L"random bytes", argv[i + 1]}, {L"zeros", argv[i + 2]}, {L"0xFF", argv[i + 3]}};
            i += 3;
        } else if (arg == L"--image" && i + 2 < argc) {
            image = argv[++i];
            output = argv[++i];
        } else if (arg == L"--photorec" && i + 2 < argc) {
            photorecSeconds = _wtof(argv[++i]);
            photorecFiles = _wtol(argv[++i]);
        } else if (arg == L"--naive") {
            naive = true;
        } else if (arg == L"--output" && i + 1 < argc) {
            output = argv[++i];
        } else if (arg == L"--chunk-factor" && i + 1 < argc) {
            chunkFactor = _wtoi(argv[++i]);
        } else if (arg == L"--decode" && i + 1 < argc) {
            CoInitialize(nullptr);
            DecodeFolder(argv[++i]);
            CoUninitialize();
        } else if (arg == L"--runs" && i + 1 < argc) {
            runs = std::max(1, _wtoi(argv[++i]));
        } else {
            std::fwprintf(stderr,
                          L"usage: scan_bench --files RANDOM ZEROS FF [--image IMAGE OUTPUT_FOLDER] [--output FOLDER] "
                          L"[--photorec SECONDS FILES] [--chunk-factor N] [--runs N] [--naive] [--decode FOLDER]\n");
            return 2;
        }
    }
    const uint32_t chunk = ChunkSizeBytes(static_cast<uint32_t>(chunkFactor), 512);
    if (chunk == 0) {
        std::fwprintf(stderr, L"bad chunk factor %d\n", chunkFactor);
        return 2;
    }

    CoInitialize(nullptr);
    if (!files.empty()) {
        std::wprintf(L"Scan of data without pictures: %.0f MiB each, chunk %u MiB, all four format groups (%d checks),\n"
                     L"file in the system's cache, best of %d run(s)\n",
                     double(FileSize(files[0].second)) / kMiB, chunk >> 20, kScanCheckCount, runs);
        std::wprintf(L"  %-14ls %14ls %14ls %16ls %8ls", L"data", L"plain read", L"search alone", L"whole scan", L"hits");
        if (naive)
            std::wprintf(L" %22ls", L"every check everywhere");
        std::wprintf(L"\n");
        for (const auto& [label, path] : files) {
            const Figure read = Best(runs, [&] { return PlainRead(path, chunk); });
            const Figure scan = Best(runs, [&] { return Scan(path, chunk, true); });
            Figure whole;
            if (!output.empty()) {
                whole = Best(runs, [&] {
                    Figure f;
                    const WholeScan w = RunWholeScan(path, output);
                    f.ok = w.result.bytesScanned == FileSize(path);
                    f.mibPerSecond = double(w.result.bytesScanned) / kMiB / std::max(w.seconds, 1e-9);
                    f.hits = w.result.hits;
                    return f;
                });
            }
            std::wprintf(L"  %-14ls %14ls %14ls %16ls %8llu", label.c_str(), Cell(read).c_str(), Cell(scan).c_str(),
                         output.empty() ? L"-" : Cell(whole).c_str(), static_cast<unsigned long long>(scan.hits));
            if (naive) {
                const Figure plain = Best(runs, [&] { return Scan(path, chunk, false); });
                std::wprintf(L" %22ls", Cell(plain).c_str());
                if (scan.ok && plain.ok && scan.hits != plain.hits)
                    std::wprintf(L"\n  warning: the scan found %llu hits, the naive loop %llu",
                                 static_cast<unsigned long long>(scan.hits), static_cast<unsigned long long>(plain.hits));
            }
            std::wprintf(L"\n");
            std::fflush(stdout);
        }
    }

    if (!image.empty()) {
        const uint64_t size = FileSize(image);
        std::wprintf(L"\nPhoto-dense disk image: %.0f MiB\n", double(size) / kMiB);
        const Figure search = Best(runs, [&] { return Scan(image, chunk, true); });
        std::wprintf(L"  search alone (no saving):          %10ls, %llu hits\n", Cell(search).c_str(),
                     static_cast<unsigned long long>(search.hits));
        std::fflush(stdout);

        {
            ScanSourceHandle source;
            if (OpenSource(image, source)) {
                ScanLoopSettings settings;
                settings.groupMask = kAllScanGroups;
                settings.chunkSize = chunk;
                MeasuringSink sink;
                RunScanLoop(source, settings, sink);
                std::wprintf(L"  structure walks by format (hits: complete / broken / unknown, seconds):");
                for (const auto& [type, cost] : sink.costs)
                    std::wprintf(L" %ls %d/%d/%d %.2f s;", FileTypeToExtension(type), cost.complete, cost.broken,
                                 cost.hits - cost.complete - cost.broken, cost.seconds);
                std::wprintf(L"\n");
            }
        }
        const WholeScan scan = BestWholeScan(runs, image, output);
        const ScanCosts& c = scan.result.costs;
        const double ours = double(scan.result.bytesScanned) / kMiB / std::max(scan.seconds, 1e-9);
        std::wprintf(L"  this program, whole scan (saving and verifying every hit): %.1f MiB/s, %.2f s, %llu hits,\n"
                     L"    %zu files kept in %ls\n",
                     ours, scan.seconds, static_cast<unsigned long long>(scan.result.hits), scan.kept,
                     scan.folder.c_str());
        std::wprintf(L"    written %.1f MiB into %llu candidate files for %.1f MiB kept (%.2fx); %llu refused unwritten\n",
                     double(c.bytesWritten) / kMiB, static_cast<unsigned long long>(c.written),
                     double(c.bytesKept) / kMiB, c.bytesKept ? double(c.bytesWritten) / double(c.bytesKept) : 0.0,
                     static_cast<unsigned long long>(c.refused));
        std::wprintf(L"    time: checks %.2f s, waiting for chunks %.2f s, taking back %.2f s and waiting %.2f s on the search thread, %.2f s after it; "
                     L"measuring %.2f s, writing %.2f s and decoding %.2f s summed over the verification threads\n",
                     scan.result.checkSeconds, scan.result.readWaitSeconds, c.commitSeconds, c.waitSeconds, c.finishSeconds, c.measureSeconds, c.writeSeconds,
                     c.decodeSeconds);
        std::wprintf(L"    decoding by format (files, seconds):");
        for (int type = 0; type < ScanCosts::kTypes; ++type) {
            if (c.decodedOf[type])
                std::wprintf(L" %ls %u %.2f s;", FileTypeToExtension(type), c.decodedOf[type], c.decodeSecondsOf[type]);
        }
        std::wprintf(L"\n    slowest candidates (writing and decoding):");
        for (const ScanCosts::Candidate& slow : c.slowest) {
            if (slow.type >= 0)
                std::wprintf(L" %ls at %llu, %.1f MiB, %ls %.2f s;", FileTypeToExtension(slow.type),
                             static_cast<unsigned long long>(slow.position), double(slow.length) / kMiB,
                             slow.kept ? L"kept" : L"deleted", slow.seconds);
        }
        std::wprintf(L"\n");
        if (photorecSeconds > 0) {
            const double theirs = double(size) / kMiB / photorecSeconds;
            std::wprintf(L"  PhotoRec (native Linux, same image):                        %.1f MiB/s, %.2f s, "
                         L"%ld files recovered\n",
                         theirs, photorecSeconds, photorecFiles);
            std::wprintf(L"  ratio this program / PhotoRec: speed %.2fx, files %.2fx\n", ours / theirs,
                         photorecFiles > 0 ? double(scan.kept) / double(photorecFiles) : 0.0);
        }
    }
    CoUninitialize();
    return 0;
}
