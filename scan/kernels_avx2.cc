// The AVX2 set of loops, for x86-64 processors that have AVX2: the shared
// loop bodies built for AVX2 with function attributes (not -mavx2 for the
// file, which would let AVX2 copies of inline functions stand in for the
// plain ones elsewhere), and hand-written integer and side-by-side float
// loops.
#include <immintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "scan/float32.h"
#include "scan/kernel_loops.h"
#include "scan/kernels_avx2.h"

namespace {

// Folds the lanes' peaks into the channels' peaks: in stereo, lanes
// alternate left and right, as the samples of a frame do, since every round
// starts on a frame.
template <typename Lane, int Lanes>
OSTREL_AVX2 void FoldLanePeaks(__m256i peaks, uint32_t channelCount, uint32_t* channelPeaks) {
  alignas(32) Lane lanePeaks[Lanes];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanePeaks), peaks);
  for (int lane = 0; lane < Lanes; ++lane) {
    uint32_t* peak = &channelPeaks[static_cast<uint32_t>(lane) % channelCount];
    *peak = loops::Max(*peak, lanePeaks[lane]);
  }
}

// Reverses the bytes of every 2-, 3- or 4-byte word of a RIFX sample, so
// that the loops below read it as they read a RIFF one.
OSTREL_AVX2 __m256i Swap16(__m256i v) {
  return _mm256_shuffle_epi8(
      v, _mm256_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14, 1, 0, 3, 2, 5, 4, 7,
                          6, 9, 8, 11, 10, 13, 12, 15, 14));
}

OSTREL_AVX2 __m256i Swap32(__m256i v) {
  return _mm256_shuffle_epi8(
      v, _mm256_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12, 3, 2, 1, 0, 7, 6, 5,
                          4, 11, 10, 9, 8, 15, 14, 13, 12));
}

}  // namespace

// Thirty-two samples a round, one 32-byte load. Flipping each byte's top bit
// turns it into the signed sample (byte - 128), and vpabsb leaves -128 as
// 0x80, which read unsigned is its magnitude, so the magnitudes are unsigned
// bytes: even lanes left and odd lanes right in stereo, as every round starts
// on a frame. vpsadbw against zero adds each eight neighbouring magnitudes
// into a 64-bit lane, which no count of samples can overflow. The plain loop
// takes the last samples.
OSTREL_AVX2 void SumInt8Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             Totals* totals) {
  // Rounds of 32 samples start on a frame for 1, 2, 4 and 8 channels.
  if (32 % channelCount != 0)
    return loops::SumInt8Loop<loops::Magnitude8>(frames, count, channelCount, totals);
  const size_t samples = static_cast<size_t>(count) * channelCount;
  const __m256i top = _mm256_set1_epi8(INT8_MIN);
  const __m256i zero = _mm256_setzero_si256();
  __m256i peaks = zero;
  __m256i sums = zero;
  size_t done = 0;
  const unsigned char* p = frames;
  for (; samples - done >= 32; done += 32, p += 32) {
    const __m256i magnitudes = _mm256_abs_epi8(
        _mm256_xor_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), top));
    peaks = _mm256_max_epu8(peaks, magnitudes);
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(magnitudes, zero));
  }
  alignas(32) uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
  FoldLanePeaks<uint8_t, 32>(peaks, channelCount, totals->peaks);
  totals->units += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  loops::SumInt8Loop<loops::Magnitude8>(p, static_cast<uint32_t>((samples - done) / channelCount),
                                        channelCount, totals);
}

// Sixteen samples a round, one 32-byte load. vpabsw leaves -32768 as 0x8000,
// which read unsigned is its magnitude, so the magnitudes are unsigned 16-bit
// lanes: even lanes left and odd lanes right in stereo, as every round starts
// on a frame. vpmaddwd adds neighbouring lanes into 32-bit lanes but reads
// them signed, so each magnitude goes in less 32768 (its top bit flipped)
// and each 32-bit lane comes out 65536 less per round, added back when the
// lanes are. Lane sums stay within 32 bits for 2^15 rounds (2^15 * 2^16);
// the plain loop takes the last samples.
template <bool BigEndian>
OSTREL_AVX2 void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  // Rounds of 16 samples start on a frame for 1, 2 and 4 channels.
  if (16 % channelCount != 0)
    return loops::SumInt16Loop<BigEndian>(frames, count, channelCount, totals);
  const size_t samples = static_cast<size_t>(count) * channelCount;
  const __m256i top = _mm256_set1_epi16(INT16_MIN);
  const __m256i ones = _mm256_set1_epi16(1);
  __m256i peaks = _mm256_setzero_si256();
  uint64_t total = totals->units;
  size_t done = 0;
  const unsigned char* p = frames;
  while (samples - done >= 16) {
    size_t rounds = (samples - done) / 16;
    if (rounds > (1u << 15)) rounds = 1u << 15;
    __m256i sums = _mm256_setzero_si256();
    for (size_t r = 0; r < rounds; ++r, p += 32) {
      __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      if (BigEndian) values = Swap16(values);
      const __m256i magnitudes = _mm256_abs_epi16(values);
      peaks = _mm256_max_epu16(peaks, magnitudes);
      sums = _mm256_add_epi32(sums, _mm256_madd_epi16(_mm256_xor_si256(magnitudes, top), ones));
    }
    alignas(32) int32_t lanes[8];
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), sums);
    for (int32_t lane : lanes)
      total += static_cast<uint64_t>(int64_t{lane} + int64_t{65536} * static_cast<int64_t>(rounds));
    done += rounds * 16;
  }
  FoldLanePeaks<uint16_t, 16>(peaks, channelCount, totals->peaks);
  totals->units = total;
  loops::SumInt16Loop<BigEndian>(p, static_cast<uint32_t>((samples - done) / channelCount),
                                 channelCount, totals);
}

