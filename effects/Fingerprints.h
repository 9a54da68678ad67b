// 64-bit picture fingerprints and their similarity. Bit 63 holds the first cell, bit 0 the last;
// cells run in buffer order (bottom row first, left to right). Similar pictures (resized,
// recompressed) give fingerprints that differ in few bits.
#pragma once

#include <cstdint>

#include "imaging/NImageBuffer.h"

// Set bits of a 64-bit value.
int CountSetBits(uint64_t value);

// Share (0..100, truncated) of the 64 bits that are equal in a and b; also written to *out when
// out is not null.
int HashSimilarity(uint64_t a, uint64_t b, int* out);

// Average hash: the picture drawn smoothly into 8 x 8, each cell's grey
// ((29 B + 150 G + 77 R + 128) >> 8) compared with the mean grey (cell >= mean sets its bit).
bool ComputeAverageHash(const NImageBuffer& picture, uint64_t* out);

// Difference hash: the picture drawn into 9 x 8; the bit of (row j, column k) is set when the
// grey at column k is at least the grey at column k + 1.
bool ComputeDifferenceHash(const NImageBuffer& picture, uint64_t* out);

// DCT hash: the 8 x 8 lowest frequencies of the 32 x 32 grey picture, each compared with their
// mean.
bool ComputeDctHash(const NImageBuffer& picture, uint64_t* out);

// Fingerprint of a 256-count histogram: 64 cells of four bins (their mean), scaled so that the
// largest cell is 255, each compared with the mean of the cells. The same shape gives the same
// fingerprint whatever the number of pixels counted.
void HistogramToHash(const int* histogram, uint64_t* out);

// Average hash of the picture's histogram chart: its four histograms drawn by DrawHistogram into
// a black 256 x 256 picture at their chart scale. Pictures below 24 bpp are measured on a 24-bpp
// copy. False for an invalid picture or when the chart cannot be drawn.
bool ComputeHistogramChartHash(const NImageBuffer& picture, uint64_t* out);
// The chart hash, and HistogramToHash of the luma histogram.
bool ComputeHistogramHashes(const NImageBuffer& picture, uint64_t* chartHash, uint64_t* lumaHash);

// HistogramToHash of the red, green, blue and luma histograms of the picture (pictures below
// 24 bpp are measured on a 24-bpp copy). False for an invalid picture or a failed conversion.
bool ComputeChannelHistogramHashes(const NImageBuffer& picture, uint64_t* red, uint64_t* green, uint64_t* blue,
                                   uint64_t* luma);
