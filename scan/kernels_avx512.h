// The AVX-512 loops, for x86-64 processors with AVX-512 BW, VL, VBMI and
// VNNI (Intel from Ice Lake on, AMD from Zen 4 on): 64 bytes a round, byte
// lookups of 128 entries, masked loads for the last samples of a call. Each
// gives the totals the plain loop gives (scan/layouts.h says what each loop
// does); a frame that a round of lanes does not take whole goes to the AVX2
// loop. Built only for x86-64.
#ifndef OSTREL_SCAN_KERNELS_AVX512_H
#define OSTREL_SCAN_KERNELS_AVX512_H

#include <cstddef>
#include <cstdint>

#include "scan/layouts.h"

// Built for these extensions whatever the rest of the program is built for.
#define OSTREL_AVX512 \
  __attribute__((target("avx2,avx512f,avx512bw,avx512vl,avx512vbmi,avx512vnni")))

// Whether this processor, and the system, run the loops below.
bool HasAvx512Loops();

OSTREL_AVX512 void SumInt8Avx512(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                 Totals* totals);
template <bool ALaw>
OSTREL_AVX512 void SumG711Avx512(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                 Totals* totals);
// Whole blocks of any length a call, for 8-bit and G.711 samples, whose
// blocks at the usual resolutions are short enough that a call a block
// would cost as much as the block.
OSTREL_AVX512 void SumInt8BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                       uint32_t blocks, uint32_t channelCount, double* sums,
                                       Totals* totals);
template <bool ALaw>
OSTREL_AVX512 void SumG711BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                       uint32_t blocks, uint32_t channelCount, double* sums,
                                       Totals* totals);
template <bool BigEndian>
OSTREL_AVX512 void SumInt16Avx512(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, Totals* totals);
template <bool BigEndian>
OSTREL_AVX512 void SumInt24Avx512(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, Totals* totals);
template <bool BigEndian>
OSTREL_AVX512 void Statistics16Avx512(const unsigned char* frames, uint32_t count,
                                      uint32_t channelCount, uint64_t firstFrame,
                                      ChannelStatistics* channels);
// Both in one pass, as a report's scan of 16-bit frames takes them.
template <bool BigEndian>
OSTREL_AVX512 void SumInt16StatisticsAvx512(const unsigned char* frames, uint32_t count,
                                            uint32_t channelCount, Totals* totals,
                                            uint64_t firstFrame, ChannelStatistics* channels);
template <bool BigEndian>
OSTREL_AVX512 void SumInt32Avx512(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, Totals* totals);
// Float blocks side by side, sixteen a call (other counts take the AVX2
// loop).
template <bool BigEndian>
OSTREL_AVX512 void SumFloat32BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                          uint32_t blocks, uint32_t channelCount, double* sums,
                                          Totals* totals);
// 64-bit float blocks as stored, narrowed as they are summed side by side.
template <bool BigEndian>
OSTREL_AVX512 void SumFloat64BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                          uint32_t blocks, uint32_t channelCount, double* sums,
                                          Totals* totals);
template <bool BigEndian>
OSTREL_AVX512 void NarrowDoublesAvx512(unsigned char* samples, size_t count);

#endif
