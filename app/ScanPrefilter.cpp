#include "app/ScanPrefilter.h"

#include <tmmintrin.h>

#include <algorithm>
#include <bit>
#include <cstring>

namespace {

template <size_t N>
constexpr size_t Count(const char (&)[N])
{
    return N - 1;
}

constexpr int kBuckets = 8;

bool ProcessorHasSsse3()
{
    __builtin_cpu_init();
    return __builtin_cpu_supports("ssse3");
}

}  // namespace

#define ANCHOR(text, nearest, farthest) AddAnchor(text, Count(text), nearest, farthest)

ScanPrefilter::ScanPrefilter(unsigned groupMask)
    : m_pairPresent(65536, 0), m_firstAnchor(65536, kNone), m_blockBits(kBlockBits / 64)
{
    // Each line follows the check's own test: the bytes are present wherever it answers true.
    if (groupMask & 1u) {
        ANCHOR("\xFF\xD8\xFF", 0, 0);           // JPEG
        ANCHOR("\x89PNG", 0, 0);
        ANCHOR("GIF8", 0, 0);
        ANCHOR("II\x2A\x00", 0, 0);             // TIFF, both byte orders
        ANCHOR("MM\x00\x2A", 0, 0);
        ANCHOR("%PDF", 0, 0);
    }
    if (groupMask & 2u) {
        ANCHOR("MM\x00\x2A", 0, 0);             // TIFF-based raw
        ANCHOR("II\x2A\x00", 0, 0);
        ANCHOR("II\x1A\x00", 0, 0);             // Canon CRW
        ANCHOR("II\x55\x00", 0, 0);             // Panasonic
        ANCHOR("IIRO", 0, 0);                   // Olympus ORF
        ANCHOR("ftyp", 4, 4);                   // CR3 at its box size
        ANCHOR("AREC", 25, 25);                 // Contax "ARECOYK" at 25
        ANCHOR("FUJI", 0, 0);                   // FUJIFILMCCD-RAW
        ANCHOR("NOKI", 0, 0);                   // NOKIARAW
        ANCHOR("DSC-", 0, 0);                   // DSC-Image
        ANCHOR("PWAD", 0, 0);
        ANCHOR("ftyp", 0, 0);                   // CR3 at its box type
    }
    if (groupMask & 4u) {
        ANCHOR("RIFF", 0, 0);                   // RIFF....WEBPVP
        ANCHOR("II\xBC\x01", 0, 0);             // JPEG XR
        ANCHOR("\xFF\x4F\xFF\x51", 0, 0);       // JPEG 2000 code stream
        ANCHOR("\x00\x0CjP", 2, 2);             // JPEG 2000 file: 00 00 00 0C "jP  "
        ANCHOR("ftyp", 4, 4);                   // HEIC
    }
    if (groupMask & 8u) {
        AddAnchor("L\0M\0", 4, 0, 0, true);     // "LMCDOC" in UTF-16, either case
        ANCHOR("BM", 0, 0);
        ANCHOR("8BPS", 0, 0);
        ANCHOR("\x8BJNG", 0, 0);
        ANCHOR("\x8AMNG", 0, 0);
        ANCHOR("FORM", 0, 0);                   // IFF
        ANCHOR("LIST", 0, 0);
        ANCHOR("CAT ", 0, 0);
        ANCHOR("#?RA", 0, 22);                  // "#?RADIANCE" within the first 32 bytes
        ANCHOR("ocon", 0, 27);                  // "oconv" within the first 32 bytes
        ANCHOR("PCD_", 2048, 2048);             // "PCD_IPI" at 2048
        ANCHOR("IMAG", 0, 0);                   // IMAGE11
        ANCHOR("\xB1\x68\xDE\x3A", 0, 0);       // DCX
        AddIconAnchor(1);                       // ICO 00 00 01|02 00 count (1..31) 00
        AddIconAnchor(2);
    }
    BuildNibbleTables();
    m_sieve = ProcessorHasSsse3();
}

void ScanPrefilter::SetNibbleSieve(bool on)
{
    m_sieve = on && ProcessorHasSsse3();
}