// Eight samples at a time: two 16-byte loads put four packed 3-byte samples
// in each 128-bit lane, a byte shuffle moves each into the top of a 32-bit
// lane and an arithmetic shift brings down its sign. Lane sums stay 32-bit
// for 256 rounds (256 * 2^23 = 2^31). The second load reads 4 bytes past the
// 8 samples, so rounds run only while 10 samples remain; the scalar loop
// takes the rest. Lanes alternate left and right in stereo, as the samples
// of a frame do, since every round starts on a frame.
template <bool BigEndian>
OSTREL_AVX2 void SumInt24Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  // A RIFX sample's bytes come most significant first: the shuffle takes
  // them in the other order.
  const __m256i spread =
      BigEndian ? _mm256_setr_epi8(-1, 2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1, 2, 1,
                                   0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9)
                : _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1,
                                   2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  __m256i peaks = _mm256_setzero_si256();
  uint64_t total = totals->units;
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
  FoldLanePeaks<uint32_t, 8>(peaks, channelCount, totals->peaks);
  totals->units = total;
  loops::SumInt24Loop<BigEndian>(p, static_cast<uint32_t>((samples - done) / channelCount),
                                 channelCount, totals);
}

// Eight samples a round, one 32-byte load. vpabsd leaves -2^31 as
// 0x80000000, which read unsigned is its magnitude, so the magnitudes are
// unsigned 32-bit lanes: even lanes left and odd lanes right in stereo, as
// every round starts on a frame. Two such magnitudes can overflow 32 bits, so
// each is widened (unpacked with zero) into a 64-bit lane before it is added.
// The plain loop takes the last samples.
template <bool BigEndian>
OSTREL_AVX2 void SumInt32Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  const __m256i zero = _mm256_setzero_si256();
  __m256i peaks = zero;
  __m256i lows = zero;
  __m256i highs = zero;
  size_t done = 0;
  const unsigned char* p = frames;
  for (; samples - done >= 8; done += 8, p += 32) {
    __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    if (BigEndian) values = Swap32(values);
    const __m256i magnitudes = _mm256_abs_epi32(values);
    peaks = _mm256_max_epu32(peaks, magnitudes);
    lows = _mm256_add_epi64(lows, _mm256_unpacklo_epi32(magnitudes, zero));
    highs = _mm256_add_epi64(highs, _mm256_unpackhi_epi32(magnitudes, zero));
  }
  alignas(32) uint64_t lanes[4];
  _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), _mm256_add_epi64(lows, highs));
  FoldLanePeaks<uint32_t, 8>(peaks, channelCount, totals->peaks);
  totals->units += lanes[0] + lanes[1] + lanes[2] + lanes[3];
  loops::SumInt32Loop<BigEndian>(p, static_cast<uint32_t>((samples - done) / channelCount),
                                 channelCount, totals);
}

