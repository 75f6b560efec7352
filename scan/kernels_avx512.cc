// The AVX-512 loops (scan/kernels_avx512.h).
#include "scan/kernels_avx512.h"

#include <immintrin.h>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan/kernel_loops.h"
#include "scan/kernels_avx2.h"
#include "scan/lanes_avx2.h"

// GCC 12's AVX-512 intrinsics start some results from an undefined register
// and then warn, once inlined, that it is or may be used uninitialized: it
// is not.
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"

using lanes::FoldFrames;
using lanes::FramesFit;
using lanes::LaneOf;
using lanes::RaisePeaks;

namespace {

// The lanes of the first n bytes of a round: a last round shorter than 64
// bytes loads those alone, and the bytes past them read as 0.
OSTREL_AVX512 OSTREL_LOOP __mmask64 FirstBytes(size_t n) {
  return n >= 64 ? ~__mmask64{0} : (__mmask64{1} << n) - 1;
}

// The two halves of a register taken together lane by lane, into the AVX2
// register that the AVX2 folds take: every round starts on a frame, and so
// does its second half (frames of 1, 2, 4 or 8 bytes).
template <typename Lane, bool Least = false>
OSTREL_AVX512 OSTREL_LOOP __m256i Halves(__m512i v) {
  return lanes::Pick<Lane, Least>(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
}

// The sum of the eight 64-bit lanes, modulo 2^64 (the intrinsic that adds
// them does so in signed arithmetic, which must not overflow).
OSTREL_AVX512 OSTREL_LOOP uint64_t SumLanes64(__m512i v) {
  const __m256i quarters =
      _mm256_add_epi64(_mm512_castsi512_si256(v), _mm512_extracti64x4_epi64(v, 1));
  const __m128i halves =
      _mm_add_epi64(_mm256_castsi256_si128(quarters), _mm256_extracti128_si256(quarters, 1));
  return static_cast<uint64_t>(
      _mm_cvtsi128_si64(_mm_add_epi64(halves, _mm_unpackhi_epi64(halves, halves))));
}

// The sum of the sixteen 32-bit lanes, read unsigned.
OSTREL_AVX512 OSTREL_LOOP uint64_t SumLanes32(__m512i v) {
  const __m512i low = _mm512_and_si512(v, _mm512_set1_epi64(0xFFFFFFFF));
  return SumLanes64(_mm512_add_epi64(low, _mm512_srli_epi64(v, 32)));
}

// The end of the next piece of a call, of at most `piece` bytes: a piece is
// as much as the loop's 32-bit lane sums can take.
OSTREL_LOOP const unsigned char* PieceEnd(const unsigned char* p, const unsigned char* end,
                                          size_t piece) {
  return static_cast<size_t>(end - p) > piece ? p + piece : end;
}

// The same 16-byte shuffle in each 128-bit lane.
OSTREL_AVX512 OSTREL_LOOP __m512i EachLane(__m128i pattern) {
  return _mm512_broadcast_i32x4(pattern);
}

// The bytes of each 32-bit or 64-bit lane in reverse order: big-endian
// samples made little-endian.
OSTREL_AVX512 OSTREL_LOOP __m512i ByteSwap32(__m512i v) {
  return _mm512_shuffle_epi8(
      v, EachLane(_mm_setr_epi8(3, 2, 1, 0, 7, 6, 5, 4, 11, 10, 9, 8, 15, 14, 13, 12)));
}
OSTREL_AVX512 OSTREL_LOOP __m512i ByteSwap64(__m512i v) {
  return _mm512_shuffle_epi8(
      v, EachLane(_mm_setr_epi8(7, 6, 5, 4, 3, 2, 1, 0, 15, 14, 13, 12, 11, 10, 9, 8)));
}

// A call's first round where it takes the rest of p's cache line.
struct FirstRound {
  const unsigned char* line;  // the start of p's line
  __mmask64 keep;             // the call's bytes in it
  const unsigned char* next;  // where the rounds after it start
};

// Rounds start on cache lines where a frame (of `frameBytes`, a power of
// two) starts on one too, as it does in the scan's buffer, so that a
// round's lanes keep their channels: a load that straddles two lines costs
// two, and a block's bytes rarely start on a line. Whether the call from p
// to end takes such a first round (else its rounds start at p).
OSTREL_AVX512 OSTREL_LOOP bool RestOfLine(const unsigned char* p, const unsigned char* end,
                                          uint32_t frameBytes, FirstRound* first) {
  const size_t head = reinterpret_cast<uintptr_t>(p) % 64;
  if (head == 0 || (head & (frameBytes - 1)) != 0 || p == end) return false;
  const size_t line = head + static_cast<size_t>(end - p);
  *first = {p - head, FirstBytes(line) & (~__mmask64{0} << head),
            line < 64 ? end : p + (64 - head)};
  return true;
}

}  // namespace

bool HasAvx512Loops() {
  return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
         __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512vbmi") &&
         __builtin_cpu_supports("avx512vnni");
}

namespace {

// The magnitudes |byte - 128| of the bytes from p to end, summed: vpsadbw
// against 128 adds each eight neighbouring bytes' into a 64-bit lane, which
// no count of samples can overflow. Raises the largest and smallest byte of
// each lane. Bytes outside the call load as 128, magnitude 0.
OSTREL_AVX512 OSTREL_LOOP uint64_t SumBytes8(const unsigned char* p, const unsigned char* end,
                                             uint32_t frameBytes, __m512i* highs, __m512i* lows) {
  const __m512i middle = _mm512_set1_epi8(INT8_MIN);
  __m512i sums = _mm512_setzero_si512();
  FirstRound first;
  if (RestOfLine(p, end, frameBytes, &first)) {
    const __m512i bytes = _mm512_mask_loadu_epi8(middle, first.keep, first.line);
    sums = _mm512_sad_epu8(bytes, middle);
    *highs = _mm512_max_epu8(*highs, bytes);
    *lows = _mm512_min_epu8(*lows, bytes);
    p = first.next;
  }
  for (; end - p >= 128; p += 128) {
    const __m512i first = _mm512_loadu_si512(p);
    const __m512i second = _mm512_loadu_si512(p + 64);
    sums = _mm512_add_epi64(
        sums, _mm512_add_epi64(_mm512_sad_epu8(first, middle), _mm512_sad_epu8(second, middle)));
    *highs = _mm512_max_epu8(*highs, _mm512_max_epu8(first, second));
    *lows = _mm512_min_epu8(*lows, _mm512_min_epu8(first, second));
  }
  for (; p < end; p += 64) {
    const __m512i bytes =
        _mm512_mask_loadu_epi8(middle, FirstBytes(static_cast<size_t>(end - p)), p);
    sums = _mm512_add_epi64(sums, _mm512_sad_epu8(bytes, middle));
    *highs = _mm512_max_epu8(*highs, bytes);
    *lows = _mm512_min_epu8(*lows, bytes);
  }
  return SumLanes64(sums);
}

// A channel's peak magnitude is the larger of its largest byte less 128 and
// 128 less its smallest.
OSTREL_AVX512 OSTREL_LOOP void RaisePeaks8(__m512i highs, __m512i lows, uint32_t channelCount,
                                           uint32_t* peaks) {
  const uint64_t high = FoldFrames<uint8_t>(Halves<uint8_t>(highs), channelCount);
  const uint64_t low = FoldFrames<uint8_t, true>(Halves<uint8_t, true>(lows), channelCount);
  for (uint32_t c = 0; c < channelCount; ++c) {
    const uint32_t up = LaneOf<uint8_t>(high, c) - 128u;
    const uint32_t down = 128u - LaneOf<uint8_t>(low, c);
    peaks[c] = loops::Max(peaks[c], loops::Max(up, down));
  }
}

}  // namespace

// Sixty-four samples a round, as in the AVX2 loop.
OSTREL_AVX512 void SumInt8Avx512(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                 Totals* totals) {
  if (!FramesFit(channelCount, 1)) return SumInt8Avx2(frames, count, channelCount, totals);
  __m512i highs = _mm512_set1_epi8(INT8_MIN);
  __m512i lows = highs;
  totals->units +=
      SumBytes8(frames, frames + size_t{count} * channelCount, channelCount, &highs, &lows);
  RaisePeaks8(highs, lows, channelCount, totals->peaks);
}

// Whole blocks of any length, one after the other: each block's rounds
// start on its first byte, and its sum is exact in a double (units of 1).
OSTREL_AVX512 void SumInt8BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                       uint32_t blocks, uint32_t channelCount, double* sums,
                                       Totals* totals) {
  if (!FramesFit(channelCount, 1)) {
    return loops::SumIntegerBlocks<1, loops::Magnitude8, 0>(frames, blockFrames, blocks,
                                                            channelCount, sums, totals);
  }
  __m512i highs = _mm512_set1_epi8(INT8_MIN);
  __m512i lows = highs;
  const size_t blockBytes = size_t{blockFrames} * channelCount;
  for (uint32_t b = 0; b < blocks; ++b, frames += blockBytes)
    sums[b] =
        static_cast<double>(SumBytes8(frames, frames + blockBytes, channelCount, &highs, &lows));
  RaisePeaks8(highs, lows, channelCount, totals->peaks);
}

