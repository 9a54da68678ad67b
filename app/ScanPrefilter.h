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
// the anchors up to the farthest anchor distance beyond its end.
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
    void MarkAnchors(uint16_t pair, size_t position, size_t blockStart, size_t blockEnd);

    std::vector<uint8_t> m_pairPresent;    // per pair value (first byte in the low bits): 1 for an anchor
    std::vector<uint32_t> m_firstAnchor;   // per pair value
    std::vector<Anchor> m_anchors;
    size_t m_maxDistance = 0;

    const uint8_t* m_data = nullptr;
    size_t m_length = 0;
    size_t m_blockStart = 0;
    bool m_blockValid = false;
    std::vector<uint64_t> m_blockBits;
};