namespace {

// Lane k of vector v sums block 4v + k. A round takes 16 bytes, two pairs
// of samples, from each of four blocks: two 128-bit loads per 256-bit
// register put blocks 0 and 2 in one register and 1 and 3 in the other, so
// the 64-bit unpacks give one pair of each block per register, one pair to a
// 64-bit lane, the first sample of the pair in its low half.
//
// Each 32-bit word gets its top bit set, y = 2^31 + m for a magnitude pattern
// m = E << 23 | M, and y << 29 is the double with exponent field 256 + E and
// fraction M << 29: 2^(E - 767) * (1 + M / 2^23), the sample's magnitude
// times 2^-647, normal for every E, zero, subnormal, infinity and NaN
// patterns alike. vpmuludq by 2^29 shifts the low word of a pair and ignores
// the high one; the high word, the low one cleared, goes down by 3. Scaling
// by a power of two commutes with every rounded addition while the sums stay
// in the normal range (here between 2^-767 and 2^-479 for up to 2^32
// samples), so each lane's sum is exactly 2^-647 times its block's
// sequential sum, and one multiply at the end gives that sum. The set top bit
// leaves the order of the words that of their magnitudes, so the peaks are
// taken on them as loaded and the bit cleared once at the end. Each lane adds
// its samples in sample order; samples that do not fill a round are added
// after, block by block, in the same order.
template <uint32_t Vectors, bool BigEndian>
OSTREL_AVX2 void SumFloat32BlocksRounds(const unsigned char* frames, size_t blockSamples,
                                        uint32_t channelCount, double* sums, Totals* totals) {
  constexpr uint32_t kMagnitude = 0x7FFFFFFF;
  const size_t stride = 4 * blockSamples;
  const __m256i top = _mm256_set1_epi32(INT32_MIN);
  const __m256i seconds = _mm256_set1_epi64x(-(int64_t{1} << 32));
  const __m256i shift29 = _mm256_set1_epi64x(int64_t{1} << 29);
  __m256d acc[Vectors];
  for (uint32_t v = 0; v < Vectors; ++v) acc[v] = _mm256_setzero_pd();
  __m256i peaks = _mm256_setzero_si256();
  size_t j = 0;
  for (; j + 4 <= blockSamples; j += 4) {
    for (size_t v = 0; v < Vectors; ++v) {
      const unsigned char* p = frames + 4 * v * stride + 4 * j;
      __m256i even = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 2 * stride),
                                         reinterpret_cast<const __m128i*>(p));
      __m256i odd = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 3 * stride),
                                        reinterpret_cast<const __m128i*>(p + stride));
      if (BigEndian) {
        even = Swap32(even);
        odd = Swap32(odd);
      }
      even = _mm256_or_si256(even, top);
      odd = _mm256_or_si256(odd, top);
      peaks = _mm256_max_epu32(peaks, _mm256_max_epu32(even, odd));
      const __m256i pairs[2] = {_mm256_unpacklo_epi64(even, odd), _mm256_unpackhi_epi64(even, odd)};
      for (const __m256i& pair : pairs) {
        const __m256i first = _mm256_mul_epu32(pair, shift29);
        const __m256i second = _mm256_srli_epi64(_mm256_and_si256(pair, seconds), 3);
        acc[v] = _mm256_add_pd(acc[v], _mm256_castsi256_pd(first));
        acc[v] = _mm256_add_pd(acc[v], _mm256_castsi256_pd(second));
      }
    }
  }
  const __m256d unscale = _mm256_set1_pd(0x1p647);
  for (size_t v = 0; v < Vectors; ++v)
    _mm256_storeu_pd(sums + 4 * v, _mm256_mul_pd(acc[v], unscale));
  // 32-bit lanes follow the samples of a round; rounds start on even samples,
  // so in stereo even lanes are left and odd lanes right.
  FoldLanePeaks<uint32_t, 8>(_mm256_andnot_si256(top, peaks), channelCount, totals->peaks);
  for (uint32_t b = 0; b < 4 * Vectors; ++b) {
    for (size_t k = j; k < blockSamples; ++k) {
      const uint32_t m = loops::Bits32<BigEndian>(frames + b * stride + 4 * k) & kMagnitude;
      sums[b] += Float32Magnitude(m);
      uint32_t* peak = &totals->peaks[k % channelCount];
      *peak = loops::Max(*peak, m);
    }
  }
}

}  // namespace

template <bool BigEndian>
OSTREL_AVX2 void SumFloat32BlocksAvx2(const unsigned char* frames, uint32_t blockFrames,
                                      uint32_t blocks, uint32_t channelCount, double* sums,
                                      Totals* totals) {
  const size_t blockSamples = size_t{blockFrames} * channelCount;
  switch (blocks) {
    case 4:
      return SumFloat32BlocksRounds<1, BigEndian>(frames, blockSamples, channelCount, sums, totals);
    case 8:
      return SumFloat32BlocksRounds<2, BigEndian>(frames, blockSamples, channelCount, sums, totals);
    case 12:
      return SumFloat32BlocksRounds<3, BigEndian>(frames, blockSamples, channelCount, sums, totals);
    case 16:
      return SumFloat32BlocksRounds<4, BigEndian>(frames, blockSamples, channelCount, sums, totals);
    default:
      // The scan groups float blocks in fours, up to 16. Any other count is a
      // fault in the caller: loud in a debug build; otherwise the blocks are
      // still summed, by the loop that takes any count, and no byte past them
      // is read.
      assert(false && "side-by-side float blocks come in groups of 4, 8, 12 or 16");
      return loops::SumFloat32BlocksLoop<BigEndian>(frames, blockFrames, blocks, channelCount, sums,
                                                    totals);
  }
}

