// One memory budget for decoding pictures, shared by every thread that decodes.
//
// A load runs inside an NDecodeScope on its thread: the load factory opens one around every
// load, and a caller may open an outer one to choose how long its loads may wait for memory.
// Inside a scope, every picture made (NImageBuffer) and every large block a decoder asks for
// is taken from the budget first; a picture gives its bytes back when it is released, on any
// thread, also after the load. A request that does not fit waits until other loads give memory
// back, at most as long as the scope allows; a request larger than the whole budget, or one that
// waited in vain, fails at once and the loader answers "Memory insufficient".
//
// A thread that already holds memory for its load waits at most kHolderWaitMs, however long its
// scope allows: two loads that each hold half the budget and wait for the other's half give up
// instead of waiting for ever. Such a load may succeed when tried again alone.
//
// Outside any scope nothing is counted (pictures made by the windows, effects and writers).
#pragma once

#include <cstdint>

namespace DecodeBudget {

constexpr uint32_t kDefaultWaitMs = 30000;
constexpr uint32_t kHolderWaitMs = 2000;
constexpr uint64_t kMinimumCapacity = uint64_t{256} << 20;

// Bytes every load together may hold; 0 restores the default: half the physical memory, at least
// kMinimumCapacity.
void SetCapacity(uint64_t bytes);
uint64_t Capacity();
// Bytes taken and not yet given back, by every thread.
uint64_t InUse();

// Takes bytes for the calling thread's load. True at once outside a scope (nothing is counted,
// and nothing must be given back); inside one, true when the bytes were taken, false when they
// cannot be had (too large, or not free within the scope's wait).
bool Take(uint64_t bytes);
// Gives back bytes a Take inside a scope took (on any thread).
void Give(uint64_t bytes);
// True when a scope is open on the calling thread (bytes taken now must be given back).
bool Counting();

}  // namespace DecodeBudget

// Marks the loads of the calling thread while it lives; scopes nest.
class NDecodeScope {
public:
    // The wait of an outer scope on this thread, else DecodeBudget::kDefaultWaitMs.
    NDecodeScope();
    // waitMs: how long one request may wait for memory other loads hold (0: never waits).
    explicit NDecodeScope(uint32_t waitMs);
    ~NDecodeScope();
    NDecodeScope(const NDecodeScope&) = delete;
    NDecodeScope& operator=(const NDecodeScope&) = delete;

    // The most bytes the loads inside this scope held at once (pictures and decoder blocks).
    uint64_t Peak() const;
    // True when a request inside this scope was refused.
    bool Refused() const { return refused_; }

private:
    friend bool DecodeBudget::Take(uint64_t bytes);
    void Open(uint32_t waitMs);

    NDecodeScope* outer_ = nullptr;
    uint32_t waitMs_ = DecodeBudget::kDefaultWaitMs;
    uint64_t heldAtOpen_ = 0;
    uint64_t outerPeak_ = 0;
    bool refused_ = false;
};

// Bytes taken from the budget for as long as the lease lives; for decoders whose library
// allocates on its own: the lease stands for what the library will ask.
class NDecodeLease {
public:
    NDecodeLease() = default;
    ~NDecodeLease() { Release(); }
    NDecodeLease(const NDecodeLease&) = delete;
    NDecodeLease& operator=(const NDecodeLease&) = delete;

    // Replaces what the lease held by bytes; false (holding nothing) when they cannot be had.
    bool Take(uint64_t bytes);
    void Release();

private:
    uint64_t bytes_ = 0;
    bool counted_ = false;
};
