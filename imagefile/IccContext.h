// IccContext: a Little CMS context for one load whose allocations stop at a cap. The size of a
// colour profile's lookup table comes from the profile and is allocated before the table's data
// is read, so a profile of a few kilobytes could otherwise make the library take hundreds of
// megabytes. Profiles and transforms made in the context must go before it does.
#pragma once

#include <lcms2.h>

#include <cstdint>

class IccContext {
public:
    // Far above what a transform between real profiles builds (a few megabytes of tables).
    static constexpr uint64_t kDefaultCap = uint64_t{64} << 20;

    explicit IccContext(uint64_t cap = kDefaultCap);
    ~IccContext();
    IccContext(const IccContext&) = delete;
    IccContext& operator=(const IccContext&) = delete;

    // Null when the context could not be made.
    cmsContext Get() const { return m_context; }

    struct Budget {
        uint64_t cap = 0;
        uint64_t live = 0;   // bytes held by the context's blocks
        uint64_t peak = 0;   // the most they held at once
        uint64_t refused = 0;   // blocks not given for the cap
    };
    const Budget& Usage() const { return m_budget; }

private:
    Budget m_budget;
    cmsContext m_context = nullptr;
};
