#include "tests/level_x87.h"

#if defined(__x86_64__)

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "driver/settings.h"
#include "scan/level.h"
#include "tests/reference_scan.h"

static_assert(LDBL_MANT_DIG == 64, "long double is the x87 80-bit format on x86-64");

double X87Level(const LevelInput& input) {
  // Three channels and more: the sum over channels times resolution, a
  // divisor below 2^35 and so exact in long double.
  if (input.channelCount > 2) {
    const auto divisor = static_cast<long double>(uint64_t{input.channelCount} * input.resolution);
    return static_cast<double>(input.blockSum / divisor * input.magnification);
  }
  const long double sum = input.channelCount == 2 ? input.blockSum / 2 : input.blockSum;
  return static_cast<double>(sum / input.resolution * input.magnification);
}

uint64_t X87FrameAtTime(uint32_t sampleRate, float seconds) {
  const long double product =
      static_cast<long double>(sampleRate) * static_cast<long double>(seconds);
  if (!(product > -9223372036854775809.0L && product < 9223372036854775808.0L)) return 0;
  const auto whole = static_cast<int64_t>(product);
  return whole >= 0 ? static_cast<uint64_t>(whole) : static_cast<uint32_t>(whole);
}

bool LevelAgrees(const LevelInput& input, bool* quick) {
  const uint64_t expected = DoubleBits(X87Level(input));
  const bool block =
      DoubleBits(BlockLevel(input.blockSum, input.channelCount, input.resolution,
                            input.magnification)) == expected &&
      DoubleBits(PortableBlockLevel(input.blockSum, input.channelCount, input.resolution,
                                    input.magnification)) == expected;
  if (input.channelCount > 2) {
    // One way only: the exact one, with the whole divisor.
    *quick = false;
    return block &&
           DoubleBits(ExactLevel(input.blockSum, uint64_t{input.channelCount} * input.resolution,
                                 input.magnification)) == expected;
  }
  const double sum = input.channelCount == 2 ? input.blockSum / 2 : input.blockSum;
  double quickLevel = 0;
  *quick = QuickLevel(sum, input.resolution, input.magnification, &quickLevel);
  return block && DoubleBits(ExactLevel(sum, input.resolution, input.magnification)) == expected &&
         (!*quick || DoubleBits(quickLevel) == expected);
}

