// The AVX2 loops, for x86-64 processors that have AVX2 (scan/layouts.h says
// what each loop does). Built only for x86-64.
#ifndef OSTREL_SCAN_KERNELS_AVX2_H
#define OSTREL_SCAN_KERNELS_AVX2_H

#include <cstddef>
#include <cstdint>

#include "scan/layouts.h"

// Built for AVX2 whatever the rest of the program is built for.
#define OSTREL_AVX2 __attribute__((target("avx2")))

OSTREL_AVX2 void SumInt8Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             Totals* totals);
// G.711 mu-law and A-law bytes, expanded to 16-bit linear magnitudes.
OSTREL_AVX2 void SumMuLawAvx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals);
OSTREL_AVX2 void SumALawAvx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             Totals* totals);
// The wider layouts in either byte order (RIFX samples are big-endian).
template <bool BigEndian>
OSTREL_AVX2 void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals);
template <bool BigEndian>
OSTREL_AVX2 void SumInt24Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals);
template <bool BigEndian>
OSTREL_AVX2 void SumInt32Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals);
// 64-bit float samples made the nearest 32-bit floats in place, as
// loops::NarrowDoubles makes them.
template <bool BigEndian>
OSTREL_AVX2 void NarrowDoublesAvx2(unsigned char* samples, size_t count);
template <bool BigEndian>
OSTREL_AVX2 void SumFloat32BlocksAvx2(const unsigned char* frames, uint32_t blockFrames,
                                      uint32_t blocks, uint32_t channelCount, double* sums,
                                      Totals* totals);

// A report's statistics of 16-bit samples, the plain loop's body built for
// AVX2.
template <bool BigEndian>
OSTREL_AVX2 void Statistics16Avx2(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, uint64_t firstFrame,
                                  ChannelStatistics* channels);

#endif
