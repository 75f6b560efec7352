// The AVX2 set of loops, for x86-64 processors that have AVX2: the shared
// loop bodies built for AVX2 with function attributes (not -mavx2 for the
// file, which would let AVX2 copies of inline functions stand in for the
// plain ones elsewhere), hand-written integer, G.711 and side-by-side float
// loops, and the narrowing of 64-bit float samples.
#include <immintrin.h>

#include <cassert>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan/float32.h"
#include "scan/kernel_loops.h"
#include "scan/kernels_avx2.h"
#include "scan/lanes_avx2.h"

using lanes::FoldFrames;
using lanes::FramesFit;
using lanes::LaneOf;
using lanes::RaisePeaks;

namespace {

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

// A plain loop, for the calls the vector loops leave: out of line, so that
// the vector loops keep their registers for themselves.
template <auto Loop>
OSTREL_AVX2 __attribute__((noinline)) void Plain(const unsigned char* frames, uint32_t count,
                                                 uint32_t channelCount, Totals* totals) {
  Loop(frames, count, channelCount, totals);
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

// Each pair of neighbouring 32-bit lanes, read unsigned, added into a 64-bit
// lane.
OSTREL_AVX2 OSTREL_LOOP __m256i Widen32(__m256i lanes) {
  const __m256i zero = _mm256_setzero_si256();
  return _mm256_add_epi64(_mm256_unpacklo_epi32(lanes, zero), _mm256_unpackhi_epi32(lanes, zero));
}

// The sum of four 64-bit lanes.
OSTREL_AVX2 OSTREL_LOOP uint64_t HorizontalSum64(__m256i lanes) {
  const __m128i half =
      _mm_add_epi64(_mm256_castsi256_si128(lanes), _mm256_extracti128_si256(lanes, 1));
  return static_cast<uint64_t>(
      _mm_cvtsi128_si64(_mm_add_epi64(half, _mm_unpackhi_epi64(half, half))));
}

// G.711 bytes, 32 a round. A code's magnitude grows with its low seven bits
// once they are put in order (mu-law stores them inverted, A-law with every
// other bit flipped): the peaks are kept as those 7-bit codes, byte by byte,
// and expanded only for the channels at the end. The seven bits are a
// segment s (the top three) and a step m (the low four), and the magnitude
// in units of 1/256 is four times a product of two bytes, each looked up by
// vpshufb from four bits:
//   mu-law: (8m + 132) << s less 132, so (magnitude + 132) / 4 is
//           (2m + 33) * 2^s;
//   A-law:  (16m + 264) << (s - 1) for s >= 1 and 16m + 8 for s = 0, so
//           magnitude / 4 is (4m + 66) * 2^max(s - 1, 0), less 64 in
//           segment 0, where 4m + 66 (66 to 126) less 64 is the same byte
//           with bit 6 cleared.
// vpmaddubsw multiplies the bytes (one read unsigned, the other signed, each
// in range) and adds neighbouring products into 16-bit lanes, at most
// 2 * 8064 = 16128: two rounds still add up within 15 bits, and vpmaddwd with
// ones adds those into 32-bit lanes, at most 64512 more for two rounds, so
// 2^15 pairs of rounds fit 31 bits.
template <bool ALaw>
struct G711 {
  // The bytes as 7-bit codes in magnitude order; bytes outside `keep` give
  // code 0.
  static OSTREL_AVX2 OSTREL_LOOP __m256i Codes(__m256i bytes, __m256i keep) {
    const __m256i low7 = _mm256_and_si256(keep, _mm256_set1_epi8(0x7F));
    return ALaw ? _mm256_and_si256(_mm256_xor_si256(bytes, _mm256_set1_epi8(0x55)), low7)
                : _mm256_andnot_si256(bytes, low7);
  }

  // A quarter of the magnitudes of a round (mu-law: plus 33 each),
  // neighbouring pairs added into 16-bit lanes. The step comes from the low
  // four bits of `stepIndex`, which is the code, or has its top bit set for
  // a byte that must give 0.
  static OSTREL_AVX2 OSTREL_LOOP __m256i Quarters(__m256i code, __m256i stepIndex) {
    // Indexed by the segment: 2^s (mu-law) or 2^max(s - 1, 0) (A-law).
    const __m256i powers =
        ALaw ? _mm256_setr_epi8(1, 1, 2, 4, 8, 16, 32, 64, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 2, 4, 8,
                                16, 32, 64, 0, 0, 0, 0, 0, 0, 0, 0)
             : _mm256_setr_epi8(1, 2, 4, 8, 16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 4, 8,
                                16, 32, 64, -128, 0, 0, 0, 0, 0, 0, 0, 0);
    // Indexed by the step: 2m + 33 (mu-law) or 4m + 66 (A-law).
    const __m256i steps =
        ALaw ? _mm256_setr_epi8(66, 70, 74, 78, 82, 86, 90, 94, 98, 102, 106, 110, 114, 118, 122,
                                126, 66, 70, 74, 78, 82, 86, 90, 94, 98, 102, 106, 110, 114, 118,
                                122, 126)
             : _mm256_setr_epi8(33, 35, 37, 39, 41, 43, 45, 47, 49, 51, 53, 55, 57, 59, 61, 63, 33,
                                35, 37, 39, 41, 43, 45, 47, 49, 51, 53, 55, 57, 59, 61, 63);
    const __m256i segment = _mm256_and_si256(_mm256_srli_epi16(code, 4), _mm256_set1_epi8(0x0F));
    const __m256i power = _mm256_shuffle_epi8(powers, segment);
    const __m256i step = _mm256_shuffle_epi8(steps, stepIndex);
    if (!ALaw) return _mm256_maddubs_epi16(power, step);
    // A-law segment 0: the step's bit 6 cleared.
    const __m256i segmentZero =
        _mm256_setr_epi8(0x3F, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, -1, 0x3F, -1,
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
  using Law = G711<ALaw>;
  const size_t samples = static_cast<size_t>(count) * channelCount;
  // A call of fewer samples than a round takes the plain loop.
  if (!FramesFit(channelCount, 1) || samples < 32) {
    return ALaw ? Plain<loops::SumInt8Loop<loops::MagnitudeALaw>>(frames, count, channelCount,
                                                                  totals)
                : Plain<loops::SumInt8Loop<loops::MagnitudeMuLaw>>(frames, count, channelCount,
                                                                   totals);
  }
  const __m256i all = _mm256_set1_epi8(-1);
  const __m256i ones = _mm256_set1_epi16(1);
  __m256i peaks = _mm256_setzero_si256();
  __m256i sums = _mm256_setzero_si256();
  __m256i wide = _mm256_setzero_si256();
  const unsigned char* p = frames;
  const unsigned char* const end = frames + samples;
  // Two rounds at a time.
  while (end - p >= 64) {
    size_t pairs = static_cast<size_t>(end - p) / 64;
    if (pairs > (1u << 15)) pairs = 1u << 15;
    for (size_t r = 0; r < pairs; ++r, p += 64) {
      const __m256i first =
          Law::Codes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), all);
      const __m256i second =
          Law::Codes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), all);
      peaks = _mm256_max_epu8(peaks, _mm256_max_epu8(first, second));
      const __m256i quarters =
          _mm256_add_epi16(Law::Quarters(first, first), Law::Quarters(second, second));
      sums = _mm256_add_epi32(sums, _mm256_madd_epi16(quarters, ones));
    }
    if (end - p >= 64) {
      wide = _mm256_add_epi64(wide, Widen32(sums));
      sums = _mm256_setzero_si256();
    }
  }
  // Then a round, and the last samples read back from the end, where the
  // bytes already counted get code 0 for the peaks (the least magnitude, and
  // every lane has held a real sample by then) and a step index with its top
  // bit set, which vpshufb turns into 0. Still within 32 bits.
  if (end - p >= 32) {
    const __m256i code = Law::Codes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), all);
    peaks = _mm256_max_epu8(peaks, code);
    sums = _mm256_add_epi32(sums, _mm256_madd_epi16(Law::Quarters(code, code), ones));
    p += 32;
  }
  if (p != end) {
    const __m256i keep = Tail(static_cast<size_t>(end - p));
    const __m256i code =
        Law::Codes(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(end - 32)), keep);
    peaks = _mm256_max_epu8(peaks, code);
    const __m256i stepIndex = _mm256_or_si256(code, _mm256_andnot_si256(keep, all));
    sums = _mm256_add_epi32(sums, _mm256_madd_epi16(Law::Quarters(code, stepIndex), ones));
  }
  const uint64_t quarters = HorizontalSum64(_mm256_add_epi64(wide, Widen32(sums)));
  totals->units += 4 * quarters - (ALaw ? 0 : 132 * uint64_t{samples});
  const uint64_t folded = FoldFrames<uint8_t>(peaks, channelCount);
  for (uint32_t c = 0; c < channelCount; ++c) {
    totals->peaks[c] = loops::Max(totals->peaks[c],
                                  Law::Magnitude(static_cast<uint8_t>(LaneOf<uint8_t>(folded, c))));
  }
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

