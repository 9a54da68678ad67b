// The clock of the benchmarks: seconds since an arbitrary start, from the performance counter.
#pragma once

#include "base/TimeUtils.h"

inline double BenchSeconds()
{
    return MonotonicSeconds();
}
