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

// The largest (or smallest) of each pair of unsigned lanes.
template <typename Lane, bool Least = false>
OSTREL_AVX2 __m256i Pick(__m256i a, __m256i b) {
  if (sizeof(Lane) == 1) return Least ? _mm256_min_epu8(a, b) : _mm256_max_epu8(a, b);
  if (sizeof(Lane) == 2) return Least ? _mm256_min_epu16(a, b) : _mm256_max_epu16(a, b);
  return Least ? _mm256_min_epu32(a, b) : _mm256_max_epu32(a, b);
}

// Folds lanes that hold a sample of every channel in frame order (lane k,
// channel k % channelCount: every round starts on a frame and the lanes of a
// vector hold whole frames) into one value per channel: lanes a whole number
// of frames apart are taken together, the two halves first, then 8, 4, 2 and
// 1 bytes apart as long as that is still a whole number of frames. Lane c of
// the result, c < channelCount, holds channel c's. Without a division or a
// loop over the lanes, as it runs once a call and calls come once a block.
template <typename Lane, bool Least = false>
OSTREL_AVX2 __m256i FoldFrames(__m256i lanes, uint32_t channelCount) {
  const uint32_t frameBytes = channelCount * static_cast<uint32_t>(sizeof(Lane));
  if (frameBytes <= 16)
    lanes = Pick<Lane, Least>(lanes, _mm256_permute2x128_si256(lanes, lanes, 0x01));
  if (frameBytes <= 8) lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 8));
  if (frameBytes <= 4) lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 4));
  if (frameBytes <= 2) lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 2));
  if (frameBytes <= 1) lanes = Pick<Lane, Least>(lanes, _mm256_srli_si256(lanes, 1));
  return lanes;
}

// Raises each channel's peak to the largest of its lanes.
template <typename Lane>
OSTREL_AVX2 void RaisePeaks(__m256i lanePeaks, uint32_t channelCount, uint32_t* channelPeaks) {
  alignas(32) Lane folded[32 / sizeof(Lane)];
  _mm256_store_si256(reinterpret_cast<__m256i*>(folded), FoldFrames<Lane>(lanePeaks, channelCount));
  for (uint32_t c = 0; c < channelCount; ++c)
    channelPeaks[c] = loops::Max(channelPeaks[c], folded[c]);
}

// The last samples of a call that do not fill a round are taken as the last
// full round's worth again, read back from the end, with the bytes already
// counted masked off: Tail(n) has its last n bytes set and the rest clear.
// A round read back from the end still starts on a frame, as the samples
// end on one and a round holds whole frames.
alignas(32) constexpr unsigned char kTailWindow[64] = {
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,    0,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
    0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

OSTREL_AVX2 __m256i Tail(size_t bytes) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(kTailWindow + bytes));
}

// The sum of eight 32-bit lanes, each read unsigned.
OSTREL_AVX2 uint64_t HorizontalSum32(__m256i lanes) {
  const __m256i zero = _mm256_setzero_si256();
  const __m256i wide =
      _mm256_add_epi64(_mm256_unpacklo_epi32(lanes, zero), _mm256_unpackhi_epi32(lanes, zero));
  const __m128i half =
      _mm_add_epi64(_mm256_castsi256_si128(wide), _mm256_extracti128_si256(wide, 1));
  return static_cast<uint64_t>(_mm_cvtsi128_si64(half)) +
         static_cast<uint64_t>(_mm_extract_epi64(half, 1));
}

// G.711 bytes, 32 a round. A code's magnitude grows with its low seven bits
// once they are put in order (mu-law stores them inverted, A-law with every
// other bit flipped): the peaks are kept as those 7-bit codes, byte by byte,
// and expanded only for the channels at the end. The seven bits are a
// segment s (the top three) and a step m (the low four), and the magnitude
// in units of 1/256 is twice a product of two bytes, each looked up by
// vpshufb from four bits:
//   mu-law: (8m + 132) << s less 132, so (magnitude + 132) / 2 is
//           (4m + 66) * 2^s;
//   A-law:  (16m + 264) << (s - 1) for s >= 1 and 16m + 8 for s = 0, so
//           magnitude / 2 is (8m + 132) * 2^max(s - 1, 0), less 128 in
//           segment 0, where 8m + 132 (132 to 252) less 128 is the same byte
//           with its top bit cleared.
// vpmaddubsw multiplies the bytes (one read unsigned, the other signed, each
// in range) and adds neighbouring products into 16-bit lanes (at most
// 2 * 16128 = 32256, so no saturation), and vpmaddwd with ones adds those
// into 32-bit lanes, at most 64512 more a round: 2^15 rounds fit 31 bits.
template <bool ALaw>
struct G711 {
  // The bytes as 7-bit codes in magnitude order; bytes outside `keep` give
  // code 0.
  static OSTREL_AVX2 OSTREL_LOOP __m256i Codes(__m256i bytes, __m256i keep) {
    const __m256i low7 = _mm256_and_si256(keep, _mm256_set1_epi8(0x7F));
    return ALaw ? _mm256_and_si256(_mm256_xor_si256(bytes, _mm256_set1_epi8(0x55)), low7)
                : _mm256_andnot_si256(bytes, low7);
  }