namespace {

// splitmix64: fast enough for a billion inputs, and the same on every run.
uint64_t Next(uint64_t* state) {
  uint64_t z = (*state += 0x9E3779B97F4A7C15);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EB;
  return z ^ (z >> 31);
}

// 0 ... n - 1.
uint32_t Below(uint64_t* state, uint32_t n) {
  return static_cast<uint32_t>((Next(state) >> 32) * n >> 32);
}

float FloatFromBits(uint32_t bits) {
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

uint32_t FloatBits(float value) {
  uint32_t bits;
  std::memcpy(&bits, &value, sizeof bits);
  return bits;
}

double DoubleFromBits(uint64_t bits) {
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// A random 53-bit significand times 2^exponent.
double Significand53(uint64_t* state, int exponent) {
  return std::ldexp(static_cast<double>(Next(state) >> 11 | uint64_t{1} << 52), exponent - 52);
}

uint32_t DrawResolution(uint64_t* state) {
  static const uint32_t common[] = {1,     2,     3,       4,        5,          7,     48,
                                    441,   1200,  2205,    2400,     4410,       44100, 48000,
                                    65536, 96000, 1 << 20, 1u << 31, 4294967295u};
  switch (Below(state, 4)) {
    case 0:
      return common[Below(state, sizeof common / sizeof common[0])];
    case 1:
      return 1 + Below(state, 4096);
    case 2: {
      const uint32_t any = static_cast<uint32_t>(Next(state) >> 32) >> Below(state, 32);
      return any == 0 ? 1 : any;
    }
    default: {
      const auto any = static_cast<uint32_t>(Next(state) >> 32);
      return any == 0 ? 1 : any;
    }
  }
}

// A normal float in (0, 256].
float NormalMagnification(uint64_t* state) {
  if (Below(state, 64) == 0) return 256;
  return FloatFromBits((1 + Below(state, 134)) << 23 | Below(state, 1 << 23));
}

float DrawMagnification(uint64_t* state) {
  switch (Below(state, 16)) {
    case 0:
    case 1:
    case 2:
      return 1;
    case 3:
    case 4:
      return static_cast<float>(1 + Below(state, 256));
    case 5:
    case 6: {
      // 3, 5 or 7 times a power of two: the rounded quotient times these can
      // land halfway between two 64-bit significands.
      static const float odd[] = {3, 5, 7};
      return std::ldexp(odd[Below(state, 3)], static_cast<int>(Below(state, 36)) - 30);
    }
    case 7:
      // Subnormal floats, 1e-45 (the smallest) among them.
      return FloatFromBits(Below(state, 4) == 0 ? 1 : 1 + Below(state, 0x7FFFFF));
    case 8:
      // nan, either sign, any payload: what strtod makes of "nan", "-nan"
      // and "nan(...)".
      return FloatFromBits((Below(state, 2) << 31) | 0x7FC00000 |
                           (Below(state, 2) == 0 ? 0 : Below(state, 1 << 22)));
    default:
      return NormalMagnification(state);
  }
}

double DrawSum(uint64_t* state) {
  switch (Below(state, 8)) {
    case 0: {
      // 16-bit and 24-bit block sums: whole units of 1/256 or 1/65536.
      const uint64_t units = Next(state) >> (16 + Below(state, 48));
      return static_cast<double>(units) / (Below(state, 2) == 0 ? 256 : 65536);
    }
    case 1:
      // The largest float sums: 2^32 frames of two channels near 2^136.
      return Significand53(state, 169 - static_cast<int>(Below(state, 4)));
    case 2: {
      // Any finite double that is not negative, subnormals included.
      const uint64_t bits = Next(state) >> 1;
      return (bits >> 52) == 0x7FF ? DoubleFromBits(bits & ~(uint64_t{1} << 62))
                                   : DoubleFromBits(bits);
    }
    case 3:
      return Below(state, 4) == 0 ? 0 : std::ldexp(1.0, static_cast<int>(Below(state, 300)) - 1074);
    default:
      // Float sums: 2^-120 (silence) up to 2^170.
      return Significand53(state, static_cast<int>(Below(state, 290)) - 120);
  }
}

uint32_t Gcd(uint32_t a, uint32_t b) {
  while (b != 0) {
    const uint32_t r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// A level whose exact value is whole (times a power of two) though the
// quotient is not: sum d2 * w, resolution d1 * d2, magnification m with d1
// dividing m, so the level is w * (m / d1).
LevelInput WholeLevel(uint64_t* state) {
  const uint32_t m = 1 + Below(state, 256);
  const uint32_t d1 = Gcd(m, 1 + Below(state, 256));
  const uint32_t d2 = 1 + Below(state, 1 << 20);
  const uint64_t w = 1 + Below(state, 1u << 30);
  const double sum = std::ldexp(static_cast<double>(d2 * w), -static_cast<int>(Below(state, 17)));
  return {sum, 1, d1 * d2, static_cast<float>(m)};
}

// A level whose extended product lies halfway between two doubles, so the
// last rounding is a tie (searched for: about one magnification in 2048).
LevelInput LastRoundingTie(uint64_t* state) {
  double sum = DrawSum(state);
  if (!(sum > 0x1p-900 && sum < 0x1p900)) sum = Significand53(state, 0);
  const uint32_t resolution = DrawResolution(state);
  const long double quotient = static_cast<long double>(sum) / resolution;
  float magnification = 1;
  for (int tries = 0; tries < 1 << 16; ++tries) {
    magnification = NormalMagnification(state);
    const long double product = quotient * magnification;
    uint64_t significand;  // the first 8 bytes of the x87 format
    std::memcpy(&significand, &product, sizeof significand);
    if ((significand & 0x7FF) == 0x400) break;
  }
  return {sum, 1, resolution, magnification};
}

LevelInput DrawLevelInput(uint64_t* state) {
  const uint32_t kind = Below(state, 1024);
  if (kind < 32) return WholeLevel(state);
  if (kind == 32) return LastRoundingTie(state);  // a costly search: 1 in 1024
  LevelInput input{DrawSum(state), 1, DrawResolution(state), DrawMagnification(state)};
  // Stereo sums are halved before the level is formed.
  if (Below(state, 4) == 0 && input.blockSum < 0x1p1000) {
    input.blockSum *= 2;
    input.channelCount = 2;
  } else if (kind < 160) {
    // Three to eight channels: one quotient by channels x resolution, up to
    // 2^35.
    input.channelCount = 3 + Below(state, 6);
  }
  return input;
}

uint32_t DrawRate(uint64_t* state) {
  static const uint32_t common[] = {0,     1,     7,        8000,     44100,
                                    48000, 96000, 1u << 29, 1u << 31, 4294967295u};
  if (Below(state, 2) == 0) return common[Below(state, sizeof common / sizeof common[0])];
  return static_cast<uint32_t>(Next(state) >> 32) >> Below(state, 32);
}

float DrawSeconds(uint64_t* state, uint32_t rate) {
  switch (Below(state, 4)) {
    case 0:
      // Any bit pattern: negatives, subnormals, infinities and nan.
      return FloatFromBits(static_cast<uint32_t>(Next(state) >> 32));
    case 1: {
      // Near the end of the signed 64-bit range for this rate, either side.
      const float limit = static_cast<float>(0x1p63 / (rate == 0 ? 1 : rate));
      const float near = FloatFromBits(FloatBits(limit) + Below(state, 64) - 32);
      return Below(state, 2) == 0 ? near : -near;
    }
    default: {
      // Times a user types: up to a day, either side of 0, in milliseconds.
      const float seconds = static_cast<float>(Below(state, 86400000)) / 1000;
      return Below(state, 4) == 0 ? -seconds : seconds;
    }
  }
}

void PrintMismatch(const LevelInput& input) {
  std::fprintf(stderr, "level differs: sum %a, %u channels, resolution %u, magnification %a\n",
               input.blockSum, input.channelCount, input.resolution,
               static_cast<double>(input.magnification));
}

}  // namespace

Tally CheckLevels(uint64_t seed, uint64_t count) {
  uint64_t state = seed;
  Tally tally;
  for (; tally.inputs < count; ++tally.inputs) {
    const LevelInput input = DrawLevelInput(&state);
    bool quick = false;
    if (!LevelAgrees(input, &quick) && ++tally.mismatches <= 10) PrintMismatch(input);
    if (quick) ++tally.quick;
    if (input.channelCount > 2) ++tally.manyChannels;
  }
  return tally;
}

Tally CheckFrames(uint64_t seed, uint64_t count) {
  uint64_t state = seed;
  Tally tally;
  for (; tally.inputs < count; ++tally.inputs) {
    const uint32_t rate = DrawRate(&state);
    const float seconds = DrawSeconds(&state, rate);
    if (FrameAtTime(rate, seconds) != X87FrameAtTime(rate, seconds) && ++tally.mismatches <= 10)
      std::fprintf(stderr, "frame differs: rate %u, seconds %a\n", rate,
                   static_cast<double>(seconds));
  }
  return tally;
}

#endif
