#include "scan/level.h"

#include <cmath>
#include <cstring>

namespace {

// Every intermediate below is held exactly in 128 bits; both targets have
// this type.
__extension__ typedef unsigned __int128 Uint128;

constexpr uint64_t kHiddenBit = uint64_t{1} << 52;

// A finite magnitude as significand * 2^exponent.
struct Binary {
  uint64_t significand;
  int exponent;
};

Binary Decompose(double magnitude) {
  uint64_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int field = static_cast<int>(bits >> 52 & 0x7FF);
  const uint64_t fraction = bits & (kHiddenBit - 1);
  if (field == 0) return {fraction, -1074};
  return {fraction | kHiddenBit, field - 1075};
}

Binary Decompose(float magnitude) {
  uint32_t bits;
  std::memcpy(&bits, &magnitude, sizeof bits);
  const int field = static_cast<int>(bits >> 23 & 0xFF);
  const uint32_t fraction = bits & 0x7FFFFF;
  if (field == 0) return {fraction, -149};
  return {fraction | 0x800000, field - 150};
}

int BitLength(Uint128 value) {
  const auto high = static_cast<uint64_t>(value >> 64);
  if (high != 0) return 128 - __builtin_clzll(high);
  return 64 - __builtin_clzll(static_cast<uint64_t>(value));
}

// value / 2^drop, rounded to nearest, ties to even (drop < 128).
Uint128 RoundShift(Uint128 value, int drop) {
  if (drop <= 0) return value;
  const Uint128 kept = value >> drop;
  const Uint128 rest = value - (kept << drop);
  const Uint128 half = Uint128{1} << (drop - 1);
  const bool up = rest > half || (rest == half && (kept & 1) != 0);
  return kept + (up ? 1 : 0);
}

// value * 2^exponent rounded to a 64-bit significand, as the extended format
// rounds a quotient or a product.
Binary RoundTo64Bits(Uint128 value, int exponent) {
  int drop = BitLength(value) - 64;
  if (drop < 0) drop = 0;
  Uint128 kept = RoundShift(value, drop);
  if (kept >> 64 != 0) {  // rounded up to 2^64
    kept >>= 1;
    ++drop;
  }
  return {static_cast<uint64_t>(kept), exponent + drop};
}

// value rounded once to the nearest double, ties to even, with the double's
// subnormals and its overflow to infinity, as the extended format stores a
// value as a double.
double RoundToDouble(Binary value) {
  int drop = BitLength(value.significand) - 53;
  if (drop < 0) drop = 0;
  // A subnormal result keeps no place below 2^-1074.
  if (value.exponent + drop < -1074) drop = -1074 - value.exponent;
  // Then the value is below 2^64 * 2^(-1074 - 66) = 2^-1076: nearest is 0.
  if (drop > 65) return 0;
  const auto kept = static_cast<uint64_t>(RoundShift(value.significand, drop));
  // kept <= 2^53 converts exactly, and the scaling is exact or overflows.
  return std::ldexp(static_cast<double>(kept), value.exponent + drop);
}

}  // namespace

double ExactLevel(double sum, uint64_t divisor, float magnification) {
  // Zeros, infinities and nan: the result is 0, an infinity or a nan
  // whatever the rounding, and double arithmetic gives it. A nan
  // magnification comes through as that nan, as the extended format passes
  // it on.
  if (sum == 0 || magnification == 0 || divisor == 0 || !std::isfinite(sum) ||
      !std::isfinite(magnification))
    return sum / static_cast<double>(divisor) * static_cast<double>(magnification);
  const Binary s = Decompose(std::fabs(sum));
  const Binary m = Decompose(std::fabs(magnification));
  // The sum's significand at the top of 64 bits, then 64 places more: the
  // quotient by a divisor below 2^35 has at least 93 significant bits, so 29
  // or more are dropped below. A remainder shows as a set last bit: below
  // the rounding place and the place under it, it turns a tie into "above
  // half" and leaves every other case as it is, as the remainder would.
  const int lead = __builtin_clzll(s.significand);
  const Uint128 dividend = Uint128{s.significand << lead} << 64;
  Uint128 quotient = dividend / divisor;
  if (quotient * divisor != dividend) quotient |= 1;
  const Binary q = RoundTo64Bits(quotient, s.exponent - lead - 64);
  const Binary p = RoundTo64Bits(Uint128{q.significand} * m.significand, q.exponent + m.exponent);
  const double level = RoundToDouble(p);
  return std::signbit(sum) != std::signbit(magnification) ? -level : level;
}