// Thirty-two samples a round, one 32-byte load. vpsadbw against 128 adds
// the magnitudes |byte - 128| of each eight neighbouring bytes into a 64-bit
// lane, which no count of samples can overflow. The peaks are kept as the
// largest and smallest byte of each lane: a channel's peak magnitude is the
// larger of its largest byte less 128 and 128 less its smallest. The last
// samples are read back from the end with the bytes already counted made
// 128, magnitude 0.
OSTREL_AVX2 void SumInt8Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                             Totals* totals) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  // A call of fewer samples than a round takes the plain loop.
  if (!FramesFit(channelCount, 1) || samples < 32)
    return Plain<loops::SumInt8Loop<loops::Magnitude8>>(frames, count, channelCount, totals);
  const __m256i middle = _mm256_set1_epi8(INT8_MIN);
  __m256i highs = middle;
  __m256i lows = middle;
  __m256i sums = _mm256_setzero_si256();
  const unsigned char* p = frames;
  const unsigned char* const end = frames + samples;
  // Two rounds at a time, taken together before they meet the running lanes.
  for (; end - p >= 64; p += 64) {
    const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32));
    sums = _mm256_add_epi64(
        sums, _mm256_add_epi64(_mm256_sad_epu8(first, middle), _mm256_sad_epu8(second, middle)));
    highs = _mm256_max_epu8(highs, _mm256_max_epu8(first, second));
    lows = _mm256_min_epu8(lows, _mm256_min_epu8(first, second));
  }
  if (end - p >= 32) {
    const __m256i bytes = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, middle));
    highs = _mm256_max_epu8(highs, bytes);
    lows = _mm256_min_epu8(lows, bytes);
    p += 32;
  }
  if (p != end) {
    const __m256i bytes =
        _mm256_blendv_epi8(middle, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(end - 32)),
                           Tail(static_cast<size_t>(end - p)));
    sums = _mm256_add_epi64(sums, _mm256_sad_epu8(bytes, middle));
    highs = _mm256_max_epu8(highs, bytes);
    lows = _mm256_min_epu8(lows, bytes);
  }
  totals->units += HorizontalSum64(sums);
  const uint64_t high = FoldFrames<uint8_t>(highs, channelCount);
  const uint64_t low = FoldFrames<uint8_t, true>(lows, channelCount);
  for (uint32_t c = 0; c < channelCount; ++c) {
    const uint32_t up = LaneOf<uint8_t>(high, c) - 128u;
    const uint32_t down = 128u - LaneOf<uint8_t>(low, c);
    totals->peaks[c] = loops::Max(totals->peaks[c], loops::Max(up, down));
  }
}

