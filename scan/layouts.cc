// The table of sample layouts and the plain loops of each: the loop bodies
// of scan/kernel_loops.h built for the target the compiler builds for
// (vectorised for SSE2 on x86-64, NEON on aarch64), so they run on any
// processor.
#include "scan/layouts.h"

#include <cstddef>
#include <cstdint>

#include "scan/float32.h"
#include "scan/kernel_loops.h"
#if defined(__x86_64__)
#include "scan/kernels_avx2.h"
#define OSTREL_AVX2_LOOP(loop) loop
#else
#define OSTREL_AVX2_LOOP(loop) nullptr
#endif

namespace {

// The values of the samples, the plain way: the lower bytes unsigned, the
// top byte signed.
double Decode8(const unsigned char* b) { return b[0] - 128.0; }
double Decode16(const unsigned char* b) { return static_cast<signed char>(b[1]) + b[0] / 256.0; }
double Decode24(const unsigned char* b) {
  return static_cast<signed char>(b[2]) + b[1] / 256.0 + b[0] / 65536.0;
}
double Decode32(const unsigned char* b) {
  return static_cast<signed char>(b[3]) + b[2] / 256.0 + b[1] / 65536.0 + b[0] / 16777216.0;
}
double DecodeFloat32(const unsigned char* b) { return Float32Convert(b[0], b[1], b[2], b[3]); }
double DecodeNothing(const unsigned char*) { return 0; }

// Each plain loop is one function, so that the table can point at it.
template <auto Loop>
void Frames(const unsigned char* frames, uint32_t count, uint32_t channelCount, Totals* totals) {
  Loop(frames, count, channelCount, totals);
}

template <auto Loop>
void Blocks(const unsigned char* frames, uint32_t blockFrames, uint32_t blocks,
            uint32_t channelCount, double* sums, Totals* totals) {
  Loop(frames, blockFrames, blocks, channelCount, sums, totals);
}

void NoFrames(const unsigned char*, uint32_t, uint32_t, Totals*) {}

// Integer layouts: magnitudes of `Bytes`-byte samples in units of 2^-UnitBits.
template <size_t Bytes, uint32_t (*Magnitude)(const unsigned char*), int UnitBits>
constexpr LayoutEntry Integer(const char* name, double (*decode)(const unsigned char*),
                              uint32_t largest, FramesLoop plainFrames, FramesLoop avx2Frames) {
  return {name,
          Bytes,
          decode,
          1.0 / static_cast<double>(uint64_t{1} << UnitBits),
          largest,
          Grouping::kShortBlocks,
          {plainFrames, loops::SumIntegerBlocks<Bytes, Magnitude, UnitBits>},
          loops::SumIntegerAsDoubles<Bytes, Magnitude, UnitBits>,
          {avx2Frames, nullptr}};
}

constexpr LayoutEntry kUnsigned8 = Integer<1, loops::Magnitude8, 0>(
    "u8", Decode8, 1u << 7, Frames<loops::SumInt8Loop>, OSTREL_AVX2_LOOP(SumInt8Avx2));
constexpr LayoutEntry kSigned16 = Integer<2, loops::Magnitude16, 8>(
    "s16", Decode16, 1u << 15, Frames<loops::SumInt16Loop>, OSTREL_AVX2_LOOP(SumInt16Avx2));
constexpr LayoutEntry kSigned24 = Integer<3, loops::Magnitude24, 16>(
    "s24", Decode24, 1u << 23, Frames<loops::SumInt24Loop>, OSTREL_AVX2_LOOP(SumInt24Avx2));
constexpr LayoutEntry kSigned32 = Integer<4, loops::Magnitude32, 24>(
    "s32", Decode32, 1u << 31, Frames<loops::SumInt32Loop>, OSTREL_AVX2_LOOP(SumInt32Avx2));
constexpr LayoutEntry kFloat32 = {
    "f32",
    4,
    DecodeFloat32,
    0,
    0,
    Grouping::kSideBySide,
    {Frames<loops::SumFloat32Loop>, Blocks<loops::SumFloat32BlocksLoop>},
    nullptr,
    {nullptr, OSTREL_AVX2_LOOP(SumFloat32BlocksAvx2)}};
// Walked without decoding: rows without dots, peaks 0.
constexpr LayoutEntry kUndecoded = {
    "none", 0, DecodeNothing, 1, 1, Grouping::kShortBlocks, {NoFrames, nullptr}, NoFrames, {}};

}  // namespace

const LayoutEntry& LayoutOf(SampleLayout layout) {
  switch (layout) {
    case SampleLayout::kUnsigned8:
      return kUnsigned8;
    case SampleLayout::kSigned16:
      return kSigned16;
    case SampleLayout::kSigned24:
      return kSigned24;
    case SampleLayout::kSigned32:
      return kSigned32;
    case SampleLayout::kFloat32:
      return kFloat32;
    case SampleLayout::kUndecoded:
      break;
  }
  return kUndecoded;
}

bool UsesAvx2() {
#if defined(__x86_64__) && !defined(OSTREL_PLAIN_KERNELS)
  return __builtin_cpu_supports("avx2");
#else
  return false;
#endif
}

Loops LoopsOf(const LayoutEntry& entry) {
  if (!UsesAvx2()) return entry.plain;
  return {entry.avx2.frames != nullptr ? entry.avx2.frames : entry.plain.frames,
          entry.avx2.blocks != nullptr ? entry.avx2.blocks : entry.plain.blocks};
}

double PeakLevel(const LayoutEntry& entry, uint32_t magnitude) {
  return entry.unit != 0 ? magnitude * entry.unit : Float32Magnitude(magnitude);
}
