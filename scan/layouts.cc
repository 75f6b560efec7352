// The table of sample layouts and the plain loops of each: the loop bodies
// of scan/kernel_loops.h built for the target the compiler builds for
// (vectorised for SSE2 on x86-64, NEON on aarch64), so they run on any
// processor.
#include "scan/layouts.h"

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "scan/float32.h"
#include "scan/kernel_loops.h"
#if defined(__x86_64__)
#include "scan/kernels_avx2.h"
#include "scan/kernels_avx512.h"
#define OSTREL_X86_LOOP(loop) loop
#else
#define OSTREL_X86_LOOP(loop) nullptr
#endif

namespace {

// The values of the samples, the plain way: the lower bytes unsigned, the
// top byte signed.
double Decode8(const unsigned char* b) { return b[0] - 128.0; }
template <bool BigEndian>
double Decode16(const unsigned char* b) {
  return static_cast<signed char>(b[BigEndian ? 0 : 1]) + b[BigEndian ? 1 : 0] / 256.0;
}
template <bool BigEndian>
double Decode24(const unsigned char* b) {
  return static_cast<signed char>(b[BigEndian ? 0 : 2]) + b[1] / 256.0 +
         b[BigEndian ? 2 : 0] / 65536.0;
}
template <bool BigEndian>
double Decode32(const unsigned char* b) {
  const unsigned char* v = b;
  const unsigned char swapped[4] = {b[3], b[2], b[1], b[0]};
  if (BigEndian) v = swapped;
  return static_cast<signed char>(v[3]) + v[2] / 256.0 + v[1] / 65536.0 + v[0] / 16777216.0;
}
template <bool BigEndian>
double DecodeFloat32(const unsigned char* b) {
  return BigEndian ? Float32Convert(b[3], b[2], b[1], b[0])
                   : Float32Convert(b[0], b[1], b[2], b[3]);
}
// The nearest float, then as a float sample.
template <bool BigEndian>
double DecodeFloat64(const unsigned char* b) {
  const float narrow = loops::NarrowDouble<BigEndian>(b);
  unsigned char bytes[4];
  std::memcpy(bytes, &narrow, sizeof bytes);
  return DecodeFloat32<false>(bytes);
}
// G.711: the 16-bit linear value over 256, as a 16-bit sample; the sign bit
// set (mu-law) or clear (A-law) is negative.
double DecodeMuLaw(const unsigned char* b) {
  const double magnitude = loops::MagnitudeMuLaw(b) / 256.0;
  return (b[0] & 0x80) != 0 ? magnitude : -magnitude;
}
double DecodeALaw(const unsigned char* b) {
  const double magnitude = loops::MagnitudeALaw(b) / 256.0;
  return ((b[0] ^ 0x55) & 0x80) != 0 ? magnitude : -magnitude;
}
double DecodeNothing(const unsigned char*) { return 0; }

// Each plain loop is one function, so that the table can point at it.
template <auto Loop>
void Frames(const unsigned char* frames, uint32_t count, uint32_t channelCount, Totals* totals) {
  Loop(frames, count, channelCount, totals);
}

template <auto Loop>
void Statistics(const unsigned char* frames, uint32_t count, uint32_t channelCount,
                uint64_t firstFrame, ChannelStatistics* channels) {
  Loop(frames, count, channelCount, firstFrame, channels);
}

template <auto Loop>
void Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
            uint32_t channelCount, double* sums, Totals* totals) {
  Loop(frames, blockFrames, blocks, channelCount, sums, totals);
}

void NoFrames(const unsigned char*, uint32_t, uint32_t, Totals*) {}

void NoStatistics(const unsigned char*, uint32_t, uint32_t, uint64_t, ChannelStatistics*) {}

// Integer layouts: magnitudes of `Bytes`-byte samples in units of 2^-UnitBits;
// `ClipAt` is the smaller of the two extreme codes' magnitudes, so that
// both count as clipped.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*), int UnitBits, uint32_t ClipAt>
constexpr LayoutEntry Integer(const char* name, double (*decode)(const unsigned char*),
                              uint32_t largest, FramesLoop plainFrames, Loops avx2, Loops avx512) {
  return {
      name,
      Bytes,
      decode,
      1.0 / static_cast<double>(uint64_t{1} << UnitBits),
      largest,
      Grouping::kShortBlocks,
      {plainFrames, loops::SumIntegerBlocks<Bytes, Magnitude, UnitBits>,
       Statistics<
           loops::SumStatistics<Bytes, Magnitude, loops::StatisticsPiece(Bytes), ClipAt, false>>,
       nullptr},
      loops::SumIntegerAsDoubles<Bytes, Magnitude, UnitBits>,
      avx2,
      avx512,
      Bytes};
}

