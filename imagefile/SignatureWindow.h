// Helpers shared by the signature checks (the static IsFormat of each format class and
// IsCameraRawData). A check answers whether its format begins at an offset of a buffer; it runs
// at every byte offset of scanned data, so it must never read outside the buffer, whatever the
// offset and length, and it allocates nothing and keeps no state.
//
// Every check first asks SignatureFits for its window (the bytes it needs from the offset) and
// then reads only inside that window.
#pragma once

#include <cstddef>
#include <cstdint>

// The checks of the further formats take size_t, those of the photo formats uint64_t; one
// detector table holds both.
static_assert(sizeof(size_t) == sizeof(uint64_t), "signature checks expect a 64-bit size_t");

// True when the buffer is not null and `window` bytes from `offset` lie inside its `length`
// bytes. length - window is formed only after length >= window, so neither a buffer shorter
// than the window nor an offset near the top of the 64-bit range can wrap the test around (the
// sum offset + window would wrap for such offsets and let a check read far outside the buffer).
constexpr bool SignatureFits(const uint8_t* bytes, uint64_t offset, uint64_t length,
                             uint64_t window) noexcept
{
    return bytes != nullptr && length != 0 && window <= length && offset <= length - window;
}

// Little-endian 16- and 32-bit numbers from unaligned bytes.
constexpr uint16_t SignatureU16(const uint8_t* p) noexcept
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

constexpr uint32_t SignatureU32(const uint8_t* p) noexcept
{
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// True when the bytes at p equal the characters of the literal, its terminator not included
// (a zero written inside the literal is compared).
template <size_t N>
constexpr bool SignatureIs(const uint8_t* p, const char (&literal)[N]) noexcept
{
    for (size_t i = 0; i + 1 < N; ++i) {
        if (p[i] != static_cast<uint8_t>(literal[i]))
            return false;
    }
    return true;
}