namespace {

// G.711 magnitudes as products of two bytes, each looked up from the stored
// byte: a step that follows the code's low four bits and a power of two that
// follows its segment (the next three bits). In units of 1/256:
//   mu-law: (8m + 132) << s less 132 = 4 * (2m + 33) * 2^s - 132;
//   A-law:  16m + 8 in segment 0, (16m + 264) << (s - 1) above it,
//           = 8 * (2m + 1) in segment 0, 8 * (2m + 33) * 2^(s - 1) above,
// where mu-law stores the code's bits inverted and A-law with every other
// bit flipped. The A-law step also depends on whether the segment is 0, so
// it is looked up from seven bits.
struct G711Tables {
  // By the stored byte's high four bits (the sign bit among them), four
  // times over: the power of two, read unsigned (up to 128).
  char powers[64];
  // By the stored byte's low seven bits: the step (at most 63).
  char steps[128];
};

template <bool ALaw>
constexpr G711Tables MakeG711Tables() {
  G711Tables tables{};
  for (int i = 0; i < 64; ++i) {
    const int segment = ALaw ? ((i ^ 0x5) & 7) : 7 - (i & 7);
    const int power = ALaw ? 1 << (segment > 1 ? segment - 1 : 0) : 1 << segment;
    tables.powers[i] = static_cast<char>(power > 127 ? power - 256 : power);
  }
  for (int i = 0; i < 128; ++i) {
    const int code = ALaw ? i ^ 0x55 : ~i & 0x7F;
    tables.steps[i] = static_cast<char>(2 * (code & 0xF) + (ALaw && code < 16 ? 1 : 33));
  }
  return tables;
}

alignas(64) constexpr G711Tables kMuLawTables = MakeG711Tables<false>();
alignas(64) constexpr G711Tables kALawTables = MakeG711Tables<true>();

// What turns a stored byte's low seven bits into a code that grows with the
// magnitude.
constexpr unsigned char G711Order(bool aLaw) { return aLaw ? 0x55 : 0x7F; }

// The bytes as codes in magnitude order: (byte ^ order) & 0x7F.
template <bool ALaw>
OSTREL_AVX512 OSTREL_LOOP __m512i OrderedCodes(__m512i bytes) {
  return _mm512_ternarylogic_epi32(bytes, _mm512_set1_epi8(static_cast<char>(G711Order(ALaw))),
                                   _mm512_set1_epi8(0x7F), 0x28);
}

// The products of a round's powers and steps, four neighbouring samples'
// added into each 32-bit lane of `sums`; samples outside `keep` give 0.
// vpermb reads the low six bits of the index: the powers' index, each word
// shifted down by four, holds the next byte's low bits above the four it
// is looked up by, which the table, four times over, does not see.
template <bool ALaw>
OSTREL_AVX512 OSTREL_LOOP __m512i AddProducts(__m512i sums, __m512i bytes, __mmask64 keep,
                                              __m512i powers, __m512i steps, __m512i moreSteps) {
  const __m512i power = _mm512_permutexvar_epi8(_mm512_srli_epi16(bytes, 4), powers);
  const __m512i step = ALaw ? _mm512_maskz_permutex2var_epi8(keep, steps, bytes, moreSteps)
                            : _mm512_maskz_permutexvar_epi8(keep, bytes, steps);
  return _mm512_dpbusd_epi32(sums, power, step);
}

// A piece of a call whose lane sums stay within 32 bits: a round adds at
// most 4 * 128 * 63 < 2^15 to a lane, 2^16 rounds (and a call's first,
// partial round) less than 2^31.
constexpr size_t kG711Piece = size_t{64} << 16;

}  // namespace