namespace {

template <bool BigEndian>
OSTREL_AVX2 OSTREL_LOOP void AddInt16(__m256i values, __m256i* peaks, __m256i* sums) {
  if (BigEndian) values = Swap16(values);
  const __m256i magnitudes = _mm256_abs_epi16(values);
  *peaks = _mm256_max_epu16(*peaks, magnitudes);
  *sums = _mm256_add_epi32(
      *sums, _mm256_madd_epi16(_mm256_xor_si256(magnitudes, _mm256_set1_epi16(INT16_MIN)),
                               _mm256_set1_epi16(1)));
}

// The lanes of `rounds` rounds, each 65536 less a round, as the sums of their
// magnitudes, widened into 64-bit lanes.
OSTREL_AVX2 OSTREL_LOOP __m256i Restore16(__m256i sums, uint32_t rounds) {
  return Widen32(_mm256_add_epi32(sums, _mm256_set1_epi32(static_cast<int32_t>(rounds << 16))));
}

}  // namespace

// Sixteen samples a round, one 32-byte load. vpabsw leaves -32768 as 0x8000,
// which read unsigned is its magnitude, so the magnitudes are unsigned 16-bit
// lanes: even lanes left and odd lanes right in stereo, as every round starts
// on a frame. vpmaddwd adds neighbouring lanes into 32-bit lanes but reads
// them signed, so each magnitude goes in less 32768 (its top bit flipped)
// and each 32-bit lane comes out 65536 less per round, added back when the
// lanes are widened: 2^14 rounds and one more stay within 31 bits either
// way. The last samples are read back from the end with the samples already
// counted made 0, which that round's 65536 makes up for.
template <bool BigEndian>
OSTREL_AVX2 void SumInt16Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  if (!FramesFit(channelCount, 2) || samples < 16)
    return Plain<loops::SumInt16Loop<BigEndian>>(frames, count, channelCount, totals);
  __m256i peaks = _mm256_setzero_si256();
  __m256i sums = _mm256_setzero_si256();
  __m256i morePeaks = _mm256_setzero_si256();
  __m256i moreSums = _mm256_setzero_si256();
  __m256i wide = _mm256_setzero_si256();  // 64-bit lanes
  uint32_t rounds = 0;                    // in `sums`
  const unsigned char* p = frames;
  const unsigned char* const end = frames + samples * 2;
  while (end - p >= 32) {
    rounds = static_cast<uint32_t>(static_cast<size_t>(end - p) / 32 < (1u << 14)
                                       ? static_cast<size_t>(end - p) / 32
                                       : (1u << 14));
    // Two rounds at a time into two sets of lanes, which do not wait on
    // each other.
    for (uint32_t r = 0; r + 2 <= rounds; r += 2, p += 64) {
      AddInt16<BigEndian>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), &peaks, &sums);
      AddInt16<BigEndian>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), &morePeaks,
                          &moreSums);
    }
    if (rounds % 2 != 0) {
      AddInt16<BigEndian>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), &peaks, &sums);
      p += 32;
    }
    sums = _mm256_add_epi32(sums, moreSums);
    moreSums = _mm256_setzero_si256();
    if (end - p >= 32) {
      wide = _mm256_add_epi64(wide, Restore16(sums, rounds));
      sums = _mm256_setzero_si256();
      rounds = 0;
    }
  }
  peaks = _mm256_max_epu16(peaks, morePeaks);
  if (p != end) {
    AddInt16<BigEndian>(
        _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(end - 32)),
                         Tail(static_cast<size_t>(end - p))),
        &peaks, &sums);
    ++rounds;
  }
  totals->units += HorizontalSum64(_mm256_add_epi64(wide, Restore16(sums, rounds)));
  RaisePeaks<uint16_t>(peaks, channelCount, totals->peaks);
}

