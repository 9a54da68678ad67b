// ReadTarget: prepares a large buffer that a file read is about to fill. The system's read first
// reads and then writes a byte of every page of the buffer; a page never touched before is then
// mapped twice (a shared page of zeros, then a page of its own), and the second mapping makes
// every processor that runs one of the program's threads drop its address translations. Writing
// each page once first maps it once. Small buffers are left alone.
#pragma once

#include <cstddef>

// Writes a zero into every page of the first `bytes` bytes of `buffer` (from 64 KiB up).
void PrepareReadTarget(void* buffer, size_t bytes) noexcept;