namespace {

// The tables of a law, loaded.
struct G711Lookups {
  __m512i powers, steps, moreSteps;
};

template <bool ALaw>
OSTREL_AVX512 OSTREL_LOOP G711Lookups LoadG711() {
  const G711Tables& tables = ALaw ? kALawTables : kMuLawTables;
  return {_mm512_loadu_si512(tables.powers), _mm512_loadu_si512(tables.steps),
          _mm512_loadu_si512(tables.steps + 64)};
}

// The products of the samples from p to end (at most a piece) in sixteen
// 32-bit lanes, and the largest code of each lane in magnitude order raised.
// Sixty-four samples a round: each sample's power and step looked up by
// vpermb (the A-law step by vpermi2b, from seven bits), their products added
// four to a 32-bit lane by vpdpbusd. Bytes outside the call give no product
// and leave the codes alone.
template <bool ALaw>
OSTREL_AVX512 OSTREL_LOOP __m512i G711Lanes(const unsigned char* p, const unsigned char* end,
                                            uint32_t frameBytes, const G711Lookups& law,
                                            __m512i* codes) {
  const __mmask64 all = ~__mmask64{0};
  __m512i sums = _mm512_setzero_si512(), moreSums = sums;
  FirstRound first;
  if (RestOfLine(p, end, frameBytes, &first)) {
    const __mmask64 keep = first.keep;
    const __m512i bytes = _mm512_maskz_loadu_epi8(keep, first.line);
    sums = AddProducts<ALaw>(sums, bytes, keep, law.powers, law.steps, law.moreSteps);
    *codes = _mm512_mask_max_epu8(*codes, keep, *codes, OrderedCodes<ALaw>(bytes));
    p = first.next;
  }
  // Two rounds at a time into two sets of lanes.
  for (; end - p >= 128; p += 128) {
    const __m512i first = _mm512_loadu_si512(p);
    const __m512i second = _mm512_loadu_si512(p + 64);
    sums = AddProducts<ALaw>(sums, first, all, law.powers, law.steps, law.moreSteps);
    moreSums = AddProducts<ALaw>(moreSums, second, all, law.powers, law.steps, law.moreSteps);
    *codes = _mm512_max_epu8(
        *codes, _mm512_max_epu8(OrderedCodes<ALaw>(first), OrderedCodes<ALaw>(second)));
  }
  while (p != end) {
    const size_t left = static_cast<size_t>(end - p);
    const __mmask64 keep = FirstBytes(left);
    const __m512i bytes = _mm512_maskz_loadu_epi8(keep, p);
    sums = AddProducts<ALaw>(sums, bytes, keep, law.powers, law.steps, law.moreSteps);
    *codes = _mm512_mask_max_epu8(*codes, keep, *codes, OrderedCodes<ALaw>(bytes));
    p += left < 64 ? left : 64;
  }
  return _mm512_add_epi32(sums, moreSums);
}

// The magnitudes of the samples from p to end summed, in units of 1/256.
template <bool ALaw>
OSTREL_AVX512 OSTREL_LOOP uint64_t SumG711(const unsigned char* p, const unsigned char* end,
                                           uint32_t frameBytes, const G711Lookups& law,
                                           __m512i* codes) {
  const size_t samples = static_cast<size_t>(end - p);
  uint64_t products = 0;
  while (p != end) {
    const unsigned char* const pieceEnd = PieceEnd(p, end, kG711Piece);
    products += SumLanes32(G711Lanes<ALaw>(p, pieceEnd, frameBytes, law, codes));
    p = pieceEnd;
  }
  return ALaw ? 8 * products : 4 * products - 132 * uint64_t{samples};
}

// Sixteen registers' lanes, each register's added up: lane i of the result
// is register i's total, modulo 2^32. Pairs are taken together four times,
// each time halving the lanes that hold one register's part: 45 operations
// where one register's total alone takes about ten.
OSTREL_AVX512 OSTREL_LOOP __m512i TotalsOf16(const __m512i (&v)[16]) {
  __m512i pairs[8], quads[4], eights[2];
  for (size_t i = 0; i < 8; ++i) {
    pairs[i] = _mm512_add_epi32(_mm512_unpacklo_epi32(v[2 * i], v[2 * i + 1]),
                                _mm512_unpackhi_epi32(v[2 * i], v[2 * i + 1]));
  }
  for (size_t i = 0; i < 4; ++i) {
    quads[i] = _mm512_add_epi32(_mm512_unpacklo_epi64(pairs[2 * i], pairs[2 * i + 1]),
                                _mm512_unpackhi_epi64(pairs[2 * i], pairs[2 * i + 1]));
  }
  for (size_t i = 0; i < 2; ++i) {
    eights[i] = _mm512_add_epi32(_mm512_shuffle_i32x4(quads[2 * i], quads[2 * i + 1], 0x88),
                                 _mm512_shuffle_i32x4(quads[2 * i], quads[2 * i + 1], 0xDD));
  }
  return _mm512_add_epi32(_mm512_shuffle_i32x4(eights[0], eights[1], 0x88),
                          _mm512_shuffle_i32x4(eights[0], eights[1], 0xDD));
}

// Every lane holds a real sample's code by the end of a call, or code 0,
// whose magnitude is the least (0 or 8): no real sample's is smaller.
template <bool ALaw>
OSTREL_AVX512 OSTREL_LOOP void RaiseG711Peaks(__m512i codes, uint32_t channelCount,
                                              uint32_t* peaks) {
  const uint64_t folded = FoldFrames<uint8_t>(Halves<uint8_t>(codes), channelCount);
  for (uint32_t c = 0; c < channelCount; ++c) {
    const unsigned char stored[1] = {
        static_cast<unsigned char>(LaneOf<uint8_t>(folded, c) ^ G711Order(ALaw))};
    peaks[c] =
        loops::Max(peaks[c], ALaw ? loops::MagnitudeALaw(stored) : loops::MagnitudeMuLaw(stored));
  }
}

}  // namespace