// Float layouts: magnitude patterns of 4-byte floats, summed as doubles.
// 64-bit floats are first narrowed to little-endian 4-byte floats in place,
// and then summed as those are.
template <bool BigEndian>
constexpr LayoutEntry Float32(const char* name) {
  return {name,
          4,
          DecodeFloat32<BigEndian>,
          0,
          0,
          Grouping::kSideBySide,
          // |x| >= 1.0 is clipped: the patterns from 1.0's up.
          {Frames<loops::SumFloat32Loop<BigEndian>>, Blocks<loops::SumFloat32BlocksLoop<BigEndian>>,
           Statistics<
               loops::SumStatistics<4, loops::FloatPattern<BigEndian>, 1u << 16, 0x3F800000, true>>,
           nullptr},
          nullptr,
          {nullptr, OSTREL_X86_LOOP(SumFloat32BlocksAvx2<BigEndian>), nullptr, nullptr},
          {nullptr, OSTREL_X86_LOOP(SumFloat32BlocksAvx512<BigEndian>), nullptr, nullptr},
          4};
}

template <bool BigEndian>
constexpr LayoutEntry Float64(const char* name) {
  LayoutEntry entry = Float32<false>(name);
  entry.bytesPerSample = 8;
  entry.decode = DecodeFloat64<BigEndian>;
  entry.plain.narrow = loops::NarrowDoubles<BigEndian>;
  entry.avx2.narrow = OSTREL_X86_LOOP(NarrowDoublesAvx2<BigEndian>);
  entry.avx512.narrow = OSTREL_X86_LOOP(NarrowDoublesAvx512<BigEndian>);
  entry.avx512.storedBlocks = OSTREL_X86_LOOP(SumFloat64BlocksAvx512<BigEndian>);
  return entry;
}

constexpr LayoutEntry kUnsigned8 = Integer<1, loops::Magnitude8, 0, 127>(
    "u8", Decode8, 1u << 7, Frames<loops::SumInt8Loop<loops::Magnitude8>>,
    {OSTREL_X86_LOOP(SumInt8Avx2), nullptr, nullptr, nullptr},
    {OSTREL_X86_LOOP(SumInt8Avx512), OSTREL_X86_LOOP(SumInt8BlocksAvx512), nullptr, nullptr});
constexpr LayoutEntry kMuLaw = Integer<1, loops::MagnitudeMuLaw, 8, 32124>(
    "ulaw", DecodeMuLaw, 32124, Frames<loops::SumInt8Loop<loops::MagnitudeMuLaw>>,
    {OSTREL_X86_LOOP(SumMuLawAvx2), nullptr, nullptr, nullptr},
    {OSTREL_X86_LOOP(SumG711Avx512<false>), OSTREL_X86_LOOP(SumG711BlocksAvx512<false>), nullptr,
     nullptr});
constexpr LayoutEntry kALaw = Integer<1, loops::MagnitudeALaw, 8, 32256>(
    "alaw", DecodeALaw, 32256, Frames<loops::SumInt8Loop<loops::MagnitudeALaw>>,
    {OSTREL_X86_LOOP(SumALawAvx2), nullptr, nullptr, nullptr},
    {OSTREL_X86_LOOP(SumG711Avx512<true>), OSTREL_X86_LOOP(SumG711BlocksAvx512<true>), nullptr,
     nullptr});
// Two entries for each wider layout: as stored in RIFF and in RIFX.
template <bool BigEndian>
constexpr LayoutEntry kSigned16 = Integer<2, loops::Magnitude16<BigEndian>, 8, 32767>(
    BigEndian ? "s16be" : "s16", Decode16<BigEndian>, 1u << 15,
    Frames<loops::SumInt16Loop<BigEndian>>,
    {OSTREL_X86_LOOP(SumInt16Avx2<BigEndian>), nullptr,
     OSTREL_X86_LOOP(Statistics16Avx2<BigEndian>), nullptr},
    {OSTREL_X86_LOOP(SumInt16Avx512<BigEndian>), nullptr,
     OSTREL_X86_LOOP(Statistics16Avx512<BigEndian>), nullptr,
     OSTREL_X86_LOOP(SumInt16StatisticsAvx512<BigEndian>)});
