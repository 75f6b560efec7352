// These loops run once per sample of the whole span: speed beats brevity
// here. They are written so the compiler vectorises them, and each is built
// twice, for AVX2 and for plain x86-64, the one to run chosen by the CPU.
#include "scan/kernels.h"

#include <immintrin.h>

#include <cstring>

#include "scan/float32.h"

// A loop body, inlined into both builds of its loop.
#define OSTREL_LOOP inline __attribute__((always_inline))
#define OSTREL_AVX2 __attribute__((target("avx2")))

namespace {

inline uint32_t Magnitude16(const unsigned char* p) {
  int16_t v;
  std::memcpy(&v, p, sizeof v);
  const int32_t wide = v;
  return static_cast<uint32_t>(wide < 0 ? -wide : wide);
}

inline uint32_t Magnitude24(const unsigned char* p) {
  const int32_t v =
      static_cast<int32_t>(static_cast<uint32_t>(p[0]) << 8 | static_cast<uint32_t>(p[1]) << 16 |
                           static_cast<uint32_t>(p[2]) << 24) >>
      8;
  return static_cast<uint32_t>(v < 0 ? -v : v);
}

inline uint32_t Bits32(const unsigned char* p) {
  uint32_t v;
  std::memcpy(&v, p, sizeof v);
  return v;
}

inline uint32_t Max(uint32_t a, uint32_t b) { return a > b ? a : b; }

// Integer magnitudes of `Bytes`-byte samples, summed in 32-bit pieces of
// `Piece` samples (2^16 magnitudes of at most 2^15 units, or 2^8 of at most
// 2^23, stay below 2^32) and added to the 64-bit total between pieces.
template <size_t Bytes, uint32_t Piece, uint32_t (*Magnitude)(const unsigned char*)>
OSTREL_LOOP void SumIntegerLoop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  uint32_t left = *peakL;
  uint32_t right = *peakR;
  uint64_t total = *units;
  const size_t frameSize = Bytes * channelCount;
  const uint32_t piece = channelCount == 2 ? Piece / 2 : Piece;
  for (uint32_t done = 0; done < count;) {
    const uint32_t n = count - done < piece ? count - done : piece;
    const unsigned char* p = frames + done * frameSize;
    uint32_t part = 0;
    if (channelCount == 2) {
      for (size_t i = 0; i < n; ++i) {
        const uint32_t l = Magnitude(p + 2 * Bytes * i);
        const uint32_t r = Magnitude(p + 2 * Bytes * i + Bytes);
        part += l + r;
        left = Max(left, l);
        right = Max(right, r);
      }
    } else {
      for (size_t i = 0; i < n; ++i) {
        const uint32_t v = Magnitude(p + Bytes * i);
        part += v;
        left = Max(left, v);
      }
    }
    total += part;
    done += n;
  }
  *units = total;
  *peakL = left;
  *peakR = right;
}

OSTREL_LOOP void SumInt16Loop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerLoop<2, 1u << 16, Magnitude16>(frames, count, channelCount, units, peakL, peakR);
}

OSTREL_AVX2 void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  SumInt16Loop(frames, count, channelCount, units, peakL, peakR);
}

void SumInt16Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  SumInt16Loop(frames, count, channelCount, units, peakL, peakR);
}

void SumInt24Scalar(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                    uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerLoop<3, 1u << 8, Magnitude24>(frames, count, channelCount, units, peakL, peakR);
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
    *peak = Max(*peak, lanePeaks[lane]);
  }
  *units = total;
  SumInt24Scalar(p, static_cast<uint32_t>((samples - done) / channelCount), channelCount, units,
                 peakL, peakR);
}

OSTREL_LOOP void SumFloat32Loop(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                double* sum, uint32_t* peakL, uint32_t* peakR) {
  constexpr uint32_t kMagnitude = 0x7FFFFFFF;
  uint32_t left = *peakL;
  uint32_t right = *peakR;
  double total = *sum;
  if (channelCount == 2) {
    for (size_t i = 0; i < count; ++i) {
      const uint32_t l = Bits32(frames + 8 * i) & kMagnitude;
      const uint32_t r = Bits32(frames + 8 * i + 4) & kMagnitude;
      total += Float32Magnitude(l);
      total += Float32Magnitude(r);
      left = Max(left, l);
      right = Max(right, r);
    }
  } else {
    for (size_t i = 0; i < count; ++i) {
      const uint32_t v = Bits32(frames + 4 * i) & kMagnitude;
      total += Float32Magnitude(v);
      left = Max(left, v);
    }
  }
  *sum = total;
  *peakL = left;
  *peakR = right;
}

OSTREL_AVX2 void SumFloat32Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                double* sum, uint32_t* peakL, uint32_t* peakR) {
  SumFloat32Loop(frames, count, channelCount, sum, peakL, peakR);
}

void SumFloat32Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                     double* sum, uint32_t* peakL, uint32_t* peakR) {
  SumFloat32Loop(frames, count, channelCount, sum, peakL, peakR);
}

