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

// Short blocks, one after the other: plain loops, as a block of a few
// frames leaves nothing to vectorise. The units of a block of up to 2^30
// samples stay below 2^53, so its sum on the level scale is exact.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*)>
void SumIntegerBlocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                      uint32_t channelCount, double unit, double* sums, uint32_t* peakL,
                      uint32_t* peakR) {
  uint32_t left = *peakL;
  uint32_t right = *peakR;
  const unsigned char* p = frames;
  for (uint32_t b = 0; b < blocks; ++b) {
    uint64_t units = 0;
    for (uint32_t i = 0; i < blockFrames; ++i, p += Bytes * channelCount) {
      const uint32_t l = Magnitude(p);
      units += l;
      left = Max(left, l);
      if (channelCount == 2) {
        const uint32_t r = Magnitude(p + Bytes);
        units += r;
        right = Max(right, r);
      }
    }
    sums[b] = static_cast<double>(units) * unit;
  }
  *peakL = left;
  *peakR = right;
}

// Lane k of vector v sums block 4v + k. A round takes 16 bytes, two pairs
// of samples, from each of four blocks: two 128-bit loads per 256-bit
// register put blocks 0 and 2 in one register and 1 and 3 in the other, so
// the 64-bit unpacks give one pair of each block per register, one pair to a
// 64-bit lane, the first sample of the pair in its low half.
//
// A magnitude pattern m = E << 23 | M goes to bits 29 ... 59 of a double, as
// in Float32Magnitude, but instead of 903 added to the exponent, bits 61 ...
// 63 are set: one OR, which also covers whatever the shift moved there. That
// double is -2^(E + 513) * (1 + M / 2^23), the sample's magnitude times
// -2^633. Negation and scaling by a power of two commute with every rounded
// addition while the sums stay in the normal range (here between 2^513 and
// 2^802 for up to 2^32 samples), so each lane's sum is exactly -2^633 times
// its block's sequential sum, and one multiply at the end gives that sum.
// Each lane adds its samples in sample order; samples that do not fill a
// round are added after, block by block, in the same order.
template <uint32_t Vectors>
OSTREL_AVX2 void SumFloat32BlocksRounds(const unsigned char* frames, size_t blockSamples,
                                        uint32_t channelCount, double* sums, uint32_t* peakL,
                                        uint32_t* peakR) {
  constexpr uint32_t kMagnitude = 0x7FFFFFFF;
  const size_t stride = 4 * blockSamples;
  const __m256i magnitudes = _mm256_set1_epi32(kMagnitude);
  const __m256i seconds = _mm256_set1_epi64x(int64_t{kMagnitude} << 32);
  const __m256i top = _mm256_set1_epi64x(INT64_MIN | int64_t{3} << 61);
  __m256d acc[Vectors];
  for (uint32_t v = 0; v < Vectors; ++v) acc[v] = _mm256_setzero_pd();
  __m256i peaks = _mm256_setzero_si256();
  size_t j = 0;
  for (; j + 4 <= blockSamples; j += 4) {
    for (size_t v = 0; v < Vectors; ++v) {
      const unsigned char* p = frames + 4 * v * stride + 4 * j;
      const __m256i even = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 2 * stride),
                                               reinterpret_cast<const __m128i*>(p));
      const __m256i odd = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 3 * stride),
                                              reinterpret_cast<const __m128i*>(p + stride));
      const __m256i pairs[2] = {_mm256_unpacklo_epi64(even, odd), _mm256_unpackhi_epi64(even, odd)};
      for (const __m256i& pair : pairs) {
        const __m256i both = _mm256_and_si256(pair, magnitudes);
        peaks = _mm256_max_epu32(peaks, both);
        const __m256i first = _mm256_or_si256(_mm256_slli_epi64(both, 29), top);
        const __m256i second =
            _mm256_or_si256(_mm256_srli_epi64(_mm256_and_si256(pair, seconds), 3), top);
        acc[v] = _mm256_add_pd(acc[v], _mm256_castsi256_pd(first));
        acc[v] = _mm256_add_pd(acc[v], _mm256_castsi256_pd(second));
      }
    }
  }
  const __m256d unscale = _mm256_set1_pd(-0x1p-633);
  for (size_t v = 0; v < Vectors; ++v)
    _mm256_storeu_pd(sums + 4 * v, _mm256_mul_pd(acc[v], unscale));
  // 32-bit lanes alternate first and second samples of pairs; pairs start on
  // even samples, so in stereo the first is left and the second right.
  alignas(32) uint32_t lanePeaks[8];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanePeaks), peaks);
  for (int lane = 0; lane < 8; ++lane) {
    uint32_t* peak = channelCount == 2 && lane % 2 == 1 ? peakR : peakL;
    *peak = Max(*peak, lanePeaks[lane]);
  }
  for (uint32_t b = 0; b < 4 * Vectors; ++b) {
    for (size_t k = j; k < blockSamples; ++k) {
      const uint32_t m = Bits32(frames + b * stride + 4 * k) & kMagnitude;
      sums[b] += Float32Magnitude(m);
      uint32_t* peak = channelCount == 2 && k % 2 == 1 ? peakR : peakL;
      *peak = Max(*peak, m);
    }
  }
}

}  // namespace

