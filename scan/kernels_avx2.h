// The AVX2 loops, for x86-64 processors that have AVX2 (scan/layouts.h says
// what each loop does). Built only for x86-64.
#ifndef OSTREL_SCAN_KERNELS_AVX2_H
#define OSTREL_SCAN_KERNELS_AVX2_H

#include <cstdint>

#include "scan/layouts.h"

void SumInt8Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                 Totals* totals);
void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                  Totals* totals);
void SumInt24Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                  Totals* totals);
void SumInt32Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                  Totals* totals);
void SumFloat32BlocksAvx2(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                          uint32_t channelCount, double* sums, Totals* totals);

#endif
