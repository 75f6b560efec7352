#include "scan/float32.h"

#include <gtest/gtest.h>

#include <cmath>

#include "tests/reference_scan.h"

namespace {

TEST(Float32Convert, PutsFloatSamplesOnTheLevelScale) {
  struct Case {
    unsigned char b0, b1, b2, b3;
    double value;
  } const cases[] = {
      {0x00, 0x00, 0x80, 0x3F, 128.0},                                         // 1.0
      {0x00, 0x00, 0x80, 0xBF, -128.0},                                        // -1.0
      {0x00, 0x00, 0x00, 0x3F, 64.0},                                          // 0.5
      {0x00, 0x00, 0x00, 0x00, std::ldexp(1.0, -120)},                         // zero is not 0
      {0x00, 0x00, 0x00, 0x80, -std::ldexp(1.0, -120)},                        // nor is -0
      {0x01, 0x00, 0x00, 0x00, std::ldexp(1.0 + std::ldexp(1.0, -23), -120)},  // subnormal
      {0x00, 0x00, 0x80, 0x7F, std::ldexp(1.0, 135)},                          // infinity is finite
      {0xFF, 0xFF, 0xFF, 0xFF, -std::ldexp(2.0 - std::ldexp(1.0, -23), 135)},  // a NaN
      {0xFF, 0xFF, 0x7F, 0x7F, 128.0 * 3.4028234663852886e38},                 // largest float
      {0x00, 0x00, 0x80, 0x00, 128.0 * 1.1754943508222875e-38},                // smallest normal
  };
  for (const Case& c : cases)
    EXPECT_EQ(Float32Convert(c.b0, c.b1, c.b2, c.b3), c.value)
        << std::hex << +c.b3 << " " << +c.b2 << " " << +c.b1 << " " << +c.b0;
}

// The conversion assembles the double from the fields; the power-table
// conversion builds it with arithmetic. They agree on every exponent, both
// signs and a spread of fractions here (build/tests/float32_exhaustive
// checks all 2^32 patterns).
TEST(Float32Convert, AgreesWithThePowerTableConversion) {
  const uint32_t fractions[] = {0,        1,        2,        3,        0x155555, 0x2AAAAA,
                                0x3FFFFF, 0x400000, 0x400001, 0x5A5A5A, 0x7FFFFE, 0x7FFFFF};
  for (uint32_t sign = 0; sign < 2; ++sign)
    for (uint32_t exponent = 0; exponent < 256; ++exponent)
      for (uint32_t fraction : fractions) {
        const uint32_t word = sign << 31 | exponent << 23 | fraction;
        const auto b0 = static_cast<unsigned char>(word),
                   b1 = static_cast<unsigned char>(word >> 8),
                   b2 = static_cast<unsigned char>(word >> 16),
                   b3 = static_cast<unsigned char>(word >> 24);
        const double fast = Float32Convert(b0, b1, b2, b3);
        const double reference = ReferenceFloat32Convert(b0, b1, b2, b3);
        ASSERT_EQ(DoubleBits(fast), DoubleBits(reference))
            << std::hex << word << ": " << fast << " against " << reference;
      }
}

}  // namespace
