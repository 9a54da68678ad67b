// Finds the byte offsets of a buffer at which a signature check of the enabled groups can answer
// true, so that the scan runs its checks only there; everywhere else an offset costs a table
// look-up of the byte pair it holds.
//
// Every check needs fixed bytes at a fixed distance from its offset ("anchors": FF D8 FF at 0 for
// JPEG, "ftyp" at 4 for HEIC, "PCD_" at 2048 for PhotoCD, ...); the Radiance check needs "#?RA" or
// "ocon" somewhere in its first 32 bytes, which gives a range of distances. An anchor is found
// by the byte pair it starts with (one table look-up per offset) and confirmed by up to four
// bytes under a mask. An offset is a candidate when one of its anchors is present. Candidates are a superset of the offsets with a
// hit, so running the checks at the candidates alone gives exactly the hits of running them at
// every offset, in the same order.
//
// The candidates of a block of offsets are gathered at once into a bit map; a block also reads
// the anchors up to the farthest anchor distance beyond its end. Where the processor can look up
// sixteen bytes at once (SSSE3), the pairs are first sifted by their nibbles, so that data with
// no anchor in it (zeros, 0xFF, most of any disk) costs a fraction of a cycle a byte.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class ScanPrefilter {
public:
    explicit ScanPrefilter(unsigned groupMask);

    // Starts on new data; offsets run from 0 to length - 1.
    void Reset(const uint8_t* data, size_t length);
    // The smallest candidate offset >= from, or the length when there is none.
    size_t NextCandidate(size_t from);

    // The farthest distance between an offset and one of its anchors.
    size_t MaxAnchorDistance() const { return m_maxDistance; }

    // Whether the byte pairs are first sifted sixteen at a time by their nibbles (on processors
    // with SSSE3, the default there). Both ways give the same candidates; tests compare them.
    bool UsesNibbleSieve() const { return m_sieve; }
    void SetNibbleSieve(bool on);

private:
    struct Anchor {
        uint16_t nearest;    // candidate offsets lie at anchor position - farthest .. - nearest
        uint16_t farthest;
        uint32_t mask;       // the four bytes at the anchor position, little-endian, under the mask,
        uint32_t value;      // equal the value
        uint32_t next;       // index of the next anchor of the same pair, or kNone
    };
    static constexpr uint32_t kNone = 0xFFFFFFFFu;
    static constexpr size_t kBlockBits = 65536;

    // bytes: the anchor's bytes (2 to 4); caseless: ASCII letters match either case.
    void AddAnchor(const char* bytes, size_t count, uint16_t nearest, uint16_t farthest, bool caseless = false);
    // The icon header at its type (1 or 2): type, 0, a count byte below 32, 0.
    void AddIconAnchor(uint8_t type);
    void AddPairAnchor(uint16_t pair, Anchor anchor);
    void FillBlock(size_t blockStart);
    // Buckets the anchor pairs so that a pair (a, b) can be an anchor only when, for some
    // bucket, its bit is set in the tables of a's two nibbles and of b's two nibbles.
    void BuildNibbleTables();
    // The sieved part of FillBlock: pairs from p on, sixteen at a time; answers where it stopped.
    size_t SieveBlock(size_t p, size_t scanEnd, size_t blockStart, size_t blockEnd);
    void MarkAnchors(uint16_t pair, size_t position, size_t blockStart, size_t blockEnd);

    std::vector<uint8_t> m_pairPresent;    // per pair value (first byte in the low bits): 1 for an anchor
    std::vector<uint32_t> m_firstAnchor;   // per pair value
    std::vector<Anchor> m_anchors;
    size_t m_maxDistance = 0;
    // Per nibble value, the buckets of the pairs whose first (0) or second (1) byte has it as its
    // low or high nibble.
    alignas(16) uint8_t m_firstLow[16] = {};
    alignas(16) uint8_t m_firstHigh[16] = {};
    alignas(16) uint8_t m_secondLow[16] = {};
    alignas(16) uint8_t m_secondHigh[16] = {};
    bool m_sieve = false;

    const uint8_t* m_data = nullptr;
    size_t m_length = 0;
    size_t m_blockStart = 0;
    bool m_blockValid = false;
    std::vector<uint64_t> m_blockBits;
};