namespace {

// The 8 packed 3-byte samples that end at `end`, loaded from 4 bytes before
// them: 4 in each 128-bit lane, from its byte 4 on.
OSTREL_AVX2 OSTREL_LOOP __m256i LoadBefore24(const unsigned char* end) {
  return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(end - 16),
                             reinterpret_cast<const __m128i*>(end - 28));
}

// The 8 packed 3-byte samples from `p` on: 4 in each 128-bit lane, from its
// byte 0 on (the second load reads 4 bytes past them).
OSTREL_AVX2 OSTREL_LOOP __m256i LoadAt24(const unsigned char* p) {
  return _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(p + 12),
                             reinterpret_cast<const __m128i*>(p));
}

// The magnitudes of 8 loaded samples, each moved by `order` into the top of a
// 32-bit lane.
OSTREL_AVX2 OSTREL_LOOP __m256i Magnitudes24(__m256i packed, __m256i order) {
  return _mm256_abs_epi32(_mm256_srai_epi32(_mm256_shuffle_epi8(packed, order), 8));
}

OSTREL_AVX2 OSTREL_LOOP void AddInt24(__m256i packed, __m256i order, __m256i keep, __m256i* peaks,
                                      __m256i* sums) {
  const __m256i magnitudes = _mm256_and_si256(Magnitudes24(packed, order), keep);
  *sums = _mm256_add_epi32(*sums, magnitudes);
  *peaks = _mm256_max_epu32(*peaks, magnitudes);
}

}  // namespace

