#include "base/ReadTarget.h"

namespace {

constexpr size_t kPage = 4096;
constexpr size_t kSmallest = size_t{64} << 10;

}  // namespace

void PrepareReadTarget(void* buffer, size_t bytes) noexcept
{
    if (!buffer || bytes < kSmallest)
        return;
    // volatile: the stores must happen although the read overwrites them.
    volatile unsigned char* p = static_cast<unsigned char*>(buffer);
    for (size_t at = 0; at < bytes; at += kPage)
        p[at] = 0;
    p[bytes - 1] = 0;
}