template <bool BigEndian>
constexpr LayoutEntry kSigned24 = Integer<3, loops::Magnitude24<BigEndian>, 16, 8388607>(
    BigEndian ? "s24be" : "s24", Decode24<BigEndian>, 1u << 23,
    Frames<loops::SumInt24Loop<BigEndian>>,
    {OSTREL_X86_LOOP(SumInt24Avx2<BigEndian>), nullptr, nullptr, nullptr},
    {OSTREL_X86_LOOP(SumInt24Avx512<BigEndian>), nullptr, nullptr, nullptr});
template <bool BigEndian>
constexpr LayoutEntry kSigned32 = Integer<4, loops::Magnitude32<BigEndian>, 24, 2147483647>(
    BigEndian ? "s32be" : "s32", Decode32<BigEndian>, 1u << 31,
    Frames<loops::SumInt32Loop<BigEndian>>,
    {OSTREL_X86_LOOP(SumInt32Avx2<BigEndian>), nullptr, nullptr, nullptr},
    {OSTREL_X86_LOOP(SumInt32Avx512<BigEndian>), nullptr, nullptr, nullptr});
template <bool BigEndian>
constexpr LayoutEntry kFloat32 = Float32<BigEndian>(BigEndian ? "f32be" : "f32");
template <bool BigEndian>
constexpr LayoutEntry kFloat64 = Float64<BigEndian>(BigEndian ? "f64be" : "f64");
// Refused before any scan; walked without decoding where a test asks.
constexpr LayoutEntry kUndecoded = {"none",
                                    0,
                                    DecodeNothing,
                                    1,
                                    1,
                                    Grouping::kShortBlocks,
                                    {NoFrames, nullptr, NoStatistics, nullptr},
                                    NoFrames,
                                    {nullptr, nullptr, nullptr, nullptr},
                                    {nullptr, nullptr, nullptr, nullptr},
                                    0};

template <bool BigEndian>
const LayoutEntry& EntryOf(SampleLayout layout) {
  switch (layout) {
    case SampleLayout::kUnsigned8:
      return kUnsigned8;
    case SampleLayout::kALaw:
      return kALaw;
    case SampleLayout::kMuLaw:
      return kMuLaw;
    case SampleLayout::kSigned16:
      return kSigned16<BigEndian>;
    case SampleLayout::kSigned24:
      return kSigned24<BigEndian>;
    case SampleLayout::kSigned32:
      return kSigned32<BigEndian>;
    case SampleLayout::kFloat32:
      return kFloat32<BigEndian>;
    case SampleLayout::kFloat64:
      return kFloat64<BigEndian>;
    case SampleLayout::kUndecoded:
      break;
  }
  return kUndecoded;
}

}  // namespace

const LayoutEntry& LayoutOf(SampleLayout layout, ByteOrder order) {
  switch (order) {
    case ByteOrder::kBigEndian:
      return EntryOf<true>(layout);
    case ByteOrder::kLittleEndian:
      break;
  }
  return EntryOf<false>(layout);
}

LoopSet BestLoopSet() {
#if defined(__x86_64__) && !defined(OSTREL_PLAIN_KERNELS)
  if (!__builtin_cpu_supports("avx2")) return LoopSet::kPlain;
  return HasAvx512Loops() ? LoopSet::kAvx512 : LoopSet::kAvx2;
#else
  return LoopSet::kPlain;
#endif
}

Loops LoopsOf(const LayoutEntry& entry, LoopSet set) {
  Loops loops = entry.plain;
  // Each set over the one below it, member by member.
  const auto over = [&loops](const Loops& faster) {
    if (faster.frames != nullptr) loops.frames = faster.frames;
    if (faster.blocks != nullptr) loops.blocks = faster.blocks;
    if (faster.statistics != nullptr) loops.statistics = faster.statistics;
    if (faster.narrow != nullptr) loops.narrow = faster.narrow;
    if (faster.framesStatistics != nullptr) loops.framesStatistics = faster.framesStatistics;
    if (faster.storedBlocks != nullptr) loops.storedBlocks = faster.storedBlocks;
  };
  if (set >= LoopSet::kAvx2) over(entry.avx2);
  if (set >= LoopSet::kAvx512) over(entry.avx512);
  return loops;
}

double PeakLevel(const LayoutEntry& entry, uint32_t magnitude) {
  return entry.unit != 0 ? magnitude * entry.unit : Float32Magnitude(magnitude);
}
