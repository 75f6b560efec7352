// The per-frame loops of the scan, one per sample layout. Each adds the
// magnitudes of `count` frames (one or two channels, interleaved, left
// first) to a block total and raises the per-channel peaks.
//
// Integer layouts count in units of their last place (1/256 for 16-bit,
// 1/65536 for 24-bit on the level scale) and keep peaks as magnitudes in
// units. Float layouts add the magnitudes to a double one after the other,
// left then right, exactly as a frame-by-frame scan would, and keep peaks as
// the largest magnitude bit pattern (the magnitude grows with the pattern).
#ifndef OSTREL_SCAN_KERNELS_H
#define OSTREL_SCAN_KERNELS_H

#include <cstdint>

void SumInt16(const unsigned char* frames, uint32_t count, uint32_t channelCount, uint64_t* units,
              uint32_t* peakL, uint32_t* peakR);
// The two builds of SumInt16, equal in every bit of their results: AVX2
// (x86-64 CPUs that have it) and plain loops for any CPU.
#if defined(__x86_64__)
void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                  uint64_t* units, uint32_t* peakL, uint32_t* peakR);
#endif
void SumInt16Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR);
void SumInt24(const unsigned char* frames, uint32_t count, uint32_t channelCount, uint64_t* units,
              uint32_t* peakL, uint32_t* peakR);
void SumFloat32(const unsigned char* frames, uint32_t count, uint32_t channelCount, double* sum,
                uint32_t* peakL, uint32_t* peakR);

// Whole blocks of float frames side by side, 4, 8, 12 or 16 of them, each
// summed one frame after the other like SumFloat32 from 0: the sums do not
// wait on each other, which keeps the adders busy, and each comes out as if
// its block were summed alone. The blocks lie one after the other from
// `frames`; sums[b] is block b's sum.
constexpr uint32_t kMostSideBySideBlocks = 16;
void SumFloat32Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                      uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);

// The two builds of SumFloat32Blocks, equal in every bit of their results:
// vectors of four doubles, one block to a lane (x86-64 CPUs with AVX2), and
// plain loops for any CPU.
#if defined(__x86_64__)
void SumFloat32BlocksAvx2(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                          uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);
#endif
void SumFloat32BlocksPlain(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                           uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);

// Whole short blocks of 16- or 24-bit frames, one after the other from
// `frames`, each summed on its own: sums[b] is block b's sum on the level
// scale, exact as the units are. For blocks so short that a call per block
// would cost more than its frames.
void SumInt16Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);
void SumInt24Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR);

// 24-bit samples summed as doubles one after the other: for blocks so long
// that the sum leaves the range where doubles add integers exactly. Peaks in
// units of 1/65536.
void SumInt24AsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                       double* sum, uint32_t* peakL, uint32_t* peakR);

#endif