// Eight samples a round: two 16-byte loads put four packed 3-byte samples in
// each 128-bit lane, a byte shuffle moves each into the top of a 32-bit lane
// and an arithmetic shift brings down its sign. Lane sums stay 32-bit for 256
// rounds (256 * 2^23 = 2^31), and are then widened. A round's second load
// reads 4 bytes past its 8 samples, so rounds run while 10 samples remain;
// the last round or two load 4 bytes before their samples instead (and the
// shuffle takes each byte 4 further on), which a call of at least 10 samples
// allows, the last one with the samples already counted made 0.
template <bool BigEndian>
OSTREL_AVX2 void SumInt24Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  if (!FramesFit(channelCount, 4) || samples < 10)
    return Plain<loops::SumInt24Loop<BigEndian>>(frames, count, channelCount, totals);
  // A RIFX sample's bytes come most significant first: the shuffle takes
  // them in the other order.
  const __m256i spread =
      BigEndian ? _mm256_setr_epi8(-1, 2, 1, 0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9, -1, 2, 1,
                                   0, -1, 5, 4, 3, -1, 8, 7, 6, -1, 11, 10, 9)
                : _mm256_setr_epi8(-1, 0, 1, 2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11, -1, 0, 1,
                                   2, -1, 3, 4, 5, -1, 6, 7, 8, -1, 9, 10, 11);
  const __m256i spreadLate = _mm256_add_epi8(
      spread,
      _mm256_andnot_si256(_mm256_cmpeq_epi8(spread, _mm256_set1_epi8(-1)), _mm256_set1_epi8(4)));
  __m256i peaks = _mm256_setzero_si256();
  __m256i wide = _mm256_setzero_si256();
  __m256i sums = _mm256_setzero_si256();
  const __m256i all = _mm256_set1_epi8(-1);
  const unsigned char* p = frames;
  const unsigned char* const end = frames + samples * 3;
  while (end - p >= 28) {
    size_t rounds = static_cast<size_t>(end - p - 4) / 24;
    if (rounds > 256) rounds = 256;
    // Two rounds at a time, taken together before they meet the running
    // lanes.
    for (size_t r = 0; r + 2 <= rounds; r += 2, p += 48) {
      const __m256i first = Magnitudes24(LoadAt24(p), spread);
      const __m256i second = Magnitudes24(LoadAt24(p + 24), spread);
      sums = _mm256_add_epi32(sums, _mm256_add_epi32(first, second));
      peaks = _mm256_max_epu32(peaks, _mm256_max_epu32(first, second));
    }
    if (rounds % 2 != 0) {
      AddInt24(LoadAt24(p), spread, all, &peaks, &sums);
      p += 24;
    }
    wide = _mm256_add_epi64(wide, Widen32(sums));
    sums = _mm256_setzero_si256();
  }
  if (end - p >= 24) {
    AddInt24(LoadBefore24(p + 24), spreadLate, all, &peaks, &sums);
    p += 24;
  }
  if (p != end)
    AddInt24(LoadBefore24(end), spreadLate, Tail(static_cast<size_t>(end - p) / 3 * 4), &peaks,
             &sums);
  totals->units += HorizontalSum64(_mm256_add_epi64(wide, Widen32(sums)));
  RaisePeaks<uint32_t>(peaks, channelCount, totals->peaks);
}

namespace {

template <bool BigEndian>
OSTREL_AVX2 OSTREL_LOOP void AddInt32(__m256i values, __m256i* peaks, __m256i* sums) {
  if (BigEndian) values = Swap32(values);
  const __m256i magnitudes = _mm256_abs_epi32(values);
  *peaks = _mm256_max_epu32(*peaks, magnitudes);
  *sums = _mm256_add_epi64(*sums, Widen32(magnitudes));
}

}  // namespace

