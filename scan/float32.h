// Float sample conversion.
//
// Float32Convert turns the four stored bytes of a 32-bit sample (b0 the least
// significant byte of the little-endian word) into a value on the level
// scale: sign * 2^(E - 120) * (1 + M / 2^23), E being the 8-bit exponent
// field and M the 23-bit fraction field. For every normal number that is 128
// times its value, so full scale +-1.0 lands on +-128 like the integer
// formats. No exponent is treated specially: zero and subnormals give
// +-2^-120 * (1 + M / 2^23), never 0, and infinities and NaNs give finite
// values between 2^135 and 2^136 in size.
#ifndef OSTREL_SCAN_FLOAT32_H
#define OSTREL_SCAN_FLOAT32_H

#include <cstdint>
#include <cstring>

// The magnitude for the low 31 bits of a sample's word (E << 23 | M).
//
// The result is assembled as a double directly, and is exact: its exponent
// E - 120 lies in -120 ... 135, well inside the double's normal range, and
// the 23 fraction bits fit its 52 with 29 to spare. So the double with
// exponent field E - 120 + 1023 = E + 903 and fraction M << 29 is the value
// itself, with no rounding anywhere.
inline double Float32Magnitude(uint32_t magnitudeBits) {
  const uint64_t bits = (static_cast<uint64_t>(magnitudeBits) << 29) + (uint64_t{903} << 52);
  double value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

inline double Float32Convert(unsigned char b0, unsigned char b1, unsigned char b2,
                             unsigned char b3) {
  const double magnitude =
      Float32Magnitude(static_cast<uint32_t>(b0) | static_cast<uint32_t>(b1) << 8 |
                       static_cast<uint32_t>(b2) << 16 | static_cast<uint32_t>(b3 & 0x7F) << 24);
  return b3 & 0x80 ? -magnitude : magnitude;
}

#endif
