#include "scan/float32.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

TEST(Float32Convert, PutsFloatSamplesOnTheLevelScale) {
  struct Case {
    unsigned char b0, b1, b2, b3;
    double value;
  } const cases[] = {
      {0x00, 0x00, 0x80, 0x3F, 128.0},                    // 1.0
      {0x00, 0x00, 0x80, 0xBF, -128.0},                   // -1.0
      {0x00, 0x00, 0x00, 0x3F, 64.0},                     // 0.5
      {0x00, 0x00, 0x00, 0x00, std::ldexp(1.0, -120)},    // zero is not 0
      {0x00, 0x00, 0x00, 0x80, -std::ldexp(1.0, -120)},   // nor is -0
      {0x01, 0x00, 0x00, 0x00, std::ldexp(1.0 + std::ldexp(1.0, -23), -120)},  // subnormal
      {0x00, 0x00, 0x80, 0x7F, std::ldexp(1.0, 135)},     // infinity is finite
      {0xFF, 0xFF, 0xFF, 0xFF, -std::ldexp(2.0 - std::ldexp(1.0, -23), 135)},  // a NaN
      {0xFF, 0xFF, 0x7F, 0x7F, 128.0 * 3.4028234663852886e38},                 // largest float
      {0x00, 0x00, 0x80, 0x00, 128.0 * 1.1754943508222875e-38},                // smallest normal
  };
  for (const Case& c : cases)
    EXPECT_EQ(Float32Convert(c.b0, c.b1, c.b2, c.b3), c.value)
        << std::hex << +c.b3 << " " << +c.b2 << " " << +c.b1 << " " << +c.b0;
}

}  // namespace
