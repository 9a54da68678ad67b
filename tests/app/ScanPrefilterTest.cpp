// The prefilter must name every offset at which a check of the enabled groups answers true: the
// scan with it and the plain scan give the same hits in the same order.
#include <gtest/gtest.h>

#include <random>

#include "ScanTestSupport.h"
#include "app/ScanChecks.h"
#include "app/ScanPrefilter.h"

namespace {

struct OffsetHits {
    size_t offset;
    std::vector<FileType> types;
    bool operator==(const OffsetHits& other) const { return offset == other.offset && types == other.types; }
};

std::vector<OffsetHits> PlainHits(const Bytes& data, unsigned groups)
{
    std::vector<OffsetHits> found;
    FileType hits[kScanCheckCount];
    for (size_t offset = 0; offset < data.size(); ++offset) {
        const int count = CollectScanHits(data.data(), offset, data.size(), groups, hits);
        if (count)
            found.push_back({offset, std::vector<FileType>(hits, hits + count)});
    }
    return found;
}

std::vector<OffsetHits> PrefilteredHits(const Bytes& data, unsigned groups)
{
    std::vector<OffsetHits> found;
    FileType hits[kScanCheckCount];
    ScanPrefilter prefilter(groups);
    prefilter.Reset(data.data(), data.size());
    for (size_t offset = prefilter.NextCandidate(0); offset < data.size();
         offset = prefilter.NextCandidate(offset + 1)) {
        const int count = CollectScanHits(data.data(), offset, data.size(), groups, hits);
        if (count)
            found.push_back({offset, std::vector<FileType>(hits, hits + count)});
    }
    return found;
}

// Every signature the checks know, as the bytes a hit needs (with room for the longest window).
std::vector<Bytes> Signatures()
{
    auto text = [](const char* s, size_t n) { return Bytes(s, s + n); };
    std::vector<Bytes> list = {
        text("\xFF\xD8\xFF\xE0\x00\x10JFIF\x00", 11),
        text("\x89PNG\r\n\x1A\n", 8),
        text("GIF89a", 6),
        text("GIF87a", 6),
        text("II*\x00", 4),
        text("MM\x00*", 4),
        text("%PDF-1.4", 8),
        text("II\x1A\x00", 4),
        text("II\x55\x00", 4),
        text("IIRO", 4),
        text("\x00\x00\x00\x18" "ftypcrx \x00\x00\x00\x01", 16),
        text("\x00\x00\x00\x18" "ftyp xrc", 12),
        text("FUJIFILMCCD-RAW 0201", 20),
        text("NOKIARAW", 8),
        text("DSC-Image", 9),
        text("PWAD", 4),
        text("ftypcrx ", 8),
        text("RIFF\x10\x00\x00\x00WEBPVP8 ", 16),
        text("\xFF\x4F\xFF\x51", 4),
        text("\x00\x00\x00\x0CjP  \r\n\x87\n", 12),
        text("\x00\x00\x00\x18" "ftypheic", 12),
        text("\x00\x00\x00\x18" "ftypmif1", 12),
        text("L\0M\0C\0D\0O\0C\0" "2\0", 14),
        text("l\0m\0c\0d\0o\0c\0" "1\0", 14),
        text("l\0M\0c\0D\0o\0C\0" "3\0", 14),
        text("\x00\x00\x01\x00\x20\x00", 6),
        text("BM\x36\x00\x00\x00\x00\x00\x00\x00\x36\x00\x00\x00\x28\x00\x00\x00", 18),
        text("8BPS", 4),
        text("\x8BJNG\r\n", 6),
        text("\x8AMNG\r\n", 6),
        text("FORM", 4),
        text("LIST", 4),
        text("CAT ", 4),
        text("#?RADIANCE\n", 11),
        text("#?RGBE\noconv x\n", 15),
        text("IMAGE11\0", 8),
        text("\xB1\x68\xDE\x3A", 4),
        text("\x00\x00\x01\x00\x03\x00", 6),
        text("\x00\x00\x02\x00\x1F\x00", 6),
    };
    Bytes jxr = text("II\xBC\x01", 4);
    jxr.resize(40, 0);
    const char* wmp = "WMPHOTO";
    jxr.insert(jxr.end(), wmp, wmp + 7);
    list.push_back(jxr);
    Bytes pcd(2048, 0xFF);
    const char* ipi = "PCD_IPI";
    pcd.insert(pcd.end(), ipi, ipi + 7);
    list.push_back(pcd);
    Bytes contax(25, 'x');
    const char* arecoyk = "ARECOYK";
    contax.insert(contax.end(), arecoyk, arecoyk + 7);
    list.push_back(contax);
    return list;
}

// Signatures sprinkled over a background, some cut short, some with one byte changed, some close
// together and some in the last bytes.
Bytes Sprinkled(Bytes data, uint32_t seed)
{
    std::mt19937 random(seed);
    const std::vector<Bytes> signatures = Signatures();
    for (int i = 0; i < 600; ++i) {
        Bytes signature = signatures[random() % signatures.size()];
        switch (random() % 4) {
        case 0:
            signature[random() % signature.size()] ^= static_cast<uint8_t>(1u << (random() % 8));
            break;
        case 1:
            signature.resize(1 + random() % signature.size());
            break;
        default:
            break;
        }
        if (signature.size() > data.size())
            continue;
        const size_t offset = random() % (data.size() - signature.size() + 1);
        std::copy(signature.begin(), signature.end(), data.begin() + static_cast<ptrdiff_t>(offset));
    }
    // Signatures at the very end, each with too few and with just enough bytes behind it.
    for (size_t i = 0; i < 6; ++i) {
        const Bytes& signature = signatures[random() % signatures.size()];
        if (signature.size() + i < data.size())
            std::copy(signature.begin(), signature.end(), data.end() - static_cast<ptrdiff_t>(signature.size() + i));
    }
    return data;
}

Bytes Text(size_t size)
{
    const std::string words = "FORMAT LIST CATALOGUE oconv bmp BMPS II MM # ? #?RADIANCE DSC PC PCD IMAGE ";
    Bytes data(size);
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<uint8_t>(words[(i * 7 + i / 13) % words.size()]);
    return data;
}

TEST(ScanPrefilter, SameHitsAsThePlainLoopForEveryGroupChoice)
{
    std::vector<Bytes> backgrounds = {Noise(200000, 1), Bytes(150000, 0), Bytes(150000, 0xFF), Text(150000)};
    std::vector<Bytes> inputs;
    uint32_t seed = 10;
    for (const Bytes& background : backgrounds) {
        inputs.push_back(background);
        inputs.push_back(Sprinkled(background, seed++));
    }
    // Crossing the prefilter's blocks of 65536 offsets.
    Bytes dense = Sprinkled(Bytes(140000, 0), 99);
    for (size_t block = 65536; block < dense.size(); block += 65536) {
        const Bytes pcd = Signatures()[Signatures().size() - 2];
        std::copy(pcd.begin(), pcd.end(), dense.begin() + static_cast<ptrdiff_t>(block - 3));
    }
    inputs.push_back(dense);

    for (unsigned groups = 0; groups <= kAllScanGroups; ++groups) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            const std::vector<OffsetHits> plain = PlainHits(inputs[i], groups);
            EXPECT_EQ(plain, PrefilteredHits(inputs[i], groups)) << "groups " << groups << ", input " << i;
            if (groups == kAllScanGroups && i % 2 == 1)
                EXPECT_FALSE(plain.empty());
        }
    }
}

