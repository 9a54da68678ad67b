#include "imagefile/IccContext.h"

#include <lcms2_plugin.h>

#include <cstdlib>
#include <cstring>

namespace {

// Each block starts with its size, so that freeing it gives its bytes back to the budget.
constexpr size_t kHeader = 16;

IccContext::Budget* BudgetOf(cmsContext context)
{
    return static_cast<IccContext::Budget*>(cmsGetContextUserData(context));
}

void* Allocate(cmsContext context, cmsUInt32Number size)
{
    IccContext::Budget* budget = BudgetOf(context);
    if (!budget)
        return nullptr;
    if (size > budget->cap || budget->live > budget->cap - size) {
        ++budget->refused;
        return nullptr;
    }
    auto* block = static_cast<uint8_t*>(std::malloc(kHeader + size));
    if (!block)
        return nullptr;
    const uint64_t recorded = size;
    std::memcpy(block, &recorded, sizeof(recorded));
    budget->live += size;
    if (budget->live > budget->peak)
        budget->peak = budget->live;
    return block + kHeader;
}

void Release(cmsContext context, void* pointer)
{
    if (!pointer)
        return;
    uint8_t* block = static_cast<uint8_t*>(pointer) - kHeader;
    uint64_t size = 0;
    std::memcpy(&size, block, sizeof(size));
    if (IccContext::Budget* budget = BudgetOf(context))
        budget->live -= size <= budget->live ? size : budget->live;
    std::free(block);
}

void* Resize(cmsContext context, void* pointer, cmsUInt32Number size)
{
    void* fresh = Allocate(context, size);
    if (!fresh)
        return nullptr;   // the old block stays, as realloc leaves it
    if (pointer) {
        uint64_t old = 0;
        std::memcpy(&old, static_cast<uint8_t*>(pointer) - kHeader, sizeof(old));
        std::memcpy(fresh, pointer, static_cast<size_t>(old < size ? old : size));
        Release(context, pointer);
    }
    return fresh;
}

cmsPluginMemHandler memoryHandler = {
    {cmsPluginMagicNumber, LCMS_VERSION, cmsPluginMemHandlerSig, nullptr}, Allocate, Release, Resize, nullptr, nullptr, nullptr,
};

}  // namespace

IccContext::IccContext(uint64_t cap)
{
    m_budget.cap = cap;
    m_context = cmsCreateContext(&memoryHandler, &m_budget);
}

IccContext::~IccContext()
{
    if (m_context)
        cmsDeleteContext(m_context);
}