namespace {

// Why the answer is the extended format's: let t = sum * magnification /
// resolution exactly. The quotient and the product are each rounded by at
// most 2^-64 of their size, so the extended product p lies within
// (2^-63 + 2^-128) t of t. The integers below give t = (K + rest / divisor)
// * 2^e exactly. With K strictly between 2^52 and 2^53, the doubles next to
// K * 2^e are (K - 1) * 2^e and (K + 1) * 2^e, and t < 2^53 * 2^e, so
// |p - t| < 2^-9.99 * 2^e. When |rest / divisor| < 1/2 - 2^-9, p lies within
// 1/2 - 2^-9 + 2^-9.99 < 1/2 of K * 2^e in those units: it is nearer to
// K * 2^e than to any other double, and rounds to it.
//
// The estimate y = K * 2^e is sum * magnification rounded, then divided and
// rounded: within 2^-51.99 of t, so |t / 2^e - K| < 2.01 (in practice under
// 1.5) and |rest| < 2.01 * divisor. That bounds the shift below and lets rest
// be computed modulo 2^64: the products that make it reach 2^111, their
// difference does not.
//
// Rows are many: this is inlined into RoundedLevel, and kept to 64-bit
// integers and compares that the data does not decide.
inline __attribute__((always_inline)) bool Quick(double sum, uint32_t resolution,
                                                 float magnification, double* level) {
  uint64_t bits;
  std::memcpy(&bits, &sum, sizeof bits);
  uint32_t magnificationBits;
  std::memcpy(&magnificationBits, &magnification, sizeof magnificationBits);
  // The sum's exponent field with the sign bit, so negative sums fail too;
  // the range keeps every double below in the normal range, the estimate
  // included. The magnification must be finite and above 0.
  if ((bits >> 52) - (1023 - 800) > 1600 || magnificationBits - 1 >= 0x7F7FFFFF || resolution == 0)
    return false;
  const Binary s = Decompose(sum);
  const Binary m = Decompose(magnification);
  const double estimate = sum * static_cast<double>(magnification) / resolution;
  const Binary k = Decompose(estimate);
  // t / 2^e = s * m * 2^shift / resolution, with s * m in [2^52, 2^77) and
  // resolution in [1, 2^32): near K in [2^52, 2^53), that puts shift in
  // -25 ... 33, and the divisor below 2^57.
  const int shift = s.exponent + m.exponent - k.exponent;
  if (shift < -25 || shift > 33) return false;
  const int up = shift > 0 ? shift : 0;
  const uint64_t divisor = uint64_t{resolution} << (up - shift);
  auto rest =
      static_cast<int64_t>(((s.significand * m.significand) << up) - k.significand * divisor);
  // Bring rest / divisor into [-1/2, 1/2] where the estimate is off by a
  // place, without a branch that the data would decide. Off by two (rare),
  // the test below fails.
  const auto whole = static_cast<int64_t>(divisor);
  const int64_t places = (2 * rest > whole) - (2 * rest < -whole);
  rest -= places * whole;
  uint64_t candidate = k.significand + static_cast<uint64_t>(places);
  const auto distance = static_cast<uint64_t>(rest < 0 ? -rest : rest);
  if (candidate <= kHiddenBit || candidate >= 2 * kHiddenBit) return false;
  // 2 * distance < divisor - floor(divisor / 128) gives |rest / divisor| <
  // 1/2 - 2^-9: for a divisor below 128, 2 * distance <= divisor - 1; above,
  // floor(divisor / 128) >= divisor / 256.
  if (2 * distance + (divisor >> 7) >= divisor) {
    // t halfway between two doubles: p is t itself, a tie, when the
    // quotient is exact (a resolution that is a power of two) and the
    // product fits 64 bits (t has 54 significant bits). Otherwise p may lie
    // to either side of t: the exact way decides.
    if (2 * distance != divisor || (resolution & (resolution - 1)) != 0) return false;
    if ((candidate & 1) != 0) candidate = rest > 0 ? candidate + 1 : candidate - 1;
  }
  // candidate may have become 2^53: it then carries into the exponent field.
  const uint64_t levelBits =
      (static_cast<uint64_t>(k.exponent + 1075) << 52) + (candidate - kHiddenBit);
  std::memcpy(level, &levelBits, sizeof *level);
  return true;
}

}  // namespace

bool QuickLevel(double sum, uint32_t resolution, float magnification, double* level) {
  return Quick(sum, resolution, magnification, level);
}

double RoundedLevel(double sum, uint32_t resolution, float magnification) {
  double level;
  if (Quick(sum, resolution, magnification, &level)) return level;
  return ExactLevel(sum, resolution, magnification);
}

void BlockLevels(double* values, uint32_t count, uint32_t channelCount, uint32_t resolution,
                 float magnification) {
  // One multiply a level (PortableBlockLevel), quicker still than the x87
  // unit.
  if (LevelIsShift(channelCount, resolution, magnification)) {
    for (uint32_t b = 0; b < count; ++b)
      values[b] = PortableBlockLevel(values[b], channelCount, resolution, 1.0f);
    return;
  }
  for (uint32_t b = 0; b < count; ++b)
    values[b] = BlockLevel(values[b], channelCount, resolution, magnification);
}

#ifdef OSTREL_X87_LEVELS
namespace {

bool X87RoundsToNearestIn64Bits() {
  uint16_t control;
  __asm__("fnstcw %0" : "=m"(control));
  // Precision control (bits 8 and 9) 3: a 64-bit significand; rounding
  // control (bits 10 and 11) 0: to nearest, ties to even.
  return (control & 0x0F00) == 0x0300;
}

}  // namespace

const bool x87Levels = X87RoundsToNearestIn64Bits();
#endif
