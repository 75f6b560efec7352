// The AVX2 set of loops, for x86-64 processors that have AVX2: the shared
// loop bodies built for AVX2 with function attributes (not -mavx2 for the
// file, which would let AVX2 copies of inline functions stand in for the
// plain ones elsewhere), and a hand-written 24-bit loop.
#include <immintrin.h>

#include <cstddef>
#include <cstdint>

#include "scan/kernel_loops.h"
#include "scan/kernels.h"

#define OSTREL_AVX2 __attribute__((target("avx2")))

namespace {

OSTREL_AVX2 void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  loops::SumInt16Loop(frames, count, channelCount, units, peakL, peakR);
}

// Eight samples at a time: two 16-byte loads put four packed 3-byte samples
// in each 128-bit lane, a byte shuffle moves each into the top of a 32-bit
// lane and an arithmetic shift brings down its sign. Lane sums stay 32-bit
// for 256 rounds (256 * 2^23 = 2^31). The second load reads 4 bytes past the
// 8 samples, so rounds run only while 10 samples remain; the scalar loop
// takes the rest. Lanes alternate left and right in stereo, as the samples
// of a frame do, since every round starts on a frame.
OSTREL_AVX2 void SumInt24Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  const __m256i spread = _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1,
                                          0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  __m256i peaks = _mm256_setzero_si256();
  uint64_t total = *units;
  size_t done = 0;
  const unsigned char* p = frames;
  while (samples - done >= 10) {
    size_t rounds = (samples - done - 2) / 8;
    if (rounds > 256) rounds = 256;
    __m256i sums = _mm256_setzero_si256();
    for (size_t r = 0; r < rounds; ++r, p += 24) {
      const __m256i packed = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 12),
                                                 reinterpret_cast<const __m128i*>(p));
      const __m256i values = _mm256_srai_epi32(_mm256_shuffle_epi8(packed, spread), 8);
      const __m256i magnitudes = _mm256_abs_epi32(values);
      sums = _mm256_add_epi32(sums, magnitudes);
      peaks = _mm256_max_epu32(peaks, magnitudes);
    }
    alignas(32) uint32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    for (uint32_t lane : lanes) total += lane;
    done += rounds * 8;
  }
  alignas(32) uint32_t lanePeaks[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanePeaks), peaks);
  for (int lane = 0; lane < 8; ++lane) {
    uint32_t* peak = channelCount == 2 && lane % 2 == 1 ? peakR : peakL;
    *peak = loops::Max(*peak, lanePeaks[lane]);
  }
  *units = total;
  loops::SumInt24Loop(p, static_cast<uint32_t>((samples - done) / channelCount), channelCount,
                      units, peakL, peakR);
}

OSTREL_AVX2 void SumFloat32Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                double* sum, uint32_t* peakL, uint32_t* peakR) {
  loops::SumFloat32Loop(frames, count, channelCount, sum, peakL, peakR);
}

OSTREL_AVX2 void SumFloat32BlocksAvx2(const unsigned char* frames, uint32_t blockFrames,
                                      uint32_t channelCount, double sums[kInterleavedBlocks],
                                      uint32_t* peakL, uint32_t* peakR) {
  loops::SumFloat32BlocksLoop(frames, blockFrames, channelCount, sums, peakL, peakR);
}

}  // namespace

Kernels Avx2Kernels() {
  return {"avx2", SumInt16Avx2, SumInt24Avx2, SumFloat32Avx2, SumFloat32BlocksAvx2};
}
