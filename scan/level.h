// The level of a complete block.
//
// The level is (S / (channels * resolution)) * magnification, S being the
// block sum: the quotient and then the product rounded to
// nearest, ties to even, to a 64-bit significand, and the product rounded
// once more, to double, at the end. That is the rule of the 80-bit extended
// format that levels have always been formed in, and it makes a level whose
// exact value is whole come out whole: 23 / 5 * 100 gives 460, where plain
// double arithmetic gives 459.99999999999994 and a row would lose a dot.
//
// Where long double is that format, the arithmetic of long doubles gives
// it; elsewhere it is computed with integers, so every platform gives the
// same bits, whatever its long double is.
#ifndef OSTREL_SCAN_LEVEL_H
#define OSTREL_SCAN_LEVEL_H

#include <cfloat>
#include <cstdint>
#include <cstring>

// The level of sum (already halved for two channels) by the rule above.
double RoundedLevel(double sum, uint32_t resolution, float magnification);

// The same rule by integers alone, for every sum, divisor (resolution, or
// channels times resolution, below 2^35) and magnification, zero,
// infinities and nan included.
double ExactLevel(double sum, uint64_t divisor, float magnification);

// Whether a block's level is its sum (halved for two channels) times 2^-k:
// one or two channels, a resolution of 2^k and magnification 1, one row
// per frame above all.
inline bool LevelIsShift(uint32_t channelCount, uint32_t resolution, float magnification) {
  return channelCount <= 2 && magnification == 1.0f && resolution != 0 &&
         (resolution & (resolution - 1)) == 0;
}

// The rule by the two ways above, on every platform: the level of a
// block's sum over channelCount channels of `resolution` frames.
inline double PortableBlockLevel(double blockSum, uint32_t channelCount, uint32_t resolution,
                                 float magnification) {
  // Three channels and more: the sum over channels times resolution, the
  // quotient rounded once, like the halved sum of two.
  if (channelCount > 2)
    return ExactLevel(blockSum, uint64_t{channelCount} * resolution, magnification);
  // Halved in double arithmetic, as levels have always been.
  const double sum = channelCount == 2 ? blockSum / 2 : blockSum;
  // A shift (LevelIsShift): the exact quotient sum / 2^k has no more
  // significant bits than the sum, so the 64-bit roundings of the quotient
  // and of its product by 1 keep it whole, and the one rounding left, to
  // double, is what the double division does. Multiplying by 2^-k (a double
  // for every k below 32) rounds that same value once, without the
  // division's wait.
  if (LevelIsShift(channelCount, resolution, magnification)) {
    const uint64_t bits = static_cast<uint64_t>(1023 - __builtin_ctz(resolution)) << 52;
    double reciprocal;
    std::memcpy(&reciprocal, &bits, sizeof reciprocal);
    return sum * reciprocal;
  }
  return RoundedLevel(sum, resolution, magnification);
}

#if (defined(__x86_64__) || defined(__i386__)) && LDBL_MANT_DIG == 64
#define OSTREL_X87_LEVELS 1
// Whether the x87 unit rounds to nearest with its full 64-bit significand,
// as every program on this system starts: read once, at start-up. Then the
// rule is the unit's own long double arithmetic, some ten times quicker than
// the integers.
extern const bool x87Levels;
#endif

// The level of a block's sum by the rule, the quickest way this platform
// has.
inline double BlockLevel(double blockSum, uint32_t channelCount, uint32_t resolution,
                         float magnification) {
#ifdef OSTREL_X87_LEVELS
  if (x87Levels) {
    // A divisor below 2^35 is exact in long double.
    if (channelCount > 2) {
      const auto divisor = static_cast<long double>(uint64_t{channelCount} * resolution);
      return static_cast<double>(blockSum / divisor * magnification);
    }
    const long double sum = channelCount == 2 ? blockSum / 2 : blockSum;
    return static_cast<double>(sum / resolution * magnification);
  }
#endif
  return PortableBlockLevel(blockSum, channelCount, resolution, magnification);
}

// Each of `count` block sums at `values` becomes its level (BlockLevel), the
// way chosen once for them all: rows are many.
void BlockLevels(double* values, uint32_t count, uint32_t channelCount, uint32_t resolution,
                 float magnification);

#endif