template <bool ALaw>
OSTREL_AVX512 void SumG711Avx512(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                                 Totals* totals) {
  if (count == 0) return;
  if (!FramesFit(channelCount, 1)) {
    return ALaw ? SumALawAvx2(frames, count, channelCount, totals)
                : SumMuLawAvx2(frames, count, channelCount, totals);
  }
  __m512i codes = _mm512_setzero_si512();
  totals->units += SumG711<ALaw>(frames, frames + size_t{count} * channelCount, channelCount,
                                 LoadG711<ALaw>(), &codes);
  RaiseG711Peaks<ALaw>(codes, channelCount, totals->peaks);
}

// Whole blocks of any length, one after the other, each from its first
// byte; a block's units (of 1/256) are exact in a double. Blocks of up to
// 2^19 bytes (the scan's are at most a chunk) total less than 2^32 products,
// 2^19 * 128 * 63: their lanes are added up sixteen blocks together, and
// turned into sums eight at a time.
template <bool ALaw>
OSTREL_AVX512 void SumG711BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                       uint32_t blocks, uint32_t channelCount, double* sums,
                                       Totals* totals) {
  constexpr auto kMagnitude = ALaw ? loops::MagnitudeALaw : loops::MagnitudeMuLaw;
  const size_t blockBytes = size_t{blockFrames} * channelCount;
  if (!FramesFit(channelCount, 1) || blockBytes == 0) {
    return loops::SumIntegerBlocks<1, kMagnitude, 8>(frames, blockFrames, blocks, channelCount,
                                                     sums, totals);
  }
  const G711Lookups law = LoadG711<ALaw>();
  __m512i codes = _mm512_setzero_si512();
  uint32_t b = 0;
  if (blockBytes <= size_t{1} << 19) {
    // units / 256 = products * 8 / 256, or products * 4 / 256 less
    // 132 / 256 a sample: exact, and so is the one rounding of the fma.
    const __m512d scale = _mm512_set1_pd(ALaw ? 1.0 / 32 : 1.0 / 64);
    const __m512d less =
        _mm512_set1_pd(ALaw ? 0.0 : -132.0 / 256 * static_cast<double>(blockBytes));
    for (; b < blocks; b += 16) {
      const uint32_t left = blocks - b < 16 ? blocks - b : 16;
      __m512i lanes[16];
      for (uint32_t k = 0; k < 16; ++k) lanes[k] = _mm512_setzero_si512();
      for (uint32_t k = 0; k < left; ++k, frames += blockBytes)
        lanes[k] = G711Lanes<ALaw>(frames, frames + blockBytes, channelCount, law, &codes);
      const __m512i products = TotalsOf16(lanes);
      const __mmask16 keep = static_cast<__mmask16>((1u << left) - 1);
      for (size_t half = 0; half < 2; ++half) {
        const __m512d wide = _mm512_cvtepu32_pd(half == 0 ? _mm512_castsi512_si256(products)
                                                          : _mm512_extracti64x4_epi64(products, 1));
        _mm512_mask_storeu_pd(sums + b + 8 * half, static_cast<__mmask8>(keep >> (8 * half)),
                              _mm512_fmadd_pd(wide, scale, less));
      }
    }
  }
  for (; b < blocks; ++b, frames += blockBytes) {
    sums[b] =
        static_cast<double>(SumG711<ALaw>(frames, frames + blockBytes, channelCount, law, &codes)) *
        (1.0 / 256);
  }
  if (blocks != 0) RaiseG711Peaks<ALaw>(codes, channelCount, totals->peaks);
}

namespace {

// The 16-bit samples of a round in the file's byte order, loaded as
// little-endian words: the lanes outside `keep` load as 0.
template <bool BigEndian>
OSTREL_AVX512 OSTREL_LOOP __m512i Load16(const unsigned char* p, __mmask64 keep) {
  const __m512i words = _mm512_maskz_loadu_epi8(keep, p);
  if (!BigEndian) return words;
  return _mm512_shuffle_epi8(
      words, EachLane(_mm_setr_epi8(1, 0, 3, 2, 5, 4, 7, 6, 9, 8, 11, 10, 13, 12, 15, 14)));
}

template <bool BigEndian>
OSTREL_AVX512 OSTREL_LOOP void AddInt16(__m512i values, __m512i* peaks, __m512i* sums) {
  const __m512i magnitudes = _mm512_abs_epi16(values);
  *peaks = _mm512_max_epu16(*peaks, magnitudes);
  *sums = _mm512_dpwssd_epi32(*sums, _mm512_xor_si512(magnitudes, _mm512_set1_epi16(INT16_MIN)),
                              _mm512_set1_epi16(1));
}

// The sum of the sixteen 32-bit lanes, read signed.
OSTREL_AVX512 OSTREL_LOOP int64_t SumSignedLanes32(__m512i v) {
  return _mm512_reduce_add_epi64(_mm512_cvtepi32_epi64(_mm512_castsi512_si256(v))) +
         _mm512_reduce_add_epi64(_mm512_cvtepi32_epi64(_mm512_extracti64x4_epi64(v, 1)));
}

}  // namespace

namespace {

// vpermb's index that puts sample i of 16 packed 3-byte samples at the top
// of 32-bit lane i, least significant byte lowest; the lane's lowest byte is
// any byte, as the shift that brings down the sign drops it.
template <bool BigEndian>
constexpr auto Spread24() {
  struct Index {
    char bytes[64];
  } index{};
  for (int i = 0; i < 16; ++i) {
    index.bytes[4 * i] = static_cast<char>(3 * i);
    for (int k = 0; k < 3; ++k)
      index.bytes[4 * i + 1 + k] = static_cast<char>(3 * i + (BigEndian ? 2 - k : k));
  }
  return index;
}

}  // namespace

// The magnitudes of the 16 packed samples in `packed`'s first 48 bytes.
OSTREL_AVX512 OSTREL_LOOP __m512i Magnitudes24(__m512i packed, __m512i spread) {
  return _mm512_abs_epi32(_mm512_srai_epi32(_mm512_permutexvar_epi8(spread, packed), 8));
}