void SumInt16Plain(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                   uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  SumInt16Loop(frames, count, channelCount, units, peakL, peakR);
}

// Sixteen samples a round, one 32-byte load. vpabsw leaves -32768 as 0x8000,
// which read unsigned is its magnitude, so the magnitudes are unsigned 16-bit
// lanes: even lanes left and odd lanes right in stereo, as every round starts
// on a frame. vpmaddwd adds neighbouring lanes into 32-bit lanes but reads
// them signed, so each magnitude goes in less 32768 (its top bit flipped)
// and each 32-bit lane comes out 65536 less per round, added back when the
// lanes are. Lane sums stay within 32 bits for 2^15 rounds (2^15 * 2^16);
// the plain loop takes the last samples.
OSTREL_AVX2 void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              uint64_t* units, uint32_t* peakL, uint32_t* peakR) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  const __m256i top = _mm256_set1_epi16(INT16_MIN);
  const __m256i ones = _mm256_set1_epi16(1);
  __m256i peaks = _mm256_setzero_si256();
  uint64_t total = *units;
  size_t done = 0;
  const unsigned char* p = frames;
  while (samples - done >= 16) {
    size_t rounds = (samples - done) / 16;
    if (rounds > (1u << 15)) rounds = 1u << 15;
    __m256i sums = _mm256_setzero_si256();
    for (size_t r = 0; r < rounds; ++r, p += 32) {
      const __m256i magnitudes =
          _mm256_abs_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)));
      peaks = _mm256_max_epu16(peaks, magnitudes);
      sums = _mm256_add_epi32(sums, _mm256_madd_epi16(_mm256_xor_si256(magnitudes, top), ones));
    }
    alignas(32) int32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    for (int32_t lane : lanes)
      total += static_cast<uint64_t>(int64_t{lane} + int64_t{65536} * static_cast<int64_t>(rounds));
    done += rounds * 16;
  }
  alignas(32) uint16_t lanePeaks[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanePeaks), peaks);
  for (int lane = 0; lane < 16; ++lane) {
    uint32_t* peak = channelCount == 2 && lane % 2 == 1 ? peakR : peakL;
    *peak = Max(*peak, lanePeaks[lane]);
  }
  *units = total;
  SumInt16Plain(p, static_cast<uint32_t>((samples - done) / channelCount), channelCount, units,
                peakL, peakR);
}

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

void SumFloat32BlocksAvx2(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                          uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  const size_t blockSamples = size_t{blockFrames} * channelCount;
  switch (blocks) {
    case 4:
      return SumFloat32BlocksRounds<1>(frames, blockSamples, channelCount, sums, peakL, peakR);
    case 8:
      return SumFloat32BlocksRounds<2>(frames, blockSamples, channelCount, sums, peakL, peakR);
    case 12:
      return SumFloat32BlocksRounds<3>(frames, blockSamples, channelCount, sums, peakL, peakR);
    default:
      return SumFloat32BlocksRounds<4>(frames, blockSamples, channelCount, sums, peakL, peakR);
  }
}

// Sample by sample across the blocks: each block's sum still grows in its
// own sample order.
void SumFloat32BlocksPlain(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                           uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  constexpr uint32_t kMagnitude = 0x7FFFFFFF;
  const size_t blockSamples = size_t{blockFrames} * channelCount;
  for (uint32_t b = 0; b < blocks; ++b) sums[b] = 0;
  for (size_t k = 0; k < blockSamples; ++k) {
    uint32_t* peak = channelCount == 2 && k % 2 == 1 ? peakR : peakL;
    for (uint32_t b = 0; b < blocks; ++b) {
      const uint32_t m = Bits32(frames + 4 * (b * blockSamples + k)) & kMagnitude;
      sums[b] += Float32Magnitude(m);
      *peak = Max(*peak, m);
    }
  }
}

void SumFloat32Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                      uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  if (__builtin_cpu_supports("avx2"))
    SumFloat32BlocksAvx2(frames, blockFrames, blocks, channelCount, sums, peakL, peakR);
  else
    SumFloat32BlocksPlain(frames, blockFrames, blocks, channelCount, sums, peakL, peakR);
}

void SumInt16Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerBlocks<2, Magnitude16>(frames, blockFrames, blocks, channelCount, 1.0 / 256, sums,
                                   peakL, peakR);
}

void SumInt24Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
                    uint32_t channelCount, double* sums, uint32_t* peakL, uint32_t* peakR) {
  SumIntegerBlocks<3, Magnitude24>(frames, blockFrames, blocks, channelCount, 1.0 / 65536, sums,
                                   peakL, peakR);
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