OSTREL_LOOP void SumFloat32BlocksLoop(const unsigned char* frames, uint32_t blockFrames,
                                      uint32_t channelCount, double sums[kInterleavedBlocks],
                                      uint32_t* peakL, uint32_t* peakR) {
  constexpr uint32_t kMagnitude = 0x7FFFFFFF;
  const size_t frameSize = size_t{4} * channelCount;
  const size_t stride = static_cast<size_t>(blockFrames) * frameSize;
  double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  uint32_t left = *peakL;
  uint32_t right = *peakR;
  const unsigned char* p = frames;
  for (uint32_t i = 0; i < blockFrames; ++i, p += frameSize) {
    const uint32_t l0 = Bits32(p) & kMagnitude;
    const uint32_t l1 = Bits32(p + stride) & kMagnitude;
    const uint32_t l2 = Bits32(p + 2 * stride) & kMagnitude;
    const uint32_t l3 = Bits32(p + 3 * stride) & kMagnitude;
    s0 += Float32Magnitude(l0);
    s1 += Float32Magnitude(l1);
    s2 += Float32Magnitude(l2);
    s3 += Float32Magnitude(l3);
    left = Max(Max(left, Max(l0, l1)), Max(l2, l3));
    if (channelCount == 2) {
      const uint32_t r0 = Bits32(p + 4) & kMagnitude;
      const uint32_t r1 = Bits32(p + stride + 4) & kMagnitude;
      const uint32_t r2 = Bits32(p + 2 * stride + 4) & kMagnitude;
      const uint32_t r3 = Bits32(p + 3 * stride + 4) & kMagnitude;
      s0 += Float32Magnitude(r0);
      s1 += Float32Magnitude(r1);
      s2 += Float32Magnitude(r2);
      s3 += Float32Magnitude(r3);
      right = Max(Max(right, Max(r0, r1)), Max(r2, r3));
    }
  }
  sums[0] = s0;
  sums[1] = s1;
  sums[2] = s2;
  sums[3] = s3;
  *peakL = left;
  *peakR = right;
}

OSTREL_AVX2 void SumFloat32BlocksAvx2(const unsigned char* frames, uint32_t blockFrames,
                                      uint32_t channelCount, double sums[kInterleavedBlocks],
                                      uint32_t* peakL, uint32_t* peakR) {
  SumFloat32BlocksLoop(frames, blockFrames, channelCount, sums, peakL, peakR);
}

void SumFloat32BlocksPlain(const unsigned char* frames, uint32_t blockFrames, uint32_t channelCount,
                           double sums[kInterleavedBlocks], uint32_t* peakL, uint32_t* peakR) {
  SumFloat32BlocksLoop(frames, blockFrames, channelCount, sums, peakL, peakR);
}

}  // namespace

void SumInt16(const unsigned char* frames, uint32_t count, uint32_t channelCount, uint64_t* units,
              uint32_t* peakL, uint32_t* peakR) {
  if (__builtin_cpu_supports("avx2"))
    SumInt16Avx2(frames, count, channelCount, units, peakL, peakR);
  else
    SumInt16Plain(frames, count, channelCount, units, peakL, peakR);
}

void SumInt24(const unsigned char* frames, uint32_t count, uint32_t channelCount, uint64_t* units,
              uint32_t* peakL, uint32_t* peakR) {
  if (__builtin_cpu_supports("avx2"))
    SumInt24Avx2(frames, count, channelCount, units, peakL, peakR);
  else
    SumInt24Scalar(frames, count, channelCount, units, peakL, peakR);
}

void SumFloat32(const unsigned char* frames, uint32_t count, uint32_t channelCount, double* sum,
                uint32_t* peakL, uint32_t* peakR) {
  if (__builtin_cpu_supports("avx2"))
    SumFloat32Avx2(frames, count, channelCount, sum, peakL, peakR);
  else
    SumFloat32Plain(frames, count, channelCount, sum, peakL, peakR);
}

void SumFloat32Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t channelCount,
                      double sums[kInterleavedBlocks], uint32_t* peakL, uint32_t* peakR) {
  if (__builtin_cpu_supports("avx2"))
    SumFloat32BlocksAvx2(frames, blockFrames, channelCount, sums, peakL, peakR);
  else
    SumFloat32BlocksPlain(frames, blockFrames, channelCount, sums, peakL, peakR);
}

void SumInt24AsDoubles(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                       double* sum, uint32_t* peakL, uint32_t* peakR) {
  double total = *sum;
  for (size_t i = 0; i < count; ++i) {
    const unsigned char* p = frames + i * 3 * channelCount;
    const uint32_t l = Magnitude24(p);
    total += l / 65536.0;
    *peakL = Max(*peakL, l);
    if (channelCount == 2) {
      const uint32_t r = Magnitude24(p + 3);
      total += r / 65536.0;
      *peakR = Max(*peakR, r);
    }
  }
  *sum = total;
}