// Sixteen samples a round, 48 bytes: one load, vpermb to spread them into
// 32-bit lanes and an arithmetic shift to bring down the sign. Lane sums stay
// 32-bit for 256 rounds (256 * 2^23 = 2^31), and are then added up. Full
// rounds load 64 bytes while the call has them; the last rounds of a piece
// load their own bytes alone (the samples past the last read as 0).
template <bool BigEndian>
OSTREL_AVX512 void SumInt24Avx512(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, Totals* totals) {
  if (!FramesFit(channelCount, 4))
    return SumInt24Avx2<BigEndian>(frames, count, channelCount, totals);
  static constexpr auto kSpread = Spread24<BigEndian>();
  constexpr size_t kPiece = size_t{256} * 48;
  const __m512i spread = _mm512_loadu_si512(kSpread.bytes);
  const __m512i zero = _mm512_setzero_si512();
  __m512i peaks = zero, morePeaks = zero;
  uint64_t units = 0;
  const unsigned char* p = frames;
  const unsigned char* const end = frames + size_t{count} * channelCount * 3;
  while (p != end) {
    const unsigned char* const pieceEnd = PieceEnd(p, end, kPiece);
    // Two rounds at a time into two sets of lanes.
    __m512i sums = zero, moreSums = zero;
    for (; pieceEnd - p >= 96 && end - p >= 112; p += 96) {
      const __m512i first = Magnitudes24(_mm512_loadu_si512(p), spread);
      const __m512i second = Magnitudes24(_mm512_loadu_si512(p + 48), spread);
      sums = _mm512_add_epi32(sums, first);
      moreSums = _mm512_add_epi32(moreSums, second);
      peaks = _mm512_max_epu32(peaks, first);
      morePeaks = _mm512_max_epu32(morePeaks, second);
    }
    while (p != pieceEnd) {
      const size_t left = static_cast<size_t>(pieceEnd - p);
      const size_t bytes = left < 48 ? left : 48;
      const __m512i magnitudes =
          Magnitudes24(_mm512_maskz_loadu_epi8(FirstBytes(bytes), p), spread);
      sums = _mm512_add_epi32(sums, magnitudes);
      peaks = _mm512_max_epu32(peaks, magnitudes);
      p += bytes;
    }
    units += SumLanes32(_mm512_add_epi32(sums, moreSums));
  }
  totals->units += units;
  RaisePeaks<uint32_t>(Halves<uint32_t>(_mm512_max_epu32(peaks, morePeaks)), channelCount,
                       totals->peaks);
}

namespace {

// The squares of 16-bit samples by parity, in 32-bit lanes for up to three
// rounds, then added into 64-bit lanes: `sums` takes each pair of 32-bit
// lanes as one 64-bit lane (the low lane plus 2^32 times the high one, any
// carry included) and `highs` the high lanes alone, so that the sum of all
// the lanes is sums - 2^32 * highs + highs, modulo 2^64 as the sums are.
struct Squares16 {
  __m512i narrow[2];
  __m512i sums[2];
  __m512i highs[2];
};

OSTREL_AVX512 OSTREL_LOOP void AddSquares(__m512i values, Squares16* squares) {
  const __mmask32 parity[2] = {0x55555555, 0xAAAAAAAA};
  for (int k = 0; k < 2; ++k) {
    squares->narrow[k] =
        _mm512_dpwssd_epi32(squares->narrow[k], values, _mm512_maskz_mov_epi16(parity[k], values));
  }
}

OSTREL_AVX512 OSTREL_LOOP void WidenSquares(Squares16* squares) {
  for (int k = 0; k < 2; ++k) {
    squares->sums[k] = _mm512_add_epi64(squares->sums[k], squares->narrow[k]);
    squares->highs[k] =
        _mm512_add_epi64(squares->highs[k], _mm512_srli_epi64(squares->narrow[k], 32));
    squares->narrow[k] = _mm512_setzero_si512();
  }
}

// A parity's squares.
OSTREL_AVX512 OSTREL_LOOP uint64_t SquaresOf(const Squares16& squares, int k) {
  const uint64_t sums = SumLanes64(squares.sums[k]);
  const uint64_t highs = SumLanes64(squares.highs[k]);
  return sums - (highs << 32) + highs;
}

// The 16-bit loop, and with `Squares` a report's statistics of the same frames
// in the same pass. Thirty-two samples a round, three at a time. As in the
// AVX2 loop, the magnitudes are unsigned words (vpabsw leaves -32768 as
// 0x8000), each goes into the sums less 32768 (its top bit flipped) so that
// vpdpwssd, which reads words signed, can add neighbouring pairs into 32-bit
// lanes, and each lane comes out 65536 less per round, made up once the rounds
// are counted: a piece of 2^14 rounds (and a call's first, partial round)
// stays within 31 bits. Samples past the
// last load as 0, which that round's count makes up for.
//
// The statistics take mono or stereo frames: even words are the left channel
// and odd ones the right, in mono both channel 1. vpdpwssd of the samples with
// themselves, the other parity's words masked out, adds one parity's squares
// into 32-bit lanes, at most 2^30 a round: three rounds stay within 32 bits
// (read unsigned), then go into 64-bit lanes. Samples past the last load as 0.
template <bool BigEndian, bool Squares>
OSTREL_AVX512 OSTREL_LOOP void SumInt16Rounds(const unsigned char* frames, uint32_t count,
                                              uint32_t channelCount, Totals* totals,
                                              uint64_t firstFrame, ChannelStatistics* channels) {
  constexpr size_t kPiece = size_t{64} << 14;
  const __mmask64 all = ~__mmask64{0};
  const __m512i zero = _mm512_setzero_si512();
  Squares16 squares = {{zero, zero}, {zero, zero}, {zero, zero}};
  __m512i peaks = zero;
  int64_t units = 0;
  const unsigned char* p = frames;
  const unsigned char* const end = frames + size_t{count} * channelCount * 2;
  __m512i sums[3] = {zero, zero, zero};
  int64_t rounds = 0;
  FirstRound first;
  if (RestOfLine(p, end, 2 * channelCount, &first)) {
    const __m512i values = Load16<BigEndian>(first.line, first.keep);
    AddInt16<BigEndian>(values, &peaks, &sums[0]);
    if (Squares) {
      AddSquares(values, &squares);
      WidenSquares(&squares);
    }
    rounds = 1;
    p = first.next;
  }
  if (p == end) units = SumSignedLanes32(sums[0]) + int64_t{32} * 32768;
  while (p != end) {
    const unsigned char* const pieceEnd = PieceEnd(p, end, kPiece);
    for (; pieceEnd - p >= 192; p += 192, rounds += 3) {
      for (size_t r = 0; r < 3; ++r) {
        const __m512i values = Load16<BigEndian>(p + 64 * r, all);
        AddInt16<BigEndian>(values, &peaks, &sums[r]);
        if (Squares) AddSquares(values, &squares);
      }
      if (Squares) WidenSquares(&squares);
    }
    // At most two full rounds and a short one are left: three rounds again.
    for (; p != pieceEnd; ++rounds) {
      const size_t left = static_cast<size_t>(pieceEnd - p);
      const __m512i values = Load16<BigEndian>(p, FirstBytes(left));
      AddInt16<BigEndian>(values, &peaks, &sums[0]);
      if (Squares) AddSquares(values, &squares);
      p += left < 64 ? left : 64;
    }
    if (Squares) WidenSquares(&squares);
    units += SumSignedLanes32(_mm512_add_epi32(_mm512_add_epi32(sums[0], sums[1]), sums[2])) +
             rounds * 32 * 32768;
    sums[0] = sums[1] = sums[2] = zero;
    rounds = 0;
  }
  totals->units += static_cast<uint64_t>(units);
  const __m256i most = Halves<uint16_t>(peaks);
  RaisePeaks<uint16_t>(most, channelCount, totals->peaks);
  if (!Squares) return;
  for (uint32_t k = 0; k < 2; ++k)
    channels[k % channelCount].squareUnits += SquaresOf(squares, static_cast<int>(k));
  lanes::EndStatistics16<BigEndian>(frames, count, channelCount, firstFrame, most, channels);
}

}  // namespace

