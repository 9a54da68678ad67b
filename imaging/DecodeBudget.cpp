#include "imaging/DecodeBudget.h"

#include <windows.h>

#include <algorithm>

namespace {

SRWLOCK lock = SRWLOCK_INIT;
CONDITION_VARIABLE released = CONDITION_VARIABLE_INIT;
uint64_t capacity = 0;   // 0 until first asked: the default
uint64_t inUse = 0;

// Per thread: the innermost open scope, the bytes its loads hold now and the most they held.
thread_local NDecodeScope* currentScope = nullptr;
thread_local uint64_t threadHeld = 0;
thread_local uint64_t threadPeak = 0;

uint64_t DefaultCapacity()
{
    MEMORYSTATUSEX status = {};
    status.dwLength = sizeof(status);
    uint64_t physical = GlobalMemoryStatusEx(&status) ? status.ullTotalPhys : 0;
    return std::max(physical / 2, DecodeBudget::kMinimumCapacity);
}

// Under the lock.
uint64_t CapacityLocked()
{
    if (capacity == 0)
        capacity = DefaultCapacity();
    return capacity;
}

}  // namespace

namespace DecodeBudget {

void SetCapacity(uint64_t bytes)
{
    AcquireSRWLockExclusive(&lock);
    capacity = bytes ? bytes : DefaultCapacity();
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&released);
}

uint64_t Capacity()
{
    AcquireSRWLockExclusive(&lock);
    const uint64_t value = CapacityLocked();
    ReleaseSRWLockExclusive(&lock);
    return value;
}

uint64_t InUse()
{
    AcquireSRWLockShared(&lock);
    const uint64_t value = inUse;
    ReleaseSRWLockShared(&lock);
    return value;
}

bool Counting()
{
    return currentScope != nullptr;
}

bool Take(uint64_t bytes)
{
    NDecodeScope* scope = currentScope;
    if (!scope)
        return true;
    const uint32_t wait = threadHeld ? std::min(scope->waitMs_, kHolderWaitMs) : scope->waitMs_;
    const ULONGLONG start = GetTickCount64();
    bool taken = false;
    AcquireSRWLockExclusive(&lock);
    for (;;) {
        const uint64_t limit = CapacityLocked();
        if (bytes > limit)
            break;
        if (inUse <= limit - bytes) {
            inUse += bytes;
            taken = true;
            break;
        }
        const ULONGLONG waited = GetTickCount64() - start;
        if (waited >= wait)
            break;
        SleepConditionVariableSRW(&released, &lock, static_cast<DWORD>(wait - waited), 0);
    }
    ReleaseSRWLockExclusive(&lock);
    if (!taken) {
        scope->refused_ = true;
        return false;
    }
    threadHeld += bytes;
    threadPeak = std::max(threadPeak, threadHeld);
    return true;
}

void Give(uint64_t bytes)
{
    if (bytes == 0)
        return;
    AcquireSRWLockExclusive(&lock);
    inUse -= std::min(inUse, bytes);
    ReleaseSRWLockExclusive(&lock);
    WakeAllConditionVariable(&released);
    // Memory taken by another thread's load (a picture handed over) does not count here.
    threadHeld -= std::min(threadHeld, bytes);
}

}  // namespace DecodeBudget

NDecodeScope::NDecodeScope()
{
    Open(currentScope ? currentScope->waitMs_ : DecodeBudget::kDefaultWaitMs);
}

NDecodeScope::NDecodeScope(uint32_t waitMs)
{
    Open(waitMs);
}

void NDecodeScope::Open(uint32_t waitMs)
{
    outer_ = currentScope;
    waitMs_ = waitMs;
    heldAtOpen_ = threadHeld;
    outerPeak_ = threadPeak;
    threadPeak = threadHeld;
    currentScope = this;
}

NDecodeScope::~NDecodeScope()
{
    currentScope = outer_;
    threadPeak = std::max(outerPeak_, threadPeak);
    if (outer_)
        outer_->refused_ = outer_->refused_ || refused_;
    else
        threadHeld = 0;   // what the loads keep (their pictures) is no longer this thread's load
}

uint64_t NDecodeScope::Peak() const
{
    return threadPeak > heldAtOpen_ ? threadPeak - heldAtOpen_ : 0;
}

bool NDecodeLease::Take(uint64_t bytes)
{
    Release();
    if (!DecodeBudget::Take(bytes))
        return false;
    bytes_ = bytes;
    counted_ = DecodeBudget::Counting();
    return true;
}

void NDecodeLease::Release()
{
    if (counted_)
        DecodeBudget::Give(bytes_);
    bytes_ = 0;
    counted_ = false;
}