void ScanPrefilter::BuildNibbleTables()
{
    // Each anchor pair goes to the bucket where it lets the fewest other pairs through: a bucket
    // passes every pair whose first byte has a low and a high nibble of the bucket's first bytes
    // and whose second byte has the same for its second bytes.
    auto passed = [this]() {
        uint64_t total = 0;
        for (int k = 0; k < kBuckets; ++k) {
            uint64_t counts[4] = {};
            const uint8_t* tables[4] = {m_firstLow, m_firstHigh, m_secondLow, m_secondHigh};
            for (int t = 0; t < 4; ++t)
                for (int n = 0; n < 16; ++n)
                    counts[t] += (tables[t][n] >> k) & 1;
            total += counts[0] * counts[1] * counts[2] * counts[3];
        }
        return total;
    };
    for (uint32_t pair = 0; pair < 65536; ++pair) {
        if (!m_pairPresent[pair])
            continue;
        const uint8_t first = static_cast<uint8_t>(pair & 0xFF);
        const uint8_t second = static_cast<uint8_t>(pair >> 8);
        uint8_t saved[4][16];
        std::memcpy(saved[0], m_firstLow, 16);
        std::memcpy(saved[1], m_firstHigh, 16);
        std::memcpy(saved[2], m_secondLow, 16);
        std::memcpy(saved[3], m_secondHigh, 16);
        int best = 0;
        uint64_t bestPassed = UINT64_MAX;
        for (int k = 0; k < kBuckets; ++k) {
            const uint8_t bit = static_cast<uint8_t>(1u << k);
            m_firstLow[first & 15] |= bit;
            m_firstHigh[first >> 4] |= bit;
            m_secondLow[second & 15] |= bit;
            m_secondHigh[second >> 4] |= bit;
            const uint64_t through = passed();
            if (through < bestPassed) {
                bestPassed = through;
                best = k;
            }
            std::memcpy(m_firstLow, saved[0], 16);
            std::memcpy(m_firstHigh, saved[1], 16);
            std::memcpy(m_secondLow, saved[2], 16);
            std::memcpy(m_secondHigh, saved[3], 16);
        }
        const uint8_t bit = static_cast<uint8_t>(1u << best);
        m_firstLow[first & 15] |= bit;
        m_firstHigh[first >> 4] |= bit;
        m_secondLow[second & 15] |= bit;
        m_secondHigh[second >> 4] |= bit;
    }
}

#undef ANCHOR

void ScanPrefilter::AddAnchor(const char* bytes, size_t count, uint16_t nearest, uint16_t farthest, bool caseless)
{
    uint32_t mask = 0;
    uint32_t value = 0;
    for (size_t i = 0; i < count && i < 4; ++i) {
        uint8_t byteMask = 0xFF;
        uint8_t byte = static_cast<uint8_t>(bytes[i]);
        const bool letter = (byte | 0x20) >= 'a' && (byte | 0x20) <= 'z';
        if (caseless && letter) {
            byteMask = 0xDF;  // the case bit
            byte &= 0xDF;
        }
        mask |= uint32_t{byteMask} << (8 * i);
        value |= uint32_t{byte} << (8 * i);
    }
    // The pair look-up is exact: a caseless anchor is entered under each case of its first two bytes.
    const uint8_t first = static_cast<uint8_t>(bytes[0]);
    const uint8_t second = static_cast<uint8_t>(bytes[1]);
    for (int variant = 0; variant < 4; ++variant) {
        uint8_t a = first;
        uint8_t b = second;
        if (variant & 1) {
            if (!caseless || (mask & 0xFF) == 0xFF)
                continue;
            a ^= 0x20;
        }
        if (variant & 2) {
            if (!caseless || (mask & 0xFF00) == 0xFF00)
                continue;
            b ^= 0x20;
        }
        AddPairAnchor(static_cast<uint16_t>(a | (b << 8)), Anchor{nearest, farthest, mask, value, kNone});
    }
}

void ScanPrefilter::AddIconAnchor(uint8_t type)
{
    // At offset 2: the type and its high byte 0, the count's low byte below 32, its high byte 0.
    const uint16_t pair = static_cast<uint16_t>(type);
    AddPairAnchor(pair, Anchor{2, 2, 0xFFE0FFFFu, type, kNone});
}

void ScanPrefilter::AddPairAnchor(uint16_t pair, Anchor anchor)
{
    for (uint32_t i = m_firstAnchor[pair]; i != kNone; i = m_anchors[i].next) {
        const Anchor& known = m_anchors[i];
        if (known.nearest == anchor.nearest && known.farthest == anchor.farthest && known.mask == anchor.mask &&
            known.value == anchor.value)
            return;
    }
    anchor.next = m_firstAnchor[pair];
    m_anchors.push_back(anchor);
    m_firstAnchor[pair] = static_cast<uint32_t>(m_anchors.size() - 1);
    m_pairPresent[pair] = 1;
    m_maxDistance = std::max<size_t>(m_maxDistance, anchor.farthest);
}

void ScanPrefilter::Reset(const uint8_t* data, size_t length)
{
    m_data = data;
    m_length = data ? length : 0;
    m_blockStart = 0;
    m_blockValid = false;
}