template <bool BigEndian>
OSTREL_AVX512 void SumInt16Avx512(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, Totals* totals) {
  if (!FramesFit(channelCount, 2))
    return SumInt16Avx2<BigEndian>(frames, count, channelCount, totals);
  SumInt16Rounds<BigEndian, false>(frames, count, channelCount, totals, 0, nullptr);
}

// A report's separate pass over a read: the sums of the same loop, thrown
// away, cost less than a loop of its own. Other channel counts than one and
// two take the AVX2 loop.
template <bool BigEndian>
OSTREL_AVX512 void Statistics16Avx512(const unsigned char* frames, uint32_t count,
                                      uint32_t channelCount, uint64_t firstFrame,
                                      ChannelStatistics* channels) {
  if (channelCount != 1 && channelCount != 2)
    return Statistics16Avx2<BigEndian>(frames, count, channelCount, firstFrame, channels);
  Totals unused;
  SumInt16Rounds<BigEndian, true>(frames, count, channelCount, &unused, firstFrame, channels);
}

// Both in one pass, each round's words loaded once; the call's largest
// magnitudes are those the sums keep anyway.
template <bool BigEndian>
OSTREL_AVX512 void SumInt16StatisticsAvx512(const unsigned char* frames, uint32_t count,
                                            uint32_t channelCount, Totals* totals,
                                            uint64_t firstFrame, ChannelStatistics* channels) {
  if (channelCount != 1 && channelCount != 2) {
    SumInt16Avx512<BigEndian>(frames, count, channelCount, totals);
    return Statistics16Avx2<BigEndian>(frames, count, channelCount, firstFrame, channels);
  }
  SumInt16Rounds<BigEndian, true>(frames, count, channelCount, totals, firstFrame, channels);
}