  // Half the magnitudes of a round (mu-law: plus 66 each), neighbouring pairs
  // added into 16-bit lanes. The step comes from the low four bits of
  // `stepIndex`, which is the code, or has its top bit set for a byte that
  // must give 0.
  static OSTREL_AVX2 OSTREL_LOOP __m256i Halves(__m256i code, __m256i stepIndex) {
    // Indexed by the segment: 2^s (mu-law) or 2^max(s - 1, 0) (A-law).
    const __m256i powers =
        ALaw ? _mm256_setr_epi8(1, 1, 2, 4, 8, 16, 32, 64, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 4, 8,
                                16, 32, 64, 0, 0, 0, 0, 0, 0, 0, 0)
             : _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8,
                                16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0);
    // Indexed by the step: 4m + 66 (mu-law) or 8m + 132 (A-law).
    const __m256i steps =
        ALaw ? _mm256_setr_epi8(-124, -116, -108, -100, -92, -84, -76, -68, -60, -52, -44, -36, -28,
                                -20, -12, -4, -124, -116, -108, -100, -92, -84, -76, -68, -60, -52,
                                -44, -36, -28, -20, -12, -4)
             : _mm256_setr_epi8(66, 70, 74, 78, 82, 86, 90, 94, 98, 102, 106, 110, 114, 118, 122,
                                126, 66, 70, 74, 78, 82, 86, 90, 94, 98, 102, 106, 110, 114, 118,
                                122, 126);
    const __m256i segment = _mm256_and_si256(_mm256_srli_epi16(code, 4), _mm256_set1_epi8(0x0F));
    const __m256i power = _mm256_shuffle_epi8(powers, segment);
    const __m256i step = _mm256_shuffle_epi8(steps, stepIndex);
    if (!ALaw) return _mm256_maddubs_epi16(power, step);
    // A-law segment 0: the step's top bit cleared.
    const __m256i segmentZero =
        _mm256_setr_epi8(0x7F, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0x7F, -1,
                         -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1);
    return _mm256_maddubs_epi16(_mm256_and_si256(step, _mm256_shuffle_epi8(segmentZero, segment)),
                                power);
  }

  // The magnitude of a code, by the plain expansion of its stored byte (the
  // sign bit, which does not change it, clear).
  static uint32_t Magnitude(uint8_t code) {
    const unsigned char stored = static_cast<unsigned char>(ALaw ? code ^ 0x55 : ~code & 0x7F);
    return ALaw ? loops::MagnitudeALaw(&stored) : loops::MagnitudeMuLaw(&stored);
  }
};

template <bool ALaw>
OSTREL_AVX2 void SumG711Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             Totals* totals) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  // Rounds of 32 samples start on a frame for 1, 2, 4 and 8 channels; a call
  // of fewer samples than a round takes the plain loop.
  if (32 % channelCount != 0 || samples < 32) {
    return ALaw ? loops::SumInt8Loop<loops::MagnitudeALaw>(frames, count, channelCount, totals)
                : loops::SumInt8Loop<loops::MagnitudeMuLaw>(frames, count, channelCount, totals);
  }
  const __m256i all = _mm256_set1_epi8(-1);
  const __m256i ones = _mm256_set1_epi16(1);
  __m256i peaks = _mm256_setzero_si256();
  uint64_t halves = 0;
  const unsigned char* p = frames;
  const unsigned char* const end = frames + samples;
  while (end - p >= 32) {
    size_t rounds = static_cast<size_t>(end - p) / 32;
    if (rounds > (1u << 15)) rounds = 1u << 15;
    __m256i sums = _mm256_setzero_si256();
    for (size_t r = 0; r < rounds; ++r, p += 32) {
      const __m256i code =
          G711<ALaw>::Codes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), all);
      peaks = _mm256_max_epu8(peaks, code);
      sums = _mm256_add_epi32(sums, _mm256_madd_epi16(G711<ALaw>::Halves(code, code), ones));
    }
    halves += HorizontalSum32(sums);
  }
  if (p != end) {
    // The bytes already counted: code 0 for the peaks (the least magnitude,
    // and every lane has held a real sample in the rounds before), and a
    // step index with its top bit set, which vpshufb turns into 0.
    const __m256i keep = Tail(static_cast<size_t>(end - p));
    const __m256i code =
        G711<ALaw>::Codes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(end - 32)), keep);
    peaks = _mm256_max_epu8(peaks, code);
    const __m256i stepIndex = _mm256_or_si256(code, _mm256_andnot_si256(keep, all));
    halves += HorizontalSum32(_mm256_madd_epi16(G711<ALaw>::Halves(code, stepIndex), ones));
  }
  totals->units += 2 * halves - (ALaw ? 0 : 132 * uint64_t{samples});
  alignas(32) uint8_t folded[32];
  _mm256_store_si256(reinterpret_cast<__m256i*>(folded), FoldFrames<uint8_t>(peaks, channelCount));
  for (uint32_t c = 0; c < channelCount; ++c)
    totals->peaks[c] = loops::Max(totals->peaks[c], G711<ALaw>::Magnitude(folded[c]));
}

}  // namespace

OSTREL_AVX2 void SumMuLawAvx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  SumG711Avx2<false>(frames, count, channelCount, totals);
}

OSTREL_AVX2 void SumALawAvx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             Totals* totals) {
  SumG711Avx2<true>(frames, count, channelCount, totals);
}

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