TEST(ScanPrefilter, EmptyBackgroundsHaveNoCandidates)
{
    for (const Bytes& data : {Bytes(100000, 0), Bytes(100000, 0xFF)}) {
        ScanPrefilter prefilter(kAllScanGroups);
        prefilter.Reset(data.data(), data.size());
        EXPECT_EQ(data.size(), prefilter.NextCandidate(0));
    }
    ScanPrefilter prefilter(kAllScanGroups);
    prefilter.Reset(nullptr, 0);
    EXPECT_EQ(0u, prefilter.NextCandidate(0));
    EXPECT_EQ(2048u, prefilter.MaxAnchorDistance());
    EXPECT_EQ(0u, ScanPrefilter(1).MaxAnchorDistance());
}

TEST(ScanPrefilter, NibbleSieveNamesTheSameCandidatesAsThePairTable)
{
    if (!ScanPrefilter(kAllScanGroups).UsesNibbleSieve())
        GTEST_SKIP() << "no SSSE3";
    // Every byte pair (few of them confirmed by the bytes after them), and the signatures.
    Bytes pairs;
    for (int a = 0; a < 256; ++a)
        for (int b = 0; b < 256; ++b)
            pairs.insert(pairs.end(), {static_cast<uint8_t>(a), static_cast<uint8_t>(b), static_cast<uint8_t>(a % 3)});
    const std::vector<Bytes> inputs = {pairs, Sprinkled(Noise(300000, 3), 4), Sprinkled(Text(100000), 5)};
    for (unsigned groups = 1; groups <= kAllScanGroups; ++groups) {
        for (size_t i = 0; i < inputs.size(); ++i) {
            const Bytes& data = inputs[i];
            std::vector<size_t> found[2];
            for (int sieve = 0; sieve < 2; ++sieve) {
                ScanPrefilter prefilter(groups);
                prefilter.SetNibbleSieve(sieve == 1);
                ASSERT_EQ(sieve == 1, prefilter.UsesNibbleSieve());
                prefilter.Reset(data.data(), data.size());
                for (size_t at = prefilter.NextCandidate(0); at < data.size(); at = prefilter.NextCandidate(at + 1))
                    found[sieve].push_back(at);
            }
            EXPECT_EQ(found[0], found[1]) << "groups " << groups << ", input " << i;
            if (groups == kAllScanGroups && i > 0)   // the signatures, each at many of the sixteen steps
                EXPECT_GT(found[1].size(), 100u);
        }
    }
}

TEST(ScanPrefilter, TheLoopGivesTheSameHitsWithAndWithoutIt)
{
    // Through the whole loop: chunks, the seam between them and the read-ahead.
    Bytes data = Sprinkled(Noise(3 * 65536 + 777, 5), 6);
    std::vector<RecordedHit> results[2];
    for (int pass = 0; pass < 2; ++pass) {
        MemorySource source(data);
        RecordingSink sink;
        ScanLoopSettings settings;
        settings.groupMask = kAllScanGroups;
        settings.chunkSize = 65536;
        settings.usePrefilter = pass == 1;
        RunScanLoop(source, settings, sink);
        results[pass] = sink.hits;
    }
    EXPECT_FALSE(results[0].empty());
    EXPECT_EQ(results[0], results[1]);
}

}  // namespace