namespace {

// Float blocks side by side, eight to a register: lane k of a register sums
// block k, each in sample order, as the AVX2 loop does four to a register
// (scan/kernels_avx2.cc says how a magnitude pattern y = 2^31 + m becomes
// the double y << 29, its magnitude times 2^-647, and why the sums are then
// exact). A round loads sixteen samples of each of eight blocks and
// transposes them: two rounds of unpacks leave, for each of the four
// samples c of a 128-bit lane, the words of blocks 0 to 3 in one register
// and of blocks 4 to 7 in another, lane t holding sample 4t + c; vpermt2d
// then puts sample 4t + c of block k into the low word of 64-bit lane k, and
// vpmuludq by 2^29 makes the double of it, the high word ignored.

// vpermt2d's index for lane t: 64-bit lane k takes word 4t + k of the
// register of blocks 0 to 3 for k < 4, of blocks 4 to 7 (from 16 on) above.
constexpr auto SampleOfEach(int t) {
  struct Index {
    int words[16];
  } index{};
  for (size_t k = 0; k < 8; ++k) {
    const int word = 4 * t + static_cast<int>(k < 4 ? k : 12 + k);
    index.words[2 * k] = word;
    index.words[2 * k + 1] = word;
  }
  return index;
}

struct SideBySide {
  __m512i picks[4];
  __m512i top, shift29;
};

OSTREL_AVX512 OSTREL_LOOP SideBySide LoadSideBySide() {
  static constexpr decltype(SampleOfEach(0)) kPicks[4] = {SampleOfEach(0), SampleOfEach(1),
                                                          SampleOfEach(2), SampleOfEach(3)};
  SideBySide s;
  for (int t = 0; t < 4; ++t) s.picks[t] = _mm512_loadu_si512(kPicks[t].words);
  s.top = _mm512_set1_epi32(INT32_MIN);
  s.shift29 = _mm512_set1_epi64(int64_t{1} << 29);
  return s;
}

// Sixteen float words from p, the lanes past `keep` 0: as stored (4-byte
// samples) or narrowed from 8-byte ones by vcvtpd2ps, the conversion
// static_cast<float> makes, under the same rounding mode and flags.
template <uint32_t SampleBytes, bool BigEndian>
OSTREL_AVX512 OSTREL_LOOP __m512i FloatWords(const unsigned char* p, __mmask16 keep) {
  if (SampleBytes == 4) {
    const __m512i words = _mm512_maskz_loadu_epi32(keep, p);
    return BigEndian ? ByteSwap32(words) : words;
  }
  __m512i halves[2];
  for (size_t h = 0; h < 2; ++h) {
    halves[h] = _mm512_maskz_loadu_epi64(static_cast<__mmask8>(keep >> (8 * h)), p + 64 * h);
    if (BigEndian) halves[h] = ByteSwap64(halves[h]);
  }
  const __m256 low = _mm512_cvtpd_ps(_mm512_castsi512_pd(halves[0]));
  const __m256 high = _mm512_cvtpd_ps(_mm512_castsi512_pd(halves[1]));
  return _mm512_inserti64x4(_mm512_castsi256_si512(_mm256_castps_si256(low)),
                            _mm256_castps_si256(high), 1);
}

// The words of sixteen samples from p of each of eight blocks `stride` bytes
// apart, each with its top bit set, transposed: quads[h][c] holds in lane t
// sample 4t + c of blocks 4h to 4h + 3. Raises `peaks` by the words. Words
// past `keep` load as 0, and so raise no peak.
template <uint32_t SampleBytes, bool BigEndian>
OSTREL_AVX512 OSTREL_LOOP void LoadFloatRound(const unsigned char* p, size_t stride, __mmask16 keep,
                                              const SideBySide& s, __m512i* peaks,
                                              __m512i (&quads)[2][4]) {
  __m512i words[8];
  for (int k = 0; k < 8; ++k)
    words[k] = _mm512_or_si512(FloatWords<SampleBytes, BigEndian>(p + k * stride, keep), s.top);
  *peaks = _mm512_max_epu32(
      *peaks, _mm512_max_epu32(_mm512_max_epu32(_mm512_max_epu32(words[0], words[1]),
                                                _mm512_max_epu32(words[2], words[3])),
                               _mm512_max_epu32(_mm512_max_epu32(words[4], words[5]),
                                                _mm512_max_epu32(words[6], words[7]))));
  for (size_t h = 0; h < 2; ++h) {  // blocks 0 to 3, then 4 to 7
    const __m512i* w = words + 4 * h;
    const __m512i low01 = _mm512_unpacklo_epi32(w[0], w[1]);
    const __m512i low23 = _mm512_unpacklo_epi32(w[2], w[3]);
    const __m512i high01 = _mm512_unpackhi_epi32(w[0], w[1]);
    const __m512i high23 = _mm512_unpackhi_epi32(w[2], w[3]);
    quads[h][0] = _mm512_unpacklo_epi64(low01, low23);
    quads[h][1] = _mm512_unpackhi_epi64(low01, low23);
    quads[h][2] = _mm512_unpacklo_epi64(high01, high23);
    quads[h][3] = _mm512_unpackhi_epi64(high01, high23);
  }
}

// Sample i of eight blocks as doubles, one to a 64-bit lane.
OSTREL_AVX512 OSTREL_LOOP __m512d SampleOfEight(const __m512i (&quads)[2][4], uint32_t i,
                                                const SideBySide& s) {
  const __m512i each = _mm512_permutex2var_epi32(quads[0][i % 4], s.picks[i / 4], quads[1][i % 4]);
  return _mm512_castsi512_pd(_mm512_mul_epu32(each, s.shift29));
}

// Adds the first `samples` (up to 16) samples from p of each of sixteen
// blocks `stride` bytes apart to the sums of acc[0] (blocks 0 to 7) and
// acc[1] (8 to 15), one sample of each set of eight in turn, so that the two
// chains of additions go on together.
template <uint32_t SampleBytes, bool BigEndian, bool Whole>
OSTREL_AVX512 OSTREL_LOOP void AddFloatRounds(const unsigned char* p, size_t stride,
                                              uint32_t samples, const SideBySide& s,
                                              __m512d (&acc)[2], __m512i* peaks) {
  const __mmask16 keep = Whole ? 0xFFFF : static_cast<__mmask16>((1u << samples) - 1);
  __m512i first[2][4], second[2][4];
  LoadFloatRound<SampleBytes, BigEndian>(p, stride, keep, s, peaks, first);
  LoadFloatRound<SampleBytes, BigEndian>(p + 8 * stride, stride, keep, s, peaks, second);
  for (uint32_t i = 0; i < (Whole ? 16 : samples); ++i) {
    acc[0] = _mm512_add_pd(acc[0], SampleOfEight(first, i, s));
    acc[1] = _mm512_add_pd(acc[1], SampleOfEight(second, i, s));
  }
}

// Sixteen blocks of `blockSamples` samples of `SampleBytes` each, in two
// registers whose sums go on side by side. Rounds take sixteen samples of
// each block; the last round takes what is left.
template <uint32_t SampleBytes, bool BigEndian>
OSTREL_AVX512 OSTREL_LOOP void SumSixteenFloatBlocks(const unsigned char* frames,
                                                     size_t blockSamples, uint32_t channelCount,
                                                     double* sums, Totals* totals) {
  const SideBySide s = LoadSideBySide();
  const size_t stride = SampleBytes * blockSamples;
  __m512d acc[2] = {_mm512_setzero_pd(), _mm512_setzero_pd()};
  __m512i peaks = _mm512_setzero_si512();
  size_t j = 0;
  for (; blockSamples - j >= 16; j += 16) {
    AddFloatRounds<SampleBytes, BigEndian, true>(frames + SampleBytes * j, stride, 16, s, acc,
                                                 &peaks);
  }
  if (j != blockSamples) {
    AddFloatRounds<SampleBytes, BigEndian, false>(
        frames + SampleBytes * j, stride, static_cast<uint32_t>(blockSamples - j), s, acc, &peaks);
  }
  const __m512d unscale = _mm512_set1_pd(0x1p647);
  _mm512_storeu_pd(sums, _mm512_mul_pd(acc[0], unscale));
  _mm512_storeu_pd(sums + 8, _mm512_mul_pd(acc[1], unscale));
  // Rounds start on a frame: in stereo even lanes are left and odd right.
  RaisePeaks<uint32_t>(Halves<uint32_t>(_mm512_andnot_si512(s.top, peaks)), channelCount,
                       totals->peaks);
}

}  // namespace

// Other counts than sixteen take the AVX2 loop, as do frames of other than
// one or two channels.
template <bool BigEndian>
OSTREL_AVX512 void SumFloat32BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                          uint32_t blocks, uint32_t channelCount, double* sums,
                                          Totals* totals) {
  if (blocks != 16 || !FramesFit(channelCount, 4)) {
    return SumFloat32BlocksAvx2<BigEndian>(frames, blockFrames, blocks, channelCount, sums, totals);
  }
  SumSixteenFloatBlocks<4, BigEndian>(frames, size_t{blockFrames} * channelCount, channelCount,
                                      sums, totals);
}