template void SumInt16Avx2<false>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt16Avx2<true>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt24Avx2<false>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt24Avx2<true>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt32Avx2<false>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt32Avx2<true>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumFloat32BlocksAvx2<false>(const unsigned char*, uint32_t, uint32_t, uint32_t,
                                          double*, Totals*);
template void SumFloat32BlocksAvx2<true>(const unsigned char*, uint32_t, uint32_t, uint32_t,
                                         double*, Totals*);

// Sixteen samples a round, one 32-byte load, mono or stereo (other channel
// counts take the plain loop). In stereo the even words are the left
// channel and the odd ones the right, since a round starts on a frame; in
// mono both are channel 1. vpmaddwd of the samples with themselves, the
// other parity's words masked out, gives one parity's squares in 32-bit
// lanes, at most 2^30 a round: three rounds add up in 32 bits, then go to
// 64-bit lanes. Clipped samples (a magnitude of 32767 or more) are counted
// only in a call whose peak reaches that far, rare in any recording, and the
// first frame of a new peak only in a call that raises it. The plain loop
// takes the last samples.
template <bool BigEndian>
OSTREL_AVX2 void Statistics16Avx2(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, uint64_t firstFrame,
                                  ChannelStatistics* channels) {
  constexpr auto kPlain = loops::SumStatistics<2, loops::Magnitude16<BigEndian>,
                                               loops::StatisticsPiece(2), 32767, false>;
  if (channelCount > 2) return kPlain(frames, count, channelCount, firstFrame, channels);
  const size_t rounds = size_t{count} * channelCount / 16;
  const __m256i masks[2] = {_mm256_set1_epi32(0x0000FFFF),
                            _mm256_set1_epi32(static_cast<int>(0xFFFF0000u))};
  const __m256i zero = _mm256_setzero_si256();
  __m256i wide[2] = {zero, zero};  // 64-bit lanes of squares, by parity
  __m256i most = zero;
  const unsigned char* p = frames;
  for (size_t r = 0; r < rounds;) {
    __m256i narrow[2] = {zero, zero};
    for (const size_t end = r + 3 < rounds ? r + 3 : rounds; r < end; ++r, p += 32) {
      __m256i values = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
      if (BigEndian) values = Swap16(values);
      most = _mm256_max_epu16(most, _mm256_abs_epi16(values));
      for (int k = 0; k < 2; ++k) {
        narrow[k] = _mm256_add_epi32(narrow[k],
                                     _mm256_madd_epi16(values, _mm256_and_si256(values, masks[k])));
      }
    }
    for (int k = 0; k < 2; ++k) {
      wide[k] = _mm256_add_epi64(wide[k], _mm256_unpacklo_epi32(narrow[k], zero));
      wide[k] = _mm256_add_epi64(wide[k], _mm256_unpackhi_epi32(narrow[k], zero));
    }
  }
  alignas(32) uint64_t lanes[4];
  for (int k = 0; k < 2; ++k) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(lanes), wide[k]);
    channels[static_cast<uint32_t>(k) % channelCount].squareUnits +=
        lanes[0] + lanes[1] + lanes[2] + lanes[3];
  }
  alignas(32) uint16_t mosts[16];
  _mm256_store_si256(reinterpret_cast<__m256i*>(mosts), most);
  const uint32_t done = static_cast<uint32_t>(rounds * 16 / channelCount);
  for (uint32_t c = 0; c < channelCount && done != 0; ++c) {
    uint32_t channelMost = 0;
    for (uint32_t lane = c; lane < 16; lane += channelCount)
      channelMost = loops::Max(channelMost, mosts[lane]);
    ChannelStatistics& channel = channels[c];
    const auto magnitude = [&](uint32_t i) {
      return loops::Magnitude16<BigEndian>(frames + 2 * (size_t{i} * channelCount + c));
    };
    if (channelMost >= 32767) {
      for (uint32_t i = 0; i < done; ++i) channel.clipped += magnitude(i) >= 32767 ? 1 : 0;
    }
    if (channelMost > channel.peak || channel.peakFrame == UINT64_MAX) {
      uint32_t i = 0;
      while (magnitude(i) != channelMost) ++i;
      channel.peak = channelMost;
      channel.peakFrame = firstFrame + i;
    }
  }
  kPlain(p, count - done, channelCount, firstFrame + done, channels);
}

template void Statistics16Avx2<false>(const unsigned char*, uint32_t, uint32_t, uint64_t,
                                      ChannelStatistics*);
template void Statistics16Avx2<true>(const unsigned char*, uint32_t, uint32_t, uint64_t,
                                     ChannelStatistics*);