// Eight samples a round, one 32-byte load. vpabsd leaves -2^31 as
// 0x80000000, which read unsigned is its magnitude, so the magnitudes are
// unsigned 32-bit lanes. Two such magnitudes can overflow 32 bits, so each
// is widened (unpacked with zero) into a 64-bit lane before it is added. The
// last samples are read back from the end with the samples already counted
// made 0.
template <bool BigEndian>
OSTREL_AVX2 void SumInt32Avx2(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                              Totals* totals) {
  const size_t samples = static_cast<size_t>(count) * channelCount;
  if (!FramesFit(channelCount, 4) || samples < 8)
    return Plain<loops::SumInt32Loop<BigEndian>>(frames, count, channelCount, totals);
  __m256i peaks = _mm256_setzero_si256();
  __m256i sums = _mm256_setzero_si256();  // 64-bit lanes
  const unsigned char* p = frames;
  const unsigned char* const end = frames + samples * 4;
  // Two rounds at a time into two sets of lanes, which do not wait on each
  // other.
  __m256i morePeaks = _mm256_setzero_si256();
  __m256i moreSums = _mm256_setzero_si256();
  for (; end - p >= 64; p += 64) {
    AddInt32<BigEndian>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), &peaks, &sums);
    AddInt32<BigEndian>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + 32)), &morePeaks,
                        &moreSums);
  }
  peaks = _mm256_max_epu32(peaks, morePeaks);
  sums = _mm256_add_epi64(sums, moreSums);
  if (end - p >= 32) {
    AddInt32<BigEndian>(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), &peaks, &sums);
    p += 32;
  }
  if (p != end) {
    AddInt32<BigEndian>(
        _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(end - 32)),
                         Tail(static_cast<size_t>(end - p))),
        &peaks, &sums);
  }
  totals->units += HorizontalSum64(sums);
  RaisePeaks<uint32_t>(peaks, channelCount, totals->peaks);
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
  RaisePeaks<uint32_t>(_mm256_andnot_si256(top, peaks), channelCount, totals->peaks);
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
  // Rounds of four samples start on a frame for one and two channels (a
  // float frame holds at most two); any other count takes the plain loop.
  if (!FramesFit(channelCount, 4)) {
    return loops::SumFloat32BlocksLoop<BigEndian>(frames, blockFrames, blocks, channelCount, sums,
                                                  totals);
  }
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

// 64-bit float samples narrowed in place, eight a round: vcvtpd2ps is the
// conversion static_cast<float> makes (cvtsd2ss), four at a time, under the
// same rounding mode and flags. A round reads 64 bytes before it writes the
// 32 below them, and later rounds read only past those 64 bytes, so no
// sample is overwritten before it is read. The last samples go one by one.
template <bool BigEndian>
OSTREL_AVX2 void NarrowDoublesAvx2(unsigned char* samples, size_t count) {
  const __m256i swap64 = _mm256_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8, 7,
                                          6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8);
  size_t i = 0;
  for (; count - i >= 8; i += 8) {
    __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + 8 * i));
    __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(samples + 8 * i + 32));
    if (BigEndian) {
      first = _mm256_shuffle_epi8(first, swap64);
      second = _mm256_shuffle_epi8(second, swap64);
    }
    const __m256 narrow = _mm256_set_m128(_mm256_cvtpd_ps(_mm256_castsi256_pd(second)),
                                          _mm256_cvtpd_ps(_mm256_castsi256_pd(first)));
    _mm256_storeu_ps(reinterpret_cast<float*>(samples + 4 * i), narrow);
  }
  for (; i < count; ++i) {
    const float narrow = loops::NarrowDouble<BigEndian>(samples + 8 * i);
    std::memcpy(samples + 4 * i, &narrow, sizeof narrow);
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
template void NarrowDoublesAvx2<false>(unsigned char*, size_t);
template void NarrowDoublesAvx2<true>(unsigned char*, size_t);

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
  alignas(32) uint64_t words[4];
  for (int k = 0; k < 2; ++k) {
    _mm256_store_si256(reinterpret_cast<__m256i*>(words), wide[k]);
    channels[static_cast<uint32_t>(k) % channelCount].squareUnits +=
        words[0] + words[1] + words[2] + words[3];
  }
  const uint32_t done = static_cast<uint32_t>(rounds * 16 / channelCount);
  lanes::EndStatistics16<BigEndian>(frames, done, channelCount, firstFrame, most, channels);
  kPlain(p, count - done, channelCount, firstFrame + done, channels);
}

template void Statistics16Avx2<false>(const unsigned char*, uint32_t, uint32_t, uint64_t,
                                      ChannelStatistics*);
template void Statistics16Avx2<true>(const unsigned char*, uint32_t, uint32_t, uint64_t,
                                     ChannelStatistics*);