// Mono 64-bit floats as stored, sixteen blocks a call, each sample narrowed
// in the round that adds it. Any other count or channel count: each block a
// piece at a time, narrowed into a copy and summed frame by frame.
template <bool BigEndian>
OSTREL_AVX512 void SumFloat64BlocksAvx512(const unsigned char* frames, uint32_t blockFrames,
                                          uint32_t blocks, uint32_t channelCount, double* sums,
                                          Totals* totals) {
  const size_t blockSamples = size_t{blockFrames} * channelCount;
  if (blocks == 16 && channelCount == 1)
    return SumSixteenFloatBlocks<8, BigEndian>(frames, blockSamples, 1, sums, totals);
  constexpr size_t kPieceFrames = 512;
  alignas(64) unsigned char copy[8 * kPieceFrames * kMostChannels];
  for (uint32_t b = 0; b < blocks; ++b) {
    Totals block = *totals;
    block.sum = 0;
    for (uint32_t done = 0; done < blockFrames;) {
      const uint32_t piece = blockFrames - done < kPieceFrames ? blockFrames - done : kPieceFrames;
      const size_t pieceSamples = size_t{piece} * channelCount;
      std::memcpy(copy, frames + 8 * (size_t{b} * blockSamples + size_t{done} * channelCount),
                  8 * pieceSamples);
      NarrowDoublesAvx512<BigEndian>(copy, pieceSamples);
      loops::SumFloat32Loop<false>(copy, piece, channelCount, &block);
      done += piece;
    }
    sums[b] = block.sum;
    std::memcpy(totals->peaks, block.peaks, sizeof block.peaks);
  }
}

namespace {

// The lanes of a 32-bit round and their magnitudes' sums: see below.
struct Int32Lanes {
  __m512i peaks, sums, highs;
};

template <bool BigEndian>
OSTREL_AVX512 OSTREL_LOOP void AddInt32(const unsigned char* line, __mmask64 keep,
                                        Int32Lanes* lanes) {
  const __m512i values = _mm512_maskz_loadu_epi8(keep, line);
  const __m512i magnitudes = _mm512_abs_epi32(BigEndian ? ByteSwap32(values) : values);
  lanes->peaks = _mm512_max_epu32(lanes->peaks, magnitudes);
  lanes->sums = _mm512_add_epi64(lanes->sums, magnitudes);
  lanes->highs = _mm512_add_epi64(lanes->highs, _mm512_srli_epi64(magnitudes, 32));
}

}  // namespace

// Sixteen 32-bit samples a round. vpabsd leaves -2^31 as 0x80000000, which
// read unsigned is its magnitude. Each pair of magnitudes is added into a
// 64-bit lane as one number (the low one plus 2^32 times the high one, modulo
// 2^64) and the high ones alone into `highs`, so the sum of the magnitudes
// is that of the lanes less 2^32 - 1 times that of `highs`, modulo 2^64 as
// the units are. Samples outside the call load as 0.
template <bool BigEndian>
OSTREL_AVX512 void SumInt32Avx512(const unsigned char* frames, uint32_t count,
                                  uint32_t channelCount, Totals* totals) {
  if (!FramesFit(channelCount, 4))
    return SumInt32Avx2<BigEndian>(frames, count, channelCount, totals);
  const __m512i zero = _mm512_setzero_si512();
  Int32Lanes lanes = {zero, zero, zero};
  const __mmask64 all = ~__mmask64{0};
  const unsigned char* p = frames;
  const unsigned char* const end = frames + size_t{count} * channelCount * 4;
  FirstRound first;
  if (RestOfLine(p, end, 4 * channelCount, &first)) {
    AddInt32<BigEndian>(first.line, first.keep, &lanes);
    p = first.next;
  }
  for (; end - p >= 64; p += 64) AddInt32<BigEndian>(p, all, &lanes);
  if (p != end) AddInt32<BigEndian>(p, FirstBytes(static_cast<size_t>(end - p)), &lanes);
  const uint64_t high = SumLanes64(lanes.highs);
  totals->units += SumLanes64(lanes.sums) - (high << 32) + high;
  RaisePeaks<uint32_t>(Halves<uint32_t>(lanes.peaks), channelCount, totals->peaks);
}

// 64-bit float samples narrowed in place, sixteen a round, as the
// side-by-side loop narrows them. A round reads its 128 bytes before it
// writes the 64 below them, and later rounds read only past those 128 bytes.
template <bool BigEndian>
OSTREL_AVX512 void NarrowDoublesAvx512(unsigned char* samples, size_t count) {
  for (size_t i = 0; i < count; i += 16) {
    const size_t left = count - i;
    const auto keep = static_cast<__mmask16>(left >= 16 ? 0xFFFF : (1u << left) - 1);
    _mm512_mask_storeu_epi32(samples + 4 * i, keep,
                             FloatWords<8, BigEndian>(samples + 8 * i, keep));
  }
}

template void SumG711Avx512<false>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumG711Avx512<true>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumG711BlocksAvx512<false>(const unsigned char*, uint32_t, uint32_t, uint32_t,
                                         double*, Totals*);
template void SumG711BlocksAvx512<true>(const unsigned char*, uint32_t, uint32_t, uint32_t, double*,
                                        Totals*);
template void SumInt16Avx512<false>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt16Avx512<true>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt24Avx512<false>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt24Avx512<true>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void Statistics16Avx512<false>(const unsigned char*, uint32_t, uint32_t, uint64_t,
                                        ChannelStatistics*);
template void Statistics16Avx512<true>(const unsigned char*, uint32_t, uint32_t, uint64_t,
                                       ChannelStatistics*);
template void SumInt16StatisticsAvx512<false>(const unsigned char*, uint32_t, uint32_t, Totals*,
                                              uint64_t, ChannelStatistics*);
template void SumInt16StatisticsAvx512<true>(const unsigned char*, uint32_t, uint32_t, Totals*,
                                             uint64_t, ChannelStatistics*);
template void SumFloat32BlocksAvx512<false>(const unsigned char*, uint32_t, uint32_t, uint32_t,
                                            double*, Totals*);
template void SumFloat32BlocksAvx512<true>(const unsigned char*, uint32_t, uint32_t, uint32_t,
                                           double*, Totals*);
template void SumFloat64BlocksAvx512<false>(const unsigned char*, uint32_t, uint32_t, uint32_t,
                                            double*, Totals*);
template void SumFloat64BlocksAvx512<true>(const unsigned char*, uint32_t, uint32_t, uint32_t,
                                           double*, Totals*);
template void SumInt32Avx512<false>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void SumInt32Avx512<true>(const unsigned char*, uint32_t, uint32_t, Totals*);
template void NarrowDoublesAvx512<false>(unsigned char*, size_t);
template void NarrowDoublesAvx512<true>(unsigned char*, size_t);