void ScanPrefilter::MarkAnchors(uint16_t pair, size_t position, size_t blockStart, size_t blockEnd)
{
    // Near the end fewer than four bytes follow: the anchor then stands unconfirmed.
    uint32_t bytes = 0;
    const bool confirm = position + 4 <= m_length;
    if (confirm)
        std::memcpy(&bytes, m_data + position, 4);
    for (uint32_t i = m_firstAnchor[pair]; i != kNone; i = m_anchors[i].next) {
        const Anchor& anchor = m_anchors[i];
        if (position < anchor.nearest || (confirm && (bytes & anchor.mask) != anchor.value))
            continue;
        size_t last = position - anchor.nearest;
        size_t first = position >= anchor.farthest ? position - anchor.farthest : 0;
        first = std::max(first, blockStart);
        last = std::min(last, blockEnd - 1);
        for (size_t offset = first; offset <= last && offset >= first; ++offset) {
            const size_t bit = offset - blockStart;
            m_blockBits[bit >> 6] |= uint64_t{1} << (bit & 63);
        }
    }
}

void ScanPrefilter::FillBlock(size_t blockStart)
{
    std::fill(m_blockBits.begin(), m_blockBits.end(), 0);
    m_blockStart = blockStart;
    m_blockValid = true;
    const size_t blockEnd = std::min(m_length, blockStart + kBlockBits);
    if (m_length < 2)
        return;
    // Anchor pairs start at blockStart .. blockEnd - 1 + max distance, and both bytes lie inside.
    const size_t scanEnd = std::min(m_length - 1, blockEnd + m_maxDistance);
    const uint8_t* data = m_data;
    const uint8_t* present = m_pairPresent.data();
    auto pairAt = [data](size_t position) {
        uint16_t pair;
        std::memcpy(&pair, data + position, 2);  // little-endian: the first byte in the low bits
        return pair;
    };

    size_t p = blockStart;
    if (m_sieve)
        p = SieveBlock(p, scanEnd, blockStart, blockEnd);
    // Sixteen pairs at a time: one branch unless one of them is an anchor.
    while (p + 16 <= scanEnd) {
        unsigned hit = 0;
        for (size_t i = 0; i < 16; ++i)
            hit |= present[pairAt(p + i)];
        if (hit) {
            for (size_t i = 0; i < 16; ++i) {
                const uint16_t pair = pairAt(p + i);
                if (present[pair])
                    MarkAnchors(pair, p + i, blockStart, blockEnd);
            }
        }
        p += 16;
    }
    for (; p < scanEnd; ++p) {
        const uint16_t pair = pairAt(p);
        if (present[pair])
            MarkAnchors(pair, p, blockStart, blockEnd);
    }
}

__attribute__((target("ssse3"))) size_t ScanPrefilter::SieveBlock(size_t p, size_t scanEnd, size_t blockStart,
                                                                   size_t blockEnd)
{
    const uint8_t* data = m_data;
    const uint8_t* present = m_pairPresent.data();
    const __m128i firstLow = _mm_load_si128(reinterpret_cast<const __m128i*>(m_firstLow));
    const __m128i firstHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(m_firstHigh));
    const __m128i secondLow = _mm_load_si128(reinterpret_cast<const __m128i*>(m_secondLow));
    const __m128i secondHigh = _mm_load_si128(reinterpret_cast<const __m128i*>(m_secondHigh));
    const __m128i nibble = _mm_set1_epi8(0x0F);
    const __m128i zero = _mm_setzero_si128();
    // The pairs at p .. p + 15 take the bytes up to p + 16, which lies at or before scanEnd.
    while (p + 16 <= scanEnd) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(data + p + 1));
        const __m128i a = _mm_and_si128(_mm_shuffle_epi8(firstLow, _mm_and_si128(first, nibble)),
                                        _mm_shuffle_epi8(firstHigh, _mm_and_si128(_mm_srli_epi16(first, 4), nibble)));
        const __m128i b = _mm_and_si128(_mm_shuffle_epi8(secondLow, _mm_and_si128(second, nibble)),
                                        _mm_shuffle_epi8(secondHigh, _mm_and_si128(_mm_srli_epi16(second, 4), nibble)));
        unsigned mask = ~static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(_mm_and_si128(a, b), zero))) & 0xFFFFu;
        while (mask) {
            const size_t at = p + static_cast<size_t>(std::countr_zero(mask));
            uint16_t pair;
            std::memcpy(&pair, data + at, 2);
            if (present[pair])
                MarkAnchors(pair, at, blockStart, blockEnd);
            mask &= mask - 1;
        }
        p += 16;
    }
    return p;
}

size_t ScanPrefilter::NextCandidate(size_t from)
{
    while (from < m_length) {
        const size_t blockStart = from - from % kBlockBits;
        if (!m_blockValid || m_blockStart != blockStart)
            FillBlock(blockStart);
        size_t bit = from - blockStart;
        const size_t blockBits = std::min(kBlockBits, m_length - blockStart);
        while (bit < blockBits) {
            const uint64_t word = m_blockBits[bit >> 6] >> (bit & 63);
            if (word) {
                const size_t found = bit + static_cast<size_t>(__builtin_ctzll(word));
                return found < blockBits ? blockStart + found : m_length;
            }
            bit = (bit | 63) + 1;
        }
        from = blockStart + kBlockBits;
    }
    return m_length;
}
