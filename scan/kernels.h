// The per-frame loops of the scan, one per sample layout. Each adds the
// magnitudes of `count` frames (one or two channels, interleaved, left
// first) to a block total and raises the per-channel peaks.
//
// Integer layouts count in units of their last place on the level scale (1
// for 8-bit, 1/256 for 16-bit, 1/65536 for 24-bit, 1/2^24 for 32-bit) and
// keep peaks as magnitudes in units (up to 2^31, full scale of 32-bit).
// Float layouts add the magnitudes to a double one after the other, left
// then right, exactly as a frame-by-frame scan would, and keep peaks as the
// largest magnitude bit pattern (the magnitude grows with the pattern).
//
// The loops come in sets built for one kind of processor; every set gives
// the same totals and peaks. The scan takes one set per run, ChooseKernels'.
#ifndef OSTREL_SCAN_KERNELS_H
#define OSTREL_SCAN_KERNELS_H

#include <cstdint>

// Float blocks summed side by side: 4, 8, 12 or 16 whole blocks, lying one
// after the other, each summed one frame after the other from 0 like a float
// loop, so each comes out as if it were summed alone; the sums do not wait on
// each other, which keeps the adders busy. sums[b] is block b's sum.
constexpr uint32_t kMostSideBySideBlocks = 16;

using IntegerLoop = void (*)(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             uint64_t* units, uint32_t* peakL, uint32_t* peakR);
using FloatLoop = void (*)(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                           double* sum, uint32_t* peakL, uint32_t* peakR);
using FloatBlocksLoop = void (*)(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                                 uint32_t channelCount, double* sums, uint32_t* peakL,
                                 uint32_t* peakR);

struct Kernels {
  const char* name;
  IntegerLoop sumInt8;
  IntegerLoop sumInt16;
  IntegerLoop sumInt24;
  IntegerLoop sumInt32;
  FloatLoop sumFloat32;
  FloatBlocksLoop sumFloat32Blocks;
};

// The loops in plain C++, which the compiler vectorises for the target it
// builds for (SSE2 on x86-64, NEON on aarch64). They run on any processor.
Kernels PlainKernels();

#if defined(__x86_64__)
// Hand-written 8-, 16-, 24- and 32-bit and side-by-side float loops, and the
// other loops built for AVX2; only for a processor that has AVX2.
Kernels Avx2Kernels();
#endif

// The set a run uses: AVX2 on an x86-64 processor that has it, the plain
// loops everywhere else, and always in a build made with
// OSTREL_PLAIN_KERNELS (so that the whole suite can run them).
Kernels ChooseKernels();

// Whole short blocks of integer frames, one after the other from `frames`,
// each summed on its own: sums[b] is block b's sum on the level scale, exact
// as the units are (for blocks of up to 2^22 samples, whatever the width).
// For blocks so short that a call per block would cost more than its frames;
// plain loops on every processor.
void SumInt8Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                   uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);
void SumInt16Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);
void SumInt24Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);
void SumInt32Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);

// 24- and 32-bit samples added to *sum as doubles on the level scale, one
// after the other: for blocks so long that the sum leaves the range where
// doubles add integers exactly (more than 2^53 units). Peaks in units.
void SumInt24AsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                       double* sum, uint32_t* peakL, uint32_t* peakR);
void SumInt32AsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                       double* sum, uint32_t* peakL, uint32_t* peakR);

#endif
